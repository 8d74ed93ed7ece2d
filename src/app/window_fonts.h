// The window's fonts: an installed Japanese gothic face, so that the Japanese labels and
// texts show on any desktop, proportional for the controls and fixed-pitch for the HTML text views.
#pragma once

#include <QFont>

namespace tavex::app {

// The controls' font, 12 pixels high.
QFont WindowFont();
// The fixed-pitch font of the "html" text views.
QFont FixedPitchFont();

}  // namespace tavex::app
