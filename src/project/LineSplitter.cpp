#include "project/LineSplitter.h"

#include <sys/mman.h>

#include <new>

namespace kalvort {

namespace {

// 2 MB of line objects per block; a text of fewer lines never maps one.
constexpr size_t kBlockLines = size_t{1} << 16;
constexpr size_t kBlockBytes = kBlockLines * sizeof(std::u16string);

}  // namespace

LineSplitter::~LineSplitter() {
  for (auto &block : blocks_) Release(block);
}

void LineSplitter::Reset(size_t limit) {
  for (auto &block : blocks_) Release(block);
  blocks_.clear();
  head_.clear();
  carry_.clear();
  limit_ = limit;
  count_ = 0;
  after_cr_ = ended_ = false;
}

void LineSplitter::Release(Block &block) {
  if (!block.lines) return;
  for (size_t i = 0; i < block.used; ++i) block.lines[i].~basic_string();
  ::munmap(block.lines, kBlockBytes);
  block.lines = nullptr;
  block.used = 0;
}

bool LineSplitter::Push(std::u16string &&line) {
  if (count_ >= limit_) return false;
  if (blocks_.empty() && head_.size() < kBlockLines) {
    head_.push_back(std::move(line));
  } else {
    if (blocks_.empty() || blocks_.back().used == kBlockLines) {
      blocks_.reserve(blocks_.size() + 1);
      void *p = ::mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      blocks_.push_back(Block{static_cast<std::u16string *>(p), 0});
    }
    Block &block = blocks_.back();
    new (&block.lines[block.used]) std::u16string(std::move(line));
    ++block.used;
  }
  ++count_;
  return true;
}

bool LineSplitter::Feed(const char16_t *text, size_t size) {
  size_t start = 0;
  size_t i = 0;
  while (i < size && !ended_) {
    if (after_cr_) {  // the LF of a CR LF
      after_cr_ = false;
      if (text[i] == u'\n') start = ++i;
      continue;
    }
    // NUL, LF and CR are all at most CR: ordinary characters are passed over quickly.
    while (i < size && text[i] > u'\r') ++i;
    if (i == size) break;
    const char16_t c = text[i];
    if (c == 0) {
      ended_ = true;
      break;
    }
    if (c != u'\r' && c != u'\n') {
      ++i;
      continue;
    }
    // Each line is made at its own size (assigning to an empty string would double its room).
    if (carry_.empty()) {
      if (!Push(std::u16string(text + start, i - start))) return false;
    } else {
      carry_.append(text + start, i - start);
      if (!Push(std::u16string(carry_))) return false;  // the carry keeps its room for the next one
      carry_.clear();
    }
    after_cr_ = c == u'\r';
    start = ++i;
  }
  if (i > start) carry_.append(text + start, i - start);
  return true;
}

bool LineSplitter::Finish(ProgramText &out) {
  if (!carry_.empty()) {
    if (!Push(std::u16string(carry_))) return false;
    carry_.clear();
  }
  // The list is made at its exact size; head_ keeps its room for the next text.
  out.clear();
  out.reserve(count_);
  for (auto &line : head_) out.push_back(std::move(line));
  head_.clear();
  for (auto &block : blocks_) {
    for (size_t i = 0; i < block.used; ++i) out.push_back(std::move(block.lines[i]));
    Release(block);
  }
  blocks_.clear();
  return true;
}

}  // namespace kalvort
