#pragma once
// The thumbnail loader: a worker thread that makes small JPEG thumbnails
// of image files in the background, one file per wake-up, so that the
// file-list panel can show them without blocking the user interface.
//
// The panel queues paths (RequestThumbnail); the thread writes each
// thumbnail to a temporary JPEG file ("THM*.tmp" in the work folder),
// stores the result and announces it through the ready callback; the panel
// then takes the result out (TakeResult). The callback runs on the worker
// thread: the GUI turns it into a queued call to its own thread and never
// touches widgets from it. Camera RAW files are first converted to a
// temporary DNG through the outside converter.
//
// One mutex guards the request list and the result map; it is released
// before any file work, conversion or decoding.
//
// Stopping is bounded: a worker busy with one file (a large image being
// decoded, a file system that does not answer) is let go after the owner's
// limit instead of holding the user interface. The worker's state is shared
// with the thread, so a worker that was let go finishes its file on its own,
// deletes what it made and ends; nothing it does afterwards reaches the
// owner.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One finished thumbnail.
class CThumbAndDNGPath
{
public:
    CThumbAndDNGPath() = default;
    CThumbAndDNGPath(std::string thumbnailFile, std::string dngFile, int convertFailed)
        : m_thumbnailFile(std::move(thumbnailFile)), m_dngFile(std::move(dngFile)),
          m_convertFailed(convertFailed)
    {}
    virtual ~CThumbAndDNGPath() = default;

    std::string m_thumbnailFile; // the temporary JPEG; empty when none was made
    std::string m_dngFile;       // the temporary DNG made from a RAW file; empty otherwise
    int m_convertFailed = 0;     // 1 when the outside converter failed for this file
};

class CLoadThumbnail
{
public:
    // Announces that a result is ready to be taken.
    using ReadyCallback = std::function<void()>;

    // The longer side of a thumbnail, in pixels.
    static constexpr int kThumbnailSide = 160;
    // JPEG quality of the thumbnail files.
    static constexpr int kThumbnailQuality = 80;

    CLoadThumbnail();
    // Stops the thread (Stop).
    virtual ~CLoadThumbnail();
    CLoadThumbnail(const CLoadThumbnail&) = delete;
    CLoadThumbnail& operator=(const CLoadThumbnail&) = delete;

    // Starts the worker thread (at the lowest priority) with the callback
    // that announces results. False when it is already running, the
    // callback is empty or no thread can be made. Without a running thread
    // requests are only queued.
    bool Start(ReadyCallback ready);
    // Asks the thread to stop, cancels a conversion it is waiting for,
    // joins it, and deletes the files of the results nobody took. Safe to
    // call when not running.
    void Stop();
    // The same, waiting at most `limit` for the thread to end. True when it
    // ended; false when it was still busy: it is then let go and ends on its
    // own after its current file, deleting its files, without calling the
    // ready callback again. Either way the loader is stopped afterwards
    // (its queue and results are empty when the thread was let go).
    bool Stop(std::chrono::milliseconds limit);
    bool IsRunning() const { return m_thread.joinable(); }
    // Worker threads of all loaders that have not ended yet, those let go
    // by a bounded stop included.
    static int LiveWorkerCount();

    // UI thread. Queues a path: false for an empty path, a path that does
    // not exist or one that already has a result. RAW files join the tail
    // once; other paths move to the head (the latest request is served
    // first).
    bool RequestThumbnail(const std::string& path);
    // UI thread. The first requested path (from the head) that has a
    // result: removed from the requests and the results, its values
    // returned; the files now belong to the caller. False when none.
    bool TakeResult(std::string& path, std::string& thumbnailFile, std::string& dngFile,
                    int& convertFailed);
    // UI thread. Takes every result and deletes its files, drops results of
    // paths no longer requested (their files are left alone), and empties
    // the requests.
    void ClearAll();

    // Worker side (public for the panel's tests as well).
    // The first path from the head that has no result yet.
    bool GetNextRequest(std::string& path);
    // Requests minus results: the paths still waiting.
    int GetPendingCount();
    // Stores a result for a path that is still requested; false otherwise
    // (the request was withdrawn meanwhile).
    bool StoreResult(const std::string& path, const std::string& thumbnailFile,
                     const std::string& dngFile, int convertFailed);

    // The thumbnail box of a width x height image: the longer side 160, the
    // other in proportion, truncated, never below 1. False (box untouched)
    // for an image without pixels.
    static bool GetThumbnailBox(int width, int height, int& boxWidth, int& boxHeight);
    // Loads an image file (JPEG, TIFF, DNG preview), scales it into the
    // thumbnail box, turns it by a DNG's orientation, and writes it as a new
    // temporary JPEG; the file's path in thumbnailFile. False (no file left,
    // thumbnailFile empty) when the image cannot be read or written.
    static bool MakeThumbnailFile(const std::string& imagePath, std::string& thumbnailFile);

    // The converter's wait (per wait and number of waits), shortened by tests.
    void SetConverterWaitLimits(int waitMilliseconds, int maxWaits);

private:
    // Everything the thread uses: shared with it, so that a thread let go by
    // a bounded stop never refers to a loader that is gone.
    struct State;
    static void Run(std::shared_ptr<State> state);
    // Makes at most one thumbnail: the next pending request.
    static void ProcessOneRequest(State& state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
