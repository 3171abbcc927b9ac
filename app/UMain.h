#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/LibraryFollower.h"
#include "app/PlaybackQueue.h"
#include "data/DataSet.h"
#include "data/LibraryLocation.h"
#include "data/LibraryNotices.h"
#include "data/PlaylistFormats.h"
#include "data/SelectionSql.h"
#include "data/Table.h"
#include "platform/PlaybackOptions.h"

class QAction;
class QButtonGroup;
class QFileDialog;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMimeData;
class QMenu;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolButton;
class QWidget;
class TCompletingComboBox;
class TDBGrid;
class TSearchEdit;
class TVolumeControl;
class TMediaPlayer;
struct TID3Tag;

// Adding more songs than this at once shows its progress at once.
constexpr int AddSongsShownAtOnce = 2000;

// The main window: library connection, playlists, playback, grids and their menus.
class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // What the window shows and holds, for the code around it and for tests.
    TConnection &library() { return QuillmereDB; }
    TDataSet *playlistSongs() const { return qryPlayListSongs; }
    TDataSet *availableSongs() const { return qryAvailableSongs; }
    const TLibraryLocation &libraryLocation() const { return LibraryLocation; }
    // How many songs the library holds, as its table last read them.
    int songCount() const;
    // Whether the window keeps the library up to date with its folders, and watches them now.
    bool followingFolders() const { return Follower != nullptr; }
    bool watchingFolders() const;
    // On a server: whether what other computers change reaches the window.
    bool listeningToServer() const { return ServerNotices != nullptr; }
    // Whether songs were ever imported into the library (else the song list stays closed).
    bool libraryImported() const { return LibraryImported; }

    // What plays: the transport's state and the number of the playing entry (-1 for none).
    TPlayState playState() const { return Queue.State(); }
    int playingSequence() const { return Queue.PlayingSequence(); }
    const TPlaybackOptions &playbackOptions() const { return PlaybackOptions; }
    // The player of the window's songs.
    TMediaPlayer *mediaPlayer() const { return MediaPlayer1; }
    // As the Options dialog sets them.
    void SetPlaybackOptions(const TPlaybackOptions &options);

    // Start-up and closing
    void FormCreate();
    void FormClose();
    void FormActivate();
    // Tests: the first activation has happened (no copyright notice).
    void MarkActivated() { m_activated = true; }
    int FindColumnByField(TDBGrid *grid, const QString &fieldName) const;

    // Menu and button handlers
    void oggleAvailableSongs1Click();
    void btnToggleAvailableSongsClick();
    void Exit1Click();
    void ImportSongs1Click();
    void Options1Click();
    void About1Click();
    void ShowAlbums1Click();
    void Show1Click();
    void ShowDurations1Click();
    void ShowFilenames1Click();
    void ShowGenres1Click();
    void ShowPaths1Click();
    void ShowTitles1Click();
    void ShowYears1Click();
    void ShowAlbums2Click();
    void ShowArtists1Click();
    void ShowDurations2Click();
    void ShowFilenames2Click();
    void ShowGenres2Click();
    void ShowPaths2Click();
    void ShowTitles2Click();
    void ShowYears2Click();

    // Playlists
    void FillPlaylistChooser();
    int CurrentPlaylistId() const;
    void OpenPlaylist(int id, const QString &column);
    void RenumberEntries();
    void ShowAllSongs();
    int NextSequence() const;
    void btnAddSongsClick();
    void grdAvailableSongsDblClick();
    void DeleteCurrentEntry();
    void Removefromlist1Click();
    void grdPlayListKeyDown(QKeyEvent *event);
    void grdPlayListTitleClick(int column);
    void DeletethisPlaylist1Click();
    void DeletePlaylist(int id);
    void ccbPlayListsChange();
    bool ccbPlayListsKeyPress(QKeyEvent *event);
    void qryPlayListSongsAfterScroll();
    void qryAvailableSongsAfterScroll();
    // Opens the available songs as the selection, the search and the sort ask.
    void OpenAvailableSongs();
    void edSearchChange();
    void grdAvailableSongsTitleClick(int column);
    void ShowSortIndicator();

    // Playback
    void btnPlayClick();
    void btnPauseClick();
    void btnStopClick();
    void btnNextClick();
    void btnPreviousClick();
    void grdPlayListDblClick();
    void Play1Click();
    void MediaPlayer1Notify(int play, const QString &failure);
    void SongTimerTimer();
    void pbSongProgressMouseDown();
    // Stores a song's measured length as its duration when the options ask for it.
    void CheckStoredDuration(qint64 lengthMs);
    // Hands the player the entry to follow the given row, so that it joins without a gap.
    void QueueAfter(int row);
    QString EntryFile(int row) const;

    // Grids presentation
    void grdPlayListDrawColumnCell(QPainter &painter, const QRect &rect, int row, int column,
                                   bool selected);
    void grdAvailableSongsDrawColumnCell(QPainter &painter, const QRect &rect, int row, int column,
                                         bool selected);
    void grdAvailableSongsKeyDown(QKeyEvent *event);
    void SelectAllRows(TDBGrid *grid);
    void btnPreviousMouseMove();
    void btnPlayMouseMove();
    void btnNextMouseMove();
    void btnPauseMouseMove();
    void btnStopMouseMove();
    void btnFilterMouseMove();
    void pnlButtonsMouseMove();
    void gbAvailableSongsMouseMove();
    void grdAvailableSongsMouseMove();
    void grdPlayListMouseMove();
    void pbSongProgressMouseMove();
    void UpdateHoverImages();
    void ButtonRefreshTimerTimer();

    // Playlist files, external player, release notes, export
    void WritePlaylistFile(const QString &fileName, TPlaylistFormat format = TPlaylistFormat::Pls);
    void SaveasPlaylist1Click();
    void RuninWinAmp1Click();
    void ReleaseNotes1Click();
    void Exportplaylist1Click();

    // Selection and import
    void btnFilterClick();
    void ApplySelection();

    // What the dialogs changed in the library, shown in this window's views.
    void SongsImported();
    void PlaylistCreated(qint64 id, const QString &entry);
    void PlaylistRenamed(qint64 id, const QString &entry);
    // Keeps the library up to date with its folders while on; shows what changed on the disk
    // without moving the current row or the selection.
    void FollowFolders(bool on);
    void LibraryChangedOnDisk();
    // On a server: what other computers change is shown here, each view only when its part
    // changed (TLibraryChange flags).
    void ListenToServer();
    void LibraryChangedElsewhere(int changes);

    // Song properties and playlist details
    void ShowSongProperties(TDataSet *dataSet);
    // Stores a tag saved in the properties dialog in the song's row and shows it.
    void SongTagSaved(qint64 songId, const TID3Tag &tag);
    void Properties1Click();
    void Properties2Click();
    void NewPlaylist1Click();
    void Properties3Click();

    // Daily use: seeking and the volume (UMainSeek.cpp), keys and shortcuts (UMainKeys.cpp),
    // drops (UMainDrops.cpp), what the window remembers (UMainMemory.cpp).
    void SeekTo(qint64 ms);
    void SeekBy(qint64 ms);
    void tbVolumeChange(int value);
    // The volume control's level, 0 (silent) to 1 (full); setting it moves the control.
    double volume() const;
    void SetVolume(double level);
    // The keys of daily use in a grid; true when the key was taken.
    bool DailyKeyDown(TDBGrid *grid, QKeyEvent *event);
    // Moves the selected entries up (-1) or down (1), stored at once.
    void MoveSelectedEntries(int by);
    void RemoveSelectedEntries();
    void RestoreWindow();
    void RememberWindow();
    // What a drop brings to a grid, before the row given: the grids' own songs (to the
    // playlist: moved there, or added), files and folders (imported; added to the playlist when
    // dropped on it), playlist files (imported as new playlists).
    void DropOn(TDBGrid *grid, const QMimeData &data, int row);
    void InsertSongsAt(const QList<qint64> &songs, int row);
    void ImportDropped(const QStringList &files, int row); // row -1: the playlist takes none
    void ImportDroppedPlaylist(const QString &file);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The Columns items of both grids' menus: each shows or hides one column of its grid.
    struct TColumnMenuItem {
        QAction *TfrmMain::*Item;
        void (TfrmMain::*Handler)();
        const char *Name;
        const char *Caption;
        const char *Field;
        bool OfPlaylist; // the playlist's grid, else the available songs'
    };
    static const std::vector<TColumnMenuItem> &ColumnMenuItems();
    // A transport or filter button with its normal and hover pictures.
    struct THoverButton {
        QToolButton *Button;
        const QPixmap *Normal;
        const QPixmap *Over;
    };
    // The button of a hover code (1 previous ... 6 filter); none for 0.
    THoverButton HoverButtonOf(int code);

    bool LibraryImported = true;
    // The transport or filter button under the mouse and the one showing its hover picture
    // (1 previous ... 6 filter, 0 none).
    int HoverButton = 0;
    int ShownHoverButton = 0;
    bool HighlightPlayingRow = false; // the playlist row being drawn is the playing one

    // Controls
    TVolumeControl *tbVolume = nullptr;
    QWidget *pnlButtons = nullptr;
    QToolButton *btnPrevious = nullptr;
    QToolButton *btnPlay = nullptr;
    QToolButton *btnNext = nullptr;
    QToolButton *btnPause = nullptr;
    QToolButton *btnStop = nullptr;
    QToolButton *btnDummy = nullptr;
    QButtonGroup *TransportGroup = nullptr;
    QProgressBar *pbSongProgress = nullptr;
    QLabel *lblDuration = nullptr;
    QToolButton *btnToggleAvailableSongs = nullptr;
    TMediaPlayer *MediaPlayer1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *pnlAvailableSongs = nullptr;
    QGroupBox *gbAvailableSongs = nullptr;
    QToolButton *btnAddSongs = nullptr;
    QToolButton *btnFilter = nullptr;
    TSearchEdit *edSearch = nullptr;
    TDBGrid *grdAvailableSongs = nullptr;
    QWidget *pnlPlayList = nullptr;
    QGroupBox *gbPlaylists = nullptr;
    TCompletingComboBox *ccbPlayLists = nullptr;
    TDBGrid *grdPlayList = nullptr;
    QTimer *SongTimer = nullptr;
    QTimer *ButtonRefreshTimer = nullptr;
    QFileDialog *SaveDialog1 = nullptr;

    // Stored images: normal and hover pictures of the transport and filter buttons.
    QPixmap imgPreviousNormal, imgPreviousOver, imgPlayNormal, imgPlayOver, imgNextNormal,
        imgNextOver, imgPauseNormal, imgPauseOver, imgStopNormal, imgStopOver, imgFilterNormal,
        imgFilterOver;

    // Menus
    QAction *ImportSongs1 = nullptr, *RuninWinAmp1 = nullptr, *SaveasPlaylist1 = nullptr,
            *Exportplaylist1 = nullptr, *Exit1 = nullptr, *oggleAvailableSongs1 = nullptr,
            *Options1 = nullptr, *ReleaseNotes1 = nullptr, *About1 = nullptr;
    QMenu *pmSongs = nullptr, *pmAvailableSongs = nullptr, *pmPlayLists = nullptr;
    QMenu *Columns1 = nullptr, *Columns2 = nullptr;
    QAction *ShowAlbums1 = nullptr, *Show1 = nullptr, *ShowDurations1 = nullptr,
            *ShowFilenames1 = nullptr, *ShowGenres1 = nullptr, *ShowPaths1 = nullptr,
            *ShowTitles1 = nullptr, *ShowYears1 = nullptr;
    QAction *ShowAlbums2 = nullptr, *ShowArtists1 = nullptr, *ShowDurations2 = nullptr,
            *ShowFilenames2 = nullptr, *ShowGenres2 = nullptr, *ShowPaths2 = nullptr,
            *ShowTitles2 = nullptr, *ShowYears2 = nullptr;
    QAction *Play1 = nullptr, *Removefromlist1 = nullptr, *Randomize1 = nullptr,
            *Properties1 = nullptr, *Properties2 = nullptr;
    QAction *NewPlaylist1 = nullptr, *DeletethisPlaylist1 = nullptr, *Properties3 = nullptr;

    void CreateControls();
    void CreatePlaylistPanel();
    void CreateAvailableSongsPanel();
    void CreateButtonPanel();
    void CreateTimersAndDialogs();
    void CreateMenus();
    void CreateSongsMenu();
    void CreateAvailableSongsMenu();
    void CreatePlaylistsMenu();
    void AddColumnItems(QMenu *menu);
    void ConnectColumnItems();
    void CreatePlaybackControls();
    void CreateHoverImages();
    void ConnectHandlers();
    void ConnectMenus();
    void ConnectContextMenus();
    void ConnectGrids();
    void ConnectTransport();
    // Shows or hides the column that the item of a Columns menu stands for, as it is marked.
    void ToggleColumn(QAction *item);
    void LayoutButtonPanel();
    void LayoutGroupBoxes();
    // An empty library says in its grids where songs come from.
    void ShowWhereToBegin();
    void CreateDailyUse();
    void CreateSeekAndVolume();
    void CreateShortcuts();
    void CreateDrops();
    QString m_hintedFile;
    bool m_keyTaken = false; // the key the grid reports was taken by DailyKeyDown
    // Stores the entries moved to stand before the row at position, and shows them selected.
    void ReorderEntries(const QList<qint64> &entries, int position);
    // The playing entry's key (Row_ID), 0 for none.
    qint64 PlayingEntry() const;
    // Reopens the playlist with its rows first to first + count - 1 selected, the first current,
    // the playing entry (a key) still highlighted.
    void ShowEntriesAt(int first, int count, qint64 playing);

    // Library
    TConnection QuillmereDB;
    TTable *tblSongs = nullptr;
    TDataSet *qryAvailableSongs = nullptr;
    TDataSet *qryPlayListSongs = nullptr;

    QString ProgramDirectory;
    TLibraryLocation LibraryLocation; // beside the program, or the user's own
    QString SortField;
    QString SortDirection;
    // What the available songs show: the selection's statement, the searched words and the
    // column clicked to sort them (empty: the selection's own order).
    TSelectionCriteria AvailableCriteria;
    QString AvailableSelectionSql; // its statement as shown, for the sort indicator
    QString AvailableSortField;
    bool AvailableSortDescending = false;
    std::unique_ptr<TLibraryFollower> Follower;
    std::unique_ptr<TLibraryNotices> ServerNotices;
    TPlaybackQueue Queue;
    TPlaybackOptions PlaybackOptions; // as the Options dialog last set them

    // The properties dialog whose saved tags this window stores.
    QPointer<QObject> m_propertiesAnswered;
    bool m_activated = false;
    bool m_closed = false;
};

extern TfrmMain *frmMain;
