// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "message_text.hpp"

namespace tamsel::cli {

namespace {

constexpr const char* kFooter = R"(Input: a CSV file with a header row, separated by commas, semicolons or tabs
(detected from the header, or --delimiter), with or without quoted fields, CRLF
or LF line endings and a UTF-8 byte-order mark (UTF-16 and UTF-32 text is
recognised and refused with a hint to convert it).  The high and low columns are
found by name, without regard to case.  Every input column is written out
unchanged, followed by the indicators; each value is the shortest decimal that
reads back to the same 32-bit float.  Prices are read as 32-bit floats: one
above about 3.4e38 is refused, one below about 1.2e-38 becomes the nearest
subnormal float, or 0 below about 7e-46.

Rows run oldest bar first.  Where a date column written year first (2024-03-01,
20240301, with or without a time) shows them running backwards, the input is
refused; --order=newest-first reads such a file whole into memory, computes
from its last row up and writes the rows in the input's order.  Otherwise
memory stays the same whatever the input's length.

An output file is written under a temporary name beside it, synced to disk and
renamed only once the whole input has been read without error; it keeps the
permissions (and owner, where allowed) of the file it replaces.  A symbolic
link is followed; a file with several hard links is refused; a FIFO, a device
or a name under /dev (/dev/stdout) is written directly.  An interrupted run
leaves no temporary file, and signals the caller ignores stay ignored.

Examples:
  tamsel prices.csv                          indicators beside each bar, on standard output
  tamsel -o prices-tamsel.csv prices.csv     into a file
  tamsel -o out/ daily/*.csv                 several files in parallel, out/NAME for each
  tamsel --indicators cycle_period,trend_vigor --missing=previous < bars.csv
  tamsel --order=newest-first vendor.csv     a file whose newest bar comes first

Exit status:
  0  every input was converted
  1  an unexpected failure (out of memory...)
  2  a bad command line
  3  an input cannot be read
  4  an output cannot be written
  5  an input is empty or has a header and no data rows
  6  the high or low column is missing, named twice, or both are one column
  7  malformed CSV: a row whose field count differs from the header's, an
     unclosed quote, UTF-16 or UTF-32 text...
  8  a high or low cell is not a number
  9  a high or low cell is empty, null or NaN (see --missing)
 10  the dates run against the order of the rows (see --order)
 >128  ended by a signal (128 + its number), with no temporary file left
With several inputs the status is that of the first one, in command-line
order, that failed; the others are still converted.)";

char parseDelimiter(const std::string& text) {
  if (text == "tab" || text == "\\t" || text == "\t") return '\t';
  if (text == "comma") return ',';
  if (text == "semicolon") return ';';
  if (text == "\"")
    throw CLI::ValidationError("--delimiter", "'\"' is the quote character of CSV and cannot also separate fields");
  if (text == "\n" || text == "\r")
    throw CLI::ValidationError("--delimiter", "a line break ends a row and cannot separate fields");
  if (text.size() == 1) return text[0];
  throw CLI::ValidationError("--delimiter", "'" + printable(text) + "' is not one character (or 'tab')");
}

std::vector<Indicator> indicatorsNamed(const std::vector<std::string>& names) {
  std::vector<Indicator> chosen;
  for (const std::string& name : names) {
    const auto* at = std::find(std::begin(kIndicatorNames), std::end(kIndicatorNames), name);
    const auto which = static_cast<Indicator>(at - std::begin(kIndicatorNames));
    if (std::find(chosen.begin(), chosen.end(), which) != chosen.end())
      throw UsageError("--indicators: '" + name + "' is given twice");
    chosen.push_back(which);
  }
  return chosen;
}

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

int reportUsageError(const std::string& message) {
  std::fprintf(stderr, "tamsel: %s\nRun with --help for more information.\n", printable(message, 1000).c_str());
  return static_cast<int>(Status::Usage);
}

Parsed parseCommandLine(int argc, char** argv) {
  CLI::App app{
      "tamsel: the four TamselCharts cycle indicators beside the bars of OHLC CSV files.\n"
      "Writes every input column, then cycle_period, signal_to_noise, swing_position, trend_vigor."};
  app.name("tamsel");
  app.set_version_flag("--version", std::string("tamsel ") + TAMSEL_VERSION);
  app.footer(kFooter);
  app.get_formatter()->column_width(34);

  CommandLine request;
  std::string delimiter;
  std::vector<std::string> indicators;
  std::string missing = "error";
  std::string order = "oldest-first";
  Options& options = request.options;

  app.add_option("FILE", request.inputs, "CSV files of bars; standard input when none or '-'")->type_name("");
  app.add_option("-o,--output", request.output,
                 "write to this file instead of standard output; with a trailing '/' (or an existing "
                 "directory): one file of the same name there per input")
      ->type_name("FILE|DIR/");
  app.add_option("--high", options.high, "name of the high column")->capture_default_str()->type_name("NAME");
  app.add_option("--low", options.low, "name of the low column")->capture_default_str()->type_name("NAME");
  app.add_option("-d,--delimiter", delimiter, "field separator: ',' ';' '|' or 'tab' (default: detected)")
      ->type_name("CHAR");
  app.add_option("--indicators", indicators,
                 "comma-separated indicators to write, in this order (default: all four): cycle_period, "
                 "signal_to_noise, swing_position, trend_vigor")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->check(CLI::IsMember({"cycle_period", "signal_to_noise", "swing_position", "trend_vigor"}).description(""))
      ->type_name("LIST");
  app.add_option("--missing", missing,
                 "an empty, null or NaN high or low: 'error' stops, 'previous' repeats the previous bar's value, "
                 "'nan' passes NaN to the indicators (which then freeze)")
      ->check(CLI::IsMember({"error", "previous", "nan"}).description(""))
      ->capture_default_str()
      ->type_name("HOW");
  app.add_option("--order", order,
                 "the order of the input's rows: 'oldest-first', or 'newest-first' (computed oldest first, "
                 "written in the input's order; the input is held in memory)")
      ->check(CLI::IsMember({"oldest-first", "newest-first"}).description(""))
      ->capture_default_str()
      ->type_name("ORDER");
  app.add_flag("--bars", options.bars,
               "instead of the input's columns and the indicators, write the plain table "
               "time,high,low and all four indicators (comma, '.', LF; time is the date cell's text), for a "
               "program that wants the numbers");
  app.add_option("-j,--jobs", request.jobs, "files converted at once (default: one per core)")
      ->check(CLI::Range(1u, kMaxWorkers).description(""))
      ->type_name("N");

  try {
    app.parse(argc, argv);
    if (!delimiter.empty()) options.delimiter = parseDelimiter(delimiter);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return {std::nullopt, app.exit(e)};  // --help, --version
    // CLI11's messages quote the command line, which may hold any bytes.
    return {std::nullopt, reportUsageError(e.what())};
  }
  try {
    if (!indicators.empty()) options.indicators = indicatorsNamed(indicators);
    if (lowerAscii(options.high) == lowerAscii(options.low))
      throw UsageError("--high and --low both name the column '" + options.high +
                       "'; the high and the low must come from two columns");
  } catch (const UsageError& e) {
    return {std::nullopt, reportUsageError(e.what())};
  }
  options.missing = missing == "previous" ? Missing::Previous : missing == "nan" ? Missing::NaN : Missing::Error;
  options.order = order == "newest-first" ? Order::NewestFirst : Order::OldestFirst;
  if (request.inputs.empty()) request.inputs.emplace_back("-");
  return {std::move(request), 0};
}

}  // namespace tamsel::cli
