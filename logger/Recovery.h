#pragma once
// Bringing back an unfinished logging run: at the program's start every journal that no
// running program holds is offered, newest first; Yes shows it on the logger page as unsaved
// data (the normal CSV Save applies), No discards it, Cancel keeps it (and the runs after it)
// for the next start. A journal that cannot be read is set aside, and said so once.

#include <string>

#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "page/Prompter.h"

namespace tessera::logger {

// "A logging run from 2012/05/03 09:05:07 (1234 samples) was not saved. ..."
std::string RecoveryQuestion(const JournalContents& run);

// Asks about each unfinished run in `directory` (empty: the user's state directory) until
// one is recovered into `model`, whose `journal` then keeps it until the data are saved or
// discarded. Runs not asked about stay for the next start. True when a run was recovered.
// Shown unsaved data are never replaced: then nothing is asked.
bool OfferRecovery(LoggerModel& model, RunJournal& journal, page::Prompter& prompter,
                   const std::string& directory = {});

}  // namespace tessera::logger
