#include "platform/PortNumber.h"

namespace {

constexpr uint32_t PortCount = 65536;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<uint16_t> ParsePort(std::string_view text) {
    const auto port = text.size() <= 5 ? ParsePortOrAny(text) : std::nullopt;
    if (!port || *port == 0)
        return std::nullopt;
    return port;
}

std::optional<uint16_t> ParsePortOrAny(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value >= PortCount)
            return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

uint16_t FoldPort(std::string_view text) {
    uint32_t value = 0;
    for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i)
        value = (value * 10 + static_cast<uint32_t>(text[i] - '0')) % PortCount;
    return static_cast<uint16_t>(value);
}
