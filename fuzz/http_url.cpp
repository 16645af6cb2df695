// The judge's URL comes from the settings file; its split must take any text.
#include "platform/PortNumber.h"
#include "tester/CInternetThread.h"
#include "tester/HttpGetDirect.h"
#include "tester/TestContext.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    const HttpUrl parts = SplitHttpUrl(url);
    if (parts.path.empty() || parts.path[0] != '/' || parts.host.size() > url.size())
        __builtin_trap();
    ComputeJudgeHost(url);
    FoldPort(url);
    return 0;
}
