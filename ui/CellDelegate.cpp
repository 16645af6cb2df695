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
    painter->setPen(text);
    painter->setFont(option.font);
    const QRect textRect = textArea.adjusted(2, 0, 0, 0);
    const QString full = QString::fromLatin1(cell.m_text.data(), static_cast<qsizetype>(cell.m_text.size()));
    const QString shown = option.fontMetrics.elidedText(full, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, shown);
}
