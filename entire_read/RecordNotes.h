#pragma once
// Notes on the records of an Entire Read file: where each was measured, at what height, near
// which source (and how far from it), and a free note. The Entire Read file has no room for
// them, so they live in its sidecar NAME.notes.csv (page/Sidecar.h), UTF-8:
//   # TESSERA Entire Read notes
//   no,location,height,source,note
//   3,Kitchen,1.0 m,"fridge, 0.5 m",door open
// `no` is the record's NO in the file. Records without notes have no line.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tessera::entire_read {

inline constexpr std::string_view kNotesSidecar = "notes";

struct RecordNote {
    std::string location, height, source, note;
    bool Empty() const { return location.empty() && height.empty() && source.empty() && note.empty(); }
    bool operator==(const RecordNote&) const = default;
};
// Record number (1..99) -> its notes; records without notes are not there.
using RecordNoteMap = std::map<int, RecordNote>;

// NAME.notes.csv beside NAME.CSV.
std::string NotesPath(const std::string& csvPath);

std::string NotesFileText(const RecordNoteMap& notes);
struct NotesFile {
    RecordNoteMap notes;
    int skippedLines = 0;  // lines that could not be read (they are lost, the rest is kept)
};
NotesFile ParseNotesFile(std::string_view text);

// The notes of the records of `csvPath`: nothing when it has no sidecar. A damaged sidecar
// gives what could be read of it, and `problem` (when not null) then says how many lines were
// lost. Reading the Entire Read file itself never depends on it.
std::optional<NotesFile> ReadNotes(const std::string& csvPath, std::string* problem = nullptr);
// Writes the sidecar of `csvPath` (through platform::ReplaceFileContents); notes that hold
// nothing remove it. False, with `error`, when it could not be written or removed.
bool WriteNotes(const std::string& csvPath, const RecordNoteMap& notes, std::string* error = nullptr);

}  // namespace tessera::entire_read
