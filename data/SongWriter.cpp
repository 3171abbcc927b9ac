#include "data/SongWriter.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"

#include <sqlite3.h>
#include <utility>

namespace
{

const QStringList SongExistsLines = {
    QStringLiteral("SELECT count(*) as SongCount FROM Playlist_DB"),
    QStringLiteral("WHERE path = :path"),
    QStringLiteral("AND filename = :filename"),
};

const QStringList InsertSongLines = {
    QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, ID3_Title, "
                   "ID3_Artist, ID3_Genre, ID3_Comment, ID3_Album, ID3_Year, ID3_Track, "
                   "File_Size, File_Modified)"),
    QStringLiteral("VALUES(:path, :filename, :duration, :filetype, :id3title, :id3artist, "
                   ":id3genre, :id3comment, :id3album, :id3year, :id3track, :filesize, "
                   ":filemodified)"),
};

const char *const InsertParameters[13] = {
    ":path",       ":filename", ":duration", ":filetype", ":id3title", ":id3artist",   ":id3genre",
    ":id3comment", ":id3album", ":id3year",  ":id3track", ":filesize", ":filemodified"};

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

int ParameterIndex(const TStatement &statement, const char *name)
{
    const int index = sqlite3_bind_parameter_index(statement.Handle(), name);
    if (index == 0)
        throw EDatabaseError(QStringLiteral("Parameter %1 not found").arg(QLatin1String(name)));
    return index;
}

void BindText(const TStatement &statement, int index, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text(statement.Handle(), index, utf8.constData(), int(utf8.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        statement.Fail(QStringLiteral("bind"));
}

void BindInteger(const TStatement &statement, int index, qint64 value)
{
    if (sqlite3_bind_int64(statement.Handle(), index, value) != SQLITE_OK)
        statement.Fail(QStringLiteral("bind"));
}

// Folder part with its final separator, and the name.
std::pair<QString, QString> SplitFileName(const QString &fileName)
{
    const qsizetype cut = fileName.lastIndexOf(QLatin1Char('/')) + 1;
    return {fileName.left(cut), fileName.mid(cut)};
}

} // namespace

QString WidthRefusal(const QString &FileName)
{
    const auto [path, filename] = SplitFileName(FileName);
    if (Characters(path) <= PathWidth && Characters(filename) <= FilenameWidth)
        return {};
    return QStringLiteral("its name is longer than the library holds (%1 characters of folder, "
                          "%2 of file name)")
        .arg(PathWidth)
        .arg(FilenameWidth);
}

TSongWriter::TSongWriter(TConnection &Connection) : m_connection(Connection)
{
    m_exists = std::make_unique<TStatement>(Connection, StatementText(SongExistsLines));
    m_insert = std::make_unique<TStatement>(Connection, StatementText(InsertSongLines));
    m_existsPath = ParameterIndex(*m_exists, ":path");
    m_existsFilename = ParameterIndex(*m_exists, ":filename");
    for (int i = 0; i < 13; ++i)
        m_insertIndex[i] = ParameterIndex(*m_insert, InsertParameters[i]);
}

TSongWriter::~TSongWriter()
{
    try {
        Commit();
    } catch (const EError &) {
        // Nobody is left to tell; the rows are simply not there.
    }
}

bool TSongWriter::SongExists(const QString &FileName)
{
    const auto [path, filename] = SplitFileName(FileName);
    sqlite3_stmt *s = m_exists->Handle();
    sqlite3_reset(s); // a failed run left it unreset; its error was raised then
    BindText(*m_exists, m_existsPath, path);
    BindText(*m_exists, m_existsFilename, filename);
    int count = 0;
    try {
        if (m_exists->Step())
            count = sqlite3_column_int(s, 0);
    } catch (const EError &) {
        sqlite3_reset(s);
        throw;
    }
    sqlite3_reset(s);
    return count > 0;
}

bool TSongWriter::InsertSong(const QString &FileName, const TSongTags &Tags, int Duration)
{
    const auto [path, filename] = SplitFileName(FileName);
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
    const TStatement &q = *m_insert;
    sqlite3_reset(q.Handle());
    BindText(q, m_insertIndex[0], path);
    BindText(q, m_insertIndex[1], filename);
    BindInteger(q, m_insertIndex[2], Duration);
    BindInteger(q, m_insertIndex[3], 1);
    BindText(q, m_insertIndex[4], Tags.Title);
    BindText(q, m_insertIndex[5], Tags.Artist);
    BindInteger(q, m_insertIndex[6], Tags.Genre);
    BindText(q, m_insertIndex[7], Tags.Comment);
    BindText(q, m_insertIndex[8], Tags.Album);
    BindInteger(q, m_insertIndex[9], Tags.Year);
    BindInteger(q, m_insertIndex[10], Tags.Track);
    BindInteger(q, m_insertIndex[11], status.Size);
    BindInteger(q, m_insertIndex[12], status.ModifiedMs);
    try {
        m_insert->Step();
    } catch (const EError &e) {
        const int code = sqlite3_extended_errcode(m_connection.Handle());
        sqlite3_reset(q.Handle());
        // Some errors (a full disk, an I/O error) make SQLite undo the whole transaction.
        if (m_inTransaction && sqlite3_get_autocommit(m_connection.Handle()))
            LoseTransaction();
        if (code == SQLITE_CONSTRAINT_UNIQUE)
            return false; // one row per file: it is there already
        Failed(e);
    }
    sqlite3_reset(q.Handle());
    if (m_inTransaction)
        m_pending << FileName;
    return true;
}

void TSongWriter::CheckWritable()
{
    if (!sqlite3_get_autocommit(m_connection.Handle()))
        return; // inside a transaction that is writing already
    try {
        if (sqlite3_db_readonly(m_connection.Handle(), "main") == 1)
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
    const int code = sqlite3_errcode(m_connection.Handle());
    const QString file = m_connection.FileName();
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        throw ELibraryUnwritable(
            QStringLiteral("The library \"%1\" is locked by another program; the import stopped. "
                           "What was imported so far is kept.")
                .arg(file));
    if (code == SQLITE_READONLY || code == SQLITE_CANTOPEN || code == SQLITE_PERM ||
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
        m_connection.Commit();
    } catch (const EError &) {
        m_connection.Rollback();
        LoseTransaction();
        throw;
    }
    m_inTransaction = false;
    m_pending.clear();
    m_connection.SetOpenBatch({});
}

QStringList TSongWriter::TakeLost()
{
    return std::exchange(m_lost, {});
}

bool TSongWriter::Begin()
{
    // Inside someone else's transaction each row simply joins it.
    if (m_inTransaction || !sqlite3_get_autocommit(m_connection.Handle()))
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
    m_inTransaction = false;
    m_connection.SetOpenBatch({});
}
