#include "meter/MeterSetup.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "meter/MeterRequests.h"
#include "platform/Files.h"

namespace tessera::meter {

bool TakeMeterOption(const std::string& name, const std::function<std::string()>& value, MeterSetup& setup,
                     std::string& error) {
    if (name == "--demo") {
        setup.demo = true;
    } else if (name == "--memory") {
        setup.memoryFile = value();
    } else if (name == "--fault") {
        setup.faults.push_back(value());
    } else if (name == "--seed") {
        setup.seed = std::strtoul(value().c_str(), nullptr, 10);
    } else if (name == "--command-log") {
        const std::string v = value();
        char* end = nullptr;
        const unsigned long long n = std::strtoull(v.c_str(), &end, 10);
        if (v.empty() || v[0] == '-' || *end != '\0') error = "--command-log takes a number of commands";
        else setup.commandLog = static_cast<std::size_t>(n);
    } else if (name == "--sensor") {
        const std::string v = value();
        if (v.size() != 1 || v[0] < '0' || v[0] > '2') error = "--sensor takes 0, 1 or 2";
        else setup.sensor = v[0];
    } else if (name == "--field") {
        Field f;
        char c1 = 0, c2 = 0;
        std::istringstream in(value());
        if (!(in >> f.x >> c1 >> f.y >> c2 >> f.z) || c1 != ',' || c2 != ',' || f.x < 0 || f.y < 0 || f.z < 0)
            error = "--field takes X,Y,Z in tesla, not negative";
        else setup.fixed = f;
    } else {
        return false;
    }
    return true;
}

const char* MeterOptionsHelp() {
    return "  --demo            start with the built-in demo memory (25 stored measurements)\n"
           "  --memory FILE     start with the stored measurements of FILE: one reply line per\n"
           "                    measurement, 13 comma-separated fields, '#' starts a comment\n"
           "  --seed N          seed of the live field model (default 1)\n"
           "  --field X,Y,Z     a fixed field in tesla instead of the live model\n"
           "  --sensor C        attached sensor: 0 none, 1 8621 (default), 2 8622\n"
           "  --fault SPEC      inject a fault as the control request \"fault SPEC\" (repeatable)\n"
           "  --command-log N   keep the last N commands for \"log\" (default 10000; 0 keeps none)\n";
}

int SetUpMeter(Meter& meter, const MeterSetup& setup, std::string& error) {
    meter.SetSeed(static_cast<std::uint32_t>(setup.seed));
    meter.SetSensor(setup.sensor);
    meter.SetFixedField(setup.fixed);
    if (setup.commandLog) meter.SetCommandLogSize(*setup.commandLog);
    if (setup.demo) meter.SetMemory(DemoMemory());
    if (!setup.memoryFile.empty()) {
        std::ifstream file = platform::OpenInput(setup.memoryFile);
        if (!file) {
            error = "cannot read " + setup.memoryFile;
            return 1;
        }
        std::stringstream text;
        text << file.rdbuf();
        MemoryParse parsed = ParseMemory(text.str());
        if (!parsed.error.empty()) {
            error = setup.memoryFile + " " + parsed.error;
            return 1;
        }
        meter.SetMemory(std::move(parsed.records));
    }
    for (const auto& f : setup.faults) {
        const auto answer = MeterRequest(meter, "fault " + f);
        if (answer.back() != "ok") {
            error = "--fault " + f + ": " + answer.back();
            return 2;
        }
    }
    return 0;
}

}  // namespace tessera::meter
