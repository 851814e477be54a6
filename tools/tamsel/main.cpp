// tamsel: the four TamselCharts indicators beside the bars of OHLC CSV files.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "convert.hpp"

namespace fs = std::filesystem;
using tamsel::cli::Failure;
using tamsel::cli::Status;

namespace {

constexpr const char* kFooter = R"(Input: a CSV file with a header row, separated by commas, semicolons or tabs
(detected from the header, or --delimiter), with or without quoted fields, CRLF
or LF line endings and a UTF-8 byte-order mark.  The high and low columns are
found by name, without regard to case.  Every input column is written out
unchanged, followed by the indicators; each value is the shortest decimal that
reads back to the same 32-bit float.  An output file is written under a
temporary name and renamed only once the whole input has been read without
error.

Examples:
  tamsel prices.csv                          indicators beside each bar, on standard output
  tamsel -o prices-tamsel.csv prices.csv     into a file
  tamsel -o out/ daily/*.csv                 several files in parallel, out/NAME for each
  tamsel --indicators cycle_period,trend_vigor --missing=previous < bars.csv

Exit status:
  0  every input was converted
  1  an unexpected failure (out of memory...)
  2  a bad command line
  3  an input cannot be read
  4  an output cannot be written
  5  an input is empty or has a header and no data rows
  6  the high or low column is missing or named twice
  7  malformed CSV: a row whose field count differs from the header's, an
     unclosed quote...
  8  a high or low cell is not a number
  9  a high or low cell is empty, null or NaN (see --missing)
With several inputs the status is that of the first one, in command-line
order, that failed; the others are still converted.)";

// Temporary output files to remove if the process is interrupted: one slot
// per worker, filled before the file exists and cleared after it is renamed.
struct TempSlot {
  char path[4096];
  std::atomic<bool> active{false};
};
constexpr int kMaxWorkers = 256;
TempSlot g_tempSlots[kMaxWorkers];

extern "C" void removeTempFilesAndDie(int signal) {
  for (TempSlot& slot : g_tempSlots)
    if (slot.active.load()) ::unlink(slot.path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

void writeAll(int fd, const char* data, std::size_t size, const std::string& name) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Failure(Status::CannotWrite, fmt::format("{}: cannot write: {}", name, errnoText(errno)));
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

class StdoutSink final : public tamsel::cli::Sink {
 public:
  void write(const char* data, std::size_t size) override { writeAll(1, data, size, "standard output"); }
};

// An output file that appears under its name only when complete: it is
// written under a temporary name in the same directory and renamed at the end,
// so a failure neither leaves half a file nor clobbers an older one.
class AtomicFile final : public tamsel::cli::Sink {
 public:
  AtomicFile(const fs::path& target, TempSlot& slot, mode_t mode) : target_(target), slot_(slot) {
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string pattern = (dir / ("." + target.filename().string() + ".tamsel-XXXXXX")).string();
    if (pattern.size() >= sizeof slot.path)
      throw Failure(Status::CannotWrite, fmt::format("{}: the path is too long", target.string()));
    std::memcpy(slot.path, pattern.c_str(), pattern.size() + 1);
    slot.active.store(true);
    fd_ = ::mkstemp(slot.path);
    if (fd_ < 0) {
      slot.active.store(false);
      throw Failure(Status::CannotWrite, fmt::format("{}: cannot create: {}", target.string(), errnoText(errno)));
    }
    temp_ = slot.path;
    ::fchmod(fd_, mode);
  }
  ~AtomicFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
    slot_.active.store(false);
  }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void write(const char* data, std::size_t size) override { writeAll(fd_, data, size, target_.string()); }

  void commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
      throw Failure(Status::CannotWrite, fmt::format("{}: cannot write: {}", target_.string(), errnoText(errno)));
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
      throw Failure(Status::CannotWrite, fmt::format("{}: cannot create: {}", target_.string(), errnoText(errno)));
    committed_ = true;
  }

 private:
  fs::path target_;
  TempSlot& slot_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

struct Job {
  std::string input;   // "-" for standard input
  std::string output;  // empty for standard output
  std::uint64_t size = 0;
  tamsel::cli::Progress progress;
  std::atomic<bool> done{false};
  Status status = Status::Ok;
};

std::mutex g_stderrMutex;
bool g_progressShown = false;  // guarded by g_stderrMutex

void report(const std::string& message) {
  std::lock_guard<std::mutex> lock(g_stderrMutex);
  if (g_progressShown) {
    std::fputs("\r\x1b[K", stderr);
    g_progressShown = false;
  }
  std::fprintf(stderr, "tamsel: %s\n", message.c_str());
}

void runJob(Job& job, const tamsel::cli::Options& options, TempSlot& slot, mode_t mode) {
  const bool fromStdin = job.input == "-";
  const std::string name = fromStdin ? "<stdin>" : job.input;
  int fd = 0;
  if (!fromStdin) {
    fd = ::open(job.input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure(Status::CannotRead, fmt::format("{}: cannot open: {}", name, errnoText(errno)));
  }
  struct Closer {
    int fd;
    ~Closer() {
      if (fd > 0) ::close(fd);
    }
  } closer{fd};
  tamsel::csv::FdSource source(fd);
  if (job.output.empty()) {
    StdoutSink sink;
    tamsel::cli::convert(source, name, sink, options, &job.progress);
  } else {
    AtomicFile file(job.output, slot, mode);
    tamsel::cli::convert(source, name, file, options, &job.progress);
    file.commit();
  }
}

void runGuarded(Job& job, const tamsel::cli::Options& options, TempSlot& slot, mode_t mode) {
  try {
    runJob(job, options, slot, mode);
  } catch (const Failure& e) {
    job.status = e.status();
    report(e.what());
  } catch (const std::bad_alloc&) {
    job.status = Status::Internal;
    report(job.input + ": out of memory");
  } catch (const std::exception& e) {
    job.status = Status::Internal;
    report(job.input + ": " + e.what());
  }
  job.done.store(true);
}

// A line on standard error while the work lasts more than a second, when
// standard error is a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(std::vector<Job>& jobs) : jobs_(jobs) {
    if (::isatty(2) == 1) thread_ = std::thread([this] { run(); });
  }
  ~ProgressLine() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::lock_guard<std::mutex> lock(g_stderrMutex);
    if (g_progressShown) std::fputs("\r\x1b[K", stderr);
    g_progressShown = false;
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  void run() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; })) {
      if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) continue;
      std::uint64_t bytes = 0, total = 0, rows = 0;
      std::size_t done = 0;
      bool sized = true;
      for (const Job& job : jobs_) {
        bytes += job.progress.bytes.load(std::memory_order_relaxed);
        rows += job.progress.rows.load(std::memory_order_relaxed);
        total += job.size;
        if (job.size == 0) sized = false;
        if (job.done.load()) ++done;
      }
      std::string line = sized && total > 0 ? fmt::format("{:3}%  ", std::min<std::uint64_t>(100, bytes * 100 / total))
                                            : std::string();
      if (jobs_.size() > 1) line += fmt::format("{} of {} files done  ", done, jobs_.size());
      line += fmt::format("{} rows", rows);
      std::lock_guard<std::mutex> out(g_stderrMutex);
      std::fprintf(stderr, "\r\x1b[Ktamsel: %s", line.c_str());
      std::fflush(stderr);
      g_progressShown = true;
    }
  }

  std::vector<Job>& jobs_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
};

char parseDelimiter(const std::string& text) {
  if (text == "tab" || text == "\\t" || text == "\t") return '\t';
  if (text == "comma") return ',';
  if (text == "semicolon") return ';';
  if (text.size() == 1 && text[0] != '"' && text[0] != '\n' && text[0] != '\r') return text[0];
  throw CLI::ValidationError("--delimiter", "'" + text + "' is not one character (or 'tab')");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "tamsel: the four TamselCharts cycle indicators beside the bars of OHLC CSV files.\n"
      "Writes every input column, then cycle_period, signal_to_noise, swing_position, trend_vigor."};
  app.name("tamsel");
  app.set_version_flag("--version", std::string("tamsel ") + TAMSEL_VERSION);
  app.footer(kFooter);
  app.get_formatter()->column_width(34);

  std::vector<std::string> inputs;
  std::string output;
  std::string delimiter;
  std::vector<std::string> indicators;
  std::string missing = "error";
  unsigned jobsWanted = 0;
  tamsel::cli::Options options;

  app.add_option("FILE", inputs, "CSV files of bars; standard input when none or '-'")->type_name("");
  app.add_option("-o,--output", output,
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
  app.add_option("-j,--jobs", jobsWanted, "files converted at once (default: one per core)")
      ->check(CLI::Range(1u, static_cast<unsigned>(kMaxWorkers)).description(""))
      ->type_name("N");

  try {
    app.parse(argc, argv);
    if (!delimiter.empty()) options.delimiter = parseDelimiter(delimiter);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : static_cast<int>(Status::Usage);
  }

  auto usage = [](const std::string& message) {
    std::fprintf(stderr, "tamsel: %s\nRun with --help for more information.\n", message.c_str());
    return static_cast<int>(Status::Usage);
  };

  if (!indicators.empty()) {
    options.indicators.clear();
    for (const std::string& nameOf : indicators) {
      const auto* at =
          std::find(std::begin(tamsel::cli::kIndicatorNames), std::end(tamsel::cli::kIndicatorNames), nameOf);
      const auto which = static_cast<tamsel::cli::Indicator>(at - std::begin(tamsel::cli::kIndicatorNames));
      if (std::find(options.indicators.begin(), options.indicators.end(), which) != options.indicators.end())
        return usage("--indicators: '" + nameOf + "' is given twice");
      options.indicators.push_back(which);
    }
  }
  options.missing = missing == "previous" ? tamsel::cli::Missing::Previous
                    : missing == "nan"    ? tamsel::cli::Missing::NaN
                                          : tamsel::cli::Missing::Error;
  if (inputs.empty()) inputs.emplace_back("-");

  std::error_code ec;
  const bool toDirectory = !output.empty() && (output.back() == '/' || fs::is_directory(output, ec));
  if (inputs.size() > 1 && !toDirectory) return usage("several inputs need -o DIR/ (one output file per input)");
  if (std::count(inputs.begin(), inputs.end(), "-") > 1) return usage("standard input ('-') is given twice");

  std::vector<Job> jobs(inputs.size());
  std::set<std::string> outputs;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    Job& job = jobs[i];
    job.input = inputs[i];
    if (toDirectory) {
      if (job.input == "-") return usage("standard input has no file name to use in -o DIR/; use -o FILE");
      job.output = (fs::path(output) / fs::path(job.input).filename()).string();
      if (!outputs.insert(fs::path(job.output).lexically_normal().string()).second)
        return usage("two inputs would both be written to " + job.output);
    } else {
      job.output = output;
    }
    if (!job.output.empty() && job.input != "-" && fs::exists(job.output, ec) &&
        fs::equivalent(job.input, job.output, ec))
      return usage(job.input + ": the output would replace the input");
    struct stat info {};
    if (job.input != "-" && ::stat(job.input.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      job.size = static_cast<std::uint64_t>(info.st_size);
  }

  if (toDirectory && !fs::is_directory(output, ec)) {
    fs::create_directories(output, ec);
    if (ec) {
      std::fprintf(stderr, "tamsel: %s: cannot create the directory: %s\n", output.c_str(), ec.message().c_str());
      return static_cast<int>(Status::CannotWrite);
    }
  }

  // New files get the usual permissions, as a shell redirection would give.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const mode_t mode = 0666 & ~mask;
  if (!output.empty()) {
    std::signal(SIGINT, removeTempFilesAndDie);
    std::signal(SIGTERM, removeTempFilesAndDie);
    std::signal(SIGHUP, removeTempFilesAndDie);
  }

  unsigned workers = jobsWanted != 0 ? jobsWanted : std::max(1u, std::thread::hardware_concurrency());
  workers = std::min<unsigned>({workers, static_cast<unsigned>(jobs.size()), static_cast<unsigned>(kMaxWorkers)});
  {
    ProgressLine progress(jobs);
    if (workers == 1) {
      for (Job& job : jobs) runGuarded(job, options, g_tempSlots[0], mode);
    } else {
      std::atomic<std::size_t> next{0};
      std::vector<std::thread> threads;
      for (unsigned w = 0; w < workers; ++w)
        threads.emplace_back([&, w] {
          for (std::size_t i = next.fetch_add(1); i < jobs.size(); i = next.fetch_add(1))
            runGuarded(jobs[i], options, g_tempSlots[w], mode);
        });
      for (std::thread& t : threads) t.join();
    }
  }
  for (const Job& job : jobs)
    if (job.status != Status::Ok) return static_cast<int>(job.status);
  return 0;
}
