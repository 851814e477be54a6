// SPDX-License-Identifier: MIT
#include "convert.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>
#include <tuple>
#include <utility>

#include "bar_time.hpp"
#include "column_name.hpp"
#include "held_rows.hpp"
#include "message_text.hpp"
#include "order_check.hpp"
#include "price_feed.hpp"
#include "row_writer.hpp"

namespace tamsel::cli {

namespace {

// Runs read, turning the reader's exceptions into the tool's failures.
template <typename Read>
auto translatingReadErrors(const std::string& name, Read read) {
  try {
    return read();
  } catch (const csv::ParseError& e) {
    throw Failure(Status::Malformed, fmt::format("{}:{}: {}", name, e.line(), e.what()));
  } catch (const std::system_error& e) {
    throw Failure(Status::CannotRead, fmt::format("{}: cannot read: {}", name, e.code().message()));
  }
}

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

// The header row: the dialect settled and the row read.
void readHeader(csv::Reader& reader, csv::Record& record, const Options& options, const std::string& name) {
  translatingReadErrors(name, [&] {
    const std::string_view wide = reader.wideByteOrderMark();
    if (!wide.empty())
      throw Failure(Status::Malformed,
                    fmt::format("{}: the text is {} (it starts with that byte-order mark); convert it to UTF-8 "
                                "first, e.g. iconv -f {} -t UTF-8 < IN > OUT",
                                name, wide, wide));
    reader.setDelimiter(options.delimiter != 0 ? options.delimiter : reader.sniffDelimiter());
    if (!reader.next(record)) throw Failure(Status::NoData, name + ": empty, there is no header row");
  });
}

std::size_t findColumn(const csv::Record& header, const std::string& wanted, const std::string& option,
                       const std::string& name) {
  const std::vector<std::string_view>& names = header.fields;
  std::size_t found = names.size();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!ColumnNameMatches(names[i], wanted)) continue;
    if (found != names.size())
      throw Failure(Status::MissingColumn, fmt::format("{}: columns {} and {} are both named '{}'; pick one with {}",
                                                       name, found + 1, i + 1, printable(wanted), option));
    found = i;
  }
  if (found == names.size()) {
    // Text in UTF-16 without a byte-order mark reads as names full of NULs.
    const char* hint = header.raw.find('\0') != std::string_view::npos
                           ? "; the header holds NUL bytes: if the file is UTF-16 or UTF-32 text, convert it to "
                             "UTF-8 first (iconv -f UTF-16 -t UTF-8)"
                           : "";
    throw Failure(Status::MissingColumn, fmt::format("{}: no column named '{}' (the header has {}); name it with {}{}",
                                                     name, printable(wanted), listColumns(names), option, hint));
  }
  return found;
}

// The indicators' own names in the input would give the output two columns
// of each name, and a reader of it the wrong one.
void refuseIndicatorColumns(const csv::Record& header, const Options& options, const std::string& name) {
  if (options.bars) return;  // the --bars table has its own header
  std::string clashing;
  for (const Indicator which : options.indicators)
    for (std::size_t i = 0; i < header.fields.size(); ++i)
      if (EqualsIgnoringCase(TrimBlanks(header.fields[i]), IndicatorColumn(which))) {
        if (!clashing.empty()) clashing += ", ";
        clashing += columnLabel(header.fields[i], i);
      }
  if (!clashing.empty())
    throw Failure(Status::MissingColumn,
                  fmt::format("{}: the input already has indicator columns ({}): is it the tool's own output? "
                              "Convert the original file, or drop these columns first",
                              name, clashing));
}

// The options a continued series must keep, as the command line names them.
std::vector<StateOption> stateOptions(const Options& options, char delimiter) {
  std::string indicators;
  for (const Indicator which : options.indicators) {
    if (!indicators.empty()) indicators += ',';
    indicators += IndicatorColumn(which);
  }
  std::string warmup = "values";
  if (options.warmup.kind == Warmup::Kind::NaN) warmup = "nan";
  if (options.warmup.kind == Warmup::Kind::Bars) warmup = std::to_string(options.warmup.bars);
  const std::string delimiterName = delimiter == '\t' ? std::string("tab") : std::string(1, delimiter);
  return {{"--high", options.high},
          {"--low", options.low},
          {"--missing", TamselChart_MissingPolicyName(static_cast<int>(options.missing))},
          {"--warmup", warmup},
          {"--indicators", indicators},
          {"--bars", options.bars ? "on" : "off"},
          {"--delimiter", delimiterName}};
}

// A state from other options or other columns would continue the series
// with values of another kind: refused, naming what differs.
void refuseOtherSeries(const Continuation& continuation, const std::vector<StateOption>& options,
                       std::string_view header, const std::string& name) {
  const SeriesState& state = continuation.state;
  const std::string& stateName = continuation.name;
  for (const StateOption& wanted : options) {
    const std::string& option = wanted.first;
    const std::string& value = wanted.second;
    const auto saved = std::find_if(state.options.begin(), state.options.end(),
                                    [&](const StateOption& o) { return o.first == option; });
    if (saved == state.options.end())
      throw Failure(Status::BadState,
                    fmt::format("{}: the state does not say which {} it was written with; start a new state file",
                                printable(stateName, 4096), option));
    if (saved->second != value)
      throw Failure(
          Status::BadState,
          fmt::format("{}: {}: the state was written with {} '{}', this run has {} '{}'; continue with "
                      "the options of the runs before, or start a new state file",
                      name, printable(stateName, 4096), option, printable(saved->second), option, printable(value)));
  }
  if (state.header != header)
    throw Failure(Status::BadState,
                  fmt::format("{}: the header '{}' is not the one of the series {} continues ('{}'); give the new "
                              "rows of the same file, or start a new state file",
                              name, printable(header, 200), printable(stateName, 4096), printable(state.header, 200)));
}

void checkFieldCount(const csv::Record& record, std::size_t columns, const std::string& name) {
  if (record.fields.size() != columns)
    throw Failure(Status::Malformed, fmt::format("{}:{}: {} field{} where the header has {}", name, record.line,
                                                 record.fields.size(), record.fields.size() == 1 ? "" : "s", columns));
}

}  // namespace

// One input's conversion, from the header on.
class Conversion {
 public:
  Conversion(csv::Reader& reader, const csv::Record& header, const std::string& name, Sink& output,
             const Options& options, Progress* progress, BarListener* bars, Continuation* continuation)
      : reader_(reader),
        name_(name),
        options_(options),
        progress_(progress),
        bars_(bars),
        continuation_(continuation),
        columns_(header.fields.size()),
        highColumn_(findColumn(header, options.high, "--high", name)),
        lowColumn_(findColumn(header, options.low, "--low", name)),
        time_(header.fields),
        order_(header.fields, options, name),
        writer_(output, options, reader.delimiter(), header.ending.empty() ? "\n" : header.ending),
        prices_(options.missing, name, columnLabel(header.fields[highColumn_], highColumn_),
                columnLabel(header.fields[lowColumn_], lowColumn_), reader.delimiter() != ',') {
    if (highColumn_ == lowColumn_)
      throw Failure(Status::MissingColumn,
                    fmt::format("{}: --high '{}' and --low '{}' both name {}; the high and the low must come from two "
                                "columns",
                                name, printable(options.high), printable(options.low),
                                columnLabel(header.fields[highColumn_], highColumn_)));
    refuseIndicatorColumns(header, options, name);
    if (continuation_ != nullptr) {
      // Kept now: the header's text lives in the reader's buffer.
      header_ = header.raw;
      savedOptions_ = stateOptions(options, reader.delimiter());
      if (continuation_->state.continues()) {
        refuseOtherSeries(*continuation_, savedOptions_, header_, name);
        prices_.resume(continuation_->state, continuation_->name);
        barsBefore_ = continuation_->state.bars;
        lastTime_ = continuation_->state.lastTime;
        return;  // the rows are appended to an output that has the header
      }
    }
    // Output rows end as the header does, so a CRLF file stays CRLF.
    writer_.header(header.raw, reader.hadByteOrderMark());
  }

  void run() {
    while (nextRow()) {
      if (options_.order == Order::NewestFirst)
        held_.add(record_, record_.fields[highColumn_], record_.fields[lowColumn_], timeOf(record_));
      else
        write(rows_, barsBefore_ + rows_ + 1, record_.raw, timeOf(record_),
              compute(record_.fields[highColumn_], record_.fields[lowColumn_], record_.line));
      rowDone();
    }
    finish();
  }

  // A bar at a time, for a caller whose own stream computes the bars (an
  // oldest-first input, no continuation): the next row's prices, false after
  // the last row (the output then complete); refusedHigh as for
  // PriceFeed::read.
  template <typename RefusedHigh>
  bool nextPrices(double& high, double& low, const RefusedHigh& refusedHigh) {
    if (!nextRow()) {
      finish();
      return false;
    }
    std::tie(high, low) =
        prices_.read(record_.fields[highColumn_], record_.fields[lowColumn_], record_.line, refusedHigh);
    return true;
  }
  // The row of those prices, with the values the caller's stream gave them.
  void writeComputed(double high, double low, const TamselChart_Values& values) {
    write(rows_, rows_ + 1, record_.raw, timeOf(record_), prices_.took(high, low, values));
    rowDone();
  }
  // For a price of the row that the caller's stream refused.
  [[noreturn]] void refuse(const TamselChart_PriceProblem& problem) const {
    const std::size_t column = problem.column == TAMSELCHART_COLUMN_HIGH ? highColumn_ : lowColumn_;
    prices_.refuse(problem, record_.fields[column], record_.line);
  }

 private:
  // Reads and checks the next row into record_; false at the end.
  bool nextRow() {
    return translatingReadErrors(name_, [&] {
      if (!reader_.next(record_)) return false;
      checkFieldCount(record_, columns_, name_);
      if (rows_ == 0 && barsBefore_ > 0) refuseNotNewer(record_);
      order_.check(record_);
      return true;
    });
  }

  void rowDone() {
    ++rows_;
    if ((rows_ & 4095) == 0) report(rows_);
    if (continuation_ != nullptr) lastTime_ = time_.textOf(record_.fields);
  }

  void finish() {
    // A continued series with nothing new since: nothing to add.
    if (rows_ == 0 && barsBefore_ == 0) throw Failure(Status::NoData, name_ + ": a header and no data rows");
    if (options_.order == Order::NewestFirst) writeHeld();
    writer_.flush();
    report(rows_);
    if (continuation_ != nullptr) {
      SeriesState& state = continuation_->state;
      prices_.save(state);
      state.options = savedOptions_;
      state.header = header_;
      state.lastTime = lastTime_;
    }
  }

  ComputedBar compute(std::string_view high, std::string_view low, long line) { return prices_.push(high, low, line); }

  // The oldest bar is the last row: computed from the bottom up, then written
  // top down.
  void writeHeld() {
    // The prices taken are kept only for whoever shows them, the values
    // always: the smallest record of each bar the writing needs.
    const bool keepPrices = options_.bars || bars_ != nullptr;
    std::vector<TamselChart_Values> values(held_.size());
    std::vector<std::pair<float, float>> prices(keepPrices ? held_.size() : 0);
    for (std::size_t i = held_.size(); i-- > 0;) {
      const HeldRows::Row row = held_.row(i);
      const ComputedBar bar = compute(row.high, row.low, row.line);
      values[i] = bar.values;
      if (keepPrices) prices[i] = {bar.high, bar.low};
    }
    for (std::size_t i = 0; i < held_.size(); ++i) {
      const HeldRows::Row row = held_.row(i);
      const auto [high, low] = keepPrices ? prices[i] : std::pair<float, float>(0.0f, 0.0f);
      write(i, held_.size() - i, row.raw, row.time, ComputedBar{high, low, values[i]});
    }
  }

  // Row number row of the file, bar number bar in time order.
  void write(std::uint64_t row, std::uint64_t bar, std::string_view raw, std::string_view time,
             const ComputedBar& computed) {
    const TamselChart_Values shown = BlankWarmup(computed.values, bar, options_.warmup);
    writer_.row(raw, time, computed.high, computed.low, shown, prices_.decimalComma());
    if (bars_ != nullptr) bars_->bar(BarRecord{row, time, computed.high, computed.low, shown});
  }

  // The first row of a continuation must come after the last bar of the runs
  // before: the same rows given twice would otherwise be computed twice.
  // Only times the tool reads are compared, as the order check does.
  void refuseNotNewer(const csv::Record& record) const {
    if (!options_.checkOrder || !time_.hasDateColumn()) return;
    const std::string text = time_.textOf(record.fields);
    const auto when = time_.read(text);
    const auto last = time_.read(lastTime_);
    if (!when || !last || *when > *last) return;
    throw Failure(
        Status::OutOfOrder,
        fmt::format("{}:{}: '{}' is not newer than '{}', the last bar of the series {} continues; give "
                    "only the rows that came since (--no-order-check skips this check)",
                    name_, record.line, printable(text), printable(lastTime_), printable(continuation_->name, 4096)));
  }

  std::string_view timeOf(const csv::Record& record) const {
    return time_.hasDateColumn() ? TrimBlanks(record.fields[time_.dateColumn()]) : std::string_view();
  }

  void report(std::uint64_t rows) {
    if (progress_ == nullptr) return;
    progress_->rows.store(rows, std::memory_order_relaxed);
    progress_->bytes.store(reader_.bytesRead(), std::memory_order_relaxed);
  }

  csv::Reader& reader_;
  csv::Record record_;  // the row read last, its views in the reader's buffer
  std::uint64_t rows_ = 0;
  const std::string& name_;
  const Options& options_;
  Progress* progress_;
  BarListener* bars_;
  Continuation* continuation_;
  std::uint64_t barsBefore_ = 0;  // of the series this input continues
  std::string header_;
  std::vector<StateOption> savedOptions_;
  std::string lastTime_;
  std::size_t columns_, highColumn_, lowColumn_;
  BarTime time_;
  OrderCheck order_;
  RowWriter writer_;
  PriceFeed prices_;
  HeldRows held_;
};

void convert(csv::ByteSource& input, const std::string& name, Sink& output, const Options& options, Progress* progress,
             BarListener* bars, Continuation* continuation) {
  csv::Reader reader(input);
  csv::Record header;
  readHeader(reader, header, options, name);
  // The header's views live in the reader's buffer, which the next record
  // reuses: the conversion keeps what it needs of them before reading on.
  Conversion(reader, header, name, output, options, progress, bars, continuation).run();
}

SteppedConversion::SteppedConversion(csv::ByteSource& input, const std::string& name, Sink& output,
                                     const Options& options, Progress* progress)
    : reader_(std::make_unique<csv::Reader>(input)) {
  csv::Record header;
  readHeader(*reader_, header, options, name);
  conversion_ = std::make_unique<Conversion>(*reader_, header, name, output, options, progress, nullptr, nullptr);
}

SteppedConversion::~SteppedConversion() = default;

bool SteppedConversion::nextPrices(double& high, double& low, const RefusedHigh& refusedHigh) {
  return conversion_->nextPrices(high, low, refusedHigh);
}

void SteppedConversion::writeComputed(double high, double low, const TamselChart_Values& values) {
  conversion_->writeComputed(high, low, values);
}

void SteppedConversion::refuse(const TamselChart_PriceProblem& problem) const { conversion_->refuse(problem); }

}  // namespace tamsel::cli
