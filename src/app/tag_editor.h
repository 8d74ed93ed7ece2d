// The "xsl edit" tab: the tag rule grid, the editor of one tag's options, the template
// of the selected tag, and the navigation that previews entries in the right page
// control. The rows are the Workbench's; edits reach the table only by "update xls".
#pragma once

#include <string>
#include <vector>

#include <QWidget>

#include "stylesheet/rule_row.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace tavex {
class Workbench;
}

namespace tavex::app {

class CommandRunner;
class PreviewViews;
class TagGridModel;

class TagEditor : public QWidget {
  Q_OBJECT

 public:
  // `workbench`, `runner` and `views` must outlive the editor.
  TagEditor(Workbench& workbench, CommandRunner& runner, PreviewViews* views, QWidget* parent = nullptr);

  // Empties the text fields and sets the index field to "0", as the window opens.
  void ClearFields();
  // Fills the option list, the grid and the tag box from the Workbench's rows, selects
  // the first tag and loads it; with no rows the editor is left as it is.
  void FillTagEditor();
  // Refills the grid from the table, keeping the current row.
  void RefreshTagGrid();
  // Loads the grid's current row into the tag box, the options, the fields and the template view.
  void LoadTagEditor();
  // Fills the five views with the entry at `index`.
  void ShowEntryPreview(int index);
  // Puts `index` into the index field and previews that entry.
  void PreviewEntry(int index);
  // Previews the entry of the index field again, with the rules as they are now, when
  // the preview shows one.
  void RefreshPreview();

 signals:
  // The book's HTML was rebuilt ("re-build html" ran to its end).
  void HtmlRebuilt();

 private:
  void BuildLayout();
  void ConnectCommands();
  void LoadTagOptions(const QString& tag);
  void SaveTagOptions(const QString& tag);
  int IndexFieldNumber() const;
  void SetCurrentRow(int row);
  int CurrentRow() const;
  // The template view: the current tag's template as the table holds it now.
  void ShowTemplateText();

  void UpdateXlsClick();
  void SuggestClick();
  void ShowClick();
  void StepClick(int delta);
  void SearchClick();
  void SelectClick();
  void ComboBox1Select(int item);

  Workbench& workbench_;
  CommandRunner& runner_;
  PreviewViews* views_;
  TagGridModel* model_ = nullptr;

  QTableView* grid_ = nullptr;           // StringGrid1
  QComboBox* tag_box_ = nullptr;         // ComboBox1
  QListWidget* options_ = nullptr;       // CheckListBox1
  QLineEdit* pre_text_ = nullptr;
  QLineEdit* post_text_ = nullptr;
  QLineEdit* indent_ = nullptr;
  QPlainTextEdit* custom_xsl_ = nullptr;
  QPlainTextEdit* template_view_ = nullptr;
  QLineEdit* index_ = nullptr;
  QLineEdit* highlight_ = nullptr;
  QLineEdit* search_word_ = nullptr;
  QLineEdit* select_tag_ = nullptr;
  std::vector<QPushButton*> buttons_;
  bool previewed_ = false;  // the views show an entry
};

// The row "select" moves to: the first row whose tag begins with `prefix` (exact case),
// passing over the rows up to and including `current` when the current row already
// begins with it. No further match keeps `current`. Rows count from 0.
int NextTagRow(const std::vector<RuleRow>& rows, int current, const std::string& prefix);

}  // namespace tavex::app
