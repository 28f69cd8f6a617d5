#pragma once
// Keeps a text field to one line. A line end cannot be typed, pasted or
// dropped into it: one that ends the pasted text (a line copied whole) is
// dropped, one anywhere else refuses the change, and the field keeps what it
// held. Text set by the program is not checked: the places that store a
// field check it again (HoldsLineBreak).
#include <QValidator>

class QLineEdit;

namespace pelko {

class OneLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Gives the field a OneLineValidator.
void KeepOneLine(QLineEdit* field);

// True when the text holds a carriage return or a line feed.
bool HoldsLineBreak(const QString& text);

} // namespace pelko
