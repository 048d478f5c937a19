#include "app/shell/MainFrameLogic.h"

#include "app/panels/ViewCommon.h"
#include "core/PathUtils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return static_cast<unsigned char>(LowerAscii(x)) <
                   static_cast<unsigned char>(LowerAscii(y));
        });
}

} // namespace

double ZoomFactorForIndex(int index)
{
    static constexpr std::array<double, 12> kFactors = {
        4.0, 3.0, 2.0, 1.5, 1.0, 2.0 / 3.0, 1.0 / 2.0, 1.0 / 3.0, 1.0 / 4.0, 1.0 / 6.0,
        1.0 / 8.0, 1.0 / 16.0};
    if (index < 1 || index > static_cast<int>(kFactors.size()))
        return 0.0;
    return kFactors[static_cast<std::size_t>(index - 1)];
}

int SampleSideForAverageSize(int averageSize)
{
    switch (averageSize)
    {
    case 1:
        return 5;
    case 2:
        return 10;
    case 3:
        return 50;
    default:
        return 1;
    }
}

CPoint PickPixel(double relativeX, double relativeY, int width, int height)
{
    // Truncation of a product that may be far outside int: clamp first.
    auto scale = [](double relative, int size) {
        if (!std::isfinite(relative))
            return 0;
        const double value = std::trunc(relative * static_cast<double>(size));
        constexpr double kLimit = static_cast<double>(std::numeric_limits<int>::max() / 2);
        return static_cast<int>(std::clamp(value, -kLimit, kLimit));
    };
    return CPoint{scale(relativeX, width), scale(relativeY, height)};
}

CRect SampleRect(CPoint pixel, int side, int width, int height)
{
    const int half = side / 2;
    const int rest = (side + 1) / 2;
    CRect r(pixel.x - half, pixel.y - half, pixel.x + rest, pixel.y + rest);
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, width);
    r.bottom = std::min(r.bottom, height);
    if (r.IsRectEmpty())
        return CRect();
    return r;
}

int RightColumnWidth(double horizontalScale)
{
    const double scaled = static_cast<double>(kRightColumnWidth) * horizontalScale;
    if (!std::isfinite(scaled) || scaled < kRightColumnWidth)
        return kRightColumnWidth;
    return static_cast<int>(std::min(scaled, 1.0e6));
}

WindowGeometry RaiseToMinimumSize(int width, int height)
{
    return WindowGeometry{0, 0, std::max(width, kMinWindowWidth),
                          std::max(height, kMinWindowHeight)};
}

WindowGeometry PlaceInWorkArea(int width, int height, const CRect& workArea)
{
    WindowGeometry g;
    g.width = std::min(width, workArea.Width());
    g.height = std::min(height, workArea.Height());
    g.x = (workArea.Width() - g.width) / 2 + workArea.left;
    g.y = (workArea.Height() - g.height) / 2 + workArea.top;
    return g;
}

std::vector<std::string> SortPathsByFileName(std::vector<std::string> paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return LessIgnoringCase(GetFileNameFromPath(a), GetFileNameFromPath(b));
    });
    return paths;
}

DropPlan PlanDrop(const std::vector<std::string>& dropped, const DropRules& rules)
{
    DropPlan plan;
    for (const std::string& path : dropped)
    {
        const std::string extension = GetFileExtFromPath(path);
        if (!extension.empty() && EqualsIgnoringCase(extension, rules.listExtension))
            return DropPlan{DropKind::ListFile, path, {}};
        if (!extension.empty() && EqualsIgnoringCase(extension, rules.parameterExtension))
            return DropPlan{DropKind::ParameterFile, path, {}};
        if (rules.acceptsImage && rules.acceptsImage(path))
        {
            plan.images.push_back(path);
            continue;
        }
        if (!rules.filesInFolder)
            continue;
        for (const std::string& file : rules.filesInFolder(path))
        {
            if (rules.acceptsImage && rules.acceptsImage(file))
                plan.images.push_back(file);
        }
    }
    if (!plan.images.empty())
        plan.kind = DropKind::Images;
    return plan;
}

PanelResponse RespondToPanel(int message, int code)
{
    PanelResponse r;
    const auto notify = static_cast<PanelNotify>(code);
    if (message == UWM_FILEVIEW_NOTIFY)
    {
        r.applyZoom = notify == PanelNotify::ZoomChanged;
        r.updateTitle = notify == PanelNotify::Refresh;
        return r;
    }
    if (message < UWM_DNGPARAMVIEW_NOTIFY || message > UWM_BATCHVIEW_NOTIFY)
        return r;

    const bool batch = message == UWM_BATCHVIEW_NOTIFY;
    const bool chart = message == UWM_CHARTVIEW_NOTIFY;
    const bool compares =
        message == UWM_DNGPARAMVIEW_NOTIFY || message == UWM_COLORCALIBVIEW_NOTIFY;
    switch (notify)
    {
    case PanelNotify::Refresh:
        r.redraw = chart;
        break;
    case PanelNotify::Ok:
        r.switchToList = true;
        r.commit = true;
        r.redraw = chart;
        break;
    case PanelNotify::Cancel:
        // The batch panel's Cancel closes nothing: the panel stays.
        if (!batch)
        {
            r.switchToList = true;
            r.redraw = true;
        }
        break;
    case PanelNotify::CompareOn:
    case PanelNotify::CompareOff:
        if (compares)
            r.compareFlag = notify == PanelNotify::CompareOn ? 1 : 0;
        break;
    default:
        break;
    }
    return r;
}

const std::vector<FrameCommand>& AllFrameCommands()
{
    static const std::vector<FrameCommand> kAll = {
        FrameCommand::OpenFiles,        FrameCommand::OpenFolder,
        FrameCommand::SaveImage,        FrameCommand::NewList,
        FrameCommand::LoadList,         FrameCommand::SaveList,
        FrameCommand::ImportParameters, FrameCommand::ExportParameters,
        FrameCommand::ResetParameters,  FrameCommand::Print,
        FrameCommand::IndexPrint,       FrameCommand::Preferences,
        FrameCommand::AppExit,          FrameCommand::Undo,
        FrameCommand::Redo,
        FrameCommand::StepDevelop,      FrameCommand::StepChart,
        FrameCommand::StepTrimming,     FrameCommand::StepGradation,
        FrameCommand::StepColorTone,    FrameCommand::StepSpecifiedColor,
        FrameCommand::StepFilter,       FrameCommand::StepBatch,
    };
    return kAll;
}

int StepIndexOfCommand(FrameCommand command)
{
    switch (command)
    {
    case FrameCommand::StepDevelop:
        return 1;
    case FrameCommand::StepChart:
        return 2;
    case FrameCommand::StepTrimming:
        return 3;
    case FrameCommand::StepGradation:
        return 4;
    case FrameCommand::StepColorTone:
        return 5;
    case FrameCommand::StepSpecifiedColor:
        return 6;
    case FrameCommand::StepFilter:
        return 7;
    case FrameCommand::StepBatch:
        return 8;
    default:
        return 0;
    }
}

bool IsFrameCommandEnabled(FrameCommand command, const CommandState& s)
{
    auto fileView = [&s](FrameCommand c) {
        return s.fileListShown && s.fileViewEnabled &&
               s.fileViewEnabled(static_cast<int>(c) - static_cast<int>(FrameCommand::LoadList));
    };
    switch (command)
    {
    case FrameCommand::OpenFiles:
    case FrameCommand::OpenFolder:
        return s.fileListShown;
    case FrameCommand::SaveImage:
        return s.fileListShown && s.imageLoaded && s.displayMode == 2;
    case FrameCommand::NewList:
        return false;
    case FrameCommand::LoadList:
    case FrameCommand::SaveList:
    case FrameCommand::ImportParameters:
    case FrameCommand::ExportParameters:
    case FrameCommand::ResetParameters:
        return fileView(command);
    case FrameCommand::Print:
        return s.fileListShown && s.imageLoaded && s.displayMode == 2 &&
               static_cast<long long>(s.imageWidth) * s.imageHeight != 0;
    case FrameCommand::IndexPrint:
        return s.projectReady && s.fileListShown && s.checkedOtherThanType4 && s.checkedCount > 0;
    case FrameCommand::Preferences:
    case FrameCommand::AppExit:
        return true;
    case FrameCommand::Undo:
        return s.hasPanel && s.panelCanUndo;
    case FrameCommand::Redo:
        return s.hasPanel && s.panelCanRedo;
    case FrameCommand::StepDevelop:
        return s.fileListShown && s.imageLoaded && s.hasRawData;
    case FrameCommand::StepChart:
    case FrameCommand::StepTrimming:
    case FrameCommand::StepGradation:
    case FrameCommand::StepColorTone:
    case FrameCommand::StepSpecifiedColor:
    case FrameCommand::StepFilter:
    case FrameCommand::StepBatch:
        return s.fileListShown;
    }
    return false;
}
