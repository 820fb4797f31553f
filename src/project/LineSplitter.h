#pragma once
// Splitting a program text into lines while it arrives in pieces, as splitLines splits a whole
// text (at CR LF, CR or LF; a break at the very end starts no further line), up to the first NUL
// unit, where a stored text ends. Nothing holds the whole text at once, and the lines are kept in
// blocks mapped on their own until the count is known: the final list is then made at its exact
// size and each block given back as it is emptied. So a text of many short lines takes its lines
// and one list of them, never a second list or a copy of the text.

#include <cstddef>
#include <string>
#include <vector>

#include "device/DeviceTypes.h"

namespace kalvort {

class LineSplitter {
 public:
  // At most `limit` lines; more make Feed or Finish fail before they take their memory.
  explicit LineSplitter(size_t limit) : limit_(limit) {}
  // Starts the next text; the room of the first lines is kept for it.
  void Reset(size_t limit);
  ~LineSplitter();
  LineSplitter(const LineSplitter &) = delete;
  LineSplitter &operator=(const LineSplitter &) = delete;

  // False once the text holds more lines than the limit. May throw std::bad_alloc.
  bool Feed(const char16_t *text, size_t size);
  // Ends the text: its lines go to `out`. False when the last line is beyond the limit.
  bool Finish(ProgramText &out);
  size_t Lines() const { return count_; }

 private:
  struct Block {
    std::u16string *lines = nullptr;
    size_t used = 0;
  };
  bool Push(std::u16string &&line);
  void Release(Block &block);

  size_t limit_;
  size_t count_ = 0;
  std::u16string carry_;  // the line begun in an earlier piece
  bool after_cr_ = false;
  bool ended_ = false;
  std::vector<std::u16string> head_;  // the first lines, in ordinary memory
  std::vector<Block> blocks_;         // the rest of a long text
};

}  // namespace kalvort
