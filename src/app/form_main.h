// The workbench window TFormMain: the left page control ("convert_to_html", "xsl edit",
// "Char stat"), the right page control with the five preview views, and the menus. It
// holds no rules of its own: every command is one call of the Workbench, run through
// the CommandRunner, and the layout follows the operating mode.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>

#include "app/command_runner.h"
#include "app/window_progress.h"
#include "pipeline/workbench.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace tavex::app {

class CharView;
class FindingsView;
class PreviewViews;
class TagEditor;

// The left page control's width; in every mode the window starts this wide.
inline constexpr int kLeftPageWidth = 625;

class TFormMain : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window and runs the start-up (FormCreate). Throws tavex::Error when the
  // workspace cannot be prepared (settings, working folders, database).
  explicit TFormMain(WorkbenchOptions options, QWidget* parent = nullptr);
  ~TFormMain() override;

  // Applies the layout of operating mode 0, 1 or 2 and tells the Workbench.
  void SetOperatingMode(int mode);
  Workbench& workbench() { return *workbench_; }
  // "xsl_import": replaces the tag rules from `file` (asked for when absent); the main
  // stylesheet follows them in operating mode 1 (mode 2 keeps its stylesheets and says
  // so), and the preview shows them.
  void ImportXslRules(std::optional<std::string> file);

 protected:
  // Refused while a command runs; otherwise FormDestroy, then the window closes.
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildConvertTab();
  void BuildPageControls(QWidget* convert_tab);
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const char* caption, const char* name, std::function<void()> work,
                      CommandRunner::Access access = CommandRunner::Access::kWrites);
  void FormCreate();
  void FormDestroy();
  void ApplyStartGeometry();
  void Button1Click();
  // "sample disc": the sample disc, written into the workspace when missing, becomes the source.
  void SampleDiscClick();
  void Button2Click();
  void OperatingModeClick();
  // Before working_folder goes in operating mode 0 (a create run or the close): when its
  // tag rules differ from those a fresh run would use, asks whether to keep them as
  // xsl_data.xml (and keeps them) or to drop them. False when the user cancels.
  bool KeepOrDropEditedRules();
  // After "re-build html": the EPWING book is built again when it is built by default,
  // else the log says that it is older than its source.
  void AfterHtmlRebuilt();
  void AboutThisProgramClick();
  // Runs the pre-flight check on base_folder: its summary goes to the log, its findings
  // to the findings dock (form_main_check.cpp); the findings of the check of the EPWING
  // book, when given, go with them.
  void RunBookCheck(const verify::VerifyReport* verify = nullptr);
  // Previews the entry that a finding's line of html_EPW belongs to.
  void OpenFindingEntry(int row);

  std::string workspace_;  // the workspace folder, whose lock the writing commands take
  WindowPrompter prompter_;
  CommandRunner runner_;
  std::unique_ptr<WindowProgress> progress_;
  std::unique_ptr<Workbench> workbench_;

  QTabWidget* left_ = nullptr;          // PageControl1
  PreviewViews* right_ = nullptr;       // PageControl2
  TagEditor* tag_editor_ = nullptr;
  CharView* char_view_ = nullptr;
  FindingsView* findings_ = nullptr;
  QLineEdit* edit1_ = nullptr;          // source field
  QLineEdit* edit2_ = nullptr;          // database field
  QCheckBox* check_box1_ = nullptr;     // "ignore mp3 files"
  QCheckBox* check_box_epwing_ = nullptr;  // "also build the EPWING book"
  QCheckBox* check_box_stardict_ = nullptr;  // "StarDict"
  QCheckBox* check_box_mdict_ = nullptr;     // "MDict"
  QCheckBox* check_box2_ = nullptr;     // "select tavex.data"
  QPushButton* button1_ = nullptr;      // "source drive"
  QPushButton* button_sample_ = nullptr;  // "sample disc"
  QPushButton* button2_ = nullptr;      // "create"
  QWidget* database_panel_ = nullptr;
  QProgressBar* progress_bar1_ = nullptr;
  QLabel* label9_ = nullptr;
  QLabel* mode_label_ = nullptr;        // the current operating mode and what it means
  QPlainTextEdit* memo5_ = nullptr;
  std::vector<QMenu*> workbench_menus_;  // hidden in operating mode 0
  QAction* settings_action_ = nullptr;    // "初期設定", hidden in operating mode 0
  bool destroyed_ = false;
};

}  // namespace tavex::app
