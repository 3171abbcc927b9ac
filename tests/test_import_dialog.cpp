#include "app/Forms.h"
#include "app/UMain.h"
#include "base/Errors.h"
#include "data/URegistry.h"
#include "dialogs/UImportSongs.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/MusicTree.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace
{

// Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// ---- The dialog over the main window

class ImportDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *name : {"ImportDrive", "ImportPath", "Imported"})
            WriteSetting(QuillmereKeyPath, QString::fromLatin1(name), QString(), false);
        window = StartMainWindow();
        dialog = std::make_unique<TfrmImportSongs>(&window->library());
        ShowChangesIn(window.get(), dialog.get());
    }
    // Starts the window again as at a user's first start, before any import.
    void StartFirstTime()
    {
        dialog.reset();
        window.reset();
        window = StartMainWindowAcceptingNotice();
        dialog = std::make_unique<TfrmImportSongs>(&window->library());
        ShowChangesIn(window.get(), dialog.get());
    }
    void TearDown() override
    {
        dialog.reset();
        window.reset();
        frmMain = nullptr;
    }
    int RunImport(const QString &folder)
    {
        dialog->dlbFolder->SetDirectory(folder);
        dialog->setResult(0);
        dialog->btnOKClick();
        return dialog->result();
    }
    QString Status() const { return dialog->StatusBar1->currentMessage(); }
    static QString Setting(const char *name)
    {
        return ReadSetting(QuillmereKeyPath, QString::fromLatin1(name), false);
    }

    TestLibrary library;
    ScriptedMessages messages;
    MusicTree tree;
    TMainWindowPtr window;
    std::unique_ptr<TfrmImportSongs> dialog;
};

TEST_F(ImportDialogTest, FolderAndFileListsShowWhatTheWalkWillSee)
{
    tree.Add(QStringLiteral("b.mp3"));
    tree.Add(QStringLiteral("A.MP3"));
    tree.Add(QStringLiteral(".h.mp3"));
    tree.Add(QStringLiteral("n.mp3.bak"));
    tree.AddFolder(QStringLiteral("zz"));
    tree.AddFolder(QStringLiteral("Mm"));
    tree.AddFolder(QStringLiteral(".hid"));
    dialog->dlbFolder->SetDirectory(tree.Root());

    QStringList files;
    for (int i = 0; i < dialog->flbFile->count(); ++i)
        files << dialog->flbFile->item(i)->text();
    EXPECT_EQ(files, (QStringList{"A.MP3", "b.mp3"}));

    const int depth = int(tree.Root().count(QLatin1Char('/')));
    ASSERT_EQ(dialog->dlbFolder->count(), depth + 1 + 2);
    EXPECT_EQ(dialog->dlbFolder->item(0)->data(Qt::UserRole).toString(), QStringLiteral("/"));
    EXPECT_EQ(dialog->dlbFolder->currentRow(), depth);
    EXPECT_EQ(dialog->dlbFolder->item(depth + 1)->data(Qt::UserRole).toString(),
              tree.Path(QStringLiteral("Mm")));
    EXPECT_EQ(dialog->dlbFolder->item(depth + 2)->text().trimmed(), QStringLiteral("zz"));

    // Opening a subfolder makes it current; the file list follows.
    dialog->dlbFolder->setCurrentRow(depth + 2);
    dialog->dlbFolder->OpenCurrent();
    EXPECT_EQ(dialog->dlbFolder->Directory(), tree.Path(QStringLiteral("zz")));
    EXPECT_EQ(dialog->flbFile->count(), 0);
    EXPECT_EQ(dialog->dcbDrive->Drive(), QStringLiteral("/"));
}

TEST_F(ImportDialogTest, ListsArePlainUnderBoldCaptionsAndATypedFolderIsOpened)
{
    tree.Add(QStringLiteral("inner/a.mp3"));
    tree.Add(QStringLiteral("inner/b.mp3"));
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    for (QWidget *box :
         {static_cast<QWidget *>(dialog->gbDrive), static_cast<QWidget *>(dialog->gbFolders),
          static_cast<QWidget *>(dialog->gbFiles)})
        EXPECT_TRUE(box->font().bold()) << box->objectName().toStdString();
    for (QWidget *list :
         {static_cast<QWidget *>(dialog->dcbDrive), static_cast<QWidget *>(dialog->dlbFolder),
          static_cast<QWidget *>(dialog->flbFile), static_cast<QWidget *>(dialog->edFolder)})
        EXPECT_FALSE(list->font().bold()) << list->objectName().toStdString();

    // Typed (or pasted) and Enter: the lists go there.
    dialog->edFolder->selectAll();
    QTest::keyClicks(dialog->edFolder, tree.Path(QStringLiteral("inner")));
    QTest::keyClick(dialog->edFolder, Qt::Key_Return);
    EXPECT_EQ(dialog->dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));
    EXPECT_EQ(dialog->flbFile->count(), 2);
    Screenshot(*dialog, QStringLiteral("import-dialog"));
    // A folder that is not there is said so, and the lists stay.
    dialog->edFolder->selectAll();
    QTest::keyClicks(dialog->edFolder, tree.Path(QStringLiteral("nowhere")));
    QTest::keyClick(dialog->edFolder, Qt::Key_Return);
    EXPECT_EQ(messages.Texts(TMessageKind::Warning).size(), 1);
    EXPECT_EQ(dialog->dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));
    // Typed without Enter, OK imports from there.
    dialog->edFolder->selectAll();
    QTest::keyClicks(dialog->edFolder, tree.Root());
    messages.Clear();
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!")});
}

TEST(ImportDialogStart, WithoutARememberedFolderItStartsInTheUserMusicFolder)
{
    ScriptedMessages messages;
    for (const char *name : {"ImportDrive", "ImportPath"})
        WriteSetting(QuillmereKeyPath, QString::fromLatin1(name), QString(), false);
    QTemporaryDir music, home;
    const QByteArray oldMusic = qgetenv("XDG_MUSIC_DIR"), oldHome = qgetenv("HOME"),
                     oldConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadMusic = qEnvironmentVariableIsSet("XDG_MUSIC_DIR"),
               hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_MUSIC_DIR", QFile::encodeName(music.path()));
    {
        TfrmImportSongs dialog;
        EXPECT_EQ(dialog.dlbFolder->Directory(), music.path());
        EXPECT_EQ(dialog.edFolder->text(), music.path());
    }
    qunsetenv("XDG_MUSIC_DIR");
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QDir(home.path()).mkdir(QStringLiteral("Music"));
    {
        TfrmImportSongs dialog;
        EXPECT_EQ(dialog.dlbFolder->Directory(), home.path() + QStringLiteral("/Music"));
    }
    qputenv("HOME", oldHome);
    if (hadMusic)
        qputenv("XDG_MUSIC_DIR", oldMusic);
    if (hadConfig)
        qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(ImportDialogTest, AnEmptyFolderReportsZeroWithoutAWarning)
{
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(Status(), QStringLiteral("Imported 0 files"));
    EXPECT_EQ(
        messages.Texts(),
        (QStringList{QStringLiteral("Are you sure you want to import songs from ") + tree.Root() +
                         QStringLiteral("?\rThis process may take a while but can be "
                                        "cancelled and resumed at any time."),
                     QStringLiteral("Imported 0 files successfully!")}));
    EXPECT_TRUE(dialog->btnOK->isEnabled());
}

TEST_F(ImportDialogTest, AnsweringNoImportsNothing)
{
    tree.Add(QStringLiteral("a.mp3"));
    messages.SetConfirmationAnswer(mrNo);
    EXPECT_EQ(RunImport(tree.Root()), 0);
    EXPECT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 0);
    EXPECT_EQ(Setting("Imported"), QString());
}

TEST_F(ImportDialogTest, ImportingTwiceWarnsWithTheFirstRunsCountAndRefreshesTheMainWindow)
{
    for (const char *name : {"a.mp3", "b.mp3", "sub/c.mp3"})
        tree.Add(QString::fromLatin1(name));
    StartFirstTime();
    ASSERT_FALSE(window->libraryImported());
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 3 files successfully!")});
    EXPECT_TRUE(messages.Texts(TMessageKind::Warning).isEmpty());
    EXPECT_TRUE(window->libraryImported());
    EXPECT_EQ(window->songCount(), 3);
    EXPECT_EQ(Setting("Imported"), QStringLiteral("Y"));
    EXPECT_EQ(Setting("ImportDrive"), QStringLiteral("/"));
    EXPECT_EQ(Setting("ImportPath"), tree.Root());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    messages.Clear();
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(Status(), QStringLiteral("Imported 0 files"));
    EXPECT_EQ(messages.Texts(TMessageKind::Warning),
              QStringList{QStringLiteral("3 songs already existed in the database!")});
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 0 files successfully!")});
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT count(*) FROM Playlist_DB")), 3);
}

TEST_F(ImportDialogTest, CancelDuringTheWalkStopsAfterTheFileAtHandAndALaterRunAddsTheRest)
{
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3", "sub/d.mp3"})
        tree.Add(QString::fromLatin1(name));
    // Arrives with the first round of pending events, after the first file.
    QTimer::singleShot(0, dialog.get(), [this] {
        EXPECT_FALSE(dialog->btnOK->isEnabled());
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
        dialog->btnCancel->click();
    });
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_TRUE(messages.Texts(TMessageKind::Confirmation)
                    .contains(QStringLiteral("Do you wish to stop the importing process?\rYou can "
                                             "easily import the rest of the songs at a later "
                                             "date.")));
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 1 files successfully!")});
    EXPECT_FALSE(dialog->Cancelled);
    EXPECT_EQ(Setting("Imported"), QStringLiteral("Y"));

    messages.Clear();
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Warning),
              QStringList{QStringLiteral("1 songs already existed in the database!")});
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 3 files successfully!")});
    EXPECT_EQ(StoredFiles(library).size(), 4);
}

TEST_F(ImportDialogTest, ProgressIsShownButRepaintedAtMostAboutTwentyTimesASecond)
{
    for (int i = 0; i < 400; ++i)
        tree.Add(QStringLiteral("f%1.mp3").arg(i));
    dialog->show();
    // Each file reads a clock 10 ms on from the last: one file in five is shown.
    qint64 now = 0;
    dialog->Clock = [&now] { return now += 10; };
    int changes = 0;
    int shown = 0;
    int lastDone = -1;
    QObject::connect(dialog->StatusBar1, &QStatusBar::messageChanged, dialog.get(),
                     [&](const QString &text) {
                         ++changes;
                         if (text.startsWith(QStringLiteral("Adding Song")))
                             ++shown;
                         lastDone = dialog->pbImport->value();
                     });
    RunImport(tree.Root());
    EXPECT_EQ(shown, 400 / 5 + 1); // and the last file once the walk is done
    EXPECT_GT(changes, shown);     // then the result
    EXPECT_EQ(lastDone, 400);      // the last update before the result shows every file done
    EXPECT_EQ(dialog->pbImport->maximum(), 400);
}

TEST_F(ImportDialogTest, AnsweringNoToStoppingGoesOn)
{
    for (const char *name : {"a.mp3", "b.mp3"})
        tree.Add(QString::fromLatin1(name));
    QTimer::singleShot(0, dialog.get(), [this] {
        messages.SetConfirmationAnswer(mrNo);
        dialog->reject(); // the close box during the walk asks the same question
        messages.SetConfirmationAnswer(mrYes);
    });
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Confirmation).size(), 2);
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!")});
}

TEST_F(ImportDialogTest, FailuresAreNamedAndCountedApartFromTheImportedFiles)
{
    tree.Add(QStringLiteral("a.mp3"));
    const QString tooLong = tree.Add(QString(97, QLatin1Char('b')) + QStringLiteral(".mp3"));
    tree.Add(QStringLiteral("c.mp3"));
    EXPECT_EQ(RunImport(tree.Root()), int(mrOk));
    EXPECT_EQ(messages.Texts(TMessageKind::Error),
              QStringList{QStringLiteral("There was an error inserting the song \"") + tooLong +
                          QStringLiteral("\".")});
    EXPECT_EQ(Status(), QStringLiteral("Imported 2 files, 1 failed"));
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!\r1 files could not be "
                                         "imported.\r\rCannot insert \"") +
                          tooLong +
                          QStringLiteral("\": its name is longer than the library holds (255 "
                                         "characters of folder, 100 of file name)")});
    // The error box came before the closing message.
    EXPECT_EQ(messages.Shown().last().first, TMessageKind::Information);
    EXPECT_EQ(StoredFiles(library).size(), 2);
}

TEST_F(ImportDialogTest, FilesWithoutAudioAreNamedWithTheirReasonsInTheClosingMessageOnly)
{
    tree.Add(QStringLiteral("a.mp3"));
    WriteAll(tree.Path(QStringLiteral("b notes.mp3")), QByteArray(4000, 'x'));
    WriteAll(tree.Path(QStringLiteral("c empty.mp3")), QByteArray());
    tree.Add(QStringLiteral("d.mp3"));
    dialog->show();
    dialog->dlbFolder->SetDirectory(tree.Root());
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    // No box per file: one closing message names each with its reason.
    EXPECT_TRUE(messages.Texts(TMessageKind::Error).isEmpty())
        << messages.Texts().join('|').toStdString();
    EXPECT_EQ(messages.Texts(TMessageKind::Information),
              QStringList{QStringLiteral("Imported 2 files successfully!\r2 files could not be "
                                         "imported.\r\rCannot insert \"") +
                          tree.Path(QStringLiteral("b notes.mp3")) +
                          QStringLiteral("\": it is not an MP3 file (no MPEG audio found)\rCannot "
                                         "insert \"") +
                          tree.Path(QStringLiteral("c empty.mp3")) +
                          QStringLiteral("\": the file is empty")});
    EXPECT_EQ(Status(), QStringLiteral("Imported 2 files, 2 failed"));
    EXPECT_EQ(StoredFiles(library).size(), 2);
}

// The real collection: every file it refuses is named in the one closing message.
TEST_F(ImportDialogTest, TheCorpusEndsInOneMessageNamingEveryRefusedFile)
{
    const QString corpus = CorpusFolder();
    if (corpus.isEmpty())
        GTEST_SKIP() << CorpusMissing();
    dialog->show();
    dialog->dlbFolder->SetDirectory(QDir::cleanPath(corpus));
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_TRUE(messages.Texts(TMessageKind::Error).isEmpty())
        << messages.Texts(TMessageKind::Error).size() << " error boxes";
    const QStringList closing = messages.Texts(TMessageKind::Information);
    ASSERT_EQ(closing.size(), 1);
    const QStringList lines = closing[0].split(QLatin1Char('\r'));
    const int failed = lines[1].section(QLatin1Char(' '), 0, 0).toInt();
    EXPECT_GT(failed, 0);
    // The counts, a blank line, then one line per refused file with its reason.
    EXPECT_EQ(lines.size(), 3 + failed) << closing[0].toStdString();
    for (const QString &line : lines.mid(3))
        EXPECT_TRUE(line.startsWith(QStringLiteral("Cannot insert \"") + QDir::cleanPath(corpus)))
            << line.toStdString();
}

TEST(LongMessage, AMessageOfManyLinesScrollsInItsBox)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("Cannot insert \"/music/%1.mp3\": the file is empty").arg(i);
    const QString text = QStringLiteral("Imported 0 files successfully!\r\r") + lines.join('\r');
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        auto *shown = box->findChild<QPlainTextEdit *>(QStringLiteral("MessageText"));
        ASSERT_NE(shown, nullptr);
        seen = true;
        EXPECT_EQ(shown->toPlainText().count(QLatin1Char('\n')), 301);
        EXPECT_TRUE(shown->isReadOnly());
        // Taller than the screen as text, so it scrolls; the box itself stays small.
        EXPECT_GT(shown->verticalScrollBar()->maximum(), 0);
        EXPECT_LT(box->height(), 600);
        Screenshot(*box, QStringLiteral("import-closing-message"));
        QPushButton *ok = box->findChild<QPushButton *>();
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(MessageService::Show(TMessageKind::Information, text), int(mrOk));
    EXPECT_TRUE(seen);
}

TEST_F(ImportDialogTest, UnreadableFoldersAreSummedUpAtTheEnd)
{
    tree.Add(QStringLiteral("a.mp3"));
    // A link to a folder that is not there is skipped, but the start folder itself can vanish.
    const QString vanished = tree.Path(QStringLiteral("vanished"));
    tree.AddFolder(QStringLiteral("vanished"));
    dialog->dlbFolder->SetDirectory(vanished);
    QDir(vanished).removeRecursively();
    dialog->btnOKClick();
    EXPECT_TRUE(messages.Texts(TMessageKind::Warning).isEmpty());
    const QStringList closing = messages.Texts(TMessageKind::Information);
    ASSERT_EQ(closing.size(), 1);
    EXPECT_TRUE(closing[0].startsWith(QStringLiteral("Imported 0 files successfully!\r\rCannot "
                                                     "read folder \"") +
                                      vanished))
        << closing[0].toStdString();
    EXPECT_TRUE(dialog->btnOK->isEnabled());
    EXPECT_TRUE(dialog->dlbFolder->isEnabled());
}

TEST_F(ImportDialogTest, AnErrorThatEndsTheImportStillLeavesTheDialogIdle)
{
    tree.Add(QStringLiteral("a.mp3"));
    dialog->dlbFolder->SetDirectory(tree.Root());
    window->library().Close();
    EXPECT_THROW(dialog->btnOKClick(), EError);
    EXPECT_TRUE(dialog->btnOK->isEnabled());
    EXPECT_FALSE(dialog->Importing());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ImportDialogTest, CancelWhileIdleSavesTheDriveAndFolder)
{
    dialog->dlbFolder->SetDirectory(tree.Root());
    dialog->setResult(0);
    dialog->btnCancel->click();
    EXPECT_EQ(dialog->result(), int(mrCancel));
    EXPECT_EQ(Setting("ImportDrive"), QStringLiteral("/"));
    EXPECT_EQ(Setting("ImportPath"), tree.Root());
    EXPECT_EQ(Setting("Imported"), QString());
    EXPECT_TRUE(messages.Shown().isEmpty());
}

TEST_F(ImportDialogTest, CreationRestoresTheStoredFolderOrTheNearestOneAboveIt)
{
    tree.AddFolder(QStringLiteral("inner"));
    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportDrive"), QStringLiteral("/"), false);
    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportPath"), tree.Path(QStringLiteral("inner")),
                 false);
    TfrmImportSongs restored;
    EXPECT_EQ(restored.dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));

    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportPath"),
                 tree.Path(QStringLiteral("inner/gone/deeper")), false);
    TfrmImportSongs moved;
    EXPECT_EQ(moved.dlbFolder->Directory(), tree.Path(QStringLiteral("inner")));
    EXPECT_TRUE(moved.StatusBar1->currentMessage().contains(QStringLiteral("inner/gone/deeper")));
}

} // namespace
