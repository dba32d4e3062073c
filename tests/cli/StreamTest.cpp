// tessera-cli log --stream and export as a script uses them, against a virtual meter: standard
// output carries the samples only, each line a JSON object that reads as the export of the
// saved file does, and a reader that goes away costs the stream, not the run.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace {

using tessera::testing::ReadAll;
using tessera::testing::TempDir;
using tessera::testing::VirtualMeter;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Runs `args` with its standard output piped into `reader`; answers tessera-cli's exit status.
int Piped(const TempDir& dir, const std::string& args, const std::string& reader) {
    const std::string script = "{ '" + std::string(TESSERA_CLI_PATH) + "' " + args + " 2>'" + dir.File("err") +
                               "'; echo $? >'" + dir.File("rc") + "'; } | " + reader + " >'" + dir.File("out") + "'";
    if (std::system(script.c_str()) == -1) return -1;
    return std::atoi(ReadAll(dir.File("rc")).c_str());
}

// The data lines of a logger file (after its eleven header lines).
std::vector<std::string> DataLines(const std::string& path) {
    auto lines = Lines(ReadAll(path));
    return lines.size() > 11 ? std::vector<std::string>(lines.begin() + 11, lines.end()) : std::vector<std::string>{};
}

TEST(Stream, EachLineIsAJsonObjectAsTheExportOfTheSavedFileWrites) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    TempDir dir;
    const std::string file = dir.File("live.CSV");
    ASSERT_EQ(Piped(dir, "log --period 1s --method fixed --samples 6 -o '" + file + "' --stream jsonl", "cat"), 0)
        << ReadAll(dir.File("err"));
    const auto streamed = Lines(ReadAll(dir.File("out")));
    ASSERT_EQ(streamed.size(), 6u) << "standard output carries the samples only";
    for (const std::string& line : streamed) {
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_EQ(o.keys(), QStringList({"R", "time", "unit", "x", "y", "z"})) << line;
        EXPECT_TRUE(o["R"].isDouble()) << line;
        EXPECT_EQ(o["unit"].toString(), "T");
        // The run's clock gave its offset from UTC: "2024-03-01T02:10:00.250+01:00".
        EXPECT_EQ(o["time"].toString().size(), 29) << line;
    }
    EXPECT_NE(ReadAll(dir.File("err")).find("6 samples written to"), std::string::npos);
    // The export of the saved file says the same, sample by sample.
    ASSERT_EQ(Piped(dir, "export '" + file + "' --format jsonl", "cat"), 0) << ReadAll(dir.File("err"));
    EXPECT_EQ(Lines(ReadAll(dir.File("out"))), streamed);
}

TEST(Stream, AReaderThatGoesAwayLeavesTheRunAndItsFileWhole) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    TempDir dir;
    const std::string file = dir.File("live.CSV");
    const int rc =
        Piped(dir, "log --period 1s --method fixed --samples 12 -o '" + file + "' --stream csv", "head -n 1");
    EXPECT_EQ(rc, 0) << ReadAll(dir.File("err"));
    EXPECT_EQ(ReadAll(dir.File("out")), "# export: TESSERA open export\n");
    EXPECT_NE(ReadAll(dir.File("err")).find("the run goes on"), std::string::npos) << ReadAll(dir.File("err"));
    const auto data = DataLines(file);
    ASSERT_EQ(data.size(), 12u) << ReadAll(file);
    EXPECT_EQ(data.back().rfind("12,", 0), 0u) << data.back();

    // Asked to, the run ends with its reader, and what it took is saved whole.
    const std::string stopped = dir.File("stopped.CSV");
    EXPECT_EQ(
        Piped(dir, "log --period 1s --method fixed --samples 4000 -o '" + stopped + "' --stream jsonl --stream-stops",
              "head -n 2"),
        0)
        << ReadAll(dir.File("err"));
    EXPECT_NE(ReadAll(dir.File("err")).find("the run stops"), std::string::npos) << ReadAll(dir.File("err"));
    const auto kept = DataLines(stopped);
    ASSERT_GE(kept.size(), 2u);
    EXPECT_LT(kept.size(), 40u) << "the run ended with its reader, long before 4000 samples";
    EXPECT_EQ(kept.back().rfind(std::to_string(kept.size()) + ",", 0), 0u) << kept.back();
}

}  // namespace
