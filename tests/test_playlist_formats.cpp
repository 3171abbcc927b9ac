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
    EXPECT_EQ(Files(read), QStringList({"/lists/a.mp3", "/up/b.mp3", "/lists/c.mp3", "/abs/d.mp3",
                                        QStringLiteral("/abs/with blank") +
                                            FileNameFromBytes("\xff") + QStringLiteral(".mp3"),
                                        "/abs/e.mp3", "! a file on another computer; skipped",
                                        "! not a file but a URL; skipped", "/lists/C:relative.mp3",
                                        "/lists/name with trailing blank ",
                                        "/lists/last-without-line-end.mp3"}));
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

} // namespace
