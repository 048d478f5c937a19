#pragma once
// Making the step panels' standard controls the one way: numeric edits and
// up-downs named by their design IDs and reporting under their messages,
// an edit with its up-down beside it, labels named by ID.

#include <QString>

class CEditEx;
class CUpDown;
class QHBoxLayout;
class QLabel;
class QWidget;

// The width of the panels' numeric edits.
inline constexpr int kPanelEditWidth = 48;

CEditEx* MakeIntEdit(QWidget* parent, int id, int message, int minimum, int maximum);
CEditEx* MakeRealEdit(QWidget* parent, int id, int message, int decimals, double minimum,
                      double maximum);
// A vertical up-down over minimum .. maximum; it reports under its own ID.
CUpDown* MakeUpDown(QWidget* parent, int id, int minimum, int maximum, bool wrap);
// The edit with its up-down close beside it.
QHBoxLayout* EditWithUpDown(CEditEx* edit, CUpDown* spin);
QLabel* MakeLabel(QWidget* parent, int id, const QString& text);
