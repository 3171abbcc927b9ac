#pragma once

#include "platform/ReplayGain.h"

#include <QString>

// What the Options dialog sets for playback and the external player. The dialog fills it; the
// main window keeps the value and reads only that, so playback works without the dialog.
struct TPlaybackOptions {
    // The player started with the playlist file.
    static QString DefaultPlayerPath()
    {
#ifdef Q_OS_WIN
        return QStringLiteral("C:\\Program Files\\WinAmp3\\Studio.exe");
#else
        // Opens the playlist file in whatever player the desktop has for it.
        return QStringLiteral("/usr/bin/xdg-open");
#endif
    }

    QString PlayerPath = DefaultPlayerPath();
    bool LoopPlaylist = false;       // the end of the playlist starts it again from the top
    bool AutoUpdateDurations = true; // a song's measured length replaces its stored duration
    TReplayGainSettings ReplayGain;  // kept in the settings store, unlike the values above
};
