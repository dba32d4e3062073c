#pragma once
// Where a user keeps files of their own that the programs read (never write): on Linux
// $XDG_CONFIG_HOME/tessera, else ~/.config/tessera; on Windows %APPDATA%\tessera. Nothing
// is created here. Empty when there is no such place.

#include <string>

namespace tessera::platform {

std::string UserConfigDirectory();

}  // namespace tessera::platform
