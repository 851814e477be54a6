// SPDX-License-Identifier: MIT
#include "row_writer.hpp"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace tamsel::cli {

namespace {

// Writes a float at out (at least 32 bytes of room) and returns the end: the
// shortest decimal that reads back to the same float, "nan" for every NaN.
char* writeFloat(char* out, float value, bool decimalComma) {
  if (std::isnan(value)) {
    std::memcpy(out, "nan", 3);  // whatever its sign and payload
    return out + 3;
  }
  char* end = fmt::format_to(out, FMT_COMPILE("{}"), value);
  if (decimalComma)
    for (char* p = out; p != end; ++p)
      if (*p == '.') *p = ',';
  return end;
}

constexpr std::size_t kNumberRoom = 40;  // a delimiter and the longest float

}  // namespace

TamselChart_Values BlankWarmup(const TamselChart_Values& values, std::uint64_t bar, const Warmup& warmup) {
  if (warmup.kind == Warmup::Kind::Values) return values;
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  auto blank = [&](Indicator which) {
    const std::uint64_t warm =
        warmup.kind == Warmup::Kind::Bars ? warmup.bars : static_cast<std::uint64_t>(IndicatorInfo(which).warmupBars);
    return bar <= warm;
  };
  TamselChart_Values shown = values;
  if (blank(0)) shown.CyclePeriod = nan;
  if (blank(1)) shown.SignalToNoiseRatio = nan;
  if (blank(2)) shown.SwingPosition = nan;
  if (blank(3)) shown.TrendVigor = nan;
  return shown;
}

bool OutputBuffer::reserve(std::size_t n) {
  if (used_ + n <= kSize) return true;
  flush();
  return n <= kSize;
}

void OutputBuffer::append(std::string_view s) {
  if (s.empty()) return;  // an empty time: no bytes, and perhaps no pointer to copy from
  if (!reserve(s.size())) {
    sink_.write(s.data(), s.size());
    return;
  }
  std::memcpy(cursor(), s.data(), s.size());
  used_ += s.size();
}

void OutputBuffer::flush() {
  if (used_ > 0) sink_.write(data_.get(), used_);
  used_ = 0;
}

RowWriter::RowWriter(Sink& sink, const Options& options, char delimiter, std::string_view ending)
    // The --bars table is for programs: one dialect whatever the input's.
    : out_(sink),
      options_(options),
      delimiter_(options.bars ? ',' : delimiter),
      ending_(options.bars ? std::string_view("\n") : ending) {}

void RowWriter::header(std::string_view raw, bool byteOrderMark) {
  const std::string_view delimiter(&delimiter_, 1);
  if (options_.bars) {
    out_.append("time,high,low");
    for (Indicator which = 0; which < IndicatorCount(); ++which) {
      out_.append(delimiter);
      out_.append(IndicatorColumn(which));
    }
  } else {
    if (byteOrderMark) out_.append("\xEF\xBB\xBF");
    out_.append(raw);
    for (const Indicator which : options_.indicators) {
      out_.append(delimiter);
      out_.append(IndicatorColumn(which));
    }
  }
  out_.append(ending_);
}

void RowWriter::row(std::string_view raw, std::string_view time, float high, float low,
                    const TamselChart_Values& values, bool decimalComma) {
  float numbers[6];
  std::size_t count = 0;
  if (options_.bars) {
    appendCsvField(time);
    numbers[count++] = high;
    numbers[count++] = low;
    for (Indicator which = 0; which < IndicatorCount(); ++which) numbers[count++] = IndicatorValue(values, which);
    decimalComma = false;
  } else {
    out_.append(raw);
    for (const Indicator which : options_.indicators) numbers[count++] = IndicatorValue(values, which);
  }
  appendNumbers(std::span<const float>(numbers, count), decimalComma);
  out_.append(ending_);
}

// Each number after a delimiter, written straight into the buffer.
void RowWriter::appendNumbers(std::span<const float> numbers, bool decimalComma) {
  if (out_.reserve(numbers.size() * kNumberRoom)) {
    char* p = out_.cursor();
    for (const float number : numbers) {
      *p++ = delimiter_;
      p = writeFloat(p, number, decimalComma);
    }
    out_.advance(p);
    return;
  }
  for (const float number : numbers) {
    char text[kNumberRoom];
    text[0] = delimiter_;
    out_.append(std::string_view(text, static_cast<std::size_t>(writeFloat(text + 1, number, decimalComma) - text)));
  }
}

// A cell of the --bars table, quoted when it holds a comma, a quote or a
// line break, so that a reader splits the row where it was meant to.
void RowWriter::appendCsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out_.append(text);
    return;
  }
  out_.append("\"");
  for (std::size_t quote; (quote = text.find('"')) != std::string_view::npos; text.remove_prefix(quote + 1)) {
    out_.append(text.substr(0, quote + 1));
    out_.append("\"");
  }
  out_.append(text);
  out_.append("\"");
}

}  // namespace tamsel::cli
