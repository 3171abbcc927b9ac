#include "app/UMain.h"

#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "data/URegistry.h"
#include "dialogs/ErrorReporting.h"
#include "dialogs/USelect.h"

#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <numeric>

void TfrmMain::SongsImported()
{
    LibraryImported = true;
    ApplySelection();
    tblSongs->Close();
    tblSongs->Open();
    // A new import's folder is followed from now on.
    if (Follower) {
        Follower.reset();
        FollowFolders(true);
    }
    ShowWhereToBegin();
    // The selection dialog offers the new songs' artists, albums and genres too.
    if (frmSelect)
        frmSelect->ReloadCriteriaLists();
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

void TfrmMain::FollowFolders(bool on)
{
    if (!on) {
        Follower.reset();
        return;
    }
    if (Follower || !QuillmereDB.Connected())
        return;
    // The folder of the last import is watched too, so that a first import's folder follows.
    QStringList trees;
    try {
        const QString imported = ReadSetting(QuillmereKeyPath, QStringLiteral("ImportPath"), false);
        if (!imported.isEmpty())
            trees << imported;
    } catch (const EError &) {
    }
    Follower = std::make_unique<TLibraryFollower>(QuillmereDB.LibraryAddress(), trees);
    connect(Follower.get(), &TLibraryFollower::LibraryChanged, this,
            &TfrmMain::LibraryChangedOnDisk);
}

void TfrmMain::LibraryChangedOnDisk()
{
    if (m_closed || !QuillmereDB.Connected() || !qryAvailableSongs->Active())
        return;
    TDataSet &songs = *qryAvailableSongs;
    const int key = songs.FindField(QStringLiteral("Row_ID"));
    if (key < 0)
        return;
    const qint64 current = songs.RecNo() >= 0 ? songs.AsInteger(QStringLiteral("Row_ID")) : 0;
    QSet<qint64> selected;
    for (const int row : grdAvailableSongs->SelectedRows())
        selected.insert(songs.Value(row, key).toLongLong());
    const int scrolled = grdAvailableSongs->verticalScrollBar()->value();
    const int currentOffset = songs.RecNo() - grdAvailableSongs->rowAt(0);

    ApplySelection();
    if (current != 0)
        songs.Locate(QStringLiteral("Row_ID"), current);
    auto *selection = grdAvailableSongs->selectionModel();
    QItemSelection rows;
    if (!selected.isEmpty()) {
        // The keys of every row in one read, not a page at a time.
        QList<int> all(songs.RecordCount());
        std::iota(all.begin(), all.end(), 0);
        const QList<QVariant> keys = songs.RowValues(all, QStringLiteral("Row_ID"));
        for (qsizetype row = 0; row < keys.size(); ++row) {
            if (selected.contains(keys[row].toLongLong()))
                rows.select(grdAvailableSongs->model()->index(int(row), 0),
                            grdAvailableSongs->model()->index(int(row), 0));
        }
    }
    selection->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // The current song stays where it was on the screen.
    if (current != 0 && songs.RecNo() >= 0)
        grdAvailableSongs->verticalScrollBar()->setValue(songs.RecNo() - currentOffset);
    else
        grdAvailableSongs->verticalScrollBar()->setValue(scrolled);
    tblSongs->Close();
    tblSongs->Open();
}

void TfrmMain::ListenToServer()
{
    if (ServerNotices || !QuillmereDB.Connected() || !QuillmereDB.OnServer())
        return;
    try {
        ServerNotices = std::make_unique<TLibraryNotices>(QuillmereDB.LibraryAddress());
    } catch (const EError &) {
        return; // the window works on; it shows other computers' changes when reopened
    }
    ServerNotices->OnChanged = [this](int changes) {
        RunReportingErrors([this, changes] { LibraryChangedElsewhere(changes); });
    };
}

void TfrmMain::LibraryChangedElsewhere(int changes)
{
    if (m_closed || !QuillmereDB.Connected())
        return;
    if (changes & lcSongs)
        LibraryChangedOnDisk();
    if (changes & lcPlaylists) {
        const int id = CurrentPlaylistId();
        const QString prefix = QStringLiteral("[%1]").arg(id);
        const QSignalBlocker quiet(ccbPlayLists);
        FillPlaylistChooser();
        int index = 0;
        while (index < ccbPlayLists->count() && !ccbPlayLists->itemText(index).startsWith(prefix))
            ++index;
        if (index < ccbPlayLists->count()) {
            ccbPlayLists->setCurrentIndex(index);
        } else {
            // The playlist shown was deleted elsewhere.
            ccbPlayLists->setCurrentIndex(ccbPlayLists->count() > 0 ? 0 : -1);
            changes |= lcEntries;
        }
    }
    // Entries being edited here, or playing, are left as they are.
    if ((changes & lcEntries) && Queue.State() == psIdle &&
        !qryPlayListSongs->HasPendingChanges()) {
        const qint64 current = qryPlayListSongs->Active() && qryPlayListSongs->RecNo() >= 0
                                   ? qryPlayListSongs->AsInteger(QStringLiteral("Row_ID"))
                                   : 0;
        OpenPlaylist(CurrentPlaylistId(), SortField);
        if (current != 0)
            qryPlayListSongs->Locate(QStringLiteral("Row_ID"), current);
    }
}
