// The download of the meter's memory, Memory Clear and the prompts around them, against
// a virtual meter over the real transport. (What the page does without the meter's answers
// is in ModelTest.cpp.)

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "entire_read/EntireReadModel.h"
#include "link/Link.h"
#include "tests/entire_read/EntireReadTestData.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::entire_read {
namespace {

namespace fs = std::filesystem;
using page::Answer;

constexpr const char* kRecordLine = "0,3,0,10,1.234E-06,5.678E-07,9.100E-08,0,1,1,1,1,0";

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        link::SetAccuracyTable(testdata::UniformTable(0.0f, 1.0f));
        ASSERT_TRUE(meter_.Start()) << meter_.LastError();
        ASSERT_TRUE(meter_.ClearMemory());
        ASSERT_TRUE(link_.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
        ASSERT_TRUE(link_.OpenSession());
        dir_ = fs::path(::testing::TempDir()) /
               ("eread-dl-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        link_.CloseSession();
        fs::remove_all(dir_);
        link::SetAccuracyTable(link::AccuracyTable{});
    }

    // Fills the meter's memory with `n` copies of a record line.
    void FillMemory(int n, const std::string& line = kRecordLine) {
        const fs::path file = dir_ / "memory.txt";
        std::ofstream out(file);
        for (int i = 0; i < n; ++i) out << line << "\n";
        out.close();
        ASSERT_TRUE(meter_.LoadMemory(file.string())) << meter_.LastError();
    }

    // Read, then step until the download ends; answers the number of steps.
    int Download() {
        model_.Read();
        int steps = 0;
        while (model_.Downloading()) {
            model_.Step();
            if (++steps > 200) break;  // a download of 99 records never takes this many
        }
        return steps;
    }

    std::vector<std::string> DataRequests() {
        std::vector<std::string> out;
        for (const auto& c : meter_.CommandLog())
            if (c.rfind("DATA?", 0) == 0) out.push_back(c);
        return out;
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    testing::VirtualMeter meter_;
    link::Link link_;
    testing::ScriptedPrompter prompter_;
    EntireRead model_{link_, prompter_};
    fs::path dir_;
};

TEST_F(DownloadTest, EmptyMemorySaysSoAndDisablesSaveAndPrint) {
    ASSERT_TRUE(meter_.ClearCommandLog());
    Download();
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"No data was found in the QM8620."});
    EXPECT_EQ(DataRequests(), std::vector<std::string>{"DATA? 1"});
    EXPECT_EQ(model_.RecordCount(), 0u);
    EXPECT_TRUE(model_.Rows().empty());
    EXPECT_FALSE(model_.SaveAndPrintEnabled());
    EXPECT_EQ(model_.DataState(), page::DataState::None);
}

TEST_F(DownloadTest, RecordsBecomeRowsInTheirOwnUnits) {
    FillMemory(3);
    ASSERT_TRUE(meter_.AddRecord("1,1,1,10,0.0,0.015,0.0,1,2,1,1,1,1"));  // gauss, automatic range
    ASSERT_TRUE(meter_.AddRecord("3,3,0,1,12.5,3.0,4.0,0,1,1,1,1,0"));    // exposure with unit '0'
    ASSERT_TRUE(meter_.AddRecord("4,0,2,3,2100,0,0,2,0,1,1,1,0"));        // exposure with unit 'A/m'
    ASSERT_TRUE(meter_.ClearCommandLog());
    const int steps = Download();
    EXPECT_TRUE(prompter_.Messages().empty());
    EXPECT_EQ(steps, 7) << "six records, then the request for the seventh ends it";
    EXPECT_EQ(DataRequests().size(), 7u);
    ASSERT_EQ(model_.RecordCount(), 6u);
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);
    EXPECT_EQ(model_.DisplayUnit(), kOriginalUnit);
    EXPECT_TRUE(model_.SaveAndPrintEnabled());

    EXPECT_EQ(model_.RowCells(0),
              (std::vector<std::string>{"1", "Magnetic Flux Density(10Hz-400kHz)", "R", "T", "1.361E-6", "1.234E-6",
                                        "0.568E-6", "0.091E-6", "100cm2", "OFF", "1.362E-6", "1.360E-6"}));
    EXPECT_NEAR(recordValues[0].R, std::sqrt(1.234e-6 * 1.234e-6 + 5.678e-7 * 5.678e-7 + 9.1e-8 * 9.1e-8), 1e-15);
    EXPECT_EQ(model_.RowCells(3).at(6), "15.00E-3");
    EXPECT_EQ(model_.RowCells(3).at(8), "3cm2");
    EXPECT_EQ(model_.RowCells(3).at(9), "ON");
    // Exposure levels are percent whatever the meter put in the unit field.
    EXPECT_EQ(link::memoryStore[4].unit, '3');
    EXPECT_EQ(link::memoryStore[5].unit, '3');
    EXPECT_EQ(model_.RowCells(4).at(3), "%");
    EXPECT_EQ(model_.RowCells(4).at(5), "12.50");
    EXPECT_EQ(model_.RowCells(5).at(5), "O.L.");
    EXPECT_EQ(link::memoryStore[0].memMode, 0);
    EXPECT_EQ(link::memoryStore[6].mode, 0);
}

TEST_F(DownloadTest, NinetyNineRecordsCostNinetyNineRequests) {
    FillMemory(99);
    ASSERT_TRUE(meter_.ClearCommandLog());
    Download();
    EXPECT_TRUE(prompter_.Messages().empty());
    const auto requests = DataRequests();
    ASSERT_EQ(requests.size(), 99u);
    EXPECT_EQ(requests.front(), "DATA? 1");
    EXPECT_EQ(requests.back(), "DATA? 99");
    EXPECT_EQ(model_.RecordCount(), 99u);
    EXPECT_EQ(model_.Rows().back().number, "99");
}

TEST_F(DownloadTest, OnlyTheFirstNinetyNineOfALargerMemory) {
    FillMemory(120);
    ASSERT_TRUE(meter_.ClearCommandLog());
    Download();
    EXPECT_TRUE(prompter_.Messages().empty());
    EXPECT_EQ(DataRequests().size(), 99u);
    EXPECT_EQ(model_.RecordCount(), 99u);
}

TEST_F(DownloadTest, BusyMeterIsAskedAgainWithoutLosingRecords) {
    FillMemory(5);
    ASSERT_TRUE(meter_.InjectFault("busy 4 DATA?"));
    Download();
    EXPECT_TRUE(prompter_.Messages().empty());
    EXPECT_EQ(model_.RecordCount(), 5u);
}

TEST_F(DownloadTest, AMeterThatStaysBusyEndsTheDownloadWithAMessage) {
    FillMemory(5);
    link_.SetRetryLimit(std::chrono::milliseconds(30));
    model_.Read();
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(model_.Step());
    ASSERT_TRUE(meter_.InjectFault("busy always DATA?"));
    EXPECT_FALSE(model_.Step());
    EXPECT_EQ(model_.DownloadEnd(), link::kStatusBusy);
    EXPECT_EQ(prompter_.Messages(),
              std::vector<std::string>{"The QM8620 stayed busy, so the download stopped after 2 records."});
    EXPECT_EQ(model_.RecordCount(), 2u);
}

TEST_F(DownloadTest, UnplugAfterTenRecordsKeepsEveryRowShownAndSaved) {
    FillMemory(30);
    model_.Read();
    ASSERT_TRUE(model_.Downloading());
    ASSERT_TRUE(meter_.InjectFault("unplug-after 10"));
    while (model_.Downloading()) model_.Step();
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"Connection failed. Please connect the QM8620 again."});
    EXPECT_EQ(model_.Rows().size(), 10u);
    // Every row on screen arrived whole, so the file and the printout cover all ten.
    EXPECT_EQ(model_.RecordCount(), 10u);
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);
    prompter_.files.push_back(Path("after-unplug.CSV"));
    ASSERT_TRUE(model_.SaveCsv());
    std::ifstream in(Path("after-unplug.CSV"));
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) ++lines;
    EXPECT_EQ(lines, 3 + 10);
    EXPECT_EQ(model_.PrintData()->rows.size(), 10u);
}

TEST_F(DownloadTest, AnyOtherAnswerEndsTheDownloadWithoutAMessage) {
    // '4' (repeat) is asked again only by the connection check, never for a record.
    for (const char* fault : {"repeat 1 DATA?", "status E 1 DATA?", "overlong 1 DATA?"}) {
        FillMemory(6);
        model_.Read();
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(model_.Step()) << fault;
        ASSERT_TRUE(meter_.InjectFault(fault));
        ASSERT_TRUE(meter_.ClearCommandLog());
        EXPECT_FALSE(model_.Step()) << fault;
        EXPECT_FALSE(model_.Downloading()) << fault;
        EXPECT_EQ(DataRequests(), std::vector<std::string>{"DATA? 4"}) << fault;
        EXPECT_TRUE(prompter_.Messages().empty()) << fault;
        EXPECT_NE(model_.DownloadEnd(), link::kStatusOk) << fault;
        EXPECT_EQ(model_.RecordCount(), 3u) << fault;
        EXPECT_EQ(model_.Rows().size(), 3u) << fault;
        model_.SetDataState(page::DataState::None);
    }
    FillMemory(2);
    Download();
    EXPECT_EQ(model_.DownloadEnd(), link::kStatusOk) << "a memory read to its end";
}

TEST_F(DownloadTest, ReadAsksToSaveUnsavedDataFirst) {
    FillMemory(4);
    Download();
    ASSERT_EQ(model_.DataState(), page::DataState::Unsaved);
    ASSERT_TRUE(meter_.ClearCommandLog());

    // Cancel at the question, then Yes with the save dialog cancelled: nothing is sent.
    prompter_.answers = {Answer::Cancel, Answer::Yes};
    model_.Read();
    model_.Read();
    EXPECT_FALSE(model_.Downloading());
    EXPECT_TRUE(meter_.CommandLog().empty());
    EXPECT_EQ(model_.Rows().size(), 4u);
    EXPECT_TRUE(model_.SaveAndPrintEnabled());
    EXPECT_EQ(prompter_.Questions(), (std::vector<std::string>{"Do you want to save the displayed data?",
                                                               "Do you want to save the displayed data?"}));

    // Yes and saved: the download starts afresh.
    prompter_.answers = {Answer::Yes};
    prompter_.files = {Path("first.CSV")};
    Download();
    EXPECT_TRUE(fs::exists(Path("first.CSV")));
    EXPECT_EQ(model_.RecordCount(), 4u);
    EXPECT_EQ(DataRequests().front(), "DATA? 1");

    // No: discarded without a file.
    prompter_.answers = {Answer::No};
    prompter_.events.clear();
    Download();
    EXPECT_EQ(prompter_.Questions().size(), 1u);
    EXPECT_EQ(model_.RecordCount(), 4u);

    // Saved data are not asked about.
    model_.SetDataState(page::DataState::Saved);
    prompter_.events.clear();
    Download();
    EXPECT_TRUE(prompter_.Questions().empty());
}

TEST_F(DownloadTest, LostMeterLeavesTheTableAlone) {
    FillMemory(2);
    Download();
    ASSERT_TRUE(meter_.Unplug());
    model_.SetDataState(page::DataState::Saved);
    model_.Read();
    EXPECT_FALSE(model_.Downloading());
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"Connection failed. Please connect the QM8620 again."});
    EXPECT_EQ(model_.Rows().size(), 2u);
    EXPECT_TRUE(model_.SaveAndPrintEnabled());
    model_.Refresh();
    EXPECT_FALSE(model_.ReadEnabled());
}

TEST_F(DownloadTest, MemoryClearAsksAndReports) {
    FillMemory(3);
    Download();
    ASSERT_TRUE(meter_.ClearCommandLog());
    model_.MemoryClear();  // answered No
    EXPECT_EQ(prompter_.Questions(), std::vector<std::string>{"Are you sure to clear the QM8620's memory?"});
    EXPECT_TRUE(prompter_.Messages().empty());
    EXPECT_TRUE(meter_.CommandLog().empty());

    prompter_.answers = {Answer::Yes};
    model_.MemoryClear();
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"The QM8620's memory has been cleared."});
    const auto log = meter_.CommandLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "MCLR"), 1);
    EXPECT_EQ(model_.Rows().size(), 3u) << "the table is not touched";
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);

    prompter_.events.clear();
    model_.SetDataState(page::DataState::Saved);
    Download();
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"No data was found in the QM8620."});

    // A meter that does not acknowledge.
    prompter_.events.clear();
    prompter_.answers = {Answer::Yes};
    ASSERT_TRUE(meter_.InjectFault("status 5 1 MCLR"));
    model_.MemoryClear();
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"Connection failed. Please connect the QM8620 again."});

    // A busy meter is not asked again: one attempt.
    prompter_.events.clear();
    prompter_.answers = {Answer::Yes};
    ASSERT_TRUE(meter_.InjectFault("busy 1 MCLR"));
    ASSERT_TRUE(meter_.ClearCommandLog());
    model_.MemoryClear();
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"Connection failed. Please connect the QM8620 again."});
    const auto busyLog = meter_.CommandLog();
    EXPECT_EQ(std::count(busyLog.begin(), busyLog.end(), "MCLR"), 1);
}

TEST_F(DownloadTest, UnitChangeAfterADownload) {
    FillMemory(2);
    Download();
    model_.SetUnitSelection(kUnitMicroTesla);
    model_.UnitChange();
    EXPECT_EQ(model_.RowCells(0).at(4), "1.361");
    EXPECT_EQ(model_.RowCells(0).at(3), "uT");
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);
    model_.ShowDisplayedValue();
    EXPECT_EQ(model_.RowCells(0), (std::vector<std::string>{"1", "Magnetic Flux Density(10Hz-400kHz)", "R", "uT",
                                                            "1.361", "100cm2", "OFF"}));
    model_.ShowRxyz();
    EXPECT_EQ(model_.RowCells(0).size(), 12u);
    EXPECT_EQ(model_.RowCells(0).at(10), "1.362");
    // A new download shows the records' own units again, whatever the unit box says.
    model_.SetDataState(page::DataState::None);
    Download();
    EXPECT_EQ(model_.RowCells(0).at(3), "T");
    EXPECT_EQ(model_.UnitSelection(), kUnitMicroTesla);
}

}  // namespace
}  // namespace tessera::entire_read
