#include "base/Errors.h"
#include "data/ID3v2Tags.h"
#include "data/UMP3s.h"

#include "tests/support/TestFiles.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
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

// Audio stand-in: high bytes that never form a marker, non-zero second-to-last byte.
QByteArray Audio(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(0x80 | (i * 7));
    return bytes;
}

// A raw record built by offsets, independently of the struct.
QByteArray RawTag(const QByteArray &header, const QByteArray &title, const QByteArray &artist,
                  const QByteArray &comment = {}, unsigned char track = 0, unsigned char genre = 0)
{
    QByteArray raw(128, '\0');
    raw.replace(0, header.size(), header);
    raw.replace(3, title.size(), title);
    raw.replace(33, artist.size(), artist);
    raw.replace(63, 6, "Record");
    raw.replace(93, 4, "1987");
    raw.replace(97, comment.size(), comment);
    raw[126] = char(track);
    raw[127] = char(genre);
    return raw;
}

QByteArray Bytes(const TID3Tag &tag)
{
    return QByteArray(reinterpret_cast<const char *>(&tag), sizeof tag);
}

TID3Tag SampleTag(const char *title)
{
    TID3Tag tag = NoTagRecord();
    CopyToField(tag.Header, "TAG");
    CopyToField(tag.Title, title);
    tag.Track = 3;
    return tag;
}

// What a file's bytes must read as, worked out from its last 128 bytes.
QByteArray ExpectedRecord(const QByteArray &file)
{
    if (file.size() >= 128 && file.right(128).startsWith("TAG"))
        return file.right(128);
    return Bytes(NoTagRecord());
}

class TagFile : public ::testing::Test
{
protected:
    QString Make(const QByteArray &bytes, const QString &name = QStringLiteral("song.mp3"))
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }
    static TID3Tag Read(const QString &name)
    {
        TID3Tag tag;
        std::memset(&tag, 0x5A, sizeof tag);
        ReadID3Tag(name, tag);
        return tag;
    }
    QTemporaryDir m_dir;
};

} // namespace

// Every byte value reads as Windows-1252 text and writes back as the same byte; the five
// unassigned bytes keep their control characters.
TEST(TagFields, EveryByteRoundTripsThroughText)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    const QString text = TagBytesToString(all);
    EXPECT_EQ(text.size(), all.size());
    for (const int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(text.at(b - 1).unicode(), b);
    EXPECT_EQ(text.at(0x80 - 1), QChar(0x20AC));
    EXPECT_EQ(text.at(0x85 - 1), QChar(0x2026));
    EXPECT_EQ(text.at(0x9F - 1), QChar(0x0178));
    QByteArray back;
    ASSERT_TRUE(StringToTagBytes(text, back));
    EXPECT_EQ(back, all);
    // Through the library's text as well: UTF-8 out and in again.
    ASSERT_TRUE(StringToTagBytes(QString::fromUtf8(text.toUtf8()), back));
    EXPECT_EQ(back, all);

    EXPECT_FALSE(StringToTagBytes(QStringLiteral(u"\u0411"), back));
    EXPECT_FALSE(StringToTagBytes(QStringLiteral(u"\u0080"), back));
    EXPECT_EQ(back, all) << "a refused text leaves the bytes alone";
}

TEST(TagFields, CutAtZeroAndCopiedByWidth)
{
    EXPECT_EQ(FieldBytes("ab\0cd", 5), QByteArray("ab"));
    EXPECT_EQ(FieldBytes("abcdef", 4), QByteArray("abcd"));
    const char high[] = {char(0x80), char(0x92), char(0xE9), char(0xFF)};
    EXPECT_EQ(FieldToString(high, 4), QStringLiteral(u"\u20AC\u2019\u00E9\u00FF"));

    TID3Tag tag;
    std::memset(&tag, 'Q', sizeof tag);
    EXPECT_FALSE(CopyToField(tag.Title, QByteArray(31, 'x')));
    EXPECT_FALSE(CopyToField(tag.Year, "19999"));
    EXPECT_EQ(Bytes(tag), QByteArray(128, 'Q'));
    ASSERT_TRUE(CopyToField(tag.Title, "abc"));
    ASSERT_TRUE(CopyToField(tag.Comment, QByteArray(29, 'c')));
    const QByteArray raw = Bytes(tag);
    EXPECT_EQ(raw.mid(3, 30), QByteArray("abc") + QByteArray(27, '\0'));
    EXPECT_EQ(raw.mid(33, 64), QByteArray(64, 'Q'));
    EXPECT_EQ(raw.mid(97), QByteArray(29, 'c') + "QQ");
}

TEST(Genres, OneRuleForANumberOrANameTyped)
{
    // The import's ID3v2 genres, the dialog and the command line read a genre alike.
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral("1234")), 255);
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral("(17)Rock")), 17);
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral("17 Rock")), 17);
    EXPECT_EQ(ID3v2GenreNumber(QStringLiteral(" drum & BASS ")), 127);
    EXPECT_EQ(GenreOfText(QStringLiteral(" 17 ")), 17);
    EXPECT_EQ(GenreOfText(QStringLiteral("255")), 255);
    EXPECT_EQ(GenreOfText(QStringLiteral("rOCK ")), 17);
    for (const char *refused : {"256", "+5", "-1", "", "1 7", "Rock!"})
        EXPECT_EQ(GenreOfText(QString::fromLatin1(refused)), -1) << refused;
    EXPECT_EQ(GenreByName(QStringLiteral("17")), -1);
    EXPECT_EQ(TagByteOfText(QStringLiteral("0017")), 17);
}

TEST(Genres, TableHoldsTheListedNames)
{
    EXPECT_EQ(sizeof Genres / sizeof Genres[0], 148u);
    const std::pair<int, const char *> spots[] = {
        {0, "Blues"},        {14, "R&B"},          {29, "Jazz+Funk"}, {40, "AlternRock"},
        {67, "Psychadelic"}, {79, "Hard Rock"},    {80, "Folk"},      {85, "Bebob"},
        {90, "Avantgarde"},  {100, "Humour"},      {123, "Acapella"}, {127, "Drum & Bass"},
        {132, "BritPop"},    {144, "Trash Metal"}, {146, "Jpop"},     {147, "Synthpop"}};
    for (const auto &[index, name] : spots) {
        EXPECT_STREQ(Genres[index], name) << index;
        EXPECT_EQ(GenreName(index), QLatin1String(name));
    }
    QSet<QString> names;
    for (const char *name : Genres)
        names.insert(QString::fromLatin1(name));
    EXPECT_EQ(names.size(), 148);
    for (int number : {-1, 148, 255})
        EXPECT_TRUE(GenreName(number).isEmpty()) << number;
}

TEST_F(TagFile, TaggedFileReadsFieldForField)
{
    const QByteArray title30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    const QByteArray spaced = QByteArray("abc") + QByteArray(27, ' ');
    const TID3Tag tag =
        Read(Make(Audio(900) + RawTag("TAG", title30, spaced, QByteArray(28, 'k'), 7, 13)));
    EXPECT_TRUE(HasID3Tag(tag));
    EXPECT_EQ(FieldToString(tag.Header), QStringLiteral("TAG"));
    EXPECT_EQ(FieldToString(tag.Title), QLatin1String(title30));
    EXPECT_EQ(FieldToString(tag.Artist), QLatin1String(spaced));
    EXPECT_EQ(FieldToString(tag.Album), QStringLiteral("Record"));
    EXPECT_EQ(FieldToString(tag.Year), QStringLiteral("1987"));
    EXPECT_EQ(FieldToString(tag.Comment), QString(28, QLatin1Char('k')));
    EXPECT_EQ(tag.Track, 7);
    EXPECT_EQ(tag.Genre, 13);

    // A 30-character comment: 29 belong to the comment, the last is the track byte.
    const TID3Tag full = Read(
        Make(Audio(10) + RawTag("TAG", "", "").replace(97, 30, "123456789012345678901234567890")));
    EXPECT_EQ(FieldToString(full.Comment), QStringLiteral("12345678901234567890123456789"));
    EXPECT_EQ(full.Track, '0');
}

TEST_F(TagFile, FilesWithoutMarkerReadAsNoTag)
{
    const TID3Tag none = NoTagRecord();
    EXPECT_EQ(QByteArray(none.Header, 3), QByteArray("N/A"));
    EXPECT_EQ(QByteArray(none.Year, 4), QByteArray("0000"));
    EXPECT_EQ(Bytes(none).mid(3, 90), QByteArray(90, '\0'));
    EXPECT_EQ(Bytes(none).mid(97), QByteArray(29, '\0') + '\0' + '\xff');
    EXPECT_FALSE(HasID3Tag(none));

    const QByteArray headers[] = {"tag", QByteArray("TA\0", 3), "Tag", QByteArray("\0AG", 3)};
    for (const QByteArray &header : headers)
        EXPECT_EQ(Bytes(Read(Make(Audio(500) + RawTag(header, "T", "A", "C", 9, 1)))), Bytes(none))
            << header.toHex().toStdString();
    EXPECT_EQ(Bytes(Read(Make(Audio(4096)))), Bytes(none));
    for (int size : {0, 1, 127})
        EXPECT_EQ(Bytes(Read(Make(QByteArray("TAG").leftJustified(size, 'x', true)))), Bytes(none));
    EXPECT_EQ(FieldToString(Read(Make(RawTag("TAG", "Only", ""))).Title), QStringLiteral("Only"));
}

TEST_F(TagFile, UnopenableFilesRaiseTheFileOpenError)
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.mp3"));
    const QString prefix = QStringLiteral("Cannot open file \"%1\". ").arg(missing);
    try {
        Read(missing);
        ADD_FAILURE() << "no error";
    } catch (const EFOpenError &e) {
        EXPECT_TRUE(e.Message().startsWith(prefix)) << e.what();
        EXPECT_GT(e.Message().size(), prefix.size()) << "no system reason";
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_THROW(Read(m_dir.path()), EFOpenError);
}

#ifdef Q_OS_LINUX
TEST_F(TagFile, ReadingNeverKeepsTheFileOpen)
{
    const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const QString tagged = Make(Audio(400) + RawTag("TAG", "x", ""), QStringLiteral("t.mp3"));
    const QString tiny = Make(Audio(5), QStringLiteral("s.mp3"));
    const uint before = openFiles();
    for (int i = 0; i < 10; ++i) {
        Read(tagged);
        Read(tiny);
        EXPECT_THROW(Read(m_dir.path()), EFOpenError);
    }
    EXPECT_EQ(openFiles(), before);
}
#endif

TEST_F(TagFile, RandomFilesNeverBreakTheReader)
{
    QRandomGenerator random(20240607);
    for (int round = 0; round < 1500; ++round) {
        QByteArray bytes(int(random.bounded(301)), '\0');
        for (char &b : bytes)
            b = char(random.bounded(256));
        if (bytes.size() >= 128 && random.bounded(2) == 0)
            bytes.replace(bytes.size() - 128, 3, "TAG");
        ASSERT_EQ(Bytes(Read(Make(bytes))), ExpectedRecord(bytes)) << "size " << bytes.size();
    }
}

TEST_F(TagFile, WritingAppendsOrReplacesInPlace)
{
    const QByteArray audio = Audio(5000);
    const QString name = Make(audio);
    const TID3Tag first = SampleTag("First");
    WriteID3Tag(name, first);
    EXPECT_EQ(ReadAll(name), audio + Bytes(first));
    EXPECT_EQ(Bytes(Read(name)), Bytes(first));

    // Same record again, then another: still one tag, in the same place.
    WriteID3Tag(name, first);
    TID3Tag odd;
    for (int i = 0; i < 128; ++i)
        reinterpret_cast<unsigned char *>(&odd)[i] = static_cast<unsigned char>(255 - i);
    std::memcpy(odd.Header, "TAG", 3);
    WriteID3Tag(name, odd);
    EXPECT_EQ(ReadAll(name), audio + Bytes(odd));
}

TEST_F(TagFile, FailedWritesLeaveTheFileAsItWas)
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.mp3"));
    EXPECT_THROW(WriteID3Tag(missing, SampleTag("x")), EInOutError);
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_THROW(WriteID3Tag(m_dir.path(), SampleTag("x")), EInOutError);
    for (int size : {0, 1, 127}) {
        const QString name = Make(Audio(size));
        try {
            WriteID3Tag(name, SampleTag("x"));
            ADD_FAILURE() << "no error for " << size << " bytes";
        } catch (const EInOutError &e) {
            EXPECT_TRUE(e.Message().contains(name)) << e.what();
        }
        EXPECT_EQ(ReadAll(name), Audio(size));
    }
}

#ifdef Q_OS_LINUX
namespace
{
bool SetImmutable(const QString &name, bool on)
{
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY);
    int flags = 0;
    bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}
} // namespace

TEST_F(TagFile, ReadOnlyFileIsRefused)
{
    const QByteArray bytes = Audio(1000) + RawTag("TAG", "Keep", "");
    const QString name = Make(bytes);
    // Root ignores permission bits, but not the immutable attribute.
    const bool root = geteuid() == 0;
    if (root && !SetImmutable(name, true)) {
        GTEST_SKIP() << "root on a file system without immutable files";
    }
    if (!root) {
        ASSERT_TRUE(QFile::setPermissions(name, QFile::ReadOwner));
    }
    EXPECT_THROW(WriteID3Tag(name, SampleTag("Lost")), EInOutError);
    if (root)
        SetImmutable(name, false);
    EXPECT_EQ(ReadAll(name), bytes);
}

TEST_F(TagFile, ShortAppendIsRolledBack)
{
    // A file size limit lets only part of the record reach the disk.
    const QByteArray audio = Audio(4000);
    const QString name = Make(audio);
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

TEST(TagCorpus, EveryFileReadsAsItsLastBytesSay)
{
    const QString corpus = CorpusFolder();
    if (corpus.isEmpty())
        GTEST_SKIP() << CorpusMissing();
    QTemporaryDir scratch;
    int files = 0;
    QDirIterator it(corpus, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(name);
        TID3Tag tag;
        ASSERT_NO_THROW(ReadID3Tag(name, tag));
        EXPECT_EQ(Bytes(tag), ExpectedRecord(bytes));
        ++files;
        if (bytes.size() < 128)
            continue;
        // Writing goes to a copy; the corpus is never touched.
        const QString copy = scratch.filePath(QString::number(files));
        ASSERT_TRUE(QFile::copy(name, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        WriteID3Tag(copy, SampleTag("Corpus"));
        const qsizetype kept = bytes.size() - (HasID3Tag(tag) ? 128 : 0);
        EXPECT_EQ(ReadAll(copy), bytes.left(kept) + Bytes(SampleTag("Corpus")));
    }
    EXPECT_GT(files, 0);
}
