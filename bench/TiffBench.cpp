// Timing of the program's own TIFF reader on a generated 6000 x 4000
// 16-bit RGB file, against libtiff reading the same file line by line with
// TIFFReadScanline (what a user's own loader would do):
//   each side opens the file, reads its header and every line into a line
//   buffer, and closes it; the file is warm in the page cache for both.
// Goal: our line reads at most 1.0x libtiff's.
//
// The file is written through our own writer into the folder of this
// program (the build folder) and removed afterwards. Before the timing
// both readers are checked to deliver the same pixels.

#include "bench/BenchSupport.h"
#include "imagefile/TiffFile.h"

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

using bench::BuildFolderFile;

constexpr std::uint32_t Width = 6000;
constexpr std::uint32_t Height = 4000;

[[noreturn]] void Fail(const char* what)
{
    bench::Fail("TiffBench", what);
}

void WriteFile(const std::string& path, const std::vector<RGB16>& pixels)
{
    CTiffFile file;
    TiffNewHeader header;
    header.width = Width;
    header.height = Height;
    header.hRes = 300;
    header.vRes = 300;
    if (!file.Open(path, CTiffFile::kModeWrite) || !file.SetHeaderNew(header))
        Fail("the test file could not be started");
    for (std::uint32_t y = 0; y < Height; ++y)
        if (!file.WriteLine(y, std::span(pixels).subspan(std::size_t{y} * Width, Width)))
            Fail("a line could not be written");
    if (!file.Close())
        Fail("the test file could not be finished");
}

// Our reader: every line into one line buffer; the sum of the red channel
// keeps the work alive and lets the two sides be compared.
std::uint64_t ReadOurs(const std::string& path, std::vector<RGB16>* all = nullptr)
{
    CTiffFile file;
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    if (!file.Open(path, CTiffFile::kModeRead) || !file.ReadHeader() || !file.GetSize(w, h))
        Fail("our reader could not open the file");
    std::vector<RGB16> line;
    std::uint64_t sum = 0;
    for (std::uint32_t y = 0; y < h; ++y)
    {
        if (!file.GetLine(y, line))
            Fail("our reader could not read a line");
        bench::KeepAlive(line.data());
        sum += line[y % w].r;
        if (all)
            all->insert(all->end(), line.begin(), line.end());
    }
    file.Close();
    return sum;
}

std::uint64_t ReadLibtiff(const std::string& path, std::vector<RGB16>* all = nullptr)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        Fail("libtiff could not open the file");
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<RGB16> line(static_cast<std::size_t>(TIFFScanlineSize(tif)) / sizeof(RGB16));
    std::uint64_t sum = 0;
    for (std::uint32_t y = 0; y < h; ++y)
    {
        if (TIFFReadScanline(tif, line.data(), y, 0) != 1)
            Fail("libtiff could not read a line");
        bench::KeepAlive(line.data());
        sum += line[y % w].r;
        if (all)
            all->insert(all->end(), line.begin(), line.end());
    }
    TIFFClose(tif);
    return sum;
}

} // namespace

int main()
{
    const std::vector<RGB16> pixels = bench::MakePhotoPixels(Width, Height, bench::Tones::Even);
    const std::string path = BuildFolderFile("tiff_bench_6000x4000.tif");
    WriteFile(path, pixels);

    {
        std::vector<RGB16> ours;
        std::vector<RGB16> peer;
        ReadOurs(path, &ours);
        ReadLibtiff(path, &peer);
        if (ours.size() != pixels.size() || peer.size() != pixels.size() ||
            std::memcmp(ours.data(), pixels.data(), pixels.size() * sizeof(RGB16)) != 0 ||
            std::memcmp(peer.data(), pixels.data(), pixels.size() * sizeof(RGB16)) != 0)
        {
            std::filesystem::remove(path);
            Fail("the readers do not agree with the pixels written");
        }
    }

    constexpr int Runs = 7;
    std::uint64_t sink = 0;
    const double ours = bench::Time(Runs, [&] { sink += ReadOurs(path); });
    const double peer = bench::Time(Runs, [&] { sink += ReadLibtiff(path); });
    bench::KeepAlive(&sink);
    bench::Report("TIFF 6000x4000 16-bit line reads (CTiffFile vs TIFFReadScanline)", ours, peer);

    std::error_code ec;
    std::filesystem::remove(path, ec);
    bench::PrintWorstRatio();
    return 0;
}
