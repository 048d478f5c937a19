#pragma once
// The colour search dialog's colour arithmetic, apart from Qt.
//
// A candidate is the base colour moved in CIE LCh by whole offsets:
//   L' = L + dL (unlimited), C' = max(0, C + dC), h' = h + dh degrees,
// with (L, C, h) from the base's Lab under the dialog's white. Chroma is
// floored only in the candidate, so the offset itself may keep falling
// while the colour stays neutral.

#include "controls/support/ColorRef.h"
#include "core/CIEColor.h"

#include <array>
#include <string>

class CColorConverter;

// Units of the three edits.
enum class ColorSearchUnit : int
{
    XYZ = 1,
    Yxy = 2,
    Lab = 3,
    RGB = 4,
};

struct ColorSearchOffsets
{
    int lightness = 0;
    int chroma = 0;
    int hue = 0;
    bool operator==(const ColorSearchOffsets&) const = default;
};

CCIEXYZ ShiftedColor(const CCIEXYZ& color, const ColorSearchOffsets& offsets, const CCIEXYZ& white);

// The colour a patch shows: the converter's monitor RGB, or white (65535
// in each channel) without a converter.
RGBColor ColorSearchPatchColor(const CCIEXYZ& xyz, const CColorConverter* converter);

// How one edit of a unit shows its value.
struct ColorSearchField
{
    const char* label; // "X :"
    bool integer;
    int decimals;
    double min;
    double max;
};
std::array<ColorSearchField, 3> ColorSearchFields(ColorSearchUnit unit);

// The three values of the colour in the unit. RGB: the high bytes of the
// converter's input RGB, 255 each without a converter.
std::array<double, 3> ColorSearchValues(ColorSearchUnit unit, const CCIEXYZ& xyz,
                                        const CCIEXYZ& white, const CColorConverter* converter);

// The base colour from the three typed values. RGB widens each 8-bit value
// v to v x 257 (so 255 is 65535, the top of the 16-bit range, as everywhere
// in the program) before the converter's input RGB to XYZ; without a
// converter the RGB unit gives (0, 0, 0).
CCIEXYZ ColorSearchBaseFromValues(ColorSearchUnit unit, const std::array<double, 3>& values,
                                  const CCIEXYZ& white, const CColorConverter* converter);

// Slider positions from a Lab value: L and C truncated; h = atan2(b, a) in
// degrees, made positive by adding a turn, truncated; 0 outside 0..359.
struct ColorSearchSliders
{
    int lightness = 0;
    int chroma = 0;
    int hue = 0;
    bool operator==(const ColorSearchSliders&) const = default;
};
ColorSearchSliders ColorSearchSlidersFromLab(const CCIELab& lab);
// The colour of slider positions: Lab(L, C cos h, C sin h) under the white.
CCIEXYZ ColorSearchColorFromSliders(const ColorSearchSliders& sliders, const CCIEXYZ& white);

// The colour difference text: CIE 1976 Delta E*ab as "%6.2f".
std::string ColorSearchDifferenceText(double deltaE);
