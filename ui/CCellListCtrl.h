#pragma once

#include "ui/CellListModel.h"

#include <QTableView>

#include <functional>
#include <vector>

// The proxy list: a table of cells that holds no data. Its row count is set from outside, and every cell
// that is painted or asked about is described by the owner's answer to GetCellInfo, then drawn by the
// control itself. Built to stay fluid with a million rows: uniform rows, nothing computed ahead.
class CCellListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CCellListCtrl(CellListModel::CellSource source, QWidget* parent = nullptr);

    CellListModel* Model() const { return m_model; }
    // Asks the owner about one cell. The list never reports a hot row: hovering selects nothing.
    CellInfo& GetCellInfo(int row, int column, bool selected);

    void SetRowCount(size_t rows);
    void RedrawRows(int32_t first, int32_t last);

    // Selected rows, ascending; the first one, or -1. Work on the selection's ranges, not on its rows.
    std::vector<uint32_t> SelectedRows() const;
    int64_t FirstSelectedRow() const;
    void SelectAllRows();
    // Every row gets the opposite of its selection state.
    void ReverseSelection();

    // The small images of the status column, by status.
    const std::vector<QPixmap>& StatusImages() const { return m_images; }

signals:
    // A left click on the header item of this column (the column of the data, whatever its display order).
    void HeaderClicked(int column);
    void RowDoubleClicked();
    // The context menu at a screen point: under the mouse, or the list's corner for the keyboard.
    void ContextMenuAt(const QPoint& globalPos);
    void SelectionChanged();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    CellListModel* m_model;
    std::vector<QPixmap> m_images;
};
