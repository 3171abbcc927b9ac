// Real collections: names in every script and stray bytes, ID3v2-only files.
#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/ID3v2Tags.h"
#include "data/PlaylistEntries.h"
#include "data/PlaylistFile.h"
#include "data/Table.h"
#include "import/ImportWalker.h"
#include "platform/FileCopy.h"
#include "platform/Mp3Decoder.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

bool MakeFolder(const QByteArray &path)
{
    return ::mkdir(path.constData(), 0755) == 0 || errno == EEXIST;
}

// Writes bytes under a name given as bytes, the way another program would.
void WriteRaw(const QByteArray &name, const QByteArray &bytes)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << name.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

bool Exists(const QByteArray &name)
{
    struct stat st;
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// ---- ID3v2 tags written byte by byte

QByteArray SyncSafe(quint32 n)
{
    const char bytes[] = {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F),
                          char(n & 0x7F)};
    return QByteArray(bytes, 4);
}

QByteArray BigEndian(quint32 n, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((n >> (8 * i)) & 0xFF);
    return out;
}

struct TFrame {
    QByteArray Id;
    QByteArray Body; // encoding byte and text as stored
};

QByteArray Id3v2(int version, const QList<TFrame> &frames, qint64 claimedSize = -1)
{
    QByteArray body;
    for (const TFrame &f : frames) {
        body += f.Id;
        if (version == 2)
            body += BigEndian(quint32(f.Body.size()), 3);
        else
            body += (version == 4 ? SyncSafe(quint32(f.Body.size()))
                                  : BigEndian(quint32(f.Body.size()), 4)) +
                    QByteArray(2, '\0');
        body += f.Body;
    }
    body += QByteArray(16, '\0'); // padding
    const quint32 size = claimedSize >= 0 ? quint32(claimedSize) : quint32(body.size());
    const char head[] = {'I', 'D', '3', char(version), 0, 0};
    return QByteArray(head, 6) + SyncSafe(size) + body;
}

QByteArray Latin1(const char *text)
{
    return '\0' + QByteArray(text);
}
QByteArray Utf16(const QString &text)
{
    QByteArray out("\x01\xFF\xFE", 3);
    out += QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return out;
}
QByteArray Utf8(const QString &text)
{
    return '\x03' + text.toUtf8();
}
QByteArray Comment(const QByteArray &encoded)
{
    // Encoding, language, empty description, then the text.
    const char encoding = encoded.at(0);
    const QByteArray terminator =
        encoding == 1 ? QByteArray("\xFF\xFE\0\0", 4) : QByteArray(1, '\0');
    return encoding + QByteArray("eng") + terminator + encoded.mid(encoding == 1 ? 1 : 1);
}

QByteArray SongWithTag(const QByteArray &tag, bool id3v1 = false)
{
    SilentMp3Options o;
    o.Frames = 40;
    o.Id3v1 = id3v1;
    return tag + SilentMp3(o);
}

struct TStored {
    QString Title, Artist, Album, Comment;
    qint64 Year, Track, Genre;
};

TStored Stored(TConnection &c, const QString &filename)
{
    TDataSet q(&c);
    q.SetCommandText(QStringLiteral("SELECT * FROM Playlist_DB WHERE Filename = :f"));
    q.Parameters().SetValue(QStringLiteral("f"), filename, TFieldType::Text);
    q.Open();
    EXPECT_FALSE(q.IsEmpty()) << filename.toStdString();
    return {q.AsString(QStringLiteral("ID3_Title")), q.AsString(QStringLiteral("ID3_Artist")),
            q.AsString(QStringLiteral("ID3_Album")), q.AsString(QStringLiteral("ID3_Comment")),
            q.AsInteger(QStringLiteral("ID3_Year")), q.AsInteger(QStringLiteral("ID3_Track")),
            q.AsInteger(QStringLiteral("ID3_Genre"))};
}

// What the generated ID3v1 tag holds.
TStored SilentTagFields()
{
    SilentMp3Options o;
    o.Id3v1 = true;
    TID3Tag tag;
    std::memcpy(&tag, SilentMp3(o).right(128).constData(), 128);
    const TSongTags t = SongTagsFromID3v1(tag);
    return {t.Title, t.Artist, t.Album, t.Comment, t.Year, t.Track, t.Genre};
}

// Names with stray bytes are beyond QDir::removeRecursively.
int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}
void RemoveTree(const QString &folder)
{
    nftw(QFile::encodeName(folder).constData(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace

TEST(FileNames, EveryByteSequenceComesBackAndValidNamesReadAsThemselves)
{
    QList<QByteArray> names;
    for (int b = 1; b < 256; ++b)
        names << "a" + QByteArray(1, char(b)) + "z";
    names << "Caf\xC3\xA9"                      // valid UTF-8
          << "Caf\xE9"                          // Latin-1
          << "\xC0\x80"                         // overlong
          << "\xED\xA0\x80"                     // a surrogate
          << "\xF4\x90\x80\x80"                 // past U+10FFFF
          << "\xE6\x97"                         // cut short
          << "\xF4\x8F\xBE\x80\xF4\x8F\xBF\xBF" // real characters of the escape range
          << "\xF0\x9F\x8E\xB5 \xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE";
    for (const QByteArray &bytes : std::as_const(names)) {
        const QString name = FileNameFromBytes(bytes);
        EXPECT_EQ(FileNameToBytes(name), bytes) << bytes.toHex().constData();
        // Through the library's text as well.
        EXPECT_EQ(FileNameToBytes(QString::fromUtf8(name.toUtf8())), bytes);
        const bool valid =
            QString::fromUtf8(bytes).toUtf8() == bytes && !bytes.contains("\xF4\x8F\xBE");
        EXPECT_EQ(HasStrayBytes(name), !valid) << bytes.toHex().constData();
        if (valid)
            EXPECT_EQ(name, QString::fromUtf8(bytes));
        else
            EXPECT_TRUE(ReadableFileName(name).contains(QChar(0xFFFD)));
    }
    EXPECT_EQ(ReadableFileName(FileNameFromBytes("Caf\xE9.mp3")), QStringLiteral(u"Caf\uFFFD.mp3"));
}

// A folder as real collections have them: every file imported once under its own name,
// played, listed and written into a playlist that opens it.
TEST(Collection, NamesInEveryScriptAndStrayBytesTravelEndToEnd)
{
    TestLibrary library;
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path()) + '/';
    const QList<QByteArray> folders = {"Caf\xC3\xA9",
                                       "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE",
                                       "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1",
                                       "\xE6\x97\xA5\xE6\x9C\xAC",
                                       "\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A",
                                       "Latin1 \xE9t\xE9"};
    const QList<QByteArray> files = {
        "\xC3\x89t\xC3\xA9.mp3",
        "\xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0.mp3",
        "\xF0\x9F\x8E\xB5 song.mp3",
        "old \xE9\xE8 name.mp3",
        "tab\there.mp3",
        "back\\slash.mp3",
        "quote\"'s.mp3",
        "100% #1; x.mp3",
        "-leading.mp3",
        "line\nbreak.mp3",
    };
    SilentMp3Options o;
    o.Frames = 40;
    o.Id3v1 = true;
    const QByteArray song = SilentMp3(o);
    QList<QByteArray> expected;
    for (const QByteArray &folder : folders) {
        ASSERT_TRUE(MakeFolder(root + folder));
        for (const QByteArray &file : files) {
            WriteRaw(root + folder + '/' + file, song);
            expected << root + folder + '/' + file;
        }
    }
    // Wider than the library's Filename column: named as skipped with the reason.
    const QByteArray wide = QByteArray(251, 'w') + ".mp3";
    WriteRaw(root + wide, song);

    TConnection connection;
    connection.SetLibraryAddress(library.FileName());
    connection.Open();
    std::vector<TImportProblem> problems;
    {
        TImportWalker walker(connection);
        walker.OnProblem = [&](const TImportProblem &p) { problems.push_back(p); };
        walker.ImportFolder(FileNameFromBytes(root.chopped(1)));
        EXPECT_EQ(walker.Counts().Imported, expected.size());
        EXPECT_EQ(walker.Counts().Failed, 1);
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].Reason.contains(QStringLiteral("longer than the library holds")));
    EXPECT_EQ(FileNameToBytes(problems[0].Name), root + wide);

    // Stored under their own bytes, each once; a second walk finds them all.
    TTable songs(&connection);
    SetUpSongsTable(songs);
    songs.Open();
    QList<QByteArray> stored;
    for (songs.First(); !songs.Eof(); songs.Next())
        stored << FileNameToBytes(songs.AsString(QStringLiteral("Path")) +
                                  songs.AsString(QStringLiteral("Filename")));
    std::sort(stored.begin(), stored.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(stored, expected);
    {
        TImportWalker again(connection);
        again.ImportFolder(FileNameFromBytes(root.chopped(1)));
        EXPECT_EQ(again.Counts().Existing, expected.size());
        EXPECT_EQ(again.Counts().Imported, 0);
    }

    struct TCleanUp {
        QString A, B;
        ~TCleanUp()
        {
            RemoveTree(A);
            RemoveTree(B);
        }
    };
    QTemporaryDir device;
    TCleanUp cleanUp{dir.path(), device.path()};

    // Played and copied under the same bytes.
    const QString latin1 = FileNameFromBytes(root + folders.last() + '/' + files[3]);
    TMp3Decoder decoder;
    EXPECT_NO_THROW(decoder.Open(latin1));
    EXPECT_GT(MeasureLengthMs(latin1), 0);
    const QString copy = FileNameFromBytes(QFile::encodeName(device.path()) + '/' + files[3]);
    EXPECT_EQ(CopyFileNoOverwrite(latin1, copy).Result, TCopyResult::Copied);
    EXPECT_EQ(ReadAll(QFile::encodeName(device.path()) + '/' + "old ?? name.mp3"), "<missing>");
    EXPECT_TRUE(Exists(QFile::encodeName(device.path()) + '/' + files[3]));

    // A playlist of every song: each File line opens its file; the line break is left out.
    const qint64 list = library.AddPlaylist(QStringLiteral("World"));
    int sequence = 0;
    for (songs.First(); !songs.Eof(); songs.Next())
        library.AddEntry(list, songs.AsInteger(QStringLiteral("Row_ID")), ++sequence);
    TDataSet entries(&connection);
    SetUpPlaylistEntries(entries, &songs);
    OpenPlaylistEntries(entries, int(list), QStringLiteral("Sequence"), QStringLiteral("Asc"));
    const QString pls = dir.filePath(QStringLiteral("world.pls"));
    const QStringList leftOut = SavePlaylistFile(entries, pls);
    EXPECT_EQ(leftOut.size(), folders.size());
    int opened = 0;
    for (const QByteArray &line : ReadAll(pls).split('\n')) {
        if (!line.startsWith("File"))
            continue;
        const QByteArray name = line.mid(line.indexOf('=') + 1).chopped(1);
        EXPECT_TRUE(Exists(name)) << name.constData();
        ++opened;
    }
    EXPECT_EQ(opened, expected.size() - folders.size());
}

TEST(CollectionCli, SongsListsStrayBytesAsTheBytesTheyAre)
{
    TestLibrary library;
    library.AddSong(QStringLiteral("T"), FileNameFromBytes("/m/Caf\xE9/"),
                    FileNameFromBytes("\xE9t\xE9 \xF0\x9F\x8E\xB5.mp3"));
    const TRun run =
        RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY),
                   {QStringLiteral("--library"), library.FileName(), QStringLiteral("songs")});
    EXPECT_EQ(run.ExitCode, 0) << run.Err.constData();
    EXPECT_TRUE(run.Out.contains("/m/Caf\\xe9/\t\\xe9t\\xe9 \xF0\x9F\x8E\xB5.mp3"))
        << run.Out.constData();
}

// Files with only an ID3v2 tag get their texts from it; an ID3v1 tag still wins.
TEST(ID3v2, FallbackReadsEveryVersionAndEncoding)
{
    TestLibrary library;
    QTemporaryDir dir;
    const QString cyrillic = QStringLiteral(u"\u041A\u0438\u043D\u043E");
    // 31 characters, the last two outside the 16-bit range: cut after the first of them.
    const QString greek30 = QStringLiteral(u"\u039C\u03BF\u03C5\u03C3\u03B9\u03BA\u03AE ") +
                            QString(21, QChar(0x03B1)) + QStringLiteral(u"\U0001F3B5");
    const QString longGreek = greek30 + QStringLiteral(u"\U0001F3B6");
    struct TCase {
        const char *File;
        QByteArray Bytes;
        TStored Expected;
    } cases[] = {
        {"v23-latin1.mp3",
         SongWithTag(Id3v2(3, {{"TIT2", Latin1("Caf\xE9")},
                               {"TPE1", Latin1("Artist")},
                               {"TALB", Latin1("Album")},
                               {"TYER", Latin1("1999")},
                               {"TRCK", Latin1("3/12")},
                               {"TCON", Latin1("(17)")},
                               {"COMM", Comment(Latin1("Nice"))}})),
         {QStringLiteral(u"Caf\u00E9"), "Artist", "Album", "Nice", 1999, 3, 17}},
        {"v23-utf16.mp3",
         SongWithTag(Id3v2(3, {{"TIT2", Utf16(cyrillic)},
                               {"TCON", Utf16(QStringLiteral("rock"))},
                               {"TRCK", Latin1("300")}})),
         {cyrillic, "", "", "", 0, 0, 17}},
        {"v24-utf8.mp3",
         SongWithTag(Id3v2(4, {{"TIT2", Utf8(longGreek)},
                               {"TDRC", Utf8("2004-05-06")},
                               {"TCON", Utf8("Synthpop")},
                               {"TRCK", Utf8("7")}})),
         {greek30, "", "", "", 2004, 7, 147}},
        {"v22.mp3",
         SongWithTag(Id3v2(2, {{"TT2", Latin1("Old")},
                               {"TP1", Latin1("Two")},
                               {"TYE", Latin1("1987")},
                               {"TCO", Latin1("Dance")}})),
         {"Old", "Two", "", "", 1987, 0, 3}},
        {"both.mp3", SongWithTag(Id3v2(3, {{"TIT2", Latin1("From v2")}}), true), SilentTagFields()},
        // Hostile tags: imported with what can be read, never a crash.
        {"unknown-encoding.mp3",
         SongWithTag(Id3v2(4, {{"TIT2", "\x07??"}, {"TPE1", ""}})),
         {"", "", "", "", 0, 0, 255}},
    };
    for (const TCase &c : cases)
        WriteAll(dir.filePath(QLatin1String(c.File)), c.Bytes);
    // A tag claiming far more bytes than the file holds hides the audio: named as skipped.
    WriteAll(dir.filePath(QStringLiteral("absurd-size.mp3")),
             SongWithTag(Id3v2(3, {{"TIT2", Latin1("Big")}}, 0x0FFFFFFF)));
    // A frame that claims more bytes than the tag holds.
    QByteArray lying = Id3v2(3, {{"TIT2", Latin1("Lie")}});
    lying[14] = '\x7F';
    WriteAll(dir.filePath(QStringLiteral("lying-frame.mp3")), SongWithTag(lying));

    TConnection connection;
    connection.SetLibraryAddress(library.FileName());
    connection.Open();
    TImportWalker walker(connection);
    std::vector<TImportProblem> problems;
    walker.OnProblem = [&](const TImportProblem &p) { problems.push_back(p); };
    walker.ImportFolder(dir.path());
    EXPECT_EQ(walker.Counts().Imported, int(std::size(cases)) + 1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].Name.endsWith(QStringLiteral("absurd-size.mp3")));
    EXPECT_FALSE(problems[0].Reason.isEmpty());
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.File);
        const TStored s = Stored(connection, QLatin1String(c.File));
        if (QLatin1String(c.File).startsWith(QLatin1String("unknown")))
            continue; // whatever TagLib salvages; the point is the row
        EXPECT_EQ(s.Title, c.Expected.Title);
        EXPECT_EQ(s.Artist, c.Expected.Artist);
        EXPECT_EQ(s.Album, c.Expected.Album);
        EXPECT_EQ(s.Comment, c.Expected.Comment);
        EXPECT_EQ(s.Year, c.Expected.Year);
        EXPECT_EQ(s.Track, c.Expected.Track);
        EXPECT_EQ(s.Genre, c.Expected.Genre);
    }
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral("(300)")), 255);
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral("Not a genre")), 255);
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral("(8)Jazz")), 8);
}

// Bytes of other data before the tag (a broken download, a stray header) do not hide it.
TEST(ID3v2, ATagBehindLeadingBytesIsRead)
{
    QTemporaryDir dir;
    const QString generated = dir.filePath(QStringLiteral("leading.mp3"));
    WriteAll(generated,
             QByteArray(700, '\x5A') +
                 SongWithTag(Id3v2(3, {{"TIT2", Latin1("Behind")}, {"TPE1", Latin1("Bytes")}})));
    TSongTags tags;
    ASSERT_TRUE(ReadID3v2Tags(generated, tags));
    EXPECT_EQ(tags.Title, QStringLiteral("Behind"));
    EXPECT_EQ(tags.Artist, QStringLiteral("Bytes"));
    EXPECT_EQ(ReadSongTags(generated).Title, QStringLiteral("Behind"));

    const QString corpus = CorpusFolder();
    if (corpus.isEmpty())
        GTEST_SKIP() << CorpusMissing();
    const QString garbage = corpus + QStringLiteral("/peers/taglib/garbage.mp3");
    if (!QFileInfo::exists(garbage))
        GTEST_SKIP() << "the corpus lacks " << garbage.toStdString();
    tags = {};
    ASSERT_TRUE(ReadID3v2Tags(garbage, tags));
    EXPECT_EQ(tags.Title, QStringLiteral("Title A"));
    EXPECT_EQ(tags.Artist, QStringLiteral("Artist A"));
}

TEST(ID3v2, CorpusFilesWithOnlyID3v2GetTheirTitles)
{
    const QString corpus = CorpusFolder();
    if (corpus.isEmpty())
        GTEST_SKIP() << CorpusMissing();
    int onlyV2 = 0, titled = 0;
    QDirIterator it(corpus, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        TID3Tag v1;
        try {
            ReadID3Tag(name, v1);
        } catch (const EError &) {
            continue;
        }
        TSongTags tags;
        if (HasID3Tag(v1) || !ReadID3v2Tags(name, tags))
            continue;
        ++onlyV2;
        EXPECT_LE(tags.Title.toUcs4().size(), 30);
        EXPECT_LE(tags.Comment.toUcs4().size(), 29);
        titled += tags.Title.isEmpty() ? 0 : 1;
    }
    std::printf("corpus files with only ID3v2: %d, with a title from it: %d\n", onlyV2, titled);
    EXPECT_GT(titled, 0);
}

// Every byte value of an ID3v1 text comes back from the library as the byte it was.
TEST(Collection, TagBytesSurviveImportStoreAndWriteBack)
{
    TestLibrary library;
    QTemporaryDir dir;
    SilentMp3Options o;
    o.Frames = 20;
    o.Id3v1 = true;
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    struct TField {
        int Offset, Width;
    };
    const TField fields[] = {{3, 30}, {33, 30}, {63, 30}, {97, 29}};
    int file = 0;
    for (qsizetype start = 0; start < all.size(); start += 119, ++file) {
        QByteArray song = SilentMp3(o);
        QByteArray tag = song.right(128);
        qsizetype at = start;
        for (const TField &f : fields) {
            const QByteArray part = all.mid(at, f.Width);
            tag.replace(f.Offset, f.Width, part + QByteArray(f.Width - part.size(), '\0'));
            at += f.Width;
        }
        song.replace(song.size() - 128, 128, tag);
        WriteAll(dir.filePath(QStringLiteral("%1.mp3").arg(file)), song);
    }
    TConnection connection;
    connection.SetLibraryAddress(library.FileName());
    connection.Open();
    TImportWalker walker(connection);
    walker.ImportFolder(dir.path());
    ASSERT_EQ(walker.Counts().Imported, file);

    TDataSet q(&connection);
    q.SetCommandText(QStringLiteral("SELECT * FROM Playlist_DB ORDER BY Filename"));
    q.Open();
    for (q.First(); !q.Eof(); q.Next()) {
        const QString name = dir.filePath(q.AsString(QStringLiteral("Filename")));
        TID3Tag onDisk;
        ReadID3Tag(name, onDisk);
        const QString stored[] = {
            q.AsString(QStringLiteral("ID3_Title")), q.AsString(QStringLiteral("ID3_Artist")),
            q.AsString(QStringLiteral("ID3_Album")), q.AsString(QStringLiteral("ID3_Comment"))};
        const QByteArray expected[] = {FieldBytes(onDisk.Title, 30), FieldBytes(onDisk.Artist, 30),
                                       FieldBytes(onDisk.Album, 30),
                                       FieldBytes(onDisk.Comment, 29)};
        for (int i = 0; i < 4; ++i) {
            QByteArray back;
            ASSERT_TRUE(StringToTagBytes(stored[i], back));
            EXPECT_EQ(back, expected[i]);
        }
        // Written back through the codec, the record is byte for byte the same.
        TID3Tag rebuilt = onDisk;
        QByteArray title;
        ASSERT_TRUE(StringToTagBytes(stored[0], title));
        ASSERT_TRUE(CopyToField(rebuilt.Title, title));
        WriteID3Tag(name, rebuilt);
        TID3Tag again;
        ReadID3Tag(name, again);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(&again), 128),
                  QByteArray(reinterpret_cast<const char *>(&onDisk), 128));
    }
}
