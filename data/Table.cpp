#include "data/Table.h"

#include "base/Errors.h"

TTable::TTable(TConnection *connection, QObject *parent) : TDataSet(connection, parent) {}

QString TTable::SelectText() const
{
    if (!Connection())
        throw EDatabaseError(QStringLiteral("The library is not open"));
    return Connection()->TableSelectText(TableName, IndexName, IndexField);
}

void TTable::AfterOpen()
{
    m_keyRow.clear();
    if (OnDemand())
        return; // keys are looked up in the library
    const int field = FieldIndex(IndexField);
    m_keyRow.reserve(RecordCount());
    for (int row = 0; row < RecordCount(); ++row) {
        const QVariant key = Value(row, field);
        if (!key.isNull())
            m_keyRow.insert(key.toLongLong(), row);
    }
}

void TTable::AfterCloseData()
{
    m_keyRow.clear();
}

int TTable::FindKey(qint64 key) const
{
    if (!OnDemand())
        return m_keyRow.value(key, -1);
    if (!Active())
        return -1;
    // Rows are shown in key order: a key's row is the number of smaller keys.
    TParams p;
    p.SetValue(QStringLiteral("key"), key, TFieldType::Integer);
    TStatement find(*Connection(),
                    QStringLiteral("SELECT (SELECT count(*) FROM %1 WHERE %2 < :key), (SELECT "
                                   "count(*) FROM %1 WHERE %2 = :key)")
                        .arg(TableName, IndexField),
                    p);
    if (!find.Step() || find.Integer(1) == 0)
        return -1;
    const int row = int(find.Integer(0));
    return row < RecordCount() ? row : -1;
}

QVariant TTable::LookupValue(qint64 key, int field) const
{
    const int row = FindKey(key);
    return row < 0 ? QVariant() : Value(row, field);
}

void TTable::UpdateValue(qint64 key, const QString &fieldName, const QVariant &value)
{
    RequireActive();
    const int field = FieldIndex(fieldName);
    TParams p;
    p.SetValue(QStringLiteral("value"), value, Field(field).DataType);
    p.SetValue(QStringLiteral("key"), key, TFieldType::Integer);
    // Its own transaction: never inside an import's open batch, which may yet fail.
    Connection()->FinishOpenBatch();
    Connection()->Execute(QStringLiteral("UPDATE %1 SET %2 = :value WHERE %3 = :key")
                              .arg(TableName, Field(field).Name, IndexField),
                          p);
    const int row = FindKey(key);
    if (row >= 0) {
        SetRowValue(row, field, value);
        emit RowChanged(row);
    }
    emit ValueStored(key, Field(field).Name, value);
}
