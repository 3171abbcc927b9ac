#include "data/SqliteEngine.h"

#include "base/Errors.h"
#include "base/FileNames.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

extern const char *const LibrarySchemaSql; // generated from schema.sql

namespace
{

TDatabaseFailure FailureOf(int extendedCode, int systemError = 0)
{
    // A write that found no room can also come back as an I/O error.
    if ((extendedCode & 0xff) == SQLITE_IOERR &&
        (systemError == ENOSPC || systemError == EDQUOT || systemError == EFBIG))
        return TDatabaseFailure::DiskFull;
    switch (extendedCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return TDatabaseFailure::Busy;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return TDatabaseFailure::ReadOnly;
    case SQLITE_FULL:
        return TDatabaseFailure::DiskFull;
    default:
        break;
    }
    if (extendedCode == SQLITE_CONSTRAINT_UNIQUE || extendedCode == SQLITE_CONSTRAINT_PRIMARYKEY)
        return TDatabaseFailure::Duplicate;
    return TDatabaseFailure::Other;
}

[[noreturn]] void Fail(sqlite3 *db, const QString &sql)
{
    throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)) + QStringLiteral("\nStatement: ") +
                             sql.trimmed(),
                         FailureOf(sqlite3_extended_errcode(db), sqlite3_system_errno(db)));
}

class TSqliteStatement : public TEngineStatement
{
public:
    TSqliteStatement(sqlite3 *db, const QString &sql) : m_db(db), m_sql(sql)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) !=
            SQLITE_OK)
            Fail(m_db, m_sql);
        if (!m_stmt)
            throw EDatabaseError(QStringLiteral("Empty statement"));
    }
    ~TSqliteStatement() override { sqlite3_finalize(m_stmt); }

    int Parameter(const QByteArray &name) const override
    {
        return sqlite3_bind_parameter_index(m_stmt, name.constData());
    }
    void BindNull(int index) override { Check(sqlite3_bind_null(m_stmt, index)); }
    void BindInteger(int index, qint64 value) override
    {
        Check(sqlite3_bind_int64(m_stmt, index, value));
    }
    void BindText(int index, const QByteArray &utf8) override
    {
        Check(
            sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
    }

    bool Step() override
    {
        const int rc = sqlite3_step(m_stmt);
        m_hasRow = rc == SQLITE_ROW;
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        // The error is read before the reset, which would replace it.
        try {
            Fail(m_db, m_sql);
        } catch (...) {
            sqlite3_reset(m_stmt);
            throw;
        }
    }
    void Reset() override
    {
        sqlite3_reset(m_stmt);
        m_hasRow = false;
    }

    int ColumnCount() const override { return sqlite3_column_count(m_stmt); }
    QString ColumnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
    }
    TFieldType ColumnType(int column) const override
    {
        if (const char *declared = sqlite3_column_decltype(m_stmt, column)) {
            const QByteArray d = QByteArray(declared).toUpper();
            if (d.contains("INT"))
                return TFieldType::Integer;
            if (d.contains("DATE") || d.contains("TIME"))
                return TFieldType::DateTime;
            if (d.contains("CHAR") || d.contains("TEXT") || d.contains("CLOB"))
                return TFieldType::Text;
        }
        const int type = m_hasRow ? sqlite3_column_type(m_stmt, column) : SQLITE_NULL;
        return type == SQLITE_TEXT || type == SQLITE_BLOB ? TFieldType::Text : TFieldType::Integer;
    }
    bool IsNull(int column) const override
    {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }
    qint64 Integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    std::string_view Utf8(int column) const override
    {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return text ? std::string_view(text, size_t(sqlite3_column_bytes(m_stmt, column)))
                    : std::string_view();
    }

private:
    void Check(int rc) const
    {
        if (rc != SQLITE_OK)
            Fail(m_db, m_sql);
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql;
    bool m_hasRow = false;
};

class TSqliteEngine : public TEngine
{
public:
    explicit TSqliteEngine(sqlite3 *db) : m_db(db) {}
    ~TSqliteEngine() override
    {
        // A transaction left open (an error before its commit) is undone.
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        // A statement still held elsewhere keeps the connection until it is finalized.
        sqlite3_close_v2(m_db);
    }

    std::unique_ptr<TEngineStatement> Prepare(const QString &sql) override
    {
        return std::make_unique<TSqliteStatement>(m_db, sql);
    }
    void ExecuteScript(const QString &sql) override
    {
        char *message = nullptr;
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
        if (rc == SQLITE_OK)
            return;
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        throw EDatabaseError(text + QStringLiteral("\nStatement: ") + sql.trimmed(),
                             FailureOf(sqlite3_extended_errcode(m_db), sqlite3_system_errno(m_db)));
    }
    qint64 LastInsertId() const override { return sqlite3_last_insert_rowid(m_db); }
    int Changes() const override { return sqlite3_changes(m_db); }
    bool InTransaction() const override { return !sqlite3_get_autocommit(m_db); }
    bool ReadOnly() const override { return sqlite3_db_readonly(m_db, "main") == 1; }
    // Takes the write lock at once: a busy library fails here, not halfway through.
    QString BeginText() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    QString TableSelectText(const QString &table, const QString &index,
                            const QString &key) const override
    {
        return QStringLiteral("SELECT * FROM %1 INDEXED BY %2 ORDER BY %3").arg(table, index, key);
    }
    TEngineKind Kind() const override { return TEngineKind::Sqlite; }

private:
    sqlite3 *m_db;
};

// How a library file is opened.
enum class TOpenMode {
    Write,
    Read,          // read-only, through the write-ahead log that lies beside it
    ReadAsItStands // read-only and unchanging: no journal files are made or read
};

// The name as SQLite opens it: a URI of the name's own bytes, so that a name with stray bytes,
// or one that reads like a URI itself ("file:x.mdb"), is the file that it names.
QByteArray LibraryUri(const QString &file, TOpenMode mode)
{
    const QByteArray path = FileNameToBytes(QFileInfo(file).absoluteFilePath());
    static const char *const queries[] = {"mode=rw", "mode=ro", "mode=ro&immutable=1"};
    return "file://" + path.toPercentEncoding("/") + '?' + queries[int(mode)];
}

bool NotPermitted(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// A library that this process may not write, or whose folder it may not write (so that no
// journal can be made beside it), is only read. With no write-ahead log beside it, it is read
// as it stands: reading it then leaves no -wal or -shm files behind.
TOpenMode OpenModeOf(const QString &file)
{
    const QByteArray path = FileNameToBytes(file);
    const bool fileWritable = access(path.constData(), W_OK) == 0;
    if (!fileWritable && !NotPermitted(errno))
        return TOpenMode::Write; // missing or unreachable: opening says why
    const QByteArray folder = FileNameToBytes(QFileInfo(file).absolutePath());
    const bool folderWritable = access(folder.constData(), W_OK) == 0;
    if (fileWritable && folderWritable)
        return TOpenMode::Write;
    if (access((path + "-wal").constData(), F_OK) != 0)
        return TOpenMode::ReadAsItStands;
    return fileWritable ? TOpenMode::Write : TOpenMode::Read;
}

// Lays out the schema in an empty file; the error's text, or empty.
QString LayOut(const QString &file)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(LibraryUri(file, TOpenMode::Write).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
    QString error;
    if (rc == SQLITE_OK) {
        char *message = nullptr;
        rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, &message);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, LibrarySchemaSql, nullptr, nullptr, &message);
        if (rc != SQLITE_OK)
            error = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
    } else {
        error = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
    }
    if (sqlite3_close(db) != SQLITE_OK && error.isEmpty())
        error = QString::fromUtf8(sqlite3_errmsg(db));
    return error;
}

void RemoveLibraryFiles(const QString &file)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        RemoveFile(file + QLatin1String(suffix));
}

} // namespace

std::unique_ptr<TEngine> OpenSqliteLibrary(const QString &file)
{
    // mode=rw in the name: a missing file is an error instead of a new, empty library.
    const QByteArray uri = LibraryUri(file, OpenModeOf(file));
    sqlite3 *handle = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &handle,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI |
                                       SQLITE_OPEN_PRIVATECACHE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
        sqlite3_close(handle);
        throw EDatabaseError(
            QStringLiteral("Cannot open the library \"%1\": Error opening database %2")
                .arg(file, reason.trimmed()));
    }
    sqlite3_busy_timeout(handle, 5000);
    sqlite3_extended_result_codes(handle, 1);
    auto engine = std::make_unique<TSqliteEngine>(handle);
    // A file that is not a library fails here rather than at the first statement.
    try {
        {
            auto check = engine->Prepare(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            check->Step();
        }
        engine->ExecuteScript(QStringLiteral("PRAGMA synchronous = NORMAL"));
    } catch (const EError &e) {
        throw EDatabaseError(
            QStringLiteral("Cannot open the library \"%1\": %2").arg(file, e.Message()));
    }
    return engine;
}

// Built under a name of its own beside the target and moved into place in one step that never
// replaces a file: whoever opens the name meets a whole library or none, and of several
// processes creating it at once exactly one succeeds.
void CreateSqliteLibrary(const QString &fileName)
{
    const auto refuse = [&fileName] {
        return EDatabaseError(
            QStringLiteral("\"%1\" already exists; it is not replaced").arg(fileName));
    };
    const auto fail = [&fileName](const QString &reason) {
        return EDatabaseError(QStringLiteral("Cannot create \"%1\": %2").arg(fileName, reason));
    };
    const TFileStatus status = FileStatus(fileName);
    if (status.Exists || status.IsLink)
        throw refuse();
    const QString folder = QFileInfo(fileName).absolutePath() + QLatin1Char('/');
    QString building;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        building =
            folder + QStringLiteral(".quillmere-%1.new")
                         .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
        fd = ::open(FileNameToBytes(building).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    0644);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw fail(FileErrorText(errno));
    ::close(fd);
    const QString error = LayOut(building);
    if (!error.isEmpty()) {
        RemoveLibraryFiles(building);
        throw fail(error);
    }
    if (!RenameNoReplace(building, fileName)) {
        int reason = errno;
        // A file system without hard links (FAT on a portable drive): a plain move, unless the
        // name was taken meanwhile.
        if (reason == EPERM || reason == EOPNOTSUPP) {
            const TFileStatus taken = FileStatus(fileName);
            if (!taken.Exists && !taken.IsLink &&
                ::rename(FileNameToBytes(building).constData(),
                         FileNameToBytes(fileName).constData()) == 0)
                return;
            reason = taken.Exists || taken.IsLink ? EEXIST : errno;
        }
        RemoveLibraryFiles(building);
        if (reason == EEXIST)
            throw refuse();
        throw fail(FileErrorText(reason));
    }
}
