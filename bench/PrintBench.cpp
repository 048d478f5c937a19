// Timing of printing one photograph to a PDF file:
// - ours: a 6000 x 4000 16-bit TIFF loaded into the working image as the
//   project loads it (input tone curves), lent to the print job as the
//   print command lends it (the print copy, labelled with the input
//   profile's linear record) and printed on the PDF printer, A4 portrait at
//   300 dpi, the image fitted to the sheet's width, through the sRGB path:
//   resampled to the page's device pixels, converted and sent in bands;
// - peer: ImageMagick, `convert in.tif -profile sRGB.icc -resize <A4 at
//   300 dpi> out.pdf`;
// goal: at most 0.5x.
// Each side runs as a process of its own (ours forked, the peer started by
// the shell), so both times include starting up and writing the file, and
// each side's peak memory (ru_maxrss) is its own; it is printed beside the
// size of one 16-bit and one 24-bit image.
//
// The files are written into the folder of this program (the build folder)
// and removed afterwards.

#include "bench/BenchSupport.h"
#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "print/PageGeometry.h"
#include "print/PrintJob.h"

#include <QApplication>
#include <QPageSize>
#include <QPrinter>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

namespace {

using bench::BuildFolderFile;
using bench::HasProgram;
using bench::RemoveFile;

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int Runs = 3;
constexpr int Dpi = 300;

[[noreturn]] void Fail(const char* what)
{
    bench::Fail("PrintBench", what);
}

// One run in a child process: its wall time, and its peak resident memory
// in KiB (with the descendants it waited for); a negative time when it
// failed.
struct ChildRun
{
    double seconds = -1.0;
    long maxRssKiB = 0;
};

ChildRun RunChild(const std::function<int()>& work)
{
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0)
        _exit(work());
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    return {d.count(), usage.ru_maxrss};
}

// Best time and largest peak of several runs.
ChildRun BestOf(const std::function<int()>& work)
{
    ChildRun best;
    for (int r = 0; r < Runs; ++r)
    {
        const ChildRun run = RunChild(work);
        if (run.seconds < 0)
            return {};
        if (best.seconds < 0 || run.seconds < best.seconds)
            best.seconds = run.seconds;
        best.maxRssKiB = std::max(best.maxRssKiB, run.maxRssKiB);
    }
    return best;
}

// Ours, inside the child: load, print.
int PrintOurs(const std::string& tiff, const std::string& pdf)
{
    static int argc = 1;
    static char name[] = "bench_print";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    // The project's converter, all three spaces sRGB: the input curves
    // decode the file.
    CColorProfile srgb;
    if (!srgb.Open(GetSRGBProfileFileName()))
        return 2;
    CColorConverter converter(std::string{});
    if (!converter.SetProfiles(&srgb, &srgb, &srgb))
        return 3;
    CImageFileInfo info;
    info.m_path = tiff;
    CRGBImage working;
    if (LoadImage(info, working, &converter.GetInputTRC(), nullptr, {}, false) != 1)
        return 4;
    // The print copy is the working image itself.
    LogColorSpace space;
    if (!srgb.GetLogColorSpace(space, true))
        return 7;

    // A4 without margins at 300 dpi; the image as wide as the sheet.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setResolution(Dpi);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer.setFullPage(true);
    const PageGeometry page{2480, 3508, 2480, 3508, 0, 0, Dpi, Dpi};

    PrintImageRequest request;
    request.image = &working;
    request.colorSpace = &space;
    request.printWidth = 2100;
    request.printHeight = 2100 * Height / Width;
    request.path = PrintColorPath::NoPrinterProfile;
    request.documentName = "print_bench.tif";
    const PrintJobOutcome outcome = PrintImageOnPrinter(printer, page, "", request, nullptr);
    return outcome.result == PrintJobResult::Printed ? 0 : 8;
}

int RunShell(const std::string& command)
{
    execl("/bin/sh", "sh", "-c", (command + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
    return 127;
}

double MiB(std::size_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

int main()
{
    const std::string tiff = BuildFolderFile("print_bench.tif");
    const std::string pdf = BuildFolderFile("print_bench.pdf");
    const std::string peerPdf = BuildFolderFile("print_bench_peer.pdf");
    const std::string peerTiff = BuildFolderFile("print_bench_peer.tif");
    const std::string srgbPath = BuildFolderFile("print_bench_srgb.icc");

    // The colour directory lives in a folder of its own for the run.
    const std::string data = BuildFolderFile("print_bench_data");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    if (!EnsureSRGBProfileInstalled())
        Fail("cannot install the sRGB profile");
    {
        const std::vector<std::uint8_t> bytes = BuildSRGBProfileBytes();
        std::FILE* f = std::fopen(srgbPath.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            Fail("cannot write the sRGB profile");
        std::fclose(f);
    }

    if (!bench::WritePhotoTiff(tiff, Width, Height, bench::Tones::Even))
        Fail("cannot write the TIFF");

    const ChildRun ours = BestOf([&] { return PrintOurs(tiff, pdf); });
    if (ours.seconds < 0)
        Fail("printing failed");
    const double image16 = MiB(static_cast<std::size_t>(Width) * Height * 6);
    const double image24 = MiB(static_cast<std::size_t>(Width) * Height * 3);
    std::printf("peak memory: ours %.0f MiB (one 16-bit image %.0f MiB, one 24-bit image %.0f MiB)\n",
                ours.maxRssKiB / 1024.0, image16, image24);

    const char* magick = HasProgram("magick") ? "magick" : HasProgram("convert") ? "convert" : nullptr;
    if (magick)
    {
        // A4 at 300 dpi: 2480 x 3508 dots; -resize keeps the aspect ratio.
        const std::string common =
            std::string(magick) + " '" + tiff + "' -profile '" + srgbPath + "' -resize 2480x3508 ";
        ChildRun peer = BestOf([&] { return RunShell(common + "'" + peerPdf + "'"); });
        const char* name = "16-bit TIFF to an A4 PDF at 300 dpi vs ImageMagick";
        if (peer.seconds < 0)
        {
            // Distributions' ImageMagick security policy may forbid writing
            // PDF. The same work (read, profile, resize, a deflated raster
            // written) into a zip-compressed TIFF stands in for it.
            peer = BestOf([&] { return RunShell(common + "-compress zip '" + peerTiff + "'"); });
            name = "16-bit TIFF to an A4 PDF at 300 dpi vs ImageMagick to a zip TIFF "
                   "(its policy forbids PDF)";
        }
        if (peer.seconds > 0)
        {
            bench::Report(name, ours.seconds, peer.seconds);
            std::printf("peak memory: peer %.0f MiB\n", peer.maxRssKiB / 1024.0);
        }
        else
            std::printf("print: ImageMagick failed (ours %.6f s)\n", ours.seconds);
    }
    else
        std::printf("print: peer missing (ours %.6f s)\n", ours.seconds);

    for (const std::string& path : {tiff, pdf, peerPdf, peerTiff, srgbPath})
        RemoveFile(path);
    std::error_code ec;
    std::filesystem::remove_all(data, ec);
    bench::PrintWorstRatio();
    return 0;
}
