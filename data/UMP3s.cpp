#include "data/UMP3s.h"

#include "data/Errors.h"

#include <QFile>
#include <cerrno>
#include <cstring>

const char *const Genres[GenreCount] = {"Blues",
                                        "Classic Rock",
                                        "Country",
                                        "Dance",
                                        "Disco",
                                        "Funk",
                                        "Grunge",
                                        "Hip-Hop",
                                        "Jazz",
                                        "Metal",
                                        "New Age",
                                        "Oldies",
                                        "Other",
                                        "Pop",
                                        "R&B",
                                        "Rap",
                                        "Reggae",
                                        "Rock",
                                        "Techno",
                                        "Industrial",
                                        "Alternative",
                                        "Ska",
                                        "Death Metal",
                                        "Pranks",
                                        "Soundtrack",
                                        "Euro-Techno",
                                        "Ambient",
                                        "Trip-Hop",
                                        "Vocal",
                                        "Jazz+Funk",
                                        "Fusion",
                                        "Trance",
                                        "Classical",
                                        "Instrumental",
                                        "Acid",
                                        "House",
                                        "Game",
                                        "Sound Clip",
                                        "Gospel",
                                        "Noise",
                                        "AlternRock",
                                        "Bass",
                                        "Soul",
                                        "Punk",
                                        "Space",
                                        "Meditative",
                                        "Instrumental Pop",
                                        "Instrumental Rock",
                                        "Ethnic",
                                        "Gothic",
                                        "Darkwave",
                                        "Techno-Industrial",
                                        "Electronic",
                                        "Pop-Folk",
                                        "Eurodance",
                                        "Dream",
                                        "Southern Rock",
                                        "Comedy",
                                        "Cult",
                                        "Gangsta",
                                        "Top 40",
                                        "Christian Rap",
                                        "Pop/Funk",
                                        "Jungle",
                                        "Native American",
                                        "Cabaret",
                                        "New Wave",
                                        "Psychadelic",
                                        "Rave",
                                        "Showtunes",
                                        "Trailer",
                                        "Lo-Fi",
                                        "Tribal",
                                        "Acid Punk",
                                        "Acid Jazz",
                                        "Polka",
                                        "Retro",
                                        "Musical",
                                        "Rock & Roll",
                                        "Hard Rock",
                                        "Folk",
                                        "Folk-Rock",
                                        "National Folk",
                                        "Swing",
                                        "Fast Fusion",
                                        "Bebob",
                                        "Latin",
                                        "Revival",
                                        "Celtic",
                                        "Bluegrass",
                                        "Avantgarde",
                                        "Gothic Rock",
                                        "Progressive Rock",
                                        "Psychedelic Rock",
                                        "Symphonic Rock",
                                        "Slow Rock",
                                        "Big Band",
                                        "Chorus",
                                        "Easy Listening",
                                        "Acoustic",
                                        "Humour",
                                        "Speech",
                                        "Chanson",
                                        "Opera",
                                        "Chamber Music",
                                        "Sonata",
                                        "Symphony",
                                        "Booty Bass",
                                        "Primus",
                                        "Porn Groove",
                                        "Satire",
                                        "Slow Jam",
                                        "Club",
                                        "Tango",
                                        "Samba",
                                        "Folklore",
                                        "Ballad",
                                        "Power Ballad",
                                        "Rhythmic Soul",
                                        "Freestyle",
                                        "Duet",
                                        "Punk Rock",
                                        "Drum Solo",
                                        "Acapella",
                                        "Euro-House",
                                        "Dance Hall",
                                        "Goa",
                                        "Drum & Bass",
                                        "Club-House",
                                        "Hardcore",
                                        "Terror",
                                        "Indie",
                                        "BritPop",
                                        "Negerpunk",
                                        "Polsk Punk",
                                        "Beat",
                                        "Christian Gangsta Rap",
                                        "Heavy Metal",
                                        "Black Metal",
                                        "Crossover",
                                        "Contemporary Christian",
                                        "Christian Rock",
                                        "Merengue",
                                        "Salsa",
                                        "Trash Metal",
                                        "Anime",
                                        "Jpop",
                                        "Synthpop"};

TID3Tag NoTagRecord()
{
    TID3Tag tag;
    std::memset(&tag, 0, sizeof tag);
    std::memcpy(tag.Header, "N/A", 3);
    std::memcpy(tag.Year, "0000", 4);
    // A file without a tag has no track number, so the track is 0 rather than whatever byte
    // happens to sit at that offset of the audio.
    tag.Track = 0;
    tag.Genre = NoGenre;
    return tag;
}

bool HasID3Tag(const TID3Tag &Tag)
{
    return FieldBytes(Tag.Header, sizeof Tag.Header) == QByteArrayLiteral("TAG");
}

QByteArray FieldBytes(const char *field, int width)
{
    int length = 0;
    while (length < width && field[length] != '\0')
        ++length;
    return QByteArray(field, length);
}

QString FieldToString(const char *field, int width)
{
    return QString::fromLatin1(FieldBytes(field, width));
}

bool CopyToField(char *field, int width, const QByteArray &bytes)
{
    if (width < 0 || bytes.size() > width)
        return false;
    std::memcpy(field, bytes.constData(), size_t(bytes.size()));
    std::memset(field + bytes.size(), 0, size_t(width - bytes.size()));
    return true;
}

QString GenreName(int number)
{
    if (number < 0 || number >= GenreCount)
        return {};
    return QString::fromLatin1(Genres[number]);
}

// The system's reason for the last failed call: Qt's text when it kept one, else errno's.
static QString SystemText(const QFile &file, int savedErrno)
{
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty())
        return file.errorString();
    return qt_error_string(savedErrno != 0 ? savedErrno : EIO);
}

void ReadID3Tag(const QString &FileName, TID3Tag &Tag)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        throw EFOpenError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, file.errorString()));

    const qint64 size = file.size();
    if (size < ID3TagSize) {
        Tag = NoTagRecord();
        return;
    }
    TID3Tag read;
    errno = 0;
    if (!file.seek(size - ID3TagSize)) {
        const int code = errno;
        throw EInOutError(QStringLiteral("Cannot position in file \"%1\". %2")
                              .arg(FileName, SystemText(file, code)),
                          code);
    }
    errno = 0;
    if (file.read(reinterpret_cast<char *>(&read), ID3TagSize) != ID3TagSize) {
        const int code = errno;
        throw EInOutError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(FileName, SystemText(file, code)),
            code);
    }
    file.close();
    Tag = HasID3Tag(read) ? read : NoTagRecord();
}

namespace
{
// Raises the error for a failed step; the QFile closes itself as the exception unwinds.
[[noreturn]] void Fail(const QString &what, const QString &fileName, const QString &reason,
                       int code)
{
    throw EInOutError(QStringLiteral("%1 \"%2\". %3").arg(what, fileName, reason), code);
}
} // namespace

void WriteID3Tag(const QString &FileName, const TID3Tag &Tag)
{
    // ExistingOnly: never create the file; ReadWrite without Truncate keeps its contents.
    // Unbuffered: the record goes to the system in one write whose count we can check.
    QFile file(FileName);
    errno = 0;
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered)) {
        const int code = errno;
        Fail(QStringLiteral("Cannot open file"), FileName, file.errorString(), code);
    }

    const qint64 size = file.size();
    if (size < ID3TagSize)
        Fail(QStringLiteral("Cannot position in file"), FileName, qt_error_string(EINVAL), EINVAL);

    // Everything that can be checked is checked before the file is changed.
    TID3Tag old;
    errno = 0;
    if (!file.seek(size - ID3TagSize)) {
        const int code = errno;
        Fail(QStringLiteral("Cannot position in file"), FileName, SystemText(file, code), code);
    }
    errno = 0;
    if (file.read(reinterpret_cast<char *>(&old), ID3TagSize) != ID3TagSize) {
        const int code = errno;
        Fail(QStringLiteral("Cannot read file"), FileName, SystemText(file, code), code);
    }
    const bool inPlace = HasID3Tag(old);
    const qint64 offset = inPlace ? size - ID3TagSize : size;
    errno = 0;
    if (!file.seek(offset)) {
        const int code = errno;
        Fail(QStringLiteral("Cannot position in file"), FileName, SystemText(file, code), code);
    }

    errno = 0;
    const qint64 written = file.write(reinterpret_cast<const char *>(&Tag), ID3TagSize);
    if (written != ID3TagSize) {
        const int code = errno;
        const QString reason = SystemText(file, code);
        // Put back what was there, so the audio is never followed by half a record.
        if (!inPlace)
            file.resize(size);
        else if (written > 0 && file.seek(offset))
            file.write(reinterpret_cast<const char *>(&old), ID3TagSize);
        Fail(QStringLiteral("Cannot write file"), FileName, reason, code);
    }

    errno = 0;
    if (!file.flush()) {
        const int code = errno;
        Fail(QStringLiteral("Cannot write file"), FileName, SystemText(file, code), code);
    }
    errno = 0;
    file.close();
    if (file.error() != QFileDevice::NoError) {
        const int code = errno;
        Fail(QStringLiteral("Cannot close file"), FileName, file.errorString(), code);
    }
}
