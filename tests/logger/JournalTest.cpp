// The logging journal: its file reads back exactly and loses only a damaged tail; a held
// journal is never taken for unfinished; the run writes it and drops it when its data are
// saved or discarded; a recovered run is the stopped run again, down to the saved file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "LoggerTestSupport.h"
#include "logger/Journal.h"
#include "logger/Recovery.h"
#include "platform/Paths.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScriptedPrompter.h"

namespace tessera::logger {
namespace {

using test::FakeMeterPort;
using test::MeterRecord;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

std::vector<std::string> JournalsIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    return names;
}

JournalHeader Header() {
    JournalHeader h;
    h.settings = MeterRecord('0', 11, '1');
    h.settings.value1 = 1.0 / 3.0;
    h.start = {2012, 5, 3, 4, 9, 5, 7};
    h.periodIndex = 5;
    h.method = kMaximum;
    return h;
}

TEST(LoggerJournal, ReadsBackExactlyAndCutsADamagedTail) {
    const JournalSample a{{0, 1.0 / 3.0, 2e-7, 0.1 + 0.2, 1.235e-6}, 1};
    const JournalSample b{{1, 123456.789, 5e-324, 7.0, 1e300}, 3};
    const std::string head = JournalHeaderText(Header());
    const std::string text = head + JournalSampleText(a) + JournalSampleText(b);

    const auto run = ParseJournal(text);
    ASSERT_TRUE(run);
    EXPECT_FALSE(run->tailCut);
    EXPECT_EQ(run->header.settings.range, 11);
    EXPECT_EQ(run->header.settings.unit, '1');
    EXPECT_EQ(run->header.settings.value1, 1.0 / 3.0);
    EXPECT_EQ(run->header.start, (StartTime{2012, 5, 3, 4, 9, 5, 7}));
    EXPECT_EQ(run->header.periodIndex, 5);
    EXPECT_EQ(run->header.method, kMaximum);
    ASSERT_EQ(run->samples.size(), 2u);
    EXPECT_EQ(run->samples[0].sample.y, 2e-7);
    EXPECT_EQ(run->samples[0].sample.z, 0.1 + 0.2);  // every bit, not just the digits shown
    EXPECT_EQ(run->samples[1].sample.y, 5e-324);
    EXPECT_EQ(run->samples[1].sample.index, 1);
    EXPECT_EQ(run->samples[1].scaleIndex, 3);

    // A write cut short anywhere in the last line loses that line only.
    const std::size_t lastLine = text.size() - JournalSampleText(b).size();
    for (std::size_t cut = lastLine; cut < text.size(); ++cut) {
        const auto partial = ParseJournal(text.substr(0, cut));
        ASSERT_TRUE(partial) << cut;
        EXPECT_EQ(partial->samples.size(), 1u) << cut;
        EXPECT_EQ(partial->tailCut, cut != lastLine) << cut;
    }
    // A changed byte costs its line: the next sample keeps its slot, and the lost one takes
    // its values. So does a line that never came.
    std::string flipped = text;
    flipped[head.size() + 4] ^= 0x01;
    for (const std::string& gap : {flipped, head + JournalSampleText(b)}) {
        const auto read = ParseJournal(gap);
        ASSERT_TRUE(read);
        ASSERT_EQ(read->samples.size(), 2u);
        EXPECT_EQ(read->skippedLines, 1);
        EXPECT_EQ(read->samples[0].sample.index, 0);
        EXPECT_EQ(read->samples[0].sample.x, 123456.789);
        EXPECT_FALSE(read->tailCut);
    }
    // Without its whole header nothing can be recovered.
    EXPECT_FALSE(ParseJournal(head.substr(0, head.size() - 1)));
    EXPECT_FALSE(ParseJournal(""));
}

// A run of 24 samples whose line 14 was damaged: the 23 others keep their slots, the lost one
// repeats its predecessor, and the question says so. A copy with CR LF line ends reads the same.
TEST(LoggerJournal, DamagedLineInTheMiddleCostsThatLineOnly) {
    std::string text = JournalHeaderText(Header());
    std::size_t line14 = 0;
    for (int s = 0; s < 24; ++s) {
        if (s == 13) line14 = text.size();
        text += JournalSampleText({{s, s * 1e-6, 0, 0, (s + 1) * 1e-6}, 0});
    }
    text[line14 + 3] ^= 0x01;
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& bytes : {text, crlf}) {
        const auto run = ParseJournal(bytes);
        ASSERT_TRUE(run);
        ASSERT_EQ(run->samples.size(), 24u);
        EXPECT_EQ(run->skippedLines, 1);
        EXPECT_FALSE(run->tailCut);
        EXPECT_EQ(run->samples[13].sample.index, 13);
        EXPECT_EQ(run->samples[13].sample.x, 12e-6);
        EXPECT_EQ(run->samples[23].sample.x, 23e-6);
    }
    EXPECT_NE(RecoveryQuestion(*ParseJournal(text))
                  .find(" (24 samples) was not saved. 1 damaged line of the journal was skipped (that sample "
                        "repeats the one before it).\n\n"),
              std::string::npos);
}

// The gaps of a survey that outlived a lost meter and a removed sensor come back with their
// times and causes, cost no sample and are no damage; a damaged gap line costs only itself.
TEST(LoggerJournal, GapsReadBackBesideTheSamples) {
    const JournalGap lost{0, {2012, 5, 3, 4, 3, 0, 7}, {2012, 5, 3, 4, 3, 12, 10}, GapCause::ConnectionLost};
    const JournalGap removed{0, {2012, 5, 3, 4, 23, 59, 58}, {2012, 5, 4, 5, 0, 0, 1}, GapCause::SensorRemoved};
    const std::string head = JournalHeaderText(Header()) + JournalSampleText({{0, 1e-6, 0, 0, 1e-6}, 0});
    const std::string tail = JournalSampleText({{1, 2e-6, 0, 0, 2e-6}, 0});
    const auto run = ParseJournal(head + JournalGapText(lost) + JournalGapText(removed) + tail);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->gaps, (std::vector<JournalGap>{lost, removed}));
    EXPECT_EQ(run->samples.size(), 2u);
    EXPECT_EQ(run->skippedLines, 0);
    EXPECT_FALSE(run->tailCut);
    EXPECT_EQ(GapText(removed), "Gap from 2012/05/03 23:59:58 to 2012/05/04 00:00:01: sensor removed.");

    std::string damaged = JournalGapText(lost);
    damaged[5] ^= 0x01;
    const auto withDamage = ParseJournal(head + damaged + tail);
    ASSERT_TRUE(withDamage);
    EXPECT_TRUE(withDamage->gaps.empty());
    EXPECT_EQ(withDamage->samples.size(), 2u);
    EXPECT_EQ(withDamage->skippedLines, 0);
}

#if !defined(_WIN32)
// A journal folder that others may write could hold runs planted by another user, and would
// show them ours: it is never used, and the run goes on without a journal.
TEST(LoggerJournal, FolderThatOthersMayWriteIsNeverUsed) {
    TempDir home;
    const std::string shared = home.File("tessera");
    std::filesystem::create_directory(shared);
    std::filesystem::permissions(shared, std::filesystem::perms::all);
    const std::string planted = shared + "/run-20120503-090507.journal";
    const std::string bytes = JournalHeaderText(Header()) + JournalSampleText({{0, 1e-6, 0, 0, 1e-6}, 0});
    WriteAll(planted, bytes);
    const char* before = std::getenv("XDG_STATE_HOME");
    const std::string saved = before ? before : "";
    ::setenv("XDG_STATE_HOME", home.Path().c_str(), 1);

    platform::ManualClock clock;
    RunJournal journal({}, clock);
    journal.Begin(Header(), {{0, 1e-6, 0, 0, 1e-6}, 0});
    const JournalScan scan = ClaimUnfinishedRuns();
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);

    EXPECT_FALSE(journal.Active());
    EXPECT_EQ(journal.Problem(), "The logging run is not journalled: " + shared + " may be written by other users.");
    EXPECT_TRUE(scan.runs.empty());
    EXPECT_EQ(scan.problem, shared + " may be written by other users");
    EXPECT_EQ(JournalsIn(shared), (std::vector<std::string>{"run-20120503-090507.journal"}));
    EXPECT_EQ(ReadAll(planted), bytes);
}
#endif

TEST(LoggerJournal, HeldJournalsAreNotUnfinishedAndEmptyOnesAreRemoved) {
    TempDir dir;
    platform::ManualClock clock;
    auto live = std::make_unique<RunJournal>(dir.Path(), clock);
    live->Begin(Header(), {{0, 1e-6, 0, 0, 1e-6}, 0});
    live->Append({{1, 2e-6, 0, 0, 2e-6}, 0});
    ASSERT_TRUE(live->Active()) << live->Problem();
    EXPECT_EQ(JournalsIn(dir.Path()), (std::vector<std::string>{"run-20120503-090507.journal"}));
    EXPECT_TRUE(ClaimUnfinishedRuns(dir.Path()).runs.empty());  // another program's run in progress

    // A journal that never got its first sample holds nothing to recover.
    WriteAll(dir.File("run-20120503-080000.journal"), JournalHeaderText(Header()));

    live.reset();  // the program ends without a word: the journal stays, held by nobody
    auto runs = ClaimUnfinishedRuns(dir.Path()).runs;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].contents.samples.size(), 2u);
    EXPECT_EQ(JournalsIn(dir.Path()), (std::vector<std::string>{"run-20120503-090507.journal"}));
    EXPECT_TRUE(ClaimUnfinishedRuns(dir.Path()).runs.empty());  // ours now; a second program keeps off
    EXPECT_TRUE(runs[0].file.Remove());
    EXPECT_TRUE(JournalsIn(dir.Path()).empty());
}

TEST(LoggerJournal, AppendsAreWrittenThroughAndDiscardRemovesTheFile) {
    TempDir dir;
    platform::ManualClock clock;
    RunJournal journal(dir.Path(), clock);
    journal.Begin(Header(), {{0, 1e-6, 0, 0, 1e-6}, 0});
    clock.millis = 999;
    journal.Append({{1, 1e-6, 0, 0, 1e-6}, 0});
    const std::string path = journal.Path();
    // Written through at once all the same: a killed program loses nothing appended.
    EXPECT_EQ(ParseJournal(ReadAll(path))->samples.size(), 2u);
    journal.Discard();
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_FALSE(journal.Active());
}

class LoggerRunJournal : public ::testing::Test {
protected:
    TempDir dir;
    FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    std::unique_ptr<RunJournal> journal = std::make_unique<RunJournal>(dir.Path(), clock);
    LoggerModel model{meter, prompter, clock};

    void SetUp() override {
        clock.millis = 1000;
        clock.now = {2012, 5, 3, 9, 5, 7, 0, 4};
        model.SetJournal(journal.get());
    }

    // An average run at 2 min/div with slow response (three polls a sample) over a field
    // that crosses two ranges, stopped in the middle of a period.
    // A journal a crash left at hh:00 of the example day, holding one sample.
    void WaitingRun(const std::string& start) {
        JournalHeader h = Header();
        h.start.hour = std::stoi(start.substr(0, 2));
        WriteAll(dir.File("run-20120503-" + start + ".journal"),
                 JournalHeaderText(h) + JournalSampleText({{0, 1e-6, 0, 0, 1e-6}, 0}));
    }

    void LogAndStop(int polls, const std::function<void(int poll)>& beforePoll = {}) {
        meter.current = MeterRecord('1', 10);
        model.Refresh();
        model.SelectPeriod(5);
        model.SelectMethod(kAverage);
        ASSERT_TRUE(model.Start());
        for (int i = 0; i < polls; ++i) {
            auto r = meter.current;
            r.value1 = 1e-7 * (1 + i % 7);
            r.value2 = 3e-7;
            r.value3 = i * 1e-6;
            r.range = static_cast<std::uint8_t>(10 + std::min(2, i / 40));
            meter.readings.push_back(r);
        }
        for (int i = 0; i < polls; ++i) {
            if (beforePoll) beforePoll(i);
            model.Tick(clock.millis);
            clock.millis += 2000;
        }
        model.Stop();
    }
};

TEST_F(LoggerRunJournal, RunIsJournalledUntilItsDataAreSavedOrDiscarded) {
    LogAndStop(32);  // eleven samples and an unfinished period
    ASSERT_EQ(model.SampleCount(), 10);
    const auto run = ParseJournal(ReadAll(journal->Path()));
    ASSERT_TRUE(run);
    ASSERT_EQ(run->samples.size(), 11u);
    for (int s = 0; s < 11; ++s) EXPECT_EQ(run->samples[s].sample.R, link::LogSampleStore[s].R) << s;

    prompter.files.push_back(dir.File("saved"));
    ASSERT_TRUE(model.SaveCsv());
    // The file and its sidecar (the run's sensor), no journal.
    EXPECT_EQ(JournalsIn(dir.Path()), (std::vector<std::string>{"saved.CSV", "saved.marks.csv"}));

    // A new run's unsaved data, given up at the method's save question.
    LogAndStop(4);
    EXPECT_EQ(JournalsIn(dir.Path()).size(), 3u);
    prompter.answers.push_back(page::Answer::No);
    model.SelectMethod(kFixedInterval);
    EXPECT_EQ(JournalsIn(dir.Path()), (std::vector<std::string>{"saved.CSV", "saved.marks.csv"}));
}

TEST_F(LoggerRunJournal, RecoveredRunIsTheStoppedRunAgain) {
    LogAndStop(800);  // 14 divisions: the view has scrolled
    const int last = model.SampleCount();
    const auto scale = model.GraphScale();
    const auto range = model.Snapshot().range;
    ASSERT_EQ(scale.scaleIndex, 2);
    const int divisions = model.DivisionCount(), scroll = model.ScrollDivision();
    const int filled = model.VisibleDivisionsFilled(), scrollMax = model.ControlState().scrollMax;
    ASSERT_GT(scroll, 0);
    // The file the stopped run saves, written past the journal as a crash would leave it.
    model.SetJournal(nullptr);
    prompter.files.push_back(dir.File("before.CSV"));
    ASSERT_TRUE(model.SaveCsv());
    journal.reset();

    FakeMeterPort otherMeter;
    testing::ScriptedPrompter asked;
    RunJournal otherJournal(dir.Path(), clock);
    LoggerModel other(otherMeter, asked, clock);
    other.SetJournal(&otherJournal);
    asked.answers.push_back(page::Answer::Yes);
    ASSERT_TRUE(OfferRecovery(other, otherJournal, asked, dir.Path()));
    EXPECT_EQ(asked.Questions(),
              (std::vector<std::string>{"A logging run from 2012/05/03 09:05:07 (" + std::to_string(last + 1) +
                                        " samples) was not saved.\n\nWould you like to recover it?\nIf you click "
                                        "\"No\", the samples will be discarded.\nIf you click \"Cancel\", you will be "
                                        "asked again at the next start."}));
    EXPECT_EQ(other.DataState(), page::DataState::Unsaved);
    EXPECT_EQ(other.SampleCount(), last);
    EXPECT_EQ(other.Snapshot().range, range);
    EXPECT_EQ(other.GraphScale().scaleIndex, scale.scaleIndex);
    EXPECT_EQ(other.GraphScale().maxFullScale, scale.maxFullScale);
    EXPECT_EQ(other.DivisionCount(), divisions);
    EXPECT_EQ(other.ScrollDivision(), scroll);
    EXPECT_EQ(other.VisibleDivisionsFilled(), filled);
    EXPECT_EQ(other.ControlState().scrollMax, scrollMax);
    EXPECT_TRUE(other.ControlState().csvSave);

    asked.files.push_back(dir.File("after.CSV"));
    ASSERT_TRUE(other.SaveCsv());
    EXPECT_EQ(ReadAll(dir.File("after.CSV")), ReadAll(dir.File("before.CSV")));
    EXPECT_FALSE(otherJournal.Active());
    EXPECT_EQ(ReadAll(dir.File("after.marks.csv")), ReadAll(dir.File("before.marks.csv")));
    EXPECT_EQ(JournalsIn(dir.Path()).size(), 4u);  // the two files and their sidecars, no journal
}

// Marks are on the disk the moment they are set: a run that was never saved brings them back
// with its samples (and the clock's offset), and its save writes them beside the file. One set
// before the first sample goes in with it; a damaged mark line costs that mark only.
TEST_F(LoggerRunJournal, MarksOutliveACrashAndComeBackWithTheRun) {
    clock.utcOffsetMinutes = 60;
    LogAndStop(32, [&](int poll) {
        if (poll == 0) {
            EXPECT_TRUE(model.Mark("door opened"));  // before the first sample
        }
        if (poll == 10) {
            EXPECT_TRUE(model.Mark("  heater on, \"full\"  "));
        }
    });
    EXPECT_FALSE(model.Mark("too late"));  // no run: nothing to mark
    const RunMarks set = model.Marks();
    ASSERT_EQ(set.marks.size(), 2u);
    EXPECT_EQ(set.marks[1].text, "heater on, \"full\"");
    EXPECT_EQ(set.marks[0].slot, 0);
    EXPECT_GT(set.marks[1].slot, 0);
    const std::string journalText = ReadAll(journal->Path());
    journal.reset();  // the program is gone; the journal stays

    FakeMeterPort otherMeter;
    testing::ScriptedPrompter asked;
    RunJournal otherJournal(dir.Path(), clock);
    LoggerModel other(otherMeter, asked, clock);
    other.SetJournal(&otherJournal);
    asked.answers.push_back(page::Answer::Yes);
    ASSERT_TRUE(OfferRecovery(other, otherJournal, asked, dir.Path()));
    ASSERT_EQ(other.Marks().marks.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(other.Marks().marks[i].slot, set.marks[i].slot);
        EXPECT_EQ(other.Marks().marks[i].text, set.marks[i].text);
        EXPECT_EQ(other.Marks().marks[i].time.local.hour, 9);
        EXPECT_EQ(other.Marks().marks[i].time.utcOffsetMinutes, 60);
    }
    EXPECT_EQ(other.Marks().utcOffsetMinutes, 60);
    EXPECT_EQ(other.Marks().sensor, '1');

    asked.files.push_back(dir.File("rescued.CSV"));
    ASSERT_TRUE(other.SaveCsv());
    const auto saved = ReadMarksFile(dir.File("rescued.CSV"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->skippedLines, 0);
    EXPECT_EQ(saved->marks.utcOffsetMinutes, 60);
    ASSERT_EQ(saved->marks.marks.size(), 2u);
    EXPECT_EQ(saved->marks.marks[1].text, set.marks[1].text);
    EXPECT_EQ(saved->marks.marks[1].slot, set.marks[1].slot);

    // One mark line damaged (a bit flipped in its text): that mark is gone, nothing else.
    std::string damaged = journalText;
    const auto at = damaged.find("heater");
    ASSERT_NE(at, std::string::npos);
    damaged[at] = 'H';
    const auto run = ParseJournal(damaged);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->samples.size(), ParseJournal(journalText)->samples.size());
    ASSERT_EQ(run->marks.size(), 1u);
    EXPECT_EQ(run->marks[0].text, "door opened");
    EXPECT_EQ(run->header.utcOffsetMinutes, 60);
}

TEST_F(LoggerRunJournal, NoDiscardsAndOnlyTheFirstYesIsShown) {
    for (const char* start : {"080000", "090000", "100000"}) WaitingRun(start);
    prompter.answers = {page::Answer::No, page::Answer::Yes};
    ASSERT_TRUE(OfferRecovery(model, *journal, prompter, dir.Path()));
    ASSERT_EQ(prompter.Questions().size(), 2u);
    EXPECT_NE(prompter.Questions()[0].find(" 10:05:07 (1 sample)"), std::string::npos);  // newest first
    EXPECT_NE(prompter.Questions()[1].find(" 09:05:07 "), std::string::npos);
    EXPECT_EQ(JournalsIn(dir.Path()).size(), 2u);  // 10:00 discarded, 09:00 shown, 08:00 waits
    EXPECT_EQ(ClaimUnfinishedRuns(dir.Path()).runs.size(), 1u);
    // Shown data are never replaced unasked.
    EXPECT_FALSE(OfferRecovery(model, *journal, prompter, dir.Path()));
}

TEST_F(LoggerRunJournal, CancelKeepsEveryRunForTheNextStart) {
    for (const char* start : {"080000", "090000"}) WaitingRun(start);
    prompter.answers = {page::Answer::Cancel};
    EXPECT_FALSE(OfferRecovery(model, *journal, prompter, dir.Path()));
    EXPECT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(ClaimUnfinishedRuns(dir.Path()).runs.size(), 2u);
}

TEST_F(LoggerRunJournal, ShownUnsavedDataAreNeverReplacedByARecoveredRun) {
    LogAndStop(32);
    WaitingRun("080000");
    prompter.answers = {page::Answer::Yes};
    EXPECT_FALSE(OfferRecovery(model, *journal, prompter, dir.Path()));
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(model.SampleCount(), 10);
    EXPECT_EQ(model.StartTimeOfData().hour, 9);
    EXPECT_EQ(ClaimUnfinishedRuns(dir.Path()).runs.size(), 1u);  // still waiting
}

// A journal this program cannot read keeps its bytes under another name, is said once and
// stays listed: a damaged header, and a header whose every sample line is damaged.
TEST_F(LoggerRunJournal, UnreadableJournalIsSetAsideNotDeleted) {
    std::string header = JournalHeaderText(Header());
    std::string damaged = header + JournalSampleText({{0, 1e-6, 0, 0, 1e-6}, 0});
    damaged[header.find("SETTINGS") + 9] ^= 0x01;
    WriteAll(dir.File("run-20120503-080000.journal"), damaged);
    WriteAll(dir.File("run-20120503-090000.journal"), header + "S 0 1e-06 0 0 1e-06 0 *00000000\n");

    EXPECT_FALSE(OfferRecovery(model, *journal, prompter, dir.Path()));
    EXPECT_TRUE(prompter.Questions().empty());
    const std::string a = dir.File("run-20120503-080000"), b = dir.File("run-20120503-090000");
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{
                  "The logging journal \"" + a + ".journal\" could not be read; kept as \"" + a + ".unreadable\".",
                  "The logging journal \"" + b + ".journal\" could not be read; kept as \"" + b + ".unreadable\"."}));
    EXPECT_EQ(ReadAll(a + ".unreadable"), damaged);
    EXPECT_FALSE(OfferRecovery(model, *journal, prompter, dir.Path()));
    EXPECT_EQ(prompter.Messages().size(), 2u);
    EXPECT_EQ(SetAsideJournals(dir.Path()), (std::vector<std::string>{a + ".unreadable", b + ".unreadable"}));
}

// The journal learns of a save before the file takes its place: a crash after that finds the
// file as the save made it and never offers the saved run again; a save that never took
// place does not count.
TEST_F(LoggerRunJournal, RunSavedJustBeforeACrashIsNotOfferedAgain) {
    LogAndStop(32);
    journal->NoteSave(dir.File("elsewhere.CSV"), "a save that failed before its file took its place");
    journal.reset();
    auto scan = ClaimUnfinishedRuns(dir.Path());
    ASSERT_EQ(scan.runs.size(), 1u);
    auto& run = scan.runs[0];
    const auto samples = RecoveredSamples(run.contents);
    ASSERT_TRUE(SaveJournalledRun(run.file, dir.File("run.CSV"), RecoveredLogHeader(run.contents), samples.data(),
                                  static_cast<int>(samples.size()) - 1));
    scan = {};  // the program ends before the journal goes

    EXPECT_TRUE(ClaimUnfinishedRuns(dir.Path()).runs.empty());
    EXPECT_EQ(JournalsIn(dir.Path()), (std::vector<std::string>{"run.CSV"}));
}

#if !defined(_WIN32)
// Journal and file on one full disk: the failed save says how much of the run the journal
// really keeps; once the disk takes data again the journal catches up, line by line intact.
TEST_F(LoggerRunJournal, FailedSaveOnAFullDiskSaysWhatTheJournalKeeps) {
    int total = 0, kept = 0;
    {
        const testing::FileSizeLimit fullDisk(20003);
        LogAndStop(2400);
        total = model.SampleCount() + 1;
        const std::string cut = ReadAll(journal->Path());
        ASSERT_NE(cut.back(), '\n');  // the disk stopped in the middle of a line
        kept = static_cast<int>(ParseJournal(cut)->samples.size());
        ASSERT_LT(kept, total);
        ASSERT_GT(kept, 0);
        prompter.files.push_back(dir.File("run.CSV"));
        EXPECT_FALSE(model.SaveCsv());
    }
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"The file \"" + dir.File("run.CSV") + "\" could not be written.\nOnly " +
                                        std::to_string(kept) + " of " + std::to_string(total) +
                                        " samples are kept in the logging journal."}));
    EXPECT_TRUE(journal->CatchUp());
    const auto run = ParseJournal(ReadAll(journal->Path()));
    ASSERT_EQ(run->samples.size(), static_cast<std::size_t>(total));
    EXPECT_FALSE(run->tailCut);
    EXPECT_EQ(run->skippedLines, 0);
    for (int s = 0; s < total; ++s) EXPECT_EQ(run->samples[s].sample.R, link::LogSampleStore[s].R) << s;
}
#endif

}  // namespace
}  // namespace tessera::logger
