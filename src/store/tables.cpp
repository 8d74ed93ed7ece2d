// The creation statements of the rule tables and the bundle tables, and the operations
// that create a rule table when it is missing. The statements keep the wording
// that exchange files and older databases rely on; only the counter type is written the way SQLite numbers rows from 1.
#include "store/tables.h"

#include "fs/files.h"

namespace tavex::store {

const char* const kXslTableSql =
    "CREATE TABLE [%s]([index] INTEGER NOT NULL,[tag] varchar(20),[apply_templates] "
    "varchar(1),[leave_tag] varchar(1),[bold] varchar(1),[italic] varchar(1),[sup] "
    "varchar(1),[sub] varchar(1),[pre_br] varchar(1),[post_br] varchar(1),[pre_sp] "
    "varchar(1),[post_sp] varchar(1),[pre_text] varchar(50),[post_text] "
    "varchar(50),[upper_case] varchar(1),[lower_case] varchar(1),[indent] "
    "varchar(1),[custom_xsl] longtext,[total_count] varchar(10),[first_index] varchar(10), "
    "CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));";

const char* const kCharTableSql =
    "CREATE TABLE [%s]([index] INTEGER NOT NULL,[ws] varchar(1),[ws_code] "
    "varchar(10),[ws_hex] varchar(10),[utf8_hex] varchar(10),[total_count] "
    "varchar(10),[first_index] varchar(10),[char_ref] varchar(1), CONSTRAINT [PrimaryKey] "
    "PRIMARY KEY ([index]));";

const char* const kAltTableSql =
    "CREATE TABLE [%s]([index] INTEGER NOT NULL,[uni] varchar(4),[alt] varchar(3), "
    "CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));";

const char* const kTopicTableSql =
    "CREATE TABLE [%s]([index] int NOT NULL,[topic] varchar(100), CONSTRAINT [PrimaryKey] "
    "PRIMARY KEY ([index]));";

const char* const kBundleTableSql =
    "CREATE TABLE [%s]([index] int NOT NULL, %s CONSTRAINT [PrimaryKey] PRIMARY KEY "
    "([index]));";

std::string FormatTableSql(const char* sql, std::string_view name, std::string_view columns) {
  // The first "%s" takes the table name, the second the column list.
  std::string_view pattern(sql);
  std::string out;
  out.reserve(pattern.size() + name.size() + columns.size());
  int filled = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      out += filled++ == 0 ? name : columns;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

namespace {

bool CreateWhenMissing(Connection& db, const char* sql, std::string_view name) {
  if (db.TableExists(name)) return false;
  db.Exec(FormatTableSql(sql, name));
  return true;
}

bool CreateInFile(const std::string& db_path, const char* sql, std::string_view name) {
  if (!FileExists(db_path)) return false;
  Connection db(db_path);
  return CreateWhenMissing(db, sql, name);
}

}  // namespace

bool CreateXslTable(Connection& db) { return CreateWhenMissing(db, kXslTableSql, "xsl"); }
bool CreateCharTable(Connection& db) { return CreateWhenMissing(db, kCharTableSql, "char"); }
bool CreateAltTable(Connection& db) { return CreateWhenMissing(db, kAltTableSql, "alt"); }
bool CreateTopicTable(Connection& db) { return CreateWhenMissing(db, kTopicTableSql, "topic"); }

bool CreateXslTable(const std::string& db_path) {
  return CreateInFile(db_path, kXslTableSql, "xsl");
}

bool CreateCharTable(const std::string& db_path) {
  return CreateInFile(db_path, kCharTableSql, "char");
}

bool CreateAltTable(const std::string& db_path) {
  return CreateInFile(db_path, kAltTableSql, "alt");
}

bool CreateTopicTable(const std::string& db_path) {
  // The file is not looked at first: without it, the connection reports the missing file.
  Connection db(db_path);
  return CreateWhenMissing(db, kTopicTableSql, "topic");
}

void ForEachGaijiCandidate(Connection& db, const std::function<void(const GaijiCandidateRow&)>& row) {
  // ws_code is text in the table, so it is ordered by its number.
  const char* sql = db.TableExists("alt")
                        ? "select C.ws, C.ws_code, C.ws_hex, A.alt from [char] C left join [alt] A on "
                          "(C.ws_hex = A.uni COLLATE NOCASE) where C.char_ref = ? "
                          "order by CAST(C.ws_code AS INTEGER), A.[index]"
                        : "select C.ws, C.ws_code, C.ws_hex, NULL from [char] C where C.char_ref = ? "
                          "order by CAST(C.ws_code AS INTEGER)";
  Statement query = db.Prepare(sql);
  query.BindText(1, "1");
  GaijiCandidateRow candidate;
  while (query.Step()) {
    candidate.ws = query.Text(0);
    candidate.ws_code = query.Text(1);
    candidate.ws_hex = query.Text(2);
    candidate.alt = query.Text(3);
    row(candidate);
  }
}

}  // namespace tavex::store
