#include "agent/DisplayProfileOps.h"

#include "platform/ColorDirectory.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAssociated(const DisplayProfileOps& ops, const std::string& deviceId,
                  const std::string& profile)
{
    return !profile.empty() && (!ops.isAssociated || ops.isAssociated(deviceId, profile));
}

// What colord refused, for the trace. A refusal for want of authority is
// said once: colord will refuse every later association as well, and the
// association file holds the profile all the same.
std::string ColorManagerNote(const platform::ColorManagerReport& colord)
{
    static std::atomic<bool> s_toldNotAuthorized{false};
    switch (colord.outcome)
    {
    case platform::ColorManagerOutcome::Failed:
        return "colord refused the profile: " + colord.detail;
    case platform::ColorManagerOutcome::NotAuthorized:
        if (s_toldNotAuthorized.exchange(true))
            return std::string();
        return "colord refused for want of authority (" + colord.detail +
               "); the association file alone holds the display's profile";
    default:
        return std::string();
    }
}

} // namespace

DisplayProfileOps DisplayProfileOps::Platform()
{
    DisplayProfileOps ops;
    ops.install = [](const std::string& source, std::string* installedPath) {
        return platform::InstallProfile(source, installedPath);
    };
    ops.associate = [](const std::string& deviceId, const std::string& profile,
                       std::string& note) {
        platform::ColorManagerReport colord;
        const bool ok = platform::AssociateDisplayProfile(deviceId, profile, &colord);
        note = ColorManagerNote(colord);
        return ok;
    };
    ops.disassociate = [](const std::string& deviceId, const std::string& profile) {
        return platform::DisassociateDisplayProfile(deviceId, profile);
    };
    ops.isAssociated = [](const std::string& deviceId, const std::string& profile) {
        const std::vector<std::string> names = platform::DisplayProfiles(deviceId);
        return std::find(names.begin(), names.end(), FileNameOf(profile)) != names.end();
    };
    return ops;
}

bool ReplaceDisplayProfile(const DisplayProfileOps& ops, const std::string& deviceId,
                           const std::string& file, const std::string& previous,
                           const CTraceLog& trace, std::string& associated)
{
    std::string installed;
    if (!ops.install || !ops.install(file, &installed))
    {
        trace.Write("InstallColorProfile error\n");
        return false;
    }
    trace.Write("InstallColorProfile OK Install file name : " + file + "\n");

    // Whether there is anything to take off is settled before the new
    // profile goes on, as the display had it.
    const bool hadPrevious = IsAssociated(ops, deviceId, previous);

    // The new profile goes on first: should the association fail, the
    // display keeps the profile it had.
    std::string note;
    const bool ok = ops.associate && ops.associate(deviceId, installed, note);
    trace.Write("AssociateColorProfileWithDevice " + deviceId + "\n");
    if (!note.empty())
        trace.Write(note + "\n");
    trace.Write("AssociateColorProfileWithDevice success = " + platform::FormatInt(ok ? 1 : 0) +
                "\n");
    if (ok)
    {
        // Then the old one comes off, unless it is the same file (a profile
        // reused for the new settings stays where it is). The association
        // store names profiles by file name, so that is what is compared.
        if (!previous.empty() && !hadPrevious)
        {
            trace.Write("no profile associated with device " + deviceId +
                        " before: nothing to take off\n");
        }
        else if (hadPrevious && FileNameOf(previous) != FileNameOf(installed))
        {
            if (ops.disassociate && ops.disassociate(deviceId, previous))
                trace.Write("DisassociateColorProfileFromDevice OK from device " + deviceId + "\n");
            else
                trace.Write("DisassociateColorProfileFromDevice error\n");
        }
        associated = installed;
    }
    trace.Write("associated " + installed + "\n");
    trace.Write("install file name = " + installed + "\n");
    return ok;
}

void TracePreviousProfile(const DisplayProfileOps& ops, const std::string& deviceId,
                          const std::string& previous, const CTraceLog& trace)
{
    if (IsAssociated(ops, deviceId, previous))
        trace.Write("current profile GetICMProfile name = " + previous + ",\n");
    else
        trace.Write("current profile: none associated with device " + deviceId + "\n");
}
