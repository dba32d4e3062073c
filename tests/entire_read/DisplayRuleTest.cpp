// The value display rule: scaling, decimals, suffixes, over-range, unit conversion and
// the accuracy band, with the worked examples of the page's documentation as data.

#include <gtest/gtest.h>

#include "entire_read/DisplayRule.h"
#include "tests/entire_read/EntireReadTestData.h"

namespace tessera::entire_read {
namespace {

using testdata::Record;
using testdata::UniformTable;
using testdata::Values;

class DisplayRuleTest : public ::testing::Test {
protected:
    void SetUp() override { link::SetAccuracyTable(UniformTable(0.0f, 1.0f)); }
    void TearDown() override { link::SetAccuracyTable(link::AccuracyTable{}); }

    static RowTexts Row(const link::MemoryRecord& r, int unit) { return FormatRow(0, r, Values(r), unit).texts; }
};

TEST_F(DisplayRuleTest, LowestTeslaRangeInEveryUnit) {
    const auto r = Record('0', '0', '0', 0, 1.5e-6, 0, 0);
    struct Case {
        int unit;
        const char* unitText;
        const char* x;
    } cases[] = {
        {kOriginalUnit, "T", "1.500E-6"},      {kUnitMicroTesla, "uT", "1.500"}, {kUnitMilliTesla, "mT", "1.500E-3"},
        {kUnitTesla, "T", "1.500E-6"},         {kUnitMilliGauss, "mG", "15.00"}, {kUnitGauss, "G", "15.00E-3"},
        {kUnitAmperePerMetre, "A/m", "1.194"},
    };
    for (const Case& c : cases) {
        const RowTexts t = Row(r, c.unit);
        EXPECT_EQ(t.x, c.x) << "unit " << c.unit;
        EXPECT_EQ(t.unit, c.unitText) << "unit " << c.unit;
        EXPECT_EQ(t.R, c.x) << "R equals x when y and z are zero, unit " << c.unit;
        EXPECT_EQ(t.displayed, c.x) << "axis x is the displayed value, unit " << c.unit;
    }
}

TEST_F(DisplayRuleTest, ComponentAboveFullScaleIsOverRangeInEveryUnitAndMarksR) {
    const auto r = Record('0', '3', '0', 0, 2.1e-6, 0.5e-6, 0);
    for (int unit = kOriginalUnit; unit <= kUnitAmperePerMetre; ++unit) {
        const RowTexts t = Row(r, unit);
        EXPECT_EQ(t.x, "O.L.") << "unit " << unit;
        EXPECT_EQ(t.R, "O.L.") << "unit " << unit;
        EXPECT_EQ(t.displayed, "O.L.") << "axis R shows R, unit " << unit;
        EXPECT_EQ(t.plus, "O.L.");
        EXPECT_EQ(t.minus, "O.L.");
        EXPECT_NE(t.y, "O.L.") << "y stays a number, unit " << unit;
    }
    // Exactly full scale is still a reading.
    EXPECT_EQ(Row(Record('0', '0', '0', 0, 2.0e-6, 0, 0), kUnitMicroTesla).x, "2.000");
}

TEST_F(DisplayRuleTest, ExactFullScaleStaysAReadingThroughTheSinglePrecisionFactors) {
    // 0.1, 0.001 and 1e-7 are a little too large in single precision: 2.000 G shown in mT
    // lands a hair above 200.
    const auto fullScale = Record('0', '0', '1', 2, 2.0, 0, 0);
    for (int unit = kOriginalUnit; unit <= kUnitGauss; ++unit) {
        const RowTexts t = Row(fullScale, unit);
        EXPECT_NE(t.x, "O.L.") << "unit " << unit;
        EXPECT_NE(t.R, "O.L.") << "unit " << unit;
        EXPECT_NE(t.plus, "O.L.") << "unit " << unit;
    }
    EXPECT_EQ(Row(fullScale, kUnitMilliTesla).x, "200.0E-3");
    // A reading truly above full scale is still over range.
    EXPECT_EQ(Row(Record('0', '0', '1', 2, 2.0002, 0, 0), kUnitMilliTesla).x, "O.L.");
}

TEST_F(DisplayRuleTest, ResultantMayExceedFullScaleWithoutOverRange) {
    const auto r = Record('0', '3', '0', 0, 1.9e-6, 1.9e-6, 1.9e-6);
    const RowTexts t = Row(r, kUnitMicroTesla);
    EXPECT_EQ(t.R, "3.291");
    EXPECT_EQ(t.x, "1.900");
    EXPECT_EQ(t.displayed, "3.291");
}

TEST_F(DisplayRuleTest, HighestTeslaRangeUsesThousandsSuffixes) {
    const auto r = Record('1', '0', '0', 3, 1.234e-3, 0, 0);
    EXPECT_EQ(Row(r, kUnitMilliGauss).x, "12.34E+3");
    EXPECT_EQ(Row(r, kUnitMicroTesla).x, "1.234E+3");
    EXPECT_EQ(Row(r, kUnitMilliTesla).x, "1.234");
    EXPECT_EQ(Row(r, kOriginalUnit).x, "1.234E-3");
    EXPECT_EQ(Row(r, kUnitGauss).x, "12.34");
    // An automatic range (index 13) uses the format of its range index 3.
    EXPECT_EQ(Row(Record('1', '0', '0', 13, 1.234e-3, 0, 0), kUnitMilliTesla).x, "1.234");
}

TEST_F(DisplayRuleTest, GaussAndAmpereRecordsConvertBetweenFamilies) {
    // 0.015 G is 1.5 uT; 1.6 A/m on range 0 is 2.011 uT.
    const auto gauss = Record('0', '1', '1', 0, 0, 0.015, 0);
    EXPECT_EQ(Row(gauss, kOriginalUnit).y, "15.00E-3");
    EXPECT_EQ(Row(gauss, kUnitMicroTesla).y, "1.500");
    EXPECT_EQ(Row(gauss, kUnitMilliGauss).y, "15.00");
    const auto ampere = Record('0', '2', '2', 0, 0, 0, 1.2);
    EXPECT_EQ(Row(ampere, kOriginalUnit).z, "1.200");
    EXPECT_EQ(Row(ampere, kOriginalUnit).unit, "A/m");
    EXPECT_EQ(Row(ampere, kUnitMicroTesla).z, "1.508");
    EXPECT_EQ(Row(ampere, kUnitMicroTesla).displayed, "1.508");
}

TEST_F(DisplayRuleTest, PercentRecordsStayInPercentWhateverTheUnit) {
    const auto r = Record('3', '3', '3', 1, 12.5, 3.0, 4.0);
    for (int unit = kOriginalUnit; unit <= kUnitAmperePerMetre; ++unit) {
        const RowTexts t = Row(r, unit);
        EXPECT_EQ(t.unit, "%") << "unit " << unit;
        EXPECT_EQ(t.x, "12.50") << "unit " << unit;
        EXPECT_EQ(t.mode, "Exposure Level(General Public)");
    }
    EXPECT_EQ(Row(Record('4', '0', '3', 3, 2100.0, 0, 0), kUnitAmperePerMetre).x, "O.L.");
    EXPECT_EQ(Row(Record('4', '0', '3', 3, 1999.6, 0, 0), kOriginalUnit).x, "2000");
}

TEST_F(DisplayRuleTest, FixedTextsOfARow) {
    const auto r = Record('2', '2', '0', 1, 1e-6, 2e-6, 3e-6, '2', '1');
    const RowTexts t = FormatRow(41, r, Values(r), kOriginalUnit).texts;
    EXPECT_EQ(t.number, "42");
    EXPECT_EQ(t.mode, "Magnetic Flux Density(2kHz-400kHz)");
    EXPECT_EQ(t.axis, "z");
    EXPECT_EQ(t.sensor, "3cm2");
    EXPECT_EQ(t.slow, "ON");
    EXPECT_EQ(t.displayed, "3.00E-6");
}

TEST_F(DisplayRuleTest, RangeIndexAboveThreeLeavesValueAndBandCellsEmpty) {
    const RowTexts t = Row(Record('0', '0', '0', 5, 1e-6, 0, 0), kUnitMicroTesla);
    EXPECT_EQ(t.x, "");
    EXPECT_EQ(t.R, "");
    EXPECT_EQ(t.plus, "");
    EXPECT_EQ(t.minus, "");
    EXPECT_EQ(t.axis, "x");
}

TEST_F(DisplayRuleTest, BandOfOneStepAroundTheShownR) {
    // A = 0, B = 1: one step of the last shown decimal either side.
    const auto r = Record('0', '0', '0', 0, 1.5e-6, 0, 0);
    FormattedRow row = FormatRow(0, r, Values(r), kUnitMicroTesla);
    EXPECT_TRUE(row.bandComputed);
    EXPECT_EQ(row.texts.plus, "1.501");
    EXPECT_EQ(row.texts.minus, "1.499");
    EXPECT_FLOAT_EQ(row.plus, 1.501f);
    row = FormatRow(0, r, Values(r), kOriginalUnit);
    EXPECT_EQ(row.texts.plus, "1.501E-6");
    EXPECT_EQ(row.texts.minus, "1.499E-6");
    row = FormatRow(0, r, Values(r), kUnitMilliGauss);
    EXPECT_EQ(row.texts.plus, "15.01");
    EXPECT_EQ(row.texts.minus, "14.99");
}

TEST_F(DisplayRuleTest, BandWiderThanRShowsZeroLowerBound) {
    link::SetAccuracyTable(UniformTable(0.0f, 5.0f));
    const auto r = Record('0', '0', '0', 0, 0.002e-6, 0, 0);
    const FormattedRow row = FormatRow(0, r, Values(r), kUnitMicroTesla);
    EXPECT_EQ(row.texts.R, "0.002");
    EXPECT_EQ(row.texts.plus, "0.007");
    EXPECT_EQ(row.texts.minus, "0.000");
    EXPECT_LT(row.minus, 0.0f);
    // Converted into mG the zero text has two decimals and no suffix; in G no "E-3".
    const auto big = Record('0', '0', '0', 0, 0.003e-6, 0, 0);
    EXPECT_EQ(FormatRow(0, big, Values(big), kUnitMilliGauss).texts.minus, "0.00");
    EXPECT_EQ(FormatRow(0, big, Values(big), kUnitGauss).texts.minus, "0.00");
}

TEST_F(DisplayRuleTest, RoundingThresholdOnlyForOwnUnitLowestTeslaRange) {
    // A * R leaves about 0.00005 of a step: kept for a tesla record of range 0 shown in
    // its own unit, rounded up to a whole step everywhere else.
    link::SetAccuracyTable(UniformTable(0.01000005f, 0.0f));
    const auto r = Record('0', '0', '0', 0, 1.0e-6, 0, 0);
    EXPECT_EQ(FormatRow(0, r, Values(r), kOriginalUnit).texts.plus, "1.010E-6");
    EXPECT_EQ(FormatRow(0, r, Values(r), kUnitTesla).texts.plus, "1.011E-6");
    EXPECT_EQ(FormatRow(0, r, Values(r), kUnitMicroTesla).texts.plus, "1.011");
    // A clear half step rounds up in every case.
    link::SetAccuracyTable(UniformTable(0.0105f, 0.0f));
    EXPECT_EQ(FormatRow(0, r, Values(r), kOriginalUnit).texts.plus, "1.011E-6");
    EXPECT_EQ(FormatRow(0, r, Values(r), kOriginalUnit).texts.minus, "0.989E-6");
}

TEST_F(DisplayRuleTest, NoAccuracyEntryLeavesBandEmpty) {
    link::SetAccuracyTable(link::AccuracyTable{});
    const auto r = Record('0', '0', '0', 0, 1.5e-6, 0, 0);
    const FormattedRow row = FormatRow(0, r, Values(r), kUnitMicroTesla);
    EXPECT_FALSE(row.bandComputed);
    EXPECT_EQ(row.texts.plus, "");
    EXPECT_EQ(row.texts.minus, "");
    EXPECT_EQ(row.texts.x, "1.500");
}

TEST(DisplayUnitTest, FileFactorsUndoTheDisplayConversion) {
    // A value shown in any unit and read back into its record's unit family must land
    // where it started: the two factor tables are each other's inverse.
    for (char family : {'0', '1', '2'}) {
        for (int unit = kUnitMicroTesla; unit <= kUnitAmperePerMetre; ++unit) {
            const double shown = 3.0 * ConversionFactor(family, unit);
            const auto back = FileUnitFactor(DisplayUnitText(unit), family);
            ASSERT_TRUE(back.has_value());
            EXPECT_NEAR(shown * *back, 3.0, 3.0e-6) << "family " << family << " unit " << unit;
        }
    }
    EXPECT_EQ(FileUnitFactor("%", '3'), 1.0);
    EXPECT_EQ(FileUnitFactor("uT", '3'), 1.0);
    EXPECT_FALSE(FileUnitFactor("kG", '0').has_value());
}

}  // namespace
}  // namespace tessera::entire_read
