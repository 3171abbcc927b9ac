#include "controls/DataSetModel.h"

#include "base/Errors.h"
#include "base/FileNames.h"
#include "data/DataSet.h"
#include "data/SongTitles.h"

#include <QMimeData>
#include <algorithm>

TDataSetModel::TDataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

void TDataSetModel::SetDataSet(TDataSet *dataSet)
{
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    BeginReset();
    m_dataSet = dataSet;
    EndReset();
    if (!m_dataSet)
        return;
    connect(m_dataSet, &TDataSet::BeforeReset, this, &TDataSetModel::BeginReset);
    connect(m_dataSet, &TDataSet::DataReset, this, &TDataSetModel::EndReset);
    connect(m_dataSet, &TDataSet::BeforeRowInserted, this, [this](int row) {
        m_changingRows = true;
        beginInsertRows({}, row, row);
    });
    connect(m_dataSet, &TDataSet::RowInserted, this, [this] {
        m_rows = m_dataSet->RecordCount();
        endInsertRows();
        m_changingRows = false;
    });
    connect(m_dataSet, &TDataSet::BeforeRowRemoved, this, [this](int row) {
        m_changingRows = true;
        beginRemoveRows({}, row, row);
    });
    connect(m_dataSet, &TDataSet::RowRemoved, this, [this] {
        m_rows = m_dataSet->RecordCount();
        endRemoveRows();
        m_changingRows = false;
    });
    connect(m_dataSet, &TDataSet::RecordCountKnown, this, &TDataSetModel::TakeRowCount);
    connect(m_dataSet, &TDataSet::RowChanged, this, [this](int row) {
        if (row >= 0 && row < m_rows && !m_columns.isEmpty())
            emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
    });
    connect(m_dataSet, &TDataSet::ValuesChanged, this, [this] {
        if (m_rows > 0 && !m_columns.isEmpty())
            emit dataChanged(index(0, 0), index(m_rows - 1, int(m_columns.size()) - 1));
    });
}

void TDataSetModel::BeginReset()
{
    if (m_resetting)
        return;
    m_resetting = true;
    beginResetModel();
}

void TDataSetModel::EndReset()
{
    if (!m_resetting)
        beginResetModel();
    m_rows = m_dataSet && m_dataSet->Active() ? m_dataSet->ShownRecordCount() : 0;
    ResolveFields();
    m_resetting = false;
    const bool changing = m_changingRows;
    m_changingRows = true;
    endResetModel();
    m_changingRows = changing;
    TakeRowCount(); // counted while the views took the reset
}

void TDataSetModel::TakeRowCount()
{
    // Inside a reset or a row's coming or going, their end takes the count.
    if (m_resetting || m_changingRows || !m_dataSet || !m_dataSet->Active())
        return;
    const int count = m_dataSet->ShownRecordCount();
    if (count == m_rows)
        return;
    m_changingRows = true;
    if (count > m_rows) {
        beginInsertRows({}, m_rows, count - 1);
        m_rows = count;
        endInsertRows();
    } else {
        beginRemoveRows({}, count, m_rows - 1);
        m_rows = count;
        endRemoveRows();
    }
    m_changingRows = false;
}

void TDataSetModel::SetColumns(const QList<TColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    ResolveFields();
    endResetModel();
}

void TDataSetModel::ResolveFields()
{
    m_fields.clear();
    const bool active = m_dataSet && m_dataSet->Active();
    m_fileNameField = active ? m_dataSet->FindField(QStringLiteral("Filename")) : -1;
    m_titleColumn = -1;
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_columns.at(c).FieldName.compare(QStringLiteral("ID3_Title"), Qt::CaseInsensitive) ==
            0)
            m_titleColumn = c;
    }
    for (const TColumn &column : m_columns)
        m_fields.push_back(m_dataSet && m_dataSet->Active() ? m_dataSet->FindField(column.FieldName)
                                                            : -1);
}

int TDataSetModel::FieldOf(int column) const
{
    return column >= 0 && size_t(column) < m_fields.size() ? m_fields[size_t(column)] : -1;
}

int TDataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TDataSetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_dataSet || index.row() >= m_rows ||
        index.row() >= m_dataSet->ShownRecordCount())
        return {};
    const bool title = index.column() == m_titleColumn;
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && title)) {
        const int field = FieldOf(index.column());
        if (field < 0)
            return QString();
        try {
            const QString text = ReadableFileName(m_dataSet->DisplayText(index.row(), field));
            // A song without a title goes by its file name.
            if (title && m_fileNameField >= 0)
                return SongTitle(text, m_dataSet->DisplayText(index.row(), m_fileNameField));
            return text;
        } catch (const EError &) {
            return QString(); // a row that cannot be read now draws empty
        }
    }
    return {};
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        const TColumn &column = m_columns.at(section);
        return column.Title.isEmpty() ? column.FieldName : column.Title;
    }
    return {};
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && DragRows)
        flags |= Qt::ItemIsDragEnabled;
    if (Drop)
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList TDataSetModel::mimeTypes() const
{
    return DropTypes;
}

QMimeData *TDataSetModel::mimeData(const QModelIndexList &indexes) const
{
    if (!DragRows)
        return nullptr;
    QList<int> rows;
    for (const QModelIndex &index : indexes)
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows.isEmpty() ? nullptr : DragRows(rows);
}

bool TDataSetModel::canDropMimeData(const QMimeData *data, Qt::DropAction, int, int,
                                    const QModelIndex &) const
{
    if (!Drop || !data)
        return false;
    return std::any_of(DropTypes.begin(), DropTypes.end(),
                       [data](const QString &type) { return data->hasFormat(type); });
}

bool TDataSetModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                 const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    // Dropped on a row, it goes before that row; below the rows, after the last.
    const int before = row >= 0 ? row : parent.isValid() ? parent.row() : m_rows;
    return Drop(data, std::clamp(before, 0, m_rows));
}
