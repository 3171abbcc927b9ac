#include "controls/DBGrid.h"

#include "data/DataSet.h"
#include "data/Durations.h"

#include <QFontInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

QColor SkyBlue()
{
    return QColor(166, 202, 240);
}

QColor TitleBackground()
{
    // A dark desktop blue: sky-blue titles on it read at a contrast of about 8:1.
    return QColor(10, 36, 106);
}

namespace
{
void DrawCellText(QPainter &painter, const QRect &rect, const QColor &background, int x,
                  const QString &text)
{
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.fillRect(rect, background);
    const QRect box(x, rect.top() + 2, qMax(rect.right() - x + 1, 1), rect.height());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                     text);
    painter.restore();
}
} // namespace

void DrawCellLeft(QPainter &painter, const QRect &rect, const QColor &background,
                  const QString &text)
{
    DrawCellText(painter, rect, background, rect.left() + 2, text);
}

void DrawCellRight(QPainter &painter, const QRect &rect, const QColor &background,
                   const QString &text)
{
    const int width = painter.fontMetrics().horizontalAdvance(text);
    DrawCellText(painter, rect, background, rect.left() + rect.width() - width - 3, text);
}

qint64 CellInteger(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

QString CellDuration(const QString &seconds)
{
    return FormatMilliseconds(CellInteger(seconds) * 1000);
}

namespace
{
// Runs the grid's cell hook after the default drawing.
class TCellDelegate : public QStyledItemDelegate
{
public:
    explicit TCellDelegate(TDBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect, selected ? m_grid->SelectionColour() : Qt::black);
        painter->save();
        painter->setClipRect(option.rect);
        painter->setFont(option.font);
        painter->setPen(selected ? QColor(Qt::white) : SkyBlue());
        painter->drawText(option.rect.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data().toString());
        painter->restore();
        if (m_grid->DrawColumnCell()) {
            painter->save();
            painter->setFont(option.font);
            painter->setPen(selected ? QColor(Qt::white) : SkyBlue());
            m_grid->DrawColumnCell()(*painter, option.rect, index.row(), index.column(), selected);
            painter->restore();
        }
    }

private:
    TDBGrid *m_grid;
};

QFont CellFont()
{
    // A small bitmap face where the system has it; otherwise a readable small size.
    QFont font(QStringLiteral("Small Fonts"));
    font.setPixelSize(8);
    if (QFontInfo(font).family() != font.family()) {
        font = QFont();
        font.setPixelSize(11);
    }
    font.setBold(false);
    return font;
}
} // namespace

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent)
{
    // Connected before the view's own handlers: while rows come and go, the selection model
    // moves the current index by itself, and the data set must not follow it halfway.
    auto changing = [this] { ++m_modelChanging; };
    auto changed = [this] { m_modelChanging = qMax(0, m_modelChanging - 1); };
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, changing);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, changing);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(&m_model, &QAbstractItemModel::modelAboutToBeReset, this, changing);
    connect(&m_model, &QAbstractItemModel::modelReset, this, changed);
    setModel(&m_model);
    setItemDelegate(new TCellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    setMouseTracking(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(CellFont()).height() + 5);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    setFont(CellFont());
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setPixelSize(11);
    titleFont.setBold(true);
    horizontalHeader()->setFont(titleFont);
    // Titles start at the left, so a title wider than its column loses its end, not its start.
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setStyleSheet(
        QStringLiteral(
            "QTableView { background: black; color: rgb(166,202,240); gridline-color: #303030; }"
            "QHeaderView::section { background: %1; color: rgb(166,202,240);"
            " border: 1px solid #202020; padding: 1px %2px; }"
            "QTableCornerButton::section { background: black; }")
            .arg(TitleBackground().name())
            .arg(TitlePadding));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TDBGrid::TitleClick);
}

void TDBGrid::SetDataSet(TDataSet *dataSet)
{
    if (DataSet())
        disconnect(DataSet(), nullptr, this, nullptr);
    m_model.SetDataSet(dataSet);
    if (dataSet) {
        connect(dataSet, &TDataSet::CurrentChanged, this, &TDBGrid::FollowDataSet);
        // Widths the user gave stay over a reopening; only what would cut a title or a number
        // off is widened.
        connect(dataSet, &TDataSet::DataReset, this, [this] {
            for (int c = 0; c < m_model.columnCount(); ++c) {
                if (!isColumnHidden(c)) // a hidden column keeps its width for its return
                    setColumnWidth(c, qMax(columnWidth(c), FittedWidth(m_model.Columns().at(c))));
            }
            FitRowCounts();
        });
        connect(dataSet, &TDataSet::RowInserted, this, [this] { FitRowCounts(); });
    }
}

void TDBGrid::SetColumns(const QList<TColumn> &columns)
{
    m_model.SetColumns(columns);
    for (int c = 0; c < columns.size(); ++c) {
        setColumnWidth(c, FittedWidth(columns.at(c)));
        setColumnHidden(c, !columns.at(c).Visible);
    }
}

void TDBGrid::FitRowCounts()
{
    const int rows = m_model.rowCount();
    const QString widest(QString::number(qMax(rows, 1)).size(), QLatin1Char('8'));
    const int needed = QFontMetrics(font()).horizontalAdvance(widest) + 8;
    for (int c = 0; c < m_model.columnCount(); ++c) {
        if (m_model.Columns().at(c).CountsRows && columnWidth(c) < needed)
            setColumnWidth(c, needed);
    }
}

int TDBGrid::FittedWidth(const TColumn &column) const
{
    // The designed widths fit the titles in the designed face; a wider stand-in face must
    // not cut a title off.
    const QString title = column.Title.isEmpty() ? column.FieldName : column.Title;
    const int needed =
        QFontMetrics(horizontalHeader()->font()).horizontalAdvance(title) + 2 * TitlePadding + 4;
    return qMax(column.Width, needed);
}

void TDBGrid::ShowSortOrder(int column, Qt::SortOrder order)
{
    horizontalHeader()->setSortIndicatorShown(column >= 0);
    horizontalHeader()->setSortIndicator(column, order);
    if (column < 0 || column >= ColumnCount())
        return;
    const int arrow = QFontMetrics(horizontalHeader()->font()).height() + 4;
    const int needed = FittedWidth(m_model.Columns().at(column)) + arrow;
    if (columnWidth(column) < needed)
        setColumnWidth(column, needed);
}

QString TDBGrid::ColumnTitle(int index) const
{
    return m_model.headerData(index, Qt::Horizontal, Qt::DisplayRole).toString();
}

int TDBGrid::ColumnByTitle(const QString &title) const
{
    for (int c = 0; c < ColumnCount(); ++c) {
        if (ColumnTitle(c) == title)
            return c;
    }
    return -1;
}

QString TDBGrid::CellText(int row, int column) const
{
    return m_model.data(m_model.index(row, column), Qt::DisplayRole).toString();
}

QColor TDBGrid::SelectionColour() const
{
    // Navy, so sky-blue and white text stay readable on selected rows.
    return QColor(0, 0, 128);
}

QList<int> TDBGrid::SelectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TDBGrid::SelectAllRows()
{
    selectionModel()->clearSelection();
    if (DataSet() && DataSet()->Active())
        DataSet()->RecordCount(); // every row, also while they are still being counted
    const int rows = m_model.rowCount();
    if (rows == 0 || m_model.columnCount() == 0)
        return;
    selectionModel()->select(
        QItemSelection(m_model.index(0, 0), m_model.index(rows - 1, m_model.columnCount() - 1)),
        QItemSelectionModel::Select);
    if (DataSet()) {
        TSelectionWalk walk(this);
        DataSet()->Last();
    }
}

void TDBGrid::FollowDataSet(int row)
{
    if (m_following)
        return;
    m_following = true;
    const QModelIndex target =
        row >= 0 ? m_model.index(row, qMax(0, currentIndex().column())) : QModelIndex();
    // The highlighted row is the data set's current row. A walk over the selected rows (an
    // export, adding songs) keeps the selection; any other move takes it along.
    const bool keepSelection =
        !target.isValid() || (m_selectionWalks > 0 && selectionModel()->isRowSelected(row));
    selectionModel()->setCurrentIndex(target, keepSelection ? QItemSelectionModel::NoUpdate
                                                            : QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
    if (target.isValid())
        scrollTo(target);
    m_following = false;
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following || m_modelChanging > 0 || !DataSet() || !DataSet()->Active() ||
        !current.isValid())
        return;
    if (current.row() != DataSet()->RecNo() && current.row() < DataSet()->ShownRecordCount()) {
        m_following = true;
        try {
            DataSet()->SetRecNo(current.row());
        } catch (...) {
            m_following = false;
            throw;
        }
        m_following = false;
    }
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
    emit KeyDown(event);
    if (event->isAccepted())
        return;
    event->accept();
    QTableView::keyPressEvent(event);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    emit DblClick();
}

void TDBGrid::mouseMoveEvent(QMouseEvent *event)
{
    QTableView::mouseMoveEvent(event);
    emit MouseMoved();
}

void TDBGrid::SetEmptyText(const QString &text)
{
    m_emptyText = text;
    viewport()->update();
}

void TDBGrid::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (m_emptyText.isEmpty() || model()->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(SkyBlue());
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                     m_emptyText);
}
