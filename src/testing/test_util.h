// Helpers for the unit tests: a temporary folder removed at the end of the test,
// a Progress that records what it was told, and a Prompter that answers from a script.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/progress.h"
#include "platform/prompter.h"

namespace tavex::testing {

// Forks a process that takes the workspace lock of `workspace` and keeps it until it is
// killed, as another run would; returns its process id once it holds the lock, -1 when
// it could not take it.
int HoldWorkspaceLockInChild(const std::string& workspace);

// A fresh folder under the system's temporary folder, deleted with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path()/name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The lines of a text whose every line ends in CR LF; a text that does not end with
// CR LF fails the running test.
std::vector<std::string> SplitCrLf(const std::string& text);

// `text` converted with iconv from encoding `from` to `to`; empty when it does not
// convert whole.
std::string IconvText(const std::string& text, const char* to, const char* from);

// Writes `data` to `path`, creating missing parent folders.
void WriteTestFile(const std::string& path, const std::string& data);

// Records every report, for tests to inspect.
class RecordingProgress : public Progress {
 public:
  void SetRange(int maximum) override {
    maximum_ = maximum;
    position_ = 0;
    ranges.push_back(maximum);
  }
  void SetPosition(int position, int maximum, const std::string& status) override {
    position_ = position;
    maximum_ = maximum;
    statuses.push_back(status);
  }
  void AppendLog(const std::string& line) override { log.push_back(line); }
  void Warn(const std::string& message) override { warnings.push_back(message); }

  int position() const { return position_; }
  int maximum() const { return maximum_; }
  std::string last_status() const { return statuses.empty() ? std::string() : statuses.back(); }

  std::vector<int> ranges;
  std::vector<std::string> statuses;
  std::vector<std::string> log;
  std::vector<std::string> warnings;

 private:
  int maximum_ = 0;
  int position_ = 0;
};

// Answers from queues set up by the test; an empty queue answers No / cancel.
class ScriptedPrompter : public Prompter {
 public:
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    if (yes_no.empty()) return false;
    bool answer = yes_no.front();
    yes_no.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override {
    return Next(open_files);
  }
  std::optional<std::string> ChooseSaveFile(const std::string&, const std::string& initial) override {
    save_initials.push_back(initial);
    return Next(save_files);
  }
  std::optional<std::string> InputText(const std::string&, const std::string&, const std::string&) override {
    return Next(inputs);
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  std::deque<bool> yes_no;
  std::deque<std::optional<std::string>> open_files;
  std::deque<std::optional<std::string>> save_files;
  std::deque<std::optional<std::string>> inputs;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
  std::vector<std::string> save_initials;

 private:
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& q) {
    if (q.empty()) return std::nullopt;
    auto v = q.front();
    q.pop_front();
    return v;
  }
};

}  // namespace tavex::testing
