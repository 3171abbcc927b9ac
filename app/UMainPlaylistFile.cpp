#include "app/UMain.h"

#include "base/FileNames.h"

#include "data/PlaylistFile.h"
#include "data/PlaylistFormats.h"
#include "data/Playlists.h"
#include "dialogs/FileDialogService.h"
#include "dialogs/MessageService.h"
#include "platform/Shell.h"

#include <QFileDialog>
#include <QScopeGuard>
#include <QUrl>

void TfrmMain::WritePlaylistFile(const QString &fileName, TPlaylistFormat format)
{
    // Writing walks the entries; the current one, which Play starts from, stays.
    const TDataSet::TBookmark current = qryPlayListSongs->GetBookmark();
    const auto back = qScopeGuard([&] {
        if (qryPlayListSongs->Active() && !qryPlayListSongs->IsEmpty())
            qryPlayListSongs->GotoBookmark(current);
    });
    QStringList leftOut;
    if (format == TPlaylistFormat::Pls) {
        leftOut = SavePlaylistFile(*qryPlayListSongs, fileName, QuillmereDB.LibraryAddress());
    } else {
        const std::optional<TPlaylistRow> playlist =
            CurrentPlaylistId() < 0 ? std::nullopt : LoadPlaylist(QuillmereDB, CurrentPlaylistId());
        leftOut = SavePlaylistAs(PlaylistItems(*qryPlayListSongs), fileName, format,
                                 playlist ? playlist->Name : QString(), false,
                                 QuillmereDB.LibraryAddress());
    }
    if (!leftOut.isEmpty())
        ShowWarning(LeftOutReport(fileName, leftOut));
}

void TfrmMain::SaveasPlaylist1Click()
{
    const QString fileName = FileDialogService::Execute(SaveDialog1);
    if (fileName.isEmpty())
        return;
    // The name's extension decides; a name without one takes the chosen filter's format, and
    // its extension unless that is the .pls, which is written as the name was entered.
    QString target = fileName;
    TPlaylistFormat format = TPlaylistFormat::Pls;
    if (!PlaylistFormatOf(fileName, format)) {
        const QString extension = SaveDialog1->selectedNameFilter()
                                      .section(QLatin1Char('*'), 1, 1)
                                      .remove(QLatin1Char(')'));
        PlaylistFormatOf(extension, format);
        if (format != TPlaylistFormat::Pls)
            target += extension;
    }
    if (FileStatus(target).Exists &&
        !Confirm(QStringLiteral("\"%1\" already exists.\rDo you want to replace it?")
                     .arg(ReadableFileName(target))))
        return;
    WritePlaylistFile(target, format);
}

void TfrmMain::RuninWinAmp1Click()
{
    const QString fileName = PrepareTemporaryPlaylist(LibraryLocation);
    // A failed write raises, and the player is not started.
    WritePlaylistFile(fileName);
    const QString player = PlaybackOptions.PlayerPath;
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
