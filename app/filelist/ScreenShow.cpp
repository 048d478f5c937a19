#include "app/filelist/ScreenShow.h"

#include "app/filelist/ImageCache.h"
#include "controls/support/WaitCursor.h"
#include "controls/widgets/ImageScreen.h"
#include "core/ImageEx.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// The screen of the main window's monitor: the one that holds the centre
// of its desktop rectangle; the primary screen when the rectangle is empty
// (no monitor selected) or lies on no screen.
QScreen* ScreenOfMonitor(const QRect& monitor)
{
    if (!monitor.isEmpty())
    {
        if (QScreen* screen = QGuiApplication::screenAt(monitor.center()))
            return screen;
    }
    return QGuiApplication::primaryScreen();
}

// The screen's size in device pixels: the box the slide show's images are
// reduced to, so that none is larger than what can be shown of it.
QSize DevicePixelSize(const QScreen* screen)
{
    if (screen == nullptr)
        return QSize();
    const QSize size = screen->geometry().size();
    const double ratio = screen->devicePixelRatio();
    return QSize(static_cast<int>(std::lround(size.width() * ratio)),
                 static_cast<int>(std::lround(size.height() * ratio)));
}

} // namespace

struct CScreenShow::Impl
{
    enum class Mode
    {
        None,
        FullScreen,
        SlideShow
    };

    Impl(CScreenShow& owner, IScreenShowHost& h)
        : self(owner), host(h),
          cache([this](const CImageFileInfo& entry, int maxWidth, int maxHeight) {
              return cacheProject != nullptr
                         ? cacheProject->MakeDisplayImageOf(entry, maxWidth, maxHeight)
                         : nullptr;
          })
    {
    }

    CScreenShow& self;
    IScreenShowHost& host;
    Mode mode = Mode::None;
    CImageScreen* screen = nullptr;
    QPointer<QWidget> owner;
    std::unique_ptr<CImageEx> displayImage;
    bool paused = false;
    // The project the cache's maker reads; written only while the worker
    // is stopped (the cache is reset first), so the worker reads it freely.
    // Declared before the cache, which stops its worker when destroyed.
    CProjectManage* cacheProject = nullptr;
    CImageCache cache;

    // The window over the main window's monitor, created when there is
    // none, its notifications routed here with the given message.
    CImageScreen* OpenScreen(int message, QScreen* target);
    // The window goes (later: it may be in the middle of sending the very
    // notification that closes it) and the owner is enabled again.
    void DestroyScreen(bool now);
    void DisableOwner();

    void OnNotify(int message, int code);
    void CloseFullScreen();
    void CloseSlideShow();
    void SlideShowNext();
    void SlideShowPrevious();
    void ShowCacheFront();
    void SetCacheBox();
};

CImageScreen* CScreenShow::Impl::OpenScreen(int message, QScreen* target)
{
    if (screen == nullptr)
    {
        screen = new CImageScreen(nullptr);
        screen->setAttribute(Qt::WA_DeleteOnClose, false);
        // Queued notifications of a window that has been closed meanwhile
        // are dropped: only the current window speaks to the controller.
        QPointer<CImageScreen> sender(screen);
        QObject::connect(screen, &CImageScreen::notify, &self,
                         [this, sender](int msg, int code, qint64) {
                             if (sender.isNull() || sender.data() != screen)
                                 return;
                             OnNotify(msg, code);
                         });
    }
    screen->setNotifyMessage(message);
    if (target != nullptr)
    {
        // Placed at once, so that the box of the images is that screen's.
        screen->setScreen(target);
        screen->setGeometry(target->geometry());
    }
    return screen;
}

void CScreenShow::Impl::DisableOwner()
{
    owner = host.ScreenOwner();
    if (!owner.isNull())
        owner->setEnabled(false);
}

void CScreenShow::Impl::DestroyScreen(bool now)
{
    if (!owner.isNull())
        owner->setEnabled(true);
    owner.clear();
    if (screen == nullptr)
        return;
    CImageScreen* closing = screen;
    screen = nullptr;
    closing->disconnect(&self);
    closing->setNotifyMessage(0);
    closing->StopSlideTimer();
    closing->SetImage(nullptr);
    closing->hide();
    if (now)
        delete closing;
    else
        closing->deleteLater();
}

void CScreenShow::Impl::OnNotify(int message, int code)
{
    if (mode == Mode::FullScreen && message == UWM_IMAGESCREEN_NOTIFY)
    {
        if (code >= CImageScreen::kClicked && code <= CImageScreen::kEscape)
            CloseFullScreen();
    }
    else if (mode == Mode::SlideShow && message == UWM_SLIDESHOW_NOTIFY)
    {
        switch (code)
        {
        case CImageScreen::kEscape:
        case CImageScreen::kCloseShow:
            CloseSlideShow();
            break;
        case CImageScreen::kPreviousImage:
            SlideShowPrevious();
            break;
        case CImageScreen::kClicked:
        case CImageScreen::kEnter:
        case CImageScreen::kNextImage:
            SlideShowNext();
            break;
        default:
            break;
        }
    }
}

void CScreenShow::Impl::CloseFullScreen()
{
    DestroyScreen(false);
    displayImage.reset();
    mode = Mode::None;
}

void CScreenShow::Impl::CloseSlideShow()
{
    DestroyScreen(false);
    cache.Clear();
    cacheProject = nullptr;
    mode = Mode::None;
}

void CScreenShow::Impl::ShowCacheFront()
{
    screen->SetImage(cache.FrontImage());
    screen->ReleaseImage();
}

void CScreenShow::Impl::SetCacheBox()
{
    const QSize box = DevicePixelSize(screen != nullptr ? screen->screen() : nullptr);
    cache.SetMaxImageSize(box.width(), box.height());
}

// With fewer than two records the image on screen stays until the worker
// has made the next one.
void CScreenShow::Impl::SlideShowNext()
{
    if (cache.Size() < 2)
        return;
    screen->StopSlideTimer();
    const std::unique_ptr<CImageEx> removed = cache.Next();
    ShowCacheFront();
    screen->StartSlideTimer();
}

void CScreenShow::Impl::SlideShowPrevious()
{
    WaitCursorGuard wait;
    screen->StopSlideTimer();
    if (cache.MakePrevious(host.ScreenFirstSelectedRow()))
        ShowCacheFront();
    cache.Start();
    screen->StartSlideTimer();
}

CScreenShow::CScreenShow(IScreenShowHost& host, QObject* parent)
    : QObject(parent), m_impl(std::make_unique<Impl>(*this, host))
{
}

CScreenShow::~CScreenShow()
{
    m_impl->DestroyScreen(true);
    m_impl->cache.Clear();
}

void CScreenShow::OnFullScreen()
{
    Impl& d = *m_impl;
    if (d.mode != Impl::Mode::None)
        return;
    WaitCursorGuard wait;
    d.displayImage.reset();
    if (!d.host.ScreenEnsureImageLoaded())
        return;
    CProjectManage* project = d.host.ScreenProject();
    if (project == nullptr)
        return;
    d.displayImage = project->MakeDisplayImage();
    if (!d.displayImage)
        return;

    d.DisableOwner();
    QScreen* target = ScreenOfMonitor(d.host.ScreenMonitorRect());
    CImageScreen* screen = d.OpenScreen(UWM_IMAGESCREEN_NOTIFY, target);
    screen->SetImage(d.displayImage.get());
    std::string text;
    project->GetImageName(text);
    screen->m_strImageName = QString::fromStdString(text);
    project->GetImageFormatText(text);
    screen->m_strImageFormat = QString::fromStdString(text);
    d.mode = Impl::Mode::FullScreen;
    screen->ShowOnScreen(target);
}

void CScreenShow::OnSlideShow()
{
    Impl& d = *m_impl;
    if (d.mode != Impl::Mode::None)
        return;
    std::vector<CImageFileInfo> entries = d.host.ScreenEntries();
    CProjectManage* project = d.host.ScreenProject();
    if (entries.empty() || project == nullptr)
        return;

    d.DisableOwner();
    WaitCursorGuard wait;
    QScreen* target = ScreenOfMonitor(d.host.ScreenMonitorRect());
    CImageScreen* screen = d.OpenScreen(UWM_SLIDESHOW_NOTIFY, target);
    d.mode = Impl::Mode::SlideShow;

    const int selected = d.host.ScreenFirstSelectedRow();
    const int startRow = selected >= 0 ? selected : 0;
    d.cache.Reset(std::move(entries), startRow);
    d.cacheProject = project;
    d.SetCacheBox();
    if (d.cache.MakeFront(startRow))
        d.ShowCacheFront();

    screen->StartSlideShow();
    screen->ShowOnScreen(target);
    d.cache.Start();
}

void CScreenShow::RefreshScreenImage()
{
    Impl& d = *m_impl;
    if (d.mode == Impl::Mode::FullScreen)
    {
        CProjectManage* project = d.host.ScreenProject();
        std::unique_ptr<CImageEx> fresh = project != nullptr ? project->MakeDisplayImage() : nullptr;
        if (!fresh)
            return;
        d.screen->SetImage(fresh.get());
        d.displayImage = std::move(fresh);
        d.screen->ReleaseImage();
    }
    else if (d.mode == Impl::Mode::SlideShow)
    {
        d.screen->StopSlideTimer();
        d.cache.Stop();
        int row = d.cache.FrontRow();
        if (row < 0)
            row = std::max(d.host.ScreenFirstSelectedRow(), 0);
        // The window lets go of the front image before the cache frees it.
        d.screen->SetImage(nullptr);
        d.cache.Clear();
        d.SetCacheBox();
        if (d.cache.MakeFront(row))
            d.ShowCacheFront();
        else
            d.screen->ReleaseImage();
        d.cache.Start();
        d.screen->StartSlideTimer();
    }
}

void CScreenShow::SetPaused(bool paused)
{
    m_impl->paused = paused;
    m_impl->cache.SetPaused(paused);
}

bool CScreenShow::IsPaused() const
{
    return m_impl->paused;
}

bool CScreenShow::IsFullScreenOpen() const
{
    return m_impl->mode == Impl::Mode::FullScreen;
}

bool CScreenShow::IsSlideShowOpen() const
{
    return m_impl->mode == Impl::Mode::SlideShow;
}

CImageScreen* CScreenShow::GetScreen() const
{
    return m_impl->screen;
}

const CImageCache& CScreenShow::GetCache() const
{
    return m_impl->cache;
}

const CImageEx* CScreenShow::GetDisplayImage() const
{
    return m_impl->displayImage.get();
}
