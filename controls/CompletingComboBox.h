#pragma once

#include <QComboBox>
#include <functional>

class QCompleter;
class QKeyEvent;

// An editable combo box that completes the typed text with the first entry beginning
// with it, when a key is released. Items, current index and text are the base's.
class TCompletingComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TCompletingComboBox(QWidget *parent = nullptr);

    bool TextCompletion() const { return m_textCompletion; }
    void SetTextCompletion(bool on) { m_textCompletion = on; }
    // Stored only; typed text matching no entry is always accepted.
    bool LimitToList() const { return m_limitToList; }
    void SetLimitToList(bool on) { m_limitToList = on; }

    // The base's own inline completion while typing (on by default): the typed text is
    // extended by the rest of the first entry beginning with it, the added part selected.
    bool BaseCompletion() const;
    void SetBaseCompletion(bool on);

    // Called for every key press in the edit field before it is processed;
    // returning true discards the key.
    std::function<bool(QKeyEvent *)> OnKeyPress;

private:
    friend class TCompletingLineEdit;
    void KeyReleased(const QKeyEvent &event);

    bool m_textCompletion = false;
    bool m_limitToList = false;
    QCompleter *m_baseCompleter = nullptr;
};
