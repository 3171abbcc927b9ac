#include "data/UMP3s.h"

#include "base/Errors.h"
#include "base/FileNames.h"

#include <QFile>
#include <cerrno>
#include <cstring>

// clang-format off
const char *const Genres[GenreCount] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "Acapella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Trash Metal", "Anime", "Jpop", "Synthpop",
};
// clang-format on

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

// Windows-1252's characters for the bytes 0x80..0x9F; the rest equal Latin-1.
static const char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString TagBytesToString(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte <= 0x9F ? Cp1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

bool StringToTagBytes(const QString &text, QByteArray &bytes)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int byte = -1;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = c;
        } else {
            for (int j = 0; j < 32; ++j) {
                if (Cp1252High[j] == c)
                    byte = 0x80 + j;
            }
        }
        if (byte < 0)
            return false;
        out[i] = char(byte);
    }
    bytes = out;
    return true;
}

QString FieldToString(const char *field, int width)
{
    return TagBytesToString(FieldBytes(field, width));
}

bool CopyToField(char *field, int width, const QByteArray &bytes)
{
    if (width < 0 || bytes.size() > width)
        return false;
    std::memcpy(field, bytes.constData(), size_t(bytes.size()));
    std::memset(field + bytes.size(), 0, size_t(width - bytes.size()));
    return true;
}

TTagTextFit SetTagText(char *field, int width, const QString &text)
{
    QByteArray bytes;
    if (!StringToTagBytes(text, bytes))
        return TTagTextFit::NotWindows1252;
    return CopyToField(field, width, bytes) ? TTagTextFit::Fits : TTagTextFit::TooLong;
}

int TagYear(const TID3Tag &Tag)
{
    const QByteArray text = FieldBytes(Tag.Year, 4);
    qsizetype i = 0;
    const bool negative = text.startsWith('-');
    if (negative || text.startsWith('+'))
        i = 1;
    if (i == text.size())
        return 0;
    int value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

QString GenreName(int number)
{
    if (number < 0 || number >= GenreCount)
        return {};
    return QString::fromLatin1(Genres[number]);
}

int TagByteOfText(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return -1;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
        if (value > 255)
            return -1;
    }
    return value;
}

int GenreByName(const QString &name)
{
    const QString trimmed = name.trimmed();
    for (int i = 0; i < GenreCount; ++i) {
        if (trimmed.compare(QLatin1String(Genres[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int GenreOfText(const QString &text)
{
    const int number = TagByteOfText(text);
    return number >= 0 ? number : GenreByName(text);
}

// The system's reason for the last failed call: Qt's text when it kept one, else errno's.
static QString SystemText(const QFile &file, int savedErrno)
{
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty())
        return file.errorString();
    return qt_error_string(savedErrno != 0 ? savedErrno : EIO);
}

[[noreturn]] static void Fail(const char *what, const QString &fileName, const QString &reason,
                              int code)
{
    throw EInOutError(QStringLiteral("%1 \"%2\". %3")
                          .arg(QLatin1String(what), ReadableFileName(fileName), reason),
                      code);
}

// Runs one step on an open file; a failure raises EInOutError with the system's reason. The
// QFile closes itself as the exception unwinds.
template <typename Action>
static void Step(QFile &file, const QString &fileName, const char *what, Action action)
{
    errno = 0;
    if (!action()) {
        const int code = errno;
        Fail(what, fileName, SystemText(file, code), code);
    }
}

static bool ReadRecord(QFile &file, TID3Tag &record)
{
    return file.read(reinterpret_cast<char *>(&record), ID3TagSize) == ID3TagSize;
}

void ReadID3Tag(const QString &FileName, TID3Tag &Tag)
{
    QFile file;
    if (!OpenForReading(file, FileName))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                              .arg(ReadableFileName(FileName), FileErrorText(errno)));

    const qint64 size = file.size();
    if (size < ID3TagSize) {
        Tag = NoTagRecord();
        return;
    }
    TID3Tag read;
    Step(file, FileName, "Cannot position in file", [&] { return file.seek(size - ID3TagSize); });
    Step(file, FileName, "Cannot read file", [&] { return ReadRecord(file, read); });
    file.close();
    Tag = HasID3Tag(read) ? read : NoTagRecord();
}

void WriteID3Tag(const QString &FileName, const TID3Tag &Tag)
{
    // An existing regular file, opened unbuffered: the record goes to the system in one write
    // whose count we can check.
    QFile file;
    errno = 0;
    if (!OpenForUpdate(file, FileName))
        Fail("Cannot open file", FileName, FileErrorText(errno), errno);

    // Everything that can be checked is checked before the file is changed.
    const qint64 size = file.size();
    if (size < ID3TagSize)
        Fail("Cannot position in file", FileName, qt_error_string(EINVAL), EINVAL);
    TID3Tag old;
    Step(file, FileName, "Cannot position in file", [&] { return file.seek(size - ID3TagSize); });
    Step(file, FileName, "Cannot read file", [&] { return ReadRecord(file, old); });
    const bool inPlace = HasID3Tag(old);
    const qint64 offset = inPlace ? size - ID3TagSize : size;
    Step(file, FileName, "Cannot position in file", [&] { return file.seek(offset); });

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
        Fail("Cannot write file", FileName, reason, code);
    }
    Step(file, FileName, "Cannot write file", [&] { return file.flush(); });
    Step(file, FileName, "Cannot close file", [&] {
        file.close();
        return file.error() == QFileDevice::NoError;
    });
}
