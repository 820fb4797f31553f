// The project file reader on any bytes: first byte bit 0 set, the rest is a whole file (zlib
// stream); clear, the rest is a payload as inflated. Whatever decodes must encode back to a payload
// that decodes to the same thing, and opening must be all-or-nothing.
#include <cstring>

#include "FuzzUtil.h"
#include "project/ProjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
  if (data[0] & 1) {
    TDevCatalog catalog;
    catalog.SetMaxProgNum(1 + data[0] % 7);
    TDevCatalogEntry keep;
    keep.prog_num = 4242;
    catalog.AddCatalogEntry(keep);
    ProjectOptions options;
    options.processor_type = 1;
    if (OpenProjectBytes(rest, catalog, options) != ProjectError::None) {
      FUZZ_CHECK(catalog.CatalogCount() == 1 && catalog.Catalog(0).prog_num == 4242);
      FUZZ_CHECK(options.processor_type == 1);
    } else {
      FUZZ_CHECK(catalog.CatalogCount() <= catalog.MaxProgNum());
      for (int i = 0; i < catalog.CatalogCount(); ++i) {
        const auto e = catalog.Catalog(i);
        FUZZ_CHECK(e.text != nullptr);
        FUZZ_CHECK(!e.p_buffer || e.p_buffer->size() == e.prog_size);
      }
    }
    return 0;
  }
  ProjectContent content;
  if (DecodeProjectPayload(rest, content) != ProjectError::None) return 0;
  const std::string encoded = EncodeProjectPayload(content);
  ProjectContent again;
  FUZZ_CHECK(DecodeProjectPayload(encoded, again) == ProjectError::None);
  FUZZ_CHECK(again.entries.size() == content.entries.size());
  FUZZ_CHECK(EncodeProjectPayload(again) == encoded);
  std::string file, back;
  FUZZ_CHECK(DeflateProject(encoded, file));
  FUZZ_CHECK(InflateProject(file, back) == ProjectError::None && back == encoded);
  return 0;
}
