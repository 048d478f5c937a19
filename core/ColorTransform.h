#pragma once
// A colour transform of the colour engine (LittleCMS) that converts 16-bit
// RGB pixels to 16-bit RGB pixels. Owns its cmsHTRANSFORM. Transforms are
// created without LittleCMS's one-pixel cache (cmsFLAGS_NOCACHE), so one
// transform can convert from several threads at once.
//
// Transforms are made in a LittleCMS context of our own whose error handler
// discards the messages: a transform that cannot be made is reported to the
// caller as an invalid object.

#include "core/RGB16.h"

#include <cstddef>
#include <lcms2.h>

class CColorTransform
{
public:
    // Takes ownership of transform (which must convert TYPE_RGB_16 to
    // TYPE_RGB_16); a null transform makes an invalid object.
    explicit CColorTransform(cmsHTRANSFORM transform = nullptr);
    ~CColorTransform();
    CColorTransform(const CColorTransform&) = delete;
    CColorTransform& operator=(const CColorTransform&) = delete;
    CColorTransform(CColorTransform&& other) noexcept;
    CColorTransform& operator=(CColorTransform&& other) noexcept;

    bool IsValid() const { return m_transform != nullptr; }
    cmsHTRANSFORM Handle() const { return m_transform; }

    // Converts n pixels; src and dst may be the same buffer. Does nothing
    // when the object is invalid.
    void Translate(const RGB16* src, RGB16* dst, std::size_t n) const;

    // A transform between two profiles, 16-bit RGB in and out, perceptual
    // intent, without the one-pixel cache (cmsFLAGS_NOCACHE is added to the
    // given flags). Invalid when LittleCMS refuses.
    static CColorTransform Create(cmsHPROFILE input, cmsHPROFILE output,
                                  cmsUInt32Number intent = INTENT_PERCEPTUAL,
                                  cmsUInt32Number flags = 0);
    // The transform of one RGB-to-RGB device-link profile, likewise.
    static CColorTransform CreateFromDeviceLink(cmsHPROFILE deviceLink,
                                                cmsUInt32Number intent = INTENT_PERCEPTUAL,
                                                cmsUInt32Number flags = 0);

private:
    cmsHTRANSFORM m_transform = nullptr;
};

// The quiet LittleCMS context the transforms above are made in, for code
// that builds transforms of other pixel formats. It lives until the process
// ends.
cmsContext QuietLcmsContext();
