// The command line's Progress and Prompter: the step log on stdout, progress and
// warnings on stderr, questions only when a person sits at a terminal.
#pragma once

#include <chrono>
#include <string>

#include "platform/progress.h"
#include "platform/prompter.h"

namespace tavex::cli {

// Step log lines go to stdout, each flushed as it is written. When stderr is a terminal
// (and not quiet), a loop that runs longer than half a second shows one progress line on
// stderr, redrawn in place a few times a second: the loop's name, a bar, the percentage,
// done/total, the rate and the time left. The line is erased before anything else is
// written and when the loop ends, so what stays on the screen is the log and the
// warnings. Warnings go to stderr unless quiet.
// A message for stderr with control characters written as "\xNN" (line breaks kept), so
// that text from a disc or a file never sends escape codes to the terminal.
std::string ForTerminal(const std::string& message);

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
  using Clock = std::chrono::steady_clock;

  // Erases the progress line if one is on the screen.
  void ClearStatusLine();

  bool quiet_;
  bool show_progress_;
  bool status_shown_ = false;
  int warnings_ = 0;
  // When the running loop started: its rate and time left are measured from here.
  Clock::time_point loop_start_ = Clock::now();
  Clock::time_point last_draw_{};
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
  // A line in English said before the next yes/no question, whose text is the window's.
  void set_gloss(std::string gloss) { gloss_ = std::move(gloss); }

 private:
  std::optional<std::string> ReadLine(const std::string& prompt);

  bool assume_yes_;
  bool interactive_;
  std::string gloss_;
};

}  // namespace tavex::cli
