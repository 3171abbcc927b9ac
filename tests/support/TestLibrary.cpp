#include "tests/support/TestLibrary.h"

#include "data/DataSet.h"
#include "data/PostgresEngine.h"
#include "data/ProgramDirectory.h"
#include "data/URegistry.h"

#include <QDateTime>
#include <QDir>

namespace
{
// Each case starts as a first run: nothing remembered from an earlier case's window or Options.
void ForgetRememberedSettings()
{
    DeleteSettingsKey(WindowKeyPath, false);
    DeleteSettingsKey(OptionsKeyPath, false);
}
} // namespace

TestLibrary::TestLibrary()
{
    ForgetRememberedSettings();
    SetProgramDirectoryOverride(m_dir.path());
    CreateLibrary(FileName());
    m_connection.ConnectionString = ConnectionString();
    m_connection.Open();
}

TestLibrary::TestLibrary(const QString &serverAddress) : m_server(serverAddress)
{
    ForgetRememberedSettings();
    SetProgramDirectoryOverride(m_dir.path());
    if (!m_server.isEmpty())
        OpenPostgresLibrary(m_server)->ExecuteScript(
            QStringLiteral("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public"));
    CreateLibrary(FileName());
    m_connection.ConnectionString = ConnectionString();
    m_connection.Open();
}

TestLibrary::~TestLibrary()
{
    m_connection.Close();
    SetProgramDirectoryOverride(QString());
}

QString TestLibrary::Directory() const
{
    return QDir::toNativeSeparators(m_dir.path()) + QDir::separator();
}

QString TestLibrary::FileName() const
{
    if (!m_server.isEmpty())
        return m_server;
    return Directory() + QStringLiteral("quillmeredb.mdb");
}

QString TestLibrary::ConnectionString() const
{
    if (!m_server.isEmpty()) {
        TConnection connection;
        connection.SetLibraryAddress(m_server);
        return connection.ConnectionString;
    }
    return TConnection::BuildConnectionString(Directory());
}

qint64 TestLibrary::AddSong(const QString &title, const QString &path, const QString &fileName,
                            int duration, int genre, const QString &artist, const QString &album,
                            int year, int track, const QString &comment)
{
    TParams p;
    p.SetValue(QStringLiteral("path"), path, TFieldType::Text);
    p.SetValue(QStringLiteral("filename"),
               fileName.isEmpty() ? title + QStringLiteral(".mp3") : fileName, TFieldType::Text);
    p.SetValue(QStringLiteral("duration"), duration, TFieldType::Integer);
    p.SetValue(QStringLiteral("title"), title, TFieldType::Text);
    p.SetValue(QStringLiteral("artist"), artist, TFieldType::Text);
    p.SetValue(QStringLiteral("genre"), genre, TFieldType::Integer);
    p.SetValue(QStringLiteral("comment"), comment, TFieldType::Text);
    p.SetValue(QStringLiteral("album"), album, TFieldType::Text);
    p.SetValue(QStringLiteral("year"), year, TFieldType::Integer);
    p.SetValue(QStringLiteral("track"), track, TFieldType::Integer);
    m_connection.Execute(
        QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, ID3_Title, "
                       "ID3_Artist, ID3_Genre, ID3_Comment, ID3_Album, ID3_Year, ID3_Track) "
                       "VALUES(:path, :filename, :duration, 1, :title, :artist, :genre, "
                       ":comment, :album, :year, :track)"),
        p);
    return m_connection.LastInsertId();
}

qint64 TestLibrary::AddPlaylist(const QString &name, const QString &description)
{
    TParams p;
    p.SetValue(QStringLiteral("name"), name, TFieldType::Text);
    p.SetValue(QStringLiteral("description"), description, TFieldType::Text);
    p.SetValue(QStringLiteral("datecreated"), QDateTime::currentDateTime(), TFieldType::DateTime);
    m_connection.Execute(QStringLiteral("INSERT INTO Playlists(name, description, date_created) "
                                        "VALUES(:name, :description, :datecreated)"),
                         p);
    return m_connection.LastInsertId();
}

qint64 TestLibrary::AddEntry(qint64 playlistId, qint64 songId, int sequence)
{
    TParams p;
    p.SetValue(QStringLiteral("p"), playlistId, TFieldType::Integer);
    p.SetValue(QStringLiteral("s"), songId, TFieldType::Integer);
    p.SetValue(QStringLiteral("q"), sequence, TFieldType::Integer);
    m_connection.Execute(QStringLiteral("INSERT INTO Playlist_Songs(PlayList_ID, Song_ID, "
                                        "Sequence) VALUES(:p, :s, :q)"),
                         p);
    return m_connection.LastInsertId();
}

void TestLibrary::Exec(const QString &sql, const TParams &params)
{
    m_connection.Execute(sql, params);
}

qint64 TestLibrary::QueryInt(const QString &sql)
{
    TDataSet q(&m_connection);
    q.SetCommandText(sql);
    q.Open();
    return q.IsEmpty() ? 0 : q.Value(0, 0).toLongLong();
}

QList<QPair<qint64, int>> TestLibrary::StoredEntries(qint64 playlistId)
{
    TDataSet q(&m_connection);
    q.SetCommandText(QStringLiteral("SELECT Song_ID, Sequence FROM Playlist_Songs WHERE "
                                    "PlayList_ID = :p ORDER BY Sequence"));
    q.Parameters().SetValue(QStringLiteral("p"), playlistId, TFieldType::Integer);
    q.Open();
    QList<QPair<qint64, int>> result;
    for (int row = 0; row < q.RecordCount(); ++row)
        result.append({q.Value(row, 0).toLongLong(), q.Value(row, 1).toInt()});
    return result;
}
