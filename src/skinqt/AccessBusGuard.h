#pragma once
// A guard in front of Qt's AT-SPI adaptor on the accessibility bus.
//
// Qt 6.4's adaptor takes the arguments of a call without looking at how many
// came: every org.freedesktop.DBus.Properties call is read as (interface,
// property), so a GetAll (one argument), which screen readers send, read past
// the end of the argument list and crashed the program; a method call with
// too few arguments does the same. The guard is registered on the bus where
// Qt's adaptor would be and
//   - answers GetAll itself from the accessible object (Name, Description,
//     Parent and ChildCount of org.a11y.atspi.Accessible; the toolkit and its
//     version on the application; the counts of a text; the figures of a
//     value; nothing for the other interfaces),
//   - refuses with org.freedesktop.DBus.Error.InvalidArgs a Properties Get
//     or Set and any method call that carries fewer arguments than the method
//     takes (as Qt's adaptor declares them in its introspection),
//   - hands every other call to Qt's adaptor unchanged.

namespace pelko {

// Puts the guard in place on the bridge's bus connection once it exists:
// before Qt registers its adaptor (called when accessibility becomes active)
// or in its place afterwards. Does nothing without an accessibility bus.
void GuardAccessibilityBus();

} // namespace pelko
