#pragma once
// ICC profiles made for tests and benchmarks with LittleCMS (plain C++, no
// test framework, so that the benchmarks can compile it in too).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// A wide-gamut version-2.1 matrix/shaper profile: Adobe-RGB-like primaries
// (the green well outside sRGB's), D65 white, gamma 2.2. Empty when
// LittleCMS cannot make it.
std::vector<std::uint8_t> WideGamutProfileBytes();

// A version-2.1 monitor profile with Display-P3-like primaries, D65 white,
// gamma 2.2, described as below.
inline constexpr const char* kP3LikeProfileDescription = "P3 like 6500K 2.2";
std::vector<std::uint8_t> P3LikeProfileBytes();

// LittleCMS's own conversion of 16-bit pixels (red, green, blue) in the
// profile `from` to 8-bit pixels (red, green, blue) in the profile `to`,
// in double precision without optimisation, perceptual intent, rounded to
// the nearest value: the reference the printed pixels are held against.
// Empty when a profile or the transform cannot be made.
std::vector<std::uint8_t> ReferenceRgb16To8(const std::vector<std::uint8_t>& from,
                                            const std::vector<std::uint8_t>& to,
                                            const std::uint16_t* rgb, std::size_t count);

} // namespace testsupport
