// The page model with the meter faked in the test process: what the page does whatever the
// meter would answer (the wire itself is tested in DownloadTest.cpp against the virtual meter).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entire_read/EntireReadModel.h"
#include "tests/entire_read/EntireReadTestData.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/ScriptedPrompter.h"

namespace tessera::entire_read {
namespace {

using Strings = std::vector<std::string>;

TEST(EntireReadModel, LoggerRunRefusesTheMeterButtons) {
    link::SetAccuracyTable(testdata::UniformTable(0.0f, 1.0f));
    testing::FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    EntireRead model(meter, prompter);
    meter.memory = {testdata::Record('0', '3', '0', 0, 1.2e-6, 0, 0), testdata::Record('0', '3', '0', 0, 0, 1.5e-6, 0)};
    model.Read();
    while (model.Step()) {}
    ASSERT_EQ(model.RecordCount(), 2u);

    meter = {};
    meter.heldByLogger = true;
    model.Read();
    model.MemoryClear();
    EXPECT_EQ(prompter.Messages(), (Strings{"The QM8620 is busy with \"Effective Value Logger\".",
                                            "The QM8620 is busy with \"Effective Value Logger\"."}));
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(meter.refreshCalls + meter.memoryReads, 0) << "the meter is not asked";
    EXPECT_TRUE(meter.commands.empty());
    EXPECT_TRUE(model.SaveAndPrintEnabled()) << "rows are shown";

    // With an empty table, Save and Print stay off.
    EntireRead empty(meter, prompter);
    empty.Read();
    EXPECT_FALSE(empty.SaveAndPrintEnabled());
    link::SetAccuracyTable(link::AccuracyTable{});
}

}  // namespace
}  // namespace tessera::entire_read
