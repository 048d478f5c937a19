#pragma once
// The main window's rules that need no window: the zoom table, the colour
// pick's sample square, the window's size and place, the right column's
// width, the order files are registered in, what a drop means, what the
// frame does on a panel's notification, and when each command is enabled.
// The frame (app/shell/MainFrame.h) asks these and does what they answer.

#include "core/Rect.h"

#include <functional>
#include <string>
#include <vector>

// ---- Zoom
// The file-list panel's zoom index as a scale factor of the preview:
// 1..12 = 4, 3, 2, 1.5, 1, 2/3, 1/2, 1/3, 1/4, 1/6, 1/8, 1/16; any other
// index (0 among them) fits the image to the window, which the view takes
// as factor 0.
double ZoomFactorForIndex(int index);

// ---- Colour picks
// The side of the sample square for the global average-size setting:
// 0 -> 1, 1 -> 5, 2 -> 10, 3 -> 50 pixels; any other value 1.
int SampleSideForAverageSize(int averageSize);

// The image pixel under a point given relative to the image (0..1 on
// both axes): trunc(width * x), trunc(height * y). Non-finite positions
// give (0, 0).
CPoint PickPixel(double relativeX, double relativeY, int width, int height);

// The square of that side around the pixel, with the halves taken in
// integers so that an even side reaches one pixel further right and down
// than left and up: (px - a/2, py - a/2, px + (a+1)/2, py + (a+1)/2),
// intersected with the image (0, 0, width, height). Empty when nothing of
// it lies on the image.
CRect SampleRect(CPoint pixel, int side, int width, int height);

// ---- Window
inline constexpr int kMinWindowWidth = 780;
inline constexpr int kMinWindowHeight = 584;
// The right pane's width: 320 pixels times the horizontal scale factor,
// never less than 320 (the factor stays 1.0: Qt scales by itself).
inline constexpr int kRightColumnWidth = 320;
int RightColumnWidth(double horizontalScale);

struct WindowGeometry
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowGeometry&) const = default;
};

// The stored size raised to the minimum (each side on its own).
WindowGeometry RaiseToMinimumSize(int width, int height);
// The size cut down to the work area and centred in it; the halves are
// integer divisions: x = (work width - width) / 2 + work left.
WindowGeometry PlaceInWorkArea(int width, int height, const CRect& workArea);

// ---- Registering files
// The paths sorted by file name (the part after the last '/') without
// regard to ASCII letter case, ascending; paths of equal names keep their
// order.
std::vector<std::string> SortPathsByFileName(std::vector<std::string> paths);

// ---- Drops
enum class DropKind
{
    Nothing,       // no path was usable
    ListFile,      // a list file: it wins over everything else dropped
    ParameterFile, // a parameter file: likewise
    Images,        // image files to add
};

struct DropPlan
{
    DropKind kind = DropKind::Nothing;
    std::string path;                // the list or parameter file
    std::vector<std::string> images; // in drop order, folder contents in folder order
};

struct DropRules
{
    std::string listExtension;      // with its dot (".cvl")
    std::string parameterExtension; // with its dot (".qzp")
    // Whether the image probe accepts the file.
    std::function<bool(const std::string&)> acceptsImage;
    // The plain files directly in a folder (not recursive), empty for
    // anything that is not a folder.
    std::function<std::vector<std::string>(const std::string&)> filesInFolder;
};

// Walks the dropped paths in order: the first list or parameter file (its
// extension compared ignoring case) ends the walk and is the answer alone;
// otherwise a path the probe accepts is an image, and anything else is
// taken as a folder whose accepted files are images.
DropPlan PlanDrop(const std::vector<std::string>& dropped, const DropRules& rules);

// ---- Panel notifications
// What the frame does when panel `message` (0x400 + stack index) sends
// `code` (PanelNotify): in this order, apply the zoom, update the title,
// switch back to the file list (with or without commit), set the image
// view's compare flag, redraw the preview.
struct PanelResponse
{
    bool applyZoom = false;
    bool updateTitle = false;
    bool switchToList = false;
    bool commit = false;
    int compareFlag = -1; // -1 unchanged, else the new flag
    bool redraw = false;
    bool operator==(const PanelResponse&) const = default;
};
PanelResponse RespondToPanel(int message, int code);

// ---- Commands
// The command ids of the design's accelerator, menu and toolbar resources.
enum class FrameCommand : int
{
    OpenFiles = 32802,
    OpenFolder = 32839,
    SaveImage = 32809,
    NewList = 32796,
    LoadList = 32797,
    SaveList = 32798,
    ImportParameters = 32841,
    ExportParameters = 32844,
    ResetParameters = 32840,
    Print = 32715,
    IndexPrint = 32818,
    Preferences = 32792,
    AppExit = 57665, // ID_APP_EXIT: closes the window as its close box does
    Undo = 57643,
    Redo = 57644,
    StepDevelop = 32814,
    StepChart = 32801,
    StepTrimming = 32848,
    StepGradation = 32805,
    StepColorTone = 32806,
    StepSpecifiedColor = 32807,
    StepFilter = 32810,
    StepBatch = 32808,
};

// Every command, in the order of the tables above.
const std::vector<FrameCommand>& AllFrameCommands();

// The right pane's stack index a step command switches to (1..8); 0 for
// the commands that are not step commands.
int StepIndexOfCommand(FrameCommand command);

// What the enable rules look at.
struct CommandState
{
    bool fileListShown = false; // the right pane shows the file-list panel
    bool projectReady = false;  // the converter holds its profiles
    bool imageLoaded = false;   // ready, and the current step is 0 or more
    int displayMode = 0;        // the project's display mode (1 before, 2 after)
    bool hasRawData = false;    // the loaded image carries undeveloped raw data
    int imageWidth = 0;
    int imageHeight = 0;
    bool checkedOtherThanType4 = false; // a ticked entry that is not raw-being-converted
    int checkedCount = 0;
    bool hasPanel = false; // a panel is shown (for undo and redo)
    bool panelCanUndo = false;
    bool panelCanRedo = false;
    // The file-list panel's own answer for command id - 32797
    // (CFileView::IsCommandEnabled); null answers false.
    std::function<bool(int)> fileViewEnabled;
};

bool IsFrameCommandEnabled(FrameCommand command, const CommandState& state);
