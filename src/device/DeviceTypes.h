#pragma once
// Types shared by the whole device side: device and module kinds, error codes, the status record
// of a device and its module, and one catalog entry.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/CodePage.h"

namespace kalvort {

enum TDeviceType : int32_t { dtNone = 0, dtProg = 1, dtSMP2C42 = 2, dtWMP2C42 = 3 };

enum TMPtype : int32_t {
  mptNone = 0,
  mptMP500 = 1,
  mptMP2000 = 2,
  mptMP8000 = 3,
  mptMP8000_new = 4,
  mptNC = 5,
};

enum TDeviceError : int32_t {
  deOK = 0,
  deNotConnected = 1,
  deSMPNotConnected = 2,
  deOperationTimeout = 3,
  deWrongFileNum = 4,
  deCSError = 5,
  deOperationError = 6,
  deEraseError = 7,
  deCheckError = 8,
  deDeviceBusy = 9,
};

enum TFileError : int32_t { feOK = 0, feCSError = 1, feProcessError = 2 };

struct TDeviceState {
  bool connected = false;
  uint8_t version = 0;         // USB programmer firmware; 0 on a network device
  uint32_t full_version = 0;   // network controller firmware; 0 on the USB programmer
  bool MP_connected = false;
  bool MP_ready = false;
  TMPtype MP_type = mptNone;
  int32_t MP_size = 0;
  int32_t MP_page_bits = 0;
  int32_t MP_page_size = 0;
  int32_t MP_page_all = 0;
  int32_t MP_all = 0;          // bytes of the catalog's valid binaries (CalculateMPStat)
};

// A program's binary image and its text lines. A copy of an entry shares both with the stored
// entry (shared_ptr), so reading an entry, changing a field and storing it back keeps the data.
using ProgramImage = std::vector<uint8_t>;
using ProgramText = std::vector<std::u16string>;

inline constexpr size_t kCatalogCodeSize = 129;   // name bytes, 0-terminated
inline constexpr size_t kCatalogIndicSize = 17;   // 16 display codes and a 0

struct TDevCatalogEntry {
  int32_t cat_num = 0;        // slot in the module's catalog; -1 asks add/insert/change to choose
  uint16_t prog_num = 0;
  uint16_t first_page = 0;
  uint16_t last_page = 0;
  uint32_t prog_size = 0;
  uint32_t control_sum = 0;
  uint8_t indic[kCatalogIndicSize] = {};
  uint8_t code[kCatalogCodeSize] = {};
  double date = 0.0;          // OLE Automation date
  bool need_p_proc = false;
  std::shared_ptr<ProgramImage> p_buffer;  // exactly prog_size bytes when present
  std::shared_ptr<ProgramText> text;       // every stored entry has one, possibly empty
  // How the text is written back to a file: the byte-order-marked encoding it was read in, or
  // Windows-1251.
  TextEncoding text_encoding = TextEncoding::Cp1251;
  bool file_bin_valid = false;
  bool file_txt_valid = false;
  TFileError file_error_code = feOK;
};

// One known network controller: its dotted-decimal IPv4 address and display name.
struct TNetDevice {
  std::string ip;
  std::u16string name;
  bool operator==(const TNetDevice &) const = default;
};

}  // namespace kalvort
