#include "print/IndexImage.h"

#include "controls/support/WaitCursor.h"
#include "controls/widgets/ControlWidget.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/PathUtils.h"
#include "core/Progress.h"
#include "core/TempFiles.h"
#include "correction/ProjectManage.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

// Where the worker writes its renderings: "idx" temporary files of the
// work folder, JPEG at quality level 1 (62): small files that decode fast.
constexpr std::string_view kCachePrefix = "idx";
constexpr int kCacheJpegLevel = 1;

// Frames of the cells and the placeholder of a cell not cached yet.
const QColor kFrameColor(128, 128, 128);
const QColor kPlaceholderColor(192, 192, 192);

// Text boxes, tenths of a millimetre: title band 5 mm, page number 4 mm,
// captions 3 mm, each with a font as high as its box.
constexpr int kTitleBox = 50;
constexpr int kPageNumberBox = 40;
constexpr int kCaptionBox = 30;

QRect ToQRect(const CRect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

int Trunc(double v)
{
    return static_cast<int>(v);
}

// A one-pixel frame just inside r, as a frame brush draws it.
void FrameRect(QPainter& painter, const CRect& r, const QColor& colour)
{
    if (r.IsRectEmpty())
        return;
    const int w = r.Width();
    const int h = r.Height();
    painter.fillRect(QRect(r.left, r.top, w, 1), colour);
    painter.fillRect(QRect(r.left, r.bottom - 1, w, 1), colour);
    painter.fillRect(QRect(r.left, r.top, 1, h), colour);
    painter.fillRect(QRect(r.right - 1, r.top, 1, h), colour);
}

// The rows of an 8-bit image (blue, green, red) drawn stretched into
// destination.
void DrawImageEx(QPainter& painter, const CImageEx& image, const CRect& destination)
{
    const QImage rows(image.GetBits(), image.GetWidth(), image.GetHeight(), image.GetPitch(),
                      QImage::Format_BGR888);
    painter.drawImage(ToQRect(destination), rows);
}

} // namespace

// ---- CIndexCacheData ----------------------------------------------------

CIndexCacheData::~CIndexCacheData()
{
    if (m_cached)
        std::remove(m_cacheFile.c_str());
}

bool CIndexCacheData::SetCacheFile(const std::string& path)
{
    if (m_cached && path != m_cacheFile)
        std::remove(m_cacheFile.c_str());
    m_cacheFile = path;
    m_cached = !path.empty() && platform::IsRegularFile(path);
    return m_cached;
}

// ---- CIndexImage: model --------------------------------------------------

CIndexImage::CIndexImage(CProjectManage& project, QObject* parent)
    : QObject(parent), m_project(project)
{
}

CIndexImage::~CIndexImage()
{
    m_ready = false;
    JoinWorker();
    // What the worker handed over last belongs to no cell now.
    std::lock_guard lock(m_handOverMutex);
    for (const FinishedCell& finished : m_handOver)
        std::remove(finished.file.c_str());
    m_handOver.clear();
}

std::size_t CIndexImage::CellIndex(int entry, int mode) const
{
    return static_cast<std::size_t>(entry) * kIndexCorrectionModes + static_cast<std::size_t>(mode);
}

const CIndexCacheData* CIndexImage::Cell(int entry, int mode) const
{
    if (entry < 0 || entry >= GetPathCount() || mode < 0 || mode >= kIndexCorrectionModes)
        return nullptr;
    return m_cells[CellIndex(entry, mode)].get();
}

std::unique_ptr<CIndexCacheData> CIndexImage::CreateCellData(int entry) const
{
    const Entry& e = m_entries[static_cast<std::size_t>(entry)];
    int width = 0;
    int height = 0;
    CalcIndexCacheSize(height, width, e.width, e.height);
    return std::make_unique<CIndexCacheData>(width, height);
}

bool CIndexImage::Build()
{
    WaitCursorGuard wait;
    StopCacheThread();
    m_cells.clear();
    m_entries.clear();
    const std::size_t checked = m_project.GetCheckedCount();
    for (std::size_t n = 0; n < checked; ++n)
    {
        const CImageFileInfo* item = m_project.GetCheckedItem(n);
        if (!item || IsUnconvertedRawEntry(*item))
            continue;
        m_entries.push_back({n, item->m_path, item->m_width, item->m_height});
    }
    m_cells.resize(m_entries.size() * kIndexCorrectionModes);
    for (int e = 0; e < GetPathCount(); ++e)
        for (int mode = 0; mode < kIndexCorrectionModes; ++mode)
            m_cells[CellIndex(e, mode)] = CreateCellData(e);
    StartCacheThread();
    m_ready = true;
    return true;
}

void CIndexImage::SetPageLayout(int width, int height, int dpi)
{
    m_pageWidth = width;
    m_pageHeight = height;
    m_dpi = dpi;
}

bool CIndexImage::SetPage(int page)
{
    if (page < 1 || page > PageCount() || page == m_currentPage)
        return false;
    m_currentPage = page;
    RestartCacheThread();
    return true;
}

bool CIndexImage::SetGrid(int columns, int rows)
{
    if (columns < kIndexGridMin || columns > kIndexGridMax || rows < kIndexGridMin ||
        rows > kIndexGridMax)
        return false;
    if (columns == Options.columns && rows == Options.rows)
        return true;
    const int first = CellsPerPage() * (m_currentPage - 1);
    Options.columns = columns;
    Options.rows = rows;
    SetPage(IndexPageOfCell(first, CellsPerPage()));
    return true;
}

bool CIndexImage::SetCorrectionMode(int mode)
{
    mode = std::clamp(mode, 0, kIndexCorrectionModes - 1);
    if (mode == m_correctionMode)
        return false;
    m_correctionMode = mode;
    RestartCacheThread();
    return true;
}

void CIndexImage::SetParamFilePath(const std::string& path)
{
    if (path == m_paramFile)
        return;
    StopCacheThread();
    m_paramFile = path;
    for (int e = 0; e < GetPathCount(); ++e)
        m_cells[CellIndex(e, kIndexModeParamFile)] = CreateCellData(e);
    if (m_ready)
        StartCacheThread();
}

bool CIndexImage::IsParamFileReady() const
{
    return m_correctionMode != kIndexModeParamFile || platform::IsRegularFile(m_paramFile);
}

// ---- The worker ----------------------------------------------------------

void CIndexImage::JoinWorker()
{
    if (!m_worker.joinable())
        return;
    m_stop = true;
    {
        // The worker tests the flag under this lock before it waits, so
        // the wake-up cannot fall between its test and its wait.
        std::lock_guard lock(m_pauseMutex);
    }
    m_pauseWake.notify_all();
    m_worker.join();
    m_stop = false;
}

void CIndexImage::StopCacheThread()
{
    JoinWorker();
    TakeFinishedCells();
}

void CIndexImage::RestartCacheThread()
{
    StopCacheThread();
    if (m_ready)
        StartCacheThread();
}

void CIndexImage::StartCacheThread()
{
    if (m_worker.joinable() || m_entries.empty())
        return;
    WorkerJob job;
    job.entries = m_entries;
    job.cacheSizes.reserve(m_entries.size());
    job.cached.resize(m_cells.size());
    for (int e = 0; e < GetPathCount(); ++e)
    {
        const CIndexCacheData* first = m_cells[CellIndex(e, 0)].get();
        job.cacheSizes.emplace_back(0, 0, first->CacheWidth(), first->CacheHeight());
        for (int mode = 0; mode < kIndexCorrectionModes; ++mode)
            job.cached[CellIndex(e, mode)] = m_cells[CellIndex(e, mode)]->IsCached();
    }
    job.mode = m_correctionMode;
    job.firstCell = CellsPerPage() * (m_currentPage - 1);
    job.paramFile = m_paramFile;
    m_stop = false;
    m_worker = std::thread([this, job = std::move(job)]() mutable { RunWorker(std::move(job)); });
}

bool CIndexImage::PauseOrStop()
{
    std::unique_lock lock(m_pauseMutex);
    return m_pauseWake.wait_for(lock, m_pause, [this] { return m_stop.load(); });
}

// The worker renders the current page first, then the pages after it and
// the whole list again from the top, then the other modes in turn; once
// everything is cached it keeps polling one cell a pause. A cell that fails
// stays uncached and is tried again on the next pass.
void CIndexImage::RunWorker(WorkerJob job)
{
    platform::LowerThreadPriority();
    const int count = static_cast<int>(job.entries.size());
    while (!m_stop)
    {
        int mode = job.mode;
        int c = std::max(job.firstCell, 0);
        bool wrapped = false;
        while (c < count)
        {
            const std::size_t index = CellIndex(c, mode);
            const bool passOver =
                mode == kIndexModeParamFile && !platform::IsRegularFile(job.paramFile);
            if (!passOver && !job.cached[index])
            {
                FinishedCell finished;
                if (RenderCell(job, c, mode, finished))
                {
                    job.cached[index] = true;
                    {
                        std::lock_guard lock(m_handOverMutex);
                        m_handOver.push_back(std::move(finished));
                    }
                    QMetaObject::invokeMethod(
                        this, [this] { TakeFinishedCells(); }, Qt::QueuedConnection);
                }
            }
            if (m_stop)
                return;
            if (++c == count)
            {
                c = 0;
                if (!wrapped)
                    wrapped = true;
                else
                {
                    mode = (mode + 1) % kIndexCorrectionModes;
                    wrapped = false;
                }
            }
            if (PauseOrStop())
                return;
        }
        if (PauseOrStop())
            return;
    }
}

bool CIndexImage::RenderCell(const WorkerJob& job, int entry, int mode, FinishedCell& out)
{
    // Every report of the rendering goes to the dialog as a queued call and
    // answers whether to go on, so a stop cuts a rendering short.
    int posted = INT_MIN;
    auto report = [this, &posted](double value) {
        const int v = std::isfinite(value) ? static_cast<int>(value) : 0;
        if (v != posted)
        {
            posted = v;
            QMetaObject::invokeMethod(
                this, [this, v] { emit cacheProgress(v); }, Qt::QueuedConnection);
        }
        return !m_stop.load();
    };
    ProgressFunction sink(report);
    PrintDevelopProgress progress;
    progress.load = sink;
    for (Progress& step : progress.steps)
        step = sink;

    const Entry& e = job.entries[static_cast<std::size_t>(entry)];
    const CRect& size = job.cacheSizes[static_cast<std::size_t>(entry)];
    std::unique_ptr<CImageEx> image = m_project.DevelopImageForPrint(
        e.checkedIndex, size.right, size.bottom, mode, job.paramFile, true, nullptr, &progress);
    if (!image || image->IsNull() || m_stop)
        return false;

    std::string path;
    if (!CreateTempFile(kCachePrefix, path))
        return false;
    if (!SaveImageFile({}, kImageFileJpeg, *image, path, 0.0f, 0.0f, kCacheJpegLevel))
    {
        std::remove(path.c_str());
        return false;
    }
    out.entry = entry;
    out.mode = mode;
    out.file = std::move(path);
    out.width = image->GetWidth();
    out.height = image->GetHeight();
    return true;
}

void CIndexImage::TakeFinishedCells()
{
    std::vector<FinishedCell> taken;
    {
        std::lock_guard lock(m_handOverMutex);
        taken.swap(m_handOver);
    }
    for (FinishedCell& finished : taken)
    {
        CIndexCacheData* cell = nullptr;
        if (finished.entry >= 0 && finished.entry < GetPathCount() && finished.mode >= 0 &&
            finished.mode < kIndexCorrectionModes)
            cell = m_cells[CellIndex(finished.entry, finished.mode)].get();
        if (!cell || cell->IsCached())
        {
            std::remove(finished.file.c_str());
            continue;
        }
        if (cell->CacheWidth() <= 0 || cell->CacheHeight() <= 0)
            cell->SetCacheSize(finished.width, finished.height);
        if (cell->SetCacheFile(finished.file) && finished.mode == m_correctionMode)
            emit cellReady(finished.entry);
    }
}

// ---- Drawing -------------------------------------------------------------

CRect CIndexImage::GetCellRect(const CRect& target, int n) const
{
    CRect r = IndexCellRect(Options, m_dpi, m_pageHeight, target.Width(), target.Height(), n);
    r.left += target.left;
    r.right += target.left;
    r.top += target.top;
    r.bottom += target.top;
    return r;
}

void CIndexImage::DrawTitleBand(QPainter& painter, const CRect& target)
{
    const IndexBands bands = IndexPageBands(Options, m_dpi);
    const double sy =
        m_pageHeight > 0 ? static_cast<double>(target.Height()) / m_pageHeight : 0.0;
    const int top = target.top + Trunc(2 * sy);
    const CRect band(target.left, top, target.right, top + Trunc(bands.title * sy));
    DrawScaledText(painter, QString::fromStdString(Title), Qt::AlignCenter,
                   IndexBoxTenthMM(m_pageWidth, m_dpi), kTitleBox, band, kTitleBox);
}

bool CIndexImage::DrawPage(bool preview, QPainter& painter, const CRect& target, int page,
                           bool& cancelled, IIndexPageProgress* progress)
{
    cancelled = false;
    const PainterStateGuard scope(painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.fillRect(ToQRect(target), Qt::white);

    const double sx = m_pageWidth > 0 ? static_cast<double>(target.Width()) / m_pageWidth : 0.0;
    const double sy =
        m_pageHeight > 0 ? static_cast<double>(target.Height()) / m_pageHeight : 0.0;
    const IndexBands bands = IndexPageBands(Options, m_dpi);

    if (Options.title)
        DrawTitleBand(painter, target);
    if (Options.pageNumber)
    {
        const int bottom = target.bottom - Trunc(2 * sy);
        const CRect band(target.left, bottom - Trunc(bands.footer * sy), target.right, bottom);
        DrawScaledText(painter, QStringLiteral("%1 / %2").arg(page).arg(PageCount()),
                       Qt::AlignCenter, IndexBoxTenthMM(m_pageWidth, m_dpi), kPageNumberBox,
                       band, kPageNumberBox);
    }

    const int n = CellsPerPage();
    const int count = GetPathCount();
    const int captionHeight = Trunc(bands.caption * sy);
    for (int i = 0; i < n; ++i)
    {
        const long long j = static_cast<long long>(page - 1) * n + i;
        const CRect r = GetCellRect(target, i);
        if (j >= 0 && j < count)
        {
            const Entry& e = m_entries[static_cast<std::size_t>(j)];
            const std::string name = GetFileNameFromPath(e.path);
            if (progress)
                progress->SetFileName(name);
            if (!DrawCell(r, preview, painter, static_cast<int>(j), progress))
            {
                cancelled = progress && progress->CancelTaken();
                return false;
            }
            // Captions run below the picture, one line each.
            const int box = IndexBoxTenthMM(sx > 0.0 ? r.Width() / sx : 0.0, m_dpi);
            int top = r.bottom;
            if (Options.fileName)
            {
                const int lineTop = r.bottom + Trunc(2 * sy);
                const CRect line(r.left, lineTop, r.right, lineTop + captionHeight);
                DrawScaledText(painter, QString::fromStdString(name),
                               Qt::AlignLeft | Qt::AlignVCenter, box, kCaptionBox, line,
                               kCaptionBox);
                top = line.bottom;
            }
            if (Options.imageSize)
            {
                const CRect line(r.left, top, r.right, top + captionHeight);
                DrawScaledText(painter, QStringLiteral("%1 x %2").arg(e.width).arg(e.height),
                               Qt::AlignLeft | Qt::AlignTop, box, kCaptionBox, line,
                               kCaptionBox);
            }
            if (progress && !progress->CellDone())
            {
                cancelled = true;
                return false;
            }
        }
        // Empty positions of the last page get their frame too.
        if (Options.frame)
            FrameRect(painter, r, kFrameColor);
    }
    return true;
}

bool CIndexImage::DrawCell(const CRect& r, bool preview, QPainter& painter, int entry,
                           IIndexPageProgress* progress)
{
    if (entry < 0 || entry >= GetPathCount())
        return false;
    return preview ? DrawPreviewCell(r, painter, entry)
                   : DrawPrintedCell(r, painter, entry, progress);
}

bool CIndexImage::DrawPreviewCell(const CRect& r, QPainter& painter, int entry)
{
    std::unique_ptr<CIndexCacheData>& slot = m_cells[CellIndex(entry, m_correctionMode)];
    if (!slot)
        slot = CreateCellData(entry);
    const CIndexCacheData& cell = *slot;
    const CRect fitted = FitRectToAspect(r, cell.CacheWidth(), cell.CacheHeight());

    CImageEx pixels;
    if (cell.IsCached() && pixels.Load(cell.CacheFile()) && !pixels.IsNull())
    {
        DrawImageEx(painter, pixels, fitted);
        return true;
    }
    // Not cached yet, or the file cannot be read: a grey frame with both
    // diagonals.
    if (!fitted.IsRectEmpty())
    {
        const PainterStateGuard scope(painter);
        FrameRect(painter, fitted, kPlaceholderColor);
        painter.setPen(QPen(kPlaceholderColor, 0));
        painter.drawLine(fitted.left, fitted.top, fitted.right - 1, fitted.bottom - 1);
        painter.drawLine(fitted.left, fitted.bottom - 1, fitted.right - 1, fitted.top);
    }
    return true;
}

bool CIndexImage::DrawPrintedCell(const CRect& r, QPainter& painter, int entry,
                                  IIndexPageProgress* progress)
{
    const Entry& e = m_entries[static_cast<std::size_t>(entry)];
    IndexPrintPlacement place = PlacePrintedPicture(r, e.width, e.height);
    if (place.destination.IsRectEmpty())
    {
        // A record without its size: developed to fill the cell.
        if (r.IsRectEmpty())
            return false;
        place = {r, r.Width(), r.Height()};
    }
    if (!m_cellPainter)
        return false;
    CRGBImage image;
    LogColorSpace colorSpace;
    if (!m_project.DevelopPrintCopy(e.checkedIndex, place.developWidth, place.developHeight,
                                    m_correctionMode, m_paramFile, false,
                                    progress ? progress->StepProgress() : nullptr,
                                    progress ? progress->DevelopProgress() : nullptr, image,
                                    colorSpace) ||
        image.IsEmpty())
        return false;
    return m_cellPainter->DrawCell(painter, image, colorSpace, place.destination);
}

void CIndexImage::DrawPreviewPage(QPainter& painter, const CRect& target)
{
    if (!m_ready)
        return;
    bool cancelled = false;
    DrawPage(true, painter, target, m_currentPage, cancelled, nullptr);
}

void CIndexImage::DrawTitle(QPainter& painter, const CRect& target)
{
    if (!Options.title)
        return;
    const PainterStateGuard scope(painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    DrawTitleBand(painter, target);
}

void CIndexImage::DrawCellIfShown(QPainter& painter, const CRect& target, int j)
{
    const int n = CellsPerPage();
    if (n == 0 || j < 0 || j >= GetPathCount() || j / n + 1 != m_currentPage)
        return;
    const PainterStateGuard scope(painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    DrawCell(GetCellRect(target, j % n), true, painter, j, nullptr);
}

bool CIndexImage::PrintPage(QPainter& painter, int page, bool& cancelled,
                            IIndexPageProgress* progress)
{
    cancelled = false;
    if (!m_ready)
        return false;
    return DrawPage(false, painter, CRect(0, 0, m_pageWidth, m_pageHeight), page, cancelled,
                    progress);
}

// ---- Text ------------------------------------------------------------------

void DrawScaledText(QPainter& painter, const QString& text, int flags, int boxWidth, int boxHeight,
                    const CRect& destination, int fontHeight)
{
    if (boxWidth <= 0 || boxHeight <= 0 || destination.IsRectEmpty())
        return;
    QImage box(boxWidth, boxHeight, QImage::Format_RGB32);
    box.fill(Qt::white);
    {
        QPainter p(&box);
        QFont font = QGuiApplication::font();
        font.setPixelSize(std::max(1, fontHeight));
        font.setWeight(QFont::ExtraLight);
        p.setFont(font);
        p.setPen(Qt::black);
        const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, boxWidth);
        p.drawText(QRect(0, 0, boxWidth, boxHeight), flags | Qt::TextSingleLine, shown);
    }
    painter.drawImage(ToQRect(destination), box);
}
