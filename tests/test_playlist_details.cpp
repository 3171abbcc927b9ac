#include "app/Forms.h"
#include "app/UMain.h"
#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "data/DataSet.h"
#include "dialogs/UPlaylistDetails.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestLibrary.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

namespace
{

// Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// Counts the statements run on a connection while it lives.
class StatementCounter
{
public:
    explicit StatementCounter(TConnection &connection) : m_connection(connection)
    {
        m_connection.OnStatement = [this](const QString &) { ++m_count; };
    }
    ~StatementCounter() { m_connection.OnStatement = {}; }
    int Count() const { return m_count; }

private:
    TConnection &m_connection;
    int m_count = 0;
};

class PlaylistDetailsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        dialog.reset();
        window.reset();
        frmMain = nullptr;
        frmPlaylistDetails = nullptr;
    }
    void Start()
    {
        window = StartMainWindow();
        dialog.reset();
        Form();
    }
    // The dialog on the window's library, created when first needed.
    TfrmPlaylistDetails &Form()
    {
        if (!dialog) {
            dialog = std::make_unique<TfrmPlaylistDetails>(window ? &window->library() : nullptr);
            if (window)
                ShowChangesIn(window.get(), dialog.get());
            frmPlaylistDetails = dialog.get();
        }
        return *dialog;
    }
    // Runs a menu action that shows the dialog; `whileShown` acts on it. Returns false when
    // the dialog did not come up.
    bool WhileShown(QAction *item, const std::function<void()> &whileShown)
    {
        bool shown = false;
        QTimer::singleShot(0, &Form(), [&] {
            shown = Form().isVisible();
            Screenshot(Form(), QStringLiteral("playlist_details"));
            whileShown();
            if (Form().isVisible())
                Form().done(mrCancel); // a failed OK leaves it open
        });
        item->trigger();
        return shown;
    }
    QVariant Stored(qint64 id, const QString &column)
    {
        TDataSet query(&window->library());
        query.SetCommandText(
            QStringLiteral("SELECT %1 FROM Playlists WHERE PlayList_ID = %2").arg(column).arg(id));
        query.Open();
        return query.IsEmpty() ? QVariant() : query.FieldValue(column);
    }
    QStringList Entries() const
    {
        QStringList items;
        for (int i = 0; i < Child<TCompletingComboBox>(window, "ccbPlayLists")->count(); ++i)
            items << Child<TCompletingComboBox>(window, "ccbPlayLists")->itemText(i);
        return items;
    }

    TestLibrary library;
    ScriptedMessages messages;
    TMainWindowPtr window;
    std::unique_ptr<TfrmPlaylistDetails> dialog;
};

TEST_F(PlaylistDetailsTest, NameAndDescriptionLimits)
{
    QTest::keyClicks(Form().findChild<QLineEdit *>("edName"), QString(30, QLatin1Char('n')));
    EXPECT_EQ(Form().edName->text(), QString(25, QLatin1Char('n')));
    Form().findChild<QLineEdit *>("edDescription")->setText(QString(300, QLatin1Char('d')));
    EXPECT_EQ(Form().edDescription->text().size(), 255);
}

TEST_F(PlaylistDetailsTest, OkWithoutChangesRunsNoStatement)
{
    library.AddPlaylist(QStringLiteral("Rock"), QStringLiteral("Loud"));
    Start();
    int statements = -1;
    ASSERT_TRUE(WhileShown(Child<QAction>(window, "Properties3"), [&] {
        EXPECT_FALSE(Form().lblPlaylistID->isHidden());
        EXPECT_EQ(Form().lblPlaylistID->text(), "1");
        EXPECT_EQ(Form().edName->text(), "Rock");
        EXPECT_EQ(Form().edDescription->text(), "Loud");
        StatementCounter counter(window->library());
        Form().btnOK->click();
        statements = counter.Count();
    }));
    EXPECT_EQ(statements, 0);
    EXPECT_EQ(Form().result(), mrOk);
    EXPECT_EQ(Entries(), QStringList{"[1] - Rock"});
}

TEST_F(PlaylistDetailsTest, ChangesRewriteTheRowAndTheChooserEntry)
{
    library.AddPlaylist(QStringLiteral("B"));
    library.AddPlaylist(QStringLiteral("Rock"), QStringLiteral("Loud"));
    library.AddPlaylist(QStringLiteral("Z"));
    Start();
    Child<TCompletingComboBox>(window, "ccbPlayLists")->setCurrentIndex(1);
    window->ccbPlayListsChange();
    ASSERT_EQ(window->CurrentPlaylistId(), 2);

    WhileShown(Child<QAction>(window, "Properties3"), [&] {
        Form().edDescription->setText(QStringLiteral("loud")); // case counts as a change
        Form().btnOK->click();
    });
    EXPECT_EQ(Stored(2, QStringLiteral("Description")).toString(), "loud");
    EXPECT_EQ(Stored(2, QStringLiteral("Name")).toString(), "Rock");
    EXPECT_EQ(Entries(), QStringList({"[1] - B", "[2] - Rock", "[3] - Z"}));
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(), "[2] - Rock");

    WhileShown(Child<QAction>(window, "Properties3"), [&] {
        Form().edName->setText(QStringLiteral("Jazz"));
        Form().btnOK->click();
    });
    EXPECT_EQ(Stored(2, QStringLiteral("Name")).toString(), "Jazz");
    EXPECT_EQ(Entries(), QStringList({"[1] - B", "[2] - Jazz", "[3] - Z"}));
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(), "[2] - Jazz");
    EXPECT_EQ(window->CurrentPlaylistId(), 2);

    // Cancel keeps everything.
    WhileShown(Child<QAction>(window, "Properties3"), [&] {
        Form().edName->setText(QStringLiteral("Other"));
        Form().btnCancel->click();
    });
    EXPECT_EQ(Form().result(), mrCancel);
    EXPECT_EQ(Stored(2, QStringLiteral("Name")).toString(), "Jazz");
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(), "[2] - Jazz");
}

TEST_F(PlaylistDetailsTest, NewPlaylistOpensEmptyWithItsOwnNumber)
{
    for (int i = 1; i <= 6; ++i)
        library.AddEntry(library.AddPlaylist(QStringLiteral("P%1").arg(i)),
                         library.AddSong(QStringLiteral("S%1").arg(i)), 1);
    Start();
    ASSERT_EQ(window->playlistSongs()->RecordCount(), 1);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

    ASSERT_TRUE(WhileShown(Child<QAction>(window, "NewPlaylist1"), [&] {
        EXPECT_TRUE(Form().lblPlaylistID->isHidden());
        EXPECT_EQ(Form().edName->text(), "");
        EXPECT_EQ(Form().edDescription->text(), "");
        QTest::keyClicks(Form().edName, QStringLiteral("Road trip"));
        Form().edDescription->setText(QStringLiteral("Long drives"));
        Form().btnOK->click();
    }));
    EXPECT_EQ(Form().result(), mrOk);
    EXPECT_EQ(Stored(7, QStringLiteral("Name")).toString(), "Road trip");
    EXPECT_EQ(Stored(7, QStringLiteral("Description")).toString(), "Long drives");
    const QDateTime created = Stored(7, QStringLiteral("Date_Created")).toDateTime();
    EXPECT_TRUE(created >= before && created <= QDateTime::currentDateTime())
        << created.toString().toStdString();
    EXPECT_EQ(Entries().last(), "[7] - Road trip");
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(), "[7] - Road trip");
    EXPECT_EQ(window->CurrentPlaylistId(), 7);
    EXPECT_TRUE(window->playlistSongs()->Active());
    EXPECT_EQ(window->playlistSongs()->RecordCount(), 0);
    EXPECT_EQ(Form().LastPlaylistID(), 7);
}

TEST_F(PlaylistDetailsTest, ANameOfBlanksOrNoneIsRefusedAndTheDialogStays)
{
    library.AddPlaylist(QStringLiteral("First"));
    Start();
    bool stayed = false;
    ASSERT_TRUE(WhileShown(Child<QAction>(window, "NewPlaylist1"), [&] {
        QTest::keyClicks(Form().edName, QStringLiteral("   "));
        QTest::mouseClick(Form().btnOK, Qt::LeftButton);
        stayed = Form().isVisible();
        Screenshot(Form(), QStringLiteral("playlist_details-no-name"));
    }));
    EXPECT_TRUE(stayed);
    EXPECT_EQ(messages.Texts(TMessageKind::Warning),
              QStringList{QStringLiteral("A playlist needs a name.")});
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlists")), 1);
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("[1] - First")});

    // Renaming to nothing is refused the same way.
    messages.Clear();
    ASSERT_TRUE(WhileShown(Child<QAction>(window, "Properties3"), [&] {
        Form().edName->clear();
        QTest::mouseClick(Form().btnOK, Qt::LeftButton);
        stayed = Form().isVisible();
    }));
    EXPECT_TRUE(stayed);
    EXPECT_EQ(messages.Texts(TMessageKind::Warning).size(), 1);
    EXPECT_EQ(Stored(1, QStringLiteral("Name")).toString(), QStringLiteral("First"));
}

TEST_F(PlaylistDetailsTest, NewPlaylistTakesTheRowItInsertedNotTheLargestId)
{
    library.AddPlaylist(QStringLiteral("First"));
    // Another program adds a playlist right after ours.
    library.Exec(QStringLiteral("CREATE TRIGGER Meanwhile AFTER INSERT ON Playlists "
                                "WHEN NEW.Name = 'Mine' BEGIN "
                                "INSERT INTO Playlists(Name) VALUES('Theirs'); END"));
    Start();
    WhileShown(Child<QAction>(window, "NewPlaylist1"), [&] {
        Form().edName->setText(QStringLiteral("Mine"));
        Form().btnOK->click();
    });
    EXPECT_EQ(Form().LastPlaylistID(), 3);
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(), "[2] - Mine");
    EXPECT_EQ(window->CurrentPlaylistId(), 2);
}

TEST_F(PlaylistDetailsTest, DeletedPlaylistOpensWithEmptyFields)
{
    library.AddPlaylist(QStringLiteral("Gone"), QStringLiteral("Soon"));
    Start();
    Form().lblDateCreated->setText(QStringLiteral("stale"));
    library.Exec(QStringLiteral("DELETE FROM Playlists"));
    WhileShown(Child<QAction>(window, "Properties3"), [&] {
        EXPECT_EQ(Form().lblPlaylistID->text(), "1");
        EXPECT_EQ(Form().edName->text(), "");
        EXPECT_EQ(Form().edDescription->text(), "");
        EXPECT_EQ(Form().lblDateCreated->text(), "");
        EXPECT_EQ(Form().LoadedName, "");
    });
}

TEST_F(PlaylistDetailsTest, PropertiesWithoutAPlaylistDoesNothing)
{
    Start();
    ASSERT_EQ(window->CurrentPlaylistId(), -1);
    StatementCounter counter(window->library());
    EXPECT_FALSE(WhileShown(Child<QAction>(window, "Properties3"), [] {}));
    EXPECT_EQ(counter.Count(), 0);
}

TEST_F(PlaylistDetailsTest, CreationTexts)
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    Start();
    WhileShown(Child<QAction>(window, "NewPlaylist1"), [&] {
        EXPECT_EQ(Form().lblDateCreated->text(),
                  "Created on the " + locale.toString(now.date(), QLocale::ShortFormat));
        EXPECT_FALSE(Form().lblDateCreated->text().endsWith(QLatin1Char('.')));
        Form().edName->setText(QStringLiteral("Fresh"));
        Form().btnOK->click();
    });

    // Opened again, the stored date and time end with a full stop.
    library.Exec(QStringLiteral(
        "UPDATE Playlists SET Date_Created = '2004-03-09 14:05:06' WHERE PlayList_ID = 1"));
    const QDateTime stored(QDate(2004, 3, 9), QTime(14, 5, 6));
    // The long time, without the time zone's name.
    WhileShown(Child<QAction>(window, "Properties3"), [&] {
        const QString text = Form().lblDateCreated->text();
        EXPECT_TRUE(text.startsWith("Created on the " +
                                    locale.toString(stored.date(), QLocale::ShortFormat) + " "))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(QStringLiteral("05:06.")) ||
                    text.endsWith(QStringLiteral("05:06 PM.")))
            << text.toStdString();
        EXPECT_FALSE(text.contains(stored.timeZoneAbbreviation())) << text.toStdString();
    });

    EXPECT_EQ(TfrmPlaylistDetails::StoredDateText(QDateTime(QDate(2004, 3, 9), QTime(0, 0))),
              "Created on the " + locale.toString(QDate(2004, 3, 9), QLocale::ShortFormat) + ".");
    EXPECT_EQ(TfrmPlaylistDetails::StoredDateText(QVariant()), "Created on the .");
}

TEST_F(PlaylistDetailsTest, FailedStatementLeavesTheDialogOpen)
{
    library.AddPlaylist(QStringLiteral("Rock"));
    Start();
    library.Exec(QStringLiteral("CREATE TRIGGER NoRenames BEFORE UPDATE ON Playlists "
                                "BEGIN SELECT RAISE(ABORT, 'renames are locked'); END"));
    WhileShown(Child<QAction>(window, "Properties3"), [&] {
        Form().edName->setText(QStringLiteral("Pop"));
        EXPECT_THROW(Form().btnOKClick(), EDatabaseError);
        EXPECT_TRUE(Form().isVisible());
        EXPECT_EQ(Form().edName->text(), "Pop");
    });
    EXPECT_EQ(Child<TCompletingComboBox>(window, "ccbPlayLists")->currentText(), "[1] - Rock");
}

} // namespace
