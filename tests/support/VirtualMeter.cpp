#include "tests/support/VirtualMeter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/UnixSocket.h"
#include "transport/InstrumentIds.h"

namespace tessera::testing {

namespace {

std::optional<std::string> GetEnv(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

void PutEnv(const char* name, const std::optional<std::string>& value) {
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += static_cast<char>(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Bounded waits: the meter starts in milliseconds; a generous ceiling only keeps a broken
// build from hanging the suite.
constexpr auto kStartCeiling = std::chrono::seconds(15);

}  // namespace

VirtualMeter::VirtualMeter() : VirtualMeter(Options{}) {}

VirtualMeter::VirtualMeter(Options options) : options_(std::move(options)) {}

VirtualMeter::~VirtualMeter() {
    Stop();
    RestoreEnvironment();
    if (ownsRoot_) {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
}

std::string VirtualMeter::ProgramPath() { return TESSERA_VIRTUAL_METER_PATH; }
std::string VirtualMeter::BulklinkPath() { return TESSERA_BULKLINK_PATH; }
std::string VirtualMeter::DemoMemoryFile() { return TESSERA_DEMO_MEMORY_FILE; }

std::string VirtualMeter::EntryPath() const {
    return root_ + "/" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT + "/" + options_.entry;
}

void VirtualMeter::RestoreEnvironment() {
    if (!environmentSet_) return;
    PutEnv("TESSERA_DEVICE_ROOT", savedDeviceRoot_);
    PutEnv("TESSERA_RUNTIME_DIR", savedRuntimeDir_);
    PutEnv("XDG_STATE_HOME", savedStateHome_);
    environmentSet_ = false;
}

bool VirtualMeter::Start() {
    if (pid_ > 0) return true;
    if (root_.empty()) {
        if (options_.deviceRoot.empty()) {
            char templ[] = "/tmp/tessera-vm-XXXXXX";
            if (!::mkdtemp(templ)) {
                error_ = std::string("mkdtemp: ") + std::strerror(errno);
                return false;
            }
            root_ = templ;
            ownsRoot_ = true;
        } else {
            root_ = options_.deviceRoot;
        }
        runtime_ = root_ + "/run";
        ::mkdir(runtime_.c_str(), 0700);
        controlPath_ = root_ + "/control-" + options_.entry;
    }
    if (!environmentSet_) {
        savedDeviceRoot_ = GetEnv("TESSERA_DEVICE_ROOT");
        savedRuntimeDir_ = GetEnv("TESSERA_RUNTIME_DIR");
        savedStateHome_ = GetEnv("XDG_STATE_HOME");
        ::setenv("TESSERA_DEVICE_ROOT", root_.c_str(), 1);
        ::setenv("TESSERA_RUNTIME_DIR", runtime_.c_str(), 1);
        // Programs the test starts keep their logging journals here, never in the user's.
        ::setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
        environmentSet_ = true;
    }

    // clang-format off
    std::vector<std::string> args = {options_.program.empty() ? ProgramPath() : options_.program, "--root", root_, "--entry", options_.entry,
                                     "--control", controlPath_, "--seed", std::to_string(options_.seed),
                                     "--sensor", std::string(1, options_.sensor)};
    // clang-format on
    if (!options_.plugged) args.push_back("--unplugged");
    if (options_.demoMemory) args.push_back("--demo");
    if (!options_.memoryFile.empty()) {
        args.push_back("--memory");
        args.push_back(options_.memoryFile);
    }
    args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        // The meter must not outlive a test that crashed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    pid_ = pid;

    const auto deadline = std::chrono::steady_clock::now() + kStartCeiling;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "virtual-qm8620 ended at start (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
            return false;
        }
        Answer a = Control("status");
        if (a.ok) {
            const bool plugged = std::find(a.lines.begin(), a.lines.end(), "plugged 1") != a.lines.end();
            if (plugged == options_.plugged) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    error_ = "virtual-qm8620 did not come up";
    Stop();
    return false;
}

void VirtualMeter::Stop() {
    if (pid_ <= 0) return;
    Control("quit");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

VirtualMeter::Answer VirtualMeter::Control(const std::string& request) {
    Answer answer;
    const int fd = platform::unixsocket::Connect(controlPath_, SOCK_STREAM, 10000);
    if (fd < 0) {
        answer.error = "connect: " + platform::unixsocket::Explain(controlPath_, errno);
        return answer;
    }
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const std::string line = request + "\n";
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        answer.error = "send failed";
        ::close(fd);
        return answer;
    }
    std::string buffer;
    char chunk[4096];
    for (;;) {
        const std::size_t nl = buffer.find('\n');
        if (nl != std::string::npos) {
            const std::string l = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            if (l.rfind("= ", 0) == 0) {
                answer.lines.push_back(l.substr(2));
                continue;
            }
            if (l == "ok") answer.ok = true;
            else answer.error = l.rfind("error ", 0) == 0 ? l.substr(6) : l;
            break;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            answer.error = request == "quit" ? "" : "no answer from the meter";
            answer.ok = request == "quit";
            break;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

bool VirtualMeter::Ok(const Answer& a) {
    if (!a.ok) error_ = a.error;
    return a.ok;
}

bool VirtualMeter::Plug() { return Ok(Control("plug")); }
bool VirtualMeter::Unplug() { return Ok(Control("unplug")); }
bool VirtualMeter::LoadMemory(const std::string& path) { return Ok(Control("memory load " + path)); }
bool VirtualMeter::LoadDemoMemory() { return Ok(Control("memory demo")); }
bool VirtualMeter::ClearMemory() { return Ok(Control("memory clear")); }
bool VirtualMeter::AddRecord(const std::string& line) { return Ok(Control("memory add " + line)); }
bool VirtualMeter::SetField(double x, double y, double z) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "field %.17g %.17g %.17g", x, y, z);
    return Ok(Control(buf));
}
bool VirtualMeter::UseFieldModel() { return Ok(Control("field model")); }
bool VirtualMeter::SetSensor(char sensor) { return Ok(Control(std::string("sensor ") + sensor)); }
bool VirtualMeter::RemoveSensorAfter(int n) { return Ok(Control("sensor remove-after " + std::to_string(n))); }
bool VirtualMeter::Set(const std::string& name, const std::string& value) {
    return Ok(Control("set " + name + " " + value));
}
bool VirtualMeter::InjectFault(const std::string& spec) { return Ok(Control("fault " + spec)); }
bool VirtualMeter::ClearCommandLog() { return Ok(Control("log clear")); }

std::vector<std::string> VirtualMeter::CommandLog() {
    Answer a = Control("log");
    std::vector<std::string> out;
    if (!Ok(a)) return out;
    for (const auto& l : a.lines) out.push_back(Unescape(l));
    return out;
}

std::optional<std::string> VirtualMeter::StatusValue(const std::string& name) {
    Answer a = Control("status");
    if (!Ok(a)) return std::nullopt;
    for (const auto& l : a.lines) {
        if (l.rfind(name + " ", 0) == 0) return l.substr(name.size() + 1);
    }
    return std::nullopt;
}

}  // namespace tessera::testing
