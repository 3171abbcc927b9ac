// The keys of daily use: in the grids, the menus' shortcuts, Tab between the lists, and moving
// and removing the selected entries.
#include "app/UMain.h"

#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/SearchEdit.h"
#include "data/PlaylistEntries.h"
#include "dialogs/ErrorReporting.h"
#include "dialogs/MessageService.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QWidget>

namespace
{
// Left and Right move the song by this much.
constexpr qint64 SeekStepMs = 5000;

bool Within(const QWidget *focus, const QWidget *widget)
{
    return focus && (focus == widget || widget->isAncestorOf(focus));
}
} // namespace

void TfrmMain::CreateDailyUse()
{
    CreateSeekAndVolume();
    CreateShortcuts();
    CreateDrops();
    // Before the grids' own handlers: several selected entries are removed together.
    connect(grdPlayList, &TDBGrid::KeyDown, this, [this](QKeyEvent *event) {
        RunReportingErrors([&] {
            if (DailyKeyDown(grdPlayList, event)) {
                event->accept();
                m_keyTaken = true;
            }
        });
    });
    connect(grdAvailableSongs, &TDBGrid::KeyDown, this, [this](QKeyEvent *event) {
        RunReportingErrors([&] {
            if (DailyKeyDown(grdAvailableSongs, event))
                event->accept();
        });
    });
}

void TfrmMain::CreateShortcuts()
{
    ImportSongs1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    SaveasPlaylist1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The pop-up menus show the keys that the grids and the chooser take themselves.
    Play1->setShortcut(QKeySequence(Qt::Key_Return));
    Removefromlist1->setShortcut(QKeySequence(Qt::Key_Delete));
    for (QAction *properties : {Properties1, Properties2, Properties3})
        properties->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    NewPlaylist1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    // A new playlist from anywhere in the window, not only from the chooser's menu.
    addAction(NewPlaylist1);

    auto *properties = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    properties->setObjectName(QStringLiteral("PropertiesShortcut"));
    connect(properties, &QShortcut::activated, this, [this] {
        RunReportingErrors([this] {
            const QWidget *focus = QApplication::focusWidget();
            if (Within(focus, grdAvailableSongs))
                Properties2Click();
            else if (Within(focus, ccbPlayLists))
                Properties3Click();
            else
                Properties1Click();
        });
    });
    auto *search = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    search->setObjectName(QStringLiteral("SearchShortcut"));
    connect(search, &QShortcut::activated, this, [this] {
        if (pnlAvailableSongs->isHidden())
            return; // no search box to go to
        edSearch->setFocus(Qt::ShortcutFocusReason);
        edSearch->selectAll();
    });

    // Tab goes from list to list instead of from cell to cell.
    grdPlayList->setTabKeyNavigation(false);
    grdAvailableSongs->setTabKeyNavigation(false);
    setTabOrder(ccbPlayLists, grdPlayList);
    setTabOrder(grdPlayList, edSearch);
    setTabOrder(edSearch, grdAvailableSongs);
}

bool TfrmMain::DailyKeyDown(TDBGrid *grid, QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool playList = grid == grdPlayList;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (modifiers != Qt::NoModifier)
            return false;
        if (playList)
            btnPlayClick();
        else
            btnAddSongsClick();
        return true;
    case Qt::Key_Space:
        if (modifiers != Qt::NoModifier)
            return false;
        if (Queue.State() != psIdle)
            btnPauseClick();
        else if (playList)
            btnPlayClick();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (modifiers != Qt::NoModifier)
            return false;
        // Whole rows are shown: the keys move the song, not the grid sideways.
        SeekBy(event->key() == Qt::Key_Left ? -SeekStepMs : SeekStepMs);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (modifiers & Qt::ShiftModifier)
            return false; // the view extends the selection itself
        if (grid->DataSet() && grid->DataSet()->Active() && !grid->DataSet()->IsEmpty()) {
            if (event->key() == Qt::Key_Home)
                grid->DataSet()->First();
            else
                grid->DataSet()->Last();
        }
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!playList || modifiers != Qt::AltModifier)
            return false;
        MoveSelectedEntries(event->key() == Qt::Key_Up ? -1 : 1);
        return true;
    case Qt::Key_Delete:
        if (!playList || grid->SelectedRows().size() < 2)
            return false; // one entry: the grid's own Delete
        RemoveSelectedEntries();
        return true;
    default:
        return false;
    }
}

void TfrmMain::MoveSelectedEntries(int by)
{
    if (!qryPlayListSongs->Active() || qryPlayListSongs->IsEmpty() || CurrentPlaylistId() < 0)
        return;
    QList<int> rows = grdPlayList->SelectedRows();
    if (rows.isEmpty())
        rows << qryPlayListSongs->RecNo();
    const int count = qryPlayListSongs->RecordCount();
    if ((by < 0 && rows.first() == 0) || (by > 0 && rows.last() == count - 1))
        return;
    QList<qint64> entries;
    for (const QVariant &id : qryPlayListSongs->RowValues(rows, QStringLiteral("Row_ID")))
        entries << id.toLongLong();
    const int position = by < 0 ? rows.first() - 1 : rows.last() + 2;
    ReorderEntries(entries, position);
}

void TfrmMain::RemoveSelectedEntries()
{
    const QList<int> rows = grdPlayList->SelectedRows();
    if (rows.size() < 2) {
        DeleteCurrentEntry();
        return;
    }
    if (!qryPlayListSongs->Active() || CurrentPlaylistId() < 0)
        return;
    if (!Confirm(QStringLiteral("Delete all selected records?")))
        return;
    QList<qint64> entries;
    for (const QVariant &id : qryPlayListSongs->RowValues(rows, QStringLiteral("Row_ID")))
        entries << id.toLongLong();
    const qint64 playing = PlayingEntry();
    RemovePlaylistEntryRows(QuillmereDB, CurrentPlaylistId(), entries);
    ShowEntriesAt(rows.first(), 1, entries.contains(playing) ? 0 : playing);
}

void TfrmMain::ReorderEntries(const QList<qint64> &entries, int position)
{
    const qint64 playing = PlayingEntry();
    const int first = MovePlaylistEntryRows(QuillmereDB, CurrentPlaylistId(), entries, position);
    ShowEntriesAt(first, int(entries.size()), playing);
}

qint64 TfrmMain::PlayingEntry() const
{
    if (Queue.PlayingSequence() < 1 || !qryPlayListSongs->Active())
        return 0;
    // The entries are numbered from the top: the playing number is its row's.
    const int row = Queue.PlayingSequence() - 1;
    if (row >= qryPlayListSongs->RecordCount() ||
        qryPlayListSongs->Value(row, qryPlayListSongs->FieldIndex(QStringLiteral("Sequence")))
                .toInt() != Queue.PlayingSequence())
        return 0;
    return qryPlayListSongs->Value(row, qryPlayListSongs->FieldIndex(QStringLiteral("Row_ID")))
        .toLongLong();
}

void TfrmMain::ShowEntriesAt(int first, int count, qint64 playing)
{
    OpenPlaylist(CurrentPlaylistId(), SortField);
    if (Queue.State() != psIdle) {
        // The playing song keeps its highlight under its new number; gone, it has none.
        int sequence = -1;
        if (playing != 0 && qryPlayListSongs->Locate(QStringLiteral("Row_ID"), playing))
            sequence = int(qryPlayListSongs->AsInteger(QStringLiteral("Sequence")));
        Queue.EntryRenumbered(sequence);
    }
    const int rows = qryPlayListSongs->RecordCount();
    if (rows == 0)
        return;
    first = qBound(0, first, rows - 1);
    const int last = qBound(first, first + count - 1, rows - 1);
    QAbstractItemModel *model = grdPlayList->model();
    grdPlayList->selectionModel()->select(
        QItemSelection(model->index(first, 0), model->index(last, model->columnCount() - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TDBGrid::TSelectionWalk walk(grdPlayList);
    qryPlayListSongs->SetRecNo(first);
    grdPlayList->viewport()->update();
}
