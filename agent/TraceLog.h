#pragma once
// The agent's trace log. Every class of the agent writes what it does and
// why it failed here; the user switches it on with
//     [FILEOUT]
//     FILEOUT_FLG=1
// in ZEPH_D.INI of the agent's folder. Each entry is appended to
// fprintf.txt beside it as "<minute>:<second>-<text>" in local time (the
// texts carry their own line ends). The file is opened and closed for
// every entry, so another process can read it between entries; an entry
// that cannot be written is dropped.

#include <cstdint>
#include <string>
#include <string_view>

class CTraceLog
{
public:
    // Reads the switch from the agent's ZEPH_D.INI; the log is fprintf.txt
    // in the agent's folder.
    CTraceLog();
    // The same with other files (tests).
    CTraceLog(const std::string& debugIniPath, std::string tracePath);

    bool IsEnabled() const { return m_flag != 0; }
    const std::string& Path() const { return m_path; }

    void Write(std::string_view text) const;

private:
    std::int32_t m_flag = 0;
    std::string m_path;
};
