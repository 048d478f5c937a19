#include "imagefile/LoadThumbnail.h"

#include "core/GlobalSettings.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/PathUtils.h"
#include "tests/support/OpenCounter.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <chrono>
#include <condition_variable>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <future>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

bool FileExists(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0;
}

// Names in a folder that start with prefix.
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str()))
    {
        while (const dirent* entry = ::readdir(dir))
        {
            const std::string name = entry->d_name;
            if (name.rfind(prefix, 0) == 0)
            {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

// A width x height JPEG: left half red, right half blue.
void WriteJpeg(const std::string& path, int width, int height)
{
    CImageEx image;
    ASSERT_TRUE(image.Create(width, height));
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            std::uint8_t* p = image.GetPixelAddress(x, y);
            const bool left = x < width / 2;
            p[0] = left ? 0 : 255; // blue
            p[1] = 0;
            p[2] = left ? 255 : 0; // red
        }
    }
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, image, path, 72.0f, 72.0f, 4));
}

template <typename Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!predicate())
    {
        if (std::chrono::steady_clock::now() > end)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Whether a thread of this process waits in the kernel for the other end
// of a pipe it opens (Linux names that wait "wait_for_partner").
bool SomeThreadWaitsForAPipe()
{
    bool waits = false;
    if (DIR* dir = ::opendir("/proc/self/task"))
    {
        while (const dirent* entry = ::readdir(dir))
        {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
            {
                continue;
            }
            const std::string channel =
                testsupport::ReadTextFile("/proc/self/task/" + name + "/wchan");
            waits = waits || channel.rfind("wait_for_partner", 0) == 0;
        }
        ::closedir(dir);
    }
    return waits;
}

// Each test gets its own work folder (the thumbnails' temporary files) and
// leaves the converter settings empty again.
class LoadThumbnailTest : public ::testing::Test
{
protected:
    void TearDown() override { SetDNGConverterPath(""); }

    TempDir m_dir;
    ScopedEnv m_cache{"XDG_CACHE_HOME", m_dir.Path() + "cache"};
};

} // namespace

TEST(ThumbnailBoxTest, LongerSideIs160AndNoSideIsZero)
{
    struct Case
    {
        int w, h, bw, bh;
    };
    const Case cases[] = {
        {4000, 3000, 160, 120}, {3000, 4000, 120, 160}, {500, 500, 160, 160}, {1000, 333, 160, 53},
        {10000, 1, 160, 1},     {1, 10000, 1, 160},     {20, 10, 160, 80},
    };
    for (const Case& c : cases)
    {
        int bw = -1;
        int bh = -1;
        ASSERT_TRUE(CLoadThumbnail::GetThumbnailBox(c.w, c.h, bw, bh));
        EXPECT_EQ(bw, c.bw) << c.w << "x" << c.h;
        EXPECT_EQ(bh, c.bh) << c.w << "x" << c.h;
    }
    int bw = 7;
    int bh = 7;
    EXPECT_FALSE(CLoadThumbnail::GetThumbnailBox(0, 100, bw, bh));
    EXPECT_FALSE(CLoadThumbnail::GetThumbnailBox(100, -1, bw, bh));
    EXPECT_EQ(bw, 7);
    EXPECT_EQ(bh, 7);
}

TEST_F(LoadThumbnailTest, RequestOrderAndRefusals)
{
    CLoadThumbnail loader; // not started: requests are only queued
    const std::string a = m_dir.File("a.jpg");
    const std::string b = m_dir.File("b.JPG");
    const std::string raw1 = m_dir.File("r1.NEF");
    const std::string raw2 = m_dir.File("r2.cr2");
    for (const std::string& path : {a, b, raw1, raw2})
    {
        WriteTextFile(path, "x");
    }
    EXPECT_FALSE(loader.RequestThumbnail(""));
    EXPECT_FALSE(loader.RequestThumbnail(m_dir.File("missing.jpg")));

    EXPECT_TRUE(loader.RequestThumbnail(raw1));
    EXPECT_TRUE(loader.RequestThumbnail(a));
    EXPECT_TRUE(loader.RequestThumbnail(raw2));
    EXPECT_TRUE(loader.RequestThumbnail(b));
    EXPECT_TRUE(loader.RequestThumbnail(raw1)); // stays where it is
    EXPECT_TRUE(loader.RequestThumbnail(a));    // moves to the head
    EXPECT_EQ(loader.GetPendingCount(), 4);

    // Served order: a, b, r1, r2.
    const std::vector<std::string> order{a, b, raw1, raw2};
    for (const std::string& expected : order)
    {
        std::string next;
        ASSERT_TRUE(loader.GetNextRequest(next));
        EXPECT_EQ(next, expected);
        EXPECT_TRUE(loader.StoreResult(next, "", "", 0));
    }
    std::string next;
    EXPECT_FALSE(loader.GetNextRequest(next));
    EXPECT_EQ(loader.GetPendingCount(), 0);
    EXPECT_FALSE(loader.RequestThumbnail(a)); // has a result already
    EXPECT_FALSE(loader.StoreResult(m_dir.File("never-requested.jpg"), "", "", 0));

    std::string path;
    std::string thumb;
    std::string dng;
    int flag = -1;
    for (const std::string& expected : order)
    {
        ASSERT_TRUE(loader.TakeResult(path, thumb, dng, flag));
        EXPECT_EQ(path, expected);
    }
    EXPECT_FALSE(loader.TakeResult(path, thumb, dng, flag));
    // A taken path can be requested again.
    EXPECT_TRUE(loader.RequestThumbnail(a));
}

TEST_F(LoadThumbnailTest, ClearAllDeletesTheFilesOfResults)
{
    CLoadThumbnail loader;
    const std::string image = m_dir.File("a.jpg");
    const std::string thumb = m_dir.File("THMx.tmp");
    const std::string dng = m_dir.File("~t-tmp.dng");
    for (const std::string& path : {image, thumb, dng})
    {
        WriteTextFile(path, "x");
    }
    ASSERT_TRUE(loader.RequestThumbnail(image));
    ASSERT_TRUE(loader.StoreResult(image, thumb, dng, 1));
    loader.ClearAll();
    EXPECT_FALSE(FileExists(thumb));
    EXPECT_FALSE(FileExists(dng));
    EXPECT_TRUE(FileExists(image));
    EXPECT_EQ(loader.GetPendingCount(), 0);
    std::string next;
    EXPECT_FALSE(loader.GetNextRequest(next));
}

TEST_F(LoadThumbnailTest, ThumbnailsArriveThroughTheCallback)
{
    struct Case
    {
        const char* name;
        int w, h, bw, bh;
    };
    const Case cases[] = {
        {"wide.jpg", 400, 300, 160, 120},
        {"tall.jpeg", 300, 400, 120, 160},
        {"small.jpg", 40, 20, 160, 80},
    };
    for (const Case& c : cases)
    {
        WriteJpeg(m_dir.File(c.name), c.w, c.h);
    }
    WriteTextFile(m_dir.File("broken.jpg"), "not an image");

    std::mutex mutex;
    int announced = 0;
    CLoadThumbnail loader;
    ASSERT_TRUE(loader.Start([&] {
        std::lock_guard<std::mutex> guard(mutex);
        ++announced;
    }));
    EXPECT_FALSE(loader.Start([] {})); // already running
    for (const Case& c : cases)
    {
        ASSERT_TRUE(loader.RequestThumbnail(m_dir.File(c.name)));
    }
    ASSERT_TRUE(loader.RequestThumbnail(m_dir.File("broken.jpg")));
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> guard(mutex);
        return announced == 4;
    }));

    int taken = 0;
    std::string path;
    std::string thumb;
    std::string dng;
    int flag = -1;
    while (loader.TakeResult(path, thumb, dng, flag))
    {
        ++taken;
        EXPECT_TRUE(dng.empty());
        EXPECT_EQ(flag, 0);
        if (path == m_dir.File("broken.jpg"))
        {
            // A failed thumbnail is still a result, so the panel stops waiting.
            EXPECT_TRUE(thumb.empty());
            continue;
        }
        for (const Case& c : cases)
        {
            if (path != m_dir.File(c.name))
            {
                continue;
            }
            SCOPED_TRACE(c.name);
            CImageEx result;
            ASSERT_TRUE(result.Load(thumb));
            EXPECT_EQ(result.GetWidth(), c.bw);
            EXPECT_EQ(result.GetHeight(), c.bh);
            // Left stays red, right stays blue.
            const std::uint8_t* left = result.GetPixelAddress(2, c.bh / 2);
            const std::uint8_t* right = result.GetPixelAddress(c.bw - 3, c.bh / 2);
            EXPECT_GT(left[2], 200);
            EXPECT_LT(left[0], 60);
            EXPECT_GT(right[0], 200);
            EXPECT_LT(right[2], 60);
            EXPECT_EQ(thumb.find(m_dir.Path() + "cache"), 0u) << thumb;
            std::remove(thumb.c_str());
        }
    }
    EXPECT_EQ(taken, 4);
    loader.Stop();
    EXPECT_FALSE(loader.IsRunning());
}

TEST_F(LoadThumbnailTest, StopDeletesResultsNobodyTook)
{
    WriteJpeg(m_dir.File("a.jpg"), 64, 48);
    std::mutex mutex;
    bool ready = false;
    CLoadThumbnail loader;
    ASSERT_TRUE(loader.Start([&] {
        std::lock_guard<std::mutex> guard(mutex);
        ready = true;
    }));
    ASSERT_TRUE(loader.RequestThumbnail(m_dir.File("a.jpg")));
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> guard(mutex);
        return ready;
    }));
    const std::string workFolder = GetAppTempFolder();
    ASSERT_EQ(workFolder.find(m_dir.Path() + "cache/"), 0u);
    EXPECT_EQ(FilesStartingWith(workFolder, "THM").size(), 1u);
    loader.Stop();
    EXPECT_TRUE(FilesStartingWith(workFolder, "THM").empty());
}

// A worker stuck on one file (here a pipe nobody writes to, as a file
// system that does not answer would be) is let go by a bounded stop: the
// owner goes on, and the worker ends on its own once the file answers,
// leaving nothing behind and calling nobody.
TEST_F(LoadThumbnailTest, BoundedStopLetsAStuckWorkerGo)
{
    {
        CLoadThumbnail idle;
        ASSERT_TRUE(idle.Start([] {}));
        EXPECT_TRUE(idle.Stop(std::chrono::seconds(10)));
        EXPECT_FALSE(idle.IsRunning());
    }

    const std::string pipe = m_dir.File("stuck.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int workersBefore = CLoadThumbnail::LiveWorkerCount();
    std::atomic<bool> called{false};
    int writer = -1;
    {
        CLoadThumbnail loader;
        ASSERT_TRUE(loader.Start([&] { called = true; }));
        ASSERT_TRUE(loader.RequestThumbnail(pipe));
        // Opening a pipe waits for its other end: the kernel shows the
        // worker waiting there.
        ASSERT_TRUE(WaitFor(SomeThreadWaitsForAPipe));
        EXPECT_FALSE(loader.Stop(std::chrono::milliseconds(50)));
        EXPECT_FALSE(loader.IsRunning());
        EXPECT_EQ(loader.GetPendingCount(), 0);
        EXPECT_EQ(CLoadThumbnail::LiveWorkerCount(), workersBefore + 1);
        // A loader let go of its worker can start another.
        EXPECT_TRUE(loader.Start([] {}));
    }
    // The pipe answers (empty): the worker's read fails and it ends.
    writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_GE(writer, 0);
    ::close(writer);
    EXPECT_TRUE(WaitFor([&] { return CLoadThumbnail::LiveWorkerCount() == workersBefore; }));
    EXPECT_FALSE(called);
    EXPECT_TRUE(FilesStartingWith(GetAppTempFolder(), "THM").empty());
}

// A RAW request runs the outside converter; the tests use a shell script.
class LoadThumbnailRawTest : public LoadThumbnailTest
{
protected:
    void SetUpConverter(const std::string& body)
    {
        const std::string script = m_dir.File("conv.sh");
        WriteTextFile(script, "#!/bin/sh\n" + body + "\n");
        ::chmod(script.c_str(), 0755);
        SetDNGConverterPath(script);
        m_outFolder = m_dir.Path() + "dng/";
        ::mkdir(m_outFolder.c_str(), 0755);
        const std::string ini = m_dir.File("settings.ini");
        WriteTextFile(ini, "[CDNGPathDlg]\nDNGPath=" + m_outFolder + "\n");
        LoadDngOutputPath(ini);
        ASSERT_EQ(GetDngOutputPath(), m_outFolder);
        m_raw = m_dir.File("shot.nef");
        WriteTextFile(m_raw, "raw bytes");
    }

    std::string m_outFolder;
    std::string m_raw;
};

// The converter runs until the test releases it, so a Stop that waited for
// the conversion would never return on its own: the check is the order of
// events, not a time limit. (The bound below only keeps such a fault from
// hanging the suite; a correct Stop returns as soon as it has killed the
// converter.)
TEST_F(LoadThumbnailRawTest, StopDoesNotWaitForARunningConversion)
{
    const std::string release = m_dir.File("release");
    const std::string finished = m_dir.File("finished");
    SetUpConverter("touch \"" + m_dir.File("started") + "\"; while [ ! -e \"" + release +
                   "\" ]; do sleep 0.05; done; touch \"" + finished + "\"");
    CLoadThumbnail loader;
    ASSERT_TRUE(loader.Start([] {}));
    ASSERT_TRUE(loader.RequestThumbnail(m_raw));
    ASSERT_TRUE(WaitFor([&] { return FileExists(m_dir.File("started")); }));

    auto stopping = std::async(std::launch::async, [&] { loader.Stop(); });
    const bool returned =
        stopping.wait_for(std::chrono::minutes(2)) == std::future_status::ready;
    // Whatever happened, let a converter that is still looping end.
    WriteTextFile(release, "");
    stopping.wait();
    EXPECT_TRUE(returned) << "Stop waited for the conversion";
    EXPECT_FALSE(FileExists(finished)) << "the conversion ran to its end";
    EXPECT_FALSE(loader.IsRunning());
    EXPECT_TRUE(FilesStartingWith(m_outFolder, "~t-tmp").empty());
}

TEST_F(LoadThumbnailRawTest, ConverterResults)
{
    struct Case
    {
        const char* body;
        int flag;
        bool dngKept;
    };
    // Arguments: -c -p0 -d folder -o name source.
    const Case cases[] = {
        {"printf DNG > \"$4$6\"; exit 0", 0, true},
        {"printf DNG > \"$4$6\"; exit 1", 1, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.body);
        SetUpConverter(c.body);
        std::mutex mutex;
        bool ready = false;
        CLoadThumbnail loader;
        ASSERT_TRUE(loader.Start([&] {
            std::lock_guard<std::mutex> guard(mutex);
            ready = true;
        }));
        ASSERT_TRUE(loader.RequestThumbnail(m_raw));
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard<std::mutex> guard(mutex);
            return ready;
        }));
        std::string path;
        std::string thumb;
        std::string dng;
        int flag = -1;
        ASSERT_TRUE(loader.TakeResult(path, thumb, dng, flag));
        EXPECT_EQ(path, m_raw);
        EXPECT_EQ(flag, c.flag);
        EXPECT_TRUE(thumb.empty()); // neither the fake DNG nor the RAW decodes
        if (c.dngKept)
        {
            EXPECT_EQ(dng, m_outFolder + "~t-tmp.dng");
            EXPECT_EQ(testsupport::ReadTextFile(dng), "DNG");
            std::remove(dng.c_str());
        }
        else
        {
            EXPECT_TRUE(dng.empty());
            EXPECT_TRUE(FilesStartingWith(m_outFolder, "~t-tmp").empty());
        }
    }
}

TEST_F(LoadThumbnailRawTest, WithdrawnRequestDeletesTheNewFiles)
{
    SetUpConverter("printf DNG > \"$4$6\"; sleep 0.3; exit 0");
    CLoadThumbnail loader;
    ASSERT_TRUE(loader.Start([] {}));
    ASSERT_TRUE(loader.RequestThumbnail(m_raw));
    const std::string dng = m_outFolder + "~t-tmp.dng";
    ASSERT_TRUE(WaitFor([&] { return FileExists(dng); }));
    loader.ClearAll();
    EXPECT_TRUE(WaitFor([&] { return !FileExists(dng); }));
    loader.Stop();
}

namespace {

// An 8-bit RGB TIFF of width x height, top half red, bottom half blue, with
// an orientation tag.
void WriteOrientedTiff(const std::string& path, int width, int height, int orientation)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y)
    {
        const bool top = y < height / 2;
        for (int x = 0; x < width; ++x)
        {
            row[static_cast<std::size_t>(x) * 3 + 0] = top ? 255 : 0;
            row[static_cast<std::size_t>(x) * 3 + 1] = 0;
            row[static_cast<std::size_t>(x) * 3 + 2] = top ? 0 : 255;
        }
        ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0), 1);
    }
    TIFFClose(tiff);
}

} // namespace

TEST_F(LoadThumbnailTest, OnlyADngOrientationIsApplied)
{
    struct Case
    {
        const char* name;
        int orientation;
        int bw, bh;
        bool redOnTop, redOnRight;
    };
    // Stored: 40 x 20, red above blue. Orientation 6 turns it a quarter
    // clockwise (red ends on the right); 3 turns it upside down.
    const Case cases[] = {
        {"turned.tif", 6, 160, 80, true, false},
        {"turned.dng", 6, 80, 160, false, true},
        {"upside.DNG", 3, 160, 80, false, false},
        {"plain.dng", 1, 160, 80, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        WriteOrientedTiff(m_dir.File(c.name), 40, 20, c.orientation);
        std::string thumb;
        ASSERT_TRUE(CLoadThumbnail::MakeThumbnailFile(m_dir.File(c.name), thumb));
        CImageEx result;
        ASSERT_TRUE(result.Load(thumb));
        std::remove(thumb.c_str());
        ASSERT_EQ(result.GetWidth(), c.bw);
        ASSERT_EQ(result.GetHeight(), c.bh);
        const std::uint8_t* top = result.GetPixelAddress(c.bw / 2, 2);
        const std::uint8_t* right = result.GetPixelAddress(c.bw - 3, c.bh / 2);
        if (c.redOnRight)
        {
            EXPECT_GT(right[2], 200);
        }
        else
        {
            EXPECT_EQ(top[2] > 200, c.redOnTop);
            EXPECT_EQ(top[0] > 200, !c.redOnTop);
        }
    }
    std::string thumb = "stale";
    EXPECT_FALSE(CLoadThumbnail::MakeThumbnailFile(m_dir.File("missing.jpg"), thumb));
    EXPECT_TRUE(thumb.empty());
}

TEST_F(LoadThumbnailTest, ADngThumbnailReadsItsFileOnce)
{
    // The orientation comes from the same open file as the pixels.
    const std::string path = m_dir.File("once.dng");
    WriteOrientedTiff(path, 40, 20, 6);
    testsupport::OpenCounter opens(path);
    ASSERT_TRUE(opens.IsWatching());
    std::string thumb;
    ASSERT_TRUE(CLoadThumbnail::MakeThumbnailFile(path, thumb));
    std::remove(thumb.c_str());
    EXPECT_EQ(opens.Take(), 1);
}
