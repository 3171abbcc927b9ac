#pragma once

#include "data/SelectionSql.h"
#include "dialogs/Form.h"

class QGroupBox;
class TConnection;
class QLabel;
class QLineEdit;
class QListWidget;
class QPainter;
class QPushButton;
class QTabWidget;
class QToolButton;
class TCompletingComboBox;
class TDataSet;
class TDBGrid;
class TYearEdit;

// The criteria that narrow the main window's available songs, kept in the controls
// between showings, with a preview of the songs they match.
class TfrmSelect : public TForm
{
    Q_OBJECT

public:
    // Works on the library of the connection, which outlives the dialog.
    explicit TfrmSelect(TConnection *connection = nullptr, QWidget *parent = nullptr);

    QTabWidget *PageControl1;
    QWidget *tsArtist;
    QWidget *tsAlbum;
    QWidget *tsGenre;
    QWidget *tsMisc;

    QGroupBox *gbArtists;
    QListWidget *lbAvailableArtists;
    QListWidget *lbSelectedArtists;
    QToolButton *btnAddArtist;
    QToolButton *btnRemoveArtist;

    QGroupBox *gbAlbum;
    QListWidget *lbAvailableAlbums;
    QListWidget *lbSelectedAlbums;
    QToolButton *btnAddAlbum;
    QToolButton *btnRemoveAlbum;

    QGroupBox *gbGenre;
    QListWidget *lbAvailableGenres;
    QListWidget *lbSelectedGenres;
    QToolButton *btnAddGenre;
    QToolButton *btnRemoveGenre;

    QGroupBox *gbMisc;
    QLabel *lblComment;
    QLineEdit *edComment;
    QLabel *lblYearBetween;
    TYearEdit *edStartYear;
    QLabel *lblAnd;
    TYearEdit *edEndYear;
    QLabel *lblSortBy;
    TCompletingComboBox *ccbSort;

    QGroupBox *gbMatchingSongs;
    TDataSet *qryMatching;
    TDBGrid *grdMatchingSongs;
    QPushButton *btnRefresh;
    QToolButton *btnOK;
    QToolButton *btnCancel;

    // The criteria as the controls hold them.
    TSelectionCriteria Criteria() const;
    QString BuildSelectionSql() const;
    // The sort entry whose text the sort box shows (case ignored), or "" for none:
    // text that is no whole entry sorts nothing.
    QString SortChoice() const;

    // Refills the three available lists from the library, at once while the dialog shows, else
    // when it is next shown; the selected lists stay.
    void ReloadCriteriaLists();

    void btnAddArtistClick();
    void btnRemoveArtistClick();
    void btnAddAlbumClick();
    void btnRemoveAlbumClick();
    void btnAddGenreClick();
    void btnRemoveGenreClick();
    void btnRefreshClick();
    void btnOKClick();
    void btnCancelClick();
    void grdMatchingSongsDrawColumnCell(QPainter &painter, const QRect &rect, int row, int column,
                                        bool selected);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TConnection *m_connection;
    bool m_listsStale = true; // read when the dialog is next shown

    void ReadCriteriaLists();

    void CreateArtistTab();
    void CreateAlbumTab();
    void CreateGenreTab();
    void CreateMiscTab();
    void CreatePreview();
    void ConnectHandlers();
};

extern TfrmSelect *frmSelect;
