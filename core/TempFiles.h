#pragma once
// Temporary files of the work folder (GetAppTempFolder, a per-user cache
// folder) and free file names beside existing ones.
//
// Every temporary file the program makes is named <prefix><random><ext>
// with a three-letter prefix that tells who made it ("PMS" snapshots and
// settings files, "IFI" images, "THM" thumbnails) and one of the
// extensions ".tmp", ".rgb", ".thm" or ".raw", so that the start-up
// clean-up (DeleteTempFiles) finds whatever an earlier run left behind.

#include "platform/File.h"

#include <string>
#include <string_view>

// The extensions whose files DeleteTempFiles removes, in the order it
// removes them.
inline constexpr std::string_view kTempFileExtensions[] = {".tmp", ".rgb", ".thm", ".raw"};

// Creates a new, empty file <folder><prefix><6 random characters><extension>
// (mode 0600, never replacing an existing file) and returns it open for
// reading and writing, with its path in `path`. An empty folder means the
// work folder. A file not open (path emptied) when none could be made.
platform::File OpenTempFile(std::string_view prefix, std::string& path,
                            std::string_view extension = ".tmp",
                            const std::string& folder = std::string());
// The same, closing the file again: only the (empty) file and its name are
// wanted. False when no file could be made.
bool CreateTempFile(std::string_view prefix, std::string& path, std::string_view extension = ".tmp",
                    const std::string& folder = std::string());

// One snapshot file of the project: a temporary file "PMS*.tmp" in the work
// folder, open for reading and writing for as long as the record lives,
// and the size of the image last stored in it. The record owns the file:
// Close (and the destructor) closes it and removes it from disk.
class CTempFileInfo
{
public:
    CTempFileInfo() = default;
    virtual ~CTempFileInfo();
    CTempFileInfo(const CTempFileInfo&) = delete;
    CTempFileInfo& operator=(const CTempFileInfo&) = delete;
    CTempFileInfo(CTempFileInfo&& other) noexcept;
    CTempFileInfo& operator=(CTempFileInfo&& other) noexcept;

    // Makes and opens a new file (closing any held one first). An empty
    // folder means the work folder.
    bool Create(const std::string& folder = std::string());
    // Closes the file and removes it; width and height become 0.
    void Close();

    bool IsOpen() const { return m_file.IsOpen(); }
    platform::File& GetFile() { return m_file; }
    const std::string& GetPath() const { return m_path; }

    int m_width = 0;
    int m_height = 0;

private:
    platform::File m_file;
    std::string m_path;
};

// Start-up clean-up: removes every "*.tmp", "*.rgb", "*.thm" and "*.raw"
// file of the folder (the work folder when empty), in that order of
// patterns. Sub-folders and other files are left alone; failures are
// ignored.
void DeleteTempFiles(const std::string& folder = std::string());

// When something exists at the path, replaces the path by the first free
// name folder/title_NNNNN.ext for NNNNN = 00002 .. 99999 ("photo.tif" gives
// "photo_00002.tif", then "photo_00003.tif"). A title too long for a file
// name with the suffix (255 bytes) is cut, at a UTF-8 character boundary.
// A free path, or all 99998 names taken, leaves the path unchanged. True
// when the path is free afterwards; false when every name was taken, so
// that a writer never replaces an existing file by mistake.
bool MakeUniqueFileName(std::string& path);
