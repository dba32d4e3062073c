#include "entire_read/RecordNotes.h"

#include <charconv>

#include "entire_read/DisplayRule.h"
#include "page/Sidecar.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"

namespace tessera::entire_read {
namespace {

constexpr std::string_view kColumns = "no,location,height,source,note";

std::optional<int> Number(std::string_view text) {
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

}  // namespace

std::string NotesPath(const std::string& csvPath) { return page::SidecarPath(csvPath, kNotesSidecar); }

std::string NotesFileText(const RecordNoteMap& notes) {
    std::string text = "# TESSERA Entire Read notes\r\n" + std::string(kColumns) + "\r\n";
    for (const auto& [number, n] : notes) {
        if (n.Empty()) continue;
        text += std::to_string(number) + "," + page::CsvField(n.location) + "," + page::CsvField(n.height) + "," +
                page::CsvField(n.source) + "," + page::CsvField(n.note) + "\r\n";
    }
    return text;
}

NotesFile ParseNotesFile(std::string_view text) {
    NotesFile file;
    for (std::string_view line : page::TextLines(text)) {
        if (line.empty() || line.front() == '#') continue;
        const auto fields = page::SplitCsvLine(line);
        if (fields && !fields->empty() && (*fields)[0] == "no") continue;  // the column names
        const auto number = fields && fields->size() >= 2 && fields->size() <= 5 ? Number((*fields)[0]) : std::nullopt;
        if (!number || *number < 1 || *number > kMaxRecords) {
            ++file.skippedLines;
            continue;
        }
        RecordNote note;
        std::string* parts[] = {&note.location, &note.height, &note.source, &note.note};
        for (std::size_t i = 1; i < fields->size(); ++i) *parts[i - 1] = (*fields)[i];
        if (!note.Empty()) file.notes[*number] = std::move(note);  // a later line for the same record wins
    }
    return file;
}

std::optional<NotesFile> ReadNotes(const std::string& csvPath, std::string* problem) {
    const std::string path = NotesPath(csvPath);
    const auto text = platform::ReadWholeFile(path);
    if (!text) return std::nullopt;
    NotesFile file = ParseNotesFile(*text);
    if (problem && file.skippedLines > 0) {
        *problem = "\"" + path + "\": " + page::LinesNotReadText(file.skippedLines);
    }
    return file;
}

bool WriteNotes(const std::string& csvPath, const RecordNoteMap& notes, std::string* error) {
    const std::string path = NotesPath(csvPath);
    bool any = false;
    for (const auto& entry : notes) any = any || !entry.second.Empty();
    if (any) return platform::ReplaceFileContents(path, NotesFileText(notes), error);
    // Notes of whatever the file held before would now speak for other records.
    if (!page::RemoveSidecar(path)) {
        if (error) *error = "an older \"" + path + "\" could not be removed";
        return false;
    }
    return true;
}

}  // namespace tessera::entire_read
