// The window's widgets and menus, built in code. Object names are the control names
// the window has always had, so tests and scripts find them.
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/char_view.h"
#include "app/findings_view.h"
#include "app/form_main.h"
#include "app/preview_views.h"
#include "app/tag_editor.h"

namespace tavex::app {

namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

QWidget* TFormMain::BuildConvertTab() {
  edit1_ = Named(new QLineEdit, "Edit1");
  button1_ = Named(new QPushButton("source drive"), "Button1");
  button_sample_ = Named(new QPushButton("sample disc"), "ButtonSample");
  button_sample_->setToolTip(
      "Convert the built-in sample disc: it is written into the workspace's "
      "sample_disc folder, with sample rules in xsl_data.xml unless the workspace has them.");
  check_box2_ = Named(new QCheckBox("select tavex.data"), "CheckBox2");
  check_box2_->setToolTip("The folder that holds the bundles is found whether the disc's root or its "
                          "tavex.data folder is chosen.");
  auto* source_row = new QHBoxLayout;
  source_row->addWidget(new QLabel("source drive :"));
  source_row->addWidget(edit1_, 1);
  source_row->addWidget(button1_);
  source_row->addWidget(button_sample_);
  source_row->addWidget(check_box2_);

  database_panel_ = Named(new QWidget, "PanelDatabase");
  edit2_ = Named(new QLineEdit, "Edit2");
  auto* database_row = new QHBoxLayout(database_panel_);
  database_row->setContentsMargins(0, 0, 0, 0);
  database_row->addWidget(new QLabel("mdb :"));
  database_row->addWidget(edit2_, 1);
  database_row->addWidget(Named(new QPushButton("mdb"), "Button3"));

  auto* group = Named(new QGroupBox(" create html for ebstudio "), "GroupBox1");
  progress_bar1_ = Named(new QProgressBar, "ProgressBar1");
  progress_bar1_->setRange(0, 100);
  progress_bar1_->setValue(0);
  label9_ = Named(new QLabel, "Label9");
  label9_->setAlignment(Qt::AlignCenter);
  check_box1_ = Named(new QCheckBox("ignore mp3 files"), "CheckBox1");
  check_box1_->setChecked(true);
  check_box_epwing_ = Named(new QCheckBox("also build the EPWING book"), "CheckBoxEpwing");
  check_box_epwing_->setChecked(true);
  // The books for the readers people carry, made in the same run when ticked.
  check_box_stardict_ = Named(new QCheckBox("StarDict"), "CheckBoxStardict");
  check_box_mdict_ = Named(new QCheckBox("MDict"), "CheckBoxMdict");
  button2_ = Named(new QPushButton("create"), "Button2");
  auto* run_row = new QHBoxLayout;
  run_row->addWidget(check_box1_);
  run_row->addWidget(check_box_epwing_);
  run_row->addWidget(check_box_stardict_);
  run_row->addWidget(check_box_mdict_);
  run_row->addStretch(1);
  run_row->addWidget(button2_);
  auto* group_layout = new QVBoxLayout(group);
  group_layout->addWidget(progress_bar1_);
  group_layout->addWidget(label9_);
  group_layout->addLayout(run_row);

  mode_label_ = Named(new QLabel, "LabelMode");
  mode_label_->setToolTip("about → operating mode… changes it; the window always opens in operating mode 0");

  auto* top = Named(new QWidget, "Panel1");
  auto* top_layout = new QVBoxLayout(top);
  top_layout->setContentsMargins(0, 0, 0, 0);
  top_layout->addWidget(mode_label_);
  top_layout->addLayout(source_row);
  top_layout->addWidget(database_panel_);
  top_layout->addWidget(group);

  memo5_ = Named(new QPlainTextEdit, "Memo5");
  memo5_->setReadOnly(true);
  memo5_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* tab = Named(new QWidget, "TabSheetConvert");
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(top);
  layout->addWidget(memo5_, 1);
  return tab;
}

void TFormMain::BuildPageControls(QWidget* convert_tab) {
  right_ = new PreviewViews;
  tag_editor_ = Named(new TagEditor(*workbench_, runner_, right_), "TabSheetXslEdit");
  char_view_ = Named(new CharView(*workbench_, runner_), "TabSheetCharStat");

  left_ = Named(new QTabWidget, "PageControl1");
  left_->addTab(convert_tab, "convert_to_html");
  left_->addTab(tag_editor_, "xsl edit");
  left_->addTab(char_view_, "Char stat");
  left_->setFixedWidth(kLeftPageWidth);
  // The right page control takes only what is left, down to nothing, so the window can
  // be as narrow as the left one and shows the previews when widened.
  right_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
  right_->setMinimumWidth(0);

  auto* central = Named(new QWidget, "ClientArea");
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(left_);
  layout->addWidget(right_, 1);
  setCentralWidget(central);

  findings_ = new FindingsView(this);
  addDockWidget(Qt::BottomDockWidgetArea, findings_);
  findings_->hide();
}

QAction* TFormMain::AddCommand(QMenu* menu, const char* caption, const char* name, std::function<void()> work,
                               CommandRunner::Access access) {
  QAction* action = menu->addAction(QString::fromUtf8(caption));
  action->setObjectName(name);
  if (work) {
    runner_.AddControl(action);
    connect(action, &QAction::triggered, this, [this, work, access] { runner_.Run(work, access); });
  }
  return action;
}

void TFormMain::BuildMenus() {
  Workbench& bench = *workbench_;
  auto menu = [this](const char* caption, const char* name) {
    QMenu* m = menuBar()->addMenu(caption);
    m->setObjectName(name);
    return m;
  };
  QMenu* file = menu("File", "File1");
  settings_action_ = AddCommand(file, "初期設定", "N1", nullptr);
  QAction* quit = AddCommand(file, "Quit", "Quit1", nullptr);
  quit->setShortcut(QKeySequence::Quit);
  connect(quit, &QAction::triggered, this, &QWidget::close);
  QMenu* db_tool = menu("DB_tool", "DBtool1");
  AddCommand(db_tool, "extract fs.skn", "extractfsskn1", [&bench] { bench.ExtractEntries(); });
  AddCommand(db_tool, "extract pron", "extractpron1", [&bench] { bench.ExtractPronunciations(); });
  AddCommand(db_tool, "extract topic", "extracttopic1", [&bench] { bench.BuildTopicIndex(); });
  QMenu* gaiji_tool = menu("gaiji tool", "gaijitool1");
  AddCommand(gaiji_tool, "create gaiji_files", "creategaijifiles1", [this, &bench] {
    bench.CreateGaijiFiles();
    RunBookCheck();
  });
  AddCommand(gaiji_tool, "import uni_alt", "importunialt1", nullptr);
  QMenu* mp3_tool = menu("mp3_tool", "mp3tool1");
  AddCommand(mp3_tool, "conv_mp3_wav", "convmp3wav1", [&bench] { bench.ConvertMp3ToWav(); });
  AddCommand(mp3_tool, "save_original_mp3", "saveoriginalmp31", [&bench] { bench.SaveOriginalMp3(std::nullopt); });
  QMenu* xml_data = menu("xml data", "xmldata1");
  AddCommand(xml_data, "xsl_import", "xslimport1", [this] { ImportXslRules(std::nullopt); });
  AddCommand(xml_data, "char_import", "charimport1", [&bench] { bench.ImportTable(RuleTable::kChar, std::nullopt); });
  AddCommand(xml_data, "alt_import", "altimport1", [&bench] { bench.ImportTable(RuleTable::kAlt, std::nullopt); });
  AddCommand(xml_data, "xsl_export", "xslexport1", [&bench] { bench.ExportTable(RuleTable::kXsl, std::nullopt); },
             CommandRunner::Access::kReads);
  AddCommand(xml_data, "char_export", "charexport1", [&bench] { bench.ExportTable(RuleTable::kChar, std::nullopt); },
             CommandRunner::Access::kReads);
  QMenu* epwing = menu("EPWING", "epwing1");
  AddCommand(epwing, "build EPWING book", "buildepwing1", [this, &bench] {
    const epwing::EpwingSummary summary = bench.BuildEpwing();
    progress_->AppendLog(FormatEpwingSummary(summary, bench.layout().epwing_folder));
    if (const std::string note = PronunciationNote(summary, FrontEnd::kWindow); !note.empty())
      progress_->AppendLog(note);
  });
  QMenu* about = menu("about", "about1");
  AddCommand(about, "about this program", "aboutthisprogram1", [this] { AboutThisProgramClick(); },
             CommandRunner::Access::kReads);
  AddCommand(about, "operating mode…", "operatingmode1", [this] { OperatingModeClick(); },
             CommandRunner::Access::kReads);
  workbench_menus_ = {db_tool, gaiji_tool, mp3_tool, xml_data};
  workbench_menus_.push_back(epwing);

  runner_.AddControl(edit1_);
  runner_.AddControl(button1_);
  runner_.AddControl(button_sample_);
  runner_.AddControl(button2_);
  // A typed source counts at once, as a chosen one does.
  connect(edit1_, &QLineEdit::textEdited, this,
          [this](const QString& text) { workbench_->SetSourceFolder(text.toStdString()); });
  connect(button_sample_, &QPushButton::clicked, this,
          [this] { runner_.Run([this] { SampleDiscClick(); }); });
  connect(button1_, &QPushButton::clicked, this, [this] { runner_.Run([this] { Button1Click(); }, CommandRunner::Access::kReads); });
  connect(button2_, &QPushButton::clicked, this, [this] { runner_.Run([this] { Button2Click(); }); });
  connect(tag_editor_, &TagEditor::HtmlRebuilt, this, [this] { AfterHtmlRebuilt(); });
  connect(findings_, &FindingsView::FindingActivated, this,
          [this](int row) { runner_.Run([this, row] { OpenFindingEntry(row); }, CommandRunner::Access::kReads); });
  connect(char_view_, &CharView::GridDoubleClicked, this,
          [this] { runner_.Run([this] { tag_editor_->LoadTagEditor(); }, CommandRunner::Access::kReads); });
}

}  // namespace tavex::app
