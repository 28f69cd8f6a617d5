// TPelko: building the window, FormCreate, FormActivate and FormClose.
#include "app/Pelko.h"

#include "config/CertificatePins.h"
#include "config/SettingsFile.h"
#include "configdialog/ConfigDialog.h"
#include "platform/FatalEnd.h"
#include "platform/HandlerGuard.h"
#include "platform_qt/WindowPosition.h"
#include "skin/SkinMessages.h"
#include "skin/SkinReader.h"
#include "skinqt/ImgBtn.h"
#include "skinqt/SkinImage.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace pelko {

namespace {

TImgBtn* makeButton(QWidget* parent, const char* hint, std::function<void()> onClick)
{
    auto* b = new TImgBtn(parent);
    b->setFrame(false);
    b->setAutosize(true);
    b->setCheckButton(false);
    b->setToolTip(QString::fromUtf8(hint));
    b->OnClick = std::move(onClick);
    return b;
}

TSkinImage* makeImage(QWidget* parent, bool autosize)
{
    auto* i = new TSkinImage(parent);
    i->setAutosize(autosize);
    return i;
}

} // namespace

// Borderless, and a tool window so that it gets no taskbar button. A drag
// starts with a plain left press, not with a double click.
TPelko::TPelko(Commun& c, Platform& p, QWidget* parent)
    : SkinnedWindow(parent, Qt::FramelessWindowHint | Qt::Tool, DragRule{kShiftCtrlAlt, false}), session_(c),
      c_(c), p_(p)
{
    buildComponents();

    Guarded([this] { FormCreate(); });
    // The window takes its size and outline from the background now, so that
    // it is never mapped at a size of its own.
    Guarded([this] { FormActivate(); });
    // The saved place may be on a monitor that is no longer there.
    move(PlaceOnScreens(QRect(pos(), size())));
    created_ = true;
}

TPelko::~TPelko()
{
    // The session outlives this body (members go after it): an exchange
    // still running ends first, and nothing reaches a window going away.
    DisconnectMachineEvents();
    session_.CancelAndWait();
    session_.OnStatus = nullptr;
}

void TPelko::buildComponents()
{
    session_.OnStatus = [this](const std::string& account, const std::string& sOut) { POPStatus(account, sOut); };
    ConnectSessionThread();
    ConnectWatch();
    // The login manager and the network are asked over D-Bus: from the event
    // loop, after the window is up (and before the start's own check).
    QTimer::singleShot(0, this, [this] { Guarded([this] { ConnectMachineEvents(); }); });
    // Certificates the user chose to trust (Pelko.pins), read at each handshake.
    session_.TrustedCertificate = [this](const std::string& host, uint16_t port) {
        return FindPinnedCertificate(c_.ProgramDir + kPinsFileName, AccountName(), host, port);
    };

    STATBMP = makeImage(this, false);
    connect(STATBMP, &TSkinImage::mousePressed, this, [this](QMouseEvent* e) {
        STATBMPMouseDown(e->button(), e->modifiers(), e->type() == QEvent::MouseButtonDblClick);
    });

    Connect = makeButton(this, "Connect to POP server", [this] { ConnectClick(); });

    // The menu, top to bottom: Configure, separator, On Top, separator, Exit.
    PopMnu = new QMenu(this);
    Config1 = PopMnu->addAction(QStringLiteral("Configure"));
    connect(Config1, &QAction::triggered, this, [this] { Config1Click(); });
    N1 = PopMnu->addSeparator();
    OnTop = PopMnu->addAction(QStringLiteral("On Top"));
    OnTop->setCheckable(true);
    OnTop->setChecked(true);
    // Chosen from the menu, the item has already flipped its own check mark.
    connect(OnTop, &QAction::triggered, this, [this] { Guarded([this] { SetOnTop(OnTop->isChecked()); }); });
    N2 = PopMnu->addSeparator();
    Exit1 = PopMnu->addAction(QStringLiteral("Exit"));
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

    Timer = new QTimer(this);
    connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });

    Online = makeImage(this, true);
    NBMSGBMP = makeImage(this, false);
    NBMSGBMP->setHint("NB Messages");

    RefreshBtn = makeButton(this, "Check for Messages", [this] { RefreshBtnClick(); });
    Disconnect = makeButton(this, "Disconnect POP server ONLY !!", [this] { DisconnectClick(); });

    MAIL = makeButton(this, "Run mail client", [this] { Guarded([this] { MAILClick(); }); });
    FLAG = makeImage(this, true);
}

bool TPelko::Guarded(const std::function<void()>& body)
{
    return RunGuarded(p_, body);
}

void TPelko::LitSkinIni()
{
    OnTop->setChecked(false);
    // Values the loader does not reach keep what they were.
    MainValues mv;
    mv.PosX = PosX_;
    mv.PosY = PosY_;
    // The loader may stop part-way (a bad number); what it read up to there
    // stands, so Connect uses the account it found and not the one before.
    const auto takeOver = [this, &mv] {
        HasActiveAccount_ = mv.HasActiveAccount;
        // Without an active account the session keeps the account it had.
        if (mv.HasActiveAccount)
            session_.UseAccount(mv.CurAcc);
        else
            session_.SetCurAcc(mv.CurAcc);
        OnTopSetting_ = mv.OnTopSetting;
        OnTop->setChecked(mv.OnTopSetting);
        PosX_ = mv.PosX;
        PosY_ = mv.PosY;
    };
    try {
        LoadSettingsAndAccounts(c_, mv);
    } catch (...) {
        takeOver();
        throw;
    }
    takeOver();

    skin_.NoMsgWindow = false;
    ReadSkin(c_.settings.SkinDir, skin_, msgSkin_);
}

void TPelko::ApplySkinToControls()
{
    try {
        Connect->loadPicOff(skin_.cnxbtnnormal);
        Connect->loadPicOn(skin_.cnxbtnselect);
        Connect->move(skin_.connect.x, skin_.connect.y);
        RefreshBtn->loadPicOff(skin_.readbtnnormal);
        RefreshBtn->loadPicOn(skin_.readbtnselect);
        RefreshBtn->move(skin_.readmsg.x, skin_.readmsg.y);
        Disconnect->loadPicOff(skin_.disbtnnormal);
        Disconnect->loadPicOn(skin_.disbtnselect);
        Disconnect->move(skin_.disconnect.x, skin_.disconnect.y);
        FLAG->loadPicture(skin_.nomail);
        FLAG->move(skin_.youhavemail.x, skin_.youhavemail.y);
        MAIL->loadPicOff(skin_.runmailnormal);
        MAIL->loadPicOn(skin_.runmailselect);
        MAIL->move(skin_.mailclient.x, skin_.mailclient.y);
        Online->move(skin_.online.x, skin_.online.y);
        STATBMP->move(skin_.status.x, skin_.status.y);
        NBMSGBMP->move(skin_.nbmsg.x, skin_.nbmsg.y);
    } catch (const std::exception&) {
        p_.fatalEnd(kSkinInvalidFile);
    }
}

void TPelko::SetTimerInterval()
{
    // minutes comes from a hand-editable file: keep the product in range.
    const int64_t ms = int64_t(c_.settings.minutes) * 60000;
    const int interval = int(std::clamp<int64_t>(ms, 0, INT32_MAX));
    if (interval == 0)
        Timer->stop(); // a zero interval never checks
    if (interval != Timer->interval())
        Timer->setInterval(interval); // restarts the countdown only when the period changed
    retry_.SetTurnInterval(std::chrono::milliseconds(interval));
}

void TPelko::FormCreate()
{
    // The accounts and settings are read anew: a check still running is
    // called off first, and the watching connections end.
    session_.CancelAndWait();
    if (watch_)
        StopWatching();
    retry_.ResetAll(); // the accounts may be numbered anew

    c_.AccCount = 0;
    HasActiveAccount_ = false;
    session_.SetCurAcc(1);
    skin_.NoMsgWindow = false;
    c_.settings.run_my_client = false;
    session_.ResetPrevCounts(MailSession::kCountAtStart);
    // The size comes from the background in FormActivate, which follows
    // every FormCreate.
    MarkBackgroundStale();

    // Where the window is and whether it stays on top are the user's live
    // choices: a rebuild (a skin preview, its Cancel, OK) keeps them; only
    // the start takes them from Pelko.ini.
    const bool live = created_;
    const QPoint livePos = live ? ScreenPosition(this) : QPoint();
    const bool liveOnTop = OnTop->isChecked();
    try {
        LitSkinIni();
    } catch (const FatalEnd& e) {
        p_.fatalEnd(e.what());
    }
    if (live) {
        PosX_ = livePos.x();
        PosY_ = livePos.y();
        OnTopSetting_ = liveOnTop;
        OnTop->setChecked(liveOnTop);
    }

    move(PosX_, PosY_);
    if (c_.settings.icon_tray)
        AddTrayIcon();
    ApplySkinToControls();
    newMailAccounts_.clear(); // the no-mail picture is up again
    session_.RestartResults(); // the accounts may be numbered anew
    session_.UseStateFile(c_.ProgramDir + SeenIds::kFileName);

    if (session_.Connected() && !c_.settings.autoconnect)
        session_.Close();
    ShowConnectionState();
    if (watch_ && session_.Connected())
        StartWatching(); // the accounts may have changed
    // Set before the auto-connect, so that a Connect click after a failed
    // auto-connect arms the timer with the configured period.
    SetTimerInterval();
    const bool autoConnect = c_.settings.autoconnect && !session_.Connected() && HasActiveAccount_;
    autoConnectPending_ = autoConnect;
    if (autoConnect && !created_) {
        // At start the window comes first: the login waits for the event
        // loop, which shows the window before it runs.
        DrawStatus(AccountName() + "-Connecting to " + session_.Account().host);
        QTimer::singleShot(0, this, [this] { Guarded([this] { RunAutoConnect(); }); });
    } else if (autoConnect) {
        RunAutoConnect(); // arms the timer, after a failure too
    } else {
        SetTimerEnabled(session_.Connected() && c_.settings.autocheck);
    }
    SetTimerInterval();
    SetOnTop(OnTopSetting_);
    if (!created_ && c_.AccCount == 0)
        // Nothing to check yet: once the window is up, the user is taken to
        // where an account is made.
        QTimer::singleShot(0, this, [this] { Guarded([this] { ConfigureFirstAccount(); }); });
}

void TPelko::FormActivate()
{
    if (skin_.main.empty() || !LoadBackground(skin_.main))
        p_.fatalEnd(kSkinMainNotFound);
    update();
}

void TPelko::paintEvent(QPaintEvent*)
{
    if (BackgroundStale() && !closing_)
        Guarded([this] { FormActivate(); });
    if (Background().isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, Background());
    reportFirstPaint();
}

void TPelko::reportFirstPaint()
{
    // For the start-up benchmark: one line on stderr at the first paint.
    static bool reported = false;
    if (reported || !std::getenv("PELKO_REPORT_FIRST_PAINT"))
        return;
    reported = true;
    std::fputs("pelko: first paint\n", stderr);
    std::fflush(stderr);
}

void TPelko::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (BackgroundStale())
        Guarded([this] { FormActivate(); });
}

bool TPelko::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !closing_)
        Guarded([this] { FormActivate(); });
    return QWidget::event(e);
}

void TPelko::FormClose()
{
    // A failing QUIT must not keep the settings below from being written.
    if (session_.Connected())
        session_.Close();
    if (config_) {
        config_->LoadControls();
        config_->SaveSettings(); // reports its own failure
    } else {
        // What the dialog would write had it been opened.
        SaveSettingsFile(c_.settingsFile(),
                         SettingsLinesFor(ShownSettings(c_.settings), OnTop->isChecked(), MainLeft(), MainTop()));
    }
    if (c_.settings.icon_tray)
        RemoveTrayIcon();
}

void TPelko::closeEvent(QCloseEvent* e)
{
    // A running exchange is called off first (within one waiting slice).
    session_.CancelAndWait();
    if (closing_) {
        e->accept();
        return;
    }
    closing_ = true;
    Timer->stop();
    StopWatching();
    DisconnectMachineEvents();
    Guarded([this] { FormClose(); });
    e->accept();
    emit closed();
}

void TPelko::Exit1Click()
{
    close();
}

void TPelko::RebuildMainWindow()
{
    FormCreate();
    FormActivate();
}

bool TPelko::OnTopChecked() const
{
    return OnTop->isChecked();
}

} // namespace pelko
