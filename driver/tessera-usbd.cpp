// tessera-usbd: the Linux user-space bulk driver for the QM8620. It claims every attached
// instrument (vendor INSTRUMENT_VENDOR_ID, product 0x3000) with libusb and serves it in
// the device registry exactly as the virtual meter does: a directory per instrument,
// a SOCK_SEQPACKET socket per pipe, one message per USB packet (at most 64 bytes), a
// zero-length message for a zero-length packet. Instruments are taken on as they are
// plugged in and their entries go the moment they are unplugged (libusb hot-plug, or a
// listing once a second where the system offers no hot-plug events).

#include <grp.h>
#include <libusb.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "TesseraVersion.h"
#include "driver/Bridge.h"
#include "driver/PipeMap.h"
#include "platform/PipeIo_posix.h"
#include "platform/RegistryEntry.h"
#include "platform/RegistryRoot.h"
#include "transport/InstrumentIds.h"
#include "transport/MeterIdentity.h"

namespace {

using namespace tessera;
using Clock = std::chrono::steady_clock;

std::atomic<bool> gStop{false};
bool gVerbose = false;
driver::BridgeTimings gTimings;

void Say(const std::string& s) {
    std::printf("tessera-usbd: %s\n", s.c_str());
    std::fflush(stdout);
}

void Log(const std::string& s) {
    if (gVerbose) std::fprintf(stderr, "tessera-usbd: %s\n", s.c_str());
}

// Run as root, the bridge serves its registry to the members of this group only (and root):
// by default the group the udev rule gives the meter to where there is no seat.
constexpr const char* kDefaultGroup = "plugdev";
std::optional<unsigned long> gGroup;

// The registry root: `given`, else the one every program agrees on (system-wide when run as
// root). One that another user made or may write is refused; run as root, the root is the
// group's (750), never every account's.
std::string ServedRoot(const std::string& given) {
    const bool asRoot = ::geteuid() == 0;
    auto root = given.empty()
                    ? platform::registry::ServerRoot(asRoot)
                    : platform::registry::Choice{given, platform::registry::EnsureDirectory(given, 0700, asRoot)};
    if (root.problem.empty() && gGroup) root.problem = platform::registry::ShareWithGroup(root.path, *gGroup, 0750);
    if (!root.problem.empty()) {
        std::fprintf(stderr, "tessera-usbd: the device registry root cannot be used: %s\n", root.problem.c_str());
        std::exit(1);
    }
    return root.path;
}

// Each connection is a descriptor; the bounds per user keep far below a raised limit, and
// the soft limit of 1024 would be tight for several meters.
void RaiseDescriptorLimit() {
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &r);
    }
}

// Hot-plug callbacks only queue the news; the main loop acts on it, outside libusb's
// event handling.
struct Event {
    bool arrived;
    libusb_device* device;  // referenced
};
std::mutex gEventsMutex;
std::deque<Event> gEvents;

int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event, void*) {
    std::lock_guard<std::mutex> lock(gEventsMutex);
    gEvents.push_back({event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, libusb_ref_device(device)});
    return 0;
}

// The meter's serial number as the kernel read it when the meter arrived (sysfs), else as
// the meter answers it; empty when it has none.
std::string SerialNumber(libusb_device* device, libusb_device_handle* h, const uint8_t* ports, int depth) {
    if (ports) {
        std::string name = "/sys/bus/usb/devices/" + std::to_string(libusb_get_bus_number(device)) + "-";
        for (int i = 0; i < depth; ++i) name += (i ? "." : "") + std::to_string(ports[i]);
        std::ifstream in(name + "/serial");
        std::string serial;
        if (std::getline(in, serial)) {
            while (!serial.empty() && (serial.back() == '\r' || serial.back() == ' ')) serial.pop_back();
            if (!serial.empty()) return serial;
        }
    }
    libusb_device_descriptor dd{};
    unsigned char text[128];
    if (libusb_get_device_descriptor(device, &dd) != 0 || dd.iSerialNumber == 0) return {};
    const int length = libusb_get_string_descriptor_ascii(h, dd.iSerialNumber, text, sizeof text);
    return length > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length))
                      : std::string();
}

bool IsInstrument(libusb_device* device) {
    libusb_device_descriptor dd{};
    return libusb_get_device_descriptor(device, &dd) == 0 && dd.idVendor == transport::INSTRUMENT_VENDOR_ID &&
           dd.idProduct == transport::INSTRUMENT_PRODUCT_ID;
}

class Driver {
public:
    Driver(libusb_context* ctx, std::string classDir) : ctx_(ctx), classDir_(std::move(classDir)) {}

    ~Driver() {
        for (auto& [device, bridge] : served_) {
            bridge->Stop();
            libusb_unref_device(device);
        }
        for (auto& [device, r] : refused_) libusb_unref_device(device);
    }

    void Arrived(libusb_device* device) {
        if (!IsInstrument(device) || served_.count(device)) return;
        if (!refused_.count(device)) refused_[device] = {0, Clock::now()};
        libusb_ref_device(device);
        Try(device);
    }

    void Left(libusb_device* device) {
        if (auto it = refused_.find(device); it != refused_.end()) {
            libusb_unref_device(it->first);
            refused_.erase(it);
        }
        auto it = served_.find(device);
        if (it == served_.end()) return;
        const std::string entry = it->second->EntryPath();
        it->second->Stop();
        libusb_unref_device(it->first);
        served_.erase(it);
        Say(entry + " unplugged");
    }

    // Without hot-plug events: what the bus lists now against what is served.
    void Rescan() {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(ctx_, &list);
        if (count < 0) return;
        std::vector<libusb_device*> present(list, list + count);
        std::vector<libusb_device*> gone;
        for (auto& [device, bridge] : served_)
            if (std::find(present.begin(), present.end(), device) == present.end()) gone.push_back(device);
        for (auto* device : gone) Left(device);
        for (auto* device : present) Arrived(device);
        libusb_free_device_list(list, 1);
    }

    // An instrument that could not be opened yet (its access rule may still be on its way)
    // is tried again a few times, a second apart.
    void RetryRefused() {
        const auto now = Clock::now();
        std::vector<libusb_device*> due;
        for (auto& [device, r] : refused_)
            if (r.attempts > 0 && r.attempts < kAttempts && r.next <= now) due.push_back(device);
        for (auto* device : due) Try(device);
    }

private:
    static constexpr int kAttempts = 5;
    struct Refusal {
        int attempts;
        Clock::time_point next;
    };

    void Try(libusb_device* device) {
        Refusal& r = refused_[device];
        ++r.attempts;
        r.next = Clock::now() + std::chrono::seconds(1);
        std::string why;
        bool lasting = false;
        if (auto bridge = Claim(device, why, lasting)) {
            served_[device] = std::move(bridge);
            refused_.erase(device);
            return;
        }
        if (lasting || r.attempts >= kAttempts) {
            Say(why);
            r.attempts = kAttempts;  // until it is plugged in again
        } else {
            Log(why + " (trying again)");
        }
    }

    std::unique_ptr<driver::InstrumentBridge> Claim(libusb_device* device, std::string& why, bool& lasting) {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != 0 || config->bNumInterfaces < 1) {
            if (config) libusb_free_config_descriptor(config);
            why = "an instrument without a usable configuration was passed over";
            lasting = true;
            return nullptr;
        }
        std::vector<driver::EndpointInfo> endpoints;
        const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
        for (int i = 0; i < alt.bNumEndpoints; ++i)
            endpoints.push_back(
                {alt.endpoint[i].bEndpointAddress, alt.endpoint[i].bmAttributes, alt.endpoint[i].wMaxPacketSize});
        libusb_free_config_descriptor(config);
        const std::vector<driver::Pipe> pipes = driver::MapPipes(endpoints);

        libusb_device_handle* h = nullptr;
        if (int rc = libusb_open(device, &h); rc != 0) {
            why = std::string("cannot open the instrument: ") + libusb_error_name(rc) +
                  (rc == LIBUSB_ERROR_ACCESS ? " (is the udev rule 70-tessera-qm8620.rules installed?)" : "");
            lasting = rc != LIBUSB_ERROR_ACCESS && rc != LIBUSB_ERROR_BUSY;
            return nullptr;
        }
        libusb_set_auto_detach_kernel_driver(h, 1);
        if (int rc = libusb_claim_interface(h, 0); rc != 0) {
            why = std::string("cannot claim the instrument: ") + libusb_error_name(rc) +
                  (rc == LIBUSB_ERROR_BUSY ? " (another program holds it)" : "");
            lasting = rc != LIBUSB_ERROR_BUSY;
            libusb_close(h);
            return nullptr;
        }
        uint8_t ports[8];
        const int n = libusb_get_port_numbers(device, ports, 8);
        const std::string name =
            driver::EntryName(libusb_get_bus_number(device), std::vector<int>(ports, ports + std::max(n, 0)));
        std::vector<int> numbers;
        for (const auto& p : pipes) numbers.push_back(p.number);
        std::string error;
        // The meter's serial number goes with its entry: what a person reads to tell meters
        // apart and names to choose one.
        const transport::MeterIdentity identity{SerialNumber(device, h, n > 0 ? ports : nullptr, n),
                                                transport::kModelName};
        auto entry = platform::RegistryEntry::Publish(
            classDir_, name, numbers, gGroup, {{transport::kIdentityFile, transport::IdentityText(identity)}}, &error);
        if (!entry) {
            why = "cannot serve the instrument: " + error;
            lasting = false;
            libusb_release_interface(h, 0);
            libusb_close(h);
            return nullptr;
        }
        auto bridge =
            std::make_unique<driver::InstrumentBridge>(ctx_, h, pipes, std::move(entry), Log, gTimings, ::geteuid());
        Say("serving " + bridge->EntryPath() +
            (identity.serial.empty() ? "" : " (serial " + transport::PlainSerial(identity.serial) + ")"));
        return bridge;
    }

    libusb_context* ctx_;
    std::string classDir_;
    std::map<libusb_device*, std::unique_ptr<driver::InstrumentBridge>> served_;  // each device referenced
    std::map<libusb_device*, Refusal> refused_;                                   // each device referenced
};

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string group = ::geteuid() == 0 ? kDefaultGroup : "";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf(
                "Usage: tessera-usbd [--root DIR] [--group NAME] [--verbose]\n"
                "Serves every attached QM8620 (USB %04x:%04x) in the device registry so the program and\n"
                "tessera-cli find it, from the moment it is plugged in until it is unplugged.\n"
                "As a user (the udev rule 70-tessera-qm8620.rules gives the logged-in user the meter\n"
                "and starts this as the user service tessera-usbd.service) the registry is\n"
                "$TESSERA_DEVICE_ROOT, else $XDG_RUNTIME_DIR/tessera, and only that user reaches the\n"
                "meter. As root it is /run/tessera, which every user's program also searches, and root\n"
                "and the members of one group reach the meter (%s, as the udev rule has it).\n"
                "Stop with Ctrl-C.\n"
                "  --root DIR     serve the registry under DIR\n"
                "  --group NAME   the group whose members may use the meter (root only; default %s)\n"
                "  --version      print the version and end\n"
                "  --verbose      report transfer errors and recoveries on standard error\n"
                "  --write-timeout MS   how long a command may wait for the meter to take it (1000)\n"
                "TESSERA_PIPE_TIMEOUT_MS (default 2000) is also how long the exchange of one program\n"
                "may wait for the meter's answer before the next program's command goes.\n",
                transport::INSTRUMENT_VENDOR_ID, transport::INSTRUMENT_PRODUCT_ID, kDefaultGroup, kDefaultGroup);
            return 0;
        }
        if (a == "--version") {
            std::printf("tessera-usbd %s\n", TESSERA_VERSION);
            return 0;
        }
        if (a == "--root" && i + 1 < argc) root = argv[++i];
        else if (a == "--group" && i + 1 < argc) group = argv[++i];
        else if (a == "--verbose") gVerbose = true;
        else if (a == "--write-timeout" && i + 1 < argc) gTimings.writeTimeoutMs = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "tessera-usbd: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (!group.empty()) {
        if (::geteuid() != 0) {
            std::fprintf(stderr,
                         "tessera-usbd: --group is for a bridge run as root; a user's bridge serves that user\n");
            return 2;
        }
        const ::group* g = ::getgrnam(group.c_str());
        if (!g) {
            std::fprintf(stderr,
                         "tessera-usbd: there is no group %s: create it (groupadd --system %s) or name another "
                         "with --group; the meter is never served to every account\n",
                         group.c_str(), group.c_str());
            return 1;
        }
        gGroup = g->gr_gid;
    }
    gTimings.holdMs = platform::pipeio::TimeoutMs();
    RaiseDescriptorLimit();
    root = ServedRoot(root);
    struct sigaction sa {};
    sa.sa_handler = [](int) { gStop = true; };
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    libusb_context* ctx = nullptr;
    if (int rc = libusb_init(&ctx); rc != 0) {
        std::fprintf(stderr, "tessera-usbd: libusb: %s\n", libusb_error_name(rc));
        return 1;
    }
    int rc = 0;
    {
        Driver driver(ctx, root + "/" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT);
        libusb_hotplug_callback_handle hotplug = 0;
        const bool events =
            libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) &&
            libusb_hotplug_register_callback(ctx,
                                             static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                                               LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                                             LIBUSB_HOTPLUG_ENUMERATE, transport::INSTRUMENT_VENDOR_ID,
                                             transport::INSTRUMENT_PRODUCT_ID, LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug,
                                             nullptr, &hotplug) == LIBUSB_SUCCESS;
        Log(events ? "watching hot-plug events" : "no hot-plug events here: listing the bus once a second");
        auto lastScan = Clock::now() - std::chrono::seconds(2);
        while (!gStop) {
            timeval tv{0, 200000};
            libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
            std::deque<Event> news;
            {
                std::lock_guard<std::mutex> lock(gEventsMutex);
                news.swap(gEvents);
            }
            for (const Event& e : news) {
                if (e.arrived) driver.Arrived(e.device);
                else driver.Left(e.device);
                libusb_unref_device(e.device);
            }
            if (!events && Clock::now() - lastScan >= std::chrono::seconds(1)) {
                lastScan = Clock::now();
                driver.Rescan();
            }
            driver.RetryRefused();
        }
        if (events) libusb_hotplug_deregister_callback(ctx, hotplug);
    }
    for (const Event& e : gEvents) libusb_unref_device(e.device);
    libusb_exit(ctx);
    return rc;
}
