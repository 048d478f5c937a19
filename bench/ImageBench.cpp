// Timing of the working image's heavy paths on a generated 6000 x 4000
// 16-bit image, against what a user would run instead:
//   1. every line read as L*a*b* through CAccessRGBImageByLab::ReadLabLine,
//      against LittleCMS converting the same pixels (16-bit linear RGB in,
//      double Lab out, line by line, one core);
//   2. MakeByteLChImage (every pixel, three histograms and the byte image)
//      against the same LittleCMS Lab conversion: the user's alternative is
//      that conversion followed by their own LCh loop, so the ratio shows
//      what the whole histogram pass costs over the bare conversion. Its
//      cost over our own Lab read is printed on a separate line;
//   3. SaveRaw + LoadRaw against a plain write + fsync and read of the same
//      bytes in the same folder. SaveRaw replaces the file durably (flushed
//      to disk before the rename), so the physical limit it is measured
//      against includes the flush; the time without the flush is printed
//      as well.
// Goals: Lab reading at most 1.0x LittleCMS; raw I/O within 1.2x of the
// plain write and read.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer;
// the last line gives the worst ratio. The raw files go to $TMPDIR (or the
// system's temporary folder) and are removed afterwards.

#include "bench/BenchSupport.h"
#include "core/ByteLChImage.h"
#include "core/ImageAccess.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"

#include <fcntl.h>
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

[[noreturn]] void Fail(const char* what)
{
    bench::Fail("ImageBench", what);
}

// The sRGB primaries under D65 (columns: X, Y, Z of red, green and blue at
// full drive, white Y = 1).
constexpr double Srgb[3][3] = {
    {0.4124, 0.3576, 0.1805},
    {0.2126, 0.7152, 0.0722},
    {0.0193, 0.1192, 0.9505},
};

// The accessor's matrix: 16-bit linear RGB to XYZ with the white at Y = 100.
CStdMatrix OurMatrix()
{
    CStdMatrix m(3, 3);
    for (std::uint32_t i = 0; i < 3; ++i)
        for (std::uint32_t j = 0; j < 3; ++j)
            m.SetAt(i, j, Srgb[i][j] * 100.0 / 65535.0);
    return m;
}

struct ProfileCloser
{
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter
{
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

// The peer's transform, computing the same L*a*b* as the accessor.
//
// The accessor takes Lab relative to the image's own white, the matrix
// applied to (1, 1, 1): (Xw, Yw, Zw) = (95.05, 100, 108.90), a D65 white.
// LittleCMS always takes Lab relative to the D50 white of its connection
// space, and cmsCreateRGBProfile carries a D65 profile there by Bradford
// adaptation, which moves saturated colours by several units of a* and b*.
// So the profile is made as asked (gamma 1.0, D65 white, sRGB primaries)
// and its colorants are then replaced by our matrix's columns scaled per
// component by D50 / (Xw, Yw, Zw). Lab scales by the white component by
// component, so Lab of the scaled XYZ against D50 is exactly Lab of the
// unscaled XYZ against (Xw, Yw, Zw). The Lab profile's white is D50, the
// connection space's own: with the relative intent it only sets the tag.
Transform MakePeerTransform()
{
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    Profile rgb(cmsCreateRGBProfile(&d65, &primaries, curves));
    cmsFreeToneCurve(linear);
    Profile lab(cmsCreateLab4Profile(cmsD50_xyY()));
    if (!rgb || !lab)
        Fail("LittleCMS could not make the profiles");

    const cmsCIEXYZ* d50 = cmsD50_XYZ();
    const double white[3] = {Srgb[0][0] + Srgb[0][1] + Srgb[0][2],
                             Srgb[1][0] + Srgb[1][1] + Srgb[1][2],
                             Srgb[2][0] + Srgb[2][1] + Srgb[2][2]};
    const double scale[3] = {d50->X / white[0], d50->Y / white[1], d50->Z / white[2]};
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int j = 0; j < 3; ++j)
    {
        const cmsCIEXYZ colorant = {Srgb[0][j] * scale[0], Srgb[1][j] * scale[1],
                                    Srgb[2][j] * scale[2]};
        if (!cmsWriteTag(rgb.get(), tags[j], &colorant))
            Fail("LittleCMS could not set the colorants");
    }

    Transform t(cmsCreateTransform(rgb.get(), TYPE_RGB_16, lab.get(), TYPE_Lab_DBL,
                                   INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    if (!t)
        Fail("LittleCMS could not make the transform");
    return t;
}

void PeerLabLine(const Transform& t, const RGB16* pixels, double* lab)
{
    cmsDoTransformLineStride(t.get(), pixels, lab, Width, 1, Width * sizeof(RGB16),
                             Width * 3 * sizeof(double), 0, 0);
}

// 1 and 2.
void BenchLab(CRGBImage& image, const std::vector<RGB16>& pixels)
{
    const CStdMatrix matrix = OurMatrix();
    const Transform peer = MakePeerTransform();
    std::vector<double> lab(static_cast<std::size_t>(Width) * 3);

    const double oursLab = bench::Time(3, [&] {
        CAccessRGBImageByLab access(image, nullptr, matrix);
        for (int y = 0; y < Height; ++y)
        {
            access.SetCursor(0, y);
            access.ReadLabLine(Width, lab.data());
            bench::KeepAlive(lab.data());
        }
    });
    const double peerLab = bench::Time(3, [&] {
        for (int y = 0; y < Height; ++y)
        {
            PeerLabLine(peer, &pixels[static_cast<std::size_t>(y) * Width], lab.data());
            bench::KeepAlive(lab.data());
        }
    });
    bench::Report("Lab read 6000x4000, ReadLabLine vs LittleCMS RGB_16 -> Lab_DBL", oursLab,
                  peerLab);

    // How far apart the two are: the cube-root table against LittleCMS's
    // single-precision pipeline.
    {
        std::vector<double> peerLab(lab.size());
        bench::LabDifference difference;
        CAccessRGBImageByLab access(image, nullptr, matrix);
        for (int y = 0; y < Height; ++y)
        {
            access.SetCursor(0, y);
            access.ReadLabLine(Width, lab.data());
            PeerLabLine(peer, &pixels[static_cast<std::size_t>(y) * Width], peerLab.data());
            difference.Add(lab, peerLab);
        }
        difference.Print("ReadLabLine vs LittleCMS");
    }

    std::array<std::uint32_t, 256> lightness{};
    std::array<std::uint32_t, 256> chroma{};
    std::array<std::uint32_t, 256> hue{};
    CByteLChImage bytes;
    const double oursLCh = bench::Time(3, [&] {
        CAccessRGBImageByLab access(image, nullptr, matrix);
        access.MakeByteLChImage(lightness, chroma, hue, &bytes, 1);
        bench::KeepAlive(hue.data());
    });
    if (bytes.GetWidth() != Width || bytes.GetHeight() != Height)
        Fail("MakeByteLChImage made no byte image");
    bench::Report("byte LCh image + histograms 6000x4000 vs LittleCMS Lab alone", oursLCh, peerLab);
    std::printf("byte LCh image + histograms over our own Lab read: %.3fx (%.6f s vs %.6f s)\n",
                oursLCh / oursLab, oursLCh, oursLab);
}

// Plain write of header and pixels, flushed to disk or not, and read back.
bool PlainWrite(const std::string& path, const std::vector<RGB16>& pixels, bool flush)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::uint32_t header[2] = {Width, Height};
    bool ok = ::write(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header);
    const auto* p = reinterpret_cast<const char*>(pixels.data());
    std::size_t left = pixels.size() * sizeof(RGB16);
    while (ok && left > 0)
    {
        const ssize_t n = ::write(fd, p, left);
        ok = n > 0;
        if (ok)
        {
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    if (ok && flush)
        ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool PlainRead(const std::string& path, std::vector<RGB16>& pixels)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::uint32_t header[2] = {0, 0};
    bool ok = ::read(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header);
    auto* p = reinterpret_cast<char*>(pixels.data());
    std::size_t left = pixels.size() * sizeof(RGB16);
    while (ok && left > 0)
    {
        const ssize_t n = ::read(fd, p, left);
        ok = n > 0;
        if (ok)
        {
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    return ok;
}

// 3.
void BenchRaw(CRGBImage& image, const std::vector<RGB16>& pixels)
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec)
        Fail("no temporary folder");
    const std::string ours = (folder / ("qb-imagebench-" + std::to_string(::getpid()) + ".rgb"));
    const std::string peer = (folder / ("qb-imagebench-" + std::to_string(::getpid()) + ".bin"));

    CRGBImage loaded;
    std::vector<RGB16> readBack(pixels.size());
    bool ok = true;
    const double oursTime = bench::Time(3, [&] {
        ok = ok && image.SaveRaw(ours) && loaded.LoadRaw(ours);
        std::filesystem::remove(ours, ec);
    });
    const double peerTime = bench::Time(3, [&] {
        ok = ok && PlainWrite(peer, pixels, true) && PlainRead(peer, readBack);
        std::filesystem::remove(peer, ec);
    });
    const double unflushed = bench::Time(3, [&] {
        ok = ok && PlainWrite(peer, pixels, false) && PlainRead(peer, readBack);
        std::filesystem::remove(peer, ec);
    });
    std::filesystem::remove(ours, ec);
    std::filesystem::remove(peer, ec);
    if (!ok || loaded.GetWidth() != Width || loaded.GetHeight() != Height)
        Fail("raw file write or read failed");
    bench::Report("raw file 6000x4000 SaveRaw + LoadRaw vs write + fsync + read", oursTime,
                  peerTime);
    std::printf("plain write + read without fsync: %.6f s (ours %.3fx that)\n", unflushed,
                oursTime / unflushed);
}

} // namespace

int main()
{
    const std::vector<RGB16> pixels = bench::MakePhotoPixels(Width, Height, bench::Tones::Even);
    CRGBImage image(Width, Height);
    if (!bench::FillImage(image, pixels))
        Fail("cannot make the image");

    BenchLab(image, pixels);
    BenchRaw(image, pixels);
    bench::PrintWorstRatio();
    return 0;
}
