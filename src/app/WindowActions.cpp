// TPelko: the actions around the check: mail client, tray icon, the
// configuration dialog, On Top, dragging and opening the message window.
#include "app/Pelko.h"

#include "app/MailCommand.h"
#include "configdialog/ConfigDialog.h"
#include "platform_qt/WindowPosition.h"
#include "skinqt/SkinImage.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QTimer>

namespace pelko {

namespace {

// Runs a function once a window has gone (hidden or closed), from the event
// loop after that window's own handlers; it lives as long as the window.
class AfterHidden : public QObject {
public:
    AfterHidden(QWidget* watched, QObject* context, std::function<void()> fn)
        : QObject(watched), context_(context), fn_(std::move(fn))
    {
        watched->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Hide && fn_) {
            QTimer::singleShot(0, context_, std::move(fn_));
            fn_ = nullptr;
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QObject> context_;
    std::function<void()> fn_;
};

} // namespace

const std::string TPelko::kNoMailProgramText =
    "No mail program was found.\r"
    "Choose one in Configure, Options, \"Run custom mail client\", or set your desktop's default e-mail "
    "program.";

std::string TPelko::TrayTip()
{
    // At most 63 characters: the tip field of the icon holds 64 with its end.
    return "Pelko - the little POP3 mail checker";
}

void TPelko::AddTrayIcon()
{
    // A second add (the skin preview rebuilds without removing) has no effect.
    const bool added = p_.trayAdd(TrayTip(), [this](TrayPress press) { Guarded([&] { TrayMessage(press); }); });
    trayShown_ = trayShown_ || added;
    if (added)
        ShowTrayState();
}

void TPelko::RemoveTrayIcon()
{
    p_.trayRemove();
    trayShown_ = false;
}

void TPelko::MAILClick()
{
    MailLaunch launch;
    if (c_.settings.run_my_client)
        launch = SplitMyMailClient(c_.settings.my_mail_client);
    else
        launch = ProcessMailCommand(p_.registeredMailCommand());
    if (launch.program.empty()) {
        p_.messageBox(kNoMailProgramText, this);
        return;
    }
    p_.launch(launch.program, launch.parameters);
}

void TPelko::PopupAt(const QPoint& globalPos)
{
    PopMnu->popup(globalPos);
}

void TPelko::TrayMessage(TrayPress press)
{
    if (press == TrayPress::Left) {
        if (isVisible())
            hide();
        else
            show();
    } else {
        raise();
        activateWindow();
        PopupAt(QCursor::pos());
    }
}

void TPelko::BringForward()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

TConfig* TPelko::ConfigWindow()
{
    if (!config_ && makeConfig_)
        config_ = makeConfig_();
    return config_;
}

TMsgWindowHost* TPelko::MsgWindow()
{
    if (!msgWindow_ && makeMsgWindow_)
        msgWindow_ = makeMsgWindow_();
    return msgWindow_;
}

void TPelko::Config1Click()
{
    if (session_.Busy())
        return; // the dialog's OK rebuilds the window: not in the middle of an exchange
    Guarded([this] {
        TConfig* config = ConfigWindow();
        if (!config || config->exec() != TConfig::kModalOk)
            return;
        show();
        RemoveTrayIcon();
        FormCreate();
        FormActivate();
    });
}

void TPelko::ConfigureFirstAccount()
{
    TConfig* config = ConfigWindow();
    if (closing_ || c_.AccCount > 0 || !config || config->isVisible())
        return;
    // The dialog opens on its Options page: the Accounts page once it is up.
    QTimer::singleShot(0, config, [config] { config->AccBtnClick(); });
    Config1Click();
}

void TPelko::OnTopClick()
{
    OnTop->setChecked(!OnTop->isChecked());
    SetOnTop(OnTop->isChecked());
}

void TPelko::SetOnTop(bool on)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    // Changing the flags of a live window hides it; show it again in place
    // (where it really is: Qt's own idea may lag behind the window manager).
    const bool wasVisible = isVisible();
    const QPoint at = ScreenPosition(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (wasVisible) {
        move(at);
        show();
    }
}

int TPelko::MainLeft() const
{
    return ScreenPosition(this).x();
}

int TPelko::MainTop() const
{
    return ScreenPosition(this).y();
}

void TPelko::FormMouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, bool doubleClick,
                           const QPoint& screenPos)
{
    BackgroundPress(buttons, mods, doubleClick, screenPos);
}

void TPelko::contextMenuEvent(QContextMenuEvent* e)
{
    PopupAt(e->globalPos());
    e->accept();
}

void TPelko::STATBMPMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, bool doubleClick)
{
    if (button != Qt::LeftButton || !doubleClick || session_.Busy())
        return;
    const Qt::KeyboardModifiers held = mods & kShiftCtrlAlt;
    if (held == Qt::NoModifier) {
        if (session_.Connected() && !NoMsgWindow() && c_.MsgCount > 0) {
            TMsgWindowHost* w = MsgWindow();
            const int32_t first = newMail_.OpeningNumber(c_, session_.CurAcc(), session_.LastListing(), c_.MsgCount);
            if (w && !w->IsShown())
                w->ShowMessageNo(first, [this, w] { ShowMessageWindow(w); });
        }
    } else if (held == Qt::ControlModifier) {
        if (!NoMsgWindow() && MsgWindow())
            ShowMessageWindow(msgWindow_);
    }
}

void TPelko::ShowMessageWindow(TMsgWindowHost* w)
{
    if (w->IsShown())
        return;
    Guarded([this, w] {
        MailSeen();
        w->ShowModal();
        StatusAfterMessageWindow();
    });
}

void TPelko::OpenNewMail(const NewMailMark& mark)
{
    TMsgWindowHost* w = NoMsgWindow() ? nullptr : MsgWindow();
    if (!w || closing_)
        return;
    // Not in the middle of an exchange (once it has ended), nor over another
    // modal window, a box or the configuration dialog (once it has closed).
    if (session_.Busy()) {
        heldEvents_.push_back([this, mark] { OpenNewMail(mark); });
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && !w->IsShown()) {
        new AfterHidden(modal, this, [this, mark] { OpenNewMail(mark); });
        return;
    }
    w->ShowNewMail(mark, [this, w] { ShowMessageWindow(w); });
}

} // namespace pelko
