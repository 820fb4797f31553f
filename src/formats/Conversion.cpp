#include "formats/Conversion.h"

#include <cstring>

#include "formats/ConverterFrame.h"

namespace kalvort {

const char *convErrMessage(int code) {
  switch (code) {
    case kConvErrBlockNumber:
      return "Неверный номер кадра";
    case kConvErrSymbol:
      return "Неверный символ";
    default:
      return "Ошибка преобразования";
  }
}

bool Conversion::CopyConversionResult(std::uint8_t *dest, std::size_t count) const {
  if (!has_result_ || count > result_.size()) return false;
  if (count > 0) std::memcpy(dest, result_.data(), count);
  return true;
}

void Conversion::releaseResult() {
  std::vector<std::uint8_t>().swap(result_);
  has_result_ = false;
}

void Conversion::storeResult(std::vector<std::uint8_t> &&bytes) {
  result_ = std::move(bytes);
  has_result_ = true;
}

namespace {
std::recursive_mutex &conversionMutex() {
  static std::recursive_mutex m;
  return m;
}
}  // namespace

namespace detail {
Conversion &processConversion() {
  static Conversion conversion;
  return conversion;
}
}  // namespace detail

std::unique_lock<std::recursive_mutex> LockConversion() {
  return std::unique_lock<std::recursive_mutex>(conversionMutex());
}

bool CopyConversionResult(std::uint8_t *dest, std::size_t count) {
  auto lock = LockConversion();
  return detail::processConversion().CopyConversionResult(dest, count);
}

int conv_err_code() {
  auto lock = LockConversion();
  return detail::processConversion().conv_err_code;
}

int conv_err_str_num() {
  auto lock = LockConversion();
  return detail::processConversion().conv_err_str_num;
}

int progressPercent(std::size_t done, std::size_t total) {
  if (total == 0) return 0;
  const unsigned long long scaled = static_cast<unsigned long long>(done) * 100;
  unsigned long long q = scaled / total;
  const unsigned long long twiceRem = (scaled % total) * 2;
  if (twiceRem > total || (twiceRem == total && (q & 1))) ++q;
  return static_cast<int>(q);
}

}  // namespace kalvort
