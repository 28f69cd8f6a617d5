#pragma once
// The program's top-level error handler. Qt lets no exception cross its
// event loop, so every handler body runs through here: a FatalEnd ends the
// program through the platform, any other error is shown in a message box
// and the rest of the handler is skipped; the program goes on.
#include "platform/Platform.h"

#include <functional>

namespace pelko {

// true when body ran to its end.
bool RunGuarded(Platform& platform, const std::function<void()>& body);

} // namespace pelko
