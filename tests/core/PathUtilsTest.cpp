#include "core/PathUtils.h"

#include "platform/Folders.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

bool IsFolder(const std::string& path)
{
    return std::filesystem::is_directory(path);
}

TEST(PathPartsTest, SplitsFolderNameTitleAndExtension)
{
    struct Case
    {
        const char* path;
        const char* folder;
        const char* name;
        const char* title;
        const char* ext;
    };
    const Case cases[] = {
        {"/home/u/pic.tif", "/home/u/", "pic.tif", "pic", ".tif"},
        {"pic.tif", "", "pic.tif", "pic", ".tif"},
        {"/home/u/dir.x/name", "/home/u/dir.x/", "name", "name", ""},
        {"/home/u/folder/", "/home/u/folder/", "", "", ""},
        {"relative/archive.tar.gz", "relative/", "archive.tar.gz", "archive.tar", ".gz"},
        {"/home/u/.profile", "/home/u/", ".profile", ".profile", ""},
        {"/home/u/.hidden.ini", "/home/u/", ".hidden.ini", ".hidden", ".ini"},
        {"/home/u/name.", "/home/u/", "name.", "name", "."},
        {"/home/u/..", "/home/u/", "..", "..", ""},
        {"/file", "/", "file", "file", ""},
        {"/", "/", "", "", ""},
        {"", "", "", "", ""},
        {"写真.d/夕日.JPG", "写真.d/", "夕日.JPG", "夕日", ".JPG"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetFolderFromPath(c.path), c.folder);
        EXPECT_EQ(GetFileNameFromPath(c.path), c.name);
        EXPECT_EQ(GetFileTitleFromPath(c.path), c.title);
        EXPECT_EQ(GetFileExtFromPath(c.path), c.ext);
    }
}

TEST(PathPartsTest, AddsAndRemovesOneTrailingSeparator)
{
    struct Case
    {
        const char* path;
        const char* added;
        const char* removed;
    };
    const Case cases[] = {
        {"/home/u", "/home/u/", "/home/u"},
        {"/home/u/", "/home/u/", "/home/u"},
        {"/home/u//", "/home/u//", "/home/u/"},
        {"", "", ""},
        {"/", "/", "/"}, // the root keeps its separator
        {"a", "a/", "a"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(AddBackslash(c.path), c.added);
        EXPECT_EQ(RemoveBackslash(c.path), c.removed);
    }
}

TEST(ModulePathTest, NamesTheRunningProgram)
{
    const std::string path = GetModuleFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(GetModuleFolder().back(), '/');
    EXPECT_EQ(GetModuleFolder() + GetFileNameFromPath(path), path);
    EXPECT_EQ(GetModuleTitle(), GetFileTitleFromPath(path));
    EXPECT_EQ(GetMakerName(), "Quillbrake");
}

// Points the per-user trees into a private folder and names the program.
class FoldersTest : public testing::Test
{
protected:
    FoldersTest()
        : m_home("HOME", m_dir.File("home")), m_config("XDG_CONFIG_HOME", m_dir.File("config")),
          m_cache("XDG_CACHE_HOME", m_dir.File("cache"))
    {
        std::filesystem::create_directories(m_dir.File("home"));
        platform::SetApplicationName("CHROMIVEL");
    }
    ~FoldersTest() override { platform::SetApplicationName(""); }

    // user-dirs.dirs naming Desk, Docs and Pics under the home folder.
    void WriteUserDirs()
    {
        std::filesystem::create_directories(m_dir.File("config"));
        WriteTextFile(m_dir.File("config/user-dirs.dirs"),
                      "# written by the test\n"
                      "XDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
                      "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"
                      "XDG_PICTURES_DIR=\"$HOME/Pics\"\n");
    }

    TempDir m_dir;
    ScopedEnv m_home;
    ScopedEnv m_config;
    ScopedEnv m_cache;
};

TEST_F(FoldersTest, PerUserFoldersAreCreatedUnderTheXdgTrees)
{
    ASSERT_FALSE(IsFolder(m_dir.File("config")));
    const std::string data = GetUserDataFolder();
    EXPECT_EQ(data, m_dir.File("config/Quillbrake/CHROMIVEL/"));
    EXPECT_TRUE(IsFolder(data));

    const std::string work = GetAppTempFolder();
    EXPECT_EQ(work, m_dir.File("cache/Quillbrake/CHROMIVEL/"));
    EXPECT_TRUE(IsFolder(work));

    EXPECT_EQ(GetIniFilePath(), data + GetModuleTitle() + ".ini");

    std::string appData;
    ASSERT_TRUE(GetAppDataFolder(appData));
    EXPECT_EQ(appData, m_dir.File("config/"));
}

TEST_F(FoldersTest, UserDirectoriesComeFromUserDirsAndEndWithASeparator)
{
    WriteUserDirs();
    for (const char* name : {"Desk", "Docs", "Pics"})
        std::filesystem::create_directories(m_dir.File("home/") + name);

    std::string folder;
    ASSERT_TRUE(GetDesktopFolder(folder));
    EXPECT_EQ(folder, m_dir.File("home/Desk/"));
    ASSERT_TRUE(GetMyDocumentsFolder(folder));
    EXPECT_EQ(folder, m_dir.File("home/Docs/"));
    ASSERT_TRUE(GetMyPicturesFolder(folder));
    EXPECT_EQ(folder, m_dir.File("home/Pics/"));

    std::filesystem::remove(m_dir.File("home/Pics"));
    folder = "untouched";
    EXPECT_FALSE(GetMyPicturesFolder(folder));
    EXPECT_EQ(folder, "untouched");
}

TEST_F(FoldersTest, DefaultFoldersFallBackInOrder)
{
    struct Case
    {
        bool desk;
        bool docs;
        bool pics;
        const char* documents;
        const char* pictures;
    };
    const Case cases[] = {
        {true, true, true, "home/Docs/", "home/Pics/"},
        {true, true, false, "home/Docs/", "home/Docs/"},
        {true, false, false, "home/Desk/", "home/Desk/"},
        {true, false, true, "home/Desk/", "home/Pics/"},
        {false, false, false, "home/", "home/"}, // nothing known: the home folder
    };
    WriteUserDirs();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.documents) + " " + c.pictures);
        const std::pair<const char*, bool> dirs[] = {
            {"home/Desk", c.desk}, {"home/Docs", c.docs}, {"home/Pics", c.pics}};
        for (const auto& [name, present] : dirs)
        {
            if (present)
                std::filesystem::create_directories(m_dir.File(name));
            else
                std::filesystem::remove(m_dir.File(name));
        }
        EXPECT_EQ(GetDocumentsFolder(), m_dir.File(c.documents));
        EXPECT_EQ(GetPicturesFolder(), m_dir.File(c.pictures));
    }
}

} // namespace
