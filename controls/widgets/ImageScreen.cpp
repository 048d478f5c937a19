#include "controls/widgets/ImageScreen.h"

#include "controls/dialogs/SlideShowSettingDlg.h"
#include "controls/support/PointerState.h"
#include "controls/widgets/ImageScreenLogic.h"
#include "core/ImageEx.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>

CImageScreen::CImageScreen(QWidget* parent, std::string iniPath)
    : CControlWidget(parent), m_iniPath(std::move(iniPath)), m_pointer(&SystemPointerState())
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_nInterval = ReadSlideInterval(m_iniPath);
    connect(&m_slideTimer, &QTimer::timeout, this, [this] { OnTimer(kSlideTimer); });
    connect(&m_cursorTimer, &QTimer::timeout, this, [this] { OnTimer(kCursorTimer); });
}

CImageScreen::~CImageScreen()
{
    WriteSlideInterval(m_nInterval, m_iniPath);
}

void CImageScreen::SetImage(const CImageEx* image)
{
    m_image = image;
    m_fitted = QImage();
    update();
}

void CImageScreen::setPointerState(const IPointerState* pointer)
{
    m_pointer = pointer != nullptr ? pointer : &SystemPointerState();
}

void CImageScreen::ShowOnScreen(QScreen* screen)
{
    QScreen* target = screen != nullptr ? screen : QGuiApplication::primaryScreen();
    if (target != nullptr)
    {
        setScreen(target);
        setGeometry(target->geometry());
    }
    show();
    raise();
    activateWindow();
}

void CImageScreen::StartSlideShow()
{
    if (!m_slideTimer.isActive())
        StartSlideTimer();
    m_lastCursorPos = m_pointer->globalCursorPosition();
    m_cursorTimer.start(kCursorRestInterval);
    if (m_controlBar == nullptr)
    {
        m_controlBar = new CSlideShowDlg(this);
        m_controlBar->setNotifyMessage(UWM_SLIDESHOW_COMMAND);
        connect(m_controlBar, &CSlideShowDlg::notify, this,
                [this](int message, int code, qint64) {
                    if (message == UWM_SLIDESHOW_COMMAND)
                        OnSlideShowCommand(code);
                });
        placeControlBar();
        m_controlBar->raise();
        m_controlBar->setVisible(!m_cursorHidden);
    }
}

void CImageScreen::ReleaseImage()
{
    m_fitted = QImage();
    repaint();
}

void CImageScreen::StartSlideTimer()
{
    if (m_paused)
        return;
    m_slideTimer.start(std::max(1, m_nInterval));
}

void CImageScreen::StopSlideTimer()
{
    m_slideTimer.stop();
}

void CImageScreen::OnSlideShowCommand(int code)
{
    switch (code)
    {
    case CSlideShowDlg::kPlay:
        m_paused = false;
        if (!m_slideTimer.isActive())
            StartSlideTimer();
        break;
    case CSlideShowDlg::kPause:
        m_paused = true;
        StopSlideTimer();
        break;
    case CSlideShowDlg::kPrevious:
        if (notifyMessage() != 0)
        {
            StopSlideTimer();
            sendNotify(kPreviousImage, 0);
        }
        break;
    case CSlideShowDlg::kNext:
        sendNotify(kNextImage, 0);
        break;
    case CSlideShowDlg::kClose:
        postNotify(kCloseShow);
        break;
    case CSlideShowDlg::kSettings:
        runSettings();
        break;
    default:
        break;
    }
}

// The show stands still while the settings are open; afterwards it goes on
// with the new interval, unless it was paused.
void CImageScreen::runSettings()
{
    StopSlideTimer();
    m_cursorTimer.stop();
    if (m_cursorHidden)
        showCursorAgain();
    CSlideShowSettingDlg dialog(this);
    dialog.m_nSeconds = m_nInterval / 1000;
    if (dialog.exec() == kDialogOk)
        m_nInterval = dialog.m_nSeconds * 1000;
    StartSlideTimer();
    m_lastCursorPos = m_pointer->globalCursorPosition();
    m_cursorTimer.start(kCursorRestInterval);
}

void CImageScreen::OnTimer(int timerId)
{
    if (timerId == kSlideTimer)
    {
        sendNotify(kNextImage, 0);
    }
    else if (timerId == kCursorTimer)
    {
        const QPoint position = m_pointer->globalCursorPosition();
        if (position == m_lastCursorPos && !m_cursorHidden)
            hideRestingCursor();
        m_lastCursorPos = position;
    }
}

void CImageScreen::paint(QPainter& painter) const
{
    painter.fillRect(rect(), Qt::black);
    if (m_image == nullptr || m_image->IsNull())
        return;
    const int width = m_image->GetWidth();
    const int height = m_image->GetHeight();
    const CRect place = FitImageRect(CRect(0, 0, this->width(), this->height()), width, height);
    if (place.IsRectEmpty())
        return;
    const QSize size(place.Width(), place.Height());
    if (m_fitted.size() != size)
    {
        // The image's rows as they lie (blue, green, red, padded rows),
        // smoothed while scaled as a halftone stretch would.
        const QImage rows(m_image->GetBits(), width, height, m_image->GetPitch(),
                          QImage::Format_BGR888);
        m_fitted = rows.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.drawImage(QPoint(place.left, place.top), m_fitted);
}

void CImageScreen::postNotify(int code)
{
    const int message = notifyMessage();
    if (message == 0)
        return;
    QMetaObject::invokeMethod(
        this, [this, message, code] { emit notify(message, code, 0); }, Qt::QueuedConnection);
}

void CImageScreen::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        postNotify(kEnter);
    else if (event->key() == Qt::Key_Escape)
        postNotify(kEscape);
    CControlWidget::keyPressEvent(event);
}

void CImageScreen::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        postNotify(kClicked);
    CControlWidget::mousePressEvent(event);
}

void CImageScreen::mouseMoveEvent(QMouseEvent* event)
{
    if (m_cursorHidden)
    {
        const QPoint moved = event->globalPosition().toPoint() - m_lastCursorPos;
        if (IsCursorWakeMove(moved.x(), moved.y()))
            showCursorAgain();
    }
    CControlWidget::mouseMoveEvent(event);
}

void CImageScreen::resizeEvent(QResizeEvent* event)
{
    m_fitted = QImage();
    placeControlBar();
    CControlWidget::resizeEvent(event);
}

void CImageScreen::hideRestingCursor()
{
    setCursor(Qt::BlankCursor);
    m_cursorHidden = true;
    if (m_controlBar != nullptr)
        m_controlBar->hide();
}

void CImageScreen::showCursorAgain()
{
    unsetCursor();
    m_cursorHidden = false;
    if (m_controlBar != nullptr)
        m_controlBar->show();
}

void CImageScreen::placeControlBar()
{
    if (m_controlBar != nullptr)
        m_controlBar->move(width() - m_controlBar->width(), 0);
}
