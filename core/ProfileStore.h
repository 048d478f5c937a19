#pragma once
// The profiles installed in the colour directory, and the process-wide
// monitor profile: the profile of the display the program draws on, loaded
// through the platform's display association. Both open profiles with the
// codec of core/ColorProfile.h.

#include "core/ColorProfile.h"

#include <string>
#include <utility>
#include <vector>

// The process-wide monitor profile, used from the user-interface thread.
//
// It is the profile of one display, named by its device ID (the key of the
// display-profile association store, platform/ColorDirectory.h; "" is the
// default display). InitMonitorProfile records the device, creates the
// profile and loads it; when that fails it is deleted and stays null.
// LoadMonitorProfile opens the recorded display's profile (the
// monitor-profile source of the platform layer: the profile associated with
// the display, else the default display's, else the one the GUI reports,
// else the sRGB profile) into the existing object; false when there is no
// object, the name is a colour-appearance or gamut-map model (".camp",
// ".gmmp", compared case-sensitively), or the open fails. When the program's
// window goes to another display, the shell records that display
// (SetMonitorProfileDevice) before it reloads.
//
// Start-up with the own colour engine (UseOsCmm = 0) must not lock the user
// out because the display's profile is one that only LittleCMS can use (a
// LUT-based or Lab profile): when switchedToOsCmm is given, a load that
// fails under UseOsCmm = 0 is tried again with UseOsCmm = 1, which stays set
// when that load succeeds, and *switchedToOsCmm tells the caller so that the
// settings record the change (false otherwise; UseOsCmm is put back when the
// second load fails too). Without it the engine is never changed, since only
// a caller that records the setting may change it.
bool InitMonitorProfile(const std::string& deviceId = std::string(),
                        bool* switchedToOsCmm = nullptr);
bool LoadMonitorProfile();
void SetMonitorProfileDevice(const std::string& deviceId);
const std::string& GetMonitorProfileDevice();
// Replaces the monitor profile by a new one opened from path; a failed open
// leaves it null. A colour-appearance or gamut-map model path changes
// nothing and gives false.
bool SetMonitorProfile(const std::string& path);
// Null while no usable monitor profile is loaded.
CColorProfile* GetMonitorProfile();
// Deletes the monitor profile (application shutdown).
void FreeMonitorProfile();

// The installed RGB profiles with an XYZ connection space as (file name,
// description) pairs, in file-name order, each opened with
// CColorProfile::Open (so with UseOsCmm = 0 only matrix profiles) and listed
// only when its 'desc' gave a text. The sRGB profile is added at the end when
// no listed profile has its description and it opens.
void EnumInstalledProfiles(std::vector<std::pair<std::string, std::string>>& list);

// The file name of the first installed profile whose description equals the
// text (case-sensitive); empty when none does.
std::string FindProfileByDescription(const std::string& description);
