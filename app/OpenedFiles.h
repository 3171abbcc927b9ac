#pragma once

#include <QStringList>

class TfrmMain;

// Files and folders handed to the window (a second start, the file manager, the desktop's
// OpenUri): MP3 files and folders are imported into the library and shown in Available
// Songs, with the import's closing report; playlist files (.pls, .m3u, .m3u8, .xspf) become
// playlists and the last of them is opened. Anything else is named in one message.
void OpenFilesInWindow(TfrmMain *window, const QStringList &files);
