// SPDX-License-Identifier: MIT
#include "convert.hpp"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <system_error>

#include "TamselCharts.h"
#include "bar_time.hpp"
#include "column_name.hpp"
#include "message_text.hpp"
#include "price_cell.hpp"

namespace tamsel::cli {

namespace {

// The header's names for a message: the first few, each shortened.
std::string listColumns(const std::vector<std::string_view>& header) {
  constexpr std::size_t kShown = 20;
  std::string list;
  for (std::size_t i = 0; i < header.size() && i < kShown; ++i) {
    if (i > 0) list += ", ";
    list += '\'' + printable(header[i], 40) + '\'';
  }
  if (header.size() > kShown) list += fmt::format(" and {} more", header.size() - kShown);
  return list;
}

// "column 'High' (number 2)": the name as the header writes it and where it is.
std::string columnLabel(std::string_view name, std::size_t index) {
  return fmt::format("column '{}' (number {})", printable(TrimBlanks(name)), index + 1);
}

std::size_t findColumn(const std::vector<std::string_view>& header, std::string_view raw, const std::string& wanted,
                       const std::string& option, const std::string& name) {
  const std::string key = ColumnKey(wanted);
  std::size_t found = header.size();
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (ColumnKey(header[i]) != key) continue;
    if (found != header.size())
      throw Failure(Status::MissingColumn, fmt::format("{}: columns {} and {} are both named '{}'; pick one with {}",
                                                       name, found + 1, i + 1, printable(wanted), option));
    found = i;
  }
  if (found == header.size()) {
    // Text in UTF-16 without a byte-order mark reads as names full of NULs.
    const char* hint = raw.find('\0') != std::string_view::npos
                           ? "; the header holds NUL bytes: if the file is UTF-16 or UTF-32 text, convert it to "
                             "UTF-8 first (iconv -f UTF-16 -t UTF-8)"
                           : "";
    throw Failure(Status::MissingColumn, fmt::format("{}: no column named '{}' (the header has {}); name it with {}{}",
                                                     name, printable(wanted), listColumns(header), option, hint));
  }
  return found;
}

// The output is staged in a fixed buffer and handed to the sink in large
// pieces.
class OutputBuffer {
 public:
  explicit OutputBuffer(Sink& sink) : sink_(sink), data_(new char[kSize]) {}

  // Room for at least n more bytes, flushing first if need be; false when n
  // is more than the whole buffer (the caller then writes through).
  bool reserve(std::size_t n) {
    if (used_ + n <= kSize) return true;
    flush();
    return n <= kSize;
  }
  char* cursor() { return data_.get() + used_; }
  void advance(const char* to) { used_ = static_cast<std::size_t>(to - data_.get()); }
  void append(std::string_view s) {
    if (!reserve(s.size())) {
      sink_.write(s.data(), s.size());
      return;
    }
    std::memcpy(cursor(), s.data(), s.size());
    used_ += s.size();
  }
  void flush() {
    if (used_ > 0) sink_.write(data_.get(), used_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kSize = 1 << 17;
  Sink& sink_;
  std::unique_ptr<char[]> data_;
  std::size_t used_ = 0;
};

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

float pick(const TamselChart_Values& v, Indicator which) {
  switch (which) {
    case Indicator::CyclePeriod:
      return v.CyclePeriod;
    case Indicator::SignalToNoise:
      return v.SignalToNoiseRatio;
    case Indicator::SwingPosition:
      return v.SwingPosition;
    case Indicator::TrendVigor:
      return v.TrendVigor;
  }
  return 0.0f;
}

struct StreamDeleter {
  void operator()(TamselChart_Stream* s) const { TamselChart_StreamDestroy(s); }
};

// One bar's numbers, once computed.
struct ComputedBar {
  float high, low;
  TamselChart_Values values;
};

// The output rows: the input's own text with the indicators after it, or
// with --bars the plain table of time, prices and all four indicators.
class RowWriter {
 public:
  RowWriter(Sink& sink, const Options& options, char delimiter, std::string_view ending)
      : out_(sink), options_(options), delimiter_(delimiter), ending_(ending) {
    if (options_.bars) {
      delimiter_ = ',';
      ending_ = "\n";
    }
  }

  void header(std::string_view raw, bool byteOrderMark) {
    if (options_.bars) {
      out_.append("time,high,low");
      for (Indicator which : allIndicators()) {
        out_.append(",");
        out_.append(kIndicatorNames[static_cast<int>(which)]);
      }
      out_.append(ending_);
      return;
    }
    if (byteOrderMark) out_.append("\xEF\xBB\xBF");
    out_.append(raw);
    for (Indicator which : options_.indicators) {
      out_.append(std::string_view(&delimiter_, 1));
      out_.append(kIndicatorNames[static_cast<int>(which)]);
    }
    out_.append(ending_);
  }

  void row(std::string_view raw, std::string_view time, const ComputedBar& bar, bool decimalComma) {
    if (options_.bars) {
      appendCsvField(time);
      const auto all = allIndicators();
      float numbers[6] = {bar.high, bar.low};
      for (std::size_t i = 0; i < all.size(); ++i) numbers[2 + i] = pick(bar.values, all[i]);
      appendNumbers(std::span<const float>(numbers, 2 + all.size()), false);
      out_.append(ending_);
      return;
    }
    float values[4];
    for (std::size_t i = 0; i < options_.indicators.size(); ++i) values[i] = pick(bar.values, options_.indicators[i]);
    out_.append(raw);
    appendNumbers(std::span<const float>(values, options_.indicators.size()), decimalComma);
    out_.append(ending_);
  }

  void flush() { out_.flush(); }

 private:
  static std::span<const Indicator> allIndicators() {
    static constexpr Indicator kAll[] = {Indicator::CyclePeriod, Indicator::SignalToNoise, Indicator::SwingPosition,
                                         Indicator::TrendVigor};
    return kAll;
  }

  // Each number after a delimiter.
  void appendNumbers(std::span<const float> numbers, bool decimalComma) {
    if (out_.reserve(numbers.size() * 40)) {
      char* p = out_.cursor();
      for (const float number : numbers) {
        *p++ = delimiter_;
        p = writeFloat(p, number, decimalComma);
      }
      out_.advance(p);
      return;
    }
    for (const float number : numbers) {
      char text[40];
      text[0] = delimiter_;
      out_.append(std::string_view(text, static_cast<std::size_t>(writeFloat(text + 1, number, decimalComma) - text)));
    }
  }

  // A cell of the --bars table, quoted when it holds a comma, a quote or a
  // line break, so that a reader splits the row where it was meant to.
  void appendCsvField(std::string_view text) {
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

  OutputBuffer out_;
  const Options& options_;
  char delimiter_;
  std::string ending_;
};

// The high and low of each bar, taken in time order, with the missing-price
// policy applied.
class PriceReader {
 public:
  PriceReader(const Options& options, const std::string& name, bool decimalCommaAllowed)
      : options_(options), name_(name), decimalCommaAllowed_(decimalCommaAllowed) {}

  // The price in one cell of the bar on line; previous is the same column's
  // price on the bar before, in time order.
  float read(std::string_view cell, long line, const std::string& column, float previous) {
    float value = 0.0f;
    bool usedComma = false;
    switch (parsePriceCell(cell, decimalCommaAllowed_, value, usedComma)) {
      case Cell::Number:
        if (usedComma && bars_ == 0) decimalComma_ = true;
        return value;
      case Cell::Missing:
        if (options_.missing == Missing::NaN) return std::nanf("");
        if (options_.missing == Missing::Previous) {
          if (bars_ > 0) return previous;
          throw Failure(Status::MissingValue,
                        fmt::format("{}:{}: {}: '{}' on the first bar, which has no previous bar to repeat", name_,
                                    line, column, printable(cell)));
        }
        throw Failure(Status::MissingValue,
                      fmt::format("{}:{}: {}: missing value '{}' (one NaN would freeze the cycle spectrum "
                                  "for the rest of the series; --missing=previous repeats the previous bar's value, "
                                  "--missing=nan passes NaN through)",
                                  name_, line, column, printable(cell)));
      case Cell::OutOfRange:
        throw Failure(Status::NotANumber, fmt::format("{}:{}: {}: '{}' is out of the range of a 32-bit float "
                                                      "(largest about 3.4e38)",
                                                      name_, line, column, printable(cell)));
      case Cell::Bad:
        break;
    }
    throw Failure(Status::NotANumber,
                  fmt::format("{}:{}: {}: '{}' is not a number", name_, line, column, printable(cell)));
  }

  void barDone() { ++bars_; }
  bool decimalComma() const { return decimalComma_; }

 private:
  const Options& options_;
  const std::string& name_;
  bool decimalCommaAllowed_;
  bool decimalComma_ = false;
  std::uint64_t bars_ = 0;
};

// Refuses rows whose date runs against the order the command line expects.
// Only a date column whose values are understood is checked; equal times
// pass.
class OrderCheck {
 public:
  OrderCheck(const std::vector<std::string_view>& header, Order order, const std::string& name)
      : time_(header), order_(order), name_(name) {
    if (time_.hasDateColumn()) column_ = columnLabel(header[time_.dateColumn()], time_.dateColumn());
  }

  void check(const csv::Record& row) {
    if (!checking_) return;
    const auto when = time_.of(row.fields);
    if (!when) {
      checking_ = false;  // not a date this reader understands: no check rather than a guess
      return;
    }
    const std::string_view text = TrimBlanks(row.fields[time_.dateColumn()]);
    if (previous_) {
      if (order_ == Order::OldestFirst && *when < *previous_)
        throw Failure(Status::OutOfOrder,
                      fmt::format("{}:{}: {}: '{}' is older than '{}' on the row before; the rows must run oldest "
                                  "first, or all newest first with --order=newest-first",
                                  name_, row.line, column_, printable(text), printable(previousText_)));
      if (order_ == Order::NewestFirst && *when > *previous_)
        throw Failure(Status::OutOfOrder,
                      fmt::format("{}:{}: {}: '{}' is newer than '{}' on the row before, but --order=newest-first "
                                  "wants every row older than the one above it",
                                  name_, row.line, column_, printable(text), printable(previousText_)));
    }
    previous_ = when;
    previousText_.assign(text);
  }

 private:
  BarTime time_;
  Order order_;
  const std::string& name_;
  std::string column_;
  bool checking_ = true;
  std::optional<std::uint64_t> previous_;
  std::string previousText_;
};

// Newest-first rows held until the last one is read: each row's text and its
// two price cells, in one block of text.
class HeldRows {
 public:
  void add(const csv::Record& row, std::size_t highColumn, std::size_t lowColumn, std::string_view time) {
    rows_.push_back(
        {store(row.raw), store(row.fields[highColumn]), store(row.fields[lowColumn]), store(time), row.line});
  }
  std::size_t size() const { return rows_.size(); }
  std::string_view raw(std::size_t i) const { return view(rows_[i].raw); }
  std::string_view high(std::size_t i) const { return view(rows_[i].high); }
  std::string_view low(std::size_t i) const { return view(rows_[i].low); }
  std::string_view time(std::size_t i) const { return view(rows_[i].time); }
  long line(std::size_t i) const { return rows_[i].line; }

 private:
  struct Span {
    std::size_t begin, size;
  };
  struct Row {
    Span raw, high, low, time;
    long line;
  };
  Span store(std::string_view text) {
    const Span span{text_.size(), text.size()};
    text_.append(text);
    return span;
  }
  std::string_view view(Span span) const { return std::string_view(text_).substr(span.begin, span.size); }

  std::string text_;
  std::vector<Row> rows_;
};

void checkFieldCount(const csv::Record& record, std::size_t columns, const std::string& name) {
  if (record.fields.size() != columns)
    throw Failure(Status::Malformed, fmt::format("{}:{}: {} field{} where the header has {}", name, record.line,
                                                 record.fields.size(), record.fields.size() == 1 ? "" : "s", columns));
}

}  // namespace

void convert(csv::ByteSource& input, const std::string& name, Sink& output, const Options& options, Progress* progress,
             BarListener* bars) {
  csv::Reader reader(input);
  csv::Record record;
  try {
    const std::string_view wide = reader.wideByteOrderMark();
    if (!wide.empty())
      throw Failure(Status::Malformed,
                    fmt::format("{}: the text is {} (it starts with that byte-order mark); convert it to UTF-8 "
                                "first, e.g. iconv -f {} -t UTF-8 < IN > OUT",
                                name, wide, wide));
    reader.setDelimiter(options.delimiter != 0 ? options.delimiter : reader.sniffDelimiter());
    if (!reader.next(record)) throw Failure(Status::NoData, name + ": empty, there is no header row");
  } catch (const csv::ParseError& e) {
    throw Failure(Status::Malformed, fmt::format("{}:{}: {}", name, e.line(), e.what()));
  } catch (const std::system_error& e) {
    throw Failure(Status::CannotRead, fmt::format("{}: cannot read: {}", name, e.code().message()));
  }
  const char delimiter = reader.delimiter();
  const std::vector<std::string_view> header = record.fields;
  const std::size_t columns = header.size();
  const std::size_t highColumn = findColumn(header, record.raw, options.high, "--high", name);
  const std::size_t lowColumn = findColumn(header, record.raw, options.low, "--low", name);
  if (highColumn == lowColumn)
    throw Failure(Status::MissingColumn,
                  fmt::format("{}: --high '{}' and --low '{}' both name {}; the high and the low must come from two "
                              "columns",
                              name, printable(options.high), printable(options.low),
                              columnLabel(header[highColumn], highColumn)));
  const std::string highName = columnLabel(header[highColumn], highColumn);
  const std::string lowName = columnLabel(header[lowColumn], lowColumn);
  // Output rows end as the header does, so a CRLF file stays CRLF.
  const std::string ending = record.ending.empty() ? std::string("\n") : std::string(record.ending);

  RowWriter writer(output, options, delimiter, ending);
  writer.header(record.raw, reader.hadByteOrderMark());
  OrderCheck order(header, options.order, name);

  std::unique_ptr<TamselChart_Stream, StreamDeleter> stream(TamselChart_StreamCreate());
  if (!stream) throw Failure(Status::Internal, "out of memory");
  PriceReader prices(options, name, delimiter != ',');
  float previousHigh = 0.0f;
  float previousLow = 0.0f;
  // One bar in time order: its values, computed from its two cells.
  auto computeBar = [&](std::string_view highCell, std::string_view lowCell, long line) {
    ComputedBar bar{};
    bar.high = prices.read(highCell, line, highName, previousHigh);
    bar.low = prices.read(lowCell, line, lowName, previousLow);
    previousHigh = bar.high;
    previousLow = bar.low;
    TamselChart_StreamPush(stream.get(), bar.high, bar.low, &bar.values);
    prices.barDone();
    return bar;
  };
  const BarTime barTime(header);
  auto timeOf = [&](const csv::Record& row) {
    return barTime.hasDateColumn() ? TrimBlanks(row.fields[barTime.dateColumn()]) : std::string_view();
  };
  auto writeRow = [&](std::uint64_t row, std::string_view raw, std::string_view time, const ComputedBar& bar) {
    writer.row(raw, time, bar, prices.decimalComma());
    if (bars != nullptr) bars->bar(BarRecord{row, time, bar.high, bar.low, bar.values});
  };

  std::uint64_t rows = 0;
  HeldRows held;
  try {
    while (reader.next(record)) {
      checkFieldCount(record, columns, name);
      order.check(record);
      if (options.order == Order::NewestFirst) {
        held.add(record, highColumn, lowColumn, timeOf(record));
      } else {
        const ComputedBar bar = computeBar(record.fields[highColumn], record.fields[lowColumn], record.line);
        writeRow(rows, record.raw, timeOf(record), bar);
      }
      ++rows;
      if (progress != nullptr && (rows & 4095) == 0) {
        progress->rows.store(rows, std::memory_order_relaxed);
        progress->bytes.store(reader.bytesRead(), std::memory_order_relaxed);
      }
    }
  } catch (const csv::ParseError& e) {
    throw Failure(Status::Malformed, fmt::format("{}:{}: {}", name, e.line(), e.what()));
  } catch (const std::system_error& e) {
    throw Failure(Status::CannotRead, fmt::format("{}: cannot read: {}", name, e.code().message()));
  }
  if (rows == 0) throw Failure(Status::NoData, name + ": a header and no data rows");

  if (options.order == Order::NewestFirst) {
    // The oldest bar is the last row: compute from the bottom up, then write
    // top down.
    std::vector<ComputedBar> computed(held.size());
    for (std::size_t i = held.size(); i-- > 0;) computed[i] = computeBar(held.high(i), held.low(i), held.line(i));
    for (std::size_t i = 0; i < held.size(); ++i) writeRow(i, held.raw(i), held.time(i), computed[i]);
  }
  writer.flush();
  if (progress != nullptr) {
    progress->rows.store(rows, std::memory_order_relaxed);
    progress->bytes.store(reader.bytesRead(), std::memory_order_relaxed);
  }
}

}  // namespace tamsel::cli
