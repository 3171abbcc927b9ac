#include "app/UMain.h"

#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"

void TfrmMain::SongsImported()
{
    LibraryImported = true;
    ApplySelection();
    tblSongs->Close();
    tblSongs->Open();
    ShowWhereToBegin();
}

void TfrmMain::PlaylistCreated(qint64 id, const QString &entry)
{
    Q_UNUSED(id);
    ccbPlayLists->addItem(entry);
    ccbPlayLists->setCurrentIndex(ccbPlayLists->count() - 1);
    ccbPlayListsChange();
}

void TfrmMain::PlaylistRenamed(qint64 id, const QString &entry)
{
    Q_UNUSED(id);
    const int index = ccbPlayLists->currentIndex();
    if (index >= 0)
        ccbPlayLists->setItemText(index, entry);
    ccbPlayLists->setEditText(entry);
}
