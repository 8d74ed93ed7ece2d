// The command boundary of the window: the only place where errors of the core are caught.
#include "app/command_runner.h"

#include <exception>
#include <optional>

#include <QAction>
#include <QMessageBox>
#include <QWidget>

#include "app/window_progress.h"
#include "fs/workspace_lock.h"

namespace tavex::app {

void CommandRunner::AddControl(QWidget* control) { widgets_.emplace_back(control); }

void CommandRunner::AddControl(QAction* action) { actions_.emplace_back(action); }

void CommandRunner::SetControlsEnabled(bool enabled) {
  if (!enabled) {
    widget_states_.clear();
    action_states_.clear();
    for (const auto& w : widgets_) widget_states_.push_back(w && w->isEnabled());
    for (const auto& a : actions_) action_states_.push_back(a && a->isEnabled());
  }
  for (std::size_t i = 0; i < widgets_.size(); ++i) {
    if (widgets_[i]) widgets_[i]->setEnabled(enabled && widget_states_[i]);
  }
  for (std::size_t i = 0; i < actions_.size(); ++i) {
    if (actions_[i]) actions_[i]->setEnabled(enabled && action_states_[i]);
  }
}

bool CommandRunner::Run(const std::function<void()>& command, Access access) {
  if (busy_) return false;
  busy_ = true;
  SetControlsEnabled(false);
  QString failure;
  try {
    if (on_start) on_start();
    std::optional<WorkspaceLock> lock;
    if (access == Access::kWrites && !workspace_.empty()) {
      lock.emplace(workspace_);
      if (on_locked) on_locked();
    }
    command();
  } catch (const std::exception& e) {
    failure = QString::fromUtf8(e.what());
  }
  if (on_end) on_end(failure);
  SetControlsEnabled(true);
  busy_ = false;
  if (failure.isNull()) return true;
  QMessageBox box(QMessageBox::Critical, kWindowCaption, failure, QMessageBox::Ok, window_);
  box.setObjectName("ErrorMessage");
  box.exec();
  return false;
}

}  // namespace tavex::app
