#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

// What was changed in a library on a server, as the other computers hear it.
enum TLibraryChange { lcSongs = 1, lcPlaylists = 2, lcEntries = 4 };

// The channel the notices travel on.
inline constexpr char LibraryNoticeChannel[] = "quillmere_library";
// The text of a notice of these changes, sent by this process.
QByteArray LibraryNoticeText(int changes);
// The changes a notice names; 0 for a notice this process sent.
int LibraryNoticeChanges(const QByteArray &text);
// The changes a statement that wrote rows made.
int LibraryChangesOf(const QByteArray &statement);

// Hears, on a connection of its own, what other processes commit to a library on a PostgreSQL
// server: imports, tag edits, playlists and their entries. Notices come on the thread's event
// loop.
class TLibraryNotices
{
public:
    // Raises EDatabaseError when the server cannot be reached.
    explicit TLibraryNotices(const QString &uri);
    ~TLibraryNotices();
    TLibraryNotices(const TLibraryNotices &) = delete;
    TLibraryNotices &operator=(const TLibraryNotices &) = delete;

    std::function<void(int changes)> OnChanged;

private:
    void Read();
    struct TPrivate;
    std::unique_ptr<TPrivate> d;
};
