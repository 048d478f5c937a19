#pragma once
// The outside DNG converter: camera RAW files are not decoded here; a
// converter program turns them into DNG files, which the program's own DNG
// reader then develops. CDNGConverterManager builds the converter's
// arguments, starts it, waits for it to exit while calling a progress
// callback, and keeps a status. This file also holds the built-in list of
// camera RAW extensions, which the user's own extensions extend.
//
// The converter the user normally chooses is a Windows program
// ("Adobe DNG Converter.exe"); a path ending in ".exe" is started through
// `wine` when wine is installed.

#include "core/Progress.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

// The nine built-in RAW extensions (kBuiltinRawExtensions of
// core/GlobalSettings.h), lower case with the dot, in table order
// (".cr2" ... ".x3f"); the vector is emptied first.
void GetBuiltinRawExtensions(std::vector<std::string>& extensions);
// True when extension (with its dot) is one of the nine, ignoring case.
bool IsBuiltinRawExtension(std::string_view extension);
// Appends "*.cr2;*.crw;...;*.x3f" for a file-dialog pattern.
void BuildBuiltinRawFilter(std::string& filter);

// Status of the last Convert.
inline constexpr int kDngConvSuccess = 1; // success, or not yet run
inline constexpr int kDngConvNoInput = 2; // no converter path, no source or no arguments
inline constexpr int kDngConvTimedOut =
    3; // still running after the last wait (killed), or cancelled
inline constexpr int kDngConvExitCode = 4;    // exit code not 0 (or ended by a signal)
inline constexpr int kDngConvStartFailed = 5; // the process could not be started

class CDNGConverterManager
{
public:
    CDNGConverterManager() = default;
    virtual ~CDNGConverterManager() = default;

    // Runs the converter on source and waits until it exits. True when it
    // ran and exited with code 0; the status tells why not otherwise. A
    // converter still running after the wait limit (3000 waits of 200 ms,
    // about ten minutes) is killed and reaped, as is one whose wait is
    // cancelled through SetCancelFlag. Never shows a message. progress
    // hears (waits done, wait limit) once before the start and after every
    // wait, so that a dialog can move and repaint; its answer is not a
    // cancel (the converter cannot be asked how far it is, and only the
    // cancel flag stops it).
    bool Convert(const std::string& source, Progress progress = {});

    // The arguments as one line, for display and logs: each option and each
    // quoted value preceded by one blank, so the line starts with a blank
    // and holds no program name. Always true.
    bool BuildCommandLine(std::string& line) const;
    // The same arguments as an argv vector (without the program), values
    // unquoted and uncut: what Convert passes to the process.
    bool BuildArguments(std::vector<std::string>& arguments) const;

    bool m_compressed = true;    // "-c", else "-u"
    bool m_linear = false;       // "-l"
    bool m_embedRawFile = false; // "-e"
    int m_preview = 0;           // "-p0", "-p1", "-p2"
    std::string m_outputFolder;  // "-d" (may be empty)
    std::string m_outputName;    // "-o" (may be empty)
    std::string m_converterPath;
    std::string m_source;

    int GetStatus() const { return m_status; }

    // When set, Convert polls the flag while waiting and, once it is true,
    // kills the converter and gives status 3 (the thumbnail thread stops
    // through this without waiting for a conversion to finish).
    void SetCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    // The wait: waitMilliseconds per wait (200) and at most maxWaits waits
    // (3000) before the converter counts as hung. Tests shorten it.
    void SetWaitLimits(int waitMilliseconds, int maxWaits)
    {
        m_waitMilliseconds = waitMilliseconds;
        m_maxWaits = maxWaits;
    }

private:
    int m_status = kDngConvSuccess;
    const std::atomic<bool>* m_cancel = nullptr;
    int m_waitMilliseconds = 200;
    int m_maxWaits = 3000;
};

// The wine program to start Windows executables with: the first "wine" on
// PATH; empty when wine is not installed.
std::string FindWineProgram();
