// The batch run and its log.
//
// The batch converts every checked entry of the list with the step
// documents and saves each result into the output folder. The interactive
// state survives it: the working image and the converter's input side are
// parked before the run and brought back after it, and the documents are
// cloned before and assigned back after, so that the image shown afterwards
// is the one shown before, in its own colour space, with its own steps.
//
// The log is a UTF-8 text with CR LF line ends, written to a "PMB"
// temporary of the work folder while the batch runs and then moved into the
// output folder under a name no other file has. The work folder lives under
// the user's cache folder, which is often another file system than the
// output folder, so the move falls back to copying.

#include "correction/ProjectManage.h"

#include "core/PathUtils.h"
#include "core/TempFiles.h"
#include "correction/ParamFile.h"
#include "platform/File.h"
#include "platform/FileReplace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <limits>

namespace {

std::time_t Now(std::time_t (*clock)())
{
    return clock ? clock() : std::time(nullptr);
}

} // namespace

// ---- CLogFile

CLogFile::~CLogFile()
{
    Close();
}

bool CLogFile::Open(const std::string& path)
{
    Close();
    // Appending: every write goes to the end of the file, whatever else
    // wrote to it in between.
    return m_file.OpenWrite(path, platform::FileCreate::Append);
}

bool CLogFile::WriteLine(std::string_view text)
{
    if (!m_file.IsOpen())
        return false;
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text);
    line.append("\r\n");
    return m_file.WriteAll(line);
}

void CLogFile::Close()
{
    m_file.Close();
}

std::string FormatLogTime(std::time_t time)
{
    // The C library's asctime layout, "%.3s %.3s%3d %.2d:%.2d:%.2d %d",
    // with the English names it uses in the "C" locale: the log reads the
    // same on every system.
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // As ctime does, follow a change of TZ since the last call.
    ::tzset();
    std::tm local{};
    if (!::localtime_r(&time, &local) || local.tm_wday < 0 || local.tm_wday > 6 ||
        local.tm_mon < 0 || local.tm_mon > 11)
    {
        return std::string();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s %s%3d %.2d:%.2d:%.2d %lld", kDays[local.tm_wday],
                  kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  1900LL + local.tm_year);
    return text;
}

// ---- The batch

void CProjectManage::BeginBatch()
{
    m_busy = 1;
    if (m_currentStep >= 0)
        DeletePreviews();
}

void CProjectManage::EndBatch()
{
    m_busy = 0;
    if (m_currentStep >= 0 && m_imageView)
        m_imageView->UpdateImage(true);
}

void CProjectManage::RunBatch(int mode, const std::string& paramFile, bool resize, int width,
                              int height)
{
    const std::size_t count = GetCheckedCount();
    if (count == 0)
        return;
    const int total = static_cast<int>(
        std::min<std::size_t>(count, static_cast<std::size_t>(std::numeric_limits<int>::max())));

    // The image shown before the batch, with the converter's input side
    // (the batch loads set the input profile of every entry).
    const bool hadImage = m_currentStep >= 0;
    const bool parked = hadImage && ParkWorkingImage();

    std::array<std::unique_ptr<CBaseDoc>, kStepCount> clones;
    {
        std::lock_guard<std::mutex> lock(m_docMutex);
        for (int slot = 1; slot <= kStepCount; ++slot)
            clones[slot - 1] = m_docs[slot]->Clone();
    }

    // Mode 3 reloads the documents before every entry; the file is read
    // once, and an unreadable file gives every document its defaults.
    CParamFileReader params;
    if (mode == kBatchFromParamFile)
        params.Load(paramFile);

    // Without a temporary the batch still runs; the log writes then fail
    // quietly and nothing is shown.
    std::string logPath;
    MakeBatchLogTempName(logPath);
    BeginBatchLog(logPath);

    const bool reloadsDocs = mode == kBatchAsAtStart || mode == kBatchFromParamFile;
    BatchSizeRequest size;
    if (reloadsDocs)
    {
        size.sizeMode = resize ? 3 : 2;
        size.width = resize ? width : 0;
        size.height = resize ? height : 0;
    }

    bool goOn = true;
    int previousSaveFailed = 0;
    try
    {
        for (std::size_t i = 0; i < count && goOn; ++i)
        {
            CImageFileInfo* entry = GetCheckedItem(i);
            if (!entry)
                break;
            if (m_batchEntrySlot.func)
            {
                goOn = m_batchEntrySlot.func(static_cast<int>(i), total, entry, previousSaveFailed,
                                             m_batchEntrySlot.user) != 0;
                if (!goOn)
                    break;
            }

            BatchLogRecord record;
            record.path = entry->m_path;
            CancelWatch loading(m_imageLoadSlot);
            const int loaded = LoadImage(*entry, true, loading.Watched());
            if (loading.Cancelled())
            {
                // A cancel while loading ends the batch; the entry is not logged.
                goOn = false;
                break;
            }
            if (loaded == 1)
            {
                record.loaded = true;
                if (reloadsDocs)
                {
                    std::lock_guard<std::mutex> lock(m_docMutex);
                    for (int slot = 1; slot <= kStepCount; ++slot)
                    {
                        if (mode == kBatchAsAtStart)
                            m_docs[slot]->Assign(*clones[slot - 1]);
                        else
                            m_docs[slot]->LoadParams(params);
                    }
                }
                if (m_batchStepsSlot.func)
                {
                    std::array<int, 7> flags{};
                    GetBatchStepFlags(flags);
                    if (size.sizeMode == 3)
                        flags[kStepTrimming - 1] = 1;
                    m_batchStepsSlot.func(flags, m_batchStepsSlot.user);
                }

                const CDNGTranspose* raw = entry->m_transform.get();
                for (int slot = 1; slot <= kStepCount && goOn; ++slot)
                {
                    CBaseDoc& doc = *m_docs[slot];
                    bool apply = doc.IsStepEnabled() && (slot != kStepDNGParam || raw != nullptr);
                    // Resizing is the trimming document's work, asked for
                    // whether or not the step is enabled.
                    if (!apply && slot == kStepTrimming && size.sizeMode == 3)
                        apply = true;
                    if (apply)
                    {
                        WorkingImageChanged();
                        goOn = ApplyStep(doc, m_workingImage, GetWorkingMatrix(), raw, 1.0, &size,
                                         m_stepSlots[slot - 1], &record.details);
                    }
                }
                if (!goOn)
                    break; // a step stopped the batch: this entry is neither saved nor logged

                // The output resolution of the trimming document holds only
                // where the documents are used as they are.
                const double resolution = m_trimmingDoc.IsStepEnabled() && !reloadsDocs
                                              ? m_trimmingDoc.GetTrimRecord().SizeDPI
                                              : -1.0;
                CancelWatch saving(m_imageSaveSlot);
                record.saved =
                    SaveResultImage(*entry, resolution, record.writtenPath, saving.Watched());
                if (saving.Cancelled())
                    goOn = false; // the entry is still logged
                previousSaveFailed = record.saved ? 0 : 1;
            }
            else
            {
                previousSaveFailed = 0;
            }
            WriteBatchLogEntry(logPath, record);
        }
    }
    catch (const std::exception&)
    {
        // Out of memory on a large entry: end the batch, but still put the
        // documents and the shown image back.
        goOn = false;
    }

    {
        std::lock_guard<std::mutex> lock(m_docMutex);
        for (int slot = 1; slot <= kStepCount; ++slot)
            m_docs[slot]->Assign(*clones[slot - 1]);
    }

    if (parked)
    {
        // A park file that cannot be read back drops the image (and says so).
        RestoreParkedImage();
    }
    else if (hadImage)
    {
        // The shown image could not be parked, and the batch entries have
        // overwritten it.
        DropImage(true);
    }
    else
    {
        // Nothing was shown: no batch entry stays behind.
        m_workingImage = CRGBImage();
        WorkingImageChanged();
    }

    EndBatchLog(logPath, !goOn);
    ShowBatchLog(logPath, m_outputFolder);
}

bool CProjectManage::MakeBatchLogTempName(std::string& path)
{
    return CreateTempFile("PMB", path);
}

void CProjectManage::BeginBatchLog(const std::string& logPath)
{
    CLogFile log;
    if (!log.Open(logPath))
        return;
    log.WriteLine(std::string(kBatchLogBegin) + FormatLogTime(Now(m_logClock)));
    log.WriteLine("");
}

void CProjectManage::EndBatchLog(const std::string& logPath, bool cancelled)
{
    CLogFile log;
    if (!log.Open(logPath))
        return;
    log.WriteLine(std::string(cancelled ? kBatchLogCancelled : kBatchLogEnd) +
                  FormatLogTime(Now(m_logClock)));
}

void CProjectManage::WriteBatchLogEntry(const std::string& logPath, const BatchLogRecord& record)
{
    CLogFile log;
    if (!log.Open(logPath))
        return;
    std::string line;
    if (!record.loaded)
    {
        line = record.path + std::string(kBatchLogLoadError);
    }
    else
    {
        log.WriteLine(record.path + std::string(kBatchLogConverting));
        if (record.saved)
        {
            for (const std::string& detail : record.details)
                log.WriteLine(detail);
            line = record.writtenPath + std::string(kBatchLogSaved);
        }
        else
        {
            line = std::string(kBatchLogSaveError);
        }
    }
    log.WriteLine(line);
    log.WriteLine("");
}

bool CProjectManage::ShowBatchLog(const std::string& logPath, const std::string& outputFolder)
{
    if (logPath.empty())
        return false;
    bool moved = false;
    std::string target;
    if (!outputFolder.empty())
    {
        const std::string base = AddBackslash(outputFolder) + std::string(kBatchLogName);
        // A name found free may be taken before the move claims it: then
        // look again. When every name is taken the search gives the base
        // name back, which exists.
        for (int attempt = 0; attempt < 8 && !moved; ++attempt)
        {
            target = base;
            MakeUniqueFileName(target);
            if (platform::PathExists(target))
                break;
            const int err = platform::MoveFileNoReplace(logPath, target);
            moved = err == 0;
            if (!moved && err != EEXIST)
                break;
        }
    }
    if (!moved)
    {
        std::remove(logPath.c_str());
        return false;
    }
    if (m_shell)
        m_shell->OpenWithDefaultApplication(target);
    return true;
}
