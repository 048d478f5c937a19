#include "core/ErrorRecord.h"

#include "core/MessageSink.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

struct ErrorRecord
{
    std::mutex lock;
    bool recording = false;
    std::vector<std::string> files;
};

ErrorRecord& Record()
{
    static ErrorRecord record;
    return record;
}

} // namespace

CRecordErrorFile::CRecordErrorFile()
{
    ErrorRecord& record = Record();
    std::lock_guard guard(record.lock);
    record.recording = true;
    record.files.clear();
}

CRecordErrorFile::~CRecordErrorFile()
{
    ErrorRecord& record = Record();
    std::lock_guard guard(record.lock);
    record.recording = false;
}

void AddErrorFile(const std::string& path)
{
    ErrorRecord& record = Record();
    std::lock_guard guard(record.lock);
    if (record.recording)
        record.files.push_back(path);
}

void ClearErrorFiles()
{
    ErrorRecord& record = Record();
    std::lock_guard guard(record.lock);
    record.files.clear();
}

std::vector<std::string> GetErrorFiles()
{
    ErrorRecord& record = Record();
    std::lock_guard guard(record.lock);
    return record.files;
}

bool IsRecordingErrorFiles()
{
    ErrorRecord& record = Record();
    std::lock_guard guard(record.lock);
    return record.recording;
}

void ShowErrorFiles()
{
    std::vector<std::string> files;
    {
        ErrorRecord& record = Record();
        std::lock_guard guard(record.lock);
        files.swap(record.files);
    }
    // The message box runs a nested event loop: the lock is not held there.
    if (files.size() == 1)
        ShowMessage(kStrErrorFileOne, {files.front()}, MessageButtons::Ok);
    else if (files.size() > 1)
        ShowMessage(kStrErrorFileMany, {std::to_string(files.size())}, MessageButtons::Ok);
}

void ShowLastErrorBox(int err)
{
    if (err == 0)
        err = errno;
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    ShowMessage(kStrSystemErrorText, {text != nullptr ? std::string(text) : std::string()},
                MessageButtons::Ok, MessageIcon::Error);
}
