#pragma once
// The small picture of the "Save attachment" menu item, drawn here so the
// program ships no icon file.
#include <QIcon>

namespace pelko {

// A 16 x 16 diskette.
QIcon SaveAttachmentIcon();

} // namespace pelko
