#include "data/ImportWalker.h"

#include "data/Database.h"
#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/ID3v2Tags.h"
#include "platform/Mp3Decoder.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>

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

// A few hundred rows per transaction, and never a write lock held for long.
constexpr int RowsPerTransaction = 256;
constexpr qint64 TransactionMs = 1000;

bool HasMp3Extension(const char *name)
{
    const size_t length = std::strlen(name);
    return length >= 4 && strncasecmp(name + length - 4, ".mp3", 4) == 0;
}

void SortWithoutCase(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

class TDirCloser
{
public:
    explicit TDirCloser(DIR *dir) : m_dir(dir) {}
    ~TDirCloser() { closedir(m_dir); }
    TDirCloser(const TDirCloser &) = delete;
    TDirCloser &operator=(const TDirCloser &) = delete;

private:
    DIR *m_dir;
};

[[noreturn]] void FolderFailed(const QString &folder, int error)
{
    throw EInOutError(QStringLiteral("Cannot read folder \"%1\". %2")
                          .arg(ReadableFileName(folder), qt_error_string(error)),
                      error);
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

TFolderListing ListFolder(const QString &Folder)
{
    TFolderListing listing;
    const QByteArray path = FileNameToBytes(Folder);
    DIR *dir = opendir(path.constData());
    if (!dir)
        FolderFailed(Folder, errno);
    TDirCloser closer(dir);
    struct stat own;
    if (fstat(dirfd(dir), &own) != 0)
        FolderFailed(Folder, errno);
    listing.Id = {quint64(own.st_dev), quint64(own.st_ino)};

    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry) {
            if (errno != 0)
                FolderFailed(Folder, errno);
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.') // hidden, and "." and ".."
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            if (fstatat(dirfd(dir), name, &target, 0) != 0)
                continue; // a broken link is neither file nor folder
            type = S_ISDIR(target.st_mode)   ? DT_DIR
                   : S_ISREG(target.st_mode) ? DT_REG
                                             : DT_FIFO; // any other kind: not to be read
        }
        if (type == DT_DIR)
            listing.Folders << FileNameFromBytes(name);
        else if (type == DT_REG && HasMp3Extension(name))
            listing.Files << FileNameFromBytes(name);
        else if (type != DT_LNK && type != DT_UNKNOWN && HasMp3Extension(name))
            ++listing.NotFiles; // reading a FIFO or a device could wait forever
    }
    SortWithoutCase(listing.Files);
    SortWithoutCase(listing.Folders);
    return listing;
}

QString ImportFileName(const QString &Folder, const QString &Name)
{
    return Folder + QLatin1Char('/') + Name;
}

QString ImportSubfolder(const QString &Folder, const QString &Name)
{
    return Folder.endsWith(QLatin1Char('/')) ? Folder + Name : Folder + QLatin1Char('/') + Name;
}

int GetSongLength(const QString &FileName)
{
    return int(MeasureLengthMs(FileName) / 1000);
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

bool TSongWriter::InsertSong(const QString &FileName, const TSongTags &Tags)
{
    const auto [path, filename] = SplitFileName(FileName);
    const QString refusal = WidthRefusal(FileName);
    if (!refusal.isEmpty())
        throw EDatabaseError(refusal);
    const TFileStatus status = FileStatus(FileName);
    const int duration = GetSongLength(FileName);
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
    BindInteger(q, m_insertIndex[2], duration);
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

TImportWalker::TImportWalker(TConnection &Connection) : m_writer(Connection) {}

void TImportWalker::ImportFolder(const QString &Folder)
{
    m_counts = {};
    m_visited.clear();
    m_stopped = false;
    m_writer.CheckWritable();
    try {
        Walk(Folder);
    } catch (...) {
        Commit();
        throw;
    }
    Commit();
}

void TImportWalker::Walk(const QString &Folder)
{
    TFolderListing listing;
    try {
        listing = ListFolder(Folder);
    } catch (const EError &e) {
        ++m_counts.FoldersUnreadable;
        Report(TImportProblemKind::FolderUnreadable, Folder, e.Message());
        return;
    }
    if (!m_visited.insert(listing.Id).second)
        return; // reached again through a link
    m_counts.Found += int(listing.Files.size());
    m_counts.NotFiles += listing.NotFiles;
    for (const QString &name : std::as_const(listing.Files)) {
        if (OnFile)
            OnFile(name);
        ImportFile(ImportFileName(Folder, name));
        ++m_counts.Done;
        if (!Continue())
            return;
    }
    for (const QString &name : std::as_const(listing.Folders)) {
        if (!Continue())
            return;
        Walk(ImportSubfolder(Folder, name));
        if (m_stopped)
            return;
    }
}

void TImportWalker::ImportFile(const QString &FileName)
{
    bool exists = false;
    try {
        exists = m_writer.SongExists(FileName);
    } catch (const EError &e) {
        Commit(); // no write lock held while the problem is shown
        Report(TImportProblemKind::ExistsCheckFailed, FileName, e.Message());
    }
    if (exists) {
        ++m_counts.Existing;
        return;
    }
    TSongTags tags;
    try {
        tags = ReadSongTags(FileName);
    } catch (const EError &e) {
        ++m_counts.Failed;
        Report(TImportProblemKind::FileUnreadable, FileName, e.Message());
        return;
    }
    try {
        if (!m_writer.InsertSong(FileName, tags)) {
            ++m_counts.Existing;
            return;
        }
    } catch (const ELibraryUnwritable &) {
        ++m_counts.Failed;
        throw;
    } catch (const EError &e) {
        ++m_counts.Failed;
        // The rows before it are made durable before anyone hears of the failure.
        Commit();
        Report(TImportProblemKind::InsertFailed, FileName, e.Message());
        return;
    }
    ++m_counts.Imported;
}

void TImportWalker::Commit()
{
    QString reason = QStringLiteral("The library undid the row after a later error");
    try {
        m_writer.Commit();
    } catch (const EError &e) {
        reason = e.Message();
    }
    for (const QString &name : m_writer.TakeLost()) {
        --m_counts.Imported;
        ++m_counts.Failed;
        Report(TImportProblemKind::InsertFailed, name, reason);
    }
}

void TImportWalker::Report(TImportProblemKind Kind, const QString &Name, const QString &Reason)
{
    if (OnProblem)
        OnProblem({Kind, Name, Reason});
}

bool TImportWalker::Continue()
{
    if (m_writer.CommitDue())
        Commit();
    if (KeepGoing && !KeepGoing())
        m_stopped = true;
    return !m_stopped;
}
