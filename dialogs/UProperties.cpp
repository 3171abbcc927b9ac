#include "dialogs/UProperties.h"

#include "base/FileNames.h"
#include "controls/ButtonFaces.h"
#include "controls/CompletingComboBox.h"
#include "data/Durations.h"
#include "dialogs/ErrorReporting.h"
#include "platform/Shell.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QUrl>

TfrmProperties *frmProperties = nullptr;

namespace
{

const QSize ClientSize(353, 385);

QLabel *NewLabel(QWidget *parent, const QString &name, const QString &caption, int x, int y,
                 int w = 0)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(x, y);
    if (w > 0)
        label->resize(w, 17);
    else
        label->adjustSize();
    return label;
}

QLineEdit *NewEdit(QWidget *parent, const QString &name, int x, int y, int w)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(x, y, w, 21);
    return edit;
}

QPushButton *NewButton(QWidget *parent, const QString &name, const QString &caption, int x, int y,
                       int w)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setGeometry(x, y, w, 25);
    return button;
}

// Copies a text into a tag field. Returns the refusal, or an empty text.
QString CopyText(char *field, int width, const QString &text, const QString &fieldName)
{
    switch (SetTagText(field, width, text)) {
    case TTagTextFit::Fits:
        return {};
    case TTagTextFit::NotWindows1252:
        return QStringLiteral("The %1 contains characters that an ID3 tag cannot hold.")
            .arg(fieldName);
    case TTagTextFit::TooLong:
        break;
    }
    return QStringLiteral("The %1 is too long for the ID3 tag: it holds at most %2 "
                          "characters.")
        .arg(fieldName)
        .arg(width);
}

bool SameTexts(const TTagTexts &a, const TTagTexts &b)
{
    return a.Title == b.Title && a.Artist == b.Artist && a.Album == b.Album && a.Year == b.Year &&
           a.Comment == b.Comment && a.Track == b.Track && a.Genre == b.Genre;
}

} // namespace

QString BuildID3Tag(const TTagTexts &texts, TID3Tag &tag)
{
    TID3Tag result{};
    result.Header[0] = 'T';
    result.Header[1] = 'A';
    result.Header[2] = 'G';
    const struct {
        char *Field;
        int Width;
        const QString &Text;
        const char *Name;
    } fields[] = {
        {result.Title, int(sizeof result.Title), texts.Title, "title"},
        {result.Artist, int(sizeof result.Artist), texts.Artist, "artist"},
        {result.Album, int(sizeof result.Album), texts.Album, "album"},
        {result.Year, int(sizeof result.Year), texts.Year, "year"},
        {result.Comment, int(sizeof result.Comment), texts.Comment, "comment"},
    };
    for (const auto &f : fields) {
        const QString refusal = CopyText(f.Field, f.Width, f.Text, QString::fromLatin1(f.Name));
        if (!refusal.isEmpty())
            return refusal;
    }

    const int track = TagByteOfText(texts.Track);
    if (track < 0)
        return QStringLiteral("The track must be a number from 0 to 255.");
    result.Track = static_cast<unsigned char>(track);

    result.Genre = NoGenre;
    if (!texts.Genre.trimmed().isEmpty()) {
        const int number = GenreByName(texts.Genre);
        if (number < 0)
            return QStringLiteral("\"%1\" is not a genre of the list. Choose one from the list, "
                                  "or leave the genre empty.")
                .arg(texts.Genre);
        result.Genre = static_cast<unsigned char>(number);
    }
    tag = result;
    return {};
}

QUrl ArtistLookupUrl(const QString &artist)
{
    // The artist goes in as typed, blanks included; only the characters that would end
    // the query value or the query itself are escaped.
    QString value = artist;
    value.replace(QLatin1Char('%'), QLatin1String("%25"))
        .replace(QLatin1Char('&'), QLatin1String("%26"))
        .replace(QLatin1Char('#'), QLatin1String("%23"))
        .replace(QLatin1Char('+'), QLatin1String("%2B"));
    QUrl url(QStringLiteral("https://www.google.com/search"));
    url.setQuery(QStringLiteral("q=") + value + QStringLiteral("+MP3"), QUrl::TolerantMode);
    return url;
}

TfrmProperties::TfrmProperties(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmProperties"));
    setWindowTitle(QStringLiteral("Properties"));
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setFixedSize(ClientSize);

    CreateSongDetailsBox();
    CreateTagBox();

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 295, 354, 50, 23);

    setTabOrder(btnLookup, edTitle);
    setTabOrder(edTitle, edArtist);
    setTabOrder(edArtist, edComment);
    setTabOrder(edComment, edAlbum);
    setTabOrder(edAlbum, edYear);
    setTabOrder(edYear, ccbGenre);
    setTabOrder(ccbGenre, edTrack);
    setTabOrder(edTrack, btnLoad);
    setTabOrder(btnLoad, btnSave);
    setTabOrder(btnSave, btnOK);

    connect(btnLoad, &QPushButton::clicked, this,
            ReportingErrors(this, &TfrmProperties::btnLoadClick));
    connect(btnSave, &QPushButton::clicked, this,
            ReportingErrors(this, &TfrmProperties::btnSaveClick));
    connect(btnLookup, &QPushButton::clicked, this,
            ReportingErrors(this, &TfrmProperties::btnLookupClick));
    connect(btnOK, &QToolButton::clicked, this, ReportingErrors(this, &TfrmProperties::btnOKClick));

    FormCreate();
}

void TfrmProperties::CreateSongDetailsBox()
{
    gbSongDetails = new QGroupBox(QStringLiteral("Song details"), this);
    gbSongDetails->setObjectName(QStringLiteral("gbSongDetails"));
    gbSongDetails->setGeometry(8, 8, 337, 105);
    lblDuration =
        NewLabel(gbSongDetails, QStringLiteral("lblDuration"), QStringLiteral("Duration:"), 16, 24);
    lblDuration2 = NewLabel(gbSongDetails, QStringLiteral("lblDuration2"), QString(), 124, 24, 100);
    lblSongNo =
        NewLabel(gbSongDetails, QStringLiteral("lblSongNo"), QStringLiteral("Song No:"), 16, 44);
    lblSongNo2 = NewLabel(gbSongDetails, QStringLiteral("lblSongNo2"), QString(), 124, 44, 100);
    lblPhysicalLocation = NewLabel(gbSongDetails, QStringLiteral("lblPhysicalLocation"),
                                   QStringLiteral("Physical Location:"), 16, 64);
    lblPhysicalLocation2 =
        NewLabel(gbSongDetails, QStringLiteral("lblPhysicalLocation2"), QString(), 124, 64, 205);
    lblPhysicalLocation2->resize(205, 34);
    lblPhysicalLocation2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblPhysicalLocation2->setWordWrap(true);
    lblPhysicalLocation2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnLookup = NewButton(gbSongDetails, QStringLiteral("btnLookup"),
                          QStringLiteral("Google Lookup"), 232, 18, 97);
}

void TfrmProperties::CreateTagBox()
{
    gbID3TagInformation = new QGroupBox(QStringLiteral("ID3 Tag Information"), this);
    gbID3TagInformation->setObjectName(QStringLiteral("gbID3TagInformation"));
    gbID3TagInformation->setGeometry(8, 120, 337, 225);
    QWidget *tagBox = gbID3TagInformation;
    lblSongTitle =
        NewLabel(tagBox, QStringLiteral("lblSongTitle"), QStringLiteral("Title:"), 16, 26);
    edTitle = NewEdit(tagBox, QStringLiteral("edTitle"), 80, 22, 241);
    lblArtist = NewLabel(tagBox, QStringLiteral("lblArtist"), QStringLiteral("Artist:"), 16, 54);
    edArtist = NewEdit(tagBox, QStringLiteral("edArtist"), 80, 50, 241);
    lblGenre = NewLabel(tagBox, QStringLiteral("lblGenre"), QStringLiteral("Genre:"), 16, 82);
    ccbGenre = new TCompletingComboBox(tagBox);
    ccbGenre->setObjectName(QStringLiteral("ccbGenre"));
    ccbGenre->setGeometry(80, 78, 145, 21);
    ccbGenre->SetTextCompletion(false);
    ccbGenre->SetLimitToList(false);
    ccbGenre->setMaxVisibleItems(16);
    lblComment =
        NewLabel(tagBox, QStringLiteral("lblComment"), QStringLiteral("Comment:"), 16, 110);
    edComment = NewEdit(tagBox, QStringLiteral("edComment"), 80, 106, 241);
    lblAlbum = NewLabel(tagBox, QStringLiteral("lblAlbum"), QStringLiteral("Album:"), 16, 138);
    edAlbum = NewEdit(tagBox, QStringLiteral("edAlbum"), 80, 134, 241);
    lblYear = NewLabel(tagBox, QStringLiteral("lblYear"), QStringLiteral("Year:"), 16, 166);
    edYear = NewEdit(tagBox, QStringLiteral("edYear"), 80, 162, 41);
    lblTrack = NewLabel(tagBox, QStringLiteral("lblTrack"), QStringLiteral("Track:"), 136, 166);
    edTrack = NewEdit(tagBox, QStringLiteral("edTrack"), 176, 162, 33);
    btnLoad =
        NewButton(tagBox, QStringLiteral("btnLoad"), QStringLiteral("Load From MP3"), 80, 192, 105);
    btnSave = NewButton(tagBox, QStringLiteral("btnSave"), QStringLiteral("Save"), 192, 192, 75);
}

void TfrmProperties::FormCreate()
{
    ccbGenre->clear();
    for (int i = 0; i < GenreCount; ++i)
        ccbGenre->addItem(QString::fromLatin1(Genres[i]));
    SelectGenre(NoGenre);
}

QString TfrmProperties::FileName() const
{
    // The stored name: the label shows stray bytes of a name that is not UTF-8 as U+FFFD.
    return m_fileName;
}

void TfrmProperties::SetFileName(const QString &fileName)
{
    m_fileName = fileName;
    lblPhysicalLocation2->setText(ReadableFileName(fileName));
    lblPhysicalLocation2->setToolTip(fileName);
}

void TfrmProperties::SelectGenre(int number)
{
    if (number >= 0 && number < GenreCount) {
        ccbGenre->setCurrentIndex(number);
    } else {
        ccbGenre->setCurrentIndex(-1);
        ccbGenre->setEditText(QString());
    }
}

void TfrmProperties::btnLoadClick()
{
    TID3Tag tag;
    ReadID3Tag(FileName(), tag);
    if (!HasID3Tag(tag)) {
        ShowWarning(QStringLiteral("No ID3 Tag was found!"));
        return;
    }
    edTitle->setText(FieldToString(tag.Title));
    edArtist->setText(FieldToString(tag.Artist));
    SelectGenre(tag.Genre);
    edComment->setText(FieldToString(tag.Comment));
    edAlbum->setText(FieldToString(tag.Album));
    edYear->setText(FieldToString(tag.Year));
    edTrack->setText(QString::number(tag.Track));
    m_unchanged = Texts();
}

TTagTexts TfrmProperties::Texts() const
{
    TTagTexts texts;
    texts.Title = edTitle->text();
    texts.Artist = edArtist->text();
    texts.Album = edAlbum->text();
    texts.Year = edYear->text();
    texts.Comment = edComment->text();
    texts.Track = edTrack->text();
    texts.Genre = ccbGenre->currentText();
    return texts;
}

void TfrmProperties::btnSaveClick()
{
    SaveTag();
}

bool TfrmProperties::SaveTag()
{
    const TTagTexts texts = Texts();
    TID3Tag tag;
    const QString refusal = BuildID3Tag(texts, tag);
    if (!refusal.isEmpty()) {
        ShowWarning(refusal + QStringLiteral(" Nothing was saved."));
        return false;
    }
    // A failure raises with the file left as it was; the error display shows it.
    WriteID3Tag(FileName(), tag);
    m_unchanged = texts;
    emit TagSaved(tag);
    return true;
}

bool TfrmProperties::EditsSettled()
{
    if (SameTexts(Texts(), m_unchanged))
        return true;
    switch (MessageService::Show(TMessageKind::Question,
                                 QStringLiteral("The tag has changes that were not saved.\r"
                                                "Do you want to save them to the file?"))) {
    case mrYes:
        return SaveTag();
    case mrNo:
        m_unchanged = Texts();
        return true;
    default:
        return false;
    }
}

void TfrmProperties::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        m_unchanged = Texts();
    TForm::showEvent(event);
}

void TfrmProperties::reject()
{
    // The close box and Escape lose typed edits as OK would: ask the same.
    if (EditsSettled())
        TForm::reject();
}

void TfrmProperties::btnLookupClick()
{
    if (!Shell::OpenUrl(ArtistLookupUrl(edArtist->text())))
        ShowError(QStringLiteral("Error loading Internet Explorer!"));
}

void TfrmProperties::btnOKClick()
{
    if (EditsSettled())
        done(mrOk);
}

void TfrmProperties::ShowSong(const TSongProperties &song)
{
    m_songId = song.SongId;
    lblSongNo2->setText(song.Number);
    lblDuration2->setText(FormatMilliseconds(song.DurationMs));
    SetFileName(song.FileName);
    edTitle->setText(song.Title);
    edArtist->setText(song.Artist);
    SelectGenre(song.Genre);
    edComment->setText(song.Comment);
    edAlbum->setText(song.Album);
    edYear->setText(QString::number(song.Year));
    edTrack->setText(QString::number(song.Track));
}
