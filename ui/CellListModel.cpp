#include "ui/CellListModel.h"

#include <QColor>

namespace {

// The longest text a cell's tooltip shows (its buffer held 80 characters with the terminator).
constexpr qsizetype MaxTipLength = 79;

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CellListModel::CellListModel(CellSource source, QObject* parent)
    : QAbstractTableModel(parent), m_source(std::move(source)) {}

int CellListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int CellListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

CellInfo& CellListModel::Cell(int row, int column, bool selected, bool hot) const {
    m_cell = CellInfo();
    m_cell.m_row = row;
    m_cell.m_column = column;
    m_cell.m_selected = selected;
    m_cell.m_hot = hot;
    m_source(m_cell);
    return m_cell;
}

QVariant CellListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return Latin1(Cell(index.row(), index.column(), false, false).m_text);
    case Qt::ToolTipRole: {
        const CellInfo& cell = Cell(index.row(), index.column(), false, false);
        if (cell.m_tip.empty())
            return {};
        return Latin1(cell.m_tip).left(MaxTipLength);
    }
    case Qt::ForegroundRole: {
        const CellInfo& cell = Cell(index.row(), index.column(), false, false);
        if (cell.m_textColour == DefaultColour)
            return {};
        return QColor(RedOf(cell.m_textColour), GreenOf(cell.m_textColour), BlueOf(cell.m_textColour));
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    default:
        return {};
    }
}

QVariant CellListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(ListColumns[static_cast<size_t>(section)].m_header);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void CellListModel::SetRowCount(int rows) {
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows(QModelIndex(), rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    // The rows that stayed may show other records now.
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
}
