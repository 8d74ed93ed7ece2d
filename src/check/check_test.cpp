#include "check/check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "text/cp932.h"
#include "text/error.h"
#include "text/text.h"
#include "testing/test_util.h"

namespace tavex::check {
namespace {

using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;
using Lines = std::vector<std::string>;

// 16 rows of `width` pixels.
Lines Glyph(std::size_t width) {
  Lines rows;
  for (int i = 0; i < 16; ++i) rows.push_back(std::string(width / 2, '#') + std::string(width / 2, '.'));
  return rows;
}

// A small book as the create run writes it, in UTF-8 lines; Write stores it in Shift_JIS
// with CR LF line ends. Tests break one part and look for the one finding.
struct SampleBook {
  Lines book = {"<html>",
                "<head>",
                "<title>TAVEX</title>",
                "</head>",
                "<body>",
                "<dl>",
                "<dt id=\"0\">caf&#x00E9;</dt>",
                "<key title=\"caf\" type=\"前方表記\">ＣＡＦ</key>",
                "<key title=\"caf\" type=\"後方表記\">ＣＡＦ</key>",
                "<dd><p>",
                "a drink, see <A href=\"#1\">tea</A> and &#x0101; &#x0251;<br>",
                "</p></dd>",
                "<dt id=\"1\">tea</dt>",
                "<key title=\"x-ray 2\" type=\"前方表記\">ＸＲＡＹ２</key>",
                "<dd><p>",
                "back to <A href=\"#0\">café</A>, 日本語い<br>",
                "</p></dd>",
                "<dt id=\"50080\">copyright_info</dt>",
                "<key title=\"owner_info\" type=\"前方表記\">ＯＷＮＥＲＩＮＦＯ</key>",
                "<dd><p>",
                "<b>[COPYRIGHT INFORMATION]</b><br>",
                "</p></dd>",
                "</dl>",
                "</body>",
                "</html>"};
  Lines copyright = {"<html>",  "<head>", "<title>copyright</title>", "</head>", "<body>", "owner",
                     "</body>", "</html>"};
  Lines project = {"InPath=Z:\\nowhere\\base_folder\\",  "OutPath=Z:\\nowhere\\base_folder\\TAVEX\\",
                   "Copyright=$(BASE)\\copyright.html",  "GaijiFile=$(BASE)\\Gaiji.xml",
                   "GaijiMapFile=$(BASE)\\GaijiMap.xml", "EBType=0",
                   "Source=$(BASE)\\html_EPW;_;_;HTML;"};
  Lines gaiji_map = {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>",
                     "<gaijiSet>",
                     "",
                     "<!-- zenkaku -->",
                     "<gaijiMap unicode=\"#x00E9\" ebcode=\"A121\" alt=\"e\" />",
                     "<gaijiMap unicode=\"#x0101\" ebcode=\"A122\" />",
                     "",
                     "<!-- hankaku -->",
                     "<gaijiMap unicode=\"#x0251\" ebcode=\"A123\" />",
                     "</gaijiSet>"};
  Lines gaiji_font;

  SampleBook() {
    gaiji_font = {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "<gaijiData xml:space=\"preserve\">", "",
                  "<fontSet size=\"16X16\" start=\"A121\">"};
    AddGlyph("A121", "00E9", 16);
    AddGlyph("A122", "0101", 16);
    gaiji_font.insert(gaiji_font.end(), {"</fontSet>", "", "<fontSet size=\"8X16\" start=\"A123\">"});
    AddGlyph("A123", "0251", 8);
    gaiji_font.insert(gaiji_font.end(), {"</fontSet>", "</gaijiData>"});
  }

  void AddGlyph(const std::string& code, const std::string& unicode, std::size_t width) {
    gaiji_font.push_back("<fontData ebcode=\"" + code + "\" unicode=\"" + unicode + "\">");
    for (const auto& row : Glyph(width)) gaiji_font.push_back(row);
    gaiji_font.push_back("</fontData>");
  }

  static std::string Sjis(const Lines& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return ToSjis(text).bytes;
  }

  void Write(const TempDir& dir) const {
    WriteTestFile(dir / "html_EPW", Sjis(book));
    WriteTestFile(dir / "copyright.html", Sjis(copyright));
    WriteTestFile(dir / "TAVEX.ebs", Sjis(project));
    WriteTestFile(dir / "GaijiMap.xml", Sjis(gaiji_map));
    WriteTestFile(dir / "Gaiji.xml", Sjis(gaiji_font));
  }
};

// The 1-based number of the first line holding `text`.
int LineOf(const Lines& lines, const std::string& text) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return static_cast<int>(i) + 1;
  }
  ADD_FAILURE() << "no line holds " << text;
  return -1;
}

// The findings whose message holds `text`.
std::vector<Finding> With(const CheckReport& report, const std::string& text) {
  std::vector<Finding> found;
  for (const auto& f : report.findings) {
    if (f.message.find(text) != std::string::npos) found.push_back(f);
  }
  return found;
}

// Expects exactly one finding with `text`, at `file`:`line`, with advice.
void ExpectOne(const CheckReport& report, const std::string& text, const std::string& file, int line,
               Finding::Severity severity = Finding::kError) {
  auto found = With(report, text);
  ASSERT_EQ(found.size(), 1u) << text << "\n" << FormatReport(report);
  EXPECT_EQ(found[0].file, file) << text;
  EXPECT_EQ(found[0].line, line) << text;
  EXPECT_EQ(found[0].severity, severity) << text;
  EXPECT_FALSE(found[0].advice.empty()) << text;
}

CheckReport Check(const SampleBook& book, const TempDir& dir) {
  book.Write(dir);
  return CheckBookSource(dir.path());
}

TEST(CheckBookSource, CleanBookChecksClean) {
  TempDir dir;
  SampleBook book;
  CheckReport report = Check(book, dir);
  EXPECT_TRUE(report.findings.empty()) << FormatReport(report);
  EXPECT_EQ(FormatSummary(report), "check: 0 errors, 0 warnings in " + dir.path());
}

TEST(CheckBookSource, MissingFilesAreReportedOnceEach) {
  TempDir dir;
  SampleBook book;
  book.project.push_back("Copyright=$(BASE)\\extra\\page.html");
  book.Write(dir);
  std::remove((dir / "Gaiji.xml").c_str());
  CheckReport report = CheckBookSource(dir.path());
  // Gaiji.xml is named by the project too, but reported only as missing.
  ExpectOne(report, "file is missing", "Gaiji.xml", 0);
  ExpectOne(report, "page.html, which does not exist", "TAVEX.ebs", LineOf(book.project, "extra"));
  EXPECT_EQ(report.errors(), 2) << FormatReport(report);

  TempDir empty;
  EXPECT_EQ(CheckBookSource(empty.path()).errors(), 5);
  EXPECT_THROW(CheckBookSource(empty / "none"), Error);
}

TEST(CheckBookSource, EncodingAndLineEndsGiveFirstLineAndCount) {
  TempDir dir;
  SampleBook book;
  book.Write(dir);
  std::string text = SampleBook::Sjis(book.copyright);
  text.replace(text.find("<head>\r\n"), 8, "<head>\n");    // line 2
  text.replace(text.find("</head>\r\n"), 9, "</head>\r");  // joins lines 4 and 5
  text.replace(text.find("owner"), 5, "own\x80r");         // an undecodable byte
  text.erase(text.size() - 2);                             // no line end at the end
  WriteTestFile(dir / "copyright.html", text);
  CheckReport report = CheckBookSource(dir.path());
  ExpectOne(report, "does not end in CR LF (3 lines in all)", "copyright.html", 2);
  ExpectOne(report, "not code page 932 text (1 line in all)", "copyright.html", 5);
  EXPECT_EQ(report.errors(), 2) << FormatReport(report);
}

TEST(CheckBookSource, GaijiReferencesMustBeMappedAndFitSixteenBits) {
  TempDir dir;
  SampleBook book;
  book.book.insert(book.book.begin() + 10, {"&#x0259; &#x00e9;", "&#x0259; &#xD835;&#xDC00; &#xDC01;"});
  CheckReport report = Check(book, dir);
  int line = LineOf(book.book, "&#x0259;");
  ExpectOne(report, "&#x0259; (U+0259) has no entry in GaijiMap.xml", "html_EPW", line);
  EXPECT_NE(With(report, "(2 uses)").size(), 0u);
  ExpectOne(report, "U+1D400 lies beyond U+FFFF", "html_EPW", line + 1);
  ExpectOne(report, "&#xDC01; is a lone surrogate", "html_EPW", line + 1);
  EXPECT_EQ(report.errors(), 3) << FormatReport(report);
}

TEST(CheckBookSource, GaijiCodesFollowTheLayoutAndBothFilesAgree) {
  TempDir dir;
  SampleBook book;
  // The map gives the second full-width character A17F, a code the layout does not have,
  // and repeats A121 in the hankaku set (the font still has A123 there).
  book.gaiji_map[LineOf(book.gaiji_map, "#x0101") - 1] = "<gaijiMap unicode=\"#x0101\" ebcode=\"A17F\" />";
  book.gaiji_map.insert(book.gaiji_map.end() - 1, "<gaijiMap unicode=\"#x0252\" ebcode=\"A123\" />");
  // The font skips a code in the full-width set and has a short and a narrow glyph.
  int second = LineOf(book.gaiji_font, "ebcode=\"A122\"");
  book.gaiji_font[second - 1] = "<fontData ebcode=\"A124\" unicode=\"0101\">";
  book.gaiji_font.erase(book.gaiji_font.begin() + second);  // 15 rows
  int half = LineOf(book.gaiji_font, "ebcode=\"A123\"");
  book.gaiji_font[half + 2] = "#######";
  CheckReport report = Check(book, dir);

  ExpectOne(report, "A17F for U+0101 is outside the book's code layout", "GaijiMap.xml",
            LineOf(book.gaiji_map, "A17F"));
  ExpectOne(report, "gaiji code A123 is used twice in the hankaku set", "GaijiMap.xml",
            LineOf(book.gaiji_map, "#x0252"));
  ExpectOne(report, "which the authoring tool numbers A122", "Gaiji.xml", second);
  ExpectOne(report, "it has 15 rows", "Gaiji.xml", second);
  ExpectOne(report, "row 3 (line " + std::to_string(half + 3) + ") has 7 characters", "Gaiji.xml", half);
  ExpectOne(report, "glyph 2 of the 16X16 set is U+0101 as A124", "Gaiji.xml", second);
  ExpectOne(report, "the hankaku set has 2 entries in GaijiMap.xml but 1 glyph", "GaijiMap.xml",
            LineOf(book.gaiji_map, "#x0252"));
}

TEST(CheckBookSource, ProjectAndMapFaultsThatHideOthers) {
  TempDir dir;
  SampleBook book;
  book.project.pop_back();  // no Source= line
  book.gaiji_map.insert(book.gaiji_map.end() - 1, "<gaijiMap unicode=\"#x00e9\" ebcode=\"A124\" />");
  CheckReport report = Check(book, dir);
  ExpectOne(report, "no Source= line", "TAVEX.ebs", 0);
  ExpectOne(report, "U+00E9 is mapped twice (first on line 5)", "GaijiMap.xml",
            LineOf(book.gaiji_map, "#x00e9"));

  // Without a map every reference would be unmapped; the missing file is the one finding.
  std::remove((dir / "GaijiMap.xml").c_str());
  report = CheckBookSource(dir.path());
  ExpectOne(report, "file is missing", "GaijiMap.xml", 0);
  EXPECT_TRUE(With(report, "has no entry in GaijiMap.xml").empty()) << FormatReport(report);
}

TEST(CheckBookSource, LinksNeedAnEntryAndIdsAreUnique) {
  TempDir dir;
  SampleBook book;
  int body = LineOf(book.book, "a drink");
  book.book[body - 1] += "<A href=\"#-1\">x</A><a href=\"#-1\">y</a><A href=\"#7\">z</A>";
  book.book.insert(book.book.end() - 3, "<dt id=\"1\">tea again</dt>");
  CheckReport report = Check(book, dir);
  ExpectOne(report, "link to #-1 has no entry with that id (2 links)", "html_EPW", body);
  ExpectOne(report, "link to #7 has no entry", "html_EPW", body);
  ExpectOne(
      report,
      "entry id 1 is used twice (first on line " + std::to_string(LineOf(book.book, "<dt id=\"1\">")) + ")",
      "html_EPW", LineOf(book.book, "tea again"));
  EXPECT_EQ(report.errors(), 3) << FormatReport(report);
}

TEST(CheckBookSource, KeysTheSearchCannotFindAreWarnings) {
  TempDir dir;
  SampleBook book;
  std::string long_title(130, 'a');
  std::string long_text;
  for (int i = 0; i < 130; ++i) long_text += "Ａ";
  auto at = book.book.begin() + LineOf(book.book, "ＸＲＡＹ２");
  book.book.insert(at, {
                           "<key title=\"（－）\" type=\"前方表記\"></key>",
                           "<key title=\"（－）\" type=\"後方表記\"></key>",
                           "<key title=\"tea\" type=\"前方表記\">ＴＥ</key>",
                           "<key title=\"" + long_title + "\" type=\"前方表記\">" + long_text + "</key>",
                           "<key title=\"teaｶｯﾌﾟ\" type=\"前方表記\">ＴＥＡ</key>",
                           "<key title=\"colour<img src=\"c.png\">ed\" type=\"前方表記\">ＣＯＬＯＵＲＥＤ</key>",
                           "<dd><p>",
                           "x<br>",
                           "</p></dd>",
                           "<dt id=\"9\">" + long_title + long_title + "</dt>",
                       });
  CheckReport report = Check(book, dir);
  ExpectOne(report, "key text is empty: its title \"（－）\"", "html_EPW", LineOf(book.book, "（－）"),
            Finding::kWarning);
  ExpectOne(report, "does not match its title \"tea\"", "html_EPW", LineOf(book.book, "ＴＥ<"),
            Finding::kWarning);
  ExpectOne(report, "\" is 260 bytes", "html_EPW", LineOf(book.book, long_text), Finding::kWarning);
  ExpectOne(report, "half-width katakana, which its key text leaves out", "html_EPW",
            LineOf(book.book, "teaｶｯﾌﾟ"), Finding::kWarning);
  ExpectOne(report, "headword of entry 9 is 260 bytes", "html_EPW", LineOf(book.book, "<dt id=\"9\">"),
            Finding::kWarning);
  // The katakana line also counts as half-width katakana in the book.
  ExpectOne(report, "half-width katakana (1 line in all)", "html_EPW", LineOf(book.book, "teaｶｯﾌﾟ"),
            Finding::kWarning);
  // Markup in a title: only that warning, as the key text itself is right.
  ExpectOne(report, "holds '\"', '<' or '>'", "html_EPW", LineOf(book.book, "colour<img"), Finding::kWarning);
  EXPECT_EQ(report.errors(), 0) << FormatReport(report);
  EXPECT_EQ(report.warnings(), 7) << FormatReport(report);
}

TEST(CheckBookSource, EntriesWithoutADefinitionAreWarnings) {
  TempDir dir;
  SampleBook book;
  const int body = LineOf(book.book, "back to");
  book.book[body - 1] = "<br>";
  // An entry whose source did not parse has no keys and no definition: a warning of its own.
  book.book.insert(book.book.end() - 3, {"<dt id=\"2\">broken</dt>", "<dd><p>", "<br>", "</p></dd>"});
  CheckReport report = Check(book, dir);
  ExpectOne(report, "1 entry with search keys but an empty definition", "html_EPW", body, Finding::kWarning);
  ExpectOne(report, "1 entry has no definition and no search keys", "html_EPW",
            LineOf(book.book, "broken") + 2, Finding::kWarning);
  EXPECT_EQ(report.findings.size(), 2u) << FormatReport(report);
}

TEST(CheckBookSource, WavFilesNeedARiffWaveHeaderOfTheirSize) {
  TempDir dir;
  SampleBook book;
  std::string good = std::string("RIFF") + std::string("\x08\0\0\0", 4) + "WAVEdata";
  WriteTestFile(dir / "us_pron/good.wav", good);
  WriteTestFile(dir / "us_pron/notes.txt", "not a sound");
  WriteTestFile(dir / "us_pron/zeros.WAV", std::string(70, '\0'));
  WriteTestFile(dir / "uk_pron/cut.wav", good.substr(0, 14));
  CheckReport report = Check(book, dir);
  ExpectOne(report, "does not start with a RIFF/WAVE header", "us_pron/zeros.WAV", 0, Finding::kWarning);
  ExpectOne(report, "declares 16 bytes but the file has 14", "uk_pron/cut.wav", 0, Finding::kWarning);
  // The book links none of its three recordings.
  ExpectOne(report, "3 recordings were converted into us_pron/ and uk_pron/, but the book links none",
            "html_EPW", 0, Finding::kWarning);
  EXPECT_EQ(report.findings.size(), 3u) << FormatReport(report);
}

// A link to a recording base_folder lacks is an error once per file, at its first line,
// naming the entry; the advice tells a recording gone from the folder, one the rule sends
// to the wrong folder and one the disc's bundle lacks.
TEST(CheckBookSource, SoundLinksToMissingRecordingsAreErrors) {
  TempDir dir;
  SampleBook book;
  const std::string wav = std::string("RIFF") + std::string("\x08\0\0\0", 4) + "WAVEdata";
  WriteTestFile(dir / "us_pron/here.wav", wav);
  WriteTestFile(dir / "us_pron/moved.wav", wav);
  WriteTestFile(dir / "uk_pron/other.wav", wav);
  for (std::string& line : book.book) {
    line = tavex::ReplaceAll(
        line, "a drink, see",
        "<a href=\"us_pron/here.wav\">US</a> <a href=\"us_pron/gone%20too.wav\">US</a> "
        "<a href=\"uk_pron/moved.wav\">UK</a> <a href=\"uk_pron/never.wav\">UK</a> a drink");
    line = tavex::ReplaceAll(line, "back to", "<a href=\"us_pron/gone%20too.wav\">US</a> back to");
  }
  SourceHints hints;
  hints.known = true;
  hints.in_bundle = [](std::string_view folder, std::string_view name) {
    return name == "gone too.wav" || (folder == "us_pron" && name == "moved.wav");
  };
  hints.sound_rules = {{"snd-a", "uk_pron"}, {"snd-b", "us_pron"}};
  book.Write(dir);
  const CheckReport report = CheckBookSource(dir.path(), hints);
  const int line = LineOf(book.book, "here.wav");
  ExpectOne(report, "entry \"caf&#x00E9;\" to us_pron/gone too.wav, which base_folder lacks (2 links)",
            "html_EPW", line);
  ExpectOne(report, "to uk_pron/moved.wav, which base_folder lacks (1 link)", "html_EPW", line);
  ExpectOne(report, "to uk_pron/never.wav", "html_EPW", line);
  EXPECT_EQ(report.errors(), 3) << FormatReport(report);
  EXPECT_NE(With(report, "gone too")[0].advice.find("re-run `tavex2epwing audio`"), std::string::npos);
  EXPECT_NE(With(report, "moved.wav")[0].advice.find("the rule of tag snd-a sends it to the wrong folder"),
            std::string::npos);
  EXPECT_NE(With(report, "never.wav")[0].advice.find("nothing but the disc can mend it"), std::string::npos);
}

// A book whose entries are each one line, without links though the disc's entries refer
// to each other: each finding names the tag to tune.
TEST(CheckBookSource, BooksThatDoNotReadAreWarnings) {
  TempDir dir;
  SampleBook book;
  Lines entries;
  for (int i = 2; i < 14; ++i) {
    entries.insert(entries.end(),
                   {"<dt id=\"" + std::to_string(i) + "\">w" + std::to_string(i) + "</dt>", "<dd><p>",
                    "<b>word</b> noun a thing one line long see also tea<br>", "</p></dd>"});
  }
  book.book.insert(book.book.begin() + 17, entries.begin(), entries.end());
  for (std::string& line : book.book) line = tavex::ReplaceAll(line, "<A href=\"#1\">tea</A>", "tea");
  for (std::string& line : book.book) line = tavex::ReplaceAll(line, "<A href=\"#0\">café</A>", "café");
  book.Write(dir);
  SourceHints hints;
  hints.known = true;
  hints.references = {{"x-ref", "topic", 40}};
  CheckReport report = CheckBookSource(dir.path(), hints);
  ExpectOne(report, "15 of 15 entries have no line break in their definition", "html_EPW", 11,
            Finding::kWarning);
  ExpectOne(
      report,
      "refer to other entries by id (x-ref (attribute topic): 40 references), but the book has no links",
      "html_EPW", 0, Finding::kWarning);
  EXPECT_NE(FormatReport(report).find("tune the rule of tag x-ref in the window's tag editor"),
            std::string::npos);
  EXPECT_EQ(report.findings.size(), 2u) << FormatReport(report);
  // Without what the disc shows, a book without links may be a dictionary without references.
  EXPECT_EQ(CheckBookSource(dir.path()).findings.size(), 1u);
}

// What the EPWING writer refuses is an error of check too, whatever passes the line checks.
TEST(CheckBookSource, WhatTheWriterRefusesIsAnError) {
  {
    TempDir dir;
    SampleBook book;
    const int second = LineOf(book.book, "<dt id=\"0\">") + 1;
    book.book.insert(book.book.begin() + second - 1, "<dt id=\"9\">stray</dt>");
    ExpectOne(Check(book, dir), "the EPWING writer refuses it", "html_EPW", second);
  }
  {
    // Lines each under the entry bound that add up to more than it.
    TempDir dir;
    SampleBook book;
    const std::string line(1 << 20, 'a');
    book.book.insert(book.book.begin() + LineOf(book.book, "<dd><p>"), 17, line + "<br>");
    CheckReport report = Check(book, dir);
    ExpectOne(report, "longer than 16 MiB", "html_EPW", LineOf(book.book, "<dd><p>") + 16);
    EXPECT_EQ(report.errors(), 1) << FormatReport(report);
  }
  {
    TempDir dir;
    SampleBook book;
    book.gaiji_font.insert(book.gaiji_font.end() - 1, std::string(300 * 3, ' '));
    std::string& deep = book.gaiji_font[book.gaiji_font.size() - 2];
    deep.clear();
    for (int i = 0; i < 300; ++i) deep += "<x>";
    for (int i = 0; i < 300; ++i) deep += "</x>";
    CheckReport report = Check(book, dir);
    ExpectOne(report, "the EPWING writer refuses it", "Gaiji.xml", 0);
    EXPECT_EQ(report.errors(), 1) << FormatReport(report);
  }
}

TEST(CheckBookSource, ManyFindingsOfOneKindAreSummedUp) {
  TempDir dir;
  SampleBook book;
  for (int i = 0; i < 30; ++i) {
    book.book.insert(book.book.end() - 3, "<A href=\"#" + std::to_string(100 + i) + "\">x</A>");
  }
  CheckReport report = Check(book, dir);
  EXPECT_EQ(report.errors(), 21) << FormatReport(report);
  ExpectOne(report, "10 more findings of this kind, the first here: link to #120", "html_EPW",
            LineOf(book.book, "#120"));
}

TEST(EntryIndexAtLine, LinesOfAnEntryLeadToItsIndexOthersToNothing) {
  TempDir dir;
  SampleBook book;
  book.Write(dir);
  const std::optional<int> none;
  // The head, entry 0 (six lines), entry 1 (five), the copyright entry and the tail.
  std::vector<std::optional<int>> expected(6, none);
  expected.insert(expected.end(), 6, 0);
  expected.insert(expected.end(), 5, 1);
  expected.insert(expected.end(), 8, none);
  ASSERT_EQ(expected.size(), book.book.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(EntryIndexAtLine(dir.path(), static_cast<int>(i) + 1), expected[i]) << book.book[i];
  }
  EXPECT_EQ(EntryIndexAtLine(dir.path(), 0), none);
  EXPECT_EQ(EntryIndexAtLine(dir.path(), 1000), none);
  EXPECT_EQ(EntryIndexAtLine(dir / "missing", 7), none);
}

TEST(FormatReport, LinesNameFileLineSeverityAndAdvice) {
  CheckReport report;
  report.base_folder = "/w/base_folder";
  report.findings = {{Finding::kError, "html_EPW", 12, "link to #7 has no entry", "re-run it"},
                     {Finding::kWarning, "us_pron/a.wav", 0, "bad header", "redo"}};
  EXPECT_EQ(FormatReport(report),
            "html_EPW:12: error: link to #7 has no entry (re-run it)\n"
            "us_pron/a.wav: warning: bad header (redo)\n"
            "check: 1 error, 1 warning in /w/base_folder\n");
}

TEST(FormatReportJson, IsValidJsonWhateverTheTextsHold) {
  CheckReport report;
  report.base_folder = "/w/\"base\"\\folder";
  report.findings = {{Finding::kError, "us_pron/\xff\xfe.wav", 3, "quote \" tab \t cr \r nul \x01 é", "ok"}};
  TempDir dir;
  for (const CheckReport& r : {report, CheckReport{}}) {
    WriteTestFile(dir / "report.json", FormatReportJson(r));
    std::string command =
        "python3 -c \"import json,sys; d=json.load(open(sys.argv[1], encoding='utf-8'));"
        " assert len(d['findings']) == d['errors'] + d['warnings']\" " +
        dir / "report.json";
    EXPECT_EQ(std::system(command.c_str()), 0) << FormatReportJson(r);
  }
  std::string json = FormatReportJson(report);
  EXPECT_NE(json.find("\"line\": 3"), std::string::npos);
  EXPECT_NE(json.find("\"severity\": \"error\""), std::string::npos);
}

}  // namespace
}  // namespace tavex::check
