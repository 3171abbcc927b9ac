#pragma once

#include "data/Database.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

// Counts the rows of statements on a thread and a connection of its own, so that a count that
// reads a whole library keeps nobody waiting. Only the latest request counts: one asked for
// before it and not yet begun is dropped.
class TRecordCounter : public QObject
{
    Q_OBJECT

public:
    explicit TRecordCounter(const QString &libraryAddress, QObject *parent = nullptr);
    ~TRecordCounter() override;

    // Counts the rows of the statement; Counted follows with the same ticket.
    void Count(quint64 ticket, const QString &sql, const TParams &params);

signals:
    // The count, or -1 when the statement could not be counted there.
    void Counted(quint64 ticket, qint64 count);

private:
    class TWorker;
    QThread m_thread;
    std::unique_ptr<TWorker> m_worker;
    std::atomic<quint64> m_latest{0};
};
