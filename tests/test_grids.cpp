// The grids' model, their cell drawing, Ctrl+A in the available songs, the hover images.
#include "app/UMain.h"
#include "controls/DBGrid.h"
#include "controls/DataSetModel.h"
#include "controls/SearchEdit.h"
#include "controls/TransportImages.h"
#include "data/DataSet.h"
#include "data/Durations.h"
#include "data/PlaylistEntries.h"
#include "data/SongListings.h"
#include "dialogs/UAddSongsProgress.h"
#include "platform/MediaPlayer.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ModelComplaints.h"
#include "tests/support/PaintRecorder.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestLibrary.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace
{

TEST(FormatMilliseconds, WritesMinutesAndSecondsWithTwoDigitsAtLeast)
{
    EXPECT_EQ(FormatMilliseconds(0), QStringLiteral("00:00"));
    EXPECT_EQ(FormatMilliseconds(999), QStringLiteral("00:00"));
    EXPECT_EQ(FormatMilliseconds(59999), QStringLiteral("00:59"));
    EXPECT_EQ(FormatMilliseconds(65000), QStringLiteral("01:05"));
    EXPECT_EQ(FormatMilliseconds(600000), QStringLiteral("10:00"));
    EXPECT_EQ(FormatMilliseconds(3725400), QStringLiteral("62:05"));
    EXPECT_EQ(FormatMilliseconds(6000000), QStringLiteral("100:00"));
}

// The model over a playlist's entries, its titles looked up in the songs, checked by
// QAbstractItemModelTester through every change the entries announce.
TEST(DataSetModel, FollowsTheEntriesThroughOpenSortInsertDeleteResetAndClose)
{
    TestLibrary library;
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    QList<qint64> songs;
    for (int i = 1; i <= 3; ++i) {
        songs << library.AddSong(QStringLiteral("S%1").arg(i));
        library.AddEntry(list, songs.last(), i);
    }
    TConnection connection;
    connection.ConnectionString = library.ConnectionString();
    connection.Open();
    TTable songTable(&connection);
    SetUpSongsTable(songTable);
    songTable.Open();
    TDataSet entries(&connection);
    SetUpPlaylistEntries(entries, &songTable);

    ModelComplaints complaints;
    TDataSetModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetColumns({{QStringLiteral("Sequence"), QStringLiteral("No.")},
                      {QStringLiteral("ID3_Title"), QStringLiteral("Title")},
                      {QStringLiteral("Nowhere"), {}}});
    model.SetDataSet(&entries);
    EXPECT_EQ(model.rowCount(), 0); // not open yet
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole), QStringLiteral("No."));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole), QStringLiteral("Nowhere"));

    auto column = [&](int c) {
        QStringList cells;
        for (int row = 0; row < model.rowCount(); ++row)
            cells << model.index(row, c).data().toString();
        return cells;
    };
    OpenPlaylistEntries(entries, int(list), QStringLiteral("Sequence"), QStringLiteral("Asc"));
    EXPECT_EQ(column(1), QStringList({"S1", "S2", "S3"}));
    EXPECT_EQ(column(2), QStringList({"", "", ""})); // no such field
    EXPECT_EQ(model.FieldOf(2), -1);

    // Sorted the other way: the entries open again.
    OpenPlaylistEntries(entries, int(list), QStringLiteral("Sequence"), QStringLiteral("Desc"));
    EXPECT_EQ(column(1), QStringList({"S3", "S2", "S1"}));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    AppendEntry(entries, int(list), 4, songs[0]);
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(column(1), QStringList({"S3", "S2", "S1", "S1"}));

    // One entry goes, and the renumbering of the rest resets the model once.
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    RemoveEntries(entries, {2});
    EXPECT_EQ(removed.size(), 1);
    EXPECT_EQ(reset.size(), 1);
    EXPECT_EQ(column(0), QStringList({"1", "2", "3"}));
    EXPECT_EQ(column(1), QStringList({"S3", "S1", "S1"}));

    // A changed entry and a changed song: their cells are announced.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    entries.SetRecNo(0);
    entries.Edit();
    entries.SetFieldValue(QStringLiteral("Sequence"), 7);
    entries.Post();
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("7"));
    songTable.UpdateValue(songs[0], QStringLiteral("ID3_Title"), QStringLiteral("One"));
    EXPECT_EQ(changed.size(), 2);
    EXPECT_EQ(column(1), QStringList({"S3", "One", "One"}));

    entries.Close();
    EXPECT_EQ(model.rowCount(), 0);
    OpenPlaylistEntries(entries, int(list), QStringLiteral("Sequence"), QStringLiteral("Asc"));
    EXPECT_EQ(model.rowCount(), 3);
    model.SetDataSet(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(ModelComplaints::Shown.isEmpty())
        << ModelComplaints::Shown.join('\n').toStdString();
}

// A library of a thousand songs, "Song 1" to "Song 1000", open, and songs read on demand.
struct TThousandSongs {
    TThousandSongs()
    {
        library.Exec(QStringLiteral(
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1000) "
            "INSERT INTO Playlist_DB(Path, Filename, Duration, ID3_Title) "
            "SELECT '/music/', 'song' || x || '.mp3', x % 600, 'Song ' || x FROM n"));
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
        songs.SetOnDemand(true);
    }
    TestLibrary library;
    TConnection connection;
    TDataSet songs{&connection};
};

// The model over the available songs read on demand, checked by QAbstractItemModelTester while
// the view scrolls, sorts, searches, and songs come and go.
TEST(DataSetModel, HoldsOverRowsReadOnDemandThroughScrollingSortingSearchingAddingAndDeleting)
{
    TThousandSongs thousand;
    TestLibrary &library = thousand.library;
    TConnection &connection = thousand.connection;
    TDataSet &songs = thousand.songs;

    ModelComplaints complaints;
    TDataSetModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetColumns(
        {{QStringLiteral("ID3_Title"), QStringLiteral("Title")}, {QStringLiteral("Duration"), {}}});
    model.SetDataSet(&songs);
    TSongListing listing;
    listing.SortField = QStringLiteral("ID3_Title");
    OpenSongListing(songs, listing);
    ASSERT_EQ(model.rowCount(), 1000);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("Song 1"));
    EXPECT_EQ(model.index(999, 0).data().toString(), QStringLiteral("Song 999"));

    // Scrolling to a row reads its page and nothing more.
    int statements = 0;
    connection.OnStatement = [&](const QString &) { ++statements; };
    for (int row = 500; row < 540; ++row)
        model.index(row, 0).data();
    EXPECT_EQ(statements, 1);
    connection.OnStatement = nullptr;

    listing.SortField = QStringLiteral("Duration");
    listing.Descending = true;
    OpenSongListing(songs, listing);
    EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("599"));
    EXPECT_EQ(model.index(999, 1).data().toString(), QStringLiteral("0"));

    listing.Search = QStringLiteral("song 99");
    OpenSongListing(songs, listing);
    EXPECT_EQ(model.rowCount(), 19); // every word: 99, 199 ... 999 and 990 to 998

    library.AddSong(QStringLiteral("Song 99 again"));
    OpenSongListing(songs, listing);
    EXPECT_EQ(model.rowCount(), 20);
    library.Exec(QStringLiteral("DELETE FROM Playlist_DB WHERE ID3_Title LIKE 'Song 99%'"));
    OpenSongListing(songs, listing);
    EXPECT_EQ(model.rowCount(), 8);
    listing.Search.clear();
    OpenSongListing(songs, listing);
    EXPECT_EQ(model.rowCount(), 989);
    songs.Close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(ModelComplaints::Shown.isEmpty())
        << ModelComplaints::Shown.join('\n').toStdString();
}

// Counted in the background: the first page shows at once, the rest once counted, and a count
// for rows no longer shown is never taken.
TEST(DataSetModel, TakesACountMadeInTheBackgroundOnlyForTheRowsShown)
{
    TThousandSongs thousand;
    TDataSet &songs = thousand.songs;
    songs.SetCountInBackground(true);
    ModelComplaints complaints;
    TDataSetModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    model.SetColumns({{QStringLiteral("ID3_Title"), QStringLiteral("Title")}});
    model.SetDataSet(&songs);
    TSongListing listing;
    listing.SortField = QStringLiteral("ID3_Title");
    OpenSongListing(songs, listing);
    EXPECT_EQ(model.rowCount(), TDataSet::PageRows);
    QSignalSpy marked(&songs, &TDataSet::RowsMarked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 1000; }, 30000));
    // With the count came the keys of every thousandth row: a page near the last is sought
    // from there, not counted through from an end.
    ASSERT_TRUE(marked.size() == 1 || marked.wait(30000));
    TDataSet whole(&thousand.connection);
    OpenSongListing(whole, listing);
    QStringList statements;
    thousand.connection.OnStatement = [&](const QString &sql) { statements << sql; };
    EXPECT_EQ(model.index(700, 0).data(), whole.Value(700, whole.FieldIndex("ID3_Title")));
    thousand.connection.OnStatement = nullptr;
    ASSERT_EQ(statements.size(), 1);
    EXPECT_TRUE(statements.first().contains(QStringLiteral(":pagekey")))
        << statements.first().toStdString();
    EXPECT_EQ(model.index(999, 0).data().toString(), QStringLiteral("Song 999"));

    // Reopened before the count came: only the new count is taken.
    int largest = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int, int last) { largest = qMax(largest, last); });
    listing.Search.clear();
    OpenSongListing(songs, listing);
    listing.Search = QStringLiteral("1");
    OpenSongListing(songs, listing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 272; }, 30000));
    EXPECT_EQ(largest, 271); // never the thousand rows of the listing before
    // The last row is reached at once, also before the count comes.
    listing.Search = QStringLiteral("2");
    OpenSongListing(songs, listing);
    songs.Last();
    EXPECT_EQ(model.rowCount(), 271);
    EXPECT_EQ(songs.RecNo(), 270);
    EXPECT_TRUE(ModelComplaints::Shown.isEmpty())
        << ModelComplaints::Shown.join('\n').toStdString();
}

const QColor White(255, 255, 255);

class GridsTest : public ::testing::Test
{
protected:
    void Start() { window = StartMainWindow(); }
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        TMediaPlayer::SetSilentOnly(false);
    }
    // Gives every song a long silent file of its own, so that its entries can be played.
    void MakePlayable()
    {
        TMediaPlayer::SetSilentOnly(true);
        SilentMp3Options options;
        options.Frames = 4000;
        const qint64 last = library.QueryInt(QStringLiteral("SELECT MAX(Row_ID) FROM Playlist_DB"));
        for (qint64 id = 1; id <= last; ++id) {
            const QString name = QStringLiteral("song%1.mp3").arg(id);
            WriteSilentMp3(library.Directory() + name, options);
            library.Exec(QStringLiteral("UPDATE Playlist_DB SET Path = '%1', Filename = '%2' "
                                        "WHERE Row_ID = %3")
                             .arg(library.Directory(), name)
                             .arg(id));
        }
    }
    // Plays the entry of that row, its stored duration left as it is.
    void Play(int row)
    {
        TPlaybackOptions options = window->playbackOptions();
        options.AutoUpdateDurations = false;
        window->SetPlaybackOptions(options);
        window->playlistSongs()->SetRecNo(row);
        QTest::mouseClick(Child<QToolButton>(window, "btnPlay"), Qt::LeftButton);
        ASSERT_EQ(window->playState(), psPlaying);
    }
    int Column(TDBGrid *grid, const QString &title)
    {
        for (int c = 0; c < grid->ColumnCount(); ++c) {
            if (grid->ColumnTitle(c) == title)
                return c;
        }
        ADD_FAILURE() << "no column " << title.toStdString();
        return -1;
    }
    // Runs a grid's hook for one cell as the grid does (its font, sky blue pen) and returns
    // what it drew.
    TRecordingEngine &Draw(TDBGrid *grid, int row, const QString &title, bool selected = false,
                           const QRect &rect = QRect(10, 20, 60, 16))
    {
        recorder = std::make_unique<TRecorder>();
        QPainter painter(recorder.get());
        painter.setFont(grid->font());
        painter.setPen(SkyBlue());
        grid->DrawColumnCell()(painter, rect, row, Column(grid, title), selected);
        return recorder->Engine;
    }
    QString DrawnText(TDBGrid *grid, int row, const QString &title)
    {
        const TRecordingEngine &engine = Draw(grid, row, title);
        QString text;
        for (const TDrawnText &drawn : engine.Texts)
            text += drawn.Text;
        return text;
    }
    QString PlayListText(int row, const QString &title)
    {
        return DrawnText(Child<TDBGrid>(window, "grdPlayList"), row, title);
    }
    QString AvailableText(int row, const QString &title)
    {
        return DrawnText(Child<TDBGrid>(window, "grdAvailableSongs"), row, title);
    }
    // Row of the available grid whose title is the given one.
    int AvailableRow(const QString &title)
    {
        TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
        for (int row = 0; row < grid->model()->rowCount(); ++row) {
            if (grid->CellText(row, Column(grid, QStringLiteral("Title"))) == title)
                return row;
        }
        ADD_FAILURE() << "no row " << title.toStdString();
        return -1;
    }
    // A playlist "L" holding the given songs numbered 1, 2, 3...
    qint64 PlaylistOf(const QList<qint64> &songs)
    {
        const qint64 list = library.AddPlaylist(QStringLiteral("L"));
        int sequence = 0;
        for (qint64 song : songs)
            library.AddEntry(list, song, ++sequence);
        return list;
    }
    static bool Shows(QToolButton *button, const QPixmap &image)
    {
        const QImage shown = button->icon()
                                 .pixmap(image.size())
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return shown == image.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    static void MoveMouseOver(QWidget *widget)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    // The brightest pixel of an area: the full colour of the text drawn there.
    static QColor Brightest(const QImage &image, const QRect &area)
    {
        QColor best(Qt::black);
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() + c.green() + c.blue() > best.red() + best.green() + best.blue())
                    best = c;
            }
        }
        return best;
    }
    static bool Near(const QColor &a, const QColor &b, int tolerance = 10)
    {
        return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
               qAbs(a.blue() - b.blue()) <= tolerance;
    }
    static std::string Describe(const QColor &c)
    {
        return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue()).toStdString();
    }

    TestLibrary library;
    ScriptedMessages messages;
    TMainWindowPtr window;
    std::unique_ptr<TRecorder> recorder;
};

TEST_F(GridsTest, ThePlayingRowIsBoldAndWhiteInEveryColumnAndOthersSkyBlue)
{
    PlaylistOf({library.AddSong(QStringLiteral("One"), {}, {}, 60, 0),
                library.AddSong(QStringLiteral("Two"), {}, {}, 3725, 0),
                library.AddSong(QStringLiteral("Three"), {}, {}, 5, 0)});
    MakePlayable();
    Start();
    Play(1);
    TDBGrid *grid = Child<TDBGrid>(window, "grdPlayList");
    for (int row = 0; row < 3; ++row) {
        // Every column, hidden ones too, in an order that never paints "No." first: a
        // partial repaint of one cell must still know its row.
        for (const QString title : {"ID3_Genre", "Duration", "Title", "No."}) {
            const TRecordingEngine &engine = Draw(grid, row, title);
            ASSERT_EQ(engine.Texts.size(), 1) << title.toStdString();
            const TDrawnText &drawn = engine.Texts.first();
            EXPECT_EQ(drawn.Font.bold(), row == 1) << title.toStdString() << " row " << row;
            EXPECT_EQ(drawn.Colour, row == 1 ? White : SkyBlue())
                << title.toStdString() << " row " << row;
        }
    }
    // After Stop no row is highlighted.
    QTest::mouseClick(Child<QToolButton>(window, "btnStop"), Qt::LeftButton);
    for (int row = 0; row < 3; ++row) {
        const TRecordingEngine &engine = Draw(grid, row, QStringLiteral("Title"));
        ASSERT_EQ(engine.Texts.size(), 1);
        EXPECT_FALSE(engine.Texts.first().Font.bold());
        EXPECT_EQ(engine.Texts.first().Colour, SkyBlue());
    }
}

TEST_F(GridsTest, DurationsAreMinutesAndSecondsRightAlignedOthersAtTheLeft)
{
    const qint64 zero = library.AddSong(QStringLiteral("Zero"), {}, {}, 0);
    const qint64 long_ = library.AddSong(QStringLiteral("Long"), {}, {}, 3725);
    const qint64 word = library.AddSong(QStringLiteral("Word"), {}, {}, 1);
    // SQLite keeps a text that is not a number in an INTEGER column; the data set shows
    // such a value of an integer field as 0, and the cell as "00:00".
    library.Exec(
        QStringLiteral("UPDATE Playlist_DB SET Duration = 'abc' WHERE Row_ID = %1").arg(word));
    PlaylistOf({zero, long_, word});
    Start();
    for (int row = 0; row < 3; ++row) {
        const QString title = Child<TDBGrid>(window, "grdPlayList")
                                  ->CellText(row, Column(Child<TDBGrid>(window, "grdPlayList"),
                                                         QStringLiteral("Title")));
        const QString expected =
            title == QStringLiteral("Long") ? QStringLiteral("62:05") : QStringLiteral("00:00");
        EXPECT_EQ(PlayListText(row, QStringLiteral("Duration")), expected) << title.toStdString();
    }
    const int longRow = AvailableRow(QStringLiteral("Long"));
    EXPECT_EQ(AvailableText(longRow, QStringLiteral("Duration")), QStringLiteral("62:05"));
    EXPECT_EQ(AvailableText(AvailableRow(QStringLiteral("Zero")), QStringLiteral("Duration")),
              QStringLiteral("00:00"));
    EXPECT_EQ(AvailableText(AvailableRow(QStringLiteral("Word")), QStringLiteral("Duration")),
              QStringLiteral("00:00"));

    // Right edge - width - 3 and top + 2 for durations; left + 2 for the others.
    const QRect cell(10, 20, 60, 16);
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    TRecordingEngine &duration = Draw(grid, longRow, QStringLiteral("Duration"), false, cell);
    ASSERT_EQ(duration.Texts.size(), 1);
    const QFontMetricsF metrics(duration.Texts.first().Font, recorder.get());
    const qreal width = metrics.horizontalAdvance(QStringLiteral("62:05"));
    EXPECT_NEAR(duration.Texts.first().Position.x(), cell.left() + cell.width() - width - 3, 1);
    EXPECT_NEAR(duration.Texts.first().Position.y(), cell.top() + 2 + metrics.ascent(), 1);
    TRecordingEngine &title = Draw(grid, longRow, QStringLiteral("Title"), false, cell);
    ASSERT_EQ(title.Texts.size(), 1);
    EXPECT_EQ(title.Texts.first().Position.x(), cell.left() + 2);
}

TEST_F(GridsTest, GenreNamesOnlyInTheAvailableGrid)
{
    PlaylistOf({library.AddSong(QStringLiteral("Blue"), {}, {}, 1, 0),
                library.AddSong(QStringLiteral("None"), {}, {}, 1, 255),
                library.AddSong(QStringLiteral("Odd"), {}, {}, 1, 200),
                library.AddSong(QStringLiteral("Last"), {}, {}, 1, 147)});
    Start();
    TDBGrid *playList = Child<TDBGrid>(window, "grdPlayList");
    EXPECT_EQ(PlayListText(0, QStringLiteral("ID3_Genre")), QStringLiteral("0"));
    EXPECT_EQ(playList->CellText(0, Column(playList, QStringLiteral("Title"))),
              QStringLiteral("Blue"));
    EXPECT_EQ(AvailableText(AvailableRow(QStringLiteral("Blue")), QStringLiteral("ID3_Genre")),
              QStringLiteral("Blues"));
    EXPECT_EQ(AvailableText(AvailableRow(QStringLiteral("Last")), QStringLiteral("ID3_Genre")),
              QStringLiteral("Synthpop"));
    // 255 is "no genre": the empty mark. Other unnamed numbers keep their number.
    EXPECT_EQ(AvailableText(AvailableRow(QStringLiteral("None")), QStringLiteral("ID3_Genre")),
              QStringLiteral("-"));
    EXPECT_EQ(AvailableText(AvailableRow(QStringLiteral("Odd")), QStringLiteral("ID3_Genre")),
              QStringLiteral("200"));
}

TEST_F(GridsTest, EmptyCellsShowADashInTheAvailableGridAndStayAsDrawnInThePlayList)
{
    const qint64 song = library.AddSong(QStringLiteral("Quiet"), {}, {}, 10);
    library.Exec(
        QStringLiteral("UPDATE Playlist_DB SET Duration = NULL, ID3_Artist = '' WHERE Row_ID = %1")
            .arg(song));
    PlaylistOf({song});
    Start();
    EXPECT_EQ(AvailableText(0, QStringLiteral("Duration")), QStringLiteral("-"));
    EXPECT_EQ(AvailableText(0, QStringLiteral("ID3_Artist")), QStringLiteral("-"));
    // The playlist grid's hook leaves an empty cell alone: no fill, no text.
    for (const QString title : {"Duration", "ID3_Artist"}) {
        const TRecordingEngine &engine = Draw(Child<TDBGrid>(window, "grdPlayList"), 0, title);
        EXPECT_TRUE(engine.Texts.isEmpty()) << title.toStdString();
        EXPECT_TRUE(engine.Fills.isEmpty()) << title.toStdString();
    }
}

// Both grids name an untagged song by its file name, in the cell and in its hint.
TEST_F(GridsTest, SongsWithoutATitleShowTheirFileNameWithoutTheExtension)
{
    const qint64 bare = library.AddSong({}, QStringLiteral("/m/"), QStringLiteral("field.rec.mp3"));
    PlaylistOf({bare, library.AddSong(QStringLiteral("Tagged"), QStringLiteral("/m/"),
                                      QStringLiteral("t.mp3"))});
    Start();
    EXPECT_EQ(PlayListText(0, QStringLiteral("Title")), QStringLiteral("field.rec"));
    EXPECT_EQ(PlayListText(1, QStringLiteral("Title")), QStringLiteral("Tagged"));
    const int row = AvailableRow(QStringLiteral("field.rec"));
    EXPECT_EQ(AvailableText(row, QStringLiteral("Title")), QStringLiteral("field.rec"));
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    EXPECT_EQ(grid->model()
                  ->index(row, Column(grid, QStringLiteral("Title")))
                  .data(Qt::ToolTipRole)
                  .toString(),
              QStringLiteral("field.rec"));
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT COUNT(*) FROM Playlist_DB WHERE "
                                              "COALESCE(ID3_Title, '') = ''")),
              1);
}

// Entry numbers of five digits are not cut: the column widens as the playlist grows.
TEST_F(GridsTest, TheNumberColumnFitsTheLargestEntryNumber)
{
    const qint64 song = library.AddSong(QStringLiteral("S"));
    const qint64 list = library.AddPlaylist(QStringLiteral("Long"));
    library.Exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < 10001) INSERT INTO Playlist_Songs(PlayList_ID, "
                                "Song_ID, Sequence) SELECT %1, %2, i FROM n")
                     .arg(list)
                     .arg(song));
    Start();
    TDBGrid *grid = Child<TDBGrid>(window, "grdPlayList");
    const int no = Column(grid, QStringLiteral("No."));
    ASSERT_EQ(grid->model()->rowCount(), 10001);
    const QString last = grid->CellText(10000, no);
    EXPECT_EQ(last, QStringLiteral("10001"));
    const int needed = QFontMetrics(grid->font()).horizontalAdvance(last) + 4;
    EXPECT_GE(grid->columnWidth(no), needed);
}

TEST_F(GridsTest, TheCellIsRefilledWithTheSelectionColourOrBlack)
{
    PlaylistOf({library.AddSong(QStringLiteral("Fill"), {}, {}, 10)});
    Start();
    for (TDBGrid *grid :
         {Child<TDBGrid>(window, "grdPlayList"), Child<TDBGrid>(window, "grdAvailableSongs")}) {
        for (bool selected : {false, true}) {
            const QRect cell(10, 20, 60, 16);
            TRecordingEngine &engine = Draw(grid, 0, QStringLiteral("Title"), selected, cell);
            ASSERT_EQ(engine.Fills.size(), 1);
            EXPECT_EQ(engine.Fills.first().first, QRectF(cell));
            EXPECT_EQ(engine.Fills.first().second,
                      selected ? grid->SelectionColour() : QColor(Qt::black));
        }
    }
}

TEST_F(GridsTest, RealPixelsOfThePlayingRowAreWhiteAndOthersSkyBlue)
{
    PlaylistOf({library.AddSong(QStringLiteral("Alpha"), {}, {}, 61),
                library.AddSong(QStringLiteral("Bravo"), {}, {}, 3725),
                library.AddSong(QStringLiteral("Charlie"), {}, {}, 7)});
    MakePlayable();
    Start();
    Play(1);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TDBGrid *grid = Child<TDBGrid>(window, "grdPlayList");
    grid->selectionModel()->clearSelection();
    const QImage image = grid->grab().toImage();
    const QPoint offset = grid->viewport()->geometry().topLeft();
    for (int row = 0; row < 3; ++row) {
        for (const QString title : {"No.", "Title", "Duration"}) {
            const QRect cell =
                grid->visualRect(grid->model()->index(row, Column(grid, title))).translated(offset);
            ASSERT_FALSE(cell.isEmpty());
            const QColor ink = Brightest(image, cell);
            EXPECT_TRUE(Near(ink, row == 1 ? White : SkyBlue()))
                << title.toStdString() << " row " << row << " " << Describe(ink);
            // Outside the text the cell is black.
            EXPECT_EQ(image.pixelColor(cell.topLeft()), QColor(Qt::black));
        }
    }
}

// WCAG relative luminance and contrast ratio.
double Luminance(const QColor &c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(const QColor &a, const QColor &b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

TEST_F(GridsTest, ColumnTitlesAreReadableAndWhole)
{
    PlaylistOf({library.AddSong(QStringLiteral("Alpha"), {}, {}, 61)});
    Start();
    window->oggleAvailableSongs1Click();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    for (TDBGrid *grid :
         {Child<TDBGrid>(window, "grdPlayList"), Child<TDBGrid>(window, "grdAvailableSongs")}) {
        QHeaderView *header = grid->horizontalHeader();
        const QImage image = header->grab().toImage();
        for (const QString title : {"Title", "Duration"}) {
            const int column = Column(grid, title);
            const QRect section(header->sectionViewportPosition(column) + 1, 1,
                                header->sectionSize(column) - 2, header->height() - 2);
            // The background is the section's most frequent colour, the text its brightest.
            QHash<QRgb, int> counts;
            for (int y = section.top(); y <= section.bottom(); ++y)
                for (int x = section.left(); x <= section.right(); ++x)
                    ++counts[image.pixel(x, y)];
            QRgb background = 0;
            for (auto it = counts.cbegin(); it != counts.cend(); ++it)
                if (it.value() > counts.value(background))
                    background = it.key();
            const QColor ink = Brightest(image, section);
            EXPECT_GE(Contrast(ink, QColor(background)), 4.5)
                << title.toStdString() << ": " << Describe(ink) << " on "
                << Describe(QColor(background));
            EXPECT_TRUE(Near(ink, SkyBlue(), 30)) << Describe(ink);
            // The whole title is painted: its ink is as wide as the title's text.
            int left = section.right(), right = section.left();
            for (int y = section.top(); y <= section.bottom(); ++y) {
                for (int x = section.left(); x <= section.right(); ++x) {
                    if (Contrast(image.pixelColor(x, y), QColor(background)) > 1.5) {
                        left = qMin(left, x);
                        right = qMax(right, x);
                    }
                }
            }
            const int width = QFontMetrics(header->font()).horizontalAdvance(title);
            EXPECT_GE(right - left + 1, width - 3)
                << title.toStdString() << " in a section of " << header->sectionSize(column);
            EXPECT_GT(left, section.left());
            EXPECT_LT(right, section.right());
        }
    }
}

TEST_F(GridsTest, CtrlAWithOtherModifiersSelectsEveryAvailableSongAndAAloneDoesNot)
{
    for (const char *title : {"Alpha", "Bravo", "Charlie", "Delta"})
        library.AddSong(QString::fromLatin1(title));
    Start();
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    window->availableSongs()->First();

    QTest::keyClick(grid, Qt::Key_A);
    EXPECT_NE(grid->SelectedRows().size(), 4);

    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(grid->SelectedRows(), QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(window->availableSongs()->RecNo(), 3);
    EXPECT_EQ(grid->currentIndex().row(), 3);

    grid->selectionModel()->clearSelection();
    window->availableSongs()->First();
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid->SelectedRows().size(), 4);
    EXPECT_EQ(window->availableSongs()->RecNo(), 3);
}

TEST_F(GridsTest, SelectAllRowsIsOneSelectionStepOnAHundredThousandRows)
{
    constexpr int rows = 100000;
    library.Exec(
        QStringLiteral(
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < %1) "
            "INSERT INTO Playlist_DB(Path, Filename, Duration, FileType, ID3_Title, ID3_Genre) "
            "SELECT '/music/', 'song' || x || '.mp3', x % 600, 1, 'Song ' || x, x % 148 FROM n")
            .arg(rows));
    Start();
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    // Counted while the first rows show.
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->model()->rowCount() == rows; }, 30000));
    grid->selectionModel()->select(grid->model()->index(5, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QSignalSpy changes(grid->selectionModel(), &QItemSelectionModel::selectionChanged);
    window->SelectAllRows(grid); // timed in bench_grids
    const QItemSelection selection = grid->selectionModel()->selection();
    ASSERT_EQ(selection.size(), 1);
    EXPECT_EQ(selection.first().top(), 0);
    EXPECT_EQ(selection.first().bottom(), rows - 1);
    EXPECT_LE(changes.size(), 2); // the clearing and the one selection, no signal per row
    EXPECT_EQ(window->availableSongs()->RecNo(), rows - 1);
}

TEST_F(GridsTest, TheSearchBoxNarrowsTheAvailableSongsAsTypedAndEscapeClearsIt)
{
    library.AddSong(QStringLiteral("Blue in Green"), {}, {}, 337, 8, QStringLiteral("Miles"));
    library.AddSong(QStringLiteral("So What"), {}, {}, 562, 8, QStringLiteral("Miles"));
    library.AddSong(QStringLiteral("Hey Joe"), {}, {}, 210, 17, QStringLiteral("Jimi"));
    library.AddSong(QStringLiteral(u"Caf\u00e9 Blue"), {}, {}, 100, 17, QStringLiteral("Band"));
    Start();
    window->oggleAvailableSongs1Click();
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    ASSERT_EQ(grid->model()->rowCount(), 4);
    Child<TSearchEdit>(window, "edSearch")->setFocus();
    QTest::keyClicks(Child<TSearchEdit>(window, "edSearch"), QStringLiteral("BLU"));
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(grid->CellText(0, Column(grid, QStringLiteral("Title"))),
              QStringLiteral("Blue in Green"));
    QTest::keyClicks(Child<TSearchEdit>(window, "edSearch"), QStringLiteral(" miles"));
    ASSERT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(AvailableText(0, QStringLiteral("Duration")), QStringLiteral("05:37"));
    QTest::keyClick(Child<TSearchEdit>(window, "edSearch"), Qt::Key_Escape);
    EXPECT_EQ(Child<TSearchEdit>(window, "edSearch")->text(), QString());
    EXPECT_EQ(grid->model()->rowCount(), 4);
    QTest::keyClicks(Child<TSearchEdit>(window, "edSearch"), QStringLiteral("nothing"));
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(GridsTest, AClickOnAnAvailableTitleSortsByItAndASecondClickReverses)
{
    library.AddSong(QStringLiteral("Blue in Green"), {}, {}, 337);
    library.AddSong(QStringLiteral("So What"), {}, {}, 562);
    library.AddSong(QStringLiteral("Hey Joe"), {}, {}, 210);
    library.AddSong(QStringLiteral("all blues"), {}, {}, 400);
    const qint64 list = PlaylistOf({4, 1, 3});
    Q_UNUSED(list);
    Start();
    window->oggleAvailableSongs1Click();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    QHeaderView *header = grid->horizontalHeader();
    auto titles = [&] {
        QStringList cells;
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            cells << grid->CellText(row, Column(grid, QStringLiteral("Title")));
        return cells;
    };
    auto clickTitle = [&](const QString &title) {
        const int column = Column(grid, title);
        grid->scrollTo(grid->model()->index(0, column));
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 4, header->height() / 2));
    };
    // Opened by title: the title shows it.
    EXPECT_EQ(titles(), QStringList({"all blues", "Blue in Green", "Hey Joe", "So What"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), Column(grid, QStringLiteral("Title")));
    clickTitle(QStringLiteral("Duration"));
    EXPECT_EQ(titles(), QStringList({"Hey Joe", "Blue in Green", "all blues", "So What"}));
    EXPECT_EQ(header->sortIndicatorSection(), Column(grid, QStringLiteral("Duration")));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickTitle(QStringLiteral("Duration"));
    EXPECT_EQ(titles(), QStringList({"So What", "all blues", "Blue in Green", "Hey Joe"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    const QString target = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!target.isEmpty()) {
        EXPECT_TRUE(window->grab().save(target + QStringLiteral("/sorted-by-duration.png")));
    }
    clickTitle(QStringLiteral("Title"));
    EXPECT_EQ(titles(), QStringList({"all blues", "Blue in Green", "Hey Joe", "So What"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // The search keeps the order.
    clickTitle(QStringLiteral("Title"));
    QTest::keyClicks(Child<TSearchEdit>(window, "edSearch"), QStringLiteral("blue"));
    EXPECT_EQ(titles(), QStringList({"Blue in Green", "all blues"}));
    // The playlist keeps its stored order.
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->CellText(0, 1), QStringLiteral("all blues"));
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->CellText(2, 1), QStringLiteral("Hey Joe"));
    if (!target.isEmpty()) {
        EXPECT_TRUE(window->grab().save(target + QStringLiteral("/search-and-sort.png")));
    }
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(GridsTest, ManySongsAreAddedInOneTransactionThatStopKeepsConsistent)
{
    library.Exec(QStringLiteral(
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 3000) "
        "INSERT INTO Playlist_DB(Path, Filename, Duration, ID3_Title) "
        "SELECT '/music/', 'song' || x || '.mp3', x % 600, 'Song ' || x FROM n"));
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    Start();
    window->oggleAvailableSongs1Click();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TDBGrid *grid = Child<TDBGrid>(window, "grdAvailableSongs");
    QList<int> rows;
    for (int row = 0; row < 3000; ++row)
        rows << row;
    const QList<QVariant> shown =
        window->availableSongs()->RowValues(rows, QStringLiteral("Row_ID"));

    // Stop pressed as soon as the progress shows: the songs added so far stay, numbered on.
    bool adding = true;
    int stops = 0;
    std::function<void()> stopWhenShown = [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *progress = qobject_cast<TfrmAddSongsProgress *>(widget);
            if (progress && progress->isVisible()) {
                ++stops;
                QTest::mouseClick(progress->findChild<QPushButton *>(QStringLiteral("btnStop")),
                                  Qt::LeftButton);
                return;
            }
        }
        if (adding)
            QTimer::singleShot(0, window.get(), stopWhenShown);
    };
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    QTimer::singleShot(0, window.get(), stopWhenShown);
    QTest::mouseClick(Child<QToolButton>(window, "btnAddSongs"), Qt::LeftButton);
    adding = false;
    EXPECT_EQ(stops, 1);
    QList<QPair<qint64, int>> stored = library.StoredEntries(list);
    ASSERT_GT(stored.size(), 0);
    ASSERT_LT(stored.size(), 3000);
    for (int i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].first, shown[i].toLongLong()) << i;
        EXPECT_EQ(stored[i].second, i + 1) << i;
    }
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->model()->rowCount(), stored.size());
    EXPECT_EQ(window->playlistSongs()->RecNo(), stored.size() - 1);
    EXPECT_FALSE(window->library().InTransaction());

    // Left alone, every song goes in.
    const int before = int(stored.size());
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    QTest::mouseClick(Child<QToolButton>(window, "btnAddSongs"), Qt::LeftButton);
    stored = library.StoredEntries(list);
    ASSERT_EQ(stored.size(), before + 3000);
    EXPECT_EQ(stored.last(), qMakePair(shown.last().toLongLong(), before + 3000));
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->model()->rowCount(), before + 3000);
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(GridsTest, HoverImagesFollowTheMouseAndReturnWhenAListedControlSeesIt)
{
    Start();
    TfrmMain *w = window.get();
    struct Pair {
        QToolButton *Button;
        QPixmap Normal;
        QPixmap Over;
    };
    const auto pair = [&](const char *name, TTransportSymbol symbol) {
        return Pair{Child<QToolButton>(w, name), TransportImage(symbol, false),
                    TransportImage(symbol, true)};
    };
    QToolButton *btnFilter = Child<QToolButton>(w, "btnFilter");
    const QList<Pair> pairs = {pair("btnPrevious", TTransportSymbol::Previous),
                               pair("btnPlay", TTransportSymbol::Play),
                               pair("btnNext", TTransportSymbol::Next),
                               pair("btnPause", TTransportSymbol::Pause),
                               pair("btnStop", TTransportSymbol::Stop),
                               {btnFilter, FilterImage(false), FilterImage(true)}};
    for (const Pair &pair : pairs) {
        const QSize size = pair.Button == btnFilter ? QSize(69, 21) : QSize(21, 21);
        EXPECT_EQ(pair.Normal.size(), size);
        EXPECT_EQ(pair.Over.size(), size);
        EXPECT_NE(pair.Normal.toImage(), pair.Over.toImage());
        EXPECT_EQ(pair.Button->iconSize(), size);
    }
    // Only the button under the mouse shows its hover image.
    auto expectShown = [&](const char *hoveredName) {
        QToolButton *hovered = hoveredName ? Child<QToolButton>(w, hoveredName) : nullptr;
        for (const Pair &pair : pairs)
            EXPECT_TRUE(Shows(pair.Button, pair.Button == hovered ? pair.Over : pair.Normal))
                << pair.Button->objectName().toStdString() << " with "
                << (hoveredName ? hoveredName : "none");
    };
    const auto moveOver = [&](const char *name) { MoveMouseOver(Child<QWidget>(w, name)); };
    const auto moveOverGrid = [&](const char *name) {
        MoveMouseOver(Child<TDBGrid>(w, name)->viewport());
    };
    expectShown(nullptr);

    moveOver("btnPlay");
    expectShown("btnPlay");
    moveOver("btnStop");
    expectShown("btnStop");
    // A control outside the table leaves the hover image in place.
    moveOver("gbPlaylists");
    expectShown("btnStop");
    moveOver("pnlButtons");
    expectShown(nullptr);

    moveOver("btnFilter");
    expectShown("btnFilter");
    moveOverGrid("grdAvailableSongs");
    expectShown(nullptr);
    moveOver("btnPrevious");
    expectShown("btnPrevious");
    moveOverGrid("grdPlayList");
    expectShown(nullptr);
    moveOver("btnNext");
    expectShown("btnNext");
    moveOver("pbSongProgress");
    expectShown(nullptr);
    moveOver("btnPause");
    expectShown("btnPause");
    moveOver("gbAvailableSongs");
    expectShown(nullptr);
}

// With QUILLMERE_SCREENSHOT set to a file name, saves the main window with the available
// songs shown and a playing row, for a look by eye.
TEST_F(GridsTest, Screenshot)
{
    const QString target = qEnvironmentVariable("QUILLMERE_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "QUILLMERE_SCREENSHOT not set";
    const QList<qint64> songs = {
        library.AddSong(QStringLiteral("Blue in Green"), {}, {}, 337, 8, QStringLiteral("Miles")),
        library.AddSong(QStringLiteral("So What"), {}, {}, 562, 8, QStringLiteral("Miles")),
        library.AddSong(QStringLiteral("Hey Joe"), {}, {}, 210, 17, QStringLiteral("Jimi")),
        library.AddSong(QStringLiteral("Long Jam"), {}, {}, 3725, 0, QStringLiteral("Band")),
        library.AddSong(QStringLiteral("No Tag"), {}, {}, 95, 255),
        library.AddSong(QStringLiteral("Teardrop"), {}, {}, 330, 26)};
    library.Exec(
        QStringLiteral("UPDATE Playlist_DB SET Duration = NULL WHERE ID3_Title = 'Hey Joe'"));
    PlaylistOf(songs);
    MakePlayable();
    Start();
    window->oggleAvailableSongs1Click();
    Child<QAction>(window, "ShowGenres1")->trigger();
    Play(1);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Child<TDBGrid>(window, "grdAvailableSongs")
        ->selectionModel()
        ->select(Child<TDBGrid>(window, "grdAvailableSongs")->model()->index(1, 0),
                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Child<TDBGrid>(window, "grdPlayList")
        ->selectionModel()
        ->select(Child<TDBGrid>(window, "grdPlayList")->model()->index(3, 0),
                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    MoveMouseOver(Child<QToolButton>(window, "btnPlay"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return Shows(Child<QToolButton>(window, "btnPlay"),
                     TransportImage(TTransportSymbol::Play, true));
    }));
    ASSERT_TRUE(window->grab().save(target));
}

} // namespace
