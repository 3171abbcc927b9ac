#include "data/SqlDialect.h"

#include "base/Errors.h"
#include "data/Database.h"

#include <QHash>
#include <QRegularExpression>

namespace
{

struct TSegment {
    QString Text;
    bool Quoted; // a string literal or a quoted name, passed on as it is
};

// The text split at its literals, so that rewrites never touch what a literal holds.
std::vector<TSegment> Segments(const QString &text)
{
    std::vector<TSegment> segments;
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\'' && c != u'"') {
            plain += c;
            continue;
        }
        segments.push_back({std::exchange(plain, {}), false});
        qsizetype end = i + 1;
        for (; end < text.size(); ++end) {
            if (text[end] != c)
                continue;
            if (end + 1 < text.size() && text[end + 1] == c) {
                ++end;
                continue;
            }
            break;
        }
        segments.push_back({text.mid(i, end - i + 1), true});
        i = end;
    }
    segments.push_back({plain, false});
    return segments;
}

// SQLite's phrases and PostgreSQL's, side by side.
struct TRewrite {
    QRegularExpression Sqlite;
    QString Postgres;
};

const std::vector<TRewrite> &Rewrites()
{
    static const std::vector<TRewrite> rewrites = {
        // A list of ids, sent as a JSON array.
        {QRegularExpression(QStringLiteral(R"(SELECT\s+value\s+FROM\s+json_each\((:\w+)\))"),
                            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral("SELECT CAST(value AS bigint) FROM json_array_elements_text(CAST(\\1 AS "
                        "json))")},
        // LIKE with a bound pattern, as LikeBeforeLiteral below has it for a literal one.
        {QRegularExpression(QStringLiteral(R"(\s+LIKE\s+(:\w+))"),
                            QRegularExpression::CaseInsensitiveOption),
         QStringLiteral(" COLLATE \"C\" ILIKE \\1 ESCAPE ''")},
    };
    return rewrites;
}

// SQLite's LIKE ignores the case of ASCII letters and has no escape character; a column that
// ignores case in comparisons cannot be matched with LIKE on PostgreSQL, so it is compared
// byte-wise there.
const QRegularExpression &LikeBeforeLiteral()
{
    static const QRegularExpression like(QStringLiteral(R"(\s+LIKE\s*$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    return like;
}

const QRegularExpression &ParameterName()
{
    static const QRegularExpression name(QStringLiteral(R"((?<!:):([A-Za-z_][A-Za-z0-9_]*))"));
    return name;
}

const QRegularExpression &InsertInto()
{
    static const QRegularExpression insert(QStringLiteral(R"(^\s*INSERT\s+INTO\s+(\w+)\s*\()"),
                                           QRegularExpression::CaseInsensitiveOption);
    return insert;
}

// The key column of each of the library's tables.
QString KeyOf(const QString &table)
{
    if (table.compare(QLatin1String("Playlists"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("PlayList_ID");
    if (table.compare(QLatin1String("Playlist_DB"), Qt::CaseInsensitive) == 0 ||
        table.compare(QLatin1String("Playlist_Songs"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Row_ID");
    return {};
}

// What a table's INSERT adds so that a row that is there already is skipped, and the
// transaction goes on; empty for a table without such a rule.
QString DuplicateSkipped(const QString &table)
{
    // One row per file.
    if (table.compare(QLatin1String("Playlist_DB"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("ON CONFLICT (Path, Filename) DO NOTHING");
    return {};
}

} // namespace

TPostgresText PostgresText(const QString &sqliteText)
{
    TPostgresText result{{}, {}, false, false};
    std::vector<TSegment> segments = Segments(sqliteText);
    QString text;
    bool escapeNext = false;
    bool script = false; // more than one statement
    for (TSegment &segment : segments) {
        if (segment.Quoted) {
            text += segment.Text;
            if (std::exchange(escapeNext, false) && segment.Text.startsWith(u'\''))
                text += QStringLiteral(" ESCAPE ''");
            continue;
        }
        QString plain = segment.Text;
        script = script ||
                 plain.trimmed().chopped(plain.trimmed().endsWith(u';') ? 1 : 0).contains(u';');
        for (const TRewrite &rewrite : Rewrites())
            plain.replace(rewrite.Sqlite, rewrite.Postgres);
        if (LikeBeforeLiteral().match(plain).hasMatch()) {
            plain.replace(LikeBeforeLiteral(), QStringLiteral(" COLLATE \"C\" ILIKE "));
            escapeNext = true;
        }
        // Parameters: ":name" becomes "$n", the same name the same number.
        QString numbered;
        qsizetype last = 0;
        auto matches = ParameterName().globalMatch(plain);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            const QString name = match.captured(1);
            qsizetype number = result.Parameters.indexOf(name);
            if (number < 0) {
                result.Parameters << name;
                number = result.Parameters.size() - 1;
            }
            numbered += plain.mid(last, match.capturedStart() - last);
            numbered += QLatin1Char('$') + QString::number(number + 1);
            last = match.capturedEnd();
        }
        numbered += plain.mid(last);
        text += numbered;
    }
    const QRegularExpressionMatch insert = InsertInto().match(text);
    const QString key = insert.hasMatch() && !script ? KeyOf(insert.captured(1)) : QString();
    if (!key.isEmpty() && !text.contains(QLatin1String("RETURNING"), Qt::CaseInsensitive)) {
        text = text.trimmed();
        if (text.endsWith(u';'))
            text.chop(1);
        const QString skipped = DuplicateSkipped(insert.captured(1));
        if (!skipped.isEmpty()) {
            text += QLatin1Char(' ') + skipped;
            result.DuplicateIsSkipped = true;
        }
        // The new row's key comes back with the statement instead of through another one.
        text += QStringLiteral(" RETURNING ") + key;
        result.ReturnsKey = true;
    }
    result.Text = text.toUtf8();
    return result;
}

void TRowsInsert::CheckNumbering(const TStatement &statement) const
{
    if (Rows > 0 &&
        statement.Parameter(QStringLiteral("r%1c0").arg(Rows - 1)) != (Rows - 1) * Columns + 1)
        throw EDatabaseError(QStringLiteral("The rows' parameters are out of order"));
}

TRowsInsert RowsInsert(const QString &table, const QStringList &columns, int rows,
                       const QStringList &returning)
{
    QStringList values;
    for (int row = 0; row < rows; ++row) {
        QStringList names;
        for (int column = 0; column < columns.size(); ++column)
            names << QStringLiteral(":r%1c%2").arg(row).arg(column);
        values << QLatin1Char('(') + names.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    QStringList lines{
        QStringLiteral("INSERT INTO %1(%2)").arg(table, columns.join(QStringLiteral(", "))),
        QStringLiteral("VALUES ") + values.join(QStringLiteral(",\r\n"))};
    if (!returning.isEmpty())
        lines << DuplicateSkipped(table) + QStringLiteral(" RETURNING ") +
                     returning.join(QStringLiteral(", "));
    return {StatementText(lines), int(columns.size()), rows};
}

QString AsciiCaseBlindLike(bool onServer)
{
    // PostgreSQL cannot LIKE through a collation that ignores case; byte-wise, ILIKE folds
    // ASCII letters only.
    return onServer ? QStringLiteral("COLLATE \"C\" ILIKE") : QStringLiteral("LIKE");
}

QString LibraryColumnName(const QString &postgresName)
{
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> map;
        for (const char *name :
             {"Row_ID",    "Path",        "Filename",     "Duration",      "FileType",
              "ID3_Title", "ID3_Artist",  "ID3_Genre",    "ID3_Comment",   "ID3_Album",
              "ID3_Year",  "ID3_Track",   "File_Size",    "File_Modified", "PlayList_ID",
              "Name",      "Description", "Date_Created", "Song_ID",       "Sequence",
              "SongCount", "LastID",      "Artist",       "Album"}) {
            const QString spelled = QLatin1String(name);
            map.insert(spelled.toLower(), spelled);
        }
        return map;
    }();
    return names.value(postgresName, postgresName);
}

// Names ignore case as SQLite's NOCASE does, through a collation of PostgreSQL's own ICU.
const char *const PostgresSchemaSql = R"SQL(
CREATE COLLATION IF NOT EXISTS quillmere_nocase
    (provider = icu, locale = 'und-u-ks-level2', deterministic = false);

CREATE TABLE Playlist_DB (
    Row_ID        bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    Path          text NOT NULL CHECK (char_length(Path) <= 255),
    Filename      text NOT NULL CHECK (char_length(Filename) <= 100),
    Duration      bigint,
    FileType      bigint,
    ID3_Title     text COLLATE quillmere_nocase CHECK (char_length(ID3_Title) <= 30),
    ID3_Artist    text COLLATE quillmere_nocase CHECK (char_length(ID3_Artist) <= 30),
    ID3_Genre     bigint CHECK (ID3_Genre BETWEEN 0 AND 255),
    ID3_Comment   text COLLATE quillmere_nocase CHECK (char_length(ID3_Comment) <= 30),
    ID3_Album     text COLLATE quillmere_nocase CHECK (char_length(ID3_Album) <= 30),
    ID3_Year      bigint,
    ID3_Track     bigint CHECK (ID3_Track BETWEEN 0 AND 255),
    File_Size     bigint,
    File_Modified bigint
);
CREATE UNIQUE INDEX Playlist_DB_Location ON Playlist_DB (Path, Filename);

CREATE TABLE Playlists (
    PlayList_ID  bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    Name         text COLLATE quillmere_nocase,
    Description  text,
    Date_Created timestamp(0)
);

CREATE TABLE Playlist_Songs (
    Row_ID      bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    Song_ID     bigint,
    PlayList_ID bigint CHECK (PlayList_ID BETWEEN 0 AND 65535),
    Sequence    bigint CHECK (Sequence BETWEEN 0 AND 65535)
);
CREATE INDEX Playlist_Songs_PlayList ON Playlist_Songs (PlayList_ID);

CREATE INDEX Playlist_DB_Title ON Playlist_DB (ID3_Title, Row_ID);
CREATE INDEX Playlist_DB_Artist ON Playlist_DB (ID3_Artist, Row_ID);
CREATE INDEX Playlist_DB_Album ON Playlist_DB (ID3_Album, Row_ID);
CREATE INDEX Playlist_DB_Genre ON Playlist_DB (ID3_Genre, Row_ID);
CREATE INDEX Playlist_DB_Year ON Playlist_DB (ID3_Year, Row_ID);
CREATE INDEX Playlist_DB_Track ON Playlist_DB (ID3_Track, Row_ID);
CREATE INDEX Playlist_DB_Duration ON Playlist_DB (Duration, Row_ID);
CREATE INDEX Playlist_DB_Filename ON Playlist_DB (Filename, Row_ID);

CREATE FUNCTION Playlists_Delete_Entries() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM Playlist_Songs WHERE PlayList_ID = OLD.PlayList_ID;
    RETURN OLD;
END $$;
CREATE TRIGGER Playlists_Delete_Entries AFTER DELETE ON Playlists
    FOR EACH ROW EXECUTE FUNCTION Playlists_Delete_Entries();
)SQL";

// Every ending of every word of the searched texts, so that a word typed anywhere inside one is
// the start of a key. Words end at every ASCII character but a letter or digit, and ASCII letters
// are folded as ILIKE folds them byte-wise; PostgresSearchKeysQuery splits a search the same way.
const char *const PostgresSearchKeysSql = R"SQL(
CREATE FUNCTION Playlist_Search_Keys(title text, artist text, album text, comment text,
                                     filename text)
    RETURNS tsvector LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT array_to_tsvector(coalesce(array_agg(substr(word, start)), '{}'))
FROM regexp_split_to_table(lower(concat_ws(' ', title, artist, album, comment, filename)
                                 COLLATE "C"),
                           '[\x01-\x2f\x3a-\x40\x5b-\x60\x7b-\x7f]+') AS word,
     generate_series(1, length(word)) AS start
$$;
CREATE INDEX Playlist_DB_Search ON Playlist_DB
    USING gin (Playlist_Search_Keys(ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename));
)SQL";

QString PostgresSearchKeysQuery(const QStringList &words)
{
    // Longer parts are found by their start: still a start of the same keys.
    constexpr int ShortestPart = 3, LongestPart = 60;
    QStringList terms;
    for (const QString &word : words) {
        QString part;
        int characters = 0;
        for (qsizetype i = 0; i <= word.size(); ++i) {
            const char16_t u = i < word.size() ? word[i].unicode() : u' ';
            if (u >= 0x80 || (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z')) {
                // The second half of a pair is the same character.
                characters += QChar::isLowSurrogate(u) ? 0 : 1;
                if (characters <= LongestPart)
                    part += QChar(u);
            } else if (u >= u'A' && u <= u'Z') {
                if (++characters <= LongestPart)
                    part += QChar(u + (u'a' - u'A'));
            } else {
                if (characters >= ShortestPart)
                    terms << QLatin1Char('\'') + part + QStringLiteral("':*");
                part.clear();
                characters = 0;
            }
        }
    }
    return terms.join(QStringLiteral(" & "));
}

QString PostgresLayoutComment(int version)
{
    return QStringLiteral("Quillmere library layout %1").arg(version);
}

int PostgresLayoutVersion(const QString &comment)
{
    static const QRegularExpression layout(QStringLiteral(R"(^Quillmere library layout (\d+)$)"));
    const QRegularExpressionMatch match = layout.match(comment);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}
