// kalvort-cli convert: program text to a control's image and back.

#include <iostream>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliIo.h"
#include "cli/ProgramInput.h"
#include "base/CodePage.h"
#include "formats/Processors.h"

namespace kalvort::cli {
namespace {

const char kSynopsis[] =
    "  convert --format 2c42|vz|nc31 --to binary|text [--del-space] [--del-empty] [--merge]\n"
    "          [--utf8] INPUT OUTPUT\n"
    "      Converts a program text to the control's image (--to binary) or an image to text.\n"
    "      --del-space, --del-empty: drop spaces / empty lines when writing (2c42; vz: --del-empty)\n"
    "      --merge: one line per block when reading nc31; --utf8: write text as UTF-8\n"
    "      (default: Windows-1251, CR LF). \"-\" is standard input/output.";

enum class Format { C42, VZ, NC31 };

int fail(const std::string &input, int line, int code) {
  std::cerr << input;
  if (line > 0) std::cerr << ':' << line;
  std::cerr << ": " << convErrMessage(code) << "\n";
  return kExitFailed;
}

int run(const std::vector<std::string> &argv) {
  const Args args(argv, {"--del-space", "--del-empty", "--merge", "--utf8"},
                  {"--format", "--to"});
  if (!args.ok()) return usageError(args.error());
  const auto formatName = args.value("--format");
  const auto to = args.value("--to");
  if (!formatName) return usageError("convert needs --format 2c42|vz|nc31");
  if (!to || (*to != "binary" && *to != "text")) return usageError("convert needs --to binary|text");
  Format format;
  if (*formatName == "2c42") {
    format = Format::C42;
  } else if (*formatName == "vz") {
    format = Format::VZ;
  } else if (*formatName == "nc31") {
    format = Format::NC31;
  } else {
    return usageError("unknown format '" + *formatName + "' (2c42, vz or nc31)");
  }
  if (args.positional().size() != 2) return usageError("convert needs INPUT and OUTPUT");
  const std::string &input = args.positional()[0];
  const std::string &output = args.positional()[1];

  std::string bytes, error;
  if (!readProgramInput(input, bytes)) return kExitFailed;

  Conversion conv;
  std::size_t length = 0;
  bool ok = false;
  if (*to == "binary") {
    const ProgramLines lines = splitLines(decodeText(bytes));
    switch (format) {
      case Format::C42:
        ok = Write2C42(conv, lines, args.has("--del-space"), args.has("--del-empty"), nullptr, length);
        break;
      case Format::VZ:
        ok = WriteVZ(conv, lines, args.has("--del-empty"), nullptr, length);
        break;
      case Format::NC31:
        ok = WriteNC31(conv, lines, nullptr, length);
        break;
    }
    if (!ok || length == 0) return fail(input, conv.conv_err_str_num, conv.conv_err_code);
  } else {
    const auto *image = reinterpret_cast<const std::uint8_t *>(bytes.data());
    switch (format) {
      case Format::C42:
        ok = Read2C42(conv, image, bytes.size(), nullptr, length);
        break;
      case Format::VZ:
        ok = ReadVZ(conv, image, bytes.size(), nullptr, length);
        break;
      case Format::NC31:
        ok = ReadNC31(conv, image, bytes.size(), args.has("--merge"), nullptr, length);
        break;
    }
    // A read that yields no text counts as failed, as in the desktop program.
    if (!ok || length == 0) return fail(input, 0, kConvErrNone);
  }

  std::string out(length, '\0');
  conv.CopyConversionResult(reinterpret_cast<std::uint8_t *>(out.data()), length);
  if (*to == "text" && args.has("--utf8")) out = toUtf8(fromCp1251(out));
  if (!writeOutput(output, out, error)) {
    std::cerr << "kalvort-cli: " << error << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

const CliCommandRegistration registration({"convert", kSynopsis, run});

}  // namespace
}  // namespace kalvort::cli
