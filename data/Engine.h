#pragma once

#include "data/FieldType.h"

#include <QtGlobal>

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <string_view>

// What a database engine provides to the gateway (TConnection, TStatement). Only the gateway
// and the engines use these; everything else goes through the gateway. Failures raise
// EDatabaseError with the engine's text and the kind of failure.
class TEngineStatement
{
public:
    virtual ~TEngineStatement() = default;

    // The index of a ":name" parameter (name given with the colon), 0 when the text lacks it.
    virtual int Parameter(const QByteArray &name) const = 0;
    virtual void BindNull(int index) = 0;
    virtual void BindInteger(int index, qint64 value) = 0;
    virtual void BindText(int index, const QByteArray &utf8) = 0;

    virtual bool Step() = 0; // true while a row is available
    virtual void Reset() = 0;

    virtual int ColumnCount() const = 0;
    virtual QString ColumnName(int column) const = 0;
    // The declared type, or the current row's value type when the column declares none.
    virtual TFieldType ColumnType(int column) const = 0;
    virtual bool IsNull(int column) const = 0;
    virtual qint64 Integer(int column) const = 0;
    // Valid until the next step or reset.
    virtual std::string_view Utf8(int column) const = 0;
};

enum class TEngineKind { Sqlite, Postgres };

class TEngine
{
public:
    virtual ~TEngine() = default;

    virtual std::unique_ptr<TEngineStatement> Prepare(const QString &sql) = 0;
    // Runs statements separated by ";" with no parameters and no result.
    virtual void ExecuteScript(const QString &sql) = 0;
    virtual qint64 LastInsertId() const = 0;
    virtual int Changes() const = 0;
    virtual bool InTransaction() const = 0;
    virtual bool ReadOnly() const = 0;
    // The statement that starts a writing transaction.
    virtual QString BeginText() const = 0;
    // The statement that reads a whole table in the order of its key index.
    virtual QString TableSelectText(const QString &table, const QString &index,
                                    const QString &key) const = 0;
    virtual TEngineKind Kind() const = 0;
    // Keys for new rows of a table whose key column the database assigns, taken in one round
    // trip so that many rows can go in one statement. Empty where rows are best sent one by
    // one (a local file).
    virtual QList<qint64> ReserveKeys(const QString &table, const QString &key, int count)
    {
        Q_UNUSED(table);
        Q_UNUSED(key);
        Q_UNUSED(count);
        return {};
    }
};
