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
// Numbers are written so that they read back exactly. The first line that is incomplete,
// fails its CRC or breaks the order ends the journal: it and everything after it are cut.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Stores.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"
#include "platform/Clock.h"
#include "platform/LockedFile.h"
#include "settings/MeterSettings.h"

namespace tessera::logger {

struct JournalHeader {
    settings::MeterSettings settings{};  // the settings snapshot taken at Start
    StartTime start{};
    int periodIndex = 2;
    int method = kFixedInterval;
};

struct JournalSample {
    link::LogSample sample{};  // index = its slot
    int scaleIndex = 0;        // the graph's scale once this sample was taken
};

struct JournalContents {
    JournalHeader header;
    std::vector<JournalSample> samples;  // slots 0, 1, 2, ... in order
    bool tailCut = false;                // a damaged end was cut off
};

inline constexpr const char* kJournalExtension = ".journal";

std::string JournalHeaderText(const JournalHeader& header);
std::string JournalSampleText(const JournalSample& sample);
// Nothing when the header is incomplete or damaged: then nothing can be recovered.
std::optional<JournalContents> ParseJournal(std::string_view bytes);

// What a stopped run leaves of the samples: trailing samples without a resultant are
// trimmed. The last valid slot, -1 when no data remain.
int LastValidSlot(const JournalContents& run);
// The settings and timing a logger file of the run carries, as after Stop (the range
// code carries the scale the graph reached, auto ranges keep their mark).
LogHeader RecoveredLogHeader(const JournalContents& run);
// The samples as the store holds them, slots 0 .. LastValidSlot.
std::vector<link::LogSample> RecoveredSamples(const JournalContents& run);

// "2012/05/03 09:05:07"
std::string RunStartText(const StartTime& start);

// Where journals live: the user's state directory (empty when there is none).
std::string JournalDirectory();

// The journal of the run in progress (or of recovered data still unsaved), as the logging
// run drives it. A journal that cannot be written never stops the run: it says why in
// Problem() and the run goes on without it.
class RunJournal {
public:
    // `directory` empty: JournalDirectory(). `clock` paces the syncs to the disk.
    explicit RunJournal(std::string directory = {}, platform::Clock& clock = platform::DefaultClock());
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // The run's first sample opens a new journal with the run's header.
    void Begin(const JournalHeader& header, const JournalSample& first);
    void Append(const JournalSample& sample);
    // The run stopped: everything onto the disk now.
    void Sync();
    // The data were saved or deliberately discarded: the journal goes.
    void Discard();
    // Recovered data shown unsaved: their journal stays (held) until they are saved or
    // discarded.
    void Adopt(platform::LockedFile file);

    bool Active() const { return file_.IsOpen(); }
    const std::string& Path() const { return file_.Path(); }
    const std::string& Problem() const { return problem_; }

private:
    void Fail(const std::string& why);

    std::string directory_;
    platform::Clock& clock_;
    platform::LockedFile file_;
    std::uint32_t lastSync_ = 0;
    bool unsynced_ = false;
    bool writable_ = false;
    std::string problem_;
};

// A journal that no running program holds, taken over by this process until it lets go.
struct UnfinishedRun {
    platform::LockedFile file;
    JournalContents contents;
};
// The unfinished runs of a directory (empty: JournalDirectory()), newest first. Journals
// with nothing recoverable in them are deleted on the way.
std::vector<UnfinishedRun> ClaimUnfinishedRuns(const std::string& directory = {});

}  // namespace tessera::logger
