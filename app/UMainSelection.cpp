#include "app/UMain.h"

#include "dialogs/USelect.h"

void TfrmMain::btnFilterClick()
{
    if (frmSelect && frmSelect->ShowModal() == mrOk)
        ApplySelection();
}

void TfrmMain::ApplySelection()
{
    qryAvailableSongs->Close();
    // Without the dialog there are no criteria: all songs.
    const QString sql = frmSelect ? frmSelect->BuildSelectionSql() : BuildSelectionSql({});
    qryAvailableSongs->SetSQL({sql});
    qryAvailableSongs->Open();
}
