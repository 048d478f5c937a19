#pragma once
// A child program started from an argument vector, waited for with a time
// limit and ended with everything it started. The child reads nothing from
// us (its standard input is /dev/null) and leads a process group of its
// own, so that a kill reaches the helpers it starts (wine's, a script's
// children).

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace platform {

enum class WaitResult
{
    Exited,    // reaped: ExitCode tells how it ended
    TimedOut,  // still running when the time was up
    Cancelled, // the cancel flag was seen set; still running
    Lost       // no longer ours to wait for (reaped elsewhere)
};

class Process
{
public:
    Process() = default;
    // A child still running is killed and reaped: none outlives its object
    // or is left a zombie.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts argv[0] (a path; no search of PATH) with the given arguments
    // and the caller's environment. False when it could not be started.
    bool Start(const std::vector<std::string>& argv);
    // Waits up to `limit` for the child to exit, looking every few
    // milliseconds, so that an exit or a set cancel flag is seen at once.
    WaitResult Wait(std::chrono::milliseconds limit, const std::atomic<bool>* cancel = nullptr);
    // After Exited: the exit code, or -1 when a signal ended the child.
    int ExitCode() const { return m_exitCode; }
    // Kills the child's whole process group and reaps the child.
    void Kill();

private:
    int m_pid = 0; // 0: nothing running that is ours to reap
    int m_exitCode = -1;
};

// Gives the calling thread the lowest scheduling priority (nice 19), for
// background work that must never slow the interface.
void LowerThreadPriority();

} // namespace platform
