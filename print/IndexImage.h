#pragma once
// CIndexImage: the page model of an index print (a contact sheet of the
// marked images of the list). It holds one entry per printable marked
// image, the cells that cache each image at a reduced size in each of the
// four correction modes, the layout the index-print dialog edits, and the
// worker that fills the cache so that the preview can be drawn quickly.
// It draws a page for the preview (from the cached cells) or for the
// printer (each image developed at the size it is printed at).
//
// Threads. The cells belong to the user-interface thread. The worker works
// on a copy of what it needs (the entries, which cells are cached, the
// mode, the first cell of the current page, the parameter file) taken when
// it starts; it writes each finished rendering into a temporary JPEG of
// the work folder and hands (entry, mode, file, size) over through a list
// under a mutex, then asks the user-interface thread by a queued call to
// take the list. Only that thread turns a hand-over into a cached cell.
// StopCacheThread asks the worker to stop, wakes it from its pause, joins
// it and takes what it handed over, so anything that replaces cells or
// changes what the worker reads first stops it, and the next worker
// starts from the cells as they stand. A rendering in progress sees the
// stop through its progress callbacks and ends early.
//
// Files. A cell's cache file ("idx*.tmp" in the work folder, so that the
// start-up clean-up finds what a crash left) lives exactly as long as the
// cell; a hand-over that no cell takes any more is deleted on the spot.

#include "core/Rect.h"
#include "print/IndexImageLogic.h"
#include "print/PrintJob.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CImageEx;
class CProjectManage;
class CRGBImage;
class IPrintStepProgress;
class QPainter;
struct PrintDevelopProgress;

// One cached rendering of one image in one correction mode.
class CIndexCacheData
{
public:
    CIndexCacheData(int width, int height) : m_cacheWidth(width), m_cacheHeight(height) {}
    // Deletes the cache file of a cached cell.
    virtual ~CIndexCacheData();
    // A cell owns its file: it is never copied.
    CIndexCacheData(const CIndexCacheData&) = delete;
    CIndexCacheData& operator=(const CIndexCacheData&) = delete;

    // Takes the file as the cell's cache; the cell counts as cached only
    // when the file exists. A file held before is deleted.
    bool SetCacheFile(const std::string& path);
    void SetCacheSize(int width, int height)
    {
        m_cacheWidth = width;
        m_cacheHeight = height;
    }

    const std::string& CacheFile() const { return m_cacheFile; }
    bool IsCached() const { return m_cached; }
    int CacheWidth() const { return m_cacheWidth; }
    int CacheHeight() const { return m_cacheHeight; }

private:
    std::string m_cacheFile;
    bool m_cached = false;
    int m_cacheWidth = 0;
    int m_cacheHeight = 0;
};

// What the page drawing reports to, and asks of, the print job's progress
// dialog.
class IIndexPageProgress
{
public:
    virtual ~IIndexPageProgress() = default;
    // A cell of that file name is about to be developed.
    virtual void SetFileName(const std::string& name) = 0;
    // A cell is done: the bars move on and events are handled. False when
    // Cancel was pressed (the request is taken).
    virtual bool CellDone() = 0;
    // True once a progress callback answered a cancel since the last
    // SetFileName: a development that failed then was stopped by the user.
    virtual bool CancelTaken() const = 0;
    // What the development reports to.
    virtual IPrintStepProgress* StepProgress() = 0;
    virtual const PrintDevelopProgress* DevelopProgress() const = 0;
};

// Paints a developed cell onto the printer by the colour mode: the cell's
// print copy (16-bit linear RGB in its input primaries) and the colour
// space that describes it. The print job supplies it; without one a cell
// cannot be printed.
class IIndexCellPainter
{
public:
    virtual ~IIndexCellPainter() = default;
    virtual bool DrawCell(QPainter& painter, const CRGBImage& image,
                          const LogColorSpace& colorSpace, const CRect& destination) = 0;
};

class CIndexImage : public QObject
{
    Q_OBJECT
public:
    // One printable marked entry: its position among the marked entries
    // (what the project develops by), its path and its size.
    struct Entry
    {
        std::size_t checkedIndex = 0;
        std::string path;
        int width = 0;
        int height = 0;
    };

    explicit CIndexImage(CProjectManage& project, QObject* parent = nullptr);
    // Stops the worker, then deletes every cell and its cache file.
    ~CIndexImage() override;
    CIndexImage(const CIndexImage&) = delete;
    CIndexImage& operator=(const CIndexImage&) = delete;

    // The entries and their cells from the marked entries of the list
    // (camera RAW files still to be converted left out), then a worker.
    bool Build();
    CProjectManage& Project() const { return m_project; }
    bool IsReady() const { return m_ready; }

    // ---- The layout
    IndexPageOptions Options;
    std::string Title;
    // How the printed cells are colour-managed (the single-image print's
    // three paths) and the printer profile the user chose.
    PrintColorPath ColorMode = PrintColorPath::PrinterProfile;
    std::string PrinterProfile;

    // The printable area in printer pixels and the printer's vertical
    // resolution (dots per inch).
    void SetPageLayout(int width, int height, int dpi);
    int PageWidth() const { return m_pageWidth; }
    int PageHeight() const { return m_pageHeight; }
    int Resolution() const { return m_dpi; }

    int GetPathCount() const { return static_cast<int>(m_entries.size()); }
    const std::vector<Entry>& Entries() const { return m_entries; }
    int CellsPerPage() const { return IndexCellsPerPage(Options.columns, Options.rows); }
    int PageCount() const { return IndexPageCount(GetPathCount(), CellsPerPage()); }
    int CurrentPage() const { return m_currentPage; }
    // Makes a page 1..PageCount() current and restarts the worker there;
    // false (nothing changes) for the current page or one outside.
    bool SetPage(int page);

    // A grid of 1..10 columns and rows (false, nothing changed, outside).
    // The page that holds the first cell of the current page becomes
    // current, so the user keeps looking at the same images.
    bool SetGrid(int columns, int rows);

    int CorrectionMode() const { return m_correctionMode; }
    // Mode 0..3; a change restarts the worker in the new mode.
    bool SetCorrectionMode(int mode);
    const std::string& ParamFile() const { return m_paramFile; }
    // A new parameter file for mode 3: the worker stops, the mode-3 cells
    // are replaced by empty ones (their files deleted) and a worker
    // starts. The same path changes nothing.
    void SetParamFilePath(const std::string& path);
    // False only in mode 3 while the parameter file does not exist.
    bool IsParamFileReady() const;

    // ---- The worker
    void StopCacheThread();
    void RestartCacheThread();
    bool IsCacheThreadRunning() const { return m_worker.joinable(); }
    // The pause after every cell (100 ms: the worker stays in the
    // background of the dialog).
    void SetWorkerPause(std::chrono::milliseconds pause) { m_pause = pause; }
    // Takes what the worker handed over into the cells (the queued call
    // does this; StopCacheThread too).
    void TakeFinishedCells();

    // The cell of an entry in a mode; null outside the table.
    const CIndexCacheData* Cell(int entry, int mode) const;

    // ---- Drawing
    // The picture rectangle of position n of a page in a target of that
    // size (see IndexCellRect).
    CRect GetCellRect(const CRect& target, int n) const;
    // Draws page `page` into target (which starts at the origin). The
    // preview draws cached cells (placeholders for the others); printing
    // develops every cell at its printed size and reports to progress.
    // False when a cell fails; cancelled tells whether the user stopped.
    bool DrawPage(bool preview, QPainter& painter, const CRect& target, int page, bool& cancelled,
                  IIndexPageProgress* progress);
    // The current page into a page buffer of the printable area's aspect.
    void DrawPreviewPage(QPainter& painter, const CRect& target);
    // Only the title band (while the title is typed).
    void DrawTitle(QPainter& painter, const CRect& target);
    // Entry j's cell when it lies on the current page.
    void DrawCellIfShown(QPainter& painter, const CRect& target, int j);
    // A page onto the printer's painter, over the printable area.
    bool PrintPage(QPainter& painter, int page, bool& cancelled, IIndexPageProgress* progress);
    // The printed cells go through this painter (borrowed; the print job
    // sets it for its length).
    void SetCellPainter(IIndexCellPainter* painter) { m_cellPainter = painter; }

signals:
    // Entry j's cell in the current mode has just been cached.
    void cellReady(int entry);
    // A rendering of the worker moved on (its progress value, truncated).
    void cacheProgress(int value);

private:
    struct FinishedCell
    {
        int entry = 0;
        int mode = 0;
        std::string file;
        int width = 0;
        int height = 0;
    };
    struct WorkerJob
    {
        std::vector<Entry> entries;
        std::vector<CRect> cacheSizes; // right, bottom = cache width, height
        std::vector<bool> cached;      // entry x modes + mode
        int mode = 0;
        int firstCell = 0;
        std::string paramFile;
    };

    std::size_t CellIndex(int entry, int mode) const;
    std::unique_ptr<CIndexCacheData> CreateCellData(int entry) const;
    void StartCacheThread();
    // Asks the worker to stop, wakes it and waits for it to end.
    void JoinWorker();
    void RunWorker(WorkerJob job);
    bool RenderCell(const WorkerJob& job, int entry, int mode, FinishedCell& out);
    // Waits the pause or until a stop is asked; true when asked.
    bool PauseOrStop();
    bool DrawCell(const CRect& r, bool preview, QPainter& painter, int entry,
                  IIndexPageProgress* progress);
    bool DrawPreviewCell(const CRect& r, QPainter& painter, int entry);
    bool DrawPrintedCell(const CRect& r, QPainter& painter, int entry,
                         IIndexPageProgress* progress);
    void DrawTitleBand(QPainter& painter, const CRect& target);

    CProjectManage& m_project;
    std::vector<Entry> m_entries;
    std::vector<std::unique_ptr<CIndexCacheData>> m_cells; // entry x modes + mode
    bool m_ready = false;
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    int m_dpi = 0;
    int m_currentPage = 1;
    int m_correctionMode = 0;
    std::string m_paramFile;
    IIndexCellPainter* m_cellPainter = nullptr;

    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    std::mutex m_pauseMutex;
    std::condition_variable m_pauseWake;
    std::chrono::milliseconds m_pause{100};
    std::mutex m_handOverMutex;
    std::vector<FinishedCell> m_handOver;
};

// Draws text into destination as it would look laid out at 10 pixels a
// millimetre in a box of boxWidth x boxHeight (tenths of a millimetre) with
// a font fontHeight tenths high, then stretched: the same proportions on
// the preview and on paper. flags are Qt::Alignment flags; a line that
// does not fit ends in an ellipsis.
void DrawScaledText(QPainter& painter, const QString& text, int flags, int boxWidth, int boxHeight,
                    const CRect& destination, int fontHeight);
