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
    void Run(quint64 ticket, const QString &sql, const TParams &params, const QString &marksSql)
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
        if (count < 0 || marksSql.isEmpty() || ticket != m_counter->m_latest.load())
            return;
        try {
            TMarks marks;
            TStatement statement(m_connection, marksSql, params);
            const int keys = statement.ColumnCount() - 1;
            while (statement.Step()) {
                std::vector<QVariant> values;
                for (int k = 0; k < keys; ++k) {
                    if (statement.IsNull(k))
                        values.emplace_back();
                    else if (statement.ColumnType(k) == TFieldType::Integer)
                        values.emplace_back(statement.Integer(k));
                    else
                        values.emplace_back(statement.Text(k));
                }
                marks.append({int(statement.Integer(keys)) - 1, std::move(values)});
            }
            emit m_counter->Marked(ticket, marks);
        } catch (const EError &) {
            // Without marks, pages are sought from the rows read.
        }
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

void TRecordCounter::Count(quint64 ticket, const QString &sql, const TParams &params,
                           const QString &marksSql)
{
    m_latest = ticket;
    QMetaObject::invokeMethod(
        m_worker.get(),
        [this, ticket, sql, params, marksSql] { m_worker->Run(ticket, sql, params, marksSql); },
        Qt::QueuedConnection);
}
