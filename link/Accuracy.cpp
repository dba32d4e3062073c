#include "link/Accuracy.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/Files.h"
#include "platform/InstallLayout.h"
#include "platform/Paths.h"

namespace tessera::link {

namespace {

AccuracyTable& Table() {
    static AccuracyTable table{};
    return table;
}

constexpr int kEntryBytes = 10;
constexpr int kEntriesBytes = kAccuracyEntries * kEntryBytes;  // 200

std::uint32_t ReadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t FloatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float BitsFloat(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

std::uint32_t CheckWord(const std::uint8_t* entries) {
    std::uint32_t x = 0;
    for (int i = 0; i < kEntriesBytes; i += 4) x ^= ReadLE32(entries + i);
    return x;
}

}  // namespace

std::vector<std::uint8_t> EncodeAccuracyFile(const AccuracyTable& table) {
    std::vector<std::uint8_t> bytes(kAccuracyFileSize, 0);
    for (int i = 0; i < kAccuracyEntries; ++i) {
        const AccuracyEntry& e = table[static_cast<std::size_t>(i)];
        std::uint8_t* p = bytes.data() + i * kEntryBytes;
        p[0] = static_cast<std::uint8_t>(e.mode);
        p[1] = e.rangeIndex;
        WriteLE32(p + 2, FloatBits(e.a));
        WriteLE32(p + 6, FloatBits(e.b));
    }
    WriteLE32(bytes.data() + kEntriesBytes, CheckWord(bytes.data()));
    return bytes;
}

std::optional<AccuracyTable> DecodeAccuracyFile(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < static_cast<std::size_t>(kAccuracyFileSize)) return std::nullopt;
    if (CheckWord(bytes.data()) != ReadLE32(bytes.data() + kEntriesBytes)) return std::nullopt;
    AccuracyTable table{};
    for (int i = 0; i < kAccuracyEntries; ++i) {
        const std::uint8_t* p = bytes.data() + i * kEntryBytes;
        AccuracyEntry& e = table[static_cast<std::size_t>(i)];
        e.mode = static_cast<char>(p[0]);
        e.rangeIndex = p[1];
        e.a = BitsFloat(ReadLE32(p + 2));
        e.b = BitsFloat(ReadLE32(p + 6));
    }
    return table;
}

Status LoadAccuracyTableFrom(const std::string& path) {
    std::ifstream in = platform::OpenInput(path);
    if (!in) return kStatusWrongModel;
    // Only the first 204 bytes matter; whatever follows is not read.
    std::vector<std::uint8_t> bytes(kAccuracyFileSize);
    in.read(reinterpret_cast<char*>(bytes.data()), kAccuracyFileSize);
    if (in.gcount() != kAccuracyFileSize) return kStatusWrongModel;
    const auto table = DecodeAccuracyFile(bytes);
    if (!table) return kStatusWrongModel;
    Table() = *table;
    return kStatusOk;
}

Status LoadAccuracyTable() {
    // The working directory first (a user may keep a calibrated copy there). A copy that is
    // there decides: a damaged calibration must stop the program rather than be replaced,
    // unnoticed, by nominal coefficients. Only when the working directory has none is the
    // copy that ships with the program used, so the program starts from any directory: the
    // one beside the program, else an installed copy's data directory; here too the first
    // copy found decides.
    if (platform::FileExists("accuracy.dat")) return LoadAccuracyTableFrom("accuracy.dat");
    for (const std::string& dir : {platform::ProgramDirectory(), platform::InstalledDataDirectory()}) {
        if (dir.empty()) continue;
        const std::string path = dir + "/accuracy.dat";
        if (platform::FileExists(path)) return LoadAccuracyTableFrom(path);
    }
    return kStatusWrongModel;
}

const AccuracyTable& TheAccuracyTable() { return Table(); }

void SetAccuracyTable(const AccuracyTable& table) { Table() = table; }

std::optional<AccuracyEntry> FindAccuracy(char mode, std::uint8_t rangeValue) {
    const std::uint8_t index = rangeValue % 10;
    std::optional<AccuracyEntry> found;
    for (const AccuracyEntry& e : Table())
        if (e.mode == mode && e.rangeIndex == index) found = e;  // the last one counts
    return found;
}

AccuracyBand ComputeAccuracyBand(double displayedR, char mode, std::uint8_t rangeValue, int decimals,
                                 double threshold) {
    AccuracyBand band;
    const auto entry = FindAccuracy(mode, rangeValue);
    if (!entry) return band;
    if (decimals < 0) decimals = 0;
    double step = 1.0;
    double perStep = 1.0;  // 1 / step, exact for the usual 0..3 decimals
    for (int i = 0; i < decimals; ++i) {
        step *= 0.1;
        perStep *= 10.0;
    }
    if (decimals == 1) step = 0.1;
    if (decimals == 2) step = 0.01;
    if (decimals == 3) step = 0.001;

    double acc = static_cast<double>(entry->a) * displayedR + static_cast<double>(entry->b) * step;
    // The band is never narrower than the meter's own resolution allows: round up to a whole step.
    const double q = acc * perStep;
    const double e = q - std::trunc(q);
    if (e > threshold) acc = acc - e * step + step;

    band.plus = static_cast<float>(displayedR + acc);
    band.minus = static_cast<float>(displayedR - acc);
    band.found = true;
    return band;
}

}  // namespace tessera::link
