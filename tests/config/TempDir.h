#pragma once
// The shared temporary directory and file helpers, under the names the Configuration tests use.

#include "tests/support/TempDir.h"

namespace tessera::config::test {

using tessera::testing::ReadAll;
using tessera::testing::TempDir;
using tessera::testing::WriteAll;

}  // namespace tessera::config::test
