#pragma once
// The program's icon, a small envelope, drawn at any size. Needs only Qt Gui,
// so that the icon generator draws the installed icons with the same code.
#include <QImage>

namespace pelko {

// A size x size picture with a transparent surround.
QImage DrawProgramIcon(int size);

} // namespace pelko
