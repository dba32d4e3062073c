#pragma once
// The options that set a meter up, the same in every program that carries one
// (virtual-qm8620, and emulated-qm8620 on its emulated USB bus): the memory it holds, its
// field model, its sensor, faults to inject and the length of its command log.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "meter/FieldModel.h"
#include "meter/Meter.h"

namespace tessera::meter {

struct MeterSetup {
    bool demo = false;
    std::string memoryFile;
    unsigned long seed = 1;
    char sensor = '1';
    std::optional<Field> fixed;
    std::vector<std::string> faults;
    std::optional<std::size_t> commandLog;
};

// Takes the option `name` when it is one of the meter's (--demo, --memory, --seed, --sensor,
// --field, --fault, --command-log), reading its value through `value`. False when it is none
// of them; `error` says what is wrong with a value given.
bool TakeMeterOption(const std::string& name, const std::function<std::string()>& value, MeterSetup& setup,
                     std::string& error);

// The meter's help lines of those options (after "Options:").
const char* MeterOptionsHelp();

// Sets `meter` up: 0, or the exit code with `error` saying why (1: the memory file cannot be
// used; 2: a fault is not one the meter knows).
int SetUpMeter(Meter& meter, const MeterSetup& setup, std::string& error);

}  // namespace tessera::meter
