// Registering a folder of photographs in the file list, as a user does by
// dropping 5,000 files on the main window, until every row has its
// thumbnail, against what a user would run to get the same thumbnails:
//   ours: a main window (offscreen, private folders, the simulated
//   monitor) adds 5,000 small distinct JPEG files (probe and register,
//   with its progress window), then the thumbnail loader makes every
//   thumbnail (160 pixels on the longer side) on its worker thread, each
//   result taken on the user-interface thread through a queued call, as
//   the file list takes it;
//   peer: `vipsthumbnail --size 160` over the same files, as a user's
//   shell command would run it.
// Goal: at most 1.5x vipsthumbnail.
//
// The user-interface thread must stay live throughout: a 1 ms timer runs
// during both phases and the longest gap between two of its ticks is
// printed for each (the stall a user would feel while the list fills).
//
// Each ratio line reads "name: ours X s, peer Y s, ratio R" with
// R = ours/peer; the last line gives the worst ratio. The files go to a
// folder of $TMPDIR (or /tmp), which is also the program's home, cache and
// settings folder, and are removed afterwards.

#include "app/filelist/FileView.h"
#include "app/shell/MainFrame.h"
#include "bench/BenchSupport.h"
#include "bench/StallMeter.h"
#include "core/GlobalSettings.h"
#include "core/ProfileStore.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/LoadThumbnail.h"
#include "imagefile/ReloadCache.h"
#include "monitor/Display.h"
#include "platform/Clock.h"
#include "platform/ddc/SimulatedMonitors.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

using bench::HasProgram;

constexpr int Files = 5000;
constexpr int Width = 480;
constexpr int Height = 360;

[[noreturn]] void Fail(const std::string& what)
{
    bench::Fail("FileListBench", what);
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Photograph-like pixels that differ from file to file (each file its own
// phase and tint), so that no two files decode alike.
void WriteInputs(const std::string& folder, std::vector<std::string>& paths)
{
    const std::vector<RGB16> base = bench::MakePhotoPixels(Width, Height, bench::Tones::Even);
    bench::Random random;
    for (int i = 0; i < Files; ++i)
    {
        CRGBImage image(Width, Height);
        std::vector<RGB16> pixels = base;
        const int shift = static_cast<int>(random.Next() % static_cast<std::uint64_t>(Width));
        const std::uint16_t tint = random.Next16();
        for (int y = 0; y < Height; ++y)
        {
            RGB16* row = &pixels[static_cast<std::size_t>(y) * Width];
            std::rotate(row, row + shift, row + Width);
            for (int x = 0; x < Width; ++x)
                row[x].b = static_cast<std::uint16_t>((row[x].b + tint) / 2);
        }
        if (!bench::FillImage(image, pixels))
            Fail("cannot make an image");
        char name[32];
        std::snprintf(name, sizeof name, "img%05d.jpg", i);
        CImageFileInfo record;
        record.m_path = folder + name;
        record.m_type = kImageFileJpeg;
        record.m_detectedType = kImageFileJpeg;
        record.m_width = Width;
        record.m_height = Height;
        record.m_xResolution = record.m_yResolution = 300.0f;
        if (SaveImageByGdiplus(record, image, nullptr, nullptr, {}) != 1)
            Fail("cannot write " + record.m_path);
        paths.push_back(record.m_path);
    }
}

struct OurRun
{
    double adding = 0.0;
    double thumbnails = 0.0;
    double addingStall = 0.0;
    double thumbnailStall = 0.0;
    std::size_t listed = 0;
    int made = 0;
};

OurRun AddAndThumbnail(const std::string& dir, const std::vector<std::string>& paths)
{
    platform::VirtualClock clock;
    platform::SimulatedMonitorFile monitors(dir + "monitors.ini");
    if (!monitors.Write())
        Fail("cannot write the simulated monitor");
    MainFrameOptions options;
    options.drmRoot = dir + "no-drm";
    options.makeDisplay = [&] {
        return std::make_unique<CDdcApiDisplay>(
            std::make_unique<platform::SimulatedDdcTransport>(monitors.Path(), clock), clock,
            dir + "no-drm");
    };
    CMainFrame frame(std::move(options));
    frame.show();
    QElapsedTimer wait;
    wait.start();
    while (!frame.IsStarted())
    {
        if (wait.elapsed() > 30000)
            Fail("the main window did not start");
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    OurRun run;
    bench::StallMeter meter;
    const auto start = std::chrono::steady_clock::now();
    meter.Start();
    frame.AddFiles(paths, false);
    run.addingStall = meter.Stop();
    run.adding = Seconds(start);
    run.listed = frame.GetProject().GetCount();

    // Every listed row asks for its thumbnail; the loader announces each
    // result from its thread and the user-interface thread takes it.
    CLoadThumbnail loader;
    std::vector<std::string> files;
    files.reserve(paths.size());
    QObject receiver;
    const auto takeResults = [&] {
        std::string path, thumbnail, dng;
        int failed = 0;
        while (loader.TakeResult(path, thumbnail, dng, failed))
        {
            if (!thumbnail.empty())
            {
                files.push_back(thumbnail);
                ++run.made;
            }
        }
    };
    const auto thumbStart = std::chrono::steady_clock::now();
    meter.Start();
    if (!loader.Start(
            [&] { QMetaObject::invokeMethod(&receiver, takeResults, Qt::QueuedConnection); }))
        Fail("the thumbnail loader does not start");
    for (std::size_t i = 0; i < run.listed; ++i)
        loader.RequestThumbnail(frame.GetProject().GetItem(i).m_path);
    while (run.made < static_cast<int>(run.listed))
    {
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        if (Seconds(thumbStart) > 3600.0)
            Fail("only " + std::to_string(run.made) + " thumbnails were made in an hour");
    }
    run.thumbnails = Seconds(thumbStart);
    run.thumbnailStall = meter.Stop();
    loader.Stop();

    std::error_code error;
    for (const std::string& file : files)
        std::filesystem::remove(file, error);
    // The window goes without its closing question (the list is new).
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::error_code error;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base = tmp && *tmp ? tmp : "/tmp";
    const std::filesystem::path folder = base / ("filelist-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "in", error);
    std::filesystem::create_directories(folder / "peer", error);
    std::filesystem::create_directories(folder / "no-drm", error);
    if (error)
        Fail("cannot create " + folder.string());
    const std::string dir = folder.string() + "/";
    // The program's settings, work files, colour directory and monitor stay
    // in the bench folder.
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir + "cache").c_str(), 1);
    setenv("QUILLBRAKE_SIMULATED_MONITORS", (dir + "monitors.ini").c_str(), 1);

    QApplication app(argc, argv);
    SetSkipInitMsg(1);
    if (!EnsureSRGBProfileInstalled() || !InitMonitorProfile())
        Fail("no monitor profile");

    std::vector<std::string> paths;
    WriteInputs(dir + "in/", paths);

    const OurRun run = AddAndThumbnail(dir, paths);
    if (run.listed != paths.size() || run.made != static_cast<int>(paths.size()))
        Fail("listed " + std::to_string(run.listed) + ", thumbnails " + std::to_string(run.made));
    const double ours = run.adding + run.thumbnails;
    // The loader's thread runs at the lowest priority: on a busy machine
    // it waits for every other process, so the load is part of the result.
    double load[1] = {0.0};
    if (getloadavg(load, 1) == 1)
        std::printf("load average during the run: %.1f on %ld processors\n", load[0],
                    sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("adding %d files to the list: %.6f s, longest user-interface stall %.1f ms\n",
                Files, run.adding, run.addingStall * 1000.0);
    std::printf("making their thumbnails: %.6f s, longest user-interface stall %.1f ms\n",
                run.thumbnails, run.thumbnailStall * 1000.0);

    const char* name = "list and thumbnail 5000 JPEG files of 480x360 vs vipsthumbnail --size 160";
    if (!HasProgram("vipsthumbnail"))
    {
        std::printf("%s: ours %.6f s, peer missing (vipsthumbnail is not installed)\n", name, ours);
    }
    else
    {
        // The peer as a user runs it, and once more at the loader's own
        // priority (nice 19), which shows how much of the difference is the
        // machine's other work rather than the thumbnails themselves.
        const struct
        {
            const char* prefix;
            const char* name;
        } peers[] = {
            {"", name},
            {"nice -n 19 ",
             "list and thumbnail 5000 JPEG files vs vipsthumbnail at the loader's priority"},
        };
        for (const auto& p : peers)
        {
            std::filesystem::remove_all(folder / "peer", error);
            std::filesystem::create_directories(folder / "peer", error);
            const std::string command = "cd '" + dir + "in' && ls | " + p.prefix +
                                        "xargs vipsthumbnail --size " +
                                        std::to_string(CLoadThumbnail::kThumbnailSide) + " -o '" +
                                        dir + "peer/%s.jpg' >/dev/null 2>&1";
            const auto start = std::chrono::steady_clock::now();
            if (std::system(command.c_str()) != 0)
                Fail("vipsthumbnail failed");
            const double peer = Seconds(start);
            std::size_t made = 0;
            for (const auto& item : std::filesystem::directory_iterator(folder / "peer", error))
                made += item.is_regular_file() ? 1 : 0;
            if (made != paths.size())
                Fail("vipsthumbnail made " + std::to_string(made) + " thumbnails");
            bench::Report(p.name, ours, peer);
        }
    }

    FreeMonitorProfile();
    ClearReloadImageCache();
    std::filesystem::remove_all(folder, error);
    bench::PrintWorstRatio();
    return 0;
}
