// Building and reading the topic index.
#include "analysis/topic_index.h"

#include "text/text.h"
#include "xml/xml.h"
#include "store/tables.h"

namespace tavex::analysis {

void BuildTopicIndex(store::Connection& db, Progress& progress) {
  if (db.TableExists("topic")) db.Exec("DROP TABLE [topic]");
  store::CreateTopicTable(db);

  store::Statement count = db.Prepare("select count(*) from [fs_skn]");
  count.Step();
  ProgressLoop loop(progress, static_cast<int>(count.Int(0)), "entry_id(=ref_topic) 抽出中");

  store::Statement entries =
      db.Prepare("select [index],[CONTENT_text] from [fs_skn] order by [index]");
  store::Appender rows(db, "topic");
  while (entries.Step()) {
    rows.AddNew();
    rows.SetInt("index", entries.Int(0));
    // Topics longer than the declared 100 characters are kept whole, so that every
    // reference to such an entry still finds it.
    rows.SetText("topic", EntryIdOf(entries.Text(1)));
    rows.Update();
    loop.Step();
  }
}

void BuildTopicIndex(const std::string& db_path, Progress& progress) {
  store::Connection db(db_path);
  store::Transaction transaction(db);
  BuildTopicIndex(db, progress);
  transaction.Commit();
}

std::string EntryIdOf(std::string_view xml_text) {
  // Only the root's start tag is read: the id is all the index needs from an entry.
  const std::optional<xml::RootElement> root = xml::ReadRootElement(xml_text);
  if (!root || root->name != "entry") return {};
  return root->Attribute("id").value_or(std::string());
}

TopicLookup::TopicLookup(store::Connection& db) { Load(db); }

TopicLookup::TopicLookup(const std::string& db_path) {
  store::Connection db(db_path);
  Load(db);
}

void TopicLookup::Load(store::Connection& db) {
  store::Statement rows = db.Prepare("select [index],[topic] from [topic]");
  while (rows.Step()) {
    // try_emplace keeps the first row of an id, as the table query returns it first.
    index_of_.try_emplace(AsciiLower(rows.Text(1)), rows.Int(0));
  }
}

std::int64_t TopicLookup::Lookup(std::string_view id) const {
  auto it = index_of_.find(AsciiLower(id));
  return it == index_of_.end() ? -1 : it->second;
}

std::int64_t LookupTopic(const std::string& db_path, std::string_view id) {
  store::Connection db(db_path);
  store::Statement query = db.Prepare("select [index] from [topic] where [topic] = ? COLLATE NOCASE");
  query.BindText(1, id);
  return query.Step() ? query.Int(0) : -1;
}

}  // namespace tavex::analysis
