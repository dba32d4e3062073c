#pragma once
// Where an installed copy keeps what the programs load besides themselves, found from the
// running program's own directory, so an installed tree works wherever it was put (a
// package under /usr, `cmake --install --prefix ~/.local`, a DESTDIR staging root).

#include <string>

namespace tessera::platform {

// The private directory of the transport library (<prefix>/lib/<arch>/tessera); empty where
// the installed layout keeps it beside the program.
std::string InstalledLibraryDirectory();

// The data directory holding accuracy.dat (<prefix>/share/tessera); empty likewise.
std::string InstalledDataDirectory();

}  // namespace tessera::platform
