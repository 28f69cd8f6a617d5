#include "app/HandlerGuard.h"

#include "platform/FatalEnd.h"

#include <exception>

namespace pelko {

bool RunGuarded(Platform& platform, const std::function<void()>& body)
{
    try {
        body();
        return true;
    } catch (const FatalEnd& e) {
        platform.fatalEnd(e.what());
    } catch (const std::exception& e) {
        platform.messageBox(e.what());
    }
    return false;
}

} // namespace pelko
