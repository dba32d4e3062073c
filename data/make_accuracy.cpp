// make-accuracy: turns the readable coefficient table (accuracy.csv) into the packed
// accuracy.dat the program loads at start-up, or shows an existing accuracy.dat as a table.
//
//   make-accuracy <table.csv> <accuracy.dat>
//   make-accuracy --show <accuracy.dat>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "link/Accuracy.h"

using tessera::link::AccuracyEntry;
using tessera::link::AccuracyTable;

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ParseFloat(const std::string& text, float* out) {
    double v = 0.0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) return false;
    *out = static_cast<float>(v);
    return true;
}

int Fail(const std::string& where, const std::string& why) {
    std::cerr << "make-accuracy: " << where << ": " << why << "\n";
    return 1;
}

int Show(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(path, "cannot be opened");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto table = tessera::link::DecodeAccuracyFile(bytes);
    if (!table) return Fail(path, "too short or its check word does not match");
    std::cout << "mode,range_index,a,b\n";
    for (const AccuracyEntry& e : *table) {
        char line[96];
        std::snprintf(line, sizeof line, "%c,%u,%.9g,%.9g\n", e.mode, static_cast<unsigned>(e.rangeIndex),
                      static_cast<double>(e.a), static_cast<double>(e.b));
        std::cout << line;
    }
    return 0;
}

int Make(const std::string& csvPath, const std::string& datPath) {
    std::ifstream in(csvPath);
    if (!in) return Fail(csvPath, "cannot be opened");
    AccuracyTable table{};
    std::set<std::pair<char, int>> seen;
    int count = 0;
    int lineNo = 0;
    bool header = false;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string where = csvPath + ":" + std::to_string(lineNo);
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (!header) {
            header = true;
            if (line != "mode,range_index,a,b") return Fail(where, "expected the header mode,range_index,a,b");
            continue;
        }
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ',')) cells.push_back(Trim(cell));
        if (cells.size() != 4) return Fail(where, "expected four cells: mode,range_index,a,b");
        if (cells[0].size() != 1 || cells[0][0] < '0' || cells[0][0] > '4')
            return Fail(where, "mode must be one digit 0..4");
        if (cells[1].size() != 1 || cells[1][0] < '0' || cells[1][0] > '3')
            return Fail(where, "range_index must be 0..3");
        AccuracyEntry e;
        e.mode = cells[0][0];
        e.rangeIndex = static_cast<std::uint8_t>(cells[1][0] - '0');
        if (!ParseFloat(cells[2], &e.a)) return Fail(where, "a is not a number");
        if (!ParseFloat(cells[3], &e.b)) return Fail(where, "b is not a number");
        if (e.a < 0.0f || e.b < 0.0f) return Fail(where, "a and b must not be negative");
        if (!seen.insert({e.mode, e.rangeIndex}).second) return Fail(where, "mode and range_index appear twice");
        if (count >= tessera::link::kAccuracyEntries) return Fail(where, "more than twenty entries");
        table[static_cast<std::size_t>(count++)] = e;
    }
    if (count != tessera::link::kAccuracyEntries)
        return Fail(csvPath, "needs exactly twenty entries, found " + std::to_string(count));

    const auto bytes = tessera::link::EncodeAccuracyFile(table);
    const std::string temp = datPath + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return Fail(temp, "cannot be written");
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) return Fail(temp, "cannot be written");
    }
    // Replace in one step, so a program starting meanwhile never finds half a file.
    if (std::rename(temp.c_str(), datPath.c_str()) != 0) {
        std::remove(temp.c_str());
        return Fail(datPath, "cannot be replaced");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--show") return Show(argv[2]);
    if (argc == 3) return Make(argv[1], argv[2]);
    std::cerr << "usage: make-accuracy <table.csv> <accuracy.dat>\n"
                 "       make-accuracy --show <accuracy.dat>\n";
    return 2;
}
