#pragma once
// Fixtures shared by the core suites: deterministic 16-bit images, tone
// tables and matrices that make a wrongly applied conversion show,
// LittleCMS profiles built in memory, and byte readers for ICC data.

#include "core/ColorProfile.h"
#include "core/GammaTable.h"
#include "core/RGB16.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"

#include <lcms2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CImageEx;

namespace coretest {

// ------------------------------------------------------------ working images

// n pseudo-random pixels over the whole 16-bit range, the same for a seed.
std::vector<RGB16> RandomPixels(std::size_t n, unsigned seed);
// A w x h image of RandomPixels(w * h, seed).
CRGBImage RandomImage(int w, int h, unsigned seed);

// Three distinct tone tables: R halves, G inverts, B scrambles the bits, so
// that a channel read through the wrong table or not at all shows.
CRGBGammaTable DistinctTables();

// A channel-mixing matrix that pushes some channels above 65535 and some
// below 0, so clamping matters.
CRGBMatrix MixingMatrix();

// ------------------------------------------------------------ LittleCMS profiles

// sRGB primaries and D65 white with linear curves (gamma 1.0).
LcmsProfilePtr LinearSRGBProfile();

// The bytes of a LittleCMS profile, which is closed (empty when the handle
// is null or cannot be saved).
std::vector<std::uint8_t> SaveLcmsProfile(cmsHPROFILE h);

// Chromaticities of three primaries and a white.
struct Primaries
{
    double rx, ry, gx, gy, bx, by, wx, wy;
};

inline constexpr Primaries kSRGBPrimaries{0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
// Adobe RGB (1998): the green lies well outside sRGB's.
inline constexpr Primaries kWidePrimaries{0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290};

// A version-4 matrix/shaper profile as LittleCMS writes one ('para' curves),
// one gamma in all three channels.
std::vector<std::uint8_t> LcmsRGBProfileBytes(const Primaries& p, double gamma);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// ------------------------------------------------------------ bytes and images

// Big-endian numbers, as ICC data stores them.
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at);

// The value of grid index i (0..16) of a LUT file on the 8-bit scale:
// i * 255 / 16 rounded.
int GridValue(std::size_t i);

// Same size and the same bytes in every pixel (row padding aside).
bool SamePixels(const CImageEx& a, const CImageEx& b);

} // namespace coretest
