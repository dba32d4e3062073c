// tessera-usbd: the Linux user-space bulk driver for the QM8620. It claims every attached
// instrument (vendor INSTRUMENT_VENDOR_ID, product 0x3000) with libusb and serves it in
// the device registry exactly as the virtual meter does: a directory per instrument,
// a SOCK_SEQPACKET socket per pipe, one message per USB packet, a zero-length message for
// a zero-length packet. The entry disappears when the instrument is unplugged.

#include <libusb.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/PipeMap.h"
#include "platform/RegistryRoot.h"
#include "transport/InstrumentIds.h"

namespace {

using namespace tessera;

std::atomic<bool> gStop{false};
bool gVerbose = false;

void Log(const std::string& s) {
    if (gVerbose) std::fprintf(stderr, "tessera-usbd: %s\n", s.c_str());
}

// The registry root every program agrees on (system-wide when run as root: every user's
// program finds it); one that another user made or may write is refused.
std::string DefaultRoot() {
    const auto root = platform::registry::ServerRoot(::geteuid() == 0);
    if (!root.problem.empty()) {
        std::fprintf(stderr, "tessera-usbd: the device registry root cannot be used: %s\n", root.problem.c_str());
        std::exit(1);
    }
    return root.path;
}

void MakeDirectories(const std::string& path, mode_t mode) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos)
        if (pos == path.size() || path[pos] == '/') ::mkdir(path.substr(0, pos).c_str(), mode);
}

int ListenAt(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    ::chmod(path.c_str(), 0666);  // access is governed by the directory (see the udev rule)
    return fd;
}

// One claimed instrument and its registry entry.
class Instrument {
public:
    Instrument(libusb_device_handle* h, std::string entryPath, std::vector<driver::Pipe> pipes)
        : handle_(h), entry_(std::move(entryPath)), pipes_(std::move(pipes)) {}

    ~Instrument() { Remove(); }

    bool Publish() {
        const std::string temp = entry_.substr(0, entry_.rfind('/') + 1) + "." +
                                 entry_.substr(entry_.rfind('/') + 1) + ".tmp-" + std::to_string(::getpid());
        ::mkdir(temp.c_str(), 0755);
        for (const auto& p : pipes_) {
            const int fd = ListenAt(temp + "/" + std::to_string(p.number));
            if (fd < 0) return false;
            listeners_[p.number] = fd;
        }
        if (::rename(temp.c_str(), entry_.c_str()) != 0) return false;
        for (const auto& p : pipes_)
            if (p.in) readers_.emplace_back([this, p] { ReadLoop(p); });
        return true;
    }

    // Serves the OUT pipes and accepts clients; false once the instrument is gone.
    bool ServeOnce(int timeoutMs) {
        std::vector<pollfd> fds;
        std::vector<std::pair<int, int>> what;  // (pipe, client fd or -1 for listener)
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& [pipe, fd] : listeners_) {
                fds.push_back({fd, POLLIN, 0});
                what.push_back({pipe, -1});
            }
            for (auto& [pipe, clients] : clients_)
                for (int c : clients) {
                    fds.push_back({c, POLLIN, 0});
                    what.push_back({pipe, c});
                }
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return !gone_;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const auto [pipe, client] = what[i];
            if (client < 0) {
                const int c = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    clients_[pipe].push_back(c);
                }
                continue;
            }
            unsigned char buf[4096];
            const ssize_t n = ::recv(client, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0 && (n < 0 || (fds[i].revents & (POLLHUP | POLLERR)))) {
                Drop(pipe, client);
                continue;
            }
            const driver::Pipe* p = Find(pipe);
            if (!p || p->in) continue;  // nothing is written to an IN pipe
            int done = 0;
            const int rc = libusb_bulk_transfer(handle_, p->endpoint, buf, static_cast<int>(n), &done, 2000);
            if (rc == LIBUSB_ERROR_NO_DEVICE) gone_ = true;
            else if (rc != 0) Log(std::string("write to pipe ") + std::to_string(pipe) + ": " + libusb_error_name(rc));
        }
        return !gone_;
    }

    void Remove() {
        if (removed_) return;
        removed_ = true;
        gone_ = true;
        for (auto& t : readers_) t.join();
        for (auto& [pipe, fd] : listeners_) {
            ::close(fd);
            ::unlink((entry_ + "/" + std::to_string(pipe)).c_str());
        }
        for (auto& [pipe, clients] : clients_)
            for (int c : clients) ::close(c);
        ::rmdir(entry_.c_str());
        libusb_release_interface(handle_, 0);
        libusb_close(handle_);
    }

    const std::string& Entry() const { return entry_; }
    bool Gone() const { return gone_; }

private:
    const driver::Pipe* Find(int number) const {
        for (const auto& p : pipes_)
            if (p.number == number) return &p;
        return nullptr;
    }

    void Drop(int pipe, int client) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& v = clients_[pipe];
        v.erase(std::remove(v.begin(), v.end(), client), v.end());
        ::close(client);
    }

    // An IN pipe is read only while a client holds it open; each packet, the zero-length
    // one included, goes to the newest client as one message.
    void ReadLoop(driver::Pipe p) {
        std::vector<unsigned char> buf(static_cast<std::size_t>(p.maxPacket));
        while (!gone_ && !gStop) {
            int client = -1;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                auto it = clients_.find(p.number);
                if (it != clients_.end() && !it->second.empty()) client = it->second.back();
            }
            if (client < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            int got = 0;
            const int rc = libusb_bulk_transfer(handle_, p.endpoint, buf.data(), p.maxPacket, &got, 200);
            if (rc == LIBUSB_ERROR_TIMEOUT && got == 0) continue;
            if (rc == LIBUSB_ERROR_NO_DEVICE) {
                gone_ = true;
                break;
            }
            if (rc != 0 && rc != LIBUSB_ERROR_TIMEOUT) {
                Log(std::string("read from pipe ") + std::to_string(p.number) + ": " + libusb_error_name(rc));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            ::send(client, buf.data(), static_cast<std::size_t>(got), MSG_NOSIGNAL);
        }
    }

    libusb_device_handle* handle_;
    std::string entry_;
    std::vector<driver::Pipe> pipes_;
    std::map<int, int> listeners_;
    std::map<int, std::vector<int>> clients_;
    std::mutex mutex_;
    std::vector<std::thread> readers_;
    std::atomic<bool> gone_{false};
    bool removed_ = false;
};

std::unique_ptr<Instrument> Claim(libusb_device* dev, const std::string& classDir) {
    libusb_device_descriptor dd{};
    if (libusb_get_device_descriptor(dev, &dd) != 0) return nullptr;
    if (dd.idVendor != transport::INSTRUMENT_VENDOR_ID || dd.idProduct != transport::INSTRUMENT_PRODUCT_ID)
        return nullptr;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev, &config) != 0 || config->bNumInterfaces < 1) {
        if (config) libusb_free_config_descriptor(config);
        return nullptr;
    }
    std::vector<driver::EndpointInfo> eps;
    const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
    for (int i = 0; i < alt.bNumEndpoints; ++i)
        eps.push_back({alt.endpoint[i].bEndpointAddress, alt.endpoint[i].bmAttributes,
                       alt.endpoint[i].wMaxPacketSize});
    libusb_free_config_descriptor(config);

    libusb_device_handle* h = nullptr;
    if (int rc = libusb_open(dev, &h); rc != 0) {
        std::fprintf(stderr, "tessera-usbd: cannot open the instrument: %s (see the udev rule)\n", libusb_error_name(rc));
        return nullptr;
    }
    libusb_set_auto_detach_kernel_driver(h, 1);
    if (int rc = libusb_claim_interface(h, 0); rc != 0) {
        std::fprintf(stderr, "tessera-usbd: cannot claim the instrument: %s\n", libusb_error_name(rc));
        libusb_close(h);
        return nullptr;
    }
    uint8_t ports[8];
    const int n = libusb_get_port_numbers(dev, ports, 8);
    const std::string name = driver::EntryName(libusb_get_bus_number(dev), std::vector<int>(ports, ports + std::max(n, 0)));
    auto inst = std::make_unique<Instrument>(h, classDir + "/" + name, driver::MapPipes(eps));
    if (!inst->Publish()) {
        std::fprintf(stderr, "tessera-usbd: cannot publish %s: %s\n", inst->Entry().c_str(), std::strerror(errno));
        return nullptr;
    }
    std::printf("tessera-usbd: serving %s\n", inst->Entry().c_str());
    std::fflush(stdout);
    return inst;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf(
                "Usage: tessera-usbd [--root DIR] [--verbose]\n"
                "Serves every attached QM8620 (USB %04x:%04x) in the device registry so the program and\n"
                "tessera-cli find it. Run as root for the system registry /run/tessera (default when root),\n"
                "or as a user with the udev rule 70-tessera-qm8620.rules installed (then the registry is\n"
                "$TESSERA_DEVICE_ROOT, else the runtime directory). Stop with Ctrl-C.\n",
                transport::INSTRUMENT_VENDOR_ID, transport::INSTRUMENT_PRODUCT_ID);
            return 0;
        }
        if (a == "--root" && i + 1 < argc) root = argv[++i];
        else if (a == "--verbose") gVerbose = true;
        else {
            std::fprintf(stderr, "tessera-usbd: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (root.empty()) root = DefaultRoot();
    struct sigaction sa{};
    sa.sa_handler = [](int) { gStop = true; };
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    libusb_context* ctx = nullptr;
    if (int rc = libusb_init(&ctx); rc != 0) {
        std::fprintf(stderr, "tessera-usbd: libusb: %s\n", libusb_error_name(rc));
        return 1;
    }
    const std::string classDir = root + "/" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT;
    MakeDirectories(classDir, 0755);

    // Devices are looked for once a second; an instrument that goes away is noticed by its
    // transfers failing with "no device" and its entry is removed at once.
    std::map<std::string, std::unique_ptr<Instrument>> served;  // by bus/address
    auto lastScan = std::chrono::steady_clock::now() - std::chrono::seconds(2);
    while (!gStop) {
        if (std::chrono::steady_clock::now() - lastScan >= std::chrono::seconds(1)) {
            lastScan = std::chrono::steady_clock::now();
            libusb_device** list = nullptr;
            const ssize_t count = libusb_get_device_list(ctx, &list);
            for (ssize_t i = 0; i < count; ++i) {
                const std::string key = std::to_string(libusb_get_bus_number(list[i])) + ":" +
                                        std::to_string(libusb_get_device_address(list[i]));
                if (served.count(key)) continue;
                if (auto inst = Claim(list[i], classDir)) served[key] = std::move(inst);
            }
            if (count >= 0) libusb_free_device_list(list, 1);
        }
        for (auto it = served.begin(); it != served.end();) {
            if (!it->second->ServeOnce(served.size() == 1 ? 100 : 10)) {
                std::printf("tessera-usbd: %s unplugged\n", it->second->Entry().c_str());
                std::fflush(stdout);
                it = served.erase(it);
            } else {
                ++it;
            }
        }
        if (served.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    served.clear();
    libusb_exit(ctx);
    return 0;
}
