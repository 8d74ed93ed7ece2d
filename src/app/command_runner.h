// Runs the window's commands: one at a time, with every other command control disabled
// while it runs (its loops let the window handle events, so a second command could
// otherwise start inside the first one), and with the general error display. A command
// that writes into the workspace holds the workspace lock while it runs, so that it
// never interleaves with a command line run on the same workspace.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QPointer>
#include <QString>

class QAction;
class QWidget;

namespace tavex::app {

class CommandRunner {
 public:
  // `window` owns the error message boxes.
  explicit CommandRunner(QWidget* window) : window_(window) {}

  // A control that starts a command; it is disabled while a command runs.
  void AddControl(QWidget* control);
  void AddControl(QAction* action);

  // Whether a command writes into the workspace (and takes its lock) or only reads it.
  enum class Access { kWrites, kReads };

  // The workspace whose lock writing commands take.
  void SetWorkspace(const std::string& workspace) { workspace_ = workspace; }

  // Runs `command` unless another one is running. A writing command first takes the
  // workspace lock; when another run holds it, that is the failure shown. A failure
  // (tavex::Error or any other exception) is shown in a message box and the window stays
  // usable. True when the command ran to its end.
  bool Run(const std::function<void()>& command, Access access = Access::kWrites);

  // True while a command runs.
  bool busy() const { return busy_; }

  // Called as each command starts; then, once a writing command holds the workspace
  // lock, `on_locked`; and when it has ended, `on_end` with its failure (null when it
  // succeeded), before the failure's message box.
  std::function<void()> on_start;
  std::function<void()> on_locked;
  std::function<void(const QString& failure)> on_end;

 private:
  void SetControlsEnabled(bool enabled);

  QWidget* window_;
  std::string workspace_;
  bool busy_ = false;
  std::vector<QPointer<QWidget>> widgets_;
  std::vector<QPointer<QAction>> actions_;
  std::vector<bool> widget_states_;
  std::vector<bool> action_states_;
};

}  // namespace tavex::app
