// Headwords, keys and HTML of the entries, for the StarDict and MDict books.
#include "source/html_book.h"

#include <fmt/format.h>

#include <unordered_set>

#include "fs/files.h"
#include "source/book_html.h"
#include "source/book_source.h"
#include "source/key_forms.h"
#include "text/error.h"

namespace tavex::source {
namespace {

constexpr char kCutWord[] = "headword or key longer than 255 bytes cut";

// Links to entries by their headwords, to recordings by their file names in the book.
class Links : public HtmlLinks {
 public:
  Links(const HtmlForms& forms, const std::unordered_map<std::string, std::string>& headwords,
        RecordingFiles& recordings)
      : forms_(forms), headwords_(headwords), recordings_(recordings) {}
  std::optional<std::string> Entry(std::string_view id) override {
    auto it = headwords_.find(std::string(id));
    if (it == headwords_.end()) return std::nullopt;
    return forms_.entry_prefix + it->second;
  }
  std::optional<std::string> Sound(std::string_view href) override {
    std::optional<std::string> name = recordings_.Resolve(href);
    if (!name) return std::nullopt;
    return forms_.sound_prefix + *name;
  }
  bool SoundAsAudio() const override { return forms_.sound_as_audio; }

 private:
  const HtmlForms& forms_;
  const std::unordered_map<std::string, std::string>& headwords_;
  RecordingFiles& recordings_;
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
  RecordingFiles recordings(base_folder_, warnings_, recording);
  Links links(forms_, headword_of_id_, recordings);
  HtmlWriter writer(links, warnings_);
  HtmlEntry out;
  std::unordered_set<std::string> seen;
  ReadBookSource(JoinPath(base_folder_, "html_EPW"), [&](const SourceEntry& source) {
    out.id = source.id;
    out.headword = Headword(source, warnings_);
    out.keys.clear();
    seen.clear();
    seen.insert(out.headword);
    auto add = [&](std::string key) {
      if (key.empty()) return;
      if (key.size() > kMaxWordBytes) {
        warnings_.Add(kCutWord, key);
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
    out.html.clear();
    writer.Write(source.body, out.html);
    entry(out);
  });
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
