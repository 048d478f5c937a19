#pragma once
// The program's drawn pictures, one function per resource. Each is called
// once by ResourceImages.cpp, which keeps the result.

#include <QCursor>
#include <QIcon>
#include <QImage>

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
QCursor MakeHoverCursor();
QCursor MakeDragCursor();
QCursor MakeColorDragCursor();
