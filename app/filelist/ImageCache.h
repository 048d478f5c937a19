#pragma once
// CImageCache: the slide show's display images of the list entries that
// come next, made ahead of time by one worker thread.
//
// The cache is a queue of (row, image) records: the front is the image on
// screen, the records behind it the following rows in list order, wrapping
// from the last row to the first. The worker appends while the cache holds
// fewer than kMaxRecords records; the user-interface thread removes the
// front ("next"), or stops the worker and puts a record in front
// ("previous", the first image of a show). Every access to the queue is
// under one lock, so the removal of the front and the worker's append may
// meet.
//
// The worker reads no widget and no list of the panel: it works on copies
// of the entries given before it starts, and makes each image through the
// maker its owner gives (bound to the project's MakeDisplayImageOf, which
// builds its own converter). Each image is asked for at most the size of
// the box (the screen), so that ten records stay ten screenfuls of memory.
//
// A row whose image cannot be made is remembered and skipped from then
// on, forwards and backwards; the show goes on with the rows that can be.
//
// Stop: a flag under the lock and a condition variable, then a join. The
// maker call in flight finishes (its image is dropped); nothing new
// starts. A stop before the worker has run at all returns as promptly, and
// the worker can be started and stopped any number of times.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class CImageEx;
class CImageFileInfo;

class CImageCache
{
public:
    // (entry, box width, box height) -> its display image, reduced to fit
    // the box (a side of 0: no box); null when it cannot be made. Called on
    // the worker thread and on the thread that calls MakeFront or
    // MakePrevious.
    using ImageMaker = std::function<std::unique_ptr<CImageEx>(const CImageFileInfo& entry,
                                                               int maxWidth, int maxHeight)>;

    // The worker adds a record only while the cache holds fewer.
    static constexpr std::size_t kMaxRecords = 10;

    explicit CImageCache(ImageMaker maker);
    // Stops the worker.
    ~CImageCache();
    CImageCache(const CImageCache&) = delete;
    CImageCache& operator=(const CImageCache&) = delete;

    // Stops the worker, empties the cache, forgets the failed rows and
    // takes the list to show: the entries in row order and the row the
    // worker begins with while the cache is empty (row 0 when outside the
    // list).
    void Reset(std::vector<CImageFileInfo> entries, int startRow);
    // The box every image is made to fit (the screen in pixels).
    void SetMaxImageSize(int width, int height);

    // Starts the worker (a running one is stopped first).
    void Start();
    // Stops the worker and waits for it; nothing when none runs.
    void Stop();
    bool IsRunning() const;
    // While paused the worker adds nothing (an image made meanwhile is
    // dropped).
    void SetPaused(bool paused);
    bool IsPaused() const;

    // Stops the worker and puts in front the image of the row, or of the
    // first row after it (wrapping) that can be made. False when no row
    // can be made.
    bool MakeFront(int row);
    // Stops the worker and puts in front the image of the row above the
    // front's (above currentRow when the cache is empty), wrapping from the
    // first row to the last and skipping rows that cannot be made. False
    // when no row can be made.
    bool MakePrevious(int currentRow);
    // "Next": with at least two records the front is removed and returned
    // (the caller frees it once the new front is on screen); null with
    // fewer, and the cache is left alone.
    std::unique_ptr<CImageEx> Next();
    // Stops the worker and empties the cache; the list and the failed rows
    // stay.
    void Clear();

    // The front record's image and row; null and -1 when the cache is
    // empty. The image stays valid until the front is removed (Next,
    // Clear, Reset): the worker only appends.
    const CImageEx* FrontImage() const;
    int FrontRow() const;
    std::size_t Size() const;
    // The rows of the records, front first.
    std::vector<int> Rows() const;
    // The largest width and height among the records' images.
    void GetLargestImageSize(int& width, int& height) const;
    bool HasFailed(int row) const;
    int EntryCount() const { return static_cast<int>(m_entries.size()); }

private:
    struct Record
    {
        int row;
        std::unique_ptr<CImageEx> image;
    };

    void Run();
    // The row the worker makes next: the start row when the cache is
    // empty, else the row after the last record's; the first from there
    // that has not failed. -1 when every row failed.
    int NextRowLocked() const;
    // The first row from `row` in direction step (+1 or -1), wrapping, that
    // has not failed; -1 when none.
    int FirstUsableRowLocked(int row, int step) const;
    // Makes the image of the first usable row from `row` in direction step
    // on the calling thread (worker stopped), remembering the failures, and
    // puts it in front. The back beyond kMaxRecords is dropped.
    bool MakeInFront(int row, int step);
    int Wrap(int row) const;
    // The maker's image of the row; null for no image, an empty one or an
    // exception.
    std::unique_ptr<CImageEx> MakeImage(int row, int maxWidth, int maxHeight) const;

    ImageMaker m_maker;
    // Written only while the worker is stopped; read by it without the lock.
    std::vector<CImageFileInfo> m_entries;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Record> m_records;
    std::set<int> m_failed;
    int m_startRow = 0;
    int m_maxWidth = 0;
    int m_maxHeight = 0;
    bool m_paused = false;
    bool m_stopRequested = false;

    std::thread m_worker;
};
