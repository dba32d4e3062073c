// Reference profiles as data: the shipped file against the published values at the
// frequencies people use, the pieces over frequency, a user's file and typed values.

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "survey/Evaluation.h"
#include "survey/References.h"

namespace tessera::survey {
namespace {

const ProfileBook& Shipped() {
    static const ProfileBook book = [] {
        ProfileBook b;
        const auto text = tessera::platform::ReadWholeFile(TESSERA_REFERENCES_PATH);
        EXPECT_TRUE(text.has_value());
        b.Add(ParseProfiles(text.value_or(""), "references.txt"));
        return b;
    }();
    return book;
}

double MicroTesla(const char* id, double hz) {
    const auto p = Shipped().Find(id);
    EXPECT_TRUE(p.has_value()) << id;
    const auto limit = p ? p->LimitAt(hz) : std::nullopt;
    EXPECT_TRUE(limit.has_value()) << id << " at " << hz << " Hz";
    return limit.value_or(0) * 1e6;
}

TEST(SurveyReferences, ShippedProfilesGiveThePublishedLevels) {
    EXPECT_TRUE(Shipped().Problems().empty()) << Shipped().Problems().front();
    for (const Profile& p : Shipped().Profiles()) EXPECT_FALSE(p.sources.empty()) << p.id;
    struct Expected {
        const char* id;
        double hz, uT;
    } const kLevels[] = {
        {"icnirp2010-public", 50, 200},
        {"icnirp2010-public", 60, 200},
        {"icnirp2010-public", 1000, 80},
        {"icnirp2010-public", 10, 500},
        {"icnirp2010-public", 100e3, 27},
        {"icnirp2010-occupational", 50, 1000},
        {"icnirp2010-occupational", 1000, 300},
        {"icnirp1998-public", 50, 100},
        {"icnirp1998-public", 60, 5000.0 / 60},
        {"icnirp1998-public", 100e3, 6.25},
        {"icnirp1998-public", 400e3, 2.3},
        {"icnirp1998-occupational", 50, 500},
        {"icnirp1998-occupational", 60, 25000.0 / 60},
        {"eu2013-low", 50, 1000},
        {"eu2013-high", 50, 6000},
        {"eu2013-high", 10e3, 100},
        {"ieee-c95.6-public", 60, 904},
    };
    for (const Expected& e : kLevels) EXPECT_NEAR(MicroTesla(e.id, e.hz), e.uT, e.uT * 1e-9) << e.id << " " << e.hz;
}

TEST(SurveyReferences, PiecesMeetAtTheirEndsAndNothingIsSaidOutsideThem) {
    // ICNIRP 2010 public: 5e-3/f up to 25 Hz, 2e-4 from there: the boundary belongs to the
    // upper piece, and both agree on it.
    EXPECT_NEAR(MicroTesla("icnirp2010-public", 25), 200, 1e-9);
    EXPECT_NEAR(MicroTesla("icnirp2010-public", 24.999999), 200, 1e-3);
    EXPECT_NEAR(MicroTesla("icnirp2010-public", 10e6), 27, 1e-9);  // the last piece keeps its end
    const auto ieee = Shipped().Find("ieee-c95.6-public");
    ASSERT_TRUE(ieee);
    EXPECT_FALSE(ieee->LimitAt(100e3));  // the standard stops at 3 kHz
    const auto sbm = Shipped().Find("sbm-sleeping");
    ASSERT_TRUE(sbm && sbm->Guidance());
    ASSERT_EQ(sbm->levels.size(), 3u);
    EXPECT_NEAR(sbm->levels[0].tesla, 20e-9, 1e-18);
    EXPECT_NEAR(sbm->levels[2].tesla, 500e-9, 1e-18);
}

TEST(SurveyReferences, AUsersFileAddsAndReplacesAndItsMistakesAreNamed) {
    ProfileBook book = Shipped();
    book.Add(
        ParseProfiles("# mine\n"
                      "[icnirp2010-public]\nname = Stricter\nsource = my client\nlimit = 50 uT\n"
                      "[site]\nname = Site rule\nsource = contract\nlimit = 10 Hz .. 1 kHz: 4000 uT / f\n"
                      "[broken]\nname = Broken\nlimit = 1 kHz .. 10 Hz: 1 uT\n"
                      "[odd]\ncolour = blue\n",
                      "mine.txt"));
    EXPECT_NEAR(book.Find("ICNIRP2010-public")->LimitAt(50).value() * 1e6, 50, 1e-9);
    EXPECT_NEAR(book.Find("Site rule")->LimitAt(100).value() * 1e6, 40, 1e-9);
    EXPECT_FALSE(book.Find("broken"));
    EXPECT_FALSE(book.Find("odd"));
    ASSERT_EQ(book.Problems().size(), 2u);
    EXPECT_EQ(book.Problems()[0].rfind("mine.txt line 12: ", 0), 0u) << book.Problems()[0];
    EXPECT_NE(book.Problems()[1].find("line 14"), std::string::npos) << book.Problems()[1];
}

TEST(SurveyReferences, TypedValuesAreLimitsAtEveryFrequency) {
    const auto typed = Shipped().Find("0.4uT");
    ASSERT_TRUE(typed);
    EXPECT_NEAR(typed->LimitAt(50).value(), 4e-7, 1e-20);
    EXPECT_NEAR(typed->LimitAt(300e3).value(), 4e-7, 1e-20);
    EXPECT_NEAR(TypedProfile("80 A/m")->LimitAt(50).value() * 1e6, 100.53, 0.01);
    EXPECT_FALSE(TypedProfile("0.4"));  // a limit needs its unit
    EXPECT_FALSE(TypedProfile("50%"));  // and a magnetic one
}

TEST(SurveyReferences, JudgementInTheSeriesUnitAndNotForExposureLevels) {
    Series mg(*UnitNamed("mG"));
    mg.BeginPart({"t", 0, 0, 1, true, 0, 1000, '0'});
    for (double v : {100.0, 1000.0, 3000.0}) mg.Append({0, 0, 0, v}, 0);  // 10, 100, 300 µT
    Request request;
    request.reference = Shipped().Find("icnirp2010-public");  // 200 µT = 2000 mG at 50 Hz
    const Evaluation e = Evaluate(mg, request);
    ASSERT_TRUE(e.reference && e.reference->limit);
    EXPECT_NEAR(*e.reference->limit, 2000, 1e-9);
    EXPECT_NEAR(*e.reference->maxPercent, 150, 1e-9);
    EXPECT_NEAR(*e.reference->meanPercent, (100 + 1000 + 3000) / 3.0 / 20, 1e-9);
    EXPECT_NEAR(e.reference->percentAbove, 100.0 / 3, 1e-9);

    Series percent(*UnitNamed("%"));
    percent.BeginPart({"t", 0, 0, 1, true, 0, 1000, '3'});
    percent.Append({0, 0, 0, 12}, 0);
    const Evaluation pe = Evaluate(percent, request);
    ASSERT_TRUE(pe.reference);
    EXPECT_FALSE(pe.reference->limit);
    EXPECT_NE(pe.reference->notApplicable.find("exposure"), std::string::npos);
    EXPECT_DOUBLE_EQ(pe.stats.max->value, 12);  // the statistics are there all the same
}

}  // namespace
}  // namespace tessera::survey

namespace tessera::survey {
namespace {

TEST(SurveyReferences, TheFileFormsPeopleWrite) {
    // A byte order mark, f² written three ways, a limit in A/m, levels in any order.
    const ProfileFile file = ParseProfiles(
        "\xEF\xBB\xBF[a]\nlimit = 1 Hz .. 10 Hz: 100 uT / f^2\n"
        "[b]\nlimit = 1 kHz .. 2 kHz: 1 T / f\xC2\xB2\n"
        "[c]\nlimit = 80 A/m\n"
        "[d]\nlevel = 100 nT: severe\nlevel = 20 nT: slight\n",
        "mine");
    ASSERT_TRUE(file.problems.empty()) << file.problems.front();
    ASSERT_EQ(file.profiles.size(), 4u);
    EXPECT_EQ(file.profiles[0].id, "a");                                   // the mark is no part of the name
    EXPECT_NEAR(file.profiles[0].LimitAt(5).value(), 100e-6 / 25, 1e-15);  // / f^2
    EXPECT_NEAR(file.profiles[1].LimitAt(1000).value(), 1e-6, 1e-15);      // / f²
    EXPECT_FALSE(file.profiles[1].LimitAt(500));
    EXPECT_NEAR(file.profiles[2].LimitAt(50).value(), 80 * 4e-7 * 3.14159265358979, 1e-12);
    EXPECT_EQ(file.profiles[2].CoverageText(), "every frequency");
    EXPECT_EQ(file.profiles[0].CoverageText(), "1 Hz \xE2\x80\x93 10 Hz");
    ASSERT_EQ(file.profiles[3].levels.size(), 2u);
    EXPECT_EQ(file.profiles[3].levels[0].label, "slight");  // rising, whatever the order written
    EXPECT_NEAR(file.profiles[3].LimitAt(50).value(), 20e-9, 1e-18);

    const ProfileFile mixed = ParseProfiles("[m]\nlimit = 1 uT\nlevel = 2 uT: more\n", "mine");
    EXPECT_TRUE(mixed.profiles.empty());
    ASSERT_EQ(mixed.problems.size(), 1u);
    EXPECT_EQ(mixed.problems[0], "mine line 3: a profile has either limits or levels");
}

}  // namespace
}  // namespace tessera::survey
