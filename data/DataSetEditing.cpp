// The pending changes of a data set and how they are written.
#include "data/DataSet.h"

#include "base/Errors.h"
#include "data/ColumnStore.h"
#include "data/SqlDialect.h"

void TDataSet::SetUpdateTarget(const QString &tableName, const QString &keyField,
                               const QStringList &writableFields)
{
    m_updateTable = tableName;
    m_keyField = keyField;
    m_writableFields = writableFields;
}

void TDataSet::SetFieldRange(const QString &fieldName, qint64 minimum, qint64 maximum)
{
    m_ranges.push_back({minimum, maximum});
    m_rangeNames.push_back(fieldName);
}

void TDataSet::CheckRanges(const std::vector<QVariant> &values) const
{
    for (size_t i = 0; i < m_ranges.size(); ++i) {
        const int field = FindField(m_rangeNames[int(i)]);
        if (field < 0 || values[size_t(field)].isNull())
            continue;
        const qint64 v = values[size_t(field)].toLongLong();
        if (v < m_ranges[i].Minimum || v > m_ranges[i].Maximum)
            throw EDatabaseError(
                QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 "
                               "to %4")
                    .arg(v)
                    .arg(m_fields[size_t(field)].Name)
                    .arg(m_ranges[i].Minimum)
                    .arg(m_ranges[i].Maximum));
    }
}

void TDataSet::RequireWritable() const
{
    RequireBrowse();
    if (m_updateTable.isEmpty() || m_onDemand)
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
}

void TDataSet::Append()
{
    RequireWritable();
    m_editBuffer.assign(m_fields.size(), QVariant());
    m_editSlot = -1;
    m_state = TState::Insert;
}

void TDataSet::Edit()
{
    RequireWritable();
    if (m_current < 0)
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    m_editSlot = SlotOf(m_current);
    m_editBuffer.assign(m_fields.size(), QVariant());
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (!m_fields[f].Lookup)
            m_editBuffer[f] = SlotValue(m_editSlot, int(f));
    }
    m_state = TState::Edit;
}

void TDataSet::SetFieldValue(const QString &name, const QVariant &value)
{
    if (m_state != TState::Edit && m_state != TState::Insert)
        throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    const int field = FieldIndex(name);
    if (m_fields[size_t(field)].Lookup)
        return; // looked-up values are never written
    m_editBuffer[size_t(field)] = value;
}

void TDataSet::Post()
{
    if (m_state != TState::Edit && m_state != TState::Insert)
        return;
    try {
        CheckRanges(m_editBuffer);
    } catch (...) {
        Cancel();
        throw;
    }
    if (m_state == TState::Insert) {
        const int slot = NewSlot();
        for (size_t f = 0; f < m_fields.size(); ++f) {
            if (!m_fields[f].Lookup)
                m_columns[f]->Push(m_editBuffer[f]);
        }
        m_slotFlags.push_back(SlotInserted);
        const int row = RecordCount();
        if (Notifying())
            emit BeforeRowInserted(row);
        m_order.push_back(slot);
        m_state = TState::Browse;
        m_editBuffer.clear();
        if (Notifying())
            emit RowInserted(row);
        m_eof = m_bof = false;
        MoveTo(row);
        return;
    }
    for (size_t f = 0; f < m_fields.size(); ++f) {
        if (!m_fields[f].Lookup && m_editBuffer[f] != SlotValue(m_editSlot, int(f)))
            SetSlotValue(m_editSlot, int(f), m_editBuffer[f]);
    }
    if (!(m_slotFlags[size_t(m_editSlot)] & SlotInserted))
        m_slotFlags[size_t(m_editSlot)] |= SlotModified;
    m_state = TState::Browse;
    m_editBuffer.clear();
    m_editSlot = -1;
    if (Notifying())
        emit RowChanged(m_current);
}

void TDataSet::Cancel()
{
    if (m_state == TState::Edit || m_state == TState::Insert)
        m_state = TState::Browse;
    m_editBuffer.clear();
    m_editSlot = -1;
}

int TDataSet::NewSlot()
{
    return int(m_slotFlags.size());
}

void TDataSet::Delete()
{
    RequireWritable();
    if (m_current < 0)
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const int row = m_current;
    const int slot = SlotOf(row);
    if (!(m_slotFlags[size_t(slot)] & SlotInserted)) {
        const QVariant key = SlotValue(slot, FieldIndex(m_keyField));
        if (!key.isNull())
            m_deletedKeys.push_back(key.toLongLong());
    }
    if (Notifying())
        emit BeforeRowRemoved(row);
    m_order.erase(m_order.begin() + row);
    if (Notifying())
        emit RowRemoved(row);
    m_current = std::min(row, RecordCount() - 1);
    m_eof = m_order.empty() || (row >= RecordCount());
    m_bof = m_order.empty();
    if (Notifying())
        emit CurrentChanged(m_current);
    emit AfterScroll();
}

bool TDataSet::HasPendingChanges() const
{
    if (!m_deletedKeys.empty())
        return true;
    for (int slot : m_order) {
        if (m_slotFlags[size_t(slot)] != 0)
            return true;
    }
    return false;
}

// The fields that a batch writes, with the names its statements use.
struct TDataSet::TBatch {
    int KeyField = -1;
    QString KeyName;
    std::vector<int> Writable;
    QStringList Names;
};

QList<qint64> TDataSet::StoredKeys(int keyField) const
{
    QList<qint64> kept;
    for (int slot : m_order) {
        const QVariant key = SlotValue(slot, keyField);
        if (!(m_slotFlags[size_t(slot)] & SlotInserted) && !key.isNull())
            kept << key.toLongLong();
    }
    return kept;
}

void TDataSet::DeleteRemovedRows(const TBatch &batch)
{
    for (qint64 key : m_deletedKeys) {
        TParams p;
        p.SetValue(QStringLiteral("key"), key, TFieldType::Integer);
        m_connection->Execute(
            QStringLiteral("DELETE FROM %1 WHERE %2 = :key").arg(m_updateTable, batch.KeyName), p);
    }
}

// On a server the new rows go together, with keys taken beforehand. Returns those keys, or
// none when the rows are left to be written one by one.
QList<qint64> TDataSet::InsertNewRowsTogether(const TBatch &batch, std::vector<int> &insertedSlots)
{
    std::vector<int> newSlots;
    for (int slot : m_order) {
        if (m_slotFlags[size_t(slot)] & SlotInserted)
            newSlots.push_back(slot);
    }
    const QList<qint64> keys =
        newSlots.size() > 1
            ? m_connection->ReserveKeys(m_updateTable, batch.KeyName, int(newSlots.size()))
            : QList<qint64>();
    if (keys.isEmpty())
        return keys;
    if (keys.size() != qsizetype(newSlots.size()))
        throw EDatabaseError(QStringLiteral("The library gave too few keys"));
    constexpr size_t RowsPerStatement = 500;
    for (size_t first = 0; first < newSlots.size(); first += RowsPerStatement) {
        const size_t count = std::min(RowsPerStatement, newSlots.size() - first);
        const TRowsInsert insert =
            RowsInsert(m_updateTable, QStringList{batch.KeyName} + batch.Names, int(count));
        TStatement many(*m_connection, insert.Text);
        insert.CheckNumbering(many);
        int index = 1;
        for (size_t row = 0; row < count; ++row) {
            const int slot = newSlots[first + row];
            many.Bind(index++, keys[qsizetype(first + row)]);
            for (int f : batch.Writable)
                many.Bind(index++, SlotValue(slot, f), m_fields[size_t(f)].DataType);
        }
        while (many.Step()) {
        }
        for (size_t row = 0; row < count; ++row) {
            const int slot = newSlots[first + row];
            SetSlotValue(slot, batch.KeyField, keys[qsizetype(first + row)]);
            insertedSlots.push_back(slot);
        }
    }
    return keys;
}

void TDataSet::WriteRowsOneByOne(const TBatch &batch, bool newRowsWritten,
                                 std::vector<int> &insertedSlots)
{
    QStringList values, assignments;
    for (int f : batch.Writable) {
        values << QStringLiteral(":f%1").arg(f);
        assignments << QStringLiteral("%1 = :f%2").arg(m_fields[size_t(f)].Name).arg(f);
    }
    const QString insertSql = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                                  .arg(m_updateTable, batch.Names.join(QStringLiteral(", ")),
                                       values.join(QStringLiteral(", ")));
    const QString updateSql =
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = :key")
            .arg(m_updateTable, assignments.join(QStringLiteral(", ")), batch.KeyName);
    // Each statement is prepared once and run for every row that needs it.
    std::unique_ptr<TStatement> insert, update;
    const auto run = [&](TStatement &statement, int slot, bool withKey) {
        statement.Reset();
        for (int f : batch.Writable)
            statement.Bind(statement.Parameter(QStringLiteral("f%1").arg(f)), SlotValue(slot, f),
                           m_fields[size_t(f)].DataType);
        if (withKey)
            statement.Bind(statement.Parameter(QStringLiteral("key")),
                           SlotValue(slot, batch.KeyField), TFieldType::Integer);
        while (statement.Step()) {
        }
    };
    for (int slot : m_order) {
        const uint8_t flags = m_slotFlags[size_t(slot)];
        if (flags == 0 || (newRowsWritten && (flags & SlotInserted)))
            continue;
        if (flags & SlotInserted) {
            if (!insert)
                insert = std::make_unique<TStatement>(*m_connection, insertSql);
            run(*insert, slot, false);
            SetSlotValue(slot, batch.KeyField, m_connection->LastInsertId());
            insertedSlots.push_back(slot);
        } else {
            if (!update)
                update = std::make_unique<TStatement>(*m_connection, updateSql);
            run(*update, slot, true);
        }
    }
}

void TDataSet::UpdateBatch()
{
    RequireActive();
    Post();
    if (!HasPendingChanges())
        return;
    TBatch batch;
    batch.KeyField = FieldIndex(m_keyField);
    batch.KeyName = m_fields[size_t(batch.KeyField)].Name;
    for (const QString &name : m_writableFields) {
        batch.Writable.push_back(FieldIndex(name));
        batch.Names << m_fields[size_t(batch.Writable.back())].Name;
    }

    std::vector<int> insertedSlots;
    // Inside a caller's transaction the batch is one step of it.
    TTransaction transaction(*m_connection);
    try {
        if (BeforeUpdate)
            BeforeUpdate(*m_connection, StoredKeys(batch.KeyField));
        DeleteRemovedRows(batch);
        const bool newRowsWritten = !InsertNewRowsTogether(batch, insertedSlots).isEmpty();
        WriteRowsOneByOne(batch, newRowsWritten, insertedSlots);
        transaction.Commit();
    } catch (...) {
        for (int slot : insertedSlots)
            SetSlotValue(slot, batch.KeyField, QVariant());
        throw;
    }
    std::fill(m_slotFlags.begin(), m_slotFlags.end(), 0);
    m_deletedKeys.clear();
    if (Notifying())
        emit ValuesChanged();
}

void TDataSet::RefreshRowValues(const QString &keyField, qint64 key,
                                const QList<QPair<QString, QVariant>> &values)
{
    if (!Active())
        return;
    const int keyIndex = FieldIndex(keyField);
    std::vector<std::pair<int, QVariant>> fields;
    for (const auto &[name, value] : values) {
        const int field = FindField(name);
        if (field >= 0 && !m_fields[size_t(field)].Lookup)
            fields.emplace_back(field, value);
    }
    std::vector<int> rows;
    if (m_onDemand) {
        // Rows not kept are read again as stored.
        for (const auto &page : m_pages) {
            for (size_t i = 0; size_t(keyIndex) < page->Columns.size() &&
                               i < page->Columns[size_t(keyIndex)]->Size();
                 ++i) {
                const QVariant rowKey = page->Columns[size_t(keyIndex)]->Get(i);
                if (!rowKey.isNull() && rowKey.toLongLong() == key)
                    rows.push_back(page->First + int(i));
            }
        }
    } else {
        for (int row = 0; row < RecordCount(); ++row) {
            const QVariant rowKey = Value(row, keyIndex);
            if (!rowKey.isNull() && rowKey.toLongLong() == key)
                rows.push_back(row);
        }
    }
    for (int row : rows) {
        for (const auto &[field, value] : fields)
            SetRowValue(row, field, value);
    }
    // One notice: a song listed in several entries changes them all at once.
    if (Notifying() && rows.size() == 1)
        emit RowChanged(rows.front());
    else if (Notifying() && rows.size() > 1)
        emit ValuesChanged();
}
