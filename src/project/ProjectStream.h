#pragma once
// Decoding a project payload as a stream. The decoder pulls the bytes it needs from a source: the
// payload in memory, or a zlib stream inflated from memory or piece by piece from a file. So a
// project file is never held whole next to what it decodes into, every buffer grows only with
// bytes that really arrived, and the project limits are checked before the memory is taken.

#include <cstddef>
#include <memory>
#include <string_view>

#include "project/ProjectFile.h"

struct z_stream_s;

namespace kalvort {

class PayloadSource {
 public:
  virtual ~PayloadSource() = default;
  // Reads exactly `size` bytes; false when the payload ends first or the source fails.
  virtual bool Read(void *out, size_t size) = 0;
  bool Skip(size_t size);
  // Why the last Read failed: Damaged when the payload ended, otherwise the source's own error.
  ProjectError Failure() const { return failure_; }
  // Consumes the rest of the payload and checks that the source is whole and nothing follows it.
  virtual ProjectError Finish() = 0;

 protected:
  ProjectError failure_ = ProjectError::Damaged;
};

// The payload itself, in memory.
class MemorySource final : public PayloadSource {
 public:
  explicit MemorySource(std::string_view payload) : data_(payload) {}
  bool Read(void *out, size_t size) override;
  ProjectError Finish() override { return ProjectError::None; }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

// A project file's zlib stream, inflated as the decoder asks; at most kMaxProjectPayload bytes.
class InflateSource final : public PayloadSource {
 public:
  explicit InflateSource(std::string_view file);  // the whole file in memory
  explicit InflateSource(int fd);                 // read from `fd` piece by piece (not closed here)
  ~InflateSource() override;
  InflateSource(const InflateSource &) = delete;
  InflateSource &operator=(const InflateSource &) = delete;

  bool Read(void *out, size_t size) override;
  ProjectError Finish() override;

 private:
  bool Refill();
  bool Fail(ProjectError error);
  bool Inflate(unsigned char *out, size_t size, size_t &got);

  std::unique_ptr<z_stream_s> zs_;
  bool ready_ = false;
  bool ended_ = false;   // the zlib stream has ended
  bool broken_ = false;  // a source error was met; it stays the answer
  size_t produced_ = 0;
  int fd_ = -1;
  std::unique_ptr<unsigned char[]> input_;
  // Inflated bytes not yet read: small reads are served from here, so that zlib always works on
  // large pieces.
  std::unique_ptr<unsigned char[]> output_;
  size_t out_pos_ = 0, out_end_ = 0;
};

// Decodes the payload the source gives (the format is in ProjectFile.h), then lets the source
// finish: an error of the source itself (not zlib, too large) wins over a decoding error.
ProjectError DecodeProject(PayloadSource &source, ProjectContent &content);

}  // namespace kalvort
