#include "platform/ColorManagerBus.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace platform {

namespace {

constexpr const char* kService = "org.freedesktop.ColorManager";
constexpr const char* kManagerPath = "/org/freedesktop/ColorManager";
constexpr const char* kManagerInterface = "org.freedesktop.ColorManager";
constexpr const char* kDeviceInterface = "org.freedesktop.ColorManager.Device";
// colord answers at once; the limit only keeps a hung daemon from hanging
// the program.
constexpr int kCallTimeoutMs = 5000;

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

class Error
{
public:
    Error() { dbus_error_init(&m_error); }
    ~Error() { dbus_error_free(&m_error); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    DBusError* get() { return &m_error; }
    bool IsSet() const { return dbus_error_is_set(&m_error); }
    bool Is(const char* name) const { return dbus_error_has_name(&m_error, name); }

private:
    DBusError m_error;
};

// One method call with string and object-path arguments; the reply's first
// argument (an object path) into *path when asked for.
struct Argument
{
    int type; // DBUS_TYPE_STRING or DBUS_TYPE_OBJECT_PATH
    const char* value;
};

bool Call(DBusConnection* connection, const char* objectPath, const char* interface,
          const char* method, std::initializer_list<Argument> args, std::string* path,
          Error& error)
{
    Message call(dbus_message_new_method_call(kService, objectPath, interface, method));
    if (!call)
        return false;
    DBusMessageIter iter;
    dbus_message_iter_init_append(call.get(), &iter);
    for (const Argument& a : args)
        if (!dbus_message_iter_append_basic(&iter, a.type, &a.value))
            return false;
    Message reply(dbus_connection_send_with_reply_and_block(connection, call.get(), kCallTimeoutMs,
                                                            error.get()));
    if (!reply)
        return false;
    if (path)
    {
        const char* value = nullptr;
        if (!dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_OBJECT_PATH, &value,
                                   DBUS_TYPE_INVALID))
            return false;
        *path = value;
    }
    return true;
}

// CreateProfile(s id, s scope, a{ss} properties) -> o, with the one
// property Filename.
bool CreateProfile(DBusConnection* connection, const std::string& id,
                   const std::string& profilePath, std::string& path, Error& error)
{
    Message call(dbus_message_new_method_call(kService, kManagerPath, kManagerInterface,
                                              "CreateProfile"));
    if (!call)
        return false;
    const char* idText = id.c_str();
    // "normal": the profile stays known to colord until it restarts; the
    // device's mapping to it is kept by colord itself.
    const char* scope = "normal";
    const char* key = "Filename";
    const char* value = profilePath.c_str();
    DBusMessageIter iter;
    DBusMessageIter dict;
    DBusMessageIter entry;
    dbus_message_iter_init_append(call.get(), &iter);
    if (!dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &idText) ||
        !dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &scope) ||
        !dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "{ss}", &dict))
        return false;
    const bool filled =
        dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &value) &&
        dbus_message_iter_close_container(&dict, &entry);
    if (!dbus_message_iter_close_container(&iter, &dict) || !filled)
        return false;
    Message reply(dbus_connection_send_with_reply_and_block(connection, call.get(), kCallTimeoutMs,
                                                            error.get()));
    const char* object = nullptr;
    if (!reply || !dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_OBJECT_PATH, &object,
                                         DBUS_TYPE_INVALID))
        return false;
    path = object;
    return true;
}

// colord's profile IDs are free text; ours name the program and the file.
std::string ProfileIdOf(const std::string& profilePath)
{
    const std::size_t slash = profilePath.rfind('/');
    const std::string name =
        slash == std::string::npos ? profilePath : profilePath.substr(slash + 1);
    std::string id = "chromivel-";
    for (const char c : name)
    {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        id += plain ? c : '_';
    }
    return id;
}

} // namespace

std::string OutputNameOfDevice(const std::string& deviceId)
{
    const std::size_t backslash = deviceId.rfind('\\');
    if (backslash == std::string::npos)
        return std::string();
    std::string connector = deviceId.substr(backslash + 1);
    // DRM connectors are "card<N>-<output>".
    if (connector.rfind("card", 0) == 0)
    {
        const std::size_t dash = connector.find('-');
        std::size_t digits = 4;
        while (digits < connector.size() && connector[digits] >= '0' && connector[digits] <= '9')
            ++digits;
        if (dash != std::string::npos && dash == digits && digits > 4)
            connector.erase(0, dash + 1);
    }
    return connector;
}

namespace {

// A private connection to the system bus, registered; null without one.
Connection OpenSystemBus()
{
    static std::once_flag threads;
    std::call_once(threads, [] { dbus_threads_init_default(); });

    // The address is looked up on every call (libdbus's own lookup of the
    // system bus reads the environment once per process).
    const char* configured = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string address =
        configured && *configured ? configured : "unix:path=/var/run/dbus/system_bus_socket";
    Error error;
    Connection connection(dbus_connection_open_private(address.c_str(), error.get()));
    if (!connection || !dbus_bus_register(connection.get(), error.get()))
        return nullptr;
    // A private connection would otherwise end the process when the bus
    // goes away.
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    return connection;
}

} // namespace

ColorManagerOutcome MakeColorManagerDefault(const std::string& deviceId,
                                            const std::string& profilePath)
{
    const std::string output = OutputNameOfDevice(deviceId);
    if (output.empty())
        return ColorManagerOutcome::NoDevice;

    Connection connection = OpenSystemBus();
    if (!connection)
        return ColorManagerOutcome::NoBus;

    std::string device;
    {
        Error callError;
        const char* key = "XRANDR_name";
        const char* value = output.c_str();
        if (!Call(connection.get(), kManagerPath, kManagerInterface, "FindDeviceByProperty",
                  {{DBUS_TYPE_STRING, key}, {DBUS_TYPE_STRING, value}}, &device, callError))
        {
            if (callError.Is(DBUS_ERROR_SERVICE_UNKNOWN) || callError.Is(DBUS_ERROR_NAME_HAS_NO_OWNER))
                return ColorManagerOutcome::NoColorManager;
            return ColorManagerOutcome::NoDevice;
        }
    }

    std::string profile;
    {
        Error findError;
        if (!Call(connection.get(), kManagerPath, kManagerInterface, "FindProfileByFilename",
                  {{DBUS_TYPE_STRING, profilePath.c_str()}}, &profile, findError))
        {
            Error createError;
            if (!CreateProfile(connection.get(), ProfileIdOf(profilePath), profilePath, profile,
                               createError))
                return ColorManagerOutcome::Failed;
        }
    }

    {
        // A profile the device already has is refused as such: it is on
        // the device, which is what this step is for.
        Error addError;
        const char* relation = "hard";
        if (!Call(connection.get(), device.c_str(), kDeviceInterface, "AddProfile",
                  {{DBUS_TYPE_STRING, relation}, {DBUS_TYPE_OBJECT_PATH, profile.c_str()}},
                  nullptr, addError) &&
            !addError.Is("org.freedesktop.ColorManager.Device.AlreadyExists"))
            return ColorManagerOutcome::Failed;
    }
    Error defaultError;
    if (!Call(connection.get(), device.c_str(), kDeviceInterface, "MakeProfileDefault",
              {{DBUS_TYPE_OBJECT_PATH, profile.c_str()}}, nullptr, defaultError))
        return ColorManagerOutcome::Failed;
    return ColorManagerOutcome::Done;
}

// ------------------------------------------------------------ watch

struct ColorManagerWatch::Bus
{
    Connection connection;
};

ColorManagerWatch::ColorManagerWatch() : m_bus(std::make_unique<Bus>())
{
    m_bus->connection = OpenSystemBus();
    if (!m_bus->connection)
        return;
    // Every "Changed" colord sends: the manager's, and those of its devices
    // and profiles. The bus resolves the service name to whoever owns it
    // when a signal is sent, so a colord that starts later is heard too.
    Error error;
    dbus_bus_add_match(m_bus->connection.get(),
                       "type='signal',sender='org.freedesktop.ColorManager',member='Changed'",
                       error.get());
    if (error.IsSet())
        m_bus->connection.reset();
}

ColorManagerWatch::~ColorManagerWatch() = default;

int ColorManagerWatch::SocketDescriptor() const
{
    int fd = -1;
    if (!m_bus->connection || !dbus_connection_get_unix_fd(m_bus->connection.get(), &fd))
        return -1;
    return fd;
}

bool ColorManagerWatch::TakeChanges()
{
    DBusConnection* c = m_bus->connection.get();
    if (!c)
        return false;
    bool changed = false;
    // Reads what the socket holds without waiting; a bus that went away
    // ends the watch.
    if (!dbus_connection_read_write(c, 0))
    {
        m_bus->connection.reset();
        return false;
    }
    while (DBusMessage* raw = dbus_connection_pop_message(c))
    {
        const Message message(raw);
        const char* interface = dbus_message_get_interface(raw);
        changed = changed ||
                  (dbus_message_get_type(raw) == DBUS_MESSAGE_TYPE_SIGNAL && interface != nullptr &&
                   std::string(interface).rfind(kManagerInterface, 0) == 0 &&
                   dbus_message_has_member(raw, "Changed"));
    }
    return changed;
}

} // namespace platform
