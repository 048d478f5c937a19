#include "core/TempFiles.h"

#include "core/PathUtils.h"
#include "platform/Text.h"

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

namespace {

// The longest file name (one path component) the file systems we run on
// accept, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

std::string FolderOrWorkFolder(const std::string& folder)
{
    return folder.empty() ? GetAppTempFolder() : AddBackslash(folder);
}

} // namespace

platform::File OpenTempFile(std::string_view prefix, std::string& path, std::string_view extension,
                            const std::string& folder)
{
    std::string pattern = FolderOrWorkFolder(folder);
    pattern.append(prefix);
    pattern.append("XXXXXX");
    pattern.append(extension);
    platform::File file;
    if (!file.OpenUnique(pattern, extension.size()))
    {
        path.clear();
        return file;
    }
    path = std::move(pattern);
    return file;
}

bool CreateTempFile(std::string_view prefix, std::string& path, std::string_view extension,
                    const std::string& folder)
{
    return OpenTempFile(prefix, path, extension, folder).IsOpen();
}

CTempFileInfo::~CTempFileInfo()
{
    Close();
}

CTempFileInfo::CTempFileInfo(CTempFileInfo&& other) noexcept
    : m_width(other.m_width), m_height(other.m_height), m_file(std::move(other.m_file)),
      m_path(std::move(other.m_path))
{
    other.m_path.clear();
    other.m_width = 0;
    other.m_height = 0;
}

CTempFileInfo& CTempFileInfo::operator=(CTempFileInfo&& other) noexcept
{
    if (this != &other)
    {
        Close();
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_file = std::move(other.m_file);
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

bool CTempFileInfo::Create(const std::string& folder)
{
    Close();
    std::string path;
    platform::File file = OpenTempFile("PMS", path, ".tmp", folder);
    if (!file.IsOpen())
        return false;
    m_file = std::move(file);
    m_path = std::move(path);
    return true;
}

void CTempFileInfo::Close()
{
    m_file.Close();
    if (!m_path.empty())
    {
        std::remove(m_path.c_str());
        m_path.clear();
    }
    m_width = 0;
    m_height = 0;
}

void DeleteTempFiles(const std::string& folder)
{
    namespace fs = std::filesystem;
    const std::string dir = FolderOrWorkFolder(folder);
    for (const std::string_view ext : kTempFileExtensions)
    {
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        if (ec)
            return;
        std::vector<fs::path> matches;
        for (; it != fs::directory_iterator(); it.increment(ec))
        {
            if (ec)
                break;
            std::error_code typeError;
            if (it->is_directory(typeError))
                continue;
            const std::string name = it->path().filename().string();
            if (platform::EqualsNoCase(GetFileExtFromPath(name), ext))
                matches.push_back(it->path());
        }
        for (const fs::path& match : matches)
            std::remove(match.c_str());
    }
}

bool MakeUniqueFileName(std::string& path)
{
    if (!platform::PathExists(path))
        return true;
    const std::string folder = GetFolderFromPath(path);
    std::string title = GetFileTitleFromPath(path);
    const std::string ext = GetFileExtFromPath(path);

    // "_NNNNN" takes six bytes of the name; the title gives way, never
    // splitting a UTF-8 sequence.
    const std::size_t fixed = 6 + ext.size();
    const std::size_t maxTitle = fixed < kMaxNameBytes ? kMaxNameBytes - fixed : 0;
    if (title.size() > maxTitle)
    {
        std::size_t cut = maxTitle;
        while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80)
            --cut;
        title.resize(cut);
    }

    for (int n = 2; n <= 99999; ++n)
    {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%05d", n);
        std::string candidate = folder + title + suffix + ext;
        if (!platform::PathExists(candidate))
        {
            path = std::move(candidate);
            return true;
        }
    }
    return false;
}
