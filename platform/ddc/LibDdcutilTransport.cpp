// The real-monitor backend: a thin layer over libddcutil 1.4.
//
// - The library is loaded at run time (dlopen), the first time this
//   backend is created, never at start-up: libddcutil 1.4 sets itself up in
//   a load-time constructor that scans the system and prints what it finds
//   missing, which neither a program that never talks to a real monitor
//   nor a test run should pay for. Only the library's headers are used at
//   build time; its functions are looked up by name. Without the library
//   (or with one that lacks a function used here) this backend finds no
//   monitors and says why in LastError().
// - The library's own retries are cut to one try for every kind of
//   operation, and write verification (a read after each write) is off:
//   every call here is exactly one exchange, and the callers' retry rules
//   are the only ones.
// - Monitors are found by the library (ddca_get_display_info_list2, invalid
//   displays included so that a monitor without DDC/CI still has its EDID
//   listed) and named by their I2C bus number; a display reference is never
//   kept between calls, and every exchange opens and closes the display.
// - The library has no call for "save current settings" (MCCS command
//   0Ch), so that one goes straight to the monitor's DDC/CI address on the
//   I2C bus the library found it on.
// - Which monitor is on the primary display is a question for the desktop,
//   which this layer cannot ask: the first monitor that speaks DDC/CI is
//   taken as the primary one.
// - The VCP reply's type byte is not passed on by the library; reads report
//   a set parameter.
//
// All library calls of the process go through one mutex: the library keeps
// global state (display references, which a re-detection invalidates).

#include "platform/DisplayDevices.h"
#include "platform/ddc/DdcTransport.h"

#include <ddcutil_c_api.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <type_traits>

namespace platform {

namespace {

// The library's run-time name (its soname: the 1.x series of the C API).
constexpr const char* kLibraryName = "libddcutil.so.4";

// Every library function this backend calls, looked up by name at load
// time. The declarations of <ddcutil_c_api.h> give the pointer types.
#define QB_DDCUTIL_FUNCTIONS(X)                                                                    \
    X(ddca_set_fout)                                                                               \
    X(ddca_set_ferr)                                                                               \
    X(ddca_enable_verify)                                                                          \
    X(ddca_set_max_tries)                                                                          \
    X(ddca_rc_name)                                                                                \
    X(ddca_rc_desc)                                                                                \
    X(ddca_get_display_info_list2)                                                                 \
    X(ddca_free_display_info_list)                                                                 \
    X(ddca_redetect_displays)                                                                      \
    X(ddca_open_display2)                                                                          \
    X(ddca_close_display)                                                                          \
    X(ddca_get_non_table_vcp_value)                                                                \
    X(ddca_set_non_table_vcp_value)                                                                \
    X(ddca_get_capabilities_string)

struct DdcutilApi
{
#define QB_DDCUTIL_POINTER(name) decltype(&::name) name = nullptr;
    QB_DDCUTIL_FUNCTIONS(QB_DDCUTIL_POINTER)
#undef QB_DDCUTIL_POINTER
};

// Points the process's standard output and error at /dev/null for its
// lifetime. The library's load-time constructor writes its findings there
// before any of its functions can be told not to; the streams are flushed
// on both sides so that nothing of ours is lost and nothing of the
// library's is left in a buffer to come out later. Output that another
// thread writes in this short window is lost too, which is why it is
// only used around loading and unloading the library.
class SilencedOutput
{
public:
    SilencedOutput()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0)
            return;
        for (int i = 0; i < 2; ++i)
        {
            m_saved[i] = ::fcntl(kStreams[i], F_DUPFD_CLOEXEC, 3);
            if (m_saved[i] >= 0)
                ::dup2(null, kStreams[i]);
        }
        ::close(null);
    }

    ~SilencedOutput()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int i = 0; i < 2; ++i)
        {
            if (m_saved[i] < 0)
                continue;
            ::dup2(m_saved[i], kStreams[i]);
            ::close(m_saved[i]);
        }
    }

    SilencedOutput(const SilencedOutput&) = delete;
    SilencedOutput& operator=(const SilencedOutput&) = delete;

private:
    static constexpr std::array<int, 2> kStreams = {STDOUT_FILENO, STDERR_FILENO};
    std::array<int, 2> m_saved = {-1, -1};
};

// The loaded library: its functions, or why there are none.
struct DdcutilLibrary
{
    DdcutilApi api;
    bool loaded = false;
    std::string error;
};

DdcutilLibrary LoadDdcutil()
{
    DdcutilLibrary library;
    SilencedOutput silence;
    void* handle = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
    {
        const char* why = ::dlerror();
        library.error = std::string("cannot load ") + kLibraryName + ": " +
                        (why != nullptr ? why : "unknown reason");
        return library;
    }
    std::string missing;
    const auto resolve = [&](auto& slot, const char* name) {
        void* symbol = ::dlsym(handle, name);
        if (symbol == nullptr)
        {
            missing += missing.empty() ? name : std::string(", ") + name;
            return;
        }
        // POSIX guarantees that a data pointer from dlsym converts to the
        // function pointer it stands for.
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
    };
#define QB_DDCUTIL_BIND(name) resolve(library.api.name, #name);
    QB_DDCUTIL_FUNCTIONS(QB_DDCUTIL_BIND)
#undef QB_DDCUTIL_BIND
    if (!missing.empty())
    {
        library.api = {};
        library.error = std::string(kLibraryName) + " lacks " + missing;
        ::dlclose(handle);
        return library;
    }
    // The library stays loaded for the rest of the process.
    const DdcutilApi& api = library.api;
    api.ddca_set_max_tries(DDCA_WRITE_ONLY_TRIES, 1);
    api.ddca_set_max_tries(DDCA_WRITE_READ_TRIES, 1);
    api.ddca_set_max_tries(DDCA_MULTI_PART_TRIES, 1);
    library.loaded = true;
    return library;
}

// The library, loaded by the first caller (thread-safe: a function-local
// static).
const DdcutilLibrary& Library()
{
    static const DdcutilLibrary library = LoadDdcutil();
    return library;
}

const DdcutilApi& Api()
{
    return Library().api;
}

std::mutex& LibraryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Per-thread library settings, made once per thread before its first call.
void PrepareThread()
{
    thread_local bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    Api().ddca_set_fout(nullptr); // the library reports to us through status codes
    Api().ddca_set_ferr(nullptr);
    Api().ddca_enable_verify(false);
}

std::string StatusText(const char* what, DDCA_Status status)
{
    const char* name = Api().ddca_rc_name(status);
    const char* desc = Api().ddca_rc_desc(status);
    return std::string(what) + ": " + (name ? name : "?") + " (" + (desc ? desc : "") + ")";
}

// Owns a display list of the library.
struct DisplayList
{
    DDCA_Display_Info_List* list = nullptr;
    ~DisplayList()
    {
        if (list != nullptr)
            Api().ddca_free_display_info_list(list);
    }

    bool Load(std::string* error)
    {
        if (list != nullptr)
        {
            Api().ddca_free_display_info_list(list);
            list = nullptr;
        }
        const DDCA_Status status = Api().ddca_get_display_info_list2(true, &list);
        if (status != 0 || list == nullptr)
        {
            *error = StatusText("listing displays", status);
            list = nullptr;
            return false;
        }
        return true;
    }

    const DDCA_Display_Info* FindBus(int bus) const
    {
        if (list == nullptr)
            return nullptr;
        for (int i = 0; i < list->ct; ++i)
        {
            const DDCA_Display_Info& info = list->info[i];
            if (info.path.io_mode == DDCA_IO_I2C && info.path.path.i2c_busno == bus)
                return &info;
        }
        return nullptr;
    }

    bool AnyValid() const
    {
        if (list == nullptr)
            return false;
        for (int i = 0; i < list->ct; ++i)
        {
            if (list->info[i].dispno > 0)
                return true;
        }
        return false;
    }
};

std::vector<std::uint8_t> ReadBinary(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

// The DRM connector ("card0-DP-1") driving the monitor on I2C bus `bus`:
// the connector whose DDC bus (its "ddc" link, or its DisplayPort AUX
// channel's i2c-N folder) is that bus, else the one whose EDID is the
// monitor's. Empty when none matches.
std::string FindConnector(int bus, const std::uint8_t* edid)
{
    namespace fs = std::filesystem;
    const std::string busName = "i2c-" + std::to_string(bus);
    std::error_code ec;
    fs::directory_iterator it("/sys/class/drm", ec);
    if (ec)
        return {};
    std::string byEdid;
    for (const fs::directory_entry& entry : it)
    {
        const std::string name = entry.path().filename().string();
        if (name.rfind("card", 0) != 0 || name.find('-') == std::string::npos)
            continue;
        const fs::path ddc = fs::read_symlink(entry.path() / "ddc", ec);
        if (!ec && ddc.filename() == busName)
            return name;
        if (fs::exists(entry.path() / busName, ec))
            return name;
        const std::vector<std::uint8_t> sysEdid = ReadBinary(entry.path() / "edid");
        if (byEdid.empty() && sysEdid.size() >= 128 &&
            std::equal(sysEdid.begin(), sysEdid.begin() + 128, edid))
            byEdid = name;
    }
    return byEdid;
}

class LibDdcutilTransport final : public DdcTransport
{
public:
    std::vector<PhysicalMonitor> EnumerateMonitors() override
    {
        std::lock_guard lock(LibraryMutex());
        std::vector<PhysicalMonitor> monitors;
        if (!Ready())
            return monitors;
        DisplayList displays;
        if (!displays.Load(&m_lastError))
            return monitors;
        // The library detects once per process; a monitor plugged in later
        // is only seen after a re-detection, which takes a while on a machine
        // with many buses: done only while nothing answers, at most every
        // few seconds.
        const auto now = std::chrono::steady_clock::now();
        if (!displays.AnyValid() && now - m_lastRedetect >= std::chrono::seconds(10))
        {
            m_lastRedetect = now;
            Api().ddca_redetect_displays();
            if (!displays.Load(&m_lastError))
                return monitors;
        }
        bool primaryTaken = false;
        for (int i = 0; i < displays.list->ct; ++i)
        {
            const DDCA_Display_Info& info = displays.list->info[i];
            if (info.path.io_mode != DDCA_IO_I2C)
                continue;
            PhysicalMonitor m;
            m.index = static_cast<std::size_t>(info.path.path.i2c_busno);
            m.connector = FindConnector(info.path.path.i2c_busno, info.edid_bytes);
            if (m.connector.empty())
                m.connector = "i2c-" + std::to_string(info.path.path.i2c_busno);
            const std::string model(info.model_name,
                                    strnlen(info.model_name, sizeof info.model_name));
            // The one form of the device ID, from the same EDID the DRM
            // enumeration reads.
            m.deviceId = MonitorDeviceId(
                std::span<const std::uint8_t>(info.edid_bytes, sizeof info.edid_bytes), m.connector);
            m.description = model.empty() ? "Monitor on " + m.connector : model;
            m.primary = !primaryTaken && info.dispno > 0;
            primaryTaken = primaryTaken || m.primary;
            monitors.push_back(std::move(m));
        }
        std::stable_partition(monitors.begin(), monitors.end(),
                              [](const PhysicalMonitor& m) { return m.primary; });
        m_lastError.clear();
        return monitors;
    }

    bool GetVcp(const PhysicalMonitor& monitor, std::uint8_t code, VcpValue* value) override
    {
        return WithDisplay(monitor, [&](DDCA_Display_Handle dh) {
            DDCA_Non_Table_Vcp_Value reply{};
            const DDCA_Status status = Api().ddca_get_non_table_vcp_value(dh, code, &reply);
            if (status != 0)
                return Fail("reading VCP", status);
            if (value != nullptr)
            {
                value->current = static_cast<std::uint16_t>(reply.sh << 8 | reply.sl);
                value->maximum = static_cast<std::uint16_t>(reply.mh << 8 | reply.ml);
                value->type = VcpCodeType::SetParameter;
            }
            return true;
        });
    }

    bool SetVcp(const PhysicalMonitor& monitor, std::uint8_t code, std::uint16_t value) override
    {
        return WithDisplay(monitor, [&](DDCA_Display_Handle dh) {
            const DDCA_Status status =
                Api().ddca_set_non_table_vcp_value(dh, code, static_cast<std::uint8_t>(value >> 8),
                                                   static_cast<std::uint8_t>(value & 0xFF));
            return status == 0 || Fail("writing VCP", status);
        });
    }

    bool GetCapabilities(const PhysicalMonitor& monitor, std::string* caps) override
    {
        return WithDisplay(monitor, [&](DDCA_Display_Handle dh) {
            char* text = nullptr;
            const DDCA_Status status = Api().ddca_get_capabilities_string(dh, &text);
            if (status != 0 || text == nullptr)
            {
                std::free(text);
                return Fail("reading capabilities", status);
            }
            if (caps != nullptr)
                *caps = text;
            std::free(text);
            return true;
        });
    }

    bool SaveCurrentSettings(const PhysicalMonitor& monitor) override
    {
        std::lock_guard lock(LibraryMutex());
        if (!Ready())
            return false;
        DisplayList displays;
        if (!displays.Load(&m_lastError))
            return false;
        const DDCA_Display_Info* info = displays.FindBus(static_cast<int>(monitor.index));
        if (info == nullptr || info->dispno <= 0)
        {
            m_lastError =
                "monitor " + monitor.connector + (info ? " does not answer DDC/CI" : " is gone");
            return false;
        }
        // Host (source address 51h) to display (write address 6Eh): length
        // 81h (one byte follows, the high bit marks the DDC/CI protocol), the
        // command 0Ch, and the XOR checksum over the address and the bytes.
        constexpr std::uint8_t kDisplayAddress = 0x37;
        std::array<std::uint8_t, 4> packet = {0x51, 0x81, 0x0C, 0x00};
        packet[3] =
            static_cast<std::uint8_t>((kDisplayAddress << 1) ^ packet[0] ^ packet[1] ^ packet[2]);
        const std::string device = "/dev/i2c-" + std::to_string(monitor.index);
        const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
        {
            m_lastError = "cannot open " + device;
            return false;
        }
        const bool ok =
            ::ioctl(fd, I2C_SLAVE, kDisplayAddress) >= 0 &&
            ::write(fd, packet.data(), packet.size()) == static_cast<ssize_t>(packet.size());
        ::close(fd);
        m_lastError = ok ? std::string() : "save current settings: no answer on " + device;
        return ok;
    }

    bool GetEdid(const PhysicalMonitor& monitor, std::vector<std::uint8_t>* edid) override
    {
        std::lock_guard lock(LibraryMutex());
        if (!Ready())
            return false;
        DisplayList displays;
        if (!displays.Load(&m_lastError))
            return false;
        const DDCA_Display_Info* info = displays.FindBus(static_cast<int>(monitor.index));
        if (info == nullptr)
        {
            m_lastError = "monitor " + monitor.connector + " is gone";
            return false;
        }
        // The kernel's copy holds the extension blocks too.
        std::vector<std::uint8_t> bytes;
        if (monitor.connector.rfind("card", 0) == 0)
            bytes =
                ReadBinary(std::filesystem::path("/sys/class/drm") / monitor.connector / "edid");
        if (bytes.size() < 128 || !std::equal(bytes.begin(), bytes.begin() + 128, info->edid_bytes))
            bytes.assign(info->edid_bytes, info->edid_bytes + 128);
        if (edid != nullptr)
            *edid = std::move(bytes);
        m_lastError.clear();
        return true;
    }

    bool GetTechnologyType(const PhysicalMonitor& monitor, std::uint16_t* type) override
    {
        VcpValue value;
        if (!GetVcp(monitor, vcp::kDisplayTechnologyType, &value))
            return false;
        if (type != nullptr)
            *type = value.current;
        return true;
    }

    std::string LastError() const override { return m_lastError; }

private:
    // The library is there (else LastError says why it is not), and this
    // thread has made its settings.
    bool Ready()
    {
        if (!Library().loaded)
        {
            m_lastError = Library().error;
            return false;
        }
        PrepareThread();
        return true;
    }

    bool Fail(const char* what, DDCA_Status status)
    {
        m_lastError = StatusText(what, status);
        return false;
    }

    // Opens the monitor, runs one exchange on it, closes it.
    template <typename Work> bool WithDisplay(const PhysicalMonitor& monitor, Work&& work)
    {
        std::lock_guard lock(LibraryMutex());
        if (!Ready())
            return false;
        DisplayList displays;
        if (!displays.Load(&m_lastError))
            return false;
        const DDCA_Display_Info* info = displays.FindBus(static_cast<int>(monitor.index));
        if (info == nullptr)
        {
            m_lastError = "monitor " + monitor.connector + " is gone";
            return false;
        }
        if (info->dispno <= 0)
        {
            m_lastError = "monitor " + monitor.connector + " does not answer DDC/CI";
            return false;
        }
        DDCA_Display_Handle dh = nullptr;
        const DDCA_Status status = Api().ddca_open_display2(info->dref, false, &dh);
        if (status != 0 || dh == nullptr)
            return Fail("opening the monitor", status);
        m_lastError.clear();
        const bool ok = work(dh);
        Api().ddca_close_display(dh);
        return ok;
    }

    std::string m_lastError;
    // The library's own detection runs at its first use, so the clock of
    // re-detections starts with the object.
    std::chrono::steady_clock::time_point m_lastRedetect = std::chrono::steady_clock::now();
};

} // namespace

std::unique_ptr<DdcTransport> CreateLibDdcutilTransport()
{
    (void)Library(); // loaded now, so that no exchange pays for it
    return std::make_unique<LibDdcutilTransport>();
}

bool IsDdcutilLoaded()
{
    // Asked of the dynamic loader rather than of our own state, so that the
    // answer also holds the library to account when it came in some other
    // way (linked in, or loaded by another library).
    void* handle = ::dlopen(kLibraryName, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    ::dlclose(handle);
    return true;
}

} // namespace platform
