#include "ui/CToolBar24.h"

#include "app/ToolBarFilters.h"

#include <QAction>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

QImage Render(const QString& image) {
    QImage picture(CToolBar24::ImageSize, CToolBar24::ImageSize, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(image);
    if (renderer.isValid()) {
        QPainter painter(&picture);
        renderer.render(&painter);
    }
    return picture;
}

std::span<uint32_t> Pixels(QImage& image) {
    return {reinterpret_cast<uint32_t*>(image.bits()), static_cast<size_t>(image.width() * image.height())};
}

} // namespace

CToolBar24::CToolBar24(QWidget* parent) : QToolBar(parent) {
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(ImageSize, ImageSize));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Flat buttons in one row that fits above the etched line at y = 41.
    setContentsMargins(0, 0, 0, 0);
    setStyleSheet(QStringLiteral("QToolBar { border: none; padding: 0px; spacing: 1px; }"
                                 "QToolButton { padding: 2px; }"));
}

QIcon CToolBar24::MakeIcon(const QString& image) {
    const QImage normal = Render(image);
    QImage disabled = normal;
    ToolBarFilters::MakeDisabled(Pixels(disabled), MaskColour);
    QImage hot = normal;
    ToolBarFilters::MakeHot(Pixels(hot), MaskColour);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
    icon.addPixmap(QPixmap::fromImage(hot), QIcon::Active);
    return icon;
}

void CToolBar24::LoadButtons(const std::vector<Button>& buttons, const std::function<void(int)>& dispatch) {
    for (const Button& button : buttons) {
        if (button.id == 0) {
            addSeparator();
            continue;
        }
        QAction* action = addAction(MakeIcon(button.image), button.tip);
        action->setToolTip(button.tip);
        action->setData(button.id);
        const int id = button.id;
        connect(action, &QAction::triggered, this, [dispatch, id] { dispatch(id); });
        m_actions[id] = action;
    }
}

QAction* CToolBar24::Action(int id) const {
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}
