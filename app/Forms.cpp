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

void CreateForms()
{
    // The main window opens the library; the selection dialog reads from it.
    frmMain = new TfrmMain;
    frmAbout = new TfrmAbout(frmMain);
    frmProperties = new TfrmProperties(frmMain);
    frmCopyrightNotice = new TfrmCopyrightNotice(frmMain);
    frmOptions = new TfrmOptions(frmMain);
    frmImportSongs = new TfrmImportSongs(frmMain);
    frmSelect = new TfrmSelect(frmMain);
    frmPlaylistDetails = new TfrmPlaylistDetails(frmMain);
    frmExport = new TfrmExport(frmMain);
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
