#pragma once
// Shared pieces of the logger tests: the temporary directory and file helpers of all tests
// and the meter that answers from what a test put in it.

#include "logger/LoggerModel.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/TempDir.h"

namespace tessera::logger::test {

using tessera::testing::ReadAll;
using tessera::testing::TempDir;
using tessera::testing::WriteAll;

using tessera::testing::FakeMeterPort;
using tessera::testing::MeterRecord;

}  // namespace tessera::logger::test
