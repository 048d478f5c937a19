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
#include "core/RGB16.h"
#include "core/Rect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CImageEx;
class CRGBImage;
class CRGBMatrix;
class CRGBGammaTable;
class CColorTransform;

// One conversion of 8-bit pixels (blue, green, red) from a colour space to
// a device profile, prepared once and then applied to any number of rows:
// the DrawDIB functions below convert a whole image through it, the print
// job a band of rows at a time.
//
// Source: the colour-space record made into a LittleCMS profile, with the
// intent the record names; without a record, the sRGB profile of the
// colour directory (perceptual intent).
//
// Proof (optional): the pixels are first brought into the proof profile's
// gamut with the source's intent and then taken on to the destination
// relative colorimetrically, so that no colour leaves the proof device's
// gamut (LittleCMS's soft-proofing chain: source -> proof -> destination).
//
// Without a proof, a destination whose own record equals the source's
// describes the same colour space: the conversion is the identity and the
// pixels stay as they are.
//
// 16-bit input (Rgb16): RGB16 pixels (red, green, blue) of the source space
// to 8-bit pixels (blue, green, red) of the destination, rounded to the
// nearest value. This is the print copy's conversion: the working image's
// linear 16-bit values go to the printer's bytes in one step, so no 8-bit
// intermediate quantises colours that the conversion stretches (near the
// destination's gamut edge one 8-bit step of a wide source becomes several
// steps of the destination). It is never the identity; from a record equal
// to the destination's own it only brings the values to 8 bits.
enum class PixelInput
{
    Bgr8,
    Rgb16
};

class CPixelConversion
{
public:

    // False when the source profile cannot be made (a record that is not
    // calibrated RGB, no sRGB profile), the destination or proof profile
    // cannot be opened by LittleCMS, or LittleCMS refuses the transform;
    // then *reason (when given) says which, in English, and the object
    // converts nothing.
    bool Prepare(const LogColorSpace* colorSpace, const CColorProfile& destination,
                 const CColorProfile* proof = nullptr, std::string* reason = nullptr,
                 PixelInput input = PixelInput::Bgr8);

    bool IsReady() const { return m_ready; }
    // Prepared, and the pixels stay as they are.
    bool IsIdentity() const { return m_ready && !m_transform; }
    PixelInput Input() const { return m_input; }

    // Converts `rows` rows of `width` pixels in place, `pitch` bytes apart.
    // Nothing happens unless prepared for Bgr8. The transform keeps no
    // pixel cache, so threads may convert different rows at once.
    void ConvertRows(std::uint8_t* bits, int width, int rows, int pitch) const;
    // Converts `rows` rows of `width` RGB16 pixels (`inStride` pixels from
    // one row to the next) into 8-bit rows of out, `outPitch` bytes apart.
    // Nothing happens unless prepared for Rgb16; threads as above.
    void ConvertRows16(const RGB16* in, std::size_t inStride, std::uint8_t* out, int outPitch,
                       int width, int rows) const;

private:
    // Deletes a LittleCMS transform (cmsHTRANSFORM is void*).
    struct TransformDeleter
    {
        void operator()(void* transform) const;
    };

    bool m_ready = false;
    PixelInput m_input = PixelInput::Bgr8;
    std::unique_ptr<void, TransformDeleter> m_transform;
};

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

// A 16-bit image in the colour space (null: sRGB; the print copy is linear
// RGB in its input primaries, described by the linear record) converted
// into display, made at the image's size, for the profile file at
// profilePath chosen as DrawDIBWithMonitorProfile chooses it; the rows go
// out on every hardware thread. When that profile cannot be used the
// pixels are converted for sRGB instead (the screen shows the image, not
// its linear values) and the result is false; display is empty only when
// the image is empty, memory is short or not even sRGB can be made.
bool ConvertImageForProfile(const std::string& profilePath, const CRGBImage& image,
                            CImageEx& display, const LogColorSpace* colorSpace);

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
