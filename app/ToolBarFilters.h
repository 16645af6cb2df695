#pragma once

#include <cstdint>
#include <span>

// The filters that make the toolbar's disabled and hot images from its normal one.
// Pixels are 0xAARRGGBB; alpha passes through, and a pixel whose colour equals the mask colour
// passes unchanged (it is the transparent background of the bitmap).
namespace ToolBarFilters {

// R, G and B all become (3R + 6G + B) / 10.
uint32_t Greyscale(uint32_t pixel, uint32_t mask);
// Adds amount to the pixel's lightness (0..1) in hue-saturation-lightness space, clamped to 0..1.
uint32_t Lightness(uint32_t pixel, double amount, uint32_t mask);

// The chains of the toolbar: disabled = greyscale, then lightness +0.06 three times;
// hot = lightness -0.04 twice.
void MakeDisabled(std::span<uint32_t> pixels, uint32_t mask);
void MakeHot(std::span<uint32_t> pixels, uint32_t mask);

} // namespace ToolBarFilters
