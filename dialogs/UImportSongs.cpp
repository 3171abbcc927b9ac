#include "dialogs/UImportSongs.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "controls/ButtonFaces.h"
#include "controls/Captions.h"
#include "controls/Hourglass.h"
#include "data/URegistry.h"
#include "platform/UserFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QScopeGuard>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>

TfrmImportSongs *frmImportSongs = nullptr;

namespace
{
const QSize ClientSize(392, 298);
// The status bar and progress are repainted at most this often during the walk.
constexpr qint64 RepaintMs = 50;

// A problem as the closing message lists it.
QString ProblemLine(const TImportProblem &problem)
{
    QString line = ImportProblemText(problem, ReadableFileName(problem.Name), problem.Reason);
    if (!line.isEmpty())
        line[0] = line[0].toUpper();
    return line;
}

QGroupBox *NewGroupBox(QWidget *parent, const QString &name, const QString &caption,
                       QWidget *content, const QRect &geometry)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    QFont bold = DialogFont();
    bold.setBold(true);
    box->setFont(bold);
    // Weight set explicitly: a font without it would take the box's bold.
    QFont plain = DialogFont();
    plain.setBold(false);
    content->setFont(plain);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(content);
    box->setGeometry(geometry);
    return box;
}

QString CleanFolder(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

// A folder as typed or pasted: "~" for the home folder, or a file manager's file:// address.
QString TypedFolder(const QString &text)
{
    const QString typed = text.trimmed();
    if (typed.startsWith(QLatin1String("file://")))
        return CleanFolder(QUrl(typed).toLocalFile());
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/")))
        return CleanFolder(QDir::homePath() + typed.mid(1));
    return CleanFolder(typed);
}

// The lists show the folders and files as the import walks them.
TFolderReader ImportFolders()
{
    return {[](const QString &folder) {
                TFolderListing listing = ListFolder(folder);
                return TFolderEntries{listing.Files, listing.Folders};
            },
            &ImportSubfolder};
}
} // namespace

// ---- The dialog

TfrmImportSongs::TfrmImportSongs(TConnection *connection, QWidget *parent)
    : TForm(parent), m_anchors(ClientSize), m_connection(connection)
{
    Clock = [] {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };
    setObjectName(QStringLiteral("frmImportSongs"));
    setWindowTitle(QStringLiteral("Import Music"));
    setFont(DialogFont());
    resize(ClientSize);

    dcbDrive = new TDriveComboBox;
    dcbDrive->setObjectName(QStringLiteral("dcbDrive"));
    gbDrive = NewGroupBox(this, QStringLiteral("gbDrive"), QStringLiteral("Drive"), dcbDrive,
                          QRect(8, 4, 185, 49));

    dlbFolder = new TDirectoryListBox(ImportFolders());
    dlbFolder->setObjectName(QStringLiteral("dlbFolder"));
    gbFolders = NewGroupBox(this, QStringLiteral("gbFolders"), QStringLiteral("Folder"), dlbFolder,
                            QRect(8, 56, 185, 186));

    flbFile = new TFileListBox(ImportFolders());
    flbFile->setObjectName(QStringLiteral("flbFile"));
    gbFiles = NewGroupBox(this, QStringLiteral("gbFiles"), QStringLiteral("Music Files"), flbFile,
                          QRect(200, 4, 184, 238));

    edFolder = new QLineEdit(this);
    edFolder->setObjectName(QStringLiteral("edFolder"));
    edFolder->setFont(DialogFont());
    edFolder->setPlaceholderText(QStringLiteral("Type or paste a folder, then Enter"));
    edFolder->setToolTip(QStringLiteral("The folder to import from"));
    edFolder->setGeometry(8, 249, 247, 21);

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 263, 248, 50, 23);
    btnCancel =
        NewPictureButton(this, QStringLiteral("btnCancel"), CancelButtonFace(), 318, 248, 64, 23);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 279, ClientSize.width(), 19);
    pbImport = new QProgressBar;
    pbImport->setObjectName(QStringLiteral("pbImport"));
    pbImport->setMaximumWidth(90);
    pbImport->setTextVisible(false);
    pbImport->hide();
    StatusBar1->addPermanentWidget(pbImport);

    m_anchors.Add(gbDrive, akLeft | akTop);
    m_anchors.Add(gbFolders, akLeft | akTop | akBottom);
    m_anchors.Add(gbFiles, akLeft | akTop | akRight | akBottom);
    m_anchors.Add(edFolder, akLeft | akRight | akBottom);
    m_anchors.Add(btnOK, akRight | akBottom);
    m_anchors.Add(btnCancel, akRight | akBottom);
    m_anchors.Add(StatusBar1, akLeft | akRight | akBottom);

    setTabOrder(dcbDrive, dlbFolder);
    setTabOrder(dlbFolder, flbFile);
    setTabOrder(flbFile, edFolder);
    setTabOrder(edFolder, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnOK, &QToolButton::clicked, this, &TfrmImportSongs::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmImportSongs::btnCancelClick);
    connect(dcbDrive, &QComboBox::activated, this, &TfrmImportSongs::dcbDriveChange);
    connect(dlbFolder, &TDirectoryListBox::DirectoryChanged, this,
            &TfrmImportSongs::dlbFolderChange);
    connect(edFolder, &QLineEdit::returnPressed, this, &TfrmImportSongs::edFolderEnter);

    FormCreate();
}

void TfrmImportSongs::FormCreate()
{
    Cancelled = false;
    try {
        dcbDriveChange();
    } catch (const EError &) {
        dlbFolder->SetDirectory(TDriveComboBox::RootOf(dcbDrive->Drive()));
    }

    QString drive, path;
    try {
        drive = ReadSetting(QuillmereKeyPath, QStringLiteral("ImportDrive"), false);
        path = ReadSetting(QuillmereKeyPath, QStringLiteral("ImportPath"), false);
    } catch (const EError &e) {
        StatusBar1->showMessage(e.Message());
    }
    if (drive.size() == 1 && dcbDrive->findData(drive.toLower()) >= 0) {
        dcbDrive->SetDrive(drive);
        dcbDriveChange();
    }
    if (path.isEmpty()) {
        // Nothing remembered yet: the user's music folder, where songs usually are.
        const QString music = UserMusicFolder();
        if (!music.isEmpty()) {
            try {
                dlbFolder->SetDirectory(music);
            } catch (const EError &e) {
                StatusBar1->showMessage(e.Message());
            }
        }
        return;
    }
    try {
        dlbFolder->SetDirectory(path);
    } catch (const EError &e) {
        // Gone since the last import: show the nearest folder above it that can be read.
        StatusBar1->showMessage(e.Message());
        for (QString above = CleanFolder(path); !QFileInfo(above).isRoot();) {
            above = QFileInfo(above).path();
            try {
                dlbFolder->SetDirectory(above);
                break;
            } catch (const EError &) {
            }
        }
    }
}

void TfrmImportSongs::dcbDriveChange()
{
    const QString drive = dcbDrive->Drive();
    const QString current = QDir::currentPath();
    dlbFolder->SetDirectory(
        TDriveComboBox::DriveOf(current) == drive ? current : TDriveComboBox::RootOf(drive));
}

void TfrmImportSongs::dlbFolderChange()
{
    const QSignalBlocker blocker(dcbDrive);
    dcbDrive->SetDrive(TDriveComboBox::DriveOf(dlbFolder->Directory()));
    flbFile->SetDirectory(dlbFolder->Directory());
    edFolder->setText(dlbFolder->Directory());
}

bool TfrmImportSongs::edFolderEnter()
{
    const QString folder = TypedFolder(edFolder->text());
    if (folder == dlbFolder->Directory())
        return true;
    try {
        dlbFolder->SetDirectory(folder);
    } catch (const EError &e) {
        StatusBar1->showMessage(e.Message());
        ShowWarning(e.Message());
        edFolder->setFocus();
        return false;
    }
    return true;
}

void TfrmImportSongs::btnOKClick()
{
    // A folder typed without Enter is the one meant.
    if (!edFolder->text().trimmed().isEmpty() && !edFolderEnter())
        return;
    if (!Confirm(QStringLiteral("Are you sure you want to import songs from ") +
                 dlbFolder->Directory() + QStringLiteral("?\r") +
                 QStringLiteral("This process may take a while but can be cancelled and resumed "
                                "at any time.")))
        return;
    {
        THourglass hourglass;
        btnOK->setEnabled(false);
        m_importing = true;
        SetFileControlsEnabled(false);
        // Whatever happens below, the dialog is idle again afterwards.
        const auto idle = qScopeGuard([this] {
            m_importing = false;
            btnOK->setEnabled(true);
            SetFileControlsEnabled(true);
            pbImport->hide();
        });

        // The walk starts from the highlighted folder, opened or not.
        QString start = dlbFolder->HighlightedDirectory();
        try {
            dlbFolder->OpenCurrent();
            start = dlbFolder->Directory();
        } catch (const EError &) {
            // The walk reports it with the other folders it cannot read.
        }

        ExistingCount = 0;
        m_problems.clear();
        m_lost.clear();
        if (!m_connection)
            throw EDatabaseError(QStringLiteral("The library is not open"));
        TImportWalker walker(*m_connection);
        std::optional<QString> stop;
        try {
            RunImport(walker, start);
        } catch (const ELibraryUnwritable &e) {
            // The library takes no further row: one message, with what was not stored.
            stop = e.Message();
        }
        ExistingCount = walker.Counts().Existing;
        ReportImport(walker.Counts(), stop);
        btnOK->setEnabled(true);

        WriteSetting(QuillmereKeyPath, QStringLiteral("Imported"), QStringLiteral("Y"), false);
        WriteImportSettings();
        emit SongsImported();
    }
    done(mrOk);
}

void TfrmImportSongs::ReportImport(const TImportCounts &counts, const std::optional<QString> &stop)
{
    QString status = QStringLiteral("Imported %1 files").arg(counts.Imported);
    if (counts.Failed > 0)
        status += QStringLiteral(", %1 failed").arg(counts.Failed);
    StatusBar1->showMessage(status);
    Cancelled = false;
    if (stop) {
        // The rows undone when it stopped are told in one line, not one each.
        if (!m_lost.isEmpty())
            m_problems << QStringLiteral("%1 files of the last batch were not stored; "
                                         "importing again adds them.")
                              .arg(m_lost.size());
        ShowError(ImportStoppedText(*stop, counts.Imported, m_problems));
    } else {
        if (ExistingCount > 0)
            ShowWarning(
                QStringLiteral("%1 songs already existed in the database!").arg(ExistingCount));
        // Every file and folder left out, with the reason.
        m_problems += m_lost;
        ShowInformation(ImportClosingText(counts, m_problems));
    }
}

void TfrmImportSongs::RunImport(TImportWalker &walker, const QString &folder)
{
    walker.OnFile = [&](const QString &name) {
        m_currentName = name;
        ShowProgress(walker.Counts(), false);
    };
    walker.KeepGoing = [this] {
        QCoreApplication::processEvents();
        return !Cancelled;
    };
    walker.OnProblem = [this](const TImportProblem &problem) {
        (problem.Kind == TImportProblemKind::RowLost ? m_lost : m_problems) << ProblemLine(problem);
        // A failure of the library is told at once; files it refused are listed at the end.
        switch (problem.Kind) {
        case TImportProblemKind::ExistsCheckFailed:
            ShowError(QStringLiteral("There was an error checking if this song exists, \"") +
                      problem.Name + QStringLiteral("\"."));
            break;
        case TImportProblemKind::InsertFailed:
            ShowError(QStringLiteral("There was an error inserting the song \"") + problem.Name +
                      QStringLiteral("\"."));
            break;
        case TImportProblemKind::FileRefused:
        case TImportProblemKind::FileUnreadable:
        case TImportProblemKind::FolderUnreadable:
            StatusBar1->showMessage(m_problems.last());
            break;
        case TImportProblemKind::RowLost:
            break;
        }
    };
    pbImport->setRange(0, 0);
    pbImport->show();
    m_lastRepaint.reset();
    walker.ImportFolder(folder);
    ShowProgress(walker.Counts(), true);
}

void TfrmImportSongs::ShowProgress(const TImportCounts &counts, bool now)
{
    const qint64 time = Clock();
    if (!now && m_lastRepaint && time - *m_lastRepaint < RepaintMs)
        return;
    m_lastRepaint = time;
    StatusBar1->showMessage(QStringLiteral("Adding Song \"") + m_currentName +
                            QStringLiteral("\"..."));
    pbImport->setRange(0, qMax(1, counts.Found));
    pbImport->setValue(counts.Done);
    pbImport->setToolTip(QStringLiteral("%1 of %2 files").arg(counts.Done).arg(counts.Found));
}

void TfrmImportSongs::btnCancelClick()
{
    if (btnOK->isEnabled()) {
        WriteImportSettings();
        done(mrCancel);
        return;
    }
    if (Confirm(QStringLiteral("Do you wish to stop the importing process?\r") +
                QStringLiteral("You can easily import the rest of the songs at a later date.")))
        Cancelled = true;
}

void TfrmImportSongs::reject()
{
    // Closing the window during the walk asks to stop it, as Cancel does.
    if (m_importing)
        btnCancelClick();
    else
        TForm::reject();
}

void TfrmImportSongs::WriteImportSettings()
{
    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportDrive"), dcbDrive->Drive(), false);
    WriteSetting(QuillmereKeyPath, QStringLiteral("ImportPath"), dlbFolder->Directory(), false);
}

void TfrmImportSongs::SetFileControlsEnabled(bool enabled)
{
    dcbDrive->setEnabled(enabled);
    dlbFolder->setEnabled(enabled);
    flbFile->setEnabled(enabled);
    edFolder->setEnabled(enabled);
}

void TfrmImportSongs::resizeEvent(QResizeEvent *event)
{
    m_anchors.Apply(size());
    TForm::resizeEvent(event);
}

QString ImportClosingText(const TImportCounts &counts, const QStringList &problems)
{
    QString text = QStringLiteral("Imported %1 files successfully!").arg(counts.Imported);
    if (counts.Failed > 0)
        text += QStringLiteral("\r%1 files could not be imported.").arg(counts.Failed);
    if (counts.NotFiles > 0)
        text += QStringLiteral("\r%1 entries named *.mp3 were passed over: they are not "
                               "regular files.")
                    .arg(counts.NotFiles);
    if (!problems.isEmpty())
        text += QStringLiteral("\r\r") + problems.join(QLatin1Char('\r'));
    return text;
}

QString ImportStoppedText(const QString &stop, int imported, const QStringList &problems)
{
    QString text = stop + QStringLiteral("\rImported %1 files.").arg(imported);
    if (!problems.isEmpty())
        text += QStringLiteral("\r\r") + problems.join(QLatin1Char('\r'));
    return text;
}
