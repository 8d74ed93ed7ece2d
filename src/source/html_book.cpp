// Headwords, keys and HTML of the entries, for the StarDict and MDict books.
#include "source/html_book.h"

#include <fmt/format.h>

#include <unordered_set>

#include "fs/files.h"
#include "source/book_html.h"
#include "platform/ordered_pool.h"
#include "source/book_source.h"
#include "source/key_forms.h"
#include "text/error.h"

namespace tavex::source {
namespace {

constexpr char kCutWord[] = "headword or key longer than 255 bytes cut";

// Links to entries by their headwords, to recordings by their file names in the book.
// One for each thread, counting the warnings of the entry it is on.
class Links : public HtmlLinks {
 public:
  Links(const HtmlForms& forms, const std::unordered_map<std::string, std::string>& headwords,
        RecordingFiles& recordings, WarningTally& warnings)
      : forms_(forms), headwords_(headwords), recordings_(recordings), warnings_(warnings) {}
  std::optional<std::string> Entry(std::string_view id) override {
    auto it = headwords_.find(std::string(id));
    if (it == headwords_.end()) return std::nullopt;
    return forms_.entry_prefix + it->second;
  }
  std::optional<std::string> Sound(std::string_view href) override {
    std::optional<std::string> name = recordings_.Resolve(href, warnings_);
    if (!name) return std::nullopt;
    return forms_.sound_prefix + *name;
  }
  bool SoundAsAudio() const override { return forms_.sound_as_audio; }

 private:
  const HtmlForms& forms_;
  const std::unordered_map<std::string, std::string>& headwords_;
  RecordingFiles& recordings_;
  WarningTally& warnings_;
};

// What a thread made of one entry: the entry and the warnings met on the way, which are
// counted in file order, so that the report does not depend on the threads.
struct MadeEntry {
  HtmlEntry entry;
  WarningTally warnings;
};

// Links in the copyright page lead nowhere a book can show.
class NoLinks : public HtmlLinks {
 public:
  std::optional<std::string> Entry(std::string_view) override { return std::nullopt; }
  std::optional<std::string> Sound(std::string_view) override { return std::nullopt; }
};

// The headword of an entry: its heading as text, else its first key, else its id.
std::string Headword(const SourceEntry& entry, WarningTally& warnings) {
  std::string word = PlainText(entry.title);
  for (std::size_t k = 0; word.empty() && k < entry.key_titles.size(); ++k)
    word = PlainText(entry.key_titles[k]);
  if (word.empty()) word = PlainText(entry.id);
  if (word.empty()) word.push_back('?');  // StarDict readers refuse an empty word
  if (word.size() > kMaxWordBytes) {
    warnings.Add(kCutWord, word);
    word = CutWord(std::move(word));
  }
  return word;
}

}  // namespace

std::string CutWord(std::string word) {
  if (word.size() <= kMaxWordBytes) return word;
  std::size_t end = kMaxWordBytes;
  while (end > 0 && (static_cast<unsigned char>(word[end]) & 0xC0) == 0x80) --end;
  word.resize(end);
  return word;
}

HtmlBook::HtmlBook(std::string base_folder, HtmlForms forms, WarningTally& warnings)
    : base_folder_(std::move(base_folder)), forms_(std::move(forms)), warnings_(warnings) {
  const std::string html_path = JoinPath(base_folder_, "html_EPW");
  WarningTally first_pass;  // the second pass warns about the same things
  entry_count_ = ReadBookSource(html_path, [&](const SourceEntry& entry) {
    headword_of_id_.try_emplace(entry.id, Headword(entry, first_pass));
  });
  if (entry_count_ == 0) throw Error(fmt::format("book source file {} holds no entries", html_path));
}

void HtmlBook::ReadEntries(const std::function<void(const HtmlEntry&)>& entry,
                           const RecordingFiles::NewFn& recording) {
  RecordingFiles recordings(base_folder_, recording);
  // The entries are made on every core (their recordings read there too) and come back
  // in file order, in batches of some 64 entries so that handing them over costs little.
  // At least four threads: reading recordings the page cache does not hold waits on the
  // disk, and more reads in flight hide its latency.
  const std::size_t workers = std::max<std::size_t>(4, WorkerCount(0));
  using Batch = std::vector<SourceEntry>;
  OrderedPool<Batch, std::vector<MadeEntry>> pool(workers, [&](std::size_t, Batch& batch) {
    std::vector<MadeEntry> made(batch.size());
    for (std::size_t i = 0; i < batch.size(); ++i) {
      Links links(forms_, headword_of_id_, recordings, made[i].warnings);
      HtmlWriter writer(links, made[i].warnings);
      MakeEntry(batch[i], writer, made[i].warnings, made[i].entry);
    }
    return made;
  });
  const auto take = [&] {
    for (const MadeEntry& made : pool.Take()) {
      warnings_.Merge(made.warnings);
      entry(made.entry);
    }
  };
  constexpr std::size_t kBatchEntries = 64;
  constexpr std::size_t kBatchBytes = 1 << 20;
  Batch batch;
  std::size_t batch_bytes = 0;
  const auto submit = [&] {
    pool.Submit(std::move(batch));
    batch = Batch();
    batch_bytes = 0;
    while (pool.in_flight() > workers) take();
  };
  ReadBookSource(JoinPath(base_folder_, "html_EPW"), [&](const SourceEntry& source) {
    batch.push_back(source);
    batch_bytes += source.body.size();
    if (batch.size() >= kBatchEntries || batch_bytes >= kBatchBytes) submit();
  });
  if (!batch.empty()) submit();
  while (pool.in_flight() > 0) take();
}

void HtmlBook::MakeEntry(const SourceEntry& source, HtmlWriter& writer, WarningTally& warnings, HtmlEntry& out) const {
  out.id = source.id;
  out.headword = Headword(source, warnings);
  std::unordered_set<std::string> seen{out.headword};
  auto add = [&](std::string key) {
    if (key.empty()) return;
    if (key.size() > kMaxWordBytes) {
      warnings.Add(kCutWord, key);
      key = CutWord(std::move(key));
    }
    if (seen.insert(key).second) out.keys.push_back(std::move(key));
  };
  for (std::string& form : FoldedForms(out.headword)) add(std::move(form));
  for (const std::string& title : source.key_titles) {
    std::string text = PlainText(title);
    for (std::string& form : FoldedForms(text)) add(std::move(form));
    add(std::move(text));
  }
  writer.Write(source.body, out.html);
}

std::string HtmlBook::Description() {
  NoLinks links;
  WarningTally ignored;
  HtmlWriter writer(links, ignored);
  std::string html;
  writer.Write(ReadCopyrightBody(JoinPath(base_folder_, "copyright.html")), html);
  return html;
}

}  // namespace tavex::source
