#include "app/shell/X11DisplayProfile.h"

#include "core/PathUtils.h"
#include "platform/ColorDirectory.h"
#include "platform/FileReplace.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

std::atomic<int> g_screen{0};

// xcb replies are malloc'ed and released with free().
struct FreeDeleter
{
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeDeleter>;

// ICC header: the profile size (big-endian) at 0, 'acsp' at 36; a profile
// has at least its 128-byte header and the tag count after it.
constexpr std::size_t kIccHeaderAndTagCount = 132;

bool LooksLikeIccProfile(const QByteArray& bytes)
{
    if (static_cast<std::size_t>(bytes.size()) < kIccHeaderAndTagCount)
        return false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const std::uint32_t declared = (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) |
                                   (std::uint32_t{data[2]} << 8) | std::uint32_t{data[3]};
    return declared >= kIccHeaderAndTagCount &&
           declared <= static_cast<std::size_t>(bytes.size()) &&
           std::string_view(bytes.constData() + 36, 4) == "acsp";
}

xcb_connection_t* ApplicationConnection()
{
    auto* application = qGuiApp;
    if (!application)
        return nullptr;
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return nullptr;
    xcb_connection_t* connection = x11->connection();
    return connection && !xcb_connection_has_error(connection) ? connection : nullptr;
}

} // namespace

std::string X11IccProfileAtomName(int screen)
{
    std::string name = "_ICC_PROFILE";
    if (screen > 0)
    {
        name += '_';
        name += std::to_string(screen);
    }
    return name;
}

QByteArray ReadX11IccProfile(int screen)
{
    if (screen < 0)
        return {};
    xcb_connection_t* connection = ApplicationConnection();
    if (!connection)
        return {};
    // The per-monitor properties all live on the first screen's root
    // window: Qt's screens are the monitors of that one X screen.
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (roots.rem == 0 || !roots.data)
        return {};
    const xcb_window_t root = roots.data->root;

    // An atom that was never interned names no property: ask without
    // creating it.
    const std::string name = X11IccProfileAtomName(screen);
    ReplyPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return {};

    // First the type, format and size alone (a length of 0 units returns
    // no data and the whole size as bytes_after), then exactly that many
    // bytes, so the cap applies before anything is allocated.
    ReplyPtr<xcb_get_property_reply_t> probe(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_CARDINAL, 0, 0), nullptr));
    if (!probe || probe->type != XCB_ATOM_CARDINAL || probe->format != 8 ||
        probe->bytes_after == 0 || probe->bytes_after > kMaxX11IccProfileBytes)
        return {};
    const std::uint32_t size = probe->bytes_after;

    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_CARDINAL, 0, (size + 3) / 4),
        nullptr));
    // A property replaced between the two requests shows as a different
    // size or as bytes left over: take nothing rather than part of one.
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 8 ||
        reply->bytes_after != 0 ||
        xcb_get_property_value_length(reply.get()) != static_cast<int>(size))
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      static_cast<qsizetype>(size));
}

void SetX11DisplayProfileScreen(int screen)
{
    g_screen.store(screen < 0 ? 0 : screen);
}

int X11DisplayProfileScreen()
{
    return g_screen.load();
}

std::string X11DisplayProfilePath(const std::string& /*deviceId*/)
{
    const int screen = g_screen.load();
    const QByteArray bytes = ReadX11IccProfile(screen);
    if (!LooksLikeIccProfile(bytes))
        return {};
    const std::string_view data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const std::string path = GetAppTempFolder() + X11IccProfileAtomName(screen) + ".icc";
    std::string current;
    if (platform::ReadFileContents(path, &current) && current == data)
        return path;
    return platform::ReplaceFileContents(path, data) ? path : std::string();
}

void InstallX11DisplayProfileHook()
{
    platform::SetDisplayProfileHook(&X11DisplayProfilePath);
}
