#pragma once

#include "data/PlaylistEntries.h"
#include "data/PlaylistFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Playlist files that other players read: .pls, extended M3U (.m3u in the file system's
// encoding, .m3u8 always UTF-8) and XSPF.
enum class TPlaylistFormat { Pls, M3u, M3u8, Xspf };

// The format that a file name's extension names, case ignored; false when it names none.
bool PlaylistFormatOf(const QString &fileName, TPlaylistFormat &format);

// The absolute file name as seen from an absolute folder ("../b/c.mp3"); both cleaned, with
// '/' separators. The name itself when the two share no root (another drive).
QString RelativeFileName(const QString &file, const QString &folder);

// A name's bytes percent-encoded, '/' and the unreserved characters kept: a relative URI
// reference, or with FileUri a file:// URI of an absolute name.
QByteArray PercentEncodedName(const QString &name);
QByteArray FileUri(const QString &absoluteFile);

// The files in the given format. With relativeTo (the playlist file's folder), names are
// written relative to it. Entries that cannot be written are listed in LeftOut.
TPlaylistText M3uText(const QList<TPlaylistItem> &items, bool utf8,
                      const QString &relativeTo = QString());
TPlaylistText XspfText(const QList<TPlaylistItem> &items, const QString &title,
                       const QString &relativeTo = QString());
TPlaylistText PlaylistText(TPlaylistFormat format, const QList<TPlaylistItem> &items,
                           const QString &title, const QString &relativeTo = QString());

// CheckPlaylistTarget, then the text written by WriteFileSafely; relative names are taken from
// the file's own folder (where a link to the file points), so that the system reading them from
// there reaches the songs. Returns the entries left out.
QStringList SavePlaylistAs(const QList<TPlaylistItem> &items, const QString &fileName,
                           TPlaylistFormat format, const QString &title, bool relative,
                           const QString &protectedFile = QString());

// What a playlist file may hold: more would cost minutes and gigabytes to read, and the
// library numbers a playlist's entries up to PlaylistEntryLimit.
constexpr qint64 PlaylistFileLimit = 64 * 1024 * 1024;
constexpr qsizetype PlaylistLineLimit = 32 * 1024;
constexpr int XspfAttributeLimit = 256; // on one element
constexpr int XspfDepthLimit = 64;

// At most `most` characters of a text for a message: its start and end around "...".
QString ShortPiece(const QString &text, qsizetype most = 300);

// One entry of a playlist file as read.
struct TPlaylistEntryRead {
    QString Written;      // as the file gives it (a short piece of it), for messages
    QString File;         // the absolute, cleaned file name that the writing program meant: blanks
                          // around it dropped, Windows separators read; empty when it names no file
    QString Literal;      // the name exactly as written, when that differs from File: a file of
                          // that name is taken first
    QString Problem;      // why it names no file
    bool Missing = false; // Problem names a file that cannot be on this computer (a drive letter)
};

struct TPlaylistRead {
    QString Title; // an XSPF playlist's own title
    QList<TPlaylistEntryRead> Entries;
};

// Reads a playlist file: byte order marks, CR LF, LF or CR, blank and comment lines are taken
// in their stride; relative names are resolved against the file's folder (where a link to the
// file points; a ".." after a link taken as the system takes it) and file:// URIs decoded;
// other URLs and names holding a NUL are entries with a Problem. Raises EInOutError when the
// file cannot be read, is not well-formed XML (naming the line) or passes the limits above,
// before any entry is looked at.
TPlaylistRead ReadPlaylistFile(const QString &fileName, TPlaylistFormat format);
// The same for a file's bytes, with the folder that relative names start from.
TPlaylistRead ParsePlaylist(const QByteArray &bytes, TPlaylistFormat format, const QString &folder,
                            const QString &fileName = QString());
