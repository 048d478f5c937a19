#pragma once
// SIGINT, SIGTERM and SIGHUP turned into something an event loop can wait
// for. A signal handler may do next to nothing safely, so the one installed
// here writes the signal's number as one byte into a socket pair; the
// program watches the other end (Descriptor) with its event loop and ends
// in order from there, on its own thread.
//
// A signal the process was started with ignored (nohup ignores SIGHUP, a
// shell's background job SIGINT) stays ignored: whoever started the
// program asked for that.

#include <array>
#include <csignal>

namespace platform {

class TerminationSignals
{
public:
    // Installs the handler. Objects nest: a newer one takes the signals
    // over until it is destroyed; destroy them in the reverse order.
    TerminationSignals();
    // Puts the signals' previous handlers back and closes the descriptors.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The end to watch: readable once a signal has come. -1 when no
    // socket pair could be made (the signals then keep their handlers).
    int Descriptor() const { return m_fds[1]; }
    // True when at least one of the signals is handled here.
    bool IsInstalled() const;
    // Reads what is pending without waiting; the number of the last signal
    // that came, 0 when none did.
    int Take();

    // The signals handled, in the order they are installed.
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

private:
    std::array<int, 2> m_fds{-1, -1}; // write end (the handler's), read end
    int m_previousFd = -1;
    std::array<struct sigaction, kSignals.size()> m_previous{};
    std::array<bool, kSignals.size()> m_taken{};
};

} // namespace platform
