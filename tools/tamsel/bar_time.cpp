// SPDX-License-Identifier: MIT
#include "bar_time.hpp"

// GCC sees the date library's parser leave a field unset on paths where the
// library checks it was never read; the warning is about that library's
// code, which this file instantiates.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// The date library's own reading of AM and PM: the C++ library's locale
// facet does not read %p on every platform.
#define ONLY_C_LOCALE 1
#include <date/date.h>

#include <chrono>
#include <sstream>
#include <string>

#include "column_name.hpp"

namespace tamsel::cli {

namespace {

// A date column's name also matches without its separators ("Date_Time",
// "time stamp").
bool namesDateColumn(std::string_view header, std::string_view word) {
  std::string joined;
  for (const char c : header)
    if (c != ' ' && c != '_' && c != '-' && c != '/') joined += c;
  return ColumnNameMatches(joined, word);
}

// Every layout the reader understands: a year-first date, alone or with a
// time of day and an optional UTC offset.  The text is read with 'T' between
// date and time turned into a blank, and a trailing Z, UTC or GMT into
// +00:00.
std::vector<std::string> makeFormats() {
  const char* dates[] = {"%Y-%m-%d", "%Y/%m/%d", "%Y.%m.%d", "%Y%m%d"};
  const char* times[] = {"%H:%M:%S", "%H:%M", "%I:%M:%S %p", "%I:%M %p", "%H%M%S", "%H%M"};
  std::vector<std::string> layouts;
  for (const char* date : dates) {
    layouts.emplace_back(date);
    for (const char* time : times) {
      layouts.push_back(std::string(date) + ' ' + time);
      layouts.push_back(std::string(date) + ' ' + time + " %Ez");  // +02:00
      layouts.push_back(std::string(date) + ' ' + time + " %z");   // +0200
    }
  }
  return layouts;
}

const std::vector<std::string>& formats() {
  static const std::vector<std::string> all = makeFormats();
  return all;
}

// The text in the shape the formats expect.
std::string normalised(std::string_view text) {
  std::string shape(TrimBlanks(text));
  const std::size_t t = shape.find_first_of("Tt");
  if (t != std::string::npos && t > 0 && shape[t - 1] >= '0' && shape[t - 1] <= '9') shape[t] = ' ';
  // Seconds with a decimal comma (10:00:00,5, as ISO 8601 allows and
  // semicolon-separated files write them) read as with a point.
  for (std::size_t i = 3; i + 1 < shape.size(); ++i) {
    const auto digit = [&](std::size_t at) { return shape[at] >= '0' && shape[at] <= '9'; };
    if (shape[i] == ',' && shape[i - 3] == ':' && digit(i - 2) && digit(i - 1) && digit(i + 1)) shape[i] = '.';
  }
  for (const std::string_view utc : {"z", "utc", "gmt"}) {
    if (shape.size() > utc.size() &&
        EqualsIgnoringCase(std::string_view(shape).substr(shape.size() - utc.size()), utc)) {
      shape.resize(shape.size() - utc.size());
      shape += "+00:00";
      break;
    }
  }
  return shape;
}

// Whether the text has the shape of one of the layouts: digits where a
// layout has digits, its separators, AM/PM and an offset, and nothing else.
// Text of another shape never reaches the date library, whose failure paths
// on some of it read a value they never set.
bool HasDateShape(std::string_view text) {
  std::size_t i = 0;
  const auto digits = [&](std::size_t least, std::size_t most) {
    std::size_t n = 0;
    while (i < text.size() && n < most && text[i] >= '0' && text[i] <= '9') ++i, ++n;
    return n >= least;
  };
  const auto take = [&](std::string_view any) {
    if (i < text.size() && any.find(text[i]) != std::string_view::npos) return ++i, true;
    return false;
  };
  if (!digits(4, 8)) return false;
  if (take("-/.") && !(digits(1, 2) && take("-/.") && digits(1, 2))) return false;
  if (i == text.size()) return true;
  if (!take(" ") || !digits(1, 6)) return false;
  while (take(":"))
    if (!digits(2, 2)) return false;
  if (take(".") && !digits(1, 9)) return false;  // fractions of a second
  take(" ");
  if (take("AaPp") && !take("Mm")) return false;
  take(" ");
  if (take("+-") && !(digits(2, 4) && (!take(":") || digits(2, 2)))) return false;
  return i == text.size();
}

// How many digits a time of day written without separators (1030, 103000)
// has, or 0 where the text has no such time.
std::size_t CompactTimeDigits(const std::string& shape) {
  const std::size_t blank = shape.find(' ');
  if (blank == std::string::npos) return 0;
  std::size_t end = blank + 1;
  while (end < shape.size() && shape[end] >= '0' && shape[end] <= '9') ++end;
  return end < shape.size() && shape[end] == ':' ? 0 : end - blank - 1;
}

// Whether the text can reach the format's seconds.  The date library reads
// seconds into a value it leaves unset when they are missing and converts it
// all the same, so a compact time of four digits or fewer never meets
// %H%M%S (two digits of hours and two of minutes leave none for it).
bool SecondsFit(const std::string& format, std::size_t compactDigits) {
  return format.find("%H%M%S") == std::string::npos || compactDigits >= 5;
}

}  // namespace

struct DateReader::State {
  std::istringstream in;
  std::size_t lastFormat = 0;  // a file keeps one format

  std::optional<BarTime::Instant> parseWith(const std::string& text, const std::string& format) {
    in.clear();
    in.str(text);
    date::sys_time<std::chrono::milliseconds> when{};
    date::from_stream(in, format.c_str(), when);
    if (in.fail()) return std::nullopt;
    in >> std::ws;
    if (!in.eof()) return std::nullopt;  // more text than the format
    return when.time_since_epoch().count();
  }
};

DateReader::DateReader() : state_(std::make_unique<State>()) {}
DateReader::~DateReader() = default;

std::optional<BarTime::Instant> DateReader::read(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() < 8 || text[0] < '0' || text[0] > '9') return std::nullopt;  // no year-first date
  const std::string shape = normalised(text);
  if (!HasDateShape(shape)) return std::nullopt;
  const std::vector<std::string>& all = formats();
  const std::size_t compactDigits = CompactTimeDigits(shape);
  if (SecondsFit(all[state_->lastFormat], compactDigits))
    if (const auto when = state_->parseWith(shape, all[state_->lastFormat])) return when;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i == state_->lastFormat || !SecondsFit(all[i], compactDigits)) continue;
    if (const auto when = state_->parseWith(shape, all[i])) {
      state_->lastFormat = i;
      return when;
    }
  }
  return std::nullopt;
}

BarTime::~BarTime() = default;

BarTime::BarTime(const std::vector<std::string_view>& header) : reader_(std::make_unique<DateReader>()) {
  std::optional<std::size_t> timeOnly;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (namesDateColumn(header[i], "date") || namesDateColumn(header[i], "datetime") ||
        namesDateColumn(header[i], "timestamp") || namesDateColumn(header[i], "day")) {
      if (!dateColumn_) dateColumn_ = i;
    } else if (namesDateColumn(header[i], "time")) {
      if (!timeOnly) timeOnly = i;
    }
  }
  if (dateColumn_)
    timeColumn_ = timeOnly;
  else
    dateColumn_ = timeOnly;  // a single "time" column holding dates and times
}

std::string BarTime::textOf(const std::vector<std::string_view>& fields) const {
  if (!dateColumn_ || *dateColumn_ >= fields.size()) return {};
  std::string text(TrimBlanks(fields[*dateColumn_]));
  if (timeColumn_ && *timeColumn_ < fields.size()) {  // a date and a separate time of day, read as one
    text += ' ';
    text += TrimBlanks(fields[*timeColumn_]);
  }
  return text;
}

std::optional<BarTime::Instant> BarTime::read(std::string_view text) const {
  if (!dateColumn_) return std::nullopt;
  return reader_->read(text);
}

}  // namespace tamsel::cli
