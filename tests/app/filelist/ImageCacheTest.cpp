// The slide show's image cache as a plain class: a fake maker that makes
// numbered images (or fails for chosen rows, or holds a call until the test
// lets it go), the worker filling, wrapping and skipping, "next" and
// "previous" at the ends of the list, pause, and stops at every moment.

#include "app/filelist/ImageCache.h"

#include "core/ImageEx.h"
#include "imagefile/ImageFileInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Waits for a condition that another thread brings about. The limit only
// keeps a broken worker from hanging the suite; nothing here is timed.
bool WaitFor(const std::function<bool()>& condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Entries whose number is their row.
std::vector<CImageFileInfo> Entries(int count)
{
    std::vector<CImageFileInfo> entries(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
    {
        entries[static_cast<std::size_t>(i)].m_number = i;
        entries[static_cast<std::size_t>(i)].m_path = "/photos/" + std::to_string(i) + ".tif";
    }
    return entries;
}

// The maker of the tests. Each image is naturally 400 x 300 and reduced
// to the box it is given (aspect kept, never enlarged); its first pixel's
// blue byte carries the row, so that a record's image can be told from
// another's. Thread-safe: it runs on the worker and on the test thread.
class FakeMaker
{
public:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 300;

    struct Call
    {
        int row;
        int maxWidth;
        int maxHeight;
    };

    CImageCache::ImageMaker Bind()
    {
        return [this](const CImageFileInfo& entry, int maxWidth, int maxHeight) {
            return Make(entry.m_number, maxWidth, maxHeight);
        };
    }

    void FailRow(int row)
    {
        std::lock_guard lock(m_mutex);
        m_failing.insert(row);
    }
    void ThrowForRow(int row)
    {
        std::lock_guard lock(m_mutex);
        m_throwing.insert(row);
    }
    // Calls from now on wait in the maker until Open.
    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    void Open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = false;
        }
        m_gate.notify_all();
    }
    // Calls that have entered the maker (held ones included).
    int Entered() const
    {
        std::lock_guard lock(m_mutex);
        return m_entered;
    }
    std::vector<Call> Calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    int CallsFor(int row) const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(),
                                              [row](const Call& c) { return c.row == row; }));
    }

private:
    std::unique_ptr<CImageEx> Make(int row, int maxWidth, int maxHeight)
    {
        std::unique_lock lock(m_mutex);
        ++m_entered;
        m_gate.wait(lock, [this] { return !m_closed; });
        m_calls.push_back({row, maxWidth, maxHeight});
        if (m_throwing.count(row) != 0)
            throw std::runtime_error("unreadable");
        if (m_failing.count(row) != 0)
            return nullptr;
        lock.unlock();
        int width = kWidth;
        int height = kHeight;
        if (maxWidth > 0 && maxHeight > 0 && (width > maxWidth || height > maxHeight))
        {
            width = std::min(maxWidth, maxHeight * kWidth / kHeight);
            height = std::min(maxHeight, maxWidth * kHeight / kWidth);
        }
        auto image = std::make_unique<CImageEx>();
        if (!image->Create(width, height))
            return nullptr;
        *image->GetPixelAddress(0, 0) = static_cast<std::uint8_t>(row);
        return image;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_closed = false;
    int m_entered = 0;
    std::set<int> m_failing;
    std::set<int> m_throwing;
    std::vector<Call> m_calls;
};

class ImageCacheTest : public ::testing::Test
{
protected:
    // Starts on `count` entries from startRow and waits until the cache is
    // full.
    void Fill(int count, int startRow)
    {
        m_cache.Reset(Entries(count), startRow);
        m_cache.Start();
        ASSERT_TRUE(WaitFor([this] { return m_cache.Size() == CImageCache::kMaxRecords; }));
    }

    // The row the front image was made for.
    int FrontImageRow() const
    {
        const CImageEx* image = m_cache.FrontImage();
        return image != nullptr ? *image->GetPixelAddress(0, 0) : -1;
    }

    FakeMaker m_maker;
    CImageCache m_cache{m_maker.Bind()};
};

// The worker fills the cache with the rows after the start row in list
// order, wrapping from the last entry to the first, and stops at ten.
TEST_F(ImageCacheTest, FillsInListOrderWrappingToTheFirstRow)
{
    struct Case
    {
        int count;
        int startRow;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {3, 1, {1, 2, 0, 1, 2, 0, 1, 2, 0, 1}},
        {12, 9, {9, 10, 11, 0, 1, 2, 3, 4, 5, 6}},
        {1, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // A start row outside the list begins at the first row.
        {4, 7, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}},
        {4, -1, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.count << " entries from row " << c.startRow);
        Fill(c.count, c.startRow);
        m_cache.Stop();
        EXPECT_EQ(m_cache.Rows(), c.rows);
        EXPECT_EQ(FrontImageRow(), c.rows.front());
    }
}

// Ten records at most, and every image made for the box of the screen.
TEST_F(ImageCacheTest, HoldsAtMostTenRecordsOfImagesWithinTheBox)
{
    m_cache.SetMaxImageSize(64, 64);
    Fill(30, 0);
    m_cache.Stop();
    // The worker made exactly what it kept: nothing beyond the tenth.
    EXPECT_EQ(m_cache.Size(), CImageCache::kMaxRecords);
    EXPECT_EQ(m_maker.Calls().size(), CImageCache::kMaxRecords);
    for (const FakeMaker::Call& call : m_maker.Calls())
    {
        EXPECT_EQ(call.maxWidth, 64);
        EXPECT_EQ(call.maxHeight, 64);
    }
    int width = 0;
    int height = 0;
    m_cache.GetLargestImageSize(width, height);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);

    // "Next" makes room for one more, which continues the order.
    EXPECT_NE(m_cache.Next(), nullptr);
    m_cache.Start();
    ASSERT_TRUE(WaitFor([this] { return m_cache.Size() == CImageCache::kMaxRecords; }));
    m_cache.Stop();
    EXPECT_EQ(m_cache.Rows(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // An image put in front of a full cache pushes the last one out.
    EXPECT_TRUE(m_cache.MakePrevious(-1));
    EXPECT_EQ(m_cache.Rows(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// "Next" needs a record behind the front: with one or none it does nothing
// and the image on screen stays.
TEST_F(ImageCacheTest, NextWithFewerThanTwoRecordsDoesNothing)
{
    m_cache.Reset(Entries(5), 2);
    EXPECT_EQ(m_cache.Next(), nullptr);
    EXPECT_EQ(m_cache.Size(), 0u);

    ASSERT_TRUE(m_cache.MakeFront(2));
    const CImageEx* shown = m_cache.FrontImage();
    EXPECT_EQ(m_cache.Next(), nullptr);
    EXPECT_EQ(m_cache.FrontImage(), shown);
    EXPECT_EQ(m_cache.Rows(), std::vector<int>{2});

    // The worker appends row 3; now "next" hands back the old front.
    m_cache.Start();
    ASSERT_TRUE(WaitFor([this] { return m_cache.Size() >= 2; }));
    std::unique_ptr<CImageEx> removed = m_cache.Next();
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed.get(), shown);
    EXPECT_EQ(FrontImageRow(), 3);
    EXPECT_EQ(m_cache.FrontRow(), 3);
}

// "Previous" goes to the row above the front's, from the first row to the
// last; with an empty cache it starts from the row it is given.
TEST_F(ImageCacheTest, PreviousFromTheFirstRowGoesToTheLast)
{
    struct Step
    {
        int currentRow; // used only while the cache is empty
        int expectFront;
    };
    m_cache.Reset(Entries(4), 0);
    const Step steps[] = {{0, 3}, {99, 2}, {99, 1}, {99, 0}, {99, 3}};
    for (const Step& step : steps)
    {
        ASSERT_TRUE(m_cache.MakePrevious(step.currentRow));
        EXPECT_EQ(m_cache.FrontRow(), step.expectFront);
        EXPECT_EQ(FrontImageRow(), step.expectFront);
    }
    EXPECT_EQ(m_cache.Rows(), (std::vector<int>{3, 0, 1, 2, 3}));

    // No selection and nothing cached: the last row.
    m_cache.Reset(Entries(4), 0);
    ASSERT_TRUE(m_cache.MakePrevious(-1));
    EXPECT_EQ(m_cache.FrontRow(), 3);

    // After "previous" the worker goes on behind the last record it has.
    m_cache.Reset(Entries(4), 0);
    ASSERT_TRUE(m_cache.MakeFront(1));
    ASSERT_TRUE(m_cache.MakePrevious(-1));
    m_cache.Start();
    ASSERT_TRUE(WaitFor([this] { return m_cache.Size() == CImageCache::kMaxRecords; }));
    m_cache.Stop();
    EXPECT_EQ(m_cache.Rows(), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
}

// A row whose image cannot be made (no image, or the maker throws) is
// tried once and then skipped by the worker, by the first image and by
// "previous"; when no row can be made there is nothing to show and the
// worker idles until it is stopped.
TEST_F(ImageCacheTest, AnImageThatCannotBeMadeIsSkipped)
{
    m_maker.FailRow(2);
    m_maker.ThrowForRow(4);
    Fill(6, 1);
    m_cache.Stop();
    EXPECT_EQ(m_cache.Rows(), (std::vector<int>{1, 3, 5, 0, 1, 3, 5, 0, 1, 3}));
    EXPECT_EQ(m_maker.CallsFor(2), 1);
    EXPECT_EQ(m_maker.CallsFor(4), 1);
    EXPECT_TRUE(m_cache.HasFailed(2));
    EXPECT_TRUE(m_cache.HasFailed(4));
    EXPECT_FALSE(m_cache.HasFailed(3));

    // "Previous" from row 3 passes row 2 by without trying it again.
    m_cache.Clear();
    ASSERT_TRUE(m_cache.MakeFront(3));
    ASSERT_TRUE(m_cache.MakePrevious(-1));
    EXPECT_EQ(m_cache.FrontRow(), 1);
    EXPECT_EQ(m_maker.CallsFor(2), 1);

    // The first image of a show on a failing row: the next row that works.
    m_cache.Clear();
    ASSERT_TRUE(m_cache.MakeFront(4));
    EXPECT_EQ(m_cache.FrontRow(), 5);

    // A new list forgets the failures: the row is tried again.
    m_cache.Reset(Entries(6), 0);
    EXPECT_FALSE(m_cache.HasFailed(2));
    ASSERT_TRUE(m_cache.MakeFront(2));
    EXPECT_EQ(m_cache.FrontRow(), 3);
    EXPECT_EQ(m_maker.CallsFor(2), 2);
}

TEST_F(ImageCacheTest, NothingToShowWhenNoImageCanBeMade)
{
    for (int row = 0; row < 3; ++row)
        m_maker.FailRow(row);
    m_cache.Reset(Entries(3), 1);
    EXPECT_FALSE(m_cache.MakeFront(1));
    EXPECT_FALSE(m_cache.MakePrevious(1));
    EXPECT_EQ(m_cache.FrontImage(), nullptr);
    EXPECT_EQ(m_cache.FrontRow(), -1);
    m_cache.Start();
    m_cache.Stop();
    EXPECT_EQ(m_cache.Size(), 0u);
    EXPECT_EQ(m_maker.Calls().size(), 3u);

    // An empty list: nothing to make either.
    m_cache.Reset({}, 0);
    EXPECT_FALSE(m_cache.MakeFront(0));
    EXPECT_FALSE(m_cache.MakePrevious(0));
    m_cache.Start();
    m_cache.Stop();
    EXPECT_EQ(m_cache.Size(), 0u);
}

// Stopping and starting again, five times over: each start fills the
// cache again from where it stood (the stop does not stay requested).
TEST_F(ImageCacheTest, StopsAndRestartsFiveTimes)
{
    m_cache.Reset(Entries(7), 0);
    int expectedFront = 0;
    for (int round = 0; round < 5; ++round)
    {
        SCOPED_TRACE(round);
        m_cache.Start();
        EXPECT_TRUE(m_cache.IsRunning());
        ASSERT_TRUE(WaitFor([this] { return m_cache.Size() == CImageCache::kMaxRecords; }));
        m_cache.Stop();
        EXPECT_FALSE(m_cache.IsRunning());
        const std::vector<int> rows = m_cache.Rows();
        EXPECT_EQ(rows.front(), expectedFront);
        for (std::size_t i = 1; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], (rows[i - 1] + 1) % 7) << i;
        // Three "next"s make room for three more records.
        for (int i = 0; i < 3; ++i)
            EXPECT_NE(m_cache.Next(), nullptr);
        expectedFront = (expectedFront + 3) % 7;
    }
}

// A stop that comes before the worker has run at all returns, whatever
// the worker was about to do; so does a stop with no worker.
TEST_F(ImageCacheTest, StopBeforeTheWorkerStarted)
{
    m_cache.Stop();
    m_cache.Reset(Entries(50), 0);
    for (int i = 0; i < 100; ++i)
    {
        m_cache.Start();
        m_cache.Stop();
        EXPECT_FALSE(m_cache.IsRunning());
    }
    EXPECT_LE(m_cache.Size(), CImageCache::kMaxRecords);
    // Whatever was made, the order holds.
    const std::vector<int> rows = m_cache.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], static_cast<int>(i));
}

// The maker call in flight finishes before Stop returns; the worker then
// starts nothing new.
TEST_F(ImageCacheTest, StopWaitsForTheCallInFlight)
{
    m_cache.Reset(Entries(5), 0);
    m_maker.Close();
    m_cache.Start();
    ASSERT_TRUE(WaitFor([this] { return m_maker.Entered() == 1; }));
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        m_cache.Stop();
        stopped = true;
    });
    // Held in the maker, the call cannot have finished: neither has Stop.
    EXPECT_FALSE(stopped.load());
    m_maker.Open();
    stopper.join();
    EXPECT_TRUE(stopped.load());
    EXPECT_FALSE(m_cache.IsRunning());
    const std::size_t made = m_maker.Calls().size();
    EXPECT_GE(made, 1u);
    EXPECT_LE(m_cache.Size(), made);
    // The worker is gone: nothing is made any more.
    EXPECT_EQ(m_maker.Calls().size(), made);
}

// A pause that comes while an image is being made drops that image, and
// the paused worker adds nothing; going on fills the cache.
TEST_F(ImageCacheTest, PausedWorkerAddsNothing)
{
    m_cache.Reset(Entries(5), 0);
    m_maker.Close();
    m_cache.Start();
    ASSERT_TRUE(WaitFor([this] { return m_maker.Entered() == 1; }));
    m_cache.SetPaused(true);
    EXPECT_TRUE(m_cache.IsPaused());
    m_maker.Open();
    m_cache.Stop();
    EXPECT_EQ(m_cache.Size(), 0u);
    EXPECT_EQ(m_maker.Calls().size(), 1u);

    // Paused from the start: the first image is still made on the caller's
    // thread (the show needs it), the worker waits.
    ASSERT_TRUE(m_cache.MakeFront(0));
    m_cache.Start();
    m_cache.Stop();
    EXPECT_EQ(m_cache.Rows(), std::vector<int>{0});

    m_cache.SetPaused(false);
    m_cache.Start();
    ASSERT_TRUE(WaitFor([this] { return m_cache.Size() == CImageCache::kMaxRecords; }));
    m_cache.Stop();
    EXPECT_EQ(m_cache.Rows(), (std::vector<int>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4}));
}

// "Next" on the user's thread while the worker appends, asking again as
// soon as the worker may have added one: every removal takes the front, so
// the images handed back come in list order, one row after the other. (The
// loop takes no lock of the cache but Next's own, so that a Next without
// one shows under ThreadSanitizer.)
TEST_F(ImageCacheTest, NextWhileTheWorkerAppends)
{
    constexpr int kCount = 13;
    constexpr int kSteps = 60;
    m_cache.Reset(Entries(kCount), 0);
    ASSERT_TRUE(m_cache.MakeFront(0));
    m_cache.Start();
    int expected = 0;
    int removedCount = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (removedCount < kSteps && std::chrono::steady_clock::now() < limit)
    {
        std::unique_ptr<CImageEx> removed = m_cache.Next();
        if (!removed)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ASSERT_EQ(*removed->GetPixelAddress(0, 0), expected) << removedCount;
        expected = (expected + 1) % kCount;
        ++removedCount;
    }
    EXPECT_EQ(removedCount, kSteps);
    m_cache.Stop();
    EXPECT_EQ(m_cache.FrontRow(), expected);
    EXPECT_EQ(FrontImageRow(), expected);
    const std::vector<int> rows = m_cache.Rows();
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], (rows[i - 1] + 1) % kCount);
}

// The cache stops its worker when it goes, with a call held in the maker.
TEST(ImageCacheLifetimeTest, DestroyedWhileTheWorkerRuns)
{
    FakeMaker maker;
    std::thread opener;
    {
        CImageCache cache(maker.Bind());
        cache.Reset(Entries(20), 0);
        maker.Close();
        cache.Start();
        ASSERT_TRUE(WaitFor([&] { return maker.Entered() == 1; }));
        opener = std::thread([&] { maker.Open(); });
    }
    opener.join();
    EXPECT_GE(maker.Calls().size(), 1u);
}

} // namespace
