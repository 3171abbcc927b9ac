#include "app/OpenedFiles.h"

#include "app/UMain.h"
#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/PlaylistFormats.h"
#include "data/Playlists.h"
#include "dialogs/MessageService.h"
#include "dialogs/UImportSongs.h"
#include "import/ImportWalker.h"
#include "import/PlaylistImport.h"

#include <QComboBox>
#include <QFileInfo>
#include <optional>

namespace
{
struct TOpenedSort {
    QStringList Folders;
    QStringList Songs;
    QStringList Playlists;
    QStringList Refused;
};

TOpenedSort SortOpened(const QStringList &files)
{
    TOpenedSort sorted;
    for (const QString &file : files) {
        const QFileInfo info(file);
        TPlaylistFormat format;
        if (info.isDir())
            sorted.Folders.append(file);
        else if (info.isFile() && PlaylistFormatOf(file, format))
            sorted.Playlists.append(file);
        else if (info.isFile() && file.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
            sorted.Songs.append(file);
        else
            sorted.Refused.append(file);
    }
    return sorted;
}

// The import's closing report, for the files and folders given, with the notes about the
// rest.
void ImportSongs(TfrmMain *window, const QStringList &folders, const QStringList &songs,
                 const QStringList &notes)
{
    TImportWalker walker(window->library());
    QStringList problems;
    walker.OnProblem = [&problems](const TImportProblem &problem) {
        problems << ImportProblemText(problem, problem.Name, problem.Reason);
    };
    TImportCounts total;
    std::optional<QString> stop;
    try {
        for (const QString &folder : folders) {
            walker.ImportFolder(folder);
            total.Imported += walker.Counts().Imported;
            total.Existing += walker.Counts().Existing;
            total.Failed += walker.Counts().Failed;
        }
        const TImportCounts before = walker.Counts();
        if (!songs.isEmpty()) {
            walker.ImportFiles(songs);
            total.Imported += walker.Counts().Imported - before.Imported;
            total.Existing += walker.Counts().Existing - before.Existing;
            total.Failed += walker.Counts().Failed - before.Failed;
        }
    } catch (const ELibraryUnwritable &e) {
        stop = e.Message();
    }
    window->SongsImported();
    problems += notes;
    if (stop) {
        ShowError(ImportStoppedText(*stop, total.Imported, problems));
        return;
    }
    if (total.Existing > 0)
        ShowWarning(
            QStringLiteral("%1 songs already existed in the database!").arg(total.Existing));
    ShowInformation(ImportClosingText(total, problems));
}

// As `playlist import` does; the playlist is then listed and opened. The entries left out
// are added to the notes.
void OpenPlaylistFile(TfrmMain *window, const QString &file, QStringList &notes)
{
    const TPlaylistImport result = ImportPlaylistFile(window->library(), file);
    const QString &name = result.Name;
    window->PlaylistCreated(result.PlaylistId,
                            QStringLiteral("[%1] - %2").arg(result.PlaylistId).arg(name));
    if (result.Imported > 0)
        window->SongsImported();
    if (!result.Problems.isEmpty())
        notes << QStringLiteral("%1 entries of \"%2\" were left out:")
                     .arg(result.Problems.size())
                     .arg(ReadableFileName(file))
              << result.Problems;
}
} // namespace

void OpenFilesInWindow(TfrmMain *window, const QStringList &files)
{
    // Everything is stored first; the one report comes last, so a message waiting for the
    // user holds nothing back.
    const TOpenedSort sorted = SortOpened(files);
    QStringList notes;
    for (const QString &file : sorted.Refused)
        notes << QStringLiteral("\"%1\" is neither an MP3 file, a folder nor a playlist file.")
                     .arg(ReadableFileName(file));
    for (const QString &playlist : sorted.Playlists) {
        try {
            OpenPlaylistFile(window, playlist, notes);
        } catch (const EError &e) {
            notes << e.Message();
        }
    }
    if (!sorted.Folders.isEmpty() || !sorted.Songs.isEmpty())
        ImportSongs(window, sorted.Folders, sorted.Songs, notes);
    else if (!notes.isEmpty())
        ShowWarning(notes.join(QLatin1Char('\r')));
}
