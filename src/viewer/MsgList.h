#pragma once
// TMsgList: the message window. A borderless window cut to the skin's
// message-window picture that shows the waiting messages one at a time. It
// has no connection of its own: it drives the main window's session and Msg and
// lets the main window recount before every step, so it always works on the
// server's current mailbox.
#include "viewer/MsgWindowHost.h"
#include "viewer/MsgListOwner.h"
#include "skinqt/SkinnedWindow.h"

#include <QPoint>

#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QEventLoop;
class QLabel;
class QMenu;

namespace pelko {

class TImgBtn;
class TTransparentMemo;
class TWireMessage;

class TMsgList : public SkinnedWindow, public TMsgWindowHost {
    Q_OBJECT
public:
    // Filter of the attachment save dialog.
    static const std::string kSaveFilter;

    explicit TMsgList(TMsgListOwner& main, QWidget* parent = nullptr);
    ~TMsgList() override;

    // TMsgWindowHost
    // Fetches message n into the session's Msg and shows it (shown runs
    // then); 0 shows "no more messages...". The fetch runs as an exchange of
    // the session: its failure is shown in a box naming the account and the
    // window keeps what it showed. Does nothing while another exchange with
    // the server is running.
    void ShowMessageNo(int n, std::function<void()> shown = {}) override;
    // Shows the window and returns when it is closed.
    void ShowModal() override;
    bool IsShown() const override { return isVisible(); }
    // Refused while an exchange runs; a mark of an account that is gone
    // shows the first message of the account in use.
    void ShowNewMail(const NewMailMark& mark, std::function<void()> shown = {}) override;

    // ---- components, named as in the window description ----
    TImgBtn* PrevBtn = nullptr;
    TImgBtn* NextBtn = nullptr;
    TImgBtn* ReplyBtn = nullptr;
    TImgBtn* DeleteBtn = nullptr;
    TImgBtn* ExitBtn = nullptr;
    TTransparentMemo* Mess = nullptr;
    // Shown over the text while a step waits for the server.
    QLabel* Loading = nullptr;
    QMenu* MnuMsg = nullptr;
    QAction* Save = nullptr;
    QAction* Copy = nullptr; // copies the text selected
    QAction* N2 = nullptr;
    QAction* CloseMsg = nullptr;

    // ---- handlers (public so the main window and tests can drive them) ----
    // Protocol errors raised inside the click handlers are shown in a message
    // box by the main window's guard; the window keeps what it showed.
    void FormShow();
    void FormActivate();
    // Takes hold of the window for a drag (FormMouseMove, see SkinnedWindow)
    // on a plain left press; screenPos: the cursor in screen coordinates.
    void FormMouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, const QPoint& screenPos);
    void PrevClick();
    void NextClick();
    void ReplyClick();
    void DeleteClick();
    void SaveClick();
    void CloseMsgClick();

    // ---- state, readable by tests ----
    int32_t CurMsg() const { return CurMsg_; }
    bool SavedTimerState() const { return SavedTimerState_; }
    // The memo's text as UTF-8, lines joined by "\n".
    std::string ShownText() const;

    // Shown when a message number no longer names the message on screen
    // (the window was reopened after the main window had logged in again).
    static const std::string kDeleteStaleText;
    // Shown when Save finds the attachment files gone (after a Disconnect).
    static const std::string kFetchAgainText;
    // Shown when Reply finds no program for mailto: links.
    static const std::string kNoMailHandlerText;

protected:
    void setVisible(bool visible) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    // The loading note and a busy cursor, while a step waits for the server.
    void ShowLoadingNote(const std::string& text);
    void HideLoadingNote();

    void buildComponents();
    TImgBtn* makeButton(const char* hint, void (TMsgList::*handler)());
    // Starts work as an exchange with the server under the loading note;
    // then runs once it has run to its end. Refused while another exchange
    // runs (ours or the main window's); errors shown by the main window in a
    // box naming the account.
    void RunExchange(const std::string& note, std::function<void()> work, std::function<void()> then);
    // Inside an exchange: quit, log in again to the same account, and have
    // the main window recount.
    void Reconnect();
    // Inside an exchange: message n into the session's Msg.
    void Fetch(int n);
    // Shows message n, just fetched into Msg; 0: "no more messages...".
    void ShowFetched(int n);
    // Next (+1) or Previous (-1), on the mailbox as it is now.
    void Step(int delta);
    void setText(const std::string& utf8);
    // The message on screen has attachments whose files are still there.
    bool AttachmentsAtHand();
    void restoreTimer();
    void centreOnScreen();
    // What identifies the message shown, kept apart from Msg (which the
    // main window may clear).
    static std::string Identity(const TWireMessage& m);
    // The message probe (its header) is the one shown (its Identity).
    static bool SameMessage(const TWireMessage& probe, const std::string& shown);

    MailSession& session() { return main_.Session(); }

    TMsgListOwner& main_;
    int32_t CurMsg_ = 0;
    bool SavedTimerState_ = false;

    bool runActive_ = false;   // shown, timer not yet given back
    QEventLoop* loop_ = nullptr;

    // The message on screen was fetched in a session that may have ended:
    // set when the window closes (the main window logs in again on its own
    // from then on), cleared by every fetch.
    bool sessionMayHaveChanged_ = false;
    std::string shownIdentity_;
    std::string shownSubject_; // the Subject header of the message shown
};

} // namespace pelko
