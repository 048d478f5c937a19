#pragma once
// Bitmaps, icons and cursors of the program by their resource number.
//
// The pictures are drawn by the program itself (controls/art/), once, the
// first time a number is asked for. A bitmap and an icon may share a
// number: they are different resources.

#include <QCursor>
#include <QIcon>
#include <QImage>

// Resource numbers the controls use.
inline constexpr int kIconApplication = 128;            // the program's icon, 16 .. 256
inline constexpr int kBitmapIntroduction = 277;         // 400 x 150, the introduction dialog
inline constexpr int kBitmapColorWheel = 144;          // 256 x 256 colour wheel, key colour outside
inline constexpr int kBitmapChromaticity = 272;        // 80 x 80 xy-diagram background
inline constexpr int kIconSliderThumb = 159;           // multi-slider thumb, horizontal track
inline constexpr int kIconSliderThumbVertical = 160;   // multi-slider thumb, vertical track
inline constexpr int kBitmapDngConvertFirst = 159;     // 12 frames 159..170, 32 x 32, converter running
// Buttons of the slide show's control bar, 24 x 24, up and pressed in.
inline constexpr int kBitmapSlidePlayUp = 222;
inline constexpr int kBitmapSlidePlayDown = 223;
inline constexpr int kBitmapSlidePauseUp = 224;
inline constexpr int kBitmapSlidePauseDown = 225;
inline constexpr int kBitmapSlidePreviousUp = 226;
inline constexpr int kBitmapSlidePreviousDown = 227;
inline constexpr int kBitmapSlideNextUp = 228;
inline constexpr int kBitmapSlideNextDown = 229;
inline constexpr int kBitmapSlideCloseUp = 230;
inline constexpr int kBitmapSlideCloseDown = 231;
inline constexpr int kBitmapSlideSettingsUp = 232;
inline constexpr int kBitmapSlideSettingsDown = 233;
inline constexpr int kIconFileTable = 161;             // file table header
inline constexpr int kIconSortSet = 178;               // sort arrow, ascending
inline constexpr int kIconSortClear = 179;             // sort arrow, descending
// Progress windows, 16 x 16: the marker under the step that runs, the
// batch window's stage bullets, and each step's picture when it runs and
// when it does not.
inline constexpr int kIconStageMarker = 156;
inline constexpr int kIconStageCurrent = 157;
inline constexpr int kIconStageNormal = 158;
inline constexpr int kIconStageNotRun = 180;
inline constexpr int kIconDevelopmentRuns = 187;
inline constexpr int kIconDevelopmentNotRun = 188;
inline constexpr int kIconChartRuns = 130;
inline constexpr int kIconChartNotRun = 184;
inline constexpr int kIconTrimmingRuns = 195;
inline constexpr int kIconTrimmingNotRun = 196;
inline constexpr int kIconGradationRuns = 131;
inline constexpr int kIconGradationNotRun = 183;
inline constexpr int kIconColourToneRuns = 132;
inline constexpr int kIconColourToneNotRun = 181;
inline constexpr int kIconSpecifiedColourRuns = 134;
inline constexpr int kIconSpecifiedColourNotRun = 182;
inline constexpr int kIconFilterRuns = 185;
inline constexpr int kIconFilterNotRun = 186;
inline constexpr int kIconReverseOrder = 145;          // reverse a chart table's order
inline constexpr int kIconWhiteBalancePicker = 194;    // take the white balance from the image
inline constexpr int kBitmapDragPattern = 182;         // 8 x 8 pen pattern of a drag's feedback
// The monitor wizard's pages: the chart set up beside the monitor, and the
// two ways of adjusting the white (pointing on the diagram, choosing among
// pictures).
inline constexpr int kBitmapChartSetup = 274;          // 300 x 180
inline constexpr int kBitmapWhiteByDiagram = 280;      // 120 x 90
inline constexpr int kBitmapWhiteByPictures = 281;     // 120 x 90
// The file-list panel's buttons, 24 x 24.
inline constexpr int kIconAddFiles = 209;
inline constexpr int kIconDeleteFiles = 211;
inline constexpr int kIconPreferences = 212;
inline constexpr int kIconNextImage = 215;
inline constexpr int kIconPreviousImage = 216;
inline constexpr int kIconFullScreen = 220;
inline constexpr int kIconSlideShow = 221;
inline constexpr int kIconLoadList = 234;
inline constexpr int kIconSaveList = 235;
inline constexpr int kIconHelp = 276;
inline constexpr int kIconMonitorWizard = 277;
inline constexpr int kIconAbout = 279;
// The main window's toolbar buttons, 24 x 24, by the number of the command
// each carries: the file commands of toolbar 128 and the step commands and
// the batch of toolbar 131. Opening files and the preferences show the
// file-list panel's pictures of the same commands.
inline constexpr int kIconCommandOpenFiles = 32802;
inline constexpr int kIconCommandOpenFolder = 32839;
inline constexpr int kIconCommandSaveImage = 32809;
inline constexpr int kIconCommandPrint = 32715;
inline constexpr int kIconCommandIndexPrint = 32818;
inline constexpr int kIconCommandPreferences = 32792;
inline constexpr int kIconCommandDevelop = 32814;
inline constexpr int kIconCommandChart = 32801;
inline constexpr int kIconCommandTrimming = 32848;
inline constexpr int kIconCommandGradation = 32805;
inline constexpr int kIconCommandColourTone = 32806;
inline constexpr int kIconCommandSpecifiedColour = 32807;
inline constexpr int kIconCommandFilter = 32810;
inline constexpr int kIconCommandBatch = 32808;
inline constexpr int kCursorHover = 167;               // over a draggable point
inline constexpr int kCursorDrag = 168;                // while dragging a point
inline constexpr int kCursorColorDrag = 169;           // while dragging a colour
// Over the trim frame's handles.
inline constexpr int kCursorTrimDiagonalDown = 200;    // top-left, bottom-right corner
inline constexpr int kCursorTrimDiagonalUp = 201;      // top-right, bottom-left corner
inline constexpr int kCursorTrimVertical = 202;        // top, bottom edge
inline constexpr int kCursorTrimHorizontal = 203;      // left, right edge
inline constexpr int kCursorTrimMove = 204;            // inside the frame
inline constexpr int kCursorTrimNewFrame = 208;        // a new frame is drawn

// A null image when the number names no bitmap.
QImage LoadBitmapResource(int id);
// A null icon when the number names no icon.
QIcon LoadIconResource(int id);
// The arrow cursor when the number names no cursor.
QCursor LoadCursorResource(int id);
