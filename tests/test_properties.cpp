#include "app/UMain.h"
#include "base/Errors.h"
#include "base/FileNames.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "dialogs/UProperties.h"
#include "platform/Shell.h"
#include "tests/support/Children.h"
#include "tests/support/MainWindowHost.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SilentMp3.h"
#include "tests/support/TestLibrary.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace
{

// Saves a picture of the window when QUILLMERE_SCREENSHOTS names a folder.
void Screenshot(QWidget &window, const QString &name)
{
    const QString folder = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (!folder.isEmpty())
        window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

QByteArray Contents(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

class PropertiesTest : public ::testing::Test
{
protected:
    void SetUp() override { frmProperties = &form; }
    void TearDown() override
    {
        frmProperties = nullptr;
        Shell::SetHandlers({}, {});
    }
    QString Mp3(const QString &name, bool tagged)
    {
        SilentMp3Options options;
        options.Id3v1 = tagged;
        const QString path = dir.filePath(name);
        WriteSilentMp3(path, options);
        return path;
    }
    void Fill(const QString &title, const QString &artist, const QString &album,
              const QString &year, const QString &comment, const QString &track)
    {
        form.edTitle->setText(title);
        form.edArtist->setText(artist);
        form.edAlbum->setText(album);
        form.edYear->setText(year);
        form.edComment->setText(comment);
        form.edTrack->setText(track);
    }

    QTemporaryDir dir;
    ScriptedMessages messages;
    TfrmProperties form;
};

TEST_F(PropertiesTest, GenresAndTabOrder)
{
    ASSERT_EQ(form.findChild<TCompletingComboBox *>("ccbGenre"), form.ccbGenre);
    ASSERT_EQ(form.ccbGenre->count(), GenreCount); // entry index = genre number
    EXPECT_EQ(form.ccbGenre->itemText(0), "Blues");
    EXPECT_EQ(form.ccbGenre->itemText(147), QString::fromLatin1(Genres[147]));

    const QList<QWidget *> fields = {form.edTitle, form.edArtist, form.edComment, form.edAlbum,
                                     form.edYear,  form.ccbGenre, form.edTrack};
    QList<QWidget *> order;
    QWidget *w = form.edTitle;
    do {
        if (fields.contains(w))
            order << w;
        w = w->nextInFocusChain();
    } while (w != form.edTitle);
    EXPECT_EQ(order, fields);
}

TEST_F(PropertiesTest, SaveAppendsOnceThenOverwritesInPlace)
{
    const QString file = Mp3(QStringLiteral("plain.mp3"), false);
    const QByteArray audio = Contents(file);
    form.SetFileName(file);
    Fill(QString(), QStringLiteral("Artist"), QStringLiteral("Album"), QStringLiteral("1999"),
         QStringLiteral("Note"), QStringLiteral("7"));
    form.SelectGenre(NoGenre);
    form.btnSaveClick();
    QByteArray bytes = Contents(file);
    ASSERT_EQ(bytes.size(), audio.size() + ID3TagSize);
    EXPECT_TRUE(bytes.startsWith(audio));
    QByteArray tag = bytes.right(ID3TagSize);
    EXPECT_EQ(tag.left(3), "TAG");
    EXPECT_EQ(tag.mid(3, 30), QByteArray(30, '\0')); // empty title: all zero
    EXPECT_EQ(tag.mid(33, 30), QByteArray("Artist").leftJustified(30, '\0'));
    EXPECT_EQ(tag.mid(63, 30), QByteArray("Album").leftJustified(30, '\0'));
    EXPECT_EQ(tag.mid(93, 4), "1999");
    EXPECT_EQ(tag.mid(97, 29), QByteArray("Note").leftJustified(29, '\0'));
    EXPECT_EQ(quint8(tag[126]), 7);
    EXPECT_EQ(quint8(tag[127]), 255);

    form.SelectGenre(0);
    EXPECT_EQ(form.ccbGenre->currentText(), "Blues");
    form.edTitle->setText(QString(30, QLatin1Char('T'))); // exactly the width: no zero byte
    form.btnSaveClick();
    bytes = Contents(file);
    EXPECT_EQ(bytes.size(), audio.size() + ID3TagSize);
    tag = bytes.right(ID3TagSize);
    EXPECT_EQ(tag.mid(3, 31), QByteArray(30, 'T') + "A");
    EXPECT_EQ(quint8(tag[127]), 0);
    EXPECT_TRUE(messages.Shown().isEmpty());

    // Load shows what Save wrote; an empty title stays empty.
    form.edTitle->clear();
    form.btnSaveClick();
    Fill("x", "x", "x", "x", "x", "x");
    form.SelectGenre(NoGenre);
    form.btnLoadClick();
    EXPECT_EQ(QStringList({form.edTitle->text(), form.edArtist->text(), form.edAlbum->text(),
                           form.edYear->text(), form.edComment->text(), form.edTrack->text(),
                           form.ccbGenre->currentText()}),
              QStringList({"", "Artist", "Album", "1999", "Note", "7", "Blues"}));
}

TEST_F(PropertiesTest, LoadWithoutTagWarnsAndKeepsTheFields)
{
    const QString file = Mp3(QStringLiteral("plain.mp3"), false);
    form.SetFileName(file);
    Fill("Shown", "A", "B", "0", "C", "3");
    form.SelectGenre(17);
    const QByteArray before = Contents(file);
    form.btnLoadClick();
    EXPECT_EQ(messages.Texts(TMessageKind::Warning), QStringList{"No ID3 Tag was found!"});
    EXPECT_EQ(QStringList({form.edTitle->text(), form.edYear->text(), form.edTrack->text()}),
              QStringList({"Shown", "0", "3"}));
    EXPECT_EQ(form.ccbGenre->currentIndex(), 17);
    EXPECT_EQ(Contents(file), before);
}

TEST_F(PropertiesTest, RefusedTextsLeaveTheFileAlone)
{
    const QString file = Mp3(QStringLiteral("tagged.mp3"), true);
    form.SetFileName(file);
    const QByteArray before = Contents(file);
    const QString a30(30, QLatin1Char('a'));
    // Title, artist, album, year, comment, track, genre; the refusal's words.
    const QStringList cases[] = {
        {a30 + "b", "", "", "", "", "0", "",
         "title is too long for the ID3 tag: it holds at most 30"},
        {"", "", a30 + "b", "", "", "0", "", "album is too long"},
        {"", "", "", "19999", "", "0", "", "year is too long for the ID3 tag: it holds at most 4"},
        {"", "", "", "", a30, "0", "", "comment is too long for the ID3 tag: it holds at most 29"},
        {"", "\u0411\u044c\u043e\u0440\u043a", "", "", "", "0", "", "artist contains characters"},
        {"", "", "", "", "", "256", "", "track must be a number from 0 to 255"},
        {"", "", "", "", "", "-1", "", "track must be"},
        {"", "", "", "", "", "", "", "track must be"},
        {"", "", "", "", "", "0", "Bluez", "\"Bluez\" is not a genre"},
    };
    for (const QStringList &c : cases) {
        Fill(c[0], c[1], c[2], c[3], c[4], c[5]);
        form.ccbGenre->setEditText(c[6]);
        messages.Clear();
        form.btnSaveClick();
        EXPECT_EQ(messages.Texts(TMessageKind::Warning).size(), 1) << c[7].toStdString();
        EXPECT_TRUE(messages.Texts().value(0).contains(c[7])) << c[7].toStdString();
        EXPECT_EQ(Contents(file), before) << c[7].toStdString();
    }

    // Widths count Windows-1252 bytes: 28 letters, an accented one and a typographic
    // apostrophe fit; so do " 255 " and a genre typed in other case, blanks around it.
    Fill(QString(28, QLatin1Char('a')) + QChar(0xE9) + QChar(0x2019), "", "", "", "", " 255 ");
    form.ccbGenre->setEditText(QStringLiteral(" blues "));
    messages.Clear();
    form.btnSaveClick();
    EXPECT_TRUE(messages.Shown().isEmpty());
    const QByteArray tag = Contents(file).right(ID3TagSize);
    EXPECT_EQ(tag.mid(3, 30), QByteArray(28, 'a') + char(0xE9) + char(0x92));
    EXPECT_EQ(quint8(tag[126]), 255);
    EXPECT_EQ(quint8(tag[127]), 0);
}

TEST_F(PropertiesTest, FailedSaveRaisesAndKeepsTheBytes)
{
    Fill(QStringLiteral("T"), {}, {}, {}, {}, QStringLiteral("1"));

    const QString missing = dir.filePath(QStringLiteral("gone.mp3"));
    form.SetFileName(missing);
    EXPECT_THROW(form.btnSaveClick(), EError);
    EXPECT_FALSE(QFile::exists(missing));

    QDir(dir.path()).mkdir(QStringLiteral("folder.mp3"));
    form.SetFileName(dir.filePath(QStringLiteral("folder.mp3")));
    EXPECT_THROW(form.btnSaveClick(), EError);

    const QString shortFile = dir.filePath(QStringLiteral("short.mp3"));
    {
        QFile f(shortFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(127, 'x'));
    }
    form.SetFileName(shortFile);
    EXPECT_THROW(form.btnSaveClick(), EError);
    EXPECT_EQ(Contents(shortFile), QByteArray(127, 'x'));

    form.SetFileName(missing);
    EXPECT_THROW(form.btnLoadClick(), EError);
    EXPECT_EQ(form.edTitle->text(), "T");
}

TEST_F(PropertiesTest, LookupOpensTheSearchForTheArtistAsTyped)
{
    QList<QUrl> opened;
    bool succeed = true;
    Shell::SetHandlers({}, [&](const QUrl &url) {
        opened << url;
        return succeed;
    });
    form.edArtist->setText(QStringLiteral("Bob Dylan"));
    form.btnLookupClick();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), "https://www.google.com/search?q=Bob Dylan+MP3");
    EXPECT_EQ(opened[0].path(), "/search");
    EXPECT_TRUE(messages.Shown().isEmpty());

    // Characters that would cut the query short stay part of the artist.
    form.edArtist->setText(QStringLiteral("Simon & Garfunkel #1"));
    form.btnLookupClick();
    ASSERT_EQ(opened.size(), 2);
    const QUrlQuery query(opened[1]);
    EXPECT_EQ(query.queryItems(QUrl::FullyDecoded).size(), 1);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded),
              "Simon & Garfunkel #1+MP3");
    EXPECT_TRUE(opened[1].fragment().isEmpty());

    succeed = false;
    form.btnLookupClick();
    EXPECT_EQ(messages.Texts(TMessageKind::Error), QStringList{"Error loading Internet Explorer!"});
}

// The main window's menu items fill the dialog from the grids' current rows.
class SongPropertiesMenuTest : public PropertiesTest
{
protected:
    void TearDown() override
    {
        window.reset();
        frmMain = nullptr;
        PropertiesTest::TearDown();
    }
    // Shows the dialog through the action and returns what it showed.
    QStringList Shown(const std::function<void()> &action)
    {
        QStringList seen;
        bool visible = false;
        QTimer::singleShot(0, &form, [&] {
            visible = form.isVisible();
            Screenshot(form, QStringLiteral("properties"));
            seen << form.lblSongNo2->text() << form.lblDuration2->text()
                 << form.lblPhysicalLocation2->text() << form.edTitle->text()
                 << form.edArtist->text() << form.ccbGenre->currentText() << form.edComment->text()
                 << form.edAlbum->text() << form.edYear->text() << form.edTrack->text();
            form.btnOK->click();
        });
        action();
        EXPECT_TRUE(visible);
        EXPECT_EQ(form.result(), mrOk);
        return seen;
    }

    TestLibrary library;
    TMainWindowPtr window;
};

TEST_F(SongPropertiesMenuTest, FillsFromEitherGrid)
{
    const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    const qint64 song = library.AddSong(QStringLiteral("Tagged"), folder, QStringLiteral("a.mp3"),
                                        185, 0, QStringLiteral("Artist"), QStringLiteral("Album"),
                                        1999, 4, QStringLiteral("Comment"));
    library.AddSong(QStringLiteral("Untagged"), folder, QStringLiteral("b.mp3"), 0, 255);
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, song, 1);
    window = StartMainWindow();

    EXPECT_EQ(Shown([this] { Child<QAction>(window, "Properties1")->trigger(); }),
              QStringList({"1", "03:05", folder + "a.mp3", "Tagged", "Artist", "Blues", "Comment",
                           "Album", "1999", "4"}));

    // Available songs are ordered by title; the untagged one comes last.
    window->availableSongs()->Last();
    EXPECT_EQ(Shown([this] { Child<QAction>(window, "Properties2")->trigger(); }),
              QStringList({"", "00:00", folder + "b.mp3", "Untagged", "", "", "", "", "0", "0"}));
    EXPECT_EQ(form.ccbGenre->currentIndex(), -1);
    EXPECT_TRUE(messages.Shown().isEmpty());
}

// Saving a tag brings the song's row in the library and both grids up to date at once.
TEST_F(SongPropertiesMenuTest, SaveReachesTheLibraryAndBothGridsKeepingTheirRows)
{
    const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    Mp3(QStringLiteral("a.mp3"), true);
    const qint64 alpha = library.AddSong(QStringLiteral("Alpha"), folder, QStringLiteral("a.mp3"),
                                         185, 0, QStringLiteral("Old artist"));
    const qint64 beta = library.AddSong(QStringLiteral("Beta"), folder, QStringLiteral("b.mp3"));
    const qint64 list = library.AddPlaylist(QStringLiteral("L"));
    library.AddEntry(list, beta, 1);
    library.AddEntry(list, alpha, 2);
    library.AddEntry(list, alpha, 3);
    window = StartMainWindow();
    window->oggleAvailableSongs1Click();
    Child<QAction>(window, "ShowArtists1")->trigger();
    Child<QAction>(window, "Show1")->trigger();
    window->show();
    window->playlistSongs()->SetRecNo(1);
    window->availableSongs()->SetRecNo(1); // Beta

    TDBGrid *playlist = Child<TDBGrid>(window, "grdPlayList");
    TDBGrid *available = Child<TDBGrid>(window, "grdAvailableSongs");
    QStringList seen;
    QTimer::singleShot(0, &form, [&] {
        Fill(QStringLiteral("Omega"), QStringLiteral("New artist"), QStringLiteral("New album"),
             QStringLiteral("2001"), QStringLiteral("New comment"), QStringLiteral("7"));
        form.SelectGenre(17);
        QTest::mouseClick(form.btnSave, Qt::LeftButton);
        // At once, with the dialog still open.
        for (int row : {1, 2})
            seen << playlist->CellText(row, playlist->ColumnByTitle(QStringLiteral("Title")))
                 << playlist->CellText(row, playlist->ColumnByTitle(QStringLiteral("ID3_Artist")));
        seen << available->CellText(0, available->ColumnByTitle(QStringLiteral("Title")))
             << available->CellText(0, available->ColumnByTitle(QStringLiteral("ID3_Artist")));
        Screenshot(*window, QStringLiteral("grid-behind-properties"));
        Screenshot(form, QStringLiteral("properties-after-save"));
        QTest::mouseClick(form.btnOK, Qt::LeftButton);
    });
    Child<QAction>(window, "Properties1")->trigger();
    EXPECT_EQ(seen,
              QStringList({"Omega", "New artist", "Omega", "New artist", "Omega", "New artist"}));
    EXPECT_EQ(window->playlistSongs()->RecNo(), 1);
    EXPECT_EQ(window->availableSongs()->AsString(QStringLiteral("ID3_Title")),
              QStringLiteral("Beta"));
    EXPECT_EQ(playlist->SelectedRows(), QList<int>({1}));
    EXPECT_EQ(available->currentIndex().row(), 1);

    EXPECT_EQ(library.QueryInt(QStringLiteral(
                  "SELECT count(*) FROM Playlist_DB WHERE ID3_Title = 'Omega' AND ID3_Artist = "
                  "'New artist' AND ID3_Album = 'New album' AND ID3_Year = 2001 AND ID3_Comment = "
                  "'New comment' AND ID3_Track = 7 AND ID3_Genre = 17 AND Duration = 185")),
              1);
    EXPECT_EQ(library.QueryInt(QStringLiteral("SELECT Row_ID FROM Playlist_DB WHERE ID3_Title = "
                                              "'Omega'")),
              alpha);
    EXPECT_TRUE(messages.Shown().isEmpty()) << messages.Texts().join('\n').toStdString();
}

// Edits typed and not saved are asked about at OK; Load and Save act on the stored name,
// also when it is not UTF-8.
TEST_F(PropertiesTest, OkAsksAboutUnsavedEditsAndTheFileIsFoundByItsStoredName)
{
    const QString plain = Mp3(QStringLiteral("plain.mp3"), true);
    const QByteArray bytes = QFile::encodeName(dir.path()) + "/caf\xe9 \xff.mp3";
    ASSERT_EQ(::rename(QFile::encodeName(plain).constData(), bytes.constData()), 0);
    // The temporary folder cannot remove a name it cannot spell.
    const auto removeAfterwards = qScopeGuard([&] { ::unlink(bytes.constData()); });
    const QString name = FileNameFromBytes(bytes);
    int saved = 0;
    QObject::connect(&form, &TfrmProperties::TagSaved, [&saved] { ++saved; });

    form.SetFileName(name);
    Fill(QStringLiteral("Old"), QString(), QString(), QStringLiteral("0"), QString(),
         QStringLiteral("0"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.btnLoad, Qt::LeftButton);
    EXPECT_TRUE(messages.Shown().isEmpty()) << messages.Texts().join('|').toStdString();
    const QString loaded = form.edTitle->text();

    // Cancel stays, with the edit still there.
    QTest::keyClicks(form.edTitle, QStringLiteral(" typed"));
    Screenshot(form, QStringLiteral("properties-unsaved-edit"));
    messages.SetConfirmationAnswer(mrCancel);
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
    EXPECT_EQ(messages.Texts(TMessageKind::Question),
              QStringList{QStringLiteral("The tag has changes that were not saved.\rDo you want "
                                         "to save them to the file?")});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.edTitle->text(), loaded + QStringLiteral(" typed"));

    // Yes saves into the file, then closes.
    messages.SetConfirmationAnswer(mrYes);
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(saved, 1);
    TID3Tag tag;
    ReadID3Tag(name, tag);
    EXPECT_EQ(FieldToString(tag.Title), loaded + QStringLiteral(" typed"));

    // No closes and leaves the file as it was; without edits nothing is asked.
    form.show();
    QTest::keyClicks(form.edArtist, QStringLiteral("Nobody"));
    messages.Clear();
    messages.SetConfirmationAnswer(mrNo);
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
    EXPECT_EQ(messages.Texts(TMessageKind::Question).size(), 1);
    EXPECT_FALSE(form.isVisible());
    ReadID3Tag(name, tag);
    EXPECT_EQ(FieldToString(tag.Artist), QString());
    EXPECT_EQ(saved, 1);
    form.show();
    messages.Clear();
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
    EXPECT_TRUE(messages.Shown().isEmpty());
    EXPECT_FALSE(form.isVisible());
}

} // namespace
