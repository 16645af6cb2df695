// Judge pages come from whatever answers through a proxy: the parse and the rules must take anything.
#include "app/NullFrameView.h"
#include "platform/Clock.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/CInternetThread.h"
#include "tester/TestContext.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static AppSettings settings;
    static ProxyList list;
    static NullFrameView view;
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
