#pragma once
// A 16-bit TIFF with the sRGB profile embedded for the main-window tests:
// red rising along x, green along y, blue 20000.

#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

inline std::string WriteGradientTiff16(const std::string& path, int width = 80, int height = 60,
                                       float dpi = 300.0f)
{
    CRGBImage image(width, height);
    RGB16* p = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<std::size_t>(y) * width + x] =
                RGB16{static_cast<std::uint16_t>(65535LL * x / (width - 1)),
                      static_cast<std::uint16_t>(65535LL * y / (height - 1)),
                      std::uint16_t{20000}};
    image.Unlock();
    CImageFileInfo out;
    out.m_path = path;
    out.m_type = kImageFileTiff16;
    out.m_detectedType = kImageFileTiff16;
    out.m_width = width;
    out.m_height = height;
    out.m_xResolution = out.m_yResolution = dpi;
    out.m_iccProfile = BuildSRGBProfileBytes();
    EXPECT_EQ(SaveTiff16(nullptr, out, image, {}), 1) << path;
    return path;
}
