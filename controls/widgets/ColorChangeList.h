#pragma once
// The point list of the chosen-colour panel: ten rows of
// CColorChangeSubElement stacked in a CColorChangeSubList that scrolls by
// whole rows.
//
// A row reports to the list with notify(message, code, 0) on its six
// message numbers (0 = not sent):
//   SourcePatchMessage, TargetPatchMessage  the patch's code (1 press or
//       repeat, 2 release); the row becomes active unless the code is 2
//   ArrowMessage (">"), SettingsMessage ("設定...")  code 0, after the row
//       becomes active
//   CheckMessage  1 when the box is now ticked, else 0; no activation
//   ActivationMessage  code 0 when the row becomes active
// The list sends each on to the panel with the row index 0..9 as value.
// Only one row is active: a row becoming active clears the others before
// its activation message goes on.
//
// Key presses and releases inside a row go to the list (and from there up
// to the panel) before the focused control handles them.

#include "controls/widgets/WheelSteps.h"

#include <QScrollArea>
#include <QWidget>

#include <array>

class CColorPatchCtrl;
class QCheckBox;
class QLabel;
class QPainter;
class QPushButton;

class CColorChangeSubElement : public QWidget
{
    Q_OBJECT
public:
    explicit CColorChangeSubElement(QWidget* parent = nullptr);

    // The two patch messages are also the patches' own notify numbers.
    void SetSourcePatchMessage(int message);
    void SetTargetPatchMessage(int message);
    int SourcePatchMessage() const { return m_sourcePatchMessage; }
    int TargetPatchMessage() const { return m_targetPatchMessage; }
    int ArrowMessage = 0;
    int SettingsMessage = 0;
    int CheckMessage = 0;
    int ActivationMessage = 0;

    bool Active = false;
    // Where the row's key presses and releases go first; the parent when
    // none is set.
    QWidget* KeyTarget = nullptr;

    // True when message is one of the six (and not 0).
    bool OwnsMessage(int message) const;

    // Makes the row the current one: the source patch takes the focus
    // unless the focus is already inside the row; reports the activation
    // when the row was not active.
    void Activate();
    // Sets the flag without reporting; repaints when it changes.
    void SetActive(bool active);

    // The active row's frame: a rounded rectangle (10 x 10 corners), 2-pixel
    // pen of RGB (64, 160, 255), no fill, around the row inset by 1 pixel.
    void paintFrame(QPainter& painter) const;

    CColorPatchCtrl* SourcePatch; // 1195
    CColorPatchCtrl* TargetPatch; // 1196
    QLabel* Number;               // 1199
    QPushButton* Arrow;           // 1197
    QCheckBox* Check;             // 1194
    QPushButton* Settings;        // 1198

signals:
    void notify(int message, int code, qint64 value);
    // The row became active (before its activation message).
    void activated();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Send(int message, int code);
    void OnPatch(int message, int code);

    int m_sourcePatchMessage = 0;
    int m_targetPatchMessage = 0;
};

// The scroll range of the list: ten rows less the client height, never
// below 0; a page is as many whole rows as the client shows.
int SubListScrollRange(int rowHeight, int clientHeight);
int SubListPageStep(int rowHeight, int clientHeight);

class CColorChangeSubList : public QScrollArea
{
    Q_OBJECT
public:
    static constexpr int kRowCount = 10;

    explicit CColorChangeSubList(QWidget* parent = nullptr);

    std::array<CColorChangeSubElement*, kRowCount> Rows{};

    // The active row, -1 when none.
    int ActiveRow() const;
    int RowHeight() const;
    // The vertical scroll position in pixels.
    int ScrollPosition() const;

signals:
    void notify(int message, int code, qint64 value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void OnRowMessage(int row, int message, int code);
    void OnRowActivated(int row);
    void UpdateSteps();
    void PlaceFocus();

    WheelSteps m_wheel;
};
