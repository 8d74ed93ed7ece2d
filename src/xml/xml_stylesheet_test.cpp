#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "text/error.h"
#include "xml/xml.h"
#include "testing/test_util.h"

namespace tavex::xml {
namespace {

using testing::TempDir;
using testing::WriteTestFile;

// A script stylesheet of the kind the system writes: its script block is for another
// processor and must be ignored here.
const char kScript[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
    "xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\" xmlns:user=\"urn:user-scripts\" "
    "extension-element-prefixes=\"msxsl\">\r\n"
    "<msxsl:script xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\" language=\"JavaScript\" "
    "implements-prefix=\"user\">\r\n"
    "  <![CDATA[\r\n    function mp3_wav(topic,resource){ return resource; }\r\n    ]]>\r\n"
    "</msxsl:script>\r\n</xsl:stylesheet>\r\n";

const char kMain[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
    "xmlns:html=\"http://www.w3.org/TR/xhtml1/strict\" xmlns:user=\"urn:user-scripts\">\r\n"
    "<xsl:include href=\"./user_script.xsl\"/>\r\n"
    "<xsl:template match=\"/\">\r\n<html>\r\n<head>\r\n<title>\r\n</title>\r\n</head>\r\n"
    "<xsl:element name=\"body\">\r\n<xsl:apply-templates/>\r\n</xsl:element>\r\n</html>\r\n"
    "</xsl:template>\r\n"
    "<xsl:template match=\"hw\"><b><xsl:apply-templates/></b><xsl:text> </xsl:text><br/></xsl:template>\r\n"
    "<xsl:template match=\"sp\"><xsl:text disable-output-escaping=\"yes\">&amp;nbsp;</xsl:text>"
    "<xsl:apply-templates/></xsl:template>\r\n"
    "<xsl:template match=\"snd\"><a href=\"{user:mp3_wav(@path, 'us_pron')}\">"
    "<xsl:value-of select=\"user:mp3_wav(., 'uk_pron')\"/></a></xsl:template>\r\n"
    "</xsl:stylesheet>\r\n";

class XmlStylesheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTestFile(dir_ / "xsl/user_script.xsl", kScript);
    WriteTestFile(dir_ / "xsl/epwing_dic.xsl", kMain);
  }
  std::string Run(const std::string& entry) {
    Document doc;
    EXPECT_TRUE(doc.LoadXml(entry)) << doc.LastError();
    return Stylesheet(dir_ / "xsl/epwing_dic.xsl").Transform(doc);
  }
  TempDir dir_;
};

TEST_F(XmlStylesheetTest, TransformsToHtmlWithRawCharacters) {
  std::string html = Run("<entry><hw>caf\xC3\xA9</hw><sp>x</sp></entry>");
  EXPECT_NE(html.find("<b>caf\xC3\xA9</b> <br>"), std::string::npos) << html;
  EXPECT_EQ(html.find("<br/>"), std::string::npos) << html;
  EXPECT_NE(html.find("&nbsp;x"), std::string::npos) << html;
  EXPECT_EQ(html.find("&amp;nbsp;"), std::string::npos) << html;
}

TEST_F(XmlStylesheetTest, CallsMp3WavWithNodeSetsAndStrings) {
  std::string html = Run("<entry><snd path=\"sound/word_1.mp3\">x/y/UK_2.mp3</snd></entry>");
  EXPECT_NE(html.find("href=\"us_pron/word_1.wav\""), std::string::npos) << html;
  EXPECT_NE(html.find(">uk_pron/UK_2.wav</a>"), std::string::npos) << html;
  std::string none = Run("<entry><snd>nothing.MP3</snd></entry>");
  EXPECT_NE(none.find("href=\"null\""), std::string::npos) << none;
}

TEST_F(XmlStylesheetTest, ReportsFaultsAsErrors) {
  EXPECT_THROW(Stylesheet(dir_ / "missing.xsl"), Error);
  WriteTestFile(dir_ / "bad.xsl", "<xsl:stylesheet");
  EXPECT_THROW(Stylesheet(dir_ / "bad.xsl"), Error);
  WriteTestFile(dir_ / "wrong.xsl",
                "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                "<xsl:template match=\"p-g[\"/></xsl:stylesheet>");
  try {
    Stylesheet wrong(dir_ / "wrong.xsl");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(dir_ / "wrong.xsl"), std::string::npos) << e.what();
  }
  WriteTestFile(dir_ / "stop.xsl",
                "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                "<xsl:template match=\"/\"><xsl:message terminate=\"yes\">halt</xsl:message>"
                "</xsl:template></xsl:stylesheet>");
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<entry/>"));
  Stylesheet stop(dir_ / "stop.xsl");
  try {
    stop.Transform(doc);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("halt"), std::string::npos) << e.what();
  }
}

// Stylesheets compiled and run on several threads at once each report their own faults
// and give their own results: the library's message channel is shared by the process.
TEST_F(XmlStylesheetTest, ThreadsKeepTheirMessagesApart) {
  constexpr int kThreads = 4;
  for (int t = 0; t < kThreads; ++t) {
    WriteTestFile(dir_ / ("wrong" + std::to_string(t) + ".xsl"),
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                  "<xsl:template match=\"wrong" + std::to_string(t) + "[\"/></xsl:stylesheet>");
  }
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string own = "wrong" + std::to_string(t);
      Stylesheet good(dir_ / "xsl/epwing_dic.xsl");
      Document doc;
      for (int round = 0; round < 40 && failures[t].empty(); ++round) {
        try {
          Stylesheet wrong(dir_ / (own + ".xsl"));
          failures[t] = "compiled";
        } catch (const Error& e) {
          const std::string message = e.what();
          for (int other = 0; other < kThreads; ++other) {
            const std::string theirs = "wrong" + std::to_string(other) + "[";
            if ((other == t) != (message.find(theirs) != std::string::npos)) failures[t] = message;
          }
        }
        if (!doc.LoadXml("<entry><hw>" + own + "</hw></entry>") ||
            good.Transform(doc).find("<b>" + own + "</b>") == std::string::npos) {
          failures[t] = "wrong transformation";
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << t;
}

// Rule texts come from files users pass around: document() reads only files beside the
// stylesheet, never with DTDs or external entities, and a refusal names the rule's tag.
TEST_F(XmlStylesheetTest, ConfinesWhatDocumentReads) {
  // A folder whose name URIs write escaped: the include and document() still find their files.
  const std::string folder = dir_ / "my rules%20";
  WriteTestFile(folder + "/user_script.xsl", kScript);
  WriteTestFile(folder + "/epwing_dic.xsl", kMain);
  EXPECT_NO_THROW(Stylesheet(folder + "/epwing_dic.xsl"));
  WriteTestFile(dir_ / "secret.txt", "SECRET");
  WriteTestFile(dir_ / "secret.xml", "<leak>SECRET</leak>");
  WriteTestFile(folder + "/data.xml",
                "<!DOCTYPE root [<!ENTITY e SYSTEM \"file://" + (dir_ / "secret.txt") + "\">]>"
                "<root><leak>[&e;]</leak></root>");
  auto sheet = [&](const std::string& uri) {
    WriteTestFile(folder + "/read.xsl",
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                  "<xsl:template match=\"h\"><xsl:value-of select=\"document('" + uri +
                      "')/*\"/></xsl:template></xsl:stylesheet>");
    return Stylesheet(folder + "/read.xsl");
  };
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<h>x</h>"));
  const std::string inside = sheet("data.xml").Transform(doc);
  EXPECT_NE(inside.find("[]"), std::string::npos) << inside;
  EXPECT_EQ(inside.find("SECRET"), std::string::npos) << inside;
  // A file that does not exist reads as nothing, as it always has.
  EXPECT_EQ(sheet("missing.xml").Transform(doc).find("SECRET"), std::string::npos);
  for (const std::string& uri : {std::string("../secret.xml"), "file://" + (dir_ / "secret.xml"), std::string("/etc/passwd")}) {
    try {
      sheet(uri).Transform(doc);
      ADD_FAILURE() << uri << " was read";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("the rule of tag h may not read"), std::string::npos) << e.what();
    }
  }
}

// A rule can neither run for ever nor fill the memory: each bound ends the transformation
// at once with an error that names the bound and the tag whose rule crossed it, also when
// the work happens in a named template the rule calls.
TEST_F(XmlStylesheetTest, BoundsEveryTransformation) {
  const std::string named =
      "<xsl:template match=\"h\"><xsl:call-template name=\"r\"><xsl:with-param name=\"s\" select=\"string(.)\"/>"
      "<xsl:with-param name=\"n\" select=\"N\"/></xsl:call-template></xsl:template>"
      "<xsl:template name=\"r\"><xsl:param name=\"s\"/><xsl:param name=\"n\"/>"
      "<xsl:if test=\"$n &gt; 0\">BODY</xsl:if><xsl:if test=\"$n = 0\"><xsl:value-of select=\"$s\"/></xsl:if>"
      "</xsl:template>";
  const std::string call = "<xsl:call-template name=\"r\"><xsl:with-param name=\"s\" select=\"S\"/>"
                           "<xsl:with-param name=\"n\" select=\"$n - 1\"/></xsl:call-template>";
  auto rule = [&](std::string n, std::string body) {
    std::string text = named;
    text.replace(text.find("N"), 1, n);
    return text.replace(text.find("BODY"), 4, body);
  };
  auto with_s = [&](const std::string& s) { return std::string(call).replace(call.find("S\""), 1, s); };
  const struct {
    std::string rule;
    TransformLimits limits;
    std::string message;
  } cases[] = {
      {"<xsl:template match=\"h\"><xsl:apply-templates select=\".\"/></xsl:template>", {},
       "the rule of tag h nests templates more than 1000 deep"},
      {rule("60", with_s("$s") + with_s("$s")), {}, "the rule of tag h takes more than 20000000 XPath steps"},
      {rule("60", with_s("concat($s, $s)")), {}, "the rule of tag h needs more than 128 MiB of memory"},
      {rule("20", with_s("concat($s, $s)")), {.result = 1u << 20},
       "the rule of tag h makes a result of 3145750 bytes, more than the 1 MiB"},
      {rule("5000", with_s("$s")), {.template_variables = 500}, "the rule of tag h holds more than 500 variables"},
  };
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<entry><h>xyz</h></entry>"));
  for (const auto& c : cases) {
    WriteTestFile(dir_ / "xsl/bounded.xsl",
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">" + c.rule +
                      "</xsl:stylesheet>");
    Stylesheet sheet(dir_ / "xsl/bounded.xsl", c.limits);
    try {
      sheet.Transform(doc);
      ADD_FAILURE() << c.message << ": no error";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST_F(XmlStylesheetTest, WritesTheBodyWithoutIndentation) {
  // The clean-up passes look for adjacent "<br>" tokens, and the book is CR LF text:
  // the serialiser must not add line breaks of its own.
  std::string html = Run("<entry><hw>a</hw><hw>b</hw></entry>");
  EXPECT_NE(html.find("<body><b>a</b> <br><b>b</b> <br></body>"), std::string::npos) << html;
}

TEST(Mp3WavTest, TakesTheFirstRecordingName) {
  EXPECT_EQ(Mp3Wav("sound/word_1.mp3", "us_pron"), "us_pron/word_1.wav");
  EXPECT_EQ(Mp3Wav("a/b/c.mp3", "r"), "r/c.wav");
  EXPECT_EQ(Mp3Wav("/x.mp3.mp3", "r"), "r/x.wav");
  EXPECT_EQ(Mp3Wav("/.mp3", "r"), "null");
  EXPECT_EQ(Mp3Wav("word.mp3", "r"), "null");
  EXPECT_EQ(Mp3Wav("s/WORD.MP3", "r"), "null");
}

TEST(PrettyPrintTest, IndentsWithTabsAndCrLf) {
  std::string text = PrettyPrint("<entry id=\"1\">\n <h-g><hw>run</hw>\n</h-g><p-g/></entry>");
  EXPECT_EQ(text,
            "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\"?>\r\n"
            "<entry id=\"1\">\r\n\t<h-g>\r\n\t\t<hw>run</hw>\r\n\t</h-g>\r\n\t<p-g/>\r\n</entry>");
  EXPECT_EQ(PrettyPrint("<broken>"), "");
}

}  // namespace
}  // namespace tavex::xml
