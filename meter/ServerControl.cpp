// The virtual meter's serving logic that is the same on every platform: what a command or a
// counter request on the pipes turns into, and the control requests. The pipes themselves are
// served by Server.cpp (POSIX sockets) or Server_win.cpp (Windows named pipes).
#include "meter/Server.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "transport/InstrumentIds.h"

namespace tessera::meter {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

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

void Server::ServeCommand(const std::string& packet, long from) {
    const Response r = meter_.Handle(packet);
    switch (r.kind) {
        case Response::Kind::Unplug:
            Unplug();
            return;
        case Response::Kind::Silence:
            return;
        case Response::Kind::Reply: {
            // Replies leave in order: a delayed reply holds back the ones after it.
            auto due = Clock::now() + std::chrono::milliseconds(r.delayMs);
            if (!outgoing_.empty()) due = std::max(due, outgoing_.back().due);
            outgoing_.push_back({due, transport::kReplyPipe, r.bytes, true, from});
            return;
        }
    }
}

void Server::ServeCounter(const std::string& packet, long from) {
    if (auto count = CounterReply(packet, bytesSent_))
        outgoing_.push_back({Clock::now(), transport::kCounterReplyPipe, *count, false, from});
}

std::vector<std::string> Server::Control(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::string rest;
    std::getline(in, rest);
    const auto start = rest.find_first_not_of(' ');
    rest = start == std::string::npos ? std::string() : rest.substr(start);
    auto error = [&](const std::string& why) {
        out.push_back("error " + why);
        return out;
    };

    if (verb == "plug") {
        std::string err;
        if (!Plug(&err)) return error(err);
    } else if (verb == "unplug") {
        Unplug();
    } else if (verb == "status") {
        out.push_back("= plugged " + std::string(plugged_ ? "1" : "0"));
        out.push_back("= entry " + EntryPath());
        out.push_back("= memory " + std::to_string(meter_.Memory().size()));
        out.push_back("= sensor " + std::string(1, meter_.Sensor()));
        out.push_back("= logging " + std::string(meter_.Logging() ? "1" : "0"));
        out.push_back("= bytes " + std::to_string(bytesSent_));
        out.push_back("= polls " + std::to_string(meter_.Step()));
    } else if (verb == "memory") {
        std::istringstream words(rest);
        std::string what;
        words >> what;
        std::string arg;
        std::getline(words, arg);
        if (!arg.empty() && arg[0] == ' ') arg.erase(0, 1);
        if (what == "clear") {
            meter_.SetMemory({});
        } else if (what == "demo") {
            meter_.SetMemory(DemoMemory());
        } else if (what == "load") {
            std::ifstream file(arg, std::ios::binary);
            if (!file) return error("cannot read " + arg);
            std::stringstream text;
            text << file.rdbuf();
            MemoryParse parsed = ParseMemory(text.str());
            if (!parsed.error.empty()) return error(arg + " " + parsed.error);
            meter_.SetMemory(std::move(parsed.records));
        } else if (what == "add") {
            if (auto err = CheckMemoryLine(arg)) return error(*err);
            auto m = meter_.Memory();
            m.push_back(arg);
            meter_.SetMemory(std::move(m));
        } else if (what == "list") {
            for (const auto& r : meter_.Memory()) out.push_back("= " + r);
        } else {
            return error("memory clear|demo|load FILE|add LINE|list");
        }
        out.push_back("= count " + std::to_string(meter_.Memory().size()));
    } else if (verb == "field") {
        if (rest == "model") {
            meter_.SetFixedField(std::nullopt);
        } else {
            Field f;
            std::istringstream words(rest);
            if (!(words >> f.x >> f.y >> f.z) || f.x < 0 || f.y < 0 || f.z < 0)
                return error("field X Y Z (tesla, not negative) or field model");
            meter_.SetFixedField(f);
        }
    } else if (verb == "seed") {
        unsigned long seed = 0;
        std::istringstream words(rest);
        if (!(words >> seed)) return error("seed N");
        meter_.SetSeed(static_cast<std::uint32_t>(seed));
    } else if (verb == "sensor") {
        std::istringstream words(rest);
        std::string what;
        words >> what;
        int n = 0;
        if (what == "remove-after" && (words >> n) && n >= 0) meter_.RemoveSensorAfter(n);
        else if (what.size() == 1 && what[0] >= '0' && what[0] <= '2') meter_.SetSensor(what[0]);
        else return error("sensor 0|1|2 or sensor remove-after N");
    } else if (verb == "set") {
        std::istringstream words(rest);
        std::string name, value;
        words >> name >> value;
        Settings s = meter_.Current();
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
        if (!ok) return error("set mode|axis|unit|range|output|aps|beep|spare|slow|mem VALUE");
        meter_.SetSettings(s);
    } else if (verb == "settings") {
        const Settings& s = meter_.Current();
        std::string t = "= ";
        t += "mode=" + std::string(1, s.mode) + " axis=" + s.axis + " unit=" + s.unit +
             " range=" + std::to_string(s.range) + " output=" + s.output + " aps=" + s.autoPowerOff +
             " beep=" + s.beep + " spare=" + s.spare + " slow=" + s.slow + " mem=" + s.memMode;
        out.push_back(t);
    } else if (verb == "fault") {
        if (rest == "clear") {
            meter_.ClearFaults();
        } else if (rest.rfind("unplug-after", 0) == 0) {
            std::istringstream words(rest.substr(12));
            int n = 0;
            if (!(words >> n) || n < 0) return error("fault unplug-after N");
            meter_.UnplugAfter(n);
        } else {
            Fault f;
            if (auto err = ParseFault(rest, f)) return error(*err);
            meter_.AddFault(f);
        }
    } else if (verb == "log") {
        if (rest == "clear") meter_.ClearCommandLog();
        else
            for (const auto& c : meter_.CommandLog()) out.push_back("= " + EscapeForLine(c));
    } else if (verb == "quit") {
        running_ = false;
    } else if (verb == "help" || verb.empty()) {
        out.push_back("= plug | unplug | status | settings | quit");
        out.push_back("= memory clear|demo|load FILE|add LINE|list");
        out.push_back("= field X Y Z | field model | seed N");
        out.push_back("= sensor 0|1|2 | sensor remove-after N");
        out.push_back("= set mode|axis|unit|range|output|aps|beep|spare|slow|mem VALUE");
        out.push_back("= fault busy|repeat|silence|truncate|overlong [N|always] [PREFIX]");
        out.push_back("= fault status C [N|always] [PREFIX] | fault delay MS [N|always] [PREFIX]");
        out.push_back("= fault unplug-after N | fault clear");
        out.push_back("= log | log clear");
    } else {
        return error("unknown request \"" + verb + "\" (try help)");
    }
    out.push_back("ok");
    return out;
}

}  // namespace tessera::meter
