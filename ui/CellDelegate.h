#pragma once

#include <QStyledItemDelegate>

class CCellListCtrl;

// Draws one cell of the list from its CellInfo: the image at the left or centred (its area never takes
// the selected look), the background, then the text single-line, ellipsised, aligned as the column's header,
// with '&' drawn as itself. No focus rectangle.
class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CellDelegate(CCellListCtrl* list);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    CCellListCtrl* m_list;
};
