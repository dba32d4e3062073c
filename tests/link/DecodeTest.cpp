#include <gtest/gtest.h>

#include <clocale>

#include "link/Decode.h"

using namespace tessera::link;
using tessera::settings::MeterSettings;

TEST(Link, SplitReplyExamples) {
    const ReplyFields f = SplitReply("0,1,2,3,4.0E-01,5.0E-01,6.0E-01,7,8,9,1,0,1\r\n");
    const char* expected[] = {"0", "1", "2", "3", "4.0E-01", "5.0E-01", "6.0E-01", "7", "8", "9", "1", "0", "1"};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(f[i], expected[i]) << "field " << i;
    for (int i = 13; i < kReplyFields; ++i) EXPECT_EQ(f[i], "") << "field " << i;

    for (const auto& field : SplitReply(",,\r\n")) EXPECT_EQ(field, "");

    // Spaces belong to the field; the carriage return ends the walk; no CR splits to the end.
    const ReplyFields g = SplitReply(" a ,b\rc,d");
    EXPECT_EQ(g[0], " a ");
    EXPECT_EQ(g[1], "b");
    EXPECT_EQ(g[2], "");
    const ReplyFields h = SplitReply("x,y");
    EXPECT_EQ(h[1], "y");
    // A zero byte ends the reply like the terminator it is.
    EXPECT_EQ(SplitReply(std::string_view("p,q\0,r", 6))[2], "");
}

TEST(Link, SplitReplyKeepsTwentyFieldsAndDropsTheRest) {
    std::string line;
    for (int i = 0; i < 25; ++i) line += std::to_string(i) + ",";
    line += "\r\n";
    const ReplyFields f = SplitReply(line);
    EXPECT_EQ(f[0], "0");
    EXPECT_EQ(f[19], "19") << "the twenty-first field must not be appended to the twentieth";
}

TEST(Link, DecodeReplyFillsTheRecord) {
    MeterSettings r;
    r.memMode = '1';
    DecodeReply("0,3,1,12,1.23456E+03,7.77E-03,2.5E-06,2,1,0,1,5,1\r\n", r, false);
    EXPECT_EQ(r.mode, '0');
    EXPECT_EQ(r.axis, '3');
    EXPECT_EQ(r.unit, '1');
    EXPECT_EQ(r.range, 12);
    EXPECT_DOUBLE_EQ(r.value1, 1234.56);
    EXPECT_DOUBLE_EQ(r.value2, 0.00777);
    EXPECT_DOUBLE_EQ(r.value3, 2.5e-6);
    EXPECT_EQ(r.output, '2');
    EXPECT_EQ(r.sensor, '1');
    EXPECT_EQ(r.autoPowerOff, '0');
    EXPECT_EQ(r.beep, '1');
    EXPECT_EQ(r.spare, '5');
    EXPECT_EQ(r.slow, '1');
    EXPECT_EQ(r.memMode, '1') << "memory mode comes from MEM?, not from this reply";

    // Rounding on cuts the three values to four significant digits first.
    DecodeReply("0,3,1,12,1.23456E+03,7.77E-03,9.9996E+00,2,1,0,1,5,1\r\n", r, true);
    EXPECT_DOUBLE_EQ(r.value1, 1235.0);
    EXPECT_DOUBLE_EQ(r.value3, 10.0);
}

TEST(Link, DecodeForcesPercentInExposureModesAndToleratesShortReplies) {
    MeterSettings r;
    DecodeReply("3,3,0,1,5.0E+01,0,0,0,1,0,0,0,0\r\n", r, true);
    EXPECT_EQ(r.unit, '3');
    DecodeReply("2,3,0,1\r\n", r, false);
    EXPECT_EQ(r.unit, '0');
    // A high byte is above '2' too.
    DecodeReply("\xC1,3,0,1\r\n", r, false);
    EXPECT_EQ(r.unit, '3');

    MeterSettings s;
    s.value1 = 9.0;
    DecodeReply("1\r\n", s, true);
    EXPECT_EQ(s.mode, '1');
    EXPECT_EQ(s.axis, 0);
    EXPECT_EQ(s.range, 0);
    EXPECT_EQ(s.value1, 0.0);
    EXPECT_EQ(s.slow, 0);

    DecodeReply("0,0,0, -3x,abc,+2.5junk,  7\r\n", s, false);
    EXPECT_EQ(s.range, 253) << "a range of -3 kept in 8 bits";
    EXPECT_EQ(s.value1, 0.0);
    EXPECT_DOUBLE_EQ(s.value2, 2.5);
    EXPECT_DOUBLE_EQ(s.value3, 7.0);
}

// A number may start with its point (".5", as a hand-edited file writes it) and ends where
// a number cannot go on.
TEST(Link, ReadLeadingNumberTakesTheNumberInFront) {
    EXPECT_EQ(ReadLeadingNumber(".5"), 0.5);
    EXPECT_EQ(ReadLeadingNumber(" -.25E+01x"), -2.5);
    EXPECT_EQ(ReadLeadingNumber("E5"), 0.0);
}

TEST(Link, NumbersAreReadTheSameWhateverTheLocale) {
    // Qt programs adopt the user's locale; a decimal comma must not change what the meter said.
    const char* german = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"})
        if ((german = std::setlocale(LC_NUMERIC, name))) break;
    ASSERT_NE(german, nullptr) << "no locale with a decimal comma (tools/bootstrap.sh generates de_DE.UTF-8)";
    ASSERT_EQ(std::localeconv()->decimal_point, std::string(","));
    EXPECT_DOUBLE_EQ(ReadLeadingNumber("4.5E-01"), 0.45);
    EXPECT_EQ(FormatSignificant(2.0, 3), "2.00");
    EXPECT_EQ(RoundNumberText("1.5E+00", 4), "1.500");
    std::setlocale(LC_NUMERIC, "C");
}

TEST(Link, RoundNumberTextExamples) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"1.5E+00", "1.500"},      {"2.5E-06", "0.000002500"}, {"7.77E-03", "0.007770"}, {"1.23456E+03", "1235"},
        {"1.23456E+05", "123500"}, {"9.9996E+00", "10.00"},    {"5.0E-11", "0.000"},     {"1.2345E+00", "1.234"},
        {"0.0E+00", "0.000"},      {"-1.5E+00", "0.000"},      {"abc", "0.000"},         {"", "0.000"},
    };
    for (const auto& c : cases) EXPECT_EQ(RoundNumberText(c.text, 4), c.expected) << c.text;
}

TEST(Link, RoundNumberTextWithoutExponentRoundsAtTheSignificantDigit) {
    // Taken as if written in normalised E notation.
    EXPECT_EQ(RoundNumberText("1.5", 4), "1.500");
    EXPECT_EQ(RoundNumberText("123.456", 4), "123.5");
    EXPECT_EQ(RoundNumberText("0.0123456", 4), "0.01235");
    EXPECT_EQ(RoundNumberText("98765", 4), "98770");
    EXPECT_EQ(RoundNumberText("123.456", 4), RoundNumberText("1.23456E+02", 4));
}

TEST(Link, FormatSignificantExamples) {
    struct Case {
        double x;
        int n;
        const char* expected;
    } cases[] = {
        {0.012345, 3, "0.0123"}, {2.0, 3, "2.00"},    {0.5, 3, "0.500"},        {12.5, 2, "13"},
        {99.96, 2, "100"},       {1234.5, 3, "1230"}, {-1.0, 3, "0.000"},       {0.0, 4, "0.000"},
        {5e-11, 4, "0.000"},     {1.0, 4, "1.000"},   {0.0009996, 2, "0.0010"}, {123.456, 4, "123.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSignificant(c.x, c.n), c.expected) << c.x << " n=" << c.n;
}

// Values whose digits, scaled back by powers of 0.1, land just below the value itself: the
// logger file must still say 4.300, not 4.299.
TEST(Link, FormatSignificantKeepsDigitsThatBinaryCannotHold) {
    EXPECT_EQ(FormatSignificant(4.3, 4), "4.300");
    EXPECT_EQ(FormatSignificant(8.1, 4), "8.100");
    EXPECT_EQ(FormatSignificant(0.43, 4), "0.4300");
    EXPECT_EQ(FormatSignificant(1.311e-9, 4), "0.000000001311");
}

TEST(Link, FormatSignificantSurvivesHugeAndOddInput) {
    EXPECT_EQ(FormatSignificant(1e300, 3), "1" + std::string(300, '0'));
    EXPECT_EQ(FormatSignificant(9.87654e20, 3), "988000000000000000000");
    // Rounded up, the largest doubles would pass what a double holds.
    EXPECT_EQ(FormatSignificant(1.6853853141878587e308, 1), "1" + std::string(308, '0'));
    EXPECT_EQ(FormatSignificant(std::numeric_limits<double>::max(), 4), "1797" + std::string(305, '0'));
    EXPECT_EQ(FormatSignificant(std::numeric_limits<double>::quiet_NaN(), 3), "0.000");
    EXPECT_EQ(FormatSignificant(std::numeric_limits<double>::infinity(), 3), "0.000");
    EXPECT_EQ(RoundNumberText("1.0E+300", 4), "1" + std::string(300, '0'));
    // An exponent no double can hold does not locate a digit: the number's own magnitude does
    // (found by fuzzing: the rounding unit overflowed and its NaN was cut to an integer).
    EXPECT_EQ(RoundNumberText("1.46+E52305", 4), "1.460");
    EXPECT_EQ(RoundNumberText("1.46-E-52305", 4), "1.460");
    EXPECT_EQ(RoundNumberText("1.7976E+308", 4), "1797" + std::string(305, '0')) << "up would pass the largest double";
}
