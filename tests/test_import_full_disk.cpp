#include "app/Forms.h"
#include "app/UMain.h"
#include "base/Errors.h"
#include "data/DataSet.h"
#include "data/ProgramDirectory.h"
#include "data/SongWriter.h"
#include "dialogs/UImportSongs.h"
#include "import/ImportWalker.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/MusicTree.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SmallVolume.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <vector>

namespace
{

TRun RunImport(const QString &library, const QString &folder)
{
    return RunProgram(QStringLiteral(QUILLMERE_LIB_BINARY),
                      {QStringLiteral("--library"), library, QStringLiteral("import"), folder});
}

// ---- A library on a full disk

// A library file on a volume with room for a few hundred songs, and more files than fit.
class FullDiskTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!volume.Available())
            GTEST_SKIP() << volume.Reason().toStdString();
        CreateLibrary(file);
        for (int i = 0; i < Files; ++i)
            tree.Add(QStringLiteral("a fairly long folder name for every song/song %1.mp3")
                         .arg(i, 4, 10, QLatin1Char('0')));
    }
    qint64 Stored()
    {
        TConnection connection;
        connection.SetLibraryAddress(file);
        connection.Open();
        TDataSet q(&connection);
        q.SetCommandText(QStringLiteral("SELECT count(*) AS n FROM Playlist_DB"));
        q.Open();
        return q.AsInteger(QStringLiteral("n"));
    }

    static constexpr int Files = 2000;
    TestLibrary library; // the program's folder, away from the volume
    SmallVolume volume{400};
    QString file = volume.Folder() + QStringLiteral("quillmeredb.mdb");
    MusicTree tree;
};

TEST_F(FullDiskTest, TheWalkStopsWithOneMessageNamingOnlyTheOpenBatch)
{
    TConnection connection;
    connection.SetLibraryAddress(file);
    connection.Open();
    std::vector<TImportProblem> problems;
    TImportCounts n;
    {
        // Gone before the connection closes: its statements hold the library open.
        TImportWalker walker(connection);
        walker.OnProblem = [&](const TImportProblem &p) { problems.push_back(p); };
        try {
            walker.ImportFolder(tree.Root());
            FAIL() << "the walk went on past a full disk";
        } catch (const ELibraryUnwritable &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("no room left")))
                << e.Message().toStdString();
        }
        n = walker.Counts();
    }
    EXPECT_LT(n.Done, Files - RowsPerTransaction) << "the walk stopped at the first full write";
    EXPECT_GT(n.Imported, 0);
    EXPECT_LE(problems.size(), size_t(RowsPerTransaction));
    for (const TImportProblem &p : problems)
        EXPECT_EQ(p.Kind, TImportProblemKind::RowLost) << p.Reason.toStdString();
    connection.Close();
    EXPECT_EQ(Stored(), n.Imported);
}

TEST_F(FullDiskTest, TheCommandLineSaysSoOnceAndStops)
{
    const TRun run = RunImport(file, tree.Root());
    EXPECT_EQ(run.ExitCode, 1);
    const QStringList lines = Lines(run.Err);
    // The message, and at most one line for the rows of the batch it undid.
    EXPECT_LE(lines.size(), 2) << run.Err.left(2000).toStdString();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().contains(QStringLiteral("no room left")))
        << run.Err.right(500).toStdString();
    EXPECT_GT(Stored(), 0);
}

TEST(ImportDialogFullDisk, OneMessageAndTheImportStops)
{
    SmallVolume volume(400);
    if (!volume.Available())
        GTEST_SKIP() << volume.Reason().toStdString();
    TestLibrary library;
    MusicTree tree;
    for (int i = 0; i < 2000; ++i)
        tree.Add(QStringLiteral("a fairly long folder name for every song/song %1.mp3")
                     .arg(i, 4, 10, QLatin1Char('0')));
    CreateLibrary(volume.Folder() + QStringLiteral("quillmeredb.mdb"));
    SetProgramDirectoryOverride(volume.Folder());
    ScriptedMessages messages;
    TMainWindowPtr window = StartMainWindow();
    TfrmImportSongs dialog(&window->library());
    ShowChangesIn(window.get(), &dialog);
    dialog.show();
    dialog.dlbFolder->SetDirectory(tree.Root());
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    const QStringList errors = messages.Texts(TMessageKind::Error);
    ASSERT_EQ(errors.size(), 1) << errors.join('|').left(2000).toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("no room left")));
    EXPECT_TRUE(messages.Texts(TMessageKind::Information).isEmpty());
    // What was stored is shown.
    EXPECT_GT(window->songCount(), 0);
    EXPECT_EQ(dialog.result(), int(mrOk));
    window.reset();
}

} // namespace
