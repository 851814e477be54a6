// SPDX-License-Identifier: MIT
// Newest-first rows held until the last one is read, as compactly as their
// text allows: memory is what sets the largest newest-first file the tool can
// convert.
#ifndef TAMSEL_TOOLS_HELD_ROWS_HPP
#define TAMSEL_TOOLS_HELD_ROWS_HPP

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include "csv_reader.hpp"

namespace tamsel::cli {

class HeldRows {
 public:
  // One held row: views into the store, valid while it lives.
  struct Row {
    std::string_view raw, high, low, time;
    long line;
  };

  // Holds a row with its high and low cells and its time text (each most
  // often a part of the row's own text, then held as a place in it).
  void add(const csv::Record& record, std::string_view high, std::string_view low, std::string_view time);
  std::size_t size() const { return offsets_.size(); }
  // Row i (0 for the first held); any order of access.
  Row row(std::size_t i) const;

 private:
  void putNumber(std::uint64_t value);
  void putPart(std::string_view part, std::string_view raw);
  char* room(std::size_t size);

  // Records are packed into large blocks, never moved once written: no
  // doubling copy of everything held while the input is read.
  static constexpr std::size_t kBlockSize = 1 << 20;
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size, used;
    std::size_t firstRow;  // the number of the first row held in it
  };
  std::vector<Block> blocks_;
  // Where each row's record begins in its block (a block holds less than
  // 4 GiB: a record is at most the reader's largest, 16 MiB, plus a little).
  std::deque<std::uint32_t> offsets_;
};

}  // namespace tamsel::cli

#endif
