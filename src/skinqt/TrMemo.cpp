#include "skinqt/TrMemo.h"

#include <QFont>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPalette>
#include <QTextCursor>

namespace pelko {

TTransparentMemo::TTransparentMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setBackgroundVisible(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Window, Qt::transparent);
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);

    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);

    // Every way a selection can appear (mouse, keys, code) ends collapsed.
    connect(this, &QPlainTextEdit::selectionChanged, this, &TTransparentMemo::collapseSelection);
    connect(this, &QPlainTextEdit::textChanged, this, &TTransparentMemo::postRepaintBehind);
}

void TTransparentMemo::setSkinFont(const std::string& name, int sizePt, bool bold, bool italic,
                                   uint32_t colour)
{
    QFont f = font();
    f.setFamily(QString::fromUtf8(name.c_str()));
    if (sizePt > 0)
        f.setPointSize(sizePt);
    f.setBold(bold);
    f.setItalic(italic);
    setFont(f);

    const QColor c(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    QPalette pal = palette();
    pal.setColor(QPalette::Text, c);
    pal.setColor(QPalette::WindowText, c);
    setPalette(pal);
    postRepaintBehind();
}

QColor TTransparentMemo::textColour() const { return palette().color(QPalette::Text); }

void TTransparentMemo::collapseSelection()
{
    QTextCursor c = textCursor();
    if (selectionKept_ || !c.hasSelection())
        return;
    c.clearSelection();
    setTextCursor(c);
}

void TTransparentMemo::repaintBehind()
{
    QWidget* p = parentWidget();
    if (!p)
        return;
    collapseSelection();
    p->update(geometry());
    viewport()->update();
    update();
}

void TTransparentMemo::postRepaintBehind()
{
    QMetaObject::invokeMethod(this, &TTransparentMemo::repaintBehind, Qt::QueuedConnection);
}

void TTransparentMemo::keyPressEvent(QKeyEvent* e)
{
    repaintBehind();
    QPlainTextEdit::keyPressEvent(e);
    postRepaintBehind();
}

void TTransparentMemo::mousePressEvent(QMouseEvent* e)
{
    repaintBehind();
    QPlainTextEdit::mousePressEvent(e);
    postRepaintBehind();
}

void TTransparentMemo::mouseReleaseEvent(QMouseEvent* e)
{
    repaintBehind();
    QPlainTextEdit::mouseReleaseEvent(e);
    postRepaintBehind();
}

void TTransparentMemo::scrollContentsBy(int dx, int dy)
{
    QPlainTextEdit::scrollContentsBy(dx, dy);
    postRepaintBehind();
}

} // namespace pelko
