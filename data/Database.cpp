#include "data/Database.h"

#include "base/Errors.h"
#include "data/Engine.h"
#include "data/LibrarySchema.h"
#include "data/PostgresEngine.h"
#include "data/SqliteEngine.h"

#include <QDateTime>
#include <utility>

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

QString IdListText(const QList<qint64> &ids)
{
    QStringList texts;
    texts.reserve(ids.size());
    for (const qint64 id : ids)
        texts << QString::number(id);
    return QLatin1Char('[') + texts.join(QLatin1Char(',')) + QLatin1Char(']');
}

TConnection::TConnection() = default;

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

void TConnection::SetLibraryAddress(const QString &address)
{
    ConnectionString =
        QStringLiteral("Provider=SQLite;") + DataSourceKey + address + ConnectionTail;
}

void TConnection::Open()
{
    Close();
    m_notes.clear();
    const QString file = DataSourceOf(ConnectionString);
    m_engine = IsServerLibrary(file) ? OpenPostgresLibrary(file) : OpenSqliteLibrary(file);
    m_address = file;
    try {
        m_notes = UpgradeLibrary(*this);
    } catch (const EError &e) {
        Close();
        throw EDatabaseError(
            QStringLiteral("Cannot open the library \"%1\": %2").arg(file, e.Message()));
    }
}

void TConnection::Close()
{
    m_engine.reset();
}

TEngine &TConnection::Engine() const
{
    if (!m_engine)
        throw EDatabaseError(QStringLiteral("The library is not open"));
    return *m_engine;
}

void TConnection::Execute(const QString &sql, const TParams &params)
{
    TStatement statement(*this, sql, params);
    while (statement.Step()) {
    }
}

void TConnection::ExecuteScript(const QString &sql)
{
    Engine().ExecuteScript(sql);
}

QString TConnection::TableSelectText(const QString &table, const QString &index,
                                     const QString &key) const
{
    return Engine().TableSelectText(table, index, key);
}

QList<qint64> TConnection::ReserveKeys(const QString &table, const QString &key, int count)
{
    return Engine().ReserveKeys(table, key, count);
}

qint64 TConnection::LastInsertId() const
{
    return Engine().LastInsertId();
}

int TConnection::Changes() const
{
    return Engine().Changes();
}

void TConnection::FinishOpenBatch()
{
    if (const std::function<void()> finish = std::exchange(m_finishBatch, {}))
        finish();
}

void TConnection::BeginTransaction()
{
    FinishOpenBatch();
    Execute(Engine().BeginText());
}

void TConnection::Commit()
{
    Execute(QStringLiteral("COMMIT"));
}

// Quiet: it runs where an error is already on its way.
void TConnection::Rollback()
{
    if (!InTransaction())
        return;
    try {
        m_engine->ExecuteScript(QStringLiteral("ROLLBACK"));
    } catch (const EError &) {
    }
}

bool TConnection::InTransaction() const
{
    return m_engine && m_engine->InTransaction();
}

bool TConnection::OnServer() const
{
    return m_engine && m_engine->Kind() == TEngineKind::Postgres;
}

bool TConnection::ReadOnly() const
{
    return Engine().ReadOnly();
}

TTransaction::TTransaction(TConnection &connection)
    : m_connection(connection), m_nested(connection.InTransaction())
{
    m_connection.Execute(m_nested ? QStringLiteral("SAVEPOINT unit")
                                  : m_connection.Engine().BeginText());
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
    if (m_connection.InTransaction()) {
        try {
            m_connection.Engine().ExecuteScript(QStringLiteral("ROLLBACK TO unit; RELEASE unit"));
        } catch (const EError &) {
        }
    }
}

void TTransaction::Commit()
{
    m_connection.Execute(m_nested ? QStringLiteral("RELEASE unit") : QStringLiteral("COMMIT"));
    m_open = false;
}

TStatement::TStatement(const TConnection &connection, const QString &sql, const TParams &params)
    : m_connection(connection), m_impl(connection.Engine().Prepare(sql)), m_sql(sql)
{
    for (const TParam &p : params.Items())
        Bound(p);
}

TStatement::~TStatement() = default;

void TStatement::Bound(const TParam &p)
{
    Bind(Parameter(p.Name), p.Value, p.DataType);
}

void TStatement::Bind(int index, const QVariant &value, TFieldType type)
{
    if (value.isNull()) {
        BindNull(index);
    } else if (type == TFieldType::Integer) {
        bool ok = false;
        const qint64 v = value.toLongLong(&ok);
        if (!ok)
            throw EDatabaseError(
                QStringLiteral("\"%1\" is not a valid integer value").arg(value.toString()));
        Bind(index, v);
    } else if (type == TFieldType::DateTime) {
        Bind(index, value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    } else {
        Bind(index, value.toString());
    }
}

int TStatement::Parameter(const QString &name) const
{
    const int index = m_impl->Parameter(':' + name.toUtf8());
    if (index == 0)
        throw EDatabaseError(QStringLiteral("Parameter %1 not found in: %2").arg(name, m_sql));
    return index;
}

void TStatement::Bind(int index, qint64 value)
{
    m_impl->BindInteger(index, value);
}

void TStatement::Bind(int index, const QString &value)
{
    m_impl->BindText(index, value.toUtf8());
}

void TStatement::BindNull(int index)
{
    m_impl->BindNull(index);
}

bool TStatement::Step()
{
    if (!m_started && m_connection.OnStatement)
        m_connection.OnStatement(m_sql);
    m_started = true;
    return m_impl->Step();
}

void TStatement::Reset()
{
    m_impl->Reset();
    m_started = false;
}

int TStatement::ColumnCount() const
{
    return m_impl->ColumnCount();
}

QString TStatement::ColumnName(int column) const
{
    return m_impl->ColumnName(column);
}

TFieldType TStatement::ColumnType(int column) const
{
    return m_impl->ColumnType(column);
}

bool TStatement::IsNull(int column) const
{
    return m_impl->IsNull(column);
}

qint64 TStatement::Integer(int column) const
{
    return m_impl->Integer(column);
}

std::optional<qint64> TStatement::OptionalInteger(int column) const
{
    if (m_impl->IsNull(column))
        return std::nullopt;
    return m_impl->Integer(column);
}

QString TStatement::Text(int column) const
{
    if (m_impl->IsNull(column))
        return QString();
    const std::string_view text = m_impl->Utf8(column);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string_view TStatement::Utf8(int column) const
{
    return m_impl->Utf8(column);
}

void CreateLibrary(const QString &fileName)
{
    if (IsServerLibrary(fileName))
        CreatePostgresLibrary(fileName);
    else
        CreateSqliteLibrary(fileName);
}
