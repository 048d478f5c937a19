// Timing of loading and saving whole images:
// - a 6000 x 4000 16-bit TIFF loaded into the working image with the input
//   profile's conversion (tone curves, then the 3x3 matrix into the working
//   space), against LittleCMS's tificc converting the same file between the
//   same two profiles (a gamma 2.2 RGB input, the linear working space);
//   goal: at most 1.0x;
// - the same image saved as a JPEG at quality level 2 (quality 75) against
//   cjpeg -quality 75 on the equivalent 8-bit PPM; goal: at most 1.1x.
// The peers are run as programs, so their times include starting them and
// writing their output file, as ours include writing ours.
//
// The files are written into the folder of this program (the build folder)
// and removed afterwards.

#include "bench/BenchSupport.h"
#include "core/GammaTable.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "imagefile/ReloadCache.h"
#include "core/StdMatrix.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"

#include <lcms2.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

using bench::BuildFolderFile;
using bench::HasProgram;
using bench::RemoveFile;

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int Runs = 3;

[[noreturn]] void Fail(const char* what)
{
    bench::Fail("LoadSaveBench", what);
}

double TimeCommand(const std::string& command)
{
    int status = 0;
    const std::string quiet = command + " >/dev/null 2>&1";
    const double t = bench::Time(Runs, [&] { status = std::system(quiet.c_str()); });
    return status == 0 ? t : -1.0;
}

// Adobe RGB (1998) primaries with gamma 2.2 as the input, linear sRGB
// primaries as the working space; both D65.
constexpr cmsCIExyY kD65 = {0.3127, 0.3290, 1.0};

bool WriteProfile(const std::string& path, const cmsCIExyYTRIPLE& primaries, double gamma)
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&kD65, &primaries, curves);
    const bool ok = profile && cmsSaveProfileToFile(profile, path.c_str());
    if (profile)
    {
        cmsCloseProfile(profile);
    }
    cmsFreeToneCurve(curve);
    return ok;
}

} // namespace

int main()
{
    const std::string tiff = BuildFolderFile("loadsave_bench.tif");
    const std::string converted = BuildFolderFile("loadsave_bench_tificc.tif");
    const std::string inProfile = BuildFolderFile("loadsave_bench_in.icc");
    const std::string outProfile = BuildFolderFile("loadsave_bench_out.icc");
    const std::string jpeg = BuildFolderFile("loadsave_bench.jpg");
    const std::string ppm = BuildFolderFile("loadsave_bench.ppm");
    const std::string peerJpeg = BuildFolderFile("loadsave_bench_cjpeg.jpg");

    const cmsCIExyYTRIPLE adobe = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    const cmsCIExyYTRIPLE srgb = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    if (!WriteProfile(inProfile, adobe, 2.2) || !WriteProfile(outProfile, srgb, 1.0))
    {
        Fail("cannot write the profiles");
    }

    CRGBImage image(Width, Height);
    if (!bench::FillImage(image, bench::MakePhotoPixels(Width, Height, bench::Tones::Even)))
    {
        Fail("cannot make the image");
    }
    CImageFileInfo output;
    output.m_path = tiff;
    output.m_type = kImageFileTiff16;
    output.m_width = Width;
    output.m_height = Height;
    output.m_xResolution = 300.0f;
    output.m_yResolution = 300.0f;
    if (SaveTiff16(nullptr, output, image, {}) != 1)
    {
        Fail("cannot write the TIFF");
    }

    // The input conversion: gamma 2.2 decoded by the tone tables, then the
    // Adobe RGB to linear sRGB matrix.
    CRGBGammaTable tables;
    const double gamma[] = {2.2};
    for (std::size_t c = 0; c < 3; ++c)
    {
        tables[c].BuildFromCurve(gamma);
    }
    const CRGBMatrix matrix(CStdMatrix(1.3983, -0.3983, 0.0, 0.0, 1.0, 0.0, 0.0, -0.0429, 1.0429));

    CRGBImage loaded;
    const double oursLoad = bench::Time(Runs, [&] {
        CImageFileInfo info;
        info.m_path = tiff;
        if (LoadImage(info, loaded, &tables, &matrix, {}, false) != 1)
        {
            Fail("load failed");
        }
        bench::KeepAlive(loaded.Lock());
        loaded.Unlock();
    });
    if (HasProgram("tificc"))
    {
        const double peer = TimeCommand("tificc -i '" + inProfile + "' -o '" + outProfile + "' '" +
                                        tiff + "' '" + converted + "'");
        if (peer > 0)
        {
            bench::Report("16-bit TIFF load with input conversion vs tificc", oursLoad, peer);
        }
        else
        {
            std::printf("16-bit TIFF load: tificc failed (ours %.6f s)\n", oursLoad);
        }
    }
    else
    {
        std::printf("16-bit TIFF load: peer tificc missing (ours %.6f s)\n", oursLoad);
    }

    // JPEG save at level 2 against cjpeg on the same pixels as an 8-bit PPM.
    output.m_path = jpeg;
    output.m_type = kImageFileJpeg;
    output.m_jpegQuality = 2;
    const double oursJpeg = bench::Time(Runs, [&] {
        if (SaveImageByGdiplus(output, image, nullptr, nullptr, {}) != 1)
        {
            Fail("JPEG save failed");
        }
    });
    {
        CImageEx display;
        if (!display.Create(Width, Height))
        {
            Fail("cannot make the 8-bit image");
        }
        const CRect all(0, 0, Width, Height);
        image.CopyRectConverted(display, all, all, nullptr, nullptr, {},
                                nullptr, nullptr);
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << Width << " " << Height << "\n255\n";
        std::vector<char> row(static_cast<std::size_t>(Width) * 3);
        for (int y = 0; y < Height; ++y)
        {
            const std::uint8_t* p = display.GetPixelAddress(0, y);
            for (int x = 0; x < Width; ++x)
            {
                row[static_cast<std::size_t>(x) * 3 + 0] = static_cast<char>(p[x * 3 + 2]);
                row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<char>(p[x * 3 + 1]);
                row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<char>(p[x * 3 + 0]);
            }
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
        if (!out)
        {
            Fail("cannot write the PPM");
        }
    }
    if (HasProgram("cjpeg"))
    {
        const double peer =
            TimeCommand("cjpeg -quality 75 -outfile '" + peerJpeg + "' '" + ppm + "'");
        if (peer > 0)
        {
            bench::Report("JPEG save level 2 vs cjpeg -quality 75", oursJpeg, peer);
        }
        else
        {
            std::printf("JPEG save: cjpeg failed (ours %.6f s)\n", oursJpeg);
        }
    }
    else
    {
        std::printf("JPEG save: peer cjpeg missing (ours %.6f s)\n", oursJpeg);
    }

    for (const std::string& path : {tiff, converted, inProfile, outProfile, jpeg, ppm, peerJpeg})
    {
        RemoveFile(path);
    }
    ClearReloadImageCache();
    bench::PrintWorstRatio();
    return 0;
}
