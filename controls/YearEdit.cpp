#include "controls/YearEdit.h"

#include "controls/TypedCharacter.h"
#include "data/SelectionSql.h"

#include <QKeyEvent>
#include <QValidator>

namespace
{

// Mends an edit in place rather than refusing it, so pasted or dropped text keeps its digits.
class TYearValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override
    {
        const QString digits = YearDigits(input);
        if (digits != input) {
            // Keep the caret after the same digits it followed.
            pos = int(YearDigits(input.left(pos)).size());
            input = digits;
        }
        return Acceptable;
    }
};

bool IsDigits(const QString &text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

TYearEdit::TYearEdit(QWidget *parent) : QLineEdit(parent)
{
    setMaxLength(4);
    setValidator(new TYearValidator(this));
    // setText is documented as unvalidated; keep digits there too.
    connect(this, &QLineEdit::textChanged, this, &TYearEdit::KeepDigits);
}

void TYearEdit::keyPressEvent(QKeyEvent *event)
{
    const bool discard = event->key() == Qt::Key_Backspace || IsClipboardControlKey(*event) ||
                         (IsTypedCharacter(*event) && !IsDigits(event->text()));
    if (discard) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TYearEdit::KeepDigits()
{
    const QString digits = YearDigits(text());
    if (digits != text())
        setText(digits);
}
