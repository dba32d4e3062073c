#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "link/Accuracy.h"

using namespace tessera::link;
namespace fs = std::filesystem;

namespace {

AccuracyTable SampleTable() {
    AccuracyTable t{};
    for (int i = 0; i < kAccuracyEntries; ++i) {
        t[static_cast<std::size_t>(i)].mode = static_cast<char>('0' + i / 4);
        t[static_cast<std::size_t>(i)].rangeIndex = static_cast<std::uint8_t>(i % 4);
        t[static_cast<std::size_t>(i)].a = 0.01f * static_cast<float>(i + 1);
        t[static_cast<std::size_t>(i)].b = static_cast<float>(i % 7);
    }
    return t;
}

bool SameTable(const AccuracyTable& x, const AccuracyTable& y) {
    for (int i = 0; i < kAccuracyEntries; ++i) {
        const auto& a = x[static_cast<std::size_t>(i)];
        const auto& b = y[static_cast<std::size_t>(i)];
        if (a.mode != b.mode || a.rangeIndex != b.rangeIndex || a.a != b.a || a.b != b.b) return false;
    }
    return true;
}

// Runs a test body in a fresh, empty working directory and restores the old one afterwards.
class AccuracyFiles : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = fs::current_path();
        dir_ = fs::path(std::getenv("TESSERA_RUNTIME_DIR")) /
               ("acc-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        fs::current_path(dir_);
        SetAccuracyTable(AccuracyTable{});
    }
    void TearDown() override {
        fs::current_path(saved_);
        fs::remove_all(dir_);
        SetAccuracyTable(AccuracyTable{});
    }
    static void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    fs::path saved_, dir_;
};

}  // namespace

TEST(Link, AccuracyFileLayoutIsPackedLittleEndianWithXorCheckWord) {
    AccuracyTable t{};
    t[0] = {'2', 3, 1.0f, -2.0f};
    const auto bytes = EncodeAccuracyFile(t);
    ASSERT_EQ(bytes.size(), 204u);
    EXPECT_EQ(bytes[0], '2');
    EXPECT_EQ(bytes[1], 3);
    // 1.0f = 0x3f800000 and -2.0f = 0xc0000000, little-endian at offsets 2 and 6.
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin() + 2, bytes.begin() + 10)),
              (std::vector<std::uint8_t>{0, 0, 0x80, 0x3f, 0, 0, 0, 0xc0}));
    std::uint32_t x = 0;
    for (int i = 0; i < 200; i += 4)
        x ^= bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) | (static_cast<std::uint32_t>(bytes[i + 3]) << 24);
    const std::uint32_t check =
        bytes[200] | (bytes[201] << 8) | (bytes[202] << 16) | (static_cast<std::uint32_t>(bytes[203]) << 24);
    EXPECT_EQ(check, x);
    EXPECT_NE(check, 0u);
}

TEST(Link, AccuracyFileChecks) {
    const AccuracyTable t = SampleTable();
    auto bytes = EncodeAccuracyFile(t);
    const auto decoded = DecodeAccuracyFile(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(SameTable(*decoded, t));

    // One bit off anywhere, entries or check word, is refused.
    for (std::size_t byte : {0u, 37u, 199u, 200u, 203u}) {
        auto bad = bytes;
        bad[byte] ^= 0x10;
        EXPECT_FALSE(DecodeAccuracyFile(bad)) << "byte " << byte;
    }
    auto longer = bytes;
    longer.insert(longer.end(), {1, 2, 3, 4, 5});
    EXPECT_TRUE(DecodeAccuracyFile(longer)) << "bytes after the check word are not read";
    auto shorter = bytes;
    shorter.pop_back();
    EXPECT_FALSE(DecodeAccuracyFile(shorter));
    EXPECT_FALSE(DecodeAccuracyFile({}));
}

TEST_F(AccuracyFiles, LoaderReadsTheWorkingDirectoryFirst) {
    const AccuracyTable t = SampleTable();
    auto bytes = EncodeAccuracyFile(t);
    bytes.insert(bytes.end(), 50, 0xAA);
    Write("accuracy.dat", bytes);
    ASSERT_EQ(LoadAccuracyTable(), kStatusOk);
    EXPECT_TRUE(SameTable(TheAccuracyTable(), t));
}

TEST_F(AccuracyFiles, BadFilesFailAndLeaveTheTableAlone) {
    auto bytes = EncodeAccuracyFile(SampleTable());
    bytes[5] ^= 1;
    Write("corrupt.dat", bytes);
    EXPECT_EQ(LoadAccuracyTableFrom("corrupt.dat"), kStatusWrongModel);
    Write("short.dat", std::vector<std::uint8_t>(203, 0));
    EXPECT_EQ(LoadAccuracyTableFrom("short.dat"), kStatusWrongModel);
    EXPECT_EQ(LoadAccuracyTableFrom("missing.dat"), kStatusWrongModel);
    fs::create_directory("adir.dat");
    EXPECT_EQ(LoadAccuracyTableFrom("adir.dat"), kStatusWrongModel);
    for (const auto& e : TheAccuracyTable()) {
        EXPECT_EQ(e.mode, 0);
        EXPECT_EQ(e.a, 0.0f);
    }
}

TEST_F(AccuracyFiles, LoaderFallsBackToTheShippedFileBesideTheProgram) {
    // Nothing here; the build puts the generated accuracy.dat beside the programs.
    ASSERT_EQ(LoadAccuracyTable(), kStatusOk);
    // Twenty distinct entries, modes '0'..'4' by range index 0..3, no negative coefficient.
    for (char mode = '0'; mode <= '4'; ++mode) {
        for (std::uint8_t range = 0; range < 4; ++range) {
            const auto e = FindAccuracy(mode, range);
            ASSERT_TRUE(e) << mode << " " << int(range);
            EXPECT_GT(e->a, 0.0f);
            EXPECT_GE(e->b, 0.0f);
        }
    }
}

TEST_F(AccuracyFiles, ADamagedCopyInTheWorkingDirectoryIsRefusedNotReplaced) {
    // The copy beside the program is sound, but a damaged calibration the user keeps here
    // must stop the program instead of being swapped for nominal coefficients unnoticed.
    for (std::size_t byte : {7u, 200u}) {
        auto bad = EncodeAccuracyFile(SampleTable());
        bad[byte] ^= 1;
        Write("accuracy.dat", bad);
        EXPECT_EQ(LoadAccuracyTable(), kStatusWrongModel) << "byte " << byte;
        EXPECT_FALSE(FindAccuracy('4', 3)) << "the table stays empty";
    }
    Write("accuracy.dat", std::vector<std::uint8_t>(150, 0));
    EXPECT_EQ(LoadAccuracyTable(), kStatusWrongModel) << "a short copy";
}

TEST(Link, AccuracyBandWithZeroAAndOneStep) {
    AccuracyTable t{};
    t[0] = {'0', 1, 0.0f, 1.0f};
    SetAccuracyTable(t);
    const AccuracyBand band = ComputeAccuracyBand(1.234, '0', 1, 3, 0.0);
    ASSERT_TRUE(band.found);
    EXPECT_FLOAT_EQ(band.plus, 1.235f);
    EXPECT_FLOAT_EQ(band.minus, 1.233f);
    // The same step on the other resolutions.
    EXPECT_FLOAT_EQ(ComputeAccuracyBand(12.5, '0', 1, 1, 0.0).plus, 12.6f);
    EXPECT_FLOAT_EQ(ComputeAccuracyBand(1600, '0', 1, 0, 0.0).minus, 1599.0f);
    // The range value is taken modulo 10: automatic ranging on range index 1.
    EXPECT_TRUE(ComputeAccuracyBand(1.0, '0', 11, 3, 0.0).found);
    SetAccuracyTable(AccuracyTable{});
}

TEST(Link, AccuracyBandRoundsUpToWholeSteps) {
    AccuracyTable t{};
    t[0] = {'1', 2, 0.03f, 5.0f};
    t[1] = {'1', 3, 0.0f, 42.00005f};  // 42.00005 steps: just above a whole number
    SetAccuracyTable(t);
    // 0.03 x 1.234 + 5 x 0.001 = 0.04202 -> 0.043.
    const AccuracyBand b = ComputeAccuracyBand(1.234, '1', 2, 3, 0.0);
    EXPECT_NEAR(b.plus, 1.277f, 1e-6);
    EXPECT_NEAR(b.minus, 1.191f, 1e-6);
    // Threshold 0: any fraction goes up. Threshold 0.0001 (tesla, range index 0, own unit):
    // a fraction that small stays.
    EXPECT_NEAR(ComputeAccuracyBand(1.0, '1', 3, 3, 0.0).plus, 1.043f, 1e-6);
    EXPECT_NEAR(ComputeAccuracyBand(1.0, '1', 3, 3, 0.0001).plus, 1.042f, 1e-6);
    SetAccuracyTable(AccuracyTable{});
}

TEST(Link, AccuracyBandLookup) {
    AccuracyTable t{};
    for (auto& e : t) e = {'9', 9, 0.0f, 0.0f};
    t[3] = {'2', 0, 0.0f, 1.0f};
    t[17] = {'2', 0, 0.0f, 2.0f};  // a second entry for the same key: the last one counts
    SetAccuracyTable(t);
    EXPECT_FLOAT_EQ(ComputeAccuracyBand(1.0, '2', 0, 2, 0.0).plus, 1.02f);
    const AccuracyBand none = ComputeAccuracyBand(1.0, '3', 0, 2, 0.0);
    EXPECT_FALSE(none.found);
    EXPECT_FALSE(FindAccuracy('2', 1));
    SetAccuracyTable(AccuracyTable{});
}
