// Control sequences of the book's text, emitted lazily so that nothing nests.
#include "epwing/text_encoder.h"

namespace tavex::epwing {
namespace {

constexpr std::uint8_t kBeginNarrow = 0x04, kEndNarrow = 0x05;
constexpr std::uint8_t kBeginSub = 0x06, kEndSub = 0x07;
constexpr std::uint8_t kIndent = 0x09, kNewline = 0x0A;
constexpr std::uint8_t kBeginSup = 0x0E, kEndSup = 0x0F;
constexpr std::uint8_t kBeginKeyword = 0x41, kEndKeyword = 0x61;
constexpr std::uint8_t kBeginReference = 0x42, kEndReference = 0x62;
constexpr std::uint8_t kBeginSound = 0x4A, kEndSound = 0x6A;
constexpr std::uint8_t kBeginFont = 0xE0, kEndFont = 0xE1;
// The keyword argument of headings; readers stop an entry's text at the next one.
constexpr std::uint16_t kHeadingKeyword = 0x0100;

}  // namespace

void TextEncoder::Begin(std::string* out, std::vector<PositionPatch>* patches) {
  out_ = out;
  patches_ = patches;
  font_ = want_font_ = Font::kNone;
  script_ = want_script_ = Script::kNone;
  narrow_ = false;
  at_line_start_ = true;
}

void TextEncoder::CloseNarrow() {
  if (narrow_) Control(kEndNarrow);
  narrow_ = false;
}

void TextEncoder::CloseScript() {
  CloseNarrow();
  if (script_ == Script::kSub) Control(kEndSub);
  if (script_ == Script::kSup) Control(kEndSup);
  script_ = Script::kNone;
}

void TextEncoder::CloseFont() {
  CloseScript();
  if (font_ != Font::kNone) Control(kEndFont);
  font_ = Font::kNone;
}

void TextEncoder::CloseAll() { CloseFont(); }

void TextEncoder::End() {
  if (!at_line_start_) Newline();
  CloseAll();
}

void TextEncoder::Restyle(bool narrow) {
  if (font_ != want_font_) {
    CloseFont();
    if (want_font_ != Font::kNone) {
      Control(kBeginFont);
      Word(static_cast<std::uint16_t>(want_font_));
    }
    font_ = want_font_;
  }
  if (script_ != want_script_) {
    CloseScript();
    if (want_script_ == Script::kSub) Control(kBeginSub);
    if (want_script_ == Script::kSup) Control(kBeginSup);
    script_ = want_script_;
  }
  if (narrow_ != narrow) {
    if (narrow) {
      Control(kBeginNarrow);
    } else {
      Control(kEndNarrow);
    }
    narrow_ = narrow;
  }
}

void TextEncoder::Newline() {
  CloseAll();
  Control(kNewline);
  at_line_start_ = true;
}

void TextEncoder::Indent(int level) {
  CloseAll();
  Control(kIndent);
  Word(static_cast<std::uint16_t>(level));
}

void TextEncoder::BeginKeyword() {
  CloseAll();
  Control(kBeginKeyword);
  Word(kHeadingKeyword);
}

void TextEncoder::EndKeyword() {
  CloseAll();
  Control(kEndKeyword);
  Control(kNewline);
  at_line_start_ = true;
}

void TextEncoder::BeginReference() {
  CloseAll();
  Control(kBeginReference);
}

void TextEncoder::EndReference(std::uint32_t entry) {
  CloseAll();
  Control(kEndReference);
  patches_->push_back({out_->size(), entry, false});
  out_->append(6, '\0');
  at_line_start_ = false;
}

void TextEncoder::BeginSound(std::uint32_t format_word, std::uint32_t sound) {
  CloseAll();
  Control(kBeginSound);
  Word(static_cast<std::uint16_t>(format_word >> 16));
  Word(static_cast<std::uint16_t>(format_word & 0xFFFF));
  patches_->push_back({out_->size(), sound, true});
  out_->append(12, '\0');
}

void TextEncoder::EndSound() {
  CloseAll();
  Control(kEndSound);
  at_line_start_ = false;
}

}  // namespace tavex::epwing
