#include "data/SongWriter.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/SongRow.h"
#include "data/SqlDialect.h"

#include <utility>

namespace
{

const QStringList SongExistsLines = {
    QStringLiteral("SELECT count(*) as SongCount FROM Playlist_DB"),
    QStringLiteral("WHERE path = :path"),
    QStringLiteral("AND filename = :filename"),
};

// The widths of the Path and Filename columns, in characters.
constexpr int PathWidth = 255;
constexpr int FilenameWidth = 100;

int Characters(const QString &text)
{
    int count = 0;
    for (const QChar c : text)
        count += c.isLowSurrogate() ? 0 : 1;
    return count;
}

} // namespace

QString WidthRefusal(const QString &FileName)
{
    const TSongPlace place = SplitSongFile(FileName);
    if (Characters(place.Path) <= PathWidth && Characters(place.Filename) <= FilenameWidth)
        return {};
    return QStringLiteral("its name is longer than the library holds (%1 characters of folder, "
                          "%2 of file name)")
        .arg(PathWidth)
        .arg(FilenameWidth);
}

TSongWriter::TSongWriter(TConnection &Connection)
    : m_connection(Connection), m_queueRows(Connection.OnServer())
{
    m_exists = std::make_unique<TStatement>(Connection, StatementText(SongExistsLines));
    m_insert = std::make_unique<TStatement>(Connection, InsertSongText());
    m_folder = std::make_unique<TStatement>(
        Connection, QStringLiteral("SELECT Filename FROM Playlist_DB WHERE Path = :path"));
    m_existsPath = m_exists->Parameter(QStringLiteral("path"));
    m_existsFilename = m_exists->Parameter(QStringLiteral("filename"));
    // Bound by number in the columns' order.
    if (m_insert->Parameter(SongRowParameters().constFirst()) != 1 ||
        m_insert->Parameter(SongRowParameters().constLast()) != SongRowParameters().size())
        throw EDatabaseError(QStringLiteral("The song row's parameters are out of order"));
}

TSongWriter::~TSongWriter()
{
    try {
        Commit();
    } catch (const EError &) {
        // Nobody is left to tell; the rows are simply not there.
    }
}

QSet<QString> TSongWriter::SongsIn(const QString &Path)
{
    TStatement &q = *m_folder;
    q.Reset();
    q.Bind(q.Parameter(QStringLiteral("path")), Path);
    QSet<QString> names;
    while (q.Step())
        names.insert(q.Text(0));
    q.Reset();
    return names;
}

bool TSongWriter::SongExists(const QString &FileName)
{
    const TSongPlace place = SplitSongFile(FileName);
    TStatement &q = *m_exists;
    q.Reset();
    q.Bind(m_existsPath, place.Path);
    q.Bind(m_existsFilename, place.Filename);
    qint64 count = 0;
    try {
        count = q.Step() ? q.Integer(0) : 0;
    } catch (const EDatabaseError &e) {
        if (e.Failure() == TDatabaseFailure::ConnectionLost)
            Failed(e);
        throw;
    }
    q.Reset();
    return count > 0;
}

bool TSongWriter::InsertSong(const QString &FileName, const TSongTags &Tags, int Duration)
{
    const QString refusal = WidthRefusal(FileName);
    if (!refusal.isEmpty())
        throw EDatabaseError(refusal);
    const TFileStatus status = FileStatus(FileName);
    try {
        // Checked before outside the write lock: another import may have added it since.
        if (Begin() && SongExists(FileName))
            return false;
    } catch (const EError &e) {
        Failed(e);
    }
    const TSongRow row{FileName, Tags, Duration, status.Size, status.ModifiedMs};
    if (m_queueRows && m_inTransaction) {
        m_queued.push_back(row);
        m_pending << FileName;
        return true;
    }
    TStatement &q = *m_insert;
    q.Reset();
    BindSongRow(q, 1, row);
    try {
        q.Step();
    } catch (const EDatabaseError &e) {
        // Some errors (a full disk, an I/O error) make the database undo the whole transaction.
        if (m_inTransaction && !m_connection.InTransaction())
            LoseTransaction();
        if (e.Failure() == TDatabaseFailure::Duplicate)
            return false; // one row per file: it is there already
        Failed(e);
    }
    q.Reset();
    if (m_inTransaction)
        m_pending << FileName;
    return true;
}

void TSongWriter::CheckWritable()
{
    if (m_connection.InTransaction())
        return; // inside a transaction that is writing already
    try {
        if (m_connection.ReadOnly())
            throw EDatabaseError(QStringLiteral("it is read-only"));
        Begin();
    } catch (const EError &e) {
        Failed(e);
    }
    m_connection.SetOpenBatch({});
    m_connection.Rollback();
    m_inTransaction = false;
}

// A library that is read-only or locked takes no further row: one message, not one per file.
// Only called from within a handler of Error.
void TSongWriter::Failed(const EError &Error)
{
    const auto *databaseError = dynamic_cast<const EDatabaseError *>(&Error);
    const TDatabaseFailure failure =
        databaseError ? databaseError->Failure() : TDatabaseFailure::Other;
    const QString file = m_connection.LibraryAddress();
    if (failure == TDatabaseFailure::Busy)
        throw ELibraryUnwritable(
            QStringLiteral("The library \"%1\" is locked by another program; the import stopped. "
                           "What was imported so far is kept.")
                .arg(file));
    // A library server that went away takes no further row either.
    if (failure == TDatabaseFailure::ConnectionLost)
        throw ELibraryUnwritable(Error.Message().section(QLatin1Char('\n'), 0, 0) +
                                 QStringLiteral("; the import stopped."));
    // On a full disk every further file would fail the same way.
    if (failure == TDatabaseFailure::DiskFull)
        throw ELibraryUnwritable(
            QStringLiteral("The library \"%1\" has no room left on its disk (%2); the import "
                           "stopped. What was imported so far is kept.")
                .arg(file, Error.Message().section(QLatin1Char('\n'), 0, 0)));
    if (failure == TDatabaseFailure::ReadOnly ||
        Error.Message() == QLatin1String("it is read-only"))
        throw ELibraryUnwritable(QStringLiteral("The library \"%1\" cannot be written (%2).")
                                     .arg(file, Error.Message().section(QLatin1Char('\n'), 0, 0)));
    throw; // called from a handler: the error as it was
}

bool TSongWriter::CommitDue() const
{
    return m_inTransaction &&
           (m_pending.size() >= RowsPerTransaction || m_transactionAge.elapsed() >= TransactionMs);
}

void TSongWriter::Commit()
{
    if (!m_inTransaction)
        return;
    try {
        SendQueued();
        m_connection.Commit();
    } catch (const EError &e) {
        m_connection.Rollback();
        const auto *databaseError = dynamic_cast<const EDatabaseError *>(&e);
        const TDatabaseFailure failure =
            databaseError ? databaseError->Failure() : TDatabaseFailure::Other;
        // One row the library refuses fails the batch's one statement: the rows go again one
        // by one, and only the refused ones are left out.
        if (!m_queued.empty() &&
            (failure == TDatabaseFailure::Other || failure == TDatabaseFailure::Duplicate)) {
            SendRowByRow();
            return;
        }
        LoseTransaction();
        // A server that went away or a full disk takes no further row: the walk stops.
        if (failure == TDatabaseFailure::ConnectionLost || failure == TDatabaseFailure::DiskFull)
            Failed(e);
        throw;
    }
    m_inTransaction = false;
    m_pending.clear();
    m_connection.SetOpenBatch({});
}

void TSongWriter::SendRowByRow()
{
    std::vector<TSongRow> rows = std::exchange(m_queued, {});
    m_connection.SetOpenBatch({});
    try {
        m_connection.BeginTransaction();
        for (TSongRow &row : rows) {
            m_queued = {row};
            TTransaction unit(m_connection);
            try {
                SendQueued();
                unit.Commit();
            } catch (const EDatabaseError &e) {
                if (e.Failure() != TDatabaseFailure::Other &&
                    e.Failure() != TDatabaseFailure::Duplicate)
                    throw;
                // The server's own reason, without the statement.
                m_refused.push_back({row.File, e.Message().section(QLatin1Char('\n'), 0, 0)});
                m_pending.removeOne(row.File);
            }
        }
        m_queued.clear();
        m_connection.Commit();
    } catch (const EError &e) {
        m_connection.Rollback();
        LoseTransaction();
        Failed(e);
    }
    m_inTransaction = false;
    m_pending.clear();
}

QStringList TSongWriter::TakeLost()
{
    return std::exchange(m_lost, {});
}

QStringList TSongWriter::TakeDuplicates()
{
    return std::exchange(m_duplicates, {});
}

std::vector<std::pair<QString, QString>> TSongWriter::TakeRefused()
{
    return std::exchange(m_refused, {});
}

// One statement for the queued rows; a row that is there already is skipped, and the rows it
// gives back are the ones stored.
void TSongWriter::SendQueued()
{
    if (m_queued.empty())
        return;
    const TRowsInsert insert =
        RowsInsert(QStringLiteral("Playlist_DB"), SongRowColumns(), int(m_queued.size()),
                   {QStringLiteral("Path"), QStringLiteral("Filename")});
    TStatement q(m_connection, insert.Text);
    insert.CheckNumbering(q);
    int index = 1;
    for (const TSongRow &row : m_queued) {
        BindSongRow(q, index, row);
        index += insert.Columns;
    }
    QSet<QString> stored;
    while (q.Step())
        stored.insert(JoinSongFile(q.Text(0), q.Text(1)));
    for (const TSongRow &row : m_queued) {
        if (!stored.contains(row.File))
            m_duplicates << row.File;
    }
    m_queued.clear();
}

bool TSongWriter::Begin()
{
    // Inside someone else's transaction each row simply joins it.
    if (m_inTransaction || m_connection.InTransaction())
        return false;
    m_connection.BeginTransaction();
    m_inTransaction = true;
    m_transactionAge.start();
    // Another writer on this connection (playback storing a duration) ends the batch first.
    m_connection.SetOpenBatch([this] {
        try {
            Commit();
        } catch (const EError &) {
            // The rows went to TakeLost; the walk reports them.
        }
    });
    return true;
}

void TSongWriter::LoseTransaction()
{
    m_lost += m_pending;
    m_pending.clear();
    m_queued.clear();
    m_inTransaction = false;
    m_connection.SetOpenBatch({});
}
