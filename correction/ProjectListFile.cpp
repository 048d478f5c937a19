// The project's list-file commands: saving the image list, and opening a
// list file, which starts a new project with the profiles given.

#include "correction/ProjectManage.h"

#include "core/ErrorRecord.h"

#include <cerrno>

bool CProjectManage::SaveListFile(const std::string& path)
{
    // The list is written to a temporary file beside the target and renamed
    // over it, so a failed save leaves the old list file as it was.
    if (!WriteFile(path))
    {
        ShowLastErrorBox(errno);
        return false;
    }
    SetModified(false);
    return true;
}

bool CProjectManage::OpenListFile(const std::string& path, const CColorProfile* monitor,
                                  const CColorProfile* working, const CColorProfile* input)
{
    UnloadProject();
    SetListChanged(false);
    SetModified(false);
    if (monitor == nullptr || working == nullptr || input == nullptr)
        return false;
    if (!SetProjectProfiles(monitor, working, input))
        return false;
    ReadFile(path, GetLUTNames());
    if (m_imageView != nullptr)
        m_imageView->UpdateImage(true);
    return true;
}
