#include "data/DataSet.h"

#include "base/Errors.h"
#include "data/ColumnStore.h"
#include "data/RecordCounter.h"
#include "data/Table.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>

TDataSet::TDataSet(TConnection *connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
}

TDataSet::~TDataSet() = default;

void TDataSet::AddField(const TFieldDef &def)
{
    // The first field of a name is the one found by it.
    const QString key = def.Name.toUpper();
    if (!m_fieldIndex.contains(key))
        m_fieldIndex.insert(key, int(m_fields.size()));
    m_fields.push_back(def);
}

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
        if (m_onDemand)
            LoadOnDemand();
        else
            Load();
    } catch (...) {
        ClearData();
        if (Notifying())
            emit DataReset();
        throw;
    }
    m_state = TState::Browse;
    m_current = IsEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = IsEmpty();
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
        m_columns.push_back(std::make_unique<TColumnStore>(def.DataType));
        AddField(def);
    }
    for (const TFieldDef &lookup : m_lookupDefs)
        AddField(lookup);
    int slot = 0;
    for (; hasRow; hasRow = statement.Step(), ++slot) {
        PushStatementRow(statement, m_columns);
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
    m_pages.clear();
    m_orderKeys.clear();
    m_anchors.clear();
    m_rowCount = 0;
    ++m_countTicket; // a count on its way is for rows no longer shown
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
    m_eof = IsEmpty();
    MoveTo(IsEmpty() ? -1 : 0);
}

void TDataSet::Last()
{
    RequireActive();
    m_eof = true;
    m_bof = IsEmpty();
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
    if (IsEmpty()) {
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
    const auto matches = [&](const QVariant &v) {
        return v.isNull() ? value.isNull()
               : numeric  ? !value.isNull() && v.toLongLong() == value.toLongLong()
                          : v.toString() == value.toString();
    };
    const auto found = [this](int row) {
        m_eof = m_bof = false;
        MoveTo(row);
        return true;
    };
    if (!m_onDemand || m_fields[size_t(field)].Lookup) {
        for (int row = 0; row < RecordCount(); ++row) {
            if (matches(Value(row, field)))
                return found(row);
        }
        return false;
    }
    // On demand the field is read in long runs, a statement each, not page by page.
    for (int first = 0; first < RecordCount(); first += LocateRun) {
        QList<int> rows;
        for (int row = first; row < std::min(first + LocateRun, RecordCount()); ++row)
            rows << row;
        const QList<QVariant> values = RowValues(rows, fieldName);
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (matches(values[i]))
                return found(rows[i]);
        }
    }
    return false;
}

TDataSet::TBookmark TDataSet::GetBookmark() const
{
    if (m_onDemand)
        return m_current;
    return m_current < 0 ? -1 : SlotOf(m_current);
}

void TDataSet::GotoBookmark(TBookmark bookmark)
{
    RequireActive();
    if (m_onDemand) {
        if (bookmark < 0 || bookmark >= RecordCount())
            throw EDatabaseError(QStringLiteral("Record not found"));
        m_eof = m_bof = false;
        MoveTo(bookmark);
        return;
    }
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

void TDataSet::SetRowValue(int row, int field, const QVariant &value)
{
    if (!m_onDemand) {
        SetSlotValue(SlotOf(row), field, value);
        return;
    }
    for (const auto &page : m_pages) {
        if (row >= page->First && row < page->First + PageRows &&
            size_t(field) < page->Columns.size())
            page->Columns[size_t(field)]->Set(size_t(row - page->First), value);
    }
    // The row's keys as the library now holds them no longer tell its place.
    for (const TOrderKey &key : m_orderKeys) {
        if (key.Field == field)
            m_anchors.erase(row);
    }
}

QVariant TDataSet::Value(int row, int field) const
{
    // Rows shown are read without waiting for a count still to come.
    if (row < 0 || (row >= ShownRecordCount() && row >= RecordCount()) || field < 0 ||
        field >= FieldCount())
        return {};
    if (m_onDemand && !m_fields[size_t(field)].Lookup) {
        const TPage &page = PageOf(row);
        const size_t index = size_t(row - page.First);
        if (size_t(field) >= page.Columns.size() || index >= page.Columns[size_t(field)]->Size())
            return {}; // gone since the count
        return page.Columns[size_t(field)]->Get(index);
    }
    if (m_onDemand) {
        const TFieldDef &def = m_fields[size_t(field)];
        const int keyField = FindField(def.KeyField);
        if (keyField < 0 || !def.LookupTable || !def.LookupTable->Active())
            return {};
        const QVariant key = Value(row, keyField);
        const int resultField = def.LookupTable->FindField(def.LookupResultField);
        return key.isNull() || resultField < 0
                   ? QVariant()
                   : def.LookupTable->LookupValue(key.toLongLong(), resultField);
    }
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
