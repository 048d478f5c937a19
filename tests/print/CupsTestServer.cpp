#include "tests/print/CupsTestServer.h"

#include <cups/cups.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <sstream>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kLpadmin = "/usr/sbin/lpadmin";

// Runs a program with its output thrown away; its exit status, -1 when it
// could not be run.
int Run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// The scheduler drops to lp for its helpers and the jobs: lp owns the
// folders it writes.
void GiveToLp(const std::string& path)
{
    const passwd* pw = getpwnam("lp");
    const group* gr = getgrnam("lp");
    if (!pw || !gr)
        return;
    if (::chown(path.c_str(), pw->pw_uid, gr->gr_gid) != 0)
        return;
    ::chmod(path.c_str(), 0755);
}

} // namespace

bool CupsTestServer::Missing()
{
    return ::access(kCupsd, X_OK) != 0 || ::access(kLpadmin, X_OK) != 0;
}

void CupsTestServer::UseServer(const std::string& socket)
{
    cupsSetServer(socket.empty() ? nullptr : socket.c_str());
}

CupsTestServer::CupsTestServer()
{
    if (Missing())
    {
        m_error = "cupsd is not installed";
        return;
    }
    const std::string dir = m_dir.Path();
    m_socket = dir + "cups.sock";
    ::chmod(dir.c_str(), 0755);
    for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log", "tmp", "out", "ppd"})
    {
        std::filesystem::create_directories(dir + sub);
        GiveToLp(dir + sub);
    }
    // The scheduler runs only filters that root owns and nobody else may
    // change, in a folder of the same kind.
    std::filesystem::create_directories(dir + "filter");
    ::chmod((dir + "filter").c_str(), 0755);
    WriteFile(PassThroughFilter(), "#!/bin/sh\nexec cat \"${6:--}\"\n");
    ::chmod(PassThroughFilter().c_str(), 0755);
    WriteFile(dir + "cupsd.conf", "Listen " + m_socket + "\n"
                                  "LogLevel warn\n"
                                  "Browsing No\n"
                                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
    WriteFile(dir + "cups-files.conf", "ServerRoot " + dir + "\n"
                                       "CacheDir " + dir + "cache\n"
                                       "StateDir " + dir + "state\n"
                                       "RequestRoot " + dir + "spool\n"
                                       "TempDir " + dir + "tmp\n"
                                       "AccessLog " + dir + "log/access_log\n"
                                       "ErrorLog " + dir + "log/error_log\n"
                                       "PageLog " + dir + "log/page_log\n"
                                       "DataDir /usr/share/cups\n"
                                       "ServerBin /usr/lib/cups\n"
                                       "FileDevice Yes\n"
                                       "User lp\nGroup lp\n");
    // Copies are limited here so a test can tell the server's answer from
    // a made-up one.
    std::ofstream(dir + "cupsd.conf", std::ios::app) << "MaxCopies 77\n";

    const std::string conf = dir + "cupsd.conf";
    const std::string files = dir + "cups-files.conf";
    std::vector<std::string> args = {kCupsd, "-f", "-c", conf, "-s", files};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir + "log/cupsd.out").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&m_pid, kCupsd, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
    {
        m_pid = -1;
        m_error = "cupsd could not be started";
        return;
    }

    m_serverEnv = std::make_unique<testsupport::ScopedEnv>("CUPS_SERVER", m_socket);
    // Paper and source names in the language the test PPDs are written in:
    // libcups takes the language from the environment while the messages
    // locale is plain "C" (Qt switches a "C" process to "C.UTF-8", which
    // libcups takes as C and answers with its own size names).
    m_languageEnv = std::make_unique<testsupport::ScopedEnv>("LC_ALL", "en_US.UTF-8");
    if (const char* messages = std::setlocale(LC_MESSAGES, nullptr))
        m_messagesLocale = messages;
    std::setlocale(LC_MESSAGES, "C");
    UseServer(m_socket);

    // Ready once a request is answered.
    for (int i = 0; i < 200; ++i)
    {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid)
        {
            m_pid = -1;
            m_error = "cupsd ended at start:\n" + LogTail();
            return;
        }
        if (::access(m_socket.c_str(), F_OK) == 0)
        {
            // An empty server answers the printer list with "not found":
            // any answer but "unavailable" means it listens.
            cups_dest_t* dests = nullptr;
            const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
            cupsFreeDests(n, dests);
            if (cupsLastError() != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE)
                return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_error = "cupsd did not answer:\n" + LogTail();
}

std::string CupsTestServer::LogTail() const
{
    std::string text;
    for (const char* log : {"log/cupsd.out", "log/error_log"})
    {
        std::ifstream in(m_dir.Path() + log);
        text += std::string(std::istreambuf_iterator<char>(in), {});
    }
    return text.size() > 4000 ? text.substr(text.size() - 4000) : text;
}

CupsTestServer::~CupsTestServer()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (!m_messagesLocale.empty())
        std::setlocale(LC_MESSAGES, m_messagesLocale.c_str());
    m_languageEnv.reset();
    m_serverEnv.reset();
    UseServer(std::string());
}

bool CupsTestServer::AddQueue(const std::string& name, const std::string& ppd, bool makeDefault)
{
    const std::string ppdPath = m_dir.Path() + "ppd/" + name + ".ppd";
    if (!WriteFile(ppdPath, ppd))
        return false;
    const std::string uri = "file://" + m_dir.Path() + "out/" + name + ".prn";
    if (Run({kLpadmin, "-h", m_socket, "-p", name, "-E", "-v", uri, "-P", ppdPath}) != 0)
        return false;
    return !makeDefault || SetDefault(name);
}

bool CupsTestServer::WaitForJobs() const
{
    for (int i = 0; i < 200; ++i)
    {
        cups_job_t* jobs = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(n, jobs);
        if (n == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool CupsTestServer::RemoveQueue(const std::string& name)
{
    return Run({kLpadmin, "-h", m_socket, "-x", name}) == 0;
}

bool CupsTestServer::SetDefault(const std::string& name)
{
    return Run({kLpadmin, "-h", m_socket, "-d", name}) == 0;
}

namespace {

// "keyword" or "keyword/translation" as a PPD option choice is written.
std::string Choice(const char* name, const char* translation)
{
    return translation != nullptr ? std::string(name) + "/" + translation : std::string(name);
}

} // namespace

std::string MakeTestPpd(const std::string& filter, const char* model,
                        const std::vector<PpdPaper>& papers, const std::vector<PpdSlot>& sources,
                        int dpi, const char* defaultPaper, const char* profileLine)
{
    const char* const paperDefault = defaultPaper != nullptr ? defaultPaper : papers.front().name;
    std::ostringstream p;
    p << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"QBTEST.PPD\"\n"
         "*Manufacturer: \"QB\"\n*Product: \"("
      << model << ")\"\n*ModelName: \"" << model << "\"\n*ShortNickName: \"" << model
      << "\"\n*NickName: \"" << model
      << "\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
         "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: \"1\"\n*TTRasterizer: Type42\n"
         "*cupsVersion: 2.4\n*cupsFilter: \"application/pdf 0 "
      << filter << "\"\n";
    if (profileLine != nullptr)
        p << profileLine << "\n";
    for (const char* key : {"PageSize", "PageRegion"})
    {
        p << "*OpenUI *" << key << ": PickOne\n*OrderDependency: 10 AnySetup *" << key << "\n*Default"
          << key << ": " << paperDefault << "\n";
        for (const PpdPaper& paper : papers)
            p << "*" << key << " " << Choice(paper.name, paper.translation) << ": \"<</PageSize["
              << paper.width << " " << paper.length << "]>>setpagedevice\"\n";
        p << "*CloseUI: *" << key << "\n";
    }
    p << "*DefaultImageableArea: " << paperDefault << "\n";
    for (const PpdPaper& paper : papers)
        p << "*ImageableArea " << Choice(paper.name, paper.translation) << ": \"" << paper.left << " "
          << paper.bottom << " " << paper.right << " " << paper.top << "\"\n";
    p << "*DefaultPaperDimension: " << paperDefault << "\n";
    for (const PpdPaper& paper : papers)
        p << "*PaperDimension " << Choice(paper.name, paper.translation) << ": \"" << paper.width
          << " " << paper.length << "\"\n";
    p << "*OpenUI *InputSlot/Source: PickOne\n*OrderDependency: 20 AnySetup *InputSlot\n"
         "*DefaultInputSlot: "
      << sources.front().name << "\n";
    for (const PpdSlot& source : sources)
        p << "*InputSlot " << Choice(source.name, source.translation) << ": \"\"\n";
    p << "*CloseUI: *InputSlot\n*OpenUI *Resolution: PickOne\n*OrderDependency: 20 AnySetup *Resolution\n"
         "*DefaultResolution: "
      << dpi << "dpi\n*Resolution " << dpi << "dpi/" << dpi << " dpi: \"\"\n*CloseUI: *Resolution\n"
      << "*DefaultFont: Courier\n*Font Courier: Standard \"(002.004S)\" Standard ROM\n";
    return p.str();
}
