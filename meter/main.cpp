// virtual-qm8620: a stand-in for the QM8620 that serves a device registry entry exactly
// as the instrument's bulk driver does, so the program, tessera-cli and the tests can
// talk to "a meter" on any machine.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "TesseraVersion.h"
#include "meter/Meter.h"
#include "meter/MeterSetup.h"
#include "meter/Process.h"
#include "meter/Server.h"
#include "platform/Files.h"
#include "transport/MeterIdentity.h"

namespace {

const char* kUsage =
    "Usage: virtual-qm8620 [options]\n"
    "A virtual QM8620 magnetic field meter. It registers itself in the device registry\n"
    "(pipe sockets 0, 1, 3, 4 under the instrument's interface class) and answers the\n"
    "meter's commands until it is stopped (Ctrl-C) or told \"quit\" on its control socket.\n"
    "\n"
    "Options:\n"
    "  --root DIR        device registry root (default: $TESSERA_DEVICE_ROOT, else\n"
    "                    $TESSERA_RUNTIME_DIR, else $XDG_RUNTIME_DIR/tessera, else\n"
    "                    /tmp/tessera-<uid>; created with mode 700 when missing, and\n"
    "                    refused when another user owns it or others may write it)\n"
    "  --entry NAME      name of the registry entry (default: virtual-<pid>)\n"
    "  --control PATH    control socket (default: <root>/virtual-qm8620-<pid>.control)\n"
    "  --serial TEXT     the serial number the meter shows (tessera-cli meters) and is\n"
    "                    chosen by (TESSERA_METER, --meter): letters, digits, punctuation\n";
// ... then the meter's own options (meter/MeterSetup.h), then these:
const char* kUsageMore =
    "  --print-demo      print the demo memory in the --memory format and exit\n"
    "  --unplugged       start unplugged (\"plug\" on the control socket plugs in)\n"
    "  --help            this text\n"
    "  --version         print the version and exit\n"
    "\n"
    "Control socket (a stream socket; one request per line; answers are lines starting\n"
    "\"= \", then \"ok\" or \"error <why>\"), for example with socat:\n"
    "  echo unplug | socat - UNIX-CONNECT:<control>\n"
    "Requests:\n"
    "  plug | unplug | status | settings | quit | help\n"
    "  memory clear | memory demo | memory load FILE | memory add LINE | memory list\n"
    "  field X Y Z | field model | seed N\n"
    "  sensor 0|1|2 | sensor remove-after N        (after N more \"MEAS?\" replies)\n"
    "  set mode|axis|unit|range|output|aps|beep|spare|slow|mem VALUE\n"
    "  fault busy|repeat|silence|truncate|overlong [N|always] [COMMAND PREFIX]\n"
    "  fault status C [N|always] [PREFIX]  |  fault delay MS [N|always] [PREFIX]\n"
    "  fault unplug-after N  (answer N more commands, then unplug)  |  fault clear\n"
    "  log  (the commands received, oldest first; see --command-log)  |  log clear\n";

volatile sig_atomic_t gStop = 0;

}  // namespace

int main(int argc, char** argv) {
    using namespace tessera::meter;
    std::string root;
    std::string entry = "virtual-" + std::to_string(ProcessId());
    std::string control;
    std::string serial;
    bool unplugged = false;
    MeterSetup setup;

    const std::vector<std::string> args = tessera::platform::ProgramArguments(argc, argv);  // UTF-8 everywhere
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                std::cerr << "virtual-qm8620: " << a << " needs a value\n";
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage << MeterOptionsHelp() << kUsageMore << PlatformHelp();
            return 0;
        } else if (a == "--version") {
            std::cout << "virtual-qm8620 " TESSERA_VERSION "\n";
            return 0;
        } else if (a == "--print-demo") {
            for (const auto& line : DemoMemory()) std::cout << line << "\n";
            return 0;
        } else if (a == "--root") {
            root = value();
        } else if (a == "--entry") {
            entry = value();
        } else if (a == "--control") {
            control = value();
        } else if (a == "--serial") {
            serial = value();
            if (serial.empty() || serial.size() > 64 || tessera::transport::PlainSerial(serial) != serial) {
                std::cerr << "virtual-qm8620: --serial takes 1 to 64 letters, digits or punctuation, no spaces\n";
                return 2;
            }
        } else if (a == "--unplugged") {
            unplugged = true;
        } else {
            std::string why;
            if (!TakeMeterOption(a, value, setup, why)) why = "unknown option " + a + " (see --help)";
            if (!why.empty()) {
                std::cerr << "virtual-qm8620: " << why << "\n";
                return 2;
            }
        }
    }
    if (entry.empty() || entry.find('/') != std::string::npos || entry[0] == '.') {
        std::cerr << "virtual-qm8620: the entry name must be a plain name not starting with '.'\n";
        return 2;
    }
    // The registry root is ours (created private when missing) or not used at all: a root
    // that another user made or may write would let that user pose as this meter.
    std::string problem;
    root = RegistryRoot(root, problem);
    if (!problem.empty()) {
        std::cerr << "virtual-qm8620: the device registry root cannot be used: " << problem << "\n";
        return 1;
    }
    if (control.empty()) control = DefaultControlPath(root, ProcessId());

    Meter meter;
    std::string error;
    if (const int rc = SetUpMeter(meter, setup, error)) {
        std::cerr << "virtual-qm8620: " << error << "\n";
        return rc;
    }
    Server server(meter, {root, entry, control, serial});
    if (!server.OpenControl(&error) || (!unplugged && !server.Plug(&error))) {
        std::cerr << "virtual-qm8620: " << error << "\n";
        return 1;
    }

    StopOnRequest(&gStop);

    std::cout << "virtual-qm8620: " << (unplugged ? "unplugged; would serve " : "serving ") << server.EntryPath()
              << "\nvirtual-qm8620: control " << control << std::endl;

    const int rc = server.Run(&gStop);
    return rc;
}
