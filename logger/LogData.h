#pragma once
// What the logger page shows: where its samples came from and how they were taken. The run
// writes it, the CSV workflow saves and reads it, the graph draws from it; the page model
// (LoggerModel) owns it. The samples themselves are in the process-wide LogSampleStore.

#include "link/Stores.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"
#include "logger/RunMarks.h"
#include "page/DataState.h"
#include "settings/MeterSettings.h"

namespace tessera::logger {

using page::DataState;
class RunJournal;

struct LogData {
    page::DataState state = page::DataState::None;
    int periodIndex = 2;  // the period and method the shown samples were taken with
    int method = kFixedInterval;
    settings::MeterSettings snapshot{};    // the meter's settings when the run started (Unsaved)
    settings::MeterSettings fileRecord{};  // the settings of the file saved or read (Saved)
    StartTime start{};
    // The clock's offset from UTC at `start`, the sensor and the marks set during the run: what
    // the logger file has no room for (its sidecar, logger/RunMarks.h).
    RunMarks marks;
    // During a run the slot the next sample goes to; afterwards the last slot holding one.
    int sampleCount = 0;
    // Keeps unsaved samples safe as they are taken (null: none); it goes when they are saved
    // or discarded.
    RunJournal* journal = nullptr;

    // The settings the shown samples belong to: the snapshot, the file's, or, without
    // samples, the meter's present ones.
    const settings::MeterSettings& RecordInForce(const settings::MeterSettings& meterNow) const {
        switch (state) {
            case page::DataState::Unsaved: return snapshot;
            case page::DataState::Saved: return fileRecord;
            case page::DataState::None: break;
        }
        return meterNow;
    }
    // A meter record or samples exist: the graph's labels are drawn.
    bool RecordKnown(const settings::MeterSettings& meterNow) const {
        return state != page::DataState::None || settings::MeterKnown(meterNow);
    }
};

// Slot 0 holds a resultant: there are samples to save, print and read out.
inline bool StoreHoldsData() { return link::LogSampleStore[0].R > 1e-9; }

}  // namespace tessera::logger
