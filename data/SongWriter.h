#pragma once

#include "base/Errors.h"
#include "data/ID3v2Tags.h"
#include "data/SongRow.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>
#include <vector>

class TConnection;
class TStatement;

// Rows written per transaction, and never a write lock held for long.
constexpr int RowsPerTransaction = 256;
constexpr qint64 TransactionMs = 1000;

// Why the library cannot hold the file's folder or name, or an empty text when it can.
QString WidthRefusal(const QString &FileName);

// The library cannot take the import's rows at all (read-only, or locked by another program).
class ELibraryUnwritable : public EDatabaseError
{
public:
    using EDatabaseError::EDatabaseError;
};

// The two song statements of the import on one connection, prepared once. Inserts are
// gathered in transactions of a few hundred rows; a failed insert undoes only itself.
// The check and the insert of a file are one step under the write lock, so that imports
// running at once never add a file twice.
class TSongWriter
{
public:
    explicit TSongWriter(TConnection &Connection);
    ~TSongWriter(); // commits what is pending
    TSongWriter(const TSongWriter &) = delete;
    TSongWriter &operator=(const TSongWriter &) = delete;

    bool SongExists(const QString &FileName);
    // The file names stored in one folder (Path, with its final separator), in one statement.
    QSet<QString> SongsIn(const QString &Path);
    // Inserts the file's row with its measured length; false when another import added it
    // meanwhile. Raises when that fails, or when its folder or name is wider than the
    // library's columns; ELibraryUnwritable when the library takes no rows at all.
    bool InsertSong(const QString &FileName, const TSongTags &Tags, int Duration);
    // Raises ELibraryUnwritable when nothing could be written, before any file is measured.
    void CheckWritable();

    bool CommitDue() const;
    // Makes the pending rows durable. When that fails they are lost: see TakeLost.
    void Commit();
    // Rows that were inserted but undone since, by a failed commit or by the database
    // rolling the whole transaction back after an error.
    QStringList TakeLost();
    // Rows that were queued but found in the library when they were sent (another import added
    // them meanwhile): they count as existing, not as imported.
    QStringList TakeDuplicates();
    // Rows of a batch that the library refused when the batch went again row by row, each
    // with the library's reason; the batch's other rows are stored.
    std::vector<std::pair<QString, QString>> TakeRefused();

private:
    bool Begin();
    void LoseTransaction();
    [[noreturn]] void Failed(const EError &Error);

    TConnection &m_connection;
    std::unique_ptr<TStatement> m_exists;
    std::unique_ptr<TStatement> m_insert;
    std::unique_ptr<TStatement> m_folder;
    int m_existsPath = 0, m_existsFilename = 0;
    bool m_inTransaction = false;
    QElapsedTimer m_transactionAge;
    QStringList m_pending;
    QStringList m_lost;
    QStringList m_duplicates;

    // On a database server the rows of a transaction are sent together when it commits, so
    // that round trips do not dominate the import.
    void SendQueued();
    void SendRowByRow();
    bool m_queueRows;
    std::vector<std::pair<QString, QString>> m_refused;
    std::vector<TSongRow> m_queued;
};
