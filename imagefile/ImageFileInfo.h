#pragma once
// One entry of the image list: the file's path and detected type, its
// pixel size and resolution, its embedded ICC profile, the colour
// description of a DNG, its number and batch mark in the list file, the
// LUT chosen for it, and the outcome of its last load. ReadInfo decides
// whether a file may enter the list at all.
//
// Also the load guard: CAtLoadFile registers a path as being loaded for
// its lifetime, so that the file list can tell that an entry is busy.
// Paths compare byte for byte (case-sensitively), extensions ignoring case.

#include "core/ImageFileProbe.h"
#include "imagefile/DNGTranspose.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Outcome of the last load (m_state).
inline constexpr int kLoadStateOther = 0;     // any other failure
inline constexpr int kLoadStateNoInfo = 1;    // reading the file's information failed
inline constexpr int kLoadStateNoMemory = 2;  // the working image could not be allocated
inline constexpr int kLoadStateConverter = 3; // the outside converter ended with an error
inline constexpr int kLoadStateDone = 4;      // loaded

// The resolution a record gets when its file names none (and for a DNG or
// camera RAW file).
inline constexpr float kDefaultResolution = 240.0f;

class CImageFileInfo
{
public:
    CImageFileInfo();
    CImageFileInfo(const CImageFileInfo& other);
    CImageFileInfo& operator=(const CImageFileInfo& other);
    virtual ~CImageFileInfo();

    // Back to an empty record; number, check and LUT name are kept.
    void Reset();

    // Fills the record from the file: 1 when it may enter the list, 0
    // otherwise. Only ".jpg", ".jpeg", ".tif" and ".tiff" (any case) pass;
    // a refused file that exists (and is not a folder) goes into the error
    // record. The path stays empty after a refused probe, and is kept after
    // a refused DNG. A file smaller than 50 pixels a side is refused.
    int ReadInfo(const std::string& path);
    // The same, and for an accepted JPEG or TIFF the file is left open in
    // opened for the load that follows (see ProbedImageFile).
    int ReadInfo(const std::string& path, ProbedImageFile* opened);

    int m_number = 0; // "ImageFile%05d_No" of the list file
    int m_check = 1;  // marked for the batch ("ImageFile%05d_Check")
    std::string m_path;
    ImageFileType m_type = kImageFileTiff16;         // type LoadImage reads by
    ImageFileType m_detectedType = kImageFileTiff16; // type ReadInfo found
    int m_width = 0;
    int m_height = 0;
    float m_xResolution = 0.0f; // dots per inch
    float m_yResolution = 0.0f;
    std::array<int, 5> m_spare = {1, 0, 0, 0, 0}; // reset and copied only
    int m_hasThumbnail = 0; // the thumbnail cache holds a thumbnail for the path
    std::unique_ptr<CDNGTranspose> m_transform; // a DNG's colour description
    std::vector<std::uint8_t> m_iccProfile;     // embedded ICC profile
    int m_jpegQuality = 2;                      // JPEG quality level 0..4 for saving
    int m_error = 0;                            // 1: the last load failed and was not cancelled
    int m_state = kLoadStateDone;
    std::string m_lutName; // "ImageFile%05d_Lut"
};

// True when the path ends in ".dng" or ".DNG" (exactly these spellings)
// and has at least 5 characters.
bool IsDngExtension(std::string_view path);

// True when an outside converter is set (GetDNGConverterPath not empty) and
// the path's extension is a camera-RAW one (IsRawExtension).
bool IsConvertibleRawFile(const std::string& path);

// Registers the path as being loaded for the guard's lifetime. A path
// loaded twice at once is registered twice and removed once per guard.
class CAtLoadFile
{
public:
    explicit CAtLoadFile(std::string path);
    virtual ~CAtLoadFile();
    CAtLoadFile(const CAtLoadFile&) = delete;
    CAtLoadFile& operator=(const CAtLoadFile&) = delete;

private:
    std::string m_path;
};

// True while a CAtLoadFile for exactly this path lives.
bool IsLoading(const std::string& path);
