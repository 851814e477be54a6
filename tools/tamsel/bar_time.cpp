// SPDX-License-Identifier: MIT
#include "bar_time.hpp"

#include <string>

#include "column_name.hpp"

namespace tamsel::cli {

namespace {

// A date column's name also matches without its separators ("Trade_Date",
// "trade date").
std::string nameKey(std::string_view name) {
  std::string key;
  for (const char c : ColumnKey(name)) {
    if (c == ' ' || c == '_' || c == '-' || c == '/') continue;
    key += c;
  }
  return key;
}

// Reads count digits at text[at...] into value.
bool digits(std::string_view text, std::size_t& at, std::size_t count, std::uint64_t& value) {
  value = 0;
  for (std::size_t i = 0; i < count; ++i, ++at) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
  }
  return true;
}

// One or two digits.
bool shortNumber(std::string_view text, std::size_t& at, std::uint64_t& value) {
  if (!digits(text, at, 1, value)) return false;
  std::uint64_t second = 0;
  std::size_t next = at;
  if (digits(text, next, 1, second)) {
    value = value * 10 + second;
    at = next;
  }
  return true;
}

// hh:mm[:ss[.fff]] as milliseconds since midnight; the rest of the text (a
// time zone, say) is ignored.
std::optional<std::uint64_t> timeOfDay(std::string_view text) {
  std::size_t at = 0;
  std::uint64_t hours = 0, minutes = 0, seconds = 0, millis = 0;
  if (text.size() >= 4 && text.find(':') == std::string_view::npos) {  // hhmm or hhmmss
    if (!digits(text, at, 2, hours) || !digits(text, at, 2, minutes)) return std::nullopt;
    if (at < text.size() && !digits(text, at, 2, seconds)) return std::nullopt;
  } else {
    if (!shortNumber(text, at, hours) || at >= text.size() || text[at++] != ':' || !digits(text, at, 2, minutes))
      return std::nullopt;
    if (at < text.size() && text[at] == ':') {
      ++at;
      if (!digits(text, at, 2, seconds)) return std::nullopt;
      if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        ++at;
        for (std::uint64_t scale = 100; scale > 0 && at < text.size() && text[at] >= '0' && text[at] <= '9';
             scale /= 10, ++at)
          millis += static_cast<std::uint64_t>(text[at] - '0') * scale;
      }
    }
  }
  if (hours > 24 || minutes > 59 || seconds > 60) return std::nullopt;
  return ((hours * 60 + minutes) * 60 + seconds) * 1000 + millis;
}

constexpr std::uint64_t kMillisPerDay = 86'400'000;

// A year-first date with an optional time of day after 'T' or blanks, as a
// number that grows with time.
std::optional<std::uint64_t> dateTime(std::string_view text) {
  std::size_t at = 0;
  std::uint64_t year = 0, month = 0, day = 0;
  if (!digits(text, at, 4, year)) return std::nullopt;
  if (at < text.size() && (text[at] == '-' || text[at] == '/' || text[at] == '.')) {
    const char separator = text[at++];
    if (!shortNumber(text, at, month) || at >= text.size() || text[at++] != separator || !shortNumber(text, at, day))
      return std::nullopt;
  } else if (!digits(text, at, 2, month) || !digits(text, at, 2, day)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  const std::uint64_t date = (year * 12 + (month - 1)) * 31 + (day - 1);
  if (at == text.size()) return date * kMillisPerDay;
  if (text[at] != 'T' && text[at] != ' ') return std::nullopt;
  std::string_view rest = TrimBlanks(text.substr(at + 1));
  const auto time = timeOfDay(rest);
  if (!time) return std::nullopt;
  return date * kMillisPerDay + *time;
}

}  // namespace

BarTime::BarTime(const std::vector<std::string_view>& header) {
  std::optional<std::size_t> timeOnly;
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string key = nameKey(header[i]);
    if (key == "date" || key == "datetime" || key == "timestamp" || key == "day") {
      if (!dateColumn_) dateColumn_ = i;
    } else if (key == "time") {
      if (!timeOnly) timeOnly = i;
    }
  }
  if (dateColumn_)
    timeColumn_ = timeOnly;
  else
    dateColumn_ = timeOnly;  // a single "time" column holding dates and times
}

std::optional<std::uint64_t> BarTime::of(const std::vector<std::string_view>& fields) const {
  if (!dateColumn_ || *dateColumn_ >= fields.size()) return std::nullopt;
  auto when = dateTime(TrimBlanks(fields[*dateColumn_]));
  if (!when || !timeColumn_ || *timeColumn_ >= fields.size()) return when;
  const auto time = timeOfDay(TrimBlanks(fields[*timeColumn_]));
  if (!time) return std::nullopt;
  return *when + *time;
}

}  // namespace tamsel::cli
