#include "app/ToolBarFilters.h"

#include <algorithm>
#include <cmath>

namespace ToolBarFilters {
namespace {

constexpr uint32_t ColourBits = 0x00FFFFFF;

bool IsMask(uint32_t pixel, uint32_t mask) {
    return (pixel & ColourBits) == (mask & ColourBits);
}

struct Hsl {
    double h; // 0..6 (sixths of the circle)
    double s;
    double l;
};

Hsl ToHsl(double r, double g, double b) {
    const double high = std::max({r, g, b});
    const double low = std::min({r, g, b});
    const double l = (high + low) / 2;
    const double d = high - low;
    if (d == 0)
        return {0, 0, l};
    const double s = l > 0.5 ? d / (2 - high - low) : d / (high + low);
    double h;
    if (high == r)
        h = std::fmod((g - b) / d + 6, 6);
    else if (high == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    return {h, s, l};
}

double HueToChannel(double p, double q, double h) {
    if (h < 0)
        h += 6;
    if (h >= 6)
        h -= 6;
    if (h < 1)
        return p + (q - p) * h;
    if (h < 3)
        return q;
    if (h < 4)
        return p + (q - p) * (4 - h);
    return p;
}

uint32_t Channel(double value) {
    return static_cast<uint32_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

} // namespace

uint32_t Greyscale(uint32_t pixel, uint32_t mask) {
    if (IsMask(pixel, mask))
        return pixel;
    const uint32_t r = (pixel >> 16) & 0xFF;
    const uint32_t g = (pixel >> 8) & 0xFF;
    const uint32_t b = pixel & 0xFF;
    const uint32_t grey = (3 * r + 6 * g + b) / 10;
    return (pixel & 0xFF000000) | (grey << 16) | (grey << 8) | grey;
}

uint32_t Lightness(uint32_t pixel, double amount, uint32_t mask) {
    if (IsMask(pixel, mask))
        return pixel;
    const Hsl hsl = ToHsl(((pixel >> 16) & 0xFF) / 255.0, ((pixel >> 8) & 0xFF) / 255.0, (pixel & 0xFF) / 255.0);
    if ((amount > 0 && hsl.l >= 1) || (amount < 0 && hsl.l <= 0))
        return pixel;
    const double l = std::clamp(hsl.l + amount, 0.0, 1.0);
    const double q = l < 0.5 ? l * (1 + hsl.s) : l + hsl.s - l * hsl.s;
    const double p = 2 * l - q;
    const uint32_t r = Channel(HueToChannel(p, q, hsl.h + 2));
    const uint32_t g = Channel(HueToChannel(p, q, hsl.h));
    const uint32_t b = Channel(HueToChannel(p, q, hsl.h - 2));
    return (pixel & 0xFF000000) | (r << 16) | (g << 8) | b;
}

void MakeDisabled(std::span<uint32_t> pixels, uint32_t mask) {
    for (uint32_t& pixel : pixels) {
        pixel = Greyscale(pixel, mask);
        for (int i = 0; i < 3; ++i)
            pixel = Lightness(pixel, 0.06, mask);
    }
}

void MakeHot(std::span<uint32_t> pixels, uint32_t mask) {
    for (uint32_t& pixel : pixels)
        for (int i = 0; i < 2; ++i)
            pixel = Lightness(pixel, -0.04, mask);
}

} // namespace ToolBarFilters
