// The book's text stream: JIS X 0208 characters and gaiji codes, two bytes each, with
// control sequences (0x1F and a code) for line ends, indent, font, sub- and superscript,
// narrow sections, references and sounds. The controls do not nest freely, so the
// encoder keeps the wanted style and opens or closes controls only when a character is
// written, closing everything around line ends, links and the entry's end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavex::epwing {

// What a reference or sound control points at, filled in when the book's layout is known.
struct PositionPatch {
  std::size_t offset = 0;  // where the position bytes sit in the encoded text
  std::uint32_t target = 0;
  bool sound = false;  // a sound's start and end (12 bytes) rather than an entry (6 bytes)
};

class TextEncoder {
 public:
  enum class Font { kNone = 0, kItalic = 1, kBold = 3 };
  enum class Script { kNone, kSub, kSup };

  // The controls around a whole text region (all entries, or the copyright page);
  // readers stop an entry's text at the next entry's heading keyword.
  static constexpr std::string_view kBeginRegion{"\x1F\x02", 2};
  static constexpr std::string_view kEndRegion{"\x1F\x03", 2};

  // Starts a new text in `out` (appended to), with no style open.
  void Begin(std::string* out, std::vector<PositionPatch>* patches);

  // A JIS X 0208 character; narrow ones go inside a narrow section.
  void Char(std::uint16_t jis, bool narrow) {
    if (font_ != want_font_ || script_ != want_script_ || narrow_ != narrow) Restyle(narrow);
    Word(jis);
    at_line_start_ = false;
  }
  // A gaiji of the narrow or the wide font.
  void Gaiji(std::uint16_t code, bool narrow) { Char(code, narrow); }
  // Closes what is open and ends the line.
  void Newline();
  // Sets the indent level of the line (1 = the margin).
  void Indent(int level);
  // The start of the heading keyword and its end (which also ends the line).
  void BeginKeyword();
  void EndKeyword();
  // The wanted style for the characters that follow.
  void SetFont(Font font) { want_font_ = font; }
  void SetScript(Script script) { want_script_ = script; }
  // A reference to an entry: label characters go between the two calls.
  void BeginReference();
  void EndReference(std::uint32_t entry);
  // A sound: label characters go between the two calls.
  void BeginSound(std::uint32_t format_word, std::uint32_t sound);
  void EndSound();
  // Closes everything open and ends the last line.
  void End();
  // Closes everything open.
  void CloseAll();
  // True when nothing was written since the last line end.
  bool AtLineStart() const { return at_line_start_; }

 private:
  void Control(std::uint8_t code) {
    out_->push_back(0x1F);
    out_->push_back(static_cast<char>(code));
  }
  void Word(std::uint16_t value) {
    out_->push_back(static_cast<char>(value >> 8));
    out_->push_back(static_cast<char>(value & 0xFF));
  }
  // Opens and closes controls so that the wanted style is the one open.
  void Restyle(bool narrow);
  void CloseNarrow();
  void CloseScript();
  void CloseFont();

  std::string* out_ = nullptr;
  std::vector<PositionPatch>* patches_ = nullptr;
  Font font_ = Font::kNone, want_font_ = Font::kNone;
  Script script_ = Script::kNone, want_script_ = Script::kNone;
  bool narrow_ = false;
  bool at_line_start_ = true;
};

}  // namespace tavex::epwing
