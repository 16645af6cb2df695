#include "platform/PortNumber.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace {

constexpr std::nullopt_t None = std::nullopt;

} // namespace

// One text through all three readings: a proxy address's port, a listener's port (0 allowed, any length)
// and the tester's socket field (leading digits, folded).
TEST(PortNumber, EachReadingTakesWhatItsCallersTake) {
    const struct {
        std::string_view text;
        std::optional<uint16_t> port;
        std::optional<uint16_t> orAny;
        uint16_t folded;
    } cases[] = {
        {"8080", 8080, 8080, 8080},
        {"1", 1, 1, 1},
        {"65535", 65535, 65535, 65535},
        {"0", None, 0, 0},
        {"00000", None, 0, 0},
        {"65536", None, None, 0},
        {"99999", None, None, 99999 - 65536},
        {"08080", 8080, 8080, 8080},
        {"008080", None, 8080, 8080},
        {"000000000000000000000080", None, 80, 80},
        {"123456", None, None, 123456 % 65536},
        {"", None, None, 0},
        {"80ab", None, None, 80},
        {"x80", None, None, 0},
        {" 80", None, None, 0},
        {"80 ", None, None, 80},
        {"+80", None, None, 0},
        {"-1", None, None, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParsePort(c.text), c.port) << '"' << c.text << '"';
        EXPECT_EQ(ParsePortOrAny(c.text), c.orAny) << '"' << c.text << '"';
        EXPECT_EQ(FoldPort(c.text), c.folded) << '"' << c.text << '"';
    }
}
