#pragma once

#include "controls/DataSetModel.h"

#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

// The sky-blue text colour of the grids and the playlist chooser.
QColor SkyBlue();
// The background of the grids' column titles.
QColor TitleBackground();

// Helpers for cell hooks. Each refills the cell with the background the grid used and
// draws the text clipped to the cell, its top 2 pixels below the cell's top: from the
// left edge + 2, or ending 3 pixels left of the right edge.
void DrawCellLeft(QPainter &painter, const QRect &rect, const QColor &background,
                  const QString &text);
void DrawCellRight(QPainter &painter, const QRect &rect, const QColor &background,
                   const QString &text);
// The integer value of a cell's text, 0 when it is not a number.
qint64 CellInteger(const QString &text);
// A stored number of whole seconds as minutes and seconds ("03:05").
QString CellDuration(const QString &seconds);

// A data-aware grid: whole rows, several selectable, its current row tied to the data
// set's. A per-cell hook draws after the grid's own drawing.
class TDBGrid : public QTableView
{
    Q_OBJECT

public:
    // Receives the painter, the cell rectangle, the row and the column; the cell has
    // already been drawn. `selected` tells which background the grid used.
    using DrawColumnCellHook = std::function<void(QPainter &painter, const QRect &rect, int row,
                                                  int column, bool selected)>;

    explicit TDBGrid(QWidget *parent = nullptr);

    void SetDataSet(TDataSet *dataSet);
    TDataSet *DataSet() const { return m_model.DataSet(); }
    TDataSetModel &Model() { return m_model; }

    void SetColumns(const QList<TColumn> &columns);
    int ColumnCount() const { return m_model.columnCount(); }
    TColumn Column(int index) const { return m_model.Columns().at(index); }
    QString ColumnTitle(int index) const;
    int ColumnByTitle(const QString &title) const; // -1 when no column has it
    bool ColumnVisible(int index) const { return !isColumnHidden(index); }
    void SetColumnVisible(int index, bool visible) { setColumnHidden(index, !visible); }
    // Display text of a cell, as the grid draws it.
    QString CellText(int row, int column) const;

    // Marks the column the rows are sorted by, and their direction, in its title (none for -1),
    // widening the column where the title would lose its end to the mark.
    void ShowSortOrder(int column, Qt::SortOrder order);

    // Selected rows top to bottom, whatever the order they were chosen in.
    QList<int> SelectedRows() const;
    // Selects every row in one step and makes the last row current.
    void SelectAllRows();

    // While a walk over the selected rows lives, the data set's moves onto selected rows keep
    // the selection; any other move of the data set makes its row the one selected.
    class TSelectionWalk
    {
    public:
        explicit TSelectionWalk(TDBGrid *grid) : m_grid(grid) { ++m_grid->m_selectionWalks; }
        ~TSelectionWalk() { --m_grid->m_selectionWalks; }
        TSelectionWalk(const TSelectionWalk &) = delete;
        TSelectionWalk &operator=(const TSelectionWalk &) = delete;

    private:
        TDBGrid *m_grid;
    };

    // A text shown in the middle of the grid while it has no rows; empty for none.
    void SetEmptyText(const QString &text);
    QString EmptyText() const { return m_emptyText; }

    void SetDrawColumnCell(DrawColumnCellHook hook) { m_drawHook = std::move(hook); }
    const DrawColumnCellHook &DrawColumnCell() const { return m_drawHook; }
    QColor SelectionColour() const;

signals:
    void DblClick();
    void KeyDown(QKeyEvent *event); // before the grid handles the key; accept() to consume
    void TitleClick(int column);
    void MouseMoved();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int TitlePadding = 3;
    void FollowDataSet(int row);
    void FitRowCounts();
    int FittedWidth(const TColumn &column) const;

    TDataSetModel m_model;
    DrawColumnCellHook m_drawHook;
    QString m_emptyText;
    bool m_following = false;
    int m_modelChanging = 0;
    int m_selectionWalks = 0;
};
