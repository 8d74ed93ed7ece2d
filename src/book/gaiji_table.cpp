// Loading the gaiji table and the two passes that use it.
#include "book/gaiji_table.h"

#include <optional>
#include <utility>

#include <fmt/format.h>

#include "text/cp932.h"
#include "text/error.h"
#include "text/plain_letters.h"
#include "store/database.h"
#include "store/tables.h"

namespace tavex::book {

namespace {

constexpr std::size_t kCodeUnits = 0x10000;

// The code unit a row stands for: its `ws` text when that is one code unit, else its code.
char16_t UnitOf(const std::string& ws_text, std::int64_t code) {
  const std::u16string ws = Utf8ToUtf16(ws_text);
  if (ws.size() == 1) return ws[0];
  return static_cast<char16_t>(code);
}

}  // namespace

GaijiTable::GaijiTable() : slot_(kCodeUnits, -1) {}

GaijiTable::GaijiTable(std::vector<GaijiChar> rows) : rows_(std::move(rows)), slot_(kCodeUnits, -1) {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    GaijiChar& row = rows_[i];
    row.written = row.reference == "&#x2002;" ? std::string(" ") : row.reference;
    row.written16 = Utf8ToUtf16(row.written);
    std::int32_t& slot = slot_[row.ws];
    if (slot < 0) slot = static_cast<std::int32_t>(i);  // the first row in code order wins
  }
}

const GaijiChar* GaijiTable::Find(char16_t unit) const {
  const std::int32_t slot = slot_[unit];
  return slot < 0 ? nullptr : &rows_[static_cast<std::size_t>(slot)];
}

GaijiTable LoadGaijiTable(const std::string& db_path) {
  store::Connection db(db_path);
  if (!db.TableExists("char")) {
    throw Error(fmt::format("cannot load the gaiji table: {} has no table char", db_path));
  }
  std::vector<GaijiChar> rows;
  store::ForEachGaijiCandidate(db, [&rows](const store::GaijiCandidateRow& candidate) {
    std::int64_t code = 0;
    if (!ParseInt(TrimControl(candidate.ws_code), code) || code < 0 || code >= static_cast<std::int64_t>(kCodeUnits)) {
      throw Error(fmt::format("gaiji table: ws_code \"{}\" is not a UTF-16 code unit", candidate.ws_code));
    }
    // Several alt rows for one character repeat it in the join; its first row stands.
    if (!rows.empty() && rows.back().ws_code == code) return;
    GaijiChar row;
    row.ws = UnitOf(candidate.ws, code);
    row.ws_code = static_cast<std::int32_t>(code);
    row.ws_hex = candidate.ws_hex;
    row.reference = "&#x" + row.ws_hex + ";";
    row.alt = candidate.alt;
    rows.push_back(std::move(row));
  });
  return GaijiTable(std::move(rows));
}

std::u16string SubstituteGaiji(std::u16string_view text, const GaijiTable& table) {
  std::u16string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      // A character beyond U+FFFF cannot be a gaiji of the book (its codes are 16-bit),
      // and two references to its halves would show nothing: the geta mark, which
      // Japanese typesetting uses for a character that cannot be set, stands in for it.
      result += kUnsettableMark;
      ++i;
      continue;
    }
    const GaijiChar* row = table.Find(unit);
    result += row == nullptr ? std::u16string_view(&unit, 1) : std::u16string_view(row->written16);
  }
  return result;
}

namespace {

// One code unit that is not half of a pair, as the book carries it.
void AppendSubstituted(char16_t unit, const GaijiTable& table, SjisUnitEncoder& encoder, std::string& out) {
  const GaijiChar* row = table.Find(unit);
  if (row == nullptr) {
    encoder.Append(unit, out);
  } else {
    out += row->written;
  }
}

}  // namespace

Sjis SubstituteGaijiSjis(std::string_view utf8, const GaijiTable& table) {
  SjisUnitEncoder& encoder = SjisUnitEncoder::ForThisThread();
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 4);
  std::optional<char16_t> high;  // a high surrogate waiting to see whether a low one follows
  const auto substitute = [&](char16_t unit) {
    if (high) {
      const char16_t waiting = *high;
      high.reset();
      if (IsLowSurrogate(unit)) {
        encoder.Append(kUnsettableMark, out);
        return;
      }
      AppendSubstituted(waiting, table, encoder, out);
    }
    if (IsHighSurrogate(unit)) {
      high = unit;
      return;
    }
    AppendSubstituted(unit, table, encoder, out);
  };
  // Most of an entry is ASCII, which code page 932 keeps as it is: runs of it that hold
  // no gaiji are copied whole. The UTF-8 decoder never lets a sequence run into an ASCII
  // byte, so decoding the text between the runs gives the same units as decoding it all.
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t end = i;
    while (end < n && static_cast<unsigned char>(utf8[end]) < 0x80 && table.Find(static_cast<char16_t>(utf8[end])) == nullptr) {
      ++end;
    }
    if (end > i) {
      if (high) AppendSubstituted(*std::exchange(high, std::nullopt), table, encoder, out);
      out.append(utf8, i, end - i);
      i = end;
      continue;
    }
    while (end < n && (static_cast<unsigned char>(utf8[end]) >= 0x80 || table.Find(static_cast<char16_t>(utf8[end])) != nullptr)) {
      ++end;
    }
    ForEachUtf16Unit(utf8.substr(i, end - i), substitute);
    i = end;
  }
  if (high) AppendSubstituted(*high, table, encoder, out);
  return Sjis(std::move(out));
}

namespace {

// The base letters of `unit` when it is a Latin letter with diacritics.
void AppendPlainLetters(char16_t unit, std::u16string& out) {
  for (const char letter : PlainLetters(unit)) out += static_cast<char16_t>(letter);
}

}  // namespace

Sjis PlainKeyword(std::u16string_view text, const GaijiTable& table) {
  std::u16string kept;
  kept.reserve(text.size());
  for (const char16_t unit : text) {
    const GaijiChar* row = table.Find(unit);
    if (row == nullptr) {
      kept += unit;
    } else if (!row->alt.empty()) {
      ForEachUtf16Unit(row->alt, [&](char16_t alt_unit) {
        if (table.Find(alt_unit) == nullptr) {
          kept += alt_unit;
        } else {
          AppendPlainLetters(alt_unit, kept);
        }
      });
    } else {
      AppendPlainLetters(unit, kept);
    }
  }
  // Bytes up to 0x20 never occur inside a double-byte character, so trimming bytes is safe.
  return Sjis(TrimControl(ToSjis(kept).bytes));
}

Sjis PlainKeyword(std::string_view utf8, const GaijiTable& table) {
  return PlainKeyword(std::u16string_view(Utf8ToUtf16(utf8)), table);
}

}  // namespace tavex::book
