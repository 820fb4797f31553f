#pragma once
// Project: the programs a shop keeps together and writes to one memory module, apart from any
// device. It owns the catalog entries (each with its binary, its text and the encoding its text
// came in) and the options they are converted and written with. A device command works on a copy in the device object and gives the project the
// result; choosing another device or comparing with the module leaves the project where it is.
//
// Threads: the owner's; a device command may use it on its worker thread while the owner leaves
// it alone (the desktop program's window is disabled then).

#include "device/DevCatalog.h"
#include "project/Options.h"

namespace kalvort {

class Project {
 public:
  Project() = default;
  Project(const Project &) = delete;
  Project &operator=(const Project &) = delete;

  TDevCatalog &Programs() { return programs_; }
  const TDevCatalog &Programs() const { return programs_; }

  // Processing, format options and time-out factor. A new project keeps them: they are the shop's
  // settings; opening a project file takes its processing part.
  kalvort::Options &Options() { return options_; }
  const kalvort::Options &Options() const { return options_; }

 private:
  TDevCatalog programs_;
  kalvort::Options options_;
};

}  // namespace kalvort
