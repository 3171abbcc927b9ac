#include "data/UMP3s.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Runs the built quillmere-lib (path given by the build) and checks what the tag verbs do to
// real files.

namespace
{

struct TRun {
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;
};

TRun RunLib(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(QUILLMERE_LIB_BINARY), args);
    TRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = process.exitCode();
    run.Out = process.readAllStandardOutput();
    run.Err = process.readAllStandardError();
    return run;
}

QByteArray ReadAll(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Field(const QByteArray &raw, int offset, int width)
{
    const QByteArray bytes = raw.mid(offset, width);
    const qsizetype zero = bytes.indexOf('\0');
    return zero >= 0 ? bytes.left(zero) : bytes;
}

// The printable form of field bytes, written out by hand for the expected output.
QByteArray Printable(const QByteArray &bytes)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    for (const char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b == '\\')
            out += "\\\\";
        else if (b == '\t')
            out += "\\t";
        else if (b == '\r')
            out += "\\r";
        else if (b == '\n')
            out += "\\n";
        else if (b >= 32 && b <= 126)
            out += c;
        else
            out += QByteArray("\\x") + hex[b >> 4] + hex[b & 15];
    }
    return out;
}

// What "tag show" must print for a file with these bytes.
QByteArray ExpectedShow(const QByteArray &file)
{
    const QByteArray raw = file.size() >= 128 ? file.right(128) : QByteArray();
    if (Field(raw, 0, 3) != "TAG")
        return "header=N/A\ntitle=\nartist=\nalbum=\nyear=0000\ncomment=\ntrack=0\ngenre=255\n"
               "genre_name=\n";
    return "header=TAG\ntitle=" + Printable(Field(raw, 3, 30)) +
           "\nartist=" + Printable(Field(raw, 33, 30)) +
           "\nalbum=" + Printable(Field(raw, 63, 30)) + "\nyear=" + Printable(Field(raw, 93, 4)) +
           "\ncomment=" + Printable(Field(raw, 97, 29)) +
           "\ntrack=" + QByteArray::number(uchar(raw[126])) +
           "\ngenre=" + QByteArray::number(uchar(raw[127])) +
           "\ngenre_name=" + GenreName(uchar(raw[127])).toLatin1() + "\n";
}

class TagVerb : public ::testing::Test
{
protected:
    QString Make(const QByteArray &bytes)
    {
        const QString name = m_dir.filePath(QStringLiteral("song.mp3"));
        WriteAll(name, bytes);
        return name;
    }
    TRun Show(const QString &name)
    {
        return RunLib({QStringLiteral("tag"), QStringLiteral("show"), name});
    }
    TRun Set(const QString &name, const QStringList &options)
    {
        return RunLib(QStringList{QStringLiteral("tag"), QStringLiteral("set"), name} + options);
    }
    QTemporaryDir m_dir;
};

const QByteArray Audio(600, '\x55');

} // namespace

TEST_F(TagVerb, ShowEscapesEveryUnprintableByte)
{
    QByteArray raw(128, '\0');
    raw.replace(0, 3, "TAG");
    raw.replace(3, 12, QByteArray("a\\b\tc\rd\ne\x01\x7f", 12));
    raw.replace(33, 30, QByteArray(30, 'Z'));
    raw.replace(63, 4, "\xe9\xff\x80 ");
    raw.replace(93, 4,
                "19\x1f"
                "9");
    raw.replace(97, 29, QByteArray(29, '#'));
    raw[126] = char(200);
    raw[127] = char(147);
    const TRun run = Show(Make(Audio + raw));
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QByteArray("header=TAG\n"
                                  "title=a\\\\b\\tc\\rd\\ne\\x01\\x7f\n"
                                  "artist=ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ\n"
                                  "album=\\xe9\\xff\\x80 \n"
                                  "year=19\\x1f9\n"
                                  "comment=#############################\n"
                                  "track=200\n"
                                  "genre=147\n"
                                  "genre_name=Synthpop\n"));
}

TEST_F(TagVerb, ShowPrintsTheNoTagRecord)
{
    const TRun run = Show(Make(Audio));
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, ExpectedShow(Audio));
}

TEST_F(TagVerb, ShowOfAnUnreadableFileFails)
{
    const QString missing = m_dir.filePath(QStringLiteral("none.mp3"));
    const TRun run = Show(missing);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_TRUE(run.Err.contains("Cannot open file \"" + missing.toUtf8() + "\""))
        << run.Err.toStdString();
    EXPECT_EQ(Show(m_dir.path()).ExitCode, 1);
}

TEST_F(TagVerb, SetAddsATagAndKeepsTheAudio)
{
    const QString name = Make(Audio);
    const TRun run =
        Set(name, {QStringLiteral("--title"), QString::fromUtf16(u"Caf\u00e9"),
                   QStringLiteral("--artist"), QStringLiteral("Band"), QStringLiteral("--track"),
                   QStringLiteral("12"), QStringLiteral("--genre"), QStringLiteral("Drum & Bass")});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    const QByteArray after = ReadAll(name);
    ASSERT_EQ(after.size(), Audio.size() + 128);
    EXPECT_EQ(after.left(Audio.size()), Audio);
    const QByteArray raw = after.right(128);
    EXPECT_EQ(raw.left(3), QByteArray("TAG"));
    EXPECT_EQ(raw.mid(3, 30), QByteArray("Caf\xe9") + QByteArray(26, '\0'));
    EXPECT_EQ(Field(raw, 93, 4), QByteArray("0000"));
    EXPECT_EQ(uchar(raw[126]), 12);
    EXPECT_EQ(uchar(raw[127]), 127);
    EXPECT_EQ(Show(name).Out, ExpectedShow(after));
}

TEST_F(TagVerb, SetChangesOnlyTheGivenFields)
{
    const QString name = Make(Audio);
    ASSERT_EQ(
        Set(name, {QStringLiteral("--title"), QStringLiteral("One"), QStringLiteral("--album"),
                   QStringLiteral("LP"), QStringLiteral("--year"), QStringLiteral("1999"),
                   QStringLiteral("--comment"), QString(29, QLatin1Char('c')),
                   QStringLiteral("--genre"), QStringLiteral("255")})
            .ExitCode,
        0);
    const QByteArray before = ReadAll(name);
    ASSERT_EQ(Set(name, {QStringLiteral("--title"), QString(30, QLatin1Char('T'))}).ExitCode, 0);
    const QByteArray after = ReadAll(name);
    ASSERT_EQ(after.size(), before.size());
    QByteArray expected = before;
    expected.replace(expected.size() - 125, 30, QByteArray(30, 'T'));
    EXPECT_EQ(after, expected);
    EXPECT_EQ(uchar(after[after.size() - 1]), 255);
}

TEST_F(TagVerb, SetRefusesBadValuesAndLeavesTheFileAlone)
{
    const QString name = Make(Audio);
    const QList<QStringList> refused = {
        {QStringLiteral("--title"), QString(31, QLatin1Char('x'))},
        {QStringLiteral("--comment"), QString(30, QLatin1Char('x'))},
        {QStringLiteral("--year"), QStringLiteral("19999")},
        {QStringLiteral("--artist"), QString::fromUtf16(u"\u65e5\u672c")},
        {QStringLiteral("--track"), QStringLiteral("256")},
        {QStringLiteral("--track"), QStringLiteral("-1")},
        {QStringLiteral("--track"), QStringLiteral("seven")},
        {QStringLiteral("--genre"), QStringLiteral("Polka Dot")},
        {QStringLiteral("--genre"), QStringLiteral("300")},
        {QStringLiteral("--colour"), QStringLiteral("red")},
        {QStringLiteral("--title"), QStringLiteral("ok"), QStringLiteral("--album")},
    };
    for (const QStringList &options : refused) {
        const TRun run = Set(name, options);
        EXPECT_EQ(run.ExitCode, 2) << options.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(ReadAll(name), Audio);
    }
    EXPECT_EQ(RunLib({QStringLiteral("tag"), QStringLiteral("show")}).ExitCode, 2);
}

TEST_F(TagVerb, SetOnAFileTooShortForATagFails)
{
    const QString name = Make(QByteArray(100, 'x'));
    EXPECT_EQ(Set(name, {QStringLiteral("--title"), QStringLiteral("x")}).ExitCode, 1);
    EXPECT_EQ(ReadAll(name), QByteArray(100, 'x'));
    const QString missing = m_dir.filePath(QStringLiteral("none.mp3"));
    EXPECT_EQ(Set(missing, {QStringLiteral("--title"), QStringLiteral("x")}).ExitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(TagVerbCorpus, ShowPrintsEveryFileAsItsLastBytesSay)
{
    const QString corpus = qEnvironmentVariable("QUILLMERE_CORPUS");
    if (corpus.isEmpty() || !QFileInfo(corpus).isDir())
        GTEST_SKIP() << "no corpus";
    int files = 0;
    QDirIterator it(corpus, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(name);
        const TRun run = RunLib({QStringLiteral("tag"), QStringLiteral("show"), name});
        ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
        EXPECT_EQ(run.Out, ExpectedShow(bytes));
        ++files;
    }
    EXPECT_GT(files, 0);
}
