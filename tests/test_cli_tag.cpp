#include "data/UMP3s.h"

#include "tests/support/TestFiles.h"
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Runs the built quillmere-lib on real files and checks what its tag verbs print and write.

namespace
{

// Arguments given as UTF-8.
TRun RunLib(std::initializer_list<const char *> args, const QString &file = {})
{
    QStringList list;
    for (const char *arg : args)
        list << QString::fromUtf8(arg);
    if (!file.isEmpty())
        list.insert(2, file);
    return RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY), list);
}

QByteArray Field(const QByteArray &raw, int offset, int width)
{
    const QByteArray bytes = raw.mid(offset, width);
    return bytes.left(bytes.contains('\0') ? bytes.indexOf('\0') : width);
}

// The printable form of field bytes, spelled out independently for the expected output.
QByteArray Printable(const QByteArray &bytes)
{
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
            out += "\\x" + QByteArray::number(b, 16).rightJustified(2, '0');
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
        QFile file(m_name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return m_name;
    }
    QTemporaryDir m_dir;
    const QString m_name = m_dir.filePath(QStringLiteral("song.mp3"));
    const QByteArray m_audio = QByteArray(600, '\x55');
};

} // namespace

TEST_F(TagVerb, ShowEscapesEveryUnprintableByte)
{
    QByteArray raw(128, '#');
    raw.replace(0, 3, "TAG");
    raw.replace(3, 12, QByteArray("a\\b\tc\rd\ne\x01\x7f\0", 12));
    raw.replace(63, 5, QByteArray("\xe9\xff\x80 \0", 5));
    raw.replace(93, 4,
                "19\x1f"
                "9");
    raw[126] = char(200);
    raw[127] = char(147);
    const TRun run = RunLib({"tag", "show"}, Make(m_audio + raw));
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out,
              "header=TAG\ntitle=a\\\\b\\tc\\rd\\ne\\x01\\x7f\nartist=" + QByteArray(30, '#') +
                  "\nalbum=\\xe9\\xff\\x80 \nyear=19\\x1f9\ncomment=" + QByteArray(29, '#') +
                  "\ntrack=200\ngenre=147\ngenre_name=Synthpop\n");

    EXPECT_EQ(RunLib({"tag", "show"}, Make(m_audio)).Out, ExpectedShow(m_audio));
}

TEST_F(TagVerb, UnreadableFilesFail)
{
    const TRun run = RunLib({"tag", "show"}, m_name);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_TRUE(run.Err.contains("Cannot open file \"" + m_name.toUtf8() + "\"")) << run.Err.data();
    EXPECT_EQ(RunLib({"tag", "show"}, m_dir.path()).ExitCode, 1);
    EXPECT_EQ(RunLib({"tag", "set", "--title", "x"}, m_name).ExitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(m_name));
    Make(QByteArray(100, 'x'));
    EXPECT_EQ(RunLib({"tag", "set", "--title", "x"}, m_name).ExitCode, 1);
    EXPECT_EQ(ReadAll(m_name), QByteArray(100, 'x'));
}

TEST_F(TagVerb, SetWritesTheGivenFieldsOnly)
{
    Make(m_audio);
    TRun run = RunLib({"tag", "set", "--title", "Café", "--track", "12", "--genre", "Drum & Bass"},
                      m_name);
    ASSERT_EQ(run.ExitCode, 0) << run.Err.data();
    QByteArray after = ReadAll(m_name);
    ASSERT_EQ(after.left(m_audio.size()), m_audio);
    QByteArray expected = QByteArray("TAGCaf\xe9").leftJustified(93, '\0') + "0000" +
                          QByteArray(29, '\0') + "\x0c\x7f";
    EXPECT_EQ(after.mid(m_audio.size()), expected);

    run = RunLib({"tag", "set", "--artist", "Band", "--album", "LP", "--year", "99", "--comment",
                  "ccccccccccccccccccccccccccccc", "--genre", "255"},
                 m_name);
    ASSERT_EQ(run.ExitCode, 0) << run.Err.data();
    expected.replace(33, 4, "Band").replace(63, 2, "LP").replace(93, 4, QByteArray("99\0\0", 4));
    expected.replace(97, 29, QByteArray(29, 'c'));
    expected[127] = '\xff';
    EXPECT_EQ(ReadAll(m_name), m_audio + expected);
    EXPECT_EQ(RunLib({"tag", "show"}, m_name).Out, ExpectedShow(m_audio + expected));

    // Blanks around a number or a genre's name, as the window takes them.
    run = RunLib({"tag", "set", "--track", " 7 ", "--genre", " drum & bass"}, m_name);
    ASSERT_EQ(run.ExitCode, 0) << run.Err.data();
    expected[126] = '\x07';
    expected[127] = '\x7f';
    EXPECT_EQ(ReadAll(m_name), m_audio + expected);
}

TEST_F(TagVerb, SetRefusesBadValuesAndLeavesTheFileAlone)
{
    Make(m_audio);
    const std::initializer_list<const char *> refused[] = {
        {"tag", "set", "--title", "1234567890123456789012345678901"},
        {"tag", "set", "--comment", "123456789012345678901234567890"},
        {"tag", "set", "--year", "19999"},
        {"tag", "set", "--artist", "日本"},
        {"tag", "set", "--track", "256"},
        {"tag", "set", "--track", "-1"},
        {"tag", "set", "--track", "seven"},
        {"tag", "set", "--genre", "Polka Dot"},
        {"tag", "set", "--genre", "300"},
        {"tag", "set", "--colour", "red"},
        {"tag", "set", "--title", "ok", "--album"},
    };
    for (const auto &args : refused) {
        EXPECT_EQ(RunLib(args, m_name).ExitCode, 2) << *(args.begin() + 2);
        EXPECT_EQ(ReadAll(m_name), m_audio);
    }
    EXPECT_EQ(RunLib({"tag", "show"}).ExitCode, 2);
}

TEST(TagVerbCorpus, ShowPrintsEveryFileAsItsLastBytesSay)
{
    const QString corpus = CorpusFolder();
    if (corpus.isEmpty())
        GTEST_SKIP() << CorpusMissing();
    int files = 0;
    QDirIterator it(corpus, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        const TRun run = RunLib({"tag", "show"}, name);
        ASSERT_EQ(run.ExitCode, 0) << name.toStdString() << run.Err.data();
        EXPECT_EQ(run.Out, ExpectedShow(ReadAll(name))) << name.toStdString();
        ++files;
    }
    EXPECT_GT(files, 0);
}
