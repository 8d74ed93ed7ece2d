// The source's markup as HTML: what readers would render wrongly or not at all if it
// went over as it stands (crossed tags, blocks inside inline tags, links that lead
// nowhere, characters written as references).
#include "source/book_html.h"

#include <gtest/gtest.h>

#include "source/key_forms.h"
#include "text/cp932.h"

namespace tavex::source {
namespace {

class TestLinks : public HtmlLinks {
 public:
  std::optional<std::string> Entry(std::string_view id) override {
    if (id == "7") return "bword://o'clock";
    return std::nullopt;
  }
  std::optional<std::string> Sound(std::string_view href) override {
    if (href == "us_pron/a.wav") return "sound://us_pron_a.mp3";
    return std::nullopt;
  }
  bool SoundAsAudio() const override { return audio; }
  bool audio = false;
};

std::string Html(std::string_view utf8, bool audio = false) {
  TestLinks links;
  links.audio = audio;
  WarningTally warnings;
  HtmlWriter writer(links, warnings);
  std::string out;
  writer.Write(ToSjis(utf8).bytes, out);
  return out;
}

TEST(BookHtmlTest, WritesWellNestedHtmlReadersRender) {
  // Crossed inline tags close and reopen; a tag left open is closed at the end.
  EXPECT_EQ(Html("<b>x<i>y</b>z</i>w<sup>2"), "<b>x<i>y</i></b><i>z</i>w<sup>2</sup>");
  // An indent is a block: the bold text around it is closed before it and reopened inside.
  EXPECT_EQ(Html("<b>a<indent val=\"3\">b</b><indent val=\"1\">c"),
            "<b>a</b><div style=\"margin-left:2em\"><b>b</b></div>c");
  // Paragraphs are line breaks, never two in a row; line ends of the source are no text.
  EXPECT_EQ(Html("a<p>b</p>\r\n<p>c"), "a<br>b<br>c");
}

TEST(BookHtmlTest, TakesLinksAndCharactersToTheBooksForms) {
  // Links to entries and recordings in the book's forms; one to nowhere keeps its text.
  EXPECT_EQ(Html("<A href=\"#7\">o'clock</A> <a href=\"us_pron/a.wav\">US</a> <a href=\"#9\">gone</a>"),
            "<a href=\"bword://o'clock\">o'clock</a> <a href=\"sound://us_pron_a.mp3\">US</a> gone");
  // A sound link as an audio element ends where the next link starts, crossed tags kept nested.
  EXPECT_EQ(Html("<a href=\"us_pron/a.wav\"><b>US<a href=\"#7\">x</a>", true),
            "<audio src=\"sound://us_pron_a.mp3\"><b>US</b></audio><b><a href=\"bword://o'clock\">x</a></b>");
  // References (gaiji among them) become characters, markup characters stay escaped.
  EXPECT_EQ(Html("&#x0283;&#x1F600;&nbsp;&amp;&lt; \"q\" \xe6\x97\xa5\xef\xbd\xb1"),
            "\xca\x83\xf0\x9f\x98\x80\xc2\xa0&amp;&lt; &quot;q&quot; \xe6\x97\xa5\xef\xbd\xb1");
  EXPECT_EQ(PlainText(ToSjis("  d&#x00E9;j&#x00E0;<sup>2</sup>\tvu ").bytes),
            "d\xc3\xa9j\xc3\xa0"
            "2 vu");
}

TEST(BookHtmlTest, FoldsKeysAsTheEpwingBookFindsThem) {
  EXPECT_EQ(FoldedForms("\xc3\xa9lan"), std::vector<std::string>{"elan"});
  // そふと and ソフト find each other.
  EXPECT_EQ(FoldedForms("\xe3\x81\x9d\xe3\x81\xb5\xe3\x81\xa8"),
            std::vector<std::string>{"\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88"});
  EXPECT_TRUE(FoldedForms("plain").empty());
}

}  // namespace
}  // namespace tavex::source
