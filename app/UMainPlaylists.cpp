#include "app/UMain.h"

#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/Hourglass.h"
#include "controls/SearchEdit.h"
#include "data/PlaylistEntries.h"
#include "data/Playlists.h"
#include "data/SelectionSql.h"
#include "data/SongListings.h"
#include "dialogs/MessageService.h"
#include "dialogs/UAddSongsProgress.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <utility>

void TfrmMain::FillPlaylistChooser()
{
    TDataSet query(&QuillmereDB);
    OpenPlaylistsByName(query);
    ccbPlayLists->clear();
    ccbPlayLists->setEditText(QString());
    const int id = query.FieldIndex(QStringLiteral("PlayList_ID"));
    const int name = query.FieldIndex(QStringLiteral("Name"));
    for (int row = 0; row < query.RecordCount(); ++row)
        ccbPlayLists->addItem(QStringLiteral("[") + query.DisplayText(row, id) +
                              QStringLiteral("] - ") + query.DisplayText(row, name));
}

int TfrmMain::CurrentPlaylistId() const
{
    const QString text = ccbPlayLists->currentText();
    if (text.isEmpty())
        return -1;
    const int close = text.indexOf(QLatin1Char(']'));
    if (close < 1)
        return -1;
    bool ok = false;
    const int id = text.mid(1, close - 1).toInt(&ok);
    // Text edited into something without an id names no playlist.
    return ok && id >= 0 ? id : -1;
}

void TfrmMain::OpenPlaylist(int id, const QString &column)
{
    {
        THourglass hourglass;
        qryPlayListSongs->Close();
        if (id < 0)
            return; // no playlist: an empty grid, and no statement for a missing id
        OpenPlaylistEntries(*qryPlayListSongs, id, column, SortDirection);
    }
    RenumberEntries();
}

void TfrmMain::RenumberEntries()
{
    THourglass hourglass;
    ::RenumberEntries(*qryPlayListSongs);
}

void TfrmMain::ShowAllSongs()
{
    TSelectionCriteria byTitle;
    byTitle.Sort = QStringLiteral("Title");
    AvailableCriteria = byTitle;
    AvailableSelectionSql = BuildSelectionSql(byTitle);
    OpenAvailableSongs();
}

void TfrmMain::OpenAvailableSongs()
{
    THourglass hourglass;
    TSongListing listing;
    listing.Criteria = AvailableCriteria;
    listing.Search = edSearch->text();
    listing.SortField = AvailableSortField;
    listing.Descending = AvailableSortDescending;
    OpenSongListing(*qryAvailableSongs, listing);
    ShowSortIndicator();
}

void TfrmMain::edSearchChange()
{
    if (qryAvailableSongs->Active() || !AvailableSelectionSql.isEmpty())
        OpenAvailableSongs();
}

void TfrmMain::grdAvailableSongsTitleClick(int column)
{
    if (column < 0 || column >= grdAvailableSongs->ColumnCount())
        return;
    const QString field = grdAvailableSongs->Column(column).FieldName;
    // A second click on the same title reverses the order.
    if (AvailableSortField.compare(field, Qt::CaseInsensitive) == 0)
        AvailableSortDescending = !AvailableSortDescending;
    else
        AvailableSortDescending = false;
    AvailableSortField = field;
    OpenAvailableSongs();
}

void TfrmMain::ShowSortIndicator()
{
    QString field = AvailableSortField;
    if (field.isEmpty()) {
        // The selection's own order, when it has one.
        static const QRegularExpression order(QStringLiteral("ORDER BY (ID3_\\w+)\\s*$"));
        const QRegularExpressionMatch match = order.match(AvailableSelectionSql);
        if (match.hasMatch())
            field = match.captured(1);
    }
    const int column = field.isEmpty() ? -1 : FindColumnByField(grdAvailableSongs, field);
    grdAvailableSongs->ShowSortOrder(
        column, AvailableSortDescending && !AvailableSortField.isEmpty() ? Qt::DescendingOrder
                                                                         : Qt::AscendingOrder);
}

int TfrmMain::NextSequence() const
{
    return qryPlayListSongs->RecordCount() + 1;
}

void TfrmMain::btnAddSongsClick()
{
    const QList<int> rows = grdAvailableSongs->SelectedRows();
    if (rows.isEmpty())
        return;
    if (!qryPlayListSongs->Active())
        throw EDatabaseError(QStringLiteral("There is no playlist to add the songs to."));
    QList<qint64> songIds;
    {
        THourglass hourglass;
        // Read together, a run of neighbouring rows at a time; the last one becomes current.
        for (const QVariant &id : qryAvailableSongs->RowValues(rows, QStringLiteral("Row_ID")))
            songIds << id.toLongLong();
        TDBGrid::TSelectionWalk walk(grdAvailableSongs);
        qryAvailableSongs->SetRecNo(rows.last());
    }
    const int playlist = CurrentPlaylistId();
    if (playlist < 0)
        throw EDatabaseError(QStringLiteral("There is no playlist to add the songs to."));
    // Stored as rows after the playlist's last entry: what another program added meanwhile stays.
    // One transaction; many songs show their progress and may be stopped, keeping those added.
    {
        TfrmAddSongsProgress progress(this, int(songIds.size()),
                                      songIds.size() > AddSongsShownAtOnce);
        AppendPlaylistEntries(QuillmereDB, playlist, songIds,
                              [&progress](int added) { return progress.Step(added); });
    }
    OpenPlaylist(playlist, SortField);
    qryPlayListSongs->Last();
}

void TfrmMain::grdAvailableSongsDblClick()
{
    btnAddSongsClick();
}

void TfrmMain::DeleteCurrentEntry()
{
    if (!qryPlayListSongs->Active() || qryPlayListSongs->IsEmpty())
        return;
    const qint64 sequence = qryPlayListSongs->AsInteger(QStringLiteral("Sequence"));
    const qint64 entry = qryPlayListSongs->AsInteger(QStringLiteral("Row_ID"));
    const int playlist = CurrentPlaylistId();
    // Stored at once, as an addition is, and only this entry: closing the program must not bring
    // it back, and entries that another program added meanwhile stay.
    if (RemovePlaylistEntryRows(QuillmereDB, playlist, {entry}) > 0)
        Queue.EntryRemoved(int(sequence));
    OpenPlaylist(playlist, SortField);
    if (!qryPlayListSongs->Locate(QStringLiteral("Sequence"), sequence))
        qryPlayListSongs->Last();
}

void TfrmMain::Removefromlist1Click()
{
    DeleteCurrentEntry();
}

void TfrmMain::grdPlayListKeyDown(QKeyEvent *event)
{
    if (std::exchange(m_keyTaken, false))
        return; // taken already (several entries removed together)
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        DeleteCurrentEntry();
    }
}

void TfrmMain::grdPlayListTitleClick(int) {}

void TfrmMain::DeletethisPlaylist1Click()
{
    if (CurrentPlaylistId() < 0)
        return; // nothing to delete
    if (!Confirm(QStringLiteral("Are you sure you want to delete this playlist?")))
        return;
    DeletePlaylist(CurrentPlaylistId());
    if (ccbPlayLists->count() > 0)
        ccbPlayLists->setCurrentIndex(0);
    else
        ccbPlayLists->setEditText(QString());
    ccbPlayListsChange();
}

void TfrmMain::DeletePlaylist(int id)
{
    ::DeletePlaylist(QuillmereDB, id);
    // The chooser's text names the playlist; remove the item that carries that text.
    int index = ccbPlayLists->findText(ccbPlayLists->currentText());
    if (index < 0)
        index = ccbPlayLists->currentIndex();
    if (index >= 0)
        ccbPlayLists->removeItem(index);
}

void TfrmMain::ccbPlayListsChange()
{
    OpenPlaylist(CurrentPlaylistId(), SortField);
}

bool TfrmMain::ccbPlayListsKeyPress(QKeyEvent *event)
{
    // A playlist is chosen from the list; typed characters are discarded.
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void TfrmMain::qryPlayListSongsAfterScroll()
{
    grdPlayList->viewport()->update();
}

void TfrmMain::qryAvailableSongsAfterScroll()
{
    grdAvailableSongs->viewport()->update();
}
