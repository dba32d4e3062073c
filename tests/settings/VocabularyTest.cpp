#include <gtest/gtest.h>

#include "settings/Vocabulary.h"

using namespace tessera::settings;

namespace {

// A New Setting as the Configuration page builds it from a meter's current settings.
MeterSettings NewSetting(char mode, char unit, std::uint8_t rangeCode, char output) {
    MeterSettings s;
    s.mode = mode;
    s.axis = '3';
    s.unit = unit;
    s.range = rangeCode;
    s.output = output;
    s.sensor = '1';
    s.autoPowerOff = '0';
    s.beep = '1';
    s.spare = '0';
    s.slow = '0';
    s.memMode = '0';
    return s;
}

}  // namespace

TEST(Settings, EqualityComparesEverySettingButNotTheValues) {
    MeterSettings a = NewSetting('0', '0', 2, '0');
    MeterSettings b = a;
    b.value1 = 1.5;
    b.value3 = -7.0;
    EXPECT_TRUE(SameSettings(a, b));
    char MeterSettings::*fields[] = {&MeterSettings::mode,   &MeterSettings::axis,   &MeterSettings::unit,
                                     &MeterSettings::output, &MeterSettings::sensor, &MeterSettings::autoPowerOff,
                                     &MeterSettings::beep,   &MeterSettings::spare,  &MeterSettings::slow,
                                     &MeterSettings::memMode};
    for (auto f : fields) {
        MeterSettings c = a;
        c.*f = '7';
        EXPECT_FALSE(SameSettings(a, c));
    }
    MeterSettings r = a;
    r.range = 3;
    EXPECT_FALSE(SameSettings(a, r));
}

TEST(Settings, MeterIsKnownFromTheModeByte) {
    EXPECT_FALSE(MeterKnown(MeterSettings{}));
    MeterSettings s;
    s.mode = '0';
    EXPECT_TRUE(MeterKnown(s));
    s.mode = '/';
    EXPECT_FALSE(MeterKnown(s));
    s.mode = static_cast<char>(0xC0);  // a high byte is "above '0'", not negative
    EXPECT_TRUE(MeterKnown(s));
    EXPECT_TRUE(IsExposureMode(static_cast<char>(0xC0)));
    EXPECT_FALSE(IsExposureMode('2'));
    EXPECT_TRUE(IsExposureMode('3'));
}

TEST(Settings, CodeTextTables) {
    EXPECT_EQ(ModeText('0'), "Magnetic Flux Density(10Hz-400kHz)");
    EXPECT_EQ(ModeText('2'), "Magnetic Flux Density(2kHz-400kHz)");
    EXPECT_EQ(ModeText('4'), "Exposure Level(Occupational)");
    EXPECT_EQ(ModeText('5'), "");
    EXPECT_EQ(AxisText('3'), "R");
    EXPECT_EQ(AxisText('0'), "x");
    EXPECT_EQ(UnitText('2'), "A/m");
    EXPECT_EQ(UnitText('3'), "%");
    EXPECT_EQ(SensorText('1'), "100cm2");
    EXPECT_EQ(SensorCsvText('2'), "8622");
    EXPECT_EQ(OutputCsvText('2'), "REC");
    EXPECT_EQ(SwitchText('1'), "ON");
    EXPECT_EQ(SwitchText(0), "");
    EXPECT_EQ(RowItemText(kRowMemMode), "MEM.MODE");
    EXPECT_EQ(RowItemText(kRowAutoPowerOff), "Auto Power Off");

    EXPECT_EQ(OutputText('1', '0', Column::NewSetting), "Monitor");
    EXPECT_EQ(OutputText('1', '3', Column::NewSetting), "Monitor (only for 8620)");
    EXPECT_EQ(OutputText('1', '3', Column::Current), "Monitor");
    EXPECT_EQ(OutputText('2', '4', Column::Current), "Resultant Effective Value");

    EXPECT_EQ(ModeFromText("exposure level(general public)"), '3');
    EXPECT_EQ(ModeFromText("Exposure Level"), std::nullopt);
    EXPECT_EQ(OutputFromText("MONITOR (ONLY FOR 8620)"), '1');
    EXPECT_EQ(OutputFromText("Monitor"), '1');
    EXPECT_EQ(OutputFromText("MON"), std::nullopt);
    EXPECT_EQ(AxisFromText("R"), '3');
    EXPECT_EQ(AxisFromText("r"), std::nullopt) << "a first character is compared exactly";
    EXPECT_EQ(UnitFromText("A/m"), '2');
    EXPECT_EQ(UnitFromText("t"), '3');
    EXPECT_EQ(SwitchFromText("on"), '1');
    EXPECT_EQ(SwitchFromText("ONE"), '0');
}

TEST(Settings, RangeFormsAndTexts) {
    // Reply range index 12: automatic ranging, shown as AUTO, code 10, sent as RANGE 0.
    EXPECT_EQ(RangeTextFromIndex('0', 12), "AUTO");
    EXPECT_EQ(RangeCodeFromIndex(12), kRangeAuto);
    EXPECT_EQ(RangeCommandNumber(RangeCodeFromIndex(12)), 0);
    // Reply range index 0: code 1, sent as RANGE 1.
    EXPECT_EQ(RangeCodeFromIndex(0), 1);
    EXPECT_EQ(RangeCommandNumber(RangeCodeFromIndex(0)), 1);
    EXPECT_EQ(RangeCodeFromIndex(9), 10);
    EXPECT_EQ(RangeCodeFromIndex(10), 10);

    EXPECT_EQ(RangeText('0', 4, Column::Current), "2.000mT");
    EXPECT_EQ(RangeText('1', 1, Column::Current), "20.00mG");
    EXPECT_EQ(RangeText('2', 4, Column::Current), "1600A/m");
    EXPECT_EQ(RangeText('3', 4, Column::Current), "2000%");
    EXPECT_EQ(RangeText('3', 4, Column::NewSetting), "2000% (only for 8620)");
    EXPECT_EQ(RangeText('0', 10, Column::NewSetting), "AUTO");
    EXPECT_EQ(RangeText('0', 5, Column::Current), "");
    EXPECT_EQ(RangeTextFromIndex('1', 2), "2.000G");
    EXPECT_EQ(RangeTextFromIndex('2', 5), "") << "no range 6 exists";

    EXPECT_EQ(RangeCodeFromText('3', "2000%"), 4);
    EXPECT_EQ(RangeCodeFromText('3', "2000% (ONLY FOR 8620)"), 4);
    EXPECT_EQ(RangeCodeFromText('3', "2.000%"), 1);
    EXPECT_EQ(RangeCodeFromText('0', "200.0UT"), 3);
    EXPECT_EQ(RangeCodeFromText('1', "2.000mT"), std::nullopt) << "the text is looked up in the unit's row";
    EXPECT_EQ(RangeCodeFromText('0', "AUTO"), std::nullopt);
}

TEST(Settings, SettingTextPerColumn) {
    MeterSettings current = NewSetting('3', '3', 3, '1');  // current settings hold a reply range index
    EXPECT_EQ(SettingText(kRowRange, current, Column::Current), "2000%");
    EXPECT_EQ(SettingText(kRowOutput, current, Column::Current), "Monitor");
    MeterSettings ns = NewSetting('3', '3', 4, '1');  // the New Setting holds a RangeCode
    EXPECT_EQ(SettingText(kRowRange, ns, Column::NewSetting), "2000% (only for 8620)");
    EXPECT_EQ(SettingText(kRowOutput, ns, Column::NewSetting), "Monitor (only for 8620)");
    EXPECT_EQ(SettingText(kRowMode, ns, Column::NewSetting), "Exposure Level(General Public)");
    EXPECT_EQ(SettingText(kRowBeep, ns, Column::Current), "ON");
    for (int row = 0; row < kRowCount; ++row)
        EXPECT_EQ(SettingText(row, MeterSettings{}, Column::Current), "") << "row " << row;
}

TEST(Settings, ChoiceLists) {
    const MeterSettings flux = NewSetting('1', '0', 10, '0');
    EXPECT_EQ(ChoiceList(kRowMode, flux).size(), 5u);
    EXPECT_EQ(ChoiceList(kRowMode, flux)[3], "Exposure Level(General Public)");
    EXPECT_EQ(ChoiceList(kRowAxis, flux), (std::vector<std::string>{"R", "x", "y", "z"}));
    EXPECT_EQ(ChoiceList(kRowUnit, flux), (std::vector<std::string>{"T", "G", "A/m"}));
    EXPECT_EQ(ChoiceList(kRowRange, flux),
              (std::vector<std::string>{"AUTO", "2.000uT", "20.00uT", "200.0uT", "2.000mT"}));
    EXPECT_EQ(ChoiceList(kRowOutput, flux), (std::vector<std::string>{"OFF", "Monitor", "Resultant Effective Value"}));
    EXPECT_EQ(ChoiceList(kRowSlow, flux), (std::vector<std::string>{"ON", "OFF"}));
    EXPECT_TRUE(ChoiceList(kRowCount, flux).empty());

    const MeterSettings exposure = NewSetting('4', '3', 2, '0');
    EXPECT_EQ(ChoiceList(kRowUnit, exposure), (std::vector<std::string>{"%"}));
    EXPECT_EQ(ChoiceList(kRowRange, exposure),
              (std::vector<std::string>{"AUTO", "20.00%", "200.0%", "2000% (only for 8620)"}));
    EXPECT_EQ(ChoiceList(kRowOutput, exposure)[1], "Monitor (only for 8620)");

    // No AUTO while an output is on.
    for (char output : {'1', '2'}) {
        const auto ranges = ChoiceList(kRowRange, NewSetting('0', '1', 2, output));
        EXPECT_EQ(ranges, (std::vector<std::string>{"20.00mG", "200.0mG", "2.000G", "20.00G"}));
    }
}

TEST(Settings, ModeChangesMoveUnitAndRange) {
    // Flux density, AUTO, output off; choose an exposure mode, then the exposure monitor.
    MeterSettings ns = NewSetting('0', '1', 10, '0');
    ns = ApplyChoice(ns, kRowMode, "Exposure Level(Occupational)");
    EXPECT_EQ(ns.mode, '4');
    EXPECT_EQ(ns.unit, '3');
    EXPECT_EQ(ns.range, kRangeAuto);
    ns = ApplyChoice(ns, kRowOutput, "Monitor (only for 8620)");
    EXPECT_EQ(ns.output, '1');
    EXPECT_EQ(ns.range, 2);
    EXPECT_EQ(SettingText(kRowRange, ns, Column::NewSetting), "20.00%");

    // Exposure with range code 4 back to flux density: unit T, range 2.000mT.
    MeterSettings ex = NewSetting('3', '3', 4, '0');
    ex = ApplyChoice(ex, kRowMode, "Magnetic Flux Density(10Hz-2kHz)");
    EXPECT_EQ(ex.mode, '1');
    EXPECT_EQ(ex.unit, '0');
    EXPECT_EQ(SettingText(kRowRange, ex, Column::NewSetting), "2.000mT");
    // ... and forth again: the same code shows as the 2000 % range.
    ex = ApplyChoice(ex, kRowMode, "Exposure Level(General Public)");
    EXPECT_EQ(SettingText(kRowRange, ex, Column::NewSetting), "2000% (only for 8620)");

    // The lowest range does not exist in the exposure modes.
    MeterSettings low = NewSetting('0', '2', 1, '0');
    EXPECT_EQ(ApplyChoice(low, kRowMode, "Exposure Level(General Public)").range, 2);
    // Exposure to exposure keeps the unit and turns code 1 into 2 as well.
    MeterSettings odd = NewSetting('3', '3', 1, '0');
    EXPECT_EQ(ApplyChoice(odd, kRowMode, "Exposure Level(Occupational)").range, 2);
    // Flux to flux keeps unit and range.
    MeterSettings g = NewSetting('0', '1', 1, '0');
    const MeterSettings g2 = ApplyChoice(g, kRowMode, "magnetic flux density(2khz-400khz)");
    EXPECT_EQ(g2.mode, '2');
    EXPECT_EQ(g2.unit, '1');
    EXPECT_EQ(g2.range, 1);
}

TEST(Settings, OutputReplacesAutoAndOtherRows) {
    MeterSettings ns = NewSetting('0', '0', 10, '0');
    EXPECT_EQ(ApplyChoice(ns, kRowOutput, "Resultant Effective Value").range, 1);
    EXPECT_EQ(ApplyChoice(ns, kRowOutput, "OFF").range, kRangeAuto) << "OFF keeps AUTO";
    EXPECT_TRUE(SameSettings(ApplyChoice(ns, kRowOutput, "Bogus"), ns));
    MeterSettings fixed = NewSetting('0', '0', 3, '0');
    EXPECT_EQ(ApplyChoice(fixed, kRowOutput, "Monitor").range, 3) << "a fixed range stays";

    EXPECT_EQ(ApplyChoice(ns, kRowAxis, "y").axis, '1');
    EXPECT_EQ(ApplyChoice(ns, kRowAxis, "Q").axis, '3') << "unknown axis changes nothing";
    EXPECT_EQ(ApplyChoice(ns, kRowUnit, "G").unit, '1');
    EXPECT_EQ(ApplyChoice(ns, kRowUnit, "%").unit, '3');
    EXPECT_EQ(ApplyChoice(ns, kRowRange, "20.00uT").range, 2);
    EXPECT_EQ(ApplyChoice(fixed, kRowRange, "auto").range, kRangeAuto);
    EXPECT_EQ(ApplyChoice(ns, kRowRange, "20.00mG").range, kRangeAuto) << "not in the T row";
    EXPECT_EQ(ApplyChoice(ns, kRowAutoPowerOff, "ON").autoPowerOff, '1');
    EXPECT_EQ(ApplyChoice(ns, kRowBeep, "OFF").beep, '0');
    EXPECT_EQ(ApplyChoice(ns, kRowSlow, "whatever").slow, '0');
    EXPECT_EQ(ApplyChoice(ns, kRowMemMode, "on").memMode, '1');
}

TEST(Settings, ChoosingWhatIsAlreadySetLeavesThePageUnmarked) {
    const MeterSettings ns = NewSetting('3', '3', 4, '1');
    for (int row = 0; row < kRowCount; ++row) {
        const std::string shown = SettingText(row, ns, Column::NewSetting);
        EXPECT_TRUE(SameSettings(ApplyChoice(ns, row, shown), ns)) << "row " << row << " text " << shown;
        EXPECT_TRUE(SameSettings(ApplyChoice(ns, row, ""), ns)) << "an empty text changes nothing";
    }
}
