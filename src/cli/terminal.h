// The command line's Progress and Prompter: the step log on stdout, progress and
// warnings on stderr, questions only when a person sits at a terminal.
#pragma once

#include <chrono>
#include <string>

#include "platform/progress.h"
#include "platform/prompter.h"

namespace tavex::cli {

// Step log lines go to stdout, each flushed as it is written. Progress goes to stderr
// as "[status] n/N" only when stderr is a terminal (redrawn in place, at most a few
// times a second); warnings go to stderr unless quiet.
class TerminalProgress : public Progress {
 public:
  explicit TerminalProgress(bool quiet);
  ~TerminalProgress() override;

  void SetRange(int maximum) override;
  void SetPosition(int position, int maximum, const std::string& status) override;
  void AppendLog(const std::string& line) override;
  void Warn(const std::string& message) override;

  int warning_count() const { return warnings_; }

 private:
  void ClearStatusLine();

  bool quiet_;
  bool show_progress_;
  bool status_shown_ = false;
  int warnings_ = 0;
  std::chrono::steady_clock::time_point last_draw_{};
};

// Asks on the terminal (stdin and stderr) when both are terminals; otherwise answers
// No and cancels. `assume_yes` answers Yes to every confirmation (the --yes flag).
class TerminalPrompter : public Prompter {
 public:
  explicit TerminalPrompter(bool assume_yes = false);

  bool AskYesNo(const std::string& question) override;
  std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& initial_path) override;
  std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& initial_path) override;
  std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) override;
  void ShowMessage(const std::string& text) override;

  void set_assume_yes(bool yes) { assume_yes_ = yes; }

 private:
  std::optional<std::string> ReadLine(const std::string& prompt);

  bool assume_yes_;
  bool interactive_;
};

}  // namespace tavex::cli
