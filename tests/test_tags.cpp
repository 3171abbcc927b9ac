#include "data/Errors.h"
#include "data/UMP3s.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace
{

QByteArray ReadAll(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteAll(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Audio stand-in: bytes that never start a tag and have a non-zero second-to-last byte.
QByteArray Audio(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(0xF0 ^ (i * 7));
    return bytes;
}

// A raw 128-byte record built by offsets, independently of the struct's layout.
QByteArray RawTag(const QByteArray &header, const QByteArray &title, const QByteArray &artist,
                  const QByteArray &album, const QByteArray &year, const QByteArray &comment,
                  unsigned char track, unsigned char genre)
{
    QByteArray raw(128, '\0');
    raw.replace(0, header.size(), header);
    raw.replace(3, title.size(), title);
    raw.replace(33, artist.size(), artist);
    raw.replace(63, album.size(), album);
    raw.replace(93, year.size(), year);
    raw.replace(97, comment.size(), comment);
    raw[126] = char(track);
    raw[127] = char(genre);
    return raw;
}

QByteArray RecordBytes(const TID3Tag &tag)
{
    return QByteArray(reinterpret_cast<const char *>(&tag), sizeof tag);
}

TID3Tag SampleTag(const char *title)
{
    TID3Tag tag = NoTagRecord();
    EXPECT_TRUE(CopyToField(tag.Header, QByteArrayLiteral("TAG")));
    EXPECT_TRUE(CopyToField(tag.Title, QByteArray(title)));
    EXPECT_TRUE(CopyToField(tag.Artist, QByteArrayLiteral("Artist")));
    EXPECT_TRUE(CopyToField(tag.Year, QByteArrayLiteral("1999")));
    tag.Track = 3;
    tag.Genre = 17;
    return tag;
}

void ExpectNoTagRecord(const TID3Tag &tag)
{
    EXPECT_EQ(RecordBytes(tag), RecordBytes(NoTagRecord()));
    EXPECT_EQ(FieldToString(tag.Header), QStringLiteral("N/A"));
    EXPECT_EQ(FieldToString(tag.Title), QString());
    EXPECT_EQ(FieldToString(tag.Artist), QString());
    EXPECT_EQ(FieldToString(tag.Album), QString());
    EXPECT_EQ(FieldToString(tag.Comment), QString());
    EXPECT_EQ(FieldToString(tag.Year), QStringLiteral("0000"));
    EXPECT_EQ(tag.Track, 0);
    EXPECT_EQ(tag.Genre, 255);
}

// What a file's bytes must read as: its last 128 bytes when they carry the marker.
TID3Tag ExpectedFromBytes(const QByteArray &file)
{
    if (file.size() >= 128 && QByteArray(file.constData() + file.size() - 128, 3) == "TAG") {
        TID3Tag tag;
        std::memcpy(&tag, file.constData() + file.size() - 128, 128);
        return tag;
    }
    return NoTagRecord();
}

TID3Tag Read(const QString &name)
{
    TID3Tag tag;
    std::memset(&tag, 0x5A, sizeof tag);
    ReadID3Tag(name, tag);
    return tag;
}

#ifdef Q_OS_LINUX
int OpenDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}
#endif

class TagFile : public ::testing::Test
{
protected:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QString Make(const QString &name, const QByteArray &bytes)
    {
        const QString path = Path(name);
        WriteAll(path, bytes);
        return path;
    }
    QTemporaryDir m_dir;
};

} // namespace

// --- helpers ---------------------------------------------------------------------------------

TEST(TagFields, FieldBytesStopsAtZeroOrWidth)
{
    EXPECT_EQ(FieldBytes("ab\0cd", 5), QByteArray("ab"));
    EXPECT_EQ(FieldBytes("abcdef", 4), QByteArray("abcd"));
    EXPECT_EQ(FieldBytes("\0abc", 4), QByteArray());
    const char high[] = {char(0x80), char(0xE9), char(0xFF), 'x'};
    EXPECT_EQ(FieldToString(high, 4), QString::fromUtf16(u"\u0080\u00e9\u00ffx"));
    EXPECT_EQ(FieldToString(high, 4).toLatin1(), QByteArray(high, 4));
}

TEST(TagFields, CopyToFieldRefusesTooLongAndLeavesFieldAlone)
{
    TID3Tag tag;
    std::memset(&tag, 'Q', sizeof tag);
    EXPECT_FALSE(CopyToField(tag.Year, QByteArrayLiteral("19999")));
    EXPECT_FALSE(CopyToField(tag.Title, QByteArray(31, 'x')));
    EXPECT_EQ(RecordBytes(tag), QByteArray(128, 'Q'));
}

TEST(TagFields, CopyToFieldZeroFillsAndStaysInsideItsField)
{
    TID3Tag tag;
    std::memset(&tag, 'Q', sizeof tag);
    ASSERT_TRUE(CopyToField(tag.Title, QByteArrayLiteral("abc")));
    ASSERT_TRUE(CopyToField(tag.Comment, QByteArray(29, 'c')));
    ASSERT_TRUE(CopyToField(tag.Year, QByteArrayLiteral("2001")));
    const QByteArray raw = RecordBytes(tag);
    EXPECT_EQ(raw.mid(0, 3), QByteArray("QQQ"));
    EXPECT_EQ(raw.mid(3, 30), QByteArray("abc") + QByteArray(27, '\0'));
    EXPECT_EQ(raw.mid(33, 60), QByteArray(60, 'Q'));
    EXPECT_EQ(raw.mid(93, 4), QByteArray("2001"));
    EXPECT_EQ(raw.mid(97, 29), QByteArray(29, 'c'));
    EXPECT_EQ(raw.mid(126, 2), QByteArray("QQ"));
}

TEST(Genres, TableHoldsTheListedNames)
{
    EXPECT_EQ(sizeof Genres / sizeof Genres[0], 148u);
    EXPECT_STREQ(Genres[0], "Blues");
    EXPECT_STREQ(Genres[147], "Synthpop");
    const std::pair<int, const char *> spots[] = {
        {9, "Metal"},         {14, "R&B"},      {29, "Jazz+Funk"},
        {40, "AlternRock"},   {62, "Pop/Funk"}, {67, "Psychadelic"},
        {79, "Hard Rock"},    {80, "Folk"},     {85, "Bebob"},
        {90, "Avantgarde"},   {100, "Humour"},  {123, "Acapella"},
        {127, "Drum & Bass"}, {132, "BritPop"}, {136, "Christian Gangsta Rap"},
        {144, "Trash Metal"}, {146, "Jpop"}};
    for (const auto &[index, name] : spots)
        EXPECT_STREQ(Genres[index], name) << index;
    QSet<QString> names;
    for (const char *name : Genres)
        names.insert(QString::fromLatin1(name));
    EXPECT_EQ(names.size(), 148);
}

TEST(Genres, NamesOnlyInsideTheTable)
{
    EXPECT_EQ(GenreName(0), QStringLiteral("Blues"));
    EXPECT_EQ(GenreName(147), QStringLiteral("Synthpop"));
    EXPECT_TRUE(GenreName(148).isEmpty());
    EXPECT_TRUE(GenreName(255).isEmpty());
    EXPECT_TRUE(GenreName(-1).isEmpty());
}

// --- reading ---------------------------------------------------------------------------------

TEST_F(TagFile, TaggedFileReadsFieldForField)
{
    const QString name =
        Make(QStringLiteral("a.mp3"),
             Audio(1000) + RawTag("TAG", "Song", "Band", "Record", "1987", "Nice one", 4, 13));
    const TID3Tag tag = Read(name);
    EXPECT_TRUE(HasID3Tag(tag));
    EXPECT_EQ(FieldToString(tag.Header), QStringLiteral("TAG"));
    EXPECT_EQ(FieldToString(tag.Title), QStringLiteral("Song"));
    EXPECT_EQ(FieldToString(tag.Artist), QStringLiteral("Band"));
    EXPECT_EQ(FieldToString(tag.Album), QStringLiteral("Record"));
    EXPECT_EQ(FieldToString(tag.Year), QStringLiteral("1987"));
    EXPECT_EQ(FieldToString(tag.Comment), QStringLiteral("Nice one"));
    EXPECT_EQ(tag.Track, 4);
    EXPECT_EQ(tag.Genre, 13);
}

TEST_F(TagFile, FileWithoutMarkerReadsAsNoTag)
{
    // The marker's near misses: lower case, a zero after two letters, wrong letter.
    const QByteArray headers[] = {QByteArray("tag"), QByteArray("TA\0", 3), QByteArray("Tag"),
                                  QByteArray("\0AG", 3), QByteArray("TAF")};
    for (const QByteArray &header : headers) {
        const QString name = Make(QStringLiteral("n.mp3"),
                                  Audio(500) + RawTag(header, "T", "A", "B", "2000", "C", 9, 1));
        SCOPED_TRACE(header.toHex().toStdString());
        ExpectNoTagRecord(Read(name));
    }
    ExpectNoTagRecord(Read(Make(QStringLiteral("plain.mp3"), Audio(4096))));
}

TEST_F(TagFile, FilesShorterThanARecordHaveNoTag)
{
    for (int size : {0, 1, 3, 127}) {
        QByteArray bytes = QByteArray("TAG") + QByteArray(200, 'x');
        bytes.truncate(size);
        ExpectNoTagRecord(Read(Make(QStringLiteral("short.mp3"), bytes)));
    }
    // A file that is nothing but a tag.
    const TID3Tag tag =
        Read(Make(QStringLiteral("only.mp3"), RawTag("TAG", "Only", "", "", "2020", "", 1, 2)));
    EXPECT_EQ(FieldToString(tag.Title), QStringLiteral("Only"));
}

TEST_F(TagFile, FieldsKeepTheirFullWidthAndTrailingSpaces)
{
    const QByteArray title30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    const QByteArray padded = QByteArray("abc") + QByteArray(27, ' ');
    const QByteArray comment28(28, 'k');
    const TID3Tag tag =
        Read(Make(QStringLiteral("w.mp3"),
                  Audio(300) + RawTag("TAG", title30, padded, padded, "1999", comment28, 7, 255)));
    EXPECT_EQ(FieldToString(tag.Title), QString::fromLatin1(title30));
    EXPECT_EQ(FieldToString(tag.Artist), QString::fromLatin1(padded));
    EXPECT_EQ(FieldToString(tag.Artist).size(), 30);
    EXPECT_EQ(FieldToString(tag.Comment), QString::fromLatin1(comment28));
    EXPECT_EQ(tag.Track, 7);
    EXPECT_EQ(tag.Genre, 255);
}

TEST_F(TagFile, ThirtyCharacterCommentSpillsIntoTrack)
{
    const QByteArray comment30 = "123456789012345678901234567890";
    QByteArray raw = RawTag("TAG", "", "", "", "2000", "", 0, 0);
    raw.replace(97, 30, comment30);
    const TID3Tag tag = Read(Make(QStringLiteral("c.mp3"), Audio(200) + raw));
    EXPECT_EQ(FieldToString(tag.Comment), QString::fromLatin1(comment30.left(29)));
    EXPECT_EQ(tag.Track, '0');
}

TEST_F(TagFile, EveryByteValueSurvivesAsText)
{
    QByteArray title;
    for (int b = 0x80; b < 0x80 + 30; ++b)
        title += char(b * 3 + 1);
    const TID3Tag tag = Read(
        Make(QStringLiteral("hi.mp3"), Audio(10) + RawTag("TAG", title, "", "", "", "", 0, 0)));
    EXPECT_EQ(FieldToString(tag.Title).toLatin1(), title);
}

TEST_F(TagFile, ReadingFailsWithTheFileOpenError)
{
    const QString missing = Path(QStringLiteral("missing.mp3"));
    try {
        Read(missing);
        FAIL() << "no error";
    } catch (const EFOpenError &e) {
        EXPECT_TRUE(
            e.Message().startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(missing)))
            << e.what();
        EXPECT_GT(e.Message().size(),
                  QStringLiteral("Cannot open file \"%1\". ").arg(missing).size());
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_THROW(Read(m_dir.path()), EFOpenError);
}

#ifdef Q_OS_LINUX
TEST_F(TagFile, ReadingNeverKeepsTheFileOpen)
{
    const QString tagged =
        Make(QStringLiteral("t.mp3"), Audio(400) + RawTag("TAG", "x", "", "", "", "", 0, 0));
    const QString plain = Make(QStringLiteral("p.mp3"), Audio(400));
    const QString tiny = Make(QStringLiteral("s.mp3"), Audio(5));
    const QByteArray before = ReadAll(tagged);
    const int open = OpenDescriptors();
    for (int i = 0; i < 20; ++i) {
        Read(tagged);
        Read(plain);
        Read(tiny);
        EXPECT_THROW(Read(m_dir.path()), EFOpenError);
    }
    EXPECT_EQ(OpenDescriptors(), open);
    EXPECT_EQ(ReadAll(tagged), before);
}
#endif

TEST_F(TagFile, RandomFilesNeverBreakTheReader)
{
    QRandomGenerator random(20240607);
    const QString name = Path(QStringLiteral("fuzz.mp3"));
    for (int round = 0; round < 1500; ++round) {
        const int size = int(random.bounded(301));
        QByteArray bytes(size, '\0');
        for (char &b : bytes)
            b = char(random.bounded(256));
        // Plant the marker often enough to exercise the tagged path.
        if (size >= 128 && random.bounded(2) == 0)
            bytes.replace(size - 128, 3, "TAG");
        WriteAll(name, bytes);
        const TID3Tag tag = Read(name);
        ASSERT_EQ(RecordBytes(tag), RecordBytes(ExpectedFromBytes(bytes))) << "size " << size;
        ASSERT_LE(FieldToString(tag.Title).size(), 30);
        ASSERT_LE(FieldToString(tag.Comment).size(), 29);
    }
}

// --- writing ---------------------------------------------------------------------------------

TEST_F(TagFile, WritingAppendsToAFileWithoutTag)
{
    const QByteArray audio = Audio(5000);
    const QString name = Make(QStringLiteral("a.mp3"), audio);
    const TID3Tag tag = SampleTag("Fresh");
    WriteID3Tag(name, tag);
    const QByteArray after = ReadAll(name);
    ASSERT_EQ(after.size(), audio.size() + 128);
    EXPECT_EQ(after.left(audio.size()), audio);
    EXPECT_EQ(after.right(128), RecordBytes(tag));
    EXPECT_EQ(RecordBytes(Read(name)), RecordBytes(tag));
}

TEST_F(TagFile, WritingReplacesExactlyTheLastRecordOfATaggedFile)
{
    const QByteArray audio = Audio(3000);
    const QString name =
        Make(QStringLiteral("t.mp3"), audio + RawTag("TAG", "Old", "Old", "Old", "1900", "", 1, 1));
    const TID3Tag tag = SampleTag("New");
    WriteID3Tag(name, tag);
    const QByteArray after = ReadAll(name);
    ASSERT_EQ(after.size(), audio.size() + 128);
    EXPECT_EQ(after.left(audio.size()), audio);
    EXPECT_EQ(after.right(128), RecordBytes(tag));
}

TEST_F(TagFile, WritingTwiceLeavesOneTag)
{
    const QByteArray audio = Audio(777);
    const QString name = Make(QStringLiteral("twice.mp3"), audio);
    const TID3Tag first = SampleTag("First");
    const TID3Tag second = SampleTag("Second");
    WriteID3Tag(name, first);
    WriteID3Tag(name, first);
    WriteID3Tag(name, second);
    const QByteArray after = ReadAll(name);
    EXPECT_EQ(after, audio + RecordBytes(second));
}

TEST_F(TagFile, WritingStoresTheRecordUnchanged)
{
    // The writer does not inspect the record: odd bytes, no zero terminators, any marker.
    TID3Tag tag;
    for (int i = 0; i < 128; ++i)
        reinterpret_cast<unsigned char *>(&tag)[i] = static_cast<unsigned char>(255 - i);
    std::memcpy(tag.Header, "TAG", 3);
    const QString name = Make(QStringLiteral("raw.mp3"), Audio(256));
    WriteID3Tag(name, tag);
    EXPECT_EQ(RecordBytes(Read(name)), RecordBytes(tag));
}

TEST_F(TagFile, FailedWritesLeaveTheFileAsItWas)
{
    const QString missing = Path(QStringLiteral("missing.mp3"));
    EXPECT_THROW(WriteID3Tag(missing, SampleTag("x")), EInOutError);
    EXPECT_FALSE(QFileInfo::exists(missing));

    EXPECT_THROW(WriteID3Tag(m_dir.path(), SampleTag("x")), EInOutError);

    for (int size : {0, 1, 127}) {
        const QByteArray bytes = Audio(size);
        const QString name = Make(QStringLiteral("short%1.mp3").arg(size), bytes);
        try {
            WriteID3Tag(name, SampleTag("x"));
            ADD_FAILURE() << "no error for " << size << " bytes";
        } catch (const EInOutError &e) {
            EXPECT_TRUE(e.Message().contains(name)) << e.what();
        }
        EXPECT_EQ(ReadAll(name), bytes);
    }
}

#ifdef Q_OS_LINUX
TEST_F(TagFile, ReadOnlyFileIsRefused)
{
    const QByteArray bytes = Audio(1000) + RawTag("TAG", "Keep", "", "", "", "", 0, 0);
    const QString name = Make(QStringLiteral("ro.mp3"), bytes);
    bool immutable = false;
    if (geteuid() == 0) {
        // Root ignores permission bits; an immutable file is refused even to root.
        const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        int flags = 0;
        immutable = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
        ::close(fd);
        if (!immutable)
            GTEST_SKIP() << "running as root on a file system without immutable files";
    } else {
        ASSERT_TRUE(QFile::setPermissions(name, QFile::ReadOwner));
    }
    EXPECT_THROW(WriteID3Tag(name, SampleTag("Lost")), EInOutError);
    if (immutable) {
        const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY);
        int flags = 0;
        ioctl(fd, FS_IOC_GETFLAGS, &flags);
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
        ::close(fd);
    }
    EXPECT_EQ(ReadAll(name), bytes);
    EXPECT_EQ(FieldToString(Read(name).Title), QStringLiteral("Keep"));
}

TEST_F(TagFile, ShortAppendIsRolledBack)
{
    // A file size limit lets only part of the record reach the disk.
    const QByteArray audio = Audio(4000);
    const QString name = Make(QStringLiteral("limit.mp3"), audio);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(audio.size() + 50);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool raised = false;
    try {
        WriteID3Tag(name, SampleTag("Partial"));
    } catch (const EInOutError &) {
        raised = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(raised);
    EXPECT_EQ(ReadAll(name), audio);
}
#endif

// --- real files ------------------------------------------------------------------------------

TEST(TagCorpus, EveryFileReadsAsItsLastBytesSay)
{
    const QString corpus = qEnvironmentVariable("QUILLMERE_CORPUS");
    if (corpus.isEmpty() || !QFileInfo(corpus).isDir())
        GTEST_SKIP() << "no corpus";
    QTemporaryDir scratch;
    int files = 0;
    QDirIterator it(corpus, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(name);
        TID3Tag tag;
        ASSERT_NO_THROW(ReadID3Tag(name, tag));
        EXPECT_EQ(RecordBytes(tag), RecordBytes(ExpectedFromBytes(bytes)));

        // Write into a copy; the corpus itself is never touched.
        if (bytes.size() >= 128) {
            const QString copy = scratch.filePath(QStringLiteral("copy.mp3"));
            QFile::remove(copy);
            WriteAll(copy, bytes);
            const TID3Tag written = SampleTag("Corpus");
            ASSERT_NO_THROW(WriteID3Tag(copy, written));
            const QByteArray after = ReadAll(copy);
            const bool tagged = HasID3Tag(ExpectedFromBytes(bytes));
            const qsizetype kept = tagged ? bytes.size() - 128 : bytes.size();
            EXPECT_EQ(after.size(), kept + 128);
            EXPECT_EQ(after.left(kept), bytes.left(kept));
            EXPECT_EQ(after.right(128), RecordBytes(written));
        }
        EXPECT_EQ(ReadAll(name), bytes);
        ++files;
    }
    EXPECT_GT(files, 0);
}
