#pragma once
// The colour shown for a hue on the colour controls: the CIE LCh colour of
// lightness 65 and chroma 100 at that hue, put into sRGB. At chroma 100
// most hues lie outside the sRGB gamut; the channels are clipped, which
// keeps the swatches vivid and their hue order right.

#include "core/CIEColor.h"
#include "core/RGB16.h"

// The swatch for hue degrees (any real value; the hue wraps round).
void HueSwatchColor(RGB16& pixel, double hue);

// XYZ (white Y = 100) to the swatch's 16-bit sRGB: linear RGB through the
// inverse of the sRGB primaries matrix, each channel clipped to 0..1 and
// encoded with the exponent 1/2.4.
void SwatchColorFromXYZ(RGB16& pixel, const CCIEXYZ& xyz);
