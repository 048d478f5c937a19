#include "platform/Folders.h"

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace platform;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

bool IsFolder(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(Folders, XdgBaseDirectoriesHonouredWhenAbsolute)
{
    struct Tree
    {
        const char* variable;
        std::function<std::string()> get;
        const char* underHome;
    };
    const Tree trees[] = {
        {"XDG_CONFIG_HOME", ConfigHome, ".config/"},
        {"XDG_CACHE_HOME", CacheHome, ".cache/"},
        {"XDG_DATA_HOME", DataHome, ".local/share/"},
    };
    struct Case
    {
        std::optional<std::string> value; // nullopt: unset
        bool fromHome;                    // else the value with a slash
    };
    const Case cases[] = {
        {"/srv/xdg", false},
        {"/srv/xdg/", false},
        {std::nullopt, true},
        {"", true},
        {"relative/dir", true}, // relative values are ignored
        {"~/conf", true},
    };
    ScopedEnv home("HOME", "/home/tester");
    for (const Tree& tree : trees)
    {
        for (const Case& c : cases)
        {
            std::optional<ScopedEnv> env;
            if (c.value)
                env.emplace(tree.variable, *c.value);
            else
                env.emplace(tree.variable);
            const std::string expected =
                c.fromHome ? std::string("/home/tester/") + tree.underHome : "/srv/xdg/";
            EXPECT_EQ(tree.get(), expected)
                << tree.variable << "=" << c.value.value_or("(unset)");
        }
    }
}

TEST(Folders, HomeFromEnvironmentElsePasswordDatabase)
{
    {
        ScopedEnv home("HOME", "/home/tester");
        EXPECT_EQ(HomeFolder(), "/home/tester/");
    }
    {
        ScopedEnv home("HOME", "/home/tester/");
        EXPECT_EQ(HomeFolder(), "/home/tester/");
    }
    ScopedEnv noHome("HOME");
    const std::string fallback = HomeFolder();
    ASSERT_FALSE(fallback.empty());
    EXPECT_EQ(fallback.front(), '/');
    EXPECT_EQ(fallback.back(), '/');
    EXPECT_EQ(ConfigHome(), fallback + ".config/");
}

// Only an absolute path to an existing folder counts as the run-time
// folder; anything else leaves the choice to the caller.
TEST(Folders, RuntimeHomeOnlyWhenAbsoluteAndPresent)
{
    TempDir dir;
    const std::string folder = dir.Path() + "run";
    std::filesystem::create_directories(folder);
    struct Case
    {
        std::optional<std::string> value; // unset when empty
        std::string expected;
    };
    const Case cases[] = {
        {folder, folder + "/"},
        {folder + "/", folder + "/"},
        {std::string("run"), ""},             // relative
        {dir.Path() + "missing", ""},         // not there
        {dir.Path() + "run/../run", folder + "/../run/"}, // kept as given
        {std::string(""), ""},
        {std::nullopt, ""},
    };
    for (const Case& c : cases)
    {
        std::optional<ScopedEnv> env;
        if (c.value)
            env.emplace("XDG_RUNTIME_DIR", *c.value);
        else
            env.emplace("XDG_RUNTIME_DIR");
        EXPECT_EQ(RuntimeHome(), c.expected) << c.value.value_or("<unset>");
    }
}

class UserDirs : public ::testing::Test
{
protected:
    UserDirs()
        : m_home("HOME", m_dir.Path() + "home"), m_config("XDG_CONFIG_HOME", m_dir.Path() + "config")
    {
        std::filesystem::create_directories(m_dir.Path() + "home/Pictures");
        std::filesystem::create_directories(m_dir.Path() + "home/My \"Photos\"");
        std::filesystem::create_directories(m_dir.Path() + "home/Documents");
        std::filesystem::create_directories(m_dir.Path() + "config");
        std::filesystem::create_directories(m_dir.Path() + "elsewhere/pics");
    }

    void WriteDirs(const std::string& text)
    {
        WriteTextFile(m_dir.Path() + "config/user-dirs.dirs", text);
    }
    std::string Home() const { return m_dir.Path() + "home/"; }
    std::string Root() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    ScopedEnv m_home;
    ScopedEnv m_config;
};

TEST_F(UserDirs, ParsesLikeXdgUserDir)
{
    struct Case
    {
        const char* name;
        std::string file;
        std::string expectedPictures; // relative to HOME unless absolute
    };
    const std::string elsewhere = Root() + "elsewhere/pics";
    const Case cases[] = {
        {"home-relative", "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "Pictures/"},
        {"absolute", "XDG_PICTURES_DIR=\"" + elsewhere + "\"\n", elsewhere + "/"},
        {"escaped quotes", "XDG_PICTURES_DIR=\"$HOME/My \\\"Photos\\\"\"\n", "My \"Photos\"/"},
        {"CR LF and comments",
         "# written by xdg-user-dirs-update\r\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\r\n"
         "XDG_PICTURES_DIR=\"$HOME/Pictures\"\r\n",
         "Pictures/"},
        {"last assignment wins",
         "XDG_PICTURES_DIR=\"$HOME/Documents\"\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n",
         "Pictures/"},
        {"blanks around", "  XDG_PICTURES_DIR = \"$HOME/Pictures\"  \n", "Pictures/"},
        {"disabled ($HOME itself)", "XDG_PICTURES_DIR=\"$HOME\"\n", ""},
        {"disabled ($HOME/)", "XDG_PICTURES_DIR=\"$HOME/\"\n", ""},
        {"folder does not exist", "XDG_PICTURES_DIR=\"$HOME/Gone\"\n", ""},
        {"not configured", "XDG_DESKTOP_DIR=\"$HOME/Pictures\"\n", ""},
        {"relative path ignored", "XDG_PICTURES_DIR=\"Pictures\"\n", ""},
        {"$HOMEX is no $HOME", "XDG_PICTURES_DIR=\"$HOMEX/Pictures\"\n", ""},
        {"unterminated quote", "XDG_PICTURES_DIR=\"$HOME/Pictures\n", ""},
        {"commented out", "#XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", ""},
    };
    for (const Case& c : cases)
    {
        WriteDirs(c.file);
        std::string expected = c.expectedPictures;
        if (!expected.empty() && expected.front() != '/')
            expected = Home() + expected;
        EXPECT_EQ(UserDirectory(UserDir::Pictures), expected) << c.name;
    }
}

TEST_F(UserDirs, EachDirectoryReadsItsOwnEntry)
{
    WriteDirs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n"
              "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
    EXPECT_EQ(UserDirectory(UserDir::Desktop), ""); // no such folder
    EXPECT_EQ(UserDirectory(UserDir::Documents), Home() + "Documents/");
    EXPECT_EQ(UserDirectory(UserDir::Pictures), Home() + "Pictures/");
}

TEST_F(UserDirs, MissingFileMeansNotConfigured)
{
    EXPECT_EQ(UserDirectory(UserDir::Pictures), "");
}

TEST(Folders, ExecutableAndProgramData)
{
    const std::string exe = ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.front(), '/');
    EXPECT_TRUE(std::filesystem::is_regular_file(exe));

    const std::string folder = ExecutableFolder();
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(exe.rfind(folder, 0), 0u);
    EXPECT_EQ(exe.find('/', folder.size()), std::string::npos);

    const std::string data = ProgramDataFolder();
    EXPECT_TRUE(data.ends_with("/share/chromivel/")) << data;
    EXPECT_EQ(data.find("/../"), std::string::npos) << data;
    EXPECT_EQ(data.find("/./"), std::string::npos) << data;
    // <prefix>/bin/ pairs with <prefix>/share/chromivel/.
    const std::string prefix = std::filesystem::path(folder).parent_path().parent_path().string();
    EXPECT_EQ(data, (prefix == "/" ? "" : prefix) + "/share/chromivel/");
}

TEST(Folders, ApplicationNameDefaultsToFileTitleAndIsThreadSafe)
{
    SetApplicationName("");
    const std::string exe = ExecutablePath();
    std::string title = exe.substr(exe.rfind('/') + 1);
    if (const std::size_t dot = title.rfind('.'); dot != std::string::npos && dot > 0)
        title.resize(dot);
    EXPECT_EQ(ApplicationName(), title);

    const std::set<std::string> names = {"CHROMIVEL", "ZEPH with a name too long for SSO storage"};
    SetApplicationName("CHROMIVEL");
    std::vector<std::thread> threads;
    std::atomic<int> foreign{0};
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < 500; ++i)
                {
                    if (t % 2 == 0)
                        SetApplicationName(*std::next(names.begin(), (i + t / 2) % 2));
                    else if (names.count(ApplicationName()) == 0)
                        ++foreign;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(foreign, 0);
    SetApplicationName("CHROMIVEL");
    EXPECT_EQ(ApplicationName(), "CHROMIVEL");
    SetApplicationName("");
    EXPECT_EQ(ApplicationName(), title);
}

TEST(Folders, EnsureFolderCreatesMissingLevelsPrivately)
{
    TempDir dir;
    const std::string deep = dir.Path() + "a/b/c/";
    ASSERT_TRUE(EnsureFolder(deep));
    EXPECT_TRUE(IsFolder(deep));
    for (const char* level : {"a", "a/b", "a/b/c"})
    {
        struct stat info{};
        ASSERT_EQ(::stat((dir.Path() + level).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << level;
    }
    EXPECT_TRUE(EnsureFolder(deep));                       // already there
    EXPECT_TRUE(EnsureFolder(dir.Path() + "a//b/d"));      // doubled slash, no trailing one
    EXPECT_TRUE(IsFolder(dir.Path() + "a/b/d"));

    WriteTextFile(dir.Path() + "file", "x");
    EXPECT_FALSE(EnsureFolder(dir.Path() + "file"));
    EXPECT_FALSE(EnsureFolder(dir.Path() + "file/below/"));
    EXPECT_FALSE(EnsureFolder(""));
}

TEST(Folders, EnsureFolderRacesWithItself)
{
    TempDir dir;
    const std::string deep = dir.Path() + "x/y/z/w/";
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&]
            {
                if (!EnsureFolder(deep))
                    ++failures;
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(IsFolder(deep));
}

} // namespace
