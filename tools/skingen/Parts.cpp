#include "Parts.h"

#include "Canvas.h"

#include <QFile>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <cstdlib>

namespace skingen {

void DrawIcon(QPainter& p, Icon icon, const QRectF& box, const QColor& colour, qreal stroke)
{
    p.save();
    p.translate(box.topLeft());
    const qreal u = std::min(box.width(), box.height());
    const qreal c = u / 2;
    QPen pen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (icon) {
    case Icon::Power: {
        const qreal r = u * 0.34;
        QPainterPath arc;
        arc.arcMoveTo(QRectF(c - r, c - r + u * 0.04, 2 * r, 2 * r), 125);
        arc.arcTo(QRectF(c - r, c - r + u * 0.04, 2 * r, 2 * r), 125, 290);
        p.drawPath(arc);
        p.drawLine(QPointF(c, u * 0.1), QPointF(c, u * 0.46));
        break;
    }
    case Icon::Stop:
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(u * 0.26, u * 0.26, u * 0.48, u * 0.48), u * 0.08, u * 0.08);
        break;
    case Icon::Refresh: {
        const qreal r = u * 0.3;
        const QRectF ring(c - r, c - r, 2 * r, 2 * r);
        QPainterPath arc;
        arc.arcMoveTo(ring, 80);
        arc.arcTo(ring, 80, 280);
        p.drawPath(arc);
        // Arrow head at the end of the arc (just right of the top).
        const QPointF tip = arc.currentPosition();
        QPainterPath head;
        head.moveTo(tip + QPointF(u * 0.2, -u * 0.01));
        head.lineTo(tip + QPointF(-u * 0.02, -u * 0.17));
        head.lineTo(tip + QPointF(-u * 0.02, u * 0.15));
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(head);
        break;
    }
    case Icon::Envelope: {
        const QRectF body(u * 0.16, u * 0.27, u * 0.68, u * 0.46);
        p.drawRoundedRect(body, u * 0.05, u * 0.05);
        QPainterPath flap;
        flap.moveTo(body.left() + stroke * 0.3, body.top() + stroke * 0.3);
        flap.lineTo(c, body.top() + body.height() * 0.58);
        flap.lineTo(body.right() - stroke * 0.3, body.top() + stroke * 0.3);
        p.drawPath(flap);
        break;
    }
    case Icon::Left:
    case Icon::Right: {
        QPainterPath tri;
        const bool left = icon == Icon::Left;
        const qreal tipX = left ? u * 0.28 : u * 0.72, backX = left ? u * 0.66 : u * 0.34;
        tri.moveTo(tipX, c);
        tri.lineTo(backX, u * 0.26);
        tri.lineTo(backX, u * 0.74);
        tri.closeSubpath();
        p.setBrush(colour);
        p.setPen(QPen(colour, stroke * 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tri);
        break;
    }
    case Icon::Reply: {
        QPainterPath tail;
        tail.moveTo(u * 0.78, u * 0.74);
        tail.cubicTo(u * 0.76, u * 0.5, u * 0.6, u * 0.42, u * 0.36, u * 0.42);
        p.drawPath(tail);
        QPainterPath head;
        head.moveTo(u * 0.18, u * 0.42);
        head.lineTo(u * 0.4, u * 0.22);
        head.lineTo(u * 0.4, u * 0.62);
        head.closeSubpath();
        p.setBrush(colour);
        p.setPen(QPen(colour, stroke * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(head);
        break;
    }
    case Icon::Trash: {
        p.drawLine(QPointF(u * 0.24, u * 0.28), QPointF(u * 0.76, u * 0.28));
        p.drawLine(QPointF(u * 0.42, u * 0.2), QPointF(u * 0.58, u * 0.2));
        QPainterPath can;
        can.moveTo(u * 0.3, u * 0.34);
        can.lineTo(u * 0.34, u * 0.8);
        can.lineTo(u * 0.66, u * 0.8);
        can.lineTo(u * 0.7, u * 0.34);
        p.drawPath(can);
        QPen thin = pen;
        thin.setWidthF(stroke * 0.6);
        p.setPen(thin);
        p.drawLine(QPointF(c, u * 0.42), QPointF(c, u * 0.7));
        break;
    }
    case Icon::Cross:
        p.drawLine(QPointF(u * 0.3, u * 0.3), QPointF(u * 0.7, u * 0.7));
        p.drawLine(QPointF(u * 0.7, u * 0.3), QPointF(u * 0.3, u * 0.7));
        break;
    }
    p.restore();
}

QImage Button(const ButtonStyle& s, Icon icon, int size, bool hover, const QColor& under)
{
    QImage art = NewCanvas(size, size);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF outer(0.5, 0.5, size - 1.0, size - 1.0);
        const qreal radius = s.round ? size / 2.0 : size * 0.26;
        auto shape = [&](const QRectF& r, qreal inset) {
            QPainterPath path;
            if (s.round)
                path.addEllipse(r.adjusted(inset, inset, -inset, -inset));
            else
                path.addRoundedRect(r.adjusted(inset, inset, -inset, -inset), radius - inset, radius - inset);
            return path;
        };
        if (hover) {
            // A soft ring of light around the hovered button.
            p.fillPath(shape(outer, 0), s.hoverGlow);
        }
        p.fillPath(shape(outer, hover ? 1.2 : 0.6), s.rim);
        QLinearGradient face(0, 0, 0, size);
        face.setColorAt(0, hover ? s.hoverTop : s.faceTop);
        face.setColorAt(1, hover ? s.hoverBottom : s.faceBottom);
        p.fillPath(shape(outer, hover ? 2.2 : 1.6), face);
        // Glossy upper half.
        QLinearGradient gloss(0, 0, 0, size * 0.55);
        gloss.setColorAt(0, QColor(255, 255, 255, hover ? 120 : 90));
        gloss.setColorAt(1, QColor(255, 255, 255, 0));
        QPainterPath top = shape(outer, 2.6);
        QPainterPath half;
        half.addRect(QRectF(0, 0, size, size * 0.52));
        p.fillPath(top.intersected(half), gloss);
        const qreal inset = size * 0.16;
        DrawIcon(p, icon, QRectF(inset, inset, size - 2 * inset, size - 2 * inset), hover ? s.hoverInk : s.ink,
                 std::max(1.6, size / 11.0));
    }
    return Flatten(art, under, 110);
}

QImage Lamp(int size, const QColor& lit, bool on, const QColor& rim, const QColor& under)
{
    QImage art = NewCanvas(size, size);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(0.5, 0.5, size - 1.0, size - 1.0);
        p.setPen(Qt::NoPen);
        p.setBrush(rim);
        p.drawEllipse(r);
        const QColor core = on ? lit : lit.darker(420);
        QRadialGradient g(QPointF(size * 0.4, size * 0.38), size * 0.55);
        g.setColorAt(0, on ? core.lighter(170) : core.lighter(140));
        g.setColorAt(0.55, core);
        g.setColorAt(1, core.darker(on ? 170 : 130));
        p.setBrush(g);
        p.drawEllipse(r.adjusted(1.5, 1.5, -1.5, -1.5));
        // The little reflection that makes it look like glass.
        p.setBrush(QColor(255, 255, 255, on ? 190 : 90));
        p.drawEllipse(QRectF(size * 0.28, size * 0.2, size * 0.26, size * 0.18));
    }
    QImage out = Flatten(art, under, 110);
    MarkBottomLeft(out);
    return out;
}

QImage MailFlag(QSize size, bool gotMail, const QColor& paper, const QColor& line, const QColor& badge,
                const QColor& dim, const QColor& under)
{
    const int w = size.width(), h = size.height();
    QImage art = NewCanvas(w, h);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF body(1.5, h * 0.22, w - 7.0, h * 0.74);
        QPainterPath env;
        env.addRoundedRect(body, 2.5, 2.5);
        QPainterPath flap;
        flap.moveTo(body.left() + 1, body.top() + 1);
        flap.lineTo(body.center().x(), body.top() + body.height() * 0.6);
        flap.lineTo(body.right() - 1, body.top() + 1);
        if (gotMail) {
            QLinearGradient g(0, body.top(), 0, body.bottom());
            g.setColorAt(0, paper.lighter(112));
            g.setColorAt(1, paper.darker(112));
            p.fillPath(env, g);
            p.setPen(QPen(line, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(env);
            p.drawPath(flap);
            // The badge that says: something new.
            const qreal d = h * 0.46;
            QRadialGradient b(QPointF(w - d * 0.62, d * 0.42), d * 0.6);
            b.setColorAt(0, badge.lighter(150));
            b.setColorAt(1, badge);
            p.setPen(QPen(badge.darker(160), 1));
            p.setBrush(b);
            p.drawEllipse(QRectF(w - d - 0.5, 0.5, d, d));
            p.setBrush(QColor(255, 255, 255, 200));
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(w - d * 0.72, d * 0.2, d * 0.28, d * 0.22));
        } else {
            p.setPen(QPen(dim, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(env);
            p.drawPath(flap);
        }
    }
    QImage out = Flatten(art, under, 100);
    MarkBottomLeft(out);
    return out;
}

namespace {

QString pt(QPoint p) { return QString("%1,%2").arg(p.x()).arg(p.y()); }
QString sz(QSize s) { return QString("%1,%2").arg(s.width()).arg(s.height()); }

} // namespace

void WriteSkinIni(const QString& dir, const SkinMeta& meta, const MainLayout& m, const MsgLayout& w)
{
    // Key order matters to the lookup: a key contained in another key's name
    // (onlinebmp in notonlinebmp) must come first in its section.
    const QStringList lines = {
        "; Pelko skin \"" + meta.name + "\"",
        "; Drawn by tools/skingen (pelko-skingen): change the generator, not these files.",
        "",
        "[background]",
        "main = main.bmp",
        "msgbkng = msgwindow.bmp",
        "",
        "[connect]",
        "cnxbtnnormal = btn_connect.bmp",
        "cnxbtnselect = btn_connect_over.bmp",
        "position = " + pt(m.connect),
        "",
        "[disconnect]",
        "disbtnnormal = btn_disconnect.bmp",
        "disbtnselect = btn_disconnect_over.bmp",
        "position = " + pt(m.disconnect),
        "",
        "[online]",
        "onlinebmp = lamp_on.bmp",
        "notonlinebmp = lamp_off.bmp",
        "position = " + pt(m.online),
        "",
        "[mailclient]",
        "runmailnormal = btn_mailclient.bmp",
        "runmailselect = btn_mailclient_over.bmp",
        "position = " + pt(m.mailclient),
        "",
        "[readmsg]",
        "readbtnnormal = btn_check.bmp",
        "readbtnselect = btn_check_over.bmp",
        "position = " + pt(m.readmsg),
        "",
        "[youhavemail]",
        "gotmail = flag_gotmail.bmp",
        "nomail = flag_nomail.bmp",
        "position = " + pt(m.youhavemail),
        "",
        "[nbmsg]",
        "nbmsgbmp = font_digits.bmp",
        "size = " + sz(m.nbmsgSize),
        "position = " + pt(m.nbmsg),
        "",
        "[status]",
        "fontbmp = font_status.bmp",
        "size = " + sz(m.statusSize),
        "position = " + pt(m.status),
        "maxchar = " + QString::number(m.maxchar),
        "",
        "[memo_msgwindow]",
        "memo_x = " + QString::number(w.memo.x()),
        "memo_y = " + QString::number(w.memo.y()),
        "memo_width = " + QString::number(w.memo.width()),
        "memo_height = " + QString::number(w.memo.height()),
        QString("fontcolor = %1, %2, %3").arg(w.fontColour.red()).arg(w.fontColour.green()).arg(w.fontColour.blue()),
        "fontname = " + w.fontName,
        "fontstyle = " + w.fontStyle,
        "fontsize = " + QString::number(w.fontSize),
        "prevbtnnormal = msg_prev.bmp",
        "prevbtnselect = msg_prev_over.bmp",
        "prevbtnpos = " + pt(w.prev),
        "nextbtnnormal = msg_next.bmp",
        "nextbtnselect = msg_next_over.bmp",
        "nextbtnpos = " + pt(w.next),
        "replybtnnormal = msg_reply.bmp",
        "replybtnselect = msg_reply_over.bmp",
        "replybtnpos = " + pt(w.reply),
        "deletebtnnormal = msg_delete.bmp",
        "deletebtnselect = msg_delete_over.bmp",
        "deletebtnpos = " + pt(w.del),
        "closebtnnormal = msg_close.bmp",
        "closebtnselect = msg_close_over.bmp",
        "closebtnpos = " + pt(w.close),
        "",
        "[about]",
        "skin_name = " + meta.name,
        "skin_author = " + meta.author,
        "skin_mail = " + meta.mail,
        "skin_web = " + meta.web,
        "skin_info = " + meta.info,
    };
    QFile f(dir + "/skin.ini");
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "pelko-skingen: cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
    for (const QString& l : lines)
        f.write(l.toUtf8() + "\r\n");
}

namespace {

QColor ColourUnder(const QImage& img, QPoint at, int size) { return img.pixelColor(at + QPoint(size / 2, size / 2)); }

} // namespace

void SaveButtonPair(const QString& dir, const QString& name, const ButtonStyle& style, Icon icon, int size,
                    const QImage& background, QPoint at)
{
    const QColor under = ColourUnder(background, at, size);
    SaveBmp(Button(style, icon, size, false, under), dir + "/" + name + ".bmp");
    SaveBmp(Button(style, icon, size, true, under), dir + "/" + name + "_over.bmp");
}

GlyphStyle DisplayFont(const QString& family, int pixelSize, int baseline, const QColor& ink, const QColor& glow,
                       const QColor& panel)
{
    GlyphStyle g;
    g.font = QFont(family);
    g.font.setPixelSize(pixelSize);
    g.font.setBold(true);
    g.ink = ink;
    g.glow = glow;
    g.panel = panel;
    g.baseline = baseline;
    return g;
}

void SaveMainParts(const QString& dir, const QImage& main, const MainLayout& m, const MainPartsStyle& s)
{
    SaveButtonPair(dir, "btn_connect", s.button, Icon::Power, s.buttonSize, main, m.connect);
    SaveButtonPair(dir, "btn_disconnect", s.button, Icon::Stop, s.buttonSize, main, m.disconnect);
    SaveButtonPair(dir, "btn_check", s.button, Icon::Refresh, s.buttonSize, main, m.readmsg);
    SaveButtonPair(dir, "btn_mailclient", s.button, Icon::Envelope, s.buttonSize, main, m.mailclient);

    const QColor lampUnder = ColourUnder(main, m.online, 14);
    SaveBmp(Lamp(14, s.lampLit, true, s.lampRim, lampUnder), dir + "/lamp_on.bmp");
    SaveBmp(Lamp(14, s.lampLit, false, s.lampRim, lampUnder), dir + "/lamp_off.bmp");
    const QColor flagUnder = ColourUnder(main, m.youhavemail, s.flagSample);
    for (const bool got : {true, false})
        SaveBmp(MailFlag(s.flagSize, got, s.flagPaper, s.flagLine, s.flagBadge, s.flagDim, flagUnder),
                dir + (got ? "/flag_gotmail.bmp" : "/flag_nomail.bmp"));

    SaveBmp(RenderGlyphFont({"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "()*+,-./0123456789:;<=>?@"}, m.statusSize.width(),
                            m.statusSize.height(), s.status),
            dir + "/font_status.bmp");
    SaveBmp(RenderGlyphFont({"0123456789"}, m.nbmsgSize.width(), m.nbmsgSize.height(), s.digits),
            dir + "/font_digits.bmp");
}

void SaveMsgButtons(const QString& dir, const ButtonStyle& style, const QImage& msg, const MsgLayout& w, int size,
                    int closeSize)
{
    SaveButtonPair(dir, "msg_prev", style, Icon::Left, size, msg, w.prev);
    SaveButtonPair(dir, "msg_next", style, Icon::Right, size, msg, w.next);
    SaveButtonPair(dir, "msg_reply", style, Icon::Reply, size, msg, w.reply);
    SaveButtonPair(dir, "msg_delete", style, Icon::Trash, size, msg, w.del);
    SaveButtonPair(dir, "msg_close", style, Icon::Cross, closeSize, msg, w.close);
}

} // namespace skingen
