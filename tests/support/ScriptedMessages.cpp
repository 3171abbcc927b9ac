#include "tests/support/ScriptedMessages.h"

#include <QStringList>

ScriptedMessages::ScriptedMessages(int confirmationAnswer) : m_answer(confirmationAnswer)
{
    MessageService::SetHandler([this](TMessageKind kind, const QString &text) {
        m_shown.append({kind, text});
        return kind == TMessageKind::Confirmation || kind == TMessageKind::Question ? m_answer
                                                                                    : int(mrOk);
    });
}

ScriptedMessages::~ScriptedMessages()
{
    MessageService::SetHandler({});
}

QStringList ScriptedMessages::Texts() const
{
    QStringList texts;
    for (const auto &shown : m_shown)
        texts << shown.second;
    return texts;
}

QStringList ScriptedMessages::Texts(TMessageKind kind) const
{
    QStringList texts;
    for (const auto &shown : m_shown) {
        if (shown.first == kind)
            texts << shown.second;
    }
    return texts;
}
