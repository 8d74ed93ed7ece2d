// The tag editor's behaviour. Every button runs as a command of the window: one at a
// time, failures shown by the general error display.
#include "app/tag_editor.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <fmt/format.h>

#include "app/command_runner.h"
#include "app/grid_models.h"
#include "app/preview_views.h"
#include "pipeline/workbench.h"
#include "text/error.h"

namespace tavex::app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The options that hold text rather than a flag.
bool IsTextOption(const std::string& column) {
  return column == "pre_text" || column == "post_text" || column == "indent" || column == "custom_xsl";
}

QLineEdit* NewField(const char* name) {
  auto* field = new QLineEdit;
  field->setObjectName(name);
  return field;
}

}  // namespace

int NextTagRow(const std::vector<RuleRow>& rows, int current, const std::string& prefix) {
  const int count = static_cast<int>(rows.size());
  const bool current_matches =
      current >= 0 && current < count && rows[static_cast<std::size_t>(current)].tag.starts_with(prefix);
  for (int r = current_matches ? current + 1 : 0; r < count; ++r) {
    if (rows[static_cast<std::size_t>(r)].tag.starts_with(prefix)) return r;
  }
  return current;
}

TagEditor::TagEditor(Workbench& workbench, CommandRunner& runner, PreviewViews* views, QWidget* parent)
    : QWidget(parent), workbench_(workbench), runner_(runner), views_(views) {
  model_ = new TagGridModel(workbench_.tag_rows(), this);
  BuildLayout();
  ConnectCommands();
}

void TagEditor::BuildLayout() {
  auto* group = new QGroupBox("xsl tag information");
  group->setObjectName("GroupBoxTagInformation");
  tag_box_ = new QComboBox;
  tag_box_->setObjectName("ComboBox1");
  tag_box_->setEditable(true);
  tag_box_->setInsertPolicy(QComboBox::NoInsert);
  options_ = new QListWidget;
  options_->setObjectName("CheckListBox1");
  options_->setFlow(QListView::TopToBottom);
  options_->setWrapping(true);
  options_->setResizeMode(QListView::Adjust);
  options_->setFixedWidth(250);
  pre_text_ = NewField("EditPreText");
  post_text_ = NewField("EditPostText");
  indent_ = NewField("EditIndent");
  custom_xsl_ = new QPlainTextEdit;
  custom_xsl_->setObjectName("MemoCustomXsl");
  custom_xsl_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* update = new QPushButton("update xls");
  update->setObjectName("ButtonUpdateXls");
  auto* rebuild = new QPushButton("re-build html");
  rebuild->setObjectName("ButtonRebuildHtml");
  auto* suggest = new QPushButton("suggest");
  suggest->setObjectName("ButtonSuggest");
  suggest->setToolTip(
      "suggest the formats of every tag from the disc's structure; the preview shows them before they are "
      "saved");

  auto* fields = new QFormLayout;
  fields->addRow("pre_text", pre_text_);
  fields->addRow("post_text", post_text_);
  fields->addRow("indent", indent_);
  auto* right = new QVBoxLayout;
  right->addWidget(tag_box_);
  right->addLayout(fields);
  right->addWidget(new QLabel("custom xsl : "));
  right->addWidget(custom_xsl_);
  auto* group_buttons = new QHBoxLayout;
  group_buttons->addWidget(update);
  group_buttons->addWidget(rebuild);
  group_buttons->addWidget(suggest);
  right->addLayout(group_buttons);
  auto* group_layout = new QHBoxLayout(group);
  group_layout->addWidget(options_);
  group_layout->addLayout(right);
  group->setFixedHeight(230);

  index_ = NewField("EditIndex");
  highlight_ = NewField("EditHighlight");
  search_word_ = NewField("EditSearchWord");
  select_tag_ = NewField("EditSelectTag");
  auto button = [this](const char* caption, const char* name) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    buttons_.push_back(b);
    return b;
  };
  buttons_.push_back(update);
  buttons_.push_back(rebuild);
  buttons_.push_back(suggest);
  auto* navigation = new QGridLayout;
  navigation->addWidget(new QLabel("index:"), 0, 0);
  navigation->addWidget(index_, 0, 1);
  navigation->addWidget(button("<<", "ButtonPrev"), 0, 2);
  navigation->addWidget(button(">>", "ButtonNext"), 0, 3);
  navigation->addWidget(button("show", "ButtonShow"), 0, 4);
  navigation->addWidget(new QLabel("high_lighing in xml:"), 0, 5);
  navigation->addWidget(highlight_, 0, 6);
  navigation->addWidget(new QLabel("search word :"), 1, 0);
  navigation->addWidget(search_word_, 1, 1);
  navigation->addWidget(button("search", "ButtonSearch"), 1, 2, 1, 2);
  navigation->addWidget(new QLabel("select tag :"), 1, 5);
  navigation->addWidget(select_tag_, 1, 6);
  navigation->addWidget(button("select", "ButtonSelect"), 1, 4);

  grid_ = new QTableView;
  grid_->setObjectName("StringGrid1");
  grid_->setModel(model_);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->horizontalHeader()->setDefaultSectionSize(32);
  grid_->verticalHeader()->setDefaultSectionSize(18);
  grid_->setColumnWidth(0, 40);
  template_view_ = new QPlainTextEdit;
  template_view_->setObjectName("MemoTemplate");
  template_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* lower = new QSplitter(Qt::Vertical);
  lower->addWidget(grid_);
  lower->addWidget(template_view_);
  lower->setStretchFactor(0, 3);
  lower->setStretchFactor(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(navigation);
  layout->addWidget(lower, 1);

  for (int c = 1; c < kRuleRowSize; ++c) {
    auto* item = new QListWidgetItem(kRuleColumns[c], options_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

void TagEditor::ConnectCommands() {
  for (QPushButton* b : buttons_) runner_.AddControl(b);
  runner_.AddControl(tag_box_);
  auto on = [this](const char* name, auto work, CommandRunner::Access access = CommandRunner::Access::kWrites) {
    connect(findChild<QPushButton*>(name), &QPushButton::clicked, this,
            [this, work, access] { runner_.Run(work, access); });
  };
  constexpr CommandRunner::Access kReads = CommandRunner::Access::kReads;
  on("ButtonUpdateXls", [this] { UpdateXlsClick(); });
  on("ButtonSuggest", [this] { SuggestClick(); });
  on("ButtonRebuildHtml", [this] {
    workbench_.RebuildHtml();
    views_->AppendTemplateLines(workbench_.generated_template_lines());
    emit HtmlRebuilt();
  });
  on("ButtonShow", [this] { ShowClick(); }, kReads);
  on("ButtonPrev", [this] { StepClick(-1); }, kReads);
  on("ButtonNext", [this] { StepClick(1); }, kReads);
  on("ButtonSearch", [this] { SearchClick(); }, kReads);
  on("ButtonSelect", [this] { SelectClick(); }, kReads);
  connect(tag_box_, &QComboBox::activated, this, [this](int item) { runner_.Run([this, item] { ComboBox1Select(item); }, kReads); });
  // A click on a row loads its tag, as the selection shows it.
  connect(grid_, &QTableView::clicked, this, [this] { runner_.Run([this] { LoadTagEditor(); }, kReads); });
  connect(grid_, &QTableView::doubleClicked, this, [this] { runner_.Run([this] { LoadTagEditor(); }, kReads); });
}

void TagEditor::ClearFields() {
  for (QLineEdit* field : {pre_text_, post_text_, indent_, highlight_, search_word_, select_tag_}) field->clear();
  custom_xsl_->clear();
  template_view_->clear();
  index_->setText("0");
}

int TagEditor::CurrentRow() const { return grid_->currentIndex().isValid() ? grid_->currentIndex().row() : -1; }

void TagEditor::SetCurrentRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  grid_->setCurrentIndex(model_->index(row, 0));
  grid_->selectRow(row);
}

void TagEditor::FillTagEditor() {
  model_->Reload();
  tag_box_->clear();
  for (const RuleRow& row : workbench_.tag_rows()) tag_box_->addItem(FromUtf8(row.tag));
  if (workbench_.tag_rows().empty()) return;
  tag_box_->setCurrentIndex(0);
  SetCurrentRow(0);
  LoadTagEditor();
}

void TagEditor::RefreshTagGrid() {
  const int row = CurrentRow();
  workbench_.ReloadTagRows();
  model_->Reload();
  SetCurrentRow(row);
}

void TagEditor::LoadTagEditor() {
  for (QLineEdit* field : {pre_text_, post_text_, indent_}) field->clear();
  custom_xsl_->clear();
  const QString tag = model_->TagAt(CurrentRow());
  tag_box_->setEditText(tag);
  LoadTagOptions(tag);
  ShowTemplateText();
}

void TagEditor::ShowTemplateText() {
  template_view_->setPlainText(FromUtf8(workbench_.TemplateTextForTag(tag_box_->currentText().toStdString())));
}

void TagEditor::LoadTagOptions(const QString& tag) {
  const std::optional<RuleRow> row = workbench_.LoadTagOptions(tag.toStdString());
  if (!row) return;
  for (int c = 1; c < kRuleRowSize; ++c) {
    QListWidgetItem* item = options_->item(c - 1);
    item->setCheckState(Qt::Unchecked);
    const std::string column = kRuleColumns[c];
    const QString value = FromUtf8(RuleText(*row, c)).trimmed();
    if (!IsTextOption(column)) {
      if (value == "1") item->setCheckState(Qt::Checked);
      continue;
    }
    if (value.isEmpty()) continue;
    if (column == "pre_text") pre_text_->setText(value);
    if (column == "post_text") post_text_->setText(value);
    if (column == "indent") indent_->setText(value);
    if (column == "custom_xsl") custom_xsl_->setPlainText(value);
    item->setCheckState(Qt::Checked);
  }
}

void TagEditor::SaveTagOptions(const QString& tag) {
  RuleRow row;
  row.tag = tag.toStdString();
  for (int c = 1; c < kRuleRowSize; ++c) {
    const std::string column = kRuleColumns[c];
    std::string& value = RuleText(row, c);
    if (column == "pre_text") value = pre_text_->text().trimmed().toStdString();
    else if (column == "post_text") value = post_text_->text().trimmed().toStdString();
    else if (column == "indent") value = indent_->text().trimmed().toStdString();
    else if (column == "custom_xsl") value = custom_xsl_->toPlainText().trimmed().toStdString();
    else if (options_->item(c - 1)->checkState() == Qt::Checked) value.push_back('1');
  }
  workbench_.SaveTagOptions(row.tag, row);
}

int TagEditor::IndexFieldNumber() const {
  bool ok = false;
  const int index = index_->text().trimmed().toInt(&ok);
  if (!ok) throw Error(fmt::format("the index field holds no whole number: \"{}\"", index_->text().toStdString()));
  return index;
}

void TagEditor::ShowEntryPreview(int index) {
  views_->Show(workbench_.Preview(index, tag_box_->currentText().toStdString(), highlight_->text().toStdString()));
  previewed_ = true;
}

void TagEditor::RefreshPreview() {
  if (previewed_) ShowEntryPreview(IndexFieldNumber());
}

void TagEditor::PreviewEntry(int index) {
  index_->setText(QString::number(index));
  ShowEntryPreview(index);
}

void TagEditor::UpdateXlsClick() {
  SaveTagOptions(tag_box_->currentText());
  RefreshTagGrid();
  workbench_.UpdateMainStylesheet();
  ShowTemplateText();
  views_->AppendTemplateLines(workbench_.generated_template_lines());
  ShowEntryPreview(IndexFieldNumber());
}

void TagEditor::SuggestClick() {
  const std::vector<RuleRow> rows = workbench_.SuggestedTagRows();
  const int index = IndexFieldNumber();
  views_->Show(workbench_.PreviewWithRows(index, rows, tag_box_->currentText().toStdString(),
                                          highlight_->text().toStdString()));
  if (!workbench_.ConfirmAndSaveTagRows(rows)) {
    ShowEntryPreview(index);  // back to the rules that stay
    return;
  }
  RefreshTagGrid();
  LoadTagEditor();
  views_->AppendTemplateLines(workbench_.generated_template_lines());
  ShowEntryPreview(index);
}

void TagEditor::ShowClick() {
  const int index = IndexFieldNumber();
  LoadTagEditor();
  ShowEntryPreview(index);
}

void TagEditor::StepClick(int delta) {
  const int index = IndexFieldNumber();
  if (delta < 0 && index == 0) return;
  index_->setText(QString::number(index + delta));
  LoadTagEditor();
  ShowEntryPreview(index + delta);
}

void TagEditor::SearchClick() {
  const std::string word = search_word_->text().trimmed().toStdString();
  const std::optional<int> found = workbench_.FindEntryByTitle(word);
  if (!found) throw Error(fmt::format("no entry is titled \"{}\" (letter case and accents aside)", word));
  index_->setText(QString::number(*found));
  LoadTagEditor();
  ShowEntryPreview(IndexFieldNumber());
}

void TagEditor::SelectClick() {
  SetCurrentRow(NextTagRow(workbench_.tag_rows(), CurrentRow(), select_tag_->text().trimmed().toStdString()));
}

void TagEditor::ComboBox1Select(int item) {
  SetCurrentRow(item);
  LoadTagEditor();
}

}  // namespace tavex::app
