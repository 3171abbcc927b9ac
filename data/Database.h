#pragma once

#include "data/FieldType.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class TEngine;
class TEngineStatement;

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

// Ids as one text parameter, a JSON array, for "IN (SELECT value FROM json_each(:ids))".
QString IdListText(const QList<qint64> &ids);

// The program's one way to its database: every statement runs through a connection, whatever
// engine is behind it. Opening never creates a missing library.
class TConnection
{
public:
    TConnection();
    ~TConnection();
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;

    // "Data Source=<file>;..." as built at start-up.
    QString ConnectionString;
    // Points the connection at a library: a file, whatever characters its path holds, or a
    // PostgreSQL server's address.
    void SetLibraryAddress(const QString &address);

    void Open();
    void Close();
    bool Connected() const { return m_engine != nullptr; }
    // The library file or server address opened last.
    QString LibraryAddress() const { return m_address; }
    // What the user should know about the library opened last (songs listed twice...).
    const QStringList &Notes() const { return m_notes; }

    // Hears of every statement as it starts to run.
    std::function<void(const QString &sql)> OnStatement;

    // Runs a statement with named parameters and no result set.
    void Execute(const QString &sql, const TParams &params = {});
    // Runs statements separated by ";", with no parameters and no result.
    void ExecuteScript(const QString &sql);
    // The statement that reads a whole table in the order of its key index.
    QString TableSelectText(const QString &table, const QString &index, const QString &key) const;
    // Keys for new rows of the table, taken at once so that many rows can go in one statement;
    // empty where rows are best sent one by one.
    QList<qint64> ReserveKeys(const QString &table, const QString &key, int count);
    qint64 LastInsertId() const;
    int Changes() const; // rows changed by the last statement

    void BeginTransaction(); // ends an open batch first
    void Commit();
    void Rollback();
    bool InTransaction() const;
    // True when the library file can be read but not changed.
    bool ReadOnly() const;
    // True when the library lives on a database server (PostgreSQL) rather than in a file.
    bool OnServer() const;

    // A writer that keeps its transaction open between steps that let events run (the
    // import's batches) says how to end it. Any other writer ends it first, so that no write
    // lands inside a transaction that it does not own.
    void SetOpenBatch(std::function<void()> finish) { m_finishBatch = std::move(finish); }
    void FinishOpenBatch();

    // Data Source of a connection string.
    static QString DataSourceOf(const QString &connectionString);
    static QString BuildConnectionString(const QString &programDirectory);

private:
    friend class TStatement;
    friend class TTransaction;
    // Raises when the library is not open.
    TEngine &Engine() const;

    QString m_address;
    QStringList m_notes;
    std::unique_ptr<TEngine> m_engine;
    std::function<void()> m_finishBatch;
};

// A prepared statement with its parameters bound, read through typed getters; finalised on
// destruction. Its errors carry the statement's text.
class TStatement
{
public:
    TStatement(const TConnection &connection, const QString &sql, const TParams &params = {});
    ~TStatement();
    TStatement(const TStatement &) = delete;
    TStatement &operator=(const TStatement &) = delete;

    // The index of a parameter (":name" in the text, given without the colon); raises when the
    // text lacks it. Bound values stay until replaced.
    int Parameter(const QString &name) const;
    void Bind(int index, qint64 value);
    void Bind(int index, const QString &value);
    void BindNull(int index);
    // A value as a parameter of that type holds it: null, a number, or a text (times as the
    // library writes them).
    void Bind(int index, const QVariant &value, TFieldType type);

    bool Step();  // true while a row is available
    void Reset(); // ready to run again, bindings kept

    int ColumnCount() const;
    QString ColumnName(int column) const;
    TFieldType ColumnType(int column) const;
    bool IsNull(int column) const;
    qint64 Integer(int column) const; // 0 for null
    std::optional<qint64> OptionalInteger(int column) const;
    QString Text(int column) const;          // null for null
    std::string_view Utf8(int column) const; // valid until the next step
    const QString &Sql() const { return m_sql; }

private:
    void Bound(const TParam &param);
    const TConnection &m_connection;
    std::unique_ptr<TEngineStatement> m_impl;
    QString m_sql;
    bool m_started = false;
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

// Creates an empty library with the project's schema; refuses an existing file. A PostgreSQL
// address gets the tables in its existing database, which must not hold them yet.
void CreateLibrary(const QString &fileName);
