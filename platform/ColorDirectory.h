#pragma once
// The per-user colour directory, the association of profiles with displays,
// and the source of the display's profile.
//
// Colour directory: $XDG_DATA_HOME/icc/ (default ~/.local/share/icc/), the
// folder where colour-managed programs on a freedesktop system look for a
// user's profiles. It is created on demand. A profile is installed by copying
// it there; a bare profile name (one without '/') means the file of that name
// in the colour directory.
//
// Display-profile associations: $XDG_CONFIG_HOME/Quillbrake/display-profiles.ini,
// one section per display device ID with one key
//     Profiles=<first>/<second>/...
// listing the associated profiles' file names in order; the first is the
// display's default profile. File names cannot hold '/', so the list needs no
// quoting, and a whole list is written by one replacement of the file, so a
// reader never sees half a change. Associations name installed profiles by
// file name only (a path given is reduced to its file name).
//
// Device IDs: the display enumeration builds IDs of the form
// MONITOR\<PNP><product>\<connector>. The empty ID stands for "the default
// display" (the primary one, for callers that do not know which display they
// are on); it is stored under the section name "default".

#include "platform/ColorManagerBus.h"

#include <string>
#include <vector>

namespace platform {

// The file name of the sRGB profile that every colour directory holds.
inline constexpr const char* kSRGBProfileFileName = "sRGB Color Space Profile.icm";

// $XDG_DATA_HOME/icc/ with a trailing '/'. The folder is created when
// missing; the result is false when it does not exist afterwards. folder is
// set in either case.
bool ColorDirectory(std::string& folder);

// A bare name (no '/') becomes the colour directory's file of that name;
// anything else is returned as it is. The directory is not created here.
std::string ResolveProfilePath(const std::string& name);

// Copies the file into the colour directory under its own file name,
// replacing a profile of that name (ReplaceFileContents). A file that is
// already the colour directory's own is left as it is. installedPath, when
// given, receives the path of the installed copy. False when the source
// cannot be read or the copy cannot be written.
bool InstallProfile(const std::string& sourcePath, std::string* installedPath = nullptr);

// File names of the regular files in the colour directory (hidden ones
// excepted: those are temporaries of a replacement in progress), sorted by byte
// value so that every listing has the same order. Empty when the directory
// is missing or unreadable.
std::vector<std::string> ListInstalledProfiles();

// The association store's file.
std::string DisplayProfileStorePath();

// Profiles associated with the display, the default first.
std::vector<std::string> DisplayProfiles(const std::string& deviceId);
// The display's default profile (file name), empty when none is associated.
std::string DefaultDisplayProfile(const std::string& deviceId);

// What the desktop's colour manager made of an association or a removal:
// its outcome (NoBus and the like where there is none) and, for
// NotAuthorized and Failed, colord's error or why the file could not be read.
struct ColorManagerReport
{
    ColorManagerOutcome outcome = ColorManagerOutcome::NoBus;
    std::string detail;
};

// Associates the profile (its file name) with the display and makes it the
// display's default: a profile that was just associated is the one the
// display is meant to use. An earlier entry of the same name moves to the
// front. Where the desktop's colour manager runs (platform/ColorManagerBus.h)
// and has a device for the display, an ICC profile becomes that device's
// default first; should colord refuse it (outcome Failed), the association
// fails and the store is left as it was. colord refusing the caller for want
// of authority (NotAuthorized) leaves the store alone holding the
// association. False for an empty name, a colord refusal or when the store
// cannot be written. report, when given, receives what colord did.
bool AssociateDisplayProfile(const std::string& deviceId, const std::string& profile,
                             ColorManagerReport* report = nullptr);

// Removes the profile (its file name) from the display's list; the next one
// becomes the default. Removing a profile that is not associated succeeds.
// An ICC profile comes off colord's device for the display too; should colord
// refuse (Failed), the removal fails and the store is left as it was.
bool DisassociateDisplayProfile(const std::string& deviceId, const std::string& profile,
                                ColorManagerReport* report = nullptr);

// Makes every ICC profile of the association store known to the desktop's
// colour manager again (OfferColorManagerProfile), for a colour manager that
// has just started: it gives its devices their profiles back. The number of
// profiles colord refused.
int OfferDisplayProfilesToColorManager();

// A further source of a display's profile that only the GUI layer can read:
// the X11 _ICC_PROFILE root-window property. There is no X11 code below the
// GUI, so the GUI may register a function that returns the path of a profile
// file for the device (for instance the atom's bytes saved into the cache
// folder), or an empty string when the display has none. Null removes it.
using DisplayProfileHook = std::string (*)(const std::string& deviceId);
void SetDisplayProfileHook(DisplayProfileHook hook);

// Whether the display's profile is first asked of the desktop's colour
// manager (DisplayProfileSources). Off unless a program turns it on: the
// main program follows the desktop's colour settings, while the agent keeps
// to the association store it writes itself.
void SetColorManagerLookup(bool on);

// The profiles the display shows, the one to use first: colord's default
// profile of the display's device (full path) when the lookup is on, colord
// runs and knows the display's output, and the file is a readable RGB
// display profile; then the display's own list in the association store,
// or, for a display without one, the default display's ("", section
// "default"). A name is not listed twice.
std::vector<std::string> DisplayProfileSources(const std::string& deviceId);

// The name of the display's profile, in this order: the first of
// DisplayProfileSources; the hook's answer; else the sRGB profile's file
// name. Bare names are meant to be resolved in the colour directory.
std::string MonitorProfileName(const std::string& deviceId = std::string());

} // namespace platform
