// kalvort-cli project: inspect project files and build them from program files or a folder.

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "device/DevCatalog.h"
#include "base/CodePage.h"
#include "project/ProjectBuild.h"
#include "project/ProjectFile.h"
#include "project/ProjectFolder.h"

namespace kalvort::cli {
namespace {

constexpr const char *kOpenError = "Ошибка открытия файла.";
constexpr const char *kSaveError = "Ошибка сохранения файла!";

int openFailed(const std::string &file, ProjectError err) {
  if (err == ProjectError::OutOfMemory) return outOfMemory();
  std::cerr << "kalvort-cli: " << kOpenError << " " << file << " (" << ProjectErrorText(err) << ")\n";
  return kExitFailed;
}

int saveFailed(const std::string &file, const std::string &detail) {
  std::cerr << "kalvort-cli: " << kSaveError << " " << file;
  if (!detail.empty()) std::cerr << " (" << detail << ")";
  std::cerr << "\n";
  return kExitFailed;
}

const char *deviceName(int32_t active_device) {
  switch (active_device) {
    case 1: return "none";
    case 2: return "prog";
    case 3: return "smp";
    case 4: return "wmp";
  }
  return "unknown";
}

const char *processorName(int32_t processor) {
  switch (processor) {
    case 1: return "2c42";
    case 2: return "nc31";
  }
  return "unknown";
}

// Local date and time of an OLE Automation date: "YYYY-MM-DD HH:MM:SS", or "invalid".
std::string oleDateText(double d) {
  OleDateParts p;
  if (!OleDateToParts(d, p)) return "invalid";
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return buf;
}

// A name in one tab-separated field: backslash, tab, CR and LF are escaped, other control
// characters are shown as \xHH.
std::string fieldText(std::u16string_view name) {
  std::string out;
  for (char c : toUtf8(name)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (u < 0x20 || u == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    } else out += c;
  }
  return out;
}

int listProject(const std::string &file) {
  ProjectContent content;
  if (const auto err = ReadProjectContent(file, content); err != ProjectError::None) return openFailed(file, err);
  const auto &o = content.options;
  char version[16];
  std::snprintf(version, sizeof version, "0x%08X", static_cast<unsigned>(content.version));
  std::cout << "option\tversion\t" << version << "\n"
            << "option\tdevice\t" << deviceName(o.active_device) << "\n"
            << "option\tprocessing\t" << (o.process ? 1 : 0) << "\n"
            << "option\tprocessor\t" << processorName(o.processor) << "\n"
            << "option\thex_view\t" << (o.hex_view ? 1 : 0) << "\n"
            << "option\tentries\t" << content.entries.size() << "\n";
  for (size_t i = 0; i < content.entries.size(); ++i) {
    const auto &e = content.entries[i];
    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%08X", e.control_sum);
    std::string flags = "---";
    if (e.file_bin_valid) flags[0] = 'B';
    if (e.file_txt_valid) flags[1] = 'T';
    if (e.need_p_proc) flags[2] = 'P';
    const std::string lines = e.file_txt_valid && e.text ? std::to_string(e.text->size()) : "-";
    std::cout << "entry\t" << i + 1 << "\t" << e.cat_num << "\t" << e.prog_num << "\t" << e.prog_size << "\t" << sum
              << "\t" << flags << "\t" << lines << "\t" << oleDateText(e.date) << "\t"
              << fieldText(ByteArrayToString(e.code, kCatalogCodeSize)) << "\n";
  }
  return kExitOk;
}

int unpackProject(const std::string &file, const std::string &dir) {
  ProjectContent content;
  if (const auto err = ReadProjectContent(file, content); err != ProjectError::None) return openFailed(file, err);
  std::string error;
  if (!UnpackProject(content, dir, &error)) return saveFailed(dir, error);
  std::cout << "unpacked " << content.entries.size() << " programs into " << dir << "\n";
  return kExitOk;
}

int packProject(const std::string &dir, const std::string &file) {
  ProjectContent content;
  std::string error;
  if (!PackProject(dir, content, &error)) {
    std::cerr << "kalvort-cli: " << kOpenError << " " << dir << " (" << error << ")\n";
    return kExitFailed;
  }
  std::string detail;
  if (const auto err = WriteProjectContent(file, content, &detail); err != ProjectError::None)
    return err == ProjectError::OutOfMemory ? outOfMemory() : saveFailed(file, detail);
  std::cout << "packed " << content.entries.size() << " programs into " << file << "\n";
  return kExitOk;
}

int newProject(const std::vector<std::string> &args) {
  ProjectOptions options;
  options.DeviceType = dtProg;
  options.processing.enabled = true;
  options.processing.project_type = 0;
  std::string out;
  struct Program {
    std::string path;
    bool text;
  };
  std::vector<Program> programs;
  bool text = true;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && a == "--text") {
      text = true;
    } else if (!optionsEnded && a == "--binary") {
      text = false;
    } else if (!optionsEnded && a == "--no-processing") {
      options.processing.enabled = false;
    } else if (!optionsEnded && (a == "--processor" || a.starts_with("--processor="))) {
      std::string v;
      if (a == "--processor") {
        if (i + 1 >= args.size()) return usageError("option --processor needs a value");
        v = args[++i];
      } else {
        v = a.substr(12);
      }
      if (v == "2c42") options.processing.project_type = 0;
      else if (v == "nc31") options.processing.project_type = 1;
      else return usageError("--processor takes 2c42 or nc31");
    } else if (!optionsEnded && a.starts_with("-") && a != "-") {
      return usageError("unknown option " + a);
    } else if (out.empty()) {
      out = a;
    } else {
      programs.push_back({a, text});
    }
  }
  if (out.empty()) return usageError("project new needs FILE.kvt");

  // The sizes are looked at before any file is read: the programs must fit in one project.
  if (programs.size() > kMaxProjectEntries) {
    std::cerr << "kalvort-cli: the catalog is full (" << kMaxProjectEntries << " programs)\n";
    return kExitFailed;
  }
  uint64_t payload = 0;
  for (const auto &p : programs) {
    struct stat st {};
    if (::stat(p.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return openFailed(p.path, ProjectError::CannotOpen);
    payload += ProgramFilePayload(static_cast<uint64_t>(st.st_size), p.text);
    if (payload > kMaxProjectPayload) return openFailed(p.path, ProjectError::TooLarge);
  }

  TDevCatalog catalog;
  catalog.SetMaxProgNum(static_cast<int>(kMaxProjectEntries));
  const bool nc31 = Nc31NumberingMode(options.DeviceType, options.processing);
  size_t lines_left = kMaxProjectLines;
  for (const auto &p : programs) {
    const uint16_t num = ProposeProgNum(catalog, nc31);
    std::u16string name = decodeText(std::filesystem::path(p.path).filename().string());
    switch (AddProgramFile(catalog, p.path, num, name, p.text, nc31, &lines_left)) {
      case AddFileResult::Added: break;
      case AddFileResult::CannotRead: return openFailed(p.path, ProjectError::CannotOpen);
      case AddFileResult::TooManyLines: return openFailed(p.path, ProjectError::TooLarge);
      case AddFileResult::SlotTaken:
        std::cerr << "kalvort-cli: " << p.path << ": slot of program " << num << " is taken\n";
        return kExitFailed;
      case AddFileResult::CatalogFull:
        std::cerr << "kalvort-cli: " << p.path << ": the catalog is full (" << catalog.MaxProgNum()
                  << " programs)\n";
        return kExitFailed;
    }
  }
  std::string detail;
  if (const auto err = SaveProjectFile(out, &catalog, options, &detail); err != ProjectError::None)
    return err == ProjectError::OutOfMemory ? outOfMemory() : saveFailed(out, detail);
  std::cout << "created " << out << " with " << catalog.CatalogCount() << " programs\n";
  return kExitOk;
}

int run(const std::vector<std::string> &args) {
  if (args.empty()) return usageError("project needs a subcommand: list, unpack, pack or new");
  const std::string &sub = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (sub == "new") return newProject(rest);
  Args parsed(rest, {}, {});
  if (!parsed.ok()) return usageError(parsed.error());
  const auto &pos = parsed.positional();
  if (sub == "list") {
    if (pos.size() != 1) return usageError("usage: project list FILE.kvt");
    return listProject(pos[0]);
  }
  if (sub == "unpack") {
    if (pos.size() != 2) return usageError("usage: project unpack FILE.kvt DIR");
    return unpackProject(pos[0], pos[1]);
  }
  if (sub == "pack") {
    if (pos.size() != 2) return usageError("usage: project pack DIR FILE.kvt");
    return packProject(pos[0], pos[1]);
  }
  return usageError("unknown project subcommand '" + sub + "'");
}

CliCommandRegistration registration({
    "project",
    "  project list FILE.kvt              options and one tab-separated line per program\n"
    "  project unpack FILE.kvt DIR        programs as files (text UTF-8, binary) and project.ini\n"
    "  project pack DIR FILE.kvt          the reverse of unpack (byte-exact round trip)\n"
    "  project new [--processor 2c42|nc31] [--no-processing] FILE.kvt [--text] PROGRAM...\n"
    "              [--binary] PROGRAM...  a project from program files (text is the default)",
    run,
});

}  // namespace
}  // namespace kalvort::cli
