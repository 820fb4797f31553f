// kalvort-cli lda: pack bytes into an LDA load stream and unpack one.

#include <iostream>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliIo.h"
#include "cli/ProgramInput.h"
#include "formats/Conversion.h"
#include "formats/Lda.h"

namespace kalvort::cli {
namespace {

const char kSynopsis[] =
    "  lda pack --address N [--block-size N] INPUT OUTPUT\n"
    "      Writes INPUT as an LDA stream loaded at address N (0-65535) in blocks of N bytes\n"
    "      (1-8192, default 8192).\n"
    "  lda unpack INPUT OUTPUT\n"
    "      Loads an LDA stream and writes memory from the start address to the end of the last\n"
    "      data block; prints the start address (on standard error when OUTPUT is \"-\").";

int run(const std::vector<std::string> &argv) {
  if (argv.empty() || (argv[0] != "pack" && argv[0] != "unpack"))
    return usageError("lda needs pack or unpack");
  const bool pack = argv[0] == "pack";
  const Args args({argv.begin() + 1, argv.end()}, {},
                  pack ? std::set<std::string>{"--address", "--block-size"} : std::set<std::string>{});
  if (!args.ok()) return usageError(args.error());
  long long address = 0;
  long long blockSize = static_cast<long long>(kLdaMaxBlockSize);
  if (pack) {
    const auto a = args.value("--address");
    if (!a) return usageError("lda pack needs --address");
    const auto parsed = parseInteger(*a, 0, 65535);
    if (!parsed) return usageError("--address must be 0-65535");
    address = *parsed;
    if (const auto b = args.value("--block-size")) {
      const auto size = parseInteger(*b, 1, static_cast<long long>(kLdaMaxBlockSize));
      if (!size) return usageError("--block-size must be 1-8192");
      blockSize = *size;
    }
  }
  if (args.positional().size() != 2) return usageError("lda needs INPUT and OUTPUT");
  const std::string &input = args.positional()[0];
  const std::string &output = args.positional()[1];

  std::string bytes, error;
  if (!readProgramInput(input, bytes)) return kExitFailed;
  const std::span<const std::uint8_t> source(reinterpret_cast<const std::uint8_t *>(bytes.data()),
                                             bytes.size());
  std::vector<std::uint8_t> result;
  int start = 0;
  if (pack) {
    SaveLDA(source, result, static_cast<std::uint32_t>(address), static_cast<std::size_t>(blockSize));
  } else {
    if (!LoadLDA(source, result, start)) {
      std::cerr << input << ": " << convErrMessage(kConvErrNone) << "\n";
      return kExitFailed;
    }
    // The program is what lies from the first block's address to the end of the last block.
    const std::size_t from = std::min(result.size(), static_cast<std::size_t>(start));
    result.erase(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(from));
  }
  if (!writeOutput(output, std::string(result.begin(), result.end()), error)) {
    std::cerr << "kalvort-cli: " << error << "\n";
    return kExitFailed;
  }
  if (!pack) (output == "-" ? std::cerr : std::cout) << start << "\n";
  return kExitOk;
}

const CliCommandRegistration registration({"lda", kSynopsis, run});

}  // namespace
}  // namespace kalvort::cli
