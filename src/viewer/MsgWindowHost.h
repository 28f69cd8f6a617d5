#pragma once
// What the main window needs from the message window. The message window is
// made when first needed (TPelko::SetWindowMakers) or attached through
// TPelko::SetMsgWindow.

#include <functional>

namespace pelko {

struct NewMailMark;

struct TMsgWindowHost {
    virtual ~TMsgWindowHost() = default;
    // Fetches and shows message n; shown runs once it is on screen.
    virtual void ShowMessageNo(int n, std::function<void()> shown = {}) = 0;
    virtual void ShowModal() = 0;          // show modally (returns when closed)
    virtual bool IsShown() const = 0;
    // Fetches and shows the first new message a check announced (a click
    // on its notification), logging in to its account first when the
    // connection is not there; shown runs once it is on screen.
    virtual void ShowNewMail(const NewMailMark& mark, std::function<void()> shown = {}) = 0;
};

} // namespace pelko
