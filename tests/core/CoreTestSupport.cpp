#include "tests/core/CoreTestSupport.h"

#include "core/ImageEx.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace coretest {

std::vector<RGB16> RandomPixels(std::size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> channel(0, 65535);
    std::vector<RGB16> v(n);
    for (RGB16& p : v)
        p = {static_cast<std::uint16_t>(channel(random)),
             static_cast<std::uint16_t>(channel(random)),
             static_cast<std::uint16_t>(channel(random))};
    return v;
}

CRGBImage RandomImage(int w, int h, unsigned seed)
{
    CRGBImage image(w, h);
    const std::vector<RGB16> pixels = RandomPixels(image.GetPixelCount(), seed);
    RGB16* p = image.Lock();
    std::copy(pixels.begin(), pixels.end(), p);
    image.Unlock();
    return image;
}

CRGBGammaTable DistinctTables()
{
    std::vector<std::uint16_t> r(65536), g(65536), b(65536);
    for (std::size_t i = 0; i < 65536; ++i)
    {
        r[i] = static_cast<std::uint16_t>(i / 2);
        g[i] = static_cast<std::uint16_t>(65535 - i);
        b[i] = static_cast<std::uint16_t>(i ^ 0x5A5A);
    }
    CRGBGammaTable t;
    EXPECT_TRUE(t.Red().SetTable(r));
    EXPECT_TRUE(t.Green().SetTable(g));
    EXPECT_TRUE(t.Blue().SetTable(b));
    return t;
}

CRGBMatrix MixingMatrix()
{
    return CRGBMatrix(CStdMatrix(1.2, -0.3, 0.1, 0.2, 0.9, -0.15, -0.1, 0.4, 1.1));
}

LcmsProfilePtr LinearSRGBProfile()
{
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    LcmsProfilePtr p(cmsCreateRGBProfile(&d65, &primaries, curves));
    cmsFreeToneCurve(linear);
    return p;
}

std::vector<std::uint8_t> SaveLcmsProfile(cmsHPROFILE h)
{
    cmsUInt32Number size = 0;
    std::vector<std::uint8_t> bytes;
    if (h && cmsSaveProfileToMem(h, nullptr, &size) && size > 0)
    {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(h, bytes.data(), &size))
            bytes.clear();
    }
    if (h)
        cmsCloseProfile(h);
    return bytes;
}

std::vector<std::uint8_t> LcmsRGBProfileBytes(const Primaries& p, double gamma)
{
    const cmsCIExyY white{p.wx, p.wy, 1.0};
    const cmsCIExyYTRIPLE primaries{{p.rx, p.ry, 1.0}, {p.gx, p.gy, 1.0}, {p.bx, p.by, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    std::vector<std::uint8_t> bytes =
        SaveLcmsProfile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    testsupport::WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
}

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

int GridValue(std::size_t i)
{
    return static_cast<int>(std::lround(static_cast<double>(i) * 255.0 / 16.0));
}

bool SamePixels(const CImageEx& a, const CImageEx& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.GetPixelAddress(0, y), b.GetPixelAddress(0, y),
                        static_cast<std::size_t>(a.GetWidth()) * 3) != 0)
            return false;
    return true;
}

} // namespace coretest
