#pragma once

#include "dialogs/MessageService.h"

#include <QList>
#include <QPair>
#include <QString>

// Answers every message box while it lives and records what was shown.
class ScriptedMessages
{
public:
    explicit ScriptedMessages(int confirmationAnswer = mrYes);
    ~ScriptedMessages();

    void SetConfirmationAnswer(int answer) { m_answer = answer; }
    const QList<QPair<TMessageKind, QString>> &Shown() const { return m_shown; }
    QStringList Texts() const;
    QStringList Texts(TMessageKind kind) const;
    void Clear() { m_shown.clear(); }

private:
    int m_answer;
    QList<QPair<TMessageKind, QString>> m_shown;
};
