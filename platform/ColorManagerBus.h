#pragma once
// The desktop's colour manager (colord, org.freedesktop.ColorManager on the
// system bus). Where it runs, the profile associated with a display is also
// given to colord's device for that output and made its default, so that
// the desktop and other colour-managed programs use it too, and colord's
// default profile of a display is what the desktop's colour settings chose
// for it. colord is optional: without a system bus, without colord or
// without a device for the output, nothing happens and the association
// store alone holds.
//
// colord runs as a user of its own and cannot open files in a user's
// private folders: a profile is handed over as an open file descriptor.
//
// Spoken over libdbus on a private connection of each call, closed again
// before the call returns. DBUS_SYSTEM_BUS_ADDRESS, when set, names the
// system bus (tests start a bus of their own and a colord on it).

#include <memory>
#include <string>

namespace platform {

enum class ColorManagerOutcome
{
    Done,           // the device has what was asked for
    NoBus,          // no system bus to connect to
    NoColorManager, // nobody owns org.freedesktop.ColorManager
    NoDevice,       // colord has no device for the output
    NotAuthorized,  // colord refused the caller for want of authority (polkit)
    Failed          // colord refused a call, or the profile could not be read
};

// The output name colord's display devices carry ("XRANDR_name") for a
// display device ID MONITOR\<PNP><product>\<connector>: the connector
// without the DRM card prefix ("card0-DP-1" gives "DP-1"). Empty for the
// default display's empty ID or an ID without a connector.
std::string OutputNameOfDevice(const std::string& deviceId);

// Finds colord's device for the display's output and the profile by its
// file, creating it in colord from the open file when colord does not know
// the file yet (a profile object that colord lists but that no longer
// answers is deleted and created again), adds the profile to the device and
// makes it the device's default. profilePath is the installed profile's full
// path. detail, when given, receives colord's error (name and message) or
// the reason the file could not be read for NotAuthorized and Failed.
ColorManagerOutcome MakeColorManagerDefault(const std::string& deviceId,
                                            const std::string& profilePath,
                                            std::string* detail = nullptr);

// Makes the profile (full path) known to colord when it is not, without
// touching any device: colord remembers which devices had the profile and
// gives it back to them. After colord has started again, this restores the
// displays' profiles as they were.
ColorManagerOutcome OfferColorManagerProfile(const std::string& profilePath,
                                             std::string* detail = nullptr);

// Takes the profile (full path) off colord's device for the display's
// output. A profile colord does not know, or that the device does not hold,
// is off already: Done.
ColorManagerOutcome RemoveColorManagerProfile(const std::string& deviceId,
                                              const std::string& profilePath,
                                              std::string* detail = nullptr);

// The file of colord's default profile of the display's device (its first
// profile); empty without a bus, colord or a device for the output, for a
// device without profiles or a profile without a file.
std::string ColorManagerDefaultProfile(const std::string& deviceId);

// colord's "Changed" signals (of the manager, a device or a profile: a
// display's default profile changed, for instance) and colord's start, heard on a private
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
    // was among it, or colord ended or started (then *started, when given, is set
    // too: a colord that has just started knows none of the user's profiles,
    // see OfferDisplayProfilesToColorManager). A bus that went away ends the
    // watch.
    bool TakeChanges(bool* started = nullptr);

private:
    struct Bus;
    std::unique_ptr<Bus> m_bus;
};

} // namespace platform
