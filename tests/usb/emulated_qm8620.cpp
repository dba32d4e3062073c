// emulated-qm8620: a QM8620 on an emulated USB bus. The virtual meter's model answers the
// bulk transfers of a USB device that umockdev shows to the processes it runs (sysfs,
// /dev/bus/usb, usbdevfs, udev events); the USB bridge tessera-usbd runs under it and
// serves the meter in the device registry, so the program and tessera-cli reach it through
// libusb, the bridge, the registry and the transport library, as they would reach a real
// meter.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "meter/Meter.h"
#include "meter/MeterRequests.h"
#include "meter/MeterSetup.h"
#include "meter/Process.h"
#include "platform/RegistryRoot.h"
#include "platform/UnixSocket.h"
#include "tests/usb/UsbMeterDevice.h"
#include "tests/usb/UsbTestbed.h"
#include "transport/InstrumentIds.h"

namespace {

using namespace tessera;
using Clock = std::chrono::steady_clock;

const char* kUsage =
    "Usage: emulated-qm8620 [options]\n"
    "A QM8620 on an emulated USB bus (umockdev), answered by the virtual meter's model, with\n"
    "the USB bridge tessera-usbd serving it in the device registry.\n"
    "\n"
    "Options:\n"
    "  --root DIR          device registry root the bridge serves (default: as virtual-qm8620)\n"
    "  --entry NAME        the registry entry the bridge makes for the meter (default usb-1-1)\n"
    "  --control PATH      control socket (default: <root>/emulated-qm8620-<pid>.control)\n";
// ... then virtual-qm8620's meter options (meter/MeterSetup.h), then these:
const char* kUsageMore =
    "  --serial TEXT       the USB serial number (default QM8620001)\n"
    "  --max-packet N      bulk packet size: 64 (default, full speed) or 512 (high speed)\n"
    "  --unplugged         start with the cable out (\"plug\" plugs it in)\n"
    "  --bridge PATH       the bridge program (default: the tessera-usbd built with this)\n"
    "  --bridge-arg ARG    one more argument for the bridge (repeatable)\n"
    "  --then COMMAND      once the meter is served, run COMMAND (sh -c, with\n"
    "                      TESSERA_DEVICE_ROOT set), then stop with its exit status\n"
    "  --help              this text\n"
    "\n"
    "Control socket: one request per line, answered by \"= \" lines and \"ok\" or \"error <why>\".\n"
    "  plug | unplug            (each waits until the bridge's registry entry follows)\n"
    "  stall PIPE               the endpoint halts the next time it moves data (that reply is\n"
    "                           lost) until the host clears the halt\n"
    "  nak PIPE | vanish PIPE   the endpoint stops answering | leaves the configuration\n"
    "  restore PIPE             undoes nak and vanish\n"
    "  status | quit | help\n"
    "  and every request of virtual-qm8620's control socket (memory, fault, set, log, ...).\n";

volatile sig_atomic_t gStop = 0;

// The same root the virtual meter and the bridge serve by default.
std::string DefaultRoot() {
    const auto root = platform::registry::ServerRoot();
    if (!root.problem.empty()) {
        std::fprintf(stderr, "emulated-qm8620: the device registry root cannot be used: %s\n", root.problem.c_str());
        std::exit(1);
    }
    return root.path;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class Emulator {
public:
    struct Settings {
        std::string root, entry = "usb-1-1", control, bridge = TESSERA_USBD_PATH, then;
        std::vector<std::string> bridgeArgs;
        bool unplugged = false;
    };

    Emulator(Settings s, meter::Meter& meter, usbemu::DeviceOptions device)
        : s_(std::move(s)), device_(meter, std::move(device)) {}

    ~Emulator() {
        StopChild(bridge_);
        StopChild(then_);
        if (control_ >= 0) {
            ::close(control_);
            ::unlink(s_.control.c_str());
        }
    }

    std::vector<std::string> MeterRequest(const std::string& request) { return device_.MeterControl(request); }

    bool Start(std::string& error) {
        // The bus: a root hub with a keyboard on port 2; the meter goes on port 1.
        if (!bed_.Add({"usb1", "", 1, 1, 0x1d6b, 0x0002, "09", 4, std::nullopt, "xHCI Host Controller", {}}, &error) ||
            !bed_.Add({"1-2", "usb1", 1, 2, 0x046d, 0xc31c, "00", 0, std::nullopt, "USB Keyboard", {}}, &error))
            return false;
        if (!OpenControl(error)) return false;
        if (!s_.unplugged && !PlugDevice(error)) return false;
        std::vector<std::string> args = {s_.bridge, "--root", s_.root};
        args.insert(args.end(), s_.bridgeArgs.begin(), s_.bridgeArgs.end());
        bridge_ = Spawn(args, false);
        if (bridge_ < 0) {
            error = "cannot start " + s_.bridge;
            return false;
        }
        std::cout << "emulated-qm8620: bus " << bed_.Root() << "\nemulated-qm8620: control " << s_.control
                  << "\nemulated-qm8620: bridge " << s_.bridge << " (pid " << bridge_ << ")" << std::endl;
        return true;
    }

    int Run() {
        int exitCode = 0;
        while (running_ && !gStop) {
            std::vector<pollfd> fds = {{control_, POLLIN, 0}};
            for (const auto& c : clients_) fds.push_back({c.fd, POLLIN, 0});
            int timeout = 50;
            if (auto due = device_.NextDue()) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now()).count();
                timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(wait, timeout)));
            }
            ::poll(fds.data(), fds.size(), timeout);
            device_.Tick();
            if (device_.TakeUnplugRequest()) Unplug(false);
            if (fds[0].revents & POLLIN) Accept();
            for (std::size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents) Serve(clients_[i - 1]);
            clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [](const Client& c) { return c.fd < 0; }),
                           clients_.end());
            if (bridge_ > 0 && Reap(bridge_, bridgeStatus_)) {
                std::cerr << "emulated-qm8620: the bridge ended (" << bridgeStatus_ << ")\n";
                bridge_ = -1;
                if (!s_.then.empty()) return 1;
            }
            if (!s_.then.empty() && then_ < 0 && !thenDone_ && Served()) {
                then_ = Spawn({"/bin/sh", "-c", s_.then}, true);
                thenDone_ = true;
            }
            int status = 0;
            if (then_ > 0 && Reap(then_, status)) {
                then_ = -1;
                exitCode = status;
                running_ = false;
            }
        }
        return exitCode;
    }

private:
    struct Client {
        int fd;
        std::string input;
    };

    std::string EntryPath() const {
        return s_.root + "/" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT + "/" + s_.entry;
    }
    bool Served() const { return device_.Present() && IsDirectory(EntryPath()); }

    bool PlugDevice(std::string& error) {
        usbemu::SysfsDevice d;
        d.name = "1-1";
        d.parent = "usb1";
        d.devnum = nextDevnum_++;  // as the kernel does, a new address at every plug
        auto node = bed_.PlugMeter(device_, d, &error);
        if (!node) return false;
        node_ = *node;
        return true;
    }

    void Unplug(bool wait) {
        if (!device_.Present()) return;
        bed_.UnplugMeter(device_);
        node_.clear();
        if (wait) WaitFor(false);
    }

    // Until the bridge's registry entry follows the cable (bounded: a broken bridge must
    // not hang the caller).
    bool WaitFor(bool present) {
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        while (Clock::now() < deadline) {
            if (IsDirectory(EntryPath()) == present) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    std::vector<std::string> Control(const std::string& line) {
        std::istringstream in(line);
        std::string verb, arg;
        in >> verb >> arg;
        auto pipe = [&](int& n) {
            n = std::atoi(arg.c_str());
            return !arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos && n <= 4 && n != 2;
        };
        int n = 0;
        if (verb == "plug") {
            std::string error;
            if (device_.Present()) return {"ok"};
            if (!PlugDevice(error)) return {"error " + error};
            if (!WaitFor(true)) return {"error the bridge did not serve the meter"};
        } else if (verb == "unplug") {
            Unplug(true);
            if (IsDirectory(EntryPath())) return {"error the bridge did not remove " + EntryPath()};
        } else if (verb == "stall" || verb == "nak" || verb == "vanish" || verb == "restore") {
            if (!pipe(n)) return {"error " + verb + " takes a pipe: 0, 1, 3 or 4"};
            if (verb == "stall") device_.Stall(n);
            else if (verb == "nak") device_.Nak(n);
            else if (verb == "vanish") device_.Vanish(n);
            else device_.Restore(n);
        } else if (verb == "status") {
            std::vector<std::string> out = {
                "= plugged " + std::string(Served() ? "1" : "0"), "= entry " + EntryPath(), "= node " + node_,
                "= bridge " + (bridge_ > 0 ? std::string("running") : "ended " + std::to_string(bridgeStatus_))};
            for (const auto& l : device_.MeterControl("status"))
                if (l.rfind("= plugged", 0) != 0 && l.rfind("= entry", 0) != 0 && l != "ok") out.push_back(l);
            out.push_back("ok");
            return out;
        } else if (verb == "quit") {
            running_ = false;
        } else if (verb == "help") {
            return {"= plug | unplug | stall PIPE | nak PIPE | vanish PIPE | restore PIPE | status | quit",
                    "= and virtual-qm8620's requests: memory, field, seed, sensor, set, settings, fault, log", "ok"};
        } else {
            return device_.MeterControl(line);
        }
        return {"ok"};
    }

    bool OpenControl(std::string& error) {
        control_ = platform::unixsocket::Listen(s_.control, SOCK_STREAM);
        if (control_ < 0) {
            error = "cannot listen on " + s_.control + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }

    void Accept() {
        const int fd = ::accept4(control_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) clients_.push_back({fd, {}});
    }

    void Serve(Client& c) {
        char buf[1024];
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n <= 0) {
            ::close(c.fd);
            c.fd = -1;
            return;
        }
        c.input.append(buf, static_cast<std::size_t>(n));
        const std::string answer =
            meter::AnswerCompleteLines(c.input, [this](const std::string& line) { return Control(line); });
        if (!answer.empty()) ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }

    // The bridge runs under umockdev like this process; the --then command sees the real
    // system, with the registry the bridge serves.
    pid_t Spawn(const std::vector<std::string>& args, bool plain) {
        std::vector<char*> argv;
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        if (plain) {
            ::unsetenv("LD_PRELOAD");
            ::unsetenv("UMOCKDEV_DIR");
            ::setenv("TESSERA_DEVICE_ROOT", s_.root.c_str(), 1);
        } else {
            ::setsid();  // a Ctrl-C at the terminal reaches the bridge through us, in order
        }
        ::execv(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }

    static bool Reap(pid_t pid, int& status) {
        int raw = 0;
        if (::waitpid(pid, &raw, WNOHANG) != pid) return false;
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return true;
    }

    static void StopChild(pid_t& pid) {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        pid = -1;
    }

    Settings s_;
    usbemu::UsbMeterDevice device_;
    usbemu::UsbTestbed bed_;
    int control_ = -1;
    std::vector<Client> clients_;
    pid_t bridge_ = -1, then_ = -1;
    int bridgeStatus_ = 0;
    bool thenDone_ = false;
    bool running_ = true;
    int nextDevnum_ = 3;
    std::string node_;
};

}  // namespace

int main(int argc, char** argv) {
    if (const std::string error = usbemu::RunUnderUmockdev(argv); !error.empty()) {
        std::cerr << "emulated-qm8620: " << error << "\n";
        return 1;
    }
    Emulator::Settings s;
    s.root = DefaultRoot();
    usbemu::DeviceOptions device;
    meter::MeterSetup setup;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "emulated-qm8620: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage << meter::MeterOptionsHelp() << kUsageMore;
            return 0;
        } else if (a == "--root") s.root = value();
        else if (a == "--entry") s.entry = value();
        else if (a == "--control") s.control = value();
        else if (a == "--serial") device.serial = value();
        else if (a == "--max-packet") device.maxPacket = std::atoi(value().c_str());
        else if (a == "--unplugged") s.unplugged = true;
        else if (a == "--bridge") s.bridge = value();
        else if (a == "--bridge-arg") s.bridgeArgs.push_back(value());
        else if (a == "--then") s.then = value();
        else {
            std::string why;
            if (!meter::TakeMeterOption(a, value, setup, why)) why = "unknown option " + a + " (see --help)";
            if (!why.empty()) {
                std::cerr << "emulated-qm8620: " << why << "\n";
                return 2;
            }
        }
    }
    if (device.maxPacket != 64 && device.maxPacket != 512) {
        std::cerr << "emulated-qm8620: --max-packet takes 64 or 512\n";
        return 2;
    }
    if (s.control.empty()) s.control = s.root + "/emulated-qm8620-" + std::to_string(::getpid()) + ".control";
    ::mkdir(s.root.c_str(), 0700);

    meter::Meter meter;
    std::string error;
    if (const int rc = meter::SetUpMeter(meter, setup, error)) {
        std::cerr << "emulated-qm8620: " << error << "\n";
        return rc;
    }
    meter::StopOnRequest(&gStop);

    Emulator emulator(s, meter, device);
    if (!emulator.Start(error)) {
        std::cerr << "emulated-qm8620: " << error << "\n";
        return 1;
    }
    return emulator.Run();
}
