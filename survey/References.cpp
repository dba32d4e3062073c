#include "survey/References.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Files.h"
#include "platform/InstallLayout.h"
#include "platform/Paths.h"
#include "platform/UserConfig.h"

namespace tessera::survey {
namespace {

constexpr const char* kFileName = "references.txt";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// "200 uT" -> tesla; only magnetic units.
std::optional<double> Tesla(std::string_view text) {
    const auto typed = ParseTypedValue(text);
    if (!typed || !typed->unit || typed->unit->family != Family::Magnetic || !(typed->value > 0)) return std::nullopt;
    return typed->value / typed->unit->perBase;
}

// "25 Hz .. 400 Hz: 200 uT", "400 Hz .. 3 kHz: 8e-2 T / f", "100 uT".
std::optional<LimitPiece> ParsePiece(std::string_view text, std::string& why) {
    LimitPiece piece{0, INFINITY, 0, 0};
    const auto colon = text.find(':');
    std::string_view valueText = text;
    if (colon != std::string_view::npos) {
        const std::string_view range = text.substr(0, colon);
        valueText = text.substr(colon + 1);
        const auto dots = range.find("..");
        if (dots == std::string_view::npos) {
            why = "the frequencies must be written \"FROM .. TO\"";
            return std::nullopt;
        }
        const auto from = ParseFrequency(range.substr(0, dots));
        const auto to = ParseFrequency(range.substr(dots + 2));
        if (!from || !to || !(*from < *to)) {
            why = "\"" + std::string(Trim(range)) + "\" is no range of frequencies";
            return std::nullopt;
        }
        piece.fromHz = *from;
        piece.toHz = *to;
    }
    valueText = Trim(valueText);
    // "... / f" or "... / f^2"; any other slash belongs to the unit ("A/m").
    if (const auto slash = valueText.rfind('/'); slash != std::string_view::npos) {
        const std::string_view per = Trim(valueText.substr(slash + 1));
        int power = 0;
        if (per == "f") power = 1;
        else if (per == "f^2" || per == "f2" || per == "f\xC2\xB2") power = 2;
        if (power > 0) {
            piece.power = power;
            valueText = Trim(valueText.substr(0, slash));
        }
    }
    const auto tesla = Tesla(valueText);
    if (!tesla) {
        why = "\"" + std::string(valueText) +
              "\" is no magnetic value (a positive number with T, mT, uT, nT, G, mG or A/m)";
        return std::nullopt;
    }
    piece.value = *tesla;
    return piece;
}

std::string FrequencyText(double hz) {
    auto text = [](double v, const char* unit) {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, r.ptr) + " " + unit;
    };
    if (hz >= 1e6) return text(hz / 1e6, "MHz");
    if (hz >= 1e3) return text(hz / 1e3, "kHz");
    return text(hz, "Hz");
}

std::optional<std::string> FirstExisting(std::initializer_list<std::string> dirs) {
    for (const std::string& dir : dirs) {
        if (dir.empty()) continue;
        const std::string path = dir + "/" + kFileName;
        if (platform::FileExists(path)) return path;
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> Profile::LimitAt(double hz) const {
    if (Guidance()) return levels.front().tesla;
    for (std::size_t i = 0; i < limit.size(); ++i) {
        const LimitPiece& p = limit[i];
        const bool last = i + 1 == limit.size();
        if (hz >= p.fromHz && (hz < p.toHz || (last && hz <= p.toHz))) return p.value / std::pow(hz, p.power);
    }
    return std::nullopt;
}

std::string Profile::CoverageText() const {
    if (Guidance() || limit.empty()) return "every frequency";
    double from = limit.front().fromHz, to = limit.front().toHz;
    for (const LimitPiece& p : limit) {
        from = std::min(from, p.fromHz);
        to = std::max(to, p.toHz);
    }
    if (from == 0 && std::isinf(to)) return "every frequency";
    return FrequencyText(from) + " \xE2\x80\x93 " + FrequencyText(to);
}

ProfileFile ParseProfiles(std::string_view text, const std::string& origin) {
    ProfileFile file;
    std::optional<Profile> current;
    bool broken = false;
    auto finish = [&] {
        if (current && !broken) {
            if (current->limit.empty() && current->levels.empty()) {
                file.problems.push_back(origin + ": [" + current->id + "] has neither a limit nor levels");
            } else {
                if (current->name.empty()) current->name = current->id;
                std::sort(current->limit.begin(), current->limit.end(),
                          [](const LimitPiece& a, const LimitPiece& b) { return a.fromHz < b.fromHz; });
                std::sort(current->levels.begin(), current->levels.end(),
                          [](const GuidanceLevel& a, const GuidanceLevel& b) { return a.tesla < b.tesla; });
                file.profiles.push_back(std::move(*current));
            }
        }
        current.reset();
        broken = false;
    };
    int number = 0;
    std::size_t pos = 0;
    // A byte order mark some editors put first is no part of the first line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    while (pos <= text.size()) {
        const auto eol = text.find('\n', pos);
        const std::string_view raw =
            text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() + 1 : eol + 1;
        ++number;
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#') continue;
        const std::string where = origin + " line " + std::to_string(number) + ": ";
        if (line.front() == '[') {
            finish();
            if (line.back() != ']' || line.size() < 3) {
                file.problems.push_back(where + "a profile begins with [name]");
                broken = true;
                current = Profile{};
                continue;
            }
            current = Profile{};
            current->id = std::string(Trim(line.substr(1, line.size() - 2)));
            current->origin = origin;
            continue;
        }
        if (!current) {
            file.problems.push_back(where + "a profile begins with [name] before anything else");
            continue;
        }
        if (broken) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            file.problems.push_back(where + "expected KEY = VALUE");
            broken = true;
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        std::string why;
        if (key == "name") {
            current->name = std::string(value);
        } else if (key == "source") {
            current->sources.emplace_back(value);
        } else if (key == "limit") {
            const auto piece = ParsePiece(value, why);
            if (!piece || !current->levels.empty()) {
                file.problems.push_back(where + (piece ? "a profile has either limits or levels" : why));
                broken = true;
                continue;
            }
            current->limit.push_back(*piece);
        } else if (key == "level") {
            const auto colon = value.find(':');
            const auto tesla = Tesla(value.substr(0, colon));
            if (!tesla || !current->limit.empty()) {
                file.problems.push_back(where + (tesla ? "a profile has either limits or levels"
                                                       : "a level is a flux density, then \": label\""));
                broken = true;
                continue;
            }
            current->levels.push_back(
                {*tesla, colon == std::string_view::npos ? std::string() : std::string(Trim(value.substr(colon + 1)))});
        } else {
            file.problems.push_back(where + "unknown key \"" + std::string(key) + "\"");
            broken = true;
        }
    }
    finish();
    return file;
}

std::optional<Profile> TypedProfile(std::string_view text) {
    const auto tesla = Tesla(text);
    if (!tesla) return std::nullopt;
    Profile p;
    p.id = std::string(Trim(text));
    p.name = p.id;
    p.sources.push_back("value given");
    p.limit.push_back({0, INFINITY, *tesla, 0});
    p.origin = "typed";
    return p;
}

void ProfileBook::Add(const ProfileFile& file) {
    for (const Profile& p : file.profiles) {
        auto same = std::find_if(profiles_.begin(), profiles_.end(),
                                 [&](const Profile& known) { return EqualNoCase(known.id, p.id); });
        if (same != profiles_.end()) *same = p;  // the user's own wins
        else profiles_.push_back(p);
    }
    problems_.insert(problems_.end(), file.problems.begin(), file.problems.end());
}

ProfileBook ProfileBook::Load() {
    ProfileBook book;
    for (const std::string& path : {ShippedProfilePath(), UserProfilePath()}) {
        if (path.empty() || !platform::FileExists(path)) continue;
        const auto text = platform::ReadWholeFile(path);
        if (!text) {
            book.problems_.push_back(path + " could not be read");
            continue;
        }
        book.files_.push_back(path);
        book.Add(ParseProfiles(*text, path));
    }
    return book;
}

std::optional<Profile> ProfileBook::Find(std::string_view idOrValue) const {
    const std::string_view wanted = Trim(idOrValue);
    for (const Profile& p : profiles_)
        if (EqualNoCase(p.id, wanted)) return p;
    for (const Profile& p : profiles_)
        if (EqualNoCase(p.name, wanted)) return p;
    return TypedProfile(wanted);
}

std::string ShippedProfilePath() {
    return FirstExisting({platform::ProgramDirectory(), platform::InstalledDataDirectory()}).value_or(std::string());
}

std::string UserProfilePath() {
    const std::string dir = platform::UserConfigDirectory();
    return dir.empty() ? std::string() : dir + "/" + kFileName;
}

}  // namespace tessera::survey
