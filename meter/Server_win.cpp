// The Windows side of the virtual meter's serving. The registry entry is a marker file in
// <root>\<interface class GUID>\ naming message-mode named pipes (transport/PipeRegistry.h);
// pipe N is "<base>\N", one USB packet per message, a zero-length message ending a reply.
// The marker is held open with delete-on-close, so it goes with the process however that
// ends. The control channel is a byte-mode named pipe carrying the same line requests as
// the POSIX control socket. One thread, one wait loop over overlapped operations.

#include "meter/MeterRequests.h"
#include "meter/Server.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Text_win.h"
#include "transport/InstrumentIds.h"
#include "transport/MeterIdentity.h"
#include "transport/PipeRegistry.h"

namespace tessera::meter {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPipes[] = {transport::kCommandPipe, transport::kReplyPipe, transport::kCounterCommandPipe,
                          transport::kCounterReplyPipe};
// WaitForMultipleObjects takes at most 64 handles: 4 listening pipes, 48 connections, the
// control pipe and 8 control clients. Clients that open pipes and never close them lose their
// oldest connections beyond these.
constexpr std::size_t kMaxConnections = 48;
constexpr std::size_t kMaxControlClients = 8;
constexpr DWORD kPipeBuffer = 65536;

std::string LastError(const std::string& what) { return what + " (error " + std::to_string(::GetLastError()) + ")"; }

bool PlainEntryName(const std::string& entry) {
    return !entry.empty() && entry[0] != '.' &&
           transport::IsPlainPipeBase(std::string(transport::kNamedPipePrefix) + entry);
}

void MakeDirectories(const std::wstring& path) {
    for (std::size_t pos = 0; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == L'\\' || path[pos] == L'/') {
            const std::wstring part = path.substr(0, pos);
            if (part.empty() || part.back() == L':' || part == L"\\" || part == L"\\\\") continue;
            ::CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}

// Only the user who runs the meter may open its pipes.
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> user(size);
        wchar_t* sid = nullptr;
        if (size > 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            const std::wstring sddl = std::wstring(L"D:P(A;;GA;;;") + sid + L")";
            if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                                       nullptr)) {
                attributes_.nLength = sizeof attributes_;
                attributes_.lpSecurityDescriptor = descriptor_;
                attributes_.bInheritHandle = FALSE;
            }
            ::LocalFree(sid);
        }
        ::CloseHandle(token);
    }
    ~OwnerOnlySecurity() {
        if (descriptor_) ::LocalFree(descriptor_);
    }
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;
    // The system's default security when the user's could not be built.
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// One instance of a named pipe: listening for a client, then connected to it with one read
// always in flight.
struct Instance {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED ov{};
    int number = -1;              // pipe number; -1 for the control pipe
    bool connectedEarly = false;  // the client connected before the instance listened
    bool inFlight = false;        // an operation on `ov` is pending (the system still owns it)
    bool broken = false;
    long peer = 0;
    char buffer[512];
    std::string partial;  // a message longer than the buffer, so far
    std::string input;    // control lines not complete yet

    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() {
        if (pipe != INVALID_HANDLE_VALUE) {
            // The system writes into `ov` until the operation in flight has ended. (An operation
            // refused at once leaves `ov` marked pending without ever completing it.)
            ::CancelIoEx(pipe, nullptr);
            DWORD n;
            if (inFlight) ::GetOverlappedResult(pipe, &ov, &n, TRUE);
            ::DisconnectNamedPipe(pipe);
            ::CloseHandle(pipe);
        }
        if (event) ::CloseHandle(event);
    }

    void Rearm() {
        std::memset(&ov, 0, sizeof ov);
        ov.hEvent = event;
        ::ResetEvent(event);
    }

    // Starts waiting for a client; false when the instance is unusable.
    bool Listen() {
        Rearm();
        if (::ConnectNamedPipe(pipe, &ov)) return true;
        const DWORD e = ::GetLastError();
        inFlight = e == ERROR_IO_PENDING;
        if (e == ERROR_PIPE_CONNECTED) {
            connectedEarly = true;
            ::SetEvent(event);
        }
        return e == ERROR_IO_PENDING || e == ERROR_PIPE_CONNECTED;
    }

    // Starts the next read; a client that left marks the instance broken.
    void Read() {
        Rearm();
        if (!::ReadFile(pipe, buffer, sizeof buffer, nullptr, &ov)) {
            const DWORD e = ::GetLastError();
            inFlight = e == ERROR_IO_PENDING;
            if (e != ERROR_IO_PENDING && e != ERROR_MORE_DATA) broken = true;
        }
    }

    // After the event fired: one complete message (possibly empty) into `message`; false
    // while a longer message is still being gathered or when the client left.
    bool Finish(std::string& message) {
        DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(pipe, &ov, &n, FALSE);
        const DWORD e = ok ? ERROR_SUCCESS : ::GetLastError();
        if (!ok && e == ERROR_IO_INCOMPLETE) return false;
        inFlight = false;
        if (!ok && e != ERROR_MORE_DATA) {
            broken = true;
            return false;
        }
        partial.append(buffer, n);
        if (!ok) {
            Read();
            return false;
        }
        message.swap(partial);
        partial.clear();
        Read();
        return true;
    }

    // A whole message, waited for at most a second: a client that reads nothing while its
    // pipe buffer is full is treated as gone.
    bool Write(const char* data, DWORD size) {
        OVERLAPPED w{};
        w.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!w.hEvent) return false;
        DWORD n = 0;
        BOOL ok = ::WriteFile(pipe, data, size, nullptr, &w);
        if (ok || ::GetLastError() == ERROR_IO_PENDING) {
            if (!ok && ::WaitForSingleObject(w.hEvent, 1000) != WAIT_OBJECT_0) ::CancelIoEx(pipe, &w);
            ok = ::GetOverlappedResult(pipe, &w, &n, TRUE);
        }
        ::CloseHandle(w.hEvent);
        return ok && n == size;
    }
};

std::unique_ptr<Instance> NewInstance(const std::string& name, int number, bool first, bool messages,
                                      SECURITY_ATTRIBUTES* security) {
    auto in = std::make_unique<Instance>();
    in->number = number;
    in->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!in->event) return nullptr;
    const DWORD type = messages ? (PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE) : (PIPE_TYPE_BYTE | PIPE_READMODE_BYTE);
    // The first instance claims the name: a pipe of that name served by someone else fails it.
    in->pipe = ::CreateNamedPipeW(
        platform::win::Widen(name).c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        type | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, security);
    if (in->pipe == INVALID_HANDLE_VALUE || !in->Listen()) return nullptr;
    return in;
}

// True when a pipe of that name is served (all its instances busy counts as served).
bool Served(const std::string& pipe) {
    HANDLE h = ::CreateFileW(platform::win::Widen(pipe).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_PIPE_BUSY;
    ::CloseHandle(h);
    return true;
}

bool Signalled(HANDLE event) { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

struct Server::WinState {
    OwnerOnlySecurity security;
    std::string base;                        // the entry's pipe base
    HANDLE marker = INVALID_HANDLE_VALUE;    // held open; deleted on close
    std::unique_ptr<Instance> listening[5];  // by pipe number; 2 unused
    std::vector<std::unique_ptr<Instance>> connections;
    std::unique_ptr<Instance> controlListening;
    std::vector<std::unique_ptr<Instance>> controlClients;
    bool serving = false;

    std::string PipeName(int number) const { return base + "\\" + std::to_string(number); }

    Instance* Find(platform::ExchangeRouter::Client client) {
        for (auto& c : connections)
            if (reinterpret_cast<platform::ExchangeRouter::Client>(c.get()) == client && !c->broken) return c.get();
        return nullptr;
    }

    // Connections whose client left (or that could not be written) go, and the router with them.
    void DropBroken(platform::ExchangeRouter& router) {
        for (auto& c : connections)
            if (c->broken) router.Gone(reinterpret_cast<platform::ExchangeRouter::Client>(c.get()));
        connections.erase(std::remove_if(connections.begin(), connections.end(),
                                         [](const std::unique_ptr<Instance>& c) { return c->broken; }),
                          connections.end());
    }

    // A client connected to the listening instance of `number`: it becomes a connection
    // and a fresh instance listens for the next client.
    void Accept(int number, platform::ExchangeRouter& router) {
        if (!serving) return;
        auto& l = listening[number];
        if (!l) {
            // The last attempt to make a listening instance failed (out of resources): retry.
            l = NewInstance(PipeName(number), number, false, true, security.Attributes());
            return;
        }
        if (!Signalled(l->event)) return;
        DWORD unused = 0;
        std::unique_ptr<Instance> next = NewInstance(PipeName(number), number, false, true, security.Attributes());
        const bool connected = l->connectedEarly || ::GetOverlappedResult(l->pipe, &l->ov, &unused, FALSE);
        l->inFlight = false;
        if (connected) {
            ULONG pid = 0;
            if (::GetNamedPipeClientProcessId(l->pipe, &pid)) l->peer = static_cast<long>(pid);
            // Only the user who runs the meter may open its pipes (OwnerOnlySecurity).
            if (router.Admit(reinterpret_cast<platform::ExchangeRouter::Client>(l.get()), number, l->peer, 0)) {
                l->Read();
                if (connections.size() >= kMaxConnections) {
                    router.Gone(reinterpret_cast<platform::ExchangeRouter::Client>(connections.front().get()));
                    connections.erase(connections.begin());
                }
                connections.push_back(std::move(l));
            }
        }
        l = std::move(next);
    }
};

Server::Server(Meter& meter, ServerOptions options)
    : meter_(meter), options_(std::move(options)), router_(MakeRouter(0)),
      win_(new WinState, [](WinState* s) { delete s; }) {}

Server::~Server() { Unplug(); }

std::string Server::ClassDirectory() const { return options_.root + "\\" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT; }

std::string Server::EntryPath() const { return ClassDirectory() + "\\" + options_.entry; }

bool Server::Plug(std::string* error) {
    if (plugged_) return true;
    WinState& w = *win_;
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        w.serving = false;
        w.connections.clear();
        for (auto& l : w.listening) l.reset();
        return false;
    };
    if (!PlainEntryName(options_.entry))
        return fail("the entry name \"" + options_.entry + "\" may hold only letters, digits and {}-_.");
    const std::wstring classDir = platform::win::Widen(ClassDirectory());
    MakeDirectories(classDir);
    const std::wstring marker = platform::win::Widen(EntryPath());

    // A marker left behind by a meter that died is removed; a served one is not ours.
    if (::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
        HANDLE old = ::CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        std::string base;
        if (old != INVALID_HANDLE_VALUE) {
            char text[transport::kMaxPipeBaseLength + 4];
            DWORD n = 0;
            if (::ReadFile(old, text, sizeof text, &n, nullptr)) base = transport::PipeBaseFromMarker({text, n});
            ::CloseHandle(old);
        }
        if (!base.empty() && Served(base + "\\" + std::to_string(transport::kCommandPipe)))
            return fail("another meter serves " + EntryPath());
        if (!::DeleteFileW(marker.c_str())) return fail(LastError("cannot remove the old entry " + EntryPath()));
    }

    w.base = std::string(transport::kNamedPipePrefix) + "tessera\\" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT +
             "\\" + options_.entry + "." + std::to_string(::GetCurrentProcessId());
    for (int pipe : kPipes) {
        w.listening[pipe] = NewInstance(w.PipeName(pipe), pipe, true, true, w.security.Attributes());
        if (!w.listening[pipe]) return fail(LastError("cannot serve the pipe " + w.PipeName(pipe)));
    }
    // The pipes exist before the marker appears, and a marker counts only once its line is
    // complete, so clients never find a half-made entry.
    w.marker = ::CreateFileW(marker.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (w.marker == INVALID_HANDLE_VALUE) return fail(LastError("cannot create " + EntryPath()));
    const std::string text =
        transport::MarkerText(w.base) + transport::IdentityText({options_.serial, transport::kModelName});
    DWORD written = 0;
    if (!::WriteFile(w.marker, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        ::CloseHandle(w.marker);
        w.marker = INVALID_HANDLE_VALUE;
        return fail(LastError("cannot write " + EntryPath()));
    }
    ::FlushFileBuffers(w.marker);
    w.serving = true;
    plugged_ = true;
    return true;
}

void Server::Unplug() {
    if (!plugged_) return;
    plugged_ = false;
    WinState& w = *win_;
    w.serving = false;
    if (w.marker != INVALID_HANDLE_VALUE) ::CloseHandle(w.marker);
    w.marker = INVALID_HANDLE_VALUE;
    // Closing every instance breaks the clients' pipes, as a pulled cable does.
    w.connections.clear();
    for (auto& l : w.listening) l.reset();
    router_.Clear();
    outgoing_.clear();
}

bool Server::OpenControl(std::string* error) {
    if (options_.controlPath.empty()) return true;
    if (!transport::IsNamedPipePath(options_.controlPath)) {
        if (error) *error = "the control channel must be a named pipe (\\\\.\\pipe\\NAME), not " + options_.controlPath;
        return false;
    }
    win_->controlListening = NewInstance(options_.controlPath, -1, true, false, win_->security.Attributes());
    if (!win_->controlListening) {
        if (error) *error = LastError("cannot serve the control pipe " + options_.controlPath);
        return false;
    }
    return true;
}

void Server::Deliver(const platform::ExchangeRouter::Delivery& delivery) {
    Instance* reader = win_->Find(delivery.to);
    if (!reader) return;  // its asker has gone
    // Each message waits at most a second: a reader that does not read is taken for gone.
    for (const std::string& m : delivery.messages) {
        if (!reader->Write(m.data(), static_cast<DWORD>(m.size()))) {
            reader->broken = true;
            return;
        }
    }
}

int Server::Run(const volatile sig_atomic_t* stop) {
    WinState& w = *win_;
    while (running_ && !(stop && *stop)) {
        std::vector<HANDLE> events;
        for (int pipe : kPipes)
            if (w.listening[pipe]) events.push_back(w.listening[pipe]->event);
        for (auto& c : w.connections) events.push_back(c->event);
        if (w.controlListening) events.push_back(w.controlListening->event);
        for (auto& c : w.controlClients) events.push_back(c->event);
        if (events.size() > MAXIMUM_WAIT_OBJECTS) events.resize(MAXIMUM_WAIT_OBJECTS);

        // Woken by the next answer falling due, a request whose wait for the meter ends, and
        // at least once a second for a stop request.
        auto wake = Clock::now() + std::chrono::seconds(1);
        if (!outgoing_.empty()) wake = std::min(wake, outgoing_.front().due);
        if (auto hold = router_.HoldEnds()) wake = std::min(wake, *hold);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
        const DWORD timeout = static_cast<DWORD>(std::clamp<long long>(wait + 1, 0, 1000));
        if (!events.empty()) {
            const DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, timeout);
            if (r == WAIT_FAILED) return 1;
        } else {
            ::Sleep(timeout);
        }

        // Accept first, so a request that arrives together with the connection of the pipe
        // that will carry its answer finds that connection.
        for (int pipe : kPipes) w.Accept(pipe, router_);

        for (auto& c : w.connections) {
            std::string message;
            while (!c->broken && Signalled(c->event) && c->Finish(message))
                router_.Received(reinterpret_cast<platform::ExchangeRouter::Client>(c.get()), message);
        }
        // What a client wrote before it left still reaches the meter.
        Serve();
        w.DropBroken(router_);

        if (w.controlListening && Signalled(w.controlListening->event)) {
            auto next = NewInstance(options_.controlPath, -1, false, false, w.security.Attributes());
            DWORD unused = 0;
            const bool connected =
                w.controlListening->connectedEarly ||
                ::GetOverlappedResult(w.controlListening->pipe, &w.controlListening->ov, &unused, FALSE);
            w.controlListening->inFlight = false;
            if (connected) {
                w.controlListening->Read();
                if (w.controlClients.size() >= kMaxControlClients) w.controlClients.erase(w.controlClients.begin());
                w.controlClients.push_back(std::move(w.controlListening));
            }
            w.controlListening = std::move(next);
        }
        for (auto& c : w.controlClients) {
            std::string chunk;
            while (!c->broken && Signalled(c->event) && c->Finish(chunk)) {
                c->input += chunk;
                const std::string response =
                    AnswerCompleteLines(c->input, [this](const std::string& line) { return Control(line); });
                if (!response.empty() && !c->Write(response.data(), static_cast<DWORD>(response.size())))
                    c->broken = true;
            }
        }
        w.controlClients.erase(std::remove_if(w.controlClients.begin(), w.controlClients.end(),
                                              [](const std::unique_ptr<Instance>& c) { return c->broken; }),
                               w.controlClients.end());
    }
    return 0;
}

}  // namespace tessera::meter
