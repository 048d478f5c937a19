#pragma once
// What the program's modal dialogs return from exec(): the design's button
// numbers, so that an owner compares with the same values the design's
// callers do. QDialog's own Rejected is 0; every dialog of ours that can be
// cancelled (Cancel, Esc, the close box) ends with kDialogCancel instead.

inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;
