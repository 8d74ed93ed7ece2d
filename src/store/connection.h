// A connection to the working database (one SQLite file), its prepared statements and
// transactions. Nothing keeps a connection open between commands; a command opens one,
// uses it and drops it. Every value goes in as a bound parameter, never spliced into SQL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavex::store {

class Statement;

// An open connection to an existing database file (never creates one).
// Throws tavex::Error naming the file when it cannot be opened or is not a database.
class Connection {
 public:
  explicit Connection(const std::string& path);
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  // The file's path for messages (a held folder's name shown as the folder's path).
  const std::string& path() const { return path_; }

  // Runs SQL without parameters and without rows (DDL, PRAGMA, BEGIN ...).
  void Exec(std::string_view sql);
  // Prepares one statement. Throws Error with the database's message and the SQL.
  Statement Prepare(std::string_view sql);
  bool TableExists(std::string_view name);
  // The column names of a table in column order.
  std::vector<std::string> Columns(std::string_view table);
  std::int64_t LastInsertRowId() const;

  void* raw() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string path_;
};

// A prepared statement. Parameters are numbered from 1.
class Statement {
 public:
  Statement(Statement&&) noexcept;
  Statement& operator=(Statement&&) noexcept;
  ~Statement();

  Statement& BindNull(int index);
  Statement& BindInt(int index, std::int64_t value);
  Statement& BindText(int index, std::string_view value);
  Statement& BindBlob(int index, std::string_view bytes);  // empty bytes bind a zero-length blob

  // Runs one step: true when a row is ready, false when done. Throws Error on failure.
  bool Step();
  // Runs to completion (for statements without rows).
  void Run();
  void Reset();  // resets and clears the bindings

  int ColumnCount() const;
  std::string ColumnName(int column) const;
  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  std::string Text(int column) const;  // null gives empty text
  std::string Blob(int column) const;  // the bytes, exactly; null gives empty

 private:
  friend class Connection;
  Statement(void* db, void* stmt, std::string sql);
  void* db_ = nullptr;
  void* stmt_ = nullptr;
  std::string sql_;
};

// A transaction that rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(Connection& db);
  ~Transaction();
  void Commit();

 private:
  Connection& db_;
  bool done_ = false;
};


}  // namespace tavex::store
