#include "tests/support/RealColord.h"

#include <gtest/gtest.h>

#include <dbus/dbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr const char* kService = "org.freedesktop.ColorManager";
constexpr const char* kManagerPath = "/org/freedesktop/ColorManager";

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A command's standard output and error, and whether it exited with 0.
std::string RunCommand(const std::string& command, bool* ok = nullptr)
{
    std::string output;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    if (ok)
        *ok = status == 0;
    return output;
}

bool OnPath(const std::string& program)
{
    bool ok = false;
    RunCommand("command -v " + ShellQuote(program), &ok);
    return ok;
}

struct ConnectionCloser
{
    void operator()(DBusConnection* c) const
    {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref
{
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

Connection Connect(const std::string& address)
{
    dbus_threads_init_default();
    DBusError error;
    dbus_error_init(&error);
    Connection connection(dbus_connection_open_private(address.c_str(), &error));
    if (connection && !dbus_bus_register(connection.get(), &error))
        connection.reset();
    dbus_error_free(&error);
    if (connection)
        dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    return connection;
}

// Sends the call; the reply, or null with "name: message" in *failure.
Message Send(DBusConnection* connection, DBusMessage* call, std::string* failure)
{
    DBusError error;
    dbus_error_init(&error);
    Message reply(dbus_connection_send_with_reply_and_block(connection, call, 10000, &error));
    if (!reply && failure)
        *failure = std::string(error.name ? error.name : "") + ": " +
                   (error.message ? error.message : "");
    dbus_error_free(&error);
    return reply;
}

bool ColordOnBus(DBusConnection* connection)
{
    DBusError error;
    dbus_error_init(&error);
    const bool owned = dbus_bus_name_has_owner(connection, kService, &error);
    dbus_error_free(&error);
    return owned;
}

// A property's variant content of a reply to Properties.Get.
bool PropertyValue(DBusMessage* reply, DBusMessageIter& value)
{
    DBusMessageIter iter;
    if (!dbus_message_iter_init(reply, &iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT)
        return false;
    dbus_message_iter_recurse(&iter, &value);
    return true;
}

Message GetProperty(DBusConnection* connection, const std::string& path, const char* interface,
                    const char* property)
{
    Message call(dbus_message_new_method_call(kService, path.c_str(),
                                              "org.freedesktop.DBus.Properties", "Get"));
    dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                             &property, DBUS_TYPE_INVALID);
    return Send(connection, call.get(), nullptr);
}

// Appends an a{ss} of the pairs to the message at iter.
void AppendStringMap(DBusMessageIter& iter,
                     const std::vector<std::pair<std::string, std::string>>& pairs)
{
    DBusMessageIter dict;
    dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "{ss}", &dict);
    for (const auto& [key, value] : pairs)
    {
        DBusMessageIter entry;
        const char* k = key.c_str();
        const char* v = value.c_str();
        dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &k);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &v);
        dbus_message_iter_close_container(&dict, &entry);
    }
    dbus_message_iter_close_container(&iter, &dict);
}

} // namespace

RealColord::RealColord()
{
    if (::access(kDaemon, X_OK) != 0)
    {
        m_skipReason = std::string(kDaemon) + " is not installed (Debian package colord)";
        return;
    }
    for (const char* tool : {"dbus-daemon", "unshare", "colormgr"})
        if (!OnPath(tool))
        {
            m_skipReason = std::string(tool) + " is not installed";
            return;
        }
    std::string pattern = "/var/tmp/qbcolord-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
    {
        m_skipReason = "cannot make a folder under /var/tmp";
        return;
    }
    m_folder = pattern + "/";
    // colord, running as its own user, reaches the bus socket here.
    ::chmod(m_folder.c_str(), 0755);

    // A mount namespace with a folder of our own bound into it is what
    // colord will need.
    bool mayMount = false;
    const std::string why =
        RunCommand("unshare -m --propagation private mount --bind " + ShellQuote(m_folder) + " " +
                       ShellQuote(m_folder),
                   &mayMount);
    if (!mayMount)
    {
        m_skipReason = "this process may not make a private mount namespace for colord's "
                       "state folder (unshare -m, mount --bind): " +
                       why;
        return;
    }

    const std::string varlib = m_folder + "varlib";
    ::mkdir(varlib.c_str(), 0755);
    if (const passwd* user = ::getpwnam("colord"); user != nullptr && OnPath("setpriv"))
    {
        m_asColordUser = ::chown(varlib.c_str(), user->pw_uid, user->pw_gid) == 0;
    }
    if (!StartBus())
    {
        m_skipReason = "the private system bus did not start";
        return;
    }
    m_systemBus.emplace("DBUS_SYSTEM_BUS_ADDRESS", m_address);
    if (!StartColord())
        m_skipReason = "colord did not start on the private bus:\n" + Log();
}

RealColord::~RealColord()
{
    StopColord();
    if (m_busPid > 0 && ::kill(m_busPid, SIGTERM) == 0)
    {
        // The bus removes its socket as it ends: the folder goes after it.
        // (It is no child of ours, so it is watched rather than waited for.)
        for (int i = 0; i < 500 && ::kill(m_busPid, 0) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_systemBus.reset();
    if (!m_folder.empty())
    {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        if (ec)
            ADD_FAILURE() << "cannot remove " << m_folder << ": " << ec.message();
    }
}

bool RealColord::StartBus()
{
    const std::string config = m_folder + "system-bus.conf";
    std::ofstream out(config);
    out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>system</type>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <listen>unix:path="
        << m_folder
        << "system_bus_socket</listen>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <deny own=\"*\"/>\n"
           "    <deny send_type=\"method_call\"/>\n"
           "    <allow send_type=\"signal\"/>\n"
           "    <allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
           "    <allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
           "    <allow receive_type=\"method_call\"/>\n"
           "    <allow receive_type=\"method_return\"/>\n"
           "    <allow receive_type=\"error\"/>\n"
           "    <allow receive_type=\"signal\"/>\n"
           "    <allow send_destination=\"org.freedesktop.DBus\"\n"
           "           send_interface=\"org.freedesktop.DBus\"/>\n"
           "    <allow send_destination=\"org.freedesktop.DBus\"\n"
           "           send_interface=\"org.freedesktop.DBus.Introspectable\"/>\n"
           "    <allow send_destination=\"org.freedesktop.DBus\"\n"
           "           send_interface=\"org.freedesktop.DBus.Properties\"/>\n"
           "  </policy>\n"
           "  <include ignore_missing=\"yes\">"
           "/usr/share/dbus-1/system.d/org.freedesktop.ColorManager.conf</include>\n"
           "</busconfig>\n";
    out.close();
    std::istringstream printed(RunCommand("dbus-daemon --config-file=" + ShellQuote(config) +
                                          " --fork --print-address=1 --print-pid=1"));
    std::string pid;
    std::getline(printed, m_address);
    std::getline(printed, pid);
    m_busPid = std::atoi(pid.c_str());
    return m_busPid > 0 && m_address.rfind("unix:", 0) == 0;
}

bool RealColord::StartColord()
{
    // The state folder is bound over colord's, /tmp is an empty one of
    // colord's own (its service has PrivateTmp), and then colord runs as
    // its own user.
    // Its sensor plugins are hidden: they would probe the machine's
    // cameras and scanners, which displays do not need.
    std::string script = "mount --bind \"$0/varlib\" /var/lib/colord && "
                         "mount -t tmpfs -o mode=1777 tmpfs /tmp && "
                         "for d in /usr/lib/*/colord-plugins; do "
                         "[ -d \"$d\" ] && mount -t tmpfs -o mode=0755 tmpfs \"$d\"; done; exec ";
    if (m_asColordUser)
        script += "setpriv --reuid=colord --regid=colord --init-groups ";
    script += std::string(kDaemon) + " -v";
    const std::string log = m_folder + "colord.log";
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        // A process group of its own, so that a stop reaches whatever colord
        // started.
        ::setpgid(0, 0);
        std::FILE* out = std::fopen(log.c_str(), "a");
        if (out)
        {
            ::dup2(::fileno(out), STDOUT_FILENO);
            ::dup2(::fileno(out), STDERR_FILENO);
        }
        ::execlp("unshare", "unshare", "-m", "--propagation", "private", "sh", "-c",
                 script.c_str(), m_folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0)
        return false;
    m_colordPid = pid;

    // Ready when it owns its name on the bus (the bound is only there so
    // that a broken colord cannot hang the suite).
    Connection connection = Connect(m_address);
    for (int i = 0; connection && i < 1500; ++i)
    {
        if (ColordOnBus(connection.get()))
            return true;
        int status = 0;
        if (::waitpid(m_colordPid, &status, WNOHANG) == m_colordPid)
        {
            m_colordPid = 0;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void RealColord::StopColord()
{
    if (m_colordPid <= 0)
        return;
    ::kill(-m_colordPid, SIGTERM);
    int status = 0;
    ::waitpid(m_colordPid, &status, 0);
    ::kill(-m_colordPid, SIGKILL); // anything of colord's still there
    m_colordPid = 0;
    // Until the bus has seen colord go, its name still answers.
    Connection connection = Connect(m_address);
    for (int i = 0; connection && i < 500 && ColordOnBus(connection.get()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool RealColord::Restart(bool devicesAgain)
{
    StopColord();
    if (!StartColord())
    {
        ADD_FAILURE() << "colord did not start again:\n" << Log();
        return false;
    }
    for (const std::string& output : std::vector<std::string>(m_devices))
        if (devicesAgain && CreateDisplayDevice(output).empty())
            return false;
    return true;
}

std::string RealColord::CreateDisplayDevice(const std::string& output, const std::string& scope)
{
    Connection connection = Connect(m_address);
    if (!connection)
    {
        ADD_FAILURE() << "no connection to the private bus";
        return std::string();
    }
    Message call(dbus_message_new_method_call(kService, kManagerPath, kService, "CreateDevice"));
    const std::string id = "xrandr-" + output;
    const char* idText = id.c_str();
    const char* scopeText = scope.c_str();
    DBusMessageIter iter;
    dbus_message_iter_init_append(call.get(), &iter);
    dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &idText);
    dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &scopeText);
    AppendStringMap(iter, {
                              {"Kind", "display"},
                              {"Mode", "physical"},
                              {"Colorspace", "rgb"},
                              {"XRANDR_name", output},
                          });
    std::string failure;
    Message reply = Send(connection.get(), call.get(), &failure);
    const char* path = nullptr;
    if (!reply || !dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_OBJECT_PATH, &path,
                                         DBUS_TYPE_INVALID))
    {
        ADD_FAILURE() << "colord refused CreateDevice for " << output << ": " << failure;
        return std::string();
    }
    if (std::find(m_devices.begin(), m_devices.end(), output) == m_devices.end())
        m_devices.push_back(output);
    return path;
}

std::string RealColord::Colormgr(const std::vector<std::string>& args) const
{
    std::string command = "DBUS_SYSTEM_BUS_ADDRESS=" + ShellQuote(m_address) + " colormgr";
    for (const std::string& a : args)
        command += " " + ShellQuote(a);
    return RunCommand(command);
}

std::vector<std::string> RealColord::DeviceProfileFiles(const std::string& device) const
{
    std::vector<std::string> files;
    Connection connection = Connect(m_address);
    if (!connection)
        return files;
    Message reply = GetProperty(connection.get(), device, "org.freedesktop.ColorManager.Device",
                                "Profiles");
    DBusMessageIter value;
    if (!reply || !PropertyValue(reply.get(), value) ||
        dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_ARRAY)
        return files;
    DBusMessageIter profiles;
    dbus_message_iter_recurse(&value, &profiles);
    while (dbus_message_iter_get_arg_type(&profiles) == DBUS_TYPE_OBJECT_PATH)
    {
        const char* profile = nullptr;
        dbus_message_iter_get_basic(&profiles, &profile);
        Message file = GetProperty(connection.get(), profile,
                                   "org.freedesktop.ColorManager.Profile", "Filename");
        DBusMessageIter name;
        const char* text = nullptr;
        if (file && PropertyValue(file.get(), name) &&
            dbus_message_iter_get_arg_type(&name) == DBUS_TYPE_STRING)
            dbus_message_iter_get_basic(&name, &text);
        files.emplace_back(text ? text : "<missing>");
        dbus_message_iter_next(&profiles);
    }
    return files;
}

std::string RealColord::Call(const std::string& objectPath, const std::string& interface,
                             const std::string& method, const std::vector<std::string>& strings,
                             const std::vector<std::string>& objects,
                             const std::optional<StringMap>& map) const
{
    Connection connection = Connect(m_address);
    if (!connection)
        return "no connection to the private bus";
    Message call(dbus_message_new_method_call(kService, objectPath.c_str(), interface.c_str(),
                                              method.c_str()));
    DBusMessageIter iter;
    dbus_message_iter_init_append(call.get(), &iter);
    for (const std::string& s : strings)
    {
        const char* text = s.c_str();
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &text);
    }
    if (map)
        AppendStringMap(iter, *map);
    for (const std::string& o : objects)
    {
        const char* text = o.c_str();
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_OBJECT_PATH, &text);
    }
    std::string failure;
    return Send(connection.get(), call.get(), &failure) ? std::string() : failure;
}

std::string RealColord::ReadableFolder() const
{
    const std::string folder = m_folder + "shared/";
    ::mkdir(folder.c_str(), 0755);
    return folder;
}

std::string RealColord::Log() const
{
    std::ifstream in(m_folder + "colord.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace testsupport
