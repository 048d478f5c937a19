#pragma once
// The display's profile in force on an X11 desktop.
//
// Colour-management tools of X11 desktops (colord's session helper, the
// desktops' colour settings, xcalib, dispwin) publish the profile of each
// monitor as a property of the root window: "_ICC_PROFILE" for the first
// screen and "_ICC_PROFILE_<n>" for screen n > 0, type CARDINAL, format 8,
// the profile's bytes as they are. The monitor-profile source of the
// platform layer (platform/ColorDirectory.h) asks the GUI for it through a
// hook after the association store and before the sRGB fallback; this is
// that hook. It reads the property of the screen the main window is on
// through the application's own xcb connection. Without one (a Wayland
// session, the offscreen platform) it answers nothing, and the association
// store and the sRGB profile stand as they are.

#include <QByteArray>

#include <cstddef>
#include <string>

// The name of screen n's property: "_ICC_PROFILE", "_ICC_PROFILE_1", ...
std::string X11IccProfileAtomName(int screen);

// The largest property taken for a profile (a profile with large tables
// has a few megabytes).
inline constexpr std::size_t kMaxX11IccProfileBytes = 64u << 20;

// The bytes of the screen's property on the root window of the X server the
// application talks to. Empty when there is no QGuiApplication or no xcb
// connection, the property is missing or empty, is not CARDINAL with
// format 8, is larger than kMaxX11IccProfileBytes, or changed while it was
// read. The bytes are not checked here.
QByteArray ReadX11IccProfile(int screen);

// The screen whose profile the hook reads: the index in
// QGuiApplication::screens() of the screen the main window is on (0, the
// first, until set). The main window sets it when it is shown and when it
// moves to another screen. Safe from any thread.
void SetX11DisplayProfileScreen(int screen);
int X11DisplayProfileScreen();

// The hook's answer for the chosen screen: when the property holds an ICC
// profile (its header's size field within the bytes and the 'acsp'
// signature; the profile reader checks the rest when it opens the file),
// the path of a copy in the work folder, "<work folder>/_ICC_PROFILE[_n].icc",
// rewritten only when the bytes changed; else empty. The device ID is not
// looked at: the screen set above is the one the program draws on.
std::string X11DisplayProfilePath(const std::string& deviceId);

// Registers X11DisplayProfilePath with platform::SetDisplayProfileHook.
// Called once at start-up, after the QApplication exists and before the
// monitor profile is loaded.
void InstallX11DisplayProfileHook();
