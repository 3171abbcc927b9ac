// The rows of a data set read on demand: pages of the statement, sought from known sort keys
// where the order allows it, and the count read only when asked.
#include "data/DataSet.h"

#include "base/Errors.h"
#include "data/ColumnStore.h"
#include "data/RecordCounter.h"

#include <QRegularExpression>
#include <QTimer>
#include <algorithm>

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

QString TDataSet::ReadText() const
{
    const QString sql = SelectText();
    if (m_tieBreaker.isEmpty())
        return sql;
    // The statement's closing order, followed by the tie breaker running the same way.
    const qsizetype order = WithoutOrder(sql).size();
    if (order == sql.size())
        return sql;
    static const QRegularExpression item(QStringLiteral("^(\\w+)(\\s+(ASC|DESC))?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString direction;
    for (const QString &part : sql.mid(order + 8).split(u',')) {
        const QRegularExpressionMatch match = item.match(part.trimmed());
        if (!match.hasMatch())
            return sql;
        if (match.captured(1).compare(m_tieBreaker, Qt::CaseInsensitive) == 0)
            return sql; // already there
        direction = match.captured(2);
    }
    QString text = sql;
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text + QStringLiteral(", ") + m_tieBreaker + direction;
}

QString TDataSet::PageText(int first, int count) const
{
    return ReadText() + QStringLiteral("\r\nLIMIT %1 OFFSET %2").arg(count).arg(first);
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
            PushStatementRow(statement, page.Columns);
        }
    }
    KeepAnchors(page);
}

void TDataSet::ParseOrderKeys()
{
    m_orderKeys.clear();
    const QString sql = ReadText();
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
    QString sql = QStringLiteral("SELECT * FROM (") + WithoutOrder(ReadText()) +
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
        PushStatementRow(statement, columns);
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
        PushStatementRow(statement, page->Columns);
    }
    // A short first page is every row; otherwise the rows are counted when the count is first
    // asked for. Rows added since the count are not shown; rows gone leave the count as it was.
    m_rowCount = rows < PageRows ? rows : -1;
    page->Used = ++m_pageClock;
    ParseOrderKeys();
    KeepAnchors(*page);
    m_pages.push_back(std::move(page));
    if (m_rowCount < 0 && m_countInBackground)
        CountInBackground();
}

void TDataSet::CountInBackground()
{
    const QString address = m_connection->LibraryAddress();
    if (address.isEmpty() || address.startsWith(QLatin1Char(':')))
        return; // a library only this connection sees
    if (!m_counter) {
        m_counter = std::make_unique<TRecordCounter>(address);
        connect(m_counter.get(), &TRecordCounter::Counted, this, &TDataSet::TakeCount,
                Qt::QueuedConnection);
        connect(m_counter.get(), &TRecordCounter::Marked, this, &TDataSet::TakeMarks,
                Qt::QueuedConnection);
    }
    // With the count, the sort keys of every MarkRows-th row: a jump anywhere then starts near
    // a row whose place is known.
    QString marks;
    if (!m_orderKeys.empty()) {
        QStringList names, order;
        for (const TOrderKey &key : m_orderKeys) {
            names << key.Name;
            order << key.Name + (key.Descending ? QStringLiteral(" DESC") : QString());
        }
        marks = QStringLiteral("SELECT %1, marked_row FROM (SELECT %1, row_number() OVER (ORDER "
                               "BY %2) AS marked_row FROM (%3) AS listed) AS numbered WHERE "
                               "marked_row % %4 = 0")
                    .arg(names.join(QStringLiteral(", ")), order.join(QStringLiteral(", ")),
                         WithoutOrder(ReadText()))
                    .arg(MarkRows);
    }
    // Asked when events next run: start-up or a keystroke is over, and of keystrokes handled
    // together only the last is counted.
    QTimer::singleShot(
        0, this, [this, ticket = m_countTicket, sql = CountText(), params = m_params, marks] {
            if (ticket == m_countTicket && m_rowCount < 0) // not counted here meanwhile
                m_counter->Count(ticket, sql, params, marks);
        });
}

void TDataSet::TakeCount(quint64 ticket, qint64 count)
{
    if (ticket != m_countTicket || !Active() || m_rowCount >= 0)
        return;
    if (count < 0) {
        RecordCount(); // counted here, which tells the controls
        return;
    }
    m_rowCount = std::max(int(count), PageRows);
    emit RecordCountKnown(m_rowCount);
}

void TDataSet::TakeMarks(quint64 ticket, const TRecordCounter::TMarks &marks)
{
    if (ticket != m_countTicket || !Active())
        return;
    for (const auto &[row, keys] : marks) {
        if (row < 0 || row >= m_rowCount || keys.size() != m_orderKeys.size())
            continue;
        // As with rows read here: no seeking from a missing key or a text that did not survive.
        const bool usable = std::none_of(keys.begin(), keys.end(), [](const QVariant &value) {
            return value.isNull() || (value.metaType().id() == QMetaType::QString &&
                                      value.toString().contains(QChar::ReplacementCharacter));
        });
        if (usable)
            m_anchors[row] = keys;
    }
    emit RowsMarked();
}

QString TDataSet::CountText() const
{
    return QStringLiteral("SELECT count(*) FROM (") + WithoutOrder(SelectText()) +
           QStringLiteral(") AS counted");
}

int TDataSet::ShownRecordCount() const
{
    if (m_onDemand && m_rowCount < 0 && m_countInBackground && m_counter)
        return PageRows;
    return RecordCount();
}

int TDataSet::RecordCount() const
{
    if (!m_onDemand)
        return int(m_order.size());
    if (m_rowCount < 0) {
        TStatement count(*m_connection, CountText(), m_params);
        m_rowCount = count.Step() ? std::max(int(count.Integer(0)), PageRows) : PageRows;
        // Controls showing the first page's rows take the count at once.
        if (m_countInBackground && m_counter)
            emit const_cast<TDataSet *>(this)->RecordCountKnown(m_rowCount);
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
