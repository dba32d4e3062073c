// tessera-cli "annotate": the notes on one record of an Entire Read file (location, height,
// source and distance, a free note), kept in the file's sidecar NAME.notes.csv so that the
// file itself stays as the page writes it. Without a field to set it shows the record's notes.

#include <iostream>
#include <memory>
#include <string>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/ExitCodes.h"
#include "cli/Terminal.h"
#include "entire_read/EntireReadModel.h"
#include "entire_read/RecordNotes.h"

namespace tessera::cli {
namespace {

constexpr const char* kAnnotateUsage =
    "annotate FILE.CSV NO [--location TEXT] [--height TEXT] [--source TEXT] [--note TEXT]   "
    "notes on record NO of an Entire Read file (shown when no field is given)";
constexpr const char* kAnnotateNotes =
    "The notes go into FILE.notes.csv beside the file (UTF-8); the file itself is not changed.\n"
    "A field given as \"\" is cleared; fields not given keep what they hold. The Entire Read page\n"
    "reads the notes with its file and writes them beside every name it saves the file under.";

struct AnnotateWords {
    std::string file, number, location, height, source, note;
};

// Reads the file as the page does; bad lines are skipped (and counted), never asked about.
class QuietPrompter final : public TerminalPrompter {
public:
    page::Answer AskYesNo(const page::Question& question) override {
        if (question.topic == page::Topic::SkipBadLine) return page::Answer::Yes;
        return page::Answer::No;
    }
};

void Show(int number, const entire_read::RecordNote& n) {
    std::cout << "record " << number << "\n  location: " << n.location << "\n  height: " << n.height
              << "\n  source: " << n.source << "\n  note: " << n.note << '\n';
}

int Annotate(const CommandLine& line, const AnnotateWords& w) {
    int number = 0;
    try {
        std::size_t used = 0;
        number = std::stoi(w.number, &used);
        if (used != w.number.size()) number = 0;
    } catch (const std::exception&) {
        number = 0;
    }
    if (number < 1 || number > entire_read::kMaxRecords)
        return line.UsageError("NO is a record number from 1 to 99, not \"" + w.number + "\"");

    QuietPrompter prompter;
    const auto records = entire_read::ReadCsvRecords(w.file, prompter);
    if (!records) {
        prompter.Flush(std::cerr);
        return kFailed;
    }
    if (number > static_cast<int>(records->records.size())) {
        std::cerr << "\"" << w.file << "\" holds " << records->records.size() << " records: there is no record "
                  << number << ".\n";
        return kFailed;
    }

    std::string problem;
    const auto read = entire_read::ReadNotes(w.file, &problem);
    if (!problem.empty()) std::cerr << problem << '\n';
    entire_read::RecordNoteMap notes = read ? read->notes : entire_read::RecordNoteMap{};
    entire_read::RecordNote note = notes.count(number) ? notes[number] : entire_read::RecordNote{};
    const bool change =
        line.Given("--location") || line.Given("--height") || line.Given("--source") || line.Given("--note");
    if (change) {
        if (line.Given("--location")) note.location = w.location;
        if (line.Given("--height")) note.height = w.height;
        if (line.Given("--source")) note.source = w.source;
        if (line.Given("--note")) note.note = w.note;
        // Rewriting loses the lines that could not be read: said above, and here once more.
        if (note.Empty()) notes.erase(number);
        else notes[number] = note;
        std::string why;
        if (!entire_read::WriteNotes(w.file, notes, &why)) {
            std::cerr << entire_read::FileNotWrittenMessage(entire_read::NotesPath(w.file))
                      << (why.empty() ? "" : " (" + why + ")") << '\n';
            return kFailed;
        }
        // A note is one line in the sidecar: line breaks became blanks.
        const auto written = entire_read::ReadNotes(w.file);
        if (written && written->notes.count(number)) note = written->notes.at(number);
        if (!problem.empty())
            std::cerr << "The lines that could not be read are no longer in \"" << entire_read::NotesPath(w.file)
                      << "\".\n";
    }
    Show(number, note);
    return problem.empty() ? kOk : kFailed;
}

}  // namespace

void AddAnnotateCommands(Registry& registry) {
    registry.Add({"annotate", kAnnotateUsage, kAnnotateNotes,
                  [](CommandLine& line) -> CommandRun {
                      auto w = std::make_shared<AnnotateWords>();
                      line.Word("FILE.CSV", w->file, "an Entire Read CSV file");
                      line.Word("NO", w->number, "the record's number (1..99)");
                      line.Value("--location", w->location, "TEXT", "a text", "where the record was measured");
                      line.Value("--height", w->height, "TEXT", "a text", "the height above the floor");
                      line.Value("--source", w->source, "TEXT", "a text", "the source and the distance to it");
                      line.Value("--note", w->note, "TEXT", "a text", "a free note");
                      return [&line, w] { return Annotate(line, *w); };
                  },
                  kFileExits});
}

}  // namespace tessera::cli
