#pragma once
// Sidecar files: what the program records about a page's file that the file's own format has
// no room for (notes on Entire Read records, the marks and clock of a logging run) lives in a
// small CSV file beside it, so the page's file stays exactly as the page writes and reads it.
// A sidecar is UTF-8 text of plain CSV (a field with a comma, a quote or blanks at its ends is
// quoted, quotes doubled); lines starting with "#" are remarks or "# key: value" facts. A
// sidecar that is damaged costs its damaged lines only, and one that cannot be read at all
// never keeps the page's file from being read.
//
// The times a sidecar holds are ISO 8601 local times with milliseconds and, where the clock
// said it, the offset from UTC: "2024-03-01T02:10:00.250+01:00".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace tessera::page {

// "memory.CSV" -> "memory.notes.csv" (kind "notes"): a name ending in ".CSV" (in any case)
// loses it; any other name keeps its whole self.
std::string SidecarPath(const std::string& pagePath, std::string_view kind);

// One field as written: quoted when it must be; line breaks become blanks (a sidecar field is
// one line).
std::string CsvField(std::string_view text);
// The fields of one line (without its line break); nothing when a quote is left open or
// text follows a closing quote.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line);

// The lines of a file's text: LF or CR LF, a UTF-8 byte order mark at the start dropped, an
// empty last line (after the final line break) not counted.
std::vector<std::string_view> TextLines(std::string_view text);

// A "# key: value" line's parts; nothing for other lines.
struct Fact {
    std::string key, value;
};
std::optional<Fact> FactOf(std::string_view line);
std::string FactLine(std::string_view key, std::string_view value);

// "+01:00", "-05:30", "+00:00".
std::string OffsetText(int minutes);
// "+01:00", "+0100", "+01", "Z"; nothing for anything else (or beyond ±18 h).
std::optional<int> ParseOffset(std::string_view text);

// A reading of the local clock and, where the clock said it, its offset from UTC.
struct Moment {
    platform::LocalTime local{};
    std::optional<int> utcOffsetMinutes;
};
// "2024-03-01T02:10:00.250+01:00"; without the offset when the moment has none.
std::string IsoTime(const Moment& t);
// An ISO 8601 date and time ("T" or a blank between them), seconds and a fraction optional,
// an offset optional; nothing when it is none. The weekday is not filled.
std::optional<Moment> ParseIsoTime(std::string_view text);

// What a sidecar's damaged lines cost: "1 line could not be read.", "3 lines could not be read."
std::string LinesNotReadText(int skipped);
// Removes a sidecar that no longer belongs to its file; true when none is left.
bool RemoveSidecar(const std::string& path);

}  // namespace tessera::page
