#include "app/ScreenShow.h"

#include "controls/ImageScreen.h"
#include "imagefile/ImageFileInfo.h"

// The views are not written yet: nothing opens.
struct CScreenShow::Impl
{
    explicit Impl(IScreenShowHost& h) : host(h) {}
    IScreenShowHost& host;
    bool paused = false;
};

CScreenShow::CScreenShow(IScreenShowHost& host, QObject* parent)
    : QObject(parent), m_impl(std::make_unique<Impl>(host))
{
}

CScreenShow::~CScreenShow() = default;

void CScreenShow::OnFullScreen() {}
void CScreenShow::OnSlideShow() {}
void CScreenShow::RefreshScreenImage() {}
void CScreenShow::SetPaused(bool paused) { m_impl->paused = paused; }
bool CScreenShow::IsPaused() const { return m_impl->paused; }
bool CScreenShow::IsFullScreenOpen() const { return false; }
bool CScreenShow::IsSlideShowOpen() const { return false; }
CImageScreen* CScreenShow::GetScreen() const { return nullptr; }
