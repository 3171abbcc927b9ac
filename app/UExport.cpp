#include "app/UExport.h"

#include "controls/ButtonFaces.h"
#include "dialogs/FileDialogService.h"

#include <QCheckBox>
#include <QDir>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

TfrmExport *frmExport = nullptr;

namespace
{
const QSize ClientSize(304, 132);
const QPoint DesignedPosition(795, 631);
} // namespace

TfrmExport::TfrmExport(QWidget *parent) : TForm(parent), m_anchors(ClientSize)
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export to MP3 device..."));
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    resize(ClientSize);
    move(DesignedPosition);

    gbExportOptions = new QGroupBox(QStringLiteral("Export Options"), this);
    gbExportOptions->setObjectName(QStringLiteral("gbExportOptions"));
    QFont bold = gbExportOptions->font();
    bold.setBold(true);
    gbExportOptions->setFont(bold);
    gbExportOptions->setGeometry(8, 8, 289, 88);

    // The group box's children keep the dialog's plain font; the weight is set outright, as
    // a font without it would take the box's bold.
    dialogFont.setBold(false);
    lblMappedDrive = new QLabel(QStringLiteral("Mapped Drive:"), gbExportOptions);
    lblMappedDrive->setObjectName(QStringLiteral("lblMappedDrive"));
    lblMappedDrive->setFont(dialogFont);
    lblMappedDrive->move(16, 24);
    lblMappedDrive->adjustSize();

    edMappedDrive = new QLineEdit(gbExportOptions);
    edMappedDrive->setObjectName(QStringLiteral("edMappedDrive"));
    edMappedDrive->setFont(dialogFont);
    edMappedDrive->setGeometry(96, 20, 153, 21);
    edMappedDrive->installEventFilter(this);

    btnBrowse = new QPushButton(QStringLiteral("..."), gbExportOptions);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setFont(dialogFont);
    btnBrowse->setToolTip(QStringLiteral("browse"));
    btnBrowse->setAutoDefault(false);
    btnBrowse->setGeometry(256, 19, 23, 22);

    cbRenameFiles = new QCheckBox(QStringLiteral("Rename files"), gbExportOptions);
    cbRenameFiles->setObjectName(QStringLiteral("cbRenameFiles"));
    cbRenameFiles->setFont(dialogFont);
    cbRenameFiles->setGeometry(16, 56, 97, 17);
    cbRenameFiles->setChecked(false);

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 176, 103, 50, 22);
    btnCancel =
        NewPictureButton(this, QStringLiteral("btnCancel"), CancelButtonFace(), 232, 103, 64, 22);

    m_anchors.Add(gbExportOptions, akLeft | akTop | akRight | akBottom);
    m_anchors.Add(btnOK, akRight | akBottom);
    m_anchors.Add(btnCancel, akRight | akBottom);

    setTabOrder(edMappedDrive, btnBrowse);
    setTabOrder(btnBrowse, cbRenameFiles);
    setTabOrder(cbRenameFiles, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnBrowse, &QPushButton::clicked, this, &TfrmExport::btnBrowseClick);
    connect(btnOK, &QToolButton::clicked, this, &TfrmExport::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmExport::btnCancelClick);
}

void TfrmExport::edMappedDriveExit()
{
    // The text is used as a plain prefix of the target names. An empty one stays empty: it
    // must not become the file system's root.
    const QString text = edMappedDrive->text();
    if (!text.isEmpty() && !text.endsWith(QDir::separator()) && !text.endsWith(QLatin1Char('/')))
        edMappedDrive->setText(text + QDir::separator());
}

void TfrmExport::btnBrowseClick()
{
    const QString folder = FileDialogService::ChooseFolder(
        this, QStringLiteral("Export Songs"), QDir::fromNativeSeparators(edMappedDrive->text()));
    if (!folder.isEmpty())
        edMappedDrive->setText(folder);
}

void TfrmExport::btnOKClick()
{
    if (edMappedDrive->text().trimmed().isEmpty()) {
        ShowWarning(QStringLiteral("Choose the folder to export the songs to."));
        edMappedDrive->setFocus();
        return;
    }
    done(mrOk);
}

void TfrmExport::btnCancelClick()
{
    done(mrCancel);
}

bool TfrmExport::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving for another control of the dialog, not for another window or a menu.
    if (watched == edMappedDrive && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            edMappedDriveExit();
    }
    return TForm::eventFilter(watched, event);
}

void TfrmExport::showEvent(QShowEvent *event)
{
    // On a smaller screen, moved up and left to keep OK and Cancel there too.
    MoveOntoScreen(this, DesignedPosition);
    TForm::showEvent(event);
}

void TfrmExport::resizeEvent(QResizeEvent *event)
{
    m_anchors.Apply(size());
    TForm::resizeEvent(event);
}

TExportChoice TfrmExport::Choice() const
{
    return {edMappedDrive->text(), cbRenameFiles->isChecked()};
}
