#pragma once

#include "data/UMP3s.h"
#include "dialogs/Form.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QUrl;
class TCompletingComboBox;

// The tag texts as edited in the dialog.
struct TTagTexts {
    QString Title, Artist, Album, Year, Comment, Track;
    QString Genre; // a genre's name, or empty for none
};

// Builds the record that Save writes. Returns an empty text on success, otherwise the
// reason the texts were refused; the record is then left as it was.
QString BuildID3Tag(const TTagTexts &texts, TID3Tag &tag);

// The web search for an artist's songs.
QUrl ArtistLookupUrl(const QString &artist);

// What the properties dialog shows of one song.
struct TSongProperties {
    qint64 SongId = 0;
    QString Number; // the playlist entry's number; empty for a song of the library
    qint64 DurationMs = 0;
    QString FileName;
    QString Title;
    QString Artist;
    int Genre = 255;
    QString Comment;
    QString Album;
    int Year = 0;
    int Track = 0;
};

// The song properties dialog: one song's file and its ID3v1 tag, which can be reloaded
// from the file and written back into it. It runs no statement: a saved tag is announced,
// and the main window brings the library up to date.
class TfrmProperties : public TForm
{
    Q_OBJECT

public:
    explicit TfrmProperties(QWidget *parent = nullptr);

    QGroupBox *gbSongDetails;
    QLabel *lblDuration;
    QLabel *lblDuration2;
    QLabel *lblSongNo;
    QLabel *lblSongNo2;
    QLabel *lblPhysicalLocation;
    QLabel *lblPhysicalLocation2;
    QPushButton *btnLookup;
    QGroupBox *gbID3TagInformation;
    QLabel *lblSongTitle;
    QLineEdit *edTitle;
    QLabel *lblArtist;
    QLineEdit *edArtist;
    QLabel *lblGenre;
    TCompletingComboBox *ccbGenre;
    QLabel *lblComment;
    QLineEdit *edComment;
    QLabel *lblAlbum;
    QLineEdit *edAlbum;
    QLabel *lblYear;
    QLineEdit *edYear;
    QLabel *lblTrack;
    QLineEdit *edTrack;
    QPushButton *btnLoad;
    QPushButton *btnSave;
    QToolButton *btnOK;

    // The file that Load and Save act on.
    QString FileName() const;
    void SetFileName(const QString &fileName);
    // Selects the genre with that number; numbers outside the table select none.
    void SelectGenre(int number);
    // Shows that song; its id goes with the tags saved while it is shown.
    void ShowSong(const TSongProperties &song);
    qint64 ShownSongId() const { return m_songId; }

    void FormCreate();
    void btnLoadClick();
    void btnSaveClick();
    void btnLookupClick();
    void btnOKClick();
    void reject() override;

signals:
    // After Save has written the tag into the file.
    void TagSaved(const TID3Tag &tag);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void CreateSongDetailsBox();
    void CreateTagBox();

    qint64 m_songId = 0;
    TTagTexts Texts() const;
    // False when the texts were refused and nothing was written.
    bool SaveTag();
    // Asks whether to save typed edits; false when the dialog is to stay.
    bool EditsSettled();

    QString m_fileName;
    TTagTexts m_unchanged; // the texts as last shown, loaded or saved
};

extern TfrmProperties *frmProperties;
