// The display's profile read from the X server, as a colour-management
// tool of an X11 desktop publishes it. The program starts an X server of
// its own (Xvfb, -displayfd picks a free display number and reports it once
// the server accepts clients; -noreset keeps the root window's properties
// when the last client leaves), connects a QGuiApplication to it on the
// xcb platform, and sets the root window's properties through a second
// connection of its own, as another client would. This is a program of its
// own because the other Qt suites run offscreen. When Xvfb cannot start,
// every test is skipped.

#include "app/shell/X11DisplayProfile.h"
#include "core/ColorProfile.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "platform/ColorDirectory.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The X server, the application on it and a client connection of the test.
class XvfbEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        if (!StartServer())
            return;
        setenv("DISPLAY", m_display.c_str(), 1);
        m_client = xcb_connect(m_display.c_str(), nullptr);
        if (xcb_connection_has_error(m_client))
        {
            m_failure = "cannot connect to " + m_display;
            return;
        }
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "test_app_x11";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv);
    }

    // The server stays until the program ends (it is told to go then, see
    // StartServer): the application keeps its connection to the last, and
    // a connection that breaks under it ends the program with an error.
    void TearDown() override
    {
        if (m_client)
            xcb_disconnect(m_client);
        m_client = nullptr;
    }

    bool Running() const { return m_failure.empty(); }
    const std::string& Failure() const { return m_failure; }
    xcb_connection_t* Client() const { return m_client; }

private:
    bool StartServer()
    {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            return Fail("no pipe");
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0)
            return Fail("cannot fork");
        if (pid == 0)
        {
            // The server goes with this program, however it ends (also when
            // the program ended before the request was made).
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
            if (ready[1] == 3)
                fcntl(3, F_SETFD, 0);
            else
                dup2(ready[1], 3); // the copy is not closed on exec
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen",
                   "0", "320x240x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        m_pid = pid;
        close(ready[1]);
        // The display number and a newline, once the server is ready; end of
        // file when it could not start.
        std::string number;
        char c = 0;
        while (read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(ready[0]);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
            return Fail("Xvfb did not start");
        }
        m_display = ":" + number;
        return true;
    }

    bool Fail(const std::string& why)
    {
        m_failure = why;
        return false;
    }

    pid_t m_pid = 0;
    std::string m_display;
    std::string m_failure;
    xcb_connection_t* m_client = nullptr;
};

XvfbEnvironment* const g_x = static_cast<XvfbEnvironment*>(
    testing::AddGlobalTestEnvironment(new XvfbEnvironment));

xcb_atom_t Atom(const std::string& name)
{
    xcb_connection_t* c = g_x->Client();
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

xcb_window_t Root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(g_x->Client())).data->root;
}

// Waits until the server has carried out every request sent so far.
void Sync()
{
    xcb_connection_t* c = g_x->Client();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void SetProperty(const std::string& name, const std::vector<std::uint8_t>& bytes,
                 xcb_atom_t type = XCB_ATOM_CARDINAL, std::uint8_t format = 8)
{
    const std::uint32_t units = static_cast<std::uint32_t>(bytes.size() / (format / 8));
    xcb_change_property(g_x->Client(), XCB_PROP_MODE_REPLACE, Root(), Atom(name), type, format,
                        units, bytes.data());
    Sync();
}

void DeleteProperty(const std::string& name)
{
    xcb_delete_property(g_x->Client(), Root(), Atom(name));
    Sync();
}

std::vector<std::uint8_t> ToBytes(const QByteArray& data)
{
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

class X11DisplayProfileXvfb : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!g_x->Running())
            GTEST_SKIP() << "no X server for the test: " << g_x->Failure();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        m_profile = testsupport::WideGamutProfileBytes();
        ASSERT_FALSE(m_profile.empty());
    }
    void TearDown() override
    {
        if (!g_x->Running())
            return;
        for (const char* name : {"_ICC_PROFILE", "_ICC_PROFILE_1", "_ICC_PROFILE_2"})
            DeleteProperty(name);
        platform::SetDisplayProfileHook(nullptr);
        SetX11DisplayProfileScreen(0);
        FreeMonitorProfile();
    }

    testsupport::PrivateUserFolders m_user;
    std::vector<std::uint8_t> m_profile;
};

TEST_F(X11DisplayProfileXvfb, EachScreenReadsItsOwnProperty)
{
    std::vector<std::uint8_t> second = m_profile;
    second[100] ^= 0xFF; // another profile's bytes, same size
    SetProperty("_ICC_PROFILE", m_profile);
    SetProperty("_ICC_PROFILE_1", second);

    EXPECT_EQ(ToBytes(ReadX11IccProfile(0)), m_profile);
    EXPECT_EQ(ToBytes(ReadX11IccProfile(1)), second);
    EXPECT_TRUE(ReadX11IccProfile(2).isEmpty()) << "no property for screen 2";
    EXPECT_TRUE(ReadX11IccProfile(-1).isEmpty());
}

TEST_F(X11DisplayProfileXvfb, OnlyACardinalPropertyOfBytesCounts)
{
    struct Case
    {
        const char* what;
        xcb_atom_t type;
        std::uint8_t format;
        std::size_t size;
        bool taken;
    };
    const Case cases[] = {
        {"CARDINAL, format 8", XCB_ATOM_CARDINAL, 8, m_profile.size(), true},
        {"STRING", XCB_ATOM_STRING, 8, m_profile.size(), false},
        {"INTEGER", XCB_ATOM_INTEGER, 8, m_profile.size(), false},
        {"CARDINAL, format 32", XCB_ATOM_CARDINAL, 32, m_profile.size() & ~std::size_t{3}, false},
        {"empty", XCB_ATOM_CARDINAL, 8, 0, false},
    };
    for (const Case& c : cases)
    {
        SetProperty("_ICC_PROFILE", {m_profile.begin(), m_profile.begin() + c.size}, c.type,
                    c.format);
        EXPECT_EQ(ReadX11IccProfile(0).isEmpty(), !c.taken) << c.what;
    }
}

TEST_F(X11DisplayProfileXvfb, ALargePropertyIsReadWhole)
{
    // Far more than one reply of a fixed length would carry.
    std::vector<std::uint8_t> large(3u << 20);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    SetProperty("_ICC_PROFILE", large);
    EXPECT_EQ(ToBytes(ReadX11IccProfile(0)), large);
}

TEST_F(X11DisplayProfileXvfb, TheHookGivesTheMainWindowsScreenProfileAfterTheAssociationStore)
{
    InstallX11DisplayProfileHook();
    SetProperty("_ICC_PROFILE", m_profile);
    std::vector<std::uint8_t> second = testsupport::WideGamutProfileBytes();
    second[44] ^= 0x01; // a header flag: the same profile in other bytes
    SetProperty("_ICC_PROFILE_1", second);

    // No association: the hook answers with a copy of the window's screen's
    // profile in the work folder.
    SetX11DisplayProfileScreen(1);
    const std::string path = platform::MonitorProfileName();
    EXPECT_EQ(path, GetAppTempFolder() + "_ICC_PROFILE_1.icc");
    EXPECT_EQ(path.rfind(m_user.File("cache"), 0), 0u) << "not in the private work folder";
    EXPECT_EQ(testsupport::ReadTextFile(path), std::string(second.begin(), second.end()));

    // The monitor profile opens from it.
    ASSERT_TRUE(InitMonitorProfile());
    EXPECT_EQ(GetMonitorProfile()->GetName(), path);

    // The window moved to the first screen; that one changes its profile.
    SetX11DisplayProfileScreen(0);
    EXPECT_EQ(testsupport::ReadTextFile(platform::MonitorProfileName()),
              std::string(m_profile.begin(), m_profile.end()));
    m_profile[44] ^= 0x02;
    SetProperty("_ICC_PROFILE", m_profile);
    EXPECT_EQ(testsupport::ReadTextFile(platform::MonitorProfileName()),
              std::string(m_profile.begin(), m_profile.end()));

    // A profile associated with the display comes first.
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "Studio.icc"));
    EXPECT_EQ(platform::MonitorProfileName(), "Studio.icc");
    ASSERT_TRUE(platform::DisassociateDisplayProfile("", "Studio.icc"));

    // No property, or one that is no ICC profile: the sRGB profile.
    DeleteProperty("_ICC_PROFILE");
    EXPECT_EQ(platform::MonitorProfileName(), platform::kSRGBProfileFileName);
    std::vector<std::uint8_t> notAProfile = m_profile;
    std::memcpy(notAProfile.data() + 36, "xxxx", 4);
    SetProperty("_ICC_PROFILE", notAProfile);
    EXPECT_EQ(platform::MonitorProfileName(), platform::kSRGBProfileFileName);
    std::vector<std::uint8_t> truncated(m_profile.begin(), m_profile.end() - 1);
    SetProperty("_ICC_PROFILE", truncated);
    EXPECT_EQ(platform::MonitorProfileName(), platform::kSRGBProfileFileName)
        << "the header's size is larger than the property";
}

} // namespace
