#pragma once
// The system information dialog (template 196, "システム情報"): one
// read-only text with the program's identity and what support asks for:
// the system, free memory and disk space, the libraries in use and the
// monitor profile in force.

#include "platform/SystemInfo.h"

#include <QDialog>

#include <optional>
#include <string>

class QPlainTextEdit;

// The facts shown, gathered apart from the text so that tests can give
// their own.
struct SysInfoFacts
{
    std::string productName;                      // the application's name
    std::string fileVersion;                      // the application's version
    std::string modulePath;                       // the program file
    std::string distribution;                     // os-release PRETTY_NAME
    std::string kernel;                           // "Linux 6.1.0-13-amd64"
    std::optional<platform::MemoryStatus> memory; // empty when not known
    std::optional<platform::DiskSpace> homeDisk;  // the home folder's file system
    std::string qtVersion;
    std::string littleCmsVersion;
    std::string libTiffVersion;
    std::string libJpegVersion;
    std::string monitorProfileDescription; // empty without a monitor profile
    std::string monitorProfilePath;
};

// String numbers of the labels. The design's own, and ours for the lines
// that take the place of the Windows version and GDI+ lines.
inline constexpr int kStrFreePhysicalMemory = 2500;
inline constexpr int kStrFreeVirtualMemory = 2501;
inline constexpr int kStrFreeSystemDisk = 2502;
inline constexpr int kStrMonitorProfile = 2508;
inline constexpr int kStrMonitorProfilePath = 2509;
inline constexpr int kStrDistribution = 30140;
inline constexpr int kStrKernel = 30141;
inline constexpr int kStrQtVersion = 30142;
inline constexpr int kStrLittleCmsVersion = 30143;
inline constexpr int kStrLibTiffVersion = 30144;
inline constexpr int kStrLibJpegVersion = 30145;

// Asks the system, the libraries, the application object and the
// process-wide monitor profile.
SysInfoFacts GatherSysInfoFacts();

// "free / total MB", each in whole megabytes rounded down.
QString FormatMegabytes(std::uint64_t freeBytes, std::uint64_t totalBytes);

// The text, one fact a line ("\n" between lines): the name and version,
// the program file, an empty line, then each label from the string table
// directly followed by its value (an unknown value leaves the label alone).
QString BuildSysInfoText(const SysInfoFacts& facts);

class CSysInfoDlg : public QDialog
{
    Q_OBJECT
public:
    // Shows the facts of this system.
    explicit CSysInfoDlg(QWidget* parent = nullptr);
    // Shows the given facts.
    CSysInfoDlg(const SysInfoFacts& facts, QWidget* parent);

    // The text shown (edit 1257).
    QString text() const;

private:
    QPlainTextEdit* m_text = nullptr; // 1257
};
