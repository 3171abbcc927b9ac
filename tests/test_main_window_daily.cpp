// The window for daily use: seeking and the volume, keys and shortcuts, drops, what it remembers.
#include "app/UMain.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/DataSetModel.h"
#include "controls/SearchEdit.h"
#include "controls/VolumeControl.h"
#include "data/Durations.h"
#include "data/URegistry.h"
#include "dialogs/UOptions.h"
#include "platform/AudioOutput.h"
#include "platform/MediaPlayer.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestLibrary.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace
{

class DailyUseTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        frmOptions = nullptr;
        options.reset();
        TSilentOutput::SetSpeed(1.0);
        TMediaPlayer::SetSilentOnly(false);
    }
    void Start()
    {
        options = std::make_unique<TfrmOptions>();
        frmOptions = options.get();
        window = StartMainWindow();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // A playlist of silent songs whose files exist, each about frames / 38 seconds long.
    qint64 PlaylistOfSongs(int count, int frames = 40)
    {
        TMediaPlayer::SetSilentOnly(true);
        const qint64 list = library.AddPlaylist(QStringLiteral("L"));
        SilentMp3Options mp3;
        mp3.Frames = frames;
        for (int i = 1; i <= count; ++i) {
            const QString name = QStringLiteral("s%1.mp3").arg(i);
            WriteSilentMp3(library.Directory() + name, mp3);
            songs << library.AddSong(QStringLiteral("S%1").arg(i), library.Directory(), name);
            library.AddEntry(list, songs.last(), i);
        }
        return list;
    }
    TDBGrid *Grid() { return Child<TDBGrid>(window, "grdPlayList"); }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        const QRect cell = Grid()->visualRect(Grid()->model()->index(row, 0));
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, modifiers, cell.center());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}, QWidget *to = nullptr)
    {
        QTest::keyClick(to ? to : Grid(), key, modifiers);
    }
    QString Title(int row) { return Grid()->CellText(row, 1); }
    QList<int> StoredSongOrder(qint64 list)
    {
        QList<int> order;
        for (const auto &entry : library.StoredEntries(list))
            order << int(songs.indexOf(entry.first)) + 1;
        return order;
    }

    // Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
    void Screenshot(const QString &name)
    {
        const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
        if (!folder.isEmpty()) {
            EXPECT_TRUE(window->grab().save(folder + QLatin1Char('/') + name));
        }
    }

    TestLibrary library;
    ScriptedMessages messages;
    std::unique_ptr<TfrmOptions> options;
    TMainWindowPtr window;
    QList<qint64> songs;
};

// A click or a drag on the bar moves the song there; Left and Right move it by 5 s; bar, label
// and the player's position agree.
TEST_F(DailyUseTest, TheProgressBarAndTheArrowKeysSeekWhereTheyPoint)
{
    PlaylistOfSongs(1, 1200); // about 31 seconds
    Start();
    QProgressBar *bar = Child<QProgressBar>(window, "pbSongProgress");
    Key(Qt::Key_Return);
    ASSERT_EQ(window->playState(), psPlaying);
    Key(Qt::Key_Space);
    ASSERT_EQ(window->playState(), psPaused);
    const qint64 length = window->mediaPlayer()->Length();
    ASSERT_GT(length, 30000);

    const auto expectAt = [&](qint64 ms, const char *after) {
        EXPECT_NEAR(window->mediaPlayer()->Position(), ms, 30) << after;
        EXPECT_EQ(bar->value(), window->mediaPlayer()->Position()) << after;
        EXPECT_EQ(Child<QLabel>(window, "lblDuration")->text(), FormatMilliseconds(bar->value()))
            << after;
    };
    const QPoint middle(bar->width() / 2, bar->height() / 2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, middle);
    const qint64 half = qint64(bar->maximum()) * middle.x() / (bar->width() - 1);
    expectAt(half, "a click in the middle");
    Screenshot(QStringLiteral("progress-bar-after-a-click.png"));

    Key(Qt::Key_Right);
    expectAt(half + 5000, "Right");
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    expectAt(half - 5000, "Left twice");

    // A drag follows the mouse and stops at the ends.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, middle.y()));
    QMouseEvent drag(QEvent::MouseMove, QPointF(bar->width() + 40, middle.y()),
                     bar->mapToGlobal(QPointF(bar->width() + 40, middle.y())), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &drag);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() - 1, middle.y()));
    expectAt(bar->maximum(), "a drag past the end");
    EXPECT_EQ(window->playState(), psPaused);

    // Resumed near the end, the song ends as usual and the bar comes back.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 2, middle.y()));
    Key(Qt::Key_Space);
    EXPECT_EQ(window->playState(), psPlaying);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playState() == psIdle; }, 5000));
    EXPECT_EQ(bar->value(), 0);
    // Stopped, a click moves nothing.
    QTest::mouseClick(bar, Qt::LeftButton, {}, middle);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('\n').toStdString();
}

TEST_F(DailyUseTest, TheVolumeReachesThePlayerAndIsRememberedForTheNextStart)
{
    PlaylistOfSongs(1);
    Start();
    TVolumeControl *volume = window->findChild<TVolumeControl *>(QStringLiteral("tbVolume"));
    ASSERT_NE(volume, nullptr);
    EXPECT_TRUE(volume->isVisible());
    EXPECT_DOUBLE_EQ(window->mediaPlayer()->Volume(), 1.0);
    // The wheel turns it down, step by step.
    const QPoint centre = volume->rect().center();
    QWheelEvent wheel(centre, volume->mapToGlobal(centre), {}, QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(volume, &wheel);
    const int turned = volume->value();
    EXPECT_LT(turned, 100);
    EXPECT_DOUBLE_EQ(window->mediaPlayer()->Volume(), turned / 100.0);
    Key(Qt::Key_Return);
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_DOUBLE_EQ(window->mediaPlayer()->Volume(), turned / 100.0);

    window.reset();
    frmMain = nullptr;
    Start();
    volume = window->findChild<TVolumeControl *>(QStringLiteral("tbVolume"));
    EXPECT_EQ(volume->value(), turned);
    EXPECT_DOUBLE_EQ(window->mediaPlayer()->Volume(), turned / 100.0);
}

TEST_F(DailyUseTest, EnterSpaceDeleteAndAltArrowsWorkInThePlaylist)
{
    const qint64 list = PlaylistOfSongs(5);
    TSilentOutput::SetSpeed(0.25); // nothing ends while the keys are tried
    Start();
    ClickRow(1);
    Key(Qt::Key_Return);
    EXPECT_EQ(window->playState(), psPlaying);
    EXPECT_EQ(window->playingSequence(), 2);
    Key(Qt::Key_Space);
    EXPECT_EQ(window->playState(), psPaused);
    Key(Qt::Key_Space);
    EXPECT_EQ(window->playState(), psPlaying);

    // Alt+Down twice moves the playing entry two places down, stored at once; it stays marked.
    Key(Qt::Key_Down, Qt::AltModifier);
    Key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(StoredSongOrder(list), QList<int>({1, 3, 4, 2, 5}));
    EXPECT_EQ(Title(3), QStringLiteral("S2"));
    EXPECT_EQ(window->playlistSongs()->RecNo(), 3);
    EXPECT_EQ(window->playingSequence(), 4);
    Screenshot(QStringLiteral("reordered-playlist.png"));
    // Two entries selected move together; at the top they stay.
    ClickRow(0);
    ClickRow(1, Qt::ShiftModifier);
    Key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(StoredSongOrder(list), QList<int>({4, 1, 3, 2, 5}));
    EXPECT_EQ(Grid()->SelectedRows(), QList<int>({1, 2}));
    Key(Qt::Key_Up, Qt::AltModifier);
    Key(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(StoredSongOrder(list), QList<int>({1, 3, 4, 2, 5}));
    EXPECT_EQ(window->playingSequence(), 4);

    // Delete with two selected asks, and removes both; No keeps them.
    messages.SetConfirmationAnswer(mrNo);
    Key(Qt::Key_Delete);
    EXPECT_EQ(library.StoredEntries(list).size(), 5);
    messages.SetConfirmationAnswer(mrYes);
    Key(Qt::Key_Delete);
    EXPECT_EQ(StoredSongOrder(list), QList<int>({4, 2, 5}));
    EXPECT_EQ(messages.Texts(), QStringList(2, QStringLiteral("Delete all selected records?")));
    EXPECT_EQ(window->playingSequence(), 2);
    // End and Home go to the last and first rows.
    Key(Qt::Key_End);
    EXPECT_EQ(window->playlistSongs()->RecNo(), 2);
    Key(Qt::Key_Home);
    EXPECT_EQ(window->playlistSongs()->RecNo(), 0);
    window->btnStopClick();
}

TEST_F(DailyUseTest, MenusShowTheirShortcutsAndTabAndCtrlFReachTheLists)
{
    PlaylistOfSongs(2);
    WriteSetting(QuillmereKeyPath, QStringLiteral("Imported"), QStringLiteral("Y"), false);
    Start();
    const auto shortcut = [&](const char *name) {
        QAction *action = window->findChild<QAction *>(QLatin1String(name));
        return action ? action->shortcut().toString() : QStringLiteral("missing");
    };
    EXPECT_EQ(shortcut("ImportSongs1"), QStringLiteral("Ctrl+I"));
    EXPECT_EQ(shortcut("SaveasPlaylist1"), QStringLiteral("Ctrl+S"));
    EXPECT_EQ(shortcut("NewPlaylist1"), QStringLiteral("Ctrl+N"));
    EXPECT_EQ(shortcut("Properties1"), QStringLiteral("Ctrl+P"));
    EXPECT_EQ(shortcut("Play1"), QStringLiteral("Return"));
    EXPECT_EQ(shortcut("Removefromlist1"), QStringLiteral("Del"));

    window->activateWindow();
    Child<TCompletingComboBox>(window, "ccbPlayLists")->setFocus();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Child<TCompletingComboBox>(window, "ccbPlayLists")->hasFocus(); }, 2000));
    // Ctrl+F with the songs hidden has no box to go to.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(Child<TCompletingComboBox>(window, "ccbPlayLists")->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(Grid()->hasFocus());
    window->btnToggleAvailableSongsClick();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(Child<TSearchEdit>(window, "edSearch")->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(Child<TDBGrid>(window, "grdAvailableSongs")->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(Child<TSearchEdit>(window, "edSearch")->hasFocus());
}

// Closed and started again, the window opens as it was left, and the Options keep their values.
TEST_F(DailyUseTest, TheWindowOpensAsItWasLeftAfterARealRestart)
{
    PlaylistOfSongs(3);
    const qint64 other = library.AddPlaylist(QStringLiteral("M"));
    library.AddEntry(other, songs[2], 1);
    Start();
    EXPECT_EQ(window->width(), 208); // the first start as always
    EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());

    window->btnToggleAvailableSongsClick();
    window->resize(640, 480);
    QTest::qWait(0);
    Child<TDBGrid>(window, "grdPlayList")->setColumnWidth(1, 150);
    Child<QAction>(window, "ShowDurations2")->trigger();
    Child<QAction>(window, "ShowPaths1")->trigger();
    Child<TDBGrid>(window, "grdAvailableSongs")->setColumnWidth(0, 90);
    Child<TCompletingComboBox>(window, "ccbPlayLists")
        ->setCurrentIndex(Child<TCompletingComboBox>(window, "ccbPlayLists")
                              ->findText(QStringLiteral("[%1] - M").arg(other)));
    window->ccbPlayListsChange();
    QTest::mouseClick(options->cbLoopPlayList, Qt::LeftButton, {}, QPoint(6, 6));
    options->edPlayerPath->setText(QStringLiteral("/usr/bin/true"));
    ASSERT_TRUE(options->cbLoopPlayList->isChecked());
    const int availableWidth = Child<QWidget>(window, "pnlAvailableSongs")->width();

    window->close();
    window.reset();
    frmMain = nullptr;
    frmOptions = nullptr;
    options.reset();
    Start();

    EXPECT_EQ(window->size(), QSize(640, 480));
    EXPECT_FALSE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    EXPECT_EQ(Child<QWidget>(window, "pnlAvailableSongs")->width(), availableWidth);
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->columnWidth(1), 150);
    EXPECT_FALSE(Child<TDBGrid>(window, "grdPlayList")->ColumnVisible(2)); // Duration
    EXPECT_FALSE(Child<QAction>(window, "ShowDurations2")->isChecked());
    const int paths = window->FindColumnByField(Child<TDBGrid>(window, "grdAvailableSongs"),
                                                QStringLiteral("Path"));
    EXPECT_TRUE(Child<TDBGrid>(window, "grdAvailableSongs")->ColumnVisible(paths));
    EXPECT_TRUE(Child<QAction>(window, "ShowPaths1")->isChecked());
    EXPECT_EQ(Child<TDBGrid>(window, "grdAvailableSongs")->columnWidth(0), 90);
    EXPECT_EQ(window->CurrentPlaylistId(), other);
    EXPECT_EQ(window->playlistSongs()->RecordCount(), 1);
    EXPECT_TRUE(options->cbLoopPlayList->isChecked());
    EXPECT_EQ(options->edPlayerPath->text(), QStringLiteral("/usr/bin/true"));
    Screenshot(QStringLiteral("window-restored-after-a-restart.png"));
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('\n').toStdString();
}

// Songs dragged from the available songs or within the playlist, and files from a file manager,
// through the grids' own drop handling with real data.
TEST_F(DailyUseTest, SongsAndFilesDroppedOnThePlaylistLandWhereDropped)
{
    const qint64 list = PlaylistOfSongs(3);
    Start();
    TDataSetModel &available = Child<TDBGrid>(window, "grdAvailableSongs")->Model();
    TDataSetModel &playList = Grid()->Model();
    const auto dropOn = [&](TDataSetModel &model, QMimeData *data, int row) {
        ASSERT_NE(data, nullptr);
        const int before = int(library.StoredEntries(list).size());
        EXPECT_TRUE(model.dropMimeData(data, Qt::CopyAction, row, 0, {}));
        delete data;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return int(library.StoredEntries(list).size()) != before; }, 5000));
    };

    // Song S3 (the available songs stand by title) dropped before the second entry.
    std::unique_ptr<QMimeData> dragged(available.mimeData({available.index(2, 0)}));
    ASSERT_TRUE(dragged->hasUrls());
    EXPECT_EQ(dragged->urls().value(0).toLocalFile(), library.Directory() + "s3.mp3");
    dropOn(playList, available.mimeData({available.index(2, 0)}), 1);
    EXPECT_EQ(StoredSongOrder(list), QList<int>({1, 3, 2, 3}));
    EXPECT_EQ(Title(1), QStringLiteral("S3"));
    EXPECT_EQ(Grid()->SelectedRows(), QList<int>({1}));

    // The playlist's own entries 3 and 4 dragged to the top: moved, not copied.
    std::unique_ptr<QMimeData> entries(
        playList.mimeData({playList.index(2, 0), playList.index(3, 1)}));
    const int before = int(library.StoredEntries(list).size());
    EXPECT_TRUE(playList.dropMimeData(entries.get(), Qt::CopyAction, 0, 0, {}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return StoredSongOrder(list) == QList<int>({2, 3, 1, 3});
        },
        2000))
        << library.StoredEntries(list).size();
    EXPECT_EQ(int(library.StoredEntries(list).size()), before);
    Screenshot(QStringLiteral("playlist-after-a-drop.png"));

    // A folder and a file from a file manager: imported with the import's report, added at the
    // end of the playlist (dropped below the rows).
    QTemporaryDir outside;
    SilentMp3Options mp3;
    QDir().mkpath(outside.filePath(QStringLiteral("album")));
    WriteSilentMp3(outside.filePath(QStringLiteral("album/b.mp3")), mp3);
    WriteSilentMp3(outside.filePath(QStringLiteral("album/a.mp3")), mp3);
    WriteSilentMp3(outside.filePath(QStringLiteral("single.mp3")), mp3);
    auto *files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(outside.filePath(QStringLiteral("single.mp3"))),
                    QUrl::fromLocalFile(outside.filePath(QStringLiteral("album")))});
    dropOn(playList, files, -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return library.StoredEntries(list).size() == 7; }, 2000));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 6);
    EXPECT_EQ(Grid()->CellText(4, 1), QStringLiteral("single"));
    EXPECT_EQ(Grid()->CellText(5, 1), QStringLiteral("a"));
    EXPECT_EQ(Grid()->CellText(6, 1), QStringLiteral("b"));
    EXPECT_EQ(messages.Texts(), QStringList({QStringLiteral("Imported 3 files successfully!")}));
    // Known songs dropped again are added without a report.
    messages.Clear();
    auto *again = new QMimeData;
    again->setUrls({QUrl::fromLocalFile(outside.filePath(QStringLiteral("single.mp3")))});
    dropOn(playList, again, 0);
    EXPECT_EQ(library.StoredEntries(list).size(), 8);
    EXPECT_EQ(Title(0), QStringLiteral("single"));
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(DailyUseTest, APlaylistFileDroppedBecomesAPlaylist)
{
    PlaylistOfSongs(2);
    Start();
    QTemporaryDir outside;
    const QString m3u = outside.filePath(QStringLiteral("Road Trip.m3u8"));
    QFile file(m3u);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("#EXTM3U\n" + library.Directory() + "s2.mp3\n" + library.Directory() +
                "s1.mp3\n/nowhere/gone.mp3\n")
                   .toUtf8());
    file.close();
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m3u)});
    EXPECT_TRUE(Child<TDBGrid>(window, "grdAvailableSongs")
                    ->Model()
                    .dropMimeData(data, Qt::CopyAction, -1, 0, {}));
    delete data;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Child<TCompletingComboBox>(window, "ccbPlayLists")
                ->currentText()
                .endsWith(QStringLiteral("Road Trip"));
        },
        2000));
    EXPECT_EQ(window->playlistSongs()->RecordCount(), 2);
    EXPECT_EQ(Title(0), QStringLiteral("S2"));
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_TRUE(messages.Texts().first().contains(QStringLiteral("gone.mp3")));
}

// A drag over the playlist shows where the songs would land (a picture, when asked for).
TEST_F(DailyUseTest, ScreenshotOfADragInProgress)
{
    if (qEnvironmentVariableIsEmpty("QUILLMERE_SCREENSHOTS"))
        GTEST_SKIP() << "QUILLMERE_SCREENSHOTS not set";
    PlaylistOfSongs(4);
    WriteSetting(QuillmereKeyPath, QStringLiteral("Imported"), QStringLiteral("Y"), false);
    Start();
    window->btnToggleAvailableSongsClick();
    TDataSetModel &available = Child<TDBGrid>(window, "grdAvailableSongs")->Model();
    std::unique_ptr<QMimeData> data(available.mimeData({available.index(3, 0)}));
    QWidget *viewport = Grid()->viewport();
    const QRect second = Grid()->visualRect(Grid()->model()->index(1, 0));
    const QPoint at(second.center().x(), second.top() + 1);
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_TRUE(move.isAccepted());
    viewport->repaint();
    Screenshot(QStringLiteral("drag-in-progress.png"));
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
}

} // namespace
