#include "controls/art/ResourceArt.h"

QCursor MakeHoverCursor() { return QCursor(Qt::OpenHandCursor); }
QCursor MakeDragCursor() { return QCursor(Qt::ClosedHandCursor); }
QCursor MakeColorDragCursor() { return QCursor(Qt::DragCopyCursor); }
