// Timing of the batch as the user runs it: 8 photographs of 6000 x 4000
// pixels as 16-bit TIFFs with an embedded profile (gamma 2.2, Adobe RGB
// primaries), each loaded, resized into a 2000 x 2000 box and saved as a
// JPEG at quality level 2 (quality 75) by CProjectManage::RunBatch (mode 2,
// every step disabled as in the product, so the trimming document only
// resizes), against
// - vips thumbnail, with the embedded profile as import and export profile
//   (so it too goes through the colour transform of the file's space);
//   goal: at most 1.5x;
// - ImageMagick's convert -resize 2000x2000 -quality 75; goal: at most
//   0.5x.
// The peers run as programs, one process per image as a user's script
// would, so their times include starting them; ours include writing the
// batch log. The peak resident memory of each is printed beside the size
// of one 16-bit image, and the phases of one entry (load, resize, save)
// beside the totals.
//
// The files go into a private temporary folder, removed afterwards; the
// project's work folder is moved there too.

#include "bench/BenchSupport.h"
#include "core/ColorProfile.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"
#include "tests/support/TestProfiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int Files = 8;
constexpr int Box = 2000;
constexpr int Runs = 2;
constexpr int JpegLevel = 2;    // our quality level ...
constexpr int JpegQuality = 75; // ... and the quality it stands for

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what)
{
    bench::Fail("BatchBench", what);
}

// The Debian package's program when it is installed, so that a wrapper
// earlier in PATH adds nothing to the peer's time; else whatever PATH has.
std::string ProgramPath(const std::string& name)
{
    const std::string system = "/usr/bin/" + name;
    if (::access(system.c_str(), X_OK) == 0)
        return system;
    const std::string command = "command -v " + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? name : std::string();
}

struct CommandRun
{
    double seconds = -1.0; // best of the runs; -1 when a run failed
    long peakKiB = 0;      // the largest resident set of the command's processes
};

// Runs the shell command Runs times (output discarded), each in a child
// whose resource usage (its own and its waited-for children's) comes back
// through wait4.
CommandRun RunCommand(const std::string& command)
{
    CommandRun result;
    const std::string quiet = "{ " + command + "; } >/dev/null 2>&1";
    double best = 1e300;
    for (int r = 0; r < Runs; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid < 0)
            return result;
        if (pid == 0)
        {
            ::execl("/bin/sh", "sh", "-c", quiet.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage
        {};
        if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            return result;
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
        best = std::min(best, d.count());
        result.peakKiB = std::max(result.peakKiB, usage.ru_maxrss);
    }
    result.seconds = best;
    return result;
}

// The peak resident set of this process since the last ResetPeakMemory,
// in KiB (VmHWM); 0 when it cannot be read.
long PeakMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

// Starts the peak over (Linux: "5" to clear_refs resets VmHWM).
bool ResetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double MiB(long kib)
{
    return static_cast<double>(kib) / 1024.0;
}

void EmptyFolder(const std::string& folder)
{
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder, ec);
}

} // namespace

int main()
{
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "qb_batch_bench_XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        Fail("cannot make a temporary folder");
    const std::string root = pattern + "/";
    const std::string out = root + "out/";
    const std::string peerOut = root + "peers/";
    // The project's work folder (snapshots, park file, log) goes there too.
    ::setenv("XDG_CACHE_HOME", (root + "cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "config").c_str(), 1);
    fs::create_directories(out, ec);
    fs::create_directories(peerOut, ec);

    const std::vector<std::uint8_t> inputProfile = testsupport::WideGamutProfileBytes();
    const std::string inputProfilePath = root + "in.icc";
    {
        std::ofstream file(inputProfilePath, std::ios::binary);
        file.write(reinterpret_cast<const char*>(inputProfile.data()),
                   static_cast<std::streamsize>(inputProfile.size()));
        if (inputProfile.empty() || !file)
            Fail("cannot write the profile");
    }

    std::vector<std::string> inputs;
    {
        CRGBImage image(Width, Height);
        if (!bench::FillImage(image, bench::MakePhotoPixels(Width, Height, bench::Tones::Even)))
            Fail("cannot make the image");
        for (int i = 0; i < Files; ++i)
        {
            CImageFileInfo record;
            record.m_path = root + "photo" + std::to_string(i) + ".tif";
            record.m_type = kImageFileTiff16;
            record.m_detectedType = kImageFileTiff16;
            record.m_width = Width;
            record.m_height = Height;
            record.m_xResolution = 300.0f;
            record.m_yResolution = 300.0f;
            record.m_iccProfile = inputProfile;
            if (SaveTiff16(nullptr, record, image, {}) != 1)
                Fail("cannot write " + record.m_path);
            inputs.push_back(record.m_path);
        }
    }

    const std::vector<std::uint8_t> srgb = BuildSRGBProfileBytes();
    CColorProfile monitor;
    CColorProfile working;
    CColorProfile defaultInput;
    if (!monitor.OpenFromMemory(srgb, "monitor.icm") ||
        !working.OpenFromMemory(srgb, "working.icm") ||
        !defaultInput.OpenFromMemory(srgb, "input.icm"))
        Fail("cannot open the sRGB profile");

    auto project = std::make_unique<CProjectManage>(std::string());
    if (!project->SetProjectProfiles(&monitor, &working, &defaultInput))
        Fail("cannot set the project's profiles");
    for (const std::string& path : inputs)
    {
        CImageFileInfo entry;
        if (entry.ReadInfo(path) != 1 || !project->AddFile(entry, project->GetCount()))
            Fail("cannot add " + path);
    }
    project->SetOutputFolder(out);
    project->SetOutputFormat(kOutputJpeg);
    project->SetOutputOption(JpegLevel);

    // The phases of one entry, as the batch runs them.
    {
        CImageFileInfo& entry = project->GetItem(0);
        const double load = bench::Time(Runs, [&] {
            if (project->LoadImage(entry, true) != 1)
                Fail("load failed");
        });
        CRGBImage loaded = project->GetWorkingImage();
        const BatchSizeRequest request{3, Box, Box};
        const double resize = bench::Time(Runs, [&] {
            project->GetWorkingImage() = loaded;
            if (!project->GetTrimmingDoc().ProcessImage(project->GetWorkingImage(), nullptr,
                                                        project->GetWorkingMatrix(), nullptr, 1.0,
                                                        &request, {}, nullptr))
                Fail("resize failed");
        });
        // The copy above is part of that time: take it out.
        const double copy = bench::Time(Runs, [&] {
            project->GetWorkingImage() = loaded;
            bench::KeepAlive(project->GetWorkingImage().Lock());
            project->GetWorkingImage().Unlock();
        });
        if (!project->GetTrimmingDoc().ProcessImage(project->GetWorkingImage(), nullptr,
                                                    project->GetWorkingMatrix(), nullptr, 1.0,
                                                    &request, {}, nullptr))
            Fail("resize failed");
        loaded = CRGBImage();
        const double save = bench::Time(Runs, [&] {
            std::string written;
            if (!project->SaveResultImage(entry, -1.0, written))
                Fail("save failed");
            fs::remove(written, ec);
        });
        project->GetWorkingImage() = CRGBImage();
        std::printf("phases of one entry: load %.3f s, resize %.3f s, save %.3f s\n", load,
                    std::max(0.0, resize - copy), save);
    }

    // Our batch, from a fresh peak.
    const bool peakReset = ResetPeakMemory();
    double ours = 1e300;
    for (int r = 0; r < Runs; ++r)
    {
        EmptyFolder(out);
        const auto start = std::chrono::steady_clock::now();
        project->RunBatch(kBatchAsAtStart, std::string(), true, Box, Box);
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
        ours = std::min(ours, d.count());
    }
    const long oursPeak = PeakMemoryKiB();
    {
        CImageFileInfo result;
        if (result.ReadInfo(out + "photo0.jpg") != 1)
            Fail("the batch wrote no photo0.jpg");
        if (result.m_width != Box || result.m_height != Box * Height / Width)
            Fail("the batch's photo0.jpg has an unexpected size");
        if (!fs::exists(out + std::string(kBatchLogName)))
            Fail("the batch wrote no log");
    }

    const std::string vips = ProgramPath("vips");
    const std::string convert = ProgramPath("convert");
    const std::string box = std::to_string(Box);
    const std::string quality = std::to_string(JpegQuality);
    CommandRun vipsRun;
    CommandRun convertRun;
    if (!vips.empty())
    {
        std::string command;
        for (int i = 0; i < Files; ++i)
        {
            command += (i ? " && " : "") + vips + " thumbnail '" + inputs[i] + "' '" + peerOut +
                       "vips" + std::to_string(i) + ".jpg[Q=" + quality + "]' " + box +
                       " --height " + box + " --import-profile '" + inputProfilePath +
                       "' --export-profile '" + inputProfilePath + "'";
        }
        vipsRun = RunCommand(command);
        if (vipsRun.seconds > 0)
            bench::Report("batch of 8 6000x4000 16-bit TIFFs to 2000-pixel JPEGs vs vips thumbnail",
                          ours, vipsRun.seconds);
        else
            std::printf("batch: vips thumbnail failed (ours %.6f s)\n", ours);
    }
    else
    {
        std::printf("batch: peer vips missing (ours %.6f s)\n", ours);
    }
    if (!convert.empty())
    {
        std::string command;
        for (int i = 0; i < Files; ++i)
        {
            command += (i ? " && " : "") + convert + " '" + inputs[i] + "' -resize " + box + "x" +
                       box + " -quality " + quality + " '" + peerOut + "magick" +
                       std::to_string(i) + ".jpg'";
        }
        convertRun = RunCommand(command);
        if (convertRun.seconds > 0)
            bench::Report("batch of 8 6000x4000 16-bit TIFFs to 2000-pixel JPEGs vs ImageMagick",
                          ours, convertRun.seconds);
        else
            std::printf("batch: ImageMagick convert failed (ours %.6f s)\n", ours);
    }
    else
    {
        std::printf("batch: peer ImageMagick convert missing (ours %.6f s)\n", ours);
    }
    std::printf("goals: at most 1.5x vips, at most 0.5x ImageMagick\n");

    const double imageMiB = static_cast<double>(Width) * Height * 6 / (1024.0 * 1024.0);
    std::printf("peak resident memory: ours %.1f MiB%s, vips %.1f MiB, ImageMagick %.1f MiB; "
                "one 6000x4000 16-bit image %.1f MiB\n",
                MiB(oursPeak), peakReset ? "" : " (since start: peak reset unavailable)",
                MiB(vipsRun.peakKiB), MiB(convertRun.peakKiB), imageMiB);

    project.reset();
    ClearReloadImageCache();
    fs::remove_all(root, ec);
    bench::PrintWorstRatio();
    return 0;
}
