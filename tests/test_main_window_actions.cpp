// The main window driven through its real buttons, keys and menu items.
#include "app/UExport.h"
#include "app/UMain.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "data/PlaylistEntries.h"
#include "dialogs/FileDialogService.h"
#include "dialogs/UOptions.h"
#include "dialogs/UProperties.h"
#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "platform/Shell.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ModelComplaints.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace
{

class WindowActionsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        frmOptions = nullptr;
        FileDialogService::SetHandler({});
        Shell::SetHandlers({}, {});
        TSilentOutput::SetSpeed(1.0);
        TMediaPlayer::SetSilentOnly(false);
    }
    void Start(bool shown = true)
    {
        options = std::make_unique<TfrmOptions>();
        frmOptions = options.get();
        window = StartMainWindow();
        if (shown) {
            window->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
    }
    // A playlist of silent songs whose files exist.
    qint64 PlaylistOfSongs(int count)
    {
        TMediaPlayer::SetSilentOnly(true);
        TSilentOutput::SetSpeed(4.0);
        const qint64 list = library.AddPlaylist(QStringLiteral("L"));
        SilentMp3Options mp3;
        mp3.Frames = 40;
        for (int i = 1; i <= count; ++i) {
            const QString name = QStringLiteral("s%1.mp3").arg(i);
            WriteSilentMp3(library.Directory() + name, mp3);
            library.AddEntry(
                list, library.AddSong(QStringLiteral("S%1").arg(i), library.Directory(), name), i);
        }
        return list;
    }
    TDBGrid *Grid() { return Child<TDBGrid>(window, "grdPlayList"); }
    int RecNo() { return window->playlistSongs()->RecNo(); }
    void ClickRow(TDBGrid *grid, int row)
    {
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        ASSERT_FALSE(cell.isEmpty()) << "row " << row;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }
    void Click(QToolButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
    // The grid highlights exactly the view's current row, and its cursor stands there.
    void ExpectHighlightIsCurrent(const char *after)
    {
        EXPECT_EQ(Grid()->SelectedRows(), QList<int>({RecNo()})) << "after " << after;
        EXPECT_EQ(Grid()->currentIndex().row(), RecNo()) << "after " << after;
    }
    QString CurrentTitle()
    {
        return window->playlistSongs()->AsString(QStringLiteral("ID3_Title"));
    }

    TestLibrary library;
    ScriptedMessages messages;
    std::unique_ptr<TfrmOptions> options;
    TMainWindowPtr window;
};

TEST_F(WindowActionsTest, TheHighlightedRowIsTheCurrentRowAfterEveryAction)
{
    PlaylistOfSongs(4);
    Start();
    ExpectHighlightIsCurrent("opening");

    ClickRow(Grid(), 2);
    EXPECT_EQ(RecNo(), 2);
    ExpectHighlightIsCurrent("a click on a row");

    Click(Child<QToolButton>(window, "btnNext"));
    EXPECT_EQ(RecNo(), 3);
    ExpectHighlightIsCurrent("Next");
    Click(Child<QToolButton>(window, "btnStop"));

    // The end of a song moves on to the next entry.
    ClickRow(Grid(), 0);
    Click(Child<QToolButton>(window, "btnPlay"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return CurrentTitle() == QStringLiteral("S2") && window->playState() == psPlaying; },
        5000));
    ExpectHighlightIsCurrent("the end of a song");
    Click(Child<QToolButton>(window, "btnStop"));

    // Writing the playlist file walks the entries and comes back to the current one.
    FileDialogService::SetHandler([this](FileDialogService::TKind, const QString &) {
        return library.Directory() + QStringLiteral("saved.pls");
    });
    ClickRow(Grid(), 1);
    Child<QAction>(window, "SaveasPlaylist1")->trigger();
    EXPECT_EQ(RecNo(), 1);
    ExpectHighlightIsCurrent("Save as Playlist");

    int started = 0;
    Shell::SetHandlers([&](const QString &, const QStringList &) { return ++started, true; },
                       [](const QUrl &) { return true; });
    ClickRow(Grid(), 0);
    Child<QAction>(window, "RuninWinAmp1")->trigger();
    EXPECT_EQ(started, 1);
    EXPECT_EQ(RecNo(), 0);
    ExpectHighlightIsCurrent("Run in WinAmp");

    // Delete moves to the entry that followed, and at the end to the new last one.
    ClickRow(Grid(), 1);
    QTest::keyClick(Grid(), Qt::Key_Delete);
    EXPECT_EQ(CurrentTitle(), QStringLiteral("S3"));
    ExpectHighlightIsCurrent("the Delete key");
    ClickRow(Grid(), 2);
    Child<QAction>(window, "Removefromlist1")->trigger();
    EXPECT_EQ(RecNo(), 1);
    ExpectHighlightIsCurrent("Delete song");
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('\n').toStdString();
}

TEST_F(WindowActionsTest, AMoveOfTheViewTakesTheHighlightAlongFromSeveralRows)
{
    PlaylistOfSongs(4);
    Start();
    ClickRow(Grid(), 1);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      Grid()->visualRect(Grid()->model()->index(3, 0)).center());
    EXPECT_EQ(Grid()->SelectedRows(), QList<int>({1, 3}));
    EXPECT_EQ(RecNo(), 3);
    Click(Child<QToolButton>(window, "btnPrevious"));
    EXPECT_EQ(RecNo(), 2);
    ExpectHighlightIsCurrent("Previous");
    Click(Child<QToolButton>(window, "btnStop"));
}

TEST_F(WindowActionsTest, TheGridModelsStayConsistentThroughOpenAddRemoveAndClose)
{
    const qint64 list = PlaylistOfSongs(3);
    library.AddPlaylist(QStringLiteral("M"));
    ModelComplaints complaints;
    Start();
    QAbstractItemModelTester playlist(&Grid()->Model(),
                                      QAbstractItemModelTester::FailureReportingMode::Warning);
    QAbstractItemModelTester available(&Child<TDBGrid>(window, "grdAvailableSongs")->Model(),
                                       QAbstractItemModelTester::FailureReportingMode::Warning);
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));

    // Reopen: the other playlist and back, chosen with the arrow keys.
    EXPECT_EQ(window->CurrentPlaylistId(), int(list));
    QTest::keyClick(Child<TCompletingComboBox>(window, "ccbPlayLists"), Qt::Key_Down);
    EXPECT_NE(window->CurrentPlaylistId(), int(list));
    EXPECT_EQ(Grid()->model()->rowCount(), 0);
    QTest::keyClick(Child<TCompletingComboBox>(window, "ccbPlayLists"), Qt::Key_Up);
    EXPECT_EQ(window->CurrentPlaylistId(), int(list));
    ASSERT_EQ(Grid()->model()->rowCount(), 3);

    QTest::keyClick(Child<TDBGrid>(window, "grdAvailableSongs"), Qt::Key_A, Qt::ControlModifier);
    Click(Child<QToolButton>(window, "btnAddSongs"));
    EXPECT_EQ(Grid()->model()->rowCount(), 6);
    ClickRow(Grid(), 4);
    QTest::keyClick(Grid(), Qt::Key_Delete);
    EXPECT_EQ(Grid()->model()->rowCount(), 5);
    ExpectHighlightIsCurrent("the Delete key");

    messages.SetConfirmationAnswer(mrYes);
    Child<QAction>(window, "DeletethisPlaylist1")->trigger();
    Child<QAction>(window, "DeletethisPlaylist1")->trigger();
    EXPECT_EQ(Grid()->model()->rowCount(), 0);
    window->close();
    EXPECT_EQ(Child<TDBGrid>(window, "grdAvailableSongs")->model()->rowCount(), 0);
    EXPECT_TRUE(ModelComplaints::Shown.isEmpty())
        << ModelComplaints::Shown.join('\n').toStdString();
}

TEST_F(WindowActionsTest, AHandlerThatRaisesShowsOneErrorBoxAndTheWindowGoesOn)
{
    library.AddSong(QStringLiteral("Lonely"));
    Start();
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    ClickRow(Child<TDBGrid>(window, "grdAvailableSongs"), 0);
    // No playlist exists to add the song to.
    Click(Child<QToolButton>(window, "btnAddSongs"));
    EXPECT_EQ(messages.Texts(), QStringList({"There is no playlist to add the songs to."}));
    EXPECT_FALSE(Child<QToolButton>(window, "btnAddSongs")->isDown());
    Click(Child<QToolButton>(window, "btnAddSongs"));
    EXPECT_EQ(messages.Texts().size(), 2);
    EXPECT_EQ(messages.Texts(TMessageKind::Error).size(), 2);
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowActionsTest, HidingThePanelOfAShownWindowGivesTheDesignedWidth)
{
    Start();
    // Each press is followed by the layout work it posts, which sets the window's minimum.
    auto press = [this](QToolButton *button) {
        Click(button);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    };
    EXPECT_EQ(window->width(), 208);
    press(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    EXPECT_EQ(window->width(), 408);
    EXPECT_FALSE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    press(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    EXPECT_EQ(window->width(), 208);
    EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    Child<QAction>(window, "oggleAvailableSongs1")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    window->resize(500, window->height());
    Child<QAction>(window, "oggleAvailableSongs1")->trigger();
    EXPECT_EQ(window->width(), 208);
}

TEST_F(WindowActionsTest, AnEmptyLibraryShowsInItsGridsWhereToBegin)
{
    Start();
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    ASSERT_FALSE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    const QString hint = Child<TDBGrid>(window, "grdAvailableSongs")->EmptyText();
    EXPECT_TRUE(hint.contains(QStringLiteral("File > Import Music..."))) << hint.toStdString();
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->EmptyText(), hint);
    // Drawn in the grid's sky blue, where there are no rows.
    const QImage shown = Child<TDBGrid>(window, "grdAvailableSongs")->viewport()->grab().toImage();
    int inked = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            inked += shown.pixelColor(x, y).blue() > 120 ? 1 : 0;
    EXPECT_GT(inked, 100);
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window->grab().save(folder + QStringLiteral("/empty-library.png"));

    // Once the library holds a song, the hint goes.
    library.AddSong(QStringLiteral("First"));
    window->SongsImported();
    EXPECT_TRUE(Child<TDBGrid>(window, "grdAvailableSongs")->EmptyText().isEmpty());
    EXPECT_TRUE(Child<TDBGrid>(window, "grdPlayList")->EmptyText().isEmpty());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

// As a user meets it: the window takes in all the work each click posts before the next.
TEST_F(WindowActionsTest, HidingThePanelAfterTheWindowSettledGivesTheDesignedWidth)
{
    for (int i = 0; i < 60; ++i)
        library.AddSong(QStringLiteral("A long title to widen a %1").arg(i));
    Start();
    for (int round = 0; round < 3; ++round) {
        Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
        QCoreApplication::processEvents();
        EXPECT_EQ(window->width(), 408);
        EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isVisible());
        if (round == 1) { // the user widens the window, and the splitter moves
            window->resize(700, window->height());
            QCoreApplication::processEvents();
            Child<QSplitter>(window, "Splitter1")->setSizes({150, 550});
            QCoreApplication::processEvents();
        }
        if (round == 2)
            Child<TDBGrid>(window, "grdAvailableSongs")->resizeColumnsToContents();
        Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
        QCoreApplication::processEvents();
        EXPECT_EQ(window->width(), 208) << "round " << round;
        EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    }
    if (const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS"); !folder.isEmpty())
        window->grab().save(folder + QStringLiteral("/panel-hidden.png"));
}

TEST_F(WindowActionsTest, AddsAThousandSelectedSongsWithTheButton)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("Big"));
    library.Exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
        "INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, ID3_Title, ID3_Genre) "
        "SELECT '/m/', printf('s%04d.mp3', i), i, 1, printf('Song %04d', i), 255 FROM n"));
    Start();
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    QTest::keyClick(Child<TDBGrid>(window, "grdAvailableSongs"), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(Child<TDBGrid>(window, "grdAvailableSongs")->SelectedRows().size(), 1000);
    Click(Child<QToolButton>(window, "btnAddSongs"));
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('\n').toStdString();
    const auto stored = library.StoredEntries(list);
    ASSERT_EQ(stored.size(), 1000);
    for (int i = 0; i < stored.size(); ++i) {
        ASSERT_EQ(stored[i].first, i + 1);
        ASSERT_EQ(stored[i].second, i + 1);
    }
    EXPECT_EQ(Grid()->model()->rowCount(), 1000);
    EXPECT_EQ(RecNo(), 999);
    ExpectHighlightIsCurrent("adding songs");
    // The available songs keep their selection.
    EXPECT_EQ(Child<TDBGrid>(window, "grdAvailableSongs")->SelectedRows().size(), 1000);
}

// Another program changes the shown playlist meanwhile: the window's add and delete store their
// own change only, and the view shows the stored entries afterwards.
TEST_F(WindowActionsTest, AddAndDeleteKeepWhatAnotherProgramStoredMeanwhile)
{
    const qint64 list = PlaylistOfSongs(3);
    const qint64 theirs = library.AddSong(QStringLiteral("Theirs"));
    const qint64 mine = library.AddSong(QStringLiteral("Mine"));
    Start();
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    TConnection other;
    other.ConnectionString = library.ConnectionString();
    other.Open();
    AppendPlaylistEntries(other, int(list), {theirs, theirs});

    ASSERT_TRUE(window->availableSongs()->Locate(QStringLiteral("Row_ID"), mine));
    ClickRow(Child<TDBGrid>(window, "grdAvailableSongs"), window->availableSongs()->RecNo());
    Click(Child<QToolButton>(window, "btnAddSongs"));
    using Entries = QList<QPair<qint64, int>>;
    EXPECT_EQ(library.StoredEntries(list),
              (Entries{{1, 1}, {2, 2}, {3, 3}, {theirs, 4}, {theirs, 5}, {mine, 6}}));
    EXPECT_EQ(Grid()->model()->rowCount(), 6);
    EXPECT_EQ(CurrentTitle(), QStringLiteral("Mine"));
    ExpectHighlightIsCurrent("adding beside another program");

    RemovePlaylistEntries(other, int(list), {4});
    ClickRow(Grid(), 1);
    QTest::keyClick(Grid(), Qt::Key_Delete);
    EXPECT_EQ(library.StoredEntries(list), (Entries{{1, 1}, {3, 2}, {theirs, 3}, {mine, 4}}));
    EXPECT_EQ(Grid()->model()->rowCount(), 4);
    EXPECT_EQ(CurrentTitle(), QStringLiteral("S3"));
    ExpectHighlightIsCurrent("deleting beside another program");
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('\n').toStdString();
}

// With QUILLMERE_SCREENSHOTS naming a folder, and a real display, saves pictures of the main
// window playing, after Next, the export with its closing message and the properties dialog
// after Save, for a look by eye.
TEST_F(WindowActionsTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "QUILLMERE_SCREENSHOTS not set";
    MessageService::SetHandler({});
    auto screen = [&](const QString &name) {
        QCoreApplication::processEvents();
        QGuiApplication::primaryScreen()->grabWindow(0).save(folder + "/" + name + ".png");
    };
    TMediaPlayer::SetSilentOnly(true);
    const qint64 list = library.AddPlaylist(QStringLiteral("Road trip"));
    SilentMp3Options mp3;
    mp3.Frames = 2000;
    const QStringList titles = {"Blue in Green", "So What", "Hey Joe",     "Teardrop",
                                "Long Jam",      "Angel",   "Windowlicker"};
    for (int i = 0; i < titles.size(); ++i) {
        const QString name = QStringLiteral("song%1.mp3").arg(i);
        WriteSilentMp3(library.Directory() + name, mp3);
        const qint64 song = library.AddSong(titles[i], library.Directory(), name, 52 + 30 * i,
                                            i % 3 ? 17 : 8, QStringLiteral("Artist %1").arg(i));
        if (i < 5)
            library.AddEntry(list, song, i + 1);
    }
    TfrmProperties properties;
    frmProperties = &properties;
    Start();
    window->move(40, 40);
    Click(Child<QToolButton>(window, "btnToggleAvailableSongs"));
    ClickRow(Child<TDBGrid>(window, "grdAvailableSongs"), 2);
    ClickRow(Grid(), 1);
    Click(Child<QToolButton>(window, "btnPlay"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return Child<QProgressBar>(window, "pbSongProgress")->value() > 1500; }, 5000));
    screen(QStringLiteral("1-main-playing"));
    Click(Child<QToolButton>(window, "btnNext"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return Child<QProgressBar>(window, "pbSongProgress")->value() > 1500; }, 5000));
    screen(QStringLiteral("2-after-next"));
    Click(Child<QToolButton>(window, "btnStop"));

    QTemporaryDir device;
    WriteAll(device.filePath(QStringLiteral("song1.mp3")), "already there");
    ClickRow(Grid(), 0);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      Grid()->visualRect(Grid()->model()->index(2, 0)).center());
    QTimer poll;
    poll.setInterval(50);
    int step = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<TfrmExport *>(modal); dialog && step == 0) {
            dialog->edMappedDrive->setText(device.path() + "/");
            screen(QStringLiteral("3-export-dialog"));
            ++step;
            QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal); box && step == 1) {
            screen(QStringLiteral("4-export-closing"));
            ++step;
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    poll.start();
    Child<QAction>(window, "Exportplaylist1")->trigger();
    poll.stop();
    EXPECT_EQ(step, 2);

    ClickRow(Grid(), 1);
    QTimer::singleShot(0, &properties, [&] {
        if (!QTest::qWaitForWindowExposed(&properties))
            ADD_FAILURE() << "the properties never showed";
        properties.edTitle->setText(QStringLiteral("So What (live)"));
        properties.edArtist->setText(QStringLiteral("Miles Davis"));
        QTest::mouseClick(properties.btnSave, Qt::LeftButton);
        screen(QStringLiteral("5-properties-after-save"));
        QTest::mouseClick(properties.btnOK, Qt::LeftButton);
    });
    Child<QAction>(window, "Properties1")->trigger();
    frmProperties = nullptr;
    frmExport = nullptr; // went with the window
}

} // namespace
