#include "app/UMain.h"

#include "data/PlaylistFile.h"
#include "dialogs/FileDialogService.h"
#include "dialogs/MessageService.h"
#include "dialogs/UOptions.h"
#include "platform/Shell.h"

#include <QLineEdit>
#include <QUrl>

void TfrmMain::WritePlaylistFile(const QString &fileName)
{
    const QStringList leftOut =
        SavePlaylistFile(*qryPlayListSongs, fileName, QuillmereDB.FileName());
    if (!leftOut.isEmpty())
        ShowWarning(LeftOutReport(fileName, leftOut));
}

void TfrmMain::SaveasPlaylist1Click()
{
    const QString fileName = FileDialogService::Execute(SaveDialog1);
    if (!fileName.isEmpty())
        WritePlaylistFile(fileName);
}

void TfrmMain::RuninWinAmp1Click()
{
    const QString fileName = PrepareTemporaryPlaylist(LibraryLocation);
    // A failed write raises, and the player is not started.
    WritePlaylistFile(fileName);
    const QString player =
        frmOptions ? frmOptions->edPlayerPath->text() : TfrmOptions::DefaultPlayerPath();
    // One argument, however many blanks the names hold.
    if (!Shell::StartProgram(player, {fileName}))
        ShowError(QStringLiteral("There was an error launching your Player."));
}

void TfrmMain::ReleaseNotes1Click()
{
    const QString page = LibraryLocation.ReleaseNotes;
    if (!Shell::OpenUrl(QUrl::fromLocalFile(page)))
        ShowError(QStringLiteral("Error loading Internet Explorer!"));
}
