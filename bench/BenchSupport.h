#pragma once
// What every benchmark program shares: best-of-n timing, the report lines
// "name: ours X s, peer Y s, ratio R" (R = ours/peer, below 1: ours is
// faster) and the closing "worst ratio" line that bench/run.sh collects,
// deterministic random numbers and a photograph-like 16-bit test image.
// Header-only, as each *Bench.cpp is a program of its own.

#include "core/ImageAccess.h"
#include "core/RGB16.h"
#include "core/RGBImage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <string_view>
#include <vector>

namespace bench {

// Keeps the compiler from dropping work whose results are not read.
template <typename T> void KeepAlive(const T* p)
{
    asm volatile("" : : "r"(p) : "memory");
}

// Best of several runs, in seconds.
template <typename Work> double Time(int runs, Work&& work)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
        best = std::min(best, d.count());
    }
    return best;
}

// The largest ratio reported so far in this program.
inline double g_worstRatio = 0.0;

inline void Report(std::string_view name, double ours, double peer)
{
    const double ratio = ours / peer;
    g_worstRatio = std::max(g_worstRatio, ratio);
    std::printf("%.*s: ours %.6f s, peer %.6f s, ratio %.3f\n", static_cast<int>(name.size()),
                name.data(), ours, peer, ratio);
    std::fflush(stdout);
}

// A file beside the benchmark's executable (the build folder), where its
// inputs and outputs are kept.
inline std::string BuildFolderFile(const std::string& name)
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path folder = ec ? std::filesystem::current_path() : exe.parent_path();
    return (folder / name).string();
}

// Whether a peer program can be run.
inline bool HasProgram(const char* name)
{
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

inline void RemoveFile(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// The program's last line.
inline void PrintWorstRatio()
{
    std::printf("worst ratio: %.3f\n", g_worstRatio);
}

[[noreturn]] inline void Fail(std::string_view program, std::string_view what)
{
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(program.size()), program.data(),
                 static_cast<int>(what.size()), what.data());
    std::exit(1);
}

// xorshift64*: the same numbers on every run.
struct Random
{
    std::uint64_t state = 0x9E3779B97F4A7C15ull;

    std::uint64_t Next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ull;
    }
    std::uint16_t Next16() { return static_cast<std::uint16_t>(Next() >> 48); }
    // [0, 1), from the top 53 bits.
    double NextUnit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
};

// How the smooth tiles of MakePhotoPixels are shaded: waves around the
// middle of the range, or those waves squared, so that much of the image
// lies in the shadows as the linear values of a photograph do.
enum class Tones
{
    Even,
    Shadowed
};

// A photograph-like image in 250 x 250 tiles: most tiles smooth gradients
// and waves (sky, skin, walls), one in four noise over the whole 16-bit
// range (foliage, texture). Values are linear RGB, rows top first.
inline std::vector<RGB16> MakePhotoPixels(int width, int height, Tones tones)
{
    std::vector<RGB16> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    Random random;
    constexpr int Tile = 250;
    const auto level = [tones](double v) {
        return static_cast<std::uint16_t>((tones == Tones::Shadowed ? v * v : v) * 65535.0);
    };
    for (int y = 0; y < height; ++y)
    {
        RGB16* row = &pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
        for (int x = 0; x < width; ++x)
        {
            const int tile = (x / Tile) + (y / Tile) * (width / Tile);
            if ((tile * 2654435761u >> 7) % 4 == 0)
            {
                row[x] = {random.Next16(), random.Next16(), random.Next16()};
                continue;
            }
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const double phase = tile * 0.37;
            const double r = 0.5 + 0.45 * std::sin(6.0 * u + 2.0 * v + phase);
            const double g = 0.5 + 0.45 * std::sin(3.0 * u - 5.0 * v + 1.3 * phase);
            const double b = 0.5 + 0.45 * std::cos(4.0 * u + 7.0 * v - phase);
            row[x] = {level(r), level(g), level(b)};
        }
    }
    return pixels;
}

// Writes the pixels into the image; false when their counts differ (the
// image could not be allocated).
inline bool FillImage(CRGBImage& image, const std::vector<RGB16>& pixels)
{
    if (pixels.empty() || image.GetPixelCount() != pixels.size())
        return false;
    CAccessRGBImage access(image);
    access.SetCursor(0, 0);
    access.WriteLine(pixels.data(), pixels.size());
    return true;
}

// The largest differences between two L*a*b* conversions of the same
// values, per component and as Delta E 1976.
struct LabDifference
{
    double dL = 0.0;
    double da = 0.0;
    double db = 0.0;
    double dE = 0.0;

    // ours and peer: packed L*a*b* triples, as many in both.
    void Add(std::span<const double> ours, std::span<const double> peer)
    {
        for (std::size_t i = 0; i + 2 < ours.size() && i + 2 < peer.size(); i += 3)
        {
            const double l = std::fabs(ours[i] - peer[i]);
            const double a = std::fabs(ours[i + 1] - peer[i + 1]);
            const double b = std::fabs(ours[i + 2] - peer[i + 2]);
            dL = std::max(dL, l);
            da = std::max(da, a);
            db = std::max(db, b);
            dE = std::max(dE, std::sqrt(l * l + a * a + b * b));
        }
    }

    // "largest Lab difference, <between>: dL ..., da ..., db ..., dE ..."
    void Print(std::string_view between) const
    {
        std::printf("largest Lab difference, %.*s: dL %.5f, da %.5f, db %.5f, dE %.5f\n",
                    static_cast<int>(between.size()), between.data(), dL, da, db, dE);
    }
};

// The record of a photograph-like file of the benchmarks: 300 dpi, the
// profile embedded (none when empty).
inline CImageFileInfo PhotoRecord(const std::string& path, ImageFileType type, int width,
                                  int height, const std::vector<std::uint8_t>& profile)
{
    CImageFileInfo record;
    record.m_path = path;
    record.m_type = type;
    record.m_detectedType = type;
    record.m_width = width;
    record.m_height = height;
    record.m_xResolution = 300.0f;
    record.m_yResolution = 300.0f;
    record.m_iccProfile = profile;
    return record;
}

// Writes a photograph-like 16-bit TIFF of width x height at 300 dpi with
// the profile embedded (none when empty): the input most benchmarks load.
inline bool WritePhotoTiff(const std::string& path, int width, int height, Tones tones,
                           const std::vector<std::uint8_t>& profile = {})
{
    CRGBImage image(width, height);
    if (!FillImage(image, MakePhotoPixels(width, height, tones)))
        return false;
    return SaveTiff16(nullptr, PhotoRecord(path, kImageFileTiff16, width, height, profile), image,
                      {}) == 1;
}

// The same picture as a JPEG of the project's default quality.
inline bool WritePhotoJpeg(const std::string& path, int width, int height, Tones tones,
                           const std::vector<std::uint8_t>& profile = {})
{
    CRGBImage image(width, height);
    if (!FillImage(image, MakePhotoPixels(width, height, tones)))
        return false;
    return SaveImageByGdiplus(PhotoRecord(path, kImageFileJpeg, width, height, profile), image,
                              nullptr, nullptr, {}) == 1;
}

} // namespace bench
