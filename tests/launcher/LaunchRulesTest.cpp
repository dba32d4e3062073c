#include "launcher/LaunchRules.h"

#include <gtest/gtest.h>

#include <string>

namespace tessera::launcher {
namespace {

TEST(LauncherRules, ModuleDirectoryCutsAtTheLastBackslash) {
    EXPECT_EQ(ModuleDirectory(LR"(C:\Program Files\TAVIK drivers\instlaunch.exe)"),
              LR"(C:\Program Files\TAVIK drivers)");
    EXPECT_EQ(ModuleDirectory(LR"(\\server\share\instlaunch.exe)"), LR"(\\server\share)");
    EXPECT_EQ(ModuleDirectory(LR"(C:\instlaunch.exe)"), L"C:");
    EXPECT_EQ(ModuleDirectory(L"instlaunch.exe"), L"");
}

TEST(LauncherRules, SixtyFourBitProbe) {
    // No kernel library or no function: a 32-bit system.
    EXPECT_FALSE(Is64BitSystem(false, false, 0));
    EXPECT_FALSE(Is64BitSystem(false, true, 0));
    // The function exists and answers.
    EXPECT_TRUE(Is64BitSystem(true, true, 0));
    // It exists but fails: only "call not implemented" means 32-bit.
    EXPECT_FALSE(Is64BitSystem(true, false, 120));
    EXPECT_TRUE(Is64BitSystem(true, false, 2));
    EXPECT_TRUE(Is64BitSystem(true, false, 122));
    EXPECT_EQ(InstallerName(true), L"dpinst64.exe");
    EXPECT_EQ(InstallerName(false), L"dpinst32.exe");
}

TEST(LauncherRules, ProgramNameIsSkippedAndTheRestKeptUnchanged) {
    struct Case {
        const wchar_t* own;
        const wchar_t* rest;
    };
    const Case cases[] = {
        // Quoted path with spaces and two arguments: the arguments with their leading space.
        {LR"("C:\My Drivers\instlaunch.exe" /q "C:\a b\x.inf")", LR"( /q "C:\a b\x.inf")"},
        // Quoted, nothing after it.
        {LR"("C:\My Drivers\instlaunch.exe")", L""},
        // Quoted name directly followed by an argument (no space): kept as the system gave it.
        {LR"("instlaunch.exe"/q)", L"/q"},
        // An unclosed quote swallows the whole line.
        {LR"("C:\My Drivers\instlaunch.exe /q)", L""},
        // Unquoted: up to the first space.
        {LR"(C:\drivers\instlaunch.exe /q  /se)", LR"( /q  /se)"},
        {LR"(instlaunch.exe)", L""},
        {L"", L""},
        // Tabs are not separators for this rule.
        {L"instlaunch.exe\t/q /se", L" /se"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(ArgumentsAfterProgramName(c.own)), c.rest) << std::wstring(c.own).size();
    }
}

TEST(LauncherRules, ChildCommandLine) {
    EXPECT_EQ(ChildCommandLine(true, LR"("C:\My Drivers\instlaunch.exe" /q /lm)").value(), L"dpinst64.exe /q /lm");
    EXPECT_EQ(ChildCommandLine(false, LR"("C:\My Drivers\instlaunch.exe" /q /lm)").value(), L"dpinst32.exe /q /lm");
    EXPECT_EQ(ChildCommandLine(true, LR"("C:\My Drivers\instlaunch.exe")").value(), L"dpinst64.exe");
    EXPECT_EQ(ChildCommandLine(false, L"instlaunch.exe").value(), L"dpinst32.exe");
}

TEST(LauncherRules, ChildCommandLineMustFitItsBuffer) {
    // 12 characters of installer name + the arguments + the terminator must fit 2048.
    const std::wstring program = L"instlaunch.exe";
    const std::wstring fits = L" " + std::wstring(kCommandLineCapacity - 12 - 1 - 1, L'a');
    auto line = ChildCommandLine(true, program + fits);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->size(), kCommandLineCapacity - 1);
    EXPECT_FALSE(ChildCommandLine(true, program + fits + L"a").has_value());
    EXPECT_FALSE(
        ChildCommandLine(false, program + std::wstring(40000, L'x') + L" " + std::wstring(40000, L'y')).has_value());
}

}  // namespace
}  // namespace tessera::launcher
