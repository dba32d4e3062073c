// virtual-qm8620: a stand-in for the QM8620 that serves a device registry entry exactly
// as the instrument's bulk driver does, so the program, tessera-cli and the tests can
// talk to "a meter" on any machine.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>

#include "TesseraVersion.h"
#include "meter/Meter.h"
#include "meter/Process.h"
#include "meter/Server.h"

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
    "  --demo            start with the built-in demo memory (25 stored measurements)\n"
    "  --memory FILE     start with the stored measurements of FILE: one reply line per\n"
    "                    measurement, 13 comma-separated fields, '#' starts a comment\n"
    "  --print-demo      print the demo memory in that format and exit\n"
    "  --seed N          seed of the live field model (default 1)\n"
    "  --field X,Y,Z     a fixed field in tesla instead of the live model\n"
    "  --sensor C        attached sensor: 0 none, 1 8621 (default), 2 8622\n"
    "  --unplugged       start unplugged (\"plug\" on the control socket plugs in)\n"
    "  --fault SPEC      inject a fault as the control request \"fault SPEC\" (repeatable)\n"
    "  --command-log N   keep the last N commands for \"log\" (default 10000; 0 keeps none)\n"
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
    std::string memoryFile;
    bool demo = false, unplugged = false;
    unsigned long seed = 1;
    char sensor = '1';
    std::optional<Field> fixed;
    std::vector<std::string> faults;
    std::optional<std::size_t> logSize;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "virtual-qm8620: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage << PlatformHelp();
            return 0;
        } else if (a == "--version") {
            std::cout << "virtual-qm8620 " TESSERA_VERSION "\n";
            return 0;
        } else if (a == "--print-demo") {
            for (const auto& line : DemoMemory()) std::cout << line << "\n";
            return 0;
        } else if (a == "--root") root = value();
        else if (a == "--entry") entry = value();
        else if (a == "--control") control = value();
        else if (a == "--memory") memoryFile = value();
        else if (a == "--demo") demo = true;
        else if (a == "--unplugged") unplugged = true;
        else if (a == "--fault") faults.push_back(value());
        else if (a == "--seed") seed = std::strtoul(value().c_str(), nullptr, 10);
        else if (a == "--command-log") {
            const std::string v = value();
            char* end = nullptr;
            const unsigned long long n = std::strtoull(v.c_str(), &end, 10);
            if (v.empty() || v[0] == '-' || *end != '\0') {
                std::cerr << "virtual-qm8620: --command-log takes a number of commands\n";
                return 2;
            }
            logSize = static_cast<std::size_t>(n);
        }
        else if (a == "--sensor") {
            const std::string v = value();
            if (v.size() != 1 || v[0] < '0' || v[0] > '2') {
                std::cerr << "virtual-qm8620: --sensor takes 0, 1 or 2\n";
                return 2;
            }
            sensor = v[0];
        } else if (a == "--field") {
            Field f;
            char c1 = 0, c2 = 0;
            std::istringstream in(value());
            if (!(in >> f.x >> c1 >> f.y >> c2 >> f.z) || c1 != ',' || c2 != ',' || f.x < 0 || f.y < 0 || f.z < 0) {
                std::cerr << "virtual-qm8620: --field takes X,Y,Z in tesla, not negative\n";
                return 2;
            }
            fixed = f;
        } else {
            std::cerr << "virtual-qm8620: unknown option " << a << " (see --help)\n";
            return 2;
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

    Meter meter(static_cast<std::uint32_t>(seed));
    meter.SetSensor(sensor);
    meter.SetFixedField(fixed);
    if (logSize) meter.SetCommandLogSize(*logSize);
    if (demo) meter.SetMemory(DemoMemory());
    if (!memoryFile.empty()) {
        std::ifstream file(memoryFile, std::ios::binary);
        if (!file) {
            std::cerr << "virtual-qm8620: cannot read " << memoryFile << "\n";
            return 1;
        }
        std::stringstream text;
        text << file.rdbuf();
        MemoryParse parsed = ParseMemory(text.str());
        if (!parsed.error.empty()) {
            std::cerr << "virtual-qm8620: " << memoryFile << " " << parsed.error << "\n";
            return 1;
        }
        meter.SetMemory(std::move(parsed.records));
    }

    Server server(meter, {root, entry, control});
    for (const auto& f : faults) {
        const auto answer = server.Control("fault " + f);
        if (answer.back() != "ok") {
            std::cerr << "virtual-qm8620: --fault " << f << ": " << answer.back() << "\n";
            return 2;
        }
    }
    std::string error;
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
