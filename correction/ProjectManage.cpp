#include "correction/ProjectManage.h"

#include "core/ImageAccess.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/VectorState.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"
#include "platform/File.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <filesystem>
#include <typeinfo>
#include <utility>

namespace {


ImageFileType OutputType(int format)
{
    switch (format)
    {
    case kOutputTiff8:
        return kImageFileTiff8;
    case kOutputJpeg:
        return kImageFileJpeg;
    default:
        return kImageFileTiff16;
    }
}

// Writes the working image as format 0 (16-bit TIFF), 1 (8-bit TIFF) or 2
// (JPEG). The pixels are linear in the input profile's primaries; the input
// profile's inverse tone curves turn them back into its device values, so
// that the profile embedded in the output record describes them.
int WriteImage(int format, const CImageFileInfo& output, CRGBImage& image,
               const CRGBGammaTable& inverseTRC, Progress progress)
{
    switch (format)
    {
    case kOutputTiff16:
        return SaveTiff16(&inverseTRC, output, image, progress);
    case kOutputTiff8:
    case kOutputJpeg:
        return SaveImageByGdiplus(output, image, nullptr, &inverseTRC, progress);
    default:
        return 0;
    }
}

// A resolution of 0 or more (never NaN here) as the record's float.
float ResolutionAsFloat(double dpi)
{
    return static_cast<float>(std::min(dpi, static_cast<double>(FLT_MAX)));
}

} // namespace

// ---- Construction

CProjectManage::CProjectManage()
{
    InitProject();
}

CProjectManage::CProjectManage(const std::string& lutFolder) : CColorConverter(lutFolder)
{
    InitProject();
}

void CProjectManage::InitProject()
{
    m_docs = {nullptr,         &m_dngParamDoc,   &m_chartDoc,       &m_trimmingDoc,
              &m_grayCalibDoc, &m_colorCalibDoc, &m_colorChangeDoc, &m_filterDoc};
    m_outputFolder = GetPicturesFolder();
    // A snapshot file that cannot be made now is made again when it is
    // first needed (StoreSnapshot).
    for (CTempFileInfo& snapshot : m_snapshots)
        snapshot.Create();
    CreateTempFile("PMB", m_parkPath);
}

CProjectManage::~CProjectManage()
{
    m_previewDoc.reset();
    m_beforePreview.reset();
    m_afterPreview.reset();
    // The snapshot records close and remove their files themselves.
    if (!m_parkPath.empty())
        std::remove(m_parkPath.c_str());
}

// ---- Services

void CProjectManage::SetPrintDialogs(IPrintDialogs* dialogs)
{
    m_printDialogs = dialogs;
    if (dialogs != nullptr && !m_printers)
        m_printers = dialogs->EnumeratePrinters();
}

// ---- State queries

bool CProjectManage::IsImageReady() const
{
    return GetInputProfile() != nullptr && GetWorkingProfile() != nullptr &&
           GetOutputProfile() != nullptr && m_currentStep >= 0;
}

void CProjectManage::GetImageName(std::string& out) const
{
    out = m_currentStep >= 0 ? GetFileNameFromPath(m_currentRecord.m_path) : std::string();
}

void CProjectManage::GetImageFormatText(std::string& out) const
{
    out.clear();
    if (m_currentStep < 0)
        return;
    switch (m_currentRecord.m_type)
    {
    case kImageFileTiff16:
        out = "TIFF(16bit)";
        break;
    case kImageFileTiff8:
        out = "TIFF(8bit)";
        break;
    case kImageFileJpeg:
        out = "JPEG";
        break;
    case kImageFileDng:
        out = "DNG";
        break;
    case kImageFileRaw:
        out = "RAW";
        break;
    default:
        break;
    }
    char size[40];
    std::snprintf(size, sizeof size, " %dx%d", m_currentRecord.m_width, m_currentRecord.m_height);
    out += size;
}

double CProjectManage::GetImageDPI() const
{
    return m_currentStep >= 0 ? static_cast<double>(m_currentRecord.m_xResolution) : 0.0;
}

void CProjectManage::SetLUTIndex(int index)
{
    if (index >= 0 && index <= static_cast<int>(GetLUTCount()))
        m_lutIndex = index;
}

bool CProjectManage::GetStepImageSize(int step, int& width, int& height) const
{
    if (m_currentStep < 0)
        return false;
    // Snapshots beyond the current step belong to an earlier processing.
    const int last = FindLastEnabledStep(std::clamp<int>(std::min<int>(step, m_currentStep), 0, kStepCount));
    if (last == 0 && m_baseSnapshotPending)
    {
        width = m_workingImage.GetWidth();
        height = m_workingImage.GetHeight();
        return width > 0 && height > 0;
    }
    const CTempFileInfo& snapshot = m_snapshots[static_cast<std::size_t>(last)];
    if (snapshot.m_width <= 0 || snapshot.m_height <= 0)
        return false;
    width = snapshot.m_width;
    height = snapshot.m_height;
    return true;
}

bool CProjectManage::GetRawImageSize(int& width, int& height) const
{
    if (GetRawData() == nullptr)
        return false;
    width = m_currentRecord.m_width;
    height = m_currentRecord.m_height;
    return true;
}

bool CProjectManage::GetAsShotWhiteBalance(int* temperature, int* tint) const
{
    const CDNGTranspose* raw = GetRawData();
    if (raw == nullptr)
        return false;
    int t = 0;
    int d = 0;
    raw->GetAsShotTemperatureTint(t, d);
    if (temperature != nullptr)
        *temperature = t;
    if (tint != nullptr)
        *tint = d;
    return true;
}

void CProjectManage::GetTileSize(int& width, int& height) const
{
    if (m_currentStep >= 0 && m_previewDoc)
    {
        m_previewDoc->GetTileSize(width, height);
        return;
    }
    width = CBaseDoc::kDefaultTileWidth;
    height = CBaseDoc::kDefaultTileHeight;
}

void CProjectManage::GetStepsToProcess(bool force, int upTo, std::array<int, 7>& flags) const
{
    const bool raw = GetRawData() != nullptr;
    for (int i = 1; i <= kStepCount; ++i)
    {
        const bool wanted = (m_currentStep < i || force) && upTo >= i;
        const bool enabled = m_docs[i]->IsStepEnabled() && (i != kStepDNGParam || raw);
        flags[i - 1] = wanted && enabled ? 1 : 0;
    }
}

void CProjectManage::GetBatchStepFlags(std::array<int, 7>& flags) const
{
    bool raw = false;
    for (std::size_t n = 0; n < GetCheckedCount() && !raw; ++n)
    {
        const CImageFileInfo* entry = GetCheckedItem(n);
        // A camera RAW entry gets its RAW data when it is converted.
        raw = entry->m_transform != nullptr || entry->m_type == kImageFileDng ||
              entry->m_type == kImageFileRaw;
    }
    flags[0] = raw ? 1 : 0;
    for (int i = 2; i <= kStepCount; ++i)
        flags[i - 1] = m_docs[i]->IsStepEnabled() ? 1 : 0;
}

std::int16_t CProjectManage::FindLastEnabledStep(int step) const
{
    const bool raw = GetRawData() != nullptr;
    for (int i = std::min(step, kStepCount); i >= 1; --i)
    {
        if (m_docs[i]->IsStepEnabled() && (i != kStepDNGParam || raw))
            return static_cast<std::int16_t>(i);
    }
    return 0;
}

const CDNGTranspose* CProjectManage::GetRawData() const
{
    return m_currentStep >= 0 ? m_currentRecord.m_transform.get() : nullptr;
}

// ---- Loading and saving

bool CProjectManage::MakeInputProfile(const CImageFileInfo& entry, CColorProfile& profile) const
{
    if (!entry.m_iccProfile.empty() && profile.OpenFromMemory(entry.m_iccProfile, entry.m_path))
        return true;
    if (!m_defaultInputProfile || !m_defaultInputProfile->IsOpen())
        return false;
    profile = *m_defaultInputProfile;
    return profile.IsOpen();
}

int CProjectManage::LoadImage(CImageFileInfo& entry, bool batch, Progress progress)
{
    progress.Report(0.0);
    if (!batch)
    {
        m_baseSnapshotPending = false;
        m_currentStep = -1;
        m_dirtyStep = -1;
        m_beforePreview.reset();
        m_afterPreview.reset();
    }

    // The loader applies the input tone curves only: the working image is
    // linear RGB in the input profile's own primaries.
    int result = 0;
    CColorProfile profile;
    if (MakeInputProfile(entry, profile) && SetInputProfile(&profile))
    {
        if (entry.m_type == kImageFileDng || entry.m_type == kImageFileRaw)
            m_inputProfileText = "RAW";
        else
            profile.GetDescription(m_inputProfileText);
        m_lutIndex = FindLUTIndex(entry.m_lutName);
        // The view shows a first look at a large image while it decodes.
        FirstLookSink firstLook;
        if (!batch)
        {
            firstLook = [this, width = entry.m_width, height = entry.m_height](CRGBImage& reduced) {
                TakeFirstLook(reduced, width, height);
            };
        }
        WorkingImageChanged();
        result =
            ::LoadImage(entry, m_workingImage, &GetInputTRC(), nullptr, progress, true, firstLook);
    }
    else
    {
        // No input profile at all (none given with the project's profiles).
        entry.m_error = 1;
        entry.m_state = kLoadStateOther;
    }

    if (result == 1)
    {
        if (!batch)
        {
            // Snapshot 0 is the loaded image itself: it is written only when
            // something is about to change the working image
            // (StoreBaseSnapshot), never on the way to the first picture.
            m_baseSnapshotPending = true;
            m_currentStep = 0;
            m_dirtyStep = 0;
            m_currentRecord = entry;
            if (entry.m_transform)
            {
                m_rawThumbnail.Create(kRawThumbnailSize, kRawThumbnailSize);
                m_rawThumbnail.Resample(m_workingImage);
            }
            else
            {
                m_rawThumbnail = CRGBImage();
            }
        }
    }
    else
    {
        // The documents keep their parameters (the user's work of the last
        // image is not lost because another file failed to load).
        m_workingImage = CRGBImage();
        WorkingImageChanged();
        if (!batch)
            m_rawThumbnail = CRGBImage();
        m_firstLook.reset();
    }

    // The working image is whole again: the first look no longer stands in
    // for it, but becomes the new preview's picture until the refinement
    // replaces it.
    m_previewSeed = std::move(m_firstLook);
    if (!batch)
        RedrawView(true);
    m_previewSeed.reset();
    progress.Report(1.0);
    return result;
}

bool CProjectManage::SaveCorrectedImage(const std::string& path, int format, int option)
{
    if (m_workingImage.IsEmpty() || format < kOutputTiff16 || format > kOutputJpeg)
        return false;
    m_imageLoadSlot.Report(0.0);

    CImageFileInfo output(m_currentRecord);
    output.m_path = path;
    output.m_type = OutputType(format);
    output.m_detectedType = output.m_type;
    output.m_width = m_workingImage.GetWidth();
    output.m_height = m_workingImage.GetHeight();
    if (m_trimmingDoc.IsStepEnabled())
    {
        const float dpi = static_cast<float>(m_trimmingDoc.GetTrimRecord().SizeDPI);
        output.m_xResolution = dpi;
        output.m_yResolution = dpi;
    }
    output.m_iccProfile.clear();
    if (GetInputProfile() != nullptr)
        GetInputProfile()->GetProfileBytes(output.m_iccProfile);
    output.m_jpegQuality = option;

    const int result =
        WriteImage(format, output, m_workingImage, GetInputInverseTRC(), m_imageLoadSlot);
    m_imageLoadSlot.Report(1.0);
    return result == 1;
}

bool CProjectManage::SaveResultImage(const CImageFileInfo& entry, double resolution,
                                     std::string& writtenPath, Progress progress)
{
    if (m_workingImage.IsEmpty() || m_outputFormat < kOutputTiff16 || m_outputFormat > kOutputJpeg)
        return false;

    std::string name;
    MakeOutputFileName(m_outputFormat, name,
                       AddBackslash(m_outputFolder) + GetFileNameFromPath(entry.m_path));
    // Never over an existing file: when every numbered name is taken too,
    // nothing is written.
    if (!MakeUniqueFileName(name))
        return false;

    CImageFileInfo output(entry);
    output.m_path = name;
    output.m_type = OutputType(m_outputFormat);
    output.m_detectedType = output.m_type;
    output.m_width = m_workingImage.GetWidth();
    output.m_height = m_workingImage.GetHeight();
    if (resolution >= 0.0)
    {
        output.m_xResolution = ResolutionAsFloat(resolution);
        output.m_yResolution = output.m_xResolution;
    }
    output.m_iccProfile.clear();
    if (GetInputProfile() != nullptr)
        GetInputProfile()->GetProfileBytes(output.m_iccProfile);
    output.m_jpegQuality = m_outputOption;

    progress.Report(0.0);
    const int result =
        WriteImage(m_outputFormat, output, m_workingImage, GetInputInverseTRC(), progress);
    progress.Report(1.0);
    if (result != 1)
        return false;
    writtenPath = name;
    return true;
}

bool CProjectManage::SaveParamFile(const std::string& path) const
{
    std::array<const CBaseDoc*, kStepCount> docs{};
    for (int i = 1; i <= kStepCount; ++i)
        docs[static_cast<std::size_t>(i - 1)] = m_docs[i];
    return ::SaveParamFile(path, docs);
}

bool CProjectManage::LoadParamFile(const std::string& path)
{
    std::array<CBaseDoc*, kStepCount> docs{};
    for (int i = 1; i <= kStepCount; ++i)
        docs[static_cast<std::size_t>(i - 1)] = m_docs[i];
    return ::LoadParamFile(path, docs);
}

bool CProjectManage::SetProjectProfiles(const CColorProfile* monitor, const CColorProfile* working,
                                        const CColorProfile* input)
{
    if (monitor == nullptr || working == nullptr || input == nullptr)
    {
        m_defaultInputProfile.reset();
        SetProfiles(nullptr, nullptr, nullptr);
        return false;
    }
    m_defaultInputProfile = std::make_unique<CColorProfile>(*input);
    return SetProfiles(input, working, monitor);
}

void CProjectManage::SetOutputFolder(const std::string& path)
{
    if (path == m_outputFolder)
        return;
    m_outputFolder = path;
    SetModified(true);
}

void CProjectManage::SetOutputFormat(int format)
{
    if (format == m_outputFormat)
        return;
    m_outputFormat = format;
    SetModified(true);
}

void CProjectManage::SetOutputOption(int option)
{
    if (option == m_outputOption)
        return;
    m_outputOption = option;
    SetModified(true);
}

// ---- Step documents

CBaseDoc* CProjectManage::GetDoc(int slot) const
{
    return slot >= 1 && slot <= kStepCount ? m_docs[static_cast<std::size_t>(slot)] : nullptr;
}

namespace {

// After a commit the snapshots from the committed slot on are stale.
std::int16_t LowerDirty(std::int16_t dirty, int slot)
{
    return std::min<std::int16_t>(dirty, static_cast<std::int16_t>(slot - 1));
}

} // namespace

void CProjectManage::CommitDoc(int slot, const CBaseDoc& doc)
{
    CBaseDoc* mine = GetDoc(slot);
    if (mine == nullptr || typeid(*mine) != typeid(doc) || doc.IsEqual(*mine))
        return;
    {
        // The copy runs under the document lock: a cache thread may be
        // cloning the documents for print development.
        std::lock_guard<std::mutex> guard(m_docMutex);
        mine->Assign(doc);
    }
    SetModified(true);
    m_dirtyStep = LowerDirty(m_dirtyStep, slot);
}

void CProjectManage::WorkingImageChanged()
{
    ++m_workingGeneration;
    m_workingLightness = KeptLightness();
    // The filter's preview document holds it too until its next render.
    if (auto* filter = dynamic_cast<CFilterDoc*>(m_previewDoc.get()))
        filter->UseSourceLightness(nullptr);
}

void CProjectManage::DeletePreviewDoc()
{
    m_previewDoc.reset();
    m_workingLightness = KeptLightness();
}

void CProjectManage::SetPreviewDoc(const CBaseDoc* doc)
{
    m_previewDoc.reset();
    // The kept lightness serves the filter's preview alone.
    if (dynamic_cast<const CFilterDoc*>(doc) == nullptr)
        m_workingLightness = KeptLightness();
    if (doc != nullptr)
    {
        m_previewDoc = doc->Clone();
        PreparePreviewDoc();
    }
    // The view's preparation of the redraw would prepare the same document
    // on the same image again: a slider's every move paid for its tables
    // twice.
    m_previewDocFresh = m_previewDoc != nullptr;
    RedrawView(true);
    m_previewDocFresh = false;
}

void CProjectManage::PreparePreviewDoc()
{
    if (!m_previewDoc || m_currentStep < 0 || m_workingImage.IsEmpty() || m_workingImage.IsLocked())
        return;
    if (m_previewDocFresh)
    {
        m_previewDocFresh = false;
        return;
    }
    // Building the step's tables runs at full speed only with the vector
    // unit's upper state clear (the toolkit may leave it set on this thread).
    ClearUpperVectorState();
    // The preview document works on the result of the steps before it; in
    // compare mode 1 the working image shows snapshot 0 instead, so the
    // result is fetched for the preparation and snapshot 0 put back.
    const int last = FindLastEnabledStep(m_currentStep);
    const bool swap = m_compareMode == kCompareBefore && last > 0;
    if (swap && !RestoreSnapshot(last, {}))
    {
        DropImage(true);
        return;
    }
    {
        CAccessRGBImageByLab source(m_workingImage, nullptr, GetWorkingMatrix());
        m_previewDoc->PrepareApply(GetRawData(), source, nullptr, 1.0);
    }
    if (swap && !RestoreSnapshot(0, {}))
        DropImage(true);
}

// ---- Re-processing

void CProjectManage::ProcessToStep(int step, int compareMode, bool restart)
{
    step = std::clamp(step, 0, kStepCount);
    bool changed = false;
    if (restart && m_currentStep >= 0)
    {
        if (!RestoreSnapshot(0, {}))
        {
            DropImage(true);
            return;
        }
        m_currentStep = 0;
        m_dirtyStep = 0;
        changed = true;
    }
    if (m_currentStep < 0 || m_dirtyStep < 0 || step == m_currentStep)
    {
        const int previousMode = m_compareMode;
        SetCompareMode(compareMode);
        if (changed && previousMode == m_compareMode)
            RedrawView(true);
        return;
    }

    // In compare mode 1 the working image shows snapshot 0; the steps work
    // on the result of the current step.
    const int lastCurrent = FindLastEnabledStep(m_currentStep);
    if (m_compareMode == kCompareBefore && lastCurrent > 0 && !RestoreSnapshot(lastCurrent, {}))
    {
        DropImage(true);
        return;
    }

    // Snapshot k holds the result of the steps up to k, valid for k up to
    // the dirty step. The image of the target is the snapshot of its last
    // enabled step: read back when that snapshot is valid, else computed
    // from the newest valid result on.
    const int lastTarget = FindLastEnabledStep(step);
    if (lastTarget > m_dirtyStep)
    {
        const int base = std::min(m_currentStep, m_dirtyStep);
        const int lastBase = FindLastEnabledStep(base);
        if (lastBase != lastCurrent)
        {
            CancelWatch watch(m_snapshotRestoreSlot);
            m_snapshotRestoreSlot.Report(0, 1);
            const bool restored = RestoreSnapshot(lastBase, watch.Watched());
            m_snapshotRestoreSlot.Report(1, 1);
            if (!restored)
            {
                DropImage(!watch.Cancelled());
                return;
            }
        }
        m_currentStep = static_cast<std::int16_t>(base);

        const CDNGTranspose* raw = GetRawData();
        for (int i = base + 1; i <= step; ++i)
        {
            if (m_docs[i]->IsStepEnabled() && (i != kStepDNGParam || raw != nullptr))
            {
                if (!StoreBaseSnapshot())
                    return;
                WorkingImageChanged();
                bool done =
                    ApplyStep(*m_docs[i], m_workingImage, GetWorkingMatrix(), raw, 1.0, nullptr,
                              m_stepSlots[static_cast<std::size_t>(i - 1)], nullptr);
                if (done)
                {
                    CancelWatch watch(m_snapshotStoreSlot);
                    m_snapshotStoreSlot.Report(0, 1);
                    const bool stored = StoreSnapshot(i, watch.Watched());
                    m_snapshotStoreSlot.Report(1, 1);
                    if (!stored)
                    {
                        if (!watch.Cancelled())
                        {
                            DropImage(true);
                            return;
                        }
                        done = false;
                    }
                }
                if (!done)
                {
                    // Stopped (or failed) inside step i: the image goes back
                    // to the last finished step, and processing ends there.
                    if (!RestoreSnapshot(FindLastEnabledStep(m_currentStep), {}))
                    {
                        DropImage(true);
                        return;
                    }
                    break;
                }
            }
            m_currentStep = static_cast<std::int16_t>(i);
        }
        m_dirtyStep = m_currentStep;
        changed = true;
    }
    else if (lastTarget != lastCurrent)
    {
        CancelWatch watch(m_snapshotRestoreSlot);
        m_snapshotRestoreSlot.Report(0, 1);
        const bool restored = RestoreSnapshot(lastTarget, watch.Watched());
        m_snapshotRestoreSlot.Report(1, 1);
        if (!restored)
        {
            DropImage(!watch.Cancelled());
            return;
        }
        m_currentStep = static_cast<std::int16_t>(step);
        changed = true;
    }
    else
    {
        m_currentStep = static_cast<std::int16_t>(step);
    }

    // Analysis data for the panel that enters with this target (panel i
    // asks for step i - 1): 3 gradation, 4 colour tone, 5 chosen colour.
    // Large images are sampled: every n-th pixel of every n-th row,
    // n = min(w, h) / 256, and 4 below 256 pixels.
    if (!m_workingImage.IsEmpty() && step >= kStepTrimming && step <= kStepColorCalib)
    {
        const int side = std::min(m_workingImage.GetWidth(), m_workingImage.GetHeight());
        const int sampling = side / 256 > 0 ? side / 256 : 4;
        CAccessRGBImageByLab lab(m_workingImage, nullptr, GetWorkingMatrix());
        if (step == kStepTrimming)
        {
            lab.GetLightnessHistogram(m_grayHistogram, sampling);
        }
        else if (step == kStepGrayCalib)
        {
            std::vector<std::uint32_t> lightness(256);
            std::vector<std::uint32_t> chroma(256);
            lab.MakeByteLChImage(lightness, chroma, m_hueHistogram, nullptr, sampling);
        }
        else
        {
            lab.MakeByteLChImage(m_lightnessBins, m_chromaBins, m_hueBins, &m_lchImage, sampling);
        }
    }

    m_compareMode = compareMode;
    if (FindLastEnabledStep(m_currentStep) > 0 && compareMode == kCompareBefore)
    {
        if (!RestoreSnapshot(0, {}))
        {
            DropImage(true);
            return;
        }
        if (m_imageView != nullptr)
            m_imageView->Relayout();
    }
    if (changed)
        RedrawView(true);
}

void CProjectManage::SetCompareMode(int mode)
{
    if (mode == m_compareMode)
        return;
    m_compareMode = mode;
    if (m_currentStep < 0)
        return;
    // Both modes show snapshot 0 while no enabled step lies behind.
    const int last = FindLastEnabledStep(m_currentStep);
    if (last > 0 && !RestoreSnapshot(mode == kCompareBefore ? 0 : last, {}))
    {
        DropImage(true);
        return;
    }
    if (m_imageView != nullptr)
        m_imageView->Relayout();
}

// ---- The list

void CProjectManage::OnItemRemoved(const std::string& path)
{
    if (m_currentStep >= 0 && path == m_currentRecord.m_path)
        DropImage(false);
}

void CProjectManage::UnloadProject()
{
    SetProfiles(nullptr, nullptr, nullptr);
    Clear();
    {
        std::lock_guard<std::mutex> guard(m_docMutex);
        for (int i = 1; i <= kStepCount; ++i)
            m_docs[static_cast<std::size_t>(i)]->Reset();
    }
    m_baseSnapshotPending = false;
    m_currentStep = -1;
    m_dirtyStep = -1;
    m_beforePreview.reset();
    m_afterPreview.reset();
    m_workingImage = CRGBImage();
    WorkingImageChanged();
    m_rawThumbnail = CRGBImage();
    m_currentRecord = CImageFileInfo();
    m_inputProfileText.clear();
    m_lutIndex = 0;
    ClearReloadImageCache();
    ClearReloadThumbnailCache();
    if (m_imageView != nullptr)
        m_imageView->RedrawNow();
}

// ---- Shared helpers

bool CProjectManage::ApplyStep(CBaseDoc& doc, CRGBImage& image, const CStdMatrix& rgbToXyz,
                               const CDNGTranspose* raw, double scale,
                               const BatchSizeRequest* sizeRequest, Progress progress,
                               std::vector<std::string>* details)
{
    // The bracketing reports only move the bar; a cancel is the step's
    // own progress answering false.
    progress.Report(0.0);
    const bool done =
        doc.ProcessImage(image, nullptr, rgbToXyz, raw, scale, sizeRequest, progress, details);
    progress.Report(100.0);
    return done;
}

bool CProjectManage::StoreSnapshot(int index, Progress progress)
{
    if (index < 0 || index > kStepCount || m_workingImage.IsEmpty() || m_workingImage.IsLocked())
        return false;
    CTempFileInfo& snapshot = m_snapshots[static_cast<std::size_t>(index)];
    if (!snapshot.IsOpen() && !snapshot.Create())
        return false;
    snapshot.m_width = 0;
    snapshot.m_height = 0;
    platform::File& file = snapshot.GetFile();
    // The file may hold a larger image of before: only an exact length
    // reads back.
    if (!file.Resize(0))
        return false;
    if (!m_workingImage.WriteRawChunked(file, progress))
        return false;
    snapshot.m_width = m_workingImage.GetWidth();
    snapshot.m_height = m_workingImage.GetHeight();
    return true;
}

bool CProjectManage::RestoreSnapshot(int index, Progress progress)
{
    if (index < 0 || index > kStepCount || m_workingImage.IsLocked())
        return false;
    // Until snapshot 0 is written the working image is still the loaded
    // image: there is nothing to read back.
    if (index == 0 && m_baseSnapshotPending)
        return !m_workingImage.IsEmpty();
    CTempFileInfo& snapshot = m_snapshots[static_cast<std::size_t>(index)];
    if (!snapshot.IsOpen() || snapshot.m_width <= 0 || snapshot.m_height <= 0)
        return false;
    WorkingImageChanged();
    if (!m_workingImage.ReadRawChunked(snapshot.GetFile(), progress))
        return false;
    return m_workingImage.GetWidth() == snapshot.m_width &&
           m_workingImage.GetHeight() == snapshot.m_height;
}

bool CProjectManage::StoreBaseSnapshot()
{
    if (!m_baseSnapshotPending)
        return true;
    if (!StoreSnapshot(0, {}))
    {
        // An image without its snapshot 0 could not go back to its
        // unprocessed state: it is not kept.
        m_baseSnapshotPending = false;
        DropImage(true);
        return false;
    }
    m_baseSnapshotPending = false;
    return true;
}

bool CProjectManage::ParkWorkingImage()
{
    if (m_workingImage.IsEmpty())
    {
        m_parked = false;
        return true;
    }
    if (m_parkPath.empty() && !CreateTempFile("PMB", m_parkPath))
        return false;
    platform::File file;
    if (!file.OpenWrite(m_parkPath, platform::FileCreate::Truncate, 0600))
        return false;
    const bool written = m_workingImage.WriteRaw(file);
    if (!file.Close() || !written)
    {
        std::error_code ignored;
        std::filesystem::resize_file(m_parkPath, 0, ignored);
        return false;
    }
    // The input side of the converter changes with every entry loaded while
    // the image is parked; it comes back with the pixels.
    m_parkedInputProfile = GetInputProfile() != nullptr
                               ? std::make_unique<CColorProfile>(*GetInputProfile())
                               : nullptr;
    m_parkedInputProfileText = m_inputProfileText;
    m_parkedLutIndex = m_lutIndex;
    m_workingImage = CRGBImage();
    WorkingImageChanged();
    m_parked = true;
    return true;
}

bool CProjectManage::RestoreParkedImage()
{
    if (!m_parked)
        return true;
    m_parked = false;
    WorkingImageChanged();
    const bool loaded = m_workingImage.LoadRaw(m_parkPath);
    // The park file only needs its name until the next park.
    std::error_code ignored;
    std::filesystem::resize_file(m_parkPath, 0, ignored);
    if (m_parkedInputProfile)
        SetInputProfile(m_parkedInputProfile.get());
    m_parkedInputProfile.reset();
    m_inputProfileText = std::move(m_parkedInputProfileText);
    m_parkedInputProfileText.clear();
    m_lutIndex = m_parkedLutIndex;
    m_parkedLutIndex = 0;
    if (!loaded)
    {
        DropImage(true);
        return false;
    }
    return true;
}

void CProjectManage::RedrawView(bool rebuild)
{
    if (m_imageView != nullptr)
        m_imageView->UpdateImage(rebuild);
}

int CProjectManage::FindLUTIndex(const std::string& name) const
{
    const std::vector<std::string>& names = GetLUTNames();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? 0 : static_cast<int>(it - names.begin()) + 1;
}

void CProjectManage::DropImage(bool showMessage)
{
    m_baseSnapshotPending = false;
    m_currentStep = -1;
    m_dirtyStep = -1;
    m_workingImage = CRGBImage();
    WorkingImageChanged();
    m_rawThumbnail = CRGBImage();
    m_beforePreview.reset();
    m_afterPreview.reset();
    if (m_imageView != nullptr)
        m_imageView->UpdateImage(false);
    if (showMessage)
        ShowMessage(kStrSnapshotFailed, {}, MessageButtons::Ok, MessageIcon::Error);
}
