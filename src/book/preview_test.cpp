#include "book/preview.h"

#include <gtest/gtest.h>

#include "book/book_fixture.h"
#include "text/cp932.h"
#include "text/error.h"
#include "testing/test_util.h"

namespace tavex::book {
namespace {

TEST(XmlSourceView, EscapedIndentedSourceInASizeThreeFont) {
  const std::string view = XmlSourceView("<entry><hw>a &amp; b</hw></entry>", "", "");
  EXPECT_EQ(view,
            "<font size=\"3\">&lt;?xml version=\"1.0\" encoding=\"utf-8\" ?&gt;<br/>\n"
            "&lt;entry&gt;<br/>\n&nbsp;&nbsp;&nbsp;&nbsp;&lt;hw&gt;a &amp; b&lt;/hw&gt;<br/>\n"
            "&lt;/entry&gt;</font>");
  // Source that does not parse is still shown, escaped.
  EXPECT_EQ(XmlSourceView("<entry>\n<b>", "", ""), "<font size=\"3\">&lt;entry&gt;<br/>\n&lt;b&gt;</font>");
}

TEST(HighlightTag, StartTagWithAttributesEndTagAndEmptyTagButNotLongerNames) {
  const std::string escaped = EscapeForDisplay("<b class=\"x\">one</b><bx>two</bx><B/><b>three</b>");
  EXPECT_EQ(HighlightTag(escaped, "b"),
            "<font color=\"#ff0000\">&lt;b class=\"x\"&gt;</font>one<font color=\"#ff0000\">&lt;/b&gt;</font>"
            "&lt;bx&gt;two&lt;/bx&gt;<font color=\"#ff0000\">&lt;B/&gt;</font>"
            "<font color=\"#ff0000\">&lt;b&gt;</font>three<font color=\"#ff0000\">&lt;/b&gt;</font>");
  EXPECT_EQ(HighlightTag(escaped, "b("), escaped);  // no valid pattern: nothing coloured
}

TEST(HighlightWord, ColoursTextButNotTheMarkupAroundIt) {
  const std::string text = HighlightTag(EscapeForDisplay("<font>font</font>\r\n"), "font");
  EXPECT_EQ(HighlightWord(text, "font"),
            "<font color=\"#ff0000\">&lt;<font color=\"#0000ff\">font</font>&gt;</font>"
            "<font color=\"#0000ff\">font</font>"
            "<font color=\"#ff0000\">&lt;/<font color=\"#0000ff\">font</font>&gt;</font><br/>\n");
  EXPECT_EQ(HighlightWord("a br b", "br"), "a <font color=\"#0000ff\">br</font> b");
  EXPECT_EQ(HighlightWord("Run run", "run"), "Run <font color=\"#0000ff\">run</font>");
}

class ShowEntryPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteBookDatabase(db_,
                               {{5, "<entry id=\"a\"><hw>caf\u00E9</hw><sense>x</sense><sense>y</sense>"
                                    "<xr to=\"b\">bee</xr><dr>caf\u00E9s</dr><id>ID</id></entry>",
                                 "caf\u00E9"},
                                {6, "<entry id=\"b\"><hw>bee", "bee"}},
                               {u'\u00E9'}, {{5, "a"}, {6, "b"}});
    options_.database_file = db_;
    options_.main_stylesheet = testing::WriteTestStylesheets(dir_.path());
  }

  tavex::testing::TempDir dir_;
  std::string db_ = dir_ / "TAVEX_data";
  PreviewOptions options_;
};

TEST_F(ShowEntryPreviewTest, FiveViewsOfOneEntry) {
  const EntryPreview preview = ShowEntryPreview(options_, 5, "hw", "caf");
  const std::string original = SjisToUtf8(preview.original);
  EXPECT_NE(original.find("<br>x<br><br>y<br>"), std::string::npos) << original;  // before the collapse
  EXPECT_NE(original.find("<A topic=\"b\">bee</A>"), std::string::npos);
  EXPECT_NE(preview.wb.find("<html"), std::string::npos);
  EXPECT_NE(preview.wb.find("<b>caf&#x00E9;</b><br>x<br>y<br>"), std::string::npos) << preview.wb;
  EXPECT_NE(preview.wb.find("<A topic=\"b\">"), std::string::npos);  // no linking in this view
  EXPECT_EQ(SjisToUtf8(preview.final), preview.wb);
  EXPECT_NE(preview.xml.find("<font color=\"#ff0000\">&lt;hw&gt;</font><font color=\"#0000ff\">caf</font>"),
            std::string::npos)
      << preview.xml;

  const std::string epw = SjisToUtf8(preview.epw);
  EXPECT_EQ(epw.rfind("\r\n<dt id=\"5\">caf&#x00E9;</dt>\r\n"
                      "<key title=\"cafes\" type=\"前方表記\">ＣＡＦＥＳ</key>\r\n"
                      "<key title=\"cafes\" type=\"後方表記\">ＣＡＦＥＳ</key>\r\n<dd><p>\r\n",
                      0),
            0u)
      << epw;
  EXPECT_NE(epw.find("<A href=\"#6\">bee</A>"), std::string::npos);
  EXPECT_TRUE(epw.ends_with("\r\n<br></p></dd>")) << epw;
  EXPECT_EQ(epw.find("title=\"ID\""), std::string::npos);  // mode 0
}

TEST_F(ShowEntryPreviewTest, MissingRowGivesEmptyViewsAndBrokenXmlStillShowsItsSource) {
  EntryPreview preview = ShowEntryPreview(options_, 99, "hw", "");
  EXPECT_TRUE(preview.wb.empty() && preview.xml.empty() && preview.original.empty() && preview.final.empty() &&
              preview.epw.empty());
  options_.database_file.clear();
  preview = ShowEntryPreview(options_, 5, "", "");
  EXPECT_TRUE(preview.xml.empty() && preview.epw.empty());

  options_.database_file = db_;
  preview = ShowEntryPreview(options_, 6, "", "");
  EXPECT_TRUE(preview.wb.empty() && preview.original.empty() && preview.final.empty());
  EXPECT_NE(preview.xml.find("&lt;entry id=\"b\"&gt;"), std::string::npos);
  EXPECT_EQ(SjisToUtf8(preview.epw), "\r\n<dt id=\"6\">bee</dt>\r\n<dd><p>\r\n<br>\r\n<br></p></dd>");
}

TEST_F(ShowEntryPreviewTest, StylesheetThatDoesNotLoadNamesTheFile) {
  options_.main_stylesheet = dir_ / "nowhere/epwing_dic.xsl";
  try {
    ShowEntryPreview(options_, 5, "", "");
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find(options_.main_stylesheet), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace tavex::book
