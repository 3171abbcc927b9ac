#include "app/UMain.h"

#include "app/QuillmereApplication.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/SearchEdit.h"
#include "controls/SeekBar.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
QToolButton *FlatButton(QWidget *parent, const QString &name, const QRect &geometry,
                        const QString &hint)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setGeometry(geometry);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QGroupBox *BoldGroupBox(QWidget *parent, const QString &name, const QString &caption)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    QFont font = box->font();
    font.setBold(true);
    box->setFont(font);
    return box;
}

QAction *MenuItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

} // namespace

void TfrmMain::CreateControls()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    layout->addWidget(Splitter1, 1);

    CreatePlaylistPanel();
    CreateAvailableSongsPanel();
    Splitter1->addWidget(pnlPlayList);
    Splitter1->addWidget(pnlAvailableSongs);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({204, 204});

    pnlButtons = new QWidget(central);
    layout->addWidget(pnlButtons);
    CreateButtonPanel();
    CreateTimersAndDialogs();

    pnlButtons->installEventFilter(this);
    gbPlaylists->installEventFilter(this);
    gbAvailableSongs->installEventFilter(this);
}

void TfrmMain::CreatePlaylistPanel()
{
    pnlPlayList = new QWidget(Splitter1);
    pnlPlayList->setObjectName(QStringLiteral("pnlPlayList"));
    auto *playListLayout = new QVBoxLayout(pnlPlayList);
    playListLayout->setContentsMargins(0, 0, 0, 0);
    gbPlaylists =
        BoldGroupBox(pnlPlayList, QStringLiteral("gbPlaylists"), QStringLiteral("PlayList"));
    playListLayout->addWidget(gbPlaylists);
    ccbPlayLists = new TCompletingComboBox(gbPlaylists);
    ccbPlayLists->setObjectName(QStringLiteral("ccbPlayLists"));
    ccbPlayLists->setGeometry(8, 16, 177, 21);
    ccbPlayLists->SetTextCompletion(false);
    ccbPlayLists->SetLimitToList(false);
    QFont chooserFont = ccbPlayLists->font();
    chooserFont.setBold(false);
    ccbPlayLists->setFont(chooserFont);
    ccbPlayLists->setStyleSheet(
        QStringLiteral("QComboBox, QComboBox QLineEdit, QComboBox QAbstractItemView "
                       "{ background: black; color: rgb(166,202,240); }"));
    ccbPlayLists->setContextMenuPolicy(Qt::CustomContextMenu);
    grdPlayList = new TDBGrid(gbPlaylists);
    grdPlayList->setObjectName(QStringLiteral("grdPlayList"));
    grdPlayList->setContextMenuPolicy(Qt::CustomContextMenu);
    grdPlayList->SetDataSet(qryPlayListSongs);
    grdPlayList->SetColumns({{QStringLiteral("Sequence"), QStringLiteral("No."), 24, true, true},
                             {QStringLiteral("ID3_Title"), QStringLiteral("Title"), 93},
                             {QStringLiteral("Duration"), {}},
                             {QStringLiteral("Path"), {}},
                             {QStringLiteral("FileName"), {}},
                             {QStringLiteral("ID3_Artist"), {}},
                             {QStringLiteral("ID3_Genre"), {}},
                             {QStringLiteral("ID3_Album"), {}},
                             {QStringLiteral("ID3_Year"), {}}});
}

void TfrmMain::CreateAvailableSongsPanel()
{
    pnlAvailableSongs = new QWidget(Splitter1);
    pnlAvailableSongs->setObjectName(QStringLiteral("pnlAvailableSongs"));
    auto *availableLayout = new QVBoxLayout(pnlAvailableSongs);
    availableLayout->setContentsMargins(0, 0, 0, 0);
    gbAvailableSongs = BoldGroupBox(pnlAvailableSongs, QStringLiteral("gbAvailableSongs"),
                                    QStringLiteral("Available Songs"));
    gbAvailableSongs->setMouseTracking(true);
    availableLayout->addWidget(gbAvailableSongs);
    btnAddSongs = FlatButton(gbAvailableSongs, QStringLiteral("btnAddSongs"), {2, 15, 23, 22}, {});
    btnAddSongs->setText(QStringLiteral("<"));
    btnFilter = FlatButton(gbAvailableSongs, QStringLiteral("btnFilter"), {64, 15, 71, 22},
                           QStringLiteral("Select songs to add to playlist..."));
    btnFilter->setMouseTracking(true);
    edSearch = new TSearchEdit(gbAvailableSongs);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(QStringLiteral("Search"));
    edSearch->setToolTip(
        QStringLiteral("Songs whose title, artist, album, comment or file name hold every word"));
    QFont searchFont = edSearch->font();
    searchFont.setBold(false);
    edSearch->setFont(searchFont);
    edSearch->setStyleSheet(
        QStringLiteral("QLineEdit { background: black; color: rgb(166,202,240); }"));
    grdAvailableSongs = new TDBGrid(gbAvailableSongs);
    grdAvailableSongs->setObjectName(QStringLiteral("grdAvailableSongs"));
    grdAvailableSongs->setContextMenuPolicy(Qt::CustomContextMenu);
    grdAvailableSongs->SetDataSet(qryAvailableSongs);
    grdAvailableSongs->SetColumns({{QStringLiteral("ID3_Title"), QStringLiteral("Title"), 115},
                                   {QStringLiteral("Duration"), {}, 53},
                                   {QStringLiteral("ID3_Album"), {}},
                                   {QStringLiteral("ID3_Artist"), {}},
                                   {QStringLiteral("ID3_Genre"), {}},
                                   {QStringLiteral("ID3_Year"), {}},
                                   {QStringLiteral("ID3_Track"), {}},
                                   {QStringLiteral("Path"), {}},
                                   {QStringLiteral("Filename"), {}}});
}

void TfrmMain::CreateButtonPanel()
{
    pnlButtons->setObjectName(QStringLiteral("pnlButtons"));
    pnlButtons->setFixedHeight(55);
    pnlButtons->setMouseTracking(true);
    btnPrevious = FlatButton(pnlButtons, QStringLiteral("btnPrevious"), {32, 28, 23, 22},
                             QStringLiteral("Previous Song"));
    btnPlay =
        FlatButton(pnlButtons, QStringLiteral("btnPlay"), {56, 28, 23, 22}, QStringLiteral("Play"));
    btnNext = FlatButton(pnlButtons, QStringLiteral("btnNext"), {80, 28, 23, 22},
                         QStringLiteral("Next Song"));
    btnPause = FlatButton(pnlButtons, QStringLiteral("btnPause"), {104, 28, 23, 22},
                          QStringLiteral("Pause"));
    btnStop = FlatButton(pnlButtons, QStringLiteral("btnStop"), {128, 28, 23, 22},
                         QStringLiteral("Stop"));
    btnDummy = FlatButton(pnlButtons, QStringLiteral("btnDummy"), {160, 28, 23, 22}, {});
    btnDummy->hide();
    TransportGroup = new QButtonGroup(this);
    TransportGroup->setObjectName(QStringLiteral("TransportGroup"));
    TransportGroup->setExclusive(true);
    for (QToolButton *button : {btnPrevious, btnPlay, btnNext, btnPause, btnStop, btnDummy}) {
        button->setCheckable(true);
        button->setMouseTracking(true);
        button->setIconSize(QSize(21, 21));
        TransportGroup->addButton(button);
    }
    btnDummy->setChecked(true);
    pbSongProgress = new TSeekBar(pnlButtons);
    pbSongProgress->setObjectName(QStringLiteral("pbSongProgress"));
    pbSongProgress->setGeometry(16, 6, 137, 17);
    pbSongProgress->setTextVisible(false);
    pbSongProgress->setRange(0, 0);
    pbSongProgress->setMaximum(100);
    pbSongProgress->setValue(0);
    pbSongProgress->setMouseTracking(true);
    lblDuration = new QLabel(QStringLiteral("00:00"), pnlButtons);
    lblDuration->setObjectName(QStringLiteral("lblDuration"));
    QFont bold = lblDuration->font();
    bold.setBold(true);
    lblDuration->setFont(bold);
    lblDuration->move(158, 8);
    lblDuration->adjustSize();
    btnToggleAvailableSongs = FlatButton(pnlButtons, QStringLiteral("btnToggleAvailableSongs"),
                                         {0, 28, 23, 22}, QStringLiteral("Toggle Available Songs"));
    btnToggleAvailableSongs->setFont(bold);
    btnToggleAvailableSongs->setText(QStringLiteral(">   "));
}

void TfrmMain::CreateTimersAndDialogs()
{
    SongTimer = new QTimer(this);
    SongTimer->setObjectName(QStringLiteral("SongTimer"));
    SongTimer->setInterval(100);
    ButtonRefreshTimer = new QTimer(this);
    ButtonRefreshTimer->setObjectName(QStringLiteral("ButtonRefreshTimer"));
    ButtonRefreshTimer->setInterval(250);
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    // .pls first, so it is what a name without an extension gets.
    SaveDialog1->setNameFilters({QStringLiteral("Playlist File (*.pls)"),
                                 QStringLiteral("M3U8 Playlist (*.m3u8)"),
                                 QStringLiteral("XSPF Playlist (*.xspf)")});
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, true);
}

void TfrmMain::CreateMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    ImportSongs1 =
        MenuItem(file, QStringLiteral("ImportSongs1"), QStringLiteral("&Import Music..."));
    file->addSeparator();
    RuninWinAmp1 = MenuItem(file, QStringLiteral("RuninWinAmp1"), QStringLiteral("&Run in WinAmp"));
    file->addSeparator();
    SaveasPlaylist1 =
        MenuItem(file, QStringLiteral("SaveasPlaylist1"), QStringLiteral("&Save as Playlist..."));
    Exportplaylist1 = MenuItem(file, QStringLiteral("Exportplaylist1"),
                               QStringLiteral("&Export to MP3 device..."));
    file->addSeparator();
    Exit1 = MenuItem(file, QStringLiteral("Exit1"), QStringLiteral("&Exit"));

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View1"));
    oggleAvailableSongs1 = MenuItem(view, QStringLiteral("oggleAvailableSongs1"),
                                    QStringLiteral("Toggle Available Songs"));
    Options1 = MenuItem(view, QStringLiteral("Options1"), QStringLiteral("&Options..."));

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    ReleaseNotes1 =
        MenuItem(help, QStringLiteral("ReleaseNotes1"), QStringLiteral("&Release Notes"));
    About1 = MenuItem(help, QStringLiteral("About1"), QStringLiteral("&About"));

    CreateSongsMenu();
    CreateAvailableSongsMenu();
    CreatePlaylistsMenu();
}

void TfrmMain::CreateSongsMenu()
{
    pmSongs = new QMenu(this);
    pmSongs->setObjectName(QStringLiteral("pmSongs"));
    Columns1 = pmSongs->addMenu(QStringLiteral("&Columns"));
    Columns1->setObjectName(QStringLiteral("Columns1"));
    AddColumnItems(Columns1);
    pmSongs->addSeparator();
    Play1 = MenuItem(pmSongs, QStringLiteral("Play1"), QStringLiteral("&Play song"));
    Removefromlist1 =
        MenuItem(pmSongs, QStringLiteral("Removefromlist1"), QStringLiteral("&Delete song"));
    pmSongs->addSeparator();
    QMenu *sortOrder = pmSongs->addMenu(QStringLiteral("Sort order"));
    sortOrder->setObjectName(QStringLiteral("Sortorder1"));
    Randomize1 = MenuItem(sortOrder, QStringLiteral("Randomize1"), QStringLiteral("Randomize"));
    Randomize1->setEnabled(false);
    pmSongs->addSeparator();
    Properties1 = MenuItem(pmSongs, QStringLiteral("Properties1"), QStringLiteral("&Properties"));
}

void TfrmMain::CreateAvailableSongsMenu()
{
    pmAvailableSongs = new QMenu(this);
    pmAvailableSongs->setObjectName(QStringLiteral("pmAvailableSongs"));
    Columns2 = pmAvailableSongs->addMenu(QStringLiteral("&Columns"));
    Columns2->setObjectName(QStringLiteral("Columns2"));
    AddColumnItems(Columns2);
    pmAvailableSongs->addSeparator();
    Properties2 =
        MenuItem(pmAvailableSongs, QStringLiteral("Properties2"), QStringLiteral("&Properties"));
}

void TfrmMain::CreatePlaylistsMenu()
{
    pmPlayLists = new QMenu(this);
    pmPlayLists->setObjectName(QStringLiteral("pmPlayLists"));
    NewPlaylist1 =
        MenuItem(pmPlayLists, QStringLiteral("NewPlaylist1"), QStringLiteral("&New Playlist"));
    pmPlayLists->addSeparator();
    DeletethisPlaylist1 = MenuItem(pmPlayLists, QStringLiteral("DeletethisPlaylist1"),
                                   QStringLiteral("&Delete this Playlist"));
    pmPlayLists->addSeparator();
    Properties3 =
        MenuItem(pmPlayLists, QStringLiteral("Properties3"), QStringLiteral("&Properties"));
}

void TfrmMain::ConnectHandlers()
{
    ConnectMenus();
    ConnectContextMenus();
    ConnectGrids();
    ConnectTransport();
}

void TfrmMain::ConnectMenus()
{
    connect(ImportSongs1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::ImportSongs1Click));
    connect(RuninWinAmp1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::RuninWinAmp1Click));
    connect(SaveasPlaylist1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::SaveasPlaylist1Click));
    connect(Exportplaylist1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::Exportplaylist1Click));
    connect(Exit1, &QAction::triggered, this, ReportingErrors(this, &TfrmMain::Exit1Click));
    connect(oggleAvailableSongs1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::oggleAvailableSongs1Click));
    connect(Options1, &QAction::triggered, this, ReportingErrors(this, &TfrmMain::Options1Click));
    connect(ReleaseNotes1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::ReleaseNotes1Click));
    connect(About1, &QAction::triggered, this, ReportingErrors(this, &TfrmMain::About1Click));
    ConnectColumnItems();
    connect(Play1, &QAction::triggered, this, ReportingErrors(this, &TfrmMain::Play1Click));
    connect(Removefromlist1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::Removefromlist1Click));
    connect(Properties1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::Properties1Click));
    connect(Properties2, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::Properties2Click));
    connect(NewPlaylist1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::NewPlaylist1Click));
    connect(DeletethisPlaylist1, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::DeletethisPlaylist1Click));
    connect(Properties3, &QAction::triggered, this,
            ReportingErrors(this, &TfrmMain::Properties3Click));
}

void TfrmMain::ConnectContextMenus()
{
    connect(grdPlayList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { pmSongs->popup(grdPlayList->viewport()->mapToGlobal(p)); });
    connect(grdAvailableSongs, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        pmAvailableSongs->popup(grdAvailableSongs->viewport()->mapToGlobal(p));
    });
    connect(ccbPlayLists, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { pmPlayLists->popup(ccbPlayLists->mapToGlobal(p)); });
    if (ccbPlayLists->lineEdit()) {
        ccbPlayLists->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(ccbPlayLists->lineEdit(), &QWidget::customContextMenuRequested, this,
                [this](const QPoint &p) {
                    pmPlayLists->popup(ccbPlayLists->lineEdit()->mapToGlobal(p));
                });
        connect(ccbPlayLists->lineEdit(), &QLineEdit::textEdited, this,
                ReportingErrors(this, &TfrmMain::ccbPlayListsChange));
    }
    connect(ccbPlayLists, &QComboBox::activated, this,
            ReportingErrors(this, &TfrmMain::ccbPlayListsChange));
    ccbPlayLists->OnKeyPress = [this](QKeyEvent *event) { return ccbPlayListsKeyPress(event); };
}

void TfrmMain::ConnectGrids()
{
    connect(btnToggleAvailableSongs, &QToolButton::clicked, this,
            ReportingErrors(this, &TfrmMain::btnToggleAvailableSongsClick));
    connect(btnAddSongs, &QToolButton::clicked, this,
            ReportingErrors(this, &TfrmMain::btnAddSongsClick));
    connect(btnFilter, &QToolButton::clicked, this,
            ReportingErrors(this, &TfrmMain::btnFilterClick));
    connect(grdAvailableSongs, &TDBGrid::DblClick, this,
            ReportingErrors(this, &TfrmMain::grdAvailableSongsDblClick));
    connect(grdPlayList, &TDBGrid::DblClick, this,
            ReportingErrors(this, &TfrmMain::grdPlayListDblClick));
    connect(grdPlayList, &TDBGrid::KeyDown, this,
            [this](QKeyEvent *event) { RunReportingErrors([&] { grdPlayListKeyDown(event); }); });
    connect(grdAvailableSongs, &TDBGrid::KeyDown, this, [this](QKeyEvent *event) {
        RunReportingErrors([&] { grdAvailableSongsKeyDown(event); });
    });
    connect(grdPlayList, &TDBGrid::TitleClick, this, &TfrmMain::grdPlayListTitleClick);
    connect(grdAvailableSongs, &TDBGrid::TitleClick, this, [this](int column) {
        RunReportingErrors([&] { grdAvailableSongsTitleClick(column); });
    });
    connect(edSearch, &QLineEdit::textChanged, this,
            ReportingErrors(this, &TfrmMain::edSearchChange));
    connect(qryPlayListSongs, &TDataSet::AfterScroll, this,
            ReportingErrors(this, &TfrmMain::qryPlayListSongsAfterScroll));
    connect(qryAvailableSongs, &TDataSet::AfterScroll, this,
            ReportingErrors(this, &TfrmMain::qryAvailableSongsAfterScroll));
    grdPlayList->SetDrawColumnCell(
        [this](QPainter &painter, const QRect &rect, int row, int column, bool selected) {
            grdPlayListDrawColumnCell(painter, rect, row, column, selected);
        });
    grdAvailableSongs->SetDrawColumnCell(
        [this](QPainter &painter, const QRect &rect, int row, int column, bool selected) {
            grdAvailableSongsDrawColumnCell(painter, rect, row, column, selected);
        });
    for (QToolButton *button : {btnPrevious, btnPlay, btnNext, btnPause, btnStop, btnFilter})
        button->installEventFilter(this);
    connect(grdAvailableSongs, &TDBGrid::MouseMoved, this,
            ReportingErrors(this, &TfrmMain::grdAvailableSongsMouseMove));
    connect(grdPlayList, &TDBGrid::MouseMoved, this,
            ReportingErrors(this, &TfrmMain::grdPlayListMouseMove));
}

void TfrmMain::ConnectTransport()
{
    connect(btnPlay, &QToolButton::clicked, this, ReportingErrors(this, &TfrmMain::btnPlayClick));
    connect(btnPause, &QToolButton::clicked, this, ReportingErrors(this, &TfrmMain::btnPauseClick));
    connect(btnStop, &QToolButton::clicked, this, ReportingErrors(this, &TfrmMain::btnStopClick));
    connect(btnNext, &QToolButton::clicked, this, ReportingErrors(this, &TfrmMain::btnNextClick));
    connect(btnPrevious, &QToolButton::clicked, this,
            ReportingErrors(this, &TfrmMain::btnPreviousClick));
    connect(SongTimer, &QTimer::timeout, this, ReportingErrors(this, &TfrmMain::SongTimerTimer));
    connect(ButtonRefreshTimer, &QTimer::timeout, this,
            ReportingErrors(this, &TfrmMain::ButtonRefreshTimerTimer));
    pbSongProgress->installEventFilter(this);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == pnlButtons)
            LayoutButtonPanel();
        else if (watched == gbPlaylists || watched == gbAvailableSongs)
            LayoutGroupBoxes();
        break;
    case QEvent::MouseMove:
        if (watched == btnPrevious)
            btnPreviousMouseMove();
        else if (watched == btnPlay)
            btnPlayMouseMove();
        else if (watched == btnNext)
            btnNextMouseMove();
        else if (watched == btnPause)
            btnPauseMouseMove();
        else if (watched == btnStop)
            btnStopMouseMove();
        else if (watched == btnFilter)
            btnFilterMouseMove();
        else if (watched == pnlButtons)
            pnlButtonsMouseMove();
        else if (watched == gbAvailableSongs)
            gbAvailableSongsMouseMove();
        else if (watched == pbSongProgress)
            pbSongProgressMouseMove();
        break;
    case QEvent::MouseButtonPress:
        if (watched == pbSongProgress)
            RunReportingErrors([this] { pbSongProgressMouseDown(); });
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::LayoutButtonPanel()
{
    btnToggleAvailableSongs->move(pnlButtons->width() - btnToggleAvailableSongs->width() - 8, 28);
}

void TfrmMain::LayoutGroupBoxes()
{
    grdPlayList->setGeometry(8, 40, qMax(0, gbPlaylists->width() - 16),
                             qMax(0, gbPlaylists->height() - 48));
    edSearch->setGeometry(2, 40, qMax(0, gbAvailableSongs->width() - 4), 21);
    grdAvailableSongs->setGeometry(2, 63, qMax(0, gbAvailableSongs->width() - 4),
                                   qMax(0, gbAvailableSongs->height() - 65));
}
