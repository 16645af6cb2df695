#include "ui/CellDelegate.h"

#include "ui/CCellListCtrl.h"

#include <QPainter>

namespace {

// A colour of the cell, or the system colour that stands in for "default".
QColor Resolve(uint32_t colour, const QColor& system) {
    if (colour == DefaultColour)
        return system;
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// A small key in the text's colour: a ring and a shaft with two teeth. Drawn rather than taken from a font or
// an icon theme, so that it shows on any desktop.
void DrawKey(QPainter* painter, const QRect& box, const QColor& colour) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(colour, 1.5));
    painter->setBrush(Qt::NoBrush);
    const qreal radius = box.height() * 0.22;
    const QPointF centre(box.left() + radius + 1, box.top() + box.height() / 2.0);
    const qreal end = box.right() - 1;
    painter->drawEllipse(centre, radius, radius);
    painter->drawLine(QPointF(centre.x() + radius, centre.y()), QPointF(end, centre.y()));
    painter->drawLine(QPointF(end, centre.y()), QPointF(end, centre.y() + radius));
    painter->drawLine(QPointF(end - radius, centre.y()), QPointF(end - radius, centre.y() + radius));
    painter->restore();
}

// The text centred in the area, with the key just before it when the cell has one.
void DrawText(QPainter* painter, const QStyleOptionViewItem& option, const CellInfo& cell, const QRect& area,
              const QColor& colour) {
    const QString full = QString::fromLatin1(cell.m_text.data(), static_cast<qsizetype>(cell.m_text.size()));
    const int keyWidth = cell.m_keyMark ? option.fontMetrics.height() : 0;
    const QString shown = option.fontMetrics.elidedText(full, Qt::ElideRight, area.width() - keyWidth);
    painter->setPen(colour);
    painter->setFont(option.font);
    if (!cell.m_keyMark) {
        painter->drawText(area, Qt::AlignCenter | Qt::TextSingleLine, shown);
        return;
    }
    const int textWidth = option.fontMetrics.horizontalAdvance(shown);
    const int left = area.left() + std::max(0, (area.width() - keyWidth - textWidth) / 2);
    DrawKey(painter, QRect(left, area.top() + (area.height() - keyWidth) / 2, keyWidth, keyWidth), colour);
    painter->drawText(QRect(left + keyWidth, area.top(), area.right() - left - keyWidth + 1, area.height()),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

} // namespace

CellDelegate::CellDelegate(CCellListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool focused = m_list->hasFocus();
    const bool selectedRow = option.state & QStyle::State_Selected;
    const CellInfo& cell = m_list->GetCellInfo(index.row(), index.column(), selectedRow);
    const QPalette& palette = option.palette;
    const bool selectedLook = cell.m_selected && !cell.m_plain;

    QColor text = Resolve(cell.m_textColour, palette.color(QPalette::Text));
    QColor back = Resolve(cell.m_backgroundColour, palette.color(QPalette::Base));
    if (selectedLook) {
        text = focused ? Resolve(cell.m_selectedTextColour, palette.color(QPalette::HighlightedText))
                       : Resolve(cell.m_selectedTextColour, palette.color(QPalette::Text));
        back = focused ? Resolve(cell.m_selectedBackground, palette.color(QPalette::Highlight))
                       : Resolve(cell.m_selectedBackgroundUnfocused, palette.color(QPalette::Button));
    }
    const QColor normalBack = Resolve(cell.m_backgroundColour, palette.color(QPalette::Base));

    QRect textArea = option.rect;
    const std::vector<QPixmap>& images = m_list->StatusImages();
    if (cell.m_image >= 0 && static_cast<size_t>(cell.m_image) < images.size()) {
        const QPixmap& image = images[static_cast<size_t>(cell.m_image)];
        const QSize size = image.deviceIndependentSize().toSize().boundedTo(option.rect.size());
        int x = option.rect.left() + 1;
        if (cell.m_centreImage)
            x = option.rect.left() + (option.rect.width() - size.width()) / 2 + 1;
        const int y = std::max(option.rect.top(), option.rect.top() + (option.rect.height() - size.height()) / 2);
        const QRect imageRect(QPoint(x, y), size);
        // The image area keeps the normal background, selected or not.
        painter->fillRect(QRect(option.rect.left(), option.rect.top(), imageRect.right() - option.rect.left() + 1,
                                option.rect.height()),
                          normalBack);
        painter->drawPixmap(imageRect, image);
        textArea.setLeft(imageRect.right() + 1);
    }
    if (textArea.width() > 0)
        painter->fillRect(textArea, back);
    if (cell.m_text.empty())
        return;
    DrawText(painter, option, cell, textArea.adjusted(2, 0, 0, 0), text);
}
