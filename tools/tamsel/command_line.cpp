// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "column_name.hpp"
#include "indicator_table.hpp"
#include "message_text.hpp"

namespace tamsel::cli {

namespace {

constexpr const char* kFooter = R"(Input: a CSV file with a header row, separated by commas, semicolons or tabs
(detected from the header, or --delimiter), with or without quoted fields, CRLF
or LF line endings and a UTF-8 byte-order mark (UTF-16 and UTF-32 text is
recognised and refused with a hint to convert it).  The high and low columns are
found by name, without regard to case or surrounding blanks, as <HIGH> or by
the last part of a dotted name (AAPL.High).  Every input column is written out
unchanged, followed by the indicators; each value is the shortest decimal that
reads back to the same 32-bit float.  Prices are read as 32-bit floats: one
below about 1.2e-38 becomes the nearest subnormal float, or 0 below about
7e-46.  An empty cell, null, NaN, NA or n/a is a missing price; inf and
infinity (with a sign) are infinite prices.  Under --missing=error and
--missing=previous an infinite price, or one above about 3.4e38, is refused;
--missing=nan passes it on as an infinity.

Rows run oldest bar first.  Where a date column written year first (2024-03-01,
20240301, with or without a time, AM/PM or a UTC offset) shows them running
backwards, the input is refused (--no-order-check skips the check);
--order=newest-first reads such a file whole into memory, computes from its
last row up and writes the rows in the input's order.  Otherwise memory stays
the same whatever the input's length.

An output file is written under a temporary name beside it, synced to disk and
renamed only once the whole input has been read without error; it keeps the
permissions (and owner, where allowed) of the file it replaces.  A symbolic
link is followed; a file with several hard links is refused; a FIFO, a device
or a name under /dev (/dev/stdout) is written directly.  An interrupted run
leaves no temporary file, and signals the caller ignores stay ignored.

With --state FILE, a series converted in parts (a daily job) gives the same
rows as one conversion of the whole: the first run (FILE does not exist) writes
the header and the rows and saves where the series stands in FILE; each later
run is given only the rows that came since (with their header), writes those
rows without a header, for appending with >>, and moves FILE on.  FILE keeps
the indicators' state, the number of bars, the last bar's time and the options
--high, --low, --missing, --warmup, --indicators, --bars and the delimiter; a
later run with other options or another header is refused (status 11), as are
rows not newer than the last bar (status 10), a damaged, cut or foreign FILE
(status 11) and one that cannot be read (status 3).  An input of a header alone
adds nothing.  FILE is replaced as an output file is (a temporary beside it,
synced, renamed), only after the output is complete: a failed run leaves it as
it was, so the same input can be given again.  --state takes one input that
runs oldest first (not --order=newest-first).

Examples:
  tamsel prices.csv                          indicators beside each bar, on standard output
  tamsel -o prices-tamsel.csv prices.csv     into a file
  tamsel -o out/ daily/*.csv                 several files in parallel, out/NAME for each
  tamsel --indicators {FIRST},{LAST} --missing=previous < bars.csv
  tamsel --order=newest-first vendor.csv     a file whose newest bar comes first
  tamsel --warmup=nan prices.csv             nan where a value still reflects the start-up
  tamsel --bars prices.csv                   time,high,low and the four values, for a program
  tamsel --state s.bin new.csv >> all.csv    append the bars that came since the last run

Exit status:
  0  every input was converted
  1  an unexpected failure (out of memory...)
  2  a bad command line
  3  an input cannot be read
  4  an output cannot be written
  5  an input is empty or has a header and no data rows
  6  the high or low column is missing, named twice, or both are one column;
     or the input already has a column of an indicator's name
  7  malformed CSV: a row whose field count differs from the header's, an
     unclosed quote, UTF-16 or UTF-32 text...
  8  a high or low cell is not a number, or is infinite or beyond float range
     (see --missing)
  9  a high or low cell is empty, null or NaN (see --missing)
 10  the dates run against the order of the rows (see --order), or the first
     row is not newer than the last bar of the --state series
 11  the --state file is damaged, cut short, not a state file, or was written
     under other options or for another header
 >128  ended by a signal (128 + its number), with no temporary file left; on
     Windows 130 for Ctrl+C, 131 for Ctrl+Break and 129 when the console closes
With several inputs the status is that of the first one, in command-line
order, that failed; the others are still converted.)";

// The help's footer, its example of --indicators naming the library's first
// and last indicators.
std::string footer() {
  std::string text = kFooter;
  const auto put = [&](std::string_view mark, std::string_view name) {
    text.replace(text.find(mark), mark.size(), name);
  };
  put("{FIRST}", IndicatorColumn(0));
  put("{LAST}", IndicatorColumn(IndicatorCount() - 1));
  return text;
}

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

// --indicators: names from the library's table, separated by commas.
std::vector<Indicator> indicatorsNamed(const std::string& list) {
  std::vector<Indicator> chosen;
  std::string_view rest = list;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    if (name.empty())
      throw UsageError("--indicators '" + list + "': an empty name; give names separated by single commas, from " +
                       IndicatorList());
    const auto which = IndicatorNamed(name);
    if (!which)
      throw UsageError("--indicators: '" + std::string(name) + "' is no indicator; choose from " + IndicatorList());
    if (std::find(chosen.begin(), chosen.end(), *which) != chosen.end())
      throw UsageError("--indicators: '" + std::string(name) + "' is given twice");
    chosen.push_back(*which);
    if (comma == std::string_view::npos) return chosen;
    rest.remove_prefix(comma + 1);
  }
}

// A whole number written in decimal digits alone, or nothing.
std::optional<std::uint64_t> wholeNumber(const std::string& text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

unsigned jobsNamed(const std::string& text) {
  const auto jobs = wholeNumber(text);
  if (!jobs) throw UsageError("-j '" + text + "': the number of files converted at once must be a whole number");
  if (*jobs < 1 || *jobs > kMaxWorkers)
    throw UsageError("-j " + text + ": the number of files converted at once is 1 to " + std::to_string(kMaxWorkers));
  return static_cast<unsigned>(*jobs);
}

Warmup warmupNamed(const std::string& text) {
  if (text == "values") return {};
  if (text == "nan") return {Warmup::Kind::NaN, 0};
  const auto bars = wholeNumber(text);
  if (!bars)
    throw UsageError("--warmup '" + text +
                     "': 'values' writes every value, 'nan' blanks each indicator's own warm-up bars, a whole "
                     "number N (0 or more) the first N bars of every indicator");
  return {Warmup::Kind::Bars, *bars};
}

Missing missingNamed(const std::string& text) {
  std::string words;
  for (const Missing policy : {Missing::Error, Missing::Previous, Missing::NaN}) {
    const char* word = TamselChart_MissingPolicyName(static_cast<int>(policy));
    if (text == word) return policy;
    words += words.empty() ? "" : ", ";
    words += word;
  }
  throw UsageError("--missing '" + text + "' is none of " + words);
}

}  // namespace

int reportUsageError(const std::string& message) {
  std::fprintf(stderr, "tamsel: %s\nRun with --help for more information.\n", printableMessage(message, 1000).c_str());
  return static_cast<int>(Status::Usage);
}

Parsed parseCommandLine(int argc, char** argv) {
  CLI::App app{
      "tamsel: the four TamselCharts cycle indicators beside the bars of OHLC CSV files.\n"
      "Writes every input column, then " +
      IndicatorList() + "."};
  app.name("tamsel");
  // CLI11 reads /o as -o on Windows by default; there a name such as
  // /data/prices.csv is a path like any other.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("tamsel ") + TAMSEL_VERSION);
  app.footer(footer());
  app.get_formatter()->column_width(34);

  CommandLine request;
  std::string delimiter;
  std::string indicators;
  std::string missing = TamselChart_MissingPolicyName(TAMSELCHART_MISSING_ERROR);
  std::string order = "oldest-first";
  std::string warmup = "values";
  std::string jobs;
  Options& options = request.options;

  app.add_option("FILE", request.inputs, "CSV files of bars; standard input when none or '-'")->type_name("");
  // Each option below takes one value; given twice, it is refused by name
  // below rather than in the parser's words.
  std::vector<CLI::Option*> single;
  single.push_back(app.add_option("-o,--output", request.output,
                                  "write to this file instead of standard output; with a trailing '/' (or an "
                                  "existing directory): one file of the same name there per input")
                       ->type_name("FILE|DIR/"));
  single.push_back(
      app.add_option("--high", options.high, "name of the high column")->capture_default_str()->type_name("NAME"));
  single.push_back(
      app.add_option("--low", options.low, "name of the low column")->capture_default_str()->type_name("NAME"));
  single.push_back(
      app.add_option("-d,--delimiter", delimiter, "field separator: ',' ';' '|' or 'tab' (default: detected)")
          ->type_name("CHAR"));
  single.push_back(
      app.add_option("--indicators", indicators,
                     "comma-separated indicators to write, in this order (default: all four): " + IndicatorList())
          ->type_name("LIST"));
  single.push_back(app.add_option("--missing", missing,
                                  "a missing (empty, null, NaN), infinite or out-of-range high or low: 'error' "
                                  "stops, 'previous' repeats the previous bar's value (and refuses infinite and "
                                  "out-of-range prices), 'nan' passes each on to the indicators (which then freeze)")
                       ->capture_default_str()
                       ->type_name("HOW"));
  single.push_back(app.add_option("--order", order,
                                  "the order of the input's rows: 'oldest-first', or 'newest-first' (computed "
                                  "oldest first, written in the input's order; the input is held in memory)")
                       ->check(CLI::IsMember({"oldest-first", "newest-first"}).description(""))
                       ->capture_default_str()
                       ->type_name("ORDER"));
  bool noOrderCheck = false;
  app.add_flag("--no-order-check", noOrderCheck,
               "do not refuse rows whose dates run against --order (for a file whose dates "
               "the tool misreads)");
  single.push_back(app.add_option("--warmup", warmup,
                                  "'values' writes every value; 'nan' writes nan for each indicator's own warm-up "
                                  "bars, whose values still reflect the start-up state (counted in time order); N "
                                  "blanks the first N bars of every indicator")
                       ->capture_default_str()
                       ->type_name("values|nan|N"));
  app.add_flag("--bars", options.bars,
               "instead of the input's columns and the indicators, write the plain table "
               "time,high,low," +
                   IndicatorList(",") +
                   " (comma, '.', LF; time is the date cell's text), for a "
                   "program that wants the numbers");
  single.push_back(app.add_option("--state", request.state,
                                  "continue the series saved in FILE (when it exists) and save where it stands "
                                  "there: a later run takes only the new rows and writes them without a header, "
                                  "for appending (see below)")
                       ->type_name("FILE"));
  single.push_back(app.add_option("-j,--jobs", jobs,
                                  "workers converting files at once (default: one per core); with more files than "
                                  "workers, each worker converts up to 32 in step")
                       ->type_name("N"));
  for (CLI::Option* option : single) option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  try {
    app.parse(argc, argv);
    for (const CLI::Option* option : single)
      if (option->count() > 1) throw CLI::ArgumentMismatch(option->get_name() + " given twice; give it once");
    if (!delimiter.empty()) options.delimiter = parseDelimiter(delimiter);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return {std::nullopt, app.exit(e)};  // --help, --version
    // CLI11's messages quote the command line, which may hold any bytes.
    return {std::nullopt, reportUsageError(e.what())};
  }
  try {
    if (app.count("--output") > 0 && request.output.empty())
      throw UsageError("-o '': the output needs a file name (or DIR/); leave -o out for standard output");
    if (app.count("--state") > 0 && request.state.empty()) throw UsageError("--state '': the state needs a file name");
    if (request.state == "-")
      throw UsageError("--state -: the state is read and replaced, so it needs a file name (not standard input)");
    if (app.count("--indicators") > 0) options.indicators = indicatorsNamed(indicators);
    if (options.bars && app.count("--indicators") > 0)
      throw UsageError("--bars writes all four indicators; --indicators chooses among the input's columns");
    if (ColumnNameMatches(options.high, options.low) || ColumnNameMatches(options.low, options.high))
      throw UsageError("--high and --low both name the column '" + options.high +
                       "'; the high and the low must come from two columns");
    if (!jobs.empty() || app.count("--jobs") > 0) request.jobs = jobsNamed(jobs);
    options.warmup = warmupNamed(warmup);
    options.missing = missingNamed(missing);
  } catch (const UsageError& e) {
    return {std::nullopt, reportUsageError(e.what())};
  }
  options.order = order == "newest-first" ? Order::NewestFirst : Order::OldestFirst;
  options.checkOrder = !noOrderCheck;
  if (request.inputs.empty()) request.inputs.emplace_back("-");
  return {std::move(request), 0};
}

}  // namespace tamsel::cli
