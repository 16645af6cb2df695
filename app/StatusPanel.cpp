#include "app/StatusPanel.h"

PanelUpdate StatusPanel::PanelValue(std::string_view id, int32_t value) {
    return {std::string(id), std::to_string(value)};
}

PanelUpdate StatusPanel::DownloadLine() {
    return {"test",
            "<div style=\"float:left\"><img src=\"res://orv.exe/143\" align=\"absmiddle\">&nbsp;Downloading the "
            "proxy list...</div>"};
}

PanelUpdate StatusPanel::TestLine(TestLineMode mode, std::string_view text) {
    std::string html;
    if (mode == TestLineMode::Running) {
        html = "<div style=\"float:left\"><img src=\"res://orv.exe/143\" align=\"absmiddle\">&nbsp;Testing the proxy "
               "list...</div><div class=\"right\"><span id=\"progress\">";
        html += text.empty() ? std::string_view("0") : text;
        html += "</span>%</div>";
    } else {
        html = "<div style=\"float:left\">The proxies were last tested at:</div><div class=\"right\"><span "
               "id=\"date\">";
        html += text.empty() ? std::string_view("(not tested yet)") : text;
        html += "</span></div>";
    }
    return {"test", html};
}

std::vector<PanelUpdate> StatusPanel::Tick(const PanelCounters& now) {
    std::vector<PanelUpdate> updates;
    auto refresh = [&](int32_t PanelCounters::*field, std::string_view id) {
        if (now.*field != m_shown.*field) {
            m_shown.*field = now.*field;
            updates.push_back(PanelValue(id, now.*field));
        }
    };
    refresh(&PanelCounters::level1, "level1");
    refresh(&PanelCounters::level2, "level2");
    refresh(&PanelCounters::level3, "level3");
    refresh(&PanelCounters::progress, "progress");
    refresh(&PanelCounters::ready, "ready");
    return updates;
}

PanelRefresh StatusPanel::FullRefresh(const PanelSnapshot& snapshot) {
    PanelRefresh refresh;
    refresh.updates = {PanelValue("total", snapshot.total), PanelValue("level1", snapshot.level1),
                       PanelValue("level2", snapshot.level2), PanelValue("level3", snapshot.level3),
                       PanelValue("ready", snapshot.ready)};
    refresh.clearLastTested = snapshot.total == 0;
    if (snapshot.downloading) {
        refresh.updates.push_back(DownloadLine());
    } else if (!snapshot.testing) {
        refresh.updates.push_back(
            TestLine(TestLineMode::LastTested, refresh.clearLastTested ? "" : snapshot.lastTestedText));
    }
    refresh.animateTray = snapshot.activeProxy.has_value();
    refresh.updates.emplace_back("activeproxy", snapshot.activeProxy.value_or("None"));
    return refresh;
}
