#pragma once

#include "data/Database.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QThread>
#include <QVariant>
#include <atomic>
#include <memory>
#include <vector>

// Counts the rows of statements on a thread and a connection of its own, so that a count that
// reads a whole library keeps nobody waiting. Only the latest request counts: one asked for
// before it and not yet begun is dropped.
class TRecordCounter : public QObject
{
    Q_OBJECT

public:
    explicit TRecordCounter(const QString &libraryAddress, QObject *parent = nullptr);
    ~TRecordCounter() override;

    // Counts the rows of the statement; Counted follows with the same ticket. With marksSql,
    // a statement giving rows' sort keys and their 1-based numbers, Marked follows too.
    void Count(quint64 ticket, const QString &sql, const TParams &params,
               const QString &marksSql = {});

    // Rows' sort keys by their 0-based position.
    using TMarks = QList<QPair<int, std::vector<QVariant>>>;

signals:
    // The count, or -1 when the statement could not be counted there.
    void Counted(quint64 ticket, qint64 count);
    void Marked(quint64 ticket, const TRecordCounter::TMarks &marks);

private:
    class TWorker;
    QThread m_thread;
    std::unique_ptr<TWorker> m_worker;
    std::atomic<quint64> m_latest{0};
};
