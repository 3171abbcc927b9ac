#include "dialogs/UPlaylistDetails.h"

#include "base/Errors.h"
#include "controls/ButtonFaces.h"
#include "controls/CompletingComboBox.h"
#include "data/Playlists.h"
#include "dialogs/ErrorReporting.h"

#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>

TfrmPlaylistDetails *frmPlaylistDetails = nullptr;

namespace
{

const QSize ClientSize(298, 193);
const QString CreatedOn = QStringLiteral("Created on the ");

QString PlaylistEntry(const QString &id, const QString &name)
{
    return QStringLiteral("[") + id + QStringLiteral("] - ") + name;
}

// The system's long time format without its time-zone name ("t" outside quotes), which a
// Windows long time never shows.
QString LongTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            result += c;
    }
    return result.simplified();
}

} // namespace

TfrmPlaylistDetails::TfrmPlaylistDetails(TConnection *connection, QWidget *parent)
    : TForm(parent), m_connection(connection)
{
    setObjectName(QStringLiteral("frmPlaylistDetails"));
    setWindowTitle(QStringLiteral("Playlist Details"));
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setFixedSize(ClientSize);

    gbPlayListDetails = new QGroupBox(QStringLiteral("Playlist Details"), this);
    gbPlayListDetails->setObjectName(QStringLiteral("gbPlayListDetails"));
    QFont bold = gbPlayListDetails->font();
    bold.setBold(true);
    gbPlayListDetails->setFont(bold);
    gbPlayListDetails->setGeometry(8, 8, 282, 145);
    // The children keep the dialog's normal weight.
    QFont normal = bold;
    normal.setBold(false);

    lblName = new QLabel(QStringLiteral("Name"), gbPlayListDetails);
    lblName->setObjectName(QStringLiteral("lblName"));
    lblName->setGeometry(16, 28, 70, 17);
    edName = new QLineEdit(gbPlayListDetails);
    edName->setObjectName(QStringLiteral("edName"));
    edName->setGeometry(88, 24, 177, 21);
    edName->setMaxLength(PlaylistNameLength);

    lblDescription = new QLabel(QStringLiteral("Description"), gbPlayListDetails);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setGeometry(16, 60, 70, 17);
    edDescription = new QLineEdit(gbPlayListDetails);
    edDescription->setObjectName(QStringLiteral("edDescription"));
    edDescription->setGeometry(88, 56, 177, 21);
    edDescription->setMaxLength(PlaylistDescriptionLength);

    lblDateCreated = new QLabel(gbPlayListDetails);
    lblDateCreated->setObjectName(QStringLiteral("lblDateCreated"));
    lblDateCreated->setGeometry(16, 96, 250, 34);
    lblDateCreated->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDateCreated->setWordWrap(true);

    lblPlaylistID = new QLabel(gbPlayListDetails);
    lblPlaylistID->setObjectName(QStringLiteral("lblPlaylistID"));
    lblPlaylistID->setGeometry(216, 0, 58, 17);
    lblPlaylistID->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    for (QLabel *label : {lblName, lblDescription, lblDateCreated, lblPlaylistID})
        label->setFont(normal);
    edName->setFont(normal);
    edDescription->setFont(normal);

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 170, 162, 50, 23);
    btnCancel =
        NewPictureButton(this, QStringLiteral("btnCancel"), CancelButtonFace(), 226, 162, 64, 23);

    setTabOrder(edName, edDescription);
    setTabOrder(edDescription, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(btnOK, &QToolButton::clicked, this,
            ReportingErrors(this, &TfrmPlaylistDetails::btnOKClick));
    connect(btnCancel, &QToolButton::clicked, this,
            ReportingErrors(this, &TfrmPlaylistDetails::btnCancelClick));
}

QString TfrmPlaylistDetails::NewPlaylistDateText(const QDateTime &now)
{
    return CreatedOn + QLocale::system().toString(now.date(), QLocale::ShortFormat);
}

QString TfrmPlaylistDetails::StoredDateText(const QVariant &dateCreated)
{
    QString text;
    if (dateCreated.metaType().id() == QMetaType::QDateTime) {
        const QDateTime when = dateCreated.toDateTime();
        const QLocale locale = QLocale::system();
        text = locale.toString(when.date(), QLocale::ShortFormat);
        if (when.time() != QTime(0, 0))
            text += QLatin1Char(' ') + locale.toString(when, LongTimeFormat(locale));
    } else if (!dateCreated.isNull()) {
        text = dateCreated.toString(); // a text that is no date, shown as stored
    }
    return CreatedOn + text + QLatin1Char('.');
}

TConnection &TfrmPlaylistDetails::Library() const
{
    if (!m_connection)
        throw EDatabaseError(QStringLiteral("The library is not open"));
    return *m_connection;
}

bool TfrmPlaylistDetails::NewPlaylistMode() const
{
    return lblPlaylistID->isHidden();
}

void TfrmPlaylistDetails::StartNewPlaylist(const QDateTime &now)
{
    edName->clear();
    edDescription->clear();
    lblDateCreated->setText(NewPlaylistDateText(now));
    lblPlaylistID->hide();
}

void TfrmPlaylistDetails::LoadPlaylist(int PlaylistID)
{
    lblPlaylistID->show();
    lblPlaylistID->setText(QString::number(PlaylistID));
    const std::optional<TPlaylistRow> row = ::LoadPlaylist(Library(), PlaylistID);
    if (!row) {
        edName->clear();
        edDescription->clear();
        lblDateCreated->clear();
    } else {
        edName->setText(row->Name);
        edDescription->setText(row->Description);
        lblDateCreated->setText(StoredDateText(row->DateCreated));
    }
    LoadedName = edName->text();
    LoadedDescription = edDescription->text();
}

void TfrmPlaylistDetails::btnOKClick()
{
    // A name already stored is left alone; a new or changed one must be usable.
    const QString refusal = NewPlaylistMode() || edName->text() != LoadedName
                                ? PlaylistNameRefusal(edName->text())
                                : QString();
    if (!refusal.isEmpty()) {
        ShowWarning(refusal);
        edName->setFocus();
        return;
    }
    if (!NewPlaylistMode()) {
        if (edName->text() != LoadedName || edDescription->text() != LoadedDescription)
            UpdatePlaylist();
    } else {
        const qint64 id = InsertPlaylist();
        emit PlaylistCreated(id, PlaylistEntry(QString::number(id), edName->text()));
    }
    done(mrOk);
}

void TfrmPlaylistDetails::btnCancelClick()
{
    done(mrCancel);
}

qint64 TfrmPlaylistDetails::InsertPlaylist()
{
    return ::InsertPlaylist(Library(), edName->text(), edDescription->text(),
                            QDateTime::currentDateTime());
}

int TfrmPlaylistDetails::LastPlaylistID()
{
    return ::LastPlaylistID(Library());
}

void TfrmPlaylistDetails::UpdatePlaylist()
{
    ::UpdatePlaylist(Library(), lblPlaylistID->text().toInt(), edName->text(),
                     edDescription->text());
    emit PlaylistRenamed(lblPlaylistID->text().toInt(),
                         PlaylistEntry(lblPlaylistID->text(), edName->text()));
}
