#include "tests/usb/UsbTestbed.h"

#include "transport/InstrumentIds.h"

// clang-format off
#include <umockdev.h>
// clang-format on

#include <fcntl.h>
#include <link.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessera::usbemu {

namespace {

constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";
constexpr const char* kReexecMark = "TESSERA_UMOCKDEV_REEXEC";

struct LibrarySearch {
    const char* part;
    std::string path;
};

int FindLibrary(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<LibrarySearch*>(data);
    const char* name = info->dlpi_name;
    if (name && std::strstr(name, search->part)) {
        search->path = name;
        return 1;
    }
    return 0;
}

std::string LoadedLibrary(const char* part) {
    LibrarySearch search{part, {}};
    dl_iterate_phdr(FindLibrary, &search);
    return search.path;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Escape(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// Enough of a device and configuration descriptor for libusb to list a device that is not
// a meter (a hub, a keyboard).
std::string PlainDescriptors(const SysfsDevice& d) {
    const int cls = static_cast<int>(std::strtol(d.deviceClass.c_str(), nullptr, 16));
    // clang-format off
    std::string out = {0x12, 0x01, 0x00, 0x02, static_cast<char>(cls), 0x00, 0x00, 0x40,
                       static_cast<char>(d.vendor & 0xff), static_cast<char>(d.vendor >> 8),
                       static_cast<char>(d.product & 0xff), static_cast<char>(d.product >> 8),
                       0x00, 0x01, 0x00, 0x00, static_cast<char>(d.serial ? 3 : 0), 0x01};
    // clang-format on
    out += std::string("\x09\x02\x12\x00\x01\x01\x00\xa0\x32", 9);
    out += std::string("\x09\x04\x00\x00\x00", 5);
    out += static_cast<char>(cls == 9 ? 9 : 3);  // hub, else HID
    out += std::string("\x00\x00\x00", 3);
    return out;
}

std::string NodeOf(int bus, int devnum) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, devnum);
    return node;
}

}  // namespace

std::string RunUnderUmockdev(char** argv) {
    if (!LoadedLibrary("libumockdev-preload.so").empty()) return {};
    if (std::getenv(kReexecMark)) return "umockdev's preload library did not take effect";
    const std::string asan = LoadedLibrary("libasan.so");
    // AddressSanitizer refuses to start unless its runtime is the first library in the
    // process: it must catch every allocation, including those of preloaded libraries.
    std::string preload = asan.empty() ? std::string() : asan + ":";
    preload += kPreloadLibrary;
    if (const char* old = std::getenv("LD_PRELOAD"); old && *old) preload += std::string(":") + old;
    ::setenv("LD_PRELOAD", preload.c_str(), 1);
    ::setenv(kReexecMark, "1", 1);
    ::execv("/proc/self/exe", argv);
    return std::string("cannot run under umockdev: ") + std::strerror(errno);
}

struct UsbTestbed::Port {
    UsbMeterDevice* meter = nullptr;
    std::string node;  // "/dev/bus/usb/001/002"
    std::string fifo;  // the node inside the testbed
    std::string name;  // kernel name
    int fifoFd = -1;
    bool ready = false;  // the FIFO is empty: the client's poll says "writable"
    std::atomic<bool> attached{true};
    UMockdevIoctlBase* handler = nullptr;
    std::mutex clientsMutex;
    std::set<UMockdevIoctlClient*> clients;
};

namespace {

void SetReady(UsbTestbed::Port& port, bool ready) {
    if (port.ready == ready || port.fifoFd < 0) return;
    char block[4096] = {};
    if (ready) {
        while (::read(port.fifoFd, block, sizeof block) > 0) {}
    } else {
        while (::write(port.fifoFd, block, sizeof block) > 0) {}
    }
    port.ready = ready;
}

void OnClientNotify(GObject* object, GParamSpec*, gpointer data) {
    auto* port = static_cast<UsbTestbed::Port*>(data);
    auto* client = reinterpret_cast<UMockdevIoctlClient*>(object);
    if (umockdev_ioctl_client_get_connected(client)) return;
    {
        std::lock_guard<std::mutex> lock(port->clientsMutex);
        port->clients.erase(client);
    }
    // The file was closed with URBs in flight: they are dropped, as the kernel does.
    for (auto& urb : port->meter->Forget(client))
        if (urb.glue) umockdev_ioctl_data_unref(static_cast<UMockdevIoctlData*>(urb.glue));
}

void Remember(UsbTestbed::Port& port, UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> lock(port.clientsMutex);
    if (!port.clients.insert(client).second) return;
    g_signal_connect(client, "notify::connected", G_CALLBACK(OnClientNotify), &port);
}

gboolean Complete(UMockdevIoctlClient* client, int rc) {
    if (rc < 0) umockdev_ioctl_client_complete(client, -1, -rc);
    else umockdev_ioctl_client_complete(client, rc, 0);
    return TRUE;
}

unsigned ResolveUnsigned(UMockdevIoctlData* arg) {
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
    unsigned value = 0;
    if (d) {
        std::memcpy(&value, d->data, sizeof value);
        umockdev_ioctl_data_unref(d);
    }
    return value;
}

int SubmitUrb(UsbTestbed::Port& port, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (!d) return -EFAULT;
    auto* urb = reinterpret_cast<usbdevfs_urb*>(d->data);
    if (urb->buffer_length > 0) {
        // The buffer stays resolved with the URB: a reaped IN URB's data is written into it.
        UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(d, offsetof(usbdevfs_urb, buffer),
                                                                static_cast<gsize>(urb->buffer_length), nullptr);
        if (!buffer) {
            umockdev_ioctl_data_unref(d);
            return -EFAULT;
        }
        umockdev_ioctl_data_unref(buffer);
    }
    UsbMeterDevice::Urb u;
    u.owner = client;
    u.id = d->client_addr;
    u.type = urb->type;
    u.endpoint = urb->endpoint;
    u.flags = urb->flags;
    u.length = urb->buffer_length;
    if (!(urb->endpoint & 0x80) && urb->buffer_length > 0)
        u.data.assign(static_cast<const char*>(urb->buffer), static_cast<std::size_t>(urb->buffer_length));
    u.glue = d;
    const int rc = port.meter->Submit(std::move(u));
    if (rc != 0) umockdev_ioctl_data_unref(d);
    return rc;
}

int ReapUrb(UsbTestbed::Port& port, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UsbMeterDevice::Urb u;
    int rc = port.meter->Reap(client, u);
    // A node that was unplugged stays gone even when the meter is back on another one.
    if (rc == -EAGAIN && !port.attached) rc = -ENODEV;
    if (rc != 0) return rc;
    auto* d = static_cast<UMockdevIoctlData*>(u.glue);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(d->data);
    urb->status = u.status;
    urb->actual_length = u.actual;
    if ((urb->endpoint & 0x80) && u.actual > 0)
        std::memcpy(urb->buffer, u.data.data(), static_cast<std::size_t>(u.actual));
    UMockdevIoctlData* where = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    if (!where) {
        umockdev_ioctl_data_unref(d);
        return -EFAULT;
    }
    umockdev_ioctl_data_set_ptr(where, 0, d);
    umockdev_ioctl_data_unref(where);
    umockdev_ioctl_data_unref(d);
    return 0;
}

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& port = *static_cast<UsbTestbed::Port*>(data);
    Remember(port, client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const bool attached = port.attached;
    switch (umockdev_ioctl_client_get_request(client)) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            if (!d) return Complete(client, -EFAULT);
            const guint32 caps = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                 USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(d->data, &caps, sizeof caps);
            umockdev_ioctl_data_unref(d);
            return Complete(client, 0);
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:  // no kernel driver holds the meter: a plain claim
            if (!attached) return Complete(client, -ENODEV);
            return Complete(client, ResolveUnsigned(arg) == 0 ? 0 : -EINVAL);
        case USBDEVFS_GETDRIVER: return Complete(client, attached ? -ENODATA : -ENODEV);  // no kernel driver to detach
        case USBDEVFS_CLEAR_HALT:
            return Complete(client, attached ? port.meter->ClearHalt(ResolveUnsigned(arg)) : -ENODEV);
        case USBDEVFS_RESETEP: return Complete(client, attached ? 0 : -ENODEV);
        case USBDEVFS_SUBMITURB: return Complete(client, attached ? SubmitUrb(port, client, arg) : -ENODEV);
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: return Complete(client, ReapUrb(port, client, arg));
        case USBDEVFS_DISCARDURB: {
            std::uintptr_t id = 0;
            std::memcpy(&id, arg->data, sizeof id);  // the URB's address itself
            return Complete(client, port.meter->Discard(client, id));
        }
        default: return Complete(client, -ENOTTY);
    }
}

}  // namespace

UsbTestbed::UsbTestbed() : testbed_(umockdev_testbed_new()) {}

UsbTestbed::~UsbTestbed() {
    for (auto& p : ports_) {
        if (p->fifoFd >= 0) ::close(p->fifoFd);
        if (p->handler) g_object_unref(p->handler);
    }
    g_object_unref(testbed_);
}

std::string UsbTestbed::Root() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string out = dir;
    g_free(dir);
    return out;
}

std::string UsbTestbed::SysPath(const std::string& name) const {
    // usb1, usb1/1-2, usb1/1-2/1-2.4: each device under the hub it hangs on
    std::string path = "/sys/devices";
    const std::size_t dash = name.find('-');
    if (dash == std::string::npos) return path + "/" + name;
    path += "/usb" + name.substr(0, dash);
    std::size_t pos = dash + 1;
    for (;;) {
        const std::size_t dot = name.find('.', pos);
        path += "/" + name.substr(0, dot);
        if (dot == std::string::npos) return path;
        pos = dot + 1;
    }
}

bool UsbTestbed::Add(const SysfsDevice& d, std::string* error) {
    char number[16];
    std::string text = "P: " + SysPath(d.name).substr(4) + "\n";
    text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    std::snprintf(number, sizeof number, "%03d", d.bus);
    text += std::string("E: BUSNUM=") + number + "\n";
    std::snprintf(number, sizeof number, "%03d", d.devnum);
    text += std::string("E: DEVNUM=") + number + "\n";
    text += "E: DEVNAME=" + NodeOf(d.bus, d.devnum) + "\n";
    auto attribute = [&](const std::string& name, const std::string& value) {
        text += "A: " + name + "=" + Escape(value + "\n") + "\n";
    };
    attribute("busnum", std::to_string(d.bus));
    attribute("devnum", std::to_string(d.devnum));
    std::snprintf(number, sizeof number, "%04x", d.vendor);
    attribute("idVendor", number);
    std::snprintf(number, sizeof number, "%04x", d.product);
    attribute("idProduct", number);
    attribute("bDeviceClass", d.deviceClass);
    attribute("maxchild", std::to_string(d.maxchild));
    attribute("bConfigurationValue", "1");
    attribute("speed", d.deviceClass == "09" ? "480" : "12");
    if (d.serial) attribute("serial", *d.serial);
    if (!d.productName.empty()) attribute("product", d.productName);
    text += "H: descriptors=" + Hex(d.descriptors.empty() ? PlainDescriptors(d) : d.descriptors) + "\n";
    GError* e = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), &e)) {
        if (error) *error = e ? e->message : "cannot add " + d.name;
        if (e) g_error_free(e);
        return false;
    }
    names_.insert(d.name);
    return true;
}

void UsbTestbed::Remove(const std::string& name) {
    if (!names_.erase(name)) return;
    const std::string path = SysPath(name);
    umockdev_testbed_uevent(testbed_, path.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, path.c_str());
}

void UsbTestbed::Signal(UsbMeterDevice& meter) {
    std::lock_guard<std::mutex> lock(portsMutex_);
    for (auto& p : ports_) {
        if (p->meter != &meter) continue;
        bool ready = false;
        {
            std::lock_guard<std::mutex> clients(p->clientsMutex);
            for (UMockdevIoctlClient* c : p->clients) ready = ready || meter.ReapableLocked(c);
        }
        SetReady(*p, ready);
    }
}

std::optional<std::string> UsbTestbed::PlugMeter(UsbMeterDevice& meter, SysfsDevice device, std::string* error) {
    auto port = std::make_unique<Port>();
    port->meter = &meter;
    port->name = device.name;
    port->node = NodeOf(device.bus, device.devnum);
    port->fifo = Root() + port->node;
    const std::string dir = port->fifo.substr(0, port->fifo.rfind('/'));
    for (std::size_t pos = Root().size() + 1; pos <= dir.size(); ++pos)
        if (pos == dir.size() || dir[pos] == '/') ::mkdir(dir.substr(0, pos).c_str(), 0755);
    ::unlink(port->fifo.c_str());
    if (::mkfifo(port->fifo.c_str(), 0666) != 0 ||
        (port->fifoFd = ::open(port->fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0) {
        if (error) *error = "cannot make the device node " + port->fifo + ": " + std::strerror(errno);
        return std::nullopt;
    }
    port->ready = true;
    SetReady(*port, false);
    port->handler = umockdev_ioctl_base_new();
    g_signal_connect(port->handler, "handle-ioctl", G_CALLBACK(OnIoctl), port.get());
    GError* e = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, port->node.c_str(), port->handler, &e)) {
        if (error) *error = e ? e->message : "cannot attach to " + port->node;
        if (e) g_error_free(e);
        return std::nullopt;
    }
    const std::string node = port->node;
    {
        std::lock_guard<std::mutex> lock(portsMutex_);
        ports_.push_back(std::move(port));
    }
    meter.OnChanged([this, &meter] { Signal(meter); });
    meter.Plug();
    device.vendor = transport::INSTRUMENT_VENDOR_ID;
    device.product = transport::INSTRUMENT_PRODUCT_ID;
    device.serial = meter.Options().serial;
    device.descriptors = MeterDescriptors(meter.Options());
    if (device.productName.empty()) device.productName = "QM8620";
    if (!Add(device, error)) return std::nullopt;
    return node;
}

void UsbTestbed::UnplugMeter(UsbMeterDevice& meter) {
    std::vector<Port*> plugged;
    {
        std::lock_guard<std::mutex> lock(portsMutex_);
        for (auto& p : ports_)
            if (p->meter == &meter && p->attached) plugged.push_back(p.get());
    }
    for (Port* p : plugged) p->attached = false;
    meter.Unplug();
    for (Port* p : plugged) {
        Remove(p->name);
        ::unlink(p->fifo.c_str());  // the open files keep working until they are closed
    }
}

}  // namespace tessera::usbemu
