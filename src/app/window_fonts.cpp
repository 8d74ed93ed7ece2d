// Font choice: the IPA gothic faces when installed, with fontconfig's Japanese fallback
// behind them, so Japanese texts render whatever else the machine has.
#include "app/window_fonts.h"

#include <QStringList>

namespace tavex::app {

namespace {

QFont JapaneseFont(const QStringList& families, QFont::StyleHint hint) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(hint);
  font.setPixelSize(12);
  return font;
}

}  // namespace

QFont WindowFont() {
  return JapaneseFont({"IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "VL PGothic", "sans-serif"}, QFont::SansSerif);
}

QFont FixedPitchFont() {
  return JapaneseFont({"IPAGothic", "Noto Sans Mono CJK JP", "VL Gothic", "monospace"}, QFont::Monospace);
}

}  // namespace tavex::app
