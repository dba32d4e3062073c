#pragma once
// The words and file rules every page shares, written once: the question that guards shown
// data, the file messages, the extension rule of saved files and the banners by which one
// page recognises another page's file.

#include <string>
#include <string_view>

namespace tessera::page {

inline constexpr const char* kSaveShownDataQuestion = "Do you want to save the displayed data?";
inline constexpr const char* kOverwriteFileQuestion = "Would you like to overwrite the file?";
inline constexpr const char* kNothingToSave = "There is no data to save.";

// "The file "PATH" was not found."
std::string FileNotFoundMessage(const std::string& path);
// "The file "PATH" could not be written.", followed by the reason when there is one.
std::string FileNotWrittenMessage(const std::string& path, const std::string& reason = {});

// A chosen file name that does not contain `extension` (".CSV", ".SET"; a case-sensitive
// test, anywhere in the name) gets it appended.
std::string WithExtension(std::string name, std::string_view extension);
inline constexpr std::string_view kCsvExtension = ".CSV";

// Line 1 of each page's CSV file holds its banner; these parts of them, found anywhere in the
// line, tell the files apart (any version of the banner).
inline constexpr const char* kEntireReadBannerKey = "TAVIK 8620 IMPORT MODE SOFTWARE VER";
inline constexpr const char* kLoggerBannerKey = "TAVIK 8620 MONITOR MODE SOFTWARE VER";

}  // namespace tessera::page
