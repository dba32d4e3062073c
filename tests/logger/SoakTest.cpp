// Long runs in simulated time: a full store at each sampling method against the virtual
// meter's own field model (in this process, no sockets, no waiting), checking the poll
// schedule sample by sample, the stop at the store's limit and that memory stays flat;
// then a survey that goes on past the store into NAME-002.CSV, each part a file the page
// reads back.

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "link/Decode.h"
#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"
#include "meter/Meter.h"
#include "tests/support/TempDir.h"

// Live heap bytes of the whole process, for the flat-memory checks.
namespace {
std::atomic<long long> liveBytes{0};
void* Allocate(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    liveBytes += static_cast<long long>(malloc_usable_size(p));
    return p;
}
void Release(void* p) noexcept {
    if (!p) return;
    liveBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace
void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace tessera::logger {
namespace {

using testing::ReadAll;
using testing::TempDir;

// The logger's meter port bound straight to the virtual meter's model.
class InProcessMeter final : public link::MeterPort {
public:
    meter::Meter device{7};
    settings::MeterSettings current{};
    settings::MeterSettings lastReading{};

    link::Status RefreshSettings() override {
        if (Identify(current) != link::kStatusOk) return link::kStatusWrongModel;
        current.memMode = device.Handle("MEM?").bytes.at(0);
        return link::kStatusOk;
    }
    const settings::MeterSettings& CurrentSettings() const override { return current; }
    link::Status Identify(settings::MeterSettings& reading) override {
        if (device.Handle("QPID").bytes != "8620\r\n") return link::kStatusWrongModel;
        link::DecodeReply(device.Handle("MEAS?").bytes, reading, true);
        lastReading = reading;
        return link::kStatusOk;
    }
    link::Status ReadMemoryEntry(settings::MeterSettings&, unsigned) override { return link::kStatusNoEntry; }
    link::Status Command(std::string_view command, Repeat) override {
        device.Handle(std::string(command));
        return link::kStatusOk;
    }
    bool HeldByLogger() const override { return held; }
    void SetHeldByLogger(bool h) override { held = h; }
    bool held = false;
};

class Quiet final : public page::Prompter {
public:
    std::vector<std::string> messages;
    std::string saveAs;
    page::Answer AskYesNo(const page::Question&) override { return page::Answer::No; }
    page::Answer AskYesNoCancel(const page::Question&) override { return page::Answer::No; }
    void Inform(const std::string& m) override { messages.push_back(m); }
    std::string ChooseOpenFile(const page::FileFilter&) override { return {}; }
    std::string ChooseSaveFile(const page::FileFilter&) override { return saveAs; }
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override { return std::nullopt; }
};

class LoggerLongRun : public ::testing::Test {
protected:
    TempDir dir;
    InProcessMeter meter;
    Quiet prompter;
    platform::ManualClock clock;
    RunJournal journal{dir.Path()};
    LoggerModel model{meter, prompter, clock};
    long long polls = 0;

    void Begin(int period, int method) {
        clock.now = {2012, 5, 3, 9, 5, 7, 0, 4};
        model.SetJournal(&journal);
        model.Refresh();
        model.SelectPeriod(period);
        model.SelectMethod(method);
        ASSERT_EQ(model.SamplingMethod(), method);
        ASSERT_TRUE(model.Start());
    }

    // One poll on the dot; the slots it completed.
    std::vector<int> Poll() {
        if (polls++ > 0) clock.millis += static_cast<std::uint32_t>(model.CurrentSchedule().pollPeriodMs);
        model.Tick(clock.millis);
        return model.TakeDrawRequests().newSegments;
    }
};

class LoggerSoak : public LoggerLongRun, public ::testing::WithParamInterface<int> {};

TEST_P(LoggerSoak, FullStoreOnScheduleStopsAtTheLimitInFlatMemory) {
    const int method = GetParam();
    const int pollsPerSample = method == kFixedInterval ? 1 : 2;
    Begin(method == kFixedInterval ? 0 : 2, method);  // 1 s/div, or 10 s/div (two polls a sample)

    long long baseline = 0;
    double low = 1e300, high = 0;  // the x of the polls folded into the sample under way
    int expectedSlot = 0;
    while (model.Running()) {
        if (polls == 12000) baseline = liveBytes.load();  // the meter's command log is full by now
        const auto completed = Poll();
        low = std::min(low, meter.lastReading.value1);
        high = std::max(high, meter.lastReading.value1);
        for (int slot : completed) {
            ASSERT_EQ(slot, expectedSlot);
            // The first sample is the first reading; each later one ends its period on time.
            ASSERT_EQ(polls, 1 + static_cast<long long>(slot) * pollsPerSample) << slot;
            const double x = link::LogSampleStore[slot].x;
            if (method == kFixedInterval) {
                ASSERT_EQ(x, meter.lastReading.value1) << slot;
            } else if (method == kMaximum) {
                ASSERT_EQ(x, high) << slot;
            } else if (x == 0.0) {
                ASSERT_LT(low, 1e-9) << slot;  // running averages below 1e-9 count as zero
            } else {
                ASSERT_TRUE(x >= low * 0.999 && x <= high * 1.001) << slot;
            }
            low = 1e300;
            high = 0;
            ++expectedSlot;
        }
    }
    EXPECT_LT(liveBytes.load() - baseline, 16 * 1024) << "bytes gained over the second half of the run";

    EXPECT_EQ(prompter.messages, std::vector<std::string>{kMsgOverLimit});
    EXPECT_EQ(expectedSlot, kSampleLimit);
    EXPECT_EQ(model.SampleCount(), kSampleLimit - 1);  // the last valid slot
    EXPECT_EQ(link::LogSampleStore[kSampleLimit].R, 0.0);
    EXPECT_FALSE(meter.device.Logging());
    EXPECT_LE(meter.device.CommandLog().size(), meter::kDefaultCommandLogSize);
    EXPECT_EQ(ParseJournal(ReadAll(journal.Path()))->samples.size(), static_cast<std::size_t>(kSampleLimit));

    prompter.saveAs = dir.File("full.CSV");
    ASSERT_TRUE(model.SaveCsv());
    EXPECT_FALSE(journal.Active());
    ASSERT_TRUE(model.ReadFile(dir.File("full.CSV")));
    EXPECT_EQ(model.SampleCount(), kSampleLimit - 1);
}

INSTANTIATE_TEST_SUITE_P(EachMethod, LoggerSoak, ::testing::Values(kFixedInterval, kAverage, kMaximum));

TEST_F(LoggerLongRun, SurveyGoesOnPastTheStoreInFilesThePageReads) {
    SurveyFiles survey(dir.File("survey"), false, prompter);
    survey.Attach(model);
    Begin(2, kAverage);  // two polls a sample

    const long long partPolls = 2LL * link::kLogSlots;  // polls 1 .. 64000 hold part 1's samples
    long long baseline = 0;
    while (polls < 2 * partPolls + 20) {
        if (polls == partPolls - 1) clock.now = {2012, 5, 3, 13, 38, 27, 0, 4};
        if (polls == partPolls + 20000) baseline = liveBytes.load();
        const auto completed = Poll();
        if (polls == partPolls + 1) {
            // The next part's first sample keeps the cadence: two polls after the last one.
            EXPECT_EQ(completed, std::vector<int>{0});
            EXPECT_EQ(survey.PartsSaved(), 1);
        }
    }
    EXPECT_LT(liveBytes.load() - baseline, 16 * 1024);
    EXPECT_TRUE(model.Running());
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_EQ(survey.Saved(), (std::vector<std::string>{dir.File("survey.CSV"), dir.File("survey-002.CSV")}));
    EXPECT_EQ(survey.SamplesSaved(), 2LL * link::kLogSlots);

    model.Stop();
    prompter.saveAs = survey.CurrentPath();
    EXPECT_EQ(prompter.saveAs, dir.File("survey-003.CSV"));
    ASSERT_TRUE(model.SaveCsv());
    EXPECT_FALSE(journal.Active());

    EXPECT_NE(ReadAll(dir.File("survey-002.CSV")).find("\r\n6 START TIME,2012/5/3(THU),13:38:27\r\n"),
              std::string::npos);
    for (const auto& [name, samples] :
         {std::pair{"survey.CSV", link::kLogSlots}, std::pair{"survey-002.CSV", link::kLogSlots},
          std::pair{"survey-003.CSV", 10}}) {
        ASSERT_TRUE(model.ReadFile(dir.File(name))) << name;
        EXPECT_EQ(model.SampleCount() + 1, samples) << name;
        EXPECT_EQ(model.DataMethod(), kAverage) << name;
    }
}

TEST_F(LoggerLongRun, SurveyStopsBeforeAnExistingPartUnlessToldToReplaceIt) {
    testing::WriteAll(dir.File("kept.CSV"), "someone else's file");
    SurveyFiles survey(dir.File("kept"), false, prompter);
    survey.Attach(model);
    Begin(0, kFixedInterval);
    while (model.Running() && polls < link::kLogSlots + 5) Poll();
    EXPECT_FALSE(model.Running());
    EXPECT_EQ(prompter.messages, std::vector<std::string>{"The file \"" + dir.File("kept.CSV") +
                                                          "\" already exists, so the logging run stops here."});
    EXPECT_EQ(ReadAll(dir.File("kept.CSV")), "someone else's file");
    EXPECT_EQ(model.SampleCount(), link::kLogSlots - 1);  // every sample still shown, and journalled
    EXPECT_TRUE(journal.Active());
}

}  // namespace
}  // namespace tessera::logger
