#include "data/LibraryLocation.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/Database.h"
#include "data/PostgresEngine.h"
#include "data/ProgramDirectory.h"
#include "data/URegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace
{
const QString LibraryName = QStringLiteral("quillmeredb.mdb");
const QString TemporaryPlaylistName = QStringLiteral("qmtemp.pls");
const QString ReleaseNotesName = QStringLiteral("Release Notes.htm");

QString Folder(const QString &path)
{
    if (path.isEmpty())
        return path;
    QString folder = QDir::toNativeSeparators(QDir::cleanPath(path));
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

// The XDG rules: a relative path in XDG_DATA_HOME or XDG_CACHE_HOME is invalid and ignored, so
// the library does not follow the working folder.
QString UserBase(QStandardPaths::StandardLocation type)
{
    const char *variable =
        type == QStandardPaths::GenericCacheLocation ? "XDG_CACHE_HOME" : "XDG_DATA_HOME";
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty() || !QDir::isRelativePath(value))
        return QStandardPaths::writableLocation(type);
    const QString home = QDir::homePath();
    return home + (type == QStandardPaths::GenericCacheLocation ? QStringLiteral("/.cache")
                                                                : QStringLiteral("/.local/share"));
}

// An empty standard location (no home folder) stays empty, so the library has no place.
QString UserFolder(QStandardPaths::StandardLocation type)
{
    const QString base = UserBase(type);
    return base.isEmpty() ? QString() : Folder(base + QStringLiteral("/Quillmere"));
}

// A file in a folder; none when the folder is not known.
QString FileIn(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? QString() : folder + name;
}

// Creates the folder and those above it; 0, or the errno of the step that failed.
int MakePath(const QString &folder)
{
#ifdef Q_OS_WIN
    return QDir().mkpath(folder) ? 0 : EACCES;
#else
    const QByteArray path = FileNameToBytes(QDir::cleanPath(folder));
    for (qsizetype end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/')
            continue;
        const QByteArray part = path.left(end);
        struct stat st;
        if (stat(part.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return ENOTDIR;
            continue;
        }
        // Another program may make it at the same moment.
        if (mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
#endif
}

void MakeFolder(const QString &folder, const QString &purpose)
{
    if (folder.isEmpty())
        throw EInOutError(QStringLiteral("There is no folder for %1: the home folder is not known.")
                              .arg(purpose));
    if (const int error = MakePath(folder))
        throw EInOutError(QStringLiteral("Cannot create the folder \"%1\" for %2: %3.")
                              .arg(QDir::toNativeSeparators(QDir::cleanPath(folder)), purpose,
                                   FileErrorText(error)),
                          error);
}
} // namespace

QString TLibraryLocation::ConnectionString() const
{
    return TConnection::BuildConnectionString(Directory);
}

TLocationFolders StandardFolders()
{
    TLocationFolders folders;
    folders.Program = GetProgramDirectory();
    folders.UserData = UserFolder(QStandardPaths::GenericDataLocation);
    folders.UserCache = UserFolder(QStandardPaths::GenericCacheLocation);
    folders.ProgramWritable = QFileInfo(folders.Program).isWritable();
    folders.Shared = Folder(folders.Program + QStringLiteral(QUILLMERE_SHARE_FROM_BIN));
    folders.Installed = QFileInfo(folders.Shared).isDir();
    return folders;
}

TLibraryLocation ChooseLibraryLocation(const TLocationFolders &folders)
{
    TLibraryLocation location;
    location.Portable = QFileInfo::exists(folders.Program + LibraryName) ||
                        (folders.ProgramWritable && !folders.Installed);
    if (location.Portable) {
        location.Directory = folders.Program;
        location.TemporaryPlaylist = folders.Program + TemporaryPlaylistName;
        location.ReleaseNotes = folders.Program + ReleaseNotesName;
    } else {
        location.Directory = folders.UserData;
        location.TemporaryPlaylist = FileIn(folders.UserCache, TemporaryPlaylistName);
        location.ReleaseNotes = FileIn(folders.Shared, ReleaseNotesName);
    }
    location.LibraryFile = FileIn(location.Directory, LibraryName);
    return location;
}

void MakeLibraryFolder(const TLibraryLocation &location)
{
    if (!location.Portable)
        MakeFolder(location.Directory, QStringLiteral("the library"));
}

void PrepareLibrary(const TLibraryLocation &location)
{
    if (location.Portable || FileStatus(location.LibraryFile).Exists)
        return;
    MakeLibraryFolder(location);
    try {
        CreateLibrary(location.LibraryFile);
    } catch (const EError &) {
        // Another program that started at the same moment made it, whole.
        if (!FileStatus(location.LibraryFile).Exists)
            throw;
    }
}

QString ServerLibrarySetting()
{
    try {
        const QString value =
            ReadSetting(QuillmereKeyPath, QStringLiteral("Library"), false).trimmed();
        return IsServerLibrary(value) ? value : QString();
    } catch (const EError &) {
        return {};
    }
}

QString PrepareTemporaryPlaylist(const TLibraryLocation &location)
{
    if (!location.Portable)
        MakeFolder(location.TemporaryPlaylist.isEmpty()
                       ? QString()
                       : QFileInfo(location.TemporaryPlaylist).absolutePath(),
                   QStringLiteral("\"qmtemp.pls\""));
    return location.TemporaryPlaylist;
}
