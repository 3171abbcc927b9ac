// The window follows its library's folders while it runs.
#include "app/Forms.h"
#include "app/UMain.h"
#include "controls/DBGrid.h"
#include "data/URegistry.h"
#include "dialogs/UOptions.h"
#include "import/ImportWalker.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace
{

void Song(const QString &file, const QString &title, int frames)
{
    SilentMp3Options options;
    options.Id3v1 = true;
    options.Frames = frames;
    QByteArray bytes = SilentMp3(options);
    QByteArray field = title.toLatin1();
    field.resize(30, '\0');
    bytes.replace(bytes.size() - 125, 30, field);
    WriteAll(file, bytes);
}

QStringList Titles(TDataSet *songs, const QList<int> &rows)
{
    QStringList titles;
    for (const int row : rows)
        titles << songs->DisplayText(row, songs->FieldIndex(QStringLiteral("ID3_Title")));
    return titles;
}

QList<int> AllRows(TDataSet *songs)
{
    QList<int> rows;
    for (int row = 0; row < songs->RecordCount(); ++row)
        rows << row;
    return rows;
}

void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

TEST(MainWindowFollow, NewSongsAppearWithoutMovingTheCurrentRowOrTheSelection)
{
    TestLibrary library;
    ScriptedMessages messages;
    QTemporaryDir music;
    Song(music.filePath(QStringLiteral("b.mp3")), QStringLiteral("Bravo"), 10);
    Song(music.filePath(QStringLiteral("c.mp3")), QStringLiteral("Charlie"), 11);
    Song(music.filePath(QStringLiteral("d.mp3")), QStringLiteral("Delta"), 12);
    {
        TConnection connection;
        connection.ConnectionString = library.ConnectionString();
        connection.Open();
        TImportWalker(connection).ImportFolder(music.path());
    }
    TMainWindowPtr window = StartMainWindow();
    TfrmOptions options(window.get());
    ShowChangesIn(window.get(), &options);
    EXPECT_TRUE(options.cbFollowFolders->isChecked());
    ASSERT_TRUE(window->followingFolders());
    window->show();
    QTest::mouseClick(Child<QToolButton>(window, "btnToggleAvailableSongs"), Qt::LeftButton);
    TDataSet *songs = window->availableSongs();
    ASSERT_EQ(Titles(songs, AllRows(songs)), QStringList({"Bravo", "Charlie", "Delta"}));
    songs->SetRecNo(1);
    Child<TDBGrid>(window, "grdAvailableSongs")->setFocus();
    auto *selection = Child<TDBGrid>(window, "grdAvailableSongs")->selectionModel();
    for (const int row : {1, 2})
        selection->select(Child<TDBGrid>(window, "grdAvailableSongs")->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);

    // A song comes in while the window runs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->watchingFolders(); }, 30000));
    Song(music.filePath(QStringLiteral("a.mp3")), QStringLiteral("Alpha"), 13);
    ASSERT_TRUE(QTest::qWaitFor([&] { return songs->RecordCount() == 4; }, 30000));
    QStringList titles = Titles(songs, AllRows(songs));
    titles.sort();
    EXPECT_EQ(titles, QStringList({"Alpha", "Bravo", "Charlie", "Delta"}));
    EXPECT_EQ(songs->AsString(QStringLiteral("ID3_Title")), QStringLiteral("Charlie"));
    EXPECT_EQ(Titles(songs, Child<TDBGrid>(window, "grdAvailableSongs")->SelectedRows()),
              QStringList({"Charlie", "Delta"}));
    Screenshot(*window, QStringLiteral("follow-1-new-song"));

    // Off, kept in the settings: the folders are no longer followed.
    options.show();
    QTest::mouseClick(options.cbFollowFolders, Qt::LeftButton);
    Screenshot(options, QStringLiteral("follow-2-options"));
    EXPECT_FALSE(options.cbFollowFolders->isChecked());
    EXPECT_EQ(ReadSetting(QuillmereKeyPath, QStringLiteral("FollowFolders"), false),
              QStringLiteral("N"));
    EXPECT_FALSE(window->followingFolders());
    TfrmOptions again;
    EXPECT_FALSE(again.cbFollowFolders->isChecked());
    QTest::mouseClick(options.cbFollowFolders, Qt::LeftButton);
    EXPECT_TRUE(window->followingFolders());
}

} // namespace
