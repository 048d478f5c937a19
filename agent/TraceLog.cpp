#include "agent/TraceLog.h"

#include "agent/AgentSettings.h"
#include "platform/Numbers.h"

#include <cstdio>
#include <ctime>

CTraceLog::CTraceLog() : CTraceLog(AgentDebugIniPath(), TraceFilePath()) {}

CTraceLog::CTraceLog(const std::string& debugIniPath, std::string tracePath)
    : m_flag(ReadIniInt(debugIniPath, "FILEOUT", "FILEOUT_FLG", 0)), m_path(std::move(tracePath))
{}

void CTraceLog::Write(std::string_view text) const
{
    if (m_flag == 0)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr)
        return;
    std::string entry = platform::FormatInt(local.tm_min);
    entry += ':';
    entry += platform::FormatInt(local.tm_sec);
    entry += '-';
    entry += text;

    std::FILE* file = std::fopen(m_path.c_str(), "a");
    if (file == nullptr)
        return;
    std::fwrite(entry.data(), 1, entry.size(), file);
    std::fclose(file);
}
