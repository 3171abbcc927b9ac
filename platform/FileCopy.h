#pragma once

#include <QList>
#include <QString>

enum class TCopyResult { Copied, AlreadyExists, Failed };

struct TCopyOutcome {
    TCopyResult Result = TCopyResult::Failed;
    QString Error; // why it failed
};

// Copies a file unless the target exists; an existing file is never replaced. The data goes
// to a temporary file in the target's folder, renamed to the target only when complete, so a
// copy that fails part-way (a full device, a vanished source) leaves no truncated target.
TCopyOutcome CopyFileNoOverwrite(const QString &source, const QString &target);

// Tallies the outcomes of a run of copies and words what went wrong.
class TCopyReport
{
public:
    void Add(const QString &source, const TCopyOutcome &outcome);
    int Copied() const { return m_copied; }
    int FailedCount() const { return int(m_failures.size()); }
    // True when every file was copied.
    bool Complete() const { return m_existing == 0 && m_failures.isEmpty(); }
    // The closing message of an incomplete run: the counts, and when copies failed, at most
    // maxListed of them with their reasons. Files that were already there are no failure.
    QString Summary(int maxListed = 15) const;

private:
    int m_copied = 0;
    int m_existing = 0;
    QList<QString> m_failures; // "file: reason"
};
