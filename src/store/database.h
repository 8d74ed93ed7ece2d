// The working database: one SQLite file, by default working_folder/TAVEX_data.
// Nothing keeps it open between commands; a command opens a Connection, uses it and
// drops it. Every value goes in as a bound parameter, never spliced into SQL text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

// Creates an empty database file; every error is swallowed (the first operation that
// connects reports it).
void CreateDatabase(const std::string& path);
// Creates the database file when it does not exist; an existing file is left alone.
void EnsureDatabase(const std::string& path);

// The mark of a working database of this program (PRAGMA application_id, "TAVX").
inline constexpr std::int64_t kApplicationId = 0x54415658;
// Makes sure the database at `path` is this program's before its tables are replaced or
// dropped: one that carries the mark is; one of an earlier version (no mark) that holds
// nothing but the program's own tables is marked now; any other throws Error naming the
// file and a table that is not ours, and the file is left as it was.
void ClaimDatabase(const std::string& path);
// Runs one SQL text over a connection of its own.
void ExecSql(const std::string& db_path, std::string_view sql);
// True when the database has a table of that name (exact name).
bool TableExists(const std::string& db_path, std::string_view name);
// Drops the table; dropping a missing table is an error.
void DropTable(const std::string& db_path, std::string_view name);
// "fs.skn" -> "fs_skn".
std::string BundleTableName(std::string_view bundle);

}  // namespace tavex::store
