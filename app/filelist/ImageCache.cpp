#include "app/filelist/ImageCache.h"

#include "core/ImageEx.h"
#include "imagefile/ImageFileInfo.h"
#include "platform/Process.h"

#include <algorithm>
#include <exception>
#include <utility>

CImageCache::CImageCache(ImageMaker maker) : m_maker(std::move(maker)) {}

CImageCache::~CImageCache()
{
    Stop();
}

void CImageCache::Reset(std::vector<CImageFileInfo> entries, int startRow)
{
    Stop();
    m_entries = std::move(entries);
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_failed.clear();
    m_startRow = startRow >= 0 && startRow < EntryCount() ? startRow : 0;
}

void CImageCache::SetMaxImageSize(int width, int height)
{
    std::lock_guard lock(m_mutex);
    m_maxWidth = std::max(width, 0);
    m_maxHeight = std::max(height, 0);
}

void CImageCache::Start()
{
    Stop();
    m_worker = std::thread([this] { Run(); });
}

void CImageCache::Stop()
{
    if (!m_worker.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
    m_worker.join();
    std::lock_guard lock(m_mutex);
    m_stopRequested = false;
}

bool CImageCache::IsRunning() const
{
    return m_worker.joinable();
}

void CImageCache::SetPaused(bool paused)
{
    {
        std::lock_guard lock(m_mutex);
        m_paused = paused;
    }
    m_wake.notify_all();
}

bool CImageCache::IsPaused() const
{
    std::lock_guard lock(m_mutex);
    return m_paused;
}

int CImageCache::Wrap(int row) const
{
    const int count = EntryCount();
    if (count <= 0)
        return -1;
    if (row < 0)
        return count - 1;
    if (row >= count)
        return 0;
    return row;
}

int CImageCache::FirstUsableRowLocked(int row, int step) const
{
    int candidate = Wrap(row);
    for (int tried = 0; candidate >= 0 && tried < EntryCount(); ++tried)
    {
        if (m_failed.count(candidate) == 0)
            return candidate;
        candidate = Wrap(candidate + step);
    }
    return -1;
}

int CImageCache::NextRowLocked() const
{
    const int from = m_records.empty() ? m_startRow : m_records.back().row + 1;
    return FirstUsableRowLocked(from, +1);
}

// A failure of any kind, an exception included (memory), is a row that
// cannot be shown: it must not end the worker or cross into the caller.
std::unique_ptr<CImageEx> CImageCache::MakeImage(int row, int maxWidth, int maxHeight) const
{
    std::unique_ptr<CImageEx> image;
    try
    {
        image = m_maker(m_entries[static_cast<std::size_t>(row)], maxWidth, maxHeight);
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
    if (image && image->IsNull())
        return nullptr;
    return image;
}

// The worker: waits until there is room, no pause and a row to make; makes
// it without the lock, so that "next" and the pause are never held up by a
// conversion; appends it unless a stop or a pause came meanwhile.
void CImageCache::Run()
{
    platform::LowerThreadPriority();
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        m_wake.wait(lock, [this] {
            return m_stopRequested ||
                   (!m_paused && m_records.size() < kMaxRecords && NextRowLocked() >= 0);
        });
        if (m_stopRequested)
            return;
        const int row = NextRowLocked();
        const int maxWidth = m_maxWidth;
        const int maxHeight = m_maxHeight;
        lock.unlock();
        std::unique_ptr<CImageEx> image = MakeImage(row, maxWidth, maxHeight);
        lock.lock();
        if (m_stopRequested)
            return;
        if (!image)
            m_failed.insert(row);
        else if (!m_paused && m_records.size() < kMaxRecords)
            m_records.push_back({row, std::move(image)});
    }
}

bool CImageCache::MakeInFront(int row, int step)
{
    Stop();
    int maxWidth = 0;
    int maxHeight = 0;
    int candidate = -1;
    {
        std::lock_guard lock(m_mutex);
        maxWidth = m_maxWidth;
        maxHeight = m_maxHeight;
        candidate = FirstUsableRowLocked(row, step);
    }
    // Each pass either makes the image or adds a row to the failed ones,
    // so there are at most as many passes as rows.
    while (candidate >= 0)
    {
        std::unique_ptr<CImageEx> image = MakeImage(candidate, maxWidth, maxHeight);
        std::lock_guard lock(m_mutex);
        if (image)
        {
            m_records.push_front({candidate, std::move(image)});
            while (m_records.size() > kMaxRecords)
                m_records.pop_back();
            return true;
        }
        m_failed.insert(candidate);
        candidate = FirstUsableRowLocked(candidate + step, step);
    }
    return false;
}

bool CImageCache::MakeFront(int row)
{
    return MakeInFront(row, +1);
}

bool CImageCache::MakePrevious(int currentRow)
{
    int current = currentRow;
    {
        std::lock_guard lock(m_mutex);
        if (!m_records.empty())
            current = m_records.front().row;
    }
    return MakeInFront(current - 1, -1);
}

std::unique_ptr<CImageEx> CImageCache::Next()
{
    std::unique_ptr<CImageEx> removed;
    {
        std::lock_guard lock(m_mutex);
        if (m_records.size() < 2)
            return nullptr;
        removed = std::move(m_records.front().image);
        m_records.pop_front();
    }
    m_wake.notify_all();
    return removed;
}

void CImageCache::Clear()
{
    Stop();
    std::lock_guard lock(m_mutex);
    m_records.clear();
}

const CImageEx* CImageCache::FrontImage() const
{
    std::lock_guard lock(m_mutex);
    return m_records.empty() ? nullptr : m_records.front().image.get();
}

int CImageCache::FrontRow() const
{
    std::lock_guard lock(m_mutex);
    return m_records.empty() ? -1 : m_records.front().row;
}

std::size_t CImageCache::Size() const
{
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

std::vector<int> CImageCache::Rows() const
{
    std::lock_guard lock(m_mutex);
    std::vector<int> rows;
    rows.reserve(m_records.size());
    for (const Record& record : m_records)
        rows.push_back(record.row);
    return rows;
}

void CImageCache::GetLargestImageSize(int& width, int& height) const
{
    std::lock_guard lock(m_mutex);
    width = 0;
    height = 0;
    for (const Record& record : m_records)
    {
        width = std::max(width, record.image->GetWidth());
        height = std::max(height, record.image->GetHeight());
    }
}

bool CImageCache::HasFailed(int row) const
{
    std::lock_guard lock(m_mutex);
    return m_failed.count(row) != 0;
}
