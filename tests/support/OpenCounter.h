#pragma once
// Counts the opens of one file while it lives, through inotify (IN_OPEN):
// the code under test needs no hook, and every open(2), fopen or library
// open of the file counts, whoever makes it. Events are queued by the
// kernel at the open itself, so a count taken after a call returns is
// exact.

#include <string>

namespace testsupport {

class OpenCounter
{
public:
    explicit OpenCounter(const std::string& path);
    ~OpenCounter();
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // False when the watch could not be set up (the count is then -1).
    bool IsWatching() const { return m_watch >= 0; }
    // The opens since the last call (or since construction).
    int Take();

private:
    int m_fd = -1;
    int m_watch = -1;
};

} // namespace testsupport
