// SPDX-License-Identifier: MIT
// The web page's way into the command-line tool: the tool's own CSV reader
// and conversion, run over a file the page holds in memory.  The page gets
// exactly what `tamsel NAME` would write on standard output, or the message
// it would print on standard error, and the exit status; beside the text,
// every bar's taken prices, four values and time as the conversion computed
// them, so that the chart never reads numbers back out of the text.
#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TamselCharts.h"
#include "bar_time.hpp"
#include "convert.hpp"
#include "csv_reader.hpp"
#include "message_text.hpp"

namespace {

// The last conversion's result, kept until the next one or a release.
std::string g_output;

class StringSink final : public tamsel::cli::Sink {
 public:
  explicit StringSink(std::string& text) : text_(text) {}
  void write(const char* data, std::size_t size) override { text_.append(data, size); }

 private:
  std::string& text_;
};

// Every bar of the last conversion, indexed by its data row: one array a
// quantity, so that JavaScript copies each out as one Float32Array.
struct ChartBars {
  std::vector<float> high, low;
  std::vector<float> values[4];         // in the order of TamselChart_Values
  std::string times;                    // each row's time text, one after another
  std::vector<std::uint32_t> timeEnds;  // where each row's time ends in times

  void clear() { *this = ChartBars(); }
};
ChartBars g_bars;
std::string g_timeName;  // the date column's header, empty when there is none

class ChartBarListener final : public tamsel::cli::BarListener {
 public:
  explicit ChartBarListener(ChartBars& bars) : bars_(bars) {}
  void bar(const tamsel::cli::BarRecord& record) override {
    // Rows arrive in file order, so each one is appended; the time ends are
    // cumulative and therefore only make sense in that order.
    if (record.row != bars_.high.size()) throw std::logic_error("bars out of row order");
    bars_.high.push_back(record.high);
    bars_.low.push_back(record.low);
    bars_.values[0].push_back(record.values.CyclePeriod);
    bars_.values[1].push_back(record.values.SignalToNoiseRatio);
    bars_.values[2].push_back(record.values.SwingPosition);
    bars_.values[3].push_back(record.values.TrendVigor);
    bars_.times.append(record.time);
    bars_.timeEnds.push_back(static_cast<std::uint32_t>(bars_.times.size()));
  }

 private:
  ChartBars& bars_;
};

// The header of the column the bars' times come from, for the page's
// readout: the tool decides which column that is (BarTime); only the header
// row is read here, with the reader and delimiter the conversion used.
std::string TimeColumnName(std::string_view data) {
  tamsel::csv::MemorySource source(data);
  tamsel::csv::Reader reader(source);
  reader.setDelimiter(reader.sniffDelimiter());
  tamsel::csv::Record header;
  if (!reader.next(header)) return "";
  const tamsel::cli::BarTime time(header.fields);
  if (!time.hasDateColumn()) return "";
  std::string_view name = header.fields[time.dateColumn()];
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return std::string(name);
}

// The line tamsel prints on standard error for a failure, without its line
// break: made printable and capped as the tool does (the quoted parts of the
// message are printable already, so their escapes are not escaped twice).
std::string MessageLine(const std::string& message) {
  return "tamsel: " + tamsel::cli::printableMessage(message, tamsel::cli::kMessageLimit);
}

}  // namespace

extern "C" {

// Converts size bytes of CSV as `tamsel --missing=HOW name` does, HOW being
// the library's policy number (TAMSELCHART_MISSING_ERROR, _PREVIOUS, _NAN).
// Returns tamsel's exit status; the output is then the converted CSV (status
// 0) or tamsel's message, "tamsel: " first and without the final line break,
// and the bars are those of the converted rows (none after a failure).
int tamsel_web_convert(const char* name, const char* data, std::size_t size, int missing) {
  g_output.clear();
  g_bars.clear();
  g_timeName.clear();
  const std::string input = name;
  tamsel::cli::Options options;
  options.missing = missing == TAMSELCHART_MISSING_PREVIOUS ? tamsel::cli::Missing::Previous
                    : missing == TAMSELCHART_MISSING_NAN    ? tamsel::cli::Missing::NaN
                                                            : tamsel::cli::Missing::Error;
  try {
    tamsel::csv::MemorySource source(std::string_view(data, size));
    StringSink sink(g_output);
    ChartBarListener listener(g_bars);
    tamsel::cli::convert(source, input, sink, options, nullptr, &listener);
    g_timeName = TimeColumnName(std::string_view(data, size));
    return 0;
  } catch (const tamsel::cli::Failure& e) {
    g_bars.clear();
    g_output = MessageLine(e.what());
    return static_cast<int>(e.status());
  } catch (const std::bad_alloc&) {
    g_output = MessageLine(input + ": out of memory");
  } catch (const std::exception& e) {
    g_output = MessageLine(input + ": " + e.what());
  }
  g_bars.clear();
  return static_cast<int>(tamsel::cli::Status::Internal);
}

const char* tamsel_web_output() { return g_output.data(); }
std::size_t tamsel_web_output_size() { return g_output.size(); }

// The bars of the last successful conversion: their count, then per
// quantity a pointer to count floats (0 the high, 1 the low, 2 to 5 the
// indicators in the library's order), the times' text and where each ends.
std::size_t tamsel_web_bar_count() { return g_bars.high.size(); }
const float* tamsel_web_bar_floats(int which) {
  if (which == 0) return g_bars.high.data();
  if (which == 1) return g_bars.low.data();
  if (which >= 2 && which < 6) return g_bars.values[which - 2].data();
  return nullptr;
}
const char* tamsel_web_bar_times() { return g_bars.times.data(); }
std::size_t tamsel_web_bar_times_size() { return g_bars.times.size(); }
const std::uint32_t* tamsel_web_bar_time_ends() { return g_bars.timeEnds.data(); }
const char* tamsel_web_time_name() { return g_timeName.c_str(); }

// Frees the last result.
void tamsel_web_release() {
  std::string().swap(g_output);
  g_bars.clear();
  std::string().swap(g_timeName);
}

}  // extern "C"
