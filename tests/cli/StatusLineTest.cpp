// The status line of the long commands, on a stand-in terminal: redrawn in place at a bounded
// rate, cut to the terminal's width, taken away before any message on either stream, never
// drawn over a question waiting for its answer; and what the logging run's line says.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/LogStatus.h"
#include "cli/StatusLine.h"
#include "platform/Clock.h"

namespace tessera::cli {
namespace {

TEST(StatusLine, RedrawsInPlaceAtABoundedRateAndGivesWayToEveryMessage) {
    std::stringbuf terminal;
    std::ostream err(&terminal);
    std::ostringstream out;
    platform::ManualClock clock;
    clock.millis = 5000;
    auto drawn = [&terminal] {
        std::string s = terminal.str();
        terminal.str("");
        return s;
    };
    {
        StatusLine line(out, err, 13, clock);  // 12 characters: the last column is left free
        line.Show("1 sample");
        EXPECT_EQ(drawn(), "\r1 sample");
        clock.millis += StatusLine::kRedrawMs - 1;
        line.Show("2 samples");
        EXPECT_EQ(drawn(), "") << "too soon after the last drawing";
        clock.millis += 1;
        line.Show("2 samples");
        EXPECT_EQ(drawn(), "\r2 samples");

        err << "Connection failed.\n";
        EXPECT_EQ(drawn(), "\r         \rConnection failed.\n");
        out << "9 samples written to a.CSV\n";
        EXPECT_EQ(out.str(), "9 samples written to a.CSV\n");
        EXPECT_EQ(drawn(), "") << "nothing was shown to take away";
        line.Show("3 samples");
        EXPECT_EQ(drawn(), "") << "the rate holds after a message too";

        clock.millis += StatusLine::kRedrawMs;
        line.Show("12 samples ü and more");  // cut at the width, never inside the ü
        EXPECT_EQ(drawn(), "\r12 samples ");
        clock.millis += StatusLine::kRedrawMs;
        line.Show("9 samples");  // spaces over the rest of the longer line
        EXPECT_EQ(drawn(), "\r9 samples  ");

        err << "Another file? ";
        drawn();
        clock.millis += StatusLine::kRedrawMs;
        line.Show("10 samples");
        EXPECT_EQ(drawn(), "") << "a question waits for its answer on this line";
        err << "no\n";
        drawn();
        line.Show("10 samples");
        EXPECT_EQ(drawn(), "\r10 samples");
    }
    EXPECT_EQ(drawn(), "\r          \r") << "gone with the command";
    EXPECT_EQ(err.rdbuf(), &terminal);
    err << "after";
    EXPECT_EQ(drawn(), "after");
}

TEST(StatusLine, LogRunSaysSamplesTimeValuePartAndReconnectionsOrWhatItWaitsFor) {
    LogProgress p;
    p.samples = 1;
    p.seconds = 3 * 86400 + 2 * 3600 + 3 * 60 + 4;
    p.lastR = "86.1E-6 T";
    EXPECT_EQ(LogStatusText(p), "1 sample  3d 02:03:04  R 86.1E-6 T  part 1");
    p.samples = 64000;
    p.seconds = 59;
    p.part = 3;
    p.reconnections = 2;
    p.waiting = logger::JournalGap{0, {2012, 5, 3, 4, 3, 0, 7}, {2012, 5, 3, 4, 3, 0, 9}, logger::GapCause::MeterBusy};
    EXPECT_EQ(LogStatusText(p),
              "waiting since 03:00:07 (meter busy)  64000 samples  00:00:59  part 3  2 reconnections");
}

}  // namespace
}  // namespace tessera::cli
