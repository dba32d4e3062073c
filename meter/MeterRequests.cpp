#include "meter/MeterRequests.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "platform/Files.h"

namespace tessera::meter {

namespace {

using Lines = std::vector<std::string>;
// A request's work: its "= ..." lines go to `out`; the answer is why it was refused, if it was.
using Request = std::optional<std::string> (*)(Meter& meter, const std::string& rest, Lines& out);

std::optional<std::string> Memory(Meter& meter, const std::string& rest, Lines& out) {
    std::istringstream words(rest);
    std::string what;
    words >> what;
    std::string arg;
    std::getline(words, arg);
    if (!arg.empty() && arg[0] == ' ') arg.erase(0, 1);
    if (what == "clear") {
        meter.SetMemory({});
    } else if (what == "demo") {
        meter.SetMemory(DemoMemory());
    } else if (what == "load") {
        std::ifstream file = platform::OpenInput(arg);
        if (!file) return "cannot read " + arg;
        std::stringstream text;
        text << file.rdbuf();
        MemoryParse parsed = ParseMemory(text.str());
        if (!parsed.error.empty()) return arg + " " + parsed.error;
        meter.SetMemory(std::move(parsed.records));
    } else if (what == "add") {
        if (auto err = CheckMemoryLine(arg)) return *err;
        auto m = meter.Memory();
        m.push_back(arg);
        meter.SetMemory(std::move(m));
    } else if (what == "list") {
        for (const auto& r : meter.Memory()) out.push_back("= " + r);
    } else {
        return "memory clear|demo|load FILE|add LINE|list";
    }
    out.push_back("= count " + std::to_string(meter.Memory().size()));
    return std::nullopt;
}

std::optional<std::string> FieldRequest(Meter& meter, const std::string& rest, Lines&) {
    if (rest == "model") {
        meter.SetFixedField(std::nullopt);
        return std::nullopt;
    }
    Field f;
    std::istringstream words(rest);
    if (!(words >> f.x >> f.y >> f.z) || f.x < 0 || f.y < 0 || f.z < 0)
        return "field X Y Z (tesla, not negative) or field model";
    meter.SetFixedField(f);
    return std::nullopt;
}

std::optional<std::string> Seed(Meter& meter, const std::string& rest, Lines&) {
    unsigned long seed = 0;
    std::istringstream words(rest);
    if (!(words >> seed)) return "seed N";
    meter.SetSeed(static_cast<std::uint32_t>(seed));
    return std::nullopt;
}

std::optional<std::string> Sensor(Meter& meter, const std::string& rest, Lines&) {
    std::istringstream words(rest);
    std::string what;
    words >> what;
    int n = 0;
    if (what == "remove-after" && (words >> n) && n >= 0) meter.RemoveSensorAfter(n);
    else if (what.size() == 1 && what[0] >= '0' && what[0] <= '2') meter.SetSensor(what[0]);
    else return "sensor 0|1|2 or sensor remove-after N";
    return std::nullopt;
}

std::optional<std::string> Set(Meter& meter, const std::string& rest, Lines&) {
    std::istringstream words(rest);
    std::string name, value;
    words >> name >> value;
    Settings s = meter.Current();
    auto code = [&](char& field, char hi) {
        if (value.size() != 1 || value[0] < '0' || value[0] > hi) return false;
        field = value[0];
        return true;
    };
    bool ok = false;
    if (name == "mode") ok = code(s.mode, '4');
    else if (name == "axis") ok = code(s.axis, '3');
    else if (name == "unit") ok = code(s.unit, '3');
    else if (name == "output") ok = code(s.output, '2');
    else if (name == "aps") ok = code(s.autoPowerOff, '1');
    else if (name == "beep") ok = code(s.beep, '1');
    else if (name == "spare") ok = code(s.spare, '9');
    else if (name == "slow") ok = code(s.slow, '1');
    else if (name == "mem") ok = code(s.memMode, '1');
    else if (name == "range") {
        ok = value.size() == 1 && value[0] >= '0' && value[0] <= '4';
        if (ok) s.range = value[0] - '0';
    }
    if (!ok) return "set mode|axis|unit|range|output|aps|beep|spare|slow|mem VALUE";
    meter.SetSettings(s);
    return std::nullopt;
}

std::optional<std::string> SettingsRequest(Meter& meter, const std::string&, Lines& out) {
    const Settings& s = meter.Current();
    out.push_back("= mode=" + std::string(1, s.mode) + " axis=" + s.axis + " unit=" + s.unit +
                  " range=" + std::to_string(s.range) + " output=" + s.output + " aps=" + s.autoPowerOff +
                  " beep=" + s.beep + " spare=" + s.spare + " slow=" + s.slow + " mem=" + s.memMode);
    return std::nullopt;
}

std::optional<std::string> FaultRequest(Meter& meter, const std::string& rest, Lines&) {
    if (rest == "clear") {
        meter.ClearFaults();
    } else if (rest.rfind("unplug-after", 0) == 0) {
        std::istringstream words(rest.substr(12));
        int n = 0;
        if (!(words >> n) || n < 0) return "fault unplug-after N";
        meter.UnplugAfter(n);
    } else {
        Fault f;
        if (auto err = ParseFault(rest, f)) return *err;
        meter.AddFault(f);
    }
    return std::nullopt;
}

std::optional<std::string> Log(Meter& meter, const std::string& rest, Lines& out) {
    if (rest == "clear") meter.ClearCommandLog();
    else
        for (const auto& c : meter.CommandLog()) out.push_back("= " + EscapeForLine(c));
    return std::nullopt;
}

const std::map<std::string, Request, std::less<>> kRequests = {
    {"memory", Memory}, {"field", FieldRequest},       {"seed", Seed},          {"sensor", Sensor},
    {"set", Set},       {"settings", SettingsRequest}, {"fault", FaultRequest}, {"log", Log},
};

}  // namespace

std::string AnswerCompleteLines(std::string& input,
                                const std::function<std::vector<std::string>(const std::string&)>& answer) {
    std::string response;
    std::size_t nl;
    while ((nl = input.find('\n')) != std::string::npos) {
        std::string line = input.substr(0, nl);
        input.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const auto& l : answer(line)) response += l + "\n";
    }
    return response;
}

std::string EscapeForLine(std::string_view raw) {
    std::string out;
    for (unsigned char c : raw) {
        if (c == '\\') out += "\\\\";
        else if (c >= 0x20 && c < 0x7f) out += static_cast<char>(c);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

std::vector<std::string> MeterRequest(Meter& meter, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::string rest;
    std::getline(in, rest);
    const auto start = rest.find_first_not_of(' ');
    rest = start == std::string::npos ? std::string() : rest.substr(start);

    const auto request = kRequests.find(verb);
    if (request == kRequests.end()) return {"error unknown request \"" + verb + "\" (try help)"};
    Lines out;
    if (const auto refused = request->second(meter, rest, out)) return {"error " + *refused};
    out.push_back("ok");
    return out;
}

std::vector<std::string> MeterStatusLines(const Meter& meter, std::uint32_t bytesSent) {
    return {"= memory " + std::to_string(meter.Memory().size()), "= sensor " + std::string(1, meter.Sensor()),
            "= logging " + std::string(meter.Logging() ? "1" : "0"), "= bytes " + std::to_string(bytesSent),
            "= polls " + std::to_string(meter.Step())};
}

const std::vector<std::string>& MeterRequestHelp() {
    static const std::vector<std::string> kHelp = {
        "= memory clear|demo|load FILE|add LINE|list",
        "= field X Y Z | field model | seed N",
        "= sensor 0|1|2 | sensor remove-after N",
        "= set mode|axis|unit|range|output|aps|beep|spare|slow|mem VALUE",
        "= fault busy|repeat|silence|truncate|overlong [N|always] [PREFIX]",
        "= fault status C [N|always] [PREFIX] | fault delay MS [N|always] [PREFIX]",
        "= fault unplug-after N | fault clear",
        "= log | log clear",
    };
    return kHelp;
}

}  // namespace tessera::meter
