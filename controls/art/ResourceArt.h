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
QIcon MakeFileTableIcon();
QIcon MakeSortSetIcon();
QIcon MakeSortClearIcon();
QCursor MakeHoverCursor();
QCursor MakeDragCursor();
QCursor MakeColorDragCursor();
