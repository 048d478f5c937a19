#pragma once
// CScreenShow: the file-list panel's full-screen view and slide show. One
// full-screen window (CImageScreen) over the monitor the main window has
// selected, fed with display images made by the project; for the slide
// show a small cache of the next entries' display images is filled by a
// worker thread, so that stepping to the next image does not wait for
// loading and colour conversion.
//
// The panel owns one CScreenShow and forwards its buttons (full screen,
// slide show) and the frame's monitor-profile refresh to it. Everything
// the controller needs of the panel comes through IScreenShowHost, read on
// the user-interface thread only: the worker never reads widgets, it gets
// copies of the list entries when it starts.

#include <QObject>
#include <QRect>

#include <memory>
#include <vector>

class CImageCache;
class CImageEx;
class CImageFileInfo;
class CImageScreen;
class CProjectManage;
class QWidget;

// The notification messages the controller gives the window: the full
// screen view closes on codes 0..2; the slide show closes on 2 and 5, goes
// back on 4 and on on 0, 1 and 3 (CImageScreen::NotifyCode).
inline constexpr int UWM_IMAGESCREEN_NOTIFY = 0x466;
inline constexpr int UWM_SLIDESHOW_NOTIFY = 0x467;

class IScreenShowHost
{
public:
    virtual ~IScreenShowHost() = default;
    // The project whose images are shown; null when none is attached.
    virtual CProjectManage* ScreenProject() const = 0;
    // The window the full-screen view belongs to (the panel); it is
    // disabled while a view is open.
    virtual QWidget* ScreenOwner() const = 0;
    // The list's entries in the order of the rows (copies: the worker
    // keeps them while the list changes under the panel).
    virtual std::vector<CImageFileInfo> ScreenEntries() const = 0;
    // The first selected row, -1 when none.
    virtual int ScreenFirstSelectedRow() const = 0;
    // True when the project holds an image: when it does not, loads the
    // first selected row (the panel's ShowItem) and answers whether that
    // gave an image.
    virtual bool ScreenEnsureImageLoaded() = 0;
    // The desktop rectangle of the monitor the main window selected; an
    // empty rectangle means the primary screen.
    virtual QRect ScreenMonitorRect() const = 0;
};

class CScreenShow : public QObject
{
    Q_OBJECT
public:
    explicit CScreenShow(IScreenShowHost& host, QObject* parent = nullptr);
    // Closes an open view, stops the worker and frees every image.
    ~CScreenShow() override;

    // Full screen: the project's current image (the first selected entry is
    // loaded when none is), converted for the monitor. Nothing when there
    // is no image to show.
    void OnFullScreen();
    // Slide show from the first selected row (row 0 when none); nothing
    // when the list is empty.
    void OnSlideShow();
    // The monitor profile changed: the open view's images are made again.
    void RefreshScreenImage();
    // While paused the worker adds nothing (the frame pauses it while it
    // replaces the monitor profile).
    void SetPaused(bool paused);
    bool IsPaused() const;

    bool IsFullScreenOpen() const;
    bool IsSlideShowOpen() const;
    // The full-screen window while a view is open, else null (tests).
    CImageScreen* GetScreen() const;
    // The slide show's cache (tests).
    const CImageCache& GetCache() const;
    // The full-screen view's image, null when none is shown (tests).
    const CImageEx* GetDisplayImage() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
