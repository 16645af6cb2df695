#pragma once

#include "proxy/ProxyCell.h"

#include <QAbstractTableModel>

#include <functional>

// The table model behind the list: the row count it is told and ten columns; each cell's text, tip,
// colour and image come from the owner's CellInfo.
class CellListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using CellSource = std::function<void(CellInfo&)>;
    static constexpr int ColumnCount = 10;

    CellListModel(CellSource source, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The one CellInfo of the control, reset to its defaults and filled by the owner.
    CellInfo& Cell(int row, int column, bool selected, bool hot) const;
    void SetRowCount(int rows);

private:
    CellSource m_source;
    mutable CellInfo m_cell;
    int m_rows = 0;
};
