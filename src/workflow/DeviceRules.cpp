#include "workflow/DeviceRules.h"

#include "transport/LANDeviceUnit.h"

namespace kalvort::workflow {

TDeviceType DeviceKindOf(const TDeviceClass &device) {
  if (const auto *lan = dynamic_cast<const TLANDeviceClass *>(&device))
    return lan->DevSubtype() == dstWMP ? dtWMP2C42 : dtSMP2C42;
  return device.DeviceType();
}

bool ApplyControlTypeRule(TDeviceType type, bool &need_proc, int32_t &processor_type) {
  if (!ForcesProcessed2C42(type) || (need_proc && processor_type == 0)) return false;
  need_proc = true;
  processor_type = 0;
  return true;
}

std::string ModuleSizeWord(int32_t mp_size) {
  switch (mp_size) {
    case 0x84000: return "500 ";
    case 0x210000: return "2000 ";
    case 0x840000: return "8000 ";
    default: return "???? ";
  }
}

std::string ModuleLabel(TDeviceType type, int32_t mp_size) {
  return (type == dtSMP2C42 ? "СМП-" : "ВМП-") + ModuleSizeWord(mp_size);
}

}  // namespace kalvort::workflow
