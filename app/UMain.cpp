#include "app/UMain.h"

#include "app/QuillmereApplication.h"
#include "base/Errors.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "data/PlaylistEntries.h"
#include "data/ProgramDirectory.h"
#include "dialogs/MessageService.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>

TfrmMain *frmMain = nullptr;

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillmere"));
    setWindowIcon(ProgramIcon());
    tblSongs = new TTable(&QuillmereDB, this);
    tblSongs->setObjectName(QStringLiteral("tblSongs"));
    SetUpSongsTable(*tblSongs);
    // The grids read the rows they show; nothing reads the whole library.
    tblSongs->SetOnDemand(true);
    qryAvailableSongs = new TDataSet(&QuillmereDB, this);
    qryAvailableSongs->setObjectName(QStringLiteral("qryAvailableSongs"));
    qryAvailableSongs->SetOnDemand(true);
    // A whole library or a search of a letter or two is counted while its first rows show.
    qryAvailableSongs->SetCountInBackground(true);
    qryAvailableSongs->SetTieBreaker(QStringLiteral("Row_ID"));
    qryPlayListSongs = new TDataSet(&QuillmereDB, this);
    qryPlayListSongs->setObjectName(QStringLiteral("qryPlayListSongs"));
    SetUpPlaylistEntries(*qryPlayListSongs, tblSongs);

    CreateControls();
    CreateMenus();
    CreatePlaybackControls();
    CreateHoverImages();
    CreateDailyUse();
    ConnectHandlers();
    resize(412, 435);
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    FormClose();
}

void TfrmMain::FormCreate()
{
    LibraryImported = true;
    HoverButton = 0;
    ShownHoverButton = 0;
    SortField = QStringLiteral("Sequence");
    // Ascending: a playlist opens in the order its entries were stored.
    SortDirection = QStringLiteral("Asc");
    ProgramDirectory = GetProgramDirectory();
    LibraryLocation = FindLibraryLocation();
    QuillmereDB.ConnectionString = LibraryLocation.ConnectionString();
    const QString server = ServerLibrarySetting();
    try {
        if (server.isEmpty())
            PrepareLibrary(LibraryLocation);
        else
            QuillmereDB.SetLibraryAddress(server);
        QuillmereDB.Open();
    } catch (const EError &e) {
        ShowError(e.Message());
        return;
    }
    for (const QString &note : QuillmereDB.Notes())
        ShowWarning(note);
    RunReportingErrors([this] {
        tblSongs->Open();
        ShowAllSongs();
        oggleAvailableSongs1Click();
        FillPlaylistChooser();
        if (ccbPlayLists->count() > 0)
            ccbPlayLists->setCurrentIndex(0);
        OpenPlaylist(CurrentPlaylistId(), SortField);
        for (QAction *item :
             {ShowAlbums1, Show1, ShowFilenames1, ShowGenres1, ShowPaths1, ShowYears1, ShowPaths2,
              ShowGenres2, ShowYears2, ShowAlbums2, ShowFilenames2, ShowArtists1})
            item->trigger();
        ShowWhereToBegin();
        RestoreWindow();
    });
}

void TfrmMain::ShowWhereToBegin()
{
    const bool noSongs = tblSongs->Active() && tblSongs->IsEmpty();
    const QString text = noSongs ? QStringLiteral("The library holds no songs yet.\n\n"
                                                  "Choose File > Import Music... to add the MP3 "
                                                  "files of a folder.")
                                 : QString();
    grdAvailableSongs->SetEmptyText(text);
    grdPlayList->SetEmptyText(text);
}

void TfrmMain::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    RememberWindow();
    qryPlayListSongs->Close();
    tblSongs->Close();
    qryAvailableSongs->Close();
    QuillmereDB.Close();
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TfrmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_activated)
        QMetaObject::invokeMethod(this, &TfrmMain::FormActivate, Qt::QueuedConnection);
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Without a window manager the window may never become active; the notice comes all the same.
    if (!m_activated)
        QTimer::singleShot(300, this, ReportingErrors(this, &TfrmMain::FormActivate));
}

void TfrmMain::oggleAvailableSongs1Click()
{
    if (!LibraryImported) {
        ShowInformation(QStringLiteral("You should probably try Importing first..."));
        return;
    }
    if (!pnlAvailableSongs->isHidden()) {
        // Hidden first: while the panel is there, the window cannot be narrowed that far. The
        // splitter and the layouts above it then give up the panel's room in the requests the
        // hiding posts, each posting the next one up; until the window's own has run, the
        // minimum set while the panel was there (wider when the splitter was moved) would clamp
        // the width.
        pnlAvailableSongs->hide();
        Splitter1->updateGeometry();
        for (int level = 0; level < 4; ++level)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (QLayout *windowLayout = layout())
            windowLayout->activate();
        resize(208, height());
        oggleAvailableSongs1->setText(QStringLiteral("Show Available Songs"));
        btnToggleAvailableSongs->setToolTip(QStringLiteral("Show Available Songs"));
        btnToggleAvailableSongs->setText(QStringLiteral(">   "));
    } else {
        resize(408, height());
        pnlAvailableSongs->show();
        Splitter1->setSizes({qMax(0, Splitter1->width() - 204 - Splitter1->handleWidth()), 204});
        oggleAvailableSongs1->setText(QStringLiteral("Hide Available Songs"));
        btnToggleAvailableSongs->setToolTip(QStringLiteral("Hide Available Songs"));
        btnToggleAvailableSongs->setText(QStringLiteral("<   "));
    }
}

void TfrmMain::btnToggleAvailableSongsClick()
{
    oggleAvailableSongs1Click();
}

void TfrmMain::Exit1Click()
{
    close();
}

int TfrmMain::songCount() const
{
    return tblSongs->Active() ? tblSongs->RecordCount() : 0;
}

bool TfrmMain::watchingFolders() const
{
    return Follower && Follower->IsWatching();
}
