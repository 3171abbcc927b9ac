#include "data/SelectionSql.h"

#include <QHash>
#include <functional>

namespace
{

const QChar CR(u'\r');

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Writes a value into the statement: as a literal where the statement is shown, as a
// parameter where it runs.
using TValueWriter =
    std::function<QString(const QString &role, const QString &value, TFieldType type)>;

// One OR group, "((Column = a)" CR " OR (Column = b)" CR ") ", skipping empty values.
void AppendGroup(QString &sql, QString &joiner, const QString &column, const QStringList &values,
                 TFieldType type, const TValueWriter &write)
{
    bool started = false;
    for (const QString &value : values) {
        if (value.isEmpty())
            continue;
        const QString written = write(column.mid(4).toLower(), value, type);
        if (!started) {
            sql += joiner + QStringLiteral(" ((") + column + QStringLiteral(" = ") + written +
                   u')' + CR;
            joiner = QStringLiteral("AND");
            started = true;
        } else {
            sql += QStringLiteral(" OR (") + column + QStringLiteral(" = ") + written + u')' + CR;
        }
    }
    if (started)
        sql += QStringLiteral(") ");
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

namespace
{

QString BuildWith(const TSelectionCriteria &criteria, const TValueWriter &write)
{
    QString sql = QStringLiteral("SELECT * FROM Playlist_DB") + CR;
    QString joiner = QStringLiteral("WHERE");

    AppendGroup(sql, joiner, QStringLiteral("ID3_Artist"), criteria.Artists, TFieldType::Text,
                write);

    QStringList genres;
    for (const QString &entry : criteria.Genres)
        genres << GenreNumber(entry);
    AppendGroup(sql, joiner, QStringLiteral("ID3_Genre"), genres, TFieldType::Integer, write);

    AppendGroup(sql, joiner, QStringLiteral("ID3_Album"), criteria.Albums, TFieldType::Text, write);

    if (!criteria.Comment.isEmpty()) {
        sql += joiner + QStringLiteral(" ID3_Comment LIKE ") +
               write(QStringLiteral("comment"), u'%' + criteria.Comment + u'%', TFieldType::Text) +
               CR;
        joiner = QStringLiteral("AND");
    }
    const QString startYear = YearDigits(criteria.StartYear);
    if (!startYear.isEmpty()) {
        sql += joiner + QStringLiteral(" ID3_Year >= ") +
               write(QStringLiteral("startYear"), startYear, TFieldType::Integer) + CR;
        joiner = QStringLiteral("AND");
    }
    const QString endYear = YearDigits(criteria.EndYear);
    if (!endYear.isEmpty()) {
        sql += joiner + QStringLiteral(" ID3_Year <= ") +
               write(QStringLiteral("endYear"), endYear, TFieldType::Integer) + CR;
        joiner = QStringLiteral("AND");
    }

    const QString column = OrderByColumn(criteria.Sort);
    if (!column.isEmpty())
        sql += QStringLiteral("ORDER BY ") + column + CR;
    return sql;
}

} // namespace

QString BuildSelectionSql(const TSelectionCriteria &criteria)
{
    return BuildWith(criteria, [](const QString &, const QString &value, TFieldType type) {
        return type == TFieldType::Text ? QuotedString(value) : value;
    });
}

TSelectionStatement BuildSelectionStatement(const TSelectionCriteria &criteria)
{
    TSelectionStatement selection;
    QHash<QString, int> counts;
    selection.Sql =
        BuildWith(criteria, [&](const QString &role, const QString &value, TFieldType type) {
            const QString name = role + QString::number(++counts[role]);
            bool isNumber = false;
            const qint64 number = value.toLongLong(&isNumber);
            if (type == TFieldType::Integer && isNumber)
                selection.Params.SetValue(name, number, TFieldType::Integer);
            else
                selection.Params.SetValue(name, value, TFieldType::Text);
            return u':' + name;
        });
    return selection;
}
