#include "platform/ColorManagerBus.h"

#include "platform/File.h"

#include <dbus/dbus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

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
    std::string Name() const { return m_error.name ? m_error.name : ""; }
    std::string Text() const { return m_error.message ? m_error.message : ""; }

private:
    DBusError m_error;
};

constexpr const char* kProfileInterface = "org.freedesktop.ColorManager.Profile";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// colord 1.4 keeps no profiles across its restarts ("disk" is refused as
// not supported); it keeps which profiles each device had, and gives a
// device its profiles back, in their order, once they are made again
// (OfferColorManagerProfile).
constexpr const char* kProfileScope = "normal";

std::string Describe(const Error& error)
{
    return error.Name() + ": " + error.Text();
}

// colord checks each caller with polkit; where polkit says no, or where
// there is no polkit to ask, the caller lacks the authority to change
// colord's devices and profiles.
bool IsAuthorityRefusal(const Error& error)
{
    const std::string name = error.Name();
    const std::string text = error.Text();
    for (const char* word : {"NotAuthorized", "FailedToAuthenticate", "AccessDenied",
                             "PolicyKit1", "polkit", "not authorized", "Not authorized"})
        if (name.find(word) != std::string::npos || text.find(word) != std::string::npos)
            return true;
    return false;
}

// "Already there" as colord says it: AddProfile of a profile the device
// holds (1.4 answers ProfileAlreadyAdded, older ones AlreadyExists).
bool IsAlreadyThere(const Error& error)
{
    return error.Is("org.freedesktop.ColorManager.Device.ProfileAlreadyAdded") ||
           error.Is("org.freedesktop.ColorManager.Device.AlreadyExists") ||
           error.Is("org.freedesktop.ColorManager.AlreadyExists");
}

// A method call being built: arguments appended in order, then sent.
class MethodCall
{
public:
    MethodCall(const std::string& objectPath, const char* interface, const char* method)
        : m_message(dbus_message_new_method_call(kService, objectPath.c_str(), interface, method))
    {
        m_ok = m_message != nullptr;
        if (m_ok)
            dbus_message_iter_init_append(m_message.get(), &m_iter);
    }

    MethodCall& String(const std::string& value)
    {
        const char* text = value.c_str();
        m_ok = m_ok && dbus_message_iter_append_basic(&m_iter, DBUS_TYPE_STRING, &text);
        return *this;
    }
    MethodCall& Object(const std::string& value)
    {
        const char* text = value.c_str();
        m_ok = m_ok && dbus_message_iter_append_basic(&m_iter, DBUS_TYPE_OBJECT_PATH, &text);
        return *this;
    }
    // The descriptor is duplicated into the message; the caller keeps its own.
    MethodCall& FileDescriptor(int fd)
    {
        m_ok = m_ok && dbus_message_iter_append_basic(&m_iter, DBUS_TYPE_UNIX_FD, &fd);
        return *this;
    }
    // An a{ss} of one entry.
    MethodCall& StringMap(const std::string& key, const std::string& value)
    {
        const char* k = key.c_str();
        const char* v = value.c_str();
        DBusMessageIter dict;
        DBusMessageIter entry;
        if (!m_ok || !dbus_message_iter_open_container(&m_iter, DBUS_TYPE_ARRAY, "{ss}", &dict))
        {
            m_ok = false;
            return *this;
        }
        const bool filled =
            dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
            dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &k) &&
            dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &v) &&
            dbus_message_iter_close_container(&dict, &entry);
        m_ok = dbus_message_iter_close_container(&m_iter, &dict) && filled;
        return *this;
    }

    // The reply, or null with the error set.
    Message Send(DBusConnection* connection, Error& error)
    {
        if (!m_ok)
        {
            dbus_set_error_const(error.get(), DBUS_ERROR_NO_MEMORY, "the call could not be built");
            return nullptr;
        }
        return Message(dbus_connection_send_with_reply_and_block(connection, m_message.get(),
                                                                 kCallTimeoutMs, error.get()));
    }

    // Sends and takes the reply's object path into *path, when asked for.
    bool SendFor(DBusConnection* connection, Error& error, std::string* path = nullptr)
    {
        Message reply = Send(connection, error);
        if (!reply)
            return false;
        if (!path)
            return true;
        const char* value = nullptr;
        if (!dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_OBJECT_PATH, &value,
                                   DBUS_TYPE_INVALID))
            return false;
        *path = value;
        return true;
    }

private:
    Message m_message;
    DBusMessageIter m_iter{};
    bool m_ok = false;
};

// A property of an object of colord, read with org.freedesktop.DBus.Properties.Get:
// the variant's content is left in *value for the caller to read. False
// when the object does not answer (colord lists some objects it never
// finished making: they have no interfaces at all).
bool GetProperty(DBusConnection* connection, const std::string& objectPath,
                 const char* interface, const char* property, Message& reply,
                 DBusMessageIter& value, Error& error)
{
    reply = MethodCall(objectPath, kPropertiesInterface, "Get")
                .String(interface)
                .String(property)
                .Send(connection, error);
    DBusMessageIter iter;
    if (!reply || !dbus_message_iter_init(reply.get(), &iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT)
        return false;
    dbus_message_iter_recurse(&iter, &value);
    return true;
}

// The profile object's file; nothing when the object does not answer.
std::optional<std::string> ProfileFilename(DBusConnection* connection,
                                           const std::string& profile)
{
    Error error;
    Message reply;
    DBusMessageIter value;
    if (!GetProperty(connection, profile, kProfileInterface, "Filename", reply, value, error) ||
        dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING)
        return std::nullopt;
    const char* text = nullptr;
    dbus_message_iter_get_basic(&value, &text);
    return std::string(text ? text : "");
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

namespace {

ColorManagerOutcome Refused(const Error& error, std::string* detail)
{
    if (detail)
        *detail = Describe(error);
    return IsAuthorityRefusal(error) ? ColorManagerOutcome::NotAuthorized
                                     : ColorManagerOutcome::Failed;
}

// colord's device for the display's output.
ColorManagerOutcome FindDevice(DBusConnection* connection, const std::string& output,
                               std::string& device)
{
    Error error;
    if (MethodCall(kManagerPath, kManagerInterface, "FindDeviceByProperty")
            .String("XRANDR_name")
            .String(output)
            .SendFor(connection, error, &device))
        return ColorManagerOutcome::Done;
    if (error.Is(DBUS_ERROR_SERVICE_UNKNOWN) || error.Is(DBUS_ERROR_NAME_HAS_NO_OWNER))
        return ColorManagerOutcome::NoColorManager;
    return ColorManagerOutcome::NoDevice;
}

// A connection to the system bus and colord's device for the display's
// output (the connector in its device ID).
ColorManagerOutcome OpenDisplayDevice(const std::string& deviceId, Connection& connection,
                                      std::string& device)
{
    const std::string output = OutputNameOfDevice(deviceId);
    if (output.empty())
        return ColorManagerOutcome::NoDevice;
    connection = OpenSystemBus();
    if (!connection)
        return ColorManagerOutcome::NoBus;
    return FindDevice(connection.get(), output, device);
}

// The object when it answers as a profile of the file. One that does not
// answer at all (colord lists objects it failed to make) is deleted, so that
// the profile can be made again; so is one of our own ID for another file
// (ours is true). An object of someone else's for another file is left
// alone. Empty when the object is not to be used.
std::string UsableProfile(DBusConnection* connection, const std::string& object,
                          const std::string& profilePath, bool ours)
{
    const std::optional<std::string> file = ProfileFilename(connection, object);
    if (file == profilePath)
        return object;
    if (!file || ours)
    {
        Error ignored; // colord may refuse; making the profile then says why
        MethodCall(kManagerPath, kManagerInterface, "DeleteProfile")
            .Object(object)
            .SendFor(connection, ignored);
    }
    return std::string();
}

// Creates the profile in colord from the open file.
ColorManagerOutcome CreateProfile(DBusConnection* connection, const std::string& profilePath,
                                  std::string& profile, std::string* detail)
{
    File file;
    if (!file.OpenRead(profilePath))
    {
        if (detail)
            *detail = "cannot read " + profilePath + ": " + std::strerror(errno);
        return ColorManagerOutcome::Failed;
    }
    const std::string id = ProfileIdOf(profilePath);
    ColorManagerOutcome outcome = ColorManagerOutcome::Failed;
    // Twice at most: an object of our ID that colord lists but that does
    // not answer is deleted first.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        Error error;
        if (MethodCall(kManagerPath, kManagerInterface, "CreateProfileWithFd")
                .String(id)
                .String(kProfileScope)
                .FileDescriptor(file.Descriptor())
                .StringMap("Filename", profilePath)
                .SendFor(connection, error, &profile))
        {
            outcome = ColorManagerOutcome::Done;
            break;
        }
        outcome = Refused(error, detail);
        if (!error.Is("org.freedesktop.ColorManager.AlreadyExists"))
            break;
        // The ID is taken: by a profile of this file that can be used, or
        // by one that cannot and is deleted before the second attempt.
        Error findError;
        std::string existing;
        if (!MethodCall(kManagerPath, kManagerInterface, "FindProfileById")
                 .String(id)
                 .SendFor(connection, findError, &existing))
            break;
        profile = UsableProfile(connection, existing, profilePath, true);
        if (!profile.empty())
        {
            outcome = ColorManagerOutcome::Done;
            break;
        }
    }
    return outcome;
}

// colord's own object for the file, when it has one that answers; else a
// new one made from the file.
ColorManagerOutcome ProfileOfFile(DBusConnection* connection, const std::string& profilePath,
                                  std::string& profile, std::string* detail)
{
    Error findError;
    std::string listed;
    if (MethodCall(kManagerPath, kManagerInterface, "FindProfileByFilename")
            .String(profilePath)
            .SendFor(connection, findError, &listed))
    {
        profile = UsableProfile(connection, listed, profilePath, false);
        if (!profile.empty())
            return ColorManagerOutcome::Done;
    }
    else if (findError.Is(DBUS_ERROR_SERVICE_UNKNOWN) ||
             findError.Is(DBUS_ERROR_NAME_HAS_NO_OWNER))
    {
        return ColorManagerOutcome::NoColorManager;
    }
    return CreateProfile(connection, profilePath, profile, detail);
}

} // namespace

ColorManagerOutcome MakeColorManagerDefault(const std::string& deviceId,
                                            const std::string& profilePath, std::string* detail)
{
    Connection connection;
    std::string device;
    if (const ColorManagerOutcome found = OpenDisplayDevice(deviceId, connection, device);
        found != ColorManagerOutcome::Done)
        return found;

    std::string profile;
    if (const ColorManagerOutcome known =
            ProfileOfFile(connection.get(), profilePath, profile, detail);
        known != ColorManagerOutcome::Done)
        return known;

    {
        // A profile the device already has is on the device, which is what
        // this step is for; it still has to become the default.
        Error addError;
        if (!MethodCall(device, kDeviceInterface, "AddProfile")
                 .String("hard")
                 .Object(profile)
                 .SendFor(connection.get(), addError) &&
            !IsAlreadyThere(addError))
            return Refused(addError, detail);
    }
    Error defaultError;
    if (!MethodCall(device, kDeviceInterface, "MakeProfileDefault")
             .Object(profile)
             .SendFor(connection.get(), defaultError))
        return Refused(defaultError, detail);
    return ColorManagerOutcome::Done;
}

ColorManagerOutcome OfferColorManagerProfile(const std::string& profilePath, std::string* detail)
{
    Connection connection = OpenSystemBus();
    if (!connection)
        return ColorManagerOutcome::NoBus;
    std::string profile;
    return ProfileOfFile(connection.get(), profilePath, profile, detail);
}

ColorManagerOutcome RemoveColorManagerProfile(const std::string& deviceId,
                                              const std::string& profilePath, std::string* detail)
{
    Connection connection;
    std::string device;
    if (const ColorManagerOutcome found = OpenDisplayDevice(deviceId, connection, device);
        found != ColorManagerOutcome::Done)
        return found;

    std::string profile;
    Error findError;
    if (!MethodCall(kManagerPath, kManagerInterface, "FindProfileByFilename")
             .String(profilePath)
             .SendFor(connection.get(), findError, &profile))
        return ColorManagerOutcome::Done;

    Error removeError;
    if (!MethodCall(device, kDeviceInterface, "RemoveProfile")
             .Object(profile)
             .SendFor(connection.get(), removeError) &&
        !removeError.Is("org.freedesktop.ColorManager.Device.ProfileDoesNotExist") &&
        !removeError.Is("org.freedesktop.ColorManager.NotFound"))
        return Refused(removeError, detail);
    return ColorManagerOutcome::Done;
}

std::string ColorManagerDefaultProfile(const std::string& deviceId)
{
    Connection connection;
    std::string device;
    if (OpenDisplayDevice(deviceId, connection, device) != ColorManagerOutcome::Done)
        return std::string();

    // The device's profiles, the default first.
    Error error;
    Message reply;
    DBusMessageIter value;
    if (!GetProperty(connection.get(), device, kDeviceInterface, "Profiles", reply, value,
                     error) ||
        dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_ARRAY)
        return std::string();
    DBusMessageIter profiles;
    dbus_message_iter_recurse(&value, &profiles);
    if (dbus_message_iter_get_arg_type(&profiles) != DBUS_TYPE_OBJECT_PATH)
        return std::string();
    const char* first = nullptr;
    dbus_message_iter_get_basic(&profiles, &first);
    return first ? ProfileFilename(connection.get(), first).value_or(std::string()) : std::string();
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
    // colord taking its name (started, or started again) or leaving it.
    if (!error.IsSet())
        dbus_bus_add_match(m_bus->connection.get(),
                           "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
                           "arg0='org.freedesktop.ColorManager'",
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

bool ColorManagerWatch::TakeChanges(bool* started)
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
        if (dbus_message_get_type(raw) != DBUS_MESSAGE_TYPE_SIGNAL || interface == nullptr)
            continue;
        if (std::string(interface).rfind(kManagerInterface, 0) == 0 &&
            dbus_message_has_member(raw, "Changed"))
            changed = true;
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (dbus_message_is_signal(raw, DBUS_INTERFACE_DBUS, "NameOwnerChanged") &&
            dbus_message_get_args(raw, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                                  &oldOwner, DBUS_TYPE_STRING, &newOwner, DBUS_TYPE_INVALID) &&
            std::string(name) == kService)
        {
            // colord gone or come: either way the display's profile may
            // now be another.
            changed = true;
            if (started && *newOwner != '\0')
                *started = true;
        }
    }
    return changed;
}

} // namespace platform
