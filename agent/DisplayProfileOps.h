#pragma once
// Putting a profile file on a display, the one way the agent does it.
//
// A display's profile changes in three steps: the file is installed (copied
// into the colour directory), the installed copy is associated with the
// display (which makes it the display's default), and only then is the
// previous profile taken off. Should the install or the association fail,
// nothing has been taken off yet and the display keeps the profile it had:
// it is never left without one. Both the ICC profiles and the device-model
// (".cdmp") profiles go through ReplaceDisplayProfile.

#include "agent/TraceLog.h"

#include <functional>
#include <string>

// How a profile file reaches the display: install (copy into the colour
// directory; the installed path comes back), associate with a display, take
// off a display, and whether a profile is associated with a display. By
// default the platform's colour directory and association store (and the
// desktop's colour manager behind it); tests (and the agent's end-to-end
// tests) put fakes in, for instance one that fails on demand. associate may
// leave a line for the trace in `note` (what the colour manager refused).
struct DisplayProfileOps
{
    std::function<bool(const std::string& source, std::string* installedPath)> install;
    std::function<bool(const std::string& deviceId, const std::string& profile, std::string& note)>
        associate;
    std::function<bool(const std::string& deviceId, const std::string& profile)> disassociate;
    // Without it, a profile the caller names as the display's is taken to
    // be associated.
    std::function<bool(const std::string& deviceId, const std::string& profile)> isAssociated;

    // platform::InstallProfile, AssociateDisplayProfile,
    // DisassociateDisplayProfile, and the profile's file name among
    // DisplayProfiles.
    static DisplayProfileOps Platform();
};

// Installs `file`, associates the installed copy with the display `deviceId`
// and then takes `previous` off it. `previous` may be empty (nothing to take
// off); when it names the same file as the installed copy (a profile reused
// for new settings) it stays, as it is the new profile; when it is not
// associated with the display (a display that only shows the sRGB profile
// by default) there is nothing to take off, and the trace says so. True when the
// association succeeded, with the installed path in `associated`; false
// (`associated` untouched, `previous` still associated) when the install or
// the association failed or the ops lack an install or associate function.
// A failed disassociation is traced and does not count as failure: the new
// profile is the display's default either way.
bool ReplaceDisplayProfile(const DisplayProfileOps& ops, const std::string& deviceId,
                           const std::string& file, const std::string& previous,
                           const CTraceLog& trace, std::string& associated);

// Traces the profile the display had before a replacement: `previous` when
// it is associated with the display, else that none was (the display then
// shows a profile only by default, which nothing has to take off).
void TracePreviousProfile(const DisplayProfileOps& ops, const std::string& deviceId,
                          const std::string& previous, const CTraceLog& trace);
