#pragma once
// Small pictures of the configuration dialog, drawn here rather than
// shipped: the four page buttons (16 x 16) and the program's own icon.
#include <QImage>

namespace pelko {

QImage OptionsIcon();
QImage AccountsIcon();
QImage SkinInfoIcon();
QImage CreditsIcon();
QImage PelkoIcon(int size);

} // namespace pelko
