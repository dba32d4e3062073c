#pragma once
// The setting file (".SET"): one New Setting on disk as a banner line and nine
// "<n> KEY,value" lines whose values are the New Setting column's texts.

#include <istream>
#include <string>
#include <string_view>

#include "settings/MeterSettings.h"

namespace tessera::config {

// File-format data, not the program's version: files of this kind are written with this banner,
// "VER.1.05" included, by every release (the program's version is project(VERSION)).
inline constexpr std::string_view kSettingFileBanner = "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN";
// What a reader requires of line 1: any version of the banner.
inline constexpr std::string_view kSettingFileBannerKey = "TAVIK 8620 DEVICE SETTING SOFTWARE VER";
inline constexpr std::string_view kSettingFileExtension = ".SET";
inline constexpr std::string_view kSettingFileFilterText = "8620 Setting File(*.SET)";
inline constexpr std::string_view kSettingFilePattern = "*.SET";

// Keys of the nine value lines, in file order (the rows of the settings table).
std::string_view SettingKey(int row);

// The text the New Setting column shows for one row. A range code 1 in the exposure
// modes has no text there: it is never offered, it only arrives from a file.
std::string NewSettingText(int row, const settings::MeterSettings& newSetting);

// The whole file for a New Setting: CR LF after every line but the last.
std::string SettingFileText(const settings::MeterSettings& newSetting);

// A chosen name without ".SET" anywhere in it (case-sensitive) gets ".SET" appended.
std::string WithSetExtension(std::string path);

struct SettingFileResult {
    bool ok = false;
    std::string message;                 // the reason, when not ok
    settings::MeterSettings settings{};  // the New Setting read, when ok
};

// Reads and checks a setting file; the first fault found is reported.
SettingFileResult ParseSettingFile(std::istream& in);
SettingFileResult ParseSettingText(std::string_view text);

// Writes the file; false when it could not be created or written completely.
bool WriteSettingFile(const std::string& path, const settings::MeterSettings& newSetting);

// Messages of the reader.
std::string FileNotFoundMessage(const std::string& path);
inline constexpr std::string_view kUnidentifiableFileType = "An unidentifiable file type.";
std::string MissingKeyMessage(std::string_view key);
std::string BadValueMessage(std::string_view key);
inline constexpr std::string_view kUnitModeMismatch = "\"UNIT\" isn't matched for \"MODE\".";

}  // namespace tessera::config
