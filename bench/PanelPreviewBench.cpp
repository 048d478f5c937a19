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
// 2x the floor for every panel.
//
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer;
// the last line gives the worst ratio. The image goes to a folder of
// $TMPDIR (or /tmp), which also serves as the program's cache and
// configuration folders, and is removed afterwards.

#include "app/panels/ViewCommon.h"
#include "app/preview/ImageView.h"
#include "app/shell/PanelFactories.h"
#include "bench/BenchSupport.h"
#include "core/ColorProfile.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
                                        "gradation", "colour tone", "chosen colour", "filter"};
    return index >= 0 && index < 8 ? names[index] : "?";
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

    CImageView view;
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

    QWidget host; // the panels' window (the frame in the program)
    int measured = 0;
    for (int index = 1; index <= 7; ++index)
    {
        const CViewParam::Factory factory = DefaultPanelFactory(index);
        if (!factory)
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
            if (panel->BeginEdit() == 0)
                panel->SaveUndoState(document);
            change(document, second);
            panel->UpdateControls(false);
            panel->ApplyDocument();
            panel->EndEdit();
            const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
            changePath = std::min(changePath, d.count());
            Refine(view);
        });
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
