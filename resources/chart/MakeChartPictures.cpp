// Draws the monitor wizard's comparison chart into the program data:
//
//   make_chart_pictures <output folder>
//
// writes ChartImage_big.tif, ChartImage_mid.tif and ChartImage_small.tif
// (uncompressed 8-bit RGB TIFF with the sRGB profile embedded, so that the
// wizard converts them for the monitor) into the folder. The chart is the
// program's own drawing (controls/art), the one the wizard's page pictures
// show as well. Each file is written in one piece; the big one last, so a
// failed run leaves no file the build would take as up to date. Run with
// QT_QPA_PLATFORM=offscreen: no display is needed.

#include "controls/art/ResourceArt.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/SRGBProfile.h"
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct ChartSize
{
    const char* name;
    int width;
    int height;
};

// The big chart fills the pages' chart control; the candidate page shows
// the middle one in its centre cell and the small one around it.
constexpr ChartSize kSizes[] = {
    {"ChartImage_small.tif", 150, 100},
    {"ChartImage_mid.tif", 210, 140},
    {"ChartImage_big.tif", 360, 240},
};

bool WriteChart(const ChartSize& size, const std::vector<std::uint8_t>& profile,
                const std::string& folder)
{
    QImage picture(size.width, size.height, QImage::Format_RGB32);
    {
        QPainter painter(&picture);
        DrawComparisonChart(painter, QRectF(0, 0, size.width, size.height));
    }
    CImageEx image;
    if (!image.Create(size.width, size.height))
        return false;
    for (int y = 0; y < size.height; ++y)
    {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < size.width; ++x)
        {
            std::uint8_t* p = image.GetPixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>(qBlue(line[x]));
            p[1] = static_cast<std::uint8_t>(qGreen(line[x]));
            p[2] = static_cast<std::uint8_t>(qRed(line[x]));
        }
    }
    return SaveImageFile(profile, kImageFileTiff8, image, folder + "/" + size.name, 96.0f, 96.0f, 0);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: make_chart_pictures <output folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (!QDir().mkpath(QString::fromStdString(folder)))
    {
        std::fprintf(stderr, "make_chart_pictures: cannot create %s\n", folder.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> profile = BuildSRGBProfileBytes();
    for (const ChartSize& size : kSizes)
        if (!WriteChart(size, profile, folder))
        {
            std::fprintf(stderr, "make_chart_pictures: cannot write %s\n", size.name);
            return 1;
        }
    return 0;
}
