// The window's side of the pre-flight check: after the commands that write the book's
// source, the same check the command line runs, its summary in the log and its findings
// in the findings dock (after a create run with the EPWING book's own check beside
// them); a finding in the book leads to the preview of its entry.
#include <fmt/format.h>

#include <filesystem>
#include <optional>

#include "app/findings_view.h"
#include "app/form_main.h"
#include "app/tag_editor.h"
#include "check/check.h"
#include "verify/verify.h"

namespace tavex::app {

namespace {

// The window's width when the preview shows beside the left page control.
constexpr int kWidthWithPreview = 1061;
// The findings dock's height when it appears.
constexpr int kDockHeight = 180;

std::string AbsoluteBaseFolder(const std::string& folder) {
  return std::filesystem::absolute(folder).lexically_normal().string();
}

}  // namespace

void TFormMain::RunBookCheck(const verify::VerifyReport* verify) {
  const check::CheckReport report =
      check::CheckBookSource(AbsoluteBaseFolder(workbench_->layout().base_folder), workbench_->CheckHints());
  progress_->AppendLog(check::FormatSummary(report));
  if (verify != nullptr) progress_->AppendLog(verify::FormatVerifySummary(*verify));
  const bool was_hidden = findings_->isHidden();
  findings_->ShowReport(report, verify);
  // A newly shown dock takes a few rows' height and leaves the pages most of the window.
  if (was_hidden && !findings_->isHidden()) resizeDocks({findings_}, {kDockHeight}, Qt::Vertical);
}

void TFormMain::OpenFindingEntry(int row) {
  const check::Finding& finding = findings_->finding(row);
  if (finding.file != "html_EPW" || finding.line <= 0) return;
  const std::optional<int> index =
      check::EntryIndexAtLine(AbsoluteBaseFolder(workbench_->layout().base_folder), finding.line);
  if (!index) return;
  if (!workbench_->mode().ShowsWorkbench()) {
    // Operating mode 0 has no preview; the entry's index still helps to find it.
    progress_->AppendLog(
        fmt::format("html_EPW line {} belongs to entry {}; the entry preview shows in "
                    "operating mode 1 or 2",
                    finding.line, *index));
    return;
  }
  tag_editor_->PreviewEntry(*index);
  if (width() < kWidthWithPreview) resize(kWidthWithPreview, height());
}

}  // namespace tavex::app
