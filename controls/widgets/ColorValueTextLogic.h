#pragma once
// The three labelled lines of the colour value text, apart from Qt.

#include "core/CIEColor.h"

#include <array>
#include <string>

class CColorConverter;

struct ColorValueLine
{
    std::string label;
    std::string value;
    bool operator==(const ColorValueLine&) const = default;
};

// The white of the converter's input space, or D65 (95.043, 100, 108.879)
// without a converter; Lab values are taken against it.
CCIEXYZ ColorValueWhite(const CColorConverter* converter);

// The lines by notation: 1 X, Y, Z ("%.1f"); 2 Y ("%.1f"), x, y ("%.3f");
// 3 L, a, b ("%.1f") under ColorValueWhite; 4 the input RGB of the
// converter, each 16-bit channel shifted right by 8 ("%d"), empty values
// without a converter. Labels are "X :" and the like; any other notation
// has empty labels and values. Values are empty unless showValues.
std::array<ColorValueLine, 3> BuildColorValueLines(int notation, const CCIEXYZ& value, bool showValues,
                                                   const CColorConverter* converter);

// True when the value is to be shown in red: a converter is given and says
// the value does not fall inside its input RGB range.
bool ColorValueOutOfRange(const CCIEXYZ& value, const CColorConverter* converter);
