#pragma once

#include <QList>
#include <QString>
#include <QStringList>

enum class TPlayerStatus { Stopped, Playing, Paused };

// The song the player is on, as a desktop remote shows it.
struct TPlayerTrack {
    QString Id; // a D-Bus object path unique to the playlist entry; empty for none
    qint64 LengthUs = 0;
    QString Title;
    QString Artist;
    QString Album;
    int TrackNumber = 0; // 0 for none
    QString FileName;

    bool operator==(const TPlayerTrack &other) const;
    bool operator!=(const TPlayerTrack &other) const { return !(*this == other); }
};

struct TPlayerPlaylist {
    qint64 Id = 0;
    QString Name;
};

// The player as the desktop drives it. The window implements it with its own buttons, so that
// what it shows follows every call.
class TPlayerControl
{
public:
    virtual ~TPlayerControl() = default;

    virtual TPlayerStatus Status() const = 0;
    virtual TPlayerTrack Track() const = 0;
    virtual qint64 PositionUs() const = 0;
    virtual bool CanPlay() const = 0;
    virtual bool CanGoNext() const = 0;
    virtual bool CanGoPrevious() const = 0;
    virtual bool Loop() const = 0;
    virtual double Volume() const = 0;
    virtual QList<TPlayerPlaylist> Playlists() const = 0;
    virtual qint64 ActivePlaylist() const = 0; // 0 for none

    virtual void Play() = 0; // resumes a paused song
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    virtual void SetPositionUs(qint64 position) = 0;
    virtual void SetLoop(bool on) = 0;
    virtual void SetVolume(double volume) = 0;
    virtual void ActivatePlaylist(qint64 id) = 0; // opens it and plays its first entry
    virtual void OpenFiles(const QStringList &files) = 0;
    virtual void Raise() = 0;
    virtual void Quit() = 0;
};
