#include "platform/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString UserMusicFolder()
{
    // QStandardPaths reads the user's folder settings (user-dirs.dirs) and falls back to ~/Music.
    const QStringList candidates = {qEnvironmentVariable("XDG_MUSIC_DIR"),
                                    QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
                                    QDir::home().filePath(QStringLiteral("Music"))};
    for (const QString &folder : candidates) {
        if (QDir::isAbsolutePath(folder) && QFileInfo(folder).isDir())
            return QDir::cleanPath(folder);
    }
    return {};
}
