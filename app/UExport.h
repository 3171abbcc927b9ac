#pragma once

#include "controls/Anchors.h"
#include "dialogs/Form.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// Where the export dialog copies the songs to, and whether it renames them.
struct TExportChoice {
    QString Folder;
    bool RenameFiles = false;
};

// The export dialog: the folder to copy the playlist's songs into, and whether to rename them.
// Its values stay from one export to the next while the program runs.
class TfrmExport : public TForm
{
    Q_OBJECT

public:
    explicit TfrmExport(QWidget *parent = nullptr);

    QGroupBox *gbExportOptions;
    QLabel *lblMappedDrive;
    QLineEdit *edMappedDrive;
    QPushButton *btnBrowse;
    QCheckBox *cbRenameFiles;
    QToolButton *btnOK;
    QToolButton *btnCancel;

    // What the dialog was answered with.
    TExportChoice Choice() const;

    void edMappedDriveExit();
    void btnBrowseClick();
    void btnOKClick();
    void btnCancelClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TAnchorLayout m_anchors;
};

extern TfrmExport *frmExport;
