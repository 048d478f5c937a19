#pragma once
// Reload caches. Developing a DNG or camera RAW file is slow, so the last
// developed images and the thumbnails are kept as files in the work folder
// and reused while the source file is unchanged (same modification time and
// size). CReloadImage is one cached developed image (a raw image file plus
// the record's information and the DNG colour transform that came with it);
// CReloadThumbnail is one cached thumbnail file.
//
// Source paths compare exactly, byte for byte: on Linux "A.dng" and "a.dng"
// are two files.
//
// The process-wide lists: the developed images keep the last
// kMaxReloadImages stores, the thumbnails are unlimited. The lists are
// guarded by one lock, so the thumbnail thread may store while the UI
// thread asks.

#include "core/Progress.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

class CRGBImage;
class CImageEx;
class CDNGTranspose;

// What a file looked like when a record was stored.
struct ReloadFileStatus
{
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::uint64_t size = 0;

    bool operator==(const ReloadFileStatus&) const = default;
};

// Reads the status of path; false when it cannot be read (or names no
// regular file).
bool ReadReloadFileStatus(const std::string& path, ReloadFileStatus& status);

// The five values of an image record kept with a developed image: detected
// type, width, height and resolution (floats kept bit for bit).
struct ReloadImageInfo
{
    int type = 5; // unsupported
    int width = 0;
    int height = 0;
    float xResolution = 0.0f;
    float yResolution = 0.0f;
};

class CReloadImage
{
public:
    CReloadImage();
    CReloadImage(const CReloadImage& other);
    CReloadImage& operator=(const CReloadImage& other);
    virtual ~CReloadImage();

    // True when the record is valid, its source is path, and the file has
    // still the stored modification time and size.
    bool IsValidFor(const std::string& path) const;
    // Writes image into a new cache file in the work folder and keeps the
    // information and a copy of the transform (none when null). On success
    // the record's previous cache file is deleted; on failure nothing is
    // left behind, the record is not valid and keeps its other contents.
    bool Store(CRGBImage& image, const std::string& sourcePath, const ReloadImageInfo& info,
               const CDNGTranspose* transform);
    // Reads the cache file into image. With progress (a fraction 0..1) the
    // read goes in chunks and stops when the answer is false. On success
    // info is set and *transform replaced by a copy of the stored one (null
    // when none).
    bool Load(CRGBImage& image, ReloadImageInfo& info, std::unique_ptr<CDNGTranspose>* transform,
              Progress progress = {}) const;
    // Deletes the cache file and empties the record.
    void Clear();

    bool IsValid() const { return m_valid; }
    const std::string& GetSourcePath() const { return m_sourcePath; }
    const std::string& GetCacheFile() const { return m_cacheFile; }
    const ReloadImageInfo& GetInfo() const { return m_info; }
    const CDNGTranspose* GetTransform() const { return m_transform.get(); }

private:
    bool m_valid = false;
    std::string m_sourcePath;
    std::string m_cacheFile;
    ReloadFileStatus m_status;
    ReloadImageInfo m_info;
    std::unique_ptr<CDNGTranspose> m_transform;
};

class CReloadThumbnail
{
public:
    CReloadThumbnail() = default;
    CReloadThumbnail(const CReloadThumbnail&) = default;
    CReloadThumbnail& operator=(const CReloadThumbnail&) = default;
    virtual ~CReloadThumbnail() = default;

    // True when a cache file is set, its source is path and the file has
    // still the stored modification time and size.
    bool IsValidFor(const std::string& path) const;
    // Moves the thumbnail file (copied when a rename is not possible) into a
    // new cache file; an empty name creates an empty cache file (a source
    // that has no thumbnail). On failure no cache file is left, the named
    // thumbnail file and the record's previous cache file stay; on success
    // the previous cache file is deleted.
    bool Store(const std::string& thumbnailFile, const std::string& sourcePath);
    // Deletes the cache file and empties both names; false when there was none.
    bool Clear();

    const std::string& GetSourcePath() const { return m_sourcePath; }
    const std::string& GetCacheFile() const { return m_cacheFile; }
    // Whether the cached file has contents (an empty one marks "no thumbnail").
    bool HasThumbnail() const;

private:
    std::string m_sourcePath;
    std::string m_cacheFile;
    ReloadFileStatus m_status;
};

// Adapter for the chunked raw-file reader: reports done / total rows as the
// load's fraction (1.0 when total is 1 or less, so a one-row image reports
// completion) and returns the answer.
bool ReportRowFraction(Progress progress, std::int64_t done, std::int64_t total);

// ---- The process-wide lists -------------------------------------------

inline constexpr std::size_t kMaxReloadImages = 10;

// Appends a new entry for the developed image when its store succeeds (an
// older entry for the same path stays); then drops the oldest entries with
// their files while more than kMaxReloadImages are held.
bool StoreReloadImage(CRGBImage& image, const std::string& path, const ReloadImageInfo& info,
                      const CDNGTranspose* transform);
// Restores the image of the first matching entry. 1 on success; 0 when no
// entry matches or reading failed (a CancelWatch on progress tells whether
// it was cancelled).
int RestoreReloadImage(const std::string& path, ReloadImageInfo& info,
                       std::unique_ptr<CDNGTranspose>* transform, CRGBImage& image,
                       Progress progress = {});
// Deletes the first matching entry with its cache file.
void RemoveReloadImage(const std::string& path);
void ClearReloadImageCache();
std::size_t GetReloadImageCount();

// Appends an entry when its store succeeds (no limit).
bool AddReloadThumbnail(const std::string& thumbnailFile, const std::string& sourcePath);
// 1 when a matching entry has a non-empty thumbnail file and it loads into
// image; 0 otherwise (image untouched when no entry matches; left empty
// when the entry's file does not load).
int LoadCachedThumbnail(const std::string& path, CImageEx& image);
// 1 when an entry matches; then *hasThumbnail (when given) tells whether its
// thumbnail file is not empty. 0 otherwise.
int HasCachedThumbnail(const std::string& path, bool* hasThumbnail);
void ClearReloadThumbnailCache();
std::size_t GetReloadThumbnailCount();
