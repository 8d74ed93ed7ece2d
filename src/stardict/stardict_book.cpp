// The StarDict book's files: the entries' HTML streamed into the dictzip file, the words
// kept (they are few bytes each) and sorted once at the end into the index and the
// synonym file.
#include "stardict/stardict_book.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>

#include "fs/files.h"
#include "fs/write_layer.h"
#include "platform/queue_thread.h"
#include "source/book_folder.h"
#include "source/html_book.h"
#include "source/side_file.h"
#include "source/warning_tally.h"
#include "stardict/dictzip.h"
#include "text/error.h"

namespace tavex::stardict {
namespace {

constexpr char kBookName[] = "tavex";

// Words in one pool of bytes; sorting moves only the small records.
class WordList {
 public:
  void Add(std::string_view word, std::uint32_t target) {
    if (bytes_.size() + word.size() > UINT32_MAX)
      throw Error("the StarDict book holds more than 4 GiB of words");
    words_.push_back(
        {static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(word.size()), target});
    bytes_.append(word);
  }
  // Sorts in the readers' order; equal words by their targets.
  void Sort() {
    std::sort(words_.begin(), words_.end(), [this](const Word& a, const Word& b) {
      const int order = CompareWords(Text(a), Text(b));
      return order != 0 ? order < 0 : a.target < b.target;
    });
  }
  struct Word {
    std::uint32_t at;
    std::uint32_t size;
    std::uint32_t target;
  };
  std::string_view Text(const Word& word) const {
    return std::string_view(bytes_).substr(word.at, word.size);
  }
  const std::vector<Word>& words() const { return words_; }

 private:
  std::string bytes_;
  std::vector<Word> words_;
};

// res/, made with the first recording: its files are written on a thread of their own,
// beside the text, with at most 8 MiB of recordings waiting. A recording the book being
// replaced already holds in `previous` is taken from it rather than written again.
struct Resources {
  using File = std::pair<std::string, std::string>;  // name, bytes
  Resources(const std::string& folder, const std::string& previous)
      : files(folder),
        thread([this](File& file) { files.WriteInPlace(file.first, file.second); },
               [](const File& file) { return file.second.size(); }, 8 << 20) {
    files.ReuseFrom(previous);
  }
  FolderFiles files;
  QueueThread<File> thread;  // after files, which it writes
};

void PutBe(std::string& out, std::uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Writes a file of the book in pieces of about 1 MiB; returns its size.
class PieceWriter {
 public:
  explicit PieceWriter(const std::string& path) : file_(path, NewFile::Placing::kInPlace) {}
  std::string& buffer() {
    if (buffer_.size() >= (1 << 20)) Flush();
    return buffer_;
  }
  std::uint64_t Commit() {
    Flush();
    file_.Commit();
    return size_;
  }

 private:
  void Flush() {
    file_.Write(buffer_);
    size_ += buffer_.size();
    buffer_.clear();
  }
  NewFile file_;
  std::string buffer_;
  std::uint64_t size_ = 0;
};

StardictSummary WriteBook(const std::string& base, const std::string& folder, const std::string& replaced,
                          Progress& progress) {
  source::WarningTally warnings;
  source::HtmlBook book(base, {.entry_prefix = "bword://", .sound_prefix = "", .sound_as_audio = true}, warnings);
  const std::string stem = JoinPath(folder, kBookName);
  // The text is written in the index's order, so that a reader that goes through the
  // index reads the text from start to end, never seeking back in the compressed file.
  source::SideFile side(JoinPath(folder, "entries.tmp"));
  DictzipWriter dict(JoinPath(folder, "dict.tmp"));
  std::unique_ptr<Resources> resources;
  std::size_t sounds = 0;
  WordList headwords, synonyms;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> texts;  // each entry's place in the text
  texts.reserve(book.entry_count());
  ProgressLoop loop(progress, static_cast<int>(book.entry_count()), "StarDict書き出し中");
  book.ReadEntries(
      [&](const source::HtmlEntry& entry) {
        const auto number = static_cast<std::uint32_t>(texts.size());
        const std::uint64_t at = side.Append(entry.html);
        if (at + entry.html.size() > UINT32_MAX) throw Error("the StarDict book's text is larger than 4 GiB");
        texts.emplace_back(static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(entry.html.size()));
        headwords.Add(entry.headword, number);
        for (const std::string& key : entry.keys) synonyms.Add(key, number);
        loop.Step();
      },
      [&](const std::string& name, std::string_view bytes) {
        if (!resources) {
          CreateFolder(JoinPath(folder, "res"));
          resources = std::make_unique<Resources>(JoinPath(folder, "res"), JoinPath(replaced, "res"));
        }
        resources->thread.Add({name, std::string(bytes)});
        ++sounds;
      });
  // Homographs keep their file order under one headword; the synonyms point at the
  // entries' places in the sorted index.
  headwords.Sort();
  std::vector<std::uint32_t> place(texts.size());
  PieceWriter idx(stem + ".idx");
  std::string html;
  for (std::size_t i = 0; i < headwords.words().size(); ++i) {
    const WordList::Word& word = headwords.words()[i];
    place[word.target] = static_cast<std::uint32_t>(i);
    side.Read(texts[word.target].first, texts[word.target].second, html);
    std::string& out = idx.buffer();
    out.append(headwords.Text(word));
    out.push_back('\0');
    PutBe(out, static_cast<std::uint32_t>(dict.Append(html)));
    PutBe(out, texts[word.target].second);
  }
  side.Remove();
  dict.Finish(stem + ".dict.dz");
  const std::uint64_t idx_size = idx.Commit();
  synonyms.Sort();
  if (!synonyms.words().empty()) {
    PieceWriter syn(stem + ".syn");
    for (const WordList::Word& word : synonyms.words()) {
      std::string& out = syn.buffer();
      out.append(synonyms.Text(word));
      out.push_back('\0');
      PutBe(out, place[word.target]);
    }
    syn.Commit();
  }
  if (resources) resources->thread.Finish();  // the recordings were written beside the sorting
  std::string ifo = fmt::format("StarDict's dict ifo file\nversion=3.0.0\nbookname=TAVEX\nwordcount={}\n",
                                headwords.words().size());
  if (!synonyms.words().empty()) ifo += fmt::format("synwordcount={}\n", synonyms.words().size());
  ifo += fmt::format("idxfilesize={}\nsametypesequence=h\ndescription={}\n", idx_size, book.Description());
  WriteFileInPlace(stem + ".ifo", ifo);
  // Readers such as sdcv keep an offset cache beside the index; it belongs to the book
  // and goes with it, rather than making the next build refuse the folder.
  ClaimName(stem + ".idx.oft");
  ClaimName(stem + ".syn.oft");
  warnings.Report(progress);
  return {.entries = headwords.words().size(), .synonyms = synonyms.words().size(), .sounds = sounds};
}

}  // namespace

int CompareWords(std::string_view a, std::string_view b) {
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = lower(static_cast<unsigned char>(a[i]));
    const int cb = lower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

StardictSummary BuildStardictBook(const StardictOptions& options, Progress& progress) {
  StardictSummary summary;
  source::WriteBookFrom(options, [&](const std::string& staging) {
    summary = WriteBook(options.base_folder, staging, options.out_folder, progress);
  });
  return summary;
}

std::string FormatStardictSummary(const StardictSummary& summary, const std::string& out_folder) {
  return fmt::format("StarDict book: {} entries, {} other keys, {} sounds in {}", summary.entries,
                     summary.synonyms, summary.sounds,
                     std::filesystem::absolute(out_folder).lexically_normal().string());
}

}  // namespace tavex::stardict
