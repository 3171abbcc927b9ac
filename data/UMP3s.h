#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

// The ID3v1 record, laid out byte for byte as the last 128 bytes of an MP3 file.
struct TID3Tag {
    char Header[3]; // "TAG" when the file has a tag
    char Title[30];
    char Artist[30];
    char Album[30];
    char Year[4];
    char Comment[29]; // all 29 bytes belong to the comment
    unsigned char Track;
    unsigned char Genre; // index into Genres; 255 means no genre
};
static_assert(sizeof(TID3Tag) == 128, "TID3Tag must be exactly 128 bytes");
static_assert(offsetof(TID3Tag, Comment) == 97 && offsetof(TID3Tag, Track) == 126,
              "TID3Tag fields must not be padded");

constexpr int ID3TagSize = 128;
constexpr int GenreCount = 148;
constexpr unsigned char NoGenre = 255;

// The ID3v1 genre list (0..79) followed by the Winamp extensions (80..147).
extern const char *const Genres[GenreCount];

// Fills Tag with the file's tag, or with NoTagRecord() when the file has none.
// Raises EFOpenError when the file cannot be opened, EInOutError when reading fails.
void ReadID3Tag(const QString &FileName, TID3Tag &Tag);

// Overwrites the file's tag in place, or appends Tag when it has none. The file must exist
// and hold at least 128 bytes. Raises EInOutError; after a failure the file is as before.
void WriteID3Tag(const QString &FileName, const TID3Tag &Tag);

// What a file without a tag reads as: header "N/A", empty texts, year "0000", track 0,
// genre 255.
TID3Tag NoTagRecord();

// True when the header, cut at its first zero byte, is exactly "TAG".
bool HasID3Tag(const TID3Tag &Tag);

// The field's bytes up to the first zero byte, at most width bytes.
QByteArray FieldBytes(const char *field, int width);

// Tag bytes as text through Windows-1252 as browsers read it: the five unassigned bytes become
// the control characters of the same number, so every byte value comes back unchanged.
QString TagBytesToString(const QByteArray &bytes);
// The reverse; false when a character has no Windows-1252 byte.
bool StringToTagBytes(const QString &text, QByteArray &bytes);

// FieldBytes as text through TagBytesToString.
QString FieldToString(const char *field, int width);

// Copies bytes into a field of the given width and zero-fills the rest. A text longer than
// the field is refused: returns false and leaves the field untouched.
bool CopyToField(char *field, int width, const QByteArray &bytes);

template <std::size_t N> QString FieldToString(const char (&field)[N])
{
    return FieldToString(field, int(N));
}
template <std::size_t N> bool CopyToField(char (&field)[N], const QByteArray &bytes)
{
    return CopyToField(field, int(N), bytes);
}

// How a text fits a tag field.
enum class TTagTextFit { Fits, NotWindows1252, TooLong };
// Writes a text into a field of the given width through Windows-1252, zero-filling the rest.
// A text that does not fit leaves the field untouched.
TTagTextFit SetTagText(char *field, int width, const QString &text);

// The year characters of a tag as a number; 0 when they are not one.
int TagYear(const TID3Tag &Tag);

// The genre's name, or an empty text for numbers outside 0..147.
QString GenreName(int number);

// A byte of the tag (track, genre) typed as a decimal number 0..255, blanks around it ignored;
// -1 when the text is not one.
int TagByteOfText(const QString &text);
// The number of the genre named (case and blanks around the name ignored); -1 when the list has
// no such name.
int GenreByName(const QString &name);
// A genre typed as its number 0..255 or as its name; -1 when the text is neither.
int GenreOfText(const QString &text);
