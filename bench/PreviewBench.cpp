// Opening a photograph in the preview, as the main window does for a file
// named on the command line, against what a user would run to get the same
// picture on the screen:
//   ours: a 6000 x 4000 image with an embedded wide-gamut profile
//   (Adobe-RGB-like), once a 16-bit TIFF and once a JPEG, is probed,
//   listed and loaded by the project (sRGB monitor and working profiles),
//   with a load progress that lets the user-interface thread's events be
//   handled as the main window's progress dialog does, and an image view
//   of 1920 x 1080 (offscreen) is refined tick after tick, on the real
//   clock, until every tile is at full resolution, each tile painted as it
//   is rendered, the events handled between ticks;
//   peer: `vipsthumbnail` of the same file to the same fitted size with the
//   monitor's profile as export profile (`--eprofile`), run as a process.
// Printed beside the times: the time from the start to the first painted
// picture (coarse: the first look of a JPEG while it decodes, else the
// first tile of the coarse pass), the longest stall of the user-interface thread (the
// longest gap between the ticks of a 1 ms timer during the opening) and
// the peak resident memory of the opening above what the process held
// before it, in working images (6000 x 4000 x 6 bytes). Goals: at most
// 1.0x vipsthumbnail, the first picture within 0.15 s, no stall above
// 50 ms, at most 2 working images.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer;
// the last line gives the worst ratio. The files go to a folder of $TMPDIR
// (or /tmp), which also serves as the program's cache and configuration
// folders, and are removed afterwards.

#include "app/preview/ImageView.h"
#include "bench/BenchSupport.h"
#include "bench/StallMeter.h"
#include "core/ColorProfile.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"
#include "tests/support/TestProfiles.h"

#include "controls/support/EventPump.h"

#include <QApplication>
#include <QPaintEvent>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

using bench::HasProgram;

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int ViewWidth = 1920;
constexpr int ViewHeight = 1080;
// 6000 x 4000 fitted into 1920 x 1080.
constexpr int FittedWidth = 1620;
constexpr int FittedHeight = 1080;
constexpr int Runs = 3;
constexpr double WorkingImageBytes = 6.0 * Width * Height;

[[noreturn]] void Fail(const std::string& what)
{
    bench::Fail("PreviewBench", what);
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        Fail("cannot write " + path);
}

void WriteInput(const std::string& path, const std::vector<std::uint8_t>& profile)
{
    if (!bench::WritePhotoTiff(path, Width, Height, bench::Tones::Even, profile))
        Fail("cannot write " + path);
}

// The same picture as a JPEG.
void WriteJpegInput(const std::string& path, const std::vector<std::uint8_t>& profile)
{
    if (!bench::WritePhotoJpeg(path, Width, Height, bench::Tones::Even, profile))
        Fail("cannot write " + path);
}

// The resident set of the process and its peak, in bytes (/proc/self/status).
std::size_t StatusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
    {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return static_cast<std::size_t>(std::strtoull(line.c_str() + prefix.size(), nullptr,
                                                          10)) *
                   1024;
    }
    return 0;
}

// Starts a new peak of the resident set (Linux: "5" to clear_refs).
void ResetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

CColorProfile OpenProfile(const std::vector<std::uint8_t>& bytes, const std::string& name)
{
    CColorProfile profile;
    if (!profile.OpenFromMemory(bytes, name))
        Fail("cannot open the profile " + name);
    return profile;
}

// The image view, noting when it first paints the first look of the image
// being loaded (a large JPEG's reduced decode).
class TimedView final : public CImageView
{
public:
    std::chrono::steady_clock::time_point firstLook;
    bool firstLookPainted = false;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        CImageView::paintEvent(event);
        if (!firstLookPainted && GetProject() != nullptr && GetProject()->GetFirstLook() != nullptr)
        {
            firstLook = std::chrono::steady_clock::now();
            firstLookPainted = true;
        }
    }
};

struct OurRun
{
    double firstCoarse = 0.0;
    double refined = 0.0;
    double stall = 0.0;
    double peakImages = 0.0;
    int ticks = 0;
};

// One opening: a new project and view, the file probed, listed and loaded,
// the view stepped until refined.
OurRun OpenAndRefine(const std::string& path, const std::vector<std::uint8_t>& srgb)
{
    const CColorProfile monitor = OpenProfile(srgb, "monitor.icm");
    const CColorProfile working = OpenProfile(srgb, "working.icm");
    const CColorProfile input = OpenProfile(srgb, "input.icm");

    OurRun run;
    TimedView view;
    view.resize(ViewWidth, ViewHeight);
    view.findChild<QTimer*>(QString::number(CImageView::kRefineTimer))->stop();
    view.show();
    QApplication::processEvents();

    // The main window's load progress lets the events be handled while
    // the file is read.
    auto pump = ProgressFunction([](double) { PumpEvents(); });
    bench::StallMeter meter;
    const std::size_t residentBefore = StatusBytes("VmRSS");
    ResetPeakResident();
    meter.Start();
    const auto start = std::chrono::steady_clock::now();
    CProjectManage project{std::string()};
    if (!project.SetProjectProfiles(&monitor, &working, &input))
        Fail("the project takes no profiles");
    project.SetImageView(&view);
    view.SetProject(&project);

    CImageFileInfo probe;
    if (probe.ReadInfo(path) != 1 || !project.AddFile(probe, project.GetCount()))
        Fail("cannot list " + path);
    if (project.LoadImage(project.GetItem(project.GetCount() - 1), false, pump) != 1)
        Fail("cannot load " + path);
    QApplication::processEvents();
    if (view.IsRefined())
        Fail("the view has nothing to refine");
    while (!view.IsRefined())
    {
        if (!view.StepRefinement())
            Fail("a tick rendered nothing");
        if (++run.ticks == 1)
        {
            run.firstCoarse = Seconds(start);
            if (view.firstLookPainted)
                run.firstCoarse = std::min(
                    run.firstCoarse,
                    std::chrono::duration<double>(view.firstLook - start).count());
        }
        if (run.ticks > 100000)
            Fail("never refined");
        QApplication::processEvents();
    }
    run.refined = Seconds(start);
    run.stall = meter.Stop();
    const std::size_t peak = StatusBytes("VmHWM");
    run.peakImages =
        peak > residentBefore ? static_cast<double>(peak - residentBefore) / WorkingImageBytes : 0.0;

    // The preview stands for the whole image at the fitted size.
    if (project.GetAfterPreview() == nullptr ||
        project.GetAfterPreview()->GetWidth() != FittedWidth ||
        project.GetAfterPreview()->GetHeight() != FittedHeight)
        Fail("unexpected preview");

    project.SetImageView(nullptr);
    view.SetProject(nullptr);
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    // The view needs no screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::error_code error;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base = tmp && *tmp ? tmp : "/tmp";
    const std::filesystem::path folder = base / ("preview-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder, error);
    if (error)
        Fail("cannot create " + folder.string());
    const std::string dir = folder.string() + "/";
    // The project's work files (the snapshot of the loaded image) and
    // settings stay in the bench folder.
    setenv("XDG_CACHE_HOME", (dir + "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "config").c_str(), 1);

    QApplication app(argc, argv);

    const std::vector<std::uint8_t> wide = testsupport::WideGamutProfileBytes();
    if (wide.empty())
        Fail("LittleCMS could not make the input profile");
    const std::vector<std::uint8_t> srgb = BuildSRGBProfileBytes();
    const std::string monitorProfile = dir + "monitor.icm";
    WriteFile(monitorProfile, srgb);

    const struct
    {
        const char* file;
        const char* what;
        void (*write)(const std::string&, const std::vector<std::uint8_t>&);
    } inputs[] = {
        {"in.tif", "16-bit TIFF", WriteInput},
        {"in.jpg", "JPEG", WriteJpegInput},
    };
    const bool hasPeer = HasProgram("vipsthumbnail");
    for (const auto& in : inputs)
    {
        const std::string input = dir + in.file;
        in.write(input, wide);

        OurRun best;
        best.refined = 1e300;
        double bestFirst = 1e300;
        double worstStall = 0.0;
        double worstPeak = 0.0;
        for (int r = 0; r < Runs; ++r)
        {
            const OurRun run = OpenAndRefine(input, srgb);
            if (run.refined < best.refined)
                best = run;
            bestFirst = std::min(bestFirst, run.firstCoarse);
            worstStall = std::max(worstStall, run.stall);
            worstPeak = std::max(worstPeak, run.peakImages);
            ClearReloadImageCache();
        }
        std::printf("preview of the 6000x4000 %s in 1920x1080: first coarse picture after %.6f s, "
                    "refined in %d ticks, longest user-interface stall %.1f ms, peak resident "
                    "memory of the opening %.2f working images\n",
                    in.what, bestFirst, best.ticks, worstStall * 1000.0, worstPeak);

        const std::string name = std::string("open and show 6000x4000 ") + in.what +
                                 " fitted into 1920x1080 vs vipsthumbnail";
        if (!hasPeer)
        {
            std::printf("%s: ours %.6f s, peer missing\n", name.c_str(), best.refined);
            continue;
        }
        const std::string command = "vipsthumbnail '" + input + "' --size " +
                                    std::to_string(FittedWidth) + "x" +
                                    std::to_string(FittedHeight) + " --eprofile '" +
                                    monitorProfile + "' -o '" + dir + "out.v' >/dev/null 2>&1";
        bool ok = true;
        const double peer =
            bench::Time(Runs, [&] { ok = std::system(command.c_str()) == 0 && ok; });
        if (!ok)
            Fail("vipsthumbnail failed");
        bench::Report(name, best.refined, peer);
    }

    std::filesystem::remove_all(folder, error);
    bench::PrintWorstRatio();
    return 0;
}
