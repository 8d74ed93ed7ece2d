// For the book tests only: a working database holding entries, gaiji characters and
// topics, and a main stylesheet written by the stylesheet generator from a few rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "text/text.h"
#include "store/database.h"
#include "store/tables.h"
#include "stylesheet/stylesheet_files.h"

namespace tavex::book::testing {

// One `fs_skn` row.
struct TestEntry {
  std::int64_t index;
  std::string xml;
  std::string title;
};

// Creates the database at `db_path` with `fs_skn` holding `entries`, `char` holding the
// code units `gaiji` with char_ref "1" (and U+0061 with char_ref "0"), and `topic` with
// the id of each entry given in `topics` (index, id).
inline void WriteBookDatabase(const std::string& db_path, const std::vector<TestEntry>& entries,
                              const std::vector<char16_t>& gaiji = {},
                              const std::vector<std::pair<std::int64_t, std::string>>& topics = {}) {
  store::EnsureDatabase(db_path);
  store::Connection db(db_path);
  db.Exec("CREATE TABLE [fs_skn]([index] int NOT NULL, [TEXTTITLE] varchar(255), [CONTENT] longbinary, "
          "[CONTENT_text] longtext, CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]))");
  store::Statement entry = db.Prepare("INSERT INTO [fs_skn]([index],[TEXTTITLE],[CONTENT_text]) VALUES (?,?,?)");
  for (const TestEntry& e : entries) {
    entry.Reset();
    entry.BindInt(1, e.index).BindText(2, e.title).BindText(3, e.xml).Run();
  }
  store::CreateCharTable(db);
  store::Statement ch = db.Prepare("INSERT INTO [char]([index],[ws],[ws_code],[ws_hex],[char_ref]) VALUES (?,?,?,?,?)");
  int row = 0;
  auto add_char = [&](char16_t unit, const char* ref) {
    ch.Reset();
    ch.BindInt(1, ++row)
        .BindText(2, EncodeUnitUtf8(unit))
        .BindText(3, std::to_string(static_cast<unsigned>(unit)))
        .BindText(4, fmt::format("{:04X}", static_cast<unsigned>(unit)))
        .BindText(5, ref)
        .Run();
  };
  add_char(u'a', "0");
  for (char16_t unit : gaiji) add_char(unit, "1");
  store::CreateTopicTable(db);
  store::Statement topic = db.Prepare("INSERT INTO [topic]([index],[topic]) VALUES (?,?)");
  for (const auto& [index, id] : topics) {
    topic.Reset();
    topic.BindInt(1, index).BindText(2, id).Run();
  }
}

inline RuleRow Rule(const std::string& tag) {
  RuleRow row;
  row.tag = tag;
  row.apply_templates = "1";
  return row;
}

// The rules of the tests: entries with headwords in bold, keyword elements kept, "sense"
// between line breaks, "sp" between no-break spaces, "note" dropped, and cross-references
// "xr" written as <A topic="id">text</A>.
inline std::vector<RuleRow> TestRules() {
  RuleRow hw = Rule("hw");
  hw.bold = "1";
  RuleRow sense = Rule("sense");
  sense.pre_br = "1";
  sense.post_br = "1";
  RuleRow sp = Rule("sp");
  sp.pre_sp = "1";
  sp.post_sp = "1";
  RuleRow note = Rule("note");
  note.apply_templates = "0";
  RuleRow xr = Rule("xr");
  xr.custom_xsl = "<xsl:template match=\"xr\"><A topic=\"{@to}\"><xsl:apply-templates/></A></xsl:template>";
  return {Rule("entry"), hw, sense, sp, note, xr, Rule("inflection"), Rule("dr"), Rule("vs"), Rule("id"), Rule("pv")};
}

// Writes epwing_dic.xsl and user_script.xsl into `folder`; returns the main stylesheet's path.
inline std::string WriteTestStylesheets(const std::string& folder, const std::vector<RuleRow>& rows = TestRules()) {
  const std::string main = folder + "/epwing_dic.xsl";
  WriteMainStylesheet(main, rows);
  WriteScriptStylesheet(folder + "/user_script.xsl");
  return main;
}

}  // namespace tavex::book::testing
