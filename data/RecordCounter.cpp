#include "data/RecordCounter.h"

#include "base/Errors.h"

// Lives on the counter's thread, and so does its connection.
class TRecordCounter::TWorker : public QObject
{
public:
    TWorker(TRecordCounter *counter, const QString &address) : m_counter(counter)
    {
        m_connection.SetLibraryAddress(address);
    }
    void Run(quint64 ticket, const QString &sql, const TParams &params)
    {
        if (ticket != m_counter->m_latest.load())
            return; // another count was asked for since
        qint64 count = -1;
        try {
            if (!m_connection.Connected())
                m_connection.Open();
            TStatement statement(m_connection, sql, params);
            if (statement.Step())
                count = statement.Integer(0);
        } catch (const EError &) {
            m_connection.Close(); // the asker counts for itself
        }
        emit m_counter->Counted(ticket, count);
    }
    void Stop() { m_connection.Close(); }

private:
    TRecordCounter *m_counter;
    TConnection m_connection;
};

TRecordCounter::TRecordCounter(const QString &libraryAddress, QObject *parent)
    : QObject(parent), m_worker(std::make_unique<TWorker>(this, libraryAddress))
{
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

TRecordCounter::~TRecordCounter()
{
    m_latest = ~quint64(0);
    QMetaObject::invokeMethod(
        m_worker.get(), [this] { m_worker->Stop(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void TRecordCounter::Count(quint64 ticket, const QString &sql, const TParams &params)
{
    m_latest = ticket;
    QMetaObject::invokeMethod(
        m_worker.get(), [this, ticket, sql, params] { m_worker->Run(ticket, sql, params); },
        Qt::QueuedConnection);
}
