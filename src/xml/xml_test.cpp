#include "xml/xml.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::xml {
namespace {

using testing::TempDir;

TEST(XmlDocumentTest, NavigatesEntryMarkup) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml(
      "<entry id=\"run\" empty=\"\">\n  <h-g><hw>r\xC3\xBCn</hw><!-- note --><![CDATA[a<b]]></h-g>\n"
      "  <p-g><hw>two</hw><x:hw xmlns:x=\"urn:x\">three</x:hw></p-g>\n</entry>"));
  Node root = doc.DocumentElement();
  EXPECT_EQ(root.TagName(), "entry");
  EXPECT_EQ(root.GetAttribute("id"), "run");
  EXPECT_EQ(root.GetAttribute("empty"), "");
  EXPECT_EQ(root.GetAttribute("missing"), std::nullopt);

  // White-space-only text between the elements is gone.
  auto children = root.Children();
  ASSERT_EQ(children.size(), 2u);
  auto parts = children[0].Children();
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].Kind(), NodeKind::kElement);
  EXPECT_EQ(parts[1].Kind(), NodeKind::kComment);
  EXPECT_EQ(parts[2].Kind(), NodeKind::kCData);
  EXPECT_EQ(parts[1].TagName(), "");
  EXPECT_EQ(parts[0].Children()[0].Kind(), NodeKind::kText);
  EXPECT_EQ(children[0].Text(), "r\xC3\xBCna<b");
  EXPECT_EQ(parts[0].Markup(), "<hw>r\xC3\xBCn</hw>");
  EXPECT_EQ(parts[2].Markup(), "<![CDATA[a<b]]>");

  std::vector<std::string> texts;
  for (const Node& hw : doc.ElementsByTagName("hw")) texts.push_back(hw.Text());
  EXPECT_EQ(texts, (std::vector<std::string>{"r\xC3\xBCn", "two"}));
  EXPECT_EQ(children[1].ElementsByTagName("x:hw").size(), 1u);
  EXPECT_TRUE(children[1].ElementsByTagName("y:hw").empty());
  EXPECT_TRUE(children[1].ElementsByTagName("x:h").empty());

  // Sibling navigation meets the same nodes; a text node's content reads in place.
  Node first = root.FirstChild();
  EXPECT_EQ(first.raw(), children[0].raw());
  EXPECT_EQ(first.NextSibling().raw(), children[1].raw());
  EXPECT_TRUE(first.NextSibling().NextSibling().IsNull());
  EXPECT_EQ(first.FirstChild().FirstChild().Content(), "r\xC3\xBCn");
  EXPECT_EQ(parts[2].Content(), "a<b");
  EXPECT_EQ(parts[0].Content(), "");
  EXPECT_EQ(doc.ElementsByTagName("entry").size(), 1u);
  EXPECT_TRUE(root.ElementsByTagName("entry").empty());
}

TEST(XmlDocumentTest, KeepsWhiteSpaceUnderPreserve) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<a><b xml:space=\"preserve\"> <c> </c></b><d> \t\r\n</d><e> x </e></a>"));
  Node root = doc.DocumentElement();
  auto b = root.Children()[0];
  ASSERT_EQ(b.Children().size(), 2u);
  EXPECT_EQ(b.Children()[1].Text(), " ");
  EXPECT_TRUE(root.Children()[1].Children().empty());
  EXPECT_EQ(root.Children()[2].Text(), " x ");
  EXPECT_EQ(b.GetAttribute("xml:space"), "preserve");
}

TEST(XmlDocumentTest, FailedLoadLeavesAnEmptyDocument) {
  Document doc;
  ASSERT_TRUE(doc.LoadXml("<a/>"));
  EXPECT_FALSE(doc.LoadXml("<a><b></a>"));
  EXPECT_TRUE(doc.IsEmpty());
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  EXPECT_EQ(doc.Markup(), "");
  EXPECT_NE(doc.LastError().find("line 1"), std::string::npos) << doc.LastError();
  EXPECT_FALSE(doc.LoadXml(""));
  EXPECT_FALSE(doc.LoadXml("plain text"));
  EXPECT_FALSE(doc.Load("/nonexistent/file.xml"));
  EXPECT_NE(doc.LastError().find("/nonexistent/file.xml"), std::string::npos);
}

TEST(XmlDocumentTest, ReadsNoExternalEntities) {
  TempDir dir;
  testing::WriteTestFile(dir / "secret.txt", "secret");
  Document doc;
  std::string text = "<!DOCTYPE a [<!ENTITY e SYSTEM \"file://" + (dir / "secret.txt") + "\">]><a>&e;</a>";
  if (doc.LoadXml(text)) {
    EXPECT_EQ(doc.DocumentElement().Text().find("secret"), std::string::npos);
    EXPECT_EQ(doc.Markup().find("secret\n"), std::string::npos);
  }
}

TEST(XmlDocumentTest, RefusesEntitiesThatExpandBeyondBounds) {
  // Reading text expands each reference anew: 2 x 1000 x 10,000 bytes from a 20 kB text.
  std::string text = "<!DOCTYPE a [<!ENTITY x \"" + std::string(10000, 'x') + "\"><!ENTITY y \"";
  for (int i = 0; i < 1000; ++i) text += "&x;";
  text += "\">]><a><b>&y;</b><c v=\"&y;\"/></a>";
  Document doc;
  EXPECT_FALSE(doc.LoadXml(text));
  EXPECT_NE(doc.LastError().find("entity references expand"), std::string::npos) << doc.LastError();

  // Small declared entities still read as their text, in elements and attributes.
  ASSERT_TRUE(doc.LoadXml("<!DOCTYPE a [<!ENTITY e \"\xC3\xA9\"><!ENTITY f \"&e;&e;\">]><a v=\"&f;\">&f;&e;</a>"));
  EXPECT_EQ(doc.DocumentElement().Text(), "\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_EQ(doc.DocumentElement().GetAttribute("v"), "\xC3\xA9\xC3\xA9");
}

TEST(XmlDocumentTest, LoadsAFileDeclaredShiftJis) {
  TempDir dir;
  // "あ", then a character only the platform's code page has, then a backslash.
  testing::WriteTestFile(dir / "in.xml",
                         "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x82\xA0\x87\x40\\</a>");
  Document doc;
  ASSERT_TRUE(doc.Load(dir / "in.xml")) << doc.LastError();
  EXPECT_EQ(doc.DocumentElement().Text(), "\xE3\x81\x82\xE2\x91\xA0\\");
}

TEST(XmlDocumentTest, BuildsAndSavesInTheDeclaredEncoding) {
  TempDir dir;
  Document doc;
  doc.CreateProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift_JIS\"");
  Node root = doc.CreateRootElement("dataroot");
  Node row = root.AppendElement("xsl");
  row.AppendElement("tag").SetText("span class=\"x\"");
  row.AppendElement("pre_text").SetText("\xE3\x81\x82 & <\xC3\xA9>");
  row.AppendElement("empty").SetText("");
  std::string path = dir / "xsl_data.xml";
  doc.Save(path);

  std::string saved = ReadFile(path);
  EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u) << saved;
  EXPECT_NE(saved.find("\x82\xA0 &amp; &lt;&#233;&gt;"), std::string::npos) << saved;
  std::string check = "/usr/bin/xmllint --noout '" + path + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);

  Document back;
  ASSERT_TRUE(back.Load(path)) << back.LastError();
  auto rows = back.ElementsByTagName("pre_text");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Text(), "\xE3\x81\x82 & <\xC3\xA9>");
  EXPECT_EQ(back.ElementsByTagName("tag")[0].Text(), "span class=\"x\"");
  EXPECT_TRUE(back.ElementsByTagName("empty")[0].Children().empty());
}

TEST(XmlDocumentTest, SavesUtf8WithoutDeclarationAndNamesAnUnwritableFile) {
  TempDir dir;
  Document doc;
  doc.CreateRootElement("r").SetText("\xC3\xA9");
  doc.Save(dir / "u.xml");
  std::string saved = ReadFile(dir / "u.xml");
  EXPECT_NE(saved.find("encoding=\"UTF-8\""), std::string::npos);
  EXPECT_NE(saved.find("<r>\xC3\xA9</r>"), std::string::npos);
  EXPECT_THROW(doc.Save(dir / "no/such/u.xml"), Error);
  EXPECT_THROW(Document().Save(dir / "e.xml"), Error);
}

}  // namespace
}  // namespace tavex::xml

namespace tavex::xml {
namespace {

TEST(ReadRootElementTest, ReadsTheStartTagAlone) {
  auto root = ReadRootElement("<entry id=\"o&apos;clock_1\" lang='en'><h>o'clock</h></entry>");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->name, "entry");
  EXPECT_EQ(root->Attribute("id"), "o'clock_1");
  EXPECT_EQ(root->Attribute("lang"), "en");
  EXPECT_FALSE(root->Attribute("class"));
  // What follows the start tag is not read: a fault there does not hide the root.
  root = ReadRootElement("<!-- note --><entry id=\"a\"><h>broken</entry>");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Attribute("id"), "a");
  EXPECT_EQ(ReadRootElement("<x:entry xmlns:x=\"urn:x\" id=\"b\"/>")->name, "x:entry");
  EXPECT_FALSE(ReadRootElement("withdrawn entry"));
  EXPECT_FALSE(ReadRootElement("<entry id=\"a"));
  EXPECT_FALSE(ReadRootElement(""));
  // With a declaration the whole document is read, as the stored encoding may differ.
  root = ReadRootElement("<?xml version=\"1.0\" encoding=\"UTF-16\"?><entry id=\"caf\xC3\xA9\"/>");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Attribute("id"), "caf\xC3\xA9");
}

}  // namespace
}  // namespace tavex::xml
