// Judge pages come from whatever answers through a proxy: the parse and the rules must take anything.
#include "platform/Clock.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/CInternetThread.h"
#include "tester/TestContext.h"
#include "ui/FrameView.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class NoView : public FrameView {
public:
    void RedrawRows(int32_t, int32_t) override {}
    void RefreshListView() override {}
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
    std::vector<uint32_t> SelectedRows() override { return {}; }
    int64_t FirstSelectedRow() override { return -1; }
    void ShowPanelUpdates(const std::vector<PanelUpdate>&) override {}
    void ShowBalloon(const std::string&, const std::string&, int, int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static AppSettings settings;
    static ProxyList list;
    static NoView view;
    static platform::FixedClock clock;
    static TestContext context(settings, list, view, clock);
    const std::string input(reinterpret_cast<const char*>(data), size);
    settings.StrictTest = size % 2;
    settings.TestGateway = 1;
    context.OwnAddress = "1.2.3.4";
    CInternetThread worker(context);
    worker.m_proxyAddress = "10.0.0.1:8080";
    worker.m_reply = input;
    const int32_t level = worker.ClassifyReply();
    if (level < 0 || level > 3)
        __builtin_trap();
    ExtractOwnAddress(input);
    return 0;
}
