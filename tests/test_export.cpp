#include "app/UExport.h"
#include "app/UMain.h"
#include "controls/DBGrid.h"
#include "dialogs/FileDialogService.h"
#include "platform/FileCopy.h"
#include "tests/support/Children.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SmallVolume.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestLibrary.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace
{

QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

QString Slash(const QString &folder)
{
    return QDir::toNativeSeparators(folder) + QDir::separator();
}

class FileCopyTest : public ::testing::Test
{
protected:
    QString Src(const QString &name) const { return Slash(source.path()) + name; }
    QString Dst(const QString &name) const { return Slash(target.path()) + name; }
    QTemporaryDir source, target;
};

TEST_F(FileCopyTest, CopiesOnceAndNeverReplaces)
{
    const QByteArray song(700 * 1024 + 13, 'a');
    WriteAll(Src(QStringLiteral("a.mp3")), song);
    const QDateTime stamp = QDateTime::currentDateTime().addDays(-30);
    {
        QFile file(Src(QStringLiteral("a.mp3")));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }

    TCopyOutcome outcome = CopyFileNoOverwrite(Src(QStringLiteral("a.mp3")), Dst("a.mp3"));
    EXPECT_EQ(outcome.Result, TCopyResult::Copied) << outcome.Error.toStdString();
    EXPECT_EQ(ReadAll(Dst("a.mp3")), song);
    EXPECT_EQ(QFileInfo(Dst("a.mp3")).lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());

    WriteAll(Dst("b.mp3"), "mine");
    outcome = CopyFileNoOverwrite(Src(QStringLiteral("a.mp3")), Dst("b.mp3"));
    EXPECT_EQ(outcome.Result, TCopyResult::AlreadyExists);
    EXPECT_EQ(ReadAll(Dst("b.mp3")), QByteArray("mine"));
    EXPECT_EQ(FilesIn(target.path()), QStringList({"a.mp3", "b.mp3"}));
}

TEST_F(FileCopyTest, FailuresLeaveNothingUnderTheTargetName)
{
    TCopyOutcome outcome = CopyFileNoOverwrite(Src(QStringLiteral("gone.mp3")), Dst("gone.mp3"));
    EXPECT_EQ(outcome.Result, TCopyResult::Failed);
    EXPECT_TRUE(outcome.Error.contains(QStringLiteral("gone.mp3")));

    WriteAll(Src(QStringLiteral("a.mp3")), "data");
    outcome = CopyFileNoOverwrite(Src(QStringLiteral("a.mp3")), Dst("missing/a.mp3"));
    EXPECT_EQ(outcome.Result, TCopyResult::Failed);
    EXPECT_FALSE(outcome.Error.isEmpty());

    // The device fills up in the middle of a song.
    WriteAll(Src(QStringLiteral("big.mp3")), QByteArray(600 * 1024, 'b'));
    {
        FileSizeLimit limit(300 * 1024);
        outcome = CopyFileNoOverwrite(Src(QStringLiteral("big.mp3")), Dst("big.mp3"));
    }
    EXPECT_EQ(outcome.Result, TCopyResult::Failed);
    EXPECT_TRUE(outcome.Error.contains(QStringLiteral("big.mp3"))) << outcome.Error.toStdString();
    EXPECT_TRUE(FilesIn(target.path()).isEmpty()) << FilesIn(target.path()).join(' ').toStdString();
}

TEST_F(FileCopyTest, AFullDeviceIsNamedWithTheSystemsReason)
{
    SmallVolume device(128);
    if (!device.Available()) {
        std::printf("%s; the full device is not run.\n", qPrintable(device.Reason()));
        GTEST_SKIP();
    }
    WriteAll(Src(QStringLiteral("big.mp3")), QByteArray(600 * 1024, 'b'));
    const TCopyOutcome outcome =
        CopyFileNoOverwrite(Src(QStringLiteral("big.mp3")), device.Folder() + "big.mp3");
    EXPECT_EQ(outcome.Result, TCopyResult::Failed);
    EXPECT_TRUE(outcome.Error.contains(QStringLiteral("No space left on device")))
        << outcome.Error.toStdString();
    const QStringList left = FilesIn(device.Folder());
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
}

TEST(CopyReport, CountsAndNamesWhatWasNotCopied)
{
    TCopyReport report;
    report.Add(QStringLiteral("/m/a.mp3"), {TCopyResult::Copied, {}});
    EXPECT_TRUE(report.Complete());
    report.Add(QStringLiteral("/m/b.mp3"), {TCopyResult::AlreadyExists, {}});
    EXPECT_FALSE(report.Complete());
    // Files that were already there are no failure, and are told as such.
    EXPECT_EQ(report.Summary(), QStringLiteral("The export is finished.\n\n"
                                               "Copied: 1\n"
                                               "Already there under the same name, not copied: 1"));
    for (int i = 0; i < 4; ++i)
        report.Add(QStringLiteral("/m/f%1.mp3").arg(i), {TCopyResult::Failed, "No space"});
    EXPECT_EQ(report.Summary(3), QStringLiteral("Not every song was exported.\n\n"
                                                "Copied: 1\n"
                                                "Already there under the same name, not copied: 1\n"
                                                "Failed: 4\n\n"
                                                "/m/f0.mp3: No space\n"
                                                "/m/f1.mp3: No space\n"
                                                "/m/f2.mp3: No space\n"
                                                "... and 1 more"));
}

// Scripts the folder chooser while it lives.
class ScriptedFolder
{
public:
    explicit ScriptedFolder(QString answer) : m_answer(std::move(answer))
    {
        FileDialogService::SetHandler([this](FileDialogService::TKind kind, const QString &) {
            EXPECT_EQ(kind, FileDialogService::TKind::Folder);
            ++Asked;
            return m_answer;
        });
    }
    ~ScriptedFolder() { FileDialogService::SetHandler({}); }
    int Asked = 0;

private:
    QString m_answer;
};

TEST(ExportDialog, FolderGetsItsTrailingSeparator)
{
    TfrmExport dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Export to MP3 device..."));
    EXPECT_FALSE(dialog.cbRenameFiles->isChecked());
    EXPECT_EQ(dialog.btnBrowse->toolTip(), QStringLiteral("browse"));

    dialog.edMappedDrive->setText(QStringLiteral("/media/player"));
    dialog.edMappedDriveExit();
    EXPECT_EQ(dialog.edMappedDrive->text(), Slash(QStringLiteral("/media/player")));
    dialog.edMappedDriveExit();
    EXPECT_EQ(dialog.edMappedDrive->text(), Slash(QStringLiteral("/media/player")));
    // An empty folder stays empty: it never becomes the root by accident.
    dialog.edMappedDrive->clear();
    dialog.edMappedDriveExit();
    EXPECT_EQ(dialog.edMappedDrive->text(), QString());

    // Typing a folder and tabbing on to the check box.
    dialog.show();
    dialog.activateWindow();
    QApplication::setActiveWindow(&dialog);
    dialog.edMappedDrive->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.edMappedDrive->hasFocus(); }));
    dialog.edMappedDrive->clear();
    QTest::keyClicks(dialog.edMappedDrive, QStringLiteral("/mnt/e"));
    dialog.cbRenameFiles->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(dialog.edMappedDrive->text(), Slash(QStringLiteral("/mnt/e")));
    dialog.hide();

    {
        ScriptedFolder chooser(QStringLiteral("/media/usb"));
        dialog.btnBrowse->click();
        EXPECT_EQ(chooser.Asked, 1);
    }
    EXPECT_EQ(dialog.edMappedDrive->text(), Slash(QStringLiteral("/media/usb")));
    {
        ScriptedFolder chooser(QStringLiteral("/")); // a root keeps its one separator
        dialog.btnBrowseClick();
    }
    EXPECT_EQ(dialog.edMappedDrive->text(), QString(QDir::separator()));
    {
        ScriptedFolder cancelled{QString()};
        dialog.btnBrowseClick();
    }
    EXPECT_EQ(dialog.edMappedDrive->text(), QString(QDir::separator()));
}

// The offscreen screen is too small for the designed position.
TEST(ExportDialog, StaysOnASmallScreenWithItsLabelsPlainAndWhole)
{
    TfrmExport dialog;
    QRect screen, ok, cancel, frame;
    QTimer::singleShot(0, &dialog, [&] {
        screen = dialog.screen()->availableGeometry();
        frame = dialog.frameGeometry();
        ok = QRect(dialog.btnOK->mapToGlobal(QPoint(0, 0)), dialog.btnOK->size());
        cancel = QRect(dialog.btnCancel->mapToGlobal(QPoint(0, 0)), dialog.btnCancel->size());
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    ASSERT_FALSE(screen.contains(QRect(795, 631, 312, 166)));
    EXPECT_TRUE(screen.contains(frame)) << frame.y();
    EXPECT_TRUE(screen.contains(ok));
    EXPECT_TRUE(screen.contains(cancel));

    EXPECT_TRUE(dialog.gbExportOptions->font().bold());
    EXPECT_FALSE(dialog.lblMappedDrive->font().bold());
    EXPECT_FALSE(dialog.cbRenameFiles->font().bold());
    EXPECT_FALSE(dialog.edMappedDrive->font().bold());
    EXPECT_GE(dialog.cbRenameFiles->width(), dialog.cbRenameFiles->sizeHint().width());
    // The label's ink ends before the edit begins.
    const QRect ink = QFontMetrics(dialog.lblMappedDrive->font())
                          .tightBoundingRect(dialog.lblMappedDrive->text());
    EXPECT_LT(dialog.lblMappedDrive->x() + ink.right(), dialog.edMappedDrive->x());
}

TEST(ExportDialog, ButtonsCloseWithTheirResultAndValuesStay)
{
    TfrmExport dialog;
    dialog.edMappedDrive->setText(QStringLiteral("/x/"));
    dialog.cbRenameFiles->setChecked(true);
    QTimer::singleShot(0, &dialog,
                       [&dialog] { QTest::mouseClick(dialog.btnCancel, Qt::LeftButton); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::mouseClick(dialog.btnOK, Qt::LeftButton); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.close(); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(dialog.edMappedDrive->text(), QStringLiteral("/x/"));
    EXPECT_TRUE(dialog.cbRenameFiles->isChecked());
}

TEST(ExportDialog, AnEmptyFolderStaysEmptyAfterCancelAndOkAsksForOne)
{
    ScriptedMessages messages;
    TfrmExport dialog;
    bool stayed = false;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.activateWindow();
        QApplication::setActiveWindow(&dialog);
        QTest::mouseClick(dialog.edMappedDrive, Qt::LeftButton);
        QTest::keyClick(dialog.edMappedDrive, Qt::Key_Tab);
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        stayed = dialog.isVisible();
        Screenshot(dialog, QStringLiteral("export-empty-folder"));
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(messages.Texts(TMessageKind::Warning),
              QStringList{QStringLiteral("Choose the folder to export the songs to.")});
    EXPECT_EQ(dialog.edMappedDrive->text(), QString());
    QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.btnCancel, Qt::LeftButton); });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(dialog.edMappedDrive->text(), QString());
}

// A playlist of four songs whose files exist, the main window and the export dialog.
class ExportWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        music = Slash(musicDir.path());
        device = Slash(deviceDir.path());
        list = library.AddPlaylist(QStringLiteral("L"));
        // Stored out of order: the grid shows them by Sequence.
        const QStringList names = {"w.mp3", "x.mp3", "y.mp3", "z.mp3"};
        const int sequences[] = {4, 2, 1, 3};
        for (int i = 0; i < names.size(); ++i) {
            WriteAll(music + names[i], names[i].toLatin1().repeated(1000));
            library.AddEntry(list, library.AddSong(names[i].left(1), music, names[i]),
                             sequences[i]);
        }
        window = StartMainWindow();
        dialog = std::make_unique<TfrmExport>();
        frmExport = dialog.get();
        dialog->edMappedDrive->setText(device);
    }
    void TearDown() override
    {
        frmExport = nullptr;
        dialog.reset();
        frmMain = nullptr;
        window.reset();
    }
    // Grid rows: 0 y, 1 x, 2 z, 3 w.
    void Select(const QList<int> &rowsInClickOrder)
    {
        auto *selection = Child<TDBGrid>(window, "grdPlayList")->selectionModel();
        selection->clearSelection();
        for (int row : rowsInClickOrder)
            selection->select(Child<TDBGrid>(window, "grdPlayList")->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void Export(bool ok = true)
    {
        QTimer::singleShot(0, dialog.get(), [this, ok] {
            QTest::mouseClick(ok ? dialog->btnOK : dialog->btnCancel, Qt::LeftButton);
        });
        Child<QAction>(window, "Exportplaylist1")->trigger();
    }
    QByteArray Song(const QString &name) { return ReadAll(music + name); }

    TestLibrary library;
    ScriptedMessages messages;
    QTemporaryDir musicDir, deviceDir;
    QString music, device;
    qint64 list = 0;
    TMainWindowPtr window;
    std::unique_ptr<TfrmExport> dialog;
};

TEST_F(ExportWindowTest, RenamedCopiesFollowGridOrderAndAreNeverOverwritten)
{
    dialog->cbRenameFiles->setChecked(true);
    Select({3, 0, 2});
    Export();
    EXPECT_EQ(FilesIn(device), QStringList({"Song0.mp3", "Song1.mp3", "Song2.mp3"}));
    EXPECT_EQ(ReadAll(device + "Song0.mp3"), Song("y.mp3"));
    EXPECT_EQ(ReadAll(device + "Song1.mp3"), Song("z.mp3"));
    EXPECT_EQ(ReadAll(device + "Song2.mp3"), Song("w.mp3"));
    EXPECT_TRUE(messages.Texts().isEmpty());
    EXPECT_EQ(window->playlistSongs()->RecNo(), 3); // the last selected entry
    EXPECT_EQ(Child<TDBGrid>(window, "grdPlayList")->SelectedRows(), QList<int>({0, 2, 3}));

    // Again, with other songs selected: every name is taken, nothing is replaced.
    Select({0, 1, 2});
    Export();
    EXPECT_EQ(FilesIn(device), QStringList({"Song0.mp3", "Song1.mp3", "Song2.mp3"}));
    EXPECT_EQ(ReadAll(device + "Song1.mp3"), Song("z.mp3"));
    // Names already taken are no failure: an information, not a warning.
    EXPECT_TRUE(messages.Texts(TMessageKind::Warning).isEmpty());
    ASSERT_EQ(messages.Texts(TMessageKind::Information).size(), 1);
    const QString text = messages.Texts(TMessageKind::Information).first();
    EXPECT_TRUE(text.startsWith(QStringLiteral("The export is finished."))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Copied: 0")));
    EXPECT_TRUE(text.contains(QStringLiteral("not copied: 3")));
    EXPECT_FALSE(text.contains(QStringLiteral("Not every song")));
}

TEST_F(ExportWindowTest, KeepsNamesWithoutRenamingAndCopiesNothingWithoutSelection)
{
    Select({});
    Export();
    EXPECT_TRUE(FilesIn(device).isEmpty());
    Select({2, 1});
    Export();
    EXPECT_EQ(FilesIn(device), QStringList({"x.mp3", "z.mp3"}));
    EXPECT_EQ(ReadAll(device + "x.mp3"), Song("x.mp3"));
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(ExportWindowTest, CancelCopiesNothingAndKeepsTheValues)
{
    dialog->edMappedDrive->setText(device + QStringLiteral("sub") + QDir::separator());
    dialog->cbRenameFiles->setChecked(true);
    ASSERT_TRUE(QDir().mkdir(device + QStringLiteral("sub")));
    Select({0, 1});
    Export(false);
    EXPECT_TRUE(FilesIn(device + QStringLiteral("sub")).isEmpty());
    EXPECT_EQ(dialog->edMappedDrive->text(), device + QStringLiteral("sub") + QDir::separator());
    EXPECT_TRUE(dialog->cbRenameFiles->isChecked());
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(ExportWindowTest, GoesOnPastFailuresAndReportsThem)
{
    ASSERT_TRUE(QFile::remove(music + QStringLiteral("x.mp3")));
    WriteAll(device + "z.mp3", "already here");
    Select({0, 1, 2, 3});
    Export();
    EXPECT_EQ(FilesIn(device), QStringList({"w.mp3", "y.mp3", "z.mp3"}));
    EXPECT_EQ(ReadAll(device + "w.mp3"), Song("w.mp3"));
    EXPECT_EQ(ReadAll(device + "z.mp3"), QByteArray("already here"));
    ASSERT_EQ(messages.Texts().size(), 1);
    const QString text = messages.Texts(TMessageKind::Warning).value(0);
    EXPECT_TRUE(text.contains(QStringLiteral("Copied: 2"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("not copied: 1")));
    EXPECT_TRUE(text.contains(QStringLiteral("Failed: 1")));
    EXPECT_TRUE(text.contains(music + QStringLiteral("x.mp3: ")));
}

// The real message box, and no progress dialog left to come up over it.
TEST_F(ExportWindowTest, TheClosingMessageStandsAloneAndSaysWhatWasAlreadyThere)
{
    MessageService::SetHandler({});
    WriteAll(device + "y.mp3", "already here");
    Select({0, 1});
    int boxes = 0;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool progressLeft = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        ++boxes;
        text = box->text();
        icon = box->icon();
        for (QProgressDialog *progress : window->findChildren<QProgressDialog *>()) {
            progressLeft = progressLeft || progress->isVisible();
            // A pending timer would show it a moment later.
            for (QTimer *timer : progress->findChildren<QTimer *>())
                progressLeft = progressLeft || timer->isActive();
        }
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start();
    Export();
    poll.stop();
    EXPECT_EQ(boxes, 1);
    EXPECT_FALSE(progressLeft);
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(text, QStringLiteral("The export is finished.\n\nCopied: 1\n"
                                   "Already there under the same name, not copied: 1"));
    EXPECT_EQ(FilesIn(device), QStringList({"x.mp3", "y.mp3"}));
    EXPECT_EQ(ReadAll(device + "y.mp3"), QByteArray("already here"));
}

TEST_F(ExportWindowTest, DeviceFullMidSongLeavesNoPartialCopy)
{
    WriteAll(music + "w.mp3", QByteArray(800 * 1024, 'w'));
    Select({0, 3});
    {
        FileSizeLimit limit(400 * 1024);
        Export();
    }
    EXPECT_EQ(FilesIn(device), QStringList({"y.mp3"}));
    const QString text = messages.Texts(TMessageKind::Warning).value(0);
    EXPECT_TRUE(text.contains(QStringLiteral("Copied: 1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(music + QStringLiteral("w.mp3: ")));
}

} // namespace
