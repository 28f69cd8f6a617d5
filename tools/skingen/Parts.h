#pragma once
// The small pictures both skins are made of: icons, buttons, the state
// lamp, the mail flag, and the skin.ini writer.
#include "Canvas.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace skingen {

enum class Icon { Power, Stop, Refresh, Envelope, Left, Right, Reply, Trash, Cross };

// Draws an icon inside box with strokes of the given width.
void DrawIcon(QPainter& p, Icon icon, const QRectF& box, const QColor& colour, qreal stroke);

struct ButtonStyle {
    bool round;                  // circle, or a rounded square
    QColor rim, faceTop, faceBottom, ink;
    QColor hoverTop, hoverBottom, hoverInk, hoverGlow;
};

// One button picture (normal or mouse-over), flattened over `under`.
QImage Button(const ButtonStyle& style, Icon icon, int size, bool hover, const QColor& under);

// The connection lamp: lit (connected) or dark.
QImage Lamp(int size, const QColor& lit, bool on, const QColor& rim, const QColor& under);

// The mail flag: a bright envelope with a badge, or a faint one.
QImage MailFlag(QSize size, bool gotMail, const QColor& paper, const QColor& line, const QColor& badge,
                const QColor& dim, const QColor& under);

struct MainLayout {
    QPoint connect, disconnect, online, mailclient, readmsg, youhavemail, nbmsg, status;
    QSize nbmsgSize, statusSize;
    int maxchar;
};

// A button in both states (name.bmp, name_over.bmp), flattened over the
// background colour at the middle of its place.
void SaveButtonPair(const QString& dir, const QString& name, const ButtonStyle& style, Icon icon, int size,
                    const QImage& background, QPoint at);

// What sets one skin's main-window pieces apart from another's.
struct MainPartsStyle {
    ButtonStyle button;
    int buttonSize;
    QColor lampLit, lampRim;
    QSize flagSize;
    int flagSample; // size of the square whose middle gives the colour under the flag
    QColor flagPaper, flagLine, flagBadge, flagDim;
    GlyphStyle status;
    GlyphStyle digits;
};

// A bold display font of the given family, pixel size and baseline, in the
// colours of the skin's display.
GlyphStyle DisplayFont(const QString& family, int pixelSize, int baseline, const QColor& ink, const QColor& glow,
                       const QColor& panel);

// The main window's pieces over its finished background: the four buttons,
// the lamp, the two mail flags and the status and count fonts.
void SaveMainParts(const QString& dir, const QImage& main, const MainLayout& m, const MainPartsStyle& s);

struct MsgLayout {
    QRect memo;
    QColor fontColour;
    QString fontName, fontStyle;
    int fontSize;
    QPoint prev, next, reply, del, close;
};

// The message window's five buttons over its finished background.
void SaveMsgButtons(const QString& dir, const ButtonStyle& style, const QImage& msg, const MsgLayout& w, int size,
                    int closeSize);

struct SkinMeta {
    QString name, author, mail, web, info;
};

// Writes <dir>/skin.ini with CR LF line ends and every key of the format.
void WriteSkinIni(const QString& dir, const SkinMeta& meta, const MainLayout& m, const MsgLayout& w);

// Where a skin is written, and the skin makers.
void MakeHarbour(const QString& dir);
void MakeEmber(const QString& dir);

} // namespace skingen
