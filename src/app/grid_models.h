// Table models that adapt the Workbench's data to the two grids: the tag rule rows of
// the tag editor (StringGrid1) and the rows of the character table (StringGrid2). The
// grids' heading row is the models' horizontal header.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QAbstractTableModel>
#include <QPixmap>

#include "stylesheet/rule_row.h"

namespace tavex::app {

// The tag grid: one row per rule row, the columns `tag` … `custom_xsl`.
class TagGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `rows` is the Workbench's list of tag rule rows; it must outlive the model.
  explicit TagGridModel(const std::vector<RuleRow>& rows, QObject* parent = nullptr)
      : QAbstractTableModel(parent), rows_(rows) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Call after the Workbench reloaded its rows.
  void Reload();
  // The tag key of a row, empty outside the table.
  QString TagAt(int row) const;

 private:
  const std::vector<RuleRow>& rows_;
};

// The character grid: ws_code, ws_hex, utf8_hex, total_count, first_index, char_ref.
// A gaiji candidate (char_ref "1") shows the glyph the book's font will give it beside
// its code.
class CharGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `glyph_text` gives a character's glyph as "#"/"." rows, or empty text.
  explicit CharGridModel(std::function<std::string(int ws_code)> glyph_text, QObject* parent = nullptr)
      : QAbstractTableModel(parent), glyph_text_(std::move(glyph_text)) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Replaces the rows (each six texts, in the column order above).
  void SetRows(std::vector<std::vector<std::string>> rows);

 private:
  QPixmap GlyphFor(int ws_code) const;

  std::function<std::string(int)> glyph_text_;
  std::vector<std::vector<std::string>> rows_;
  mutable std::unordered_map<int, QPixmap> glyphs_;  // rendered once per character
};

// The picture of a glyph text: rows of "#" (ink) and "." (blank) separated by line ends,
// one pixel per character, black on white. A null pixmap for an empty text.
QPixmap GlyphPixmap(const std::string& glyph_text);

// The column names of the character grid.
inline constexpr const char* kCharColumns[] = {"ws_code", "ws_hex", "utf8_hex", "total_count", "first_index",
                                                "char_ref"};

}  // namespace tavex::app
