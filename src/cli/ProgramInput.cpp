#include "cli/ProgramInput.h"

#include <algorithm>
#include <iostream>

#include "cli/CliIo.h"
#include "module/ModuleStatus.h"

namespace kalvort::cli {

std::size_t maxProgramInput() {
  std::size_t largest = 0;
  for (int i = 0; i < kModuleDensityIndexCount; ++i)
    largest = std::max(largest, static_cast<std::size_t>(ModuleGeometryRow(i).size()));
  return largest;
}

bool readProgramInput(const std::string &path, std::string &bytes) {
  std::string error;
  if (readInput(path, bytes, error, maxProgramInput())) return true;
  std::cerr << "kalvort-cli: " << error << "\n";
  return false;
}

}  // namespace kalvort::cli
