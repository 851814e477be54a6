// SPDX-License-Identifier: MIT
#include "csv_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "bar_time.hpp"
#include "convert.hpp"
#include "held_rows.hpp"
#include "message_text.hpp"
#include "price_cell.hpp"
#include "state_format.hpp"

namespace {

using tamsel::csv::ByteSource;
using tamsel::csv::MemorySource;
using tamsel::csv::ParseError;
using tamsel::csv::Reader;
using tamsel::csv::Record;

// Hands out at most `chunk` bytes per read, as a pipe may.
class ChunkedSource final : public ByteSource {
 public:
  ChunkedSource(std::string_view text, std::size_t chunk) : text_(text), chunk_(chunk) {}
  std::size_t read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, chunk_, text_.size()});
    std::memcpy(buffer, text_.data(), n);
    text_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view text_;
  std::size_t chunk_;
};

struct Row {
  std::vector<std::string> fields;
  std::string raw;
  long line;
  std::string ending;
  bool operator==(const Row&) const = default;
};

std::vector<Row> readAll(ByteSource& source, char delimiter = ',', std::size_t buffer = 1 << 16) {
  Reader reader(source, buffer);
  reader.setDelimiter(delimiter);
  std::vector<Row> rows;
  Record record;
  while (reader.next(record))
    rows.push_back({std::vector<std::string>(record.fields.begin(), record.fields.end()), std::string(record.raw),
                    record.line, std::string(record.ending)});
  return rows;
}

std::vector<Row> readAll(std::string_view text, char delimiter = ',') {
  MemorySource source(text);
  return readAll(source, delimiter);
}

using Fields = std::vector<std::string>;

TEST(CsvReader, SplitsRecordsAtEveryKindOfLineEnding) {
  const auto rows = readAll("a,b\nc,d\r\ne,f\rg,h");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (Row{{"a", "b"}, "a,b", 1, "\n"}));
  EXPECT_EQ(rows[1], (Row{{"c", "d"}, "c,d", 2, "\r\n"}));
  EXPECT_EQ(rows[2], (Row{{"e", "f"}, "e,f", 3, "\r"}));
  EXPECT_EQ(rows[3], (Row{{"g", "h"}, "g,h", 4, ""}));
}

TEST(CsvReader, KeepsEmptyFieldsAndSkipsBlankLines) {
  const auto rows = readAll("a,,c\n\n\r\n,\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].fields, (Fields{"a", "", "c"}));
  EXPECT_EQ(rows[1].fields, (Fields{"", ""}));
  EXPECT_EQ(rows[1].line, 4);  // the blank lines still count
  EXPECT_TRUE(readAll("").empty());
  EXPECT_TRUE(readAll("\n\n").empty());
}

TEST(CsvReader, QuotedFieldsHoldDelimitersQuotesAndLineBreaks) {
  const auto rows = readAll("\"a,b\",\"say \"\"hi\"\"\",\"\"\n\"two\nlines\r\nhere\",x\nlast,\"\"\"\"\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].fields, (Fields{"a,b", "say \"hi\"", ""}));
  EXPECT_EQ(rows[0].raw, "\"a,b\",\"say \"\"hi\"\"\",\"\"");  // the text as it stood
  EXPECT_EQ(rows[1].fields, (Fields{"two\nlines\r\nhere", "x"}));
  EXPECT_EQ(rows[1].line, 2);
  EXPECT_EQ(rows[2].fields, (Fields{"last", "\""}));
  EXPECT_EQ(rows[2].line, 5);  // after a record spanning lines 2 to 4
}

TEST(CsvReader, QuoteInsideAnUnquotedFieldIsOrdinary) {
  const auto rows = readAll("5'3\",a\"b\"\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].fields, (Fields{"5'3\"", "a\"b\""}));
}

TEST(CsvReader, HonoursTheDelimiterItIsGiven) {
  const auto rows = readAll("a;\"b;c\";d,e\tf\n", ';');
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].fields, (Fields{"a", "b;c", "d,e\tf"}));
  EXPECT_EQ(readAll("a\t\"b\tc\"\n", '\t')[0].fields, (Fields{"a", "b\tc"}));
}

TEST(CsvReader, RejectsMalformedQuoting) {
  auto lineOfError = [](std::string_view text) {
    try {
      readAll(text);
    } catch (const ParseError& e) {
      return e.line();
    }
    return 0L;
  };
  EXPECT_EQ(lineOfError("a,b\nc,\"open\nd,e\n"), 2);  // never closed
  EXPECT_EQ(lineOfError("a,b\n\"x\ny\"z,1\n"), 3);    // text after the closing quote, on the record's third line
  EXPECT_EQ(lineOfError("\"x\" ,1\n"), 1);
  EXPECT_EQ(lineOfError("\"x\",1\n\"\"\"\n"), 2);  // an escaped quote and no closing one
}

TEST(CsvReader, SkipsAndReportsAByteOrderMark) {
  MemorySource withMark(
      "\xEF\xBB\xBF"
      "Date,High\n1,2\n");
  Reader reader(withMark);
  Record record;
  ASSERT_TRUE(reader.next(record));
  EXPECT_EQ(record.fields[0], "Date");
  EXPECT_TRUE(reader.hadByteOrderMark());

  MemorySource without("Date\n");
  Reader plain(without);
  EXPECT_FALSE(plain.hadByteOrderMark());
  ASSERT_TRUE(plain.next(record));
  EXPECT_EQ(record.fields[0], "Date");

  MemorySource shortInput("\xEF\xBB");  // too short to be a mark: ordinary bytes
  Reader truncated(shortInput);
  EXPECT_FALSE(truncated.hadByteOrderMark());
  ASSERT_TRUE(truncated.next(record));
  EXPECT_EQ(record.raw, "\xEF\xBB");
}

TEST(CsvReader, RecognisesTheByteOrderMarksOfWideEncodings) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view text;
    std::string_view encoding;
  } cases[] = {
      {"\xFF\xFE"
       "D\0a\0"sv,
       "UTF-16LE"},
      {"\xFE\xFF\0D\0a"sv, "UTF-16BE"},
      {"\xFF\xFE\0\0D\0\0\0"sv, "UTF-32LE"},
      {"\0\0\xFE\xFF\0\0\0D"sv, "UTF-32BE"},
      {"\xFF\xFE"sv, "UTF-16LE"},  // the mark alone
      {"\xEF\xBB\xBF"
       "Date"sv,
       ""},
      {"\xFF"
       "Date"sv,
       ""},
      {"Date"sv, ""},
  };
  for (const auto& c : cases) {
    MemorySource source(c.text);
    Reader reader(source);
    EXPECT_EQ(reader.wideByteOrderMark(), c.encoding) << c.encoding;
  }
}

TEST(CsvReader, SniffsTheDelimiterOfTheFirstLineOutsideQuotes) {
  auto sniff = [](std::string_view text) {
    MemorySource source(text);
    return Reader(source).sniffDelimiter();
  };
  EXPECT_EQ(sniff("Date,Open,High,Low\n1;2;3\n"), ',');
  EXPECT_EQ(sniff("\xEF\xBB\xBF"
                  "Date;Open;High;Low\r\n1,5;2,5\n"),
            ';');
  EXPECT_EQ(sniff("Date\tHigh\tLow\n"), '\t');
  EXPECT_EQ(sniff("\"a,b,c\";High;Low\n"), ';');
  EXPECT_EQ(sniff("High"), ',');
  EXPECT_EQ(sniff(""), ',');
}

// Records and line numbers must not depend on where the reads cut the input,
// nor on how small the buffer starts.
TEST(CsvReader, ResultDoesNotDependOnBufferOrReadSizes) {
  const std::string text =
      "\xEF\xBB\xBF"
      "Date,\"Hi\"\"gh\",Low\r\n"
      "2024-01-02,\"1,5\",1\r\n"
      "\r\n"
      "\"multi\r\nline\",\"\",\"x\"\r"
      "a,\"\"\"\",\"q\nq\"\n"
      "long field with some more text in it,2,3";
  MemorySource whole(text);
  const auto expected = readAll(whole);
  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(expected[2].line, 4);
  EXPECT_EQ(expected[3].line, 6);  // after a lone CR
  EXPECT_EQ(expected[4].line, 8);
  for (std::size_t buffer = 4; buffer <= 48; ++buffer)
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64}}) {
      ChunkedSource source(text, chunk);
      EXPECT_EQ(readAll(source, ',', buffer), expected) << "buffer " << buffer << ", chunk " << chunk;
    }
}

TEST(CsvReader, RefusesARecordLongerThanTheLimit) {
  const std::string text = "a,b\n" + std::string(100, 'x') + "\n";
  MemorySource source(text);
  Reader reader(source, 8, 64);
  Record record;
  ASSERT_TRUE(reader.next(record));
  EXPECT_THROW(reader.next(record), ParseError);
}

// ---- the cells and dates the conversion reads ------------------------------

std::optional<tamsel::cli::BarTime::Instant> When(std::string_view text) {
  static tamsel::cli::DateReader reader;  // one for all, as for the dates of a file
  return reader.read(text);
}

TEST(BarTime, ReadsTheYearFirstLayouts) {
  const auto day = When("2024-03-01");
  ASSERT_TRUE(day);
  for (const char* same : {"2024/03/01", "2024.03.01", "20240301", "2024-3-1", " 2024-03-01 "})
    EXPECT_EQ(When(same), day) << same;
  EXPECT_EQ(*When("2024-03-01 10:00"), *day + 36'000'000);
  EXPECT_EQ(When("2024-03-01T10:00:00"), When("2024-03-01 10:00"));
  EXPECT_EQ(When("20240301 1000"), When("2024-03-01 10:00"));
  EXPECT_EQ(When("20240301 103005"), When("2024-03-01 10:30:05"));
  EXPECT_EQ(When("20240301 10305"), When("2024-03-01 10:30:05"));
  EXPECT_EQ(*When("2024-03-01 10:00:00.25"), *day + 36'000'250);
  EXPECT_EQ(When("2024-03-01 10:00:00,25"), When("2024-03-01 10:00:00.25"));  // a decimal comma
  // Day- or month-first and impossible dates are not guessed at.
  for (const char* unread : {"01.03.2024", "03/01/2024", "2024-02-30", "2024-13-01", "soon", "", "2024-03-01 25:00",
                             "2024-03-01 10:00 later", "2024-01-04t333", "2024-01-04 33"})
    EXPECT_FALSE(When(unread)) << unread;
}

TEST(BarTime, TwelveHourClockAndOffsets) {
  EXPECT_LT(*When("2024-03-01 11:00 AM"), *When("2024-03-01 01:00 PM"));
  EXPECT_EQ(When("2024-03-01 01:00 PM"), When("2024-03-01 13:00"));
  EXPECT_EQ(When("2024-03-01 12:00 AM"), When("2024-03-01 00:00"));
  EXPECT_EQ(When("2024-03-01 12:30 pm"), When("2024-03-01 12:30"));
  // One instant, however its offset writes it.
  EXPECT_EQ(When("2024-03-01T02:30:00+02:00"), When("2024-03-01T00:30:00Z"));
  EXPECT_EQ(When("2024-03-01T02:30:00+0200"), When("2024-03-01 00:30 UTC"));
  EXPECT_LT(*When("2024-03-01T02:30:00+02:00"), *When("2024-03-01T02:15:00+01:00"));
}

TEST(BarTime, FindsTheDateAndTimeColumns) {
  using tamsel::cli::BarTime;
  const std::vector<std::string_view> split = {"<DATE>", "<TIME>", "<HIGH>", "<LOW>"};
  const BarTime both(split);
  ASSERT_TRUE(both.hasDateColumn());
  EXPECT_EQ(both.of({"20240301", "1:00 PM", "2", "1"}), When("2024-03-01 13:00"));
  const BarTime joined(std::vector<std::string_view>{"High", "Date_Time", "Low"});
  EXPECT_EQ(joined.dateColumn(), 1u);
  EXPECT_FALSE(BarTime(std::vector<std::string_view>{"When", "High"}).hasDateColumn());
}

TEST(PriceCell, MissingInfiniteAndBeyondFloatRange) {
  double price = 0;
  bool comma = false;
  for (const char* missing : {"", " ", "null", "NaN", "NA", "n/a"}) {
    ASSERT_TRUE(tamsel::cli::parsePriceCell(missing, false, price, comma)) << missing;
    EXPECT_TRUE(std::isnan(price)) << missing;
  }
  ASSERT_TRUE(tamsel::cli::parsePriceCell("-Infinity", false, price, comma));
  EXPECT_EQ(price, -std::numeric_limits<double>::infinity());
  // Beyond float range stays finite, so the policy can tell it from inf.
  ASSERT_TRUE(tamsel::cli::parsePriceCell("1e39", false, price, comma));
  EXPECT_EQ(price, 1e39);
  ASSERT_TRUE(tamsel::cli::parsePriceCell("-1e400", false, price, comma));
  EXPECT_TRUE(std::isfinite(price) && price < -1e300);
  // Read straight to the nearest float: the largest float, not beyond it.
  ASSERT_TRUE(tamsel::cli::parsePriceCell("3.4028235e38", false, price, comma));
  EXPECT_EQ(price, static_cast<double>(std::numeric_limits<float>::max()));
  ASSERT_TRUE(tamsel::cli::parsePriceCell("1,5", true, price, comma));
  EXPECT_EQ(price, 1.5);
  EXPECT_TRUE(comma);
  for (const char* bad : {"abc", "1,5", "+-1", "nan(1)", "1e", "--1"})
    EXPECT_FALSE(tamsel::cli::parsePriceCell(bad, false, price, comma)) << bad;
}

TEST(MessageText, EscapesWhatCouldMislead) {
  using tamsel::cli::printable;
  EXPECT_EQ(printable("a\\nb"), "a\\\\nb");  // a backslash of the text, not an escape
  EXPECT_EQ(printable("a\nb"), "a\\x0Ab");
  EXPECT_EQ(printable("\x1b[2J\xff"), "\\x1B[2J\\xFF");
  EXPECT_EQ(printable("\xc3\xa9"), "\xc3\xa9");
  // The whole-message pass leaves the escapes of the quoted parts alone.
  EXPECT_EQ(tamsel::cli::printableMessage(printable("a\\nb\x01")), "a\\\\nb\\x01");
}

TEST(HeldRows, GivesBackEveryRowAsRead) {
  const std::string text =
      "Date,High,Low,Note\n"
      "2024-03-01,2,1,plain\n"
      "\" 2024-03-02 \",\"3\",\"2\"\"\",\"two\nlines\"\n" +
      std::string(3 << 20, 'x') + ",4,3,long\n";
  MemorySource source(text);
  Reader reader(source, 16, 1 << 23);
  Record record;
  ASSERT_TRUE(reader.next(record));
  tamsel::cli::HeldRows held;
  std::vector<Row> expected;
  while (reader.next(record)) {
    held.add(record, record.fields[1], record.fields[2], record.fields[0]);
    expected.push_back({{std::string(record.fields[1]), std::string(record.fields[2]), std::string(record.fields[0])},
                        std::string(record.raw),
                        record.line,
                        ""});
  }
  ASSERT_EQ(held.size(), 3u);
  for (std::size_t i = held.size(); i-- > 0;) {  // read back from the last, as newest-first rows are
    const auto row = held.row(i);
    const Row got{
        {std::string(row.high), std::string(row.low), std::string(row.time)}, std::string(row.raw), row.line, ""};
    EXPECT_EQ(got, expected[i]) << "row " << i;
  }
  EXPECT_EQ(held.row(1).low, "2\"");  // undoubled: a copy, not a part of the raw text
  EXPECT_EQ(held.row(2).line, 5);
}

class Collected final : public tamsel::cli::BarListener, public tamsel::cli::Sink {
 public:
  struct Bar {
    std::uint64_t row;
    std::string time;
    float high, low, cycle;
  };
  void bar(const tamsel::cli::BarRecord& b) override {
    bars.push_back({b.row, std::string(b.time), b.high, b.low, b.values.CyclePeriod});
  }
  void write(const char* data, std::size_t size) override { text.append(data, size); }
  std::vector<Bar> bars;
  std::string text;
};

TEST(BarListener, HearsEveryBarInTheFileOrderWithTheTakenPrices) {
  const std::string input =
      "Date,High,Low\n"
      " 2024-03-03 ,,4\n"
      "2024-03-02,6,\n"
      "2024-03-01,5,3\n";
  tamsel::cli::Options options;
  options.order = tamsel::cli::Order::NewestFirst;
  options.missing = tamsel::cli::Missing::Previous;
  options.warmup.kind = tamsel::cli::Warmup::Kind::Bars;
  options.warmup.bars = 2;
  MemorySource source(input);
  Collected heard;
  tamsel::cli::convert(source, "in.csv", heard, options, nullptr, &heard);
  ASSERT_EQ(heard.bars.size(), 3u);
  EXPECT_EQ(heard.bars[0].row, 0u);
  EXPECT_EQ(heard.bars[0].time, "2024-03-03");
  // In time order: (5,3), (6, 3 repeated), (6 repeated, 4).
  EXPECT_EQ(heard.bars[0].high, 6.0f);
  EXPECT_EQ(heard.bars[0].low, 4.0f);
  EXPECT_EQ(heard.bars[1].low, 3.0f);
  EXPECT_EQ(heard.bars[2].high, 5.0f);
  // Values as written: the two oldest bars blanked by the warm-up.
  EXPECT_FALSE(std::isnan(heard.bars[0].cycle));
  EXPECT_TRUE(std::isnan(heard.bars[1].cycle) && std::isnan(heard.bars[2].cycle));
  EXPECT_EQ(heard.text.substr(0, heard.text.find('\n')),
            "Date,High,Low,cycle_period,signal_to_noise,"
            "swing_position,trend_vigor");
}

}  // namespace

TEST(StateFormat, ChecksumIsCrc32c) {
  // The standard check value: the file's checksum is the CRC-32C its format
  // says, so other programs can verify a state file.
  const std::string text = "123456789";
  EXPECT_EQ(tamsel::cli::crc32c(reinterpret_cast<const unsigned char*>(text.data()), text.size()), 0xE3069283u);
}

TEST(StateFormat, EveryFieldReadsBackAndEveryCutIsRefused) {
  using tamsel::cli::SeriesState;
  SeriesState state;
  state.options = {{"--high", std::string("H\0\xff;", 4)}, {"--warmup", ""}};
  state.header = std::string("Date,High,Low\0\x1b[2J", 18);
  state.bars = 0x1'0000'0001ull;  // beyond 32 bits
  state.lastTime = "2024-03-01T09:30:00+02:00";
  state.decimalComma = true;
  state.previousHigh = -std::numeric_limits<float>::quiet_NaN();
  state.previousLow = std::numeric_limits<float>::denorm_min();
  state.stream = {0, 1, 2, 255, 0};
  const std::vector<unsigned char> bytes = tamsel::cli::encodeState(state);
  const SeriesState back = tamsel::cli::decodeState(bytes);
  EXPECT_EQ(back.options, state.options);
  EXPECT_EQ(back.header, state.header);
  EXPECT_EQ(back.bars, state.bars);
  EXPECT_EQ(back.lastTime, state.lastTime);
  EXPECT_TRUE(back.decimalComma);
  EXPECT_EQ(std::memcmp(&back.previousHigh, &state.previousHigh, sizeof(float)), 0);  // the NaN's bits too
  EXPECT_EQ(back.previousLow, state.previousLow);
  EXPECT_EQ(back.stream, state.stream);
  for (std::size_t size = 0; size < bytes.size(); ++size)
    EXPECT_THROW(tamsel::cli::decodeState(std::vector<unsigned char>(bytes.begin(), bytes.begin() + size)),
                 tamsel::cli::StateFormatError)
        << size;
  for (std::size_t at = 0; at < bytes.size(); ++at)
    for (const int bit : {0x01, 0x80}) {
      std::vector<unsigned char> flipped = bytes;
      flipped[at] = static_cast<unsigned char>(flipped[at] ^ bit);
      EXPECT_THROW(tamsel::cli::decodeState(flipped), tamsel::cli::StateFormatError) << at;
    }
}
