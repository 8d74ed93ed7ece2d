// The window's start-up, close, operating-mode layout and the commands of the
// "convert_to_html" tab and the "about" menu.
#include "app/form_main.h"

#include <fmt/format.h>

#include <cmath>

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>

#include "app/char_view.h"
#include "app/preview_views.h"
#include "app/tag_editor.h"
#include "app/window_fonts.h"
#include "fs/files.h"
#include "text/error.h"

namespace tavex::app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The notice of the about box: its first line as it has always been, then the version
// of this build, what the program makes and the licence.
const QString& AboutText() {
  static const QString text =
      QString::fromUtf8(
          "TAVEX_to_EPWING ver.1.0b\n"
          "tavex2epwing %1\n\n"
          "Turns the data disc of the TAVEX dictionary into the source of an EPWING book for ebstudio: "
          "the book's HTML, the gaiji font and map files and the project file. It also writes the EPWING "
          "book itself, into the workspace's epwing folder, ready for GoldenDict and eblook.\n\n"
          "The workbench shows single entries, edits the formatting rule of every tag and shows the "
          "character statistics.\n\n"
          "Copyright (c) the tavex2epwing authors\n"
          "Released under the MIT licence (the file LICENSE, installed as "
          "/usr/share/doc/tavex2epwing/copyright).")
          .arg(TAVEX_VERSION);
  return text;
}

// What the window says of the operating mode it is in.
const char* ModeText(int mode) {
  switch (mode) {
    case 0: return "operating mode 0: each create starts afresh and removes working_folder at its end";
    case 1: return "operating mode 1: the workbench; create keeps the tables it finds";
    default: return "operating mode 2: the workbench; create keeps the tables and the stylesheets";
  }
}

}  // namespace

TFormMain::TFormMain(WorkbenchOptions options, QWidget* parent)
    : QMainWindow(parent), prompter_(this), runner_(this) {
  // The window makes the workspace's folders when a command needs them, not when it
  // opens, and its errors speak of its own buttons and menus.
  options.prepare_working_folder = false;
  options.defer_recovery = true;
  options.front_end = FrontEnd::kWindow;
  setObjectName("FormMain");
  setWindowTitle(kWindowCaption);
  setFont(WindowFont());
  QWidget* convert_tab = BuildConvertTab();
  progress_ = std::make_unique<WindowProgress>(progress_bar1_, label9_, memo5_);
  workspace_ = options.workspace;
  runner_.SetWorkspace(workspace_);
  workbench_ = std::make_unique<Workbench>(*progress_, prompter_, std::move(options));
  // Every command starts from an empty bar; a failure is in the log too, so that the log
  // of a failed run ends with its failure once the message box is closed.
  runner_.on_start = [this] { progress_->Reset(); };
  runner_.on_locked = [this] { workbench_->RecoverWorkspace(); };
  runner_.on_end = [this](const QString& failure) {
    progress_->Finish(!failure.isNull());
    if (!failure.isNull()) progress_->AppendLog("error: " + failure.toStdString());
  };
  BuildPageControls(convert_tab);
  BuildMenus();
  FormCreate();
}

TFormMain::~TFormMain() {
  // The views and models refer to the Workbench, so they go before it does.
  if (workbench_) {
    workbench_->on_tag_rows_changed = nullptr;
    workbench_->on_char_table_changed = nullptr;
  }
  delete takeCentralWidget();
}

void TFormMain::FormCreate() {
  edit1_->clear();
  edit2_->clear();
  memo5_->clear();
  label9_->clear();
  tag_editor_->ClearFields();
  // Opening changes nothing in the workspace: an interrupted replacement of base_folder
  // is finished by the first command that writes, under the workspace lock.
  workbench_->Start();
  edit1_->setText(FromUtf8(workbench_->settings().src_folder));
  edit2_->setText(FromUtf8(workbench_->layout().database_file));
  check_box_epwing_->setChecked(workbench_->settings().build_epwing);
  check_box_stardict_->setChecked(workbench_->settings().build_stardict);
  check_box_mdict_->setChecked(workbench_->settings().build_mdict);
  ApplyStartGeometry();
  workbench_->on_tag_rows_changed = [this] { tag_editor_->FillTagEditor(); };
  workbench_->on_char_table_changed = [this] { char_view_->FillCharGrid(); };
  tag_editor_->FillTagEditor();
  char_view_->FillCharGrid();
  SetOperatingMode(0);
}

void TFormMain::ApplyStartGeometry() {
  const Settings& s = workbench_->settings();
  if (s.form_width != 0) {
    move(s.form_left, s.form_top);
    resize(s.form_width, s.form_height);
    return;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1061, 765);
  move(area.left() + static_cast<int>(std::floor(0.1 * area.width())), area.top());
  resize(static_cast<int>(std::floor(0.7 * area.width())), area.height());
}

void TFormMain::SetOperatingMode(int mode) {
  const bool was_all = workbench_->mode().ShowsWorkbench();
  workbench_->SetOperatingMode(mode);
  const bool all = workbench_->mode().ShowsWorkbench();
  mode_label_->setText(QString::fromUtf8(ModeText(mode)));
  for (QMenu* menu : workbench_menus_) menu->menuAction()->setVisible(all);
  settings_action_->setVisible(all);
  left_->setTabVisible(1, all);
  left_->setTabVisible(2, all);
  if (!all) left_->setCurrentIndex(0);
  right_->setVisible(all);
  database_panel_->setVisible(all);
  check_box2_->setVisible(all);
  const int height = this->height();
  if (all) {
    // Between modes 1 and 2 the window keeps its size, and so the preview.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (!was_all) resize(kLeftPageWidth, height);
  } else {
    setFixedSize(kLeftPageWidth, height);
  }
}

void TFormMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  Settings& s = workbench_->settings();
  s.form_top = pos().y();
  s.form_left = pos().x();
  s.form_width = width();
  s.form_height = height();
  s.src_folder = edit1_->text().toStdString();
  s.mdb_file = edit2_->text().toStdString();
  s.build_epwing = check_box_epwing_->isChecked();
  s.build_stardict = check_box_stardict_->isChecked();
  s.build_mdict = check_box_mdict_->isChecked();
  workbench_->Close();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (runner_.busy()) {
    event->ignore();
    return;
  }
  // Operating mode 0 deletes working_folder at the close: edited rules are kept or dropped
  // as the user says, and a cancel keeps the window open.
  bool close = true;
  if (!destroyed_ && !workbench_->mode().ShowsWorkbench()) {
    close = false;  // a failure to keep them keeps the window, and the rules, too
    runner_.Run([this, &close] { close = KeepOrDropEditedRules(); });
  }
  if (!close) {
    event->ignore();
    return;
  }
  // A failure to save or clean up is told, and the window closes all the same.
  runner_.Run([this] { FormDestroy(); });
  event->accept();
}

void TFormMain::Button1Click() {
  QFileDialog dialog(this, "Select Data Folder");
  dialog.setObjectName("BrowseForFolder");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (!edit1_->text().isEmpty()) dialog.setDirectory(edit1_->text());
  // A cancel is no choice: the source field keeps what it holds.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString folder = QDir::cleanPath(dialog.selectedFiles().first());
  edit1_->setText(folder);
  workbench_->SetSourceFolder(folder.toStdString());
}

void TFormMain::SampleDiscClick() {
  workbench_->UseSampleDisc();
  const QString disc = FromUtf8(workbench_->layout().source_folder);
  edit1_->setText(disc);
  progress_->AppendLog("the sample disc is in " + workbench_->layout().source_folder +
                       ": press \"create\" to convert it");
}

void TFormMain::Button2Click() {
  // The source is what the field shows, typed or chosen.
  workbench_->SetSourceFolder(edit1_->text().toStdString());
  CreateOptions options;
  options.ignore_mp3 = check_box1_->isChecked();
  options.epwing = check_box_epwing_->isChecked();
  options.stardict = check_box_stardict_->isChecked();
  options.mdict = check_box_mdict_->isChecked();
  if (workbench_->mode().FreshStart()) {
    if (!KeepOrDropEditedRules()) {
      progress_->AppendLog("create: not started, working_folder and its tag rules stay as they are");
      return;
    }
    options.drop_edited_rules = true;  // kept, or dropped as the user said
  }
  workbench_->Create(options);
  right_->AppendTemplateLines(workbench_->generated_template_lines());
  const verify::VerifyReport* verify = workbench_->last_verify() ? &*workbench_->last_verify() : nullptr;
  RunBookCheck(verify);
  for (const std::string& line : workbench_->BookLocationLines(options.epwing)) progress_->AppendLog(line);
  if (verify != nullptr && verify->errors() > 0) {
    // Written, but readers may miss some of it: that is no success, and the log ends so.
    progress_->AppendLog(fmt::format(
        "error: the EPWING book was written to {} but fails verification ({} {}); the findings list them",
        workbench_->layout().epwing_folder, verify->errors(), verify->errors() == 1 ? "error" : "errors"));
  }
}

bool TFormMain::KeepOrDropEditedRules() {
  if (!workbench_->EditedRulesAtRisk()) return true;
  const std::string& keep = workbench_->layout().xsl_exchange;
  QMessageBox box(QMessageBox::Question, kWindowCaption,
                  FromUtf8(fmt::format("The tag rules in working_folder differ from those a fresh run uses "
                                       "(they were edited or imported). Operating mode 0 deletes working_folder "
                                       "and the rules with it.\n\nKeep them as {}, which every fresh run then "
                                       "uses{}?",
                                       keep, FileExists(keep) ? " (replacing the file there now)" : "")),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setObjectName("KeepRulesQuestion");
  box.button(QMessageBox::Yes)->setText("Keep them");
  box.button(QMessageBox::No)->setText("Drop them");
  box.setDefaultButton(QMessageBox::Yes);
  switch (box.exec()) {
    case QMessageBox::Yes: workbench_->KeepEditedRules(); return true;
    case QMessageBox::No: progress_->AppendLog("the edited tag rules were dropped"); return true;
    default: return false;
  }
}

void TFormMain::ImportXslRules(std::optional<std::string> file) {
  if (!workbench_->ImportTable(RuleTable::kXsl, std::move(file))) return;
  if (workbench_->mode().RewritesStylesheets()) {
    workbench_->UpdateMainStylesheet();
    right_->AppendTemplateLines(workbench_->generated_template_lines());
  } else {
    progress_->AppendLog("operating mode 2 keeps its stylesheets: \"update xls\" writes the imported rules into "
                         "the main stylesheet");
  }
  tag_editor_->RefreshPreview();
}

void TFormMain::AfterHtmlRebuilt() {
  RunBookCheck();
  if (!check_box_epwing_->isChecked()) {
    if (const std::string note = workbench_->StaleBookNote(); !note.empty()) progress_->AppendLog(note);
    return;
  }
  const epwing::EpwingSummary summary = workbench_->BuildEpwing();
  progress_->AppendLog(FormatEpwingSummary(summary, workbench_->layout().epwing_folder));
  if (const std::string note = PronunciationNote(summary, FrontEnd::kWindow); !note.empty()) progress_->AppendLog(note);
}

void TFormMain::OperatingModeClick() {
  QInputDialog dialog(this);
  dialog.setObjectName("OperatingModeDialog");
  dialog.setWindowTitle(kWindowCaption);
  dialog.setInputMode(QInputDialog::IntInput);
  dialog.setLabelText("operating mode (0, 1 or 2):\n0: convert only, working_folder removed at the end\n"
                      "1: the workbench, the tables kept\n2: the workbench, the stylesheets kept too");
  dialog.setIntRange(0, 2);
  dialog.setIntValue(workbench_->mode().value);
  if (dialog.exec() == QDialog::Accepted) SetOperatingMode(dialog.intValue());
}

void TFormMain::AboutThisProgramClick() {
  QMessageBox box(QMessageBox::Information, kWindowCaption, AboutText(), QMessageBox::Ok, this);
  box.setObjectName("AboutBox");
  box.exec();
}

}  // namespace tavex::app
