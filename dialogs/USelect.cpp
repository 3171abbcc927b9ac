#include "dialogs/USelect.h"

#include "base/Errors.h"
#include "controls/ButtonFaces.h"
#include "controls/CompletingComboBox.h"
#include "controls/DBGrid.h"
#include "controls/YearEdit.h"
#include "data/DataSet.h"
#include "data/Durations.h"
#include "data/SongListings.h"
#include "data/UMP3s.h"
#include "dialogs/ErrorReporting.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <functional>

TfrmSelect *frmSelect = nullptr;

namespace
{

const QSize ClientSize(498, 416);
const QString DurationTitle = QStringLiteral("Duration");

QGroupBox *NewGroupBox(QWidget *tab, const QString &name, const QString &caption)
{
    auto *box = new QGroupBox(caption, tab);
    box->setObjectName(name);
    box->setGeometry(4, 4, 466, 150);
    return box;
}

QListWidget *NewListBox(QWidget *parent, const QString &name, int x,
                        QAbstractItemView::SelectionMode mode)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(name);
    list->setGeometry(x, 20, 180, 120);
    list->setSelectionMode(mode);
    return list;
}

QToolButton *NewFlatButton(QWidget *parent, const QString &name, const QString &caption, int y)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setAutoRaise(true);
    button->setGeometry(200, y, 66, 25);
    return button;
}

QLabel *NewLabel(QWidget *parent, const QString &name, const QString &caption, int x, int y)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(x, y);
    return label;
}

QStringList Entries(const QListWidget *list)
{
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        entries << list->item(row)->text();
    return entries;
}

// The entry an Add copies: the marked one in a single-selection list, the one with the
// focus where several can be marked.
const QListWidgetItem *CurrentEntry(const QListWidget *list)
{
    if (list->selectionMode() == QAbstractItemView::SingleSelection) {
        const QList<QListWidgetItem *> marked = list->selectedItems();
        return marked.isEmpty() ? nullptr : marked.first();
    }
    return list->currentItem();
}

void AddEntry(const QListWidget *available, QListWidget *selected, bool takeEmpty)
{
    const QListWidgetItem *entry = CurrentEntry(available);
    if (!entry || (!takeEmpty && entry->text().isEmpty()))
        return;
    selected->addItem(entry->text());
}

void RemoveMarkedEntries(QListWidget *list)
{
    // Rows first: removing the current row lets the list mark its neighbour.
    QList<int> marked;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->isSelected())
            marked.prepend(row);
    }
    for (int row : marked)
        list->model()->removeRow(row);
}

// Reads one criterion's values from the library and hands each to `add`.
void LoadList(TConnection *connection, QListWidget *list, TCriteriaList criterion,
              const std::function<void(QListWidget *, const QVariant &)> &add)
{
    if (!connection)
        throw EDatabaseError(QStringLiteral("The library is not open"));
    const QVariantList values = CriteriaValues(*connection, criterion);
    list->clear();
    for (const QVariant &value : values)
        add(list, value);
}

} // namespace

TfrmSelect::TfrmSelect(TConnection *connection, QWidget *parent)
    : TForm(parent), m_connection(connection)
{
    setObjectName(QStringLiteral("frmSelect"));
    setWindowTitle(QStringLiteral("Select songs"));
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setFixedSize(ClientSize);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 482, 188);
    CreateArtistTab();
    CreateAlbumTab();
    CreateGenreTab();
    CreateMiscTab();
    PageControl1->setCurrentWidget(tsArtist);

    CreatePreview();
    ConnectHandlers();

    // The lists are read when the dialog is first shown: a big library's distinct values cost
    // nothing at the program's start.
}

void TfrmSelect::showEvent(QShowEvent *event)
{
    TForm::showEvent(event);
    // A library that could not be opened was reported by whoever opened it: no second box for
    // the same failure. The lists stay empty.
    if (m_listsStale && !(m_connection && !m_connection->Connected()))
        RunReportingErrors([this] { ReadCriteriaLists(); });
}

void TfrmSelect::CreateArtistTab()
{
    tsArtist = new QWidget;
    tsArtist->setObjectName(QStringLiteral("tsArtist"));
    PageControl1->addTab(tsArtist, QStringLiteral("Artist"));
    gbArtists = NewGroupBox(tsArtist, QStringLiteral("gbArtists"), QStringLiteral("Artists"));
    lbAvailableArtists = NewListBox(gbArtists, QStringLiteral("lbAvailableArtists"), 12,
                                    QAbstractItemView::SingleSelection);
    btnAddArtist =
        NewFlatButton(gbArtists, QStringLiteral("btnAddArtist"), QStringLiteral("Add"), 44);
    btnRemoveArtist =
        NewFlatButton(gbArtists, QStringLiteral("btnRemoveArtist"), QStringLiteral("Remove"), 84);
    lbSelectedArtists = NewListBox(gbArtists, QStringLiteral("lbSelectedArtists"), 274,
                                   QAbstractItemView::ExtendedSelection);
}

void TfrmSelect::CreateAlbumTab()
{
    tsAlbum = new QWidget;
    tsAlbum->setObjectName(QStringLiteral("tsAlbum"));
    PageControl1->addTab(tsAlbum, QStringLiteral("Album"));
    gbAlbum = NewGroupBox(tsAlbum, QStringLiteral("gbAlbum"), QStringLiteral("Album"));
    lbAvailableAlbums = NewListBox(gbAlbum, QStringLiteral("lbAvailableAlbums"), 12,
                                   QAbstractItemView::ExtendedSelection);
    btnAddAlbum = NewFlatButton(gbAlbum, QStringLiteral("btnAddAlbum"), QStringLiteral("Add"), 44);
    btnRemoveAlbum =
        NewFlatButton(gbAlbum, QStringLiteral("btnRemoveAlbum"), QStringLiteral("Remove"), 84);
    lbSelectedAlbums = NewListBox(gbAlbum, QStringLiteral("lbSelectedAlbums"), 274,
                                  QAbstractItemView::SingleSelection);
}

void TfrmSelect::CreateGenreTab()
{
    tsGenre = new QWidget;
    tsGenre->setObjectName(QStringLiteral("tsGenre"));
    PageControl1->addTab(tsGenre, QStringLiteral("Genre"));
    gbGenre = NewGroupBox(tsGenre, QStringLiteral("gbGenre"), QStringLiteral("Genre"));
    lbAvailableGenres = NewListBox(gbGenre, QStringLiteral("lbAvailableGenres"), 12,
                                   QAbstractItemView::SingleSelection);
    btnAddGenre = NewFlatButton(gbGenre, QStringLiteral("btnAddGenre"), QStringLiteral("Add"), 44);
    btnRemoveGenre =
        NewFlatButton(gbGenre, QStringLiteral("btnRemoveGenre"), QStringLiteral("Remove"), 84);
    lbSelectedGenres = NewListBox(gbGenre, QStringLiteral("lbSelectedGenres"), 274,
                                  QAbstractItemView::SingleSelection);
}

void TfrmSelect::CreateMiscTab()
{
    tsMisc = new QWidget;
    tsMisc->setObjectName(QStringLiteral("tsMisc"));
    PageControl1->addTab(tsMisc, QStringLiteral("Misc"));
    gbMisc = NewGroupBox(tsMisc, QStringLiteral("gbMisc"), QStringLiteral("Misc"));

    lblComment =
        NewLabel(gbMisc, QStringLiteral("lblComment"), QStringLiteral("Comment contains"), 12, 28);
    edComment = new QLineEdit(gbMisc);
    edComment->setObjectName(QStringLiteral("edComment"));
    edComment->setGeometry(120, 24, 200, 21);

    lblYearBetween = NewLabel(gbMisc, QStringLiteral("lblYearBetween"),
                              QStringLiteral("Year is between"), 12, 60);
    edStartYear = new TYearEdit(gbMisc);
    edStartYear->setObjectName(QStringLiteral("edStartYear"));
    edStartYear->setGeometry(120, 56, 48, 21);
    lblAnd = NewLabel(gbMisc, QStringLiteral("lblAnd"), QStringLiteral("and"), 178, 60);
    edEndYear = new TYearEdit(gbMisc);
    edEndYear->setObjectName(QStringLiteral("edEndYear"));
    edEndYear->setGeometry(204, 56, 48, 21);

    lblSortBy = NewLabel(gbMisc, QStringLiteral("lblSortBy"), QStringLiteral("Sort by:"), 12, 92);
    ccbSort = new TCompletingComboBox(gbMisc);
    ccbSort->setObjectName(QStringLiteral("ccbSort"));
    ccbSort->setGeometry(120, 88, 132, 21);
    ccbSort->SetTextCompletion(true);
    ccbSort->SetLimitToList(false);
    ccbSort->addItems({QStringLiteral("Album"), QStringLiteral("Artist"), QStringLiteral("Comment"),
                       QStringLiteral("Genre"), QStringLiteral("Title"), QStringLiteral("Year")});
    ccbSort->setCurrentIndex(-1);
}

void TfrmSelect::CreatePreview()
{
    gbMatchingSongs = new QGroupBox(QStringLiteral("Matching Songs"), this);
    gbMatchingSongs->setObjectName(QStringLiteral("gbMatchingSongs"));
    gbMatchingSongs->setGeometry(8, 202, 482, 172);

    qryMatching = new TDataSet(m_connection, this);
    qryMatching->setObjectName(QStringLiteral("qryMatching"));
    grdMatchingSongs = new TDBGrid(gbMatchingSongs);
    grdMatchingSongs->setObjectName(QStringLiteral("grdMatchingSongs"));
    grdMatchingSongs->setGeometry(8, 18, 466, 146);
    grdMatchingSongs->SetDataSet(qryMatching);
    grdMatchingSongs->SetColumns({{QStringLiteral("ID3_Title"), {}},
                                  {QStringLiteral("ID3_Album"), {}},
                                  {QStringLiteral("Duration"), {}},
                                  {QStringLiteral("ID3_Genre"), {}},
                                  {QStringLiteral("ID3_Year"), {}},
                                  {QStringLiteral("Path"), {}},
                                  {QStringLiteral("Filename"), {}}});

    btnRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setGeometry(8, 384, 75, 25);
    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 370, 385, 50, 23);
    btnCancel =
        NewPictureButton(this, QStringLiteral("btnCancel"), CancelButtonFace(), 426, 385, 64, 23);
}

void TfrmSelect::ConnectHandlers()
{
    connect(btnAddArtist, &QToolButton::clicked, this, &TfrmSelect::btnAddArtistClick);
    connect(btnRemoveArtist, &QToolButton::clicked, this, &TfrmSelect::btnRemoveArtistClick);
    connect(btnAddAlbum, &QToolButton::clicked, this, &TfrmSelect::btnAddAlbumClick);
    connect(btnRemoveAlbum, &QToolButton::clicked, this, &TfrmSelect::btnRemoveAlbumClick);
    connect(btnAddGenre, &QToolButton::clicked, this, &TfrmSelect::btnAddGenreClick);
    connect(btnRemoveGenre, &QToolButton::clicked, this, &TfrmSelect::btnRemoveGenreClick);
    connect(btnRefresh, &QPushButton::clicked, this, &TfrmSelect::btnRefreshClick);
    connect(btnOK, &QToolButton::clicked, this, &TfrmSelect::btnOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmSelect::btnCancelClick);

    // Double clicks reach the lists' viewports, keys the lists themselves.
    for (QListWidget *list : {lbAvailableArtists, lbSelectedArtists, lbAvailableAlbums,
                              lbSelectedAlbums, lbAvailableGenres, lbSelectedGenres})
        list->viewport()->installEventFilter(this);
    for (QListWidget *list : {lbSelectedArtists, lbAvailableAlbums, lbAvailableGenres})
        list->installEventFilter(this);

    grdMatchingSongs->SetDrawColumnCell(
        [this](QPainter &painter, const QRect &rect, int row, int column, bool selected) {
            grdMatchingSongsDrawColumnCell(painter, rect, row, column, selected);
        });
}

bool TfrmSelect::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        const std::pair<QListWidget *, void (TfrmSelect::*)()> actions[] = {
            {lbAvailableArtists, &TfrmSelect::btnAddArtistClick},
            {lbSelectedArtists, &TfrmSelect::btnRemoveArtistClick},
            {lbAvailableAlbums, &TfrmSelect::btnAddAlbumClick},
            {lbSelectedAlbums, &TfrmSelect::btnRemoveAlbumClick},
            {lbAvailableGenres, &TfrmSelect::btnAddGenreClick},
            {lbSelectedGenres, &TfrmSelect::btnRemoveGenreClick}};
        for (const auto &[list, action] : actions) {
            if (watched == list->viewport()) {
                (this->*action)();
                return true;
            }
        }
    } else if (event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        // In the two available lists Delete removes from the selected list beside them.
        if (watched == lbSelectedArtists) {
            btnRemoveArtistClick();
            return true;
        }
        if (watched == lbAvailableAlbums) {
            btnRemoveAlbumClick();
            return true;
        }
        if (watched == lbAvailableGenres) {
            btnRemoveGenreClick();
            return true;
        }
    }
    return TForm::eventFilter(watched, event);
}

QString TfrmSelect::SortChoice() const
{
    const QString text = ccbSort->currentText();
    for (int i = 0; i < ccbSort->count(); ++i) {
        if (ccbSort->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return ccbSort->itemText(i);
    }
    return QString();
}

TSelectionCriteria TfrmSelect::Criteria() const
{
    TSelectionCriteria criteria;
    criteria.Artists = Entries(lbSelectedArtists);
    criteria.Genres = Entries(lbSelectedGenres);
    criteria.Albums = Entries(lbSelectedAlbums);
    criteria.Comment = edComment->text();
    criteria.StartYear = edStartYear->text();
    criteria.EndYear = edEndYear->text();
    criteria.Sort = SortChoice();
    return criteria;
}

QString TfrmSelect::BuildSelectionSql() const
{
    return ::BuildSelectionSql(Criteria());
}

void TfrmSelect::ReloadCriteriaLists()
{
    m_listsStale = true;
    if (isVisible())
        ReadCriteriaLists();
}

void TfrmSelect::ReadCriteriaLists()
{
    m_listsStale = false;
    const auto addText = [](QListWidget *list, const QVariant &value) {
        list->addItem(value.toString());
    };
    LoadList(m_connection, lbAvailableArtists, TCriteriaList::Artists, addText);
    LoadList(m_connection, lbAvailableAlbums, TCriteriaList::Albums, addText);
    LoadList(m_connection, lbAvailableGenres, TCriteriaList::Genres,
             [](QListWidget *list, const QVariant &value) {
                 // A missing or unnamed genre (255: none) is no choice.
                 bool isNumber = false;
                 const int number = value.toInt(&isNumber);
                 if (value.isNull() || !isNumber || number < 0 || number >= GenreCount)
                     return;
                 list->addItem(QString::number(number) + QStringLiteral(". ") + GenreName(number));
             });
}

void TfrmSelect::btnAddArtistClick()
{
    AddEntry(lbAvailableArtists, lbSelectedArtists, true);
}

void TfrmSelect::btnRemoveArtistClick()
{
    RemoveMarkedEntries(lbSelectedArtists);
}

void TfrmSelect::btnAddAlbumClick()
{
    AddEntry(lbAvailableAlbums, lbSelectedAlbums, false);
}

void TfrmSelect::btnRemoveAlbumClick()
{
    RemoveMarkedEntries(lbSelectedAlbums);
}

void TfrmSelect::btnAddGenreClick()
{
    AddEntry(lbAvailableGenres, lbSelectedGenres, false);
}

void TfrmSelect::btnRemoveGenreClick()
{
    RemoveMarkedEntries(lbSelectedGenres);
}

void TfrmSelect::btnRefreshClick()
{
    OpenSelection(*qryMatching, Criteria());
}

void TfrmSelect::btnOKClick()
{
    done(mrOk);
}

void TfrmSelect::btnCancelClick()
{
    done(mrCancel);
}

void TfrmSelect::grdMatchingSongsDrawColumnCell(QPainter &painter, const QRect &rect, int row,
                                                int column, bool selected)
{
    const QString text = grdMatchingSongs->CellText(row, column);
    if (text.isEmpty())
        return;
    const QColor background = selected ? grdMatchingSongs->SelectionColour() : QColor(Qt::black);
    if (grdMatchingSongs->ColumnTitle(column) == DurationTitle)
        DrawCellRight(painter, rect, background, CellDuration(text));
    else
        DrawCellLeft(painter, rect, background, text);
}
