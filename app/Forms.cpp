#include "app/Forms.h"

#include "app/UExport.h"
#include "app/UMain.h"
#include "dialogs/UAbout.h"
#include "dialogs/UCopyRightNotice.h"
#include "dialogs/UImportSongs.h"
#include "dialogs/UOptions.h"
#include "dialogs/UPlaylistDetails.h"
#include "dialogs/UProperties.h"
#include "dialogs/USelect.h"

#include <QCheckBox>

void CreateForms()
{
    // The main window opens the library; the selection dialog reads from it.
    frmMain = new TfrmMain;
    frmAbout = new TfrmAbout(frmMain);
    frmProperties = new TfrmProperties(frmMain);
    frmCopyrightNotice = new TfrmCopyrightNotice(frmMain);
    frmOptions = new TfrmOptions(frmMain);
    frmImportSongs = new TfrmImportSongs(&frmMain->library(), frmMain);
    frmSelect = new TfrmSelect(&frmMain->library(), frmMain);
    frmPlaylistDetails = new TfrmPlaylistDetails(&frmMain->library(), frmMain);
    frmExport = new TfrmExport(frmMain);

    ShowChangesIn(frmMain, frmImportSongs);
    ShowChangesIn(frmMain, frmPlaylistDetails);
    ShowChangesIn(frmMain, frmOptions);
    frmMain->ListenToServer();
}

void DestroyForms()
{
    delete frmMain; // owns the dialogs
    frmMain = nullptr;
    frmAbout = nullptr;
    frmProperties = nullptr;
    frmCopyrightNotice = nullptr;
    frmOptions = nullptr;
    frmImportSongs = nullptr;
    frmSelect = nullptr;
    frmPlaylistDetails = nullptr;
    frmExport = nullptr;
}

void ShowChangesIn(TfrmMain *window, TfrmImportSongs *dialog)
{
    QObject::connect(dialog, &TfrmImportSongs::SongsImported, window, &TfrmMain::SongsImported);
}

void ShowChangesIn(TfrmMain *window, TfrmPlaylistDetails *dialog)
{
    QObject::connect(dialog, &TfrmPlaylistDetails::PlaylistCreated, window,
                     &TfrmMain::PlaylistCreated);
    QObject::connect(dialog, &TfrmPlaylistDetails::PlaylistRenamed, window,
                     &TfrmMain::PlaylistRenamed);
}

void ShowChangesIn(TfrmMain *window, TfrmOptions *dialog)
{
    window->SetPlaybackOptions(dialog->Options());
    QObject::connect(
        dialog, &TfrmOptions::OptionsChanged, window,
        [window](const TPlaybackOptions &options) { window->SetPlaybackOptions(options); });
    window->FollowFolders(dialog->cbFollowFolders->isChecked());
    QObject::connect(dialog, &TfrmOptions::FollowFoldersChanged, window, &TfrmMain::FollowFolders);
}
