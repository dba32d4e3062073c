// The registry servers' one rule for exchanges: who is taken, when a request reaches the
// meter, where its answer goes, in what pieces.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ExchangeRouter.h"

namespace tessera::platform {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

constexpr unsigned long kOwner = 0;
constexpr long kFirst = 100, kSecond = 200;  // two programs' process ids

ExchangeRouter MeterRouter(ExchangeRouter::Limits limits = {}) {
    return ExchangeRouter({{0, 1, true}, {3, 4, false}}, kOwner, 500ms, limits);
}

TEST(ExchangeRouter, AnswersLeaveInMessagesOfSixtyFourBytesAndAnEmptyOneEndsThem) {
    EXPECT_EQ(ExchangeRouter::Messages("", true), Strings{""});
    EXPECT_EQ(ExchangeRouter::Messages(std::string(64, 'a'), false), Strings{std::string(64, 'a')});
    const auto long300 = ExchangeRouter::Messages(std::string(300, 'b'), true);
    ASSERT_EQ(long300.size(), 6u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(long300[i].size(), 64u);
    EXPECT_EQ(long300[4].size(), 44u);
    EXPECT_EQ(long300[5], "");
}

// Two programs that share no exchange lock (two users') write at once: the second command
// waits for the first answer's end, and each answer reaches its own asker's answer pipe.
TEST(ExchangeRouter, OneExchangeAtATimeAndEachAnswerToItsAsker) {
    auto router = MeterRouter();
    const auto t0 = ExchangeRouter::Clock::now();
    ASSERT_TRUE(router.Admit(10, 0, kFirst, 0));
    ASSERT_TRUE(router.Admit(11, 1, kFirst, 0));
    ASSERT_TRUE(router.Admit(20, 0, kSecond, 65534));
    ASSERT_TRUE(router.Admit(21, 1, kSecond, 65534));  // the newest reader of pipe 1
    router.Received(10, "MEAS?");
    router.Received(20, "QPID");

    const auto first = router.Next(0, t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->bytes, "MEAS?");
    EXPECT_FALSE(router.Next(0, t0)) << "the meter is still answering the first program";
    auto d = router.Answer(1, std::string(70, 'x'), false, t0);
    EXPECT_EQ(d.to, 11);
    EXPECT_EQ(d.messages.size(), 2u);
    EXPECT_FALSE(router.Next(0, t0)) << "half an answer is no end";
    d = router.Answer(1, "", true, t0);
    EXPECT_EQ(d.to, 11);
    EXPECT_EQ(d.messages, Strings{""});

    const auto second = router.Next(0, t0);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, "QPID");
    EXPECT_EQ(router.Answer(1, "8620\r\n", true, t0).to, 21);
}

// The counter's answer is one message; a silent meter holds the next request back only for
// the hold; an asker that has gone gets nothing, and nobody else gets its answer.
TEST(ExchangeRouter, ExchangesEndWithoutAnswersAndOrphanAnswersAreDropped) {
    auto router = MeterRouter();
    const auto t0 = ExchangeRouter::Clock::now();
    ASSERT_TRUE(router.Admit(30, 3, kFirst, 0));
    ASSERT_TRUE(router.Admit(40, 4, kFirst, 0));
    router.Received(30, std::string(1, '\0'));
    router.Received(30, std::string(1, '\1'));
    ASSERT_TRUE(router.Next(3, t0));
    const std::string count("\0\0\0\6", 4);
    EXPECT_EQ(router.Answer(4, count, false, t0).messages, Strings{count});
    EXPECT_TRUE(router.Next(3, t0)) << "the count alone ends the counter's exchange";

    ASSERT_TRUE(router.Admit(10, 0, kFirst, 0));
    ASSERT_TRUE(router.Admit(11, 1, kFirst, 0));
    ASSERT_TRUE(router.Admit(20, 0, kSecond, 0));
    ASSERT_TRUE(router.Admit(21, 1, kSecond, 0));
    router.Received(10, "DATA? 1");
    router.Received(20, "MEM?");
    router.Received(10, "QPID");
    ASSERT_TRUE(router.Next(0, t0));
    EXPECT_FALSE(router.Next(0, t0 + 499ms));
    EXPECT_EQ(router.HoldEnds(), t0 + 500ms);
    const auto second = router.Next(0, t0 + 500ms);
    ASSERT_TRUE(second) << "a lost answer holds the others back no longer than the hold";
    EXPECT_EQ(second->bytes, "MEM?");
    router.Unanswered(0);  // the meter did not take it
    ASSERT_TRUE(router.Next(0, t0 + 500ms));

    router.Gone(10);
    router.Gone(11);
    EXPECT_EQ(router.Answer(1, "8620\r\n", true, t0 + 600ms).to, ExchangeRouter::kNobody)
        << "the other program's reader never gets an answer it did not ask for";
}

// Other accounts may hold a bounded number of connections, each and together; the owner's
// programs have room of their own however many the others hold.
TEST(ExchangeRouter, OtherUsersAreBoundedAndTheOwnerKeepsItsRoom) {
    auto router = MeterRouter({2, 3, 2});
    EXPECT_TRUE(router.Admit(1, 0, 1, 65534));
    EXPECT_TRUE(router.Admit(2, 0, 1, 65534));
    EXPECT_FALSE(router.Admit(3, 0, 1, 65534)) << "over the bound of one user";
    EXPECT_TRUE(router.Admit(4, 1, 1, 65534)) << "the bound is per pipe";
    EXPECT_TRUE(router.Admit(5, 0, 2, 1000));
    EXPECT_FALSE(router.Admit(6, 0, 3, 1001)) << "over the bound of all other users";
    EXPECT_TRUE(router.Admit(7, 0, 4, kOwner));
    EXPECT_TRUE(router.Admit(8, 0, 4, kOwner));
    EXPECT_FALSE(router.Admit(9, 0, 4, kOwner));
    router.Gone(1);
    EXPECT_TRUE(router.Admit(10, 0, 5, 1001)) << "a connection that ended makes room";
    EXPECT_EQ(router.Connections(0), 5u);
}

}  // namespace
}  // namespace tessera::platform
