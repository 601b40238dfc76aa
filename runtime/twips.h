#pragma once

#include <cmath>

// Twips are 1/1440 inch; at 96 dots per inch a device-independent pixel is 15 twips.
namespace Twips {

constexpr int PerPixel = 15;

// Pixels for a length in twips, rounded to the nearest pixel.
inline int toPixels(double twips) { return int(std::lround(twips / PerPixel)); }

// Twips for a length in pixels.
inline double fromPixels(int pixels) { return double(pixels) * PerPixel; }

} // namespace Twips
