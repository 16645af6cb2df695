#include "ui/CCellListCtrl.h"

#include "ui/CellDelegate.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace {

constexpr int RowHeight = 18;
constexpr int ImageSize = 16;
constexpr int StatusCount = 5;

QPixmap StatusImage(int status) {
    QPixmap pixmap(ImageSize, ImageSize);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/status/%1.svg").arg(status));
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

// The selected rows as sorted, merged [first, last] intervals.
std::vector<std::pair<int, int>> RowIntervals(const QItemSelection& selection) {
    std::vector<std::pair<int, int>> rows;
    rows.reserve(static_cast<size_t>(selection.size()));
    for (const QItemSelectionRange& range : selection)
        rows.emplace_back(range.top(), range.bottom());
    std::sort(rows.begin(), rows.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& interval : rows) {
        if (!merged.empty() && interval.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, interval.second);
        else
            merged.push_back(interval);
    }
    return merged;
}

} // namespace

CCellListCtrl::CCellListCtrl(CellListModel::CellSource source, QWidget* parent)
    : QTableView(parent), m_model(new CellListModel(std::move(source), this)) {
    setModel(m_model);
    setItemDelegate(new CellDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setFrameShape(QFrame::StyledPanel);

    // Fixed, uniform rows: a million of them cost nothing to lay out.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(RowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsMovable(true);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setDefaultAlignment(Qt::AlignCenter);
    columns->setStretchLastSection(false);
    for (int column = 0; column < CellListModel::ColumnCount; ++column)
        columns->resizeSection(column, ListColumns[static_cast<size_t>(column)].m_width);
    connect(columns, &QHeaderView::sectionClicked, this, [this](int column) { emit HeaderClicked(column); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this] { emit RowDoubleClicked(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit SelectionChanged(); });

    for (int status = 0; status < StatusCount; ++status)
        m_images.push_back(StatusImage(status));
}

CellInfo& CCellListCtrl::GetCellInfo(int row, int column, bool selected) {
    return m_model->Cell(row, column, selected, false);
}

void CCellListCtrl::SetRowCount(size_t rows) {
    m_model->SetRowCount(static_cast<int>(std::min<size_t>(rows, INT32_MAX)));
    viewport()->update();
}

void CCellListCtrl::RedrawRows(int32_t first, int32_t last) {
    const int rows = m_model->rowCount();
    first = std::max(first, 0);
    last = std::min(last, rows - 1);
    if (first > last)
        return;
    const QRect top = visualRect(m_model->index(first, 0));
    const QRect bottom = visualRect(m_model->index(last, 0));
    viewport()->update(QRect(0, top.top(), viewport()->width(), bottom.bottom() - top.top() + 1));
}

std::vector<uint32_t> CCellListCtrl::SelectedRows() const {
    std::vector<uint32_t> rows;
    for (const auto& [first, last] : RowIntervals(selectionModel()->selection()))
        for (int row = first; row <= last; ++row)
            rows.push_back(static_cast<uint32_t>(row));
    return rows;
}

int64_t CCellListCtrl::FirstSelectedRow() const {
    int64_t first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (first < 0 || range.top() < first)
            first = range.top();
    return first;
}

void CCellListCtrl::SelectAllRows() {
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    const QItemSelection all(m_model->index(0, 0), m_model->index(rows - 1, CellListModel::ColumnCount - 1));
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

void CCellListCtrl::ReverseSelection() {
    const int rows = m_model->rowCount();
    QItemSelection reversed;
    int next = 0;
    const auto add = [&](int first, int last) {
        if (first <= last)
            reversed.append(
                QItemSelectionRange(m_model->index(first, 0), m_model->index(last, CellListModel::ColumnCount - 1)));
    };
    for (const auto& [first, last] : RowIntervals(selectionModel()->selection())) {
        add(next, first - 1);
        next = last + 1;
    }
    add(next, rows - 1);
    selectionModel()->select(reversed, QItemSelectionModel::ClearAndSelect);
}

void CCellListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint corner = mapToGlobal(QPoint(5, 5));
    emit ContextMenuAt(event->reason() == QContextMenuEvent::Keyboard ? corner : event->globalPos());
}
