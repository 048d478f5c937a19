// Timing of DNG decoding and development on a generated 6000 x 4000 12-bit
// CFA image (RGGB) in 256 x 256 lossless-JPEG tiles, against what a user
// would run instead:
//   1. decoding only (the raw samples into a 16-bit plane on disk), against
//      `dcraw -D -4 -T` and LibRaw's `unprocessed_raw`, which write the raw
//      samples to a 16-bit file;
//   2. full development to 16-bit camera RGB (normalisation, demosaicing,
//      every row read back), against `dcraw -q 2 -o 0 -4 -T` (PPG
//      demosaicing, camera colour, 16-bit linear TIFF) and `dcraw_emu -q 2`.
// Goals: decoding at most 1.0x LibRaw, development at most 0.5x dcraw.
// Ours uses every core (tiles and row bands are independent); the time of
// one thread is printed for information, and the developed rows of both are
// compared, since several threads must give the rows of one.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer,
// or "name: peer missing" when the peer program is not installed; the last
// line gives the worst ratio. Everything runs once. The files go to a
// folder under $TMPDIR (or /tmp), removed afterwards.

#include "bench/BenchSupport.h"
#include "imagefile/DNGFile.h"
#include "tests/support/DngBuilder.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using bench::HasProgram;

constexpr std::uint32_t Width = 6000;
constexpr std::uint32_t Height = 4000;

double g_worst = 0.0;

template <typename Work> double Time(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    return d.count();
}

void Report(const char* name, double ours, double peer)
{
    const double ratio = ours / peer;
    g_worst = std::max(g_worst, ratio);
    std::printf("%s: ours %.6f s, peer %.6f s, ratio %.3f\n", name, ours, peer, ratio);
    std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "DngBench: %s\n", what.c_str());
    std::exit(1);
}

// Runs a peer command line in the bench folder (its outputs land there),
// quietly; the time of the whole run, or a negative value when it fails.
double TimePeer(const std::string& folder, const std::string& commandLine)
{
    const std::string command = "cd '" + folder + "' && " + commandLine + " >/dev/null 2>&1";
    int status = 0;
    const double t = Time([&] { status = std::system(command.c_str()); });
    return status == 0 ? t : -1.0;
}

void ComparePeer(const char* name, double ours, const std::string& folder, const char* program,
                 const std::string& arguments)
{
    if (!HasProgram(program))
    {
        std::printf("%s: peer missing\n", name);
        std::fflush(stdout);
        return;
    }
    const double peer = TimePeer(folder, std::string(program) + " " + arguments);
    if (peer < 0)
        Fail(std::string(program) + " failed on the generated DNG");
    Report(name, ours, peer);
}

// A scene with smooth shading, hard edges and sensor-like noise, 12-bit,
// mosaiced RGGB: roughly what a camera's lossless JPEG has to code.
std::vector<std::uint16_t> Scene()
{
    std::vector<std::uint16_t> pixels(std::size_t{Width} * Height);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint32_t y = 0; y < Height; ++y)
        for (std::uint32_t x = 0; x < Width; ++x)
        {
            const int colour = (y % 2) + (x % 2); // 0 red, 1 green, 2 blue
            const double u = static_cast<double>(x) / Width, v = static_cast<double>(y) / Height;
            double level = 900 + 1800 * u * (1 - v) + 700 * std::sin(9 * u + 4 * v);
            if ((x / 500 + y / 400) % 3 == 0)
                level *= 0.45; // blocks with hard edges
            level *= colour == 0 ? 0.6 : (colour == 2 ? 0.8 : 1.0);
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            const double noise =
                (static_cast<double>((state * 2685821657736338717ull) >> 40) / 16777216.0 - 0.5) *
                2.0 * std::sqrt(level);
            pixels[std::size_t{y} * Width + x] =
                static_cast<std::uint16_t>(std::clamp(level + noise + 64, 0.0, 4095.0));
        }
    return pixels;
}

struct Developed
{
    double seconds = 0;
    std::uint64_t hash = 0;
};

Developed DevelopOurs(const std::string& dng, const std::string& folder, int threads)
{
    Developed out;
    std::vector<RGB16> row;
    out.seconds = Time([&] {
        CDNGFile f;
        f.SetThreadCount(threads);
        if (!f.Open(dng) || !f.Develop(folder + "DNG_Temp_A.raw", folder + "DNG_Temp_C.raw",
                                       folder + "DNG_Temp_B.raw", {}))
            Fail("our development failed, code " + std::to_string(int(f.GetErrorCode())));
        row.resize(f.GetOutputWidth());
        for (unsigned y = 0; y < f.GetOutputHeight(); ++y)
        {
            if (!f.GetLine(y, row.data()))
                Fail("reading a developed row failed");
            for (const RGB16& p : row)
                out.hash =
                    (out.hash ^ (p.r | std::uint64_t{p.g} << 16 | std::uint64_t{p.b} << 32)) *
                    0x100000001B3ull;
        }
    });
    return out;
}

} // namespace

int main()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/chromivel-dngbench-" +
                         std::to_string(::getpid()) + "/";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        Fail("cannot make " + folder);
    const std::string dng = folder + "bench.dng";

    {
        testsupport::DngRecipe recipe;
        recipe.width = Width;
        recipe.height = Height;
        recipe.storage = testsupport::DngStorage::LosslessTiles;
        recipe.tileWidth = 256;
        recipe.tileLength = 256;
        recipe.ljpegPrecision = 12;
        recipe.whiteLevel = 4095;
        recipe.pixels = Scene();
        testsupport::DngBuilder builder(recipe);
        builder.Raw().Rationals(50714, {{64, 1}});
        if (!builder.WriteFile(dng))
            Fail("cannot write " + dng);
    }
    std::printf("input: %u x %u, 12-bit CFA, 256 x 256 lossless-JPEG tiles, %.1f MB\n", Width,
                Height, static_cast<double>(std::filesystem::file_size(dng)) / 1e6);

    // 1. Decoding.
    const double decode = Time([&] {
        CDNGFile f;
        if (!f.Open(dng) || !f.DecodeRaw(folder + "plane_A.raw", {}))
            Fail("our decoding failed, code " + std::to_string(int(f.GetErrorCode())));
    });
    std::filesystem::remove(folder + "plane_A.raw", ec);
    ComparePeer("decode 6000x4000 LJ92 tiles vs dcraw -D -4 -T", decode, folder, "dcraw",
                "-D -4 -T bench.dng");
    ComparePeer("decode 6000x4000 LJ92 tiles vs LibRaw unprocessed_raw", decode, folder,
                "unprocessed_raw", "bench.dng");

    // 2. Development.
    const Developed many = DevelopOurs(dng, folder, 0);
    const Developed one = DevelopOurs(dng, folder, 1);
    std::printf("development on one thread: %.6f s (%s rows as on every core)\n", one.seconds,
                one.hash == many.hash ? "the same" : "DIFFERENT");
    if (one.hash != many.hash)
        Fail("several threads developed other rows than one");
    ComparePeer("develop 6000x4000 to 16-bit camera RGB vs dcraw -q 2 -o 0 -4 -T", many.seconds,
                folder, "dcraw", "-q 2 -o 0 -4 -T bench.dng");
    ComparePeer("develop 6000x4000 vs LibRaw dcraw_emu -q 2", many.seconds, folder, "dcraw_emu",
                "-q 2 bench.dng");

    std::filesystem::remove_all(folder, ec);
    std::printf("worst ratio: %.3f\n", g_worst);
    return 0;
}
