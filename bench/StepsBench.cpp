// Timing of the correction steps on a generated 6000 x 4000 16-bit image,
// each against what a user would run instead on the same pixels saved as a
// 16-bit TIFF:
//   1. filter (unsharp mask on L*, radius 2 pixels), against
//      `vips sharpen --sigma 2`;
//   2. trimming document's resize into a 3000 x 2000 box (the batch's
//      resize, its temporary raw file included), against `vips resize 0.5`;
//   3. gradation (levels on L*), against ImageMagick `convert` with a
//      -colorspace LCHab round trip and -level on the lightness channel;
//   4. colour tone, uniform (hue turned, chroma scaled, a colour cast
//      removed) and by twelve free hue points, against the LCHab round trip
//      with the hue channel added to and the chroma channel multiplied;
//   5. chosen colour (two hard LCh ranges, two soft zones), against the
//      same LCHab round trip: a user without the step can at best bend hue
//      and chroma of the whole image there.
// Ours is the whole-image ProcessImage (PrepareApply and Apply, rows spread
// over every core); the peers are the whole command, reading and writing
// their files, as a user would run them. Goals: at most 1.5x vips and at
// most 0.5x ImageMagick. For the colour documents the time of one thread is
// printed as well, with a check that it gives the same pixels.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer,
// or "name: ours X s, peer missing" when the peer program is not installed;
// the last line gives the worst ratio. Files go to a folder under $TMPDIR
// (or /tmp), removed afterwards.

#include "bench/BenchSupport.h"
#include "core/StdMatrix.h"
#include "correction/BaseDoc.h"
#include "correction/ColorCalibDoc.h"
#include "correction/ColorChangeDoc.h"
#include "correction/FilterDoc.h"
#include "correction/GrayCalibDoc.h"
#include "correction/TrimmingDoc.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

using bench::HasProgram;

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int OurRuns = 3;
constexpr int PeerRuns = 2;

[[noreturn]] void Fail(const std::string& what)
{
    bench::Fail("StepsBench", what);
}

// Linear sRGB to XYZ at white Y = 100, on 16-bit values: the working space
// the steps run in.
CStdMatrix WorkingMatrix()
{
    constexpr double srgb[3][3] = {
        {0.4124, 0.3576, 0.1805},
        {0.2126, 0.7152, 0.0722},
        {0.0193, 0.1192, 0.9505},
    };
    CStdMatrix m(3, 3);
    for (std::uint32_t i = 0; i < 3; ++i)
        for (std::uint32_t j = 0; j < 3; ++j)
            m.SetAt(i, j, srgb[i][j] * 100.0 / 65535.0);
    return m;
}

// The pixels as an uncompressed 16-bit RGB TIFF, rows in strips.
void WriteTiff(const std::string& path, const std::vector<RGB16>& pixels)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        Fail("cannot create " + path);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(Width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(Height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint16_t> row(static_cast<std::size_t>(Width) * 3);
    bool ok = true;
    for (int y = 0; y < Height && ok; ++y)
    {
        const RGB16* from = &pixels[static_cast<std::size_t>(y) * Width];
        for (int x = 0; x < Width; ++x)
        {
            row[3 * x] = from[x].r;
            row[3 * x + 1] = from[x].g;
            row[3 * x + 2] = from[x].b;
        }
        ok = TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    TIFFClose(tiff);
    if (!ok)
        Fail("cannot write " + path);
}

// Best time of a peer command run quietly in the bench folder; negative when
// it fails.
double TimePeer(const std::string& folder, const std::string& commandLine)
{
    const std::string command = "cd '" + folder + "' && " + commandLine + " >/dev/null 2>&1";
    bool ok = true;
    const double t = bench::Time(PeerRuns, [&] { ok = std::system(command.c_str()) == 0 && ok; });
    return ok ? t : -1.0;
}

void ComparePeer(const char* name, double ours, const std::string& folder, const char* program,
                 const std::string& arguments)
{
    if (!HasProgram(program))
    {
        std::printf("%s: ours %.6f s, peer missing\n", name, ours);
        std::fflush(stdout);
        return;
    }
    const double peer = TimePeer(folder, std::string(program) + " " + arguments);
    if (peer < 0.0)
        Fail(std::string(program) + " " + arguments + " failed");
    bench::Report(name, ours, peer);
}

std::uint64_t HashPixels(CRGBImage& image)
{
    CAccessRGBImage access(image);
    std::uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        for (int x = 0; x < image.GetWidth(); ++x)
        {
            const RGB16& px = access.GetStoredPixel(x, y);
            for (std::uint16_t v : {px.r, px.g, px.b})
                hash = (hash ^ v) * 1099511628211ull;
        }
    }
    return hash;
}

struct OurRun
{
    double seconds = 1e300;
    std::uint64_t hash = 0;
};

// Best of OurRuns whole-image runs of the document, each on a fresh copy of
// the pixels (the copy is not timed).
OurRun TimeOurs(CBaseDoc& doc, const std::vector<RGB16>& pixels, CRGBImage& image,
                const BatchSizeRequest* request = nullptr)
{
    const CStdMatrix matrix = WorkingMatrix();
    OurRun run;
    for (int r = 0; r < OurRuns; ++r)
    {
        if (!image.Create(Width, Height) || !bench::FillImage(image, pixels))
            Fail("cannot hold the test image");
        bool ok = false;
        const double t = bench::Time(1, [&] {
            ok = doc.ProcessImage(image, nullptr, matrix, nullptr, 1.0, request, {}, nullptr);
        });
        if (!ok)
            Fail("a document failed on the test image: " + doc.GetSectionName());
        run.seconds = std::min(run.seconds, t);
    }
    run.hash = HashPixels(image);
    return run;
}

// The whole-image time of one thread, and whether its pixels are those of
// every core.
void CompareOneThread(const char* name, CBaseDoc& doc, const std::vector<RGB16>& pixels,
                      CRGBImage& image, const OurRun& threaded)
{
    SetRowThreadCount(1);
    const OurRun single = TimeOurs(doc, pixels, image);
    SetRowThreadCount(0);
    std::printf("%s, one thread: %.6f s (%d threads %.2fx faster), same pixels: %s\n", name,
                single.seconds, GetRowThreadCount(), single.seconds / threaded.seconds,
                single.hash == threaded.hash ? "yes" : "NO");
    std::fflush(stdout);
    if (single.hash != threaded.hash)
        Fail(std::string(name) + ": threads changed the pixels");
}

// The LCHab round trip of ImageMagick with channel operations in between
// (in LCHab, channel R is L, G is C and B is h).
std::string ImageMagickRoundTrip(const std::string& operations)
{
    return "in.tif -colorspace LCHab " + operations +
           " +channel -colorspace sRGB -depth 16 out.tif";
}

CColorChangeDoc SpecifiedColourDoc()
{
    CColorChangeDoc doc;
    auto element = [](CCIELCh min, CCIELCh max, CCIELCh center, CCIELCh after, int soft, double k) {
        CLChRange e;
        e.LChBeforMin = min;
        e.LChBeforMax = max;
        e.LChBeforCenter = center;
        e.LChAfter = after;
        e.Hendou = soft;
        e.HendouEffectK = k;
        e.RectImage = CRect(100, 100, 140, 130);
        return e;
    };
    // Skin warmer, sky bluer, foliage lighter, one deep red toned down.
    doc.SetEntry(0, element(CCIELCh(30, 10, 20), CCIELCh(85, 45, 70), CCIELCh(60, 25, 50),
                            CCIELCh(62, 28, 45), 0, 0.0));
    doc.SetEntry(1, element(CCIELCh(40, 15, 200), CCIELCh(90, 60, 260), CCIELCh(70, 30, 230),
                            CCIELCh(68, 38, 235), 0, 0.0));
    doc.SetEntry(2, element(CCIELCh(0, 0, 0), CCIELCh(0, 0, 0), CCIELCh(50, 40, 130),
                            CCIELCh(56, 45, 125), 1, 0.4));
    doc.SetEntry(3, element(CCIELCh(0, 0, 0), CCIELCh(0, 0, 0), CCIELCh(45, 60, 30),
                            CCIELCh(45, 50, 30), 1, -0.2));
    return doc;
}

} // namespace

int main()
{
    std::error_code error;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base = tmp && *tmp ? tmp : "/tmp";
    const std::filesystem::path folder = base / ("steps-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder, error);
    if (error)
        Fail("cannot create " + folder.string());
    const std::string dir = folder.string() + "/";

    const std::vector<RGB16> pixels = bench::MakePhotoPixels(Width, Height, bench::Tones::Even);
    WriteTiff(dir + "in.tif", pixels);
    CRGBImage image;

    {
        CFilterDoc doc;
        doc.GetParams().Radius = 20; // a Gaussian of 2 pixels
        doc.GetParams().Amount = 100;
        const OurRun ours = TimeOurs(doc, pixels, image);
        ComparePeer("filter", ours.seconds, dir, "vips", "sharpen in.tif out.tif --sigma 2");
    }
    {
        CTrimmingDoc doc;
        const BatchSizeRequest box{3, Width / 2, Height / 2};
        const OurRun ours = TimeOurs(doc, pixels, image, &box);
        if (image.GetWidth() != Width / 2 || image.GetHeight() != Height / 2)
            Fail("the trimming document did not resize into the box");
        ComparePeer("resize", ours.seconds, dir, "vips", "resize in.tif out.tif 0.5");
    }
    {
        CGrayCalibDoc doc;
        doc.GetParams().InBlackLevel = 10;
        doc.GetParams().InWhiteLevel = 240;
        doc.GetParams().InGamma = 1.2;
        const OurRun ours = TimeOurs(doc, pixels, image);
        ComparePeer("gradation", ours.seconds, dir, "convert",
                    ImageMagickRoundTrip("-channel R -level 3.9%,94.1%,1.2"));
    }
    const std::string colourTonePeer =
        ImageMagickRoundTrip("-channel B -evaluate AddModulus 8.333% +channel "
                             "-channel G -evaluate Multiply 1.2");
    {
        CColorCalibDoc doc;
        CColorCalibData data = doc.GetCalibData();
        data.Hue = 30.0;
        data.Sat = 60.0;
        data.Offset = 4.0;
        data.Direction = 60.0;
        doc.SetCalibData(data);
        const OurRun ours = TimeOurs(doc, pixels, image);
        ComparePeer("colour tone", ours.seconds, dir, "convert", colourTonePeer);
        CompareOneThread("colour tone", doc, pixels, image, ours);
    }
    {
        // Twelve hue points every 30 degrees, each moved on its own.
        CColorCalibDoc doc;
        CColorCalibData data = doc.GetCalibData();
        data.fRandamCalib = 1;
        data.ColorCount = 12;
        for (int i = 0; i < 12; ++i)
        {
            data.LchBefore[i] = CCIELCh(50.0, 50.0, 30.0 * i);
            data.LchAfter[i] = CCIELCh(50.0, 40.0 + 2.0 * i, 30.0 * i + (i % 3) * 7.0);
        }
        data.Offset = 4.0;
        data.Direction = 60.0;
        doc.SetCalibData(data);
        const OurRun ours = TimeOurs(doc, pixels, image);
        ComparePeer("colour tone (hue points)", ours.seconds, dir, "convert", colourTonePeer);
        CompareOneThread("colour tone (hue points)", doc, pixels, image, ours);
    }
    {
        CColorChangeDoc doc = SpecifiedColourDoc();
        const OurRun ours = TimeOurs(doc, pixels, image);
        ComparePeer("chosen colour", ours.seconds, dir, "convert",
                    ImageMagickRoundTrip("-channel B -evaluate AddModulus 1% +channel "
                                         "-channel G -evaluate Multiply 1.1"));
        CompareOneThread("chosen colour", doc, pixels, image, ours);
    }

    std::filesystem::remove_all(folder, error);
    bench::PrintWorstRatio();
    return 0;
}
