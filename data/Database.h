#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

enum class TFieldType { Integer, Text, DateTime };

// One named parameter of a statement (":name" in the text).
struct TParam {
    QString Name; // without the colon
    QVariant Value;
    TFieldType DataType = TFieldType::Text;
};

class TParams
{
public:
    // Sets a parameter's value and type, adding it when new.
    void SetValue(const QString &name, const QVariant &value, TFieldType type);
    void Clear() { m_items.clear(); }
    const std::vector<TParam> &Items() const { return m_items; }

private:
    std::vector<TParam> m_items;
};

// Joins statement lines as they are sent: each line followed by CR LF.
QString StatementText(const QStringList &lines);

// The program's one database connection. Opening never creates a missing file.
class TConnection
{
public:
    TConnection();
    ~TConnection();
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;

    // "Data Source=<file>;..." as built at start-up.
    QString ConnectionString;
    // Points the connection at a library file, whatever characters its path holds.
    void SetLibraryFile(const QString &fileName);

    void Open();
    void Close();
    bool Connected() const { return m_handle != nullptr; }
    QString FileName() const { return m_fileName; }
    // What the user should know about the library opened last (songs listed twice...).
    const QStringList &Notes() const { return m_notes; }
    sqlite3 *Handle() const;

    // Runs a statement with named parameters and no result set.
    void Execute(const QString &sql, const TParams &params = {});
    qint64 LastInsertId() const;

    void BeginTransaction(); // ends an open batch first
    void Commit();
    void Rollback();
    bool InTransaction() const;
    // True when the library file can be read but not changed.
    bool ReadOnly() const;

    // A writer that keeps its transaction open between steps that let events run (the
    // import's batches) says how to end it. Any other writer ends it first, so that no write
    // lands inside a transaction that it does not own.
    void SetOpenBatch(std::function<void()> finish) { m_finishBatch = std::move(finish); }
    void FinishOpenBatch();

    // Data Source of a connection string.
    static QString DataSourceOf(const QString &connectionString);
    static QString BuildConnectionString(const QString &programDirectory);

private:
    QString m_connectionName;
    QString m_fileName;
    QStringList m_notes;
    sqlite3 *m_handle = nullptr;
    std::function<void()> m_finishBatch;
};

// A prepared statement bound to its parameters; finalised on destruction.
class TStatement
{
public:
    TStatement(const TConnection &connection, const QString &sql, const TParams &params = {});
    ~TStatement();
    TStatement(const TStatement &) = delete;
    TStatement &operator=(const TStatement &) = delete;

    bool Step(); // true while a row is available
    sqlite3_stmt *Handle() const { return m_stmt; }
    [[noreturn]] void Fail(const QString &action) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql;
};

// One unit of work: a transaction of its own, or a savepoint inside one that is already open,
// so that a failure undoes only this unit and the caller decides about the rest. Rolled back
// unless committed.
class TTransaction
{
public:
    explicit TTransaction(TConnection &connection);
    ~TTransaction();
    TTransaction(const TTransaction &) = delete;
    TTransaction &operator=(const TTransaction &) = delete;

    void Commit();

private:
    TConnection &m_connection;
    bool m_nested;
    bool m_open = true;
};

// Creates an empty library with the project's schema; refuses an existing file.
void CreateLibrary(const QString &fileName);
