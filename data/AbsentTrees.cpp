#include "data/AbsentTrees.h"

#include "base/FileNames.h"
#include "data/SongRows.h"

#include <cerrno>
#include <dirent.h>

namespace
{

QString ParentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool EmptyFolder(const QString &folder)
{
    DIR *dir = opendir(FileNameToBytes(folder).constData());
    if (!dir)
        return false;
    bool empty = true;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))) {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

} // namespace

QString AbsentFolder(const QString &file)
{
    QString folder = ParentOf(file);
    while (folder.endsWith(QLatin1Char('/')) && folder.size() > 1) // a doubled separator
        folder.chop(1);
    QString highestGone;
    for (;;) {
        const TFileStatus status = FileStatus(folder);
        if (status.Exists || (status.Error != ENOENT && status.Error != ENOTDIR))
            break;
        highestGone = folder;
        if (folder == QLatin1String("/"))
            break;
        folder = ParentOf(folder);
    }
    if (!highestGone.isEmpty())
        return highestGone;
    return EmptyFolder(folder) ? folder : QString();
}

TMissingSongs FindMissingSongs(TConnection &connection, const QString &folder)
{
    TMissingSongs missing;
    for (const TStoredSong &song : StoredSongs(connection, folder)) {
        if (!FileGone(song.File))
            continue;
        missing.Gone << song.RowId;
        missing.Files.insert(song.RowId, song.File);
        const QString absent = AbsentFolder(song.File);
        if (absent.isEmpty())
            missing.Prunable << song.RowId;
        else
            missing.Absent[absent] << song.RowId;
    }
    return missing;
}

bool InFolders(const QString &file, const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (folder == QLatin1String("/") || file.startsWith(folder + QLatin1Char('/')))
            return true;
    }
    return false;
}
