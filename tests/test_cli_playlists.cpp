#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/Playlists.h"
#include "data/SongRows.h"
#include "data/UMP3s.h"
#include "import/ImportWalker.h"
#include "tests/support/PlaylistRaces.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// Runs the built quillmere-lib's playlist, export, rescan, missing and prune verbs on real
// libraries and real files.

namespace
{

class PlaylistCli : public ::testing::Test
{
protected:
    // Qt cannot remove names that are not UTF-8.
    void TearDown() override
    {
        for (const QString &name : std::as_const(strayNames))
            RemoveFile(name);
    }
    TRun Run(const QStringList &args)
    {
        return RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY),
                          QStringList{QStringLiteral("--library"), library.FileName()} + args);
    }
    // A generated MP3 file under the music folder; the name may hold stray bytes.
    QString Song(const QString &relative, const SilentMp3Options &options = {})
    {
        const QString name = Music(relative);
        if (HasStrayBytes(name))
            strayNames << name;
        QDir().mkpath(name.left(name.lastIndexOf(QLatin1Char('/'))));
        QFile file;
        EXPECT_TRUE(CreateNewFile(file, name)) << ReadableFileName(name).toStdString();
        const QByteArray bytes = SilentMp3(options);
        EXPECT_EQ(file.write(bytes), bytes.size());
        return name;
    }
    QString Music(const QString &relative) const
    {
        return music.path() + QLatin1Char('/') + relative;
    }
    void ImportMusic()
    {
        TConnection connection;
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
        TImportWalker walker(connection);
        walker.ImportFolder(music.path());
        ASSERT_EQ(walker.Counts().Failed, 0);
    }
    // One column of a printed table, in the order printed.
    static QStringList Column(const TRun &run, const QString &name)
    {
        QStringList lines = QString::fromUtf8(run.Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.isEmpty())
            return {};
        const qsizetype index = lines.takeFirst().split(QLatin1Char('\t')).indexOf(name);
        QStringList values;
        for (const QString &line : lines)
            values << line.split(QLatin1Char('\t')).value(index);
        return values;
    }
    QStringList EntrySongs(qint64 playlist)
    {
        return Column(
            Run({QStringLiteral("playlist"), QStringLiteral("entries"), QString::number(playlist)}),
            QStringLiteral("Song_ID"));
    }
    QList<QPair<qint64, int>> Stored(qint64 playlist) { return library.StoredEntries(playlist); }

    TestLibrary library;
    QTemporaryDir music;
    QStringList strayNames;
};

QStringList Args(std::initializer_list<const char *> args)
{
    QStringList list;
    for (const char *arg : args)
        list << QString::fromUtf8(arg);
    return list;
}

QList<QPair<qint64, int>> Entries(std::initializer_list<qint64> songs)
{
    QList<QPair<qint64, int>> list;
    int sequence = 0;
    for (const qint64 song : songs)
        list.append({song, ++sequence});
    return list;
}

TEST_F(PlaylistCli, CreateAddEntriesRemoveRenameDeleteAndRefusalsStoreNothing)
{
    const qint64 a = library.AddSong(QStringLiteral("Tab\there"), QStringLiteral("/m/"), {}, 61,
                                     255, QStringLiteral("Art"));
    const qint64 b = library.AddSong(QStringLiteral("B"), QStringLiteral("/m/"));
    const qint64 c = library.AddSong(QStringLiteral("C"), QStringLiteral("/m/"));

    TRun run = Run(Args({"playlist", "create", "Road trip", "--description", "for the car"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QByteArray("1\n"));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists WHERE Name = "
                                              "'Road trip' AND Description = 'for the car' AND "
                                              "Date_Created IS NOT NULL")),
              1);
    // The dialog's limits: 25 characters of name, 255 of description.
    EXPECT_EQ(
        Run({QStringLiteral("playlist"), QStringLiteral("create"), QString(26, 'n')}).ExitCode, 2);
    EXPECT_EQ(Run({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("x"),
                   QStringLiteral("--description"), QString(256, 'd')})
                  .ExitCode,
              2);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists")), 1);

    run = Run({QStringLiteral("playlist"), QStringLiteral("add"), QStringLiteral("1"),
               QString::number(c), QString::number(a), QString::number(b), QString::number(a)});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(Stored(1), Entries({c, a, b, a}));
    run = Run(Args({"playlist", "entries", "1"}));
    EXPECT_TRUE(
        run.Out.startsWith("Sequence\tSong_ID\tPath\tFilename\tDuration\tID3_Title\tID3_Artist\n"
                           "1\t3\t/m/\tC.mp3\t0\tC\t\n"
                           "2\t1\t/m/\tTab\\there.mp3\t61\tTab\\there\tArt\n"))
        << run.Out.toStdString();

    // An unknown song, playlist or sequence is refused before anything is stored.
    run = Run(Args({"playlist", "add", "1", "2", "99"}));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("There is no song 99")) << run.Err.toStdString();
    EXPECT_EQ(Run(Args({"playlist", "add", "42", "1"})).ExitCode, 1);
    EXPECT_EQ(Run(Args({"playlist", "add", "one", "1"})).ExitCode, 2);
    run = Run(Args({"playlist", "remove", "1", "1", "7"}));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("There is no entry 7")) << run.Err.toStdString();
    EXPECT_EQ(Stored(1), Entries({c, a, b, a}));

    // Removing renumbers the rest from 1 at once.
    run = Run(Args({"playlist", "remove", "1", "2", "3"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(Stored(1), Entries({c, a}));

    // Stored numbers with gaps: new songs still come after the last entry.
    const qint64 gaps = library.AddPlaylist(QStringLiteral("Gaps"));
    library.AddEntry(gaps, b, 9);
    library.AddEntry(gaps, a, 4);
    ASSERT_EQ(Run({QStringLiteral("playlist"), QStringLiteral("add"), QString::number(gaps),
                   QString::number(c)})
                  .ExitCode,
              0);
    EXPECT_EQ(Stored(gaps), Entries({a, b, c}));

    EXPECT_EQ(Run(Args({"playlist", "rename", "1", "Night drive"})).ExitCode, 0);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists WHERE Name = "
                                              "'Night drive' AND Description = 'for the car'")),
              1);
    EXPECT_EQ(Run(Args({"playlist", "rename", "1", "Night drive", "--description", ""})).ExitCode,
              0);
    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM Playlists WHERE PlayList_ID = 1 AND Description = ''")),
              1);
    EXPECT_EQ(Run(Args({"playlist", "rename", "77", "x"})).ExitCode, 1);

    EXPECT_EQ(Run(Args({"playlist", "delete", "1"})).ExitCode, 0);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_Songs WHERE "
                                              "PlayList_ID = 1")),
              0);
    run = Run(Args({"playlist", "delete", "1"}));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("There is no playlist 1.")) << run.Err.toStdString();
    EXPECT_EQ(Run(Args({"playlist", "entries", "1"})).ExitCode, 1);
    EXPECT_EQ(Run(Args({"playlist", "frobnicate"})).ExitCode, 2);
}

// Names in several scripts, a name that is not UTF-8 and names that look like comments, URLs
// or percent escapes come back as the same songs in the same order, from every format,
// written with absolute and with relative names.
TEST_F(PlaylistCli, ExportThenImportGivesTheSameSongsForEveryFormat)
{
    const QStringList names = {
        QStringLiteral("Caf\u00e9 \u00dcn\u00efcode.mp3"),
        QStringLiteral("\u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430/\u041f\u0440\u0438"
                       "\u0432\u0435\u0442 \u043c\u0438\u0440.mp3"),
        QStringLiteral("\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.mp3"),
        QStringLiteral("\u65e5\u672c\u8a9e/\u6771\u4eac.mp3"),
        QStringLiteral("emoji \U0001F3B5\U0001F3B6.mp3"),
        QStringLiteral("stray ") + FileNameFromBytes("\xff\xfe") + QStringLiteral(".mp3"),
        QStringLiteral("#hash, 100% & co.mp3"),
        QStringLiteral("sub dir/a'b\"c <d>.mp3"),
        QStringLiteral("file:/like a url.mp3"),
    };
    for (const QString &name : names)
        Song(name);
    ImportMusic();
    ASSERT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), names.size());
    ASSERT_EQ(Run(Args({"playlist", "create", "All of them"})).ExitCode, 0);
    QStringList add = Args({"playlist", "add", "1"});
    for (const char *id : {"9", "3", "1", "6", "2", "8", "5", "7", "4", "3"})
        add << QString::fromLatin1(id);
    ASSERT_EQ(Run(add).ExitCode, 0);
    const QStringList original = EntrySongs(1);
    ASSERT_EQ(original.size(), 10);

    qint64 imported = 1;
    for (const char *extension : {"pls", "m3u", "m3u8", "xspf"}) {
        for (const bool relative : {false, true}) {
            const QString where =
                QStringLiteral("%1 %2.%3")
                    .arg(relative ? QStringLiteral("relative") : QStringLiteral("absolute"))
                    .arg(QLatin1String(extension))
                    .arg(QLatin1String(extension));
            SCOPED_TRACE(where.toStdString());
            const QString file = Music(where);
            QStringList exportArgs = {QStringLiteral("export"), QStringLiteral("1"), file};
            if (relative)
                exportArgs << QStringLiteral("--relative");
            TRun run = Run(exportArgs);
            ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
            const QByteArray text = ReadAll(file);
            // Relative names hold no folder above the list's own; only a name that is not
            // UTF-8 stays an absolute URI in .m3u8.
            const QByteArray root = FileNameToBytes(music.path()) + '/';
            if (!relative)
                EXPECT_TRUE(text.contains(root)) << text.toStdString();
            else
                EXPECT_EQ(text.count(root), QByteArray(extension) == "m3u8" ? 1 : 0)
                    << text.toStdString();
            if (QByteArray(extension) == "m3u8" || QByteArray(extension) == "xspf") {
                QStringDecoder utf8(QStringConverter::Utf8);
                const QString decoded = utf8(text);
                EXPECT_FALSE(utf8.hasError() || decoded.isEmpty()) << text.toStdString();
            }
            if (QByteArray(extension) == "xspf") {
                QXmlStreamReader xml(text);
                while (!xml.atEnd())
                    xml.readNext();
                EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
            }

            run = Run({QStringLiteral("playlist"), QStringLiteral("import"), file});
            ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
            ++imported;
            EXPECT_EQ(run.Out, QStringLiteral("created playlist %1: 10 entries, 0 missing\n")
                                   .arg(imported)
                                   .toUtf8());
            EXPECT_EQ(EntrySongs(imported), original);
        }
    }
    // Nothing was imported twice on the way.
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), names.size());
}

TEST_F(PlaylistCli, ImportNamesWhatItLeavesOutAndAddsNewMp3FilesFirst)
{
    const QString a = Song(QStringLiteral("a.mp3"));
    Song(QStringLiteral("in library/b.mp3"));
    ImportMusic();
    const QString c = Song(QStringLiteral("new/c.mp3"), {});
    WriteAll(Music(QStringLiteral("notes.txt")), "text");
    QDir().mkpath(Music(QStringLiteral("folder.mp3")));
    // A file whose name is longer than the library's 100 characters of Filename.
    const QString longName = QString(101, QLatin1Char('x')) + QStringLiteral(".mp3");
    Song(longName);

    // Byte order mark, no #EXTM3U, CR LF, LF and CR, comments and blank lines.
    const QString list = Music(QStringLiteral("mixed.m3u"));
    WriteAll(list, "\xEF\xBB\xBF# a comment\r\n\r\n"
                   "a.mp3\r\n"
                   "http://radio.example/stream\n"
                   "  \n" +
                       FileNameToBytes(Music(QStringLiteral("in library/b.mp3"))) +
                       "\r"
                       "#EXTINF:12,Whatever\n"
                       "new/c.mp3\n"
                       "folder.mp3\n"
                       "gone.mp3\n"
                       "notes.txt\n" +
                       longName.toUtf8() + "\n");
    const TRun run = Run({QStringLiteral("playlist"), QStringLiteral("import"), list});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, QByteArray("created playlist 1: 3 entries, 4 missing\n"));
    const QString err = QString::fromUtf8(run.Err);
    for (const QString &expected :
         {QStringLiteral("http://radio.example/stream: not a file but a URL; skipped"),
          Music(QStringLiteral("folder.mp3: it is a folder")),
          Music(QStringLiteral("gone.mp3: No such file or directory")),
          Music(QStringLiteral("notes.txt: not an MP3 file")),
          Music(longName) + QStringLiteral(": its name is longer than the library holds")})
        EXPECT_TRUE(err.contains(expected)) << expected.toStdString() << "\n" << err.toStdString();
    EXPECT_EQ(EntrySongs(1), QStringList({"1", "2", "3"}));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB WHERE Filename = "
                                              "'c.mp3' AND FileType = 1")),
              1);
    // The playlist takes the file's name unless given one.
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists WHERE Name = "
                                              "'mixed'")),
              1);

    // .pls entries come in the order of their numbers, whatever the case of the keys.
    const QString pls = Music(QStringLiteral("order.pls"));
    WriteAll(pls, "[playlist]\nNumberOfEntries=2\nfile2=" + FileNameToBytes(a) +
                      "\nTitle2=x\nFILE1=in library/b.mp3\nVersion=2\n");
    EXPECT_EQ(Run({QStringLiteral("playlist"), QStringLiteral("import"), pls,
                   QStringLiteral("--name"), QStringLiteral("Ordered")})
                  .Out,
              QByteArray("created playlist 2: 2 entries, 0 missing\n"));
    EXPECT_EQ(EntrySongs(2), QStringList({"2", "1"}));
    Q_UNUSED(c);
}

TEST_F(PlaylistCli, BadFilesAndTargetsGiveClearMessagesAndWriteNothing)
{
    Song(QStringLiteral("a.mp3"));
    ImportMusic();
    ASSERT_EQ(Run(Args({"playlist", "create", "One"})).ExitCode, 0);
    ASSERT_EQ(Run(Args({"playlist", "add", "1", "1"})).ExitCode, 0);

    // Not well-formed XML: the line is named and no playlist is made.
    const QString broken = Music(QStringLiteral("broken.xspf"));
    WriteAll(broken, "<?xml version=\"1.0\"?>\n<playlist xmlns=\"http://xspf.org/ns/0/\">\n"
                     "<trackList><track><location>a.mp3</location>\n"
                     "</trackList></playlist>\n");
    TRun run = Run({QStringLiteral("playlist"), QStringLiteral("import"), broken});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("not well-formed XML: line 4")) << run.Err.toStdString();
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists")), 1);

    run = Run({QStringLiteral("playlist"), QStringLiteral("import"),
               Music(QStringLiteral("nothing.m3u8"))});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("Cannot read the playlist file")) << run.Err.toStdString();
    EXPECT_EQ(
        Run({QStringLiteral("playlist"), QStringLiteral("import"), Music(QStringLiteral("a.mp3"))})
            .ExitCode,
        2);
    EXPECT_EQ(Run({QStringLiteral("export"), QStringLiteral("1"), Music(QStringLiteral("x.txt"))})
                  .ExitCode,
              2);
    EXPECT_EQ(Run({QStringLiteral("export"), QStringLiteral("5"), Music(QStringLiteral("x.m3u"))})
                  .ExitCode,
              1);
    EXPECT_FALSE(QFile::exists(Music(QStringLiteral("x.m3u"))));

    // What is not a playlist file, a folder and the library itself are never replaced.
    const QString data = Music(QStringLiteral("data.m3u"));
    WriteAll(data, QByteArray("\x00\x01 precious", 10));
    run = Run({QStringLiteral("export"), QStringLiteral("1"), data});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("it is not a playlist file")) << run.Err.toStdString();
    EXPECT_EQ(ReadAll(data), QByteArray("\x00\x01 precious", 10));
    QDir().mkpath(Music(QStringLiteral("folder.xspf")));
    EXPECT_EQ(
        Run({QStringLiteral("export"), QStringLiteral("1"), Music(QStringLiteral("folder.xspf"))})
            .ExitCode,
        1);
    const QString linkToLibrary = Music(QStringLiteral("library.pls"));
    ASSERT_TRUE(QFile::link(library.FileName(), linkToLibrary));
    run = Run({QStringLiteral("export"), QStringLiteral("1"), linkToLibrary});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("it is the library")) << run.Err.toStdString();
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_Songs")), 1);
    // An existing playlist file is replaced whole.
    const QString old = Music(QStringLiteral("old.m3u8"));
    WriteAll(old, "#EXTM3U\n/somewhere/else.mp3\n/and/more.mp3\n");
    ASSERT_EQ(Run({QStringLiteral("export"), QStringLiteral("1"), old}).ExitCode, 0);
    EXPECT_EQ(ReadAll(old), "#EXTM3U\r\n#EXTINF:0,a\r\n" +
                                FileNameToBytes(Music(QStringLiteral("a.mp3"))) + "\r\n");
}

// A NUL inside an entry's name would measure the file before it and store a name that reaches
// nothing: such entries are left out and named, a stored one counts as missing and is never
// written into a playlist file.
TEST_F(PlaylistCli, NamesHoldingANulAreLeftOutNamedAndNeverWritten)
{
    Song(QStringLiteral("a.mp3"));
    ImportMusic();
    const QString list = Music(QStringLiteral("nul.m3u"));
    WriteAll(list, QByteArray("#EXTM3U\na.mp3") + '\0' + "tail.mp3\na.mp3\n");
    TRun run = Run({QStringLiteral("playlist"), QStringLiteral("import"), list});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, QByteArray("created playlist 1: 1 entries, 0 missing\n"));
    EXPECT_TRUE(run.Err.contains("a.mp3\\x00tail.mp3: its name holds a NUL character; skipped"))
        << run.Err.toStdString();
    EXPECT_EQ(EntrySongs(1), QStringList({"1"}));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 1);

    // A row that an earlier version stored that way.
    const qint64 ghost =
        library.AddSong(QStringLiteral("Ghost"), music.path() + QLatin1Char('/'),
                        QStringLiteral("a.mp3") + QChar(0) + QStringLiteral("x.mp3"));
    EXPECT_EQ(Column(Run(Args({"missing"})), QStringLiteral("Row_ID")),
              QStringList({QString::number(ghost)}));
    ASSERT_EQ(Run({QStringLiteral("playlist"), QStringLiteral("add"), QStringLiteral("1"),
                   QString::number(ghost)})
                  .ExitCode,
              0);
    for (const char *name : {"out.m3u8", "out.xspf", "out.pls"}) {
        const QString out = Music(QLatin1String(name));
        run = Run({QStringLiteral("export"), QStringLiteral("1"), out});
        EXPECT_EQ(run.ExitCode, 1) << name;
        EXPECT_TRUE(run.Err.contains("its name holds a NUL character")) << run.Err.toStdString();
        EXPECT_FALSE(ReadAll(out).contains('\0') || ReadAll(out).contains("%00")) << name;
        EXPECT_TRUE(ReadAll(out).contains("a.mp3")) << name;
    }
    run = Run({QStringLiteral("pls"), QStringLiteral("1"), Music(QStringLiteral("p.pls"))});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_FALSE(ReadAll(Music(QStringLiteral("p.pls"))).contains('\0'));
}

// Relative names are made from, and read against, the folder where the list really lies when
// a link leads there; ".." is taken as the system takes it.
TEST_F(PlaylistCli, RelativeNamesFollowTheFolderWhereTheListReallyLies)
{
    Song(QStringLiteral("songs/a.mp3"));
    Song(QStringLiteral("songs/sub/b.mp3"));
    ImportMusic();
    const QString a = QString::number(
        library.QueryInt(QStringLiteral("SELECT Row_ID FROM Playlist_DB WHERE Filename='a.mp3'")));
    const QString b = QString::number(
        library.QueryInt(QStringLiteral("SELECT Row_ID FROM Playlist_DB WHERE Filename='b.mp3'")));
    ASSERT_EQ(Run(Args({"playlist", "create", "P"})).ExitCode, 0);
    ASSERT_EQ(Run({QStringLiteral("playlist"), QStringLiteral("add"), QStringLiteral("1"), a, b})
                  .ExitCode,
              0);
    const QString real = Music(QStringLiteral("deep/real"));
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_EQ(symlink("deep/real", QFile::encodeName(Music(QStringLiteral("link"))).constData()),
              0);

    TRun run = Run({QStringLiteral("export"), QStringLiteral("1"),
                    Music(QStringLiteral("link/list.m3u8")), QStringLiteral("--relative")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    QStringList names;
    for (const QByteArray &line : ReadAll(real + QStringLiteral("/list.m3u8")).split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            names << QString::fromUtf8(line.trimmed());
    }
    EXPECT_EQ(names, QStringList({"../../songs/a.mp3", "../../songs/sub/b.mp3"}));
    for (const QString &name : std::as_const(names))
        EXPECT_TRUE(QFile::exists(real + QLatin1Char('/') + name)) << name.toStdString();
    run = Run({QStringLiteral("playlist"), QStringLiteral("import"),
               Music(QStringLiteral("link/list.m3u8"))});
    EXPECT_EQ(run.Out, QByteArray("created playlist 2: 2 entries, 0 missing\n"))
        << run.Err.toStdString();
    EXPECT_EQ(EntrySongs(2), QStringList({a, b}));

    // Another program's list there, with a ".." behind a link of its own.
    ASSERT_EQ(symlink(QFile::encodeName(Music(QStringLiteral("songs/sub"))).constData(),
                      QFile::encodeName(real + QStringLiteral("/inner")).constData()),
              0);
    WriteAll(real + QStringLiteral("/other.m3u"), "../../songs/sub/b.mp3\ninner/../a.mp3\n");
    run = Run({QStringLiteral("playlist"), QStringLiteral("import"),
               Music(QStringLiteral("link/other.m3u"))});
    EXPECT_EQ(run.Out, QByteArray("created playlist 3: 2 entries, 0 missing\n"))
        << run.Err.toStdString();
    EXPECT_EQ(EntrySongs(3), QStringList({b, a}));

    // A link to a list not written yet: the list goes where it points, named from there.
    const QString pointer = Music(QStringLiteral("pointer.xspf"));
    ASSERT_EQ(symlink("deep/real/made.xspf", QFile::encodeName(pointer).constData()), 0);
    run =
        Run({QStringLiteral("export"), QStringLiteral("1"), pointer, QStringLiteral("--relative")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(QFileInfo(pointer).isSymLink());
    EXPECT_TRUE(ReadAll(real + QStringLiteral("/made.xspf"))
                    .contains("<location>../../songs/a.mp3</location>"));

    // Songs the library knows through a link keep their names when the list lies there too.
    ASSERT_EQ(symlink("songs", QFile::encodeName(Music(QStringLiteral("via"))).constData()), 0);
    const qint64 via = library.AddSong(QStringLiteral("a"), Music(QStringLiteral("via/")));
    const QString viaList = Music(QStringLiteral("via/sub/via.m3u8"));
    ASSERT_EQ(Run({QStringLiteral("playlist"), QStringLiteral("add"), QStringLiteral("1"),
                   QString::number(via)})
                  .ExitCode,
              0);
    ASSERT_EQ(
        Run({QStringLiteral("export"), QStringLiteral("1"), viaList, QStringLiteral("--relative")})
            .ExitCode,
        0);
    EXPECT_TRUE(ReadAll(viaList).endsWith("\r\n../a.mp3\r\n")) << ReadAll(viaList).toStdString();
    run = Run({QStringLiteral("playlist"), QStringLiteral("import"), viaList});
    EXPECT_EQ(run.Out, QByteArray("created playlist 4: 3 entries, 0 missing\n"))
        << run.Err.toStdString();
    EXPECT_EQ(EntrySongs(4), QStringList({a, b, QString::number(via)}));

    // Target names up to the 255 bytes a name may have.
    const QString longList = real + QLatin1Char('/') + QString(250, QLatin1Char('n'));
    EXPECT_EQ(Run({QStringLiteral("export"), QStringLiteral("1"),
                   longList + QStringLiteral(".xspf"), QStringLiteral("--relative")})
                  .ExitCode,
              0);
    EXPECT_EQ(Run({QStringLiteral("pls"), QStringLiteral("1"), longList + QStringLiteral("x.pls")})
                  .ExitCode,
              0);
    EXPECT_TRUE(ReadAll(longList + QStringLiteral(".xspf")).contains("../../songs/sub/b.mp3"));
    EXPECT_TRUE(ReadAll(longList + QStringLiteral("x.pls")).startsWith("[playlist]\r\nFile1=/"));
}

// Other players' lists: blanks around names, Windows separators, and Windows drives named.
TEST_F(PlaylistCli, OtherProgramsListsAreReadAsTheyMeanThem)
{
    Song(QStringLiteral("padded.mp3"));
    Song(QStringLiteral("Music/x.mp3"));
    Song(QStringLiteral(" lead.mp3"));
    ImportMusic();
    const auto id = [&](const char *name) {
        return QString::number(library.QueryInt(
            QStringLiteral("SELECT Row_ID FROM Playlist_DB WHERE Filename='%1'").arg(name)));
    };
    const QString list = Music(QStringLiteral("windows.m3u"));
    WriteAll(list, "#EXTM3U\r\n  padded.mp3  \r\nMusic\\x.mp3\r\n lead.mp3\r\n"
                   "C:\\Music\\gone.mp3\r\n");
    const TRun run = Run({QStringLiteral("playlist"), QStringLiteral("import"), list});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, QByteArray("created playlist 1: 3 entries, 1 missing\n"))
        << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains(
        "gone.mp3: a Windows name with a drive letter; there is no such file here"))
        << run.Err.toStdString();
    EXPECT_EQ(EntrySongs(1), QStringList({id("padded.mp3"), id("x.mp3"), id(" lead.mp3")}));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 3);
}

// Huge playlist files are refused at once with a short message, and no playlist is made.
TEST_F(PlaylistCli, HugePlaylistFilesAreRefusedAtOnce)
{
    const QString sparse = Music(QStringLiteral("sparse.m3u"));
    {
        QFile file(sparse);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(100 * 1024 * 1024));
    }
    TRun run = Run({QStringLiteral("playlist"), QStringLiteral("import"), sparse});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("it is 100 MB; a playlist file holds at most 64 MB"))
        << run.Err.toStdString();

    const QString line = Music(QStringLiteral("line.pls"));
    WriteAll(line, "[playlist]\nFile1=" + QByteArray(10 * 1024 * 1024, 'x') + "\n");
    run = Run({QStringLiteral("playlist"), QStringLiteral("import"), line});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("line 2 is longer than 32 KB")) << run.Err.left(300).toStdString();
    EXPECT_LT(run.Err.size(), 300);

    QByteArray entries = "#EXTM3U\n";
    for (int n = 0; n <= 65535; ++n)
        entries += "#EXTINF:1,Song\nsong.mp3\n";
    const QString many = Music(QStringLiteral("many.m3u8"));
    WriteAll(many, entries);
    run = Run({QStringLiteral("playlist"), QStringLiteral("import"), many});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("a playlist holds at most 65,535 entries"))
        << run.Err.toStdString();
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists")), 0);

    // Line feeds by the million are read as they come.
    const QString feeds = Music(QStringLiteral("feeds.m3u"));
    {
        QFile file(feeds);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray block(1024 * 1024, '\n');
        for (int n = 0; n < 40; ++n)
            ASSERT_EQ(file.write(block), block.size());
        file.write("gone.mp3\n");
    }
    run = Run({QStringLiteral("playlist"), QStringLiteral("import"), feeds});
    EXPECT_EQ(run.Out, QByteArray("created playlist 1: 0 entries, 1 missing\n"))
        << run.Err.toStdString();
}

// A failure in the middle of a playlist import undoes the playlist and the songs imported
// for it.
TEST_F(PlaylistCli, AFailedImportLeavesNothingBehind)
{
    Song(QStringLiteral("a.mp3"));
    Song(QStringLiteral("b.mp3"));
    library.Exec(QStringLiteral("CREATE TRIGGER NoSecondEntry BEFORE INSERT ON Playlist_Songs "
                                "WHEN NEW.Sequence = 2 BEGIN SELECT RAISE(ABORT, 'disk on "
                                "fire'); END"));
    const QString list = Music(QStringLiteral("list.m3u8"));
    WriteAll(list, "#EXTM3U\na.mp3\nb.mp3\n");
    const TRun run = Run({QStringLiteral("playlist"), QStringLiteral("import"), list});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("disk on fire")) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists")), 0);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 0);
}

TEST_F(PlaylistCli, AReadOnlyLibraryIsNamedAndLeftAsItWas)
{
    Song(QStringLiteral("a.mp3"));
    ImportMusic();
    library.AddPlaylist(QStringLiteral("P"));
    ASSERT_TRUE(QFile::setPermissions(library.Directory(), QFileDevice::Permissions(0x7777)));
    ASSERT_TRUE(QFile::setPermissions(library.FileName(), QFile::ReadOwner | QFile::ReadOther));
    // The journal files stay open to everyone: only the library itself is read-only.
    for (const char *suffix : {"-wal", "-shm"})
        QFile::setPermissions(library.FileName() + QLatin1String(suffix),
                              QFileDevice::Permissions(0x6666));
    // Root writes whatever it likes, so the verbs run as nobody then, from a copy of the
    // program that nobody can reach wherever the build lies.
    QTemporaryDir programs;
    const TOtherUser user = OtherUser(QStringLiteral(QUILLMERE_LIB_BINARY), programs.path());
    if (!user.Missing.isEmpty())
        GTEST_SKIP() << user.Missing.toStdString();
    const QByteArray before = ReadAll(library.FileName());
    for (const QStringList &args :
         {Args({"playlist", "create", "New"}), Args({"playlist", "add", "1", "1"}),
          Args({"rescan"}), Args({"prune", "--yes"})}) {
        const TRun run =
            RunTogether(user.Program,
                        {QStringList{QStringLiteral("--library"), library.FileName()} + args}, {},
                        user.ChildSetUp)
                .first();
        EXPECT_NE(run.ExitCode, 0) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_NE(run.ExitCode, 127);
        EXPECT_TRUE(run.Err.contains("is read-only; nothing was changed")) << run.Err.toStdString();
    }
    EXPECT_EQ(ReadAll(library.FileName()), before);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_Songs")), 0);
}

// Each writer adds or removes rows under the playlist's lock instead of saving what it saw.
TEST_F(PlaylistCli, WritersOfOnePlaylistAtOnceKeepEveryEntry)
{
    TConnection check;
    check.ConnectionString = library.ConnectionString();
    check.Open();
    ExpectPlaylistWritersAtOnceKeepEveryEntry(QStringLiteral(QUILLMERE_LIB_BINARY),
                                              library.FileName(), check, 12);
}

// A read-only share or another user's library: what only reads works, and what writes says that
// the library is read-only, whether the file or only its folder may not be written.
TEST_F(PlaylistCli, ALibraryThatMayNotBeWrittenIsReadAsItStands)
{
    QTemporaryDir programs, shared, out;
    const TOtherUser user = OtherUser(QStringLiteral(QUILLMERE_LIB_BINARY), programs.path());
    if (!user.Missing.isEmpty())
        GTEST_SKIP() << user.Missing.toStdString();
    OpenToEveryone(out.path(), true);
    const QString file = shared.filePath(QStringLiteral("quillmeredb.mdb"));
    CreateLibrary(file);
    {
        TConnection owner;
        owner.SetLibraryAddress(file);
        owner.Open();
        owner.Execute(QStringLiteral("INSERT INTO Playlist_DB(Path, Filename, ID3_Title) "
                                     "VALUES('/m/', 'a.mp3', 'Shared')"));
        AppendPlaylistEntries(
            owner,
            int(InsertPlaylist(owner, QStringLiteral("P"), {}, QDateTime::currentDateTime())), {1});
    }
    const QByteArray stored = ReadAll(file);
    const QByteArray path = QFile::encodeName(file), folder = QFile::encodeName(shared.path());
    for (const bool ownFile : {true, false}) {
        // The folder is never the reader's to write; the file is theirs, or not.
        if (user.Root) {
            ASSERT_EQ(chown(path.constData(), ownFile ? user.Uid : 0, ownFile ? user.Gid : 0), 0);
            OpenToEveryone(shared.path(), false);
        } else {
            ASSERT_EQ(chmod(path.constData(), ownFile ? 0644 : 0444), 0);
            ASSERT_EQ(chmod(folder.constData(), 0555), 0);
        }
        const auto run = [&](const QStringList &args) {
            return RunTogether(user.Program,
                               {QStringList{QStringLiteral("--library"), file} + args}, {},
                               user.ChildSetUp)
                .first();
        };
        const QString target = out.filePath(QStringLiteral("p"));
        for (const QStringList &args :
             {Args({"songs"}), Args({"playlists"}), Args({"playlist", "entries", "1"}),
              QStringList{QStringLiteral("export"), QStringLiteral("1"), target + ".m3u"},
              QStringList{QStringLiteral("pls"), QStringLiteral("1"), target + ".pls"}}) {
            const TRun read = run(args);
            EXPECT_EQ(read.ExitCode, 0)
                << args.join(' ').toStdString() << ": " << read.Err.toStdString();
        }
        EXPECT_TRUE(ReadAll(target + ".m3u").contains("/m/a.mp3"));
        EXPECT_TRUE(ReadAll(target + ".pls").contains("Title1=Shared"));
        for (const QStringList &args :
             {Args({"playlist", "create", "New"}), Args({"playlist", "add", "1", "1"})}) {
            const TRun write = run(args);
            EXPECT_EQ(write.ExitCode, 1) << args.join(' ').toStdString();
            EXPECT_TRUE(write.Err.contains("is read-only; nothing was changed"))
                << write.Err.toStdString();
        }
        EXPECT_EQ(QDir(shared.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("quillmeredb.mdb")});
        EXPECT_EQ(ReadAll(file), stored);
    }
    chmod(folder.constData(), 0755);
}

// Sets a file's modification time, as another program's edit would change it.
void Touch(const QString &file, qint64 seconds)
{
    const timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, FileNameToBytes(file).constData(), times, 0), 0);
}

TEST_F(PlaylistCli, RescanUpdatesChangedFilesInPlace)
{
    SilentMp3Options tagged;
    tagged.Id3v1 = true;
    const QString a = Song(QStringLiteral("a.mp3"), tagged);
    const QString b = Song(QStringLiteral("sub/b.mp3"), tagged);
    const QString c = Song(QStringLiteral("sub/c.mp3"), tagged);
    ImportMusic();
    ASSERT_EQ(Run(Args({"playlist", "create", "P"})).ExitCode, 0);
    ASSERT_EQ(Run(Args({"playlist", "add", "1", "3", "2", "1"})).ExitCode, 0);
    // The first rescan stores what the import may not have: size and time.
    ASSERT_EQ(Run(Args({"rescan"})).ExitCode, 0);
    EXPECT_EQ(Run(Args({"rescan"})).Out, QByteArray("updated 0, unchanged 3, missing 0\n"));

    // Another program edits b's tag in place: same size, another time.
    TID3Tag tag;
    ReadID3Tag(b, tag);
    CopyToField(tag.Title, QByteArray("Edited elsewhere"));
    CopyToField(tag.Artist, QByteArray("Someone"));
    tag.Genre = 17;
    WriteID3Tag(b, tag);
    Touch(b, 1700000000);
    TRun run = Run(Args({"rescan"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QByteArray("updated 1, unchanged 2, missing 0\n"));
    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT Row_ID FROM Playlist_DB WHERE ID3_Title = 'Edited elsewhere' AND "
                  "ID3_Artist = 'Someone' AND ID3_Genre = 17 AND Filename = 'b.mp3'")),
              2);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 3);
    EXPECT_EQ(Stored(1), Entries({3, 2, 1}));

    // A row from an older library, without size and time, counts as changed once.
    library.Exec(
        QStringLiteral("UPDATE Playlist_DB SET File_Size = NULL, File_Modified = NULL WHERE "
                       "Row_ID = 1"));
    EXPECT_EQ(Run(Args({"rescan"})).Out, QByteArray("updated 1, unchanged 2, missing 0\n"));
    EXPECT_EQ(Run(Args({"rescan"})).Out, QByteArray("updated 0, unchanged 3, missing 0\n"));

    // Only the folder given; a deleted file is counted, not removed.
    ASSERT_TRUE(QFile::remove(c));
    Touch(a, 1600000000);
    EXPECT_EQ(Run({QStringLiteral("rescan"), Music(QStringLiteral("sub"))}).Out,
              QByteArray("updated 0, unchanged 1, missing 1\n"));
    EXPECT_EQ(Run(Args({"rescan"})).Out, QByteArray("updated 1, unchanged 1, missing 1\n"));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 3);

    // A file that is no longer audio is named and its row kept as it was.
    WriteAll(b, "not audio at all");
    run = Run(Args({"rescan"}));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, QByteArray("updated 0, unchanged 1, missing 1, failed 1\n"));
    EXPECT_TRUE(run.Err.contains(FileNameToBytes(b))) << run.Err.toStdString();
    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM Playlist_DB WHERE ID3_Title = 'Edited elsewhere'")),
              1);
}

TEST_F(PlaylistCli, PruneRemovesGoneSongsAndRenumbersTheirPlaylistsInOneTransaction)
{
    const QString a = Song(QStringLiteral("a.mp3"));
    Song(QStringLiteral("b.mp3"));
    Song(QStringLiteral("c.mp3"));
    ImportMusic();
    const qint64 p1 = library.AddPlaylist(QStringLiteral("P1"));
    const qint64 p2 = library.AddPlaylist(QStringLiteral("P2"));
    const int sequences[] = {1, 2, 3, 4};
    const qint64 songs[] = {1, 2, 1, 3};
    for (int i = 0; i < 4; ++i)
        library.AddEntry(p1, songs[i], sequences[i]);
    library.AddEntry(p2, 2, 1);
    ASSERT_TRUE(QFile::remove(a));

    TRun run = Run(Args({"missing"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.startsWith("Row_ID\tPath\tFilename\t")) << run.Out.toStdString();
    EXPECT_EQ(Column(run, QStringLiteral("Row_ID")), QStringList({"1"}));

    // Without --yes it only tells.
    run = Run(Args({"prune"}));
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(Column(run, QStringLiteral("Filename")), QStringList({"a.mp3"}));
    EXPECT_TRUE(run.Err.contains("would remove 1 songs and 2 entries of 1 playlists"))
        << run.Err.toStdString();
    EXPECT_EQ(Stored(p1), Entries({1, 2, 1, 3}));

    // A failure on the way undoes every step.
    library.Exec(QStringLiteral("CREATE TRIGGER KeepSongs BEFORE DELETE ON Playlist_DB BEGIN "
                                "SELECT RAISE(ABORT, 'kept'); END"));
    run = Run(Args({"prune", "--yes"}));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains("kept")) << run.Err.toStdString();
    EXPECT_EQ(Stored(p1), Entries({1, 2, 1, 3}));
    library.Exec(QStringLiteral("DROP TRIGGER KeepSongs"));

    run = Run(Args({"prune", "--yes"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QByteArray("removed 1 songs and 2 entries of 1 playlists\n"));
    EXPECT_EQ(Stored(p1), Entries({2, 3}));
    EXPECT_EQ(Stored(p2), Entries({2}));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 2);
    EXPECT_EQ(Column(Run(Args({"missing"})), QStringLiteral("Row_ID")), QStringList());
}

TEST_F(PlaylistCli, PruneKeepsTheSongsOfAFolderAwayAsAWholeAndNamesIt)
{
    Song(QStringLiteral("drive/Album/a.mp3"));
    Song(QStringLiteral("drive/Album/b.mp3"));
    Song(QStringLiteral("drive/c.mp3"));
    const QString gone = Song(QStringLiteral("here/gone.mp3"));
    Song(QStringLiteral("here/stays.mp3"));
    Song(QStringLiteral("emptied/e.mp3"));
    ImportMusic();
    const qint64 p = library.AddPlaylist(QStringLiteral("P"));
    for (int row = 1; row <= 6; ++row)
        library.AddEntry(p, row, row);

    // The drive's folder is away, one file of a folder that is there is gone, and a folder is
    // left empty as an unmounted drive leaves its mount point.
    ASSERT_TRUE(QDir(Music(QStringLiteral("drive")))
                    .rename(Music(QStringLiteral("drive")), Music(QStringLiteral(".unplugged"))));
    ASSERT_TRUE(QFile::remove(gone));
    ASSERT_TRUE(QFile::remove(Music(QStringLiteral("emptied/e.mp3"))));

    TRun run = Run(Args({"missing"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(Column(run, QStringLiteral("Row_ID")), QStringList({"1", "2", "3", "4", "5"}));
    const QByteArray drive = FileNameToBytes(Music(QStringLiteral("drive")));
    EXPECT_TRUE(run.Err.contains("\"" + drive + "\" is absent")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("its 3 songs are kept; prune --yes --absent '" + drive + "'"))
        << run.Err.toStdString();

    run = Run(Args({"prune", "--yes"}));
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QByteArray("removed 1 songs and 1 entries of 1 playlists\n"));
    EXPECT_TRUE(run.Err.contains("\"" + drive + "\" is absent")) << run.Err.toStdString();
    EXPECT_TRUE(
        run.Err.contains(FileNameToBytes(Music(QStringLiteral("emptied"))) + "\" is absent"))
        << run.Err.toStdString();
    EXPECT_EQ(Stored(p), Entries({1, 2, 3, 4, 6}));

    // Named, the folder's songs go; the drive back, nothing of it would.
    run = Run({QStringLiteral("prune"), QStringLiteral("--yes"), QStringLiteral("--absent"),
               Music(QStringLiteral("emptied"))});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QByteArray("removed 1 songs and 1 entries of 1 playlists\n"));
    ASSERT_TRUE(QDir(Music(QStringLiteral(".unplugged")))
                    .rename(Music(QStringLiteral(".unplugged")), Music(QStringLiteral("drive"))));
    run = Run({QStringLiteral("prune"), QStringLiteral("--yes"), QStringLiteral("--absent"),
               Music(QStringLiteral("drive"))});
    EXPECT_EQ(run.Out, QByteArray("removed 0 songs and 0 entries of 0 playlists\n"));
    EXPECT_EQ(Stored(p), Entries({1, 2, 3, 6}));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 4);
}

TEST_F(PlaylistCli, PruneAsksForEachSongAgainInsideItsTransaction)
{
    const QString a = Song(QStringLiteral("a.mp3"));
    const QString b = Song(QStringLiteral("b.mp3"));
    ImportMusic();
    library.AddEntry(library.AddPlaylist(QStringLiteral("P")), 1, 1);
    // Both were listed as gone while their folder was away for a moment; only b is gone now.
    ASSERT_TRUE(QFile::remove(b));
    TConnection connection;
    connection.ConnectionString = library.ConnectionString();
    connection.Open();
    const TPruneCounts n = PruneSongs(connection, {1, 2}, FileGone);
    EXPECT_EQ(n.Songs, 1);
    EXPECT_EQ(n.Entries, 0);
    EXPECT_EQ(Stored(1), Entries({1}));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT Row_ID FROM Playlist_DB")), 1);
    EXPECT_TRUE(QFile::exists(a));
}

} // namespace
