#pragma once
// VirtualMeter: runs the built virtual-qm8620 as a child process in a private device
// registry, for end-to-end tests over real sockets.
//
//   tessera::testing::VirtualMeter meter;            // private TESSERA_DEVICE_ROOT and
//   ASSERT_TRUE(meter.Start()) << meter.LastError();  // TESSERA_RUNTIME_DIR, demo memory off
//   tessera::link::Link link;
//   ASSERT_TRUE(link.BindTransportPath(tessera::testing::VirtualMeter::BulklinkPath()));
//   ASSERT_TRUE(link.OpenSession());
//   meter.LoadDemoMemory();                           // or LoadMemory(path), AddRecord(line)
//   meter.InjectFault("busy 5 DATA?");                // the next five "DATA?..." answer '9'
//   meter.Unplug(); meter.Plug();                     // entry disappears / reappears
//   EXPECT_EQ(meter.CommandLog(), (std::vector<std::string>{"FUNC 0", "APP 1", ...}));
//
// Start() sets TESSERA_DEVICE_ROOT and TESSERA_RUNTIME_DIR of the test process to the
// fixture's temporary directory (so the transport library and the exchange lock of this
// process use it) and restores them in the destructor, which also stops the meter and
// removes the directory. Two meters in one registry (two instruments): construct the
// second with Options::deviceRoot = first.DeviceRoot() and another entry name; the
// transport takes entries in name order.
//
// Control() sends any request of the meter's control socket ("virtual-qm8620 --help"
// lists them); the typed helpers below wrap the common ones and answer false (with
// LastError()) when the meter refused.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessera::testing {

class VirtualMeter {
public:
    struct Options {
        std::string entry = "qm8620-a";  // registry entry name (sorted order = enumeration order)
        std::string deviceRoot;          // empty: a fresh private temporary directory
        bool plugged = true;             // false: start unplugged, Plug() later
        bool demoMemory = false;         // the built-in demo memory (25 records)
        std::string memoryFile;          // stored measurements to load at start
        std::uint32_t seed = 1;          // live field model seed
        char sensor = '1';               // '0' none, '1' 8621, '2' 8622
        std::vector<std::string> extraArgs;
        // Another meter program that takes the same options and control requests (the
        // emulated USB meter); empty: virtual-qm8620.
        std::string program;
    };

    // A meter with its own entry and serial number; in `deviceRoot` when given, so that
    // several meters share one registry.
    static Options Named(const std::string& entry, const std::string& serial, const std::string& deviceRoot = {}) {
        Options options;
        options.entry = entry;
        options.deviceRoot = deviceRoot;
        options.extraArgs = {"--serial", serial};
        return options;
    }

    VirtualMeter();
    explicit VirtualMeter(Options options);
    ~VirtualMeter();
    VirtualMeter(const VirtualMeter&) = delete;
    VirtualMeter& operator=(const VirtualMeter&) = delete;

    // Starts the program and waits (bounded) until its control socket answers and, when
    // plugged, its registry entry exists. False with LastError() on failure.
    bool Start();
    // Asks the meter to quit, then waits for it; kills it if it does not go.
    void Stop();
    bool Running() const { return pid_ > 0; }
    int Pid() const { return pid_; }

    struct Answer {
        bool ok = false;
        std::vector<std::string> lines;  // the "= " data lines without their prefix
        std::string error;               // the text after "error " when !ok
    };
    Answer Control(const std::string& request);

    bool Plug();
    bool Unplug();
    bool LoadMemory(const std::string& path);
    bool LoadDemoMemory();
    bool ClearMemory();
    bool AddRecord(const std::string& replyLine);  // 13 fields, no line end
    bool SetField(double x, double y, double z);   // tesla; fixed until UseFieldModel()
    bool UseFieldModel();
    bool SetSensor(char sensor);
    bool RemoveSensorAfter(int measurements);
    bool Set(const std::string& name, const std::string& value);  // "mode", "3" ...
    // "busy N [PREFIX]", "repeat N", "status C N PREFIX", "silence", "truncate",
    // "overlong", "delay MS [N] [PREFIX]", "unplug-after N", "clear".
    bool InjectFault(const std::string& spec);
    bool ClearFaults() { return InjectFault("clear"); }
    // The commands received since the start or the last ClearCommandLog() (the latest
    // 10000), exactly as received (bytes outside printable ASCII come back as sent).
    std::vector<std::string> CommandLog();
    bool ClearCommandLog();
    // The meter's "status" lines as name -> value ("plugged", "memory", "bytes", ...).
    std::optional<std::string> StatusValue(const std::string& name);

    const std::string& DeviceRoot() const { return root_; }
    const std::string& RuntimeDir() const { return runtime_; }
    // Where programs started by the test keep their logging journals.
    std::string JournalDir() const { return root_ + "/state/tessera"; }
    std::string EntryPath() const;
    const std::string& LastError() const { return error_; }

    // Paths of the built programs and of the transport library.
    static std::string ProgramPath();
    static std::string BulklinkPath();
    static std::string DemoMemoryFile();  // data/demo-memory.txt in the source tree

private:
    bool Ok(const Answer& a);
    void RestoreEnvironment();

    Options options_;
    std::string root_;
    std::string runtime_;
    std::string controlPath_;
    bool ownsRoot_ = false;
    int pid_ = -1;
    std::string error_;
    std::optional<std::string> savedDeviceRoot_, savedRuntimeDir_, savedStateHome_;
    bool environmentSet_ = false;
};

}  // namespace tessera::testing
