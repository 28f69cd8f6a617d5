// "Pelko Harbour", the default skin: a deep-sea blue body with a folder-like
// name tab, glassy round buttons and a glowing cyan LCD for the status line
// and the count.
#include "Canvas.h"
#include "Parts.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace skingen {

namespace {

const QColor kRim(8, 30, 48);
const QColor kLcd(9, 32, 46);
const QColor kLcdInk(128, 232, 255);
const QColor kLcdGlow(40, 170, 230, 150);
const QColor kTabInk(205, 238, 255);

QPainterPath roundRect(const QRectF& r, qreal radius)
{
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

QLinearGradient bodyGradient(qreal top, qreal bottom)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, QColor(66, 140, 188));
    g.setColorAt(0.45, QColor(30, 88, 130));
    g.setColorAt(1, QColor(14, 50, 80));
    return g;
}

// A name plate that sticks out above the body.
void drawTab(QPainter& p, const QRectF& tab, const QString& text)
{
    p.fillPath(roundRect(tab, 9), kRim);
    QLinearGradient g(0, tab.top(), 0, tab.top() + 16);
    g.setColorAt(0, QColor(92, 166, 210));
    g.setColorAt(1, QColor(38, 102, 146));
    p.fillPath(roundRect(tab.adjusted(2, 2, -2, 0), 7), g);
    QFont f("DejaVu Sans");
    f.setPixelSize(9);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 2.2);
    p.setFont(f);
    p.setPen(QColor(6, 30, 50, 170));
    p.drawText(QRectF(tab.left(), tab.top() + 2, tab.width(), 11), Qt::AlignHCenter | Qt::AlignVCenter, text);
    p.setPen(kTabInk);
    p.drawText(QRectF(tab.left(), tab.top() + 1, tab.width(), 11), Qt::AlignHCenter | Qt::AlignVCenter, text);
}

// The body: dark rim, blue gradient, a glossy upper half and a faint wave.
void drawBody(QPainter& p, const QRectF& body, qreal radius)
{
    p.fillPath(roundRect(body, radius), kRim);
    const QRectF face = body.adjusted(2, 2, -2, -2);
    p.fillPath(roundRect(face, radius - 2), bodyGradient(face.top(), face.bottom()));
    QPainterPath wave;
    wave.moveTo(face.left(), face.bottom() - face.height() * 0.42);
    wave.cubicTo(face.left() + face.width() * 0.3, face.bottom() - face.height() * 0.62,
                 face.left() + face.width() * 0.62, face.bottom() - face.height() * 0.22, face.right(),
                 face.bottom() - face.height() * 0.48);
    wave.lineTo(face.right(), face.bottom());
    wave.lineTo(face.left(), face.bottom());
    wave.closeSubpath();
    p.fillPath(wave.intersected(roundRect(face, radius - 2)), QColor(4, 20, 36, 70));
    QLinearGradient gloss(0, face.top(), 0, face.top() + face.height() * 0.45);
    gloss.setColorAt(0, QColor(255, 255, 255, 70));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    QPainterPath upper = roundRect(face.adjusted(3, 2, -3, 0), radius - 4);
    QPainterPath band;
    band.addRect(QRectF(face.left(), face.top(), face.width(), face.height() * 0.45));
    p.fillPath(upper.intersected(band), gloss);
    // A thin light line just inside the rim, as on pressed metal.
    p.setPen(QPen(QColor(150, 205, 240, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roundRect(face.adjusted(0.5, 0.5, -0.5, -0.5), radius - 2));
}

// A recessed panel: dark edge above, light edge below, flat inside.
void drawWell(QPainter& p, const QRectF& r, qreal radius, const QColor& fill)
{
    p.fillPath(roundRect(r.adjusted(0, 1, 0, 1), radius), QColor(170, 220, 250, 80));
    p.fillPath(roundRect(r, radius), QColor(3, 14, 24));
    p.fillPath(roundRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1.5), fill);
}

ButtonStyle buttonStyle()
{
    ButtonStyle s;
    s.round = true;
    s.rim = QColor(6, 26, 42);
    s.faceTop = QColor(96, 170, 214);
    s.faceBottom = QColor(24, 78, 120);
    s.ink = QColor(230, 246, 255);
    s.hoverTop = QColor(140, 214, 250);
    s.hoverBottom = QColor(30, 120, 178);
    s.hoverInk = QColor(255, 255, 255);
    s.hoverGlow = QColor(150, 236, 255, 200);
    return s;
}

} // namespace

void MakeHarbour(const QString& dir)
{
    QDir().mkpath(dir);

    // ---- main window ----------------------------------------------------
    // The display holds 26 status characters and a five-digit count, so
    // "ACCOUNTNAME-1234 MESSAGES" and 12345 fit side by side.
    const int W = 276, H = 94;
    const QRectF body(0, 12, W, H - 12), tab(18, 0, 80, 26);
    const QRectF lcd(10, 58, W - 20, 28);
    MainLayout m;
    m.connect = {14, 26};
    m.disconnect = {46, 26};
    m.readmsg = {78, 26};
    m.mailclient = {110, 26};
    m.online = {176, 32};
    m.youhavemail = {218, 28};
    m.statusSize = {7, 11};
    m.nbmsgSize = {10, 15};
    m.maxchar = 26;
    m.status = {15, 66};
    m.nbmsg = {208, 64};
    const qreal divider = m.nbmsg.x() - 5.5;

    QPainterPath outline = roundRect(body, 22).united(roundRect(tab, 9));
    QImage art = NewCanvas(W, H);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        drawTab(p, tab, "PELKO");
        drawBody(p, body, 22);
        drawWell(p, lcd, 7, kLcd);
        // Divider between the status text and the count.
        p.setPen(QPen(QColor(30, 76, 102), 1));
        p.drawLine(QPointF(divider, lcd.top() + 5), QPointF(divider, lcd.bottom() - 5));
        // A small socket for the lamp.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(4, 18, 30, 160));
        p.drawEllipse(QRectF(m.online.x() - 2, m.online.y() - 2, 18, 18));
    }
    const QImage main = FlattenOutline(art, outline);
    SaveBmp(main, dir + "/main.bmp");

    MainPartsStyle parts;
    parts.button = buttonStyle();
    parts.buttonSize = 26;
    parts.lampLit = QColor(70, 236, 120);
    parts.lampRim = QColor(3, 16, 26);
    parts.flagSize = QSize(30, 22);
    parts.flagSample = 22;
    parts.flagPaper = QColor(255, 236, 160);
    parts.flagLine = QColor(120, 80, 10);
    parts.flagBadge = QColor(236, 52, 52);
    parts.flagDim = QColor(120, 170, 205);
    parts.status = DisplayFont("DejaVu Sans Condensed", 10, 9, kLcdInk, kLcdGlow, kLcd);
    parts.digits = DisplayFont("DejaVu Sans Mono", 15, 13, kLcdInk, kLcdGlow, kLcd);
    SaveMainParts(dir, main, m, parts);

    // ---- message window -------------------------------------------------
    // The text area takes 76 average characters of its font beside the
    // scroll bar: mail hard-wrapped at 72 columns keeps its lines.
    const int MW = 564, MH = 340;
    const QRectF mbody(0, 14, MW, MH - 14), mtab(24, 0, 132, 30);
    const QRectF paper(14, 52, MW - 28, 236);
    const int row = int(paper.bottom()) + 10; // top of the button row
    MsgLayout w;
    w.memo = QRect(26, 60, MW - 52, 220);
    w.fontColour = QColor(22, 44, 66);
    w.fontName = "DejaVu Sans";
    w.fontStyle = "normal";
    w.fontSize = 9;
    w.prev = {22, row};
    w.next = {58, row};
    w.reply = {110, row};
    w.del = {146, row};
    w.close = {MW - 48, 20};

    QPainterPath moutline = roundRect(mbody, 24).united(roundRect(mtab, 9));
    QImage mart = NewCanvas(MW, MH);
    {
        QPainter p(&mart);
        p.setRenderHint(QPainter::Antialiasing);
        drawTab(p, mtab, "PELKO  MAIL");
        drawBody(p, mbody, 24);
        // The paper the messages are read on.
        p.fillPath(roundRect(paper.adjusted(0, 1, 0, 1), 10), QColor(170, 220, 250, 80));
        p.fillPath(roundRect(paper, 10), QColor(3, 14, 24));
        QLinearGradient g(0, paper.top(), 0, paper.bottom());
        g.setColorAt(0, QColor(246, 250, 253));
        g.setColorAt(1, QColor(226, 236, 244));
        p.fillPath(roundRect(paper.adjusted(2, 2, -2, -2), 8), g);
        // A groove under the button row.
        p.setPen(QPen(QColor(4, 20, 34, 120), 1));
        p.drawLine(QPointF(96.5, row + 4), QPointF(96.5, row + 26));
        // The name, pressed into the metal at the bottom right.
        QFont f("DejaVu Sans");
        f.setPixelSize(11);
        f.setBold(true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
        p.setFont(f);
        const QRectF plate(MW - 170, row + 4, 150, 22);
        p.setPen(QColor(2, 14, 26, 200));
        p.drawText(plate.translated(0, -1), Qt::AlignRight | Qt::AlignVCenter, "HARBOUR");
        p.setPen(QColor(110, 170, 212, 150));
        p.drawText(plate, Qt::AlignRight | Qt::AlignVCenter, "HARBOUR");
    }
    const QImage msg = FlattenOutline(mart, moutline);
    SaveBmp(msg, dir + "/msgwindow.bmp");
    SaveMsgButtons(dir, buttonStyle(), msg, w, 28, 28);

    SkinMeta meta;
    meta.name = "Pelko Harbour";
    meta.author = "The Pelko project";
    meta.mail = ""; // no address of our own to give
    meta.web = "";
    meta.info = "Pelko's default skin: deep-sea blue with a glowing cyan status display.";
    WriteSkinIni(dir, meta, m, w);
}

} // namespace skingen
