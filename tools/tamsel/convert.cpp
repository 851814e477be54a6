#include "convert.hpp"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <system_error>

#include "TamselCharts.h"

namespace tamsel::cli {

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Column names compare without regard to case or surrounding blanks, and
// the <HIGH> style of some trading platforms' exports matches "high".
std::string columnKey(std::string_view name) {
  name = trim(name);
  if (name.size() >= 2 && name.front() == '<' && name.back() == '>') name = trim(name.substr(1, name.size() - 2));
  std::string key(name);
  for (char& c : key) c = asciiLower(c);
  return key;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

std::string listColumns(const std::vector<std::string_view>& header) {
  std::string list;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (i > 0) list += ", ";
    list += '\'';
    list += header[i];
    list += '\'';
  }
  return list;
}

std::size_t findColumn(const std::vector<std::string_view>& header, const std::string& wanted,
                       const std::string& option, const std::string& name) {
  const std::string key = columnKey(wanted);
  std::size_t found = header.size();
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (columnKey(header[i]) != key) continue;
    if (found != header.size())
      throw Failure(Status::MissingColumn, fmt::format("{}: columns {} and {} are both named '{}'; pick one with {}",
                                                       name, found + 1, i + 1, wanted, option));
    found = i;
  }
  if (found == header.size())
    throw Failure(Status::MissingColumn, fmt::format("{}: no column named '{}' (the header has {}); name it with {}",
                                                     name, wanted, listColumns(header), option));
  return found;
}

enum class Cell { Number, Missing, Bad, OutOfRange };

// Reads a price.  Blanks around it and a leading '+' are allowed; so is a
// decimal comma when commas do not separate fields (semicolon- and tab-
// separated files from European locales).
Cell parseCell(std::string_view text, bool decimalCommaAllowed, float& value, bool& usedComma) {
  text = trim(text);
  if (text.empty() || equalsIgnoringCase(text, "null") || equalsIgnoringCase(text, "nan") ||
      equalsIgnoringCase(text, "na") || equalsIgnoringCase(text, "n/a"))
    return Cell::Missing;
  if (text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return Cell::Bad;
  }
  char local[64];
  if (decimalCommaAllowed && text.size() < sizeof local) {
    const std::size_t comma = text.find(',');
    if (comma != std::string_view::npos && text.find(',', comma + 1) == std::string_view::npos &&
        text.find('.') == std::string_view::npos) {
      std::memcpy(local, text.data(), text.size());
      local[comma] = '.';
      text = std::string_view(local, text.size());
      usedComma = true;
    }
  }
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return Cell::OutOfRange;
  if (ec != std::errc() || ptr != end) return Cell::Bad;
  if (!std::isfinite(value)) return Cell::Bad;  // "inf", "infinity"
  return Cell::Number;
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

}  // namespace

void convert(csv::ByteSource& input, const std::string& name, Sink& output, const Options& options,
             Progress* progress) {
  csv::Reader reader(input);
  csv::Record record;
  try {
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
  const std::size_t highColumn = findColumn(header, options.high, "--high", name);
  const std::size_t lowColumn = findColumn(header, options.low, "--low", name);
  const std::string highName(trim(header[highColumn]));
  const std::string lowName(trim(header[lowColumn]));
  // Output rows end as the header does, so a CRLF file stays CRLF.
  const std::string ending = record.ending.empty() ? std::string("\n") : std::string(record.ending);

  OutputBuffer out(output);
  if (reader.hadByteOrderMark()) out.append("\xEF\xBB\xBF");
  out.append(record.raw);
  for (Indicator which : options.indicators) {
    out.append(std::string_view(&delimiter, 1));
    out.append(kIndicatorNames[static_cast<int>(which)]);
  }
  out.append(ending);

  std::unique_ptr<TamselChart_Stream, StreamDeleter> stream(TamselChart_StreamCreate());
  if (!stream) throw Failure(Status::Internal, "out of memory");

  const bool decimalCommaAllowed = delimiter != ',';
  bool decimalComma = false;
  float previousHigh = 0.0f;
  float previousLow = 0.0f;
  std::uint64_t rows = 0;

  auto readPrice = [&](const csv::Record& row, std::size_t column, const std::string& columnName,
                       float previous) -> float {
    float value = 0.0f;
    bool usedComma = false;
    const std::string_view cell = row.fields[column];
    switch (parseCell(cell, decimalCommaAllowed, value, usedComma)) {
      case Cell::Number:
        if (usedComma && rows == 0) decimalComma = true;
        return value;
      case Cell::Missing:
        if (options.missing == Missing::NaN) return std::nanf("");
        if (options.missing == Missing::Previous) {
          if (rows > 0) return previous;
          throw Failure(Status::MissingValue,
                        fmt::format("{}:{}: column '{}': '{}' on the first bar, which has no previous bar to repeat",
                                    name, row.line, columnName, cell));
        }
        throw Failure(Status::MissingValue,
                      fmt::format("{}:{}: column '{}': missing value '{}' (one NaN would freeze the cycle spectrum "
                                  "for the rest of the series; --missing=previous repeats the previous bar's value, "
                                  "--missing=nan passes NaN through)",
                                  name, row.line, columnName, cell));
      case Cell::OutOfRange:
        throw Failure(Status::NotANumber, fmt::format("{}:{}: column '{}': '{}' is out of the range of a 32-bit float",
                                                      name, row.line, columnName, cell));
      case Cell::Bad:
        break;
    }
    throw Failure(Status::NotANumber,
                  fmt::format("{}:{}: column '{}': '{}' is not a number", name, row.line, columnName, cell));
  };

  try {
    while (reader.next(record)) {
      if (record.fields.size() != columns)
        throw Failure(Status::Malformed,
                      fmt::format("{}:{}: {} field{} where the header has {}", name, record.line, record.fields.size(),
                                  record.fields.size() == 1 ? "" : "s", columns));
      const float high = readPrice(record, highColumn, highName, previousHigh);
      const float low = readPrice(record, lowColumn, lowName, previousLow);
      previousHigh = high;
      previousLow = low;

      TamselChart_Values values;
      TamselChart_StreamPush(stream.get(), high, low, &values);

      const std::size_t need = record.raw.size() + options.indicators.size() * 40 + ending.size();
      if (out.reserve(need)) {
        char* p = out.cursor();
        std::memcpy(p, record.raw.data(), record.raw.size());
        p += record.raw.size();
        for (Indicator which : options.indicators) {
          *p++ = delimiter;
          p = writeFloat(p, pick(values, which), decimalComma);
        }
        std::memcpy(p, ending.data(), ending.size());
        out.advance(p + ending.size());
      } else {
        out.append(record.raw);
        for (Indicator which : options.indicators) {
          char text[40];
          text[0] = delimiter;
          out.append(std::string_view(
              text, static_cast<std::size_t>(writeFloat(text + 1, pick(values, which), decimalComma) - text)));
        }
        out.append(ending);
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
  out.flush();
  if (progress != nullptr) {
    progress->rows.store(rows, std::memory_order_relaxed);
    progress->bytes.store(reader.bytesRead(), std::memory_order_relaxed);
  }
}

}  // namespace tamsel::cli
