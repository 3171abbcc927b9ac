#include "data/Database.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/LibrarySchema.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <cerrno>
#include <sqlite3.h>
#include <unistd.h>
#include <utility>

extern const char *const LibrarySchemaSql; // generated from schema.sql

void TParams::SetValue(const QString &name, const QVariant &value, TFieldType type)
{
    for (TParam &p : m_items) {
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0) {
            p.Value = value;
            p.DataType = type;
            return;
        }
    }
    m_items.push_back({name, value, type});
}

QString StatementText(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

static QString SqliteText(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

TConnection::TConnection()
{
    static QAtomicInt counter;
    m_connectionName = QStringLiteral("QuillmereDB%1").arg(counter.fetchAndAddRelaxed(1));
}

TConnection::~TConnection()
{
    Close();
}

static const QString DataSourceKey = QStringLiteral("Data Source=");
static const QString ConnectionTail = QStringLiteral(";Persist Security Info=False");

// A path may hold ";", so the data source runs to the known tail, not to the next ";".
QString TConnection::DataSourceOf(const QString &connectionString)
{
    const qsizetype start = connectionString.indexOf(DataSourceKey, 0, Qt::CaseInsensitive);
    if (start < 0)
        return {};
    const QString rest = connectionString.mid(start + DataSourceKey.size());
    return rest.endsWith(ConnectionTail, Qt::CaseInsensitive) ? rest.chopped(ConnectionTail.size())
                                                              : rest;
}

QString TConnection::BuildConnectionString(const QString &programDirectory)
{
    return QStringLiteral("Provider=SQLite;") + DataSourceKey + programDirectory +
           QStringLiteral("quillmeredb.mdb") + ConnectionTail;
}

void TConnection::SetLibraryFile(const QString &fileName)
{
    ConnectionString =
        QStringLiteral("Provider=SQLite;") + DataSourceKey + fileName + ConnectionTail;
}

// A library that this process may not write, with no write-ahead log beside it, is read as it
// stands: reading it then leaves no -wal or -shm files behind.
static bool ReadAsItStands(const QString &file)
{
    const QByteArray path = FileNameToBytes(file);
    if (access(path.constData(), W_OK) == 0 ||
        (errno != EACCES && errno != EPERM && errno != EROFS))
        return false;
    return access((path + "-wal").constData(), F_OK) != 0;
}

void TConnection::Open()
{
    Close();
    m_notes.clear();
    const QString file = DataSourceOf(ConnectionString);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        // mode=rw: a missing file is an error instead of a new, empty library.
        QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
        url.setQuery(ReadAsItStands(file) ? QStringLiteral("mode=ro&immutable=1")
                                          : QStringLiteral("mode=rw"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            const QString reason =
                db.lastError().driverText() + QLatin1Char(' ') + db.lastError().databaseText();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw EDatabaseError(
                QStringLiteral("Cannot open the library \"%1\": %2").arg(file, reason.trimmed()));
        }
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_handle = *static_cast<sqlite3 *const *>(handle.constData());
    }
    m_fileName = file;
    if (!m_handle) {
        Close();
        throw EDatabaseError(QStringLiteral("The SQLite driver gives no connection handle"));
    }
    // A file that is not a library fails here rather than at the first statement.
    try {
        {
            TStatement check(*this, QStringLiteral("SELECT count(*) FROM sqlite_master"));
            check.Step();
        }
        Execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
        m_notes = UpgradeLibrary(*this);
    } catch (const EError &e) {
        Close();
        throw EDatabaseError(
            QStringLiteral("Cannot open the library \"%1\": %2").arg(file, e.Message()));
    }
}

void TConnection::Close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    m_handle = nullptr;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

sqlite3 *TConnection::Handle() const
{
    if (!m_handle)
        throw EDatabaseError(QStringLiteral("The library is not open"));
    return m_handle;
}

void TConnection::Execute(const QString &sql, const TParams &params)
{
    TStatement statement(*this, sql, params);
    while (statement.Step()) {
    }
}

qint64 TConnection::LastInsertId() const
{
    return sqlite3_last_insert_rowid(Handle());
}

void TConnection::FinishOpenBatch()
{
    if (const std::function<void()> finish = std::exchange(m_finishBatch, {}))
        finish();
}

void TConnection::BeginTransaction()
{
    FinishOpenBatch();
    Execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void TConnection::Commit()
{
    Execute(QStringLiteral("COMMIT"));
}

void TConnection::Rollback()
{
    if (m_handle && !sqlite3_get_autocommit(m_handle))
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool TConnection::InTransaction() const
{
    return m_handle && !sqlite3_get_autocommit(m_handle);
}

bool TConnection::ReadOnly() const
{
    return sqlite3_db_readonly(Handle(), "main") == 1;
}

TTransaction::TTransaction(TConnection &connection)
    : m_connection(connection), m_nested(connection.InTransaction())
{
    m_connection.Execute(m_nested ? QStringLiteral("SAVEPOINT unit")
                                  : QStringLiteral("BEGIN IMMEDIATE"));
}

TTransaction::~TTransaction()
{
    if (!m_open)
        return;
    if (!m_nested) {
        m_connection.Rollback();
        return;
    }
    // Errors such as a full disk may have ended the whole transaction already.
    if (m_connection.InTransaction())
        sqlite3_exec(m_connection.Handle(), "ROLLBACK TO unit; RELEASE unit", nullptr, nullptr,
                     nullptr);
}

void TTransaction::Commit()
{
    m_connection.Execute(m_nested ? QStringLiteral("RELEASE unit") : QStringLiteral("COMMIT"));
    m_open = false;
}

TStatement::TStatement(const TConnection &connection, const QString &sql, const TParams &params)
    : m_db(connection.Handle()), m_sql(sql)
{
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK)
        Fail(QStringLiteral("prepare"));
    if (!m_stmt)
        throw EDatabaseError(QStringLiteral("Empty statement"));
    for (const TParam &p : params.Items()) {
        const QByteArray name = ':' + p.Name.toUtf8();
        const int index = sqlite3_bind_parameter_index(m_stmt, name.constData());
        if (index == 0)
            throw EDatabaseError(
                QStringLiteral("Parameter %1 not found in: %2").arg(p.Name, m_sql));
        int rc;
        if (p.Value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, index);
        } else if (p.DataType == TFieldType::Integer) {
            bool ok = false;
            const qint64 v = p.Value.toLongLong(&ok);
            if (!ok)
                throw EDatabaseError(
                    QStringLiteral("\"%1\" is not a valid integer value").arg(p.Value.toString()));
            rc = sqlite3_bind_int64(m_stmt, index, v);
        } else {
            QString value = p.Value.toString();
            if (p.DataType == TFieldType::DateTime)
                value = p.Value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            const QByteArray utf8 = value.toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()),
                                   SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            Fail(QStringLiteral("bind"));
    }
}

TStatement::~TStatement()
{
    sqlite3_finalize(m_stmt);
}

bool TStatement::Step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Fail(QStringLiteral("run"));
}

void TStatement::Fail(const QString &action) const
{
    Q_UNUSED(action);
    throw EDatabaseError(SqliteText(m_db) + QStringLiteral("\nStatement: ") + m_sql.trimmed());
}

void CreateLibrary(const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        throw EDatabaseError(
            QStringLiteral("\"%1\" already exists; it is not replaced").arg(fileName));
    sqlite3 *db = nullptr;
    const QByteArray name = QFile::encodeName(fileName);
    int rc =
        sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
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
    sqlite3_close(db);
    if (!error.isEmpty()) {
        QFile::remove(fileName);
        throw EDatabaseError(QStringLiteral("Cannot create \"%1\": %2").arg(fileName, error));
    }
}
