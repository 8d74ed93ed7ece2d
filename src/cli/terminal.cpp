#include "cli/terminal.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace tavex::cli {

TerminalProgress::TerminalProgress(bool quiet)
    : quiet_(quiet), show_progress_(!quiet && isatty(STDERR_FILENO) != 0) {}

TerminalProgress::~TerminalProgress() { ClearStatusLine(); }

void TerminalProgress::ClearStatusLine() {
  if (status_shown_) {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    status_shown_ = false;
  }
}

void TerminalProgress::SetRange(int) {}

void TerminalProgress::SetPosition(int position, int maximum, const std::string& status) {
  if (!show_progress_) return;
  auto now = std::chrono::steady_clock::now();
  if (position != maximum && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  std::fprintf(stderr, "\r\033[K%s", status.c_str());
  std::fflush(stderr);
  status_shown_ = true;
}

void TerminalProgress::AppendLog(const std::string& line) {
  ClearStatusLine();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void TerminalProgress::Warn(const std::string& message) {
  ++warnings_;
  if (quiet_) return;
  ClearStatusLine();
  std::fprintf(stderr, "warning: %s\n", message.c_str());
  std::fflush(stderr);
}

TerminalPrompter::TerminalPrompter(bool assume_yes)
    : assume_yes_(assume_yes), interactive_(isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0) {}

std::optional<std::string> TerminalPrompter::ReadLine(const std::string& prompt) {
  if (!interactive_) return std::nullopt;
  std::cerr << prompt << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  return line;
}

bool TerminalPrompter::AskYesNo(const std::string& question) {
  if (assume_yes_) return true;
  auto answer = ReadLine(question + " [y/N] ");
  return answer && (*answer == "y" || *answer == "Y" || *answer == "yes");
}

std::optional<std::string> TerminalPrompter::ChooseOpenFile(const std::string& title,
                                                            const std::string& initial_path) {
  auto answer = ReadLine(title + ": ");
  if (!answer || answer->empty()) return std::nullopt;
  return answer;
}

std::optional<std::string> TerminalPrompter::ChooseSaveFile(const std::string& title,
                                                            const std::string& initial_path) {
  auto answer = ReadLine(title + " [" + initial_path + "]: ");
  if (!answer) return std::nullopt;
  if (answer->empty()) return initial_path;
  return answer;
}

std::optional<std::string> TerminalPrompter::InputText(const std::string& caption, const std::string& prompt,
                                                       const std::string& initial) {
  return ReadLine(prompt + ": ");
}

void TerminalPrompter::ShowMessage(const std::string& text) {
  std::cerr << text << std::endl;
}

}  // namespace tavex::cli
