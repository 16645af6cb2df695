#pragma once

#include <QToolBar>

#include <functional>
#include <map>
#include <vector>

class QAction;

// The main toolbar: 32 x 32 buttons whose disabled and hot pictures are made from the normal one by
// the filters of ToolBarFilters, as the toolbar of the program always looked.
class CToolBar24 : public QToolBar {
    Q_OBJECT
public:
    static constexpr int ImageSize = 32;
    static constexpr QRgb MaskColour = 0x00ECE9D8; // RGB(236,233,216)

    // One button; id 0 is a separator.
    struct Button {
        int id = 0;
        QString image; // resource path of its drawing
        QString tip;
    };

    explicit CToolBar24(QWidget* parent = nullptr);

    // Builds the buttons in order; a press sends its command id to dispatch.
    void LoadButtons(const std::vector<Button>& buttons, const std::function<void(int)>& dispatch);
    QAction* Action(int id) const;
    const std::map<int, QAction*>& Actions() const { return m_actions; }

    // The three pictures of one drawing: normal, disabled, hot.
    static QIcon MakeIcon(const QString& image);

private:
    std::map<int, QAction*> m_actions;
};
