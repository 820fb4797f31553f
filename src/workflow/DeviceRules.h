#pragma once
// Rules that follow from the kind of device, shared by the desktop program and kalvort-cli:
//  - a networked controller takes 2С42 programs: its projects are processed, control type 2С42;
//  - full erase and full test run on the USB programmer only;
//  - the erase / test status label starts with "СМП-" for a controller's replaceable module
//    only, with "ВМП-" otherwise (the USB programmer included).

#include <cstdint>
#include <string>

#include "device/DeviceClass.h"
#include "device/DeviceTypes.h"

namespace kalvort::workflow {

// The device kind of a device object: dtProg for the USB programmer, dtSMP2C42 / dtWMP2C42 for a
// networked controller by the module it was set to (the object itself only knows "controller").
TDeviceType DeviceKindOf(const TDeviceClass &device);

inline bool IsController(TDeviceType type) { return type == dtSMP2C42 || type == dtWMP2C42; }

// True when the project type is fixed for this device: need_proc true, processor_type 0.
inline bool ForcesProcessed2C42(TDeviceType type) { return IsController(type); }
// Applies that rule; true when it changed anything.
bool ApplyControlTypeRule(TDeviceType type, bool &need_proc, int32_t &processor_type);

// Full erase and full test are offered on the USB programmer only.
inline bool FullCommandsAllowed(TDeviceType type) { return type == dtProg; }
// What a refused full erase or full test says.
inline constexpr char kFullCommandsRefused[] =
    "Полная очистка и полная проверка МП выполняются только на программаторе USB.";

// Erase and test status label: "СМП-" / "ВМП-" and the module's size word ("500 " ... "???? ").
std::string ModuleLabel(TDeviceType type, int32_t mp_size);
// Size word of a module of MP_size bytes: "500 ", "2000 ", "8000 ", any other "???? ".
std::string ModuleSizeWord(int32_t mp_size);

}  // namespace kalvort::workflow
