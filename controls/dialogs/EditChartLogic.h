#pragma once
// The chart editing dialog's edit of a whole chart, apart from Qt.
//
// Every cell goes to CIE LCh under the converter's white and back:
//   L' = clamp(L x kL, 0, 100), C' = max(0, C x kC), h' = h + dh wrapped
//   into 0..360,
// with kL = lightness / 100, kC = chroma / 100 (percent positions 50..150)
// and dh = hue / 50 x 30 degrees (position -50..50, so -30..+30), all
// divided as real numbers. Each edit starts from the source, so the three
// positions always describe the whole edit.

#include "controls/support/ColorRef.h"
#include "core/CIEColor.h"
#include "core/T2DArray.h"

class CColorConverter;

struct EditChartPositions
{
    int lightness = 100; // percent
    int chroma = 100;    // percent
    int hue = 0;         // -50..50
};

// True when the converter can edit: it exists and has its input and
// working profiles.
bool EditChartCanConvert(const CColorConverter* converter);

// The source edited by the positions; the source itself when the
// converter cannot edit.
T2DArray<CCIEXYZ> EditChartColors(const T2DArray<CCIEXYZ>& source, const EditChartPositions& positions,
                                  const CColorConverter* converter);

// The cells the grid shows: the monitor RGB of every colour in one
// conversion, or one black cell when the converter cannot edit.
T2DArray<RGBColor> EditChartGridCells(const T2DArray<CCIEXYZ>& colors, const CColorConverter* converter);
