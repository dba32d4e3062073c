#pragma once
// One instrument's entry in the device registry (POSIX): a directory named for the device
// holding a listening SOCK_SEQPACKET socket per pipe ("0", "1", "3", "4"). It appears
// complete or not at all (built under a hidden name, then renamed into place) and disappears
// the same way (renamed away before it is taken apart), so a watcher never sees half an entry
// and no client connects to one that is going. Every server of the registry publishes its
// entries this way: the USB driver and the virtual meter.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessera::platform {

class RegistryEntry {
public:
    // Creates the class directory when missing. The entry is private to the user, or, with
    // `group` (the system-wide registry of a root bridge), open to the members of that group
    // and nobody else: directories 750 and sockets 660, in that group. `files` (name ->
    // content) are small files that appear with the entry, such as the meter's identity. An
    // entry of the same name that nobody serves any more (a bridge that died) is replaced; a
    // served one is left alone and the answer is null with `error` saying so.
    static std::unique_ptr<RegistryEntry> Publish(const std::string& classDir, const std::string& name,
                                                  const std::vector<int>& pipes, std::optional<unsigned long> group,
                                                  const std::map<std::string, std::string>& files, std::string* error);
    ~RegistryEntry();
    RegistryEntry(const RegistryEntry&) = delete;
    RegistryEntry& operator=(const RegistryEntry&) = delete;

    // Takes the entry out of the registry in one step; its sockets keep listening until
    // Withdraw. Idempotent.
    void Hide();
    // Hides it if still shown, closes the listeners and removes what is left. Idempotent.
    void Withdraw();

    const std::string& Path() const { return path_; }
    // The listening socket of a pipe, -1 when there is none (or after Withdraw).
    int Listener(int pipe) const;

private:
    RegistryEntry(std::string classDir, std::string name) : classDir_(std::move(classDir)), name_(std::move(name)) {
        path_ = classDir_ + "/" + name_;
    }
    static void RemoveDirectory(const std::string& dir);

    std::string classDir_, name_, path_;
    std::string where_;  // the directory now: path_, or its hidden name once hidden
    std::map<int, int> listeners_;
    bool published_ = false;
};

}  // namespace tessera::platform
