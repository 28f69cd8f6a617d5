#pragma once
// The program's top-level error handler. Qt lets no exception cross its
// event loop, so every handler body runs through here: a FatalEnd ends the
// program through the platform, any other error is shown in a message box
// and the rest of the handler is skipped; the program goes on.
#include "platform/FatalEnd.h"
#include "platform/Platform.h"

#include <exception>

namespace pelko {

// true when body ran to its end. owner: the window the box is shown over
// (nullptr: the window in front). A template on the body, so that a lambda
// (as for every event of the application) is called as it is, not copied
// into a std::function.
template <class Body>
bool RunGuarded(Platform& platform, Body&& body, DialogOwner owner = nullptr)
{
    try {
        body();
        return true;
    } catch (const FatalEnd& e) {
        platform.fatalEnd(e.what());
    } catch (const std::exception& e) {
        platform.messageBox(e.what(), owner);
    }
    return false;
}

} // namespace pelko
