#include "data/LibraryLocation.h"

#include "base/Errors.h"
#include "data/Database.h"
#include "data/PostgresEngine.h"
#include "data/ProgramDirectory.h"
#include "data/URegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

// An empty standard location (no home folder) stays empty, so the library has no place.
QString UserFolder(QStandardPaths::StandardLocation type)
{
    const QString base = QStandardPaths::writableLocation(type);
    return base.isEmpty() ? QString() : Folder(base + QStringLiteral("/Quillmere"));
}

// A file in a folder; none when the folder is not known.
QString FileIn(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? QString() : folder + name;
}

void MakeFolder(const QString &folder, const QString &purpose)
{
    if (folder.isEmpty())
        throw EInOutError(QStringLiteral("There is no folder for %1: the home folder is not known.")
                              .arg(purpose));
    if (!QDir().mkpath(folder))
        throw EInOutError(QStringLiteral("Cannot create the folder \"%1\" for %2.")
                              .arg(QDir::toNativeSeparators(QDir::cleanPath(folder)), purpose));
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
    return folders;
}

TLibraryLocation ChooseLibraryLocation(const TLocationFolders &folders)
{
    TLibraryLocation location;
    location.Portable = QFileInfo::exists(folders.Program + LibraryName) || folders.ProgramWritable;
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
    if (location.Portable || QFileInfo::exists(location.LibraryFile))
        return;
    MakeLibraryFolder(location);
    CreateLibrary(location.LibraryFile);
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
