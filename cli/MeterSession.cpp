#include "cli/MeterSession.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "platform/Paths.h"

namespace tessera::cli {

int OpenMeter(link::Link& link, NoMeterText text) {
    if (!link.Bound() && !link.BindTransport()) {
        std::cerr << kNoTransport << '\n';
        return kNoLibrary;
    }
    if (!link.SessionOpen() && !link.OpenSession()) {
        const int rc = text == NoMeterText::MessageAndStatus ? ReportStatus(link::kStatusNoDevice) : kNoMeter;
        if (text == NoMeterText::Message) std::cerr << kConnectionFailed << '\n';
        const std::string chosen = platform::ChosenMeter();
        if (!chosen.empty() && !MeterPresent(chosen))
            std::cerr << "No meter with the serial number " << chosen
                      << " is connected (tessera-cli meters lists those that are).\n";
        return rc;
    }
    return kOk;
}

std::vector<transport::Transport::PresentMeter> PresentMeters() {
    transport::Transport search(transport::SystemOsCalls());
    return search.Meters();
}

bool MeterPresent(const std::string& serial) {
    const auto meters = PresentMeters();
    return std::any_of(meters.begin(), meters.end(),
                       [&](const auto& m) { return transport::SameSerial(m.identity.serial, serial); });
}

std::string StatusHex(link::Status s) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", s);
    return buf;
}

std::string StatusName(link::Status s) {
    switch (s) {
        case link::kStatusOk: return "success";
        case link::kStatusNoEntry: return "no such entry";
        case link::kStatusRepeat: return "repeat";
        case link::kStatusNoDevice: return "no device";
        case link::kStatusBusy: return "busy";
        case link::kStatusTooLong: return "reply too long";
        case link::kStatusWrongModel: return "not a QM8620";
        default: break;
    }
    if ((s & 0xffffff00u) == 0x80000000u) return std::string("meter answered '") + static_cast<char>(s & 0xff) + "'";
    return "failure";
}

int ReportStatus(link::Status s) {
    std::string text = "The QM8620 reported a failure.";
    if (s == link::kStatusNoDevice) text = kConnectionFailed;
    else if (s == link::kStatusWrongModel) text = "The connected instrument is not a QM8620.";
    else if (s == link::kStatusBusy) text = "The QM8620 is busy.";
    std::cerr << text << " [" << StatusHex(s) << " " << StatusName(s) << "]\n";
    return ExitFor(s);
}

int AfterPageMessage(link::Status s) {
    if (s == link::kStatusOk) return kFailed;
    if (s == link::kStatusNoDevice) return kNoMeter;
    return ReportStatus(s);
}

}  // namespace tessera::cli
