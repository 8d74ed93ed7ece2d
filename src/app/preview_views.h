// The right page control: the five views of the entry preview ("WB", "xml", the two
// HTML texts and the book's block), filled from the core's preview texts.
#pragma once

#include <string>
#include <vector>

#include <QTabWidget>

#include "book/preview.h"

class QPlainTextEdit;
class QTextBrowser;

namespace tavex::app {

class PreviewViews : public QTabWidget {
  Q_OBJECT

 public:
  explicit PreviewViews(QWidget* parent = nullptr);

  // Shows all five texts of one entry at once, so no view is left half-written.
  void Show(const EntryPreview& preview);
  // Appends the template lines a stylesheet write generated to the "html (final)" view.
  void AppendTemplateLines(const std::vector<std::string>& lines);

 private:
  QTextBrowser* wb_;
  QTextBrowser* xml_;
  QPlainTextEdit* original_;
  QPlainTextEdit* final_;
  QPlainTextEdit* epw_;
};

}  // namespace tavex::app
