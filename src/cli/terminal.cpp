#include "cli/terminal.h"

#include <fmt/format.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "text/text.h"

namespace tavex::cli {
namespace {

// A loop shorter than this shows no progress line at all.
constexpr auto kShowAfter = std::chrono::milliseconds(500);
// The progress line is redrawn at most this often.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
// The bar's width when the terminal has room for it.
constexpr int kBarWidth = 30;
// The narrowest bar worth drawing.
constexpr int kMinBarWidth = 10;

// Characters that East Asian terminals draw two columns wide (the kana and kanji of the
// step names among them).
bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

// A text made safe for the terminal and cut to at most `max_width` columns: control
// characters and broken UTF-8 become "?", so a name read from a disc cannot move the
// cursor or change the terminal's state. `width` receives the columns the result takes.
std::string TerminalText(std::string_view text, int max_width, int& width) {
  std::string out;
  width = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    std::string_view piece = valid ? text.substr(i, length) : std::string_view("?");
    if (!valid || c < 0x20 || (c >= 0x7F && c < 0xA0)) piece = "?";
    const int columns = valid && IsWide(c) ? 2 : 1;
    if (width + columns > max_width) break;
    out += piece;
    width += columns;
    i += valid ? length : 1;
  }
  return out;
}

// The loop's name from its status text "[name] position/maximum".
std::string_view LoopName(std::string_view status) {
  const std::size_t space = status.rfind(' ');
  if (space != std::string_view::npos && status.find('/', space) != std::string_view::npos) {
    status = status.substr(0, space);
  }
  if (status.size() >= 2 && status.front() == '[' && status.back() == ']') {
    status = status.substr(1, status.size() - 2);
  }
  return status;
}

// A span of time as m:ss, or h:mm:ss from an hour on.
std::string Duration(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  if (s >= 3600) return fmt::format("{}:{:02}:{:02}", s / 3600, s / 60 % 60, s % 60);
  return fmt::format("{}:{:02}", s / 60, s % 60);
}

// The width of the terminal on stderr, asked at each redraw so that a resized window
// gets lines of its new width.
int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// One progress line, narrower than the terminal (a line of its full width would wrap on
// some terminals and leave a line behind): the parts that do not fit are left out, the
// time left and the rate first, then the bar; the name is cut last.
std::string ProgressLine(std::string_view name, int position, int maximum, double seconds, int columns) {
  const int percent = maximum > 0 ? static_cast<int>(std::clamp(100LL * position / maximum, 0LL, 100LL)) : 100;
  const double rate = seconds > 0 ? position / seconds : 0;
  const std::string rate_text = rate >= 100 ? fmt::format("{:.0f}/s", rate) : fmt::format("{:.1f}/s", rate);
  const std::string left = rate > 0 ? Duration((maximum - position) / rate) + " left" : "--:-- left";
  const std::string counts = fmt::format("{:3}%  {}/{}", percent, position, maximum);
  std::string tail = fmt::format(" {}  {}  {}", counts, rate_text, left);
  const int room = columns - 1;
  int name_width = 0;
  TerminalText(name, room, name_width);
  if (room - static_cast<int>(tail.size()) - name_width - 3 < kMinBarWidth) tail = " " + counts;
  const int for_name_and_bar = room - static_cast<int>(tail.size());
  int bar = std::min(kBarWidth, for_name_and_bar - name_width - 3);
  if (bar < kMinBarWidth) bar = for_name_and_bar >= kMinBarWidth + 3 ? kMinBarWidth : 0;
  const int name_room = std::max(0, for_name_and_bar - (bar > 0 ? bar + 3 : 1));
  std::string line = TerminalText(name, name_room, name_width);
  if (bar > 0) {
    const int filled = bar * percent / 100;
    line += " [" + std::string(filled, '#') + std::string(bar - filled, '.') + "]";
  }
  line += tail;
  int line_width = 0;
  return TerminalText(line, room, line_width);
}

// Whether a progress line is on the screen, for the signal handler below.
volatile std::sig_atomic_t g_line_shown = 0;
struct sigaction g_previous_int {};
struct sigaction g_previous_term {};

// Ctrl+C or a kill while a progress line shows: erase it, so the shell's prompt starts
// on a clean line, then let the signal do what it did before.
void EraseLineAndResignal(int signal_number) {
  if (g_line_shown != 0) {
    const char erase[] = "\r\033[K";
    [[maybe_unused]] ssize_t ignored = write(STDERR_FILENO, erase, sizeof erase - 1);
  }
  sigaction(signal_number, signal_number == SIGINT ? &g_previous_int : &g_previous_term, nullptr);
  raise(signal_number);
}

}  // namespace

std::string ForTerminal(const std::string& message) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = message.find('\n', start);
    out +=
        EscapeControls(std::string_view(message).substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return out;
    out += '\n';
    start = end + 1;
  }
}

namespace {

// A terminal that takes the line-erasing escape code (a "dumb" one does not).
bool TerminalTakesEscapes() {
  const char* term = std::getenv("TERM");
  return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

}  // namespace

TerminalProgress::TerminalProgress(bool quiet)
    : quiet_(quiet), show_progress_(!quiet && isatty(STDERR_FILENO) != 0 && TerminalTakesEscapes()) {
  if (show_progress_) {
    struct sigaction action {};
    action.sa_handler = EraseLineAndResignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_previous_int);
    sigaction(SIGTERM, &action, &g_previous_term);
  }
}

TerminalProgress::~TerminalProgress() {
  ClearStatusLine();
  if (show_progress_) {
    sigaction(SIGINT, &g_previous_int, nullptr);
    sigaction(SIGTERM, &g_previous_term, nullptr);
  }
}

void TerminalProgress::ClearStatusLine() {
  if (status_shown_) {
    g_line_shown = 0;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    status_shown_ = false;
  }
}

void TerminalProgress::SetRange(int) {
  loop_start_ = Clock::now();
  last_draw_ = {};
}

void TerminalProgress::SetPosition(int position, int maximum, const std::string& status) {
  if (!show_progress_) return;
  if (position >= maximum) {
    ClearStatusLine();
    return;
  }
  const auto now = Clock::now();
  if (now - loop_start_ < kShowAfter || now - last_draw_ < kRedrawEvery) return;
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - loop_start_).count();
  const std::string line = ProgressLine(LoopName(status), position, maximum, seconds, TerminalColumns());
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  status_shown_ = true;
  g_line_shown = 1;
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
  std::fprintf(stderr, "warning: %s\n", ForTerminal(message).c_str());
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
  if (interactive_ && !gloss_.empty()) std::cerr << gloss_ << "\n";
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
