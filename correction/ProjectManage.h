#pragma once
// The project: the image list, the seven step documents, the working image
// of the selected entry with a snapshot after every step, the before and
// after previews of the image view, and the callback slots through which
// every long operation reports to the application shell. One object, owned
// by the main window and handed to every panel.
//
// Colour: the project is the colour converter of the current image. The
// working image holds linear RGB in the primaries of the image's own input
// profile (the loader applies the input tone curves only); the step
// documents see it through the input profile's RGB-to-XYZ matrix
// (GetWorkingMatrix), the display through the converter's conversion to the
// monitor, and results are saved through the input profile's inverse tone
// curves with that profile embedded, so a saved file describes its pixels.
// An image without a usable embedded profile takes the default input
// profile (the one given with the monitor and working profiles).
//
// Files: snapshots live in "PMS" temporary files of the work folder, the
// parked working image (batch, index printing) in a "PMB" file; results,
// the list file and the batch log replace their targets through a
// temporary file in the target's folder renamed over it.
//
// Threads: everything runs on the user-interface thread except
// MakeDisplayImageOf and DevelopImageForPrint, which the shell's cache
// threads call too. Those two work on images, converters and documents of
// their own; they copy the documents they need under the document lock,
// report only through the callbacks handed to them, never through the
// project's slots, and leave the project's state alone.
//
// The operations are spread over four files: ProjectManage.cpp (state,
// loading, saving, steps, snapshots), ProjectListFile.cpp (list file),
// ProjectPreview.cpp (previews, measurements, display images, printing)
// and ProjectBatch.cpp (batch run and log).

#include "core/ByteLChImage.h"
#include "core/CIEColor.h"
#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/Progress.h"
#include "core/RGB16.h"
#include "core/RGBImage.h"
#include "core/Rect.h"
#include "core/T2DArray.h"
#include "core/TempFiles.h"
#include "correction/BaseDoc.h"
#include "correction/ChartDoc.h"
#include "correction/ColorCalibDoc.h"
#include "correction/ColorChangeDoc.h"
#include "correction/DNGParamDoc.h"
#include "correction/FilterDoc.h"
#include "correction/GrayCalibDoc.h"
#include "correction/ImageFileList.h"
#include "correction/ProjectServices.h"
#include "correction/TrimmingDoc.h"
#include "imagefile/ImageFileInfo.h"
#include "platform/File.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// Output formats of SaveResultImage and SaveCorrectedImage.
inline constexpr int kOutputTiff16 = 0;
inline constexpr int kOutputTiff8 = 1;
inline constexpr int kOutputJpeg = 2;

// Compare modes: the unprocessed image (snapshot 0) or the processed one.
inline constexpr int kCompareBefore = 1;
inline constexpr int kCompareAfter = 2;

// Batch modes.
inline constexpr int kBatchAsTheyAre = 1;   // documents as they are, no resizing
inline constexpr int kBatchAsAtStart = 2;   // documents as they stood when the batch began
inline constexpr int kBatchFromParamFile = 3; // documents loaded from a parameter file

// Strings of the print entry points.
inline constexpr int kStrPrintNoMemory = 11087;  // "メモリが足りません。" (not enough memory)
inline constexpr int kStrPrintCancelled = 11089;   // cancelled
inline constexpr int kStrPrintError = 11090;       // an error occurred
// "作業ファイルを読み書きできません。画像を読み込み直してください。" (the work
// file cannot be read or written; load the image again): a snapshot could
// not be stored or read back, and the image was dropped.
inline constexpr int kStrSnapshotFailed = 30021;

// Batch log texts (strings 2150..2156).
inline constexpr std::string_view kBatchLogBegin = "開始:";
inline constexpr std::string_view kBatchLogEnd = "終了:";
inline constexpr std::string_view kBatchLogCancelled = "中止:";
inline constexpr std::string_view kBatchLogConverting = "を変換します";
inline constexpr std::string_view kBatchLogSaved = "を保存しました";
inline constexpr std::string_view kBatchLogLoadError = "読込みエラー";
inline constexpr std::string_view kBatchLogSaveError = "保存エラー";
// The log's file name in the output folder.
inline constexpr std::string_view kBatchLogName = "Batch_log.txt";

// Callback slots. Units are fixed per slot; the shell's adapters rely on
// them:
//   list-file load (CImageFileList::m_listLoadSlot)  percent 0..100
//   image load, image save                           fraction 0..1
//   step progress 1..7                               percent 0..100
//   snapshot restore, snapshot store                 (done, total) rows
// Each slot is a Progress (core/Progress.h) on a sink the shell owns; an
// answer false cancels; an empty slot reports nothing. The snapshot slots
// receive the counted form, Report(done, total).

// Before each batch entry: (index from 0, number of checked entries, the
// entry, whether the previous entry's save failed, user); 0 stops the
// batch before the entry.
struct BatchEntrySlot
{
    int (*func)(int index, int total, CImageFileInfo* entry, int previousSaveFailed,
                void* user) = nullptr;
    void* user = nullptr;
};
// Which step rows of the batch progress are active for the entry: seven
// flags (steps 1..7).
struct BatchStepsSlot
{
    void (*func)(const std::array<int, 7>& flags, void* user) = nullptr;
    void* user = nullptr;
};

// The callbacks of one print development (the index-print dialog and its
// cache thread hand their own; the project's slots are not used there).
struct PrintDevelopProgress
{
    Progress load;                 // fraction 0..1
    std::array<Progress, 7> steps; // percent 0..100, steps 1..7
};

// One entry of the batch log.
struct BatchLogRecord
{
    std::string path;
    bool loaded = false;
    std::vector<std::string> details; // lines the steps appended
    std::string writtenPath;
    bool saved = false;
};

// A text log written line by line: each line is appended at the end of
// the file, followed by CR LF.
class CLogFile
{
public:
    CLogFile() = default;
    virtual ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens (creating, never truncating) the file for appending.
    bool Open(const std::string& path);
    // Appends the text and CR LF. False when the file is not open or the
    // write failed.
    bool WriteLine(std::string_view text);
    void Close();

private:
    platform::File m_file;
};

// The local time in the C library's ctime form without its line end
// ("Mon Dec  7 22:10:00 2026"), with English names whatever the locale.
std::string FormatLogTime(std::time_t time);

class CProjectManage : public CColorConverter, public CImageFileList
{
public:
    static constexpr int kStepCount = 7;
    // Steps, by slot.
    static constexpr int kStepDNGParam = 1;
    static constexpr int kStepChart = 2;
    static constexpr int kStepTrimming = 3;
    static constexpr int kStepGrayCalib = 4;
    static constexpr int kStepColorCalib = 5;
    static constexpr int kStepColorChange = 6;
    static constexpr int kStepFilter = 7;
    // The RAW thumbnail's size.
    static constexpr int kRawThumbnailSize = 256;

    // The LUTs of the program data folder.
    CProjectManage();
    // The LUTs of the given folder (empty: none).
    explicit CProjectManage(const std::string& lutFolder);
    ~CProjectManage() override;

    // ---- Services of the layers above (none needed; may be null)
    void SetImageView(IProjectImageView* view) { m_imageView = view; }
    IProjectImageView* GetImageView() const { return m_imageView; }
    void SetShell(IProjectShell* shell) { m_shell = shell; }
    IProjectShell* GetShell() const { return m_shell; }
    // Hands printing's dialogs to the project, which enumerates the
    // printers once and keeps them.
    void SetPrintDialogs(IPrintDialogs* dialogs);
    ISystemPrinters* GetPrinters() const { return m_printers.get(); }
    // The wall clock of the batch log (null: the system's).
    void SetLogClock(std::time_t (*now)()) { m_logClock = now; }

    // ---- State queries
    // The converter has its profiles and an image is loaded.
    bool IsImageReady() const;
    void GetImageName(std::string& out) const;
    // "TIFF(16bit) 3000x2000" and the like; empty without an image.
    void GetImageFormatText(std::string& out) const;
    double GetImageDPI() const;
    bool GetRawImageSize(int& width, int& height) const;
    // The as-shot white balance of the current RAW image.
    bool GetAsShotWhiteBalance(int* temperature, int* tint) const;
    void GetTileSize(int& width, int& height) const;
    // flags[i - 1] for step i: (current step below i, or force), i <= upTo,
    // and the step enabled (step 1 also needs RAW data).
    void GetStepsToProcess(bool force, int upTo, std::array<int, 7>& flags) const;
    // flags[0]: a checked entry has RAW data; flags[1..6]: documents 2..7
    // enabled.
    void GetBatchStepFlags(std::array<int, 7>& flags) const;
    // The highest step from `step` down to 1 whose document is enabled
    // (slot 1 only with RAW data); 0 when none.
    std::int16_t FindLastEnabledStep(int step) const;

    std::int16_t GetCurrentStep() const { return m_currentStep; }
    std::int16_t GetDirtyStep() const { return m_dirtyStep; }
    int GetCompareMode() const { return m_compareMode; }
    bool IsBusy() const { return m_busy != 0; }
    CRGBImage& GetWorkingImage() { return m_workingImage; }
    // What is kept of the working image's pixels (the filter preview's
    // lightness) is let go: whoever changes the pixels through
    // GetWorkingImage says so here. The project's own loads, steps,
    // snapshots and parking say so themselves.
    void WorkingImageChanged();
    const CRGBImage& GetWorkingImage() const { return m_workingImage; }
    const CRGBImage& GetRawThumbnail() const { return m_rawThumbnail; }
    const CImageFileInfo& GetCurrentRecord() const { return m_currentRecord; }
    // The current image's RAW description; null for other images.
    const CDNGTranspose* GetRawData() const;
    const std::string& GetInputProfileText() const { return m_inputProfileText; }
    // The working image's RGB-to-XYZ matrix (the input profile's).
    const CStdMatrix& GetWorkingMatrix() const { return GetInputMatrix(); }
    // The default input profile (images without an embedded one).
    const CColorProfile* GetDefaultInputProfile() const { return m_defaultInputProfile.get(); }
    // 1-based index of the current entry's LUT in the converter's list; 0
    // for none.
    int GetLUTIndex() const { return m_lutIndex; }
    // The LUT the display goes through (the file list's choice for the
    // current entry); an index outside 0..GetLUTCount() is ignored. The
    // display conversion follows on RefreshDisplayConversion.
    void SetLUTIndex(int index);
    // The size of the working image after the last enabled step up to
    // `step` (the loaded image itself when none is enabled). False without
    // an image.
    bool GetStepImageSize(int step, int& width, int& height) const;

    // Analysis of the working image, made when a step is entered.
    const std::vector<std::uint32_t>& GetGrayHistogram() const { return m_grayHistogram; }
    const std::vector<std::uint32_t>& GetHueHistogram() const { return m_hueHistogram; }
    const std::vector<std::uint32_t>& GetLightnessBins() const { return m_lightnessBins; }
    const std::vector<std::uint32_t>& GetChromaBins() const { return m_chromaBins; }
    const std::vector<std::uint32_t>& GetHueBins() const { return m_hueBins; }

    // ---- Loading and saving
    // Loads the entry into the working image. Interactive loads (batch
    // false) also take the image as snapshot 0 (written to its file only
    // before a step first changes the working image), copy the entry into the current record
    // and make the RAW thumbnail. progress (the image-load slot unless
    // given) reports 0 and 1 around the load and the loader's fractions
    // between; a caller that must tell a cancel from a failure watches the handle
    // it passes (CancelWatch). A failed interactive load drops the image;
    // the documents keep their parameters. Returns the loader's result (1
    // on success).
    int LoadImage(CImageFileInfo& entry, bool batch, Progress progress);
    int LoadImage(CImageFileInfo& entry, bool batch)
    {
        return LoadImage(entry, batch, m_imageLoadSlot);
    }
    // Writes the working image to path: format 0 a 16-bit TIFF, 1 an 8-bit
    // TIFF, 2 a JPEG at quality level `option` (0..4). The image-load slot
    // reports 0 and 1 around the write.
    bool SaveCorrectedImage(const std::string& path, int format, int option);
    // Writes the working image into the output folder under the entry's
    // name with the output format's extension, made unique (never over an
    // existing file). A resolution of 0 or more replaces the image's.
    // progress (the image-save slot unless given) reports 0 and 1 around
    // the write and the writer's fractions between.
    bool SaveResultImage(const CImageFileInfo& entry, double resolution, std::string& writtenPath,
                         Progress progress);
    bool SaveResultImage(const CImageFileInfo& entry, double resolution, std::string& writtenPath)
    {
        return SaveResultImage(entry, resolution, writtenPath, m_imageSaveSlot);
    }
    bool SaveParamFile(const std::string& path) const;
    bool LoadParamFile(const std::string& path);
    // Writes the list file; a failure is shown (the system's error text)
    // and the old file stays.
    bool SaveListFile(const std::string& path);
    // Drops the current image and list, takes the three profiles and reads
    // the list file. False when a profile is missing.
    bool OpenListFile(const std::string& path, const CColorProfile* monitor,
                      const CColorProfile* working, const CColorProfile* input);
    // Keeps a copy of the default input profile and builds the converter
    // from it, the working profile (copied) and the monitor profile
    // (borrowed). False, and no profiles, when any is missing.
    bool SetProjectProfiles(const CColorProfile* monitor, const CColorProfile* working,
                            const CColorProfile* input);
    void SetOutputFolder(const std::string& path);
    const std::string& GetOutputFolder() const { return m_outputFolder; }
    // A different value marks the project modified.
    void SetOutputFormat(int format);
    int GetOutputFormat() const { return m_outputFormat; }
    void SetOutputOption(int option);
    int GetOutputOption() const { return m_outputOption; }

    // ---- Step documents
    // The document of slot 1..7; null outside.
    CBaseDoc* GetDoc(int slot) const;
    CDNGParamDoc& GetDNGParamDoc() { return m_dngParamDoc; }
    CChartDoc& GetChartDoc() { return m_chartDoc; }
    CTrimmingDoc& GetTrimmingDoc() { return m_trimmingDoc; }
    CGrayCalibDoc& GetGrayCalibDoc() { return m_grayCalibDoc; }
    CColorCalibDoc& GetColorCalibDoc() { return m_colorCalibDoc; }
    CColorChangeDoc& GetColorChangeDoc() { return m_colorChangeDoc; }
    CFilterDoc& GetFilterDoc() { return m_filterDoc; }
    // When the panel's document differs from the project's, it is copied
    // in, the project is marked modified and the dirty step lowered to
    // slot - 1.
    // A document of another class than the slot's changes nothing.
    void CommitDoc(int slot, const CBaseDoc& doc);
    void CommitDNGParamDoc(const CDNGParamDoc& doc) { CommitDoc(kStepDNGParam, doc); }
    void CommitChartDoc(const CChartDoc& doc) { CommitDoc(kStepChart, doc); }
    void CommitTrimmingDoc(const CTrimmingDoc& doc) { CommitDoc(kStepTrimming, doc); }
    void CommitGrayCalibDoc(const CGrayCalibDoc& doc) { CommitDoc(kStepGrayCalib, doc); }
    void CommitColorCalibDoc(const CColorCalibDoc& doc) { CommitDoc(kStepColorCalib, doc); }
    void CommitColorChangeDoc(const CColorChangeDoc& doc) { CommitDoc(kStepColorChange, doc); }
    void CommitFilterDoc(const CFilterDoc& doc) { CommitDoc(kStepFilter, doc); }
    // Keeps a clone of the document (null: none) as the preview document
    // and prepares it on the working image; the view is redrawn.
    void SetPreviewDoc(const CBaseDoc* doc);
    CBaseDoc* GetPreviewDoc() const { return m_previewDoc.get(); }
    // Drops the preview document (a panel leaving its step).
    void DeletePreviewDoc();
    // Prepares the preview document on the working image; the view's
    // redraw inside SetPreviewDoc finds it prepared already and leaves it.
    void PreparePreviewDoc();

    // ---- Re-processing
    void ProcessToStep(int step, int compareMode, bool restart);
    void SetCompareMode(int mode);

    // ---- The list
    // Drops the current image when its entry was removed.
    void OnItemRemoved(const std::string& path) override;
    // Before a new list or new profiles: profiles, list, image, previews,
    // documents and reload caches are dropped.
    void UnloadProject();

    // ---- Previews of the image view
    // Keep the preview when it has the rectangle's size (*created 0), else
    // make a new one: white (*created kPreviewWhite), or, right after a
    // load that gave a first look, the first look stretched over it
    // (*created kPreviewFirstLook). False when it cannot be made.
    static constexpr int kPreviewWhite = 1;
    static constexpr int kPreviewFirstLook = 2;
    bool MakeBeforePreview(const CRect& rect, int* created);
    bool MakeAfterPreview(const CRect& rect, int* created);
    void ClearAfterPreview();
    void DeletePreviews();
    CImageEx* GetBeforePreview() const { return m_beforePreview.get(); }
    CImageEx* GetAfterPreview() const { return m_afterPreview.get(); }
    // Renders a rectangle of the working image at a reduction factor into
    // the preview. False while the working image is locked.
    bool RenderBeforePreview(const CRect& rect, int factor);
    bool RenderAfterPreview(const CRect& rect, int factor);
    // Preview pixels to working-image pixels, and the reverse forms.
    void MapBeforePreviewRect(const CRect& in, CRect& out) const;
    void MapAfterPreviewRect(const CRect& in, CRect& out) const;
    void ReverseMapBeforePreviewRect(const CRect& in, CRect& out) const;
    void ReverseMapAfterPreviewRect(const CRect& in, CRect& out) const;
    // Stretches the part of the preview of the compare mode that shows the
    // working-image rectangle into the destination of the canvas.
    bool DrawPreview(const CRect& rect, IPreviewCanvas& canvas, const CRect& destination);

    // ---- The first look of an image being loaded
    // During an interactive load, from the moment the loader gives a
    // reduced picture of the image until the load ends: that picture
    // converted for display as the previews of the current compare mode
    // are, standing for the whole image at its full size
    // (GetFirstLookImageSize). Null otherwise. The working image may be
    // half made meanwhile: the view shows this instead.
    const CImageEx* GetFirstLook() const { return m_firstLook.get(); }
    void GetFirstLookImageSize(int& width, int& height) const
    {
        width = m_firstLookWidth;
        height = m_firstLookHeight;
    }
    // Stretches the part of the first look that shows the rectangle of the
    // image into the destination of the canvas.
    bool DrawFirstLook(const CRect& rect, IPreviewCanvas& canvas, const CRect& destination);

    // ---- Measuring (false while the working image is locked)
    bool PickAverageXYZ(const CRect& rect, CCIEXYZ& out);
    bool PickAverageLab(const CRect& rect, CCIELab& out, int flag);
    bool PickAverageRGB(const CRect& rect, RGB16& out);
    bool PickRawWhiteXYZ(const CRect& rect, CCIEXYZ& out);
    void MeasureChartPatches(const T2DArray<CPoint>& centres, T2DArray<CCIEXYZ>& out);
    void MeasureGrayPatches(std::vector<double>& out);
    void MeasureColorPatches(std::vector<CCIELCh>& out);
    void GetChromaHistogram(std::span<std::uint32_t> bins, int lightnessLow, int lightnessHigh,
                            int hueLow, int hueHigh);
    void DevelopRawPreview(std::span<std::uint32_t> red, std::span<std::uint32_t> green,
                           std::span<std::uint32_t> blue, std::span<std::uint32_t> lightness);

    // ---- Display images and monitor changes
    // The whole working image converted for the monitor; null without one.
    std::unique_ptr<CImageEx> MakeDisplayImage();
    // The entry loaded apart and converted for the monitor with its own LUT;
    // safe on a cache thread. Null when it cannot be loaded. With a box
    // (both sides positive) a larger image is reduced to fit it, aspect
    // kept (CTrimmingDoc::FitIntoBox), before the conversion: a slide
    // show's cache holds screen-sized images, not whole photographs.
    std::unique_ptr<CImageEx> MakeDisplayImageOf(const CImageFileInfo& entry, int maxWidth = 0,
                                                 int maxHeight = 0);
    void OnMonitorProfileLoaded(const CColorProfile* monitor, const CColorProfile* working,
                                const CColorProfile* input);
    // The display's profile is now profileName (as the monitor-profile
    // source names it): unless busy, or the display is shown through that
    // very profile already (same name and same bytes), the process-wide
    // monitor profile is loaded again for its display (with UseOsCmm = 1
    // when the own engine cannot use it). True when it was.
    bool OnMonitorProfileChanged(const std::string& profileName);
    void RefreshDisplayConversion();

    // ---- Printing
    // Lends the working image to the single-image print dialog as its
    // print copy, labelled with the input profile's linear record.
    void PrintImage();
    void PrintIndex();
    // The n-th checked entry developed for printing at width x height
    // (mode 0..3, see the batch modes; 0 applies no step) and converted
    // for the monitor (the index print's preview cells); safe on a cache
    // thread. Null when loading, developing or a callback failed.
    std::unique_ptr<CImageEx> DevelopImageForPrint(std::size_t checkedIndex, int width, int height,
                                                   int mode, const std::string& paramFile,
                                                   bool fit, IPrintStepProgress* stepProgress,
                                                   const PrintDevelopProgress* progress);
    // The same development as the print copy the printer gets: the 16-bit
    // linear pixels in the entry's input primaries and the input profile's
    // linear colour-space record, which describes them exactly. They never
    // pass through the monitor's gamut. False as above, or when the input
    // profile yields no record.
    bool DevelopPrintCopy(std::size_t checkedIndex, int width, int height, int mode,
                          const std::string& paramFile, bool fit, IPrintStepProgress* stepProgress,
                          const PrintDevelopProgress* progress, CRGBImage& image,
                          LogColorSpace& colorSpace);

    // ---- Batch
    void RunBatch(int mode, const std::string& paramFile, bool resize, int width, int height);
    void BeginBatch();
    void EndBatch();
    static bool MakeBatchLogTempName(std::string& path);
    void BeginBatchLog(const std::string& logPath);
    void EndBatchLog(const std::string& logPath, bool cancelled);
    void WriteBatchLogEntry(const std::string& logPath, const BatchLogRecord& record);
    // Moves the log into the output folder as "Batch_log.txt" (or the
    // first free "Batch_log_NNNNN.txt") and opens it; the log is deleted
    // when it cannot be moved.
    bool ShowBatchLog(const std::string& logPath, const std::string& outputFolder);

    // ---- Callback slots (filled and cleared by the shell's adapters)
    std::array<Progress, 7> m_stepSlots; // steps 1..7 at index 0..6
    Progress m_imageLoadSlot;
    Progress m_imageSaveSlot;
    Progress m_snapshotRestoreSlot;
    Progress m_snapshotStoreSlot;
    BatchEntrySlot m_batchEntrySlot;
    BatchStepsSlot m_batchStepsSlot;

protected:
    // ---- Shared helpers (ProjectManage.cpp)
    // The entry's embedded profile when it opens, else a copy of the default
    // input profile. False when neither exists.
    bool MakeInputProfile(const CImageFileInfo& entry, CColorProfile& profile) const;
    // Runs one step on an image: the slot reports 0, ProcessImage, the slot
    // reports 100. False when the step failed or was cancelled.
    bool ApplyStep(CBaseDoc& doc, CRGBImage& image, const CStdMatrix& rgbToXyz,
                   const CDNGTranspose* raw, double scale, const BatchSizeRequest* sizeRequest,
                   Progress progress, std::vector<std::string>* details);
    bool StoreSnapshot(int index, Progress progress);
    bool RestoreSnapshot(int index, Progress progress);
    // Writes snapshot 0 when it is still pending (the working image is
    // the loaded image, unchanged); a failure drops the image and tells
    // the user (kStrSnapshotFailed). True when snapshot 0 exists.
    bool StoreBaseSnapshot();
    // Writes the working image and the converter's input state to the park
    // file and empties the image; RestoreParkedImage brings both back.
    bool ParkWorkingImage();
    bool RestoreParkedImage();
    void RedrawView(bool rebuild);
    // The LUT index of a LUT name (0 for none or an unknown name).
    int FindLUTIndex(const std::string& name) const;

    // ---- Helpers of the previews (ProjectPreview.cpp)
    // Keeps the reduced picture the loader gave, converted for display, as
    // the first look at an image of width x height pixels, and has the
    // view show it.
    void TakeFirstLook(CRGBImage& reduced, int width, int height);
    // MakeBeforePreview and MakeAfterPreview on one of the previews.
    bool MakePreview(std::unique_ptr<CImageEx>& preview, const CRect& rect, int* created);
    // Develops pixels of a RAW image with a default development when the
    // compare mode is 1 (snapshot 0 of a RAW image is undeveloped).
    bool ApplyUnprocessedView(CRGBImage& pixels);
    // Renders a rectangle of the working image into one of the previews
    // (the after preview through the preview document).
    bool RenderPreview(CImageEx* preview, const CRect& rect, int factor, bool after);
    // The tile's picture through a preview document that works pixel by
    // pixel (none: the plain pixels) and the default development of an
    // unprocessed RAW image where the compare mode asks for it: the pixels
    // shown gathered, worked on and converted in one set of row bands.
    // False when the pixels cannot be held or a step refused them.
    bool RenderWorkedPixels(CImageEx& preview, const CRect& inside, const CRect& destination,
                            int factor, bool throughDoc, const CColorTransform* lut);
    // The tile's picture at full resolution through a preview document that
    // does not work pixel by pixel: the working-image pixels the destination
    // shows, one each, through the document's ApplySamples, each band of
    // rows converted as the document finishes it. False when the pixels
    // cannot be held or the document refused them.
    bool RenderShownSamples(CImageEx& preview, const CRect& inside, const CRect& destination,
                            const CColorTransform* lut);
    static void ShownPositions(int start, int length, int shown, std::vector<int>& positions);
    // The lightness of every working-image pixel the filter's preview
    // reads, kept while the working image and its working space stay the
    // same (WorkingImageChanged, the image's size and pixels' address, the
    // working matrix); made again otherwise. Null when it cannot be held.
    std::shared_ptr<const FilterLightness> WorkingLightness(const CAccessRGBImageByLab& source);
    static bool IsSmallWork(int width, int height);
    // The rectangle of the working image, clipped to it, copied into
    // pixels, or taken through the preview document's ApplyRect. False
    // while the working image is locked or when nothing of the rectangle
    // lies inside it.
    bool TakeRectPixels(const CRect& rect, bool throughPreviewDoc, CRGBImage& pixels);
    // Fills all of pixels from the rectangle `inside` of the working image,
    // copied (reduced when pixels is smaller) or taken through the preview
    // document's ApplyRect (preview mode 2) when asked and one is set.
    void CopyWorkingRect(const CRect& inside, CRGBImage& pixels, bool throughPreviewDoc);
    // A converter of the entry's own (its input profile, the project's
    // working and monitor profiles) for loading it apart on any thread.
    bool MakeConverterOf(const CImageFileInfo& entry, CColorConverter& converter) const;
    // DevelopImageForPrint's development into image, with the entry's own
    // converter.
    bool DevelopForPrint(std::size_t checkedIndex, int width, int height, int mode,
                         const std::string& paramFile, bool fit, IPrintStepProgress* stepProgress,
                         const PrintDevelopProgress* progress, CColorConverter& converter,
                         CRGBImage& image);
    // ---- end of the helpers of the previews

    // ---- ProjectManage.cpp helpers
    // Work files and the document table (both constructors).
    void InitProject();
    // No image any more: steps -1, working image, RAW thumbnail and previews
    // emptied, the view updated; with showMessage the user is told that a
    // snapshot failed (kStrSnapshotFailed).
    void DropImage(bool showMessage);
    // ---- end of the ProjectManage.cpp helpers

    std::string m_inputProfileText;
    CImageFileInfo m_currentRecord;
    int m_compareMode = kCompareAfter;
    CDNGParamDoc m_dngParamDoc;
    CChartDoc m_chartDoc;
    CTrimmingDoc m_trimmingDoc;
    CGrayCalibDoc m_grayCalibDoc;
    CColorCalibDoc m_colorCalibDoc;
    CColorChangeDoc m_colorChangeDoc;
    CFilterDoc m_filterDoc;
    std::array<CBaseDoc*, 8> m_docs{}; // slot 0 stays null
    int m_outputFormat = kOutputTiff16;
    int m_outputOption = 2;
    std::string m_outputFolder;
    std::int16_t m_currentStep = -1;
    std::int16_t m_dirtyStep = -1;
    std::unique_ptr<CBaseDoc> m_previewDoc;
    CRGBImage m_workingImage;
    CRGBImage m_rawThumbnail;
    std::unique_ptr<CImageEx> m_beforePreview;
    std::unique_ptr<CImageEx> m_afterPreview;
    std::unique_ptr<CImageEx> m_firstLook;
    // The first look of the load that has just ended, while the view makes
    // its new preview from it.
    std::unique_ptr<CImageEx> m_previewSeed;
    int m_firstLookWidth = 0;
    int m_firstLookHeight = 0;
    std::vector<std::uint32_t> m_grayHistogram = std::vector<std::uint32_t>(256);
    std::vector<std::uint32_t> m_hueHistogram = std::vector<std::uint32_t>(360);
    std::vector<std::uint32_t> m_lightnessBins = std::vector<std::uint32_t>(256);
    std::vector<std::uint32_t> m_chromaBins = std::vector<std::uint32_t>(256);
    std::vector<std::uint32_t> m_hueBins = std::vector<std::uint32_t>(256);
    CByteLChImage m_lchImage;
    std::unique_ptr<CColorProfile> m_defaultInputProfile;
    int m_lutIndex = 0;
    IProjectImageView* m_imageView = nullptr;
    IProjectShell* m_shell = nullptr;
    IPrintDialogs* m_printDialogs = nullptr;
    std::unique_ptr<ISystemPrinters> m_printers;
    std::array<CTempFileInfo, 8> m_snapshots;
    // The interactive load left snapshot 0 unwritten: the working image is
    // the loaded image and nothing has changed it since.
    bool m_baseSnapshotPending = false;
    std::string m_parkPath;
    // What the park file holds beside the pixels: the input side of the
    // converter, so that a parked image comes back in its own colour space.
    bool m_parked = false;
    std::unique_ptr<CColorProfile> m_parkedInputProfile;
    std::string m_parkedInputProfileText;
    int m_parkedLutIndex = 0;
    int m_busy = 0;
    // Set while SetPreviewDoc redraws the view after preparing the new
    // document on the unchanged working image: it is not prepared twice.
    bool m_previewDocFresh = false;
    // Counts the changes of the working image's pixels (WorkingImageChanged).
    std::uint64_t m_workingGeneration = 0;
    // The filter preview's lightness of the working image (6000 x 4000:
    // 48 MB), kept from one change of the filter to the next while the
    // filter panel is open, and what it was made from.
    struct KeptLightness
    {
        std::shared_ptr<const FilterLightness> lightness;
        std::uint64_t generation = 0;
        const RGB16* pixels = nullptr;
        std::array<double, 9> matrix{};
    };
    KeptLightness m_workingLightness;
    std::atomic<int> m_displayBuilding{0};
    std::array<std::unique_ptr<CBaseDoc>, 7> m_printClones;
    // Guards the documents and the print clones where a cache thread copies
    // them (DevelopImageForPrint) against the commits of the UI thread.
    mutable std::mutex m_docMutex;
    std::time_t (*m_logClock)() = nullptr;
};
