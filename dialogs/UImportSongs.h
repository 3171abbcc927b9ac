#pragma once

#include "controls/Anchors.h"
#include "controls/FileSystemLists.h"
#include "dialogs/Form.h"
#include "import/ImportWalker.h"

#include <functional>
#include <optional>

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QStatusBar;
class QToolButton;

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
    QLineEdit *edFolder = nullptr; // the current folder, where a path can be typed or pasted
    QToolButton *btnOK = nullptr;
    QToolButton *btnCancel = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QProgressBar *pbImport = nullptr; // files done out of files found so far

    bool Cancelled = false;
    int ExistingCount = 0;
    // Milliseconds on a steady clock, which spaces the repaints of the progress.
    std::function<qint64()> Clock;

    void FormCreate();
    void btnOKClick();
    void btnCancelClick();
    void dcbDriveChange();
    void dlbFolderChange();
    // Goes to the folder typed in edFolder; false, with the reason shown, when it cannot.
    bool edFolderEnter();

    bool Importing() const { return m_importing; }
    void reject() override;

signals:
    // After an import, before the dialog closes: the library holds new rows.
    void SongsImported();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void RunImport(TImportWalker &walker, const QString &folder);
    // Status line and closing message after a walk; stop holds why it ended early.
    void ReportImport(const TImportCounts &counts, const std::optional<QString> &stop);
    void ShowProgress(const TImportCounts &counts, bool now);
    void WriteImportSettings();
    void SetFileControlsEnabled(bool enabled);

    TAnchorLayout m_anchors;
    TConnection *m_connection = nullptr;
    bool m_importing = false;
    QString m_currentName;
    std::optional<qint64> m_lastRepaint; // by the clock
    QStringList m_problems;              // files and folders left out, for the closing message
    QStringList m_lost;                  // rows undone with their batch
};

extern TfrmImportSongs *frmImportSongs;

// The closing message of an import: how many files were imported and failed, the entries passed
// over, and each file left out with its reason.
QString ImportClosingText(const TImportCounts &counts, const QStringList &problems);
// The message of an import that stopped: why, how many files were stored, and what was left out.
QString ImportStoppedText(const QString &stop, int imported, const QStringList &problems);
