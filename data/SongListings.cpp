#include "data/SongListings.h"

#include "data/DataSet.h"
#include "data/SelectionSql.h"
#include "data/SqlDialect.h"

#include <QRegularExpression>

QVariantList CriteriaValues(TConnection &connection, TCriteriaList list)
{
    TDataSet query(&connection);
    switch (list) {
    case TCriteriaList::Artists:
        query.SetSQL({QStringLiteral("SELECT Distinct(ID3_Artist) as Artist FROM Playlist_DB"),
                      QStringLiteral("ORDER BY ID3_Artist")});
        break;
    case TCriteriaList::Albums:
        query.SetSQL({QStringLiteral("SELECT Distinct(ID3_Album) as Album FROM Playlist_DB"),
                      QStringLiteral("ORDER BY ID3_Album")});
        break;
    case TCriteriaList::Genres:
        query.SetSQL({QStringLiteral("SELECT Distinct(ID3_Genre) FROM Playlist_DB"),
                      QStringLiteral("ORDER BY ID3_Genre")});
        break;
    }
    query.Open();
    QVariantList values;
    values.reserve(query.RecordCount());
    for (int row = 0; row < query.RecordCount(); ++row)
        values << query.Value(row, 0);
    return values;
}

void OpenAllSongs(TDataSet &songs)
{
    songs.Close();
    songs.Parameters().Clear(); // a selection's values
    songs.SetSQL(
        {QStringLiteral("SELECT * FROM Playlist_DB"), QStringLiteral("ORDER BY ID3_Title")});
    songs.Open();
}

void OpenSelection(TDataSet &songs, const TSelectionCriteria &criteria)
{
    const TSelectionStatement selection = BuildSelectionStatement(criteria);
    songs.Close();
    songs.SetSQL({selection.Sql});
    songs.Parameters() = selection.Params;
    songs.Open();
}

void OpenSongsByRowId(TDataSet &songs)
{
    songs.Close();
    songs.SetCommandText(QStringLiteral("SELECT * FROM Playlist_DB ORDER BY Row_ID"));
    songs.Open();
}

namespace
{
const QStringList SearchedColumns = {QStringLiteral("ID3_Title"), QStringLiteral("ID3_Artist"),
                                     QStringLiteral("ID3_Album"), QStringLiteral("ID3_Comment"),
                                     QStringLiteral("Filename")};

// The column's own spelling, or empty when Playlist_DB has no such column.
QString SortColumn(const QString &field)
{
    static const char *const columns[] = {"Row_ID",      "Path",      "Filename",   "Duration",
                                          "FileType",    "ID3_Title", "ID3_Artist", "ID3_Genre",
                                          "ID3_Comment", "ID3_Album", "ID3_Year",   "ID3_Track"};
    for (const char *column : columns) {
        if (field.compare(QLatin1String(column), Qt::CaseInsensitive) == 0)
            return QLatin1String(column);
    }
    return {};
}

QString LikePattern(const QString &word)
{
    QString escaped;
    for (const QChar c : word) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return u'%' + escaped + u'%';
}

bool HasSearchIndex(TConnection &connection)
{
    if (connection.OnServer()) {
        TStatement index(connection,
                         QStringLiteral("SELECT count(*) FROM pg_catalog.pg_indexes WHERE "
                                        "schemaname = current_schema() AND indexname = "
                                        "'playlist_db_search'"));
        return index.Step() && index.Integer(0) > 0;
    }
    TStatement table(connection, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                                "'Playlist_Search'"));
    return table.Step() && table.Integer(0) > 0;
}
} // namespace

QStringList SearchWords(const QString &text)
{
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

QString SearchCondition(TConnection &connection, const QStringList &words, bool useSearchIndex,
                        TParams &params)
{
    if (words.isEmpty())
        return {};
    const QString like = AsciiCaseBlindLike(connection.OnServer());
    QStringList terms;
    QStringList phrases;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString name = QStringLiteral("search%1").arg(i);
        params.SetValue(name, LikePattern(words[i]), TFieldType::Text);
        QStringList columns;
        for (const QString &column : SearchedColumns)
            columns << QStringLiteral("%1 %2 :%3 ESCAPE '\\'").arg(column, like, name);
        terms << QLatin1Char('(') + columns.join(QStringLiteral(" OR ")) + QLatin1Char(')');
        // The index holds runs of three characters: shorter words are found by the scan alone.
        if (words[i].toUcs4().size() >= 3)
            phrases << QLatin1Char('"') + QString(words[i]).replace(u'"', QStringLiteral("\"\"")) +
                           QLatin1Char('"');
    }
    // The index narrows the songs to those that may match; the patterns decide, so the songs
    // found are those a plain scan finds.
    if (connection.OnServer()) {
        const QString keys = PostgresSearchKeysQuery(words);
        if (useSearchIndex && !keys.isEmpty() && HasSearchIndex(connection)) {
            params.SetValue(QStringLiteral("searchkeys"), keys, TFieldType::Text);
            terms.prepend(QStringLiteral("Playlist_Search_Keys(ID3_Title, ID3_Artist, ID3_Album, "
                                         "ID3_Comment, Filename) @@ CAST(:searchkeys AS "
                                         "tsquery)"));
        }
    } else if (useSearchIndex && !phrases.isEmpty() && HasSearchIndex(connection)) {
        params.SetValue(QStringLiteral("searchphrases"), phrases.join(QLatin1Char(' ')),
                        TFieldType::Text);
        terms.prepend(QStringLiteral("Row_ID IN (SELECT rowid FROM Playlist_Search WHERE "
                                     "Playlist_Search MATCH :searchphrases)"));
    }
    return terms.join(QStringLiteral(" AND "));
}

QString SongListingSql(TConnection &connection, const TSongListing &listing, TParams &params)
{
    // The selection's values go as parameters, never into the statement's text.
    const TSelectionStatement selection = BuildSelectionStatement(listing.Criteria);
    QString sql = selection.Sql;
    params = selection.Params;
    const QStringList words = SearchWords(listing.Search);
    const QString column = SortColumn(listing.SortField);
    // The selection's statement as it is: a library file gives its rows in the same order on
    // every read. A server's rows have no order of their own, so there Row_ID is added.
    if (words.isEmpty() && column.isEmpty() && !connection.OnServer())
        return sql;
    // The selection's own order, written last.
    static const QRegularExpression selectionOrder(QStringLiteral("ORDER BY (ID3_\\w+)\\s*$"));
    QString order;
    const QRegularExpressionMatch ordered = selectionOrder.match(sql);
    if (ordered.hasMatch()) {
        order = ordered.captured(1);
        sql.truncate(ordered.capturedStart());
    }
    const QString condition = SearchCondition(connection, words, listing.UseSearchIndex, params);
    if (!condition.isEmpty()) {
        static const QRegularExpression filtered(
            QStringLiteral("^SELECT \\* FROM Playlist_DB\\s+WHERE\\s"));
        sql +=
            (filtered.match(sql).hasMatch() ? QStringLiteral("AND (") : QStringLiteral("WHERE (")) +
            condition + QStringLiteral(")\r");
    }
    if (!column.isEmpty())
        order = column;
    const QString direction =
        listing.Descending && !column.isEmpty() ? QStringLiteral(" DESC") : QString();
    QStringList keys;
    if (!order.isEmpty() && order != QLatin1String("Row_ID"))
        keys << order + direction;
    if (order == QLatin1String("Path"))
        keys << QStringLiteral("Filename") + direction;
    keys << QStringLiteral("Row_ID") + direction;
    return sql + QStringLiteral("ORDER BY ") + keys.join(QStringLiteral(", ")) + QLatin1Char('\r');
}

void OpenSongListing(TDataSet &songs, const TSongListing &listing)
{
    songs.Close();
    TParams params;
    const QString sql = SongListingSql(*songs.Connection(), listing, params);
    songs.SetSQL({sql});
    songs.Parameters() = params;
    songs.Open();
}
