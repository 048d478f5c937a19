#pragma once
// The desktop's colour manager itself (colord), run for one test as the
// machine runs it, and nothing of the machine's own touched:
// - a private bus of the system type (colord's own bus policy included),
//   whose address goes into DBUS_SYSTEM_BUS_ADDRESS for the object's
//   lifetime, so that the program's calls, colormgr and colord meet there;
// - colord in a private mount namespace, with its state folder
//   (/var/lib/colord) bound to a folder of the test's and an empty /tmp of
//   its own, as user "colord" where the machine has that user (so colord
//   can open no file of the test's folders, as it cannot open a user's
//   private files);
// - display devices created as a desktop session creates them.
// The test's folder is under /var/tmp (not /tmp: colord does not see the
// test's /tmp) and readable for colord.
//
// Where any of it cannot be had (colord or dbus-daemon missing, no right to
// make a mount namespace), SkipReason says why, for GTEST_SKIP.

#include "tests/support/TestEnv.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class RealColord
{
public:
    static constexpr const char* kDaemon = "/usr/libexec/colord";

    RealColord();
    ~RealColord();
    RealColord(const RealColord&) = delete;
    RealColord& operator=(const RealColord&) = delete;

    // Empty when colord runs; else why it cannot run here.
    const std::string& SkipReason() const { return m_skipReason; }
    bool AsColordUser() const { return m_asColordUser; }

    // Stops colord and starts it again on the same state folder, and, with
    // devicesAgain, creates the display devices again as the session would
    // on colord's return. False (with a test failure) when colord does not
    // come back.
    bool Restart(bool devicesAgain = true);

    // Creates a display device for the output (CreateDevice with Kind
    // "display" and XRANDR_name) and returns its object path; empty (with
    // a test failure) when colord refuses.
    std::string CreateDisplayDevice(const std::string& output, const std::string& scope = "normal");

    // Runs colormgr with the arguments (each quoted for the shell) on the
    // private bus; its standard output and error.
    std::string Colormgr(const std::vector<std::string>& args) const;

    // The file of each profile of the device's, the default first, as colord
    // lists them (Device.Profiles, each profile's Filename; "<missing>" for
    // a listed profile that does not answer).
    std::vector<std::string> DeviceProfileFiles(const std::string& device) const;

    // Calls a method of colord's on a connection of its own, with the
    // string arguments, then the a{ss} when given, then the object paths;
    // colord's error name and message, empty on success.
    using StringMap = std::vector<std::pair<std::string, std::string>>;
    std::string Call(const std::string& objectPath, const std::string& interface,
                     const std::string& method, const std::vector<std::string>& strings,
                     const std::vector<std::string>& objects = {},
                     const std::optional<StringMap>& map = std::nullopt) const;

    // A folder colord can read files from (as it reads the system's
    // profiles), with a trailing '/'.
    std::string ReadableFolder() const;

    // colord's log so far (for messages of failed assertions).
    std::string Log() const;
    // The bus address.
    const std::string& Address() const { return m_address; }

private:
    bool StartBus();
    bool StartColord();
    void StopColord();

    std::string m_folder;
    std::string m_skipReason;
    std::string m_address;
    int m_busPid = 0;
    int m_colordPid = 0;
    bool m_asColordUser = false;
    std::optional<ScopedEnv> m_systemBus;
    std::vector<std::string> m_devices; // outputs, for a restart
};

} // namespace testsupport
