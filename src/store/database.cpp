// The working database on SQLite: connections, statements, transactions and the bulk
// appender. Every SQLite handle is owned here; nothing else includes sqlite3.h.
#include "store/database.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <utility>
#include <variant>

#include "text/error.h"
#include "fs/files.h"
#include "text/text.h"

namespace tavex::store {
namespace {

// How long a connection waits for another one's lock before giving up.
constexpr int kBusyTimeoutMs = 10000;

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

sqlite3* AsDb(void* db) { return static_cast<sqlite3*>(db); }
sqlite3_stmt* AsStmt(void* stmt) { return static_cast<sqlite3_stmt*>(stmt); }

// SQLite's message for the connection's last error, with the database file it concerns
// and, for a failed read or write, the system's reason when SQLite kept one.
std::string DescribeSqlError(sqlite3* db) {
  const char* file = sqlite3_db_filename(db, "main");
  std::string message =
      fmt::format("database error in {}: {}", file && *file ? file : "memory", sqlite3_errmsg(db));
  const int system_error = sqlite3_system_errno(db);
  if ((sqlite3_extended_errcode(db) & 0xFF) == SQLITE_IOERR && system_error != 0) {
    message += fmt::format(" ({})", SystemMessage(system_error));
  }
  return message;
}

[[noreturn]] void ThrowSql(sqlite3* db, std::string_view sql) {
  throw Error(fmt::format("{} (sql: {})", DescribeSqlError(db), sql));
}

// The name SQLite opens for `path`: its folder with the links in it resolved (the user's
// workspace may lie below a linked folder, and SQLite's no-follow flag refuses a link in
// any part of the name) and the file's own name, which is never followed.
std::string WithoutLinksAbove(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file(path);
  const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : ".";
  const std::filesystem::path real = std::filesystem::canonical(parent, error);
  return error ? path : (real / file.filename()).string();
}

// SQLite takes a null pointer as SQL NULL; empty text and empty blobs must not become one.
const char* NonNullData(std::string_view text) { return text.data() ? text.data() : ""; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Connection

struct Connection::Impl {
  DbHandle db;
};

Connection::Connection(const std::string& path) : impl_(std::make_unique<Impl>()), path_(path) {
  sqlite3* raw_db = nullptr;
  int rc = sqlite3_open_v2(WithoutLinksAbove(path).c_str(), &raw_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                           nullptr);
  impl_->db.reset(raw_db);
  if (rc != SQLITE_OK) {
    std::string message = raw_db ? sqlite3_errmsg(raw_db) : sqlite3_errstr(rc);
    throw Error(fmt::format("cannot open working database {}: {}", path, message));
  }
  sqlite3_extended_result_codes(raw_db, 1);
  sqlite3_busy_timeout(raw_db, kBusyTimeoutMs);
  // Reading the schema is the first access to the file: a file that is not a database
  // fails here rather than in the middle of a command.
  if (sqlite3_exec(raw_db, "PRAGMA schema_version;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw Error(fmt::format("{} is not a working database: {}", path, sqlite3_errmsg(raw_db)));
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

// ---------------------------------------------------------------------------------------
// Appender

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

// ---------------------------------------------------------------------------------------
// Operations on the database file

void CreateDatabase(const std::string& path) {
  // SQLite writes the file and its journal itself: both are listed in the folder's
  // manifest first, and a link at the name is not followed.
  try {
    ClaimName(path);
    ClaimName(path + "-journal");
  } catch (const Error&) {
    return;
  }
  sqlite3* raw_db = nullptr;
  int rc = sqlite3_open_v2(WithoutLinksAbove(path).c_str(), &raw_db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
  DbHandle db(raw_db);
  if (rc != SQLITE_OK) return;  // opening it for use names the fault
  // Writing the header makes the new file a database of its own rather than an empty
  // file, marked as this program's.
  sqlite3_exec(db.get(), fmt::format("PRAGMA application_id = {};", kApplicationId).c_str(), nullptr, nullptr,
               nullptr);
}

void ClaimDatabase(const std::string& path) {
  // SQLite writes through the name it is given: a second name of the same file (a hard
  // link) or a link would let it write into a file that is not the database.
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_nlink != 1)) {
    throw Error(
        fmt::format("{} is not a working database of this program (it is {}); its content is left alone: "
                    "choose another database file",
                    path,
                    S_ISLNK(st.st_mode)    ? "a symbolic link"
                    : !S_ISREG(st.st_mode) ? "not a regular file"
                                           : "a hard link"));
  }
  Connection db(path);
  Statement mark = db.Prepare("PRAGMA application_id");
  const std::int64_t id = mark.Step() ? mark.Int(0) : 0;
  if (id == kApplicationId) return;
  auto refuse = [&](const std::string& why) {
    throw Error(
        fmt::format("{} is not a working database of this program ({}); its tables are left alone: "
                    "choose another database file",
                    path, why));
  };
  if (id != 0) refuse(fmt::format("it carries the application id {}", id));
  static constexpr std::string_view kOurTables[] = {"fs_skn", "topic",       "char",       "xsl",
                                                    "alt",    "us_pron_skn", "uk_pron_skn"};
  Statement tables = db.Prepare("select type, name from sqlite_master where substr(name, 1, 7) <> 'sqlite_'");
  while (tables.Step()) {
    const std::string name = tables.Text(1);
    const bool ours = tables.Text(0) == "table" &&
                      std::find(std::begin(kOurTables), std::end(kOurTables), name) != std::end(kOurTables);
    if (!ours) refuse(fmt::format("it holds {} {}", tables.Text(0), name));
  }
  db.Exec(fmt::format("PRAGMA application_id = {};", kApplicationId));
}

void EnsureDatabase(const std::string& path) {
  if (!FileExists(path)) CreateDatabase(path);
}

void ExecSql(const std::string& db_path, std::string_view sql) {
  Connection db(db_path);
  db.Exec(sql);
}

bool TableExists(const std::string& db_path, std::string_view name) {
  Connection db(db_path);
  return db.TableExists(name);
}

void DropTable(const std::string& db_path, std::string_view name) {
  ExecSql(db_path, fmt::format("Drop Table [{}];", name));
}

std::string BundleTableName(std::string_view bundle) {
  std::string name(bundle);
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

}  // namespace tavex::store
