#pragma once
// An emulated USB bus for tests, built on umockdev: a sysfs tree of root hubs, hubs and
// devices (for the serial-number walk and for libusb's enumeration), uevents for plugging
// and unplugging, and device nodes whose usbdevfs requests a UsbMeterDevice answers.
//
// umockdev redirects /sys, /dev and the udev monitor of every process that runs with its
// preload library: this process (which must send the uevents) and its children (the USB
// bridge). RunUnderUmockdev() re-executes the program with the library preloaded.
//
// Device nodes are FIFOs rather than plain files, so that poll() on an open node behaves
// as on usbdevfs: writable exactly while a URB is waiting to be reaped. libusb sleeps in
// poll() between transfers instead of asking for URBs in a busy loop.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/usb/UsbMeterDevice.h"

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace tessera::usbemu {

// Re-executes the program with umockdev's preload library (after the AddressSanitizer
// runtime when this build carries one: it must come first among the preloaded libraries).
// Returns only when already running under it, or with an error text when it cannot be done.
std::string RunUnderUmockdev(char** argv);

struct SysfsDevice {
    std::string name;    // kernel name: "usb1", "1-2", "1-2.4"
    std::string parent;  // kernel name of the hub it hangs on; empty for a root hub
    int bus = 1;
    int devnum = 1;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string deviceClass = "00";     // "09" for hubs
    int maxchild = 0;                   // hub ports
    std::optional<std::string> serial;  // as sysfs shows it (UTF-8)
    std::string productName;
    std::string descriptors;  // the binary "descriptors" attribute; empty: a minimal one
};

class UsbTestbed {
public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    std::string Root() const;  // the testbed directory ($UMOCKDEV_DIR)

    // A device in sysfs without a node (hubs, a keyboard, meters only walked). Sends "add".
    bool Add(const SysfsDevice& device, std::string* error);
    // Sends "remove" and takes the device out of sysfs.
    void Remove(const std::string& name);

    // Plugs a meter: its sysfs entry and device node, answered by `meter`. Answers the
    // node's path ("/dev/bus/usb/001/002").
    std::optional<std::string> PlugMeter(UsbMeterDevice& meter, SysfsDevice device, std::string* error);
    // Pulls it: URBs in flight end, "remove" is sent, the sysfs entry and the node go.
    void UnplugMeter(UsbMeterDevice& meter);

    struct Port;  // one plugged device node (public for the ioctl callbacks)

private:
    std::string SysPath(const std::string& name) const;
    void Signal(UsbMeterDevice& meter);

    UMockdevTestbed* testbed_ = nullptr;
    std::mutex portsMutex_;
    std::vector<std::unique_ptr<Port>> ports_;  // kept for the process's lifetime: old files may still ask
    std::set<std::string> names_;
};

}  // namespace tessera::usbemu
