#pragma once
// What the main window needs from the message window. The message window is
// made when first needed (TPelko::SetWindowMakers) or attached through
// TPelko::SetMsgWindow.

namespace pelko {

struct NewMailMark;

struct TMsgWindowHost {
    virtual ~TMsgWindowHost() = default;
    virtual void ShowMessageNo(int n) = 0; // fetch and show message n
    virtual void ShowModal() = 0;          // show modally (returns when closed)
    virtual bool IsShown() const = 0;
    // Fetches and shows the first new message a check announced (a click
    // on its notification), logging in to its account first when the
    // connection is not there.
    virtual void ShowNewMail(const NewMailMark& mark) = 0;
};

} // namespace pelko
