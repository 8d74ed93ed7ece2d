// The grid models: plain adapters, no rules of their own.
#include "app/grid_models.h"

#include <algorithm>
#include <iterator>

#include <QImage>

namespace tavex::app {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int kCharColumnCount = static_cast<int>(std::size(kCharColumns));
constexpr int kCharRefColumn = 5;

}  // namespace

int TagGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TagGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kRuleRowSize; }

QVariant TagGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
  return FromUtf8(RuleText(rows_[static_cast<std::size_t>(index.row())], index.column()));
}

QVariant TagGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return section >= 0 && section < kRuleRowSize ? QVariant(QString(kRuleColumns[section])) : QVariant();
}

void TagGridModel::Reload() {
  beginResetModel();
  endResetModel();
}

QString TagGridModel::TagAt(int row) const {
  if (row < 0 || row >= rowCount()) return {};
  return FromUtf8(rows_[static_cast<std::size_t>(row)].tag);
}

int CharGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CharGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kCharColumnCount; }

QVariant CharGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const auto& row = rows_[static_cast<std::size_t>(index.row())];
  const std::size_t column = static_cast<std::size_t>(index.column());
  if (role == Qt::DisplayRole) return column < row.size() ? FromUtf8(row[column]) : QString();
  if (role == Qt::DecorationRole && index.column() == 0 && row.size() > kCharRefColumn &&
      row[kCharRefColumn] == "1") {
    bool ok = false;
    const int code = FromUtf8(row[0]).toInt(&ok);
    if (!ok) return {};
    const QPixmap glyph = GlyphFor(code);
    if (!glyph.isNull()) return glyph;
  }
  return {};
}

QVariant CharGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return section >= 0 && section < kCharColumnCount ? QVariant(QString(kCharColumns[section])) : QVariant();
}

void CharGridModel::SetRows(std::vector<std::vector<std::string>> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

QPixmap CharGridModel::GlyphFor(int ws_code) const {
  auto found = glyphs_.find(ws_code);
  if (found == glyphs_.end()) found = glyphs_.emplace(ws_code, GlyphPixmap(glyph_text_(ws_code))).first;
  return found->second;
}

QPixmap GlyphPixmap(const std::string& glyph_text) {
  std::vector<std::string> rows(1);
  for (const char c : glyph_text) {
    if (c == '\n') {
      rows.emplace_back();
    } else if (c != '\r') {
      rows.back() += c;
    }
  }
  std::size_t width = 0;
  for (const auto& r : rows) width = std::max(width, r.size());
  if (width == 0) return {};
  QImage image(static_cast<int>(width), static_cast<int>(rows.size()), QImage::Format_RGB32);
  image.fill(Qt::white);
  for (std::size_t y = 0; y < rows.size(); ++y) {
    for (std::size_t x = 0; x < rows[y].size(); ++x) {
      if (rows[y][x] == '#') image.setPixel(static_cast<int>(x), static_cast<int>(y), qRgb(0, 0, 0));
    }
  }
  return QPixmap::fromImage(image);
}

}  // namespace tavex::app
