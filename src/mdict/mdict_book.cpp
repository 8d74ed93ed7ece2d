// The MDict book: the entries' HTML and the recordings collected in side files in the
// source's order, then written into the .mdx and .mdd in the keys' sorted order.
#include "mdict/mdict_book.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <future>

#include "fs/files.h"
#include "fs/write_layer.h"
#include "mdict/mdict_file.h"
#include "source/book_folder.h"
#include "source/book_html.h"
#include "source/html_book.h"
#include "source/side_file.h"
#include "source/warning_tally.h"
#include "text/error.h"

namespace tavex::mdict {
namespace {

constexpr char kBookName[] = "tavex";

// Keys in one pool of bytes, each with the record it leads to.
struct Key {
  std::uint32_t at;
  std::uint32_t size;
  std::uint32_t target;   // the entry (or recording) number
  bool redirect = false;  // an entry's other key: its record names the headword
};

class KeyPool {
 public:
  // Adds a key; returns it (its text stays where it is when the keys are sorted).
  Key Add(std::string_view text, std::uint32_t target, bool redirect) {
    if (bytes_.size() + text.size() > UINT32_MAX) throw Error("the MDict book holds more than 4 GiB of keys");
    keys_.push_back({static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(text.size()),
                     target, redirect});
    bytes_.append(text);
    return keys_.back();
  }
  std::string_view Text(const Key& key) const { return std::string_view(bytes_).substr(key.at, key.size); }
  // Sorts the keys in place, in the readers' order; equal keys by their records' source
  // order. A key Add returned still leads to its text.
  const std::vector<Key>& Sort() {
    std::vector<Key>& sorted = keys_;
    std::sort(sorted.begin(), sorted.end(), [this](const Key& a, const Key& b) {
      const std::string_view ta = Text(a), tb = Text(b);
      if (const int order = CompareKeys(ta, tb); order != 0) return order < 0;
      return a.redirect != b.redirect ? !a.redirect : a.target < b.target;
    });
    return sorted;
  }

 private:
  std::string bytes_;
  std::vector<Key> keys_;
};

std::string Attribute(std::string_view text) {
  std::string out;
  source::AppendEscaped(out, text);
  return out;
}

MdictSummary WriteBook(const std::string& base, const std::string& folder, Progress& progress) {
  source::WarningTally warnings;
  source::HtmlBook book(base, {.entry_prefix = "entry://", .sound_prefix = "sound://"}, warnings);
  const std::string stem = JoinPath(folder, kBookName);
  source::SideFile texts(JoinPath(folder, "entries.tmp"));
  source::SideFile sounds(JoinPath(folder, "sounds.tmp"));
  std::vector<std::pair<std::uint64_t, std::uint32_t>> text_at, sound_at;  // offset and size
  std::vector<Key> headword_key;                                           // per entry
  KeyPool keys, sound_names;
  MdictSummary summary;
  ProgressLoop loop(progress, static_cast<int>(book.entry_count()), "MDict書き出し中");
  std::string record;
  book.ReadEntries(
      [&](const source::HtmlEntry& entry) {
        const auto number = static_cast<std::uint32_t>(text_at.size());
        record.assign(entry.html).push_back('\0');
        text_at.emplace_back(texts.Append(record), static_cast<std::uint32_t>(record.size()));
        headword_key.push_back(keys.Add(entry.headword, number, false));
        for (const std::string& key : entry.keys) keys.Add(key, number, true);
        summary.redirects += entry.keys.size();
        loop.Step();
      },
      [&](const std::string& name, std::string_view bytes) {
        sound_names.Add("\\" + name, static_cast<std::uint32_t>(sound_at.size()), false);
        sound_at.emplace_back(sounds.Append(bytes), static_cast<std::uint32_t>(bytes.size()));
      });
  summary.entries = text_at.size();
  summary.sounds = sound_at.size();

  const std::string description = book.Description();
  // The .mdd is written beside the .mdx: its recordings are mostly copying, where the
  // text is mostly compressing. Should the .mdx fail, the .mdd is finished before the
  // error goes on, as the side files it reads belong to this scope. Their names are
  // listed first, so that the folder's manifest is the same from run to run.
  for (const char* name : {"mdx.tmp", "mdd.tmp"}) ClaimName(JoinPath(folder, name));
  for (const char* suffix : {".mdx", ".mdd"}) ClaimName(stem + suffix);
  std::future<void> mdd_written = std::async(std::launch::async, [&] {
    std::string sound;
    MdictFile mdd(true, JoinPath(folder, "mdd.tmp"));
    for (const Key& key : sound_names.Sort()) {
      sounds.Read(sound_at[key.target].first, sound_at[key.target].second, sound);
      mdd.Add(sound_names.Text(key), sound);
    }
    mdd.Finish(stem + ".mdd",
               "<Library_Data GeneratedByEngineVersion=\"2.0\" RequiredEngineVersion=\"2.0\" Encrypted=\"0\" "
               "Encoding=\"\" Format=\"\" Stripkey=\"Yes\" KeyCaseSensitive=\"No\" CreationDate=\"\" "
               "Title=\"TAVEX\" Description=\"\"/>");
  });
  {
    MdictFile mdx(false, JoinPath(folder, "mdx.tmp"));
    for (const Key& key : keys.Sort()) {
      if (key.redirect) {
        record = "@@@LINK=";
        record += keys.Text(headword_key[key.target]);
        record += "\r\n";
        record.push_back('\0');
      } else {
        texts.Read(text_at[key.target].first, text_at[key.target].second, record);
      }
      mdx.Add(keys.Text(key), record);
    }
    mdx.Finish(stem + ".mdx",
               fmt::format("<Dictionary GeneratedByEngineVersion=\"2.0\" RequiredEngineVersion=\"2.0\" "
                           "Encrypted=\"0\" Encoding=\"UTF-8\" Format=\"Html\" Stripkey=\"Yes\" "
                           "KeyCaseSensitive=\"No\" Compact=\"No\" Compat=\"No\" Left=\"\" Right=\"\" "
                           "DataSourceFormat=\"106\" StyleSheet=\"\" CreationDate=\"\" Title=\"TAVEX\" "
                           "Description=\"{}\"/>",
                           Attribute(description)));
  }
  texts.Remove();
  mdd_written.get();
  sounds.Remove();
  warnings.Report(progress);
  return summary;
}

}  // namespace

MdictSummary BuildMdictBook(const MdictOptions& options, Progress& progress) {
  MdictSummary summary;
  source::WriteBookFrom(options, [&](const std::string& staging) {
    summary = WriteBook(options.base_folder, staging, progress);
  });
  return summary;
}

std::string FormatMdictSummary(const MdictSummary& summary, const std::string& out_folder) {
  return fmt::format("MDict book: {} entries, {} redirecting keys, {} sounds in {}", summary.entries,
                     summary.redirects, summary.sounds,
                     std::filesystem::absolute(out_folder).lexically_normal().string());
}

}  // namespace tavex::mdict
