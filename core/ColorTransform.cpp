#include "core/ColorTransform.h"

#include "core/VectorState.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

void DiscardLittleCmsError(cmsContext, cmsUInt32Number, const char*) {}

} // namespace

// The context our transforms are created in. Its error handler discards
// LittleCMS's messages: a transform that cannot be made is reported to the
// caller as an invalid object, and the reasons (an unsupported profile, say)
// would only be noise on the console. Made once and kept until the process
// ends, because transforms created in it may live until then.
cmsContext QuietLcmsContext()
{
    static const cmsContext context = [] {
        cmsContext c = cmsCreateContext(nullptr, nullptr);
        if (c)
            cmsSetLogErrorHandlerTHR(c, DiscardLittleCmsError);
        return c;
    }();
    return context;
}

CColorTransform::CColorTransform(cmsHTRANSFORM transform) : m_transform(transform) {}

CColorTransform::~CColorTransform()
{
    if (m_transform)
        cmsDeleteTransform(m_transform);
}

CColorTransform::CColorTransform(CColorTransform&& other) noexcept
    : m_transform(std::exchange(other.m_transform, nullptr))
{}

CColorTransform& CColorTransform::operator=(CColorTransform&& other) noexcept
{
    if (this != &other)
    {
        if (m_transform)
            cmsDeleteTransform(m_transform);
        m_transform = std::exchange(other.m_transform, nullptr);
    }
    return *this;
}

void CColorTransform::Translate(const RGB16* src, RGB16* dst, std::size_t n) const
{
    if (!m_transform)
        return;
    ClearUpperVectorState();
    // cmsDoTransform counts pixels in 32 bits.
    constexpr std::size_t maxChunk = std::numeric_limits<cmsUInt32Number>::max();
    while (n > 0)
    {
        const std::size_t chunk = std::min(n, maxChunk);
        cmsDoTransform(m_transform, src, dst, static_cast<cmsUInt32Number>(chunk));
        src += chunk;
        dst += chunk;
        n -= chunk;
    }
}

CColorTransform CColorTransform::Create(cmsHPROFILE input, cmsHPROFILE output,
                                        cmsUInt32Number intent, cmsUInt32Number flags)
{
    if (!input || !output)
        return CColorTransform();
    return CColorTransform(cmsCreateTransformTHR(QuietLcmsContext(), input, TYPE_RGB_16, output,
                                                 TYPE_RGB_16, intent, flags | cmsFLAGS_NOCACHE));
}

CColorTransform CColorTransform::CreateFromDeviceLink(cmsHPROFILE deviceLink,
                                                      cmsUInt32Number intent, cmsUInt32Number flags)
{
    if (!deviceLink)
        return CColorTransform();
    cmsHPROFILE profiles[1] = {deviceLink};
    return CColorTransform(cmsCreateMultiprofileTransformTHR(QuietLcmsContext(), profiles, 1,
                                                             TYPE_RGB_16, TYPE_RGB_16, intent,
                                                             flags | cmsFLAGS_NOCACHE));
}
