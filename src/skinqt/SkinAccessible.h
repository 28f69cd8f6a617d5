#pragma once
// What assistive technology (a screen reader over AT-SPI) learns of the
// skinned widgets. An image that shows a text in a bitmap font (the status
// line, the count) is a label named by that text, its hint as description;
// the other images (lamp, envelope) are pictures named by their hint; an
// image button is a push button named by its hint (else its caption) that
// can be pressed.
class QWidget;

namespace pelko {

// Installs the interfaces above and the guard of the accessibility bus (see
// AccessBusGuard.h). Once per process; does nothing before a QGuiApplication
// exists. The skinned widgets call it when they are created.
void InstallSkinAccessibility();

// Tells assistive technology that what the widget is called has changed.
void NotifyAccessibleNameChanged(QWidget* widget);

} // namespace pelko
