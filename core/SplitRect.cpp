#include "core/SplitRect.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<double> g_dpiScaleX{1.0};
std::atomic<double> g_dpiScaleY{1.0};

int CeilDiv(int value, int divisor)
{
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

} // namespace

void CSplitRect::SetTileSize(int tileWidth, int tileHeight)
{
    m_tileWidth = tileWidth;
    m_tileHeight = tileHeight;
    SetRect(m_rect);
}

int CSplitRect::GetColumnCount() const
{
    if (m_tileWidth < 1 || m_rect.Width() <= 0)
        return 0;
    return CeilDiv(m_rect.Width(), m_tileWidth);
}

void CSplitRect::SetRect(const CRect& rect)
{
    m_rect = rect;
    m_flags.clear();
    if (m_tileWidth < 1 || m_tileHeight < 1 || rect.IsRectEmpty())
        return;
    const long long count = static_cast<long long>(CeilDiv(rect.Width(), m_tileWidth)) *
                            CeilDiv(rect.Height(), m_tileHeight);
    m_flags.assign(static_cast<std::size_t>(count), false);
}

bool CSplitRect::GetTile(int k, CRect& out) const
{
    if (k < 0 || k >= GetTileCount())
        return false;
    const int cols = GetColumnCount();
    const long long x0 = m_rect.left + static_cast<long long>(m_tileWidth) * (k % cols);
    const long long y0 = m_rect.top + static_cast<long long>(m_tileHeight) * (k / cols);
    const long long x1 = std::min<long long>(x0 + m_tileWidth, m_rect.right);
    const long long y1 = std::min<long long>(y0 + m_tileHeight, m_rect.bottom);
    out = CRect(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
                static_cast<int>(y1));
    return true;
}

bool CSplitRect::IsTileDone(int k) const
{
    return k >= 0 && k < GetTileCount() && m_flags[static_cast<std::size_t>(k)];
}

void CSplitRect::SetTileDone(int k, bool done)
{
    if (k >= 0 && k < GetTileCount())
        m_flags[static_cast<std::size_t>(k)] = done;
}

void SetScreenDpiScale(double scaleX, double scaleY)
{
    g_dpiScaleX = scaleX;
    g_dpiScaleY = scaleY;
}

double GetScreenDpiScaleX()
{
    return g_dpiScaleX;
}

double GetScreenDpiScaleY()
{
    return g_dpiScaleY;
}

void SplitMultiString(std::vector<std::string>& out, const char* text, std::size_t length)
{
    out.clear();
    if (text == nullptr)
        return;
    while (length != 0 && *text != '\0')
    {
        const void* end = std::memchr(text, '\0', length);
        const std::size_t size =
            end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                           : length;
        out.emplace_back(text, size);
        const std::size_t used = size < length ? size + 1 : length;
        text += used;
        length -= used;
    }
}
