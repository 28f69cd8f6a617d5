// The message window's construction, modal run, mouse handling and painting.
#include "viewer/MsgList.h"

#include "skinqt/ImgBtn.h"
#include "skinqt/TrMemo.h"
#include "viewer/SaveIcon.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>

#include <algorithm>

namespace pelko {

const std::string TMsgList::kSaveFilter = "zip file (*.zip)|*.zip|exe file (*.exe)|*.exe|all (*.*)|*.*";

TMsgList::TMsgList(TMsgListOwner& main, QWidget* parent)
    : SkinnedWindow(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint,
                    DragRule{Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, true}),
      main_(main)
{
    // Topmost from the start: the window is only ever visible as the
    // topmost, modal reader, and a flag changed on a mapped window would
    // make X11 unmap and map it again. A plain left press drags, that of a
    // double click too.
    buildComponents();
}

TMsgList::~TMsgList()
{
    // A step of ours may still wait for the server: it ends before we go.
    session().CancelAndWait();
    if (loop_)
        loop_->quit();
}

TImgBtn* TMsgList::makeButton(const char* hint, void (TMsgList::*handler)())
{
    auto* b = new TImgBtn(this);
    b->setToolTip(QString::fromUtf8(hint));
    b->setFrame(false);
    b->setAutosize(true);
    b->setCheckButton(false);
    b->OnClick = [this, handler] { (this->*handler)(); };
    return b;
}

void TMsgList::buildComponents()
{
    PrevBtn = makeButton("previous message", &TMsgList::PrevClick);
    NextBtn = makeButton("next message", &TMsgList::NextClick);
    ReplyBtn = makeButton("reply to sender", &TMsgList::ReplyClick);
    DeleteBtn = makeButton("delete message", &TMsgList::DeleteClick);
    ExitBtn = makeButton("close window", &TMsgList::CloseMsgClick);

    Mess = new TTransparentMemo(this);
    Mess->setObjectName(QStringLiteral("Mess"));
    // Right clicks on the text open the window's menu, not the editor's.
    Mess->setContextMenuPolicy(Qt::NoContextMenu);
    // The text can be selected with the mouse and copied (Ctrl+C, the menu's
    // Copy, the middle button); there is no caret, so the arrow keys are
    // free for stepping through the messages.
    Mess->setSelectionKept(true);
    Mess->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Mess->setFocus();

    // What tells that a step is waiting for the server.
    Loading = new QLabel(this);
    Loading->setObjectName(QStringLiteral("Loading"));
    Loading->setTextFormat(Qt::PlainText);
    Loading->setAutoFillBackground(true);
    QPalette notePalette = QApplication::palette();
    notePalette.setColor(QPalette::Window, notePalette.color(QPalette::ToolTipBase));
    notePalette.setColor(QPalette::WindowText, notePalette.color(QPalette::ToolTipText));
    Loading->setPalette(notePalette);
    Loading->setMargin(3);
    Loading->hide();

    MnuMsg = new QMenu(this);
    Save = MnuMsg->addAction(SaveAttachmentIcon(), QStringLiteral("Save attachment"));
    Copy = MnuMsg->addAction(QStringLiteral("Copy"));
    N2 = MnuMsg->addSeparator();
    CloseMsg = MnuMsg->addAction(QStringLiteral("Close window"));
    connect(Save, &QAction::triggered, this, [this] { SaveClick(); });
    connect(Copy, &QAction::triggered, Mess, &QPlainTextEdit::copy);
    connect(CloseMsg, &QAction::triggered, this, [this] { CloseMsgClick(); });
    // Esc closes the window as its close button does.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, [this] { CloseMsgClick(); });
    // Stepping and deleting from the keyboard. Up, Down, Page Up, Page Down,
    // Home and End stay the text's scrolling.
    const auto keys = [this](std::initializer_list<QKeyCombination> combos, void (TMsgList::*handler)()) {
        for (QKeyCombination k : combos) {
            auto* key = new QShortcut(QKeySequence(k), this);
            connect(key, &QShortcut::activated, this, [this, handler] { (this->*handler)(); });
        }
    };
    keys({Qt::Key_Right, Qt::ALT | Qt::Key_Right, Qt::CTRL | Qt::Key_PageDown}, &TMsgList::NextClick);
    keys({Qt::Key_Left, Qt::ALT | Qt::Key_Left, Qt::CTRL | Qt::Key_PageUp}, &TMsgList::PrevClick);
    keys({Qt::Key_Delete}, &TMsgList::DeleteClick);
}

void TMsgList::ShowLoadingNote(const std::string& text)
{
    const QRect memo = Mess->geometry();
    Loading->setText(QString::fromUtf8(text.c_str()));
    Loading->adjustSize();
    Loading->move(memo.left() + std::max(0, (memo.width() - Loading->width()) / 2), memo.bottom() - Loading->height());
    Loading->show();
    Loading->raise();
    setCursor(Qt::BusyCursor);
}

void TMsgList::HideLoadingNote()
{
    Loading->hide();
    unsetCursor();
}

// ---- showing and closing ----

void TMsgList::ShowModal()
{
    if (isVisible())
        return;
    setWindowModality(Qt::ApplicationModal);
    show();
    if (!isVisible())
        return;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
}

void TMsgList::setVisible(bool visible)
{
    // The skin is applied before the window is mapped, so it appears at its
    // final size, shape and place.
    if (visible && !isVisible())
        FormShow();
    QWidget::setVisible(visible);
}

void TMsgList::CloseMsgClick()
{
    restoreTimer();
    close(); // hideEvent calls a step still waiting for the server off
}

void TMsgList::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    if (e->spontaneous())
        return; // minimised by the window manager: still open
    // A step still waiting for the server is called off.
    session().Cancel();
    // However the window went away, the main window gets its timer back.
    restoreTimer();
    // From now on the main window may log in again on its own: the message
    // number on screen may then name another message.
    sessionMayHaveChanged_ = true;
    if (loop_)
        loop_->quit();
}

void TMsgList::restoreTimer()
{
    if (!runActive_)
        return;
    runActive_ = false;
    main_.SetTimerEnabled(SavedTimerState_);
}

void TMsgList::centreOnScreen()
{
    QScreen* s = screen();
    if (!s)
        s = QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect g = s->geometry();
    move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
}

// ---- text ----

void TMsgList::setText(const std::string& utf8)
{
    Mess->setPlainText(QString::fromUtf8(utf8.data(), int(utf8.size())));
    // The caret at the start, so the window shows the top of the message.
    Mess->moveCursor(QTextCursor::Start);
    Mess->verticalScrollBar()->setValue(0);
    Mess->horizontalScrollBar()->setValue(0);
}

std::string TMsgList::ShownText() const { return Mess->toPlainText().toStdString(); }

// ---- painting and activation ----

void TMsgList::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (Background().isNull())
        p.fillRect(e->rect(), palette().window()); // no usable skin picture
    else
        p.drawPixmap(0, 0, Background());
}

void TMsgList::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        main_.Guarded([this] { FormActivate(); });
}

// ---- dragging and the menu ----

void TMsgList::FormMouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, const QPoint& screenPos)
{
    if (PlainLeft(buttons, mods))
        Grip(screenPos);
}

void TMsgList::contextMenuEvent(QContextMenuEvent* e)
{
    // Save is offered only while the files to save are there.
    Save->setEnabled(AttachmentsAtHand());
    Copy->setEnabled(Mess->textCursor().hasSelection());
    MnuMsg->popup(e->globalPos());
    e->accept();
}

} // namespace pelko
