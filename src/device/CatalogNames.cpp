// Program names of catalog entries: the Windows-1251 name bytes, the codes of the control's
// 16-character display, and the entry date.

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include "device/DevCatalog.h"
#include "base/CodePage.h"

namespace kalvort {

namespace {

// Display codes of the Windows-1251 letters 0xC0 (А) to 0xFF (я).
constexpr uint8_t kCyrillicLcd[64] = {
    0x41, 0xA0, 0x42, 0xA1, 0xE0, 0x45, 0xA3, 0xA4, 0xA5, 0xA6, 0x4B, 0xA7, 0x4D, 0x48, 0x4F, 0xA8,
    0x50, 0x43, 0x54, 0xA9, 0xAA, 0x58, 0xE1, 0xAB, 0xAC, 0xE2, 0xAD, 0xAE, 0xC4, 0xAF, 0xB0, 0xB1,
    0x61, 0xB2, 0xB3, 0xB4, 0xE3, 0x65, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0x6F, 0xBE,
    0x70, 0x63, 0xBF, 0x79, 0xE4, 0x78, 0xE5, 0xC0, 0xC1, 0xE6, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7,
};

constexpr double kUnixEpochOle = 25569.0;  // 1 January 1970 as an OLE Automation date

}  // namespace

uint8_t char_lcd(uint8_t b) {
  if (b >= 0x20 && b <= 0x7A) return b;
  if (b >= 0xC0) return kCyrillicLcd[b - 0xC0];
  return 0x20;
}

void StringToCatalogEntry(std::u16string_view name, TDevCatalogEntry &entry) {
  std::string bytes = toCp1251(name);
  // code holds at most 128 name bytes and the terminating 0; a longer name is cut.
  if (bytes.size() > kCatalogCodeSize - 1) bytes.resize(kCatalogCodeSize - 1);
  std::memset(entry.code, 0, sizeof entry.code);
  std::memcpy(entry.code, bytes.data(), bytes.size());
  for (size_t i = 0; i < kCatalogIndicSize - 1; ++i)
    entry.indic[i] = i < bytes.size() ? char_lcd(entry.code[i]) : uint8_t{0x20};
  entry.indic[kCatalogIndicSize - 1] = 0;
}

std::u16string FitCatalogName(std::u16string_view name) {
  size_t bytes = 0, i = 0;
  while (i < name.size() && bytes < kCatalogCodeSize - 1) {
    const bool pair = name[i] >= 0xD800 && name[i] <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                      name[i + 1] <= 0xDFFF;
    i += pair ? 2 : 1;
    ++bytes;
  }
  return std::u16string(name.substr(0, i));
}

bool OleDateToParts(double date, OleDateParts &parts) {
  if (!std::isfinite(date) || date < -657434.0 || date > 2958466.0) return false;
  const double whole = std::trunc(date);
  // The fraction is the time of day also before 1899-12-30 (-1.25 is 29 December, 06:00).
  long long seconds = std::llround(std::fabs(date - whole) * 86400.0);
  long long days = static_cast<long long>(whole) - 25569;  // days since 1970-01-01
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  // Civil date from a day count (proleptic Gregorian calendar).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  parts.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  parts.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.year = static_cast<int>(yoe + era * 400 + (parts.month <= 2 ? 1 : 0));
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return true;
}

std::u16string ByteArrayToString(const uint8_t *bytes, size_t max_len) {
  if (!bytes) return {};
  size_t n = 0;
  while (n < max_len && bytes[n] != 0) ++n;
  return fromCp1251(std::string_view(reinterpret_cast<const char *>(bytes), n));
}

double NowAsOleDate() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  // OLE dates count local days and time; shift UTC seconds by the zone's current offset.
  const double seconds =
      duration<double>(now.time_since_epoch()).count() + static_cast<double>(local.tm_gmtoff);
  return kUnixEpochOle + seconds / 86400.0;
}

}  // namespace kalvort
