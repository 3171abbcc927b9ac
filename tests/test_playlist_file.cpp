#include "app/Forms.h"
#include "app/UMain.h"
#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "data/DataSet.h"
#include "data/PlaylistEntries.h"
#include "data/PlaylistFile.h"
#include "data/PlaylistFormats.h"
#include "data/Table.h"
#include "dialogs/FileDialogService.h"
#include "dialogs/UOptions.h"
#include "platform/Shell.h"
#include "tests/support/Children.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SmallVolume.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace
{

// The folder's files besides the library's own.
QString FilesIn(const QString &folder)
{
    const QStringList all =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    return all.filter(QRegularExpression(QStringLiteral("^(?!quillmeredb\\.mdb)"))).join(' ');
}

// The entry view of one playlist opened as the main window opens it.
class PlaylistFileTest : public ::testing::Test
{
protected:
    void OpenEntries(qint64 playlistId)
    {
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
        SetUpSongsTable(songs);
        songs.Open();
        SetUpPlaylistEntries(entries, &songs);
        OpenPlaylistEntries(entries, int(playlistId), QStringLiteral("Sequence"),
                            QStringLiteral("Asc"));
    }
    void SetNullDuration(qint64 songId)
    {
        library.Exec(
            QStringLiteral("UPDATE Playlist_DB SET Duration = NULL WHERE Row_ID = %1").arg(songId));
    }

    TestLibrary library;
    TConnection connection;
    TTable songs{&connection};
    TDataSet entries{&connection};
};

TEST_F(PlaylistFileTest, WritesThreeLinesPerEntryInSequenceOrderAndNothingElse)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    const qint64 b = library.AddSong(QStringLiteral(""), QStringLiteral("D:\\Other\\"),
                                     QStringLiteral("b.mp3"), 0);
    const qint64 a = library.AddSong(QString::fromLatin1("Caf\xe9 Song"),
                                     QStringLiteral("C:\\Music\\"), QStringLiteral("a.mp3"), 245);
    SetNullDuration(b);
    library.AddEntry(list, b, 2);
    library.AddEntry(list, a, 1);
    OpenEntries(list);

    EXPECT_EQ(PlaylistFileText(entries), QByteArray("[playlist]\r\n"
                                                    "File1=C:\\Music\\a.mp3\r\n"
                                                    "Length1=245\r\n"
                                                    "Title1=Caf\xc3\xa9 Song\r\n"
                                                    "File2=D:\\Other\\b.mp3\r\n"
                                                    "Length2=\r\n"
                                                    "Title2=b\r\n"));
    // The walk leaves the cursor on the last entry.
    EXPECT_TRUE(entries.Eof());
    EXPECT_EQ(entries.RecNo(), 1);
}

// Every writer names an untagged song by its file name; the library keeps the empty tag.
TEST_F(PlaylistFileTest, SongsWithoutATitleAreWrittenWithTheirFileName)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list,
                     library.AddSong(QStringLiteral("   "), QStringLiteral("/m/"),
                                     QStringLiteral("Track 01.live.mp3"), 30),
                     1);
    library.AddEntry(list,
                     library.AddSong(QStringLiteral("Named"), QStringLiteral("/m/"),
                                     QStringLiteral("other.mp3"), 31),
                     2);
    OpenEntries(list);
    const QList<TPlaylistItem> items = PlaylistItems(entries);
    EXPECT_TRUE(PlsText(items).Text.contains("Title1=Track 01.live\r\nFile2"));
    EXPECT_TRUE(PlsText(items).Text.contains("Title2=Named\r\n"));
    const QByteArray m3u = M3uText(items, true).Text;
    EXPECT_TRUE(m3u.contains("#EXTINF:30,Track 01.live\r\n")) << m3u.toStdString();
    const QByteArray xspf = XspfText(items, QStringLiteral("L")).Text;
    EXPECT_TRUE(xspf.contains("<title>Track 01.live</title>")) << xspf.toStdString();
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT COUNT(*) FROM Playlist_DB WHERE "
                                              "ID3_Title = '   '")),
              1);
}

TEST_F(PlaylistFileTest, EmptyOrUnopenedPlaylistGivesOnlyTheHeader)
{
    EXPECT_EQ(PlaylistFileText(entries), QByteArray("[playlist]\r\n"));
    OpenEntries(library.AddPlaylist(QStringLiteral("Empty")));
    EXPECT_EQ(PlaylistFileText(entries), QByteArray("[playlist]\r\n"));
}

TEST_F(PlaylistFileTest, SaveReplacesAnExistingFileAndLeavesNoTemporaryBehind)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, library.AddSong(QStringLiteral("X")), 1);
    OpenEntries(list);
    const QString target = library.Directory() + QStringLiteral("out.pls");
    WriteAll(target, QByteArray("[playlist]\r\n") + QByteArray(5000, 'z'));
    SavePlaylistFile(entries, target);
    EXPECT_EQ(ReadAll(target), PlaylistFileText(entries));
    EXPECT_EQ(FilesIn(library.Directory()), QStringLiteral("out.pls"));
}

// Only playlist files are replaced: not the library, a folder or somebody's document.
TEST_F(PlaylistFileTest, RefusesToReplaceWhatIsNotAPlaylist)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, library.AddSong(QStringLiteral("X")), 1);
    OpenEntries(list);
    const QString document = library.Directory() + QStringLiteral("notes.txt");
    WriteAll(document, "Dear diary");
    const QByteArray libraryBytes = ReadAll(library.FileName());
    QDir().mkpath(library.Directory() + QStringLiteral("folder.pls"));
    const QString cases[] = {document, library.FileName(),
                             library.Directory() + QStringLiteral("folder.pls")};
    for (const QString &target : cases) {
        try {
            SavePlaylistFile(entries, target, library.FileName());
            ADD_FAILURE() << "replaced " << target.toStdString();
        } catch (const EInOutError &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("it is"))) << e.what();
        }
    }
    EXPECT_EQ(ReadAll(document), QByteArray("Dear diary"));
    EXPECT_EQ(ReadAll(library.FileName()), libraryBytes);
    // Other players' playlists and empty files may be replaced.
    for (const QByteArray &old : {QByteArray("\xEF\xBB\xBF#EXTM3U\n/a.mp3\n"), QByteArray(),
                                  QByteArray("<?xml version=\"1.0\"?>\n<playlist>")}) {
        WriteAll(document, old);
        SavePlaylistFile(entries, document, library.FileName());
        EXPECT_TRUE(ReadAll(document).startsWith("[playlist]"));
    }
}

// A title or name with line breaks cannot add lines of its own to the file.
TEST_F(PlaylistFileTest, LineBreaksNeverAddLines)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list,
                     library.AddSong(QStringLiteral("Evil\r\nFile1=/etc/passwd\x1b[2J"),
                                     QStringLiteral("/m/"), QStringLiteral("ok.mp3")),
                     1);
    library.AddEntry(list,
                     library.AddSong(QStringLiteral("T"), QStringLiteral("/m/"),
                                     QStringLiteral("two\nFile2=/etc/shadow.mp3")),
                     2);
    library.AddEntry(
        list,
        library.AddSong(QStringLiteral("Last"), QStringLiteral("/m/"), QStringLiteral("last.mp3")),
        3);
    OpenEntries(list);
    const QString target = library.Directory() + QStringLiteral("out.pls");
    const QStringList leftOut = SavePlaylistFile(entries, target);
    EXPECT_EQ(ReadAll(target), QByteArray("[playlist]\r\n"
                                          "File1=/m/ok.mp3\r\nLength1=0\r\n"
                                          "Title1=EvilFile1=/etc/passwd[2J\r\n"
                                          "File2=/m/last.mp3\r\nLength2=0\r\nTitle2=Last\r\n"));
    ASSERT_EQ(leftOut.size(), 1);
    EXPECT_TRUE(leftOut.first().contains(QStringLiteral("two\\nFile2")));
    EXPECT_TRUE(leftOut.first().contains(QStringLiteral("line break")));
}

// Names up to the file system's 255 bytes are written, and a link that points at nothing yet
// gets its file where it points.
TEST_F(PlaylistFileTest, LongNamesAndLinksThatPointAtNothingYetAreWritten)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, library.AddSong(QStringLiteral("X")), 1);
    OpenEntries(list);
    const QString folder = library.Directory() + QStringLiteral("long/");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList names = {QString(246, QLatin1Char('n')) + QStringLiteral(".pls"),
                               QString(251, QLatin1Char('n')) + QStringLiteral(".pls"),
                               QString(125, QChar(0xe9)) + QStringLiteral("x.pls")};
    for (const QString &name : names) {
        ASSERT_LE(name.toUtf8().size(), 255);
        SavePlaylistFile(entries, folder + name);
        EXPECT_EQ(ReadAll(folder + name), PlaylistFileText(entries)) << name.size();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);

    const QString link = library.Directory() + QStringLiteral("link.pls");
    ASSERT_TRUE(QDir().mkpath(library.Directory() + QStringLiteral("real")));
    ASSERT_EQ(symlink("real/target.pls", QFile::encodeName(link).constData()), 0);
    SavePlaylistFile(entries, link);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(library.Directory() + QStringLiteral("real/target.pls")),
              PlaylistFileText(entries));
    EXPECT_EQ(TargetName(link), library.Directory() + QStringLiteral("real/target.pls"));
}

// On a full disk the old file stays whole and the system's reason is given.
TEST_F(PlaylistFileTest, AFullDiskKeepsTheOldFile)
{
    SmallVolume volume(64);
    if (!volume.Available())
        GTEST_SKIP() << volume.Reason().toStdString();
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    for (int n = 1; n <= 10; ++n)
        library.AddEntry(list, library.AddSong(QStringLiteral("Song %1").arg(n)), n);
    OpenEntries(list);
    const QString target = volume.Folder() + QStringLiteral("keep.pls");
    const QByteArray good("[playlist]\r\nFile1=/good.mp3\r\nLength1=1\r\nTitle1=Good\r\n");
    WriteAll(target, good);
    volume.Fill();
    try {
        SavePlaylistFile(entries, target);
        ADD_FAILURE() << "a save onto a full disk succeeded";
    } catch (const EInOutError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("No space left on device"))) << e.what();
    }
    EXPECT_EQ(ReadAll(target), good);
    EXPECT_EQ(QDir(volume.Folder()).entryList(QDir::Files | QDir::Hidden).join(' '),
              QStringLiteral("filler keep.pls"));
}

TEST_F(PlaylistFileTest, FailedWriteKeepsTheExistingFileAndTellsWhy)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("Big"));
    for (int n = 1; n <= 300; ++n)
        library.AddEntry(list,
                         library.AddSong(QStringLiteral("Song %1").arg(n),
                                         QStringLiteral("/a/rather/long/folder/name/"), {}, n),
                         n);
    OpenEntries(list);
    const QString target = library.Directory() + QStringLiteral("keep.pls");
    const QByteArray good("[playlist]\r\nFile1=/good.mp3\r\nLength1=1\r\nTitle1=Good\r\n");
    WriteAll(target, good);
    QString error;
    {
        // The device fills up part-way through the file.
        FileSizeLimit limit(4096);
        try {
            SavePlaylistFile(entries, target);
        } catch (const EInOutError &e) {
            error = e.Message();
        }
    }
    EXPECT_TRUE(error.contains(QStringLiteral("keep.pls"))) << error.toStdString();
    EXPECT_GT(error.indexOf(QStringLiteral(": ")), 0);
    EXPECT_EQ(ReadAll(target), good);
    EXPECT_EQ(FilesIn(library.Directory()), QStringLiteral("keep.pls"));

    // A name that cannot be created at all.
    EXPECT_THROW(SavePlaylistFile(entries, library.Directory() + QStringLiteral("no/such.pls")),
                 EInOutError);
}

// Scripts the file choosers while it lives.
class ScriptedChooser
{
public:
    explicit ScriptedChooser(QString answer) : m_answer(std::move(answer))
    {
        FileDialogService::SetHandler([this](FileDialogService::TKind kind, const QString &) {
            ++Asked;
            EXPECT_EQ(kind, FileDialogService::TKind::SaveFile);
            return m_answer;
        });
    }
    ~ScriptedChooser() { FileDialogService::SetHandler({}); }
    int Asked = 0;

private:
    QString m_answer;
};

// Records the programs and pages the window asks to start.
class RecordedShell
{
public:
    RecordedShell()
    {
        Shell::SetHandlers(
            [this](const QString &program, const QStringList &arguments) {
                Programs.append({program, arguments});
                return ProgramStarts;
            },
            [this](const QUrl &url) {
                Urls.append(url);
                return UrlOpens;
            });
    }
    ~RecordedShell() { Shell::SetHandlers({}, {}); }
    QList<QPair<QString, QStringList>> Programs;
    QList<QUrl> Urls;
    bool ProgramStarts = true;
    bool UrlOpens = true;
};

class PlaylistFileWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        list = library.AddPlaylist(QStringLiteral("L"));
        library.AddEntry(
            list, library.AddSong(QStringLiteral("First"), QStringLiteral("/m/"), {}, 60), 1);
        library.AddEntry(
            list, library.AddSong(QStringLiteral("Second"), QStringLiteral("/m/"), {}, 61), 2);
        library.AddEntry(
            list, library.AddSong(QStringLiteral("Third"), QStringLiteral("/m/"), {}, 62), 3);
        window = StartMainWindow();
        options = std::make_unique<TfrmOptions>();
        frmOptions = options.get();
        ShowChangesIn(window.get(), options.get());
    }
    void TearDown() override
    {
        frmOptions = nullptr;
        options.reset();
        frmMain = nullptr;
        window.reset();
    }
    QByteArray Expected() const
    {
        return QByteArray("[playlist]\r\n"
                          "File1=/m/First.mp3\r\nLength1=60\r\nTitle1=First\r\n"
                          "File2=/m/Second.mp3\r\nLength2=61\r\nTitle2=Second\r\n"
                          "File3=/m/Third.mp3\r\nLength3=62\r\nTitle3=Third\r\n");
    }
    QString Temporary() const { return library.Directory() + QStringLiteral("qmtemp.pls"); }

    TestLibrary library;
    ScriptedMessages messages;
    RecordedShell shell;
    qint64 list = 0;
    TMainWindowPtr window;
    std::unique_ptr<TfrmOptions> options;
};

TEST_F(PlaylistFileWindowTest, SaveAsUsesTheNameAsEnteredKeepsTheCurrentEntryAndAsksToReplace)
{
    EXPECT_EQ(
        Child<QFileDialog>(window, "SaveDialog1")->nameFilters(),
        QStringList({"Playlist File (*.pls)", "M3U8 Playlist (*.m3u8)", "XSPF Playlist (*.xspf)"}));
    EXPECT_EQ(Child<QFileDialog>(window, "SaveDialog1")->selectedNameFilter(),
              QStringLiteral("Playlist File (*.pls)"));
    window->show();
    window->playlistSongs()->SetRecNo(1);
    const QString name = library.Directory() + QStringLiteral("mylist");
    {
        ScriptedChooser chooser(name);
        Child<QAction>(window, "SaveasPlaylist1")->trigger();
        EXPECT_EQ(chooser.Asked, 1);
    }
    EXPECT_EQ(ReadAll(name), Expected());
    EXPECT_FALSE(QFile::exists(name + QStringLiteral(".pls")));
    // Play goes on from the entry that was current.
    if (const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS"); !folder.isEmpty())
        window->grab().save(folder + QStringLiteral("/saved-as-playlist.png"));
    EXPECT_EQ(window->playlistSongs()->RecNo(), 1);
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->currentIndex().row(), 1);
    EXPECT_TRUE(messages.Texts().isEmpty());

    // An existing file is replaced only after Yes.
    const QByteArray kept("[playlist]\r\nNumberOfEntries=0\r\n");
    WriteAll(name, kept);
    messages.SetConfirmationAnswer(mrNo);
    {
        ScriptedChooser chooser(name);
        Child<QAction>(window, "SaveasPlaylist1")->trigger();
    }
    EXPECT_EQ(messages.Texts(TMessageKind::Confirmation),
              QStringList{QStringLiteral("\"") + name +
                          QStringLiteral("\" already exists.\rDo you want to replace it?")});
    EXPECT_EQ(ReadAll(name), kept);
    messages.SetConfirmationAnswer(mrYes);
    {
        ScriptedChooser chooser(name);
        Child<QAction>(window, "SaveasPlaylist1")->trigger();
    }
    EXPECT_EQ(ReadAll(name), Expected());
    messages.Clear();

    // Cancel writes nothing.
    QFile::remove(name);
    {
        ScriptedChooser chooser{QString()};
        window->SaveasPlaylist1Click();
    }
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_TRUE(messages.Texts().isEmpty());
}

// The extension typed decides the format; without one, the chosen filter does.
TEST_F(PlaylistFileWindowTest, SaveAsWritesM3u8AndXspfThroughTheSameWriters)
{
    const int current = window->playlistSongs()->RecNo();
    const QString m3u8 = library.Directory() + QStringLiteral("list.m3u8");
    {
        ScriptedChooser chooser(m3u8);
        Child<QAction>(window, "SaveasPlaylist1")->trigger();
    }
    EXPECT_EQ(ReadAll(m3u8), QByteArray("#EXTM3U\r\n"
                                        "#EXTINF:60,First\r\n/m/First.mp3\r\n"
                                        "#EXTINF:61,Second\r\n/m/Second.mp3\r\n"
                                        "#EXTINF:62,Third\r\n/m/Third.mp3\r\n"));
    EXPECT_EQ(window->playlistSongs()->RecNo(), current);

    // A name without an extension gets the chosen type's.
    Child<QFileDialog>(window, "SaveDialog1")
        ->selectNameFilter(QStringLiteral("XSPF Playlist (*.xspf)"));
    const QString bare = library.Directory() + QStringLiteral("no extension");
    {
        ScriptedChooser chooser(bare);
        Child<QAction>(window, "SaveasPlaylist1")->trigger();
    }
    EXPECT_FALSE(QFile::exists(bare));
    const QByteArray xspf = ReadAll(bare + QStringLiteral(".xspf"));
    EXPECT_TRUE(xspf.contains("<title>L</title>")) << xspf.toStdString();
    EXPECT_TRUE(xspf.contains("<location>file:///m/Second.mp3</location>")) << xspf.toStdString();
    // A typed .pls wins over the chosen filter.
    const QString pls = library.Directory() + QStringLiteral("typed.pls");
    {
        ScriptedChooser chooser(pls);
        Child<QAction>(window, "SaveasPlaylist1")->trigger();
    }
    EXPECT_EQ(ReadAll(pls), Expected());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(PlaylistFileWindowTest, RunInWinAmpStartsThePlayerWithTheFileAsOneArgument)
{
    const int current = window->playlistSongs()->RecNo();
    options->edPlayerPath->setText(QStringLiteral("/opt/My Player/bin/play it"));
    Child<QAction>(window, "RuninWinAmp1")->trigger();
    EXPECT_EQ(ReadAll(Temporary()), Expected());
    ASSERT_EQ(shell.Programs.size(), 1);
    EXPECT_EQ(shell.Programs[0].first, QStringLiteral("/opt/My Player/bin/play it"));
    EXPECT_EQ(shell.Programs[0].second, QStringList({Temporary()}));
    EXPECT_EQ(window->playlistSongs()->RecNo(), current);
    EXPECT_TRUE(messages.Texts().isEmpty());

    // The player does not start: the file stays written and the user is told.
    shell.ProgramStarts = false;
    QFile::remove(Temporary());
    window->RuninWinAmp1Click();
    EXPECT_EQ(ReadAll(Temporary()), Expected());
    EXPECT_EQ(messages.Texts(TMessageKind::Error),
              QStringList({"There was an error launching your Player."}));

    // An empty path starts nothing at all.
    messages.Clear();
    Shell::SetHandlers({}, {});
    options->edPlayerPath->clear();
    window->RuninWinAmp1Click();
    EXPECT_EQ(messages.Texts(TMessageKind::Error),
              QStringList({"There was an error launching your Player."}));
}

TEST_F(PlaylistFileWindowTest, UnwritablePlaylistFileKeepsThePlayerFromStarting)
{
    // A folder in the way of qmtemp.pls cannot be replaced by a file.
    ASSERT_TRUE(QDir().mkdir(Temporary()));
    EXPECT_THROW(window->RuninWinAmp1Click(), EInOutError);
    EXPECT_TRUE(shell.Programs.isEmpty());
    EXPECT_TRUE(QFileInfo(Temporary()).isDir());
}

TEST_F(PlaylistFileWindowTest, ReleaseNotesOpenThePageBesideTheProgram)
{
    Child<QAction>(window, "ReleaseNotes1")->trigger();
    ASSERT_EQ(shell.Urls.size(), 1);
    EXPECT_EQ(shell.Urls[0],
              QUrl::fromLocalFile(library.Directory() + QStringLiteral("Release Notes.htm")));
    EXPECT_TRUE(messages.Texts().isEmpty());

    shell.UrlOpens = false;
    window->ReleaseNotes1Click();
    EXPECT_EQ(messages.Texts(TMessageKind::Error),
              QStringList({"Error loading Internet Explorer!"}));
}

TRun RunLib(const QStringList &args)
{
    return RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY), args);
}

TEST(PlaylistFileCli, WritesTheSameFileAsTheWindow)
{
    TestLibrary library;
    const qint64 other = library.AddPlaylist(QStringLiteral("A first by name"));
    const qint64 list = library.AddPlaylist(QStringLiteral("B"));
    library.AddEntry(other, library.AddSong(QStringLiteral("Elsewhere")), 1);
    // Stored out of order, with a gap and two entries sharing a number.
    const int sequences[] = {7, 2, 5, 2, 9};
    for (int i = 0; i < 5; ++i)
        library.AddEntry(
            list, library.AddSong(QStringLiteral("S%1").arg(i), QStringLiteral("/m/"), {}, 100 + i),
            sequences[i]);

    const QString fromWindow = library.Directory() + QStringLiteral("window.pls");
    {
        ScriptedMessages messages;
        TfrmMain window;
        window.MarkActivated();
        Child<TCompletingComboBox>(&window, "ccbPlayLists")->setCurrentIndex(1);
        window.ccbPlayListsChange();
        ASSERT_EQ(window.CurrentPlaylistId(), int(list));
        window.WritePlaylistFile(fromWindow);
    }
    const QString fromCli = library.Directory() + QStringLiteral("cli.pls");
    const TRun run = RunLib({QStringLiteral("--library"), library.FileName(), QStringLiteral("pls"),
                             QString::number(list), fromCli});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    const QByteArray written = ReadAll(fromCli);
    EXPECT_EQ(written, ReadAll(fromWindow));
    EXPECT_TRUE(written.startsWith("[playlist]\r\nFile1=/m/S1.mp3\r\n")) << written.toStdString();
    EXPECT_TRUE(written.endsWith("File5=/m/S4.mp3\r\nLength5=104\r\nTitle5=S4\r\n"));

    EXPECT_EQ(RunLib({QStringLiteral("--library"), library.FileName(), QStringLiteral("pls"),
                      QStringLiteral("99"), fromCli})
                  .ExitCode,
              1);
    EXPECT_EQ(ReadAll(fromCli), written);
    EXPECT_EQ(RunLib({QStringLiteral("--library"), library.FileName(), QStringLiteral("pls"),
                      QStringLiteral("x"), fromCli})
                  .ExitCode,
              2);
    EXPECT_EQ(
        RunLib({QStringLiteral("--library"), library.FileName(), QStringLiteral("pls")}).ExitCode,
        2);
}

} // namespace
