// Helpers for the window tests: a workspace with a generated sample disc, the real main
// window opened on it, a driver that answers modal dialogs as they appear, and the
// registry through which each test file adds its QTest class to the one test binary.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "app/form_main.h"
#include "testing/test_util.h"

namespace tavex::app::testing {

// A temporary workspace; with a disc, the sample disc is written into disc/ and the
// settings file names it as the source folder.
class Workspace {
 public:
  struct Options {
    bool disc = true;         // write the sample disc and name it in the settings
    bool sample_rules = true;  // write xsl_data.xml with the sample rules
  };
  Workspace() : Workspace(Options{}) {}
  explicit Workspace(Options options);

  const std::string& path() const { return dir_.path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }
  std::string disc() const { return dir_ / "disc"; }

  // Opens the real main window on this workspace and shows it.
  std::unique_ptr<TFormMain> Open() const;

 private:
  tavex::testing::TempDir dir_;
};

// Answers modal dialogs in order: each handler gets the next modal widget that appears.
class DialogDriver : public QObject {
 public:
  DialogDriver();
  // Queues a handler for the next dialog.
  void Then(std::function<void(QWidget*)> handler) { handlers_.push_back(std::move(handler)); }
  // True when every queued handler has run.
  bool done() const { return handlers_.empty(); }

 private:
  void Poll();

  QTimer timer_;
  std::deque<std::function<void(QWidget*)>> handlers_;
};

// Handlers for the common dialogs. A message box's text is stored in `text` when given.
std::function<void(QWidget*)> ClickMessageButton(int standard_button, QString* text = nullptr);
std::function<void(QWidget*)> ChooseFolder(const std::string& folder, QString* title = nullptr);
std::function<void(QWidget*)> EnterInteger(int value);

// Switches the window into `mode` through the "about" menu's "operating mode…" item.
void SwitchMode(TFormMain& window, int mode);

// The step log's lines.
std::vector<std::string> LogLines(TFormMain& window);

// The QTest classes of the binary, run in registration order.
std::vector<std::function<QObject*()>>& TestClasses();

template <typename T>
bool RegisterTestClass() {
  TestClasses().push_back([] { return new T; });
  return true;
}

}  // namespace tavex::app::testing
