// Opening a photograph in the preview, as the main window does for a file
// named on the command line, against what a user would run to get the same
// picture on the screen:
//   ours: a 6000 x 4000 16-bit TIFF with an embedded wide-gamut profile
//   (Adobe-RGB-like) is probed, listed and loaded by the project (sRGB
//   monitor and working profiles), and an image view of 1920 x 1080
//   (offscreen) is refined tick after tick, on the real clock, until every
//   tile is at full resolution, each tile painted as it is rendered;
//   peer: `vipsthumbnail` of the same file to the same fitted size with the
//   monitor's profile as export profile (`--eprofile`), run as a process.
// The time from the start to the first painted coarse picture is printed
// too. Goal: at most 1.5x vipsthumbnail.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer;
// the last line gives the worst ratio. The files go to a folder of $TMPDIR
// (or /tmp), which also serves as the program's cache and configuration
// folders, and are removed afterwards.

#include "app/ImageView.h"
#include "bench/BenchSupport.h"
#include "core/ColorProfile.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"
#include "tests/support/TestProfiles.h"

#include <QApplication>
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

CColorProfile OpenProfile(const std::vector<std::uint8_t>& bytes, const std::string& name)
{
    CColorProfile profile;
    if (!profile.OpenFromMemory(bytes, name))
        Fail("cannot open the profile " + name);
    return profile;
}

struct OurRun
{
    double firstCoarse = 0.0;
    double refined = 0.0;
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
    CImageView view;
    view.resize(ViewWidth, ViewHeight);
    view.findChild<QTimer*>(QString::number(CImageView::kRefineTimer))->stop();
    view.show();
    QApplication::processEvents();

    const auto start = std::chrono::steady_clock::now();
    CProjectManage project{std::string()};
    if (!project.SetProjectProfiles(&monitor, &working, &input))
        Fail("the project takes no profiles");
    project.SetImageView(&view);
    view.SetProject(&project);

    CImageFileInfo probe;
    if (probe.ReadInfo(path) != 1 || !project.AddFile(probe, project.GetCount()))
        Fail("cannot list " + path);
    if (project.LoadImage(project.GetItem(project.GetCount() - 1), false) != 1)
        Fail("cannot load " + path);
    if (view.IsRefined())
        Fail("the view has nothing to refine");
    while (!view.IsRefined())
    {
        if (!view.StepRefinement())
            Fail("a tick rendered nothing");
        if (++run.ticks == 1)
            run.firstCoarse = Seconds(start);
        if (run.ticks > 100000)
            Fail("never refined");
    }
    run.refined = Seconds(start);

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
    const std::string input = dir + "in.tif";
    const std::string monitorProfile = dir + "monitor.icm";
    WriteInput(input, wide);
    WriteFile(monitorProfile, srgb);

    double best = 1e300;
    double bestFirst = 1e300;
    int ticks = 0;
    for (int r = 0; r < Runs; ++r)
    {
        const OurRun run = OpenAndRefine(input, srgb);
        if (run.refined < best)
        {
            best = run.refined;
            ticks = run.ticks;
        }
        bestFirst = std::min(bestFirst, run.firstCoarse);
        ClearReloadImageCache();
    }
    std::printf("preview 6000x4000 in 1920x1080: first coarse picture after %.6f s, refined in "
                "%d ticks\n",
                bestFirst, ticks);

    const char* name = "open and show 6000x4000 16-bit TIFF fitted into 1920x1080 vs vipsthumbnail";
    if (!HasProgram("vipsthumbnail"))
    {
        std::printf("%s: ours %.6f s, peer missing\n", name, best);
    }
    else
    {
        const std::string command = "vipsthumbnail '" + input + "' --size " +
                                    std::to_string(FittedWidth) + "x" +
                                    std::to_string(FittedHeight) + " --eprofile '" +
                                    monitorProfile + "' -o '" + dir + "out.v' >/dev/null 2>&1";
        bool ok = true;
        const double peer =
            bench::Time(Runs, [&] { ok = std::system(command.c_str()) == 0 && ok; });
        if (!ok)
            Fail("vipsthumbnail failed");
        bench::Report(name, best, peer);
    }

    std::filesystem::remove_all(folder, error);
    bench::PrintWorstRatio();
    return 0;
}
