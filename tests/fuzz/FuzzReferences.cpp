// The reference profile reader on any bytes: whatever it takes gives a positive, finite
// limit (or none) at every frequency, and each profile it refuses is named.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "survey/References.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessera::survey;
    const ProfileFile file = ParseProfiles(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
    for (const Profile& p : file.profiles) {
        FUZZ_CHECK(!p.limit.empty() || !p.levels.empty());
        for (double hz : {1.0, 10.0, 50.0, 60.0, 2e3, 400e3, 1e7}) {
            const auto limit = p.LimitAt(hz);
            FUZZ_CHECK(!limit || (*limit > 0 || p.Guidance()));
            FUZZ_CHECK(!limit || !std::isnan(*limit));
        }
        FUZZ_CHECK(!p.CoverageText().empty());
    }
    for (const auto& problem : file.problems) FUZZ_CHECK(problem.rfind("fuzz", 0) == 0);
    return 0;
}
