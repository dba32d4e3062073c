#pragma once
// A system-wide named lock whose existence is the whole message: held = exists.
// POSIX: flock(LOCK_EX|LOCK_NB) on a file in the runtime directory, so a crashed holder
// never leaves a stale lock. Windows: CreateMutex, "already exists" = busy.

#include <cstdint>
#include <string>

namespace tessera::platform {

class NamedLock {
public:
    explicit NamedLock(std::string name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Creates the lock. False when it already exists (held by anyone, this process included)
    // or could not be made; Failure() tells the two apart.
    bool TryAcquire();
    // Why the last TryAcquire could not make the lock at all (the lock directory could not
    // be created, say); empty when it succeeded or the lock is simply held by someone.
    const std::string& Failure() const { return failure_; }
    void Release();
    bool Held() const;
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    std::string failure_;
    std::intptr_t handle_ = -1;
};

}  // namespace tessera::platform
