#include "project/ProjectFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "base/CodePage.h"
#include "base/SafeSave.h"
#include "project/ProjectStream.h"

namespace kalvort {

static_assert(std::endian::native == std::endian::little, "the project file is little-endian");

namespace {

// ---- writing ----

void PutBytes(std::string &out, const void *p, size_t n) { out.append(static_cast<const char *>(p), n); }
void PutI32(std::string &out, int32_t v) { PutBytes(out, &v, 4); }
void PutU32(std::string &out, uint32_t v) { PutBytes(out, &v, 4); }
void PutU16(std::string &out, uint16_t v) { PutBytes(out, &v, 2); }
void PutU8(std::string &out, uint8_t v) { out.push_back(static_cast<char>(v)); }

void PutEntry(std::string &out, const TDevCatalogEntry &e) {
  PutI32(out, kEntryRecordSize);
  PutI32(out, e.cat_num);
  PutU16(out, e.prog_num);
  PutU32(out, e.prog_size);
  PutU32(out, e.control_sum);
  PutBytes(out, e.indic, sizeof e.indic);
  PutBytes(out, e.code, sizeof e.code);
  PutBytes(out, &e.date, 8);
  PutU8(out, e.need_p_proc ? 1 : 0);
  PutU8(out, e.file_bin_valid ? 1 : 0);
  PutU8(out, e.file_txt_valid ? 1 : 0);
  if (e.file_bin_valid) {
    // The image is exactly prog_size bytes; a shorter buffer is padded so that the file stays
    // readable instead of shifting every later record.
    size_t have = e.p_buffer ? std::min<size_t>(e.p_buffer->size(), e.prog_size) : 0;
    if (have) PutBytes(out, e.p_buffer->data(), have);
    out.append(e.prog_size - have, '\0');
  }
  if (e.file_txt_valid) {
    // The lines go in as they are held (UTF-16 in the machine's little-endian order), each
    // followed by CR LF, without joining them first.
    size_t units = 1;  // the closing NUL
    if (e.text)
      for (const auto &line : *e.text) units += line.size() + 2;
    PutI32(out, static_cast<int32_t>(2 * units));
    if (e.text) {
      for (const auto &line : *e.text) {
        PutBytes(out, line.data(), 2 * line.size());
        PutBytes(out, u"\r\n", 4);
      }
    }
    PutU16(out, 0);
  }
}

// The payload's size, so that it is made in one buffer without growing.
size_t PayloadSize(const ProjectContent &content) {
  size_t size = 4 + 4 + 4 + kOptionsRecordSize + 4 + 4;
  for (const auto &e : content.entries) {
    size += 4 + kEntryRecordSize;
    if (e.file_bin_valid) size += e.prog_size;
    if (e.file_txt_valid) {
      size += 4 + 2;
      if (e.text)
        for (const auto &line : *e.text) size += 2 * (line.size() + 2);
    }
  }
  return size;
}

}  // namespace

TOptions OptionsRecord(const ProjectOptions &options) {
  TOptions rec;
  rec.active_device = static_cast<int32_t>(options.DeviceType) + 1;
  rec.process = options.processing.enabled ? 1 : 0;
  rec.processor = options.processing.project_type + 1;
  rec.hex_view = options.hex_view ? 1 : 0;
  return rec;
}

ProjectOptions OptionsFromRecord(const TOptions &record) {
  ProjectOptions o;
  const int32_t device = record.active_device - 1;
  o.DeviceType = device >= dtNone && device <= dtWMP2C42 ? static_cast<TDeviceType>(device) : dtNone;
  o.processing.enabled = record.process != 0;
  o.processing.project_type = record.processor == 2 ? 1 : 0;
  o.hex_view = record.hex_view != 0;
  return o;
}

const char *ProjectErrorText(ProjectError error) {
  switch (error) {
    case ProjectError::None: return "no error";
    case ProjectError::CannotOpen: return "the file cannot be read";
    case ProjectError::NotZlib: return "not a complete zlib stream";
    case ProjectError::TooLarge: return "the content is too large";
    case ProjectError::WrongMagic: return "not a project file";
    case ProjectError::Damaged: return "the project data is cut short or damaged";
    case ProjectError::CannotWrite: return "the file cannot be written";
    case ProjectError::OutOfMemory: return "out of memory";
  }
  return "unknown error";
}

std::u16string ProjectTextOf(const TDevCatalogEntry &entry) {
  if (!entry.text) return {};
  return joinLines(*entry.text, u"\r\n");
}

std::string EncodeProjectPayload(const ProjectContent &content) {
  std::string out;
  out.reserve(PayloadSize(content));
  PutBytes(out, kProjectMagic, 4);
  PutI32(out, content.version);
  PutI32(out, kOptionsRecordSize);
  PutI32(out, content.options.active_device);
  PutU8(out, content.options.process);
  PutI32(out, content.options.processor);
  PutU8(out, content.options.hex_view);
  PutI32(out, static_cast<int32_t>(content.entries.size()));
  for (const auto &e : content.entries) PutEntry(out, e);
  PutI32(out, 0);
  return out;
}

ProjectError DecodeProjectPayload(std::string_view payload, ProjectContent &content) {
  MemorySource source(payload);
  return DecodeProject(source, content);
}

uint64_t ProgramFilePayload(uint64_t file_size, bool text) {
  return kEntryRecordSize + (text ? 4 + 2 * file_size + 2 : file_size);
}

ProjectError CheckProjectLimits(const ProjectContent &content) {
  if (content.entries.size() > kMaxProjectEntries) return ProjectError::TooLarge;
  size_t lines = 0;
  for (const auto &e : content.entries)
    if (e.file_txt_valid && e.text) lines += e.text->size();
  return lines > kMaxProjectLines ? ProjectError::TooLarge : ProjectError::None;
}

bool DeflateProject(std::string_view payload, std::string &out) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  try {
    out.resize(deflateBound(&zs, static_cast<uLong>(payload.size())));
  } catch (const std::bad_alloc &) {
    deflateEnd(&zs);
    return false;
  }
  zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(payload.data()));
  zs.avail_in = static_cast<uInt>(payload.size());
  zs.next_out = reinterpret_cast<Bytef *>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return rc == Z_STREAM_END;
}

namespace {

// An inflated payload in a buffer that is never zero-filled first: inflate writes every byte.
struct InflatedPayload {
  std::unique_ptr<char[]> data;
  size_t size = 0;
  std::string_view view() const { return {data.get(), size}; }
};

ProjectError InflateInto(std::string_view file, InflatedPayload &payload) {
  // zlib counts input in 32-bit units; a file this large cannot be a project anyway.
  if (file.size() > kMaxProjectPayload) return ProjectError::TooLarge;
  z_stream zs{};
  if (inflateInit2(&zs, 15) != Z_OK) return ProjectError::OutOfMemory;
  std::unique_ptr<char[]> out;
  size_t capacity = 0;
  size_t produced = 0;
  ProjectError result = ProjectError::None;
  try {
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(file.data()));
    zs.avail_in = static_cast<uInt>(file.size());
    capacity = std::min<size_t>(std::max<size_t>(file.size() * 4, 4096), kMaxProjectPayload);
    out.reset(new char[capacity]);
    for (;;) {
      if (produced == capacity) {
        if (capacity >= kMaxProjectPayload) {
          result = ProjectError::TooLarge;
          break;
        }
        const size_t grown = std::min(capacity * 2, kMaxProjectPayload);
        std::unique_ptr<char[]> bigger(new char[grown]);
        std::memcpy(bigger.get(), out.get(), produced);
        out = std::move(bigger);
        capacity = grown;
      }
      zs.next_out = reinterpret_cast<Bytef *>(out.get() + produced);
      zs.avail_out = static_cast<uInt>(capacity - produced);
      const int rc = inflate(&zs, Z_NO_FLUSH);
      produced = capacity - zs.avail_out;
      if (rc == Z_STREAM_END) {
        // One stream and nothing after it.
        if (zs.avail_in != 0) result = ProjectError::NotZlib;
        break;
      }
      if (rc == Z_MEM_ERROR) {
        result = ProjectError::OutOfMemory;
        break;
      }
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        result = ProjectError::NotZlib;
        break;
      }
      // Input used up with room left for output: the stream is cut short.
      if (zs.avail_in == 0 && zs.avail_out != 0) {
        result = ProjectError::NotZlib;
        break;
      }
    }
  } catch (const std::bad_alloc &) {
    result = ProjectError::OutOfMemory;
  }
  inflateEnd(&zs);
  if (result == ProjectError::None) {
    payload.data = std::move(out);
    payload.size = produced;
  }
  return result;
}

}  // namespace

ProjectError InflateProject(std::string_view file, std::string &payload) {
  InflatedPayload inflated;
  if (const auto err = InflateInto(file, inflated); err != ProjectError::None) return err;
  try {
    payload.assign(inflated.view());
  } catch (const std::bad_alloc &) {
    return ProjectError::OutOfMemory;
  }
  return ProjectError::None;
}

ProjectError ReadProjectContent(const std::filesystem::path &path, ProjectContent &content) {
  // Without waiting: opening a FIFO for reading would block until a writer comes.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ProjectError::CannotOpen;
  struct stat st {};
  ProjectError err = ProjectError::CannotOpen;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    if (static_cast<unsigned long long>(st.st_size) > kMaxProjectPayload) {
      err = ProjectError::CannotOpen;  // refused before anything is read
    } else {
      InflateSource source(fd);
      err = DecodeProject(source, content);
    }
  }
  ::close(fd);
  return err;
}

ProjectError WriteProjectContent(const std::filesystem::path &path, const ProjectContent &content,
                                 std::string *detail) {
  if (const auto err = CheckProjectLimits(content); err != ProjectError::None) return err;
  std::string compressed;
  try {
    const std::string payload = EncodeProjectPayload(content);
    if (payload.size() > kMaxProjectPayload) return ProjectError::TooLarge;
    if (!DeflateProject(payload, compressed)) return ProjectError::OutOfMemory;
  } catch (const std::bad_alloc &) {
    return ProjectError::OutOfMemory;
  }
  return SafeSaveFile(path, compressed, detail) ? ProjectError::None : ProjectError::CannotWrite;
}

ProjectContent ProjectFromCatalog(const TDevCatalog *catalog, const ProjectOptions &options) {
  ProjectContent content;
  content.options = OptionsRecord(options);
  if (catalog)
    for (int i = 0; i < catalog->CatalogCount(); ++i) content.entries.push_back(catalog->Catalog(i));
  return content;
}

ProjectError SaveProjectFile(const std::filesystem::path &path, const TDevCatalog *catalog,
                             const ProjectOptions &options, std::string *detail) {
  try {
    return WriteProjectContent(path, ProjectFromCatalog(catalog, options), detail);
  } catch (const std::bad_alloc &) {
    return ProjectError::OutOfMemory;
  }
}

namespace {

// Builds the new catalog aside, then puts it in place.
ProjectError OpenContent(ProjectContent &content, TDevCatalog &catalog, ProjectOptions &options,
                         LoadedCount *loaded) {
  TDevCatalog staged;
  staged.SetMaxProgNum(catalog.MaxProgNum());
  for (auto &e : content.entries) {
    const double stored_date = e.date;
    if (!staged.AddCatalogEntry(e)) {
      if (staged.LastError() == deWrongFileNum) continue;  // catalog full: the rest is dropped
      return ProjectError::OutOfMemory;
    }
    // Adding stamps the current time; the project keeps the date it was saved with.
    const int last = staged.CatalogCount() - 1;
    auto stored = staged.Catalog(last);
    stored.date = stored_date;
    staged.SetCatalog(last, stored);
  }
  catalog.SwapCatalog(staged);
  options = OptionsFromRecord(content.options);
  if (loaded) *loaded = {content.entries.size(), static_cast<size_t>(catalog.CatalogCount())};
  return ProjectError::None;
}

}  // namespace

ProjectError OpenProjectFile(const std::filesystem::path &path, TDevCatalog &catalog, ProjectOptions &options,
                             LoadedCount *loaded) {
  ProjectContent content;
  if (const auto err = ReadProjectContent(path, content); err != ProjectError::None) return err;
  return OpenContent(content, catalog, options, loaded);
}

ProjectError OpenProjectBytes(std::string_view file, TDevCatalog &catalog, ProjectOptions &options,
                              LoadedCount *loaded) {
  ProjectContent content;
  InflateSource source(file);
  if (const auto err = DecodeProject(source, content); err != ProjectError::None) return err;
  return OpenContent(content, catalog, options, loaded);
}

}  // namespace kalvort
