#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace platform {

int32_t SystemClock::LocalTimeOfDayMs() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + static_cast<int32_t>(ms);
}

std::string SystemClock::FormatLocalTime(const char* format) {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[128] = {};
    const size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

} // namespace platform
