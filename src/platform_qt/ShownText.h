#pragma once
// How text from outside (a server's words, a sender, a subject) is shown in
// the desktop's widgets: as the text it is, never as markup, and only as much
// of it as a glance can take.
#include <QString>

class QEvent;
class QWidget;

namespace pelko {

// The characters that change how the text around them runs without showing
// themselves (direction marks, embeddings, overrides, isolates, zero-width
// characters, byte order mark).
bool IsHiddenFormat(char16_t c);

// The markup of a tooltip that shows text exactly, line breaks and blanks
// kept: Qt would take a text whose first line holds a tag for markup. At most
// 40 lines of 500 characters are shown (a cut is marked with an ellipsis);
// hidden format characters are left out.
QString PlainToolTip(const QString& text);

// For a widget's event(): on a tooltip event shows the widget's tooltip as
// PlainToolTip has it and returns true (an empty one is left to the parent,
// as Qt does); false for any other event. toolTip() itself stays the text.
bool ShowPlainToolTip(QWidget* widget, QEvent* event);

// What a message box shows of a text: at most 12 lines of 300 characters,
// a cut marked with an ellipsis, and a break allowed in long unbroken runs,
// so a box stays small and quick whatever it is given.
QString BoxText(const QString& text);

} // namespace pelko
