#include "imagefile/ImageFileInfo.h"

#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/PathUtils.h"
#include "imagefile/DNGFile.h"
#include "platform/File.h"
#include "platform/Text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <list>
#include <mutex>

namespace {

// Neither side may be smaller: such a file cannot be worked on.
constexpr int kMinImageSide = 50;

// The extensions a file must have to enter the list.
constexpr std::string_view kListExtensions[] = {".jpg", ".jpeg", ".tif", ".tiff"};

bool HasListExtension(const std::string& path)
{
    const std::string ext = GetFileExtFromPath(path);
    return std::any_of(
        std::begin(kListExtensions), std::end(kListExtensions),
        [&](std::string_view allowed) { return platform::EqualsNoCase(ext, allowed); });
}

bool IsExistingNonFolder(const std::string& path)
{
    platform::FileStatus status;
    return platform::ReadFileStatus(path, status) && !status.folder;
}

int ToInt(std::uint64_t value)
{
    return static_cast<int>(std::min<std::uint64_t>(value, INT_MAX));
}

// A resolution the file does not give (or gives as nonsense) is taken as
// the 240 dpi of a print: a record never holds 0, which no writer accepts.
float UsableResolution(float dpi)
{
    return std::isfinite(dpi) && dpi > 0.0f ? dpi : kDefaultResolution;
}

struct LoadGuardList
{
    std::mutex lock;
    std::list<std::string> paths;
};

LoadGuardList& GuardList()
{
    static LoadGuardList list;
    return list;
}

} // namespace

CImageFileInfo::CImageFileInfo()
{
    Reset();
}

CImageFileInfo::CImageFileInfo(const CImageFileInfo& other)
{
    *this = other;
}

CImageFileInfo::~CImageFileInfo() = default;

CImageFileInfo& CImageFileInfo::operator=(const CImageFileInfo& other)
{
    if (this == &other)
        return *this;
    m_number = other.m_number;
    m_check = other.m_check;
    m_path = other.m_path;
    m_type = other.m_type;
    m_detectedType = other.m_detectedType;
    m_width = other.m_width;
    m_height = other.m_height;
    m_xResolution = other.m_xResolution;
    m_yResolution = other.m_yResolution;
    m_spare = other.m_spare;
    m_hasThumbnail = other.m_hasThumbnail;
    m_transform.reset();
    if (other.m_transform)
        m_transform = std::make_unique<CDNGTranspose>(*other.m_transform);
    m_iccProfile = other.m_iccProfile;
    m_jpegQuality = other.m_jpegQuality;
    m_error = other.m_error;
    m_state = other.m_state;
    m_lutName = other.m_lutName;
    return *this;
}

void CImageFileInfo::Reset()
{
    m_path.clear();
    m_type = kImageFileTiff16;
    m_detectedType = kImageFileTiff16;
    m_width = 0;
    m_height = 0;
    m_xResolution = 0.0f;
    m_yResolution = 0.0f;
    m_spare = {1, 0, 0, 0, 0};
    m_hasThumbnail = 0;
    m_transform.reset();
    m_iccProfile.clear();
    m_jpegQuality = 2;
    m_error = 0;
    m_state = kLoadStateDone;
}

int CImageFileInfo::ReadInfo(const std::string& path)
{
    return ReadInfo(path, nullptr);
}

int CImageFileInfo::ReadInfo(const std::string& path, ProbedImageFile* opened)
{
    Reset();

    if (!HasListExtension(path))
    {
        if (IsExistingNonFolder(path))
            AddErrorFile(path);
        return 0;
    }
    // Only a regular file can hold an image. Opening a named pipe waits
    // until some program writes to it (for ever, for a path given by
    // mistake, and in the window's thread), and a device is no image
    // either: both are refused before anything opens them.
    if (!platform::IsRegularFile(path))
    {
        AddErrorFile(path);
        return 0;
    }

    ImageFileType type = kImageFileUnsupported;
    int width = 0;
    int height = 0;
    float xDpi = 0.0f;
    float yDpi = 0.0f;
    std::vector<std::uint8_t> profile;
    ProbedImageFile probed;

    if (IsDngExtension(path))
    {
        CDNGFile dng;
        if (!dng.Open(path))
        {
            AddErrorFile(path);
            m_path = path;
            return 0;
        }
        width = ToInt(dng.GetImageWidth());
        height = ToInt(dng.GetImageHeight());
        if (width < kMinImageSide || height < kMinImageSide)
        {
            AddErrorFile(path);
            m_path = path;
            return 0;
        }
        xDpi = yDpi = kDefaultResolution;
        m_transform = std::make_unique<CDNGTranspose>();
        dng.GetColorInfo(*m_transform);
        type = kImageFileDng;
        LoadEmbeddedProfile(path, profile);
    }
    else if (IsConvertibleRawFile(path))
    {
        // Nothing is known of a camera RAW file until it is converted.
        type = kImageFileRaw;
        xDpi = yDpi = kDefaultResolution;
    }
    else
    {
        ImageProbeResult probe;
        if (!IsGdiplusAvailable() || !ProbeImageFile(path, probe, &probed) ||
            probe.width < static_cast<std::uint32_t>(kMinImageSide) ||
            probe.height < static_cast<std::uint32_t>(kMinImageSide))
        {
            AddErrorFile(path);
            return 0;
        }
        type = probe.type;
        width = ToInt(probe.width);
        height = ToInt(probe.height);
        xDpi = UsableResolution(probe.xResolution);
        yDpi = UsableResolution(probe.yResolution);
        profile = std::move(probe.profile);
    }

    m_detectedType = type;
    m_width = width;
    m_height = height;
    m_xResolution = xDpi;
    m_yResolution = yDpi;

    m_iccProfile = std::move(profile);

    m_hasThumbnail = 0;
    m_path = path;
    m_type = m_detectedType;
    if (opened != nullptr)
        *opened = std::move(probed);
    return 1;
}

bool IsDngExtension(std::string_view path)
{
    if (path.size() < 5)
        return false;
    const std::string_view tail = path.substr(path.size() - 4);
    return tail == ".dng" || tail == ".DNG";
}

bool IsConvertibleRawFile(const std::string& path)
{
    if (GetDNGConverterPath().empty())
        return false;
    return IsRawExtension(GetFileExtFromPath(path));
}

CAtLoadFile::CAtLoadFile(std::string path) : m_path(std::move(path))
{
    LoadGuardList& list = GuardList();
    std::lock_guard guard(list.lock);
    list.paths.push_back(m_path);
}

CAtLoadFile::~CAtLoadFile()
{
    LoadGuardList& list = GuardList();
    std::lock_guard guard(list.lock);
    const auto it = std::find(list.paths.begin(), list.paths.end(), m_path);
    if (it != list.paths.end())
        list.paths.erase(it);
}

bool IsLoading(const std::string& path)
{
    LoadGuardList& list = GuardList();
    std::lock_guard guard(list.lock);
    return std::find(list.paths.begin(), list.paths.end(), path) != list.paths.end();
}
