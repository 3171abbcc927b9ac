#include "app/UMain.h"
#include "dialogs/UImportSongs.h"
#include "dialogs/USelect.h"

void TfrmMain::ImportSongs1Click()
{
    if (frmImportSongs->ShowModal() == mrOk)
        frmSelect->ReloadCriteriaLists();
}
