#include "data/LibrarySchema.h"

#include "base/Errors.h"
#include "data/Database.h"
#include "data/SqlDialect.h"
#include "data/UMP3s.h"

namespace
{

int UserVersion(TConnection &connection)
{
    TStatement version(connection, QStringLiteral("PRAGMA user_version"));
    return version.Step() ? version.Integer(0) : 0;
}

bool HasQuillmereTables(TConnection &connection)
{
    TStatement tables(
        connection,
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                       "lower(name) IN ('playlist_db', 'playlists', 'playlist_songs')"));
    return tables.Step() && tables.Integer(0) == 3;
}

bool HasLatin1Controls(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
            return true;
    }
    return false;
}

// Tag texts were stored one character per byte; read them through Windows-1252 instead.
void RemapTagTexts(TConnection &connection)
{
    const QStringList columns = {QStringLiteral("ID3_Title"), QStringLiteral("ID3_Artist"),
                                 QStringLiteral("ID3_Album"), QStringLiteral("ID3_Comment")};
    TStatement rows(connection, QStringLiteral("SELECT Row_ID, ") +
                                    columns.join(QStringLiteral(", ")) +
                                    QStringLiteral(" FROM Playlist_DB"));
    QList<QPair<qint64, QStringList>> changed;
    while (rows.Step()) {
        QStringList texts;
        bool differs = false;
        for (int i = 0; i < columns.size(); ++i) {
            const QString text = rows.Text(i + 1);
            differs = differs || HasLatin1Controls(text);
            texts << text;
        }
        if (differs)
            changed.append({rows.Integer(0), texts});
    }
    for (const auto &[rowId, texts] : std::as_const(changed)) {
        TParams params;
        QStringList assignments;
        for (int i = 0; i < columns.size(); ++i) {
            assignments << columns[i] + QStringLiteral(" = :c%1").arg(i);
            params.SetValue(QStringLiteral("c%1").arg(i), RemapLatin1Controls(texts[i]),
                            TFieldType::Text);
        }
        params.SetValue(QStringLiteral("id"), rowId, TFieldType::Integer);
        connection.Execute(QStringLiteral("UPDATE Playlist_DB SET ") +
                               assignments.join(QStringLiteral(", ")) +
                               QStringLiteral(" WHERE Row_ID = :id"),
                           params);
    }
}

qint64 DuplicateSongs(TConnection &connection)
{
    TStatement count(connection,
                     QStringLiteral("SELECT coalesce(sum(n - 1), 0) FROM (SELECT count(*) AS n "
                                    "FROM Playlist_DB GROUP BY Path, Filename HAVING n > 1)"));
    return count.Step() ? count.Integer(0) : 0;
}

QStringList DuplicatesNote(qint64 duplicates)
{
    if (duplicates <= 0)
        return {};
    return {QStringLiteral("The library lists %1 song files more than once. They are kept as "
                           "they are; new imports add every file only once.")
                .arg(duplicates)};
}

bool HasUniqueLocation(TConnection &connection)
{
    TStatement index(connection,
                     QStringLiteral("SELECT count(*) FROM pragma_index_list('Playlist_DB') "
                                    "WHERE name = 'Playlist_DB_Location' AND \"unique\""));
    return index.Step() && index.Integer(0) == 1;
}

// Songs listed twice are kept as they are: which row the playlists mean is the user's call.
QStringList AddUniqueLocation(TConnection &connection)
{
    const qint64 duplicates = DuplicateSongs(connection);
    if (duplicates > 0)
        return DuplicatesNote(duplicates);
    connection.Execute(QStringLiteral("DROP INDEX IF EXISTS Playlist_DB_Location"));
    connection.Execute(
        QStringLiteral("CREATE UNIQUE INDEX Playlist_DB_Location ON Playlist_DB (Path, Filename)"));
    return {};
}

void AddFileStamps(TConnection &connection)
{
    connection.Execute(QStringLiteral("ALTER TABLE Playlist_DB ADD COLUMN File_Size INTEGER"));
    connection.Execute(QStringLiteral("ALTER TABLE Playlist_DB ADD COLUMN File_Modified INTEGER"));
}

// Indexes for sorting by each column and the search index, built once from the songs there.
void AddSortAndSearch(TConnection &connection)
{
    static const char *const layout = R"SQL(
CREATE INDEX IF NOT EXISTS Playlist_DB_Title ON Playlist_DB (ID3_Title);
CREATE INDEX IF NOT EXISTS Playlist_DB_Artist ON Playlist_DB (ID3_Artist);
CREATE INDEX IF NOT EXISTS Playlist_DB_Album ON Playlist_DB (ID3_Album);
CREATE INDEX IF NOT EXISTS Playlist_DB_Genre ON Playlist_DB (ID3_Genre);
CREATE INDEX IF NOT EXISTS Playlist_DB_Year ON Playlist_DB (ID3_Year);
CREATE INDEX IF NOT EXISTS Playlist_DB_Track ON Playlist_DB (ID3_Track);
CREATE INDEX IF NOT EXISTS Playlist_DB_Duration ON Playlist_DB (Duration);
CREATE INDEX IF NOT EXISTS Playlist_DB_Filename ON Playlist_DB (Filename);
CREATE VIRTUAL TABLE Playlist_Search USING fts5(
    ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename,
    content = 'Playlist_DB', content_rowid = 'Row_ID', tokenize = 'trigram');
CREATE TRIGGER Playlist_Search_Insert AFTER INSERT ON Playlist_DB
BEGIN
    INSERT INTO Playlist_Search(rowid, ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename)
    VALUES (NEW.Row_ID, NEW.ID3_Title, NEW.ID3_Artist, NEW.ID3_Album, NEW.ID3_Comment,
            NEW.Filename);
END;
CREATE TRIGGER Playlist_Search_Delete AFTER DELETE ON Playlist_DB
BEGIN
    INSERT INTO Playlist_Search(Playlist_Search, rowid, ID3_Title, ID3_Artist, ID3_Album,
                                ID3_Comment, Filename)
    VALUES ('delete', OLD.Row_ID, OLD.ID3_Title, OLD.ID3_Artist, OLD.ID3_Album, OLD.ID3_Comment,
            OLD.Filename);
END;
CREATE TRIGGER Playlist_Search_Update
AFTER UPDATE OF Row_ID, ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename ON Playlist_DB
BEGIN
    INSERT INTO Playlist_Search(Playlist_Search, rowid, ID3_Title, ID3_Artist, ID3_Album,
                                ID3_Comment, Filename)
    VALUES ('delete', OLD.Row_ID, OLD.ID3_Title, OLD.ID3_Artist, OLD.ID3_Album, OLD.ID3_Comment,
            OLD.Filename);
    INSERT INTO Playlist_Search(rowid, ID3_Title, ID3_Artist, ID3_Album, ID3_Comment, Filename)
    VALUES (NEW.Row_ID, NEW.ID3_Title, NEW.ID3_Artist, NEW.ID3_Album, NEW.ID3_Comment,
            NEW.Filename);
END;
INSERT INTO Playlist_Search(Playlist_Search) VALUES ('rebuild');
)SQL";
    connection.ExecuteScript(QString::fromUtf8(layout));
}

int ServerLayout(TConnection &connection)
{
    TStatement comment(connection,
                       QStringLiteral("SELECT obj_description(CAST('playlist_db' AS regclass), "
                                      "'pg_class')"));
    return comment.Step() ? PostgresLayoutVersion(comment.Text(0)) : -1;
}

// A library on a server is laid out by init; one of an older layout gets the search keys. Its
// layout version is the comment on Playlist_DB.
QStringList UpgradeServerLibrary(TConnection &connection)
{
    const QString name = connection.LibraryAddress();
    TStatement tables(connection,
                      QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname "
                                     "= current_schema() AND tablename IN ('playlist_db', "
                                     "'playlists', 'playlist_songs')"));
    if (!tables.Step() || tables.Integer(0) != 3)
        throw EDatabaseError(QStringLiteral("\"%1\" is not a Quillmere library").arg(name));
    const int version = ServerLayout(connection);
    if (version < 0)
        throw EDatabaseError(QStringLiteral("\"%1\" is not a Quillmere library").arg(name));
    if (version > ServerLayoutVersion)
        throw EDatabaseError(
            QStringLiteral("\"%1\" was made by a newer version of Quillmere (layout %2)")
                .arg(name)
                .arg(version));
    if (version == ServerLayoutVersion)
        return {};
    // Others may use the library meanwhile: it stays as it was for them if this fails, for
    // example for a user who may not change its layout, and searches then read every song.
    try {
        TTransaction transaction(connection);
        // One program at a time: whoever comes second finds it done. Not behind another's
        // long import: then it is tried again at the next start.
        connection.Execute(QStringLiteral("SET LOCAL lock_timeout = '5s'"));
        connection.Execute(QStringLiteral("LOCK TABLE Playlist_DB IN SHARE ROW EXCLUSIVE MODE"));
        if (ServerLayout(connection) < ServerLayoutVersion) {
            connection.ExecuteScript(QString::fromUtf8(PostgresSearchKeysSql));
            connection.Execute(QStringLiteral("COMMENT ON TABLE Playlist_DB IS '%1'")
                                   .arg(PostgresLayoutComment(ServerLayoutVersion)));
        }
        transaction.Commit();
    } catch (const EError &e) {
        return {QStringLiteral("The library \"%1\" could not be brought up to date, so a search "
                               "reads every song: %2")
                    .arg(name, e.Message())};
    }
    return {};
}

} // namespace

QString RemapLatin1Controls(const QString &Text)
{
    QString out = Text;
    for (QChar &c : out) {
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F) {
            const char byte = char(c.unicode());
            c = FieldToString(&byte, 1).at(0);
        }
    }
    return out;
}

QStringList UpgradeLibrary(TConnection &Connection)
{
    const QString file = Connection.LibraryAddress();
    if (Connection.OnServer())
        return UpgradeServerLibrary(Connection);
    if (!HasQuillmereTables(Connection))
        throw EDatabaseError(QStringLiteral("\"%1\" is not a Quillmere library").arg(file));
    const int version = UserVersion(Connection);
    if (version == LibrarySchemaVersion)
        return HasUniqueLocation(Connection) ? QStringList()
                                             : DuplicatesNote(DuplicateSongs(Connection));
    if (version > LibrarySchemaVersion)
        throw EDatabaseError(
            QStringLiteral("\"%1\" was made by a newer version of Quillmere (layout %2)")
                .arg(file)
                .arg(version));

    QStringList notes;
    bool otherDidIt = false;
    try {
        TTransaction transaction(Connection);
        // Another program may have brought it up to date since the version was read.
        const int current = UserVersion(Connection);
        otherDidIt = current >= LibrarySchemaVersion;
        if (current < 1) {
            RemapTagTexts(Connection);
            notes += AddUniqueLocation(Connection);
            AddFileStamps(Connection);
        }
        if (current < 2)
            AddSortAndSearch(Connection);
        if (!otherDidIt)
            Connection.Execute(
                QStringLiteral("PRAGMA user_version = %1").arg(LibrarySchemaVersion));
        transaction.Commit();
    } catch (const EError &e) {
        throw EDatabaseError(QStringLiteral("Cannot bring the library \"%1\" up to date: %2")
                                 .arg(file, e.Message()));
    }
    if (otherDidIt)
        return UpgradeLibrary(Connection);
    return notes;
}
