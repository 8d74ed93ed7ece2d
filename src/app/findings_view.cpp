#include "app/findings_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavex::app {

namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The table's columns, in order.
const char* const kColumns[] = {"severity", "file", "line", "message", "what to do"};
constexpr int kColumnCount = 5;

QStringList RowTexts(const check::Finding& finding) {
  return {finding.severity == check::Finding::kError ? "error" : "warning", FromUtf8(finding.file),
          finding.line > 0 ? QString::number(finding.line) : QString(), FromUtf8(finding.message),
          FromUtf8(finding.advice)};
}

}  // namespace

FindingsView::FindingsView(QWidget* parent) : QDockWidget("check findings", parent) {
  setObjectName("DockFindings");
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);

  table_ = new QTableWidget(0, kColumnCount);
  table_->setObjectName("GridFindings");
  QStringList headers;
  for (const char* column : kColumns) headers << column;
  table_->setHorizontalHeaderLabels(headers);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(18);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setToolTip("Double-click a finding in html_EPW to preview its entry.");

  auto* copy = new QAction("copy", table_);
  copy->setObjectName("ActionCopyFindings");
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  auto* copy_all = new QAction("copy all", table_);
  copy_all->setObjectName("ActionCopyAllFindings");
  table_->addAction(copy);
  table_->addAction(copy_all);
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);

  summary_ = new QLabel;
  summary_->setObjectName("LabelFindings");
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* copy_button = new QPushButton("copy all");
  copy_button->setObjectName("ButtonCopyFindings");
  auto* top = new QHBoxLayout;
  top->addWidget(summary_, 1);
  top->addWidget(copy_button);

  auto* content = new QWidget;
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  setWidget(content);

  connect(copy, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(SelectedText()); });
  connect(copy_all, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(AllText()); });
  connect(copy_button, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(AllText()); });
  connect(table_, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { emit FindingActivated(row); });
}

void FindingsView::ShowReport(const check::CheckReport& report, const verify::VerifyReport* verify) {
  report_ = report;
  summary_text_ = FromUtf8(check::FormatSummary(report));
  if (verify != nullptr) {
    for (check::Finding& finding : verify::AsCheckFindings(*verify)) report_.findings.push_back(std::move(finding));
    summary_text_ += '\n' + FromUtf8(verify::FormatVerifySummary(*verify));
  }
  table_->clearContents();
  table_->setRowCount(static_cast<int>(report_.findings.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const QStringList texts = RowTexts(finding(row));
    for (int column = 0; column < kColumnCount; ++column) {
      auto* item = new QTableWidgetItem(texts[column]);
      if (column == 3 || column == 4) item->setToolTip(texts[column]);
      table_->setItem(row, column, item);
    }
  }
  table_->resizeColumnsToContents();
  for (int column : {3, 4}) table_->setColumnWidth(column, std::min(table_->columnWidth(column), 400));
  summary_->setText(summary_text_);
  setVisible(!report_.findings.empty());
}

QString FindingsView::SelectedText() const {
  QList<int> rows;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) rows << index.row();
  if (rows.isEmpty()) {
    for (int row = 0; row < table_->rowCount(); ++row) rows << row;
  }
  std::sort(rows.begin(), rows.end());
  QString text;
  for (int row : rows) text += RowTexts(finding(row)).join('\t') + '\n';
  return text;
}

QString FindingsView::AllText() const {
  // The findings as check prints them, under the summary of each check.
  QString text = FromUtf8(check::FormatReport(report_));
  text.truncate(text.lastIndexOf('\n', -2) + 1);
  return text + summary_text_ + '\n';
}

}  // namespace tavex::app
