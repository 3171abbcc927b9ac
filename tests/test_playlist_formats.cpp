#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/PlaylistFormats.h"

#include <gtest/gtest.h>

// The playlist file formats without a library: what the readers take from other players'
// files and what the writers give them.

namespace
{

QStringList Files(const TPlaylistRead &read)
{
    QStringList files;
    for (const TPlaylistEntryRead &entry : read.Entries)
        files << (entry.Problem.isEmpty() ? entry.File : QStringLiteral("! ") + entry.Problem);
    return files;
}

TEST(PlaylistFormats, M3uLinesAndUrisWhateverTheirLineEnds)
{
    const QByteArray text = "\xEF\xBB\xBF#EXTM3U\r\n"
                            "#EXTINF:12,Artist - Title\r\n"
                            "a.mp3\r\n"
                            "\r\n"
                            "   \n"
                            "../up/b.mp3\n"
                            "./sub/../c.mp3\r"
                            "/abs/d.mp3\n"
                            "file:///abs/with%20blank%FF.mp3\n"
                            "FILE://localhost/abs/e.mp3\n"
                            "file://elsewhere/abs/f.mp3\n"
                            "https://radio.example/stream\n"
                            "C:relative.mp3\n"
                            "name with trailing blank \n"
                            "last-without-line-end.mp3";
    const TPlaylistRead read = ParsePlaylist(text, TPlaylistFormat::M3u8, QStringLiteral("/lists"));
    EXPECT_EQ(Files(read),
              QStringList({"/lists/a.mp3", "/up/b.mp3", "/lists/c.mp3", "/abs/d.mp3",
                           QStringLiteral("/abs/with blank") + FileNameFromBytes("\xff") +
                               QStringLiteral(".mp3"),
                           "/abs/e.mp3", "! a file on another computer; skipped",
                           "! not a file but a URL; skipped", "/lists/C:relative.mp3",
                           "/lists/name with trailing blank", "/lists/last-without-line-end.mp3"}));
    EXPECT_EQ(read.Entries.at(7).Written, QStringLiteral("https://radio.example/stream"));

    // UTF-16 with its byte order mark, as some players on Windows write.
    QByteArray utf16 = "\xFF\xFE";
    const QString wide = QStringLiteral("#EXTM3U\r\n\u00e9t\u00e9.mp3\r\n");
    utf16.append(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    EXPECT_EQ(Files(ParsePlaylist(utf16, TPlaylistFormat::M3u, QStringLiteral("/m"))),
              QStringList({QStringLiteral("/m/\u00e9t\u00e9.mp3")}));
}

TEST(PlaylistFormats, PlsTakesTheFileKeysInNumberOrder)
{
    const QByteArray text = "[playlist]\r\nNumberOfEntries=3\r\n; comment\r\nFile3=c.mp3\r\n"
                            "Title3=Three\r\nfile1=/abs/a.mp3\r\nFILE2=file:///abs/b%23.mp3\r\n"
                            "File4=\r\nFileX=nope\r\nVersion=2\r\n";
    EXPECT_EQ(Files(ParsePlaylist(text, TPlaylistFormat::Pls, QStringLiteral("/m"))),
              QStringList({"/abs/a.mp3", "/abs/b#.mp3", "/m/c.mp3"}));
}

TEST(PlaylistFormats, XspfLocationsTitleAndErrors)
{
    const QByteArray text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n"
        "  <title>Road &amp; trip</title>\n"
        "  <trackList>\n"
        "    <track><location>\n   sub/a%20b.mp3\n  </location><title>ignored</title></track>\n"
        "    <track><extension application=\"x\"><location>/not/this.mp3</location></extension>"
        "<location>file:///abs/c.mp3</location><location>file:///abs/second.mp3</location>"
        "</track>\n"
        "    <track><title>no location</title></track>\n"
        "    <track><location>http://example.com/x.mp3</location></track>\n"
        "    <track><location>\xe6\x97\xa5%E6%9C%AC.mp3</location></track>\n"
        "  </trackList>\n"
        "</playlist>\n";
    const TPlaylistRead read = ParsePlaylist(text, TPlaylistFormat::Xspf, QStringLiteral("/m"));
    EXPECT_EQ(read.Title, QStringLiteral("Road & trip"));
    EXPECT_EQ(
        Files(read),
        QStringList({"/m/sub/a b.mp3", "/abs/c.mp3", "! a track without a location; skipped",
                     "! not a file but a URL; skipped", QStringLiteral("/m/\u65e5\u672c.mp3")}));

    const auto errorOf = [](const QByteArray &bytes) {
        try {
            ParsePlaylist(bytes, TPlaylistFormat::Xspf, QStringLiteral("/m"),
                          QStringLiteral("/m/list.xspf"));
        } catch (const EInOutError &e) {
            return e.Message();
        }
        return QString();
    };
    EXPECT_TRUE(errorOf("<playlist>\n<trackList>\n<track>\n</trackList>")
                    .contains(QStringLiteral("not well-formed XML: line 4")));
    EXPECT_TRUE(errorOf("").contains(QStringLiteral("not well-formed XML")));
    EXPECT_TRUE(errorOf("<?xml version=\"1.0\"?>\n<html><body/></html>")
                    .contains(QStringLiteral("not an XSPF playlist")));
}

TEST(PlaylistFormats, RelativeNamesAndUris)
{
    EXPECT_EQ(RelativeFileName(QStringLiteral("/a/b/c.mp3"), QStringLiteral("/a/b")),
              QStringLiteral("c.mp3"));
    EXPECT_EQ(RelativeFileName(QStringLiteral("/a/b/c.mp3"), QStringLiteral("/a/x/y")),
              QStringLiteral("../../b/c.mp3"));
    EXPECT_EQ(RelativeFileName(QStringLiteral("/a/b/c.mp3"), QStringLiteral("/")),
              QStringLiteral("a/b/c.mp3"));
    EXPECT_EQ(RelativeFileName(QStringLiteral("/ab/c.mp3"), QStringLiteral("/a")),
              QStringLiteral("../ab/c.mp3"));
    EXPECT_EQ(RelativeFileName(QStringLiteral("/a/b.mp3"), QStringLiteral("/a/b.mp3")),
              QStringLiteral("../b.mp3"));
    EXPECT_EQ(FileUri(QStringLiteral("/m/a b#%") + FileNameFromBytes("\xff") +
                      QStringLiteral("\u00e9:?.mp3")),
              QByteArray("file:///m/a%20b%23%25%FF%C3%A9%3A%3F.mp3"));
}

TEST(PlaylistFormats, WritersCarryEveryNameOrSayWhyNot)
{
    const QString stray =
        QStringLiteral("/m/x") + FileNameFromBytes("\xfe") + QStringLiteral(".mp3");
    const QList<TPlaylistItem> items = {
        {QStringLiteral("/m/sub/a.mp3"), QStringLiteral("61"), QStringLiteral("T\x01itle"),
         QStringLiteral("Art")},
        {stray, QString(), QStringLiteral("No artist"), QString()},
        {QString(), QString(), QString(), QString()},
        {QStringLiteral("/m/#x.mp3"), QStringLiteral("5"), QStringLiteral("H"), QString()},
        {QStringLiteral("/m/line\nbreak.mp3"), QStringLiteral("5"), QStringLiteral("L"), QString()},
    };
    const TPlaylistText m3u8 = M3uText(items, true, QStringLiteral("/m"));
    EXPECT_EQ(m3u8.Text, QByteArray("#EXTM3U\r\n"
                                    "#EXTINF:61,Art - Title\r\nsub/a.mp3\r\n"
                                    "#EXTINF:-1,No artist\r\nfile:///m/x%FE.mp3\r\n"
                                    "#EXTINF:5,H\r\n./#x.mp3\r\n"
                                    "#EXTINF:5,L\r\nfile:///m/line%0Abreak.mp3\r\n"));
    EXPECT_EQ(m3u8.LeftOut,
              QStringList({QStringLiteral("entry 3: its song is no longer in the library")}));

    // .m3u holds the file system's bytes and cannot hold a line break.
    const TPlaylistText m3u = M3uText(items, false);
    EXPECT_TRUE(m3u.Text.contains("\r\n/m/x\xfe.mp3\r\n")) << m3u.Text.toStdString();
    EXPECT_EQ(m3u.LeftOut.size(), 2);

    const TPlaylistText xspf = XspfText(items, QStringLiteral("Mine <1>"), QStringLiteral("/m"));
    EXPECT_EQ(xspf.LeftOut.size(), 1);
    const TPlaylistRead back =
        ParsePlaylist(xspf.Text, TPlaylistFormat::Xspf, QStringLiteral("/m"));
    EXPECT_EQ(back.Title, QStringLiteral("Mine <1>"));
    EXPECT_EQ(Files(back), QStringList({"/m/sub/a.mp3", stray, "/m/#x.mp3", "/m/line\nbreak.mp3"}));
    EXPECT_TRUE(xspf.Text.contains("<duration>61000</duration>"));
    EXPECT_TRUE(xspf.Text.contains("<creator>Art</creator>"));
}

// A NUL ends a name where the system takes it, so such a name would reach another file: it is
// left out, however the file spells it, and never written.
TEST(PlaylistFormats, NamesHoldingANulAreLeftOutOnReadAndWrite)
{
    const QString nul = QStringLiteral("! its name holds a NUL character; skipped");
    const QByteArray m3u = QByteArray("#EXTM3U\na") + '\0' + "b.mp3\nfile:///m/c%00d.mp3\nok.mp3\n";
    EXPECT_EQ(Files(ParsePlaylist(m3u, TPlaylistFormat::M3u, QStringLiteral("/m"))),
              QStringList({nul, nul, "/m/ok.mp3"}));
    QByteArray utf16 = "\xFF\xFE";
    const QString wide = QStringLiteral("x") + QChar(0) + QStringLiteral("y.mp3\r\nz.mp3\r\n");
    utf16.append(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    EXPECT_EQ(Files(ParsePlaylist(utf16, TPlaylistFormat::M3u8, QStringLiteral("/m"))),
              QStringList({nul, "/m/z.mp3"}));
    const QByteArray pls = QByteArray("[playlist]\nFile1=a") + '\0' + "b.mp3\nFile2=z.mp3\n";
    EXPECT_EQ(Files(ParsePlaylist(pls, TPlaylistFormat::Pls, QStringLiteral("/m"))),
              QStringList({nul, "/m/z.mp3"}));
    const QByteArray xspf = "<playlist><trackList><track><location>a%00b.mp3</location></track>"
                            "</trackList></playlist>";
    EXPECT_EQ(Files(ParsePlaylist(xspf, TPlaylistFormat::Xspf, QStringLiteral("/m"))),
              QStringList({nul}));

    const QList<TPlaylistItem> items = {
        {QStringLiteral("/m/a") + QChar(0) + QStringLiteral("b.mp3"), QStringLiteral("1"),
         QStringLiteral("T"), QString()},
        {QStringLiteral("/m/ok.mp3"), QStringLiteral("1"), QStringLiteral("T"), QString()}};
    for (const TPlaylistFormat format : {TPlaylistFormat::Pls, TPlaylistFormat::M3u,
                                         TPlaylistFormat::M3u8, TPlaylistFormat::Xspf}) {
        for (const QString &relativeTo : {QString(), QStringLiteral("/m")}) {
            const TPlaylistText text = PlaylistText(format, items, QStringLiteral("L"), relativeTo);
            EXPECT_FALSE(text.Text.contains('\0') || text.Text.contains("%00")) << text.Text.size();
            ASSERT_EQ(text.LeftOut.size(), 1);
            EXPECT_TRUE(text.LeftOut.first().endsWith(
                QStringLiteral("a\\0b.mp3: its name holds a NUL character")))
                << text.LeftOut.first().toStdString();
            EXPECT_TRUE(text.Text.contains("ok.mp3"));
        }
    }
}

// Other players' lists pad names with blanks and write relative names with Windows
// separators; names on a Windows drive cannot be here and say so.
TEST(PlaylistFormats, OtherProgramsNamesAreReadAsTheyMeanThem)
{
    const QByteArray m3u = "#EXTM3U\r\n"
                           "  padded.mp3 \t\r\n"
                           "Music\\x.mp3\r\n"
                           "..\\up\\y.mp3\r\n"
                           "  file:///abs/z.mp3  \r\n"
                           "C:\\Music\\z.mp3\r\n"
                           "d:/Music/w.mp3\r\n"
                           "file:///C:/Music/v.mp3\r\n";
    const TPlaylistRead read = ParsePlaylist(m3u, TPlaylistFormat::M3u, QStringLiteral("/lists"));
    const QString drive =
        QStringLiteral("! a Windows name with a drive letter; there is no such file here");
    EXPECT_EQ(Files(read), QStringList({"/lists/padded.mp3", "/lists/Music/x.mp3", "/up/y.mp3",
                                        "/abs/z.mp3", drive, drive, drive}));
    // A file named exactly as written is still found first.
    EXPECT_EQ(read.Entries.at(0).Literal, QStringLiteral("/lists/  padded.mp3 \t"));
    EXPECT_EQ(read.Entries.at(1).Literal, QStringLiteral("/lists/Music\\x.mp3"));
    for (int i = 4; i < 7; ++i)
        EXPECT_TRUE(read.Entries.at(i).Missing) << i;
    EXPECT_FALSE(read.Entries.at(0).Missing);

    const QByteArray pls = "[playlist]\r\nFile1=  Music\\x.mp3 \r\nFile2= C:\\y.mp3\r\n";
    EXPECT_EQ(Files(ParsePlaylist(pls, TPlaylistFormat::Pls, QStringLiteral("/lists"))),
              QStringList({"/lists/Music/x.mp3", drive}));
}

// What would cost minutes and gigabytes is refused at once, and a message shows only a short
// piece of what it refuses.
TEST(PlaylistFormats, HugeLinesListsAndXmlAreRefusedWithAShortMessage)
{
    const auto errorOf = [](const QByteArray &bytes, TPlaylistFormat format) {
        try {
            ParsePlaylist(bytes, format, QStringLiteral("/m"), QStringLiteral("/m/list"));
        } catch (const EInOutError &e) {
            EXPECT_LT(e.Message().size(), 200) << e.Message().left(400).toStdString();
            return e.Message();
        }
        return QStringLiteral("read");
    };
    const QByteArray longLine = "#EXTM3U\nok.mp3\n" + QByteArray(1024 * 1024, 'x') + ".mp3\n";
    for (const TPlaylistFormat format : {TPlaylistFormat::M3u, TPlaylistFormat::Pls})
        EXPECT_TRUE(errorOf(longLine, format)
                        .contains(QStringLiteral("line 3 is longer than 32 KB (it starts \"xxxx")));
    // A line within the limit is an entry.
    EXPECT_EQ(errorOf(QByteArray(PlaylistLineLimit, 'y'), TPlaylistFormat::M3u),
              QStringLiteral("read"));

    const QString tooMany = QStringLiteral("a playlist holds at most 65,535 entries");
    QByteArray m3u, pls = "[playlist]\n";
    for (int n = 1; n <= PlaylistEntryLimit; ++n) {
        m3u += "a.mp3\n";
        pls += "File" + QByteArray::number(n) + "=a.mp3\n";
    }
    EXPECT_EQ(ParsePlaylist(m3u, TPlaylistFormat::M3u, QStringLiteral("/m")).Entries.size(),
              PlaylistEntryLimit);
    EXPECT_TRUE(errorOf(m3u + "#EXTINF:1,x\nb.mp3\n", TPlaylistFormat::M3u).contains(tooMany));
    EXPECT_TRUE(errorOf(pls + "File0=b.mp3\n", TPlaylistFormat::Pls).contains(tooMany));
    QByteArray xspf = "<playlist><trackList>";
    for (int n = 0; n <= PlaylistEntryLimit; ++n)
        xspf += "<track/>";
    EXPECT_TRUE(errorOf(xspf + "</trackList></playlist>", TPlaylistFormat::Xspf).contains(tooMany));

    QByteArray attributes = "<?xml version=\"1.0\"?>\n<!-- <a x=1 y=2> -->\n<playlist";
    for (int n = 0; n < 100000; ++n)
        attributes += " a" + QByteArray::number(n) + "=\"=\"";
    EXPECT_TRUE(errorOf(attributes + "/>", TPlaylistFormat::Xspf)
                    .contains(QStringLiteral("line 3: an element has more than 256 attributes")));
    const QByteArray deep = "<playlist>\n" + QByteArray("<a>").repeated(1000000);
    EXPECT_TRUE(errorOf(deep, TPlaylistFormat::Xspf)
                    .contains(QStringLiteral("line 2: elements are nested more than 64 deep")));
    // Within the limits the XML reader has its say.
    QByteArray fine = "<playlist a=\"1\" b='>'>" + QByteArray("<x>").repeated(62) +
                      QByteArray("</x>").repeated(62) + "</playlist>";
    EXPECT_EQ(errorOf(fine, TPlaylistFormat::Xspf), QStringLiteral("read"));
    EXPECT_TRUE(errorOf("<playlist>" + QByteArray(100000, 'n') + "<", TPlaylistFormat::Xspf)
                    .contains(QStringLiteral("not well-formed XML")));
    EXPECT_TRUE(errorOf("<" + QByteArray(4000, 'n') + "/>", TPlaylistFormat::Xspf)
                    .contains(QStringLiteral("not an XSPF playlist")));
}

} // namespace
