// tessera-cli "identify", "status", "settings", "serials", "meters" and "send": the meter as the
// program sees it at start-up (BindTransport, OpenSession, RefreshSettings), for a person
// at a terminal, for scripts and for support.

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/MeterSession.h"
#include "link/Decode.h"
#include "link/Link.h"
#include "platform/DynamicLibrary.h"
#include "platform/Handle.h"
#include "settings/Vocabulary.h"

namespace tessera::cli {
namespace {

// Reaches the meter as the program does at start-up; a meter that does not answer is
// reported with its status.
int Connect(link::Link& link) { return OpenMeter(link, NoMeterText::MessageAndStatus); }

void PrintSettings(const settings::MeterSettings& s) {
    for (int row = 0; row < settings::kRowCount; ++row) {
        std::cout << settings::RowItemText(row) << ": " << settings::SettingText(row, s, settings::Column::Current)
                  << "\n";
    }
}

int Identify(bool withValues) {
    link::Link link;
    if (int rc = Connect(link)) return rc;
    const link::Status s = link.RefreshSettings();
    if (s != link::kStatusOk) {
        link.CloseSession();
        return ReportStatus(s);
    }
    const settings::MeterSettings current = link.CurrentSettings();
    link.CloseSession();
    std::cout << "Model: QM8620\n";
    std::cout << "Sensor: " << settings::SensorText(current.sensor) << "\n";
    PrintSettings(current);
    if (withValues) {
        // Four significant digits each, as the meter's display and the logger's files carry them.
        const std::string unit = settings::UnitText(current.unit);
        std::cout << "Reading: x " << link::FormatSignificant(current.value1, 4) << ' ' << unit << ", y "
                  << link::FormatSignificant(current.value2, 4) << ' ' << unit << ", z "
                  << link::FormatSignificant(current.value3, 4) << ' ' << unit << '\n';
    }
    return kOk;
}

const char* kIdentifyUsage = "identify                 model, sensor and settings of the connected QM8620";
const char* kStatusUsage = "status                   identify plus the meter's present reading";
const char* kSettingsUsage = "settings                 the current settings as the Configuration page words them";
const char* kSerialsUsage = "serials                  serial numbers of the instruments on the USB bus";
const char* kMetersUsage = "meters                   the meters present: serial number, model and where";
const char* kSendUsage = "send \"COMMAND\"           one exchange with the meter: status code and reply";

int Settings() {
    link::Link link;
    if (int rc = Connect(link)) return rc;
    const link::Status s = link.RefreshSettings();
    const settings::MeterSettings current = link.CurrentSettings();
    link.CloseSession();
    if (s != link::kStatusOk) return ReportStatus(s);
    PrintSettings(current);
    return kOk;
}

int Serials() {
    platform::DynamicLibrary library;
    using CheckFn = std::int32_t(TESSERA_STDCALL*)(char*);
    CheckFn check = nullptr, all = nullptr;
    if (library.Load(link::kTransportLibrary)) {
        check = reinterpret_cast<CheckFn>(library.Symbol("CheckUSBDevices"));
        all = reinterpret_cast<CheckFn>(library.Symbol("GetSerialStringAllDevices"));
    }
    if (!check || !all) {
        std::cerr << kNoTransport << "\n";
        return static_cast<int>(kNoLibrary);
    }
    char last[16] = {};
    const std::int32_t count = check(last);
    char list[64 + 1] = {};
    all(list);
    std::cout << "Instruments: " << count << "\n";
    std::cout << "Serials: " << list << "\n";
    return kOk;
}

// One line per meter that is served, in the order the search takes them; "-" for a meter
// that does not say its serial number (--meter cannot name it).
int Meters() {
    const auto meters = PresentMeters();
    std::cout << "Meters: " << meters.size() << "\n";
    for (const auto& m : meters) {
        const std::string serial = m.identity.serial.empty() ? "-" : m.identity.serial;
        const std::string model = m.identity.model.empty() ? "-" : m.identity.model;
        std::cout << serial << "  " << model << "  " << m.path << "\n";
    }
    return kOk;
}

int Send(const CommandLine& line, const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0].size() > 29)
        return line.UsageError("send takes one command of 1 to 29 characters");
    link::Link link;
    if (int rc = Connect(link)) return rc;
    link::Reply reply;
    const link::Status s = link.Exchange(args[0], reply);
    link.CloseSession();
    std::string shown;
    for (char c : reply.Text()) {
        if (c == '\r') shown += "\\r";
        else if (c == '\n') shown += "\\n";
        else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
            shown += buf;
        } else {
            shown += c;
        }
    }
    std::cout << "Status: " << StatusHex(s) << " (" << StatusName(s) << ")\n";
    std::cout << "Reply: \"" << shown << "\" (" << reply.length << " bytes)\n";
    return s == link::kStatusOk ? kOk : ReportStatus(s);
}

}  // namespace

void AddStatusCommands(Registry& registry) {
    // The commands without options run as they are.
    auto plain = [](int (*run)()) { return [run](CommandLine&) -> CommandRun { return run; }; };
    registry.Add({"identify", kIdentifyUsage, "",
                  [](CommandLine&) -> CommandRun { return [] { return Identify(false); }; }, kMeterExits});
    registry.Add({"status", kStatusUsage, "", [](CommandLine&) -> CommandRun { return [] { return Identify(true); }; },
                  kMeterExits});
    registry.Add({"settings", kSettingsUsage, "", plain(Settings), kMeterExits});
    registry.Add({"serials", kSerialsUsage, "", plain(Serials), {kOk, kUsageError, kNoLibrary}});
    registry.Add({"meters", kMetersUsage, "", plain(Meters), {kOk, kUsageError}});
    registry.Add({"send",
                  kSendUsage,
                  "",
                  [](CommandLine& line) -> CommandRun {
                      auto words = std::make_shared<std::vector<std::string>>();
                      line.Words("COMMAND", *words, "the command, as the meter reads it (quoted when it has a blank)");
                      return [&line, words] { return Send(line, *words); };
                  },
                  {kOk, kFailed, kUsageError, kNoLibrary, kNoMeter, kBusy}});
}

}  // namespace tessera::cli
