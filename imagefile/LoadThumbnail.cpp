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

} // namespace

CLoadThumbnail::~CLoadThumbnail()
{
    Stop();
}

bool CLoadThumbnail::Start(ReadyCallback ready)
{
    if (IsRunning() || !ready)
    {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ready = std::move(ready);
        m_stopRequested = false;
    }
    m_cancel = false;
    try
    {
        m_thread = std::thread(&CLoadThumbnail::Run, this);
    }
    catch (const std::system_error&)
    {
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
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopRequested = true;
    }
    m_cancel = true;
    m_wake.notify_all();
    m_thread.join();
    // What the thread left behind and nobody took.
    std::lock_guard<std::mutex> guard(m_lock);
    DiscardResultsLocked();
    m_ready = nullptr;
}

int CLoadThumbnail::PendingLocked() const
{
    return static_cast<int>(m_requests.size()) - static_cast<int>(m_results.size());
}

bool CLoadThumbnail::IsRequestedLocked(const std::string& path) const
{
    return std::find(m_requests.begin(), m_requests.end(), path) != m_requests.end();
}

bool CLoadThumbnail::RequestThumbnail(const std::string& path)
{
    if (path.empty() || !PathExists(path))
    {
        return false;
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_results.count(path) != 0)
        {
            return false;
        }
        if (IsRawExtension(GetFileExtFromPath(path)))
        {
            // RAW conversions are slow: they wait at the tail, in order.
            if (!IsRequestedLocked(path))
            {
                m_requests.push_back(path);
            }
        }
        else
        {
            const auto found = std::find(m_requests.begin(), m_requests.end(), path);
            if (found != m_requests.end())
            {
                m_requests.erase(found);
            }
            m_requests.push_front(path);
        }
        wake = PendingLocked() == 1;
    }
    if (wake)
    {
        m_wake.notify_one();
    }
    return true;
}

bool CLoadThumbnail::TakeResult(std::string& path, std::string& thumbnailFile, std::string& dngFile,
                                int& convertFailed)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_requests.begin(); it != m_requests.end(); ++it)
    {
        const auto found = m_results.find(*it);
        if (found == m_results.end())
        {
            continue;
        }
        path = *it;
        thumbnailFile = found->second->m_thumbnailFile;
        dngFile = found->second->m_dngFile;
        convertFailed = found->second->m_convertFailed;
        m_results.erase(found);
        m_requests.erase(it);
        return true;
    }
    return false;
}

void CLoadThumbnail::DiscardResultsLocked()
{
    for (const std::string& path : m_requests)
    {
        const auto found = m_results.find(path);
        if (found != m_results.end())
        {
            RemoveFile(found->second->m_thumbnailFile);
            RemoveFile(found->second->m_dngFile);
            m_results.erase(found);
        }
    }
    m_results.clear();
}

void CLoadThumbnail::ClearAll()
{
    std::lock_guard<std::mutex> guard(m_lock);
    DiscardResultsLocked();
    m_requests.clear();
}

bool CLoadThumbnail::GetNextRequest(std::string& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const std::string& request : m_requests)
    {
        if (m_results.count(request) == 0)
        {
            path = request;
            return true;
        }
    }
    return false;
}

int CLoadThumbnail::GetPendingCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return PendingLocked();
}

bool CLoadThumbnail::StoreResult(const std::string& path, const std::string& thumbnailFile,
                                 const std::string& dngFile, int convertFailed)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!IsRequestedLocked(path))
    {
        return false;
    }
    m_results[path] = std::make_unique<CThumbAndDNGPath>(thumbnailFile, dngFile, convertFailed);
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

void CLoadThumbnail::Run()
{
    // The lowest priority: thumbnails must never slow the user interface.
    platform::LowerThreadPriority();
    while (true)
    {
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [this] { return m_stopRequested || PendingLocked() > 0; });
            if (m_stopRequested)
            {
                return;
            }
        }
        ProcessOneRequest();
    }
}

void CLoadThumbnail::ProcessOneRequest()
{
    std::string path;
    if (!GetNextRequest(path))
    {
        return;
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
        converter.SetCancelFlag(&m_cancel);
        converter.SetWaitLimits(m_converterWaitMilliseconds, m_converterMaxWaits);
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
    if (!m_cancel)
    {
        MakeThumbnailFile(source, thumbnailFile);
    }

    if (StoreResult(path, thumbnailFile, dngFile, convertFailed))
    {
        ReadyCallback ready;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ready = m_ready;
        }
        if (ready)
        {
            ready();
        }
    }
    else
    {
        // The request was withdrawn while the thumbnail was being made.
        RemoveFile(thumbnailFile);
        RemoveFile(dngFile);
    }
}
