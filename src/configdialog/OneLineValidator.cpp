#include "configdialog/OneLineValidator.h"

#include <QLineEdit>

namespace pelko {

namespace {

bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

} // namespace

QValidator::State OneLineValidator::validate(QString& input, int& pos) const
{
    // The cursor stands after what was just inserted: line ends right before
    // it, or at the very end, are the end of a pasted line.
    int start = pos;
    while (start > 0 && isLineEnd(input[start - 1]))
        --start;
    input.remove(start, pos - start);
    pos = start;
    int end = int(input.size());
    while (end > 0 && isLineEnd(input[end - 1]))
        --end;
    input.truncate(end);
    pos = std::min(pos, end);
    return HoldsLineBreak(input) ? Invalid : Acceptable;
}

void KeepOneLine(QLineEdit* field) { field->setValidator(new OneLineValidator(field)); }

bool HoldsLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

} // namespace pelko
