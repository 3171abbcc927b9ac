#include "app/UMain.h"

#include "controls/DBGrid.h"
#include "dialogs/ErrorReporting.h"

#include <QAction>
#include <QMenu>

namespace
{
QAction *ColumnItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setChecked(true);
    return action;
}
} // namespace

const std::vector<TfrmMain::TColumnMenuItem> &TfrmMain::ColumnMenuItems()
{
    static const std::vector<TColumnMenuItem> items = {
        {&TfrmMain::ShowAlbums2, &TfrmMain::ShowAlbums2Click, "ShowAlbums2", "Show Albums",
         "ID3_Album", true},
        {&TfrmMain::ShowArtists1, &TfrmMain::ShowArtists1Click, "ShowArtists1", "Show Artists",
         "ID3_Artist", true},
        {&TfrmMain::ShowDurations2, &TfrmMain::ShowDurations2Click, "ShowDurations2",
         "Show Durations", "Duration", true},
        {&TfrmMain::ShowFilenames2, &TfrmMain::ShowFilenames2Click, "ShowFilenames2",
         "Show Filenames", "Filename", true},
        {&TfrmMain::ShowGenres2, &TfrmMain::ShowGenres2Click, "ShowGenres2", "Show Genres",
         "ID3_Genre", true},
        {&TfrmMain::ShowPaths2, &TfrmMain::ShowPaths2Click, "ShowPaths2", "Show Paths", "Path",
         true},
        {&TfrmMain::ShowTitles2, &TfrmMain::ShowTitles2Click, "ShowTitles2", "Show Titles",
         "ID3_Title", true},
        {&TfrmMain::ShowYears2, &TfrmMain::ShowYears2Click, "ShowYears2", "Show Years", "ID3_Year",
         true},
        {&TfrmMain::ShowAlbums1, &TfrmMain::ShowAlbums1Click, "ShowAlbums1", "Show A&lbums",
         "ID3_Album", false},
        {&TfrmMain::Show1, &TfrmMain::Show1Click, "Show1", "Show &Artists", "ID3_Artist", false},
        {&TfrmMain::ShowDurations1, &TfrmMain::ShowDurations1Click, "ShowDurations1",
         "Show &Durations", "Duration", false},
        {&TfrmMain::ShowFilenames1, &TfrmMain::ShowFilenames1Click, "ShowFilenames1",
         "Show &Filenames", "Filename", false},
        {&TfrmMain::ShowGenres1, &TfrmMain::ShowGenres1Click, "ShowGenres1", "Show &Genres",
         "ID3_Genre", false},
        {&TfrmMain::ShowPaths1, &TfrmMain::ShowPaths1Click, "ShowPaths1", "Show Pat&hs", "Path",
         false},
        {&TfrmMain::ShowTitles1, &TfrmMain::ShowTitles1Click, "ShowTitles1", "Show &Titles",
         "ID3_Title", false},
        {&TfrmMain::ShowYears1, &TfrmMain::ShowYears1Click, "ShowYears1", "Show &Years", "ID3_Year",
         false},
    };
    return items;
}

void TfrmMain::AddColumnItems(QMenu *menu)
{
    const bool ofPlaylist = menu == Columns1;
    for (const TColumnMenuItem &entry : ColumnMenuItems()) {
        if (entry.OfPlaylist == ofPlaylist)
            this->*entry.Item = ColumnItem(menu, QString::fromLatin1(entry.Name),
                                           QString::fromLatin1(entry.Caption));
    }
}

void TfrmMain::ConnectColumnItems()
{
    for (const TColumnMenuItem &entry : ColumnMenuItems())
        connect(this->*entry.Item, &QAction::triggered, this, ReportingErrors(this, entry.Handler));
}

int TfrmMain::FindColumnByField(TDBGrid *grid, const QString &fieldName) const
{
    const QString wanted = fieldName.toUpper();
    for (int c = 0; c < grid->ColumnCount(); ++c) {
        if (grid->Column(c).FieldName.toUpper() == wanted)
            return c;
    }
    return -1;
}

void TfrmMain::ToggleColumn(QAction *item)
{
    for (const TColumnMenuItem &entry : ColumnMenuItems()) {
        if (this->*entry.Item != item)
            continue;
        TDBGrid *grid = entry.OfPlaylist ? grdPlayList : grdAvailableSongs;
        // The item has flipped its own mark already.
        const int column = FindColumnByField(grid, QString::fromLatin1(entry.Field));
        if (column >= 0)
            grid->SetColumnVisible(column, item->isChecked());
    }
}

void TfrmMain::ShowAlbums1Click()
{
    ToggleColumn(ShowAlbums1);
}
void TfrmMain::Show1Click()
{
    ToggleColumn(Show1);
}
void TfrmMain::ShowDurations1Click()
{
    ToggleColumn(ShowDurations1);
}
void TfrmMain::ShowFilenames1Click()
{
    ToggleColumn(ShowFilenames1);
}
void TfrmMain::ShowGenres1Click()
{
    ToggleColumn(ShowGenres1);
}
void TfrmMain::ShowPaths1Click()
{
    ToggleColumn(ShowPaths1);
}
void TfrmMain::ShowTitles1Click()
{
    ToggleColumn(ShowTitles1);
}
void TfrmMain::ShowYears1Click()
{
    ToggleColumn(ShowYears1);
}
void TfrmMain::ShowAlbums2Click()
{
    ToggleColumn(ShowAlbums2);
}
void TfrmMain::ShowArtists1Click()
{
    ToggleColumn(ShowArtists1);
}
void TfrmMain::ShowDurations2Click()
{
    ToggleColumn(ShowDurations2);
}
void TfrmMain::ShowFilenames2Click()
{
    ToggleColumn(ShowFilenames2);
}
void TfrmMain::ShowGenres2Click()
{
    ToggleColumn(ShowGenres2);
}
void TfrmMain::ShowPaths2Click()
{
    ToggleColumn(ShowPaths2);
}
void TfrmMain::ShowTitles2Click()
{
    ToggleColumn(ShowTitles2);
}
void TfrmMain::ShowYears2Click()
{
    ToggleColumn(ShowYears2);
}
