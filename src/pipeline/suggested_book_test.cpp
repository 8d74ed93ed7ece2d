// The book made with suggested rules, measured against the book made with the sample
// disc's hand-tuned rules: links, sounds, headwords, lines and words.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <regex>
#include <set>

#include "pipeline/workbench.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sample/sample_disc.h"
#include "sample/sample_rules.h"
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
  for (const auto& [entity, c] : {std::pair{"&nbsp;", " "}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                  {"&amp;", "&"}}) {
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
  for (auto it = std::sregex_iterator(body.begin(), body.end(), pattern); it != std::sregex_iterator(); ++it) {
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

class SuggestedBookTest : public ::testing::Test {
 protected:
  // Converts the sample disc in a workspace of its own, with the sample rules or without
  // any rules file; returns the workspace's base_folder.
  std::string Convert(const std::string& name, bool tuned) {
    const std::string workspace = dir_ / name;
    CreateFolder(workspace);
    if (tuned) sample::WriteSampleRules(workspace + "/xsl_data.xml");
    testing::RecordingProgress progress;
    testing::ScriptedPrompter prompter;
    WorkbenchOptions options;
    options.workspace = workspace;
    options.source_folder = dir_ / "disc";
    Workbench bench(progress, prompter, options);
    bench.Start();
    bench.Create({.ignore_mp3 = false, .epwing = false});
    notes_[name] = progress.warnings;
    return workspace + "/base_folder";
  }
  testing::TempDir dir_;
  std::map<std::string, std::vector<std::string>> notes_;
};

TEST_F(SuggestedBookTest, ReadsAboutAsWellAsTheTunedBook) {
  sample::WriteSampleDisc(dir_ / "disc", {.entries = 120, .recordings = 100, .seed = 5});
  const std::string tuned_folder = Convert("tuned", true);
  const std::string suggested_folder = Convert("suggested", false);
  const std::map<int, BookEntry> tuned = ReadBook(tuned_folder);
  const std::map<int, BookEntry> suggested = ReadBook(suggested_folder);
  ASSERT_EQ(tuned.size(), suggested.size());
  ASSERT_GT(tuned.size(), 100u);
  // Only the run without a rules file says where its rules came from.
  auto says_suggested = [](const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const std::string& line) { return line.find("rules were suggested") != std::string::npos; });
  };
  EXPECT_TRUE(says_suggested(notes_["suggested"]));
  EXPECT_FALSE(says_suggested(notes_["tuned"]));

  static const std::regex kLink("<A href=\"#(-?\\d+)\">");
  static const std::regex kSound("<a href=\"((?:us|uk)_pron/[^\"]*)\">");
  std::size_t tuned_links = 0, same_links = 0, tuned_sounds = 0, suggested_sounds = 0, missing_wavs = 0;
  std::size_t tuned_headwords = 0, bold_headwords = 0, long_lines = 0, missing_words = 0;
  std::vector<int> tuned_lines, suggested_lines;
  for (const auto& [index, entry] : tuned) {
    const BookEntry& other = suggested.at(index);
    const std::multiset<std::string> links = Matches(entry.body, kLink);
    tuned_links += links.size();
    same_links += CommonCount(links, Matches(other.body, kLink));

    tuned_sounds += Matches(entry.body, kSound).size();
    for (const std::string& sound : Matches(other.body, kSound)) {
      ++suggested_sounds;
      if (!FileExists(suggested_folder + "/" + UrlDecoded(sound))) ++missing_wavs;
    }

    if (entry.body.starts_with("<b>" + entry.title + "</b>")) {
      ++tuned_headwords;
      if (other.body.starts_with("<b>" + other.title + "</b>")) ++bold_headwords;
    }

    const std::vector<std::string> lines = Lines(entry.body);
    const std::vector<std::string> other_lines = Lines(other.body);
    tuned_lines.push_back(static_cast<int>(lines.size()));
    suggested_lines.push_back(static_cast<int>(other_lines.size()));
    auto is_long = [](const std::string& line) { return Utf8ToUtf16(line).size() > 300; };
    if (std::none_of(lines.begin(), lines.end(), is_long)) {
      long_lines += static_cast<std::size_t>(std::count_if(other_lines.begin(), other_lines.end(), is_long));
    }

    // A word the other book writes without the script around part of it ("10<sup>3</sup>"
    // as "103") is there too.
    const std::multiset<std::string> words = Words(other.body);
    const std::string run_on = [&] {
      std::string t;
      for (const std::string& w : Words(ReplaceAll(ReplaceAll(other.body, "<sup>", ""), "</sup>", ""))) t += w + " ";
      return t;
    }();
    for (const std::string& word : Words(entry.body)) {
      if (!words.contains(word) && run_on.find(word) == std::string::npos) {
        ++missing_words;
        ADD_FAILURE() << "entry " << index << " (" << entry.title << ") lacks the word " << word;
      }
    }
  }

  std::cout << "links: " << same_links << " of " << tuned_links << " to the same entries\n"
            << "sounds: " << suggested_sounds - missing_wavs << " to a WAV file that exists, against " << tuned_sounds
            << " (" << missing_wavs << " to none)\n"
            << "headword first, in bold: " << bold_headwords << " of " << tuned_headwords << " entries\n"
            << "median lines per entry: " << Median(suggested_lines) << " against " << Median(tuned_lines) << "\n"
            << "lines over 300 characters: " << long_lines << "\n"
            << "words of the tuned book missing: " << missing_words << "\n";
  EXPECT_GE(same_links * 100, tuned_links * 95);
  EXPECT_GT(tuned_links, 0u);
  EXPECT_EQ(missing_wavs, 0u);
  EXPECT_GE((suggested_sounds - missing_wavs) * 100, tuned_sounds * 95);
  EXPECT_GT(tuned_sounds, 0u);
  EXPECT_EQ(bold_headwords, tuned_headwords);
  EXPECT_GE(tuned_headwords * 10, tuned.size() * 9);
  EXPECT_GE(Median(suggested_lines) * 2, Median(tuned_lines));
  EXPECT_EQ(long_lines, 0u);
  EXPECT_EQ(missing_words, 0u);
}

}  // namespace
}  // namespace tavex
