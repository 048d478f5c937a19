// Timing of the display conversion: a generated 6000 x 4000 16-bit working
// image (linear RGB in sRGB primaries) drawn into an 8-bit display image for
// a wide-gamut monitor profile (Adobe-RGB-like primaries, D65, gamma 2.2, a
// version-2 profile as the monitor wizard writes one), with
// CRGBImage::CopyRectConverted and the converter's
//   1. own matrix and tone tables (UseOsCmm = 0),
//   2. LittleCMS transform (UseOsCmm = 1),
// against a bare LittleCMS transform of the same profiles (the converter's
// linear input profile to the monitor profile, TYPE_RGB_16 in, TYPE_BGR_8
// out, default flags) over the whole image in one cmsDoTransformLineStride
// call. All on one core; then the same on every core: ours through
// CopyRectConvertedParallel, the peer with one cmsDoTransformLineStride call
// per band of rows, one thread per band.
// Goals: the own tables at most 1.0x the peer, the LittleCMS path at most
// 1.1x. LittleCMS (2.13 and later) evaluates a transform from linear 16-bit
// RGB stage by stage in floating point rather than through a precalculated
// grid, which keeps the shadows exact and makes both LittleCMS sides slow;
// the own path's three table lookups after the matrix are what make it so
// much faster.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer;
// the last line gives the worst ratio. The threaded results are checked to
// be byte for byte the single-threaded ones.

#include "bench/BenchSupport.h"
#include "core/ColorConverter.h"
#include "core/ColorDisplay.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

[[noreturn]] void Fail(const char* what)
{
    bench::Fail("ColorConverterBench", what);
}

CStdVector XYZOfChromaticity(double x, double y)
{
    return CStdVector{x / y, 1.0, (1.0 - x - y) / y};
}

// The monitor profile: Adobe RGB (1998) primaries, D65, gamma 2.2, written
// by our own profile writers.
CColorProfile MonitorProfile()
{
    const CStdVector white = XYZOfChromaticity(0.3127, 0.3290);
    const CStdVector primaries[3] = {XYZOfChromaticity(0.64, 0.33), XYZOfChromaticity(0.21, 0.71),
                                     XYZOfChromaticity(0.15, 0.06)};
    CStdMatrix m(3, 3);
    for (std::uint32_t c = 0; c < 3; ++c)
        for (std::uint32_t r = 0; r < 3; ++r)
            m.SetAt(r, c, primaries[c][r]);
    if (!m.Invert())
        Fail("singular primaries");
    const CStdVector scale = m.MultiplyVector(white);
    CStdVector colorants[3];
    for (std::size_t c = 0; c < 3; ++c)
    {
        colorants[c] = primaries[c];
        colorants[c] *= scale[c];
    }
    BradfordAdapt(colorants[0], colorants[1], colorants[2], white);

    CColorProfile writer;
    bool ok = writer.CreateInMemory("monitor") &&
              writer.SetHeader(IccSignature("mntr"), IccSignature("XYZ ")) &&
              writer.SetDescriptionTag(IccSignature("desc"), "Wide-gamut monitor") &&
              writer.SetXYZTag(white, IccSignature("wtpt")) &&
              writer.SetXYZTag(colorants[0], IccSignature("rXYZ")) &&
              writer.SetXYZTag(colorants[1], IccSignature("gXYZ")) &&
              writer.SetXYZTag(colorants[2], IccSignature("bXYZ"));
    for (const char* tag : {"rTRC", "gTRC", "bTRC"})
        ok = ok && writer.SetGammaTag(2.2, IccSignature(tag));
    std::vector<std::uint8_t> bytes;
    CColorProfile profile;
    if (!ok || !writer.GetProfileBytes(bytes) || !profile.OpenFromMemory(bytes, "monitor"))
        Fail("cannot make the monitor profile");
    return profile;
}

struct TransformDeleter
{
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

// The peer over rows [first, end) of the image into the display image.
void PeerRows(const Transform& t, const std::vector<RGB16>& pixels, CImageEx& display, int first,
              int end)
{
    if (end <= first)
        return;
    cmsDoTransformLineStride(t.get(), &pixels[static_cast<std::size_t>(first) * Width],
                             display.GetPixelAddress(0, first), Width,
                             static_cast<cmsUInt32Number>(end - first), Width * sizeof(RGB16),
                             static_cast<cmsUInt32Number>(display.GetPitch()), 0, 0);
}

void PeerParallel(const Transform& t, const std::vector<RGB16>& pixels, CImageEx& display,
                  unsigned threads)
{
    std::vector<std::jthread> workers;
    for (unsigned i = 1; i < threads; ++i)
        workers.emplace_back([&, i] {
            PeerRows(t, pixels, display, static_cast<int>(std::int64_t{Height} * i / threads),
                     static_cast<int>(std::int64_t{Height} * (i + 1) / threads));
        });
    PeerRows(t, pixels, display, 0, static_cast<int>(Height / threads));
}

bool SameBits(const CImageEx& a, const CImageEx& b)
{
    for (int y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.GetPixelAddress(0, y), b.GetPixelAddress(0, y),
                        static_cast<std::size_t>(a.GetWidth()) * 3) != 0)
            return false;
    return true;
}

int LargestDifference(const CImageEx& a, const CImageEx& b)
{
    int worst = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
    {
        const std::uint8_t* p = a.GetPixelAddress(0, y);
        const std::uint8_t* q = b.GetPixelAddress(0, y);
        for (int i = 0; i < a.GetWidth() * 3; ++i)
            worst = std::max(worst, std::abs(p[i] - q[i]));
    }
    return worst;
}

} // namespace

int main()
{
    const std::vector<RGB16> pixels = bench::MakePhotoPixels(Width, Height, bench::Tones::Shadowed);
    CRGBImage image(Width, Height);
    if (!bench::FillImage(image, pixels))
        Fail("cannot make the image");

    UseOsCmm = 0;
    CColorProfile srgb;
    if (!srgb.OpenFromMemory(BuildSRGBProfileBytes(), "sRGB"))
        Fail("cannot open the sRGB profile");
    const CColorProfile monitor = MonitorProfile();
    CColorConverter converter{std::string()};
    if (!converter.SetProfiles(&srgb, &srgb, &monitor) || !converter.GetTransform())
        Fail("the converter cannot build its transform");

    const LcmsProfilePtr linearInput = CreateLinearInputProfile(srgb);
    const LcmsProfilePtr output = monitor.OpenLcmsProfile();
    const Transform peer(cmsCreateTransform(linearInput.get(), TYPE_RGB_16, output.get(),
                                            TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
    if (!peer)
        Fail("LittleCMS cannot make the peer transform");

    const CRect whole(0, 0, Width, Height);
    CImageEx ownDisplay;
    CImageEx lcmsDisplay;
    CImageEx peerDisplay;
    CImageEx threadedDisplay;
    if (!ownDisplay.Create(Width, Height) || !lcmsDisplay.Create(Width, Height) ||
        !peerDisplay.Create(Width, Height) || !threadedDisplay.Create(Width, Height))
        Fail("cannot make the display images");

    const CRGBMatrix* matrix = &converter.GetInputToOutputMatrix();
    const CRGBGammaTable* tables = &converter.GetOutputInverseTRC();
    const CColorTransform* transform = converter.GetTransform();

    const double peerTime = bench::Time(3, [&] {
        PeerRows(peer, pixels, peerDisplay, 0, Height);
        bench::KeepAlive(peerDisplay.GetBits());
    });
    const double ownTime = bench::Time(5, [&] {
        image.CopyRectConverted(ownDisplay, whole, whole, matrix, tables, {}, nullptr, nullptr);
        bench::KeepAlive(ownDisplay.GetBits());
    });
    const double lcmsTime = bench::Time(3, [&] {
        image.CopyRectConverted(lcmsDisplay, whole, whole, nullptr, nullptr, {}, transform,
                                nullptr);
        bench::KeepAlive(lcmsDisplay.GetBits());
    });
    bench::Report(
        "display 6000x4000 own matrix + tables (UseOsCmm 0) vs LittleCMS RGB_16 -> BGR_8, "
        "1 thread",
        ownTime, peerTime);
    bench::Report(
        "display 6000x4000 converter transform (UseOsCmm 1) vs LittleCMS RGB_16 -> BGR_8, "
        "1 thread",
        lcmsTime, peerTime);
    std::printf("largest 8-bit difference from the peer: own tables %d, converter transform %d\n",
                LargestDifference(ownDisplay, peerDisplay),
                LargestDifference(lcmsDisplay, peerDisplay));

    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    const double peerThreaded = bench::Time(3, [&] {
        PeerParallel(peer, pixels, peerDisplay, threads);
        bench::KeepAlive(peerDisplay.GetBits());
    });
    const double ownThreaded = bench::Time(5, [&] {
        CopyRectConvertedParallel(image, threadedDisplay, whole, whole, matrix, tables, nullptr,
                                  nullptr, threads);
        bench::KeepAlive(threadedDisplay.GetBits());
    });
    if (!SameBits(threadedDisplay, ownDisplay))
        Fail("threaded own-table drawing differs from one thread");
    const double lcmsThreaded = bench::Time(3, [&] {
        CopyRectConvertedParallel(image, threadedDisplay, whole, whole, nullptr, nullptr, transform,
                                  nullptr, threads);
        bench::KeepAlive(threadedDisplay.GetBits());
    });
    if (!SameBits(threadedDisplay, lcmsDisplay))
        Fail("threaded transform drawing differs from one thread");
    const std::string suffix = ", " + std::to_string(threads) + " threads";
    bench::Report(
        "display 6000x4000 own matrix + tables (UseOsCmm 0) vs LittleCMS RGB_16 -> BGR_8" + suffix,
        ownThreaded, peerThreaded);
    bench::Report(
        "display 6000x4000 converter transform (UseOsCmm 1) vs LittleCMS RGB_16 -> BGR_8" + suffix,
        lcmsThreaded, peerThreaded);

    bench::PrintWorstRatio();
    return 0;
}
