#pragma once
// TPelko: the main window. A borderless window cut to the skin's background,
// with the status line, the message count, two state pictures and four image
// buttons. It owns the mail session (the program's one connection to the
// mail servers, and its one message object, Msg) and draws what the session
// reports; the message window works on the session and calls back in here.
#include "viewer/MsgWindowHost.h"
#include "session/MailSession.h"
#include "session/RetryPlan.h"
#include "config/Commun.h"
#include "configdialog/ConfigHost.h"
#include "platform/Platform.h"
#include "skin/SkinModel.h"
#include "skinqt/SkinnedWindow.h"
#include "viewer/MsgListOwner.h"
#include "viewer/NewMailMark.h"

#include <QPoint>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QTimer;

namespace pelko {

class TConfig;
class TImgBtn;
class TSkinImage;

class TPelko : public SkinnedWindow, public ConfigHost, public TMsgListOwner {
    Q_OBJECT
public:
    // Runs FormCreate at once (it may connect and check before the other
    // windows exist). A fatal settings or skin problem ends through
    // Platform::fatalEnd.
    TPelko(Commun& c, Platform& p, QWidget* parent = nullptr);
    ~TPelko() override;

    // The other two windows. The program has them made when first needed
    // (the configuration dialog on Configure, the message window on a double
    // click on the status line), so that start-up builds the main window
    // only; a window attached with SetConfig or SetMsgWindow is used as it is.
    void SetWindowMakers(std::function<TConfig*()> makeConfig, std::function<TMsgWindowHost*()> makeMsgWindow)
    {
        makeConfig_ = std::move(makeConfig);
        makeMsgWindow_ = std::move(makeMsgWindow);
    }
    void SetMsgWindow(TMsgWindowHost* w) { msgWindow_ = w; }
    void SetConfig(TConfig* dialog) { config_ = dialog; }

    // TMsgListOwner
    MailSession& Session() override { return session_; }
    Commun& commun() override { return c_; }
    MsgWindowSkin& msgSkin() override { return msgSkin_; }
    Platform& platform() override { return p_; }
    bool NoMsgWindow() const { return skin_.NoMsgWindow; }
    const MainSkin& skin() const { return skin_; }

private:
    // Declared first: the components below refer into it.
    MailSession session_;

public:
    // ---- components, named as in the window description ----
    TSkinImage* STATBMP = nullptr;
    TImgBtn* Connect = nullptr;
    QMenu* PopMnu = nullptr;
    QAction* Config1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Exit1 = nullptr;
    QTimer* Timer = nullptr;
    TSkinImage* Online = nullptr;
    TSkinImage* NBMSGBMP = nullptr;
    TImgBtn* RefreshBtn = nullptr;
    TImgBtn* Disconnect = nullptr;
    QAction* N2 = nullptr;
    QAction* OnTop = nullptr;
    TImgBtn* MAIL = nullptr;
    TSkinImage* FLAG = nullptr;
    TWireMessage& Msg = session_.Msg;

    // ---- creation, painting, closing ----
    void FormCreate();
    void FormActivate();
    void FormClose();
    void Exit1Click();

    // ---- the check cycle and connection state ----
    // One check of one account, run inside an exchange (on the session's
    // thread; what it shows goes through MailSession::Show). With
    // NextAccount it moves on to the next active account and logs in there
    // first (also after a failure closed the connection, while the check
    // timer runs). Raises the protocol errors to the exchange.
    void CheckMail(bool NextAccount) override;
    void ShowConnectionState();
    void ShowMessageCount(int32_t count);
    // The status line as the last check left it: "NAME-empty" or the count.
    void ShowCountStatus();
    // The status line from the result of the account in use: its count,
    // "NAME-empty", or "NAME-" and why its check failed.
    void ShowResultStatus();
    void ConnectClick();
    void DisconnectClick();
    void RefreshBtnClick();
    void TimerTimer();
    void POPStatus(const std::string& account, const std::string& sOut);

    // The periodic check. An interval of 0 (minutes = 0 in Pelko.ini) never
    // fires, so such a timer is never started.
    void SetTimerEnabled(bool on) override;
    bool TimerEnabled() const override;

    // True while an exchange with the server runs. A Disconnect click or a
    // close that arrives meanwhile calls it off first.
    bool PopIsBusy() const { return session_.Busy(); }
    // The auto-connect of the start waits for the event loop, so that the
    // window is on screen before any server is asked anything.
    bool AutoConnectPending() const { return autoConnectPending_; }

    // ---- window actions ----
    void MAILClick();
    void TrayMessage(TrayPress press);
    // Shows the window (also when hidden by the tray icon or minimised) and
    // brings it to the front: a second start of the program asks for it.
    void BringForward();
    void Config1Click();
    // At a start without any account: the configuration dialog on its
    // Accounts page.
    void ConfigureFirstAccount();
    void OnTopClick();
    void SetOnTop(bool on);
    // A press on the background; screenPos: the cursor in screen
    // coordinates. Dragging: see SkinnedWindow (FormMouseMove).
    void FormMouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, bool doubleClick,
                       const QPoint& screenPos);
    void STATBMPMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, bool doubleClick);
    // A click on a new-mail notification: the message window at the first
    // new message it announced (once a running exchange has ended).
    void OpenNewMail(const NewMailMark& mark);

    // ---- state, readable by the other windows and tests ----
    int32_t CurAcc() const { return session_.CurAcc(); }
    // The previous count of the account in use.
    int32_t PrevCount() const { return session_.PrevCount(); }
    bool HasActiveAccount() const { return HasActiveAccount_; }
    bool OnTopSetting() const { return OnTopSetting_; }
    bool TrayShown() const { return trayShown_; }
    // The account is watched on a connection of its own (IDLE), or is
    // being connected for it.
    bool Watches(int32_t account) const { return watched_.count(account) > 0; }
    // When failed accounts are tried again (its clock is a test hook).
    RetryPlan& Retries() { return retry_; }
    // The text last drawn on the status line.
    const std::string& StatusText() const { return statusText_; }

    // Shown when the mail button finds no program to start.
    static const std::string kNoMailProgramText;

    // The credit after "Pelko - " in the tray tip.
    static std::string TrayTip();

    // ConfigHost
    void RebuildMainWindow() override;
    // Where the window really is (see ScreenPosition).
    int MainLeft() const override;
    int MainTop() const override;
    bool OnTopChecked() const override;

    // Runs one handler body: a FatalEnd goes to Platform::fatalEnd, any other
    // error is shown in a message box and ends the handler there. Returns
    // false when the body was cut short.
    bool Guarded(const std::function<void()>& body) override;
    bool HandExchange(std::function<void()> work, std::function<void(bool completed)> then) override;

signals:
    // FormClose has run and the window is closing: the program ends.
    void closed();

protected:
    void paintEvent(QPaintEvent* e) override;
    void reportFirstPaint();
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    // The modifiers that keep a left press from being a plain one (a drag of
    // the window, a double click on the status line).
    static constexpr Qt::KeyboardModifiers kShiftCtrlAlt =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

    void buildComponents();
    void LitSkinIni();
    void ApplySkinToControls();
    void AddTrayIcon();
    void RemoveTrayIcon();
    std::string AccountName() const { return session_.AccountName(); }
    // Where an exchange's failure goes: a box naming the account (a click
    // started it), the status line and the count's hint (the timer started
    // it: the next tick goes on), or only to then.
    enum class Failures { Boxed, OnStatusLine, ToCaller };
    // Starts work as an exchange on the session's thread; a cancellation
    // ends it quietly, the lamp follows the connection afterwards, then runs
    // last. false when another exchange runs.
    bool StartExchange(std::function<void()> work, Failures failures,
                       std::function<void(const MailSession::Ending&)> then = {});
    void ConnectSessionThread();
    // Runs a function on the window's thread from any thread (a queued event,
    // dropped once the window is gone).
    std::function<void(std::function<void()>)> PostToWindow();

    // ---- IMAP accounts watched on connections of their own ----
    void ConnectWatch();
    // (Re)starts watching the active IMAP accounts whose servers can.
    void StartWatching();
    void StopWatching();
    // Runs fn now, or once the running exchange has ended.
    void WhenIdle(std::function<void()> fn);
    void RunHeldEvents();
    void ShowPushedCount(const WatchCount& count);
    void TellPushedMail(const WatchNews& news);

    // ---- sleep, the network, accounts that wait out a pause ----
    void ConnectMachineEvents();
    void DisconnectMachineEvents();
    // Connected, checking on the timer or watching.
    bool Working() const;
    // Every connection ends, a running check as called off (no box).
    void EndConnectionsQuietly();
    void GoingToSleep();
    void WokenUp();
    void OnlineChanged(bool online);
    void ShowOffline();
    // After waking or the network's return: watch again and check every
    // other active account now.
    void ResumeChecking();
    // The timer's turn takes the account: active (or the only one) and not watched.
    bool InTimersTurn(int32_t account) const;
    // Accounts the timer's turn takes.
    int TimerAccountCount() const;
    // Some account of the timer's turn may be tried now.
    bool AnyAccountMayTry() const;
    // Checks the next left accounts of the turn, one after the other.
    void CheckAccountsInTurn(int left);
    // Starts the check of the next account of the turn.
    void StartCheck(Failures failures, std::function<void(const MailSession::Ending&)> then = {});
    // why, and when the account is tried again (or that it waits for the user).
    std::string FailureText(int32_t account, const std::string& why) const;
    void ReportFailure(const MailSession::Ending& e);
    void ShowAccountFailure(const std::string& text);
    // A Connect click's login and check, from account tried on (first: where
    // the click started); a failing account is named in a box and the next
    // one is tried.
    void ConnectFrom(int32_t first, int tried);
    // The count's hint: a line for each account checked in this pass.
    void ShowCountHint();
    // What a check found, as it becomes known (before the new messages are named).
    void ShowCheck(const CheckOutcome& got);
    void RunAutoConnect();
    // The lamp and its hint as the connection is now.
    void ShowLamp();
    void LampAfterExchange();
    void DrawStatus(const std::string& text);
    void DrawCount(int32_t count);
    void NotifyNewMail(const CheckOutcome& got);
    // The tray icon's tooltip (the lines of the count's hint) and new-mail mark.
    void ShowTrayState();
    // The user opened the message window: the got-mail picture goes.
    void MailSeen();
    void StatusAfterMessageWindow();
    // The message window, modal, unless it is up already.
    void ShowMessageWindow(TMsgWindowHost* w);
    void DoDisconnect();
    void SetTimerInterval();
    void PopupAt(const QPoint& globalPos);

    Commun& c_;
    Platform& p_;
    // The window attached or made so far; made on the first call when a maker is set.
    TConfig* ConfigWindow();
    TMsgWindowHost* MsgWindow();

    TMsgWindowHost* msgWindow_ = nullptr;
    TConfig* config_ = nullptr;
    std::function<TConfig*()> makeConfig_;
    std::function<TMsgWindowHost*()> makeMsgWindow_;

    MainSkin skin_;
    MsgWindowSkin msgSkin_; // the message window's half, read with skin_
    bool OnTopSetting_ = false;
    int32_t PosX_ = 10, PosY_ = 10;
    bool HasActiveAccount_ = false;
    bool autoConnectPending_ = false;
    // Accounts whose new mail the user has not looked at yet.
    std::set<int32_t> newMailAccounts_;
    NewMailMarks newMail_; // where the message window opens for them
    bool created_ = false; // the constructor's FormCreate has run

    bool trayShown_ = false;
    bool closing_ = false;
    std::string statusText_;

    std::unique_ptr<MailWatch> watch_;
    std::set<int32_t> watched_; // accounts the watch tells of (in IDLE, or connecting for it)
    std::vector<std::function<void()>> heldEvents_;

    RetryPlan retry_;
    bool offline_ = false;      // the network is known to be gone
    bool resumeChecking_ = false; // checking was on when the machine slept or went offline
};

} // namespace pelko
