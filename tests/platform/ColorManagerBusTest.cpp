// The desktop's colour manager side of a display association: a private
// message bus stands in for the system bus (DBUS_SYSTEM_BUS_ADDRESS), and a
// fake colord registered on it records what the program asks of it. With no
// bus, or no colord on it, the association store alone holds.

#include "platform/ColorManagerBus.h"

#include "platform/ColorDirectory.h"

#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <gtest/gtest.h>

#include <dbus/dbus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <signal.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using testsupport::PrivateUserFolders;
using testsupport::ScopedEnv;

namespace {

constexpr const char* kDevice = "MONITOR\\QBX1234\\card0-DP-1";
constexpr const char* kDevicePath = "/org/freedesktop/ColorManager/devices/xrandr_DP_1";

// A message bus of the test's own, started as a session bus and stopped
// with the fixture.
class PrivateBus
{
public:
    PrivateBus()
    {
        std::FILE* out =
            ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
        if (!out)
            return;
        char line[512];
        if (std::fgets(line, sizeof line, out))
            m_address = Chomp(line);
        if (std::fgets(line, sizeof line, out))
            m_pid = std::atoi(line);
        ::pclose(out);
    }
    ~PrivateBus()
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return m_pid > 0 && !m_address.empty(); }
    const std::string& Address() const { return m_address; }

private:
    static std::string Chomp(std::string s)
    {
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }

    std::string m_address;
    int m_pid = 0;
};

// org.freedesktop.ColorManager as far as the program uses it: one display
// device with XRANDR_name "DP-1", profiles created on request and found by
// file name, AddProfile (refused for a profile the device has) and
// MakeProfileDefault. Every call is recorded as one line of text.
class FakeColord
{
public:
    explicit FakeColord(const std::string& address)
    {
        dbus_threads_init_default();
        DBusError error;
        dbus_error_init(&error);
        m_connection = dbus_connection_open_private(address.c_str(), &error);
        if (m_connection && dbus_bus_register(m_connection, &error) &&
            dbus_bus_request_name(m_connection, "org.freedesktop.ColorManager",
                                  DBUS_NAME_FLAG_DO_NOT_QUEUE,
                                  &error) == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
        {
            m_thread = std::thread([this] { Serve(); });
        }
        dbus_error_free(&error);
    }
    ~FakeColord()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_connection)
        {
            dbus_connection_close(m_connection);
            dbus_connection_unref(m_connection);
        }
    }
    FakeColord(const FakeColord&) = delete;
    FakeColord& operator=(const FakeColord&) = delete;

    bool Serving() const { return m_thread.joinable(); }

    // A signal from colord's name, as colord sends when a device or a
    // profile changes.
    void Emit(const char* path, const char* interface, const char* member)
    {
        DBusMessage* signal = dbus_message_new_signal(path, interface, member);
        dbus_connection_send(m_connection, signal, nullptr);
        dbus_connection_flush(m_connection);
        dbus_message_unref(signal);
    }

    std::vector<std::string> TakeCalls()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_calls, {});
    }
    std::vector<std::string> DeviceProfiles()
    {
        std::lock_guard lock(m_mutex);
        return m_deviceProfiles;
    }
    // A profile object listed for the file that does not answer, as colord
    // keeps after failing to make one.
    void AddHalfMade(const std::string& file, const std::string& object)
    {
        std::lock_guard lock(m_mutex);
        m_profilesByFile[file] = object;
        m_halfMade.push_back(object);
    }
    // colord's answer to every later CreateProfileWithFd.
    void RefuseCreate(std::string name, std::string text)
    {
        std::lock_guard lock(m_mutex);
        m_refusal = {std::move(name), std::move(text)};
    }

    std::string DefaultProfile()
    {
        std::lock_guard lock(m_mutex);
        return m_deviceProfiles.empty() ? std::string() : m_deviceProfiles.front();
    }

private:
    void Serve()
    {
        while (!m_stop && dbus_connection_read_write(m_connection, 20))
        {
            while (DBusMessage* message = dbus_connection_pop_message(m_connection))
            {
                if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL)
                    Answer(message);
                dbus_message_unref(message);
            }
        }
    }

    // The string and object-path arguments, and the a{ss} entries as
    // "key=value", in order.
    static std::vector<std::string> Arguments(DBusMessage* message)
    {
        std::vector<std::string> args;
        DBusMessageIter iter;
        if (!dbus_message_iter_init(message, &iter))
            return args;
        do
        {
            const int type = dbus_message_iter_get_arg_type(&iter);
            if (type == DBUS_TYPE_UNIX_FD)
            {
                // The profile's bytes arrive through the descriptor.
                int fd = -1;
                dbus_message_iter_get_basic(&iter, &fd);
                char header[40] = {};
                const bool read = fd >= 0 && ::pread(fd, header, sizeof header, 0) == 40;
                args.push_back(read && std::string(header + 36, 4) == "acsp" ? "fd:icc" : "fd:?");
                if (fd >= 0)
                    ::close(fd);
            }
            else if (type == DBUS_TYPE_STRING || type == DBUS_TYPE_OBJECT_PATH)
            {
                const char* value = nullptr;
                dbus_message_iter_get_basic(&iter, &value);
                args.emplace_back(value);
            }
            else if (type == DBUS_TYPE_ARRAY)
            {
                DBusMessageIter dict;
                dbus_message_iter_recurse(&iter, &dict);
                while (dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY)
                {
                    DBusMessageIter entry;
                    dbus_message_iter_recurse(&dict, &entry);
                    const char* key = nullptr;
                    const char* value = nullptr;
                    dbus_message_iter_get_basic(&entry, &key);
                    dbus_message_iter_next(&entry);
                    dbus_message_iter_get_basic(&entry, &value);
                    args.push_back(std::string(key) + "=" + value);
                    dbus_message_iter_next(&dict);
                }
            }
        } while (dbus_message_iter_next(&iter));
        return args;
    }

    void Reply(DBusMessage* call, const std::string* objectPath)
    {
        DBusMessage* reply = dbus_message_new_method_return(call);
        if (objectPath)
        {
            const char* value = objectPath->c_str();
            dbus_message_append_args(reply, DBUS_TYPE_OBJECT_PATH, &value, DBUS_TYPE_INVALID);
        }
        dbus_connection_send(m_connection, reply, nullptr);
        dbus_message_unref(reply);
    }

    // A Properties.Get reply: a string, or an array of object paths.
    void ReplyVariant(DBusMessage* call, const std::string* text,
                      const std::vector<std::string>* objects)
    {
        DBusMessage* reply = dbus_message_new_method_return(call);
        DBusMessageIter iter;
        DBusMessageIter variant;
        dbus_message_iter_init_append(reply, &iter);
        dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, text ? "s" : "ao", &variant);
        if (text)
        {
            const char* value = text->c_str();
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &value);
        }
        else
        {
            DBusMessageIter array;
            dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "o", &array);
            for (const std::string& o : *objects)
            {
                const char* value = o.c_str();
                dbus_message_iter_append_basic(&array, DBUS_TYPE_OBJECT_PATH, &value);
            }
            dbus_message_iter_close_container(&variant, &array);
        }
        dbus_message_iter_close_container(&iter, &variant);
        dbus_connection_send(m_connection, reply, nullptr);
        dbus_message_unref(reply);
    }

    void Fail(DBusMessage* call, const char* name, const char* text = "refused by the fake")
    {
        DBusMessage* reply = dbus_message_new_error(call, name, text);
        dbus_connection_send(m_connection, reply, nullptr);
        dbus_message_unref(reply);
    }

    void Answer(DBusMessage* call)
    {
        const std::string member = dbus_message_get_member(call);
        const std::string path = dbus_message_get_path(call);
        const std::vector<std::string> args = Arguments(call);
        std::lock_guard lock(m_mutex);
        std::string line = member + " " + path;
        for (const std::string& a : args)
            line += " " + a;
        m_calls.push_back(line);

        if (member == "FindDeviceByProperty" && args.size() == 2 && args[0] == "XRANDR_name" &&
            args[1] == "DP-1")
        {
            const std::string device = kDevicePath;
            Reply(call, &device);
        }
        else if (member == "FindDeviceByProperty")
            Fail(call, "org.freedesktop.ColorManager.NotFound");
        else if (member == "FindProfileByFilename" && args.size() == 1 &&
                 m_profilesByFile.count(args[0]))
            Reply(call, &m_profilesByFile[args[0]]);
        else if (member == "FindProfileByFilename")
            Fail(call, "org.freedesktop.ColorManager.NotFound");
        else if (member == "CreateProfileWithFd" && !m_refusal.first.empty())
            Fail(call, m_refusal.first.c_str(), m_refusal.second.c_str());
        else if (member == "CreateProfileWithFd" && args.size() == 4 &&
                 args[3].rfind("Filename=", 0) == 0)
        {
            const std::string object =
                "/org/freedesktop/ColorManager/profiles/p" + std::to_string(m_created++);
            m_profilesByFile[args[3].substr(9)] = object;
            Reply(call, &object);
        }
        else if (member == "DeleteProfile" && args.size() == 1)
        {
            std::erase_if(m_profilesByFile, [&](const auto& p) { return p.second == args[0]; });
            std::erase(m_halfMade, args[0]);
            Reply(call, nullptr);
        }
        else if (member == "Get" && args.size() == 2 && args[1] == "Filename")
        {
            // A half-made profile has no interfaces at all.
            for (const auto& [file, object] : m_profilesByFile)
                if (object == path && std::find(m_halfMade.begin(), m_halfMade.end(), path) ==
                                          m_halfMade.end())
                    return ReplyVariant(call, &file, nullptr);
            Fail(call, DBUS_ERROR_UNKNOWN_METHOD, "Object does not exist at path");
        }
        else if (member == "Get" && path == kDevicePath && args.size() == 2 &&
                 args[1] == "Profiles")
            ReplyVariant(call, nullptr, &m_deviceProfiles);
        else if (member == "AddProfile" && path == kDevicePath && args.size() == 2)
        {
            if (std::find(m_deviceProfiles.begin(), m_deviceProfiles.end(), args[1]) !=
                m_deviceProfiles.end())
                return Fail(call, "org.freedesktop.ColorManager.Device.ProfileAlreadyAdded");
            m_deviceProfiles.push_back(args[1]);
            Reply(call, nullptr);
        }
        else if (member == "RemoveProfile" && path == kDevicePath && args.size() == 1)
        {
            if (std::find(m_deviceProfiles.begin(), m_deviceProfiles.end(), args[0]) ==
                m_deviceProfiles.end())
                return Fail(call, "org.freedesktop.ColorManager.Device.ProfileDoesNotExist");
            std::erase(m_deviceProfiles, args[0]);
            Reply(call, nullptr);
        }
        else if (member == "MakeProfileDefault" && path == kDevicePath && args.size() == 1)
        {
            std::erase(m_deviceProfiles, args[0]);
            m_deviceProfiles.insert(m_deviceProfiles.begin(), args[0]);
            Reply(call, nullptr);
        }
        else
            Fail(call, DBUS_ERROR_UNKNOWN_METHOD);
    }

    DBusConnection* m_connection = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::map<std::string, std::string> m_profilesByFile;
    std::vector<std::string> m_deviceProfiles;
    std::vector<std::string> m_halfMade;
    std::pair<std::string, std::string> m_refusal;
    int m_created = 0;
};

TEST(ColorManagerBus, OutputNameOfTheDisplay)
{
    const struct
    {
        const char* deviceId;
        const char* output;
    } cases[] = {
        {"MONITOR\\QBX1234\\card0-DP-1", "DP-1"},
        {"MONITOR\\QBX1234\\card12-HDMI-A-2", "HDMI-A-2"},
        {"MONITOR\\QBX1234\\SIM-1", "SIM-1"},
        {"MONITOR\\QBX1234\\cardinal-1", "cardinal-1"}, // not a DRM card prefix
        {"MONITOR\\QBX1234\\card-1", "card-1"},
        {"", ""},
        {"no connector", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::OutputNameOfDevice(c.deviceId), c.output) << c.deviceId;
}

TEST(ColorManagerBus, WithoutABusTheStoreAloneHolds)
{
    PrivateUserFolders folders;
    ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + folders.File("no-bus-here"));
    EXPECT_EQ(platform::MakeColorManagerDefault(kDevice, folders.File("data/icc/New.icm")),
              platform::ColorManagerOutcome::NoBus);
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "New.icm"));
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "New.icm");
}

class ColorManagerBusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!bus.Running())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        systemBus.emplace("DBUS_SYSTEM_BUS_ADDRESS", bus.Address());
    }

    // A profile in the colour directory; its full path.
    std::string WriteProfile(const std::string& name)
    {
        std::string folder;
        EXPECT_TRUE(platform::ColorDirectory(folder));
        testsupport::WriteBinaryFile(folder + name, testsupport::P3LikeProfileBytes());
        return folder + name;
    }

    PrivateUserFolders folders;
    PrivateBus bus;
    std::optional<ScopedEnv> systemBus;
};

TEST_F(ColorManagerBusTest, WithoutColordTheStoreAloneHolds)
{
    EXPECT_EQ(platform::MakeColorManagerDefault(kDevice, folders.File("data/icc/New.icm")),
              platform::ColorManagerOutcome::NoColorManager);
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "New.icm"));
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "New.icm");
}

TEST_F(ColorManagerBusTest, AssociatedProfileBecomesTheDevicesDefault)
{
    FakeColord colord(bus.Address());
    ASSERT_TRUE(colord.Serving());
    const std::string icc = folders.File("data/icc/");
    const std::string manager = "/org/freedesktop/ColorManager";
    const std::string device = kDevicePath;
    WriteProfile("First.icm");
    WriteProfile("Second.icm");

    // A profile colord does not know yet is handed over as an open file,
    // added to the output's device and made its default.
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "First.icm"));
    EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), "First.icm");
    const std::string first = "/org/freedesktop/ColorManager/profiles/p0";
    EXPECT_EQ(colord.TakeCalls(),
              (std::vector<std::string>{
                  "FindDeviceByProperty " + manager + " XRANDR_name DP-1",
                  "FindProfileByFilename " + manager + " " + icc + "First.icm",
                  "CreateProfileWithFd " + manager + " chromivel-First.icm normal fd:icc Filename=" +
                      icc + "First.icm",
                  "AddProfile " + device + " hard " + first,
                  "MakeProfileDefault " + device + " " + first,
              }));

    // A second profile, then the first again: colord knows its file (and
    // the object answers), the device has it already ("already added"),
    // and it becomes the default once more.
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Second.icm"));
    const std::string second = "/org/freedesktop/ColorManager/profiles/p1";
    EXPECT_EQ(colord.DefaultProfile(), second);
    EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), icc + "Second.icm");
    colord.TakeCalls();
    EXPECT_EQ(platform::MakeColorManagerDefault(kDevice, icc + "First.icm"),
              platform::ColorManagerOutcome::Done);
    EXPECT_EQ(colord.TakeCalls(),
              (std::vector<std::string>{
                  "FindDeviceByProperty " + manager + " XRANDR_name DP-1",
                  "FindProfileByFilename " + manager + " " + icc + "First.icm",
                  "Get " + first + " org.freedesktop.ColorManager.Profile Filename",
                  "AddProfile " + device + " hard " + first,
                  "MakeProfileDefault " + device + " " + first,
              }));
    EXPECT_EQ(colord.DeviceProfiles(), (std::vector<std::string>{first, second}));
    EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), icc + "First.icm");

    // Taking a profile off the display takes it off the device.
    ASSERT_TRUE(platform::DisassociateDisplayProfile(kDevice, "Second.icm"));
    EXPECT_EQ(colord.DeviceProfiles(), std::vector<std::string>{first});
    EXPECT_EQ(platform::DisplayProfiles(kDevice), std::vector<std::string>{"First.icm"});
    // One the device does not hold is off already.
    ASSERT_TRUE(platform::DisassociateDisplayProfile(kDevice, "Second.icm"));
}

// A profile object colord lists for the file but that does not answer (one
// it failed to make) is deleted and the profile made anew: the device's
// default is never an object that does not exist.
TEST_F(ColorManagerBusTest, AHalfMadeProfileObjectIsMadeAnew)
{
    FakeColord colord(bus.Address());
    ASSERT_TRUE(colord.Serving());
    const std::string path = WriteProfile("New.icm");
    const std::string stale = "/org/freedesktop/ColorManager/profiles/stale";
    colord.AddHalfMade(path, stale);
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "New.icm"));
    EXPECT_EQ(colord.DeviceProfiles(),
              std::vector<std::string>{"/org/freedesktop/ColorManager/profiles/p0"});
    const std::vector<std::string> calls = colord.TakeCalls();
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        "DeleteProfile /org/freedesktop/ColorManager " + stale),
              calls.end());
    EXPECT_EQ(platform::ColorManagerDefaultProfile(kDevice), path);
}

// colord refusing the profile fails the association and leaves the store
// as it was; colord refusing the caller for want of authority (no polkit,
// or polkit saying no) leaves the association to the store.
TEST_F(ColorManagerBusTest, RefusalsReachTheCaller)
{
    const struct
    {
        const char* error;
        const char* text;
        platform::ColorManagerOutcome outcome;
        bool associated;
    } cases[] = {
        {"org.freedesktop.ColorManager.Profile.FailedToRead",
         "failed to load file: Error opening file: Permission denied",
         platform::ColorManagerOutcome::Failed, false},
        {"org.freedesktop.ColorManager.Profile.FailedToParse", "not an ICC profile",
         platform::ColorManagerOutcome::Failed, false},
        {"org.freedesktop.ColorManager.FailedToAuthenticate",
         "failed to obtain auth: The name org.freedesktop.PolicyKit1 was not provided by any "
         ".service files",
         platform::ColorManagerOutcome::NotAuthorized, true},
        {"org.freedesktop.ColorManager.FailedToAuthenticate", "Not authorized",
         platform::ColorManagerOutcome::NotAuthorized, true},
    };
    FakeColord colord(bus.Address());
    ASSERT_TRUE(colord.Serving());
    int n = 0;
    for (const auto& c : cases)
    {
        const std::string old = "Old" + std::to_string(n) + ".icm";
        const std::string next = "New" + std::to_string(n++) + ".icm";
        WriteProfile(old);
        WriteProfile(next);
        colord.RefuseCreate("", "");
        ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, old));
        const std::string before = colord.DefaultProfile();
        colord.RefuseCreate(c.error, c.text);
        platform::ColorManagerReport report;
        EXPECT_EQ(platform::AssociateDisplayProfile(kDevice, next, &report), c.associated)
            << c.error;
        EXPECT_EQ(report.outcome, c.outcome) << c.error;
        EXPECT_NE(report.detail.find(c.text), std::string::npos) << report.detail;
        EXPECT_EQ(platform::DefaultDisplayProfile(kDevice), c.associated ? next : old) << c.error;
        EXPECT_EQ(colord.DefaultProfile(), before) << c.error;
    }

    // A file that cannot be read is no profile for colord either.
    colord.RefuseCreate("", "");
    const std::vector<std::string> before = platform::DisplayProfiles(kDevice);
    platform::ColorManagerReport report;
    EXPECT_FALSE(platform::AssociateDisplayProfile(kDevice, "Missing.icm", &report));
    EXPECT_EQ(report.outcome, platform::ColorManagerOutcome::Failed);
    EXPECT_NE(report.detail.find("Missing.icm"), std::string::npos) << report.detail;
    EXPECT_EQ(platform::DisplayProfiles(kDevice), before);
}

TEST_F(ColorManagerBusTest, AnOutputColordDoesNotKnowLeavesTheStoreAlone)
{
    FakeColord colord(bus.Address());
    ASSERT_TRUE(colord.Serving());
    const std::string other = "MONITOR\\QBX1234\\card0-HDMI-A-2";
    EXPECT_EQ(platform::MakeColorManagerDefault(other, folders.File("data/icc/New.icm")),
              platform::ColorManagerOutcome::NoDevice);
    ASSERT_TRUE(platform::AssociateDisplayProfile(other, "New.icm"));
    EXPECT_EQ(platform::DefaultDisplayProfile(other), "New.icm");
    // Only the device was looked for; nothing was created or added.
    for (const std::string& call : colord.TakeCalls())
        EXPECT_EQ(call.rfind("FindDeviceByProperty", 0), 0u) << call;
    EXPECT_TRUE(colord.DeviceProfiles().empty());

    // The default display (empty ID) names no output: colord is not asked.
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "New.icm"));
    EXPECT_TRUE(colord.TakeCalls().empty());
}

// For a program that asks colord first, colord's default profile of the
// display's output comes before the association store, as long as its file
// is a readable RGB display profile; the store's names follow, none twice.
TEST_F(ColorManagerBusTest, ColordsDefaultComesFirstWhenItsFileCanBeUsed)
{
    FakeColord colord(bus.Address());
    ASSERT_TRUE(colord.Serving());
    struct LookupGuard
    {
        LookupGuard() { platform::SetColorManagerLookup(true); }
        ~LookupGuard() { platform::SetColorManagerLookup(false); }
    } lookup;
    WriteProfile("Ours.icm");
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Ours.icm"));
    EXPECT_EQ(platform::DisplayProfileSources(kDevice),
              std::vector<std::string>{platform::ResolveProfilePath("Ours.icm")});

    // The desktop's choice, made in colord only.
    const std::string desktops = folders.File("desktop.icc");
    const std::vector<std::uint8_t> good = testsupport::P3LikeProfileBytes();
    std::vector<std::uint8_t> lab = good;
    std::copy_n("Lab ", 4, lab.begin() + 16); // not an RGB profile
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + 200); // shorter than it says
    ASSERT_EQ(platform::MakeColorManagerDefault(kDevice, desktops),
              platform::ColorManagerOutcome::Failed); // no file yet
    testsupport::WriteBinaryFile(desktops, good);
    ASSERT_EQ(platform::MakeColorManagerDefault(kDevice, desktops),
              platform::ColorManagerOutcome::Done);
    const struct
    {
        const char* what;
        std::optional<std::vector<std::uint8_t>> bytes; // nothing: no file
        bool used;
    } cases[] = {
        {"an RGB display profile", good, true},
        {"a Lab profile", lab, false},
        {"a cut profile", cut, false},
        {"no file", std::nullopt, false},
    };
    for (const auto& c : cases)
    {
        std::remove(desktops.c_str());
        if (c.bytes)
            testsupport::WriteBinaryFile(desktops, *c.bytes);
        EXPECT_EQ(platform::MonitorProfileName(kDevice), c.used ? desktops : "Ours.icm") << c.what;
    }

    // colord's default being one of the store's is listed once.
    ASSERT_EQ(platform::MakeColorManagerDefault(kDevice, platform::ResolveProfilePath("Ours.icm")),
              platform::ColorManagerOutcome::Done);
    EXPECT_EQ(platform::DisplayProfileSources(kDevice),
              std::vector<std::string>{platform::ResolveProfilePath("Ours.icm")});

    // Programs that do not ask colord keep to the store.
    platform::SetColorManagerLookup(false);
    EXPECT_EQ(platform::MonitorProfileName(kDevice), "Ours.icm");
}

// colord's "Changed" signals (the manager's and a device's) are heard by
// the watch; other signals of colord are not changes of a profile.
TEST_F(ColorManagerBusTest, TheWatchHearsColordsChangedSignals)
{
    platform::ColorManagerWatch watch;
    ASSERT_GE(watch.SocketDescriptor(), 0);
    EXPECT_FALSE(watch.TakeChanges());
    bool started = false;
    const auto heard = [&watch, &started] {
        for (int i = 0; i < 200; ++i)
        {
            if (watch.TakeChanges(&started))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };

    // colord starting (taking its name) is heard as such.
    FakeColord colord(bus.Address());
    ASSERT_TRUE(colord.Serving());
    EXPECT_TRUE(heard());
    EXPECT_TRUE(started);
    started = false;

    colord.Emit("/org/freedesktop/ColorManager", "org.freedesktop.ColorManager", "ProfileAdded");
    EXPECT_FALSE(heard());
    colord.Emit(kDevicePath, "org.freedesktop.ColorManager.Device", "Changed");
    EXPECT_TRUE(heard());
    EXPECT_FALSE(started);
    colord.Emit("/org/freedesktop/ColorManager", "org.freedesktop.ColorManager", "Changed");
    EXPECT_TRUE(heard());
}

TEST(ColorManagerBus, WithoutABusThereIsNothingToWatch)
{
    PrivateUserFolders folders;
    ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + folders.File("no-bus-here"));
    platform::ColorManagerWatch watch;
    EXPECT_EQ(watch.SocketDescriptor(), -1);
    EXPECT_FALSE(watch.TakeChanges());
}

} // namespace
