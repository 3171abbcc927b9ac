#include "data/ID3v2Tags.h"

#include "base/FileNames.h"

#include <QFile>
#include <QRegularExpression>
#include <id3v2frame.h>
#include <id3v2framefactory.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tdebuglistener.h>
#include <tfilestream.h>
#include <unistd.h>

namespace
{

// How far into a file its ID3v2 tag is looked for.
constexpr qint64 ID3v2SearchBytes = 64 * 1024;

// TagLib's complaints about odd files would end up on the command line's output.
class TQuietListener : public TagLib::DebugListener
{
public:
    void printMessage(const TagLib::String &) override {}
};

void SilenceTagLib()
{
    static TQuietListener listener;
    static const bool silenced = (TagLib::setDebugListener(&listener), true);
    Q_UNUSED(silenced);
}

QString ToQString(const TagLib::String &text)
{
    return QString::fromStdWString(text.toWString());
}

// The first characters of a text, counting characters, not UTF-16 units.
QString Cut(const QString &text, int width)
{
    QString cut;
    int count = 0;
    for (qsizetype i = 0; i < text.size() && count < width; ++count) {
        const qsizetype step = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        cut += text.mid(i, step);
        i += step;
    }
    return cut;
}

QString FrameText(const TagLib::ID3v2::Tag &tag, const char *id)
{
    const TagLib::ID3v2::FrameList &frames = tag.frameListMap()[id];
    return frames.isEmpty() ? QString() : ToQString(frames.front()->toString());
}

int YearOf(const QString &text)
{
    const QString year = text.trimmed().left(4);
    if (year.size() != 4)
        return 0;
    for (const QChar c : year) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    return year.toInt();
}

int TrackOf(const QString &text)
{
    bool ok = false;
    const int track = text.section(QLatin1Char('/'), 0, 0).trimmed().toInt(&ok);
    return ok && track >= 1 && track <= 255 ? track : 0;
}

} // namespace

TSongTags SongTagsFromID3v1(const TID3Tag &Tag)
{
    TSongTags tags;
    tags.Title = FieldToString(Tag.Title);
    tags.Artist = FieldToString(Tag.Artist);
    tags.Album = FieldToString(Tag.Album);
    tags.Comment = FieldToString(Tag.Comment);
    tags.Year = TagYear(Tag);
    tags.Track = Tag.Track;
    tags.Genre = Tag.Genre;
    return tags;
}

int ID3v2GenreNumber(const QString &Text)
{
    // A number first, bare or in brackets, may be followed by a name ("(17)Rock", "17 Rock").
    static const QRegularExpression numbered(QStringLiteral("^\\s*\\(?(\\d+)\\)?"));
    const QRegularExpressionMatch match = numbered.match(Text);
    if (match.hasMatch()) {
        const int number = TagByteOfText(match.captured(1));
        return number >= 0 ? number : NoGenre;
    }
    const int named = GenreByName(Text);
    return named >= 0 ? named : NoGenre;
}

bool ReadID3v2Tags(const QString &FileName, TSongTags &Tags)
{
    SilenceTagLib();
    QFile file;
    if (!OpenForReading(file, FileName))
        return false;
    // The tag stands at the start of the file, or behind a few leading bytes of other data;
    // TagLib looks for it up to the first MPEG frame. Without its mark near the start TagLib
    // has nothing to give, and is not asked.
    if (!file.read(ID3v2SearchBytes).contains("ID3"))
        return false;
    file.seek(0);
    // TagLib closes the duplicate; the QFile closes its own.
    const int fd = ::dup(file.handle());
    if (fd < 0)
        return false;
    TagLib::FileStream stream(fd, true);
    if (!stream.isOpen())
        return false;
    TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), false,
                            TagLib::AudioProperties::Fast);
    if (!mpeg.isValid() || !mpeg.hasID3v2Tag())
        return false;
    const TagLib::ID3v2::Tag &tag = *mpeg.ID3v2Tag();
    TSongTags tags;
    tags.Title = Cut(ToQString(tag.title()), 30);
    tags.Artist = Cut(ToQString(tag.artist()), 30);
    tags.Album = Cut(ToQString(tag.album()), 30);
    tags.Comment = Cut(ToQString(tag.comment()), 29);
    QString recorded = FrameText(tag, "TDRC");
    if (recorded.isEmpty())
        recorded = FrameText(tag, "TYER");
    tags.Year = YearOf(recorded);
    tags.Track = TrackOf(FrameText(tag, "TRCK"));
    tags.Genre = ID3v2GenreNumber(FrameText(tag, "TCON"));
    Tags = tags;
    return true;
}

TSongTags ReadSongTags(const QString &FileName)
{
    TID3Tag tag;
    ReadID3Tag(FileName, tag);
    TSongTags tags = SongTagsFromID3v1(tag);
    if (!HasID3Tag(tag))
        ReadID3v2Tags(FileName, tags);
    return tags;
}
