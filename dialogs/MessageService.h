#pragma once

#include <QString>
#include <functional>

// Dialog results.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// The kinds of message box. A question has Yes, No and Cancel.
enum class TMessageKind { Confirmation, Warning, Error, Information, Question };

// Every message box of the program goes through here, so tests can answer them.
class MessageService
{
public:
    using Handler = std::function<int(TMessageKind kind, const QString &text)>;

    // Shows the box and returns mrYes / mrNo for confirmations, mrYes / mrNo / mrCancel for
    // questions, mrOk otherwise.
    static int Show(TMessageKind kind, const QString &text);

    // Replaces the boxes (tests); an empty handler restores them.
    static void SetHandler(Handler handler);
};

inline bool Confirm(const QString &text)
{
    return MessageService::Show(TMessageKind::Confirmation, text) == mrYes;
}
inline void ShowWarning(const QString &text)
{
    MessageService::Show(TMessageKind::Warning, text);
}
inline void ShowError(const QString &text)
{
    MessageService::Show(TMessageKind::Error, text);
}
inline void ShowInformation(const QString &text)
{
    MessageService::Show(TMessageKind::Information, text);
}
