#pragma once
// A private CUPS scheduler for the print tests. It runs in a temporary
// folder of its own, listens on a local socket there and holds only the
// queues the test adds, each from a small PPD the test writes; the
// machine's own queues and its scheduler are never touched. While the
// server lives, CUPS_SERVER names its socket for the whole process (libcups
// and Qt's printer support both follow it).

#include "tests/support/TestEnv.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class CupsTestServer
{
public:
    // Starts the scheduler and waits until it answers. Failed() says why
    // it did not; Missing() when the scheduler is not installed at all.
    CupsTestServer();
    ~CupsTestServer();
    CupsTestServer(const CupsTestServer&) = delete;
    CupsTestServer& operator=(const CupsTestServer&) = delete;

    static bool Missing();
    bool Running() const { return m_pid > 0 && m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const std::string& Socket() const { return m_socket; }
    const std::string& Folder() const { return m_dir.Path(); }

    // Adds (or replaces) a queue from the PPD text; its jobs go to a file in
    // the server's folder. makeDefault makes it the server's default.
    bool AddQueue(const std::string& name, const std::string& ppd, bool makeDefault = false);
    bool RemoveQueue(const std::string& name);
    bool SetDefault(const std::string& name);

    // A filter program the test PPDs name in their *cupsFilter line: it
    // hands the job's PDF on unchanged, so the queue's output file holds
    // what the program printed.
    std::string PassThroughFilter() const { return m_dir.Path() + "filter/passthrough"; }
    // The file a queue's jobs are written to, once WaitForJobs says they
    // are done.
    std::string JobOutput(const std::string& queue) const { return m_dir.Path() + "out/" + queue + ".prn"; }
    // Waits until no job is pending or printing; false when that takes
    // more than a few seconds.
    bool WaitForJobs() const;

    // Points libcups of this process at a socket (empty: back to the
    // environment's choice).
    static void UseServer(const std::string& socket);

private:
    // The end of the scheduler's logs, for a failure message.
    std::string LogTail() const;

    testsupport::TempDir m_dir;
    std::string m_socket;
    std::string m_error;
    pid_t m_pid = -1;
    std::unique_ptr<testsupport::ScopedEnv> m_serverEnv;
    std::unique_ptr<testsupport::ScopedEnv> m_languageEnv;
    std::string m_messagesLocale;
};

// A PPD of our own for a test queue: its papers with their imageable
// areas, its paper sources and one resolution. A translation, when
// given, is the name CUPS shows for the keyword.
struct PpdPaper
{
    const char* name;                // PPD keyword
    const char* translation;         // shown name, or nullptr
    int width, length;               // points
    int left, bottom, right, top;    // imageable area, points from the lower left
};

struct PpdSlot
{
    const char* name;
    const char* translation;         // or nullptr
};

// The default paper is defaultPaper, else the first; the default source
// the first. profileLine, when given, is written as it stands (e.g. the
// *cupsICCProfile naming the printer's own profile).
std::string MakeTestPpd(const std::string& filter, const char* model,
                        const std::vector<PpdPaper>& papers, const std::vector<PpdSlot>& sources,
                        int dpi, const char* defaultPaper = nullptr,
                        const char* profileLine = nullptr);
