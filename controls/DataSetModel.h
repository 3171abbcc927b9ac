#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TDataSet;

struct TColumn {
    QString FieldName;
    QString Title; // empty: the field's name
    int Width = 64;
    bool Visible = true;
    bool CountsRows = false; // shows numbers up to the row count: widened to fit the largest
};

// Shows a data set's rows through a grid's columns: the display text of each field, a file
// name's stray bytes made readable, a missing title shown as the file name. Follows the data set's
// resets, inserts, removals and changed values.
class TDataSetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TDataSetModel(QObject *parent = nullptr);
    void SetDataSet(TDataSet *dataSet);
    TDataSet *DataSet() const { return m_dataSet; }
    void SetColumns(const QList<TColumn> &columns);
    const QList<TColumn> &Columns() const { return m_columns; }
    int FieldOf(int column) const; // the data set's field index, or -1

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Dragging: the data of the rows dragged (top to bottom). Dropping: what the types listed
    // may bring, handed over with the row it is dropped before (the row count: after the last).
    std::function<QMimeData *(const QList<int> &rows)> DragRows;
    std::function<bool(const QMimeData *data, int row)> Drop;
    QStringList DropTypes;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override
    {
        return Qt::CopyAction | Qt::MoveAction;
    }

private:
    void ResolveFields();
    void BeginReset();
    void EndReset();

    TDataSet *m_dataSet = nullptr;
    QList<TColumn> m_columns;
    std::vector<int> m_fields;
    int m_fileNameField = -1; // the data set's Filename, which stands in for a missing title
    int m_titleColumn = -1;
    int m_rows = 0;
    bool m_resetting = false;
    bool m_changingRows = false;
    void TakeRowCount();
};
