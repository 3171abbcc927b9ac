#include "app/Forms.h"
#include "app/UMain.h"
#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "data/ProgramDirectory.h"
#include "data/URegistry.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace
{

using Entries = QList<QPair<qint64, int>>;

// A library with songs, and the main window created over it.
class MainWindowTest : public ::testing::Test
{
protected:
    void Start() { window = StartMainWindow(); }
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
    }
    // Titles of the playlist grid's rows with their numbers, as shown.
    QStringList Shown()
    {
        QStringList rows;
        TDataSet *q = window->playlistSongs();
        for (int row = 0; row < q->RecordCount(); ++row)
            rows << QStringLiteral("%1 %2").arg(
                q->DisplayText(row, q->FieldIndex(QStringLiteral("Sequence"))),
                q->DisplayText(row, q->FieldIndex(QStringLiteral("ID3_Title"))));
        return rows;
    }
    void SelectAvailable(const QList<int> &rowsInClickOrder)
    {
        auto *selection = Child<TDBGrid>(window, "grdAvailableSongs")->selectionModel();
        selection->clearSelection();
        for (int row : rowsInClickOrder)
            selection->select(Child<TDBGrid>(window, "grdAvailableSongs")->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void Choose(int index)
    {
        Child<TCompletingComboBox>(window, "ccbPlayLists")->setCurrentIndex(index);
        window->ccbPlayListsChange();
    }

    TestLibrary library;
    ScriptedMessages messages;
    TMainWindowPtr window;
};

TEST_F(MainWindowTest, HasTheProgramIconAndOpensTheLibraryBesideAPortableProgram)
{
    Start();
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)));
    EXPECT_TRUE(window->libraryLocation().Portable);
    EXPECT_EQ(window->library().LibraryAddress(), library.FileName());
    EXPECT_EQ(window->libraryLocation().TemporaryPlaylist,
              library.Directory() + QStringLiteral("qmtemp.pls"));
}

TEST_F(MainWindowTest, StartsWithTheFirstPlaylistByNameAndTheDesignedColumns)
{
    const qint64 w = library.AddSong(QStringLiteral("W"));
    const qint64 b = library.AddPlaylist(QStringLiteral("B list"));
    library.AddPlaylist(QStringLiteral("A list"));
    library.AddEntry(b, w, 1);
    Start();
    ASSERT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->count(), 2);
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(),
              QStringLiteral("[2] - A list"));
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->itemText(1),
              QStringLiteral("[1] - B list"));
    EXPECT_EQ(window->CurrentPlaylistId(), 2);
    EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    EXPECT_EQ(window->width(), 208);
    EXPECT_EQ(window->availableSongs()->RecordCount(), 1);

    auto visible = [](TDBGrid *grid) {
        QStringList titles;
        for (int c = 0; c < grid->ColumnCount(); ++c) {
            if (grid->ColumnVisible(c))
                titles << grid->ColumnTitle(c);
        }
        return titles;
    };
    EXPECT_EQ(visible(Child<TDBGrid>(window, "grdAvailableSongs")),
              QStringList({"Title", "Duration", "ID3_Track"}));
    EXPECT_EQ(visible(Child<TDBGrid>(window, "grdPlayList")),
              QStringList({"No.", "Title", "Duration"}));
    for (QAction *item : Child<QMenu>(window, "Columns1")->actions())
        EXPECT_EQ(item->isChecked(), item == Child<QAction>(window, "ShowDurations2") ||
                                         item == Child<QAction>(window, "ShowTitles2"))
            << item->text().toStdString();
    // A column item clicked twice brings its column back and is marked again.
    Child<QAction>(window, "ShowGenres1")->trigger();
    EXPECT_TRUE(Child<QAction>(window, "ShowGenres1")->isChecked());
    EXPECT_EQ(visible(Child<TDBGrid>(window, "grdAvailableSongs")),
              QStringList({"Title", "Duration", "ID3_Genre", "ID3_Track"}));
    Child<QAction>(window, "ShowFilenames2")
        ->trigger(); // finds the column "FileName" without regard to case
    EXPECT_TRUE(Child<TDBGrid>(window, "grdPlayList")
                    ->ColumnVisible(window->FindColumnByField(Child<TDBGrid>(window, "grdPlayList"),
                                                              QStringLiteral("filename"))));
}

TEST_F(MainWindowTest, KeepsTheStoredOrderWhenSongsAreAdded)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, library.AddSong(QStringLiteral("W")), 1);
    library.AddEntry(list, library.AddSong(QStringLiteral("X")), 2);
    library.AddEntry(list, library.AddSong(QStringLiteral("Y")), 3);
    const qint64 z = library.AddSong(QStringLiteral("Z"));
    Start();
    EXPECT_EQ(Shown(), QStringList({"1 W", "2 X", "3 Y"}));
    SelectAvailable({window->availableSongs()->Locate(QStringLiteral("Row_ID"), z)
                         ? window->availableSongs()->RecNo()
                         : -1});
    window->btnAddSongsClick();
    EXPECT_EQ(library.StoredEntries(list), (Entries{{1, 1}, {2, 2}, {3, 3}, {z, 4}}));
    window->OpenPlaylist(int(list), QStringLiteral("Sequence"));
    EXPECT_EQ(Shown(), QStringList({"1 W", "2 X", "3 Y", "4 Z"}));
}

TEST_F(MainWindowTest, RenumberingStaysPendingUntilASongIsAdded)
{
    const qint64 first = library.AddPlaylist(QStringLiteral("A"));
    const qint64 second = library.AddPlaylist(QStringLiteral("B"));
    for (int i = 0; i < 3; ++i)
        library.AddEntry(first, library.AddSong(QStringLiteral("S%1").arg(i)), 5 + 2 * i);
    Start();
    EXPECT_EQ(Shown(), QStringList({"1 S0", "2 S1", "3 S2"}));
    Choose(1);
    EXPECT_EQ(window->CurrentPlaylistId(), second);
    EXPECT_EQ(library.StoredEntries(first), (Entries{{1, 5}, {2, 7}, {3, 9}}));
}

TEST_F(MainWindowTest, DeletingAnEntryMovesToTheOneThatFollowed)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    for (int i = 1; i <= 5; ++i)
        library.AddEntry(list, library.AddSong(QStringLiteral("S%1").arg(i)), i);
    Start();
    window->playlistSongs()->SetRecNo(2);
    window->Removefromlist1Click();
    EXPECT_EQ(Shown(), QStringList({"1 S1", "2 S2", "3 S4", "4 S5"}));
    EXPECT_EQ(window->playlistSongs()->AsString(QStringLiteral("ID3_Title")), QStringLiteral("S4"));
    // The last entry: the new last one becomes current.
    window->playlistSongs()->Last();
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::ShiftModifier);
    window->grdPlayListKeyDown(&del);
    EXPECT_EQ(window->playlistSongs()->AsString(QStringLiteral("ID3_Title")), QStringLiteral("S4"));
    EXPECT_EQ(Shown(), QStringList({"1 S1", "2 S2", "3 S4"}));
    // Removal and renumbering are stored at once: closing and starting again keeps them.
    window->close();
    window.reset();
    Start();
    EXPECT_EQ(Shown(), QStringList({"1 S1", "2 S2", "3 S4"}));
}

TEST_F(MainWindowTest, AddsSelectedSongsInGridOrderCommittingEach)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, 999, 1);
    for (int i = 0; i < 9; ++i)
        library.AddSong(QStringLiteral("T%1").arg(i));
    Start();
    SelectAvailable({7, 2, 5});
    EXPECT_EQ(Child<TDBGrid>(window, "grdAvailableSongs")->SelectedRows(), QList<int>({2, 5, 7}));
    window->btnAddSongsClick();
    // Song ids follow the titles: row r holds T<r>, stored with id r + 1.
    EXPECT_EQ(library.StoredEntries(list), (Entries{{999, 1}, {3, 2}, {6, 3}, {8, 4}}));
    EXPECT_EQ(Child<TDBGrid>(window, "grdAvailableSongs")->SelectedRows(), QList<int>({2, 5, 7}));
}

TEST_F(MainWindowTest, ReadsTheIdUpToTheFirstBracket)
{
    library.AddPlaylist(QStringLiteral("odd ] name"));
    Start();
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(),
              QStringLiteral("[1] - odd ] name"));
    EXPECT_EQ(window->CurrentPlaylistId(), 1);
    Child<TCompletingComboBox>(window, "ccbPlayLists")->setEditText(QStringLiteral("[x] - broken"));
    EXPECT_EQ(window->CurrentPlaylistId(), -1);
    window->ccbPlayListsChange();
    EXPECT_FALSE(window->playlistSongs()->Active());
}

TEST_F(MainWindowTest, TheChooserRefusesTypedCharacters)
{
    library.AddPlaylist(QStringLiteral("Mix"));
    Start();
    QLineEdit *edit = Child<TCompletingComboBox>(window, "ccbPlayLists")->lineEdit();
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, QStringLiteral("abc"));
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(),
              QStringLiteral("[1] - Mix"));
}

TEST_F(MainWindowTest, DeletesAPlaylistAfterConfirmationAndKeepsAClearStateWhenNoneIsLeft)
{
    const qint64 a = library.AddPlaylist(QStringLiteral("A"));
    library.AddPlaylist(QStringLiteral("B"));
    library.AddEntry(a, library.AddSong(QStringLiteral("S")), 1);
    Start();
    messages.SetConfirmationAnswer(mrNo);
    window->DeletethisPlaylist1Click();
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->count(), 2);
    EXPECT_EQ(messages.Texts(TMessageKind::Confirmation),
              QStringList({"Are you sure you want to delete this playlist?"}));
    messages.SetConfirmationAnswer(mrYes);
    window->DeletethisPlaylist1Click();
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->count(), 1);
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(),
              QStringLiteral("[2] - B"));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists")), 1);
    window->DeletethisPlaylist1Click();
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->count(), 0);
    EXPECT_EQ(window->CurrentPlaylistId(), -1);
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->model()->rowCount(), 0);
    // With no playlist left nothing is asked and nothing runs.
    messages.Clear();
    window->DeletethisPlaylist1Click();
    EXPECT_TRUE(messages.Shown().isEmpty());
    SelectAvailable({0});
    EXPECT_THROW(window->btnAddSongsClick(), EError);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_Songs")), 0);
}

TEST_F(MainWindowTest, TheToggleRefusesBeforeAnImportAndSetsTheWidths)
{
    Start();
    window->oggleAvailableSongs1Click();
    EXPECT_EQ(window->width(), 408);
    EXPECT_FALSE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    EXPECT_EQ(Child<QAction>(window, "oggleAvailableSongs1")->text(),
              QStringLiteral("Hide Available Songs"));
    EXPECT_EQ(Child<QToolButton>(window, "btnToggleAvailableSongs")->text(),
              QStringLiteral("<   "));
    window->resize(300, window->height());
    window->btnToggleAvailableSongsClick();
    EXPECT_EQ(window->width(), 208);
    EXPECT_EQ(Child<QToolButton>(window, "btnToggleAvailableSongs")->toolTip(),
              QStringLiteral("Show Available Songs"));
    // A first start on a library whose songs were never imported.
    window.reset();
    WriteSetting(QuillmereKeyPath, QStringLiteral("Imported"), QString(), false);
    window = StartMainWindowAcceptingNotice();
    const int width = window->width();
    ASSERT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    window->oggleAvailableSongs1Click();
    EXPECT_EQ(window->width(), width);
    EXPECT_TRUE(Child<QWidget>(window, "pnlAvailableSongs")->isHidden());
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList({"You should probably try Importing first..."}));
}

TEST(MainWindowWithoutLibrary, ShowsTheErrorAndRunsOnWithEmptyGrids)
{
    QTemporaryDir dir;
    SetProgramDirectoryOverride(dir.path());
    ScriptedMessages messages;
    {
        TfrmMain window;
        window.MarkActivated();
        ASSERT_EQ(messages.Texts(TMessageKind::Error).size(), 1);
        EXPECT_TRUE(messages.Texts(TMessageKind::Error)
                        .first()
                        .contains(QStringLiteral("quillmeredb.mdb")));
        EXPECT_FALSE(Child<QWidget>(&window, "pnlAvailableSongs")->isHidden());
        EXPECT_EQ(Child<TDBGrid>(&window, "grdPlayList")->model()->rowCount(), 0);
        EXPECT_EQ(Child<TDBGrid>(&window, "grdAvailableSongs")->model()->rowCount(), 0);
        EXPECT_EQ(Child<TCompletingComboBox>(&window, "ccbPlayLists")->count(), 0);
        EXPECT_THROW(window.ShowAllSongs(), EError);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("quillmeredb.mdb"))));
    SetProgramDirectoryOverride(QString());
}

TEST_F(MainWindowTest, ClosingDropsUncommittedChanges)
{
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, library.AddSong(QStringLiteral("A")), 4);
    Start();
    EXPECT_EQ(Shown(), QStringList({"1 A"}));
    window->close();
    EXPECT_FALSE(window->library().Connected());
    EXPECT_EQ(library.StoredEntries(list), (Entries{{1, 4}}));
}

// A library that cannot be opened is told once, not once more by each window that reads it.
TEST(MainWindowStart, ALibraryThatCannotBeOpenedIsOneMessage)
{
    QTemporaryDir folder;
    WriteAll(folder.filePath(QStringLiteral("quillmeredb.mdb")), QByteArray(4096, 'x'));
    SetProgramDirectoryOverride(folder.path());
    ScriptedMessages messages;
    CreateForms();
    frmMain->MarkActivated();
    EXPECT_EQ(messages.Texts().size(), 1) << messages.Texts().join('|').toStdString();
    EXPECT_EQ(messages.Texts(TMessageKind::Error).size(), 1);
    DestroyForms();
    SetProgramDirectoryOverride(QString());
}

} // namespace
