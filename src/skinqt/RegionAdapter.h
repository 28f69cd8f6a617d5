#pragma once
// Turns a skin background into a window outline: every magenta pixel
// (255, 0, 255) is cut out.
#include <QImage>
#include <QRegion>

class QWidget;

namespace pelko {

// Most rectangles handed to the window system at once: X11 silently gives
// an empty shape (an invisible window) a little above 32,000.
constexpr int kMaxShapeRects = 30000;

// The outline of img: the non-magenta pixels, as merged runs. An outline
// needing more than kMaxShapeRects rectangles is coarsened (it then covers
// every visible pixel and some magenta ones) and one line goes to stderr,
// once per run of the program. A null image gives an empty region.
QRegion RegionFromImage(const QImage& img);

// Cuts w to the outline of img. A null image, or a picture that is magenta
// everywhere (an empty outline cannot be set as a mask), leaves w without
// mask and returns false; otherwise returns true.
bool ApplyWindowShape(QWidget* w, const QImage& img);

} // namespace pelko
