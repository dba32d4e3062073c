#pragma once
// One complete set of meter settings and values; the current settings, a stored
// measurement and the Configuration page's New Setting all use this record.

#include <cstdint>

namespace tessera::settings {

struct MeterSettings {
    char mode = 0;           // MeasurementMode code '0'..'4'
    char axis = 0;           // Axis code '0'..'3'
    char unit = 0;           // Unit code '0'..'3'
    std::uint8_t range = 0;  // reply range index (current settings, records) or RangeCode (New Setting)
    double value1 = 0.0;     // reply field 4
    double value2 = 0.0;     // reply field 5
    double value3 = 0.0;     // reply field 6
    char output = 0;         // OutputMode code
    char sensor = 0;         // SensorType code (reported only)
    char autoPowerOff = 0;   // '0' off, '1' on
    char beep = 0;
    char spare = 0;  // carried and compared, never shown, stored or sent
    char slow = 0;
    char memMode = 0;  // from the "MEM?" reply
};

// Settings equality: every code field; the three values are not compared.
bool SameSettings(const MeterSettings& a, const MeterSettings& b);

// A meter is known while the mode byte is '0' or above; an all-zero record means none.
inline bool MeterKnown(const MeterSettings& s) {
    return static_cast<unsigned char>(s.mode) >= static_cast<unsigned char>('0');
}

// Modes '3' and above are the exposure level modes; '0'..'2' the flux density modes.
inline bool IsExposureMode(char mode) { return static_cast<unsigned char>(mode) > static_cast<unsigned char>('2'); }

}  // namespace tessera::settings
