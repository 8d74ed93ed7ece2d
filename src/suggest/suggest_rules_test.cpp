#include "suggest/suggest_rules.h"

#include <gtest/gtest.h>

#include "analysis/entry_walk.h"
#include "stylesheet/rule_row.h"

namespace tavex::suggest {
namespace {

// Entries of a dictionary whose tags the suggestion has never seen: the rules come from
// where elements stand and what their text and attributes hold, never from their names.
const char* const kEntries[][2] = {
    {"<art id='b_1'><blk><hw>bee</hw><hn>1</hn><aud src='snd/bee.mp3' dialect='gb'/>"
     "<aud src='snd/bee.mp3' dialect='am'/></blk><grp><lbl>noun</lbl>"
     "<sense><nr>1</nr><txt>an insect that makes honey and lives in a hive.</txt>"
     "<cf ref='c_2'>cell</cf><meta>b_1</meta></sense>"
     "<sense><nr>2</nr><txt>a meeting of people who work together on one task.</txt></sense></grp>"
     "<dr>beeless</dr></art>",
     "bee"},
    {"<art id='c_2'><blk><hw>cell</hw><aud src='snd/cell.mp3' dialect='gb'/></blk><grp><lbl>noun</lbl>"
     "<sense><nr>1</nr><txt>a small room in a prison or in a monastery.</txt><cf ref='b_1'>bee</cf>"
     "<meta>c_2</meta></sense><sense><nr>2</nr><txt>the smallest unit of a living "
     "thing.</txt></sense></grp></art>",
     "cell"},
    {"<art id='d_3'><blk><hw>dell</hw><aud src='snd/dell.mp3' dialect='am'/></blk><grp><lbl>verb</lbl>"
     "<sense><nr>1</nr><txt>to dig a small valley in a field.</txt><cf ref='zz'>nowhere</cf>"
     "<meta>d_3</meta></sense></grp></art>",
     "dell"},
};

RuleRow Find(const std::vector<RuleRow>& rows, const std::string& tag) {
  for (const RuleRow& row : rows) {
    if (row.tag == tag) return row;
  }
  ADD_FAILURE() << "no row " << tag;
  return {};
}

TEST(SuggestFormats, ReadsAnUnknownTagSetFromItsStructure) {
  DiscFacts facts;
  facts.topic_ids = {"b_1", "c_2", "d_3"};
  facts.uk_recordings = {"bee.mp3", "cell.mp3"};
  facts.us_recordings = {"bee.mp3", "dell.mp3"};
  TagSurvey survey(facts);
  std::vector<xml::Document> docs(std::size(kEntries));
  std::vector<RuleRow> rows;
  for (std::size_t i = 0; i < std::size(kEntries); ++i) {
    ASSERT_TRUE(analysis::LoadEntryDocument(kEntries[i][0], docs[i]));
    survey.AddEntry(docs[i].DocumentElement(), kEntries[i][1]);
  }
  for (const TagProfile& profile : survey.profiles()) rows.emplace_back().tag = profile.key;
  rows.emplace_back().tag = "never-met";
  SuggestFormats(survey, rows);

  const RuleRow hw = Find(rows, "hw");
  EXPECT_EQ(hw.bold, "1");  // the element that holds the title
  EXPECT_EQ(hw.pre_br, "");
  EXPECT_EQ(Find(rows, "blk").post_br, "1");  // the part holding it ends the first line
  EXPECT_EQ(Find(rows, "blk").pre_br, "");
  EXPECT_EQ(Find(rows, "hn").sup, "1");   // a number right after the headword
  EXPECT_EQ(Find(rows, "nr").bold, "1");  // numbers elsewhere count senses
  EXPECT_EQ(Find(rows, "lbl").italic, "1");
  EXPECT_EQ(Find(rows, "lbl").post_sp, "1");
  EXPECT_EQ(Find(rows, "grp").pre_br, "1");
  EXPECT_EQ(Find(rows, "sense").pre_br, "1");          // repeated groups
  EXPECT_EQ(Find(rows, "txt").pre_br, "");             // a sentence on the line of its number
  EXPECT_EQ(Find(rows, "dr").bold, "1");               // a keyword element: a headword of its own
  EXPECT_EQ(Find(rows, "meta").apply_templates, "0");  // only entry ids
  EXPECT_EQ(Find(rows, "cf").custom_xsl,
            "<xsl:template match=\"cf\"><A topic=\"{@ref}\"><xsl:value-of select=\".\"/></A></xsl:template>");
  // The names are in both tables for bee; the other attribute's words break the tie
  // per key only, so the key goes to the table that holds more of its names.
  const std::string sound = Find(rows, "aud").custom_xsl;
  EXPECT_NE(sound.find("user:mp3_wav(concat('/', @src), '"), std::string::npos) << sound;
  EXPECT_EQ(Find(rows, "never-met").apply_templates, "");  // rows the survey never met stay
}

TEST(SuggestFormats, TellsBritishFromAmericanRecordingsByTheTablesAndTheHints) {
  DiscFacts facts;
  facts.uk_recordings = {"a.mp3", "b.mp3"};
  facts.us_recordings = {"a.mp3", "b.mp3"};
  TagSurvey survey(facts);
  xml::Document doc;
  ASSERT_TRUE(analysis::LoadEntryDocument(
      "<e><w>a</w><sound-gb file='x/a.mp3'/><sound-n file='x/a.mp3' kind='US'/><only file='b.mp3'/></e>",
      doc));
  survey.AddEntry(doc.DocumentElement(), "a");
  std::vector<RuleRow> rows(3);
  rows[0].tag = "sound-gb";
  rows[1].tag = "sound-n";
  rows[2].tag = "only";
  SuggestFormats(survey, rows);
  EXPECT_NE(rows[0].custom_xsl.find("'uk_pron')}\">UK</a>"), std::string::npos) << rows[0].custom_xsl;
  EXPECT_NE(rows[1].custom_xsl.find("'us_pron')}\">US</a>"), std::string::npos) << rows[1].custom_xsl;
  EXPECT_NE(rows[2].custom_xsl.find("<a href="), std::string::npos);
}

// One sound element for both accents that names its bundle: the rule takes the bundle
// and its label from the element, and the notes count the links that would be dead and
// name the production notes the rules hide.
TEST(SuggestFormats, TakesTheBundleFromTheElementAndSaysWhatItLosesOrHides) {
  DiscFacts facts;
  facts.uk_recordings = {"a.mp3", "b.mp3"};
  facts.us_recordings = {"a.mp3"};
  TagSurvey survey(facts);
  std::vector<xml::Document> docs(2);
  const char* const entries[] = {
      "<e><w>a</w><au set='US_PRON' f='a.mp3'/><au set='uk_pron' f='a.mp3'/><t>a letter</t><ed>rev 3; "
      "ok</ed></e>",
      "<e><w>b</w><au set='us_pron' f='b.mp3'/><t>another letter</t><ed>rev 3; ok</ed></e>"};
  for (std::size_t i = 0; i < docs.size(); ++i) {
    ASSERT_TRUE(analysis::LoadEntryDocument(entries[i], docs[i]));
    survey.AddEntry(docs[i].DocumentElement(), i == 0 ? "a" : "b");
  }
  std::vector<RuleRow> rows(2);
  rows[0].tag = "au";
  rows[1].tag = "ed";
  SuggestFormats(survey, rows);
  const std::string& sound = rows[0].custom_xsl;
  for (const char* part : {"<xsl:when test=\"starts-with(translate(@set, ",
                           "'us_pron')\"><a href=\"{user:mp3_wav("
                           "concat('/', @f), 'us_pron')}\">US</a>",
                           "'uk_pron')}\">UK</a>"}) {
    EXPECT_NE(sound.find(part), std::string::npos) << part << "\n" << sound;
  }
  EXPECT_EQ(rows[1].apply_templates, "0");
  const std::vector<std::string> notes = SuggestionNotes(survey);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("tag au sends 1 of its 3 sound elements (attribute f)"), std::string::npos)
      << notes[0];
  EXPECT_NE(notes[1].find("hide ed (\"rev 3; ok\")"), std::string::npos) << notes[1];
}

}  // namespace
}  // namespace tavex::suggest
