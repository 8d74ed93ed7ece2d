// The working database's SQLite connection: connections, statements and transactions.
// Every sqlite3 handle is owned here and in the file operations (database.cpp); nothing
// outside store/ includes sqlite3.h.
#include "store/connection.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <utility>

#include "fs/held_folder.h"
#include "store/sqlite_open.h"
#include "text/error.h"

namespace tavex::store {
namespace {

// How long a connection waits for another one's lock before giving up.
constexpr int kBusyTimeoutMs = 10000;

sqlite3* AsDb(void* db) { return static_cast<sqlite3*>(db); }
sqlite3_stmt* AsStmt(void* stmt) { return static_cast<sqlite3_stmt*>(stmt); }

// SQLite's message for the connection's last error, with the database file it concerns
// and, for a failed read or write, the system's reason when SQLite kept one.
std::string DescribeSqlError(sqlite3* db) {
  const char* file = sqlite3_db_filename(db, "main");
  std::string message =
      fmt::format("database error in {}: {}", file && *file ? ShownPath(file) : "memory", sqlite3_errmsg(db));
  const int system_error = sqlite3_system_errno(db);
  if ((sqlite3_extended_errcode(db) & 0xFF) == SQLITE_IOERR && system_error != 0) {
    message += fmt::format(" ({})", SystemMessage(system_error));
  }
  return message;
}

[[noreturn]] void ThrowSql(sqlite3* db, std::string_view sql) {
  throw Error(fmt::format("{} (sql: {})", DescribeSqlError(db), sql));
}
// SQLite takes a null pointer as SQL NULL; empty text and empty blobs must not become one.
const char* NonNullData(std::string_view text) { return text.data() ? text.data() : ""; }

}  // namespace
// ---------------------------------------------------------------------------------------
// Connection

struct Connection::Impl {
  DbHandle db;
};

Connection::Connection(const std::string& path) : impl_(std::make_unique<Impl>()), path_(ShownPath(path)) {
  sqlite3* raw_db = nullptr;
  int rc = OpenSqlite(path, SQLITE_OPEN_READWRITE, &raw_db);
  impl_->db.reset(raw_db);
  if (rc != SQLITE_OK) {
    std::string message = raw_db ? sqlite3_errmsg(raw_db) : sqlite3_errstr(rc);
    throw Error(fmt::format("cannot open working database {}: {}", path_, message));
  }
  sqlite3_extended_result_codes(raw_db, 1);
  sqlite3_busy_timeout(raw_db, kBusyTimeoutMs);
  // Reading the schema is the first access to the file: a file that is not a database
  // fails here rather than in the middle of a command.
  if (sqlite3_exec(raw_db, "PRAGMA schema_version;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw Error(fmt::format("{} is not a working database: {}", path_, sqlite3_errmsg(raw_db)));
  }
  Exec("PRAGMA synchronous=NORMAL;");
}

Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::Exec(std::string_view sql) {
  std::string text(sql);
  if (sqlite3_exec(impl_->db.get(), text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    ThrowSql(impl_->db.get(), sql);
  }
}

Statement Connection::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(impl_->db.get(), NonNullData(sql), static_cast<int>(sql.size()),
                              &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    ThrowSql(impl_->db.get(), sql);
  }
  if (stmt == nullptr) throw Error(fmt::format("database error: empty sql (sql: {})", sql));
  return Statement(impl_->db.get(), stmt, std::string(sql));
}

bool Connection::TableExists(std::string_view name) {
  // Every table is compared by its exact name; the engine's own lookup ignores case.
  Statement query = Prepare("SELECT name FROM sqlite_master WHERE type = 'table';");
  bool found = false;
  while (query.Step()) {
    if (query.Text(0) == name) found = true;
  }
  return found;
}

std::vector<std::string> Connection::Columns(std::string_view table) {
  Statement query = Prepare("SELECT name FROM pragma_table_info(?) ORDER BY cid;");
  query.BindText(1, table);
  std::vector<std::string> names;
  while (query.Step()) names.push_back(query.Text(0));
  return names;
}

std::int64_t Connection::LastInsertRowId() const {
  return sqlite3_last_insert_rowid(impl_->db.get());
}

void* Connection::raw() const { return impl_->db.get(); }

// ---------------------------------------------------------------------------------------
// Statement

Statement::Statement(void* db, void* stmt, std::string sql)
    : db_(db), stmt_(stmt), sql_(std::move(sql)) {}

Statement::Statement(Statement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      stmt_(std::exchange(other.stmt_, nullptr)),
      sql_(std::move(other.sql_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(AsStmt(stmt_));
    db_ = std::exchange(other.db_, nullptr);
    stmt_ = std::exchange(other.stmt_, nullptr);
    sql_ = std::move(other.sql_);
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(AsStmt(stmt_)); }

namespace {

void CheckBind(int rc, void* db, const std::string& sql) {
  if (rc != SQLITE_OK) ThrowSql(AsDb(db), sql);
}

}  // namespace

Statement& Statement::BindNull(int index) {
  CheckBind(sqlite3_bind_null(AsStmt(stmt_), index), db_, sql_);
  return *this;
}

Statement& Statement::BindInt(int index, std::int64_t value) {
  CheckBind(sqlite3_bind_int64(AsStmt(stmt_), index, value), db_, sql_);
  return *this;
}

Statement& Statement::BindText(int index, std::string_view value) {
  CheckBind(sqlite3_bind_text64(AsStmt(stmt_), index, NonNullData(value), value.size(),
                                SQLITE_TRANSIENT, SQLITE_UTF8),
            db_, sql_);
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
  int rc = bytes.empty() ? sqlite3_bind_zeroblob(AsStmt(stmt_), index, 0)
                         : sqlite3_bind_blob64(AsStmt(stmt_), index, bytes.data(), bytes.size(),
                                               SQLITE_TRANSIENT);
  CheckBind(rc, db_, sql_);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(AsStmt(stmt_));
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  std::string message = DescribeSqlError(AsDb(db_));
  // Leave the statement ready for another use after a failed step.
  sqlite3_reset(AsStmt(stmt_));
  throw Error(fmt::format("{} (sql: {})", message, sql_));
}

void Statement::Run() {
  while (Step()) {
  }
}

void Statement::Reset() {
  sqlite3_reset(AsStmt(stmt_));
  sqlite3_clear_bindings(AsStmt(stmt_));
}

int Statement::ColumnCount() const { return sqlite3_column_count(AsStmt(stmt_)); }

std::string Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(AsStmt(stmt_), column);
  return name ? name : "";
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(AsStmt(stmt_), column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(AsStmt(stmt_), column);
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(AsStmt(stmt_), column);
  int size = sqlite3_column_bytes(AsStmt(stmt_), column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::string Statement::Blob(int column) const {
  const void* bytes = sqlite3_column_blob(AsStmt(stmt_), column);
  int size = sqlite3_column_bytes(AsStmt(stmt_), column);
  if (bytes == nullptr || size <= 0) return {};
  return std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

// ---------------------------------------------------------------------------------------
// Transaction

Transaction::Transaction(Connection& db) : db_(db) {
  // Taking the write lock at once avoids a lock upgrade failing halfway through a step.
  db_.Exec("BEGIN IMMEDIATE;");
}

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(AsDb(db_.raw()), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Exec("COMMIT;");
  done_ = true;
}

}  // namespace tavex::store
