#include "imagefile/ReloadCache.h"

#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/time.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ReloadCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_work = GetAppTempFolder();
        ASSERT_NE(m_work.find(m_dir.Path()), std::string::npos);
    }
    void TearDown() override
    {
        ClearReloadImageCache();
        ClearReloadThumbnailCache();
    }

    std::string Source(const std::string& name, const std::string& text = "source")
    {
        const std::string path = m_dir.File(name);
        testsupport::WriteTextFile(path, text);
        return path;
    }

    static CRGBImage Gradient(int width, int height)
    {
        CRGBImage image(width, height);
        RGB16* p = image.Lock();
        for (int i = 0; i < width * height; ++i)
        {
            p[i] = RGB16{static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(i * 3),
                         static_cast<std::uint16_t>(65535 - i)};
        }
        image.Unlock();
        return image;
    }

    static bool SamePixels(CRGBImage& a, CRGBImage& b)
    {
        if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        {
            return false;
        }
        const RGB16* pa = a.Lock();
        const RGB16* pb = b.Lock();
        bool same = true;
        for (std::size_t i = 0; i < a.GetPixelCount() && same; ++i)
        {
            same = pa[i].r == pb[i].r && pa[i].g == pb[i].g && pa[i].b == pb[i].b;
        }
        a.Unlock();
        b.Unlock();
        return same;
    }

    // Moves the file's modification time one second back, size unchanged.
    static void Touch(const std::string& path)
    {
        struct stat st
        {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        struct timeval times[2] = {{st.st_atim.tv_sec, 0}, {st.st_mtim.tv_sec - 1, 0}};
        ASSERT_EQ(::utimes(path.c_str(), times), 0);
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_cache{"XDG_CACHE_HOME", m_dir.Path() + "cache"};
    std::string m_work;
};

TEST_F(ReloadCacheTest, ImageRoundTripKeepsPixelsAndInformation)
{
    const std::string src = Source("a.dng");
    CRGBImage image = Gradient(7, 5);
    CReloadImage record;
    const ReloadImageInfo info{3, 7, 5, 240.5f, 300.25f};
    ASSERT_TRUE(record.Store(image, src, info, nullptr));
    EXPECT_EQ(record.GetCacheFile(), m_work + "Reload.rgb");
    EXPECT_TRUE(record.IsValidFor(src));

    CRGBImage back;
    ReloadImageInfo got;
    ASSERT_TRUE(record.Load(back, got, nullptr));
    EXPECT_TRUE(SamePixels(image, back));
    EXPECT_EQ(got.type, 3);
    EXPECT_EQ(got.width, 7);
    EXPECT_EQ(got.height, 5);
    EXPECT_EQ(got.xResolution, 240.5f);
    EXPECT_EQ(got.yResolution, 300.25f);
}

TEST_F(ReloadCacheTest, ValidityFollowsPathAndFileStatus)
{
    const std::string src = Source("Photo.dng");
    CRGBImage image = Gradient(4, 4);
    CReloadImage record;
    ASSERT_TRUE(record.Store(image, src, {}, nullptr));
    EXPECT_TRUE(record.IsValidFor(src));
    // Linux paths are case-sensitive: another spelling is another file.
    EXPECT_FALSE(record.IsValidFor(m_dir.File("photo.dng")));

    Touch(src);
    EXPECT_FALSE(record.IsValidFor(src));

    ASSERT_TRUE(record.Store(image, src, {}, nullptr));
    testsupport::WriteTextFile(src, "source grown");
    EXPECT_FALSE(record.IsValidFor(src));

    ASSERT_TRUE(record.Store(image, src, {}, nullptr));
    fs::remove(src);
    EXPECT_FALSE(record.IsValidFor(src));
}

TEST_F(ReloadCacheTest, SecondRecordGetsNumberedFileAndRestoreDeletesOld)
{
    const std::string src = Source("a.dng");
    CRGBImage image = Gradient(3, 2);
    CReloadImage first;
    CReloadImage second;
    ASSERT_TRUE(first.Store(image, src, {}, nullptr));
    ASSERT_TRUE(second.Store(image, src, {}, nullptr));
    EXPECT_EQ(second.GetCacheFile(), m_work + "Reload_00001.rgb");
    EXPECT_TRUE(fs::exists(first.GetCacheFile()));

    // Storing a record again writes a new file and deletes its old one.
    const std::string old = first.GetCacheFile();
    ASSERT_TRUE(first.Store(image, src, {}, nullptr));
    EXPECT_NE(first.GetCacheFile(), old);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(first.GetCacheFile()));

    first.Clear();
    EXPECT_FALSE(first.IsValid());
    EXPECT_TRUE(first.GetCacheFile().empty());
    EXPECT_TRUE(fs::exists(second.GetCacheFile()));
}

TEST_F(ReloadCacheTest, FailedStoreLeavesNoFileAndInvalidRecord)
{
    CRGBImage image = Gradient(3, 2);
    CReloadImage record;
    ASSERT_TRUE(record.Store(image, Source("a.dng"), {}, nullptr));
    const std::string kept = record.GetCacheFile();

    EXPECT_FALSE(record.Store(image, m_dir.File("missing.dng"), {}, nullptr));
    EXPECT_FALSE(record.IsValid());
    EXPECT_TRUE(fs::exists(kept)); // the failed store does not touch the old file

    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(m_work))
    {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(ReloadCacheTest, ChunkedLoadReportsProgressAndCancels)
{
    const std::string src = Source("a.dng");
    CReloadImage record;
    // Tall enough to be read in several chunks.
    CRGBImage image = Gradient(128, 20000);
    ASSERT_TRUE(record.Store(image, src, {}, nullptr));

    struct Log
    {
        std::vector<double> values;
        int answer = 1;
    } log;
    ProgressFunction slot([&log](double v) {
        log.values.push_back(v);
        return log.answer != 0;
    });
    CRGBImage back;
    ReloadImageInfo info;
    CancelWatch loading(slot);
    ASSERT_TRUE(record.Load(back, info, nullptr, loading.Watched()));
    EXPECT_FALSE(loading.Cancelled());
    EXPECT_TRUE(SamePixels(image, back));
    ASSERT_GE(log.values.size(), 2u);
    for (std::size_t i = 0; i < log.values.size(); ++i)
    {
        EXPECT_GE(log.values[i], 0.0);
        EXPECT_LE(log.values[i], 1.0);
        if (i > 0)
        {
            EXPECT_GT(log.values[i], log.values[i - 1]);
        }
    }

    log.answer = 0;
    CancelWatch cancelling(slot);
    EXPECT_FALSE(record.Load(back, info, nullptr, cancelling.Watched()));
    EXPECT_TRUE(cancelling.Cancelled());
}

TEST(ReloadProgressTest, FractionOfDoneRows)
{
    struct Case
    {
        int done;
        int total;
        double expected;
    };
    const Case cases[] = {{0, 10, 0.0}, {5, 10, 0.5}, {10, 10, 1.0}, {0, 1, 1.0}, {0, 0, 1.0}};
    for (const Case& c : cases)
    {
        double seen = -1.0;
        ProgressFunction slot([&seen](double v) {
            seen = v;
            return false; // the answer is handed back
        });
        EXPECT_FALSE(ReportRowFraction(slot, c.done, c.total));
        EXPECT_DOUBLE_EQ(seen, c.expected) << c.done << "/" << c.total;
    }
}

TEST_F(ReloadCacheTest, EleventhStoreDropsTheOldest)
{
    CRGBImage image = Gradient(2, 2);
    std::vector<std::string> sources;
    for (int i = 0; i < 11; ++i)
    {
        sources.push_back(Source("img" + std::to_string(i) + ".dng"));
        ASSERT_TRUE(StoreReloadImage(image, sources.back(), {3, 2, 2, 240.0f, 240.0f}, nullptr));
    }
    EXPECT_EQ(GetReloadImageCount(), kMaxReloadImages);
    CRGBImage back;
    ReloadImageInfo info;
    EXPECT_EQ(RestoreReloadImage(sources[0], info, nullptr, back), 0);
    EXPECT_FALSE(fs::exists(m_work + "Reload.rgb")); // the oldest's file went with it
    for (int i = 1; i < 11; ++i)
    {
        EXPECT_EQ(RestoreReloadImage(sources[static_cast<std::size_t>(i)], info, nullptr, back), 1)
            << i;
    }

    RemoveReloadImage(sources[5]);
    EXPECT_EQ(GetReloadImageCount(), kMaxReloadImages - 1);
    EXPECT_EQ(RestoreReloadImage(sources[5], info, nullptr, back), 0);

    ClearReloadImageCache();
    EXPECT_EQ(GetReloadImageCount(), 0u);
    EXPECT_TRUE(fs::is_empty(m_work));
}

TEST_F(ReloadCacheTest, ThumbnailStoreMovesFileAndEmptyNameMarksNone)
{
    const std::string src = Source("a.cr2");
    const std::string thumb = Source("thumb.jpg", "jpeg bytes");
    CReloadThumbnail record;
    ASSERT_TRUE(record.Store(thumb, src));
    EXPECT_FALSE(fs::exists(thumb));
    EXPECT_EQ(testsupport::ReadTextFile(record.GetCacheFile()), "jpeg bytes");
    EXPECT_TRUE(record.IsValidFor(src));
    EXPECT_TRUE(record.HasThumbnail());

    CReloadThumbnail none;
    ASSERT_TRUE(none.Store("", src));
    EXPECT_TRUE(fs::exists(none.GetCacheFile()));
    EXPECT_EQ(fs::file_size(none.GetCacheFile()), 0u);
    EXPECT_TRUE(none.IsValidFor(src));
    EXPECT_FALSE(none.HasThumbnail());

    EXPECT_TRUE(none.Clear());
    EXPECT_FALSE(none.Clear());
}

TEST_F(ReloadCacheTest, FailedThumbnailStoreKeepsEverything)
{
    const std::string src = Source("a.cr2");
    CReloadThumbnail record;
    ASSERT_TRUE(record.Store(Source("t1.jpg", "one"), src));
    const std::string old = record.GetCacheFile();

    // The source is missing: the thumbnail goes back where it was, the
    // record's old file stays and no new cache file is left.
    const std::string thumb = Source("t2.jpg", "two");
    EXPECT_FALSE(record.Store(thumb, m_dir.File("gone.cr2")));
    EXPECT_EQ(testsupport::ReadTextFile(thumb), "two");
    EXPECT_EQ(record.GetCacheFile(), old);
    EXPECT_EQ(testsupport::ReadTextFile(old), "one");
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(m_work))
    {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);

    // A thumbnail file that cannot be read fails the same way.
    EXPECT_FALSE(record.Store(m_dir.File("nothing.jpg"), src));
    EXPECT_EQ(testsupport::ReadTextFile(old), "one");

    // A successful re-store deletes the old file.
    ASSERT_TRUE(record.Store(thumb, src));
    EXPECT_FALSE(fs::exists(old));
}

TEST_F(ReloadCacheTest, ThumbnailListAnswersByPath)
{
    const std::string withThumb = Source("a.cr2");
    const std::string without = Source("b.cr2");
    CImageEx small;
    ASSERT_TRUE(small.Create(8, 6));
    // The thumbnail file is a JPEG made by the codecs.
    const std::string jpeg = m_dir.File("t.jpg");
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, small, jpeg, 96.0f, 96.0f, 2));
    ASSERT_TRUE(AddReloadThumbnail(jpeg, withThumb));
    ASSERT_TRUE(AddReloadThumbnail("", without));
    bool has = true;
    EXPECT_EQ(HasCachedThumbnail(without, &has), 1);
    EXPECT_FALSE(has);
    EXPECT_EQ(HasCachedThumbnail(withThumb, &has), 1);
    EXPECT_TRUE(has);
    EXPECT_EQ(HasCachedThumbnail(m_dir.File("c.cr2"), &has), 0);

    CImageEx image;
    ASSERT_TRUE(image.Create(3, 3));
    EXPECT_EQ(LoadCachedThumbnail(m_dir.File("c.cr2"), image), 0);
    EXPECT_EQ(image.GetWidth(), 3); // untouched without an entry
    EXPECT_EQ(LoadCachedThumbnail(withThumb, image), 1);
    EXPECT_EQ(image.GetWidth(), 8);
    EXPECT_EQ(image.GetHeight(), 6);
    EXPECT_EQ(LoadCachedThumbnail(without, image), 0); // an empty file does not load
    EXPECT_EQ(GetReloadThumbnailCount(), 2u);
    ClearReloadThumbnailCache();
    EXPECT_EQ(GetReloadThumbnailCount(), 0u);
}

} // namespace
