// SPDX-License-Identifier: MIT
// libFuzzer entry point for the command-line tool's CSV reader and its
// conversion of a whole file: any bytes give records or a clean error,
// never a crash, whatever the buffer size and however the reads cut the
// input.
//
// Input layout (missing bytes read as zero):
//   byte 0   bits 0-2 the delimiter: 0 sniffed, then ',' ';' '\t' '|' ' '
//            ':' 'x'; bits 3-4 what the conversion does with a missing
//            price (3: stop, with the rows read newest first); bits 5-7
//            which indicators it appends
//   byte 1   bits 0-3 the largest read (1 to 16 bytes), bits 4-7 the
//            reader's initial buffer (4 to 64 bytes)
//   byte 2.. the file
//
// Checked for every input:
//   - the reader only ever throws its ParseError, with a line number from 1;
//   - a small buffer fed a few bytes per read gives exactly the records (or
//     the error) of one large read;
//   - the records put back together, with the blank lines the reader skips,
//     are the input: no byte is lost, duplicated or moved;
//   - a record without quotes splits at every delimiter;
//   - line numbers rise, and only the last record may end without a line
//     ending;
//   - sniffing the delimiter consumes nothing and names one of , ; tab |;
//   - the conversion returns or throws its Failure (never another
//     exception), and gives the same output or failure whatever the reads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "csv_reader.hpp"
#if !defined(TAMSEL_FUZZ_CSV_READER_ONLY)
#include "convert.hpp"
#endif

namespace {

using tamsel::csv::ByteSource;
using tamsel::csv::MemorySource;
using tamsel::csv::ParseError;
using tamsel::csv::Reader;
using tamsel::csv::Record;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "tamsel csv fuzz check failed: %s\n", what.c_str());
  std::abort();
}

// Hands out reads of 1 to `largest` bytes in a fixed rotation, as a pipe may.
class ChunkedSource final : public ByteSource {
 public:
  ChunkedSource(std::string_view text, std::size_t largest) : text_(text), largest_(largest) {}
  std::size_t read(char* buffer, std::size_t size) override {
    turn_ = turn_ % largest_ + 1;
    const std::size_t n = std::min({size, turn_, text_.size()});
    std::memcpy(buffer, text_.data(), n);
    text_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view text_;
  std::size_t largest_;
  std::size_t turn_ = 0;
};

struct Row {
  std::string raw;
  std::vector<std::string> fields;
  long line;
  std::string ending;
  bool operator==(const Row&) const = default;
};

struct Reading {
  bool byteOrderMark = false;
  std::vector<Row> rows;
  bool failed = false;  // a ParseError ended the reading
  long errorLine = 0;
  std::string error;
  std::size_t bytesRead = 0;
  bool operator==(const Reading&) const = default;
};

Reading ReadAll(ByteSource& source, char delimiter, std::size_t initialBuffer) {
  Reading reading;
  Reader reader(source, initialBuffer);
  try {
    reading.byteOrderMark = reader.hadByteOrderMark();
    reader.setDelimiter(delimiter);
    Record record;
    while (reader.next(record))
      reading.rows.push_back({std::string(record.raw),
                              std::vector<std::string>(record.fields.begin(), record.fields.end()), record.line,
                              std::string(record.ending)});
  } catch (const ParseError& e) {
    reading.failed = true;
    reading.errorLine = e.line();
    reading.error = e.what();
    if (e.line() < 1) Fail("a ParseError without a line number");
  }
  reading.bytesRead = reader.bytesRead();
  return reading;
}

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

// The records are the input: between them only the line endings of skipped
// blank lines, each record's raw text followed by its ending.
void CheckRecordsRebuildTheInput(std::string_view text, const Reading& reading, char delimiter) {
  std::size_t at = reading.byteOrderMark ? 3 : 0;
  if (reading.byteOrderMark && text.substr(0, 3) != "\xEF\xBB\xBF") Fail("a byte-order mark that is not there");
  long previousLine = 0;
  for (std::size_t r = 0; r < reading.rows.size(); ++r) {
    const Row& row = reading.rows[r];
    while (at < text.size() && IsLineBreak(text[at])) ++at;  // blank lines
    if (text.substr(at, row.raw.size()) != row.raw) Fail("record " + std::to_string(r + 1) + " is not the input");
    at += row.raw.size();
    if (text.substr(at, row.ending.size()) != row.ending) Fail("record " + std::to_string(r + 1) + "'s line ending");
    at += row.ending.size();
    if (row.raw.empty()) Fail("an empty record");
    if (row.ending != "\n" && row.ending != "\r\n" && row.ending != "\r" &&
        !(row.ending.empty() && r + 1 == reading.rows.size() && at == text.size()))
      Fail("record " + std::to_string(r + 1) + " ends without a line ending before the end of the input");
    if (row.line <= previousLine) Fail("line numbers do not rise");
    previousLine = row.line;
    if (row.raw.find('"') == std::string::npos) {
      std::string joined;
      for (std::size_t f = 0; f < row.fields.size(); ++f)
        joined.append(f == 0 ? "" : std::string(1, delimiter)).append(row.fields[f]);
      if (joined != row.raw) Fail("record " + std::to_string(r + 1) + " does not split at its delimiters");
    }
  }
  if (!reading.failed) {
    while (at < text.size() && IsLineBreak(text[at])) ++at;
    if (at != text.size()) Fail("input left unread after the last record");
    if (reading.bytesRead != text.size()) Fail("bytesRead() differs from the input's size at its end");
  }
}

void CheckReader(std::string_view text, char delimiter, std::size_t largestRead, std::size_t initialBuffer) {
  if (delimiter == 0) {
    MemorySource source(text);
    Reader reader(source);
    const char sniffed = reader.sniffDelimiter();
    if (std::string_view(",;\t|").find(sniffed) == std::string_view::npos) Fail("sniffed an unknown delimiter");
    reader.setDelimiter(sniffed);
    // Sniffing consumed nothing: the records are those of a plain read.
    MemorySource again(text);
    const Reading plain = ReadAll(again, sniffed, 1 << 16);
    std::size_t count = 0;
    try {
      Record record;
      while (reader.next(record)) {
        if (count >= plain.rows.size() || std::string_view(plain.rows[count].raw) != record.raw)
          Fail("sniffing the delimiter changed the records");
        ++count;
      }
    } catch (const ParseError&) {
      if (!plain.failed) Fail("sniffing the delimiter made the reading fail");
    }
    delimiter = sniffed;
  }
  MemorySource whole(text);
  const Reading expected = ReadAll(whole, delimiter, 1 << 16);
  CheckRecordsRebuildTheInput(text, expected, delimiter);
  ChunkedSource chunks(text, largestRead);
  const Reading chunked = ReadAll(chunks, delimiter, initialBuffer);
  if (!(chunked.rows == expected.rows && chunked.failed == expected.failed && chunked.error == expected.error &&
        chunked.errorLine == expected.errorLine && chunked.byteOrderMark == expected.byteOrderMark))
    Fail("the records depend on the buffer (" + std::to_string(initialBuffer) + " bytes) or the reads (up to " +
         std::to_string(largestRead) + " bytes)");
}

#if !defined(TAMSEL_FUZZ_CSV_READER_ONLY)
class StringSink final : public tamsel::cli::Sink {
 public:
  void write(const char* data, std::size_t size) override { text.append(data, size); }
  std::string text;
};

struct Conversion {
  std::string output;
  int status = 0;
  std::string message;
  bool operator==(const Conversion&) const = default;
};

Conversion Convert(ByteSource& source, const tamsel::cli::Options& options) {
  Conversion result;
  StringSink sink;
  try {
    tamsel::cli::convert(source, "fuzz.csv", sink, options);
  } catch (const tamsel::cli::Failure& failure) {
    result.status = static_cast<int>(failure.status());
    result.message = failure.what();
    if (failure.status() == tamsel::cli::Status::Ok) Fail("a Failure with status Ok");
  }
  result.output = sink.text;
  return result;
}

void CheckConversion(std::string_view text, unsigned choice, char delimiter, std::size_t largestRead) {
  using tamsel::cli::Indicator;
  using tamsel::cli::Missing;
  tamsel::cli::Options options;
  options.delimiter = delimiter;
  const Missing policies[] = {Missing::Error, Missing::Previous, Missing::NaN, Missing::Error};
  options.missing = policies[(choice >> 3) & 3];
  if (((choice >> 3) & 3) == 3) options.order = tamsel::cli::Order::NewestFirst;
  const unsigned pick = choice >> 5;
  if (pick != 0) {
    options.indicators.clear();
    const std::vector<Indicator> all = tamsel::cli::AllIndicators();  // the library's table order
    for (int k = 0; k < 3; ++k)
      if ((pick >> k & 1) != 0) options.indicators.push_back(all[k]);
    if (pick == 7) options.indicators.push_back(all[3]);
  }
  MemorySource whole(text);
  const Conversion expected = Convert(whole, options);
  ChunkedSource chunks(text, largestRead);
  if (!(Convert(chunks, options) == expected)) Fail("the conversion depends on how the reads cut the input");
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned choice = size > 0 ? data[0] : 0;
  const unsigned sizes = size > 1 ? data[1] : 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + std::min<std::size_t>(size, 2),
                              size - std::min<std::size_t>(size, 2));
  static constexpr char kDelimiters[8] = {0, ',', ';', '\t', '|', ' ', ':', 'x'};
  const char delimiter = kDelimiters[choice & 7];
  const std::size_t largestRead = (sizes & 15) + 1;
  const std::size_t initialBuffer = 4 + (sizes >> 4) * 4;
  CheckReader(text, delimiter, largestRead, initialBuffer);
#if !defined(TAMSEL_FUZZ_CSV_READER_ONLY)
  CheckConversion(text, choice, delimiter, largestRead);
#endif
  return 0;
}
