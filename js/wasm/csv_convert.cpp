// SPDX-License-Identifier: MIT
// The web page's way into the command-line tool: the tool's own CSV reader
// and conversion, run over a file the page holds in memory.  The page gets
// exactly what `tamsel NAME` would write on standard output, or the message
// it would print on standard error, and the exit status.
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "TamselCharts.h"
#include "convert.hpp"
#include "csv_reader.hpp"
#include "message_text.hpp"

namespace {

// The last conversion's result, kept until the next one or a release.
std::string g_output;
std::string g_table;

class StringSink final : public tamsel::cli::Sink {
 public:
  explicit StringSink(std::string& text) : text_(text) {}
  void write(const char* data, std::size_t size) override { text_.append(data, size); }

 private:
  std::string& text_;
};

// The line tamsel prints on standard error for a failure, without its line
// break: made printable and capped as the tool does (the quoted parts of the
// message are printable already, so their escapes are not escaped twice).
std::string MessageLine(const std::string& message) {
  return "tamsel: " + tamsel::cli::printableMessage(message, tamsel::cli::kMessageLimit);
}

void AppendU32(std::string& out, std::size_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  out.append(bytes, 4);
}

}  // namespace

extern "C" {

// Converts size bytes of CSV as `tamsel --missing=HOW name` does, HOW being
// the library's policy number (TAMSELCHART_MISSING_ERROR, _PREVIOUS, _NAN).  Returns tamsel's exit status; the output
// is then the converted CSV (status 0) or tamsel's message, "tamsel: " first and without the final line break.
int tamsel_web_convert(const char* name, const char* data, std::size_t size, int missing) {
  g_output.clear();
  g_table.clear();
  const std::string input = name;
  tamsel::cli::Options options;
  options.missing = missing == TAMSELCHART_MISSING_PREVIOUS ? tamsel::cli::Missing::Previous
                    : missing == TAMSELCHART_MISSING_NAN    ? tamsel::cli::Missing::NaN
                                                            : tamsel::cli::Missing::Error;
  try {
    tamsel::csv::MemorySource source(std::string_view(data, size));
    StringSink sink(g_output);
    tamsel::cli::convert(source, input, sink, options);
    return 0;
  } catch (const tamsel::cli::Failure& e) {
    g_output = MessageLine(e.what());
    return static_cast<int>(e.status());
  } catch (const std::bad_alloc&) {
    g_output = MessageLine(input + ": out of memory");
  } catch (const std::exception& e) {
    g_output = MessageLine(input + ": " + e.what());
  }
  return static_cast<int>(tamsel::cli::Status::Internal);
}

const char* tamsel_web_output() { return g_output.data(); }
std::size_t tamsel_web_output_size() { return g_output.size(); }

// The converted CSV of the last successful conversion split into fields by
// the same reader, for charting: the delimiter byte, then per record a
// little-endian uint32 field count and per field a uint32 length and its
// bytes.  Returns a pointer to it (tamsel_web_table_size bytes), or null.
const char* tamsel_web_table() {
  g_table.clear();
  try {
    tamsel::csv::MemorySource source(g_output);
    tamsel::csv::Reader reader(source);
    reader.setDelimiter(reader.sniffDelimiter());
    g_table.push_back(reader.delimiter());
    tamsel::csv::Record record;
    while (reader.next(record)) {
      AppendU32(g_table, record.fields.size());
      for (std::string_view field : record.fields) {
        AppendU32(g_table, field.size());
        g_table.append(field);
      }
    }
  } catch (const std::exception&) {
    g_table.clear();
    return nullptr;
  }
  return g_table.data();
}
std::size_t tamsel_web_table_size() { return g_table.size(); }

// Frees the last result.
void tamsel_web_release() {
  std::string().swap(g_output);
  std::string().swap(g_table);
}

}  // extern "C"
