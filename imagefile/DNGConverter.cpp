#include "imagefile/DNGConverter.h"

#include "core/GlobalSettings.h"
#include "platform/File.h"
#include "platform/Process.h"
#include "platform/Text.h"

#include <chrono>
#include <cstdlib>

namespace {

bool EndsWithExe(std::string_view path)
{
    return path.size() >= 4 && platform::EqualsNoCase(path.substr(path.size() - 4), ".exe");
}

} // namespace

void GetBuiltinRawExtensions(std::vector<std::string>& extensions)
{
    extensions.clear();
    for (std::string_view ext : kBuiltinRawExtensions)
    {
        extensions.emplace_back(ext);
    }
}

bool IsBuiltinRawExtension(std::string_view extension)
{
    for (std::string_view ext : kBuiltinRawExtensions)
    {
        if (platform::EqualsNoCase(ext, extension))
        {
            return true;
        }
    }
    return false;
}

void BuildBuiltinRawFilter(std::string& filter)
{
    for (std::size_t i = 0; i < kBuiltinRawExtensions.size(); ++i)
    {
        if (i > 0)
        {
            filter += ';';
        }
        filter += '*';
        filter += kBuiltinRawExtensions[i];
    }
}

std::string FindWineProgram()
{
    const char* pathVar = std::getenv("PATH");
    if (pathVar == nullptr)
    {
        return {};
    }
    std::string_view rest = pathVar;
    while (true)
    {
        const std::size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        if (!folder.empty())
        {
            if (folder.back() != '/')
            {
                folder += '/';
            }
            const std::string candidate = folder + "wine";
            if (platform::IsExecutableFile(candidate))
            {
                return candidate;
            }
        }
        if (colon == std::string_view::npos)
        {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return {};
}

bool CDNGConverterManager::BuildArguments(std::vector<std::string>& arguments) const
{
    arguments.clear();
    arguments.emplace_back(m_compressed ? "-c" : "-u");
    if (m_linear)
    {
        arguments.emplace_back("-l");
    }
    if (m_embedRawFile)
    {
        arguments.emplace_back("-e");
    }
    if (m_preview >= 0 && m_preview <= 2)
    {
        arguments.push_back("-p" + std::to_string(m_preview));
    }
    if (!m_outputFolder.empty())
    {
        arguments.emplace_back("-d");
        arguments.push_back(m_outputFolder);
    }
    if (!m_outputName.empty())
    {
        arguments.emplace_back("-o");
        arguments.push_back(m_outputName);
    }
    arguments.push_back(m_source);
    return true;
}

bool CDNGConverterManager::BuildCommandLine(std::string& line) const
{
    // Options stand bare; the values (folder, name, source) are quoted.
    line += m_compressed ? " -c" : " -u";
    if (m_linear)
    {
        line += " -l";
    }
    if (m_embedRawFile)
    {
        line += " -e";
    }
    if (m_preview >= 0 && m_preview <= 2)
    {
        line += " -p" + std::to_string(m_preview);
    }
    if (!m_outputFolder.empty())
    {
        line += " -d \"" + m_outputFolder + '"';
    }
    if (!m_outputName.empty())
    {
        line += " -o \"" + m_outputName + '"';
    }
    line += " \"" + m_source + '"';
    return true;
}

bool CDNGConverterManager::Convert(const std::string& source, Progress progress)
{
    m_status = kDngConvSuccess;
    if (m_converterPath.empty() || source.empty())
    {
        m_status = kDngConvNoInput;
        return false;
    }
    m_source = source;
    std::vector<std::string> arguments;
    if (!BuildArguments(arguments))
    {
        m_status = kDngConvNoInput;
        return false;
    }

    // A Windows executable runs under wine, which takes the program as its
    // first argument.
    std::vector<std::string> argvText;
    if (EndsWithExe(m_converterPath))
    {
        const std::string wine = FindWineProgram();
        if (wine.empty())
        {
            progress.Report(0, m_maxWaits);
            m_status = kDngConvStartFailed;
            return false;
        }
        argvText.push_back(wine);
    }
    argvText.push_back(m_converterPath);
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());

    progress.Report(0, m_maxWaits);

    platform::Process converter;
    if (!converter.Start(argvText))
    {
        m_status = kDngConvStartFailed;
        return false;
    }

    // Progress hears of each whole wait; an exit or a cancel ends the wait
    // at once.
    bool exited = false;
    bool stopped = false;
    for (int waits = 0; !exited && !stopped;)
    {
        const platform::WaitResult result =
            converter.Wait(std::chrono::milliseconds(m_waitMilliseconds), m_cancel);
        exited = result == platform::WaitResult::Exited;
        // Cancelled, or no longer ours to wait for: finished either way.
        stopped = result == platform::WaitResult::Cancelled || result == platform::WaitResult::Lost;
        progress.Report(waits + 1, m_maxWaits);
        if (!exited && !stopped && ++waits > m_maxWaits)
        {
            stopped = true;
        }
    }

    if (!exited)
    {
        converter.Kill();
        m_status = kDngConvTimedOut;
        return false;
    }
    if (converter.ExitCode() != 0)
    {
        m_status = kDngConvExitCode;
        return false;
    }
    return true;
}
