// The "Char stat" tab: the character table as a grid, all rows or only the gaiji
// candidates, each candidate with the glyph the book's font will show for it.
#pragma once

#include <QWidget>

class QRadioButton;
class QTableView;

namespace tavex {
class Workbench;
}

namespace tavex::app {

class CharGridModel;
class CommandRunner;

class CharView : public QWidget {
  Q_OBJECT

 public:
  // `workbench` and `runner` must outlive the view.
  CharView(Workbench& workbench, CommandRunner& runner, QWidget* parent = nullptr);

  // Refills the grid by the "selection" choice (empty when there is no table).
  void FillCharGrid();

 signals:
  // The grid was double-clicked: the window loads the tag editor.
  void GridDoubleClicked();

 private:
  Workbench& workbench_;
  CharGridModel* model_;
  QTableView* grid_;            // StringGrid2
  QRadioButton* show_all_;
  QRadioButton* only_char_ref_;
};

}  // namespace tavex::app
