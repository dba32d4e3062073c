#pragma once
// The logging journal. Every sample of a logging run goes to a file in the user's state
// directory as it is taken, so that a crash, a kill or a power cut loses at most the last
// second of it. The file goes once the run's data are saved or deliberately discarded; a
// journal left behind is an unfinished run, which the next start of the program (or
// "tessera-cli recover") brings back. Each journal is held by the program writing it, so
// the window and tessera-cli running side by side never take each other's for unfinished.
//
// The file is text, one record a line, each line closed by the CRC-32 of what precedes
// " *" on it:
//   TESSERA LOGGING JOURNAL 1 *xxxxxxxx
//   SETTINGS 48 51 48 10 1.2e-06 0 0 48 49 48 48 48 48 48 *xxxxxxxx   (the snapshot: codes as byte values)
//   RUN 2 1 *xxxxxxxx                                              (period index, sampling method)
//   START 2012 5 3 4 9 5 7 *xxxxxxxx                               (year month day weekday h m s)
//   S 0 1.23e-07 4.56e-07 7.89e-07 9.196e-07 0 *xxxxxxxx           (slot x y z R, scale index)
//   SAVED 1c291ca3 18234 /home/me/run%20one.CSV *xxxxxxxx           (a save under way: CRC-32, size, file)
//   ZONE 60 *xxxxxxxx                                               (the clock's offset from UTC at START, minutes)
//   MARK 411 2012 5 3 11 56 40 250 60 heater%20on *xxxxxxxx         (a mark at slot 411: set at y m d h m s ms, offset,
//   text)
//   GAP 0 2012 5 3 4 3 0 7 2012 5 3 4 3 12 10 connection *xxxxxxxx  (no samples before slot 0 from .. to ..)
// Numbers are written so that they read back exactly. A damaged line costs that line only:
// each sample names its slot, so the samples after it keep their places, and a slot whose
// line was lost repeats the sample before it (as a poll that came late does in a run). A
// damaged end is cut. Lines may end in CR LF (a journal copied through a text-mode tool).
// A SAVED line is written before the save's file takes its place: when that file is found
// with exactly that content, the run was saved and its journal only missed being removed.
// Versions of the program before the SAVED line take one for a damaged end, which costs them
// nothing: it comes after every sample.
// A GAP line says that a long survey had no samples for a while before the slot it names (the
// meter or its sensor was lost and came back; the samples before the gap are in the survey's
// previous file): the two times are when the loss was found and when the meter answered
// again, the last word why ("connection", "sensor" or "busy"). It comes after the slot's
// sample, which a reader without it takes for one damaged line that costs no sample.
// The same holds for ZONE (written with the header, before the first sample) and MARK lines
// (offset "x" when the clock did not say it), which older versions skip as damaged lines that
// cost no sample.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Stores.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"
#include "logger/RunMarks.h"
#include "platform/Clock.h"
#include "platform/LockedFile.h"
#include "settings/MeterSettings.h"

namespace tessera::logger {

struct JournalHeader {
    settings::MeterSettings settings{};  // the settings snapshot taken at Start
    StartTime start{};
    int periodIndex = 2;
    int method = kFixedInterval;
    std::optional<int> utcOffsetMinutes;  // of the clock at `start`; none: it did not say
};

struct JournalSample {
    link::LogSample sample{};  // index = its slot
    int scaleIndex = 0;        // the graph's scale once this sample was taken
};

// A save of the run's samples that had begun: the file and what its content was to be.
struct SaveMark {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::string path;
};

// Why a long survey that outlives its losses went without samples for a while.
enum class GapCause { ConnectionLost, SensorRemoved, MeterBusy };

// A time without samples: from when the loss was found to when the meter answered again.
// The samples after it begin at `slot`.
struct JournalGap {
    int slot = 0;
    StartTime from{}, to{};
    GapCause cause = GapCause::ConnectionLost;
    bool operator==(const JournalGap&) const = default;
};

struct JournalContents {
    JournalHeader header;
    std::vector<JournalSample> samples;  // slots 0, 1, 2, ... in order
    int skippedLines = 0;                // slots whose damaged line was skipped (they repeat a neighbour)
    bool tailCut = false;                // a damaged end was cut off
    std::vector<SaveMark> saves;
    std::vector<RunMark> marks;    // in the order they were set
    std::vector<JournalGap> gaps;  // in the order they came
};

inline constexpr const char* kJournalExtension = ".journal";

std::string JournalHeaderText(const JournalHeader& header);
std::string JournalSampleText(const JournalSample& sample);
// The line that tells a journal which file a save is about to make with `contents`.
std::string JournalSaveText(const std::string& path, std::string_view contents);
std::string JournalMarkText(const RunMark& mark);
std::string JournalGapText(const JournalGap& gap);
// "connection lost", "sensor removed", "meter busy".
const char* GapCauseText(GapCause cause);
// "Gap from 2012/05/03 03:00:07 to 2012/05/03 03:12:10: connection lost."
std::string GapText(const JournalGap& gap);
// Nothing when the header is incomplete, damaged or of another format version: then the
// program cannot read the journal at all.
std::optional<JournalContents> ParseJournal(std::string_view bytes);
// One of the run's saves is on the disk as it was made: the run was saved.
bool RunWasSaved(const JournalContents& run);

// What a stopped run leaves of the samples: trailing samples without a resultant are
// trimmed. The last valid slot, -1 when no data remain.
int LastValidSlot(const JournalContents& run);
// The settings and timing a logger file of the run carries, as after Stop (the range
// code carries the scale the graph reached, auto ranges keep their mark).
LogHeader RecoveredLogHeader(const JournalContents& run);
// The samples as the store holds them, slots 0 .. LastValidSlot.
std::vector<link::LogSample> RecoveredSamples(const JournalContents& run);
// What the run's sidecar holds: its clock's offset, its sensor and its marks.
RunMarks RecoveredMarks(const JournalContents& run);

// "2012/05/03 09:05:07"
std::string RunStartText(const StartTime& start);
// "2 damaged lines of the journal were skipped (each of those samples repeats the one before
// it)."; empty when none was.
std::string SkippedLinesText(const JournalContents& run);

// Where journals live: `directory`, or when it is empty the user's state directory. Empty,
// with `problem` saying why, when there is none or it may not be used (another user's, or
// writable by others: platform/Paths.h).
std::string JournalDirectory(const std::string& directory, std::string* problem);

// "Only 285 of 800 samples are kept in the logging journal." and its kin: what a failed save
// leaves safe.
std::string KeptSamplesText(int kept, int total);

// The journal of the run in progress (or of recovered data still unsaved), as the logging
// run drives it. A journal that cannot be written never stops the run: it says why in
// Problem() and the run goes on. What could not be written (a full disk, a file-size limit)
// is kept in memory and written when the disk takes it again: tried every few seconds while
// samples come, at the run's end and before a failed save says what is kept. A directory
// that may not be used gives the run no journal at all.
class RunJournal {
public:
    // `directory` empty: the user's state directory. `clock` paces the syncs to the disk.
    explicit RunJournal(std::string directory = {}, platform::Clock& clock = platform::DefaultClock());
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // The run's first sample opens a new journal with the run's header.
    void Begin(const JournalHeader& header, const JournalSample& first);
    void Append(const JournalSample& sample);
    // A save of the samples is about to make `path` with `contents` (JournalSaveText).
    void NoteSave(const std::string& path, std::string_view contents);
    // A mark was set. One set before the run's first sample goes in with that sample.
    void NoteMark(const RunMark& mark);
    // The run had no samples for a while before `gap.slot` (after its first sample).
    void NoteGap(const JournalGap& gap);
    // The run stopped: what is behind written if the disk takes it, everything onto the disk.
    void Sync();
    // Tries once more to write what is behind; true when nothing is.
    bool CatchUp();
    // The data were saved or deliberately discarded: the journal goes.
    void Discard();
    // Recovered data shown unsaved: their journal (holding `samples`) stays, held, until they
    // are saved or discarded.
    void Adopt(platform::LockedFile file, int samples);

    bool Active() const { return file_.IsOpen(); }
    // Samples of the run in the journal's file (a crash keeps these).
    int SamplesKept() const { return kept_; }
    const std::string& Path() const { return file_.Path(); }
    // Why the journal is behind or missing; empty while it keeps up.
    const std::string& Problem() const { return problem_; }

private:
    bool Create();
    bool WriteBehind();
    void Fail(const std::string& why);

    struct Pending {
        std::string text;
        int samples = 0;  // sample lines in it
    };

    std::string directory_;
    platform::Clock& clock_;
    platform::LockedFile file_;
    std::string dir_;             // where the run's file goes, and
    StartTime start_{};           // the run's start, which names it
    std::deque<Pending> behind_;  // not yet in the file, in order
    std::vector<RunMark> early_;  // marks set before the first sample
    std::size_t frontTaken_ = 0;  // bytes of behind_.front() the file has already
    int kept_ = 0;
    bool open_ = false;  // Begin ran and the directory may be used
    std::uint32_t lastSync_ = 0;
    std::uint32_t lastTry_ = 0;
    bool unsynced_ = false;
    std::string problem_;
};

// A journal that no running program holds, taken over by this process until it lets go.
struct UnfinishedRun {
    platform::LockedFile file;
    JournalContents contents;
};
// A journal this program cannot read (damaged beyond its header, another format version):
// it is never deleted unasked, but set aside under another name, bytes and all.
struct SetAsideJournal {
    std::string journal;  // its name as found
    std::string keptAs;   // its name now
};
inline constexpr const char* kSetAsideExtension = ".unreadable";
// "The logging journal "…" could not be read; kept as "…"."
std::string SetAsideMessage(const SetAsideJournal& journal);

struct JournalScan {
    std::vector<UnfinishedRun> runs;        // newest first
    std::vector<SetAsideJournal> setAside;  // found unreadable now and set aside
    std::string problem;                    // the directory may not be used: why
};
// Writes the run's samples as a logger file (WriteLogFile) and tells `journal` first (when not
// null), so that a crash between the file taking its place and the journal going finds the
// run saved. The run's sidecar (`marks`, when it holds anything) is written before the file:
// until the file is saved, the journal still keeps what the sidecar holds. A sidecar that
// cannot be written fails the save when it holds marks (they would be lost with the journal);
// `error` (when not null) then names it.
bool SaveJournalledRun(RunJournal* journal, const std::string& path, const LogHeader& header,
                       const link::LogSample* slots, int lastSlot, const RunMarks& marks = {},
                       std::string* error = nullptr);
// The same for a journal taken over for recovery.
bool SaveJournalledRun(platform::LockedFile& journal, const std::string& path, const LogHeader& header,
                       const link::LogSample* slots, int lastSlot, const RunMarks& marks = {},
                       std::string* error = nullptr);

// The unfinished runs of a directory (empty: the user's state directory). Journals that hold
// nothing to recover, and those of runs that were saved, are deleted on the way; unreadable
// ones are set aside.
JournalScan ClaimUnfinishedRuns(const std::string& directory = {});
// Every journal set aside in a directory (empty: the user's state directory), by name.
std::vector<std::string> SetAsideJournals(const std::string& directory = {});

}  // namespace tessera::logger
