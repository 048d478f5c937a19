#include "imagefile/ImageLoadSave.h"

#include "core/ErrorRecord.h"
#include "core/GammaTable.h"
#include "core/GlobalSettings.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/ImageOrientation.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "core/RowBands.h"
#include "imagefile/ReloadCache.h"
#include "core/StdMatrix.h"
#include "core/TempFiles.h"
#include "imagefile/DNGFile.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/TiffFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Lines are reported every 200 lines: often enough for a progress bar,
// seldom enough to cost nothing.
constexpr int kProgressLines = 200;
// The part of a codec load's progress that its decode fills; the
// conversion of the decoded rows fills the rest.
constexpr double kDecodedShare = 0.7;
// Rows per band of the 16-bit TIFF reader.
constexpr int kTiffBandRows = 64;

// Forwards a line operation's progress into a part [start, end] of the
// whole: the load's or save's progress hears of it only when the line
// crosses into a new block of kProgressLines lines.
struct ProgressRange
{
    Progress progress;
    double start = 0.0;
    double end = 1.0;
    int lastLine = -1;

    bool Step(int line, int lines)
    {
        if (lastLine >= 0 && line / kProgressLines <= lastLine / kProgressLines)
        {
            return true;
        }
        lastLine = line;
        if (!progress)
        {
            return true;
        }
        return progress.Report(start + (end - start) * CountFraction(line, lines));
    }
};

// The rows (row, height) of a CRGBImage operation through a range.
auto RowsInto(ProgressRange& range)
{
    return ProgressFunction([&range](std::int64_t row, std::int64_t rows) {
        return range.Step(static_cast<int>(row), static_cast<int>(rows));
    });
}

ReloadImageInfo InfoOf(const CImageFileInfo& info)
{
    return {info.m_detectedType, info.m_width, info.m_height, info.m_xResolution,
            info.m_yResolution};
}

void TakeInfo(CImageFileInfo& info, const ReloadImageInfo& cached)
{
    info.m_detectedType = cached.type;
    info.m_width = cached.width;
    info.m_height = cached.height;
    info.m_xResolution = cached.xResolution;
    info.m_yResolution = cached.yResolution;
}

Progress g_converterProgress;
const std::atomic<bool>* g_converterCancel = nullptr;

// Whole dots per inch for the TIFF header: truncated, 0 for anything that
// is not at least 1 (which the writer refuses).
std::uint32_t WholeDpi(float dpi)
{
    if (!(dpi >= 1.0f))
    {
        return 0;
    }
    if (dpi >= 4294967295.0f)
    {
        return 4294967295u;
    }
    return static_cast<std::uint32_t>(dpi);
}

// Runs work on a thread of its own while the calling thread reports
// position() to the progress every few milliseconds: a decoder that cannot
// report itself (it is on the other thread) then keeps a progress that
// handles the pending events (the main window's) live, and the bar follows
// what the work lets position read. The work cannot be stopped: a cancel is
// answered once it is done, with false, the position held where the
// cancel was asked. Without a progress (or a thread) it runs here.
bool RunWhileReporting(Progress progress, const std::function<double()>& position,
                       const std::function<void()>& work)
{
    if (!progress)
    {
        work();
        return true;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread worker;
    try
    {
        worker = std::thread([&] {
            work();
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
            finished.notify_one();
        });
    }
    catch (const std::system_error&)
    {
        work();
        return progress.Report(position());
    }
    // At least one report, however quick the work.
    bool goOn = true;
    double value = 0.0;
    std::unique_lock<std::mutex> lock(mutex);
    do
    {
        lock.unlock();
        if (goOn)
            value = position();
        goOn = progress.Report(value) && goOn;
        lock.lock();
    } while (!finished.wait_for(lock, std::chrono::milliseconds(5), [&] { return done; }));
    lock.unlock();
    worker.join();
    return goOn;
}

// Runs first on a thread of its own and second on this one, and returns
// when both are done; without a thread, one after the other.
void RunSideBySide(const std::function<void()>& first, const std::function<void()>& second)
{
    std::thread other;
    try
    {
        other = std::thread(first);
    }
    catch (const std::system_error&)
    {
        first();
        second();
        return;
    }
    second();
    other.join();
}

// Makes the loader's image width x height. An image of another size gives
// its pixels up first (one image held at a time), and the new buffer is
// allocated and cleared by RunWhileReporting: its pages are touched for the
// first time there, which for a large image takes long enough to be felt.
// When given, `alongside` (a decode) runs meanwhile, the allocation then on
// a thread of its own; it runs whatever the allocation's outcome. The
// progress hears position() meanwhile (0 without one).
// 1 done, 0 cancelled, -1 out of memory.
int CreateImage(CRGBImage& image, int width, int height, Progress progress,
                const std::function<void()>& alongside = {},
                const std::function<double()>& position = {})
{
    const bool reuse =
        !image.IsEmpty() && width > 0 && height > 0 &&
        image.GetPixelCount() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (reuse && !alongside)
        return image.Create(width, height) ? 1 : -1;
    if (!reuse)
        image = CRGBImage();
    CRGBImage fresh;
    CRGBImage& target = reuse ? image : fresh;
    bool created = false;
    const auto create = [&] { created = target.Create(width, height); };
    const auto reported = [&position] { return position ? position() : 0.0; };
    const bool goOn = RunWhileReporting(progress, reported, [&] {
        if (alongside)
            RunSideBySide(create, alongside);
        else
            create();
    });
    if (!created)
        return -1;
    if (!reuse)
        image = std::move(fresh);
    return goOn ? 1 : 0;
}

// The loaders by type, reading the file the probe left open when there is
// one (else they open info.m_path themselves).
int LoadTiff16(CImageFileInfo& info, ProbedImageFile& opened, CRGBImage& image,
               const CRGBGammaTable* tables, const CRGBMatrix* matrix, Progress progress);
int LoadByCodec(CImageFileInfo& info, ProbedImageFile& opened, CRGBImage& image,
                const CRGBGammaTable* tables, const CRGBMatrix* matrix, Progress progress,
                const FirstLookSink& firstLook);

} // namespace

double LineProgress(int y, int lines)
{
    return lines > 1 ? static_cast<double>(y) / (lines - 1) : 1.0;
}

void SetConverterProgress(Progress progress)
{
    g_converterProgress = progress;
}

void SetConverterCancelFlag(const std::atomic<bool>* cancel)
{
    g_converterCancel = cancel;
}

int LoadImage(CImageFileInfo& info, CRGBImage& image, const CRGBGammaTable* tables,
              const CRGBMatrix* matrix, Progress progress, bool showConverterProgress,
              const FirstLookSink& firstLook)
{
    const std::string path = info.m_path;
    CAtLoadFile guard(path);
    CancelWatch watch(progress);

    // The file stays open from its probe to its decoding: one open, one
    // parse of its header.
    ProbedImageFile opened;
    if (!info.ReadInfo(path, &opened))
    {
        info.m_path = path;
        info.m_error = 1;
        info.m_state = kLoadStateNoInfo;
        RemoveReloadImage(path);
        return 0;
    }

    ReloadImageInfo cached;
    if (RestoreReloadImage(path, cached, &info.m_transform, image, watch.Watched()) == 1)
    {
        TakeInfo(info, cached);
        info.m_error = 0;
        info.m_state = kLoadStateDone;
        return 1;
    }
    if (watch.Cancelled())
    {
        return 0;
    }

    int result = 0;
    const int type = info.m_type;
    switch (type)
    {
    case kImageFileTiff16:
        result = LoadTiff16(info, opened, image, tables, matrix, watch.Watched());
        break;
    case kImageFileTiff8:
    case kImageFileJpeg:
        result = LoadByCodec(info, opened, image, tables, matrix, watch.Watched(), firstLook);
        break;
    case kImageFileDng:
        result = DevelopDngImage(info, image, watch.Watched());
        break;
    case kImageFileRaw:
        result = DevelopRawImage(info, image, watch.Watched(), showConverterProgress);
        break;
    default:
        break;
    }

    if (result)
    {
        if (type == kImageFileDng || type == kImageFileRaw)
        {
            // The cache is keyed by the file the user chose: for a camera
            // RAW file the record now names the DNG made from it, but the
            // next selection of the RAW file is what must find the image.
            StoreReloadImage(image, path, InfoOf(info), info.m_transform.get());
        }
        info.m_error = 0;
        info.m_state = kLoadStateDone;
    }
    else
    {
        RemoveReloadImage(path);
        if (!watch.Cancelled())
        {
            info.m_error = 1;
        }
    }
    return result;
}

namespace {

int LoadTiff16(CImageFileInfo& info, ProbedImageFile& opened, CRGBImage& image,
               const CRGBGammaTable* tables, const CRGBMatrix* matrix, Progress progress)
{
    CTiffFile tiff;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const bool open = opened.IsOpen() ? tiff.OpenFile(opened.ReleaseTiffFile())
                                      : tiff.Open(info.m_path, CTiffFile::kModeRead);
    if (!open || !tiff.ReadHeader() || !tiff.GetSize(width, height) || info.m_width < 1 ||
        info.m_height < 1 || width != static_cast<std::uint32_t>(info.m_width) ||
        height != static_cast<std::uint32_t>(info.m_height))
    {
        info.m_state = kLoadStateOther;
        return 0;
    }
    const int created = CreateImage(image, info.m_width, info.m_height, progress);
    if (created <= 0)
    {
        if (created < 0)
            info.m_state = kLoadStateNoMemory;
        return 0;
    }
    const CWriteRGBImage writer(image, tables, matrix);
    const int rows = info.m_height;
    const std::size_t columns = static_cast<std::size_t>(info.m_width);
    if (tiff.GetBitsPerSample().empty() || tiff.GetBitsPerSample()[0] != 16)
    {
        // 8-bit lines widen one by one.
        std::vector<RGB16> line;
        std::vector<RGB16> scratch(columns);
        for (int y = 0; y < rows; ++y)
        {
            if (!tiff.GetLine(static_cast<std::uint32_t>(y), line) || line.size() != columns)
            {
                info.m_state = kLoadStateOther;
                return 0;
            }
            writer.ConvertPixels(line.data(), writer.StoredRow(y), columns, scratch.data());
            if (y % kProgressLines == 0 && !progress.Report(LineProgress(y, rows)))
                return 0;
        }
        return 1;
    }
    // 16-bit lines are read straight into the image's rows and converted
    // there, in bands of rows on all cores (the reads and the conversion of
    // a row do not depend on the thread); this thread reports the progress
    // as the bands finish.
    std::atomic<bool> readFailed{false};
    const int bands = (rows + kTiffBandRows - 1) / kTiffBandRows;
    const bool loaded = RunBands(
        bands, 0,
        [&](int, int band) {
            const int first = band * kTiffBandRows;
            const int end = std::min(rows, first + kTiffBandRows);
            if (!tiff.ReadLines16(static_cast<std::uint32_t>(first),
                                  static_cast<std::uint32_t>(end - first), writer.StoredRow(first)))
            {
                readFailed = true;
                return;
            }
            std::vector<RGB16> scratch(columns);
            for (int y = first; y < end; ++y)
                writer.ConvertPixels(writer.StoredRow(y), writer.StoredRow(y), columns,
                                     scratch.data());
        },
        [&](int band) {
            return !readFailed.load() &&
                   progress.Report(LineProgress(band * kTiffBandRows, rows));
        });
    if (!loaded)
    {
        if (readFailed.load())
            info.m_state = kLoadStateOther;
        return 0;
    }
    return 1;
}

} // namespace

int LoadTiffImage(CImageFileInfo& info, CRGBImage& image, const CRGBGammaTable* tables,
                  const CRGBMatrix* matrix, Progress progress)
{
    ProbedImageFile none;
    return LoadTiff16(info, none, image, tables, matrix, progress);
}

namespace {

// A JPEG of this many pixels or more takes long enough to decode (some
// tenths of a second at 24 megapixels) for a first look to be worth its
// second, reduced decode.
constexpr std::int64_t kFirstLookMinimumPixels = 4'000'000;

// The first look of a JPEG load: the file is decoded a second time at 1/8
// of its size (libjpeg scales while it decodes the DCT blocks, so this
// costs a fraction of the full decode), on a thread of its own beside the
// full decode, and converted as the working image will be. The first of
// the load's progress reports after that, which come on the loading
// thread, hands it to the listener once the load's own progress has said
// to go on. Nothing is handed over once a report has asked to
// stop, nor after the load (Finish).
class FirstLook final : public IProgressSink
{
public:
    FirstLook(const CImageFileInfo& info, const CRGBGammaTable* tables, const CRGBMatrix* matrix,
              const FirstLookSink& sink, Progress progress)
        : m_sink(sink), m_progress(progress)
    {
        if (!sink || !progress || info.m_type != kImageFileJpeg ||
            static_cast<std::int64_t>(info.m_width) * info.m_height < kFirstLookMinimumPixels)
            return;
        try
        {
            m_thread = std::thread([this, path = info.m_path, tables, matrix] {
                Decode(path, tables, matrix);
            });
        }
        catch (const std::system_error&)
        {
            // No thread: the load goes on without a first look.
        }
    }
    ~FirstLook() override { Finish(); }
    FirstLook(const FirstLook&) = delete;
    FirstLook& operator=(const FirstLook&) = delete;

    // The handle the load reports through.
    Progress Watched() { return m_thread.joinable() ? Progress(*this) : m_progress; }
    // The load is over: nothing more is handed over.
    void Finish()
    {
        m_over = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // The load's own progress answers first: a report that asks to stop
    // hands nothing over, however early the look was ready.
    bool Report(double value) override
    {
        const bool goOn = Note(m_progress.Report(value));
        HandOver();
        return goOn;
    }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        const bool goOn = Note(m_progress.Report(done, total));
        HandOver();
        return goOn;
    }

private:
    void Decode(const std::string& path, const CRGBGammaTable* tables, const CRGBMatrix* matrix)
    {
        CImageEx display;
        if (!display.Load(path, 1) || m_over)
            return;
        const CRect whole(0, 0, display.GetWidth(), display.GetHeight());
        if (!m_reduced.Create(display.GetWidth(), display.GetHeight()) ||
            !m_reduced.LoadFromDIB(display, whole, whole, tables, matrix))
            return;
        m_ready.store(true, std::memory_order_release);
    }

    void HandOver()
    {
        if (m_handed || m_over || m_stopped || !m_ready.load(std::memory_order_acquire))
            return;
        m_handed = true;
        m_sink(m_reduced);
    }

    bool Note(bool goOn)
    {
        m_stopped = m_stopped || !goOn;
        return goOn;
    }

    const FirstLookSink& m_sink;
    Progress m_progress;
    CRGBImage m_reduced;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_over{false};
    bool m_handed = false;
    bool m_stopped = false;
    std::thread m_thread;
};

int LoadByCodec(CImageFileInfo& info, ProbedImageFile& opened, CRGBImage& image,
                const CRGBGammaTable* tables, const CRGBMatrix* matrix, Progress progress,
                const FirstLookSink& firstLook)
{
    // A large JPEG gives a first look while it decodes.
    FirstLook look(info, tables, matrix, firstLook, progress);
    progress = look.Watched();
    // The codec decodes the whole file in one call: apart from the
    // user-interface thread, which stays live meanwhile, and beside the
    // allocation of the working image. The decode is the longer part of
    // the load: the progress follows its rows up to kDecodedShare.
    CImageEx display;
    bool decoded = false;
    std::atomic<double> rowsDecoded{0.0};
    const int created = CreateImage(
        image, info.m_width, info.m_height, progress,
        [&] {
            decoded = opened.IsOpen() ? display.Load(std::move(opened), 0, &rowsDecoded)
                                      : display.Load(info.m_path, 0, &rowsDecoded);
        },
        [&rowsDecoded] { return kDecodedShare * rowsDecoded.load(std::memory_order_relaxed); });
    if (created == 0)
        return 0;
    if (!decoded)
    {
        info.m_state = kLoadStateOther;
        return 0;
    }
    if (created < 0)
    {
        info.m_state = kLoadStateNoMemory;
        return 0;
    }
    ProgressRange range{progress, kDecodedShare, 1.0};
    auto rows = RowsInto(range);
    const CRect src(0, 0, display.GetWidth(), display.GetHeight());
    const CRect dst(0, 0, info.m_width, info.m_height);
    if (!image.LoadFromDIB(display, src, dst, tables, matrix, rows))
    {
        info.m_state = kLoadStateOther;
        return 0;
    }
    return 1;
}

} // namespace

int LoadImageByGdiplus(CImageFileInfo& info, CRGBImage& image, const CRGBGammaTable* tables,
                       const CRGBMatrix* matrix, Progress progress, const FirstLookSink& firstLook)
{
    ProbedImageFile none;
    return LoadByCodec(info, none, image, tables, matrix, progress, firstLook);
}

int DevelopDngImage(CImageFileInfo& info, CRGBImage& image, Progress progress)
{
    CDNGFile dng;
    if (!dng.Open(info.m_path) || dng.GetImageWidth() != static_cast<unsigned>(info.m_width) ||
        dng.GetImageHeight() != static_cast<unsigned>(info.m_height))
    {
        info.m_state = kLoadStateOther;
        return 0;
    }
    if (!dng.Develop(progress))
    {
        return 0;
    }

    info.m_state = kLoadStateOther;
    if (!image.Create(info.m_width, info.m_height))
    {
        info.m_state = kLoadStateNoMemory;
        return 0;
    }
    const int lineWidth = static_cast<int>(dng.GetOutputWidth());
    const int lines = static_cast<int>(dng.GetOutputHeight());
    const double start = dng.GetFinalProgress();
    // The developed lines must fit the image in the orientation's frame.
    const OrientationMap map = MapOrientation(dng.GetImageTags().orientation, lineWidth, lines);
    if (map.uprightWidth != image.GetWidth() || map.uprightHeight != image.GetHeight())
    {
        return 0;
    }

    std::vector<RGB16> line(static_cast<std::size_t>(lineWidth));
    CAccessRGBImage access(image); // holds the image locked while it is filled
    RGB16* const pixels = image.Lock();
    const std::ptrdiff_t first = map.Start(1, image.GetWidth());
    const std::ptrdiff_t column = map.ColumnStep(1, image.GetWidth());
    const std::ptrdiff_t row = map.RowStep(1, image.GetWidth());
    for (int n = 0; n < lines; ++n)
    {
        if (!dng.GetLine(static_cast<unsigned>(n), line.data()))
        {
            return 0;
        }
        PlaceRow<1>(line.data(), line.size(), pixels, first + n * row, column);
        if (n % kProgressLines == 0 &&
            !progress.Report(start + LineProgress(n, lines) * (1.0 - start)))
        {
            return 0;
        }
    }
    info.m_state = kLoadStateDone;
    return 1;
}

int DevelopRawImage(CImageFileInfo& info, CRGBImage& image, Progress progress,
                    bool showConverterProgress)
{
    if (!IsConvertibleRawFile(info.m_path))
    {
        info.m_state = kLoadStateOther;
        return 0;
    }
    std::string dngName =
        AddBackslash(GetDngOutputPath()) + GetFileTitleFromPath(info.m_path) + ".dng";
    MakeUniqueFileName(dngName);

    CDNGConverterManager converter;
    converter.m_converterPath = GetDNGConverterPath();
    converter.m_linear = false;
    converter.m_outputFolder = GetFolderFromPath(dngName);
    converter.m_outputName = GetFileNameFromPath(dngName);
    // Only a conversion whose progress is shown has a Cancel to press.
    if (showConverterProgress)
        converter.SetCancelFlag(g_converterCancel);
    if (!converter.Convert(info.m_path, showConverterProgress ? g_converterProgress : Progress()))
    {
        info.m_state =
            converter.GetStatus() == kDngConvExitCode ? kLoadStateConverter : kLoadStateOther;
        return 0;
    }
    if (!info.ReadInfo(dngName))
    {
        info.m_state = kLoadStateOther;
        return 0;
    }
    return DevelopDngImage(info, image, progress);
}

// The display rows of a JPEG saved at the image's own size. A worker thread
// converts them (the same pixels CopyRectConverted draws) into a ring of
// rows a little ahead of the encoder, so conversion and compression run side
// by side and no 8-bit copy of the whole image is made. The reader is made,
// and the image locked, on the calling thread; the worker only uses its
// const conversion, as CopyRectConvertedParallel's threads do. Progress
// and cancelling stay on the calling thread (in Row).
class ConvertedRows final : public JpegRowSource
{
public:
    ConvertedRows(CRGBImage& image, const CRGBMatrix* matrix, const CRGBGammaTable* tables,
                  ProgressRange& range)
        : m_reader(image, tables, matrix), m_range(range), m_width(image.GetWidth()),
          m_height(image.GetHeight())
    {
    }

    ~ConvertedRows() override
    {
        m_stop.store(true);
        m_held.store(INT_MAX / 2);
        m_held.notify_all();
        if (m_worker.joinable())
        {
            m_worker.join();
        }
    }

    ConvertedRows(const ConvertedRows&) = delete;
    ConvertedRows& operator=(const ConvertedRows&) = delete;

    bool Start()
    {
        if (!m_ring.Create(m_width, kRingRows))
        {
            return false;
        }
        try
        {
            m_worker = std::thread([this] { Convert(); });
        }
        catch (const std::system_error&)
        {
            return false;
        }
        return true;
    }

    bool Stopped() const { return m_stopped; }

    const std::uint8_t* Row(int y) override
    {
        if (!m_range.Step(y, m_height))
        {
            m_stopped = true;
            return nullptr;
        }
        // Rows above y are done with: the worker may reuse their slots.
        m_held.store(y);
        m_held.notify_one();
        for (int ready = m_ready.load(); ready <= y; ready = m_ready.load())
        {
            m_ready.wait(ready);
        }
        return m_ring.GetPixelAddress(0, y % kRingRows);
    }

private:
    static constexpr int kRingRows = 64;

    void Convert()
    {
        std::vector<RGB16> line(static_cast<std::size_t>(m_width));
        for (int r = 0; r < m_height; ++r)
        {
            for (int held = m_held.load(); r >= held + kRingRows; held = m_held.load())
            {
                m_held.wait(held);
            }
            if (m_stop.load())
            {
                return;
            }
            m_reader.ConvertPixels(&m_reader.GetStoredPixel(0, r), line.data(), line.size());
            CopyRGB16ToDIBLine(m_ring, line.data(), m_width, r % kRingRows, 0);
            m_ready.store(r + 1);
            m_ready.notify_one();
        }
    }

    const CReadRGBImage m_reader;
    ProgressRange& m_range;
    int m_width;
    int m_height;
    CImageEx m_ring;
    std::atomic<int> m_held{0};  // the row the encoder reads
    std::atomic<int> m_ready{0}; // rows converted
    std::atomic<bool> m_stop{false};
    bool m_stopped = false;
    std::thread m_worker;
};

int SaveImageByGdiplus(const CImageFileInfo& output, CRGBImage& image, const CRGBMatrix* matrix,
                       const CRGBGammaTable* tables, Progress progress)
{
    if (output.m_type == kImageFileJpeg && output.m_width == image.GetWidth() &&
        output.m_height == image.GetHeight() && output.m_width > 0 && output.m_height > 0)
    {
        ProgressRange range{progress, 0.0, 1.0};
        ConvertedRows rows(image, matrix, tables, range);
        if (!rows.Start())
        {
            return 0;
        }
        // The writer replaces the target in one piece: a failure (or a
        // cancel) leaves the old file as it was.
        errno = 0;
        if (SaveJpegFile(output.m_iccProfile, output.m_width, output.m_height, rows, output.m_path,
                         output.m_xResolution, output.m_yResolution, output.m_jpegQuality))
        {
            return 1;
        }
        if (rows.Stopped())
        {
            return 0;
        }
        ShowLastErrorBox(errno != 0 ? errno : EIO);
        return 0;
    }
    CImageEx display;
    if (!display.Create(output.m_width, output.m_height))
    {
        return 0;
    }
    ProgressRange range{progress, 0.0, 0.7};
    auto rows = RowsInto(range);
    const CRect src(0, 0, image.GetWidth(), image.GetHeight());
    const CRect dst(0, 0, output.m_width, output.m_height);
    if (!image.CopyRectConverted(display, src, dst, matrix, tables, rows, nullptr, nullptr))
    {
        return 0;
    }
    // The writer replaces the target in one piece: a failure leaves the
    // old file as it was.
    errno = 0;
    if (!SaveImageFile(output.m_iccProfile, output.m_type, display, output.m_path,
                       output.m_xResolution, output.m_yResolution, output.m_jpegQuality))
    {
        ShowLastErrorBox(errno != 0 ? errno : EIO);
        return 0;
    }
    return 1;
}

int SaveTiff16(const CRGBGammaTable* tables, const CImageFileInfo& output, CRGBImage& image,
               Progress progress)
{
    if (output.m_width < 1 || output.m_height < 1 || image.GetWidth() != output.m_width ||
        image.GetHeight() != output.m_height)
    {
        return 0;
    }
    TiffNewHeader header;
    header.width = static_cast<std::uint32_t>(output.m_width);
    header.height = static_cast<std::uint32_t>(output.m_height);
    header.unit = 2;
    header.hRes = WholeDpi(output.m_xResolution);
    header.vRes = WholeDpi(output.m_yResolution);
    header.icc = output.m_iccProfile;
    header.rowsPerStrip = header.height;

    // The writer builds the file beside the target and renames it over the
    // target only at a successful Close; leaving early discards it.
    // A file that cannot be made or written is told like a failed
    // rename (a folder without write access, a full disk); a cancel is not.
    CTiffFile tiff;
    errno = 0;
    if (!tiff.Open(output.m_path, CTiffFile::kModeWrite) || !tiff.SetHeaderNew(header))
    {
        ShowLastErrorBox(errno != 0 ? errno : EIO);
        return 0;
    }
    std::vector<RGB16> line(static_cast<std::size_t>(output.m_width));
    {
        CReadRGBImage reader(image, tables, nullptr);
        for (int y = 0; y < output.m_height; ++y)
        {
            reader.SetCursor(0, y);
            reader.ReadLine(line.data(), line.size());
            errno = 0;
            if (!tiff.WriteLine(static_cast<std::uint32_t>(y), line))
            {
                ShowLastErrorBox(errno != 0 ? errno : EIO);
                return 0;
            }
            if (y % kProgressLines == 0 && !progress.Report(LineProgress(y, output.m_height)))
            {
                return 0;
            }
        }
    }
    errno = 0;
    if (!tiff.Close())
    {
        ShowLastErrorBox(errno != 0 ? errno : EIO);
        return 0;
    }
    return 1;
}

void MakeOutputFileName(int format, std::string& out, const std::string& path)
{
    const std::string folder = GetFolderFromPath(path);
    const std::string title = GetFileTitleFromPath(path);
    const char* ext = "";
    if (format == 0 || format == 1)
    {
        ext = ".tif";
    }
    else if (format == 2)
    {
        ext = ".jpg";
    }
    out = folder + title + ext;
}
