// "Pelko Ember", the second skin: a copper medallion joined to a pill-shaped
// bar, square-cornered buttons and an amber LCD; the message window is a
// sheet of parchment held by the same medallion.
#include "Canvas.h"
#include "Parts.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace skingen {

namespace {

const QColor kRim(42, 16, 4);
const QColor kLcd(30, 13, 5);
const QColor kLcdInk(255, 186, 72);
const QColor kLcdGlow(255, 110, 20, 140);

QPainterPath roundRect(const QRectF& r, qreal radius)
{
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

QPainterPath circle(QPointF c, qreal r)
{
    QPainterPath p;
    p.addEllipse(c, r, r);
    return p;
}

// Polished copper: a warm vertical gradient with a bright band near the top.
void copper(QPainter& p, const QPainterPath& shape, const QRectF& box)
{
    QLinearGradient g(0, box.top(), 0, box.bottom());
    g.setColorAt(0, QColor(240, 170, 110));
    g.setColorAt(0.18, QColor(214, 128, 70));
    g.setColorAt(0.6, QColor(150, 70, 30));
    g.setColorAt(1, QColor(92, 40, 16));
    p.fillPath(shape, g);
}

void medallion(QPainter& p, QPointF c, qreal r)
{
    p.fillPath(circle(c, r), kRim);
    QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    copper(p, circle(c, r - 2), box);
    // An engraved ring and a darker dish in the middle.
    p.setPen(QPen(QColor(60, 24, 6, 170), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r - 7, r - 7);
    p.setPen(QPen(QColor(255, 214, 170, 110), 1));
    p.drawEllipse(c + QPointF(0, 1), r - 7, r - 7);
    QRadialGradient dish(c + QPointF(-r * 0.2, -r * 0.25), r);
    dish.setColorAt(0, QColor(120, 52, 20));
    dish.setColorAt(1, QColor(64, 26, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(dish);
    p.drawEllipse(c, r - 9, r - 9);
}

void gloss(QPainter& p, const QPainterPath& shape, const QRectF& box)
{
    QLinearGradient g(0, box.top(), 0, box.top() + box.height() * 0.5);
    g.setColorAt(0, QColor(255, 236, 210, 90));
    g.setColorAt(1, QColor(255, 236, 210, 0));
    QPainterPath half;
    half.addRect(QRectF(box.left(), box.top(), box.width(), box.height() * 0.5));
    p.fillPath(shape.intersected(half), g);
}

void well(QPainter& p, const QRectF& r, qreal radius, const QColor& fill)
{
    p.fillPath(roundRect(r.adjusted(0, 1, 0, 1), radius), QColor(255, 210, 160, 90));
    p.fillPath(roundRect(r, radius), QColor(24, 8, 2));
    p.fillPath(roundRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1.5), fill);
}

void engrave(QPainter& p, const QRectF& where, const QString& text, const QFont& font, int align)
{
    p.setFont(font);
    p.setPen(QColor(255, 220, 180, 90));
    p.drawText(where.translated(0, 1), align, text);
    p.setPen(QColor(50, 18, 4, 200));
    p.drawText(where, align, text);
}

ButtonStyle buttonStyle()
{
    ButtonStyle s;
    s.round = false;
    s.rim = QColor(40, 14, 2);
    s.faceTop = QColor(232, 160, 96);
    s.faceBottom = QColor(128, 56, 20);
    s.ink = QColor(255, 238, 214);
    s.hoverTop = QColor(255, 210, 120);
    s.hoverBottom = QColor(200, 100, 24);
    s.hoverInk = QColor(255, 255, 240);
    s.hoverGlow = QColor(255, 200, 90, 210);
    return s;
}

} // namespace

void MakeEmber(const QString& dir)
{
    QDir().mkpath(dir);

    // ---- main window ----------------------------------------------------
    // The display holds 26 status characters and a five-digit count; the bar
    // is long enough that its round end clears the display's corners.
    const int W = 360, H = 90;
    const QPointF mc(45, 45);
    const qreal mr = 44;
    const QRectF bar(64, 14, W - 64, 66);
    const QRectF lcd(92, 48, W - 114, 26);
    MainLayout m;
    m.youhavemail = {29, 22};
    m.online = {38, 55};
    m.connect = {98, 20};
    m.disconnect = {128, 20};
    m.readmsg = {158, 20};
    m.mailclient = {188, 20};
    m.statusSize = {7, 10};
    m.nbmsgSize = {8, 13};
    m.maxchar = 26;
    m.status = {97, 56};
    m.nbmsg = {290, 55};
    const qreal divider = m.nbmsg.x() - 4.5;

    const QPainterPath barShape = roundRect(bar, 33);
    const QPainterPath outline = circle(mc, mr).united(barShape);
    QImage art = NewCanvas(W, H);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(barShape, kRim);
        const QPainterPath barFace = roundRect(bar.adjusted(2, 2, -2, -2), 31);
        copper(p, barFace, bar);
        gloss(p, barFace, bar.adjusted(2, 2, -2, -2));
        medallion(p, mc, mr);
        gloss(p, circle(mc, mr - 2), QRectF(mc.x() - mr, mc.y() - mr, 2 * mr, 2 * mr));
        well(p, lcd, 6, kLcd);
        p.setPen(QPen(QColor(84, 40, 14), 1));
        p.drawLine(QPointF(divider, lcd.top() + 5), QPointF(divider, lcd.bottom() - 5));
        QFont f("DejaVu Serif");
        f.setPixelSize(12);
        f.setItalic(true);
        f.setBold(true);
        engrave(p, QRectF(W - 100, 20, 56, 22), "pelko", f, Qt::AlignCenter);
    }
    const QImage main = FlattenOutline(art, outline);
    SaveBmp(main, dir + "/main.bmp");

    MainPartsStyle parts;
    parts.button = buttonStyle();
    parts.buttonSize = 22;
    parts.lampLit = QColor(255, 170, 40);
    parts.lampRim = QColor(36, 12, 2);
    parts.flagSize = QSize(34, 26);
    parts.flagSample = 24;
    parts.flagPaper = QColor(255, 244, 220);
    parts.flagLine = QColor(110, 50, 16);
    parts.flagBadge = QColor(230, 60, 30);
    parts.flagDim = QColor(200, 140, 100);
    parts.status = DisplayFont("DejaVu Sans Condensed", 9, 8, kLcdInk, kLcdGlow, kLcd);
    parts.digits = DisplayFont("DejaVu Sans Condensed", 13, 11, kLcdInk, kLcdGlow, kLcd);
    SaveMainParts(dir, main, m, parts);

    // ---- message window -------------------------------------------------
    // The text area takes 76 average characters of its font beside the
    // scroll bar: mail hard-wrapped at 72 columns keeps its lines.
    const int MW = 592, MH = 356;
    const QPointF wc(44, 44);
    const qreal wr = 42;
    const QRectF body(22, 22, MW - 22, MH - 22);
    const QRectF paper(40, 76, MW - 56, 226);
    const int row = int(paper.bottom()) + 10; // top of the button row
    MsgLayout w;
    w.memo = QRect(52, 84, MW - 80, 210);
    w.fontColour = QColor(74, 40, 18);
    w.fontName = "DejaVu Serif";
    w.fontStyle = "normal";
    w.fontSize = 9;
    w.prev = {52, row};
    w.next = {86, row};
    w.reply = {140, row};
    w.del = {174, row};
    w.close = {MW - 44, 34};

    const QPainterPath bodyShape = roundRect(body, 22);
    const QPainterPath moutline = circle(wc, wr).united(bodyShape);
    QImage mart = NewCanvas(MW, MH);
    {
        QPainter p(&mart);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(bodyShape, kRim);
        const QPainterPath face = roundRect(body.adjusted(2, 2, -2, -2), 20);
        copper(p, face, QRectF(body.left(), body.top(), body.width(), 120));
        // Below the title band the copper darkens evenly.
        QLinearGradient lower(0, body.top() + 110, 0, body.bottom());
        lower.setColorAt(0, QColor(92, 40, 16, 0));
        lower.setColorAt(0.2, QColor(92, 40, 16));
        lower.setColorAt(1, QColor(70, 30, 10));
        p.fillPath(face, lower);
        gloss(p, face, QRectF(body.left(), body.top(), body.width(), 90));
        medallion(p, wc, wr);
        DrawIcon(p, Icon::Envelope, QRectF(wc.x() - 20, wc.y() - 20, 40, 40), QColor(255, 214, 160), 2.4);
        QFont title("DejaVu Serif");
        title.setPixelSize(17);
        title.setItalic(true);
        title.setBold(true);
        engrave(p, QRectF(96, 30, 280, 30), "Pelko  \u00b7  your mail", title, Qt::AlignLeft | Qt::AlignVCenter);
        // Parchment.
        p.fillPath(roundRect(paper.adjusted(0, 1, 0, 1), 8), QColor(255, 210, 160, 90));
        p.fillPath(roundRect(paper, 8), QColor(30, 10, 2));
        QLinearGradient g(0, paper.top(), 0, paper.bottom());
        g.setColorAt(0, QColor(250, 240, 220));
        g.setColorAt(1, QColor(238, 220, 188));
        p.fillPath(roundRect(paper.adjusted(2, 2, -2, -2), 6), g);
        QRadialGradient age(paper.center(), paper.width() * 0.62);
        age.setColorAt(0.7, QColor(160, 100, 40, 0));
        age.setColorAt(1, QColor(160, 100, 40, 40));
        p.fillPath(roundRect(paper.adjusted(2, 2, -2, -2), 6), age);
        p.setPen(QPen(QColor(40, 14, 2, 140), 1));
        p.drawLine(QPointF(125.5, row + 4), QPointF(125.5, row + 24));
        QFont small("DejaVu Serif");
        small.setPixelSize(12);
        small.setItalic(true);
        p.setFont(small);
        p.setPen(QColor(20, 6, 0, 200));
        p.drawText(QRectF(MW - 180, row - 1, 160, 28), Qt::AlignRight | Qt::AlignVCenter, "ember");
        p.setPen(QColor(224, 150, 92, 170));
        p.drawText(QRectF(MW - 180, row, 160, 28), Qt::AlignRight | Qt::AlignVCenter, "ember");
    }
    const QImage msg = FlattenOutline(mart, moutline);
    SaveBmp(msg, dir + "/msgwindow.bmp");
    SaveMsgButtons(dir, buttonStyle(), msg, w, 28, 24);

    SkinMeta meta;
    meta.name = "Pelko Ember";
    meta.author = "The Pelko project";
    meta.mail = ""; // no address of our own to give
    meta.web = "";
    meta.info = "Warm copper medallion with an amber display; the message window reads like parchment.";
    WriteSkinIni(dir, meta, m, w);
}

} // namespace skingen
