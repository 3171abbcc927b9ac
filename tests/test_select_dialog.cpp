#include "app/UMain.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/YearEdit.h"
#include "data/DataSet.h"
#include "dialogs/USelect.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/PaintRecorder.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestLibrary.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPaintEngine>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace
{

const QString CR = QStringLiteral("\r");

QStringList Entries(const QListWidget *list)
{
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        entries << list->item(row)->text();
    return entries;
}

void Mark(QListWidget *list, const QList<int> &rows)
{
    list->clearSelection();
    for (int row : rows)
        list->item(row)->setSelected(true);
}

// Titles of a data set's rows in the order shown.
QStringList Titles(TDataSet *data)
{
    QStringList titles;
    if (!data->Active())
        return titles;
    const int field = data->FieldIndex(QStringLiteral("ID3_Title"));
    for (int row = 0; row < data->RecordCount(); ++row)
        titles << data->DisplayText(row, field);
    return titles;
}

// A library with songs, the main window over it and the dialog created after it.
class SelectDialogTest : public ::testing::Test
{
protected:
    void Start()
    {
        window = StartMainWindow();
        dialog = std::make_unique<TfrmSelect>(&window->library());
        frmSelect = dialog.get();
    }
    void TearDown() override
    {
        dialog.reset();
        frmSelect = nullptr;
        window.reset();
        frmMain = nullptr;
    }
    void AddSongs()
    {
        library.AddSong(QStringLiteral("Blue"), {}, {}, 200, 0, QStringLiteral("Beta"),
                        QStringLiteral("Sky"), 1995, 1, QStringLiteral("live at home"));
        library.AddSong(QStringLiteral("Amber"), {}, {}, 180, 17, QStringLiteral("Alpha"),
                        QStringLiteral("It's Here"), 1990, 2, QStringLiteral("studio"));
        library.AddSong(QStringLiteral("Nothing"), {}, {}, 60, 255, QStringLiteral("Gamma"),
                        QString(), 2001);
        library.AddSong(QStringLiteral("Odd"), {}, {}, 60, 148, QString(), QStringLiteral("Sky"),
                        1980);
        library.AddSong(QStringLiteral("Chant"), {}, {}, 60, 147, QStringLiteral("Alpha"),
                        QStringLiteral("Sky"), 1999, 0, QStringLiteral("live"));
    }

    TestLibrary library;
    ScriptedMessages messages;
    TMainWindowPtr window;
    std::unique_ptr<TfrmSelect> dialog;
};

TEST_F(SelectDialogTest, StartsWithTheLibrarysListsAndNoCriteria)
{
    AddSongs();
    window = StartMainWindow();
    // Made with the program, the dialog reads nothing until it is shown.
    int statements = 0;
    window->library().OnStatement = [&statements](const QString &) { ++statements; };
    dialog = std::make_unique<TfrmSelect>(&window->library());
    frmSelect = dialog.get();
    EXPECT_EQ(statements, 0);
    dialog->ReloadCriteriaLists();
    EXPECT_EQ(statements, 0);
    EXPECT_EQ(dialog->lbAvailableArtists->count(), 0);
    window->library().OnStatement = nullptr;
    dialog->show();
    EXPECT_EQ(dialog->PageControl1->currentWidget(), dialog->tsArtist);
    EXPECT_EQ(Entries(dialog->lbAvailableArtists), QStringList({"", "Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Entries(dialog->lbAvailableAlbums), QStringList({"", "It's Here", "Sky"}));
    // 148 has no name and 255 is no genre: neither is a choice.
    EXPECT_EQ(Entries(dialog->lbAvailableGenres),
              QStringList({"0. Blues", "17. Rock", "147. Synthpop"}));
    EXPECT_EQ(dialog->ccbSort->count(), 6);
    EXPECT_EQ(dialog->ccbSort->currentIndex(), -1);
    EXPECT_EQ(dialog->BuildSelectionSql(), QStringLiteral("SELECT * FROM Playlist_DB") + CR);
    EXPECT_FALSE(dialog->qryMatching->Active());
    EXPECT_EQ(dialog->grdMatchingSongs->model()->rowCount(), 0);
    EXPECT_TRUE(messages.Shown().isEmpty());

    // A reload refreshes the available lists and keeps what was chosen.
    dialog->lbSelectedArtists->addItem(QStringLiteral("Nobody"));
    library.AddSong(QStringLiteral("New"), {}, {}, 1, 80, QStringLiteral("Delta"));
    dialog->ReloadCriteriaLists();
    EXPECT_EQ(Entries(dialog->lbAvailableArtists),
              QStringList({"", "Alpha", "Beta", "Delta", "Gamma"}));
    EXPECT_EQ(Entries(dialog->lbAvailableGenres).size(), 4);
    EXPECT_EQ(Entries(dialog->lbSelectedArtists), QStringList({"Nobody"}));
}

// The main window told of the library that did not open; the dialog does not tell it again.
TEST_F(SelectDialogTest, GoesOnSilentlyWhenTheLibraryIsNotOpen)
{
    AddSongs();
    window = StartMainWindow();
    window->library().Close();
    messages.Clear();
    ASSERT_NO_THROW(dialog = std::make_unique<TfrmSelect>(&window->library()));
    dialog->show();
    EXPECT_TRUE(messages.Texts().isEmpty());
    EXPECT_EQ(dialog->lbAvailableArtists->count(), 0);
    EXPECT_EQ(dialog->lbAvailableAlbums->count(), 0);
    EXPECT_EQ(dialog->lbAvailableGenres->count(), 0);
}

TEST_F(SelectDialogTest, AddCopiesTheCurrentEntryAndRemoveDeletesTheMarkedOnes)
{
    AddSongs();
    Start();
    dialog->show();
    // Nothing current, nothing added.
    dialog->btnAddArtist->click();
    dialog->btnAddGenre->click();
    EXPECT_EQ(dialog->lbSelectedArtists->count(), 0);
    EXPECT_EQ(dialog->lbSelectedGenres->count(), 0);

    // Artists: duplicates and the empty entry are copied.
    dialog->lbAvailableArtists->setCurrentRow(1);
    dialog->btnAddArtist->click();
    dialog->btnAddArtist->click();
    dialog->lbAvailableArtists->setCurrentRow(0);
    dialog->btnAddArtist->click();
    dialog->lbAvailableArtists->setCurrentRow(3);
    dialog->btnAddArtist->click();
    EXPECT_EQ(Entries(dialog->lbSelectedArtists), QStringList({"Alpha", "Alpha", "", "Gamma"}));
    EXPECT_EQ(Entries(dialog->lbAvailableArtists).size(), 4);

    // Albums: the entry with the focus among several marked; never an empty one.
    dialog->lbAvailableAlbums->setCurrentRow(0);
    dialog->btnAddAlbum->click();
    EXPECT_EQ(dialog->lbSelectedAlbums->count(), 0);
    Mark(dialog->lbAvailableAlbums, {1, 2});
    dialog->lbAvailableAlbums->setCurrentRow(1, QItemSelectionModel::NoUpdate);
    dialog->btnAddAlbum->click();
    EXPECT_EQ(Entries(dialog->lbSelectedAlbums), QStringList({"It's Here"}));

    dialog->lbAvailableGenres->setCurrentRow(1);
    dialog->btnAddGenre->click();
    EXPECT_EQ(Entries(dialog->lbSelectedGenres), QStringList({"17. Rock"}));

    // Remove: every marked artist; nothing when nothing is marked.
    dialog->lbSelectedArtists->clearSelection();
    dialog->btnRemoveArtist->click();
    EXPECT_EQ(dialog->lbSelectedArtists->count(), 4);
    Mark(dialog->lbSelectedArtists, {0, 2});
    dialog->btnRemoveArtist->click();
    EXPECT_EQ(Entries(dialog->lbSelectedArtists), QStringList({"Alpha", "Gamma"}));
    dialog->lbSelectedGenres->setCurrentRow(0);
    dialog->btnRemoveGenre->click();
    EXPECT_EQ(dialog->lbSelectedGenres->count(), 0);
}

TEST_F(SelectDialogTest, DoubleClicksMoveEntriesAndDeleteRemovesBesideTheList)
{
    AddSongs();
    Start();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    auto doubleClick = [](QListWidget *list, int row) {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        // The first click of a double click marks the entry.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };

    doubleClick(dialog->lbAvailableArtists, 2);
    doubleClick(dialog->lbAvailableArtists, 1);
    EXPECT_EQ(Entries(dialog->lbSelectedArtists), QStringList({"Beta", "Alpha"}));
    doubleClick(dialog->lbSelectedArtists, 0);
    EXPECT_EQ(Entries(dialog->lbSelectedArtists), QStringList({"Alpha"}));

    dialog->PageControl1->setCurrentWidget(dialog->tsAlbum);
    doubleClick(dialog->lbAvailableAlbums, 2);
    doubleClick(dialog->lbAvailableAlbums, 1);
    EXPECT_EQ(Entries(dialog->lbSelectedAlbums), QStringList({"Sky", "It's Here"}));
    // Delete in the available albums removes the marked selected album.
    dialog->lbSelectedAlbums->setCurrentRow(0);
    QTest::keyClick(dialog->lbAvailableAlbums, Qt::Key_Delete);
    EXPECT_EQ(Entries(dialog->lbSelectedAlbums), QStringList({"It's Here"}));
    EXPECT_EQ(dialog->lbAvailableAlbums->count(), 3);
    // The selected albums' own list does not handle Delete.
    dialog->lbSelectedAlbums->setCurrentRow(0);
    QTest::keyClick(dialog->lbSelectedAlbums, Qt::Key_Delete);
    EXPECT_EQ(dialog->lbSelectedAlbums->count(), 1);
    doubleClick(dialog->lbSelectedAlbums, 0);
    EXPECT_EQ(dialog->lbSelectedAlbums->count(), 0);

    dialog->PageControl1->setCurrentWidget(dialog->tsGenre);
    doubleClick(dialog->lbAvailableGenres, 0);
    doubleClick(dialog->lbAvailableGenres, 0);
    EXPECT_EQ(Entries(dialog->lbSelectedGenres), QStringList({"0. Blues", "0. Blues"}));
    dialog->lbSelectedGenres->setCurrentRow(1);
    QTest::keyClick(dialog->lbAvailableGenres, Qt::Key_Delete);
    EXPECT_EQ(dialog->lbSelectedGenres->count(), 1);
    QTest::keyClick(dialog->lbSelectedGenres, Qt::Key_Delete);
    EXPECT_EQ(dialog->lbSelectedGenres->count(), 1);

    // Delete in the selected artists; the available artists ignore it.
    dialog->PageControl1->setCurrentWidget(dialog->tsArtist);
    dialog->lbAvailableArtists->setCurrentRow(1);
    dialog->lbSelectedArtists->setCurrentRow(0);
    QTest::keyClick(dialog->lbAvailableArtists, Qt::Key_Delete);
    EXPECT_EQ(dialog->lbSelectedArtists->count(), 1);
    QTest::keyClick(dialog->lbSelectedArtists, Qt::Key_Delete);
    EXPECT_EQ(dialog->lbSelectedArtists->count(), 0);
}

TEST_F(SelectDialogTest, TheControlsBuildTheWorkedExample)
{
    Start();
    dialog->lbSelectedArtists->addItems({"Alpha", "Beta"});
    dialog->lbSelectedGenres->addItem(QStringLiteral("17. Rock"));
    dialog->lbSelectedAlbums->addItem(QStringLiteral("It's Here"));
    dialog->edComment->setText(QStringLiteral("live"));
    QTest::keyClicks(dialog->edStartYear, QStringLiteral("1990"));
    QTest::keyClicks(dialog->edEndYear, QStringLiteral("1999"));
    dialog->ccbSort->setCurrentIndex(dialog->ccbSort->findText(QStringLiteral("Title")));

    const QString expected =
        QStringList({"SELECT * FROM Playlist_DB", "WHERE ((ID3_Artist = 'Alpha')",
                     " OR (ID3_Artist = 'Beta')", ") AND ((ID3_Genre = 17)",
                     ") AND ((ID3_Album = 'It''s Here')", ") AND ID3_Comment LIKE '%live%'",
                     "AND ID3_Year >= 1990", "AND ID3_Year <= 1999", "ORDER BY ID3_Title", ""})
            .join(CR);
    EXPECT_EQ(dialog->BuildSelectionSql(), expected);
}

TEST_F(SelectDialogTest, EmptyArtistEntriesAreKeptButSkippedByTheStatement)
{
    Start();
    dialog->lbSelectedArtists->addItems({"", "Alpha", ""});
    EXPECT_EQ(dialog->Criteria().Artists, QStringList({"", "Alpha", ""}));
    EXPECT_EQ(dialog->BuildSelectionSql(), QStringLiteral("SELECT * FROM Playlist_DB") + CR +
                                               QStringLiteral("WHERE ((ID3_Artist = 'Alpha')") +
                                               CR + QStringLiteral(") "));
}

TEST_F(SelectDialogTest, YearBoxesLetOnlyFourDigitsIntoTheStatement)
{
    Start();
    QTest::keyClicks(dialog->edEndYear, QStringLiteral("19a9"));
    QTest::keyClicks(dialog->edEndYear, QStringLiteral("95"));
    EXPECT_EQ(dialog->edEndYear->text(), QStringLiteral("1999")); // no letter, no fifth digit
    EXPECT_EQ(dialog->BuildSelectionSql(), QStringLiteral("SELECT * FROM Playlist_DB") + CR +
                                               QStringLiteral("WHERE ID3_Year <= 1999") + CR);
    // Text arriving other than by typing keeps only its digits.
    dialog->edEndYear->clear();
    dialog->edStartYear->setText(QStringLiteral("0; DROP TABLE Playlist_DB --"));
    EXPECT_EQ(dialog->BuildSelectionSql(), QStringLiteral("SELECT * FROM Playlist_DB") + CR +
                                               QStringLiteral("WHERE ID3_Year >= 0") + CR);
}

TEST_F(SelectDialogTest, SortsOnlyByAWholeEntry)
{
    Start();
    const QString orderByTitle = QStringLiteral("ORDER BY ID3_Title") + CR;
    EXPECT_EQ(dialog->SortChoice(), QString());

    // Typing completes to the first entry it begins.
    dialog->show();
    dialog->PageControl1->setCurrentWidget(dialog->tsMisc);
    QTest::keyClicks(dialog->ccbSort->lineEdit(), QStringLiteral("ti"));
    EXPECT_EQ(dialog->ccbSort->currentText(), QStringLiteral("Title"));
    EXPECT_TRUE(dialog->BuildSelectionSql().endsWith(orderByTitle));

    // Text that is no whole entry sorts nothing, though an entry was chosen before.
    dialog->ccbSort->setCurrentIndex(dialog->ccbSort->findText(QStringLiteral("Year")));
    dialog->ccbSort->setEditText(QStringLiteral("Yea"));
    EXPECT_EQ(dialog->SortChoice(), QString());
    dialog->ccbSort->setEditText(QStringLiteral("xyz"));
    EXPECT_EQ(dialog->BuildSelectionSql(), QStringLiteral("SELECT * FROM Playlist_DB") + CR);
    // A whole entry in another case counts.
    dialog->ccbSort->setEditText(QStringLiteral("tItLe"));
    EXPECT_EQ(dialog->SortChoice(), QStringLiteral("Title"));
}

TEST_F(SelectDialogTest, RefreshShowsTheMatchingSongsAndGenreNoneIsStillFound)
{
    AddSongs();
    Start();
    QStringList titles;
    for (int c = 0; c < dialog->grdMatchingSongs->ColumnCount(); ++c)
        titles << dialog->grdMatchingSongs->ColumnTitle(c);
    EXPECT_EQ(titles, QStringList({"ID3_Title", "ID3_Album", "Duration", "ID3_Genre", "ID3_Year",
                                   "Path", "Filename"}));

    dialog->lbSelectedArtists->addItems({"Gamma", "Beta"});
    dialog->ccbSort->setCurrentIndex(dialog->ccbSort->findText(QStringLiteral("Title")));
    dialog->btnRefresh->click();
    EXPECT_EQ(Titles(dialog->qryMatching), QStringList({"Blue", "Nothing"}));
    EXPECT_EQ(dialog->grdMatchingSongs->model()->rowCount(), 2);

    dialog->lbSelectedArtists->clear();
    dialog->edComment->setText(QStringLiteral("live"));
    QTest::keyClicks(dialog->edStartYear, QStringLiteral("1996"));
    dialog->btnRefresh->click();
    EXPECT_EQ(Titles(dialog->qryMatching), QStringList({"Chant"}));
}

TEST_F(SelectDialogTest, DurationCellsShowMinutesAndSecondsAtTheRight)
{
    library.AddSong(QStringLiteral("Long"), {}, {}, 6000);
    library.AddSong(QStringLiteral("Short"), {}, {}, 0);
    Start();
    dialog->ccbSort->setCurrentIndex(dialog->ccbSort->findText(QStringLiteral("Title")));
    dialog->btnRefresh->click();
    TDBGrid *grid = dialog->grdMatchingSongs;
    const QRect cell(10, 20, 60, 16);
    auto draw = [&](int row, int column) {
        auto recorder = std::make_unique<TRecorder>();
        QPainter painter(recorder.get());
        painter.setFont(grid->font());
        dialog->grdMatchingSongsDrawColumnCell(painter, cell, row, column, false);
        painter.end();
        return recorder;
    };

    auto longDuration = draw(0, 2);
    ASSERT_EQ(longDuration->Engine.Texts.size(), 1);
    const auto &shown = longDuration->Engine.Texts.first();
    EXPECT_EQ(shown.Text, QStringLiteral("100:00"));
    const QFontMetricsF metrics(shown.Font, longDuration.get());
    EXPECT_NEAR(shown.Position.x() + metrics.horizontalAdvance(shown.Text),
                cell.left() + cell.width() - 3, 1);
    EXPECT_NEAR(shown.Position.y(), cell.top() + 2 + metrics.ascent(), 1);

    auto noDuration = draw(1, 2);
    ASSERT_EQ(noDuration->Engine.Texts.size(), 1);
    EXPECT_EQ(noDuration->Engine.Texts.first().Text, QStringLiteral("00:00"));

    auto title = draw(0, 0);
    ASSERT_EQ(title->Engine.Texts.size(), 1);
    EXPECT_EQ(title->Engine.Texts.first().Text, QStringLiteral("Long"));
    EXPECT_EQ(title->Engine.Texts.first().Position.x(), cell.left() + 2);
    // The album is empty: the cell is left as the grid drew it.
    EXPECT_TRUE(draw(0, 1)->Engine.Texts.isEmpty());
}

TEST_F(SelectDialogTest, OkAppliesTheCriteriaToTheAvailableSongs)
{
    AddSongs();
    Start();
    EXPECT_EQ(Titles(window->availableSongs()),
              QStringList({"Amber", "Blue", "Chant", "Nothing", "Odd"}));
    dialog->lbSelectedAlbums->addItem(QStringLiteral("Sky"));
    dialog->ccbSort->setCurrentIndex(dialog->ccbSort->findText(QStringLiteral("Year")));
    QTimer::singleShot(0, dialog.get(), [this] { dialog->btnOK->click(); });
    window->btnFilterClick();
    EXPECT_EQ(Titles(window->availableSongs()), QStringList({"Odd", "Blue", "Chant"}));
    // The statement shown, with its values bound as parameters.
    EXPECT_EQ(window->availableSongs()->CommandText(),
              BuildSelectionStatement(dialog->Criteria()).Sql + QStringLiteral("\r\n"));
    EXPECT_EQ(QString(window->availableSongs()->CommandText())
                  .replace(QStringLiteral(":album1"), QStringLiteral("'Sky'")),
              dialog->BuildSelectionSql() + QStringLiteral("\r\n"));
}

TEST_F(SelectDialogTest, CancelKeepsTheCriteriaAndLeavesTheMainWindowAlone)
{
    AddSongs();
    Start();
    const QString before = window->availableSongs()->CommandText();
    dialog->lbSelectedArtists->addItem(QStringLiteral("Alpha"));
    QTimer::singleShot(0, dialog.get(), [this] { dialog->btnCancel->click(); });
    window->btnFilterClick();
    EXPECT_EQ(window->availableSongs()->CommandText(), before);
    EXPECT_EQ(Titles(window->availableSongs()).size(), 5);
    EXPECT_EQ(Entries(dialog->lbSelectedArtists), QStringList({"Alpha"}));

    // Closing the window is Cancel too; the kept criteria apply at the next rebuild.
    QTimer::singleShot(0, dialog.get(), [this] { dialog->close(); });
    window->btnFilterClick();
    EXPECT_EQ(Titles(window->availableSongs()).size(), 5);
    window->ApplySelection();
    EXPECT_EQ(Titles(window->availableSongs()), QStringList({"Amber", "Chant"}));
}

} // namespace
