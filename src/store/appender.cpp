// The bulk appender: rows added one at a time through one prepared INSERT per set of
// columns given.
#include "store/appender.h"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <variant>

#include "text/error.h"
#include "text/text.h"

namespace tavex::store {

namespace {

struct Unset {};
struct Null {};
struct BlobBytes {
  std::string bytes;
};
using Value = std::variant<Unset, Null, std::int64_t, std::string, BlobBytes>;

}  // namespace

struct Appender::Impl {
  Connection& db;
  std::string table;
  std::vector<std::string> columns;
  std::unordered_map<std::string, std::size_t> by_name;  // lower-case name -> column
  std::vector<Value> row;
  // One prepared INSERT per set of columns given, keyed by a '0'/'1' mask of the columns.
  std::unordered_map<std::string, Statement> inserts;
  std::string mask;
  std::string lookup;  // reused buffer for the lower-case column name

  Impl(Connection& connection, std::string_view name) : db(connection), table(name) {}

  Value& Slot(std::string_view column) {
    lookup.assign(column);
    std::transform(lookup.begin(), lookup.end(), lookup.begin(), [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    auto it = by_name.find(lookup);
    if (it == by_name.end()) {
      throw Error(fmt::format("table {} has no column {}", table, column));
    }
    return row[it->second];
  }

  Statement& InsertFor(const std::string& key) {
    auto it = inserts.find(key);
    if (it != inserts.end()) return it->second;
    std::string names;
    std::string marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (key[i] != '1') continue;
      if (!names.empty()) {
        names += ',';
        marks += ',';
      }
      names += "[" + columns[i] + "]";
      marks += '?';
    }
    std::string sql = names.empty()
                          ? fmt::format("INSERT INTO [{}] DEFAULT VALUES;", table)
                          : fmt::format("INSERT INTO [{}] ({}) VALUES ({});", table, names, marks);
    return inserts.emplace(key, db.Prepare(sql)).first->second;
  }
};

Appender::Appender(Connection& db, std::string_view table)
    : impl_(std::make_unique<Impl>(db, table)) {
  impl_->columns = db.Columns(table);
  if (impl_->columns.empty()) {
    throw Error(fmt::format("cannot append to table {}: no such table in {}", table, db.path()));
  }
  for (std::size_t i = 0; i < impl_->columns.size(); ++i) {
    impl_->by_name.emplace(AsciiLower(impl_->columns[i]), i);
  }
  impl_->row.assign(impl_->columns.size(), Unset{});
  impl_->mask.assign(impl_->columns.size(), '0');
}

Appender::~Appender() = default;

void Appender::AddNew() { std::fill(impl_->row.begin(), impl_->row.end(), Value(Unset{})); }

void Appender::SetNull(std::string_view column) { impl_->Slot(column) = Null{}; }

void Appender::SetInt(std::string_view column, std::int64_t value) {
  impl_->Slot(column) = value;
}

void Appender::SetText(std::string_view column, std::string_view value) {
  impl_->Slot(column) = std::string(value);
}

void Appender::SetBlob(std::string_view column, std::string_view bytes) {
  Value& slot = impl_->Slot(column);
  // No bytes append nothing: the column keeps what it had (null for a new row).
  if (!bytes.empty()) slot = BlobBytes{std::string(bytes)};
}

void Appender::Update() {
  Impl& d = *impl_;
  for (std::size_t i = 0; i < d.row.size(); ++i) {
    d.mask[i] = std::holds_alternative<Unset>(d.row[i]) ? '0' : '1';
  }
  Statement& insert = d.InsertFor(d.mask);
  insert.Reset();
  int parameter = 0;
  for (const Value& value : d.row) {
    if (std::holds_alternative<Unset>(value)) continue;
    ++parameter;
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
      insert.BindInt(parameter, *number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      insert.BindText(parameter, *text);
    } else if (const auto* blob = std::get_if<BlobBytes>(&value)) {
      insert.BindBlob(parameter, blob->bytes);
    } else {
      insert.BindNull(parameter);
    }
  }
  try {
    insert.Run();
  } catch (const Error& e) {
    throw Error(fmt::format("cannot append to table {}: {}", d.table, e.what()));
  }
}

bool Appender::HasColumn(std::string_view column) const {
  return impl_->by_name.count(AsciiLower(column)) != 0;
}


}  // namespace tavex::store
