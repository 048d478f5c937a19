// The program itself, ended by a signal as a session's end, `kill` or
// Ctrl+C ends it: it must end as its close does, without asking anything.

#include "app/shell/MainFrame.h"
#include "core/IniFile.h"
#include "monitor/Display.h"
#include "platform/Registry.h"
#include "tests/app/GradientTiff.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#if defined(QB_CHROMIVEL_BINARY) && defined(QB_SIMULATED_MONITOR_SAMPLE)

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

// A running CHROMIVEL in folders of its own: settings, cache, colour
// directory, runtime folder and home; the sample simulated monitor; no
// display, no desktop bus.
class RunningChromivel
{
public:
    RunningChromivel(const TempDir& dir, bool introduction)
        : m_config(dir.File("config")), m_cache(dir.File("cache"))
    {
        fs::create_directories(dir.File("runtime"));
        fs::permissions(dir.File("runtime"), fs::perms::owner_all);
        fs::create_directories(dir.File("home"));
        fs::create_directories(dir.File("images"));
        fs::create_directories(SettingsPath().parent_path());
        fs::copy_file(QB_SIMULATED_MONITOR_SAMPLE, dir.File("monitor.ini"));
        if (!introduction)
            CIniFile(SettingsPath().string()).SetInt("CqzNewProjectDlg", "SkipInitMsg", 1);
        const std::string image = WriteGradientTiff16(dir.File("images/start.tif"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const auto set = [&environment](const char* name, const std::string& value) {
            environment.insert(QString::fromLatin1(name), QString::fromStdString(value));
        };
        set("XDG_CONFIG_HOME", m_config);
        set("XDG_CACHE_HOME", m_cache);
        set("XDG_DATA_HOME", dir.File("data"));
        set("XDG_RUNTIME_DIR", dir.File("runtime"));
        set("HOME", dir.File("home"));
        set("QUILLBRAKE_SIMULATED_MONITORS", dir.File("monitor.ini"));
        set("QT_QPA_PLATFORM", "offscreen");
        set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.File("no-system-bus"));
        set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.File("no-session-bus"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(QString::fromStdString(dir.File("home")));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The signals' default actions, as a desktop starts the program
        // (whoever runs the tests may have some of them ignored).
        m_process.setChildProcessModifier([] {
            for (const int signal : {SIGINT, SIGTERM, SIGHUP})
                ::signal(signal, SIG_DFL);
        });
        // With an image (large enough for the list to take it), so that the
        // list has changed and a close would ask whether to save it.
        m_process.start(QStringLiteral(QB_CHROMIVEL_BINARY), {QString::fromStdString(image)});
    }

    ~RunningChromivel()
    {
        if (m_process.state() != QProcess::NotRunning)
        {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QProcess& Process() { return m_process; }

    fs::path SettingsPath() const
    {
        return fs::path(m_config) / "Quillbrake/CHROMIVEL/chromivel.ini";
    }
    fs::path CacheFolder() const { return fs::path(m_cache) / "Quillbrake/CHROMIVEL"; }

    std::optional<std::uint32_t> BusyValue() const
    {
        return platform::RegistryStore((fs::path(m_config) / "Quillbrake/registry.ini").string())
            .GetDword(kDdcBusyRegistryKey, kDdcBusyValueName);
    }

    // The files in the cache folder, sub-folders included.
    std::vector<std::string> CacheFiles() const
    {
        std::vector<std::string> files;
        std::error_code error;
        for (fs::recursive_directory_iterator it(CacheFolder(), error), end; !error && it != end;
             it.increment(error))
        {
            if (!it->is_directory())
                files.push_back(it->path().lexically_relative(CacheFolder()).string());
        }
        return files;
    }

    // The main thread waits (in an event loop: the program's own, or a
    // dialog's).
    bool MainThreadSleeps() const
    {
        const std::string pid = std::to_string(m_process.processId());
        std::ifstream stat("/proc/" + pid + "/task/" + pid + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
    }

    // Waits while the program runs until the condition holds; false when
    // the program ended first or never got there.
    bool WaitUntil(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 2400; ++i)
        {
            if (condition())
                return true;
            if (m_process.waitForFinished(50))
                return false;
        }
        return condition();
    }

private:
    std::string m_config;
    std::string m_cache;
    QProcess m_process;
};

bool HasSnapshotFiles(const std::vector<std::string>& files)
{
    for (const std::string& file : files)
    {
        if (file.rfind("PMS", 0) == 0)
            return true;
    }
    return false;
}

} // namespace

// SIGTERM, SIGINT and SIGHUP end CHROMIVEL as its close does, without the
// question about the changed list: the busy value "State" is 1, the cache
// folder is empty, the settings are written and the exit status is 0.
// With the introduction dialog open, the signal closes it and the program
// ends the same way.
TEST(EndOnSignalTest, SignalsEndTheProgramAsItsCloseDoesWithoutQuestions)
{
    struct Case
    {
        int signal;
        bool introduction;
    };
    for (const Case c :
         {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGHUP, false}, Case{SIGTERM, true}})
    {
        SCOPED_TRACE(::testing::Message()
                     << "signal " << c.signal << ", introduction dialog " << c.introduction);
        TempDir dir;
        RunningChromivel program(dir, c.introduction);
        ASSERT_TRUE(program.Process().waitForStarted());

        if (c.introduction)
        {
            // The project's files are there, then the program waits in the
            // introduction dialog (the busy value comes after it).
            ASSERT_TRUE(program.WaitUntil([&program] {
                return HasSnapshotFiles(program.CacheFiles()) && program.MainThreadSleeps();
            }));
        }
        else
        {
            ASSERT_TRUE(program.WaitUntil([&program] {
                return program.BusyValue() == 0u && HasSnapshotFiles(program.CacheFiles());
            })) << "busy value "
                << program.BusyValue().value_or(99) << ", " << program.CacheFiles().size()
                << " files in the cache";
        }

        ASSERT_EQ(::kill(static_cast<pid_t>(program.Process().processId()), c.signal), 0);
        ASSERT_TRUE(program.Process().waitForFinished(120000)) << "the program still runs";
        EXPECT_EQ(program.Process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.Process().exitCode(), 0);

        EXPECT_EQ(program.BusyValue(), 1u);
        EXPECT_EQ(program.CacheFiles(), std::vector<std::string>{});
        const CIniFile settings(program.SettingsPath().string());
        EXPECT_GT(settings.GetInt(kMainFrameSection, "WindowWidth", 0), 0);
    }
}

#endif
