#pragma once
// A message-mode named pipe for Windows tests: one message per write, a zero-length write is
// a zero-length message, like the meter's bulk pipes.

#include <windows.h>

#include <string>

namespace tessera::wintest {

class PipePair {
public:
    explicit PipePair(const std::wstring& tag) {
        name_ = L"\\\\.\\pipe\\tessera-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + tag;
        server_ = ::CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        client_ = ::CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (client_ != INVALID_HANDLE_VALUE) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            ::SetNamedPipeHandleState(client_, &mode, nullptr, nullptr);
        }
        if (server_ != INVALID_HANDLE_VALUE && !::ConnectNamedPipe(server_, nullptr) &&
            ::GetLastError() != ERROR_PIPE_CONNECTED) {
            ::CloseHandle(server_);
            server_ = INVALID_HANDLE_VALUE;
        }
    }
    ~PipePair() {
        CloseServer();
        if (client_ != INVALID_HANDLE_VALUE && ownClient_) ::CloseHandle(client_);
    }
    PipePair(const PipePair&) = delete;
    PipePair& operator=(const PipePair&) = delete;

    bool Ok() const { return server_ != INVALID_HANDLE_VALUE && client_ != INVALID_HANDLE_VALUE; }
    HANDLE Server() const { return server_; }
    HANDLE Client() const { return client_; }
    // The client end now belongs to someone else (it closes it).
    std::intptr_t GiveClient() {
        ownClient_ = false;
        return reinterpret_cast<std::intptr_t>(client_);
    }
    void CloseServer() {
        if (server_ != INVALID_HANDLE_VALUE) {
            ::DisconnectNamedPipe(server_);
            ::CloseHandle(server_);
            server_ = INVALID_HANDLE_VALUE;
        }
    }
    bool Send(const std::string& message) {
        DWORD n = 0;
        return ::WriteFile(server_, message.data(), static_cast<DWORD>(message.size()), &n, nullptr) &&
               n == message.size();
    }
    // Bytes waiting for the server (0 when nothing was written).
    DWORD Pending() const {
        DWORD available = 0;
        ::PeekNamedPipe(server_, nullptr, 0, nullptr, &available, nullptr);
        return available;
    }
    std::string ReceiveOne() {
        char buffer[512];
        DWORD n = 0;
        if (!::ReadFile(server_, buffer, sizeof(buffer), &n, nullptr)) return {};
        return std::string(buffer, n);
    }

private:
    std::wstring name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    HANDLE client_ = INVALID_HANDLE_VALUE;
    bool ownClient_ = true;
};

}  // namespace tessera::wintest
