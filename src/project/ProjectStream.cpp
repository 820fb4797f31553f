#include "project/ProjectStream.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "project/LineSplitter.h"

namespace kalvort {

namespace {

constexpr size_t kInputPiece = size_t{1} << 16;
constexpr size_t kOutputPiece = size_t{1} << 16;
// A buffer whose length a record announces grows in steps as its bytes arrive, never to the
// announced length at once: a short hostile file cannot make the reader take memory it never fills.
constexpr size_t kFirstStep = size_t{16} << 20;

}  // namespace

bool PayloadSource::Skip(size_t size) {
  char scratch[4096];
  while (size > 0) {
    const size_t n = std::min(size, sizeof scratch);
    if (!Read(scratch, n)) return false;
    size -= n;
  }
  return true;
}

bool MemorySource::Read(void *out, size_t size) {
  if (size > data_.size() - pos_) {
    failure_ = ProjectError::Damaged;
    return false;
  }
  std::memcpy(out, data_.data() + pos_, size);
  pos_ += size;
  return true;
}

InflateSource::InflateSource(std::string_view file) : zs_(std::make_unique<z_stream_s>()) {
  ready_ = inflateInit2(zs_.get(), 15) == Z_OK;
  // zlib counts input in 32-bit units; a file this large cannot be a project anyway.
  if (file.size() > kMaxProjectPayload) {
    Fail(ProjectError::TooLarge);
    return;
  }
  zs_->next_in = reinterpret_cast<Bytef *>(const_cast<char *>(file.data()));
  zs_->avail_in = static_cast<uInt>(file.size());
}

InflateSource::InflateSource(int fd) : zs_(std::make_unique<z_stream_s>()), fd_(fd) {
  ready_ = inflateInit2(zs_.get(), 15) == Z_OK;
  input_.reset(new (std::nothrow) unsigned char[kInputPiece]);
}

InflateSource::~InflateSource() {
  if (ready_) inflateEnd(zs_.get());
}

bool InflateSource::Fail(ProjectError error) {
  failure_ = error;
  broken_ = true;
  return false;
}

// More compressed input; the end of the file here means the stream was cut short.
bool InflateSource::Refill() {
  if (fd_ < 0) return Fail(ProjectError::NotZlib);
  if (!input_) return Fail(ProjectError::OutOfMemory);
  for (;;) {
    const ssize_t n = ::read(fd_, input_.get(), kInputPiece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(ProjectError::CannotOpen);
    if (n == 0) return Fail(ProjectError::NotZlib);
    zs_->next_in = input_.get();
    zs_->avail_in = static_cast<uInt>(n);
    return true;
  }
}

// Inflates up to `size` bytes into `out`; `got` is what came. False on a source error.
bool InflateSource::Inflate(unsigned char *out, size_t size, size_t &got) {
  got = 0;
  if (zs_->avail_in == 0 && !Refill()) return false;
  const size_t room = kMaxProjectPayload - produced_;
  if (room == 0) return Fail(ProjectError::TooLarge);
  const size_t piece = std::min({size, room, size_t{UINT_MAX}});
  zs_->next_out = out;
  zs_->avail_out = static_cast<uInt>(piece);
  const int rc = inflate(zs_.get(), Z_NO_FLUSH);
  got = piece - zs_->avail_out;
  produced_ += got;
  if (rc == Z_STREAM_END) ended_ = true;
  else if (rc == Z_MEM_ERROR) return Fail(ProjectError::OutOfMemory);
  else if (rc != Z_OK && rc != Z_BUF_ERROR) return Fail(ProjectError::NotZlib);
  return true;
}

bool InflateSource::Read(void *out, size_t size) {
  if (broken_) return false;
  if (!ready_) return Fail(ProjectError::OutOfMemory);
  auto *p = static_cast<unsigned char *>(out);
  while (size > 0) {
    if (out_pos_ < out_end_) {
      const size_t n = std::min(size, out_end_ - out_pos_);
      std::memcpy(p, output_.get() + out_pos_, n);
      out_pos_ += n;
      p += n;
      size -= n;
      continue;
    }
    if (ended_) {
      failure_ = ProjectError::Damaged;
      return false;
    }
    size_t got = 0;
    if (size >= kOutputPiece) {  // large: straight into the caller's buffer
      if (!Inflate(p, size, got)) return false;
      p += got;
      size -= got;
    } else {
      if (!output_) output_.reset(new unsigned char[kOutputPiece]);
      if (!Inflate(output_.get(), kOutputPiece, got)) return false;
      out_pos_ = 0;
      out_end_ = got;
    }
  }
  return true;
}

ProjectError InflateSource::Finish() {
  if (!broken_ && !ready_) Fail(ProjectError::OutOfMemory);
  unsigned char scratch[16384];
  size_t got = 0;
  while (!broken_ && !ended_ && Inflate(scratch, sizeof scratch, got)) {
  }
  if (broken_) return failure_;
  // One stream and nothing after it.
  if (zs_->avail_in != 0) return ProjectError::NotZlib;
  if (fd_ >= 0) {
    unsigned char extra;
    ssize_t n;
    do n = ::read(fd_, &extra, 1);
    while (n < 0 && errno == EINTR);
    if (n < 0) return ProjectError::CannotOpen;
    if (n > 0) return ProjectError::NotZlib;
  }
  return ProjectError::None;
}

namespace {

template <typename T>
T Field(const char *rec, size_t offset) {
  T v;
  std::memcpy(&v, rec + offset, sizeof v);
  return v;
}

bool ReadI32(PayloadSource &src, int32_t &v) { return src.Read(&v, 4); }

// Reads `count` elements into `out`, growing it as the bytes arrive.
template <typename Container>
ProjectError ReadGrowing(PayloadSource &src, size_t count, Container &out) {
  constexpr size_t unit = sizeof(typename Container::value_type);
  out.clear();
  size_t done = 0;
  while (done < count) {
    const size_t next = std::min(count, std::max(done * 2, kFirstStep / unit));
    out.resize(next);
    if (!src.Read(reinterpret_cast<char *>(out.data()) + done * unit, (next - done) * unit)) return src.Failure();
    done = next;
  }
  return ProjectError::None;
}

// Reads texts of UTF-16LE code units (this host is little-endian) in pieces into lines, with one
// piece buffer and one splitter for all texts of a project.
class TextReader {
 public:
  ProjectError Read(PayloadSource &src, size_t units, size_t &lines_left, ProgramText &lines) {
    if (piece_.empty()) piece_.resize(size_t{1} << 15);
    splitter_.Reset(lines_left);
    while (units > 0) {
      const size_t n = std::min(units, piece_.size());
      if (!src.Read(piece_.data(), n * 2)) return src.Failure();
      if (!splitter_.Feed(piece_.data(), n)) return ProjectError::TooLarge;
      units -= n;
    }
    if (!splitter_.Finish(lines)) return ProjectError::TooLarge;
    lines_left -= lines.size();
    return ProjectError::None;
  }

 private:
  std::vector<char16_t> piece_;
  LineSplitter splitter_{0};
};

// Reads one record of at least `min_size` bytes whose int32 size field (already read) comes
// first; the fields land in `rec` and the rest of a longer record is skipped.
bool ReadRecord(PayloadSource &src, int32_t size, int32_t min_size, char *rec) {
  if (size < min_size) return false;
  std::memcpy(rec, &size, 4);
  return src.Read(rec + 4, static_cast<size_t>(min_size) - 4) &&
         src.Skip(static_cast<size_t>(size) - static_cast<size_t>(min_size));
}

ProjectError ReadFailure(PayloadSource &src) { return src.Failure(); }

// `lines_left` is what the project's line limit still allows.
ProjectError ReadEntry(PayloadSource &src, int32_t size, TDevCatalogEntry &e, TextReader &texts, size_t &lines_left) {
  char rec[kEntryRecordSize];
  if (size < kEntryRecordSize) return ProjectError::Damaged;
  if (!ReadRecord(src, size, kEntryRecordSize, rec)) return ReadFailure(src);
  e.cat_num = Field<int32_t>(rec, 4);
  e.prog_num = Field<uint16_t>(rec, 8);
  e.prog_size = Field<uint32_t>(rec, 10);
  e.control_sum = Field<uint32_t>(rec, 14);
  std::memcpy(e.indic, rec + 18, sizeof e.indic);
  std::memcpy(e.code, rec + 35, sizeof e.code);
  e.date = Field<double>(rec, 164);
  e.need_p_proc = rec[172] != 0;
  e.file_bin_valid = rec[173] != 0;
  e.file_txt_valid = rec[174] != 0;
  e.file_error_code = feOK;
  if (e.file_bin_valid && e.prog_size > 0) {
    auto image = std::make_shared<ProgramImage>();
    if (const auto err = ReadGrowing(src, e.prog_size, *image); err != ProjectError::None) return err;
    e.p_buffer = std::move(image);
  }
  e.text = std::make_shared<ProgramText>();
  if (e.file_txt_valid) {
    int32_t len = 0;
    if (!ReadI32(src, len)) return ReadFailure(src);
    if (len < 0 || len % 2 != 0) return ProjectError::Damaged;
    // Each line costs far more in memory than its line break in the file: the lines are counted
    // against the project's limit as they come.
    if (const auto err = texts.Read(src, static_cast<size_t>(len) / 2, lines_left, *e.text); err != ProjectError::None)
      return err;
  }
  return ProjectError::None;
}

ProjectError DecodeEntries(PayloadSource &src, ProjectContent &result) {
  char magic[4];
  if (!src.Read(magic, 4)) return src.Failure() == ProjectError::Damaged ? ProjectError::WrongMagic : src.Failure();
  if (std::memcmp(magic, kProjectMagic, 4) != 0) return ProjectError::WrongMagic;
  if (!ReadI32(src, result.version)) return ReadFailure(src);
  // Each record starts with its own size field, which the record's length includes.
  int32_t size = 0;
  char rec[kOptionsRecordSize];
  if (!ReadI32(src, size)) return ReadFailure(src);
  if (size < kOptionsRecordSize) return ProjectError::Damaged;
  if (!ReadRecord(src, size, kOptionsRecordSize, rec)) return ReadFailure(src);
  result.options.active_device = Field<int32_t>(rec, 4);
  result.options.process = static_cast<uint8_t>(rec[8]);
  result.options.processor = Field<int32_t>(rec, 9);
  result.options.hex_view = static_cast<uint8_t>(rec[13]);

  int32_t count = 0;
  if (!ReadI32(src, count)) return ReadFailure(src);
  // A negative count is no empty project: the file is damaged.
  if (count < 0) return ProjectError::Damaged;
  size_t lines_left = kMaxProjectLines;
  TextReader texts;
  for (int32_t n = 0; n < count; ++n) {
    if (!ReadI32(src, size)) return ReadFailure(src);
    if (size == 0) break;  // the terminator ends the entries early
    if (static_cast<size_t>(n) >= kMaxProjectEntries) return ProjectError::TooLarge;
    TDevCatalogEntry e;
    if (const auto err = ReadEntry(src, size, e, texts, lines_left); err != ProjectError::None) return err;
    result.entries.push_back(std::move(e));
  }
  return ProjectError::None;
}

}  // namespace

ProjectError DecodeProject(PayloadSource &source, ProjectContent &content) {
  ProjectError err;
  ProjectContent result;
  try {
    err = DecodeEntries(source, result);
  } catch (const std::bad_alloc &) {
    err = ProjectError::OutOfMemory;
  }
  if (const ProjectError finish = source.Finish(); finish != ProjectError::None) return finish;
  if (err == ProjectError::None) content = std::move(result);
  return err;
}

}  // namespace kalvort
