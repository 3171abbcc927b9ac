#include "controls/CompletingComboBox.h"

#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>

// The edit field: lets the combo box see key presses before and releases after
// the field has handled them. Keys reach it directly or forwarded by the combo box.
class TCompletingLineEdit : public QLineEdit
{
public:
    explicit TCompletingLineEdit(TCompletingComboBox *owner) : QLineEdit(owner), m_owner(owner) {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_owner->OnKeyPress && m_owner->OnKeyPress(event)) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

    void keyReleaseEvent(QKeyEvent *event) override
    {
        QLineEdit::keyReleaseEvent(event);
        m_owner->KeyReleased(*event);
    }

private:
    TCompletingComboBox *m_owner;
};

TCompletingComboBox::TCompletingComboBox(QWidget *parent) : QComboBox(parent)
{
    setLineEdit(new TCompletingLineEdit(this));
    // Typed text never adds an entry of its own.
    setInsertPolicy(QComboBox::NoInsert);

    m_baseCompleter = new QCompleter(model(), this);
    m_baseCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    m_baseCompleter->setCompletionMode(QCompleter::InlineCompletion);
    m_baseCompleter->setModelSorting(QCompleter::UnsortedModel);
    setCompleter(m_baseCompleter);
}

bool TCompletingComboBox::BaseCompletion() const
{
    return lineEdit()->completer() == m_baseCompleter;
}

void TCompletingComboBox::SetBaseCompletion(bool on)
{
    setCompleter(on ? m_baseCompleter : nullptr);
}

void TCompletingComboBox::KeyReleased(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Shift:
        return;
    default:
        break;
    }
    if (!m_textCompletion)
        return;

    // As the platform's prefix search: first entry from the top, case ignored;
    // every entry begins with an empty text, so that finds the first one.
    const QString typed = currentText();
    int found = -1;
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).startsWith(typed, Qt::CaseInsensitive)) {
            found = i;
            break;
        }
    }
    if (found < 0)
        return;

    const int typedLength = int(typed.size());
    const QString entry = itemText(found);
    // Also when the entry is already current, this puts its text back into the field.
    setCurrentIndex(found);
    lineEdit()->setSelection(typedLength, int(entry.size()) - typedLength);
}
