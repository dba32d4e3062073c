#pragma once
// Reference levels are data: named profiles read from a text file that ships with the
// program (references.txt, every value with its public source), from the user's own file
// of the same form, or typed directly ("0.4uT"). A profile is either a limit that may
// depend on the frequency (piecewise: a constant, or a constant over f or f²) or a set of
// guidance levels that cut the range of values into bands (the sleeping-area bands of
// building biology). The meter does not report the field's frequency: the user names it.
//
// The file, line by line (UTF-8; "#" starts a comment line):
//   [icnirp2010-public]                      a profile and its short name
//   name = ICNIRP 2010, general public       what people read
//   source = ...                             where the values come from (may repeat)
//   limit = 25 Hz .. 400 Hz: 200 uT          a piece of the limit, from (included) to (excluded)
//   limit = 400 Hz .. 3 kHz: 8e-2 T / f      ... that falls as 1/f (f in Hz; "/ f^2" likewise)
//   limit = 100 uT                           a limit at every frequency
//   level = 20 nT: slight anomaly            a guidance level and the band it begins

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "survey/Units.h"

namespace tessera::survey {

struct LimitPiece {
    double fromHz = 0, toHz = 0;  // from included, to excluded (the last piece includes its end)
    double value = 0;             // tesla, times Hz^power
    int power = 0;                // 0: constant; 1: value / f; 2: value / f²
};

struct GuidanceLevel {
    double tesla = 0;
    std::string label;  // the band that begins above it: "slight anomaly"
};

struct Profile {
    std::string id;    // "icnirp2010-public"
    std::string name;  // "ICNIRP 2010, general public"
    std::vector<std::string> sources;
    std::vector<LimitPiece> limit;      // a limit profile
    std::vector<GuidanceLevel> levels;  // a guidance profile, rising
    std::string origin;                 // the file it was read from, or "typed"

    bool Guidance() const { return !levels.empty(); }
    // The limit in tesla at a frequency (a guidance profile: its first level); nullopt
    // where the profile says nothing about that frequency.
    std::optional<double> LimitAt(double hz) const;
    // The frequencies the profile covers, as "1 Hz – 10 MHz".
    std::string CoverageText() const;
};

struct ProfileFile {
    std::vector<Profile> profiles;
    std::vector<std::string> problems;  // "references.txt line 12: ..."; such profiles are left out
};
// Reads the text of a profile file; `origin` names it in problems.
ProfileFile ParseProfiles(std::string_view text, const std::string& origin);

// A value typed as a reference: "0.4uT" becomes a limit of 0.4 µT at every frequency.
// nullopt when it is no magnetic value with a unit.
std::optional<Profile> TypedProfile(std::string_view text);

// The profiles a person may choose: the shipped file's, then the user's own (which may
// replace a shipped one of the same id). Problems of either file are kept for saying.
class ProfileBook {
public:
    // Reads the shipped file (beside the program or in the installed data directory) and
    // the user's own (UserConfigDirectory()/references.txt).
    static ProfileBook Load();
    // From texts (tests, and callers that found the files themselves).
    void Add(const ProfileFile& file);

    const std::vector<Profile>& Profiles() const { return profiles_; }
    const std::vector<std::string>& Problems() const { return problems_; }
    const std::vector<std::string>& Files() const { return files_; }
    // By id (case ignored), else by name; else a typed value. nullopt when neither.
    std::optional<Profile> Find(std::string_view idOrValue) const;

private:
    std::vector<Profile> profiles_;
    std::vector<std::string> problems_;
    std::vector<std::string> files_;
};

// Where the shipped file is: beside the program, else in the installed data directory.
std::string ShippedProfilePath();
// The user's own file (which need not exist): <user configuration directory>/references.txt.
std::string UserProfilePath();

}  // namespace tessera::survey
