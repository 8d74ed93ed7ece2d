// The book made with suggested rules, measured against the book made with the sample
// disc's hand-tuned rules entry by entry: links, sounds and their labels, headwords,
// lines and where they start, words shown and hidden, superscripts, subscripts and
// italic examples; on the standard disc, on it renamed, and on its variants that read
// like another dictionary's.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "pipeline/workbench.h"
#include "text/cp932.h"
#include "fs/files.h"
#include "text/text.h"
#include "sample/sample_disc.h"
#include "sample/sample_rules.h"
#include "store/database.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

// One entry of html_EPW: its title and body, in UTF-8 with the gaiji references decoded.
struct BookEntry {
  std::string title;
  std::string body;
};

std::string DecodeReferences(const std::string& text) {
  static const std::regex kReference("&#x([0-9A-Fa-f]+);");
  std::string out;
  auto begin = std::sregex_iterator(text.begin(), text.end(), kReference);
  std::size_t last = 0;
  for (auto it = begin; it != std::sregex_iterator(); ++it) {
    out.append(text, last, static_cast<std::size_t>(it->position()) - last);
    AppendUtf8(out, static_cast<char32_t>(std::stoul((*it)[1].str(), nullptr, 16)));
    last = static_cast<std::size_t>(it->position() + it->length());
  }
  out.append(text, last);
  return out;
}

std::map<int, BookEntry> ReadBook(const std::string& base_folder) {
  const std::string html =
      ReplaceAll(DecodeReferences(SjisToUtf8(Sjis(ReadFile(base_folder + "/html_EPW")))), "\r\n", "\n");
  std::map<int, BookEntry> book;
  for (std::size_t at = html.find("<dt id=\""); at != std::string::npos; at = html.find("<dt id=\"", at)) {
    const std::size_t id_end = html.find('"', at + 8);
    const std::size_t title_end = html.find("</dt>", id_end);
    const std::size_t open = html.find("<dd><p>\n", title_end);
    if (open == std::string::npos) break;
    const std::size_t body = open + 8;
    const std::size_t body_end = html.find("\n</p></dd>", body);
    if (body_end == std::string::npos) break;
    book[std::stoi(html.substr(at + 8, id_end - at - 8))] = {html.substr(id_end + 2, title_end - id_end - 2),
                                                             html.substr(body, body_end - body)};
    at = body_end;
  }
  return book;
}

// The text of a piece of body: line breaks and paragraphs as blanks, other tags out,
// entities in.
std::string PlainText(const std::string& html) {
  static const std::regex kBlock("<br>|</?p>|<indent[^>]*>");
  static const std::regex kTag("<[^>]*>");
  std::string text = std::regex_replace(std::regex_replace(html, kBlock, " "), kTag, "");
  for (const auto& [entity, c] :
       {std::pair{"&nbsp;", " "}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
    text = ReplaceAll(text, entity, c);
  }
  return text;
}

std::vector<std::string> Lines(std::string body) {
  for (const char* mark : {"<p>", "</p>"}) body = ReplaceAll(body, mark, "<br>");
  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= body.size();) {
    std::size_t end = body.find("<br>", start);
    if (end == std::string::npos) end = body.size();
    std::string line = PlainText(body.substr(start, end - start));
    if (line.find_first_not_of(" ") != std::string::npos) lines.push_back(line);
    start = end + 4;
  }
  return lines;
}

// Lower-case words: runs of letters and digits (any script; punctuation such as dashes
// and arrows is no word). A superscript or subscript ends a word: "set<sup>2</sup>" is
// the word set and the number 2.
std::multiset<std::string> Words(const std::string& body) {
  static const std::regex kScript("</?su[bp]>");
  std::multiset<std::string> words;
  std::u16string word;
  for (char16_t c : Utf8ToUtf16(PlainText(std::regex_replace(body, kScript, " ")) + " ")) {
    const bool letter = c < 0x80 ? std::isalnum(c) != 0 : c >= 0xC0 && !(c >= 0x2000 && c <= 0x2BFF);
    if (letter) {
      word += c < 0x80 ? static_cast<char16_t>(std::tolower(c)) : c;
    } else if (!word.empty()) {
      words.insert(Utf16ToUtf8(word));
      word.clear();
    }
  }
  return words;
}

std::multiset<std::string> Matches(const std::string& body, const std::regex& pattern) {
  std::multiset<std::string> found;
  for (auto it = std::sregex_iterator(body.begin(), body.end(), pattern); it != std::sregex_iterator();
       ++it) {
    found.insert((*it)[1].str());
  }
  return found;
}

std::size_t CommonCount(const std::multiset<std::string>& a, const std::multiset<std::string>& b) {
  std::vector<std::string> common;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(common));
  return common.size();
}

std::string UrlDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

double Median(std::vector<int> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The sample disc's element and attribute names (the keyword elements, span, the root
// and the side panels' path aside, which the conversion itself knows, and sup, which the
// tuned rule writes as it stands) replaced by names that say nothing, as another
// dictionary would have them.
const std::vector<std::pair<std::string, std::string>>& Renamed() {
  static const std::vector<std::pair<std::string, std::string>> names = [] {
    std::vector<std::pair<std::string, std::string>> list;
    int n = 0;
    for (const char* name :
         {"hm",     "h",    "pron-g", "geo",  "phon", "snd-uk", "snd-us",      "title",     "p",
          "infl-g", "vs-g", "pos",    "gram", "sn-g", "sn",     "def",         "x-g",       "xr",
          "x-ref",  "x",    "inf",    "id-g", "pv-g", "dr-g",   "editor-note", "usage-note"}) {
      list.emplace_back(name, "q" + std::to_string(++n));
    }
    return list;
  }();
  return names;
}

std::string RenameTags(std::string xml) {
  for (const auto& [from, to] : Renamed()) {
    xml = std::regex_replace(xml, std::regex("<(/?)" + from + "([ >/])"), "<$1" + to + "$2");
  }
  return ReplaceAll(ReplaceAll(xml, " path=\"", " src=\""), " topic=\"", " ref=\"");
}

// The sample rules for the renamed disc: the same rules under the new names.
std::string RenamedSampleRules() {
  std::string xml = sample::SampleRulesXml();
  for (const auto& [from, to] : Renamed()) {
    xml = ReplaceAll(xml, "<tag>" + from + "</tag>", "<tag>" + to + "</tag>");
    xml = ReplaceAll(xml, "match=\"" + from + "\"", "match=\"" + to + "\"");
  }
  return ReplaceAll(ReplaceAll(xml, "@path", "@src"), "@topic", "@ref");
}

// The figures of one comparison.
struct Figures {
  std::size_t tuned_links = 0, same_links = 0, tuned_sounds = 0, suggested_sounds = 0, missing_wavs = 0;
  std::size_t same_labels = 0;  // sound links to the same file with the same label
  std::size_t entries = 0, tuned_headwords = 0, bold_headwords = 0, long_lines = 0, missing_words = 0;
  std::size_t extra_words = 0;               // words the tuned book hides
  std::size_t tuned_starts = 0, run_on = 0;  // tuned lines, and those run on after text
  std::size_t lone_numbers = 0;              // lines of a number only, which the tuned book lacks
  std::size_t tuned_sup = 0, same_sup = 0, tuned_sub = 0, same_sub = 0;
  std::size_t tuned_examples = 0, italic_examples = 0;
  double tuned_median = 0, suggested_median = 0;
};

// The words of a line, joined by single spaces.
std::string WordLine(const std::string& line) {
  std::string joined;
  for (const std::string& word : Words(line)) joined += word + " ";
  return joined;
}

// The plain texts of the pieces `pattern` marks, such as "<i>(.*?)</i>".
std::multiset<std::string> Pieces(const std::string& body, const std::regex& pattern) {
  std::multiset<std::string> pieces;
  for (const std::string& piece : Matches(body, pattern)) pieces.insert(PlainText(piece));
  return pieces;
}

// Lines of the tuned entry that the suggested one runs on after other text: the first
// words of a tuned line stand inside a suggested line, and no suggested line starts so.
void CountLineStarts(const std::vector<std::string>& tuned, const std::vector<std::string>& suggested,
                     Figures& f) {
  std::vector<std::string> lines;
  for (const std::string& line : suggested) lines.push_back(" " + WordLine(line));
  for (std::size_t i = 1; i < tuned.size(); ++i) {
    std::vector<std::string> words;
    std::istringstream in(WordLine(tuned[i]));
    for (std::string w; words.size() < 3 && in >> w;) words.push_back(w);
    if (words.empty()) continue;
    std::string start = " ";
    for (const std::string& w : words) start += w + " ";
    bool starts = false, inside = false;
    for (const std::string& line : lines) {
      const std::size_t at = line.find(start);
      if (at == 0) starts = true;
      if (at != std::string::npos && at > 0) inside = true;
    }
    ++f.tuned_starts;
    if (!starts && inside) {
      ++f.run_on;
      std::cout << "runs on: \"" << tuned[i] << "\"\n";
    }
  }
  auto lone = [](const std::string& line) {
    const std::string words = WordLine(line);
    return !words.empty() && words.find_first_not_of("0123456789 ") == std::string::npos;
  };
  if (std::none_of(tuned.begin(), tuned.end(), lone))
    f.lone_numbers += static_cast<std::size_t>(std::count_if(suggested.begin(), suggested.end(), lone));
}

Figures Compare(const std::string& tuned_folder, const std::string& suggested_folder) {
  const std::map<int, BookEntry> tuned = ReadBook(tuned_folder);
  const std::map<int, BookEntry> suggested = ReadBook(suggested_folder);
  EXPECT_EQ(tuned.size(), suggested.size());
  static const std::regex kLink("<A href=\"#(-?\\d+)\">");
  static const std::regex kSound("<a href=\"((?:us|uk)_pron/[^\"]*)\">");
  static const std::regex kLabelled("<a href=\"((?:us|uk)_pron/[^\"]*\">[^<]*)</a>");
  static const std::regex kSup("<sup>(.*?)</sup>"), kSub("<sub>(.*?)</sub>"), kItalic("<i>(.*?)</i>");
  Figures f;
  f.entries = tuned.size() - (tuned.contains(50080) ? 1 : 0);
  std::vector<int> tuned_lines, suggested_lines;
  for (const auto& [index, entry] : tuned) {
    // The copyright entry is the program's own page (with the time of the run), no entry of the disc.
    if (index == 50080 || !suggested.contains(index)) continue;
    const BookEntry& other = suggested.at(index);
    const std::multiset<std::string> links = Matches(entry.body, kLink);
    f.tuned_links += links.size();
    f.same_links += CommonCount(links, Matches(other.body, kLink));

    f.tuned_sounds += Matches(entry.body, kSound).size();
    for (const std::string& sound : Matches(other.body, kSound)) {
      ++f.suggested_sounds;
      if (!FileExists(suggested_folder + "/" + UrlDecoded(sound))) ++f.missing_wavs;
    }

    f.same_labels += CommonCount(Matches(entry.body, kLabelled), Matches(other.body, kLabelled));
    // The headword, with its homograph number after it or not.
    auto bold_first = [](const BookEntry& e) {
      return e.body.starts_with("<b>" + e.title + "</b>") || e.body.starts_with("<b>" + e.title + "<sup>");
    };
    if (bold_first(entry)) {
      ++f.tuned_headwords;
      if (bold_first(other)) ++f.bold_headwords;
    }
    const std::multiset<std::string> sups = Matches(entry.body, kSup), subs = Matches(entry.body, kSub);
    f.tuned_sup += sups.size();
    f.same_sup += CommonCount(sups, Matches(other.body, kSup));
    f.tuned_sub += subs.size();
    f.same_sub += CommonCount(subs, Matches(other.body, kSub));
    std::multiset<std::string> examples;
    for (const std::string& piece : Pieces(entry.body, kItalic)) {
      if (Words(piece).size() >= 5) examples.insert(piece);
    }
    f.tuned_examples += examples.size();
    f.italic_examples += CommonCount(examples, Pieces(other.body, kItalic));

    const std::vector<std::string> lines = Lines(entry.body);
    const std::vector<std::string> other_lines = Lines(other.body);
    CountLineStarts(lines, other_lines, f);
    tuned_lines.push_back(static_cast<int>(lines.size()));
    suggested_lines.push_back(static_cast<int>(other_lines.size()));
    auto is_long = [](const std::string& line) { return Utf8ToUtf16(line).size() > 300; };
    if (std::none_of(lines.begin(), lines.end(), is_long)) {
      f.long_lines +=
          static_cast<std::size_t>(std::count_if(other_lines.begin(), other_lines.end(), is_long));
    }

    // A word the other book writes without the script around part of it ("10<sup>3</sup>"
    // as "103") is there too.
    const std::multiset<std::string> words = Words(other.body);
    const std::multiset<std::string> tuned_words = Words(entry.body);
    for (const std::string& word : words) {
      if (!tuned_words.contains(word)) {
        ++f.extra_words;
        std::cout << "entry " << index << " shows the word " << word << ", which the tuned book hides\n";
      }
    }
    std::string run_on;
    for (const std::string& w : Words(ReplaceAll(ReplaceAll(other.body, "<sup>", ""), "</sup>", "")))
      run_on += w + " ";
    for (const std::string& word : Words(entry.body)) {
      if (!words.contains(word) && run_on.find(word) == std::string::npos) {
        ++f.missing_words;
        ADD_FAILURE() << "entry " << index << " (" << entry.title << ") lacks the word " << word;
      }
    }
  }
  f.tuned_median = Median(tuned_lines);
  f.suggested_median = Median(suggested_lines);
  std::cout << "links: " << f.same_links << " of " << f.tuned_links << " to the same entries\n"
            << "sounds: " << f.suggested_sounds - f.missing_wavs << " to a WAV file that exists, against "
            << f.tuned_sounds << " (" << f.missing_wavs << " to none)\n"
            << "headword first, in bold: " << f.bold_headwords << " of " << f.tuned_headwords << " entries\n"
            << "median lines per entry: " << f.suggested_median << " against " << f.tuned_median << "\n"
            << "lines over 300 characters: " << f.long_lines << "\n"
            << "words of the tuned book missing: " << f.missing_words
            << ", words it hides shown: " << f.extra_words << "\n"
            << "sounds with the tuned file and label: " << f.same_labels << "\n"
            << "tuned lines run on after other text: " << f.run_on << " of " << f.tuned_starts
            << "; lines of a number only: " << f.lone_numbers << "\n"
            << "superscripts: " << f.same_sup << " of " << f.tuned_sup << ", subscripts: " << f.same_sub
            << " of " << f.tuned_sub << ", italic examples: " << f.italic_examples << " of "
            << f.tuned_examples << "\n";
  return f;
}

// The figures the suggested book must reach.
void ExpectReadable(const Figures& f) {
  EXPECT_GT(f.tuned_links, 0u);
  EXPECT_GE(f.same_links * 100, f.tuned_links * 95);
  EXPECT_GT(f.tuned_sounds, 0u);
  EXPECT_EQ(f.missing_wavs, 0u);
  EXPECT_GE((f.suggested_sounds - f.missing_wavs) * 100, f.tuned_sounds * 95);
  EXPECT_GE(f.tuned_headwords * 10, f.entries * 9);
  EXPECT_EQ(f.bold_headwords, f.tuned_headwords);
  EXPECT_GE(f.suggested_median * 2, f.tuned_median);
  EXPECT_EQ(f.long_lines, 0u);
  EXPECT_EQ(f.missing_words, 0u);
  EXPECT_EQ(f.suggested_sounds, f.tuned_sounds);
  EXPECT_EQ(f.same_labels, f.tuned_sounds);
  EXPECT_EQ(f.extra_words, 0u);
  EXPECT_LE(f.run_on * 20, f.tuned_starts);
  EXPECT_EQ(f.lone_numbers, 0u);
  EXPECT_EQ(f.same_sup, f.tuned_sup);
  EXPECT_EQ(f.same_sub, f.tuned_sub);
  EXPECT_EQ(f.italic_examples, f.tuned_examples);
}

class SuggestedBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::WriteSampleDisc(dir_ / "disc", {.entries = 120, .recordings = 100, .seed = 5});
  }

  // Converts the disc in a workspace of its own, with `rules` as xsl_data.xml (none when
  // empty); with `rename`, the entries get other tag names before they are analysed.
  // Returns the workspace's base_folder.
  std::string Convert(const std::string& name, const std::string& rules, bool rename,
                      const std::string& disc = "disc") {
    const std::string workspace = dir_ / name;
    CreateFolder(workspace);
    if (!rules.empty()) testing::WriteTestFile(workspace + "/xsl_data.xml", rules);
    testing::RecordingProgress progress;
    testing::ScriptedPrompter prompter;
    WorkbenchOptions options;
    options.workspace = workspace;
    options.source_folder = dir_ / disc;
    options.mode = rename ? 1 : 0;
    Workbench bench(progress, prompter, options);
    bench.Start();
    if (rename) {
      bench.ExtractEntries();
      store::Connection db(bench.layout().database_file);
      std::vector<std::pair<std::int64_t, std::string>> rows;
      store::Statement select = db.Prepare("select [index],[CONTENT_text] from [fs_skn]");
      while (select.Step()) rows.emplace_back(select.Int(0), RenameTags(select.Text(1)));
      store::Statement update = db.Prepare("update [fs_skn] set [CONTENT_text]=? where [index]=?");
      for (const auto& [index, xml] : rows) {
        update.BindText(1, xml).BindInt(2, index);
        update.Run();
        update.Reset();
      }
    }
    bench.Create({.ignore_mp3 = false, .epwing = false});
    notes_[name] = progress.warnings;
    return workspace + "/base_folder";
  }
  testing::TempDir dir_;
  std::map<std::string, std::vector<std::string>> notes_;
};

TEST_F(SuggestedBookTest, ReadsAboutAsWellAsTheTunedBook) {
  const std::string tuned = Convert("tuned", sample::SampleRulesXml(), false);
  const std::string suggested = Convert("suggested", "", false);
  // Only the run without a rules file says where its rules came from.
  auto says_suggested = [](const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("rules were suggested") != std::string::npos;
    });
  };
  EXPECT_TRUE(says_suggested(notes_["suggested"]));
  EXPECT_FALSE(says_suggested(notes_["tuned"]));
  ExpectReadable(Compare(tuned, suggested));
}

// The same disc with every tag and attribute renamed: the suggestion knows no tag name of
// the sample, so its book reads as well.
TEST_F(SuggestedBookTest, ReadsAsWellWhenEveryTagIsNamedOtherwise) {
  const std::string tuned = Convert("tuned", RenamedSampleRules(), true);
  const std::string suggested = Convert("suggested", "", true);
  ExpectReadable(Compare(tuned, suggested));
}

// Discs of another dictionary's habits (see SampleVariant), each with its own tuned rules:
// the suggestion reads their sounds, notes, blocks and numbers from their structure.
TEST_F(SuggestedBookTest, ReadsTheDiscsOfOtherDictionariesAsTheirTunedRulesDo) {
  for (const sample::SampleVariant variant :
       {sample::SampleVariant::kBundleAttribute, sample::SampleVariant::kBundlePath}) {
    const std::string name(sample::VariantName(variant));
    SCOPED_TRACE(name);
    std::cout << name << ":\n";
    sample::WriteSampleDisc(dir_ / name, {.entries = 120, .recordings = 100, .seed = 7, .variant = variant});
    const std::string tuned = Convert(name + "-tuned", sample::SampleRulesXml(variant), false, name);
    const std::string suggested = Convert(name + "-suggested", "", false, name);
    ExpectReadable(Compare(tuned, suggested));
  }
}

}  // namespace
}  // namespace tavex
