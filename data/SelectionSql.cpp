#include "data/SelectionSql.h"

namespace
{

const QChar CR(u'\r');

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// One OR group, "((Column = a)" CR " OR (Column = b)" CR ") ", skipping empty values.
void AppendGroup(QString &sql, QString &joiner, const QString &column, const QStringList &values)
{
    bool started = false;
    for (const QString &value : values) {
        if (value.isEmpty())
            continue;
        if (!started) {
            sql +=
                joiner + QStringLiteral(" ((") + column + QStringLiteral(" = ") + value + u')' + CR;
            joiner = QStringLiteral("AND");
            started = true;
        } else {
            sql += QStringLiteral(" OR (") + column + QStringLiteral(" = ") + value + u')' + CR;
        }
    }
    if (started)
        sql += QStringLiteral(") ");
}

QStringList Quoted(const QStringList &values)
{
    QStringList result;
    result.reserve(values.size());
    for (const QString &value : values)
        result << (value.isEmpty() ? QString() : QuotedString(value));
    return result;
}

QString OrderByColumn(const QString &sort)
{
    static const char *const sorts[] = {"Album", "Artist", "Comment", "Genre", "Title", "Year"};
    for (const char *name : sorts) {
        if (sort == QLatin1String(name))
            return QStringLiteral("ID3_") + sort;
    }
    return QString();
}

} // namespace

QString QuotedString(const QString &text)
{
    QString result = text;
    result.replace(u'\'', QStringLiteral("''"));
    return u'\'' + result + u'\'';
}

QString YearDigits(const QString &text)
{
    QString digits;
    for (QChar c : text) {
        if (digits.size() == 4)
            break;
        if (IsAsciiDigit(c))
            digits += c;
    }
    return digits;
}

QString GenreNumber(const QString &entry)
{
    const QString number = entry.section(u'.', 0, 0);
    for (QChar c : number) {
        if (!IsAsciiDigit(c))
            return QString();
    }
    return number;
}

QString BuildSelectionSql(const TSelectionCriteria &criteria)
{
    QString sql = QStringLiteral("SELECT * FROM Playlist_DB") + CR;
    QString joiner = QStringLiteral("WHERE");

    AppendGroup(sql, joiner, QStringLiteral("ID3_Artist"), Quoted(criteria.Artists));

    QStringList genres;
    for (const QString &entry : criteria.Genres)
        genres << GenreNumber(entry);
    AppendGroup(sql, joiner, QStringLiteral("ID3_Genre"), genres);

    AppendGroup(sql, joiner, QStringLiteral("ID3_Album"), Quoted(criteria.Albums));

    if (!criteria.Comment.isEmpty()) {
        sql += joiner + QStringLiteral(" ID3_Comment LIKE ") +
               QuotedString(u'%' + criteria.Comment + u'%') + CR;
        joiner = QStringLiteral("AND");
    }
    const QString startYear = YearDigits(criteria.StartYear);
    if (!startYear.isEmpty()) {
        sql += joiner + QStringLiteral(" ID3_Year >= ") + startYear + CR;
        joiner = QStringLiteral("AND");
    }
    const QString endYear = YearDigits(criteria.EndYear);
    if (!endYear.isEmpty()) {
        sql += joiner + QStringLiteral(" ID3_Year <= ") + endYear + CR;
        joiner = QStringLiteral("AND");
    }

    const QString column = OrderByColumn(criteria.Sort);
    if (!column.isEmpty())
        sql += QStringLiteral("ORDER BY ") + column + CR;
    return sql;
}
