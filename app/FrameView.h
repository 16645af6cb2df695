#pragma once

#include "app/StatusPanel.h"
#include "tester/TestRunHost.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the frame's model asks of the window, beyond what a test run asks of its host. The window
// implements it; tests use a recording fake. Calls come from the window's thread unless a method says otherwise.
class FrameView : public TestRunHost {
public:
    // The selected rows in ascending order, as the list view counts them.
    virtual std::vector<uint32_t> SelectedRows() = 0;
    // The first selected row, or -1 without a selection. Cheap: the menus ask before every opening.
    virtual int64_t FirstSelectedRow() = 0;

    // Element updates of the statistics panel, applied in order.
    virtual void ShowPanelUpdates(const std::vector<PanelUpdate>& updates) = 0;
    // The tray icon cycles its frames while a proxy is active.
    virtual void AnimateTray(bool animate) = 0;
    // The end of a list download: the dialog with the count and the update time; its "Yes" tests the
    // whole list. Nothing where no one can answer.
    virtual void ShowDownloadDone(size_t /*count*/, const std::string& /*updateTime*/) {}
    // The system check's dialog, without waiting for it; several may be open.
    virtual void ShowSystemCheckDialog() {}
    // A switch ended: the address and port of the proxy now active, both empty for a direct connection.
    virtual void ActiveProxyChanged(const std::string& /*address*/, const std::string& /*port*/) {}
    void ShowTestLine(TestLineMode mode, const std::string& text) final {
        ShowPanelUpdates({StatusPanel::TestLine(mode, text)});
    }
};
