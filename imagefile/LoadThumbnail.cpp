#include "imagefile/LoadThumbnail.h"

#include "core/GlobalSettings.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/ImageOrientation.h"
#include "core/PathUtils.h"
#include "core/TempFiles.h"
#include "imagefile/DNGConverter.h"
#include "imagefile/ImageFileInfo.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <csetjmp>
#include <jpeglib.h>

namespace {

void RemoveFile(const std::string& path)
{
    if (!path.empty())
    {
        std::remove(path.c_str());
    }
}

bool PathExists(const std::string& path)
{
    platform::FileStatus status;
    return platform::ReadFileStatus(path, status);
}

// Area average of the source pixels under each target pixel (each target
// pixel covers at least one source pixel, so small images are enlarged by
// repetition).
void ScaleInto(const CImageEx& source, CImageEx& target)
{
    const int sw = source.GetWidth();
    const int sh = source.GetHeight();
    const int tw = target.GetWidth();
    const int th = target.GetHeight();
    for (int ty = 0; ty < th; ++ty)
    {
        const int y0 = static_cast<int>(static_cast<long long>(ty) * sh / th);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(ty + 1) * sh / th));
        for (int tx = 0; tx < tw; ++tx)
        {
            const int x0 = static_cast<int>(static_cast<long long>(tx) * sw / tw);
            const int x1 =
                std::max(x0 + 1, static_cast<int>(static_cast<long long>(tx + 1) * sw / tw));
            unsigned long sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; ++y)
            {
                const std::uint8_t* p = source.GetPixelAddress(x0, y);
                for (int x = x0; x < x1; ++x, p += 3)
                {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const unsigned long count =
                static_cast<unsigned long>(y1 - y0) * static_cast<unsigned long>(x1 - x0);
            std::uint8_t* q = target.GetPixelAddress(tx, ty);
            for (int c = 0; c < 3; ++c)
            {
                q[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
            }
        }
    }
}

// The TIFF/EXIF orientation applied to an image: the result shows the
// scene upright.
CImageEx Orient(const CImageEx& source, int orientation)
{
    const OrientationMap map = MapOrientation(orientation, source.GetWidth(), source.GetHeight());
    CImageEx target;
    if (!target.Create(map.uprightWidth, map.uprightHeight))
    {
        return source;
    }
    const std::ptrdiff_t pitch = target.GetPitch();
    const std::ptrdiff_t first = map.Start(3, pitch);
    const std::ptrdiff_t column = map.ColumnStep(3, pitch);
    const std::ptrdiff_t row = map.RowStep(3, pitch);
    const auto width = static_cast<std::size_t>(source.GetWidth());
    for (int y = 0; y < source.GetHeight(); ++y)
    {
        PlaceRow<3>(source.GetPixelAddress(0, y), width, target.GetBits(), first + y * row, column);
    }
    return target;
}

struct JpegWriteError
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JpegWriteErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegWriteError*>(info->err)->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// Compresses image (rows of blue, green, red) to file at quality; false on
// any libjpeg error or write failure. No object with a destructor lives
// between the setjmp and the libjpeg calls: the row buffer is the caller's.
bool WriteJpegRows(std::FILE* file, const CImageEx& image, int quality,
                   std::vector<std::uint8_t>& row)
{
    jpeg_compress_struct info{};
    JpegWriteError error{};
    info.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JpegWriteErrorExit;
    error.pub.emit_message = JpegSilence;
    if (setjmp(error.jump) != 0)
    {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.GetWidth());
    info.image_height = static_cast<JDIMENSION>(image.GetHeight());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const int width = image.GetWidth();
    while (info.next_scanline < info.image_height)
    {
        const std::uint8_t* p = image.GetPixelAddress(0, static_cast<int>(info.next_scanline));
        for (int x = 0; x < width; ++x, p += 3)
        {
            row[static_cast<std::size_t>(x) * 3 + 0] = p[2];
            row[static_cast<std::size_t>(x) * 3 + 1] = p[1];
            row[static_cast<std::size_t>(x) * 3 + 2] = p[0];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

std::atomic<int> g_liveWorkers{0};

} // namespace

struct CLoadThumbnail::State
{
    // Guards everything below but the cancel flag and the callback.
    std::mutex lock;
    std::condition_variable wake;
    // Tells a bounded stop that the thread has ended.
    std::condition_variable ended;
    bool stopRequested = false;
    bool running = false;
    std::atomic<bool> cancel{false};
    std::deque<std::string> requests;
    // The paths of `requests`, so that asking whether a path waits costs no
    // walk over thousands of them (a folder of 5,000 files is requested on
    // the user-interface thread in one go).
    std::unordered_set<std::string> queued;
    std::map<std::string, std::unique_ptr<CThumbAndDNGPath>> results;
    // Held while the callback runs, so that a stop that clears it knows no
    // call is under way or will follow.
    std::mutex readyLock;
    ReadyCallback ready;
    int converterWaitMilliseconds = 200;
    int converterMaxWaits = 3000;

    int PendingLocked() const
    {
        return static_cast<int>(requests.size()) - static_cast<int>(results.size());
    }
    bool IsRequestedLocked(const std::string& path) const
    {
        return queued.count(path) != 0;
    }
    // Deletes the files of every result and forgets the results.
    void DiscardResultsLocked()
    {
        for (auto& result : results)
        {
            RemoveFile(result.second->m_thumbnailFile);
            RemoveFile(result.second->m_dngFile);
        }
        results.clear();
    }
};

CLoadThumbnail::CLoadThumbnail() : m_state(std::make_shared<State>()) {}

CLoadThumbnail::~CLoadThumbnail()
{
    Stop();
}

int CLoadThumbnail::LiveWorkerCount()
{
    return g_liveWorkers.load();
}

void CLoadThumbnail::SetConverterWaitLimits(int waitMilliseconds, int maxWaits)
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->converterWaitMilliseconds = waitMilliseconds;
    m_state->converterMaxWaits = maxWaits;
}

bool CLoadThumbnail::Start(ReadyCallback ready)
{
    if (IsRunning() || !ready)
    {
        return false;
    }
    {
        std::lock_guard<std::mutex> readyGuard(m_state->readyLock);
        m_state->ready = std::move(ready);
    }
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->stopRequested = false;
        m_state->running = true;
    }
    m_state->cancel = false;
    try
    {
        ++g_liveWorkers;
        m_thread = std::thread(&CLoadThumbnail::Run, m_state);
    }
    catch (const std::system_error&)
    {
        --g_liveWorkers;
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->running = false;
        return false;
    }
    return true;
}

void CLoadThumbnail::Stop()
{
    if (!m_thread.joinable())
    {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->stopRequested = true;
    }
    m_state->cancel = true;
    m_state->wake.notify_all();
    m_thread.join();
    // What the thread left behind and nobody took.
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->DiscardResultsLocked();
    }
    std::lock_guard<std::mutex> readyGuard(m_state->readyLock);
    m_state->ready = nullptr;
}

bool CLoadThumbnail::Stop(std::chrono::milliseconds limit)
{
    if (!m_thread.joinable())
    {
        return true;
    }
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->stopRequested = true;
    }
    m_state->cancel = true;
    m_state->wake.notify_all();
    // From here on the thread calls nobody.
    {
        std::lock_guard<std::mutex> readyGuard(m_state->readyLock);
        m_state->ready = nullptr;
    }
    bool ended = false;
    {
        std::unique_lock<std::mutex> guard(m_state->lock);
        ended = m_state->ended.wait_for(guard, limit, [this] { return !m_state->running; });
        if (ended)
        {
            m_state->DiscardResultsLocked();
        }
    }
    if (ended)
    {
        m_thread.join();
        return true;
    }
    // The thread keeps the old state; the loader starts afresh.
    m_thread.detach();
    m_state = std::make_shared<State>();
    return false;
}

bool CLoadThumbnail::RequestThumbnail(const std::string& path)
{
    if (path.empty() || !PathExists(path))
    {
        return false;
    }
    State& state = *m_state;
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.results.count(path) != 0)
        {
            return false;
        }
        if (IsRawExtension(GetFileExtFromPath(path)))
        {
            // RAW conversions are slow: they wait at the tail, in order.
            if (state.queued.insert(path).second)
            {
                state.requests.push_back(path);
            }
        }
        else
        {
            // A path asked for again moves to the front.
            if (!state.queued.insert(path).second)
            {
                const auto found =
                    std::find(state.requests.begin(), state.requests.end(), path);
                if (found != state.requests.end())
                {
                    state.requests.erase(found);
                }
            }
            state.requests.push_front(path);
        }
        wake = state.PendingLocked() == 1;
    }
    if (wake)
    {
        state.wake.notify_one();
    }
    return true;
}

bool CLoadThumbnail::TakeResult(std::string& path, std::string& thumbnailFile, std::string& dngFile,
                                int& convertFailed)
{
    State& state = *m_state;
    std::lock_guard<std::mutex> guard(state.lock);
    for (auto it = state.requests.begin(); it != state.requests.end(); ++it)
    {
        const auto found = state.results.find(*it);
        if (found == state.results.end())
        {
            continue;
        }
        path = *it;
        thumbnailFile = found->second->m_thumbnailFile;
        dngFile = found->second->m_dngFile;
        convertFailed = found->second->m_convertFailed;
        state.results.erase(found);
        state.queued.erase(*it);
        state.requests.erase(it);
        return true;
    }
    return false;
}

void CLoadThumbnail::ClearAll()
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->DiscardResultsLocked();
    m_state->requests.clear();
    m_state->queued.clear();
}

bool CLoadThumbnail::GetNextRequest(std::string& path)
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    for (const std::string& request : m_state->requests)
    {
        if (m_state->results.count(request) == 0)
        {
            path = request;
            return true;
        }
    }
    return false;
}

int CLoadThumbnail::GetPendingCount()
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->PendingLocked();
}

bool CLoadThumbnail::StoreResult(const std::string& path, const std::string& thumbnailFile,
                                 const std::string& dngFile, int convertFailed)
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (m_state->stopRequested || !m_state->IsRequestedLocked(path))
    {
        return false;
    }
    m_state->results[path] =
        std::make_unique<CThumbAndDNGPath>(thumbnailFile, dngFile, convertFailed);
    return true;
}

bool CLoadThumbnail::GetThumbnailBox(int width, int height, int& boxWidth, int& boxHeight)
{
    if (width <= 0 || height <= 0)
    {
        return false;
    }
    const double w = width;
    const double h = height;
    // Both quotients lie in (0, 160]: the truncation is in range.
    if (w / h > 1.0)
    {
        boxWidth = kThumbnailSide;
        boxHeight = static_cast<int>(kThumbnailSide * h / w);
    }
    else
    {
        boxWidth = static_cast<int>(kThumbnailSide * w / h);
        boxHeight = kThumbnailSide;
    }
    boxWidth = std::max(boxWidth, 1);
    boxHeight = std::max(boxHeight, 1);
    return true;
}

bool CLoadThumbnail::MakeThumbnailFile(const std::string& imagePath, std::string& thumbnailFile)
{
    thumbnailFile.clear();
    // Only a DNG's orientation is applied: the converter writes the
    // camera's orientation there and leaves the pixels as shot. Its probe
    // leaves the file open for the decoding, so it is read once.
    ImageProbeResult probe;
    ProbedImageFile opened;
    const bool dng = IsDngExtension(imagePath);
    if (dng)
    {
        ProbeImageFile(imagePath, probe, &opened);
    }
    CImageEx image;
    if (!(dng ? image.Load(std::move(opened), kThumbnailSide)
              : image.Load(imagePath, kThumbnailSide)))
    {
        return false;
    }
    int boxWidth = 0;
    int boxHeight = 0;
    CImageEx thumbnail;
    if (!GetThumbnailBox(image.GetWidth(), image.GetHeight(), boxWidth, boxHeight) ||
        !thumbnail.Create(boxWidth, boxHeight))
    {
        return false;
    }
    ScaleInto(image, thumbnail);
    image.Destroy();
    if (probe.orientation >= 2 && probe.orientation <= 8)
    {
        thumbnail = Orient(thumbnail, probe.orientation);
    }

    std::string path;
    platform::File temp = OpenTempFile("THM", path);
    if (!temp.IsOpen())
    {
        return false;
    }
    std::FILE* file = temp.ToStream("wb");
    if (file == nullptr)
    {
        temp.Close();
        RemoveFile(path);
        return false;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(thumbnail.GetWidth()) * 3);
    bool ok = WriteJpegRows(file, thumbnail, kThumbnailQuality, row);
    ok = std::fflush(file) == 0 && std::ferror(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
    {
        RemoveFile(path);
        return false;
    }
    thumbnailFile = path;
    return true;
}

void CLoadThumbnail::Run(std::shared_ptr<State> state)
{
    // The lowest priority: thumbnails must never slow the user interface.
    platform::LowerThreadPriority();
    while (true)
    {
        {
            std::unique_lock<std::mutex> guard(state->lock);
            state->wake.wait(guard,
                             [&state] { return state->stopRequested || state->PendingLocked() > 0; });
            if (state->stopRequested)
            {
                // Results nobody will take any more (a loader that let this
                // thread go has already forgotten them).
                state->DiscardResultsLocked();
                state->running = false;
                state->ended.notify_all();
                break;
            }
        }
        ProcessOneRequest(*state);
    }
    --g_liveWorkers;
}

void CLoadThumbnail::ProcessOneRequest(State& state)
{
    std::string path;
    int waitMilliseconds = 0;
    int maxWaits = 0;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        const auto next = std::find_if(state.requests.begin(), state.requests.end(),
                                       [&state](const std::string& request) {
                                           return state.results.count(request) == 0;
                                       });
        if (next == state.requests.end())
        {
            return;
        }
        path = *next;
        waitMilliseconds = state.converterWaitMilliseconds;
        maxWaits = state.converterMaxWaits;
    }
    std::string source = path;
    std::string dngFile;
    int convertFailed = 0;
    if (IsConvertibleRawFile(path))
    {
        dngFile = GetDngOutputPath();
        if (!dngFile.empty() && dngFile.back() != '/')
        {
            dngFile += '/';
        }
        dngFile += "~t-tmp.dng";
        MakeUniqueFileName(dngFile);
        CDNGConverterManager converter;
        converter.m_converterPath = GetDNGConverterPath();
        converter.m_outputFolder = GetFolderFromPath(dngFile);
        converter.m_outputName = GetFileNameFromPath(dngFile);
        converter.SetCancelFlag(&state.cancel);
        converter.SetWaitLimits(waitMilliseconds, maxWaits);
        if (converter.Convert(path))
        {
            source = dngFile;
        }
        else
        {
            RemoveFile(dngFile);
            dngFile.clear();
            convertFailed = 1;
        }
    }

    std::string thumbnailFile;
    if (!state.cancel)
    {
        MakeThumbnailFile(source, thumbnailFile);
    }

    bool stored = false;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.stopRequested && state.IsRequestedLocked(path))
        {
            state.results[path] =
                std::make_unique<CThumbAndDNGPath>(thumbnailFile, dngFile, convertFailed);
            stored = true;
        }
    }
    if (!stored)
    {
        // The request was withdrawn, or the loader stopped, while the
        // thumbnail was being made.
        RemoveFile(thumbnailFile);
        RemoveFile(dngFile);
        return;
    }
    std::lock_guard<std::mutex> readyGuard(state.readyLock);
    if (state.ready)
    {
        state.ready();
    }
}
