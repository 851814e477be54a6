// SPDX-License-Identifier: MIT
// The output rows of a conversion: the input's own text with the chosen
// indicators after it, or with --bars the plain table of time, taken prices
// and all four indicators.
#ifndef TAMSEL_TOOLS_ROW_WRITER_HPP
#define TAMSEL_TOOLS_ROW_WRITER_HPP

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "convert.hpp"

namespace tamsel::cli {

// One bar's numbers, once computed.
struct ComputedBar {
  float high, low;
  TamselChart_Values values;
};

// values with the warm-up values the options ask to blank set to NaN; bar is
// the bar's number in time order, 1 for the oldest.
TamselChart_Values BlankWarmup(const TamselChart_Values& values, std::uint64_t bar, const Warmup& warmup);

// The output is staged in a fixed buffer and handed to the sink in large
// pieces.
class OutputBuffer {
 public:
  explicit OutputBuffer(Sink& sink) : sink_(sink), data_(new char[kSize]) {}

  // Room for at least n more bytes, flushing first if need be; false when n
  // is more than the whole buffer (the caller then writes through).
  bool reserve(std::size_t n);
  char* cursor() { return data_.get() + used_; }
  void advance(const char* to) { used_ = static_cast<std::size_t>(to - data_.get()); }
  void append(std::string_view s);
  void flush();

 private:
  static constexpr std::size_t kSize = 1 << 17;
  Sink& sink_;
  std::unique_ptr<char[]> data_;
  std::size_t used_ = 0;
};

class RowWriter {
 public:
  // delimiter and ending are the input's, kept in its rows.
  RowWriter(Sink& sink, const Options& options, char delimiter, std::string_view ending);

  void header(std::string_view raw, bool byteOrderMark);
  // time is the date cell's text (for --bars); values are as written.
  void row(std::string_view raw, std::string_view time, float high, float low, const TamselChart_Values& values,
           bool decimalComma);
  void flush() { out_.flush(); }

 private:
  void appendNumbers(std::span<const float> numbers, bool decimalComma);
  void appendCsvField(std::string_view text);

  OutputBuffer out_;
  const Options& options_;
  char delimiter_;
  std::string ending_;
};

}  // namespace tamsel::cli

#endif
