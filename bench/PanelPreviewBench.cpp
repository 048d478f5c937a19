// A control change on each step panel, to the repainted preview:
//   ours: for every step panel the main window has (the frame's panel
//   table, stack indices 1..7; the placeholders of panels still to come
//   are passed by), the panel enters its step on a 6000 x 4000 16-bit
//   image shown in an image view of 1920 x 1080 (offscreen), and one
//   change is made as a control makes it: the edit pattern's undo state, a
//   parameter of the panel's document changed, the controls written back
//   and ApplyDocument; the view is then refined tick after tick, on the
//   real clock, until every tile is at full resolution again, each tile
//   painted as it is rendered;
//   floor: the same view without a preview document, that is the plain
//   conversion of the image to the monitor, refined the same way.
// Each panel's line gives its time against the floor; the goal is at most
// 1.5x the floor, 2x for the specified colour and the filter.
//
// A slider dragged on the gradation and the specified-colour panels: 30
// changes 30 ms apart, made from a timer while the view's own refinement
// timer runs, on the real event loop. Printed: the longest stall of the
// user-interface thread (the longest gap between the ticks of a 1 ms
// timer) from the first change until the view is refined again, the
// longest time from a change to the first picture painted from its value
// (a tile rendered after it, coarse or full), how many changes got one,
// the time from the last change to the refined preview, the tiles rendered
// after the last change against those of one change refined alone (more
// would be stale work) and whether the refined preview is the one the last
// value gives. Goals: no stall and no first picture later than 50 ms, the
// refined preview that of the last value, nothing stale rendered.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer;
// the last line gives the worst ratio. The image goes to a folder of
// $TMPDIR (or /tmp), which also serves as the program's cache and
// configuration folders, and is removed afterwards.
//
// Run alone: build/bench/bin/bench_panelpreview [part of a panel's name ...]
// (bench/run.sh builds it and runs it for all panels).

#include "app/panels/ViewCommon.h"
#include "app/preview/ImageView.h"
#include "app/shell/PanelFactories.h"
#include "bench/BenchSupport.h"
#include "bench/StallMeter.h"
#include "core/ColorProfile.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"

#include <QApplication>
#include <QEventLoop>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;
constexpr int ViewWidth = 1920;
constexpr int ViewHeight = 1080;
constexpr int Runs = 3;

[[noreturn]] void Fail(const std::string& what)
{
    bench::Fail("PanelPreviewBench", what);
}

void WriteInput(const std::string& path, const std::vector<std::uint8_t>& profile)
{
    if (!bench::WritePhotoTiff(path, Width, Height, bench::Tones::Shadowed, profile))
        Fail("cannot write " + path);
}

CColorProfile OpenProfile(const std::vector<std::uint8_t>& bytes, const std::string& name)
{
    CColorProfile profile;
    if (!profile.OpenFromMemory(bytes, name))
        Fail("cannot open the profile " + name);
    return profile;
}

// Refines the view until every tile is at full resolution.
void Refine(CImageView& view)
{
    int ticks = 0;
    while (!view.IsRefined())
    {
        if (!view.StepRefinement())
            Fail("a tick rendered nothing");
        if (++ticks > 100000)
            Fail("never refined");
    }
}

// One parameter of each step's document, changed as its panel's control
// changes it; `second` picks the other of two values, so that every run
// is a real change.
using DocumentChange = std::function<void(CBaseDoc&, bool second)>;

DocumentChange ChangeFor(int slot)
{
    switch (slot)
    {
    case CProjectManage::kStepDNGParam:
        return [](CBaseDoc& doc, bool second) {
            auto& params = dynamic_cast<CDNGParamDoc&>(doc).GetParams();
            params.AsShot = 0;
            params.Exposure = second ? 50 : -50;
        };
    case CProjectManage::kStepChart:
        return [](CBaseDoc& doc, bool second) {
            dynamic_cast<CChartDoc&>(doc).GetParams().AdjustBlackLevel = second ? 1 : 0;
        };
    case CProjectManage::kStepTrimming:
        return [](CBaseDoc& doc, bool second) {
            auto& params = dynamic_cast<CTrimmingDoc&>(doc).GetParams();
            params.TrmPosX = 0;
            params.TrmWidth = std::max(params.OrgWidth - (second ? 200 : 100), 1);
        };
    case CProjectManage::kStepGrayCalib:
        return [](CBaseDoc& doc, bool second) {
            dynamic_cast<CGrayCalibDoc&>(doc).GetParams().InGamma = second ? 1.2 : 0.8;
        };
    case CProjectManage::kStepColorCalib:
        return [](CBaseDoc& doc, bool second) {
            auto& params = dynamic_cast<CColorCalibDoc&>(doc).GetParams();
            params.Hue = second ? 20.0 : 10.0;
            params.Sat = 60.0;
        };
    case CProjectManage::kStepColorChange:
        // One element over a broad range of warm colours, its target moved.
        return [](CBaseDoc& doc, bool second) {
            auto& entry = dynamic_cast<CColorChangeDoc&>(doc).GetParams().entries[0];
            entry.LChBeforMin = CCIELCh(10.0, 5.0, 0.0);
            entry.LChBeforCenter = CCIELCh(50.0, 30.0, 45.0);
            entry.LChBeforMax = CCIELCh(90.0, 120.0, 90.0);
            entry.LChAfter = CCIELCh(second ? 60.0 : 40.0, 40.0, 60.0);
            entry.RectData = CRect(0, 0, 10, 10);
            entry.RectImage = CRect(0, 0, Width, Height);
        };
    case CProjectManage::kStepFilter:
        return [](CBaseDoc& doc, bool second) {
            auto& params = dynamic_cast<CFilterDoc&>(doc).GetParams();
            params.Radius = second ? 20 : 30;
            params.Amount = 100;
        };
    default:
        return {};
    }
}

const char* PanelName(int index)
{
    static const char* const names[] = {"file list", "development", "chart correction", "trimming",
                                        "gradation", "colour tone", "specified colour", "filter"};
    return index >= 0 && index < 8 ? names[index] : "?";
}

// A slider's position `step` (0 .. DragChanges - 1) as the panels' dragged
// control changes the document; none for the panels not dragged here.
using DragChange = std::function<void(CBaseDoc&, int step)>;

constexpr int DragChanges = 30;
constexpr int DragIntervalMs = 30;

DragChange DragFor(int slot)
{
    switch (slot)
    {
    case CProjectManage::kStepGrayCalib:
        return [](CBaseDoc& doc, int step) {
            dynamic_cast<CGrayCalibDoc&>(doc).GetParams().InGamma = 0.7 + 0.02 * step;
        };
    case CProjectManage::kStepColorChange:
        return [change = ChangeFor(slot)](CBaseDoc& doc, int step) {
            change(doc, false);
            auto& entry = dynamic_cast<CColorChangeDoc&>(doc).GetParams().entries[0];
            entry.LChAfter = CCIELCh(35.0 + step, 40.0, 60.0);
        };
    default:
        return {};
    }
}

// The image view, noting when it first paints a tile rendered after a mark.
class WatchedView final : public CImageView
{
public:
    // From now on, the first paint showing a tile rendered after this
    // moment is noted.
    void Mark()
    {
        m_mark = GetRenderedTileCount();
        m_markTime = std::chrono::steady_clock::now();
        m_seen = false;
    }
    // Seconds from the mark to that paint; negative while none came.
    double FirstPictureAfterMark() const
    {
        return m_seen ? std::chrono::duration<double>(m_seenTime - m_markTime).count() : -1.0;
    }
    std::int64_t RenderedSinceMark() const { return GetRenderedTileCount() - m_mark; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        CImageView::paintEvent(event);
        if (!m_seen && GetRenderedTileCount() > m_mark)
        {
            m_seen = true;
            m_seenTime = std::chrono::steady_clock::now();
        }
    }

private:
    std::int64_t m_mark = 0;
    std::chrono::steady_clock::time_point m_markTime;
    std::chrono::steady_clock::time_point m_seenTime;
    bool m_seen = true;
};

bool SamePicture(const CImageEx& a, const CImageEx& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int y = 0; y < a.GetHeight(); ++y)
    {
        if (std::memcmp(a.GetPixelAddress(0, y), b.GetPixelAddress(0, y),
                        static_cast<std::size_t>(a.GetWidth()) * 3) != 0)
            return false;
    }
    return true;
}

// One change as a control makes it.
void MakeChange(CViewCommon& panel, CBaseDoc& document, const std::function<void(CBaseDoc&)>& set)
{
    if (panel.BeginEdit() == 0)
        panel.SaveUndoState(document);
    set(document);
    panel.UpdateControls(false);
    panel.ApplyDocument();
    panel.EndEdit();
}

// The drag on a panel that has entered its step, the view refined; its
// figures as lines to print.
std::string Drag(WatchedView& view, CProjectManage& project, CViewCommon& panel, CBaseDoc& document,
                 int index, const DragChange& drag)
{
    QTimer* refine = view.findChild<QTimer*>(QString::number(CImageView::kRefineTimer));

    // The tiles one change renders when it is refined alone.
    MakeChange(panel, document, [&](CBaseDoc& doc) { drag(doc, DragChanges - 1); });
    view.Mark();
    Refine(view);
    const std::int64_t oneRefinement = view.RenderedSinceMark();

    bench::StallMeter meter;
    QEventLoop loop;
    // Each change comes 30 ms after the one before, or as soon as the
    // event loop gets to it when it is late; a late one is not caught up
    // with changes in a row.
    QTimer slider;
    slider.setSingleShot(true);
    slider.setTimerType(Qt::PreciseTimer);
    int made = 0;
    int shown = 0;
    double worstFirst = 0.0;
    std::chrono::steady_clock::time_point last;
    const auto noteFirst = [&] {
        const double first = view.FirstPictureAfterMark();
        if (first >= 0.0)
        {
            ++shown;
            worstFirst = std::max(worstFirst, first);
        }
    };
    QObject::connect(&slider, &QTimer::timeout, [&] {
        if (made > 0)
            noteFirst();
        if (made == DragChanges)
            return;
        view.Mark();
        last = std::chrono::steady_clock::now();
        MakeChange(panel, document, [&](CBaseDoc& doc) { drag(doc, made); });
        ++made;
        const auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - last);
        slider.start(std::max<int>(0, DragIntervalMs - static_cast<int>(taken.count())));
    });
    // After the last change: until the view is refined (30 s at most).
    QTimer watch;
    watch.setInterval(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    double lastToRefined = -1.0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (made == DragChanges && !slider.isActive() && view.IsRefined())
        {
            lastToRefined =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - last).count();
            loop.quit();
        }
        else if (std::chrono::steady_clock::now() > deadline)
        {
            loop.quit();
        }
    });

    refine->start(CImageView::kRefineIntervalMs);
    meter.Start();
    slider.start(0);
    watch.start();
    loop.exec();
    const double stall = meter.Stop();
    refine->stop();
    watch.stop();
    const std::int64_t afterLast = view.RenderedSinceMark();
    if (lastToRefined < 0.0)
        Fail(std::string("the preview of the ") + PanelName(index) + " panel was never refined");

    // The refined picture against the last value's own, refined alone.
    const CImageEx* preview = project.GetAfterPreview();
    if (preview == nullptr || preview->IsNull())
        Fail("no after preview");
    CImageEx dragged;
    if (!dragged.Create(preview->GetWidth(), preview->GetHeight()))
        Fail("no memory for a copy of the preview");
    for (int y = 0; y < preview->GetHeight(); ++y)
        std::memcpy(dragged.GetPixelAddress(0, y), preview->GetPixelAddress(0, y),
                    static_cast<std::size_t>(preview->GetWidth()) * 3);
    panel.ApplyDocument();
    Refine(view);
    const bool lastValue = SamePicture(dragged, *project.GetAfterPreview());

    char lines[1024];
    std::snprintf(lines, sizeof lines,
                  "drag on the %s panel, %d changes %d ms apart: longest stall of the user "
                  "interface %.6f s (goal 0.050 s); first picture of a change at most %.6f s "
                  "after it (goal 0.050 s), %d of %d changes shown\n"
                  "drag on the %s panel: last change to the refined preview %.6f s; tiles "
                  "rendered after the last change %lld, one change refined alone %lld (%s); "
                  "refined preview that of the last value: %s\n",
                  PanelName(index), DragChanges, DragIntervalMs, stall, worstFirst, shown,
                  DragChanges, PanelName(index), lastToRefined, static_cast<long long>(afterLast),
                  static_cast<long long>(oneRefinement),
                  afterLast <= oneRefinement ? "nothing stale" : "stale renders",
                  lastValue ? "yes" : "no");
    return lines;
}

} // namespace

int main(int argc, char** argv)
{
    // The view and the panels need no screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::error_code error;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base = tmp && *tmp ? tmp : "/tmp";
    const std::filesystem::path folder = base / ("panel-preview-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder, error);
    if (error)
        Fail("cannot create " + folder.string());
    const std::string dir = folder.string() + "/";
    setenv("XDG_CACHE_HOME", (dir + "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "config").c_str(), 1);

    QApplication app(argc, argv);

    const std::vector<std::uint8_t> srgb = BuildSRGBProfileBytes();
    const std::string input = dir + "in.tif";
    WriteInput(input, srgb);
    const CColorProfile monitor = OpenProfile(srgb, "monitor.icm");
    const CColorProfile working = OpenProfile(srgb, "working.icm");
    const CColorProfile inputProfile = OpenProfile(srgb, "input.icm");

    WatchedView view;
    view.resize(ViewWidth, ViewHeight);
    view.findChild<QTimer*>(QString::number(CImageView::kRefineTimer))->stop();
    view.show();
    QApplication::processEvents();

    CProjectManage project{std::string()};
    if (!project.SetProjectProfiles(&monitor, &working, &inputProfile))
        Fail("the project takes no profiles");
    project.SetImageView(&view);
    view.SetProject(&project);
    CImageFileInfo probe;
    if (probe.ReadInfo(input) != 1 || !project.AddFile(probe, project.GetCount()))
        Fail("cannot list " + input);
    if (project.LoadImage(project.GetItem(project.GetCount() - 1), false) != 1)
        Fail("cannot load " + input);
    Refine(view);

    // The floor: the plain conversion to the monitor, no preview document.
    const double floor = bench::Time(Runs, [&] {
        project.SetPreviewDoc(nullptr);
        Refine(view);
    });
    std::printf("plain preview 6000x4000 in 1920x1080: %.6f s\n", floor);

    // Panels named on the command line (a part of the name each) alone;
    // none named: all.
    const auto chosen = [&](int index) {
        if (argc < 2)
            return true;
        for (int a = 1; a < argc; ++a)
        {
            if (std::strstr(PanelName(index), argv[a]) != nullptr)
                return true;
        }
        return false;
    };

    QWidget host; // the panels' window (the frame in the program)
    int measured = 0;
    for (int index = 1; index <= 7; ++index)
    {
        const CViewParam::Factory factory = DefaultPanelFactory(index);
        if (!factory || !chosen(index))
            continue;
        QWidget* widget = factory(&host);
        auto* panel = dynamic_cast<CViewCommon*>(widget);
        if (panel == nullptr || panel->GetDocument() == nullptr)
        {
            delete widget;
            continue;
        }
        CBaseDoc& document = *panel->GetDocument();
        const DocumentChange change = ChangeFor(index);
        if (!change)
            Fail(std::string("no change known for the ") + PanelName(index) + " panel");

        panel->SetProject(&project);
        panel->OnEnterStep();
        Refine(view);
        bool second = false;
        double changePath = 1e300;
        const double ours = bench::Time(Runs, [&] {
            second = !second;
            const auto start = std::chrono::steady_clock::now();
            MakeChange(*panel, document, [&](CBaseDoc& doc) { change(doc, second); });
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
            changePath = std::min(changePath, d.count());
            Refine(view);
        });
        std::string dragFigures;
        if (const DragChange drag = DragFor(index))
            dragFigures = Drag(view, project, *panel, document, index, drag);
        panel->OnLeaveStep(false);
        panel->SetProject(nullptr);
        delete widget;
        Refine(view);

        const std::string name = std::string("one change on the ") + PanelName(index) +
                                 " panel to the refined 1920x1080 preview vs the plain preview";
        // How much of it is the change itself (the document prepared on
        // the working image) rather than the refinement.
        std::printf("%s panel: change path up to the preview %.6f s\n", PanelName(index), changePath);
        bench::Report(name, ours, floor);
        if (!dragFigures.empty())
        {
            std::fputs(dragFigures.c_str(), stdout);
            std::fflush(stdout);
        }
        ++measured;
    }
    if (measured == 0)
        std::printf("no step panel in the frame's table yet\n");

    view.SetProject(nullptr);
    project.SetImageView(nullptr);
    ClearReloadImageCache();
    std::filesystem::remove_all(folder, error);
    bench::PrintWorstRatio();
    return 0;
}
