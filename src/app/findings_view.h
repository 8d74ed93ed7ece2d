// The pre-flight check's findings in a dock below the window's pages: one row per
// finding (severity, file, line, message, what to do), to read and to copy as text. A
// double-click on a row is passed on, so the window can open the entry it points into.
#pragma once

#include <QDockWidget>
#include <QString>

#include "check/check.h"
#include "verify/verify.h"

class QLabel;
class QTableWidget;

namespace tavex::app {

class FindingsView : public QDockWidget {
  Q_OBJECT

 public:
  explicit FindingsView(QWidget* parent = nullptr);

  // Lists the report's findings, then those of the check of the EPWING book when given,
  // and shows the dock; with no findings the dock is emptied and hidden. The summary
  // counts each check's findings on its own line.
  void ShowReport(const check::CheckReport& report, const verify::VerifyReport* verify = nullptr);
  // The finding of table row `row`; the row must exist.
  const check::Finding& finding(int row) const { return report_.findings.at(static_cast<std::size_t>(row)); }
  // The selected rows as tab-separated lines, in table order; all rows when none is selected.
  QString SelectedText() const;
  // Every finding and the summary, as the command line's check prints them.
  QString AllText() const;

 signals:
  // Row `row` was double-clicked.
  void FindingActivated(int row);

 private:
  QTableWidget* table_;
  QLabel* summary_;
  check::CheckReport report_;  // the findings of both checks, in table order
  QString summary_text_;
};

}  // namespace tavex::app
