// Bulk appending of rows to one table of the working database.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "store/connection.h"

namespace tavex::store {

// Bulk appending of rows to one table through one prepared statement
// (OpenAppend, one AddNew with its field values per row, CloseAppend), in one transaction.
class Appender {
 public:
  // Opens the table for appending. Throws Error when the table does not exist.
  Appender(Connection& db, std::string_view table);
  ~Appender();

  void AddNew();  // starts a row with every column unset (null)
  void SetNull(std::string_view column);
  void SetInt(std::string_view column, std::int64_t value);
  void SetText(std::string_view column, std::string_view value);
  void SetBlob(std::string_view column, std::string_view bytes);  // no bytes: the column stays null
  // Inserts the row. Throws Error (with the table and the database's message) on failure,
  // for instance a duplicate key.
  void Update();
  // True when `column` is a column of the table.
  bool HasColumn(std::string_view column) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavex::store
