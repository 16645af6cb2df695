#include "app/ToolBarFilters.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t Mask = 0x00ECE9D8;

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

} // namespace

TEST(ToolBarFilters, GreyscaleWeighsTheChannelsInIntegers) {
    // (3 * 100 + 6 * 200 + 50) / 10 = 155
    EXPECT_EQ(ToolBarFilters::Greyscale(Argb(0xFF, 100, 200, 50), Mask), Argb(0xFF, 155, 155, 155));
    // (3 * 255 + 0 + 1) / 10 = 76, rounded down
    EXPECT_EQ(ToolBarFilters::Greyscale(Argb(0x80, 255, 0, 1), Mask), Argb(0x80, 76, 76, 76));
}

TEST(ToolBarFilters, TheMaskColourPassesEveryFilterUnchanged) {
    const uint32_t mask = Argb(0xFF, 236, 233, 216);
    EXPECT_EQ(ToolBarFilters::Greyscale(mask, Mask), mask);
    EXPECT_EQ(ToolBarFilters::Lightness(mask, 0.5, Mask), mask);
    std::vector<uint32_t> pixels = {mask, mask};
    ToolBarFilters::MakeDisabled(pixels, Mask);
    ToolBarFilters::MakeHot(pixels, Mask);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{mask, mask}));
}

TEST(ToolBarFilters, LightnessLeavesTheEndsItMovesTowards) {
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0xFF, 255, 255, 255), 0.06, Mask), Argb(0xFF, 255, 255, 255));
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0xFF, 0, 0, 0), -0.04, Mask), Argb(0xFF, 0, 0, 0));
    // Clamped at the ends.
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0xFF, 250, 250, 250), 0.5, Mask), Argb(0xFF, 255, 255, 255));
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0xFF, 10, 10, 10), -0.5, Mask), Argb(0x0FF, 0, 0, 0));
}

TEST(ToolBarFilters, LightnessKeepsHueAndSaturation) {
    // Pure red has lightness 0.5; +0.1 gives 0.6 with full saturation: (255, 51, 51).
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0xFF, 255, 0, 0), 0.1, Mask), Argb(0xFF, 255, 51, 51));
    // Grey 128 goes 0.04 darker: 128 - 10.2 = 118 after rounding.
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0xFF, 128, 128, 128), -0.04, Mask), Argb(0xFF, 118, 118, 118));
    // Alpha is not touched.
    EXPECT_EQ(ToolBarFilters::Lightness(Argb(0x00, 0, 0, 255), 0.0, Mask), Argb(0x00, 0, 0, 255));
}

TEST(ToolBarFilters, DisabledImageIsLighterGreyAndHotImageIsDarker) {
    std::vector<uint32_t> disabled = {Argb(0xFF, 0, 0, 200)};
    ToolBarFilters::MakeDisabled(disabled, Mask);
    // Greyscale: 20; then three steps of +0.06, each rounded to a pixel: 35, 50, 65.
    EXPECT_EQ(disabled[0], Argb(0xFF, 65, 65, 65));
    std::vector<uint32_t> hot = {Argb(0xFF, 200, 200, 200)};
    ToolBarFilters::MakeHot(hot, Mask);
    EXPECT_EQ(hot[0], Argb(0xFF, 180, 180, 180));
}
