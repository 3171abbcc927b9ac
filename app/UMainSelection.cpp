#include "app/UMain.h"

#include "data/SelectionSql.h"
#include "data/SongListings.h"
#include "dialogs/USelect.h"

void TfrmMain::btnFilterClick()
{
    if (frmSelect && frmSelect->ShowModal() == mrOk) {
        // The order chosen in the dialog replaces a clicked one.
        AvailableSortField.clear();
        AvailableSortDescending = false;
        ApplySelection();
    }
}

void TfrmMain::ApplySelection()
{
    // Without the dialog there are no criteria: all songs.
    AvailableCriteria = frmSelect ? frmSelect->Criteria() : TSelectionCriteria{};
    AvailableSelectionSql = BuildSelectionSql(AvailableCriteria);
    OpenAvailableSongs();
}
