// The message window's skin: memo place and font, buttons, background and
// outline, taken from the shared skin values each time the window is shown.
#include "viewer/MsgList.h"

#include "skin/SkinMessages.h"
#include "skin/SkinReader.h"
#include "skinqt/ImgBtn.h"
#include "skinqt/TrMemo.h"

#include <QScrollBar>

#include <stdexcept>

namespace pelko {

namespace {

// The text's scroll bars in the skin's text colour: a solid thumb on a faint
// groove, so that the thumb reads as the part of the text on screen (the
// desktop's light thumb on a darker groove, drawn over a skin, looks like
// the other way round).
QString ScrollBarStyle(const QColor& ink)
{
    const auto rgba = [&ink](int alpha) {
        return QStringLiteral("rgba(%1, %2, %3, %4)").arg(ink.red()).arg(ink.green()).arg(ink.blue()).arg(alpha);
    };
    return QStringLiteral("QScrollBar { background: transparent; border: none; }"
                          "QScrollBar:vertical { width: 12px; }"
                          "QScrollBar:horizontal { height: 12px; }"
                          "QScrollBar::handle { background: %1; border-radius: 4px; margin: 2px; }"
                          "QScrollBar::handle:vertical { min-height: 24px; }"
                          "QScrollBar::handle:horizontal { min-width: 24px; }"
                          "QScrollBar::add-page, QScrollBar::sub-page { background: %2; border-radius: 4px; }"
                          "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }")
        .arg(rgba(170), rgba(35));
}

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
    const QString barStyle = ScrollBarStyle(Mess->textColour());
    Mess->verticalScrollBar()->setStyleSheet(barStyle);
    Mess->horizontalScrollBar()->setStyleSheet(barStyle);

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
