#pragma once

#include "data/DataSet.h"

#include <QHash>

// A whole table opened through its key index; rows are looked up by key. On demand, a key is
// looked up with a statement instead of in a map of every key.
class TTable : public TDataSet
{
    Q_OBJECT

public:
    explicit TTable(TConnection *connection = nullptr, QObject *parent = nullptr);
    QString TableName;
    QString IndexName;  // name of the index the table is opened through
    QString IndexField; // its column

    // Row (as shown) whose key equals the value, or -1.
    int FindKey(qint64 key) const;
    QVariant LookupValue(qint64 key, int field) const;
    // Stores one field of the row with that key in the file and in the open table.
    void UpdateValue(qint64 key, const QString &fieldName, const QVariant &value);

protected:
    QString SelectText() const override;
    void AfterOpen() override;
    void AfterCloseData() override;

private:
    QHash<qint64, int> m_keyRow;
};
