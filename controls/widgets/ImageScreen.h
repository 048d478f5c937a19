#pragma once
// The full-screen viewer and slide show: a frameless window over one
// screen that paints one display image fitted and centred on black,
// reports clicks, keys and slide-show steps to its owner and, for a slide
// show, runs the interval timer, hides the cursor when it rests and
// carries the control bar (CSlideShowDlg) in its top-right corner.
//
// Colour: the window paints the bytes of the image it is given, nothing
// more. The owner hands it display images that the project has already
// converted for the monitor profile (CProjectManage::MakeDisplayImage,
// MakeDisplayImageOf), so the picture is colour-managed for the screen as
// long as the owner places the window on the screen of that profile. Every
// image the record admits (16-bit and 8-bit RGB, 8-bit grey TIFF, colour
// and grey JPEG) arrives as such a 24-bit image; its rows are shown where
// they lie, without a copy of the pixels.
//
// Notifications, (message, code, 0), only while the message is not 0:
//   0 left button pressed in the window   posted
//   1 Enter                                posted
//   2 Esc                                  posted
//   3 slide timer, or "next" on the bar    sent
//   4 "previous" on the bar                sent (the slide timer stops first)
//   5 "close" on the bar                   posted
// "Posted" notifications arrive from the event loop, after the event that
// caused them, as the owner may close the window in answer.

#include "controls/dialogs/SlideShowDlg.h"
#include "controls/widgets/ControlWidget.h"

#include <QImage>
#include <QPoint>
#include <QTimer>

#include <string>

class CImageEx;
class IPointerState;
class QScreen;

class CImageScreen : public CControlWidget
{
    Q_OBJECT
public:
    enum NotifyCode
    {
        kClicked = 0,
        kEnter = 1,
        kEscape = 2,
        kNextImage = 3,
        kPreviousImage = 4,
        kCloseShow = 5
    };
    // The message the window gives its control bar.
    static constexpr int UWM_SLIDESHOW_COMMAND = 0x914;
    // Timer 501 steps the show; timer 502 looks every 2 s whether the
    // cursor rests.
    static constexpr int kSlideTimer = 501;
    static constexpr int kCursorTimer = 502;
    static constexpr int kCursorRestInterval = 2000;

    // Reads the slide interval from the settings file at iniPath (the main
    // settings file when empty); the destructor writes it back there.
    explicit CImageScreen(QWidget* parent = nullptr, std::string iniPath = std::string());
    ~CImageScreen() override;

    // Set by the owner. The image is not owned; it must stay alive while
    // the window shows it.
    void SetImage(const CImageEx* image);
    const CImageEx* GetImage() const { return m_image; }
    int m_nInterval = 5000;      // slide interval in milliseconds
    QString m_strImageName;      // kept for the owner, not shown
    QString m_strImageFormat;    // kept for the owner, not shown
    void setPointerState(const IPointerState* pointer);

    // Covers the screen (the primary one when null) and shows the window
    // on top.
    void ShowOnScreen(QScreen* screen);
    // Starts the slide show: timer 501 unless it runs, the cursor watch and
    // the control bar.
    void StartSlideShow();
    // Forgets the picture drawn from the image and repaints at once: the
    // owner calls it after changing the image.
    void ReleaseImage();

    // Timer 501 as the owner drives it between images. While the show is
    // paused (the bar's pause) StartSlideTimer starts nothing: only play
    // resumes the show.
    bool IsSlideTimerRunning() const { return m_slideTimer.isActive(); }
    void StartSlideTimer();
    void StopSlideTimer();
    bool IsPaused() const { return m_paused; }
    bool IsCursorHidden() const { return m_cursorHidden; }
    CSlideShowDlg* GetControlBar() const { return m_controlBar; }

    // The control bar's codes (CSlideShowDlg::Code); others are ignored.
    void OnSlideShowCommand(int code);
    // One tick of timer 501 or 502.
    void OnTimer(int timerId);

    void paint(QPainter& painter) const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void postNotify(int code);
    void hideRestingCursor();
    void showCursorAgain();
    void placeControlBar();
    void runSettings();

    std::string m_iniPath;
    const CImageEx* m_image = nullptr;
    const IPointerState* m_pointer = nullptr;
    QTimer m_slideTimer;
    QTimer m_cursorTimer;
    bool m_paused = false;
    QPoint m_lastCursorPos;
    bool m_cursorHidden = false;
    CSlideShowDlg* m_controlBar = nullptr;
    // The image scaled to its place, made at the first paint after a change.
    mutable QImage m_fitted;
};
