#include "data/DataSet.h"

#include "base/Errors.h"
#include "data/ColumnStore.h"
#include "data/Table.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>

TDataSet::TDataSet(TConnection *connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
}

TDataSet::~TDataSet() = default;

namespace
{
// Appends the statement's current row, a value to each column's store.
void PushRow(TStatement &statement, const std::vector<std::unique_ptr<TColumnStore>> &columns)
{
    for (size_t c = 0; c < columns.size(); ++c) {
        TColumnStore &column = *columns[c];
        if (statement.IsNull(int(c))) {
            column.PushNull();
        } else if (column.Type == TFieldType::Integer) {
            column.PushInt(statement.Integer(int(c)));
        } else {
            const std::string_view text = statement.Utf8(int(c));
            column.PushText(text.data(), int(text.size()));
        }
    }
}
} // namespace

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
        PushRow(statement, m_columns);
        m_order.push_back(slot);
    }
    m_slotFlags.assign(size_t(slot), 0);
}

namespace
{
// The statement without its closing ORDER BY, which a count does not need and which would make
// it read every row in that order. A text with quotes or brackets after the clause is kept.
QString WithoutOrder(const QString &sql)
{
    const qsizetype order = sql.lastIndexOf(QLatin1String("ORDER BY"), -1, Qt::CaseInsensitive);
    if (order < 0)
        return sql;
    for (qsizetype i = order; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"' || c == u'(' || c == u')' || c == u';')
            return sql;
    }
    return sql.left(order);
}
} // namespace

QString TDataSet::PageText(int first, int count) const
{
    return SelectText() + QStringLiteral("\r\nLIMIT %1 OFFSET %2").arg(count).arg(first);
}

void TDataSet::ReadPage(TPage &page, int first, int count) const
{
    page.First = first;
    if (!SeekPage(page, first, count)) {
        TStatement statement(*m_connection, PageText(first, count), m_params);
        const int columnCount = std::min(statement.ColumnCount(), int(m_columns.size()));
        page.Columns.clear();
        for (int c = 0; c < columnCount; ++c)
            page.Columns.push_back(std::make_unique<TColumnStore>(m_fields[size_t(c)].DataType));
        while (statement.Step()) {
            PushRow(statement, page.Columns);
        }
    }
    KeepAnchors(page);
}

void TDataSet::ParseOrderKeys()
{
    m_orderKeys.clear();
    const QString sql = SelectText();
    const qsizetype order = WithoutOrder(sql).size();
    if (order == sql.size())
        return;
    static const QRegularExpression item(QStringLiteral("^(\\w+)(?:\\s+(ASC|DESC))?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    for (const QString &part : sql.mid(order + 8).split(u',')) {
        const QRegularExpressionMatch match = item.match(part.trimmed());
        const int field = match.hasMatch() ? FindField(match.captured(1)) : -1;
        if (field < 0 || m_fields[size_t(field)].Lookup) {
            m_orderKeys.clear();
            return;
        }
        m_orderKeys.push_back(
            {field, match.captured(1),
             match.captured(2).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0});
    }
    // Seeking needs a last key that no two rows share, and all keys running one way, so that
    // one row value compares them.
    const bool unique =
        m_orderKeys.back().Name.compare(QLatin1String("Row_ID"), Qt::CaseInsensitive) == 0;
    const bool oneWay =
        std::all_of(m_orderKeys.begin(), m_orderKeys.end(), [this](const TOrderKey &key) {
            return key.Descending == m_orderKeys.front().Descending;
        });
    if (!unique || !oneWay)
        m_orderKeys.clear();
}

void TDataSet::KeepAnchors(const TPage &page) const
{
    if (m_orderKeys.empty() || page.Columns.empty() || page.Columns[0]->Size() == 0)
        return;
    for (const size_t index : {size_t(0), page.Columns[0]->Size() - 1}) {
        std::vector<QVariant> keys;
        for (const TOrderKey &key : m_orderKeys) {
            if (size_t(key.Field) >= page.Columns.size())
                return;
            const QVariant value = page.Columns[size_t(key.Field)]->Get(index);
            // A missing key compares as unknown, and a text whose bytes did not survive its
            // reading would not find its row: no seeking from such a row.
            if (value.isNull() || (value.metaType().id() == QMetaType::QString &&
                                   value.toString().contains(QChar::ReplacementCharacter))) {
                keys.clear();
                break;
            }
            keys.push_back(value);
        }
        if (!keys.empty())
            m_anchors[page.First + int(index)] = std::move(keys);
    }
}

bool TDataSet::SeekPage(TPage &page, int first, int count) const
{
    const int wanted = std::min(count, RecordCount() - first);
    if (m_orderKeys.empty() || wanted <= 0)
        return false;
    // The nearest place whose position is known: the start (the plain statement), the end
    // (the order reversed), or a row read before, whose keys the rows are compared with.
    const int end = first + wanted;
    int skip = first;
    int anchor = -1;
    bool backward = false;
    if (RecordCount() - end < skip) {
        skip = RecordCount() - end;
        backward = true;
    }
    const auto after = m_anchors.lower_bound(first);
    if (after != m_anchors.begin() && first - std::prev(after)->first - 1 < skip) {
        anchor = std::prev(after)->first;
        skip = first - anchor - 1;
        backward = false;
    }
    const auto beyond = m_anchors.lower_bound(end);
    if (beyond != m_anchors.end() && beyond->first - end < skip) {
        anchor = beyond->first;
        skip = anchor - end;
        backward = true;
    }
    if (anchor < 0 && !backward)
        return false;

    TParams params = m_params;
    QStringList names, marks, order;
    for (size_t k = 0; k < m_orderKeys.size(); ++k) {
        const TOrderKey &key = m_orderKeys[k];
        names << key.Name;
        order << key.Name + (key.Descending != backward ? QStringLiteral(" DESC") : QString());
        if (anchor >= 0) {
            const QString mark = QStringLiteral("pagekey%1").arg(k);
            marks << u':' + mark;
            params.SetValue(mark, m_anchors.at(anchor)[k], m_fields[size_t(key.Field)].DataType);
        }
    }
    QString sql = QStringLiteral("SELECT * FROM (") + WithoutOrder(SelectText()) +
                  QStringLiteral(") AS paged\r\n");
    if (anchor >= 0) {
        const bool greater = m_orderKeys.front().Descending == backward;
        sql += QStringLiteral("WHERE (%1) %2 (%3)\r\n")
                   .arg(names.join(QStringLiteral(", ")),
                        greater ? QStringLiteral(">") : QStringLiteral("<"),
                        marks.join(QStringLiteral(", ")));
    }
    sql += QStringLiteral("ORDER BY %1\r\nLIMIT %2 OFFSET %3")
               .arg(order.join(QStringLiteral(", ")))
               .arg(wanted)
               .arg(skip);

    TStatement statement(*m_connection, sql, params);
    const int columnCount = std::min(statement.ColumnCount(), int(m_columns.size()));
    std::vector<std::unique_ptr<TColumnStore>> columns;
    for (int c = 0; c < columnCount; ++c)
        columns.push_back(std::make_unique<TColumnStore>(m_fields[size_t(c)].DataType));
    int rows = 0;
    for (; statement.Step(); ++rows)
        PushRow(statement, columns);
    // Fewer rows than counted: rows without a key lie between (they compare as unknown), or
    // the library changed. The plain statement reads the page then.
    if (rows != wanted)
        return false;
    if (backward) {
        for (auto &column : columns) {
            auto reversed = std::make_unique<TColumnStore>(column->Type);
            for (size_t i = column->Size(); i-- > 0;)
                reversed->Push(column->Get(i));
            column = std::move(reversed);
        }
    }
    page.Columns = std::move(columns);
    return true;
}

void TDataSet::LoadOnDemand()
{
    ClearData();
    TStatement statement(*m_connection, PageText(0, PageRows), m_params);
    const int columnCount = statement.ColumnCount();
    bool hasRow = statement.Step();
    auto page = std::make_unique<TPage>();
    for (int c = 0; c < columnCount; ++c) {
        TFieldDef def;
        def.Name = statement.ColumnName(c);
        def.DataType = statement.ColumnType(c);
        m_columns.push_back(std::make_unique<TColumnStore>(def.DataType));
        page->Columns.push_back(std::make_unique<TColumnStore>(def.DataType));
        AddField(def);
    }
    int rows = 0;
    for (; hasRow; hasRow = statement.Step(), ++rows) {
        PushRow(statement, page->Columns);
    }
    // A short first page is every row; otherwise the rows are counted when the count is first
    // asked for. Rows added since the count are not shown; rows gone leave the count as it was.
    m_rowCount = rows < PageRows ? rows : -1;
    page->Used = ++m_pageClock;
    ParseOrderKeys();
    KeepAnchors(*page);
    m_pages.push_back(std::move(page));
}

int TDataSet::RecordCount() const
{
    if (!m_onDemand)
        return int(m_order.size());
    if (m_rowCount < 0) {
        TStatement count(*m_connection,
                         QStringLiteral("SELECT count(*) FROM (") + WithoutOrder(SelectText()) +
                             QStringLiteral(") AS counted"),
                         m_params);
        m_rowCount = count.Step() ? std::max(int(count.Integer(0)), PageRows) : PageRows;
    }
    return m_rowCount;
}

bool TDataSet::IsEmpty() const
{
    // A first page that was full tells without a count.
    return m_onDemand && m_rowCount < 0 ? false : RecordCount() == 0;
}

const TDataSet::TPage &TDataSet::PageOf(int row) const
{
    const int first = row - row % PageRows;
    for (const auto &page : m_pages) {
        if (page->First == first) {
            page->Used = ++m_pageClock;
            return *page;
        }
    }
    std::unique_ptr<TPage> page;
    if (m_pages.size() >= KeptPages) {
        const auto oldest =
            std::min_element(m_pages.begin(), m_pages.end(),
                             [](const auto &a, const auto &b) { return a->Used < b->Used; });
        page = std::move(*oldest);
        m_pages.erase(oldest);
    } else {
        page = std::make_unique<TPage>();
    }
    ReadPage(*page, first, PageRows);
    page->Used = ++m_pageClock;
    m_pages.push_back(std::move(page));
    return *m_pages.back();
}

QList<QVariant> TDataSet::RowValues(const QList<int> &rows, const QString &fieldName) const
{
    RequireActive();
    const int field = FieldIndex(fieldName);
    QList<QVariant> values;
    values.reserve(rows.size());
    if (!m_onDemand || m_fields[size_t(field)].Lookup) {
        for (int row : rows)
            values << Value(row, field);
        return values;
    }
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        const int first = rows[i];
        const int count = int(end - i);
        if (first < 0 || first + count > RecordCount()) {
            for (; i < end; ++i)
                values << Value(rows[i], field);
            continue;
        }
        TStatement statement(*m_connection, PageText(first, count), m_params);
        int read = 0;
        while (read < count && statement.Step()) {
            if (statement.IsNull(field))
                values << QVariant();
            else if (m_fields[size_t(field)].DataType == TFieldType::Integer)
                values << QVariant(statement.Integer(field));
            else
                values << QVariant(statement.Text(field));
            ++read;
        }
        for (; read < count; ++read)
            values << QVariant();
        i = end;
    }
    return values;
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
    if (row < 0 || row >= RecordCount() || field < 0 || field >= FieldCount())
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
