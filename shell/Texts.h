#pragma once
// The program's own words: window title, tab texts and the shell's messages.

#include "TesseraVersion.h"
#include "link/Status.h"

namespace tessera::shell {

inline constexpr const char* kWindowTitle = TESSERA_PRODUCT_TITLE;
inline constexpr const char* kInstanceLockName = "Tessera";

inline constexpr const char* kLoggerTab = "     Effective Value Logger     ";
inline constexpr const char* kEntireReadTab = "     Entire Read     ";
inline constexpr const char* kConfigurationTab = "     Configuration     ";
inline constexpr const char* kVersionTab = "     Version     ";
// The fifth tab, after the four: evaluation beside the pages.
inline constexpr const char* kSurveyTab = "     Survey     ";

inline constexpr const char* kAlreadyRunning = "TESSERA is running now.";
// Followed by what failed: the lock that keeps the program to one copy could not be made.
inline constexpr const char* kInstanceLockFailed = "TESSERA cannot start: its single-instance lock could not be made: ";
inline constexpr const char* kNoTransport = link::kMsgNoTransport;
inline constexpr const char* kBadAccuracyFile = link::kMsgBadAccuracyFile;

inline constexpr const char* kStopLoggerQuestion =
    "The QM8620 is busy with \"Effective Value Logger\". \n\nDo you want to stop it?";
inline constexpr const char* kSaveLoggerQuestion =
    "Do you want to save the displayed data of \"Effective Value Logger\"?";
inline constexpr const char* kSaveEntireReadQuestion = "Do you want to save the displayed data of \"Entire Read\"?";
inline constexpr const char* kSaveSettingsQuestion = "Do you want to save the current settings?";

// The program's version (project(VERSION)), unlike the "SOFTWARE VER.1.05" of the file banners,
// which belongs to the file formats and never follows a release.
inline constexpr const char* kVersionTitle = TESSERA_PRODUCT_TITLE " Version " TESSERA_VERSION;

}  // namespace tessera::shell
