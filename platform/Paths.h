#pragma once
// Where things live at run time.

#include <string>
#include <vector>

namespace tessera::platform {

// Directory of the running program (for libraries and accuracy.dat beside it).
std::string ProgramDirectory();

// Per-user runtime directory for named locks and the device registry:
// $TESSERA_RUNTIME_DIR, else $XDG_RUNTIME_DIR/tessera, else /tmp/tessera-<uid>. Created on demand.
std::string RuntimeDirectory();

// Device registry roots in search order. $TESSERA_DEVICE_ROOT, when set, is the only root
// (tests and the virtual meter's private registries). Otherwise /run/tessera (a system-wide
// driver) first, then RuntimeDirectory(). Only existing ones matter to callers.
std::vector<std::string> DeviceRegistryRoots();

// The root a user-level server (the virtual meter) registers under:
// $TESSERA_DEVICE_ROOT when set, else RuntimeDirectory().
std::string UserDeviceRoot();

bool FileExists(const std::string& path);

}  // namespace tessera::platform
