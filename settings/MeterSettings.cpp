#include "settings/MeterSettings.h"

namespace tessera::settings {

bool SameSettings(const MeterSettings& a, const MeterSettings& b) {
    // The three values are measurements, not settings: a new reading must not mark a page changed.
    return a.mode == b.mode && a.axis == b.axis && a.unit == b.unit && a.range == b.range && a.output == b.output &&
           a.sensor == b.sensor && a.autoPowerOff == b.autoPowerOff && a.beep == b.beep && a.spare == b.spare &&
           a.slow == b.slow && a.memMode == b.memMode;
}

}  // namespace tessera::settings
