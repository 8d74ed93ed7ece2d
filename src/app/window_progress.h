// The window's side of the core's reports and questions: the progress bar, the status
// label and the step log of the "convert_to_html" tab, and the standard dialogs.
#pragma once

#include <optional>
#include <string>

#include "platform/progress.h"
#include "platform/prompter.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QWidget;

namespace tavex::app {

// Shows a loop's progress in the bar and the label, appends log lines and warnings to
// the step log, and lets the window repaint between units.
class WindowProgress : public Progress {
 public:
  // The widgets must outlive this object.
  WindowProgress(QProgressBar* bar, QLabel* status, QPlainTextEdit* log);

  void SetRange(int maximum) override;
  void SetPosition(int position, int maximum, const std::string& status) override;
  void AppendLog(const std::string& line) override;
  void Warn(const std::string& message) override;
  void ProcessEvents() override;

  // As a command starts: the bar at its start and no status left from the last one.
  void Reset();
  // As a command ends: the status goes; a failed command's bar goes back to its start,
  // so that a full bar never stands beside a failure.
  void Finish(bool failed);

 private:
  QProgressBar* bar_;
  QLabel* status_;
  QPlainTextEdit* log_;
};

// Asks through modal dialogs owned by `parent`.
class WindowPrompter : public Prompter {
 public:
  explicit WindowPrompter(QWidget* parent) : parent_(parent) {}

  bool AskYesNo(const std::string& question) override;
  std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& initial_path) override;
  std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& initial_path) override;
  std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) override;
  void ShowMessage(const std::string& text) override;

 private:
  QWidget* parent_;
};

// The window's caption, also the title of its message boxes.
inline constexpr const char* kWindowCaption = "TAVEX_to_EPWING";

}  // namespace tavex::app
