#pragma once
// The panels of the main window's right pane by stack index (1..8; the
// file list at 0 is the frame's own). A panel not written yet has no
// maker: the frame puts the placeholder there.

#include "app/shell/MySplitterWnd.h"

CViewParam::Factory DefaultPanelFactory(int index);
