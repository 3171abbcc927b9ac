#include "app/UMain.h"

#include "data/SongListings.h"
#include "dialogs/USelect.h"

void TfrmMain::btnFilterClick()
{
    if (frmSelect && frmSelect->ShowModal() == mrOk)
        ApplySelection();
}

void TfrmMain::ApplySelection()
{
    // Without the dialog there are no criteria: all songs.
    OpenSelection(*qryAvailableSongs, frmSelect ? frmSelect->Criteria() : TSelectionCriteria{});
}
