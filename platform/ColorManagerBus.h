#pragma once
// The desktop's colour manager (colord, org.freedesktop.ColorManager on the
// system bus). Where it runs, the profile associated with a display is also
// given to colord's device for that output and made its default, so that
// the desktop and other colour-managed programs use it too. colord is
// optional: without a system bus, without colord or without a device for
// the output, nothing happens and the association store alone holds.
//
// Spoken over libdbus on a private connection of each call, closed again
// before the call returns. DBUS_SYSTEM_BUS_ADDRESS, when set, names the
// system bus (tests start a bus of their own and a fake colord on it).

#include <memory>
#include <string>

namespace platform {

enum class ColorManagerOutcome
{
    Done,           // the profile is on the device and its default
    NoBus,          // no system bus to connect to
    NoColorManager, // nobody owns org.freedesktop.ColorManager
    NoDevice,       // colord has no device for the output
    Failed          // colord refused a call
};

// The output name colord's display devices carry ("XRANDR_name") for a
// display device ID MONITOR\<PNP><product>\<connector>: the connector
// without the DRM card prefix ("card0-DP-1" gives "DP-1"). Empty for the
// default display's empty ID or an ID without a connector.
std::string OutputNameOfDevice(const std::string& deviceId);

// Finds colord's device for the display's output, the profile by its file
// (creating it in colord when colord does not know the file yet), adds the
// profile to the device and makes it the device's default. profilePath is
// the installed profile's full path.
ColorManagerOutcome MakeColorManagerDefault(const std::string& deviceId,
                                            const std::string& profilePath);

// colord's "Changed" signals (of the manager, a device or a profile: a
// display's default profile changed, for instance), heard on a private
// connection to the system bus that lives as long as the object. The owner
// watches the connection's socket and, whenever it is readable, calls
// TakeChanges. Without a system bus there is nothing to watch.
class ColorManagerWatch
{
public:
    ColorManagerWatch();
    ~ColorManagerWatch();
    ColorManagerWatch(const ColorManagerWatch&) = delete;
    ColorManagerWatch& operator=(const ColorManagerWatch&) = delete;

    // The socket to watch for reading; -1 without a bus.
    int SocketDescriptor() const;
    // Takes what arrived, without waiting; true when a "Changed" of colord
    // was among it. A bus that went away ends the watch.
    bool TakeChanges();

private:
    struct Bus;
    std::unique_ptr<Bus> m_bus;
};

} // namespace platform
