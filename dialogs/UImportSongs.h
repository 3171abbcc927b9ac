#pragma once

#include "controls/Anchors.h"
#include "dialogs/Form.h"
#include "import/ImportWalker.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>

class QGroupBox;
class QProgressBar;
class QStatusBar;
class QToolButton;

// The system's drives. On Windows each drive letter, its value the lower-case letter; elsewhere
// the one root "/", from which every mounted file system is reached through the folder list.
class TDriveComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TDriveComboBox(QWidget *parent = nullptr);
    QString Drive() const; // one character
    void SetDrive(const QString &drive);

    // The drive's root folder, and the drive a folder lies on.
    static QString RootOf(const QString &drive);
    static QString DriveOf(const QString &folder);
};

// The chain of folders from the root down to the current folder, then its subfolders.
class TDirectoryListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TDirectoryListBox(QWidget *parent = nullptr);

    // Full path without a trailing separator, except for a root folder.
    QString Directory() const { return m_directory; }
    // Raises EInOutError when the folder cannot be read; the list is unchanged then.
    void SetDirectory(const QString &folder);
    QString HighlightedDirectory() const;
    // Makes the highlighted entry the current folder.
    void OpenCurrent();

signals:
    void DirectoryChanged();

private:
    QString m_directory;
};

// The files of a folder that match "*.mp3", as the import walks them.
class TFileListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TFileListBox(QWidget *parent = nullptr);
    void SetDirectory(const QString &folder);
};

class TfrmImportSongs : public TForm
{
    Q_OBJECT

public:
    // Works on the library of the connection, which outlives the dialog.
    explicit TfrmImportSongs(TConnection *connection = nullptr, QWidget *parent = nullptr);

    QGroupBox *gbDrive = nullptr;
    TDriveComboBox *dcbDrive = nullptr;
    QGroupBox *gbFolders = nullptr;
    TDirectoryListBox *dlbFolder = nullptr;
    QGroupBox *gbFiles = nullptr;
    TFileListBox *flbFile = nullptr;
    QToolButton *btnOK = nullptr;
    QToolButton *btnCancel = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QProgressBar *pbImport = nullptr; // files done out of files found so far

    bool Cancelled = false;
    int ExistingCount = 0;

    void FormCreate();
    void btnOKClick();
    void btnCancelClick();
    void dcbDriveChange();
    void dlbFolderChange();

    bool Importing() const { return m_importing; }
    void reject() override;

signals:
    // After an import, before the dialog closes: the library holds new rows.
    void SongsImported();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void RunImport(TImportWalker &walker, const QString &folder);
    void ShowProgress(const TImportCounts &counts, bool now);
    void WriteImportSettings();
    void SetFileControlsEnabled(bool enabled);

    TAnchorLayout m_anchors;
    TConnection *m_connection = nullptr;
    bool m_importing = false;
    QString m_currentName;
    QElapsedTimer m_sinceRepaint;
    QStringList m_unreadable; // files and folders skipped, for the summary at the end
};

extern TfrmImportSongs *frmImportSongs;
