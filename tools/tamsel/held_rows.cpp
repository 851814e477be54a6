// SPDX-License-Identifier: MIT
#include "held_rows.hpp"

#include <algorithm>
#include <cstring>
#include <functional>

namespace tamsel::cli {

// A record is: the row's line number, the raw text's length and the raw
// text, then the high, the low and the time, each either a place in the raw
// text (offset + 1, length) or 0, a length and a copy (a quoted cell whose
// doubled quotes were undone is no part of the raw text).  Numbers are
// written 7 bits a byte, so a short row costs a few bytes beyond its text.
namespace {

std::uint64_t getNumber(const char*& p) {
  std::uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*p++);
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return value;
  }
}

std::string_view getPart(const char*& p, std::string_view raw) {
  const std::uint64_t place = getNumber(p);
  const auto size = static_cast<std::size_t>(getNumber(p));
  if (place > 0) return raw.substr(static_cast<std::size_t>(place - 1), size);
  const std::string_view copy(p, size);
  p += size;
  return copy;
}

constexpr std::size_t kNumberRoom = 10;  // a 64-bit number, 7 bits a byte

}  // namespace

char* HeldRows::room(std::size_t size) {
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < size) {
    const std::size_t blockSize = std::max(kBlockSize, size);
    blocks_.push_back({std::unique_ptr<char[]>(new char[blockSize]), blockSize, 0, offsets_.size()});
  }
  return blocks_.back().data.get() + blocks_.back().used;
}

void HeldRows::putNumber(std::uint64_t value) {
  Block& block = blocks_.back();
  char* p = block.data.get() + block.used;
  while (value >= 0x80) {
    *p++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *p++ = static_cast<char>(value);
  block.used = static_cast<std::size_t>(p - block.data.get());
}

void HeldRows::putPart(std::string_view part, std::string_view raw) {
  const std::less_equal<const char*> notAfter;
  if (!part.empty() && notAfter(raw.data(), part.data()) &&
      notAfter(part.data() + part.size(), raw.data() + raw.size())) {
    putNumber(static_cast<std::uint64_t>(part.data() - raw.data()) + 1);
    putNumber(part.size());
    return;
  }
  putNumber(0);
  putNumber(part.size());
  Block& block = blocks_.back();
  if (!part.empty()) std::memcpy(block.data.get() + block.used, part.data(), part.size());
  block.used += part.size();
}

void HeldRows::add(const csv::Record& record, std::string_view high, std::string_view low, std::string_view time) {
  const std::string_view raw = record.raw;
  // At most: every number at its longest, the raw text and copies of all
  // three parts.
  room(9 * kNumberRoom + raw.size() + high.size() + low.size() + time.size());
  Block& block = blocks_.back();
  offsets_.push_back(static_cast<std::uint32_t>(block.used));
  putNumber(static_cast<std::uint64_t>(record.line));
  putNumber(raw.size());
  if (!raw.empty()) std::memcpy(block.data.get() + block.used, raw.data(), raw.size());
  block.used += raw.size();
  putPart(high, raw);
  putPart(low, raw);
  putPart(time, raw);
}

HeldRows::Row HeldRows::row(std::size_t i) const {
  // The last block whose first row is not after row i.
  const auto block = std::upper_bound(blocks_.begin(), blocks_.end(), i,
                                      [](std::size_t row, const Block& b) { return row < b.firstRow; }) -
                     1;
  const char* p = block->data.get() + offsets_[i];
  Row row{};
  row.line = static_cast<long>(getNumber(p));
  const auto rawSize = static_cast<std::size_t>(getNumber(p));
  row.raw = std::string_view(p, rawSize);
  p += rawSize;
  row.high = getPart(p, row.raw);
  row.low = getPart(p, row.raw);
  row.time = getPart(p, row.raw);
  return row;
}

}  // namespace tamsel::cli
