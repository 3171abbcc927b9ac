#pragma once

#include "dialogs/Form.h"

class QDateTime;
class TConnection;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

// Names a new playlist or renames and re-describes an existing one. The mode is chosen by
// the caller: lblPlaylistID hidden means a new playlist, shown means an existing one.
class TfrmPlaylistDetails : public TForm
{
    Q_OBJECT

public:
    // Works on the library of the connection, which outlives the dialog.
    explicit TfrmPlaylistDetails(TConnection *connection = nullptr, QWidget *parent = nullptr);

    QGroupBox *gbPlayListDetails;
    QLabel *lblName;
    QLineEdit *edName;
    QLabel *lblDescription;
    QLineEdit *edDescription;
    QLabel *lblDateCreated;
    QLabel *lblPlaylistID;
    QToolButton *btnOK;
    QToolButton *btnCancel;

    // Name and description as loaded for an existing playlist.
    QString LoadedName;
    QString LoadedDescription;

    // "Created on the " texts: a new playlist's date, and a stored creation time.
    static QString NewPlaylistDateText(const QDateTime &now);
    static QString StoredDateText(const QVariant &dateCreated);

    // Shows the playlist with that id, to change it.
    void LoadPlaylist(int PlaylistID);
    // Empties the dialog for a new playlist made at that moment.
    void StartNewPlaylist(const QDateTime &now);
    void btnOKClick();
    void btnCancelClick();
    // Inserts the playlist as edited; returns the new row's id.
    qint64 InsertPlaylist();
    void UpdatePlaylist();
    int LastPlaylistID();

signals:
    // After OK has stored the playlist: "[id] - name" is how the playlist chooser lists it.
    void PlaylistCreated(qint64 id, const QString &entry);
    void PlaylistRenamed(qint64 id, const QString &entry);

private:
    bool NewPlaylistMode() const;
    TConnection &Library() const;

    TConnection *m_connection = nullptr;
};

extern TfrmPlaylistDetails *frmPlaylistDetails;
