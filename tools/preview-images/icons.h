#pragma once
// Draws the preview's button strip: 25 icons of 16 x 16 pixels side by side on the mask colour,
// pixel by pixel so that every build makes the same bitmap.

#include "platform/graphics/raster_image.h"

inline constexpr std::uint32_t IconMaskPixel = 0xFFFF00FFu;

TRasterImage DrawPreviewButtonStrip();
