#pragma once
// Where things live at run time.

#include <string>
#include <vector>

#include "platform/Files.h"  // FileExists and the rest of what is done with a file the user names

namespace tessera::platform {

// Directory of the running program (for libraries and accuracy.dat beside it).
std::string ProgramDirectory();

// Per-user runtime directory for named locks and the device registry:
// $TESSERA_RUNTIME_DIR, else $XDG_RUNTIME_DIR/tessera, else /tmp/tessera-<uid>. Created on demand.
// A computed one is used only while it is a real directory of ours that nobody else may
// write; otherwise $HOME/.cache/tessera-runtime (the rule is platform/RegistryRoot.h).
std::string RuntimeDirectory();

#if !defined(_WIN32)
// A directory (not a link) owned by this user, without group or other write permission.
bool IsPrivateDirectory(const std::string& path);
#endif

// Device registry roots in search order. $TESSERA_DEVICE_ROOT, when set, is the only root
// (tests and the virtual meter's private registries). Otherwise /run/tessera (a system-wide
// driver) first, then RuntimeDirectory(). Roots that exist but are not trustworthy (another
// user's, or writable by others) are left out; missing ones stay in.
std::vector<std::string> DeviceRegistryRoots();

// The root a user-level server (the virtual meter) registers under:
// $TESSERA_DEVICE_ROOT when set, else RuntimeDirectory().
std::string UserDeviceRoot();

// Per-user state that must outlive a crash (the logging journals):
// $XDG_STATE_HOME/tessera, else ~/.local/state/tessera; %LOCALAPPDATA%\tessera on Windows.
// Created on demand (private). Empty when there is no place for it or the place may not be
// used (StateDirectoryProblem); `problem` then says why.
std::string StateDirectory(std::string* problem = nullptr);

// Creates `path` when it is missing (private), then says what keeps it from holding this
// user's state; empty when nothing does. The registry root's rule (platform/RegistryRoot.h):
// a directory that another user owns or that others may write, or a symbolic link, is never
// used, as another user could plant or change what is read from it. On Windows, as for the
// registry, the user's own %LOCALAPPDATA% is private already; only a missing directory counts.
std::string StateDirectoryProblem(const std::string& path);

// The serial number of the one meter the user chose (TESSERA_METER, which `tessera-cli
// --meter` and `tessera --meter` set), in UTF-8; empty: the first meter found.
std::string ChosenMeter();
// Chooses the meter for this process and the programs it starts (sets TESSERA_METER).
void ChooseMeter(const std::string& serial);

}  // namespace tessera::platform
