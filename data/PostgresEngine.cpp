#include "data/PostgresEngine.h"

#include "base/Errors.h"
#include "data/LibraryNotices.h"
#include "data/LibrarySchema.h"
#include "data/SqlDialect.h"

#include <QList>
#include <charconv>
#include <libpq-fe.h>
#include <memory>
#include <optional>
#include <vector>

namespace
{

// Type numbers of PostgreSQL's own types (pg_type.oid).
constexpr Oid Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, OidOid = 26, NumericOid = 1700;
constexpr Oid DateOid = 1082, TimestampOid = 1114, TimestampTzOid = 1184;

using TResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

TResult Owned(PGresult *result)
{
    return TResult(result, &PQclear);
}

TDatabaseFailure FailureOf(const char *state)
{
    const QByteArray code(state ? state : "");
    if (code == "23505")
        return TDatabaseFailure::Duplicate;
    if (code == "40001" || code == "55P03" || code == "40P01")
        return TDatabaseFailure::Busy;
    if (code == "25006" || code == "42501")
        return TDatabaseFailure::ReadOnly;
    if (code == "53100")
        return TDatabaseFailure::DiskFull;
    if (code.startsWith("08") || code == "57P01" || code == "57P02" || code == "57P03")
        return TDatabaseFailure::ConnectionLost;
    return TDatabaseFailure::Other;
}

QString Trimmed(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

bool Succeeded(const PGresult *result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

class TPostgresEngine;

class TPostgresStatement : public TEngineStatement
{
public:
    TPostgresStatement(TPostgresEngine &engine, const QString &sql);
    ~TPostgresStatement() override;

    int Parameter(const QByteArray &name) const override
    {
        const QString plain = QString::fromUtf8(name.mid(1));
        return int(m_text.Parameters.indexOf(plain) + 1);
    }
    void BindNull(int index) override { Value(index) = std::nullopt; }
    void BindInteger(int index, qint64 value) override { Value(index) = QByteArray::number(value); }
    void BindText(int index, const QByteArray &utf8) override { Value(index) = utf8; }

    bool Step() override;
    void Reset() override
    {
        m_result.reset();
        m_row = -1;
    }

    int ColumnCount() const override { return PQnfields(Description()); }
    QString ColumnName(int column) const override
    {
        return LibraryColumnName(QString::fromUtf8(PQfname(Description(), column)));
    }
    TFieldType ColumnType(int column) const override
    {
        switch (PQftype(Description(), column)) {
        case Int2Oid:
        case Int4Oid:
        case Int8Oid:
        case OidOid:
        case NumericOid:
            return TFieldType::Integer;
        case DateOid:
        case TimestampOid:
        case TimestampTzOid:
            return TFieldType::DateTime;
        default:
            return TFieldType::Text;
        }
    }
    bool IsNull(int column) const override
    {
        return !m_result || m_row < 0 || PQgetisnull(m_result.get(), m_row, column);
    }
    qint64 Integer(int column) const override
    {
        if (IsNull(column))
            return 0;
        const std::string_view text = Utf8(column);
        qint64 value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    }
    std::string_view Utf8(int column) const override
    {
        if (IsNull(column))
            return {};
        return {PQgetvalue(m_result.get(), m_row, column),
                size_t(PQgetlength(m_result.get(), m_row, column))};
    }

private:
    std::optional<QByteArray> &Value(int index)
    {
        if (index < 1 || index > int(m_values.size()))
            throw EDatabaseError(QStringLiteral("Parameter %1 out of range in: %2")
                                     .arg(index)
                                     .arg(QString::fromUtf8(m_text.Text)));
        return m_values[size_t(index - 1)];
    }
    // The executed result, or the prepared statement's description before it runs.
    const PGresult *Description() const;
    void Prepare() const;

    TPostgresEngine &m_engine;
    TPostgresText m_text;
    std::vector<std::optional<QByteArray>> m_values;
    mutable QByteArray m_name; // prepared on the server when it runs again or is described
    mutable TResult m_description{nullptr, &PQclear};
    TResult m_result{nullptr, &PQclear};
    int m_row = -1;
    bool m_ranOnce = false;
    std::weak_ptr<int> m_engineLife;
};

class TPostgresEngine : public TEngine
{
public:
    TPostgresEngine(PGconn *connection, QString uri) : m_connection(connection), m_uri(uri) {}
    ~TPostgresEngine() override { PQfinish(m_connection); }

    std::unique_ptr<TEngineStatement> Prepare(const QString &sql) override
    {
        return std::make_unique<TPostgresStatement>(*this, sql);
    }
    void ExecuteScript(const QString &sql) override
    {
        const TPostgresText postgres = PostgresText(sql);
        const QByteArray &text = postgres.Text;
        KeepKey();
        TResult result = Checked(Owned(PQexec(m_connection, text.constData())), text);
        if (postgres.ReturnsKey)
            NoteKeys(result.get());
        for (const QByteArray &part : text.split(';'))
            Track(part);
    }
    qint64 LastInsertId() const override
    {
        if (m_lastKey)
            return *m_lastKey;
        TResult result = Owned(PQexec(m_connection, "SELECT lastval()"));
        if (!Succeeded(result.get()))
            return 0;
        return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
    }
    int Changes() const override { return m_changes; }
    bool InTransaction() const override
    {
        const PGTransactionStatusType status = PQtransactionStatus(m_connection);
        return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
    }
    bool ReadOnly() const override
    {
        TResult result = Owned(PQexec(m_connection, "SHOW transaction_read_only"));
        return Succeeded(result.get()) && PQntuples(result.get()) == 1 &&
               qstrcmp(PQgetvalue(result.get(), 0, 0), "on") == 0;
    }
    QString BeginText() const override { return QStringLiteral("BEGIN"); }
    // The server picks its own index.
    QString TableSelectText(const QString &table, const QString &,
                            const QString &key) const override
    {
        return QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, key);
    }
    TEngineKind Kind() const override { return TEngineKind::Postgres; }
    QList<qint64> ReserveKeys(const QString &table, const QString &key, int count) override
    {
        // The key's sequence; its column name is taken as written, so in lower case.
        auto keys = Prepare(QStringLiteral("SELECT nextval(pg_get_serial_sequence('%1', '%2')) "
                                           "FROM generate_series(1, %3)")
                                .arg(table, key.toLower())
                                .arg(count));
        QList<qint64> reserved;
        reserved.reserve(count);
        while (keys->Step())
            reserved << keys->Integer(0);
        return reserved;
    }

    PGconn *Connection() const { return m_connection; }
    // Ends with the engine: a statement that outlives it no longer reaches it.
    std::weak_ptr<int> Life() const { return m_life; }
    // Runs a script as it is written for PostgreSQL.
    void ExecuteRaw(const QByteArray &text)
    {
        Checked(Owned(PQexec(m_connection, text.constData())), text);
    }
    QByteArray NewName() { return "quillmere_" + QByteArray::number(++m_names); }

    // Before a COMMIT: a transaction that an error ended commits nothing on PostgreSQL, so it
    // is ended here and the COMMIT fails.
    void CheckCommit(const QByteArray &text)
    {
        if (text.trimmed().toUpper() != "COMMIT")
            return;
        if (PQtransactionStatus(m_connection) != PQTRANS_INERROR) {
            Announce(); // heard when the COMMIT succeeds, and never when it fails
            return;
        }
        Owned(PQexec(m_connection, "ROLLBACK"));
        m_savepoints = 0;
        throw EDatabaseError(QStringLiteral("An earlier error undid the transaction\nStatement: ") +
                             QString::fromUtf8(text).trimmed());
    }

    // Raises for a failed result. A failure outside every savepoint ends the transaction, as a
    // failure that undoes the whole transaction does on SQLite, so the caller's batch knows.
    TResult Checked(TResult result, const QByteArray &text)
    {
        if (result && Succeeded(result.get())) {
            const QByteArray status = PQcmdStatus(result.get());
            if (status.startsWith("INSERT") || status.startsWith("UPDATE") ||
                status.startsWith("DELETE"))
                m_changes = QByteArray(PQcmdTuples(result.get())).toInt();
            if (status.startsWith("INSERT"))
                m_lastKey.reset();
            if (m_changes > 0 && (status.startsWith("INSERT") || status.startsWith("UPDATE") ||
                                  status.startsWith("DELETE")))
                NoteWritten(text);
            return result;
        }
        if (PQstatus(m_connection) == CONNECTION_BAD || !result)
            throw EDatabaseError(
                QStringLiteral("The connection to the library \"%1\" was lost: %2")
                    .arg(m_uri, Trimmed(PQerrorMessage(m_connection)).section(u'\n', 0, 0)),
                TDatabaseFailure::ConnectionLost);
        const TDatabaseFailure failure =
            FailureOf(PQresultErrorField(result.get(), PG_DIAG_SQLSTATE));
        const QString message = Trimmed(PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY));
        if (m_savepoints == 0 && PQtransactionStatus(m_connection) == PQTRANS_INERROR)
            Owned(PQexec(m_connection, "ROLLBACK"));
        if (failure == TDatabaseFailure::ConnectionLost)
            throw EDatabaseError(QStringLiteral("The connection to the library \"%1\" was lost: %2")
                                     .arg(m_uri, message),
                                 failure);
        throw EDatabaseError(
            message + QStringLiteral("\nStatement: ") + QString::fromUtf8(text).trimmed(), failure);
    }

    // The key of the last row that an INSERT ... RETURNING added; an INSERT that added none
    // leaves the one before, as SQLite does.
    void NoteKeys(const PGresult *result)
    {
        const int rows = PQntuples(result);
        if (rows > 0)
            m_lastKey = QByteArray(PQgetvalue(result, rows - 1, 0)).toLongLong();
        else
            m_lastKey = m_keyBefore;
    }
    void KeepKey() { m_keyBefore = m_lastKey; }

    // Follows the savepoints that are open, from the statements that ran.
    void Track(const QByteArray &text)
    {
        const QByteArray statement = text.trimmed().toUpper();
        if (statement.startsWith("SAVEPOINT"))
            ++m_savepoints;
        else if (statement.startsWith("RELEASE"))
            m_savepoints = std::max(0, m_savepoints - 1);
        else if (statement.startsWith("ROLLBACK TO"))
            return;
        else if (statement.startsWith("BEGIN") || statement.startsWith("COMMIT") ||
                 statement.startsWith("ROLLBACK") || statement.startsWith("END"))
            m_savepoints = 0;
        if (statement.startsWith("BEGIN") || statement.startsWith("ROLLBACK"))
            m_written = 0;
    }

    // Other processes hear what a transaction changed when it commits, and what a statement
    // outside any transaction changed at once.
    void NoteWritten(const QByteArray &text)
    {
        m_written |= LibraryChangesOf(text);
        if (PQtransactionStatus(m_connection) == PQTRANS_IDLE)
            Announce();
    }
    void Announce()
    {
        if (m_written == 0)
            return;
        const QByteArray notice = LibraryNoticeText(std::exchange(m_written, 0));
        const char *const values[] = {LibraryNoticeChannel, notice.constData()};
        Owned(PQexecParams(m_connection, "SELECT pg_notify($1, $2)", 2, nullptr, values, nullptr,
                           nullptr, 0));
    }

    // Prepared statements no longer needed; they go when the server can take them.
    void Forget(const QByteArray &name)
    {
        m_forgotten << name;
        if (PQtransactionStatus(m_connection) == PQTRANS_INERROR ||
            PQstatus(m_connection) != CONNECTION_OK)
            return;
        for (const QByteArray &n : std::exchange(m_forgotten, {}))
            Owned(PQexec(m_connection, ("DEALLOCATE " + n).constData()));
    }

private:
    PGconn *m_connection;
    QString m_uri;
    int m_changes = 0;
    int m_written = 0; // TLibraryChange flags of the open transaction
    std::optional<qint64> m_lastKey, m_keyBefore;
    int m_names = 0;
    int m_savepoints = 0;
    QList<QByteArray> m_forgotten;
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

TPostgresStatement::TPostgresStatement(TPostgresEngine &engine, const QString &sql)
    : m_engine(engine), m_text(PostgresText(sql)), m_values(size_t(m_text.Parameters.size())),
      m_engineLife(engine.Life())
{
    if (m_text.Text.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("Empty statement"));
}

TPostgresStatement::~TPostgresStatement()
{
    m_result.reset();
    if (!m_name.isEmpty() && !m_engineLife.expired())
        m_engine.Forget(m_name);
}

void TPostgresStatement::Prepare() const
{
    if (!m_name.isEmpty())
        return;
    if (m_engineLife.expired())
        throw EDatabaseError(QStringLiteral("The library is not open"));
    const QByteArray name = m_engine.NewName();
    m_engine.Checked(Owned(PQprepare(m_engine.Connection(), name.constData(),
                                     m_text.Text.constData(), int(m_values.size()), nullptr)),
                     m_text.Text);
    m_name = name;
}

const PGresult *TPostgresStatement::Description() const
{
    if (m_result)
        return m_result.get();
    if (!m_description) {
        Prepare();
        m_description = m_engine.Checked(
            Owned(PQdescribePrepared(m_engine.Connection(), m_name.constData())), m_text.Text);
    }
    return m_description.get();
}

bool TPostgresStatement::Step()
{
    if (!m_result) {
        if (m_engineLife.expired())
            throw EDatabaseError(QStringLiteral("The library is not open"));
        m_engine.CheckCommit(m_text.Text);
        std::vector<const char *> values;
        values.reserve(m_values.size());
        for (const auto &value : m_values)
            values.push_back(value ? value->constData() : nullptr);
        const int count = int(values.size());
        // Run once, it is sent with its text; run again, it is prepared on the server.
        if (m_ranOnce)
            Prepare();
        m_engine.KeepKey();
        m_result = m_engine.Checked(
            Owned(m_name.isEmpty()
                      ? PQexecParams(m_engine.Connection(), m_text.Text.constData(), count, nullptr,
                                     values.data(), nullptr, nullptr, 0)
                      : PQexecPrepared(m_engine.Connection(), m_name.constData(), count,
                                       values.data(), nullptr, nullptr, 0)),
            m_text.Text);
        m_ranOnce = true;
        m_engine.Track(m_text.Text);
        m_row = -1;
        // The returned keys are the engine's, not rows of the statement.
        if (m_text.ReturnsKey) {
            m_engine.NoteKeys(m_result.get());
            m_row = PQntuples(m_result.get());
        }
        if (m_text.DuplicateIsSkipped && QByteArray(PQcmdTuples(m_result.get())) == "0")
            throw EDatabaseError(QStringLiteral("duplicate key value violates unique constraint "
                                                "\"playlist_db_location\"\nStatement: ") +
                                     QString::fromUtf8(m_text.Text).trimmed(),
                                 TDatabaseFailure::Duplicate);
    }
    if (m_row + 1 >= PQntuples(m_result.get()) || m_text.ReturnsKey) {
        m_row = PQntuples(m_result.get());
        return false;
    }
    ++m_row;
    return true;
}

void IgnoreNotice(void *, const char *) {}

// libpq's schemes. libpq matches them exactly; the program also takes them in capitals, as
// schemes are, and hands them on in lower case.
const QLatin1String Schemes[] = {QLatin1String("postgresql://"), QLatin1String("postgres://")};

qsizetype SchemeLength(const QString &address)
{
    for (const QLatin1String scheme : Schemes) {
        if (address.startsWith(scheme, Qt::CaseInsensitive))
            return scheme.size();
    }
    return 0;
}

// The address as libpq is given it: without surrounding blanks, its scheme in lower case.
QByteArray LibpqAddress(const QString &uri)
{
    const QString address = uri.trimmed();
    const qsizetype scheme = SchemeLength(address);
    return (address.left(scheme).toLower() + address.mid(scheme)).toUtf8();
}

// True when a connection string holds a password in any form libpq reads: "user:password@"
// (a ":" there, also percent-encoded or before nothing), a "password" parameter (even an empty
// one), or another connection string given as the database's name. A string libpq cannot read sets
// the reason, told without any of the string's own text.
bool HoldsPassword(const QByteArray &conninfo, QString &invalid)
{
    // libpq takes what comes before the first "@" ahead of the first "/" as user and password.
    if (conninfo.startsWith("postgresql://") || conninfo.startsWith("postgres://")) {
        const QByteArray rest = conninfo.mid(conninfo.indexOf("://") + 3);
        for (const char c : rest) {
            if (c == '/')
                break;
            if (c == '@') {
                if (QByteArray::fromPercentEncoding(rest.left(rest.indexOf('@'))).contains(':'))
                    return true;
                break;
            }
        }
    }
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.constData(), &error);
    if (!options) {
        // libpq quotes the string, or a piece of it, after its reason.
        invalid = Trimmed(error).section(u'"', 0, 0).trimmed();
        if (invalid.endsWith(u':'))
            invalid.chop(1);
        if (invalid.isEmpty())
            invalid = QStringLiteral("libpq cannot read it");
        PQfreemem(error);
        return false;
    }
    bool password = false;
    QByteArray database;
    for (PQconninfoOption *option = options; option->keyword; ++option) {
        if (qstrcmp(option->keyword, "password") == 0 && option->val)
            password = true;
        if (qstrcmp(option->keyword, "dbname") == 0 && option->val)
            database = option->val;
    }
    PQconninfoFree(options);
    if (password)
        return true;
    QString ignored;
    const bool nested = database.startsWith("postgresql://") ||
                        database.startsWith("postgres://") || database.contains('=');
    return nested && HoldsPassword(database, ignored);
}

PGconn *Connect(const QString &uri)
{
    CheckServerAddress(uri);
    const QByteArray address = LibpqAddress(uri);
    // The address may set its own connect_timeout; texts always travel as UTF-8.
    const char *const keywords[] = {"connect_timeout", "dbname", "client_encoding",
                                    "fallback_application_name", nullptr};
    const char *const values[] = {"10", address.constData(), "UTF8", "quillmere", nullptr};
    PGconn *connection = PQconnectdbParams(keywords, values, 1);
    if (!connection)
        throw EDatabaseError(
            QStringLiteral("Cannot open the library \"%1\": out of memory").arg(uri),
            TDatabaseFailure::ConnectionLost);
    if (PQstatus(connection) != CONNECTION_OK) {
        const QString reason = Trimmed(PQerrorMessage(connection)).section(u'\n', 0, 0);
        PQfinish(connection);
        throw EDatabaseError(QStringLiteral("Cannot reach the library \"%1\": %2").arg(uri, reason),
                             TDatabaseFailure::ConnectionLost);
    }
    PQsetNoticeProcessor(connection, IgnoreNotice, nullptr);
    // Tag texts and file names go in as they are: a database of another encoding would refuse
    // some of them, or store them changed.
    const QString encoding = Trimmed(PQparameterStatus(connection, "server_encoding"));
    if (encoding != QLatin1String("UTF8")) {
        PQfinish(connection);
        throw EDatabaseError(
            QStringLiteral("The database of the library \"%1\" uses the encoding %2; a library "
                           "needs a UTF-8 database (create it with ENCODING 'UTF8').")
                .arg(uri, encoding.isEmpty() ? QStringLiteral("(unknown)") : encoding));
    }
    // Dates as the program writes and reads them, and literals as it quotes them (a quote
    // doubled, a backslash as it is), whatever the server's defaults.
    const TResult settings = Owned(
        PQexec(connection, "SET DateStyle = 'ISO, YMD'; SET standard_conforming_strings = on"));
    if (!settings || !Succeeded(settings.get())) {
        const QString reason = Trimmed(PQerrorMessage(connection)).section(u'\n', 0, 0);
        PQfinish(connection);
        throw EDatabaseError(QStringLiteral("Cannot open the library \"%1\": %2").arg(uri, reason));
    }
    return connection;
}

} // namespace

bool IsServerLibrary(const QString &dataSource)
{
    return SchemeLength(dataSource.trimmed()) > 0;
}

void CheckServerAddress(const QString &uri)
{
    // No message here repeats the address: it may hold a password.
    QString invalid;
    if (HoldsPassword(LibpqAddress(uri), invalid))
        throw EDatabaseError(QStringLiteral(
            "The library address holds a password; it is refused. Give the password through "
            "~/.pgpass, PGPASSWORD or a PGSERVICE entry instead."));
    if (!invalid.isEmpty())
        throw EDatabaseError(QStringLiteral("The library address is not valid: %1").arg(invalid));
}

std::unique_ptr<TEngine> OpenPostgresLibrary(const QString &uri)
{
    return std::make_unique<TPostgresEngine>(Connect(uri), uri);
}

void CreatePostgresLibrary(const QString &uri)
{
    TPostgresEngine engine(Connect(uri), uri);
    auto tables = engine.Prepare(QStringLiteral(
        "SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = current_schema() AND "
        "tablename IN ('playlist_db', 'playlists', 'playlist_songs')"));
    if (tables->Step() && tables->Integer(0) > 0)
        throw EDatabaseError(
            QStringLiteral("\"%1\" already holds a library; it is not replaced").arg(uri));
    try {
        engine.ExecuteRaw(QByteArray("BEGIN;\n") + PostgresSchemaSql + PostgresSearchKeysSql +
                          QStringLiteral("COMMENT ON TABLE Playlist_DB IS '%1';\nCOMMIT")
                              .arg(PostgresLayoutComment(ServerLayoutVersion))
                              .toUtf8());
    } catch (const EError &e) {
        Owned(PQexec(engine.Connection(), "ROLLBACK"));
        throw EDatabaseError(QStringLiteral("Cannot create \"%1\": %2").arg(uri, e.Message()));
    }
}
