#pragma once
// Colour-managed display images: 8-bit images converted for the screen (or
// for sRGB) before the GUI paints them, and the working image drawn into a
// display image on several threads.
//
// Painting here never goes through a device's colour space: a painter draws
// the bytes it is given. So each DrawDIB... function converts the pixels of
// a CImageEx from a source colour space to a destination profile with
// LittleCMS and leaves the painting (position, scale) to the caller. The
// result goes to `converted`, which may be the image itself (converted in
// place) or another CImageEx (a converted copy; the source stays as it is).
//
// Source colour space: a calibrated-RGB colour-space record (primaries,
// white and per-channel gammas, CColorProfile::GetLogColorSpace) made into a
// LittleCMS profile, with the intent the record names; without one, the
// sRGB profile of the colour directory itself (perceptual intent), rather
// than a power-law approximation of it.
//
// Result: true when `converted` holds the pixels colour-managed for the
// destination, either converted or left as they were because source and
// destination describe the same colour space (the destination's own record
// equals the source's: a conversion would only add rounding). False when no
// conversion could be made (the destination profile cannot be opened,
// LittleCMS refuses the transform) or the image is empty: `converted` then
// holds the unconverted pixels, which the caller paints as they are.
//
// Pixels convert 8 bits in and out in one LittleCMS call over all rows,
// rounded to the nearest 8-bit value. Widening to 16 bits (v * 257) and
// keeping the high byte of the result would add nothing but a truncation:
// LittleCMS's 8-bit matrix/shaper kernel stays within 0.7 of an 8-bit step
// of the exact result, whereas its 16-bit transform between two gamma-
// encoded profiles runs through a precalculated grid that misses by up to
// 18 steps where colours clip at the gamut's edge (measured from sRGB to an
// Adobe-RGB-like profile and back).

#include "core/ColorProfile.h"
#include "core/Rect.h"

#include <string>

class CImageEx;
class CRGBImage;
class CRGBMatrix;
class CRGBGammaTable;
class CColorTransform;

// Converts from the colour space (or sRGB) to the device's profile: the
// given one, else the monitor profile (GetMonitorProfile), else sRGB.
bool DrawDIBWithColorSpace(const CImageEx& image, CImageEx& converted,
                           const LogColorSpace* colorSpace,
                           const CColorProfile* deviceProfile = nullptr);

// Converts from the colour space (or sRGB) to the profile file at
// profilePath (a bare name is the colour directory's file); an empty path
// means the monitor profile, else sRGB. A path that cannot be opened gives
// the unconverted pixels and false.
bool DrawDIBWithMonitorProfile(const std::string& profilePath, const CImageEx& image,
                               CImageEx& converted, const LogColorSpace* colorSpace);

// Converts from the colour space to the sRGB profile of the colour
// directory. Without a colour space, or with sRGB's own record (as
// CColorProfile::IsSameLogColorSpace tells), the pixels are already sRGB and
// stay as they are.
bool DrawDIBWithProfile(const LogColorSpace* colorSpace, const CImageEx& image,
                        CImageEx& converted);

// CRGBImage::CopyRectConverted split over threads: the destination rows
// go out in bands through RunRowBands (core/RowBands.h) on threadCount
// threads (0: the process's row thread count, GetRowThreadCount). Every
// pixel converts on its own (the transforms are made without LittleCMS's
// pixel cache and the tone tables are only read), so the display image is
// byte for byte the one CopyRectConverted draws. The image is locked once,
// by a reader on the calling thread whose conversion the threads share. No
// progress is reported. False, drawing nothing, when a non-empty rectangle
// lies outside its image.
bool CopyRectConvertedParallel(CRGBImage& image, CImageEx& display, const CRect& src,
                               const CRect& dst, const CRGBMatrix* matrix,
                               const CRGBGammaTable* tables, const CColorTransform* transform,
                               const CColorTransform* secondTransform, unsigned threadCount = 0);
