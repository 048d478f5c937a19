#pragma once
// The program's drawn pictures, one function per resource. Each is called
// once by ResourceImages.cpp, which keeps the result.

#include <QCursor>
#include <QIcon>
#include <QImage>

class QPainter;
class QRectF;

// The program's icon, drawn at each of these sides (the desktop's icon
// theme sizes); an image of one side for the desktop's icon folders.
inline constexpr int kApplicationIconSides[] = {16, 22, 24, 32, 48, 64, 128, 256};
QIcon MakeApplicationIcon();
QImage MakeApplicationIconImage(int side);
// The introduction dialog's picture, 400 x 150.
QImage MakeIntroductionBitmap();
QImage MakeColorWheelBitmap();
QImage MakeChromaticityBitmap();
QIcon MakeSliderThumbIcon();
QIcon MakeSliderThumbVerticalIcon();
// Frame 0..11 of the converter progress picture (bitmaps 159..170).
QImage MakeDngConvertFrame(int frame);
QImage MakeSlidePlayUpBitmap();
QImage MakeSlidePlayDownBitmap();
QImage MakeSlidePauseUpBitmap();
QImage MakeSlidePauseDownBitmap();
QImage MakeSlidePreviousUpBitmap();
QImage MakeSlidePreviousDownBitmap();
QImage MakeSlideNextUpBitmap();
QImage MakeSlideNextDownBitmap();
QImage MakeSlideCloseUpBitmap();
QImage MakeSlideCloseDownBitmap();
QImage MakeSlideSettingsUpBitmap();
QImage MakeSlideSettingsDownBitmap();
QIcon MakeFileTableIcon();
QIcon MakeSortSetIcon();
QIcon MakeSortClearIcon();
// The step panels' buttons: two opposed arrows (reverse a table's order)
// and a dropper (take the white balance from the image), 16 x 16.
QIcon MakeReverseOrderIcon();
QIcon MakeWhiteBalancePickerIcon();
// The correction steps as the progress windows show them, 16 x 16.
enum class StepPicture
{
    Development,
    Chart,
    Trimming,
    Gradation,
    ColourTone,
    SpecifiedColour,
    Filter
};
// The step's picture, in colour when the step runs, faded when it does not.
QIcon MakeStepIcon(StepPicture step, bool runs);
QIcon MakeStageMarkerIcon();
QIcon MakeStageCurrentIcon();
QIcon MakeStageNormalIcon();
QIcon MakeStageNotRunIcon();
QImage MakeDragPatternBitmap();
// The monitor wizard's comparison chart, filling `area` (3:2 reads best).
void DrawComparisonChart(QPainter& painter, const QRectF& area);
// A monitor's bezel, neck and foot below `bezel`; returns its screen.
QRectF DrawMonitor(QPainter& painter, const QRectF& bezel);
// The monitor wizard's pages.
QImage MakeChartSetupBitmap();
QImage MakeWhiteByDiagramBitmap();
QImage MakeWhiteByPicturesBitmap();
// The file-list panel's buttons, 24 x 24.
QIcon MakeAddFilesIcon();
QIcon MakeDeleteFilesIcon();
QIcon MakePreferencesIcon();
QIcon MakeAboutIcon();
QIcon MakeNextImageIcon();
QIcon MakePreviousImageIcon();
QIcon MakeFullScreenIcon();
QIcon MakeSlideShowIcon();
QIcon MakeLoadListIcon();
QIcon MakeSaveListIcon();
QIcon MakeHelpIcon();
QIcon MakeMonitorWizardIcon();
// A correction step's picture in the progress pictures' 16 x 16
// coordinates.
void DrawStepPicture(QPainter& painter, StepPicture step);
// The main window's toolbar buttons, 24 x 24: the file commands that have
// no picture of the file-list panel, each step command (its progress
// picture half as large again) and the batch.
QIcon MakeOpenFolderIcon();
QIcon MakeSaveImageIcon();
QIcon MakePrintIcon();
QIcon MakeIndexPrintIcon();
QIcon MakeStepCommandIcon(StepPicture step);
QIcon MakeBatchIcon();
QCursor MakeHoverCursor();
QCursor MakeDragCursor();
QCursor MakeColorDragCursor();
// The trim frame's cursors: a two-way arrow along the directions a handle
// resizes in, the four-way arrows of moving, and a crosshair for drawing a
// new frame.
enum class TrimCursorShape
{
    ResizeDiagonalDown, // top-left and bottom-right corners
    ResizeDiagonalUp,   // top-right and bottom-left corners
    ResizeVertical,     // top and bottom edges
    ResizeHorizontal,   // left and right edges
    Move,
    NewFrame,
};
QCursor MakeTrimCursor(TrimCursorShape shape);
