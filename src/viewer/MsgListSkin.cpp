// The message window's skin: memo place and font, buttons, background and
// outline, taken from the shared skin values each time the window is shown.
#include "viewer/MsgList.h"

#include "skin/SkinMessages.h"
#include "skin/SkinReader.h"
#include "skin/qt/ImgBtn.h"
#include "skin/qt/TrMemo.h"

#include <stdexcept>

namespace pelko {

namespace {

// Size of the window when the skin's picture cannot be shown: big enough
// that the text and the right-click menu (Close window) stay reachable.
constexpr int kFallbackWidth = 420;
constexpr int kFallbackHeight = 300;

} // namespace

void TMsgList::FormShow()
{
    const MsgWindowSkin& s = main_.msgSkin();

    Mess->setGeometry(s.memo_x, s.memo_y, s.memo_width, s.memo_height);
    Mess->setSkinFont(s.fontname, s.fontsize, SkinFontIsBold(s.fontstyle), SkinFontIsItalic(s.fontstyle),
                      s.fontcolor);

    // Topmost: set once at construction (see the constructor).

    // No periodic check while the window is open: every step works on the
    // connection the window logged in with.
    SavedTimerState_ = main_.TimerEnabled();
    main_.SetTimerEnabled(false);
    runActive_ = true;

    struct ButtonSkin {
        TImgBtn* button;
        const std::string& normal;
        const std::string& select;
        SkinPoint pos;
    };
    const ButtonSkin buttons[] = {
        {PrevBtn, s.prevbtnnormal, s.prevbtnselect, s.prevbtnpos},
        {NextBtn, s.nextbtnnormal, s.nextbtnselect, s.nextbtnpos},
        {ReplyBtn, s.replybtnnormal, s.replybtnselect, s.replybtnpos},
        {DeleteBtn, s.deletebtnnormal, s.deletebtnselect, s.deletebtnpos},
        {ExitBtn, s.closebtnnormal, s.closebtnselect, s.closebtnpos},
    };
    try {
        for (const ButtonSkin& b : buttons) {
            b.button->loadPicOff(b.normal);
            b.button->loadPicOn(b.select);
            b.button->move(b.pos.x, b.pos.y);
        }
    } catch (const std::exception&) {
        // The window opens all the same, with the buttons loaded so far. The
        // timer stays off until the window closes: a check running meanwhile
        // could switch the connection to another account under the window,
        // and Delete would then remove a message of that account.
        main_.platform().messageBox(kSkinMemoBitmapNotFound);
    }

    // A new showing reads the background again (the skin may have changed).
    MarkBackgroundStale();
    main_.Guarded([this] { FormActivate(); });
    centreOnScreen();
    Mess->setFocus();
}

void TMsgList::FormActivate()
{
    // The picture and its outline are kept between paints and activations;
    // they are read again when the window is shown or the skin changed.
    const std::string file = main_.msgSkin().msgbkng;
    if (BackgroundCurrent(file))
        return;
    const bool ok = LoadBackground(file);
    if (!ok) {
        DropBackground(file);
        resize(kFallbackWidth, kFallbackHeight);
    }
    update();
    if (!ok)
        throw std::runtime_error("Cannot load picture " + file);
}

} // namespace pelko
