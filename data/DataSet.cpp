#include "data/DataSet.h"

#include "base/Errors.h"

#include <QLocale>
#include <algorithm>

namespace
{
constexpr uint32_t NullText = 0xFFFFFFFFu;
constexpr uint8_t SlotInserted = 1;
constexpr uint8_t SlotModified = 2;

const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace

// One column's values, indexed by slot. Texts share one buffer per column.
struct TDataSet::Column {
    TFieldType Type = TFieldType::Text;
    std::vector<qint64> Ints;
    std::vector<bool> IntNull;
    std::vector<uint32_t> Offset, Length;
    std::string Text;

    void PushNull()
    {
        if (Type == TFieldType::Integer) {
            Ints.push_back(0);
            IntNull.push_back(true);
        } else {
            Offset.push_back(0);
            Length.push_back(NullText);
        }
    }
    void PushInt(qint64 v)
    {
        Ints.push_back(v);
        IntNull.push_back(false);
    }
    void PushText(const char *bytes, int size)
    {
        if (Text.size() + size_t(size) > 0xFFFFFFF0u)
            throw EDatabaseError(QStringLiteral("The result set is too large"));
        Offset.push_back(uint32_t(Text.size()));
        Length.push_back(uint32_t(size));
        Text.append(bytes, size_t(size));
    }
    void Push(const QVariant &v)
    {
        if (v.isNull()) {
            PushNull();
        } else if (Type == TFieldType::Integer) {
            PushInt(v.toLongLong());
        } else {
            const QByteArray utf8 = ToText(v).toUtf8();
            PushText(utf8.constData(), int(utf8.size()));
        }
    }
    void Set(size_t slot, const QVariant &v)
    {
        if (Type == TFieldType::Integer) {
            Ints[slot] = v.isNull() ? 0 : v.toLongLong();
            IntNull[slot] = v.isNull();
        } else if (v.isNull()) {
            Length[slot] = NullText;
        } else {
            const QByteArray utf8 = ToText(v).toUtf8();
            Offset[slot] = uint32_t(Text.size());
            Length[slot] = uint32_t(utf8.size());
            Text.append(utf8.constData(), size_t(utf8.size()));
        }
    }
    QVariant Get(size_t slot) const
    {
        if (Type == TFieldType::Integer)
            return IntNull[slot] ? QVariant() : QVariant(Ints[slot]);
        if (Length[slot] == NullText)
            return {};
        const QString text = QString::fromUtf8(Text.data() + Offset[slot], int(Length[slot]));
        if (Type == TFieldType::DateTime) {
            const QDateTime dt = QDateTime::fromString(text, DateTimeFormat);
            if (dt.isValid())
                return dt;
        }
        return text;
    }
    bool IsNull(size_t slot) const
    {
        return Type == TFieldType::Integer ? bool(IntNull[slot]) : Length[slot] == NullText;
    }
    static QString ToText(const QVariant &v)
    {
        if (v.metaType().id() == QMetaType::QDateTime)
            return v.toDateTime().toString(DateTimeFormat);
        return v.toString();
    }
};

TDataSet::TDataSet(TConnection *connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
}

TDataSet::~TDataSet() = default;

void TDataSet::SetSQL(const QStringList &lines)
{
    m_commandText = StatementText(lines);
}

void TDataSet::SetCommandText(const QString &text)
{
    m_commandText = text;
}

void TDataSet::Open()
{
    if (Active())
        Close();
    if (!m_connection)
        throw EDatabaseError(QStringLiteral("No connection"));
    if (Notifying())
        emit BeforeReset();
    try {
        Load();
    } catch (...) {
        ClearData();
        if (Notifying())
            emit DataReset();
        throw;
    }
    m_state = TState::Browse;
    m_current = m_order.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_order.empty();
    AfterOpen();
    if (Notifying()) {
        emit DataReset();
        emit CurrentChanged(m_current);
    }
    emit AfterScroll();
}

void TDataSet::Load()
{
    ClearData();
    TStatement statement(*m_connection, SelectText(), m_params);
    const int columnCount = statement.ColumnCount();
    bool hasRow = statement.Step();
    for (int c = 0; c < columnCount; ++c) {
        TFieldDef def;
        def.Name = statement.ColumnName(c);
        def.DataType = statement.ColumnType(c);
        auto column = std::make_unique<Column>();
        column->Type = def.DataType;
        m_columns.push_back(std::move(column));
        const QString key = def.Name.toUpper();
        if (!m_fieldIndex.contains(key))
            m_fieldIndex.insert(key, int(m_fields.size()));
        m_fields.push_back(def);
    }
    for (const TFieldDef &lookup : m_lookupDefs) {
        const QString key = lookup.Name.toUpper();
        if (!m_fieldIndex.contains(key))
            m_fieldIndex.insert(key, int(m_fields.size()));
        m_fields.push_back(lookup);
    }
    int slot = 0;
    for (; hasRow; hasRow = statement.Step(), ++slot) {
        for (int c = 0; c < columnCount; ++c) {
            Column &column = *m_columns[size_t(c)];
            if (statement.IsNull(c)) {
                column.PushNull();
            } else if (column.Type == TFieldType::Integer) {
                column.PushInt(statement.Integer(c));
            } else {
                const std::string_view text = statement.Utf8(c);
                column.PushText(text.data(), int(text.size()));
            }
        }
        m_order.push_back(slot);
    }
    m_slotFlags.assign(size_t(slot), 0);
}

void TDataSet::ClearData()
{
    m_state = TState::Inactive;
    m_fields.clear();
    m_fieldIndex.clear();
    m_columns.clear();
    m_order.clear();
    m_slotFlags.clear();
    m_deletedKeys.clear();
    m_editSlot = -1;
    m_editBuffer.clear();
    m_current = -1;
    m_eof = m_bof = true;
}

void TDataSet::Close()
{
    if (!Active())
        return;
    if (Notifying())
        emit BeforeReset();
    ClearData();
    AfterCloseData();
    if (Notifying()) {
        emit DataReset();
        emit CurrentChanged(-1);
    }
}

void TDataSet::RequireActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TDataSet::RequireBrowse() const
{
    RequireActive();
    if (m_state != TState::Browse)
        throw EDatabaseError(QStringLiteral("Dataset not in browse mode"));
}

void TDataSet::MoveTo(int row, bool notify)
{
    if (m_state == TState::Edit || m_state == TState::Insert)
        Post();
    const bool moved = row != m_current;
    m_current = row;
    if (moved && notify && Notifying())
        emit CurrentChanged(m_current);
    if (notify)
        emit AfterScroll();
}

void TDataSet::First()
{
    RequireActive();
    m_bof = true;
    m_eof = m_order.empty();
    MoveTo(m_order.empty() ? -1 : 0);
}

void TDataSet::Last()
{
    RequireActive();
    m_eof = true;
    m_bof = m_order.empty();
    MoveTo(RecordCount() - 1);
}

void TDataSet::Next()
{
    MoveBy(1);
}

void TDataSet::Prior()
{
    MoveBy(-1);
}

int TDataSet::MoveBy(int distance)
{
    RequireActive();
    if (m_order.empty()) {
        m_eof = m_bof = true;
        return 0;
    }
    const qint64 wanted = qint64(m_current) + distance;
    const int target = int(std::clamp<qint64>(wanted, 0, RecordCount() - 1));
    m_eof = distance > 0 && wanted > target;
    m_bof = distance < 0 && wanted < target;
    const int moved = target - m_current;
    if (distance != 0)
        MoveTo(target);
    return moved;
}

void TDataSet::SetRecNo(int row)
{
    RequireActive();
    if (row < 0 || row >= RecordCount())
        throw EDatabaseError(QStringLiteral("Record %1 not found").arg(row));
    m_eof = m_bof = false;
    MoveTo(row);
}

bool TDataSet::Locate(const QString &fieldName, const QVariant &value)
{
    RequireActive();
    const int field = FieldIndex(fieldName);
    const bool numeric = m_fields[size_t(field)].DataType == TFieldType::Integer;
    for (int row = 0; row < RecordCount(); ++row) {
        const QVariant v = Value(row, field);
        const bool match = v.isNull() ? value.isNull()
                           : numeric  ? !value.isNull() && v.toLongLong() == value.toLongLong()
                                      : v.toString() == value.toString();
        if (match) {
            m_eof = m_bof = false;
            MoveTo(row);
            return true;
        }
    }
    return false;
}

TDataSet::TBookmark TDataSet::GetBookmark() const
{
    return m_current < 0 ? -1 : SlotOf(m_current);
}

bool TDataSet::BookmarkValid(TBookmark bookmark) const
{
    return std::find(m_order.begin(), m_order.end(), bookmark) != m_order.end();
}

void TDataSet::GotoBookmark(TBookmark bookmark)
{
    RequireActive();
    const auto it = std::find(m_order.begin(), m_order.end(), bookmark);
    if (it == m_order.end())
        throw EDatabaseError(QStringLiteral("Record not found"));
    m_eof = m_bof = false;
    MoveTo(int(it - m_order.begin()));
}

int TDataSet::FindField(const QString &name) const
{
    return m_fieldIndex.value(name.toUpper(), -1);
}

int TDataSet::FieldIndex(const QString &name) const
{
    const int index = FindField(name);
    if (index < 0)
        throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return index;
}

QVariant TDataSet::SlotValue(int slot, int field) const
{
    const TFieldDef &def = m_fields[size_t(field)];
    if (!def.Lookup)
        return m_columns[size_t(field)]->Get(size_t(slot));
    const int keyField = FindField(def.KeyField);
    if (keyField < 0 || !def.LookupTable || !def.LookupTable->Active())
        return {};
    const QVariant key = SlotValue(slot, keyField);
    if (key.isNull())
        return {};
    const int resultField = def.LookupTable->FindField(def.LookupResultField);
    return resultField < 0 ? QVariant()
                           : def.LookupTable->LookupValue(key.toLongLong(), resultField);
}

void TDataSet::SetSlotValue(int slot, int field, const QVariant &value)
{
    m_columns[size_t(field)]->Set(size_t(slot), value);
}

QVariant TDataSet::Value(int row, int field) const
{
    if (row < 0 || row >= RecordCount() || field < 0 || field >= FieldCount())
        return {};
    return SlotValue(SlotOf(row), field);
}

QString TDataSet::DisplayText(int row, int field) const
{
    const QVariant v = Value(row, field);
    if (v.metaType().id() == QMetaType::QDateTime)
        return QLocale().toString(v.toDateTime(), QLocale::ShortFormat);
    return v.toString();
}

QVariant TDataSet::FieldValue(const QString &name) const
{
    RequireActive();
    const int field = FieldIndex(name);
    if ((m_state == TState::Edit || m_state == TState::Insert) && !m_fields[size_t(field)].Lookup)
        return m_editBuffer[size_t(field)];
    if (m_current < 0)
        return {};
    return Value(m_current, field);
}

QString TDataSet::AsString(const QString &name) const
{
    const QVariant v = FieldValue(name);
    if (v.metaType().id() == QMetaType::QDateTime)
        return QLocale().toString(v.toDateTime(), QLocale::ShortFormat);
    return v.toString();
}

qint64 TDataSet::AsInteger(const QString &name) const
{
    bool ok = false;
    const qint64 value = FieldValue(name).toLongLong(&ok);
    return ok ? value : 0;
}

bool TDataSet::IsNull(const QString &name) const
{
    return FieldValue(name).isNull();
}

void TDataSet::AddLookupField(const QString &name, TFieldType type, const QString &keyField,
                              TTable *lookupTable, const QString &lookupResultField)
{
    TFieldDef def;
    def.Name = name;
    def.DataType = type;
    def.Lookup = true;
    def.KeyField = keyField;
    def.LookupTable = lookupTable;
    def.LookupResultField = lookupResultField;
    m_lookupDefs.push_back(def);
    ConnectLookupTable(lookupTable);
}

void TDataSet::ConnectLookupTable(TTable *table)
{
    if (m_lookupTables.contains(table))
        return;
    m_lookupTables.insert(table);
    auto changed = [this] {
        if (Active() && Notifying())
            emit ValuesChanged();
    };
    connect(table, &TDataSet::DataReset, this, changed);
    connect(table, &TDataSet::RowChanged, this, changed);
}

void TDataSet::SetUpdateTarget(const QString &tableName, const QString &keyField,
                               const QStringList &writableFields)
{
    m_updateTable = tableName;
    m_keyField = keyField;
    m_writableFields = writableFields;
}

void TDataSet::SetFieldRange(const QString &fieldName, qint64 minimum, qint64 maximum)
{
    m_ranges.push_back({-1, minimum, maximum});
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

void TDataSet::Append()
{
    RequireBrowse();
    if (m_updateTable.isEmpty())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    m_editBuffer.assign(m_fields.size(), QVariant());
    m_editSlot = -1;
    m_state = TState::Insert;
}

void TDataSet::Edit()
{
    RequireBrowse();
    if (m_updateTable.isEmpty())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
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
    RequireBrowse();
    if (m_updateTable.isEmpty())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
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

void TDataSet::UpdateBatch()
{
    RequireActive();
    Post();
    if (!HasPendingChanges())
        return;
    const int keyField = FieldIndex(m_keyField);
    std::vector<int> writable;
    for (const QString &name : m_writableFields)
        writable.push_back(FieldIndex(name));

    std::vector<int> insertedSlots;
    // Inside a caller's transaction the batch is one step of it.
    TTransaction transaction(*m_connection);
    try {
        const QString keyName = m_fields[size_t(keyField)].Name;
        for (qint64 key : m_deletedKeys) {
            TParams p;
            p.SetValue(QStringLiteral("key"), key, TFieldType::Integer);
            m_connection->Execute(
                QStringLiteral("DELETE FROM %1 WHERE %2 = :key").arg(m_updateTable, keyName), p);
        }
        QStringList names, values, assignments;
        for (int f : writable) {
            names << m_fields[size_t(f)].Name;
            values << QStringLiteral(":f%1").arg(f);
            assignments << QStringLiteral("%1 = :f%2").arg(m_fields[size_t(f)].Name).arg(f);
        }
        const QString insertSql = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                                      .arg(m_updateTable, names.join(QStringLiteral(", ")),
                                           values.join(QStringLiteral(", ")));
        const QString updateSql =
            QStringLiteral("UPDATE %1 SET %2 WHERE %3 = :key")
                .arg(m_updateTable, assignments.join(QStringLiteral(", ")), keyName);
        for (int slot : m_order) {
            const uint8_t flags = m_slotFlags[size_t(slot)];
            if (flags == 0)
                continue;
            TParams p;
            for (int f : writable) {
                p.SetValue(QStringLiteral("f%1").arg(f), SlotValue(slot, f),
                           m_fields[size_t(f)].DataType);
            }
            if (flags & SlotInserted) {
                m_connection->Execute(insertSql, p);
                SetSlotValue(slot, keyField, m_connection->LastInsertId());
                insertedSlots.push_back(slot);
            } else {
                p.SetValue(QStringLiteral("key"), SlotValue(slot, keyField), TFieldType::Integer);
                m_connection->Execute(updateSql, p);
            }
        }
        transaction.Commit();
    } catch (...) {
        for (int slot : insertedSlots)
            SetSlotValue(slot, keyField, QVariant());
        throw;
    }
    std::fill(m_slotFlags.begin(), m_slotFlags.end(), 0);
    m_deletedKeys.clear();
    if (Notifying())
        emit ValuesChanged();
}

void TDataSet::CancelBatch()
{
    if (!Active())
        return;
    Cancel();
    Open();
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
    for (int row = 0; row < RecordCount(); ++row) {
        const QVariant rowKey = Value(row, keyIndex);
        if (rowKey.isNull() || rowKey.toLongLong() != key)
            continue;
        for (const auto &[field, value] : fields)
            SetSlotValue(SlotOf(row), field, value);
        if (Notifying())
            emit RowChanged(row);
    }
}

void TDataSet::DisableControls()
{
    ++m_disableCount;
}

void TDataSet::EnableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0) {
        emit BeforeReset();
        emit DataReset();
        emit CurrentChanged(m_current);
    }
}

TTable::TTable(TConnection *connection, QObject *parent) : TDataSet(connection, parent) {}

QString TTable::SelectText() const
{
    return QStringLiteral("SELECT * FROM %1 INDEXED BY %2 ORDER BY %3")
        .arg(TableName, IndexName, IndexField);
}

void TTable::AfterOpen()
{
    m_keyRow.clear();
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
    return m_keyRow.value(key, -1);
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
        SetSlotValue(SlotOf(row), field, value);
        emit RowChanged(row);
    }
}
