// What the window remembers from one run to the next.
#include "app/UMain.h"

#include "app/WindowMemory.h"
#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "dialogs/ErrorReporting.h"

#include <QAction>
#include <QHeaderView>
#include <QSplitter>
#include <QWindow>

namespace
{
QList<TColumnMemory> ColumnsOf(const TDBGrid *grid)
{
    QList<TColumnMemory> columns;
    for (int c = 0; c < grid->ColumnCount(); ++c) {
        const bool shown = grid->ColumnVisible(c);
        // A hidden column keeps the width it will come back with.
        const int width = shown ? grid->columnWidth(c) : grid->horizontalHeader()->sectionSize(c);
        columns.append({grid->Column(c).FieldName, width, shown});
    }
    return columns;
}
} // namespace

void TfrmMain::RestoreWindow()
{
    const std::optional<TWindowMemory> memory = TWindowMemory::Read();
    if (!memory)
        return; // the first start stays as it always was
    if (memory->AvailableShown == pnlAvailableSongs->isHidden() && LibraryImported)
        oggleAvailableSongs1Click();
    restoreGeometry(memory->Geometry);
    if (!pnlAvailableSongs->isHidden() && memory->AvailableWidth > 0) {
        const int total = Splitter1->width();
        Splitter1->setSizes({qMax(0, total - memory->AvailableWidth - Splitter1->handleWidth()),
                             memory->AvailableWidth});
    }
    const auto restore = [this](TDBGrid *grid, const QList<TColumnMemory> &columns) {
        for (const TColumnMemory &column : columns) {
            const int c = FindColumnByField(grid, column.Field);
            if (c < 0)
                continue;
            if (column.Width > 0)
                grid->setColumnWidth(c, column.Width);
            if (grid->ColumnVisible(c) == column.Shown)
                continue;
            // Through the menu item, so that its mark agrees.
            for (const TColumnMenuItem &item : ColumnMenuItems()) {
                const TDBGrid *itemGrid = item.OfPlaylist ? grdPlayList : grdAvailableSongs;
                if (itemGrid == grid &&
                    FindColumnByField(grid, QString::fromLatin1(item.Field)) == c)
                    (this->*item.Item)->trigger();
            }
        }
    };
    restore(grdPlayList, memory->PlayListColumns);
    restore(grdAvailableSongs, memory->AvailableColumns);
    const QString prefix = QStringLiteral("[%1]").arg(memory->PlaylistId);
    for (int index = 0; memory->PlaylistId >= 0 && index < ccbPlayLists->count(); ++index) {
        if (ccbPlayLists->itemText(index).startsWith(prefix)) {
            if (index != ccbPlayLists->currentIndex()) {
                ccbPlayLists->setCurrentIndex(index);
                ccbPlayListsChange();
            }
            break;
        }
    }
}

void TfrmMain::RememberWindow()
{
    // A window never shown has nothing to remember.
    if (!windowHandle() || !QuillmereDB.Connected())
        return;
    TWindowMemory memory;
    memory.Geometry = saveGeometry();
    memory.AvailableShown = !pnlAvailableSongs->isHidden();
    memory.AvailableWidth = pnlAvailableSongs->isHidden() ? 0 : pnlAvailableSongs->width();
    memory.PlayListColumns = ColumnsOf(grdPlayList);
    memory.AvailableColumns = ColumnsOf(grdAvailableSongs);
    memory.PlaylistId = CurrentPlaylistId();
    try {
        memory.Write();
    } catch (const EError &) {
        // Closing goes on; the next start is a first one.
    }
}
