#include "app/Forms.h"
#include "app/UExport.h"
#include "app/UMain.h"
#include "controls/ButtonFaces.h"
#include "controls/Captions.h"
#include "controls/TexturedBackground.h"
#include "data/URegistry.h"
#include "dialogs/UAbout.h"
#include "dialogs/UCopyRightNotice.h"
#include "dialogs/UImportSongs.h"
#include "dialogs/UOptions.h"
#include "dialogs/UPlaylistDetails.h"
#include "dialogs/UProperties.h"
#include "dialogs/USelect.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestLibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace
{

// Runs the dialog modally and does `action` once it is up; returns exec()'s result.
int RunModal(TForm &form, const std::function<void()> &action)
{
    QTimer::singleShot(0, &form, action);
    return form.exec();
}

QByteArray Texture(TTexturedBackground *bg)
{
    TFastBMP &field = bg->Generator().Screen1Buffer();
    return QByteArray(reinterpret_cast<const char *>(field.pixelBase), field.imageSize);
}

// Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// WCAG relative luminance of an sRGB colour.
double Luminance(const QColor &colour)
{
    auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) +
           0.0722 * linear(colour.blue());
}

} // namespace

TEST(ButtonFaces, SizesAndBlueFaces)
{
    const QImage ok = OkButtonFace().toImage();
    const QImage cancel = CancelButtonFace().toImage();
    EXPECT_EQ(ok.size(), QSize(48, 21));
    EXPECT_EQ(cancel.size(), QSize(62, 21));
    for (const QImage &face : {ok, cancel}) {
        EXPECT_EQ(qAlpha(face.pixel(0, 0)), 0); // rounded corners let the texture show
        const QColor inside = face.pixelColor(face.width() - 3, face.height() / 2 + 3);
        EXPECT_GT(inside.blue(), inside.red() + 100);
        EXPECT_EQ(inside.alpha(), 255);
    }
}

TEST(OptionsDialog, DefaultsAndShadowedCaptions)
{
    TfrmOptions form;
    EXPECT_EQ(form.windowTitle(), "Options");
    EXPECT_EQ(form.size(), QSize(378, 267)); // with the ReplayGain rows and the notifications
    ASSERT_EQ(form.findChild<QLineEdit *>("edPlayerPath"), form.edPlayerPath);
    ASSERT_EQ(form.findChild<QCheckBox *>("cbLoopPlayList"), form.cbLoopPlayList);
    ASSERT_EQ(form.findChild<QCheckBox *>("cbAutoUpdateDurations"), form.cbAutoUpdateDurations);
    ASSERT_NE(form.findChild<QToolButton *>("btnOK"), nullptr);
    ASSERT_NE(form.findChild<QToolButton *>("btnCancel"), nullptr);
    ASSERT_NE(form.findChild<QWidget *>("Bevel1"), nullptr);
    EXPECT_EQ(form.edPlayerPath->text(), TfrmOptions::DefaultPlayerPath());
#ifdef Q_OS_WIN
    EXPECT_EQ(form.edPlayerPath->text(), "C:\\Program Files\\WinAmp3\\Studio.exe");
#else
    EXPECT_EQ(form.edPlayerPath->text(), "/usr/bin/xdg-open");
#endif
    EXPECT_FALSE(form.cbLoopPlayList->isChecked());
    EXPECT_TRUE(form.cbAutoUpdateDurations->isChecked());

    const std::pair<const char *, const char *> pairs[] = {
        {"lblPlayerPath", "lblPlayerPath2"},
        {"lblLoopPlaylist", "lblLoopPlaylist2"},
        {"lblAutoUpdateDurations", "lblAutoUpdateDurations2"},
    };
    for (const auto &[blueName, shadowName] : pairs) {
        auto *blue = form.findChild<TClickLabel *>(blueName);
        auto *shadow = form.findChild<TClickLabel *>(shadowName);
        ASSERT_NE(blue, nullptr) << blueName;
        ASSERT_NE(shadow, nullptr) << shadowName;
        EXPECT_EQ(blue->text(), shadow->text());
        EXPECT_EQ(shadow->pos(), blue->pos() + QPoint(1, 1));
        EXPECT_EQ(blue->palette().color(QPalette::WindowText), QColor(166, 202, 240));
        EXPECT_EQ(shadow->palette().color(QPalette::WindowText), QColor(Qt::black));
        EXPECT_TRUE(blue->font().bold());
    }
    EXPECT_EQ(form.lblAutoUpdateDurations->text(),
              "Automatically update stored durations from song length");
    EXPECT_EQ(form.lblPlayerPath->pos(), QPoint(24, 36));
    EXPECT_EQ(form.cbAutoUpdateDurations->geometry(), QRect(24, 98, 13, 13));
}

TEST(OptionsDialog, EitherLabelFlipsItsBox)
{
    TfrmOptions form;
    form.show();
    QTest::mouseClick(form.lblLoopPlaylist, Qt::LeftButton);
    EXPECT_TRUE(form.cbLoopPlayList->isChecked());
    QTest::mouseClick(form.lblLoopPlaylist2, Qt::LeftButton);
    EXPECT_FALSE(form.cbLoopPlayList->isChecked());
    EXPECT_TRUE(form.cbAutoUpdateDurations->isChecked()); // the other box is left alone

    QTest::mouseClick(form.lblAutoUpdateDurations2, Qt::LeftButton);
    EXPECT_FALSE(form.cbAutoUpdateDurations->isChecked());
    QTest::mouseClick(form.lblAutoUpdateDurations, Qt::LeftButton);
    EXPECT_TRUE(form.cbAutoUpdateDurations->isChecked());

    // A right click, or a press that ends elsewhere, is not a click.
    QTest::mouseClick(form.lblLoopPlaylist, Qt::RightButton);
    EXPECT_FALSE(form.cbLoopPlayList->isChecked());
    QTest::mousePress(form.lblLoopPlaylist, Qt::LeftButton);
    QTest::mouseRelease(form.lblLoopPlaylist, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_FALSE(form.cbLoopPlayList->isChecked());
    // The path caption flips nothing.
    QTest::mouseClick(form.lblPlayerPath, Qt::LeftButton);
    EXPECT_FALSE(form.cbLoopPlayList->isChecked());
    EXPECT_TRUE(form.cbAutoUpdateDurations->isChecked());
}

TEST(OptionsDialog, OkAndCancelOnlyClose)
{
    TfrmOptions form;
    TPlaybackOptions handedOn;
    QObject::connect(&form, &TfrmOptions::OptionsChanged,
                     [&handedOn](const TPlaybackOptions &options) { handedOn = options; });
    int result = RunModal(form, [&] {
        form.edPlayerPath->setText(QString());
        form.cbAutoUpdateDurations->setChecked(false);
        QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    });
    EXPECT_EQ(result, mrCancel);
    // Changes stay after Cancel, including an empty path, and have been handed on.
    EXPECT_TRUE(form.edPlayerPath->text().isEmpty());
    EXPECT_FALSE(form.cbAutoUpdateDurations->isChecked());
    for (const TPlaybackOptions &options : {form.Options(), handedOn}) {
        EXPECT_TRUE(options.PlayerPath.isEmpty());
        EXPECT_FALSE(options.AutoUpdateDurations);
        EXPECT_FALSE(options.LoopPlaylist);
    }

    result = RunModal(form, [&] { QTest::mouseClick(form.btnOK, Qt::LeftButton); });
    EXPECT_EQ(result, mrOk);
    result = RunModal(form, [&] { form.close(); });
    EXPECT_EQ(result, mrCancel);
    EXPECT_FALSE(form.cbAutoUpdateDurations->isChecked());
}

TEST(OptionsDialog, NotificationsAreOffUntilTurnedOnAndTheChoiceIsKept)
{
    {
        TfrmOptions form;
        EXPECT_FALSE(form.cbNotifications->isChecked());
        EXPECT_EQ(form.lblNotifications2->pos(), form.lblNotifications->pos() + QPoint(1, 1));
        EXPECT_EQ(form.lblNotifications->text(), "Show a notification when a song starts");
        QList<bool> handedOn;
        QObject::connect(&form, &TfrmOptions::NotificationsChanged,
                         [&handedOn](bool on) { handedOn.append(on); });
        form.show();
        // Below the ReplayGain rows, above the buttons.
        EXPECT_GT(form.cbNotifications->y(), form.edReplayGainDefault->geometry().bottom());
        EXPECT_LT(form.cbNotifications->geometry().bottom(),
                  form.findChild<QToolButton *>("btnOK")->y());
        QTest::mouseClick(form.lblNotifications, Qt::LeftButton);
        EXPECT_TRUE(form.cbNotifications->isChecked());
        EXPECT_EQ(handedOn, QList<bool>{true});
        EXPECT_EQ(ReadSetting(QuillmereKeyPath, "Notifications", false), "Y");
        if (const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS"); !folder.isEmpty())
            form.grab().save(QDir(folder).filePath(QStringLiteral("options.png")));
    }
    {
        TfrmOptions form;
        EXPECT_TRUE(form.cbNotifications->isChecked());
        form.show();
        QTest::mouseClick(form.lblNotifications2, Qt::LeftButton);
        EXPECT_FALSE(form.cbNotifications->isChecked());
        EXPECT_EQ(ReadSetting(QuillmereKeyPath, "Notifications", false), "N");
    }
}

TEST(OptionsDialog, ReplayGainIsKeptInTheSettingsStore)
{
    {
        TfrmOptions form;
        EXPECT_EQ(form.cmbReplayGain->currentText(), "Off");
        EXPECT_EQ(form.edReplayGainPreamp->value(), 0.0);
        EXPECT_EQ(form.edReplayGainDefault->value(), 0.0);
        EXPECT_EQ(form.lblReplayGain2->pos(), form.lblReplayGain->pos() + QPoint(1, 1));
        TPlaybackOptions handedOn;
        QObject::connect(&form, &TfrmOptions::OptionsChanged,
                         [&handedOn](const TPlaybackOptions &options) { handedOn = options; });
        form.show();
        QTest::keyClick(form.cmbReplayGain, Qt::Key_Down);
        QTest::keyClick(form.cmbReplayGain, Qt::Key_Down);
        form.edReplayGainPreamp->selectAll();
        QTest::keyClicks(form.edReplayGainPreamp, "-2.5");
        form.edReplayGainDefault->selectAll();
        QTest::keyClicks(form.edReplayGainDefault, "-4");
        EXPECT_EQ(form.cmbReplayGain->currentText(), "Album");
        EXPECT_EQ(handedOn.ReplayGain.Mode, TReplayGainMode::Album);
        EXPECT_EQ(handedOn.ReplayGain.PreampDb, -2.5);
        EXPECT_EQ(handedOn.ReplayGain.DefaultDb, -4.0);
        EXPECT_EQ(ReadSetting(QuillmereKeyPath, "ReplayGain", false), "Album");
        EXPECT_EQ(ReadSetting(QuillmereKeyPath, "ReplayGainPreamp", false), "-2.5");
        EXPECT_EQ(ReadSetting(QuillmereKeyPath, "ReplayGainDefault", false), "-4.0");
    }
    // The next run starts from the stored values.
    {
        TfrmOptions form;
        EXPECT_EQ(form.cmbReplayGain->currentText(), "Album");
        EXPECT_EQ(form.Options().ReplayGain.PreampDb, -2.5);
        EXPECT_EQ(form.Options().ReplayGain.DefaultDb, -4.0);
    }
    // Values another program wrote: an unknown mode is Off, a gain is held to its range.
    WriteSetting(QuillmereKeyPath, "ReplayGain", "Loud", false);
    WriteSetting(QuillmereKeyPath, "ReplayGainPreamp", "40", false);
    WriteSetting(QuillmereKeyPath, "ReplayGainDefault", "junk", false);
    const TReplayGainSettings read = ReadReplayGainSettings();
    EXPECT_EQ(read.Mode, TReplayGainMode::Off);
    EXPECT_EQ(read.PreampDb, 6.0);
    EXPECT_EQ(read.DefaultDb, 0.0);
    WriteReplayGainSettings(TReplayGainSettings());
}

// The offscreen screen (800 x 600) is smaller than the designed position needs.
TEST(OptionsDialog, StaysOnASmallScreenWithCaptionsReadableOnAnyTexture)
{
    TfrmOptions form;
    QRect screen, frame, ok, cancel;
    double worst = 100;
    for (int showing = 0; showing < 3; ++showing) {
        RunModal(form, [&] {
            screen = form.screen()->availableGeometry();
            frame = form.frameGeometry();
            ok = QRect(form.btnOK->mapToGlobal(QPoint(0, 0)), form.btnOK->size());
            cancel = QRect(form.btnCancel->mapToGlobal(QPoint(0, 0)), form.btnCancel->size());
            Screenshot(form, QStringLiteral("options-%1").arg(showing));
            // What lies behind each caption, with the captions taken away.
            const QList<QLabel *> captions = {form.lblPlayerPath,          form.lblLoopPlaylist,
                                              form.lblAutoUpdateDurations, form.lblFollowFolders,
                                              form.lblReplayGain,          form.lblReplayGainPreamp,
                                              form.lblReplayGainDefault};
            const QList<QLabel *> shadows = {
                form.lblPlayerPath2,       form.lblLoopPlaylist2, form.lblAutoUpdateDurations2,
                form.lblFollowFolders2,    form.lblReplayGain2,   form.lblReplayGainPreamp2,
                form.lblReplayGainDefault2};
            for (QLabel *label : captions + shadows)
                label->hide();
            const QImage behind = form.grab().toImage();
            for (QLabel *label : captions + shadows)
                label->show();
            const double text = Luminance(captions[0]->palette().color(QPalette::WindowText));
            for (QLabel *caption : captions) {
                const QRect ink = caption->geometry();
                for (int y = ink.top(); y <= ink.bottom(); ++y)
                    for (int x = ink.left(); x <= ink.right(); ++x)
                        worst = std::min(worst, (text + 0.05) /
                                                    (Luminance(behind.pixelColor(x, y)) + 0.05));
            }
            QTest::mouseClick(form.btnCancel, Qt::LeftButton);
        });
        if (screen.contains(QRect(QPoint(756, 383), QSize(386, 217))))
            GTEST_SKIP() << "the screen holds the dialog's designed place";
        EXPECT_TRUE(screen.contains(frame)) << frame.x() << "," << frame.y();
        EXPECT_TRUE(screen.contains(ok));
        EXPECT_TRUE(screen.contains(cancel));
    }
    EXPECT_GE(worst, 4.5);
}

TEST(OptionsDialog, NewBackgroundAtEveryShowing)
{
    TfrmOptions form;
    TTexturedBackground *bg = form.findChild<TTexturedBackground *>("TexturedBackground1");
    ASSERT_EQ(bg, form.TexturedBackground1);
    EXPECT_EQ(bg->Colour_Palette(), PAL_BLUE);
    EXPECT_EQ(bg->Display_Screen(), DS_DIFFERENCE);
    EXPECT_EQ(bg->Screen2_Roughness(), 2);
    EXPECT_TRUE(bg->Randomise());

    form.show();
    EXPECT_EQ(bg->Colour_Palette(), PAL_CLOUDS); // the last screen's palette
    EXPECT_EQ(bg->geometry(), form.rect());
    const QByteArray first = Texture(bg);
    Screenshot(form, "options");
    form.hide();
    form.show();
    EXPECT_NE(first, Texture(bg));

    // Resizing keeps the anchored distances and only stretches the texture.
    const QByteArray shown = Texture(bg);
    form.resize(478, 233);
    EXPECT_EQ(form.btnOK->geometry(), QRect(349, 203, 50, 23));
    EXPECT_EQ(form.btnCancel->geometry(), QRect(404, 203, 64, 23));
    EXPECT_EQ(form.edPlayerPath->geometry(), QRect(112, 32, 340, 21));
    EXPECT_EQ(form.Bevel1->geometry(), QRect(8, 8, 460, 187));
    EXPECT_EQ(form.cbLoopPlayList->geometry(), QRect(24, 74, 13, 13));
    EXPECT_EQ(bg->geometry(), form.rect());
    EXPECT_EQ(shown, Texture(bg));
}

TEST(AboutBox, PictureVersionAndResult)
{
    TfrmAbout form;
    EXPECT_EQ(form.windowTitle(), "About Quillmere");
    EXPECT_EQ(form.size(), QSize(350, 148));
    EXPECT_EQ(form.findChild<QLabel *>("lblVersion")->text(), "Version 1.01");
    EXPECT_EQ(form.lblVersionShadow->text(), "Version 1.01");
    EXPECT_EQ(form.lblVersionShadow->pos(), form.lblVersion->pos() + QPoint(1, 2));
    EXPECT_EQ(form.lblVersion->palette().color(QPalette::WindowText), QColor(192, 192, 192));
    EXPECT_EQ(form.lblVersionShadow->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(form.btnOK->geometry(), QRect(152, 112, 49, 23));

    const QImage picture = TfrmAbout::AboutPicture();
    EXPECT_EQ(picture.size(), QSize(222, 148));
    EXPECT_EQ(picture.depth(), 24);
    EXPECT_EQ(picture.pixelColor(0, 147), QColor(0, 102, 255));
    const QImage shown = form.imgAbout->pixmap().toImage();
    EXPECT_EQ(qAlpha(shown.pixel(0, 147)), 0);
    EXPECT_EQ(qAlpha(shown.pixel(221, 0)), 0);
    int opaque = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            opaque += qAlpha(shown.pixel(x, y)) == 255;
    EXPECT_GT(opaque, 500); // the name, the mark and the slogan

    TTexturedBackground *bg = form.TexturedBackground1;
    EXPECT_EQ(bg->Screen1_Roughness(), 5);
    EXPECT_TRUE(bg->Screen1_Smooth());
    EXPECT_TRUE(bg->Screen2_Smooth());

    QByteArray first;
    int result = RunModal(form, [&] {
        first = Texture(bg);
        Screenshot(form, "about");
        QTest::mouseClick(form.btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(result, mrOk);
    QByteArray second;
    result = RunModal(form, [&] {
        second = Texture(bg);
        form.close();
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_NE(first, second);
}

TEST(CopyrightNotice, TextAndAnswers)
{
    TfrmCopyrightNotice form;
    EXPECT_EQ(form.windowTitle(), "Copyright Notice");
    EXPECT_EQ(form.size(), QSize(320, 206));
    ASSERT_EQ(form.findChild<QTextEdit *>("mCopyRight"), form.mCopyRight);
    EXPECT_EQ(form.mCopyRight->geometry(), QRect(16, 16, 289, 153));

    const QStringList lines = TfrmCopyrightNotice::CopyrightLines();
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], "Quillmere");
    EXPECT_EQ(lines[1], "============");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "Version 1.01");
    EXPECT_FALSE(lines[4].trimmed().isEmpty());
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], " ");
    EXPECT_EQ(lines[7], "  ");
    EXPECT_EQ(lines[8], " ");
    EXPECT_EQ(lines[9], "");
    QTextDocument *doc = form.mCopyRight->document();
    ASSERT_EQ(doc->blockCount(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(doc->findBlockByNumber(i).text(), lines[i]) << i;
    EXPECT_TRUE(doc->defaultTextOption().alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(form.mCopyRight->isReadOnly());

    TTexturedBackground *bg = form.TexturedBackground1;
    EXPECT_EQ(bg->Colour_Palette(), PAL_GREYSCALE);
    EXPECT_FALSE(bg->Screen1_Smooth());

    int result = RunModal(form, [&] {
        EXPECT_EQ(form.focusWidget(), form.mCopyRight);
        Screenshot(form, "copyright");
        QTest::mouseClick(form.btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(result, mrOk);
    result = RunModal(form, [&] { QTest::mouseClick(form.btnCancel, Qt::LeftButton); });
    EXPECT_EQ(result, mrCancel);
    result = RunModal(form, [&] { form.close(); });
    EXPECT_EQ(result, mrCancel);
    result = RunModal(form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
    EXPECT_EQ(result, mrCancel);
}

// Every dialog of the program goes with the main window, and no pointer to one outlives it.
TEST(DialogPointers, NoDialogOutlivesTheFormsNorIsPointedAtOnceFreed)
{
    TestLibrary library;
    ScriptedMessages messages;
    const auto pointers = [] {
        return QList<QWidget *>{frmAbout,           frmProperties,  frmCopyrightNotice,
                                frmOptions,         frmImportSongs, frmSelect,
                                frmPlaylistDetails, frmExport,      frmMain};
    };
    for (QWidget *form : pointers())
        EXPECT_EQ(form, nullptr);
    CreateForms();
    QList<QPointer<QWidget>> made;
    for (QWidget *form : pointers()) {
        EXPECT_NE(form, nullptr);
        made << form;
    }
    DestroyForms();
    for (const QPointer<QWidget> &form : made)
        EXPECT_TRUE(form.isNull()) << form->objectName().toStdString() << " is still alive";
    for (QWidget *form : pointers())
        EXPECT_EQ(form, nullptr);
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join('|').toStdString();
}
