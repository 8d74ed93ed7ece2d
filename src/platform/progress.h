// How the core reports to people: a progress bar with a status label, the step log,
// and warnings. Each front end implements Progress; the core never prints.
#pragma once

#include <string>

#include <fmt/format.h>

namespace tavex {

class Progress {
 public:
  virtual ~Progress() = default;
  // Starts a loop: minimum 0, maximum `maximum`, position 0.
  virtual void SetRange(int maximum) = 0;
  // The bar moved to `position` of `maximum`; `status` is the status label's new text.
  virtual void SetPosition(int position, int maximum, const std::string& status) = 0;
  // Appends one line to the step log (the create run's lines).
  virtual void AppendLog(const std::string& line) = 0;
  // A condition the user should know of that does not stop the command.
  virtual void Warn(const std::string& message) = 0;
  // Lets the user interface handle pending events (repaint) between units of work.
  virtual void ProcessEvents() {}
};

// Discards everything; for callers that want no report.
class NullProgress : public Progress {
 public:
  void SetRange(int) override {}
  void SetPosition(int, int, const std::string&) override {}
  void AppendLog(const std::string&) override {}
  void Warn(const std::string&) override {}
};

// One loop of the progress convention: the range is set when the loop starts, and each
// finished unit advances the bar by one, sets the label to "[label] position/maximum"
// and lets the interface breathe. Nothing is reset when the loop ends.
class ProgressLoop {
 public:
  ProgressLoop(Progress& progress, int maximum, std::string label)
      : progress_(progress), maximum_(maximum), label_(std::move(label)) {
    progress_.SetRange(maximum_);
  }
  void Step() {
    ++position_;
    progress_.SetPosition(position_, maximum_, fmt::format("[{}] {}/{}", label_, position_, maximum_));
    progress_.ProcessEvents();
  }
  int position() const { return position_; }
  int maximum() const { return maximum_; }

 private:
  Progress& progress_;
  int maximum_;
  int position_ = 0;
  std::string label_;
};

}  // namespace tavex
