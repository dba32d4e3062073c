// Without $XDG_RUNTIME_DIR the registry falls back to a directory in the shared temporary
// directory. A meter that another user registers there, in a directory made or opened up by
// that user, must never be found: it could pose as the QM8620.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/Paths.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"
#include "transport/Transport.h"

namespace tessera {
namespace {

// Sets environment variables for one test and puts them back afterwards.
class Environment {
public:
    ~Environment() {
        for (auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }
    void Set(const std::string& name, const std::optional<std::string>& value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) ::setenv(name.c_str(), value->c_str(), 1);
        else ::unsetenv(name.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

bool InstrumentFound() {
    transport::Transport t(transport::SystemOsCalls());
    const auto h = t.OpenUSBBulkFile(0);
    if (h == transport::kInvalid) return false;
    transport::SystemOsCalls().Close(h);
    return true;
}

TEST(RegistryRoot, AMeterInATemporaryDirectoryThatIsNotOursIsNeverFound) {
    testing::TempDir tmp("tessera-planted");
    ASSERT_FALSE(tmp.Path().empty());
    const std::string planted = tmp.Path() + "/tessera-" + std::to_string(::getuid());
    ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
    testing::VirtualMeter::Options options;
    options.deviceRoot = planted;
    testing::VirtualMeter meter(options);
    ASSERT_TRUE(meter.Start()) << meter.LastError();

    // The fallback of a session without a runtime directory, pointed at our own temporary tree.
    Environment env;
    env.Set("TMPDIR", tmp.Path());
    env.Set("HOME", tmp.Path() + "/home");
    for (const char* name : {"XDG_RUNTIME_DIR", "TESSERA_RUNTIME_DIR", "TESSERA_DEVICE_ROOT"})
        env.Set(name, std::nullopt);
    ASSERT_EQ(platform::RuntimeDirectory(), planted);
    ASSERT_TRUE(InstrumentFound()) << "our own private directory is searched";

    // Opened up to a group: any of its members could have put the entry there.
    ASSERT_EQ(::chmod(planted.c_str(), 0770), 0);
    EXPECT_FALSE(InstrumentFound());
    // Opened up to everyone.
    ASSERT_EQ(::chmod(planted.c_str(), 0777), 0);
    EXPECT_FALSE(InstrumentFound());
    EXPECT_EQ(platform::RuntimeDirectory(), tmp.Path() + "/home/.cache/tessera-runtime")
        << "locks and our own registry move to the home directory";

    // Made by another user (only root can hand a directory to someone else).
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(planted.c_str(), 0700), 0);
        ASSERT_TRUE(InstrumentFound());
        ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(InstrumentFound());
        ASSERT_EQ(::chown(planted.c_str(), 0, 0), 0);
    }
}

}  // namespace
}  // namespace tessera
