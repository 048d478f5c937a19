#include "imagefile/ReloadCache.h"

#include "core/ImageEx.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "imagefile/DNGTranspose.h"

#include "platform/File.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// Creates a new, empty cache file in the work folder: "<title><ext>", or,
// when that exists, "<title>_NNNNN<ext>" with the first free number. The
// name is reserved by an exclusive create, so two stores (the UI thread and
// the thumbnail thread) never pick the same file. Returns the file, not
// open when none could be made.
platform::File CreateCacheFile(const char* title, const char* ext, std::string& path)
{
    const std::string folder = AddBackslash(GetAppTempFolder());
    for (int n = 0; n <= 99999; ++n)
    {
        char name[64];
        if (n == 0)
        {
            std::snprintf(name, sizeof name, "%s%s", title, ext);
        }
        else
        {
            std::snprintf(name, sizeof name, "%s_%05d%s", title, n, ext);
        }
        std::string candidate = folder + name;
        platform::File file;
        if (file.OpenWrite(candidate, platform::FileCreate::Exclusive))
        {
            path = std::move(candidate);
            return file;
        }
        if (errno != EEXIST)
        {
            return {};
        }
    }
    return {};
}

void RemoveFile(const std::string& path)
{
    if (!path.empty())
    {
        std::remove(path.c_str());
    }
}

// Copies the rest of `from` to `to`; false when the reading or the
// writing fails (a short read ends the copy only at the end of the file).
bool CopyFile(platform::File& from, platform::File& to)
{
    std::vector<std::uint8_t> buffer(65536);
    for (;;)
    {
        const std::size_t got = from.Read(buffer.data(), buffer.size());
        if (!to.WriteAll(buffer.data(), got))
        {
            return false;
        }
        if (got < buffer.size())
        {
            std::uint64_t size = 0;
            std::uint64_t copied = 0;
            return from.Size(&size) && to.Size(&copied) && copied == size;
        }
    }
}

std::unique_ptr<CDNGTranspose> CloneTransform(const CDNGTranspose* transform)
{
    return transform ? std::make_unique<CDNGTranspose>(*transform) : nullptr;
}

} // namespace

bool ReadReloadFileStatus(const std::string& path, ReloadFileStatus& status)
{
    platform::FileStatus file;
    if (!platform::ReadFileStatus(path, file) || !file.regular)
    {
        return false;
    }
    status.modifiedSeconds = file.modifiedSeconds;
    status.modifiedNanoseconds = file.modifiedNanoseconds;
    status.size = file.size;
    return true;
}

bool ReportRowFraction(Progress progress, std::int64_t done, std::int64_t total)
{
    return progress.Report(total > 1 ? static_cast<double>(done) / static_cast<double>(total)
                                     : 1.0);
}

// ---- CReloadImage ------------------------------------------------------

CReloadImage::CReloadImage() = default;

CReloadImage::CReloadImage(const CReloadImage& other)
    : m_valid(other.m_valid), m_sourcePath(other.m_sourcePath), m_cacheFile(other.m_cacheFile),
      m_status(other.m_status), m_info(other.m_info),
      m_transform(CloneTransform(other.m_transform.get()))
{}

CReloadImage& CReloadImage::operator=(const CReloadImage& other)
{
    if (this != &other)
    {
        m_valid = other.m_valid;
        m_sourcePath = other.m_sourcePath;
        m_cacheFile = other.m_cacheFile;
        m_status = other.m_status;
        m_info = other.m_info;
        m_transform = CloneTransform(other.m_transform.get());
    }
    return *this;
}

CReloadImage::~CReloadImage() = default;

bool CReloadImage::IsValidFor(const std::string& path) const
{
    ReloadFileStatus now;
    return m_valid && m_sourcePath == path && ReadReloadFileStatus(path, now) && now == m_status;
}

bool CReloadImage::Store(CRGBImage& image, const std::string& sourcePath,
                         const ReloadImageInfo& info, const CDNGTranspose* transform)
{
    m_valid = false;
    ReloadFileStatus before;
    if (!ReadReloadFileStatus(sourcePath, before))
    {
        return false;
    }
    std::string cacheFile;
    platform::File file = CreateCacheFile("Reload", ".rgb", cacheFile);
    if (!file.IsOpen())
    {
        return false;
    }
    const bool written = image.WriteRaw(file);
    const bool closed = file.Close();
    ReloadFileStatus after;
    // A source that changed while its image was written would make the
    // cached pixels belong to the older file: refuse it.
    if (!written || !closed || !ReadReloadFileStatus(sourcePath, after) || !(after == before))
    {
        RemoveFile(cacheFile);
        return false;
    }
    if (cacheFile != m_cacheFile)
    {
        RemoveFile(m_cacheFile);
    }
    m_status = after;
    m_info = info;
    m_transform = CloneTransform(transform);
    m_sourcePath = sourcePath;
    m_cacheFile = std::move(cacheFile);
    m_valid = true;
    return true;
}

bool CReloadImage::Load(CRGBImage& image, ReloadImageInfo& info,
                        std::unique_ptr<CDNGTranspose>* transform, Progress progress) const
{
    if (m_cacheFile.empty())
    {
        return false;
    }
    bool ok = false;
    if (progress)
    {
        platform::File file;
        if (!file.OpenRead(m_cacheFile))
        {
            return false;
        }
        ProgressFunction rows([progress](std::int64_t done, std::int64_t total) {
            return ReportRowFraction(progress, done, total);
        });
        ok = image.ReadRawChunked(file, rows);
    }
    else
    {
        ok = image.LoadRaw(m_cacheFile);
    }
    if (!ok)
    {
        return false;
    }
    info = m_info;
    if (transform)
    {
        *transform = CloneTransform(m_transform.get());
    }
    return true;
}

void CReloadImage::Clear()
{
    RemoveFile(m_cacheFile);
    m_valid = false;
    m_sourcePath.clear();
    m_cacheFile.clear();
    m_status = {};
    m_info = {};
    m_transform.reset();
}

// ---- CReloadThumbnail --------------------------------------------------

bool CReloadThumbnail::IsValidFor(const std::string& path) const
{
    ReloadFileStatus now;
    return !m_cacheFile.empty() && m_sourcePath == path && ReadReloadFileStatus(path, now) &&
           now == m_status;
}

bool CReloadThumbnail::Store(const std::string& thumbnailFile, const std::string& sourcePath)
{
    std::string cacheFile;
    platform::File file = CreateCacheFile("Reload", ".thm", cacheFile);
    if (!file.IsOpen())
    {
        return false;
    }
    bool ok = true;
    bool moved = false;
    if (!thumbnailFile.empty())
    {
        // A rename moves the file at once when it lies on the same file
        // system (the thumbnail thread writes into the same work folder);
        // otherwise its bytes are copied.
        if (std::rename(thumbnailFile.c_str(), cacheFile.c_str()) == 0)
        {
            moved = true;
        }
        else
        {
            platform::File in;
            ok = in.OpenRead(thumbnailFile) && CopyFile(in, file);
        }
    }
    ok = (file.Close() || moved) && ok;
    ReloadFileStatus status;
    if (!ok || !ReadReloadFileStatus(sourcePath, status))
    {
        if (moved)
        {
            // Give the thumbnail back to its owner.
            if (std::rename(cacheFile.c_str(), thumbnailFile.c_str()) != 0)
            {
                RemoveFile(cacheFile);
            }
        }
        else
        {
            RemoveFile(cacheFile);
        }
        return false;
    }
    if (!thumbnailFile.empty() && !moved)
    {
        RemoveFile(thumbnailFile);
    }
    if (cacheFile != m_cacheFile)
    {
        RemoveFile(m_cacheFile);
    }
    m_status = status;
    m_sourcePath = sourcePath;
    m_cacheFile = std::move(cacheFile);
    return true;
}

bool CReloadThumbnail::Clear()
{
    if (m_cacheFile.empty())
    {
        return false;
    }
    RemoveFile(m_cacheFile);
    m_cacheFile.clear();
    m_sourcePath.clear();
    return true;
}

bool CReloadThumbnail::HasThumbnail() const
{
    platform::FileStatus status;
    return platform::ReadFileStatus(m_cacheFile, status) && status.size > 0;
}

// ---- The process-wide lists -------------------------------------------

namespace {

std::mutex& CacheLock()
{
    static std::mutex lock;
    return lock;
}

// Entries are held through pointers: the lists move them around, and a
// record owns a file that must not be deleted by a moved-from copy.
std::vector<std::unique_ptr<CReloadImage>>& ImageList()
{
    static std::vector<std::unique_ptr<CReloadImage>> list;
    return list;
}

std::vector<std::unique_ptr<CReloadThumbnail>>& ThumbnailList()
{
    static std::vector<std::unique_ptr<CReloadThumbnail>> list;
    return list;
}

} // namespace

bool StoreReloadImage(CRGBImage& image, const std::string& path, const ReloadImageInfo& info,
                      const CDNGTranspose* transform)
{
    auto entry = std::make_unique<CReloadImage>();
    if (!entry->Store(image, path, info, transform))
    {
        return false;
    }
    std::lock_guard guard(CacheLock());
    auto& list = ImageList();
    list.push_back(std::move(entry));
    while (list.size() > kMaxReloadImages)
    {
        list.front()->Clear();
        list.erase(list.begin());
    }
    return true;
}

int RestoreReloadImage(const std::string& path, ReloadImageInfo& info,
                       std::unique_ptr<CDNGTranspose>* transform, CRGBImage& image,
                       Progress progress)
{
    std::lock_guard guard(CacheLock());
    for (const auto& entry : ImageList())
    {
        if (entry->IsValidFor(path))
        {
            return entry->Load(image, info, transform, progress) ? 1 : 0;
        }
    }
    return 0;
}

void RemoveReloadImage(const std::string& path)
{
    std::lock_guard guard(CacheLock());
    auto& list = ImageList();
    for (auto it = list.begin(); it != list.end(); ++it)
    {
        if ((*it)->IsValidFor(path))
        {
            (*it)->Clear();
            list.erase(it);
            return;
        }
    }
}

void ClearReloadImageCache()
{
    std::lock_guard guard(CacheLock());
    for (auto& entry : ImageList())
    {
        entry->Clear();
    }
    ImageList().clear();
}

std::size_t GetReloadImageCount()
{
    std::lock_guard guard(CacheLock());
    return ImageList().size();
}

bool AddReloadThumbnail(const std::string& thumbnailFile, const std::string& sourcePath)
{
    auto entry = std::make_unique<CReloadThumbnail>();
    if (!entry->Store(thumbnailFile, sourcePath))
    {
        return false;
    }
    std::lock_guard guard(CacheLock());
    ThumbnailList().push_back(std::move(entry));
    return true;
}

int LoadCachedThumbnail(const std::string& path, CImageEx& image)
{
    std::string file;
    {
        std::lock_guard guard(CacheLock());
        for (const auto& entry : ThumbnailList())
        {
            if (entry->IsValidFor(path))
            {
                file = entry->GetCacheFile();
                break;
            }
        }
    }
    if (file.empty())
    {
        return 0;
    }
    return image.Load(file) ? 1 : 0;
}

int HasCachedThumbnail(const std::string& path, bool* hasThumbnail)
{
    std::lock_guard guard(CacheLock());
    for (const auto& entry : ThumbnailList())
    {
        if (entry->IsValidFor(path))
        {
            if (hasThumbnail)
            {
                *hasThumbnail = entry->HasThumbnail();
            }
            return 1;
        }
    }
    return 0;
}

void ClearReloadThumbnailCache()
{
    std::lock_guard guard(CacheLock());
    for (auto& entry : ThumbnailList())
    {
        entry->Clear();
    }
    ThumbnailList().clear();
}

std::size_t GetReloadThumbnailCount()
{
    std::lock_guard guard(CacheLock());
    return ThumbnailList().size();
}
