#include "platform_qt/ShownText.h"

#include <QHelpEvent>
#include <QStringList>
#include <QToolTip>
#include <QWidget>

namespace pelko {

namespace {

const QChar kEllipsis(0x2026);

// The lines of text, hidden format characters left out; at most maxLines
// lines of maxChars characters (each cut ends in an ellipsis, and a last
// line with an ellipsis stands for the lines left out). One pass over the
// text, and what it keeps is small whatever the text's size.
QStringList ShortLines(const QString& text, int maxLines, int maxChars)
{
    QStringList lines;
    QString line;
    bool cut = false;
    for (int i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == QLatin1Char('\n')) {
            if (lines.size() == maxLines) {
                lines << QString(kEllipsis);
                return lines;
            }
            lines << line;
            line.clear();
            cut = false;
            continue;
        }
        const char16_t c = text[i].unicode();
        if (cut || IsHiddenFormat(c))
            continue;
        if (line.size() == maxChars) {
            // Do not leave half a surrogate pair before the ellipsis.
            line.chop(line.back().isLowSurrogate() ? 2 : 1);
            line += kEllipsis;
            cut = true;
            continue;
        }
        line += QChar(c);
    }
    return lines;
}

} // namespace

bool IsHiddenFormat(char16_t c)
{
    return c == 0x061C || c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

QString PlainToolTip(const QString& text)
{
    QStringList lines = ShortLines(text, 40, 500);
    for (QString& line : lines)
        line = line.toHtmlEscaped();
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + lines.join(QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}

bool ShowPlainToolTip(QWidget* widget, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    if (widget->toolTip().isEmpty()) {
        event->ignore();
        return true;
    }
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), PlainToolTip(widget->toolTip()), widget,
                       QRect(), widget->toolTipDuration());
    return true;
}

QString BoxText(const QString& text)
{
    constexpr int kRun = 40; // characters without a blank before a break is allowed
    QStringList lines = ShortLines(text, 12, 300);
    for (QString& line : lines) {
        QString broken;
        int run = 0;
        for (const QChar ch : line) {
            run = ch.isSpace() ? 0 : run + 1;
            if (run > kRun && !ch.isLowSurrogate()) {
                broken += QChar(0x200B);
                run = 1;
            }
            broken += ch;
        }
        line = broken;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace pelko
