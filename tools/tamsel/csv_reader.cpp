// SPDX-License-Identifier: MIT
#include "csv_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace tamsel::csv {

std::size_t MemorySource::read(char* buffer, std::size_t size) {
  const std::size_t n = std::min(size, text_.size());
  std::memcpy(buffer, text_.data(), n);
  text_.remove_prefix(n);
  return n;
}

std::size_t FdSource::read(char* buffer, std::size_t size) {
  for (;;) {
    // At most 1 GiB a call: the Windows C runtime's read() counts in an
    // unsigned int.
    const auto n = ::read(fd_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, std::size_t{1} << 30)));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw std::system_error(errno, std::generic_category());
  }
}

Reader::Reader(ByteSource& source, std::size_t initialBuffer, std::size_t maxRecord)
    : source_(source),
      buffer_(std::max<std::size_t>(initialBuffer, 4)),
      maxRecord_(std::max(maxRecord, initialBuffer)) {}

bool Reader::fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) {
    if (buffer_.size() >= maxRecord_)
      throw ParseError(line_, "a record is longer than " + std::to_string(maxRecord_) + " bytes");
    buffer_.resize(std::min(buffer_.size() * 2, maxRecord_));
  }
  const std::size_t n = source_.read(buffer_.data() + end_, buffer_.size() - end_);
  if (n == 0) eof_ = true;
  end_ += n;
  totalRead_ += n;
  return n != 0;
}

void Reader::start() {
  if (started_) return;
  started_ = true;
  while (end_ - begin_ < 4 && fill()) {
  }
  const std::string_view head(buffer_.data() + begin_, end_ - begin_);
  if (head.starts_with("\xEF\xBB\xBF")) {
    bom_ = true;
    begin_ += 3;
  } else if (head.starts_with(std::string_view("\xFF\xFE\0\0", 4))) {
    wideBom_ = "UTF-32LE";
  } else if (head.starts_with(std::string_view("\0\0\xFE\xFF", 4))) {
    wideBom_ = "UTF-32BE";
  } else if (head.starts_with("\xFF\xFE")) {
    wideBom_ = "UTF-16LE";
  } else if (head.starts_with("\xFE\xFF")) {
    wideBom_ = "UTF-16BE";
  }
}

std::string_view Reader::wideByteOrderMark() {
  start();
  return wideBom_;
}

bool Reader::hadByteOrderMark() {
  start();
  return bom_;
}

char Reader::sniffDelimiter() {
  start();
  // The whole first line if it fits in the buffer.
  for (;;) {
    const char* b = buffer_.data();
    bool inQuotes = false;
    bool lineComplete = false;
    std::size_t counts[4] = {0, 0, 0, 0};
    static constexpr char candidates[4] = {',', ';', '\t', '|'};
    for (std::size_t i = begin_; i < end_; ++i) {
      const char c = b[i];
      if (c == '"') {
        inQuotes = !inQuotes;
      } else if (!inQuotes && (c == '\n' || c == '\r')) {
        lineComplete = true;
        break;
      } else if (!inQuotes) {
        for (int k = 0; k < 4; ++k)
          if (c == candidates[k]) ++counts[k];
      }
    }
    if (!lineComplete && !eof_ && end_ - begin_ < buffer_.size() && fill()) continue;
    int best = 0;
    for (int k = 1; k < 4; ++k)
      if (counts[k] > counts[best]) best = k;
    return candidates[best];
  }
}

Reader::Scan Reader::scan(Record& record, std::size_t& recordEnd) {
  const char* b = buffer_.data();
  const char separator = delimiter_;
  std::size_t i = begin_;
  long newlines = 0;
  spans_.clear();
  for (;;) {
    if (i < end_ && b[i] == '"') {
      const std::size_t contentBegin = ++i;
      bool doubled = false;
      for (;;) {
        const void* found = std::memchr(b + i, '"', end_ - i);
        if (found == nullptr) {
          if (!eof_) return Scan::NeedMore;
          throw ParseError(line_, "a quoted field is not closed before the end of the input");
        }
        const std::size_t q = static_cast<std::size_t>(static_cast<const char*>(found) - b);
        for (std::size_t k = i; k < q; ++k)
          if (b[k] == '\n' || (b[k] == '\r' && b[k + 1] != '\n')) ++newlines;
        if (q + 1 == end_ && !eof_) return Scan::NeedMore;  // '"' or '""'?
        if (q + 1 < end_ && b[q + 1] == '"') {
          doubled = true;
          i = q + 2;
          continue;
        }
        spans_.push_back({contentBegin, q, doubled});
        i = q + 1;
        break;
      }
      if (i < end_ && b[i] != separator && b[i] != '\n' && b[i] != '\r') {
        const char c = b[i];
        char shown[8];
        if (c >= 0x20 && c < 0x7f)
          std::snprintf(shown, sizeof shown, "%c", c);
        else
          std::snprintf(shown, sizeof shown, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        throw ParseError(line_ + newlines,
                         "unexpected '" + std::string(shown) + "' after the closing quote of a field");
      }
    } else {
      const std::size_t fieldBegin = i;
      while (i < end_ && b[i] != separator && b[i] != '\n' && b[i] != '\r') ++i;
      if (i == end_ && !eof_) return Scan::NeedMore;
      spans_.push_back({fieldBegin, i, false});
    }
    if (i < end_ && b[i] == separator) {
      ++i;
      continue;
    }
    break;
  }
  // i is at a line ending or at the end of the input.
  const std::size_t rawEnd = i;
  if (i == end_) {
    record.ending = {};
  } else if (b[i] == '\n') {
    record.ending = "\n";
    ++i;
  } else {  // '\r'
    if (i + 1 == end_ && !eof_) return Scan::NeedMore;
    if (i + 1 < end_ && b[i + 1] == '\n') {
      record.ending = "\r\n";
      i += 2;
    } else {
      record.ending = "\r";
      ++i;
    }
  }
  recordEnd = i;
  record.raw = std::string_view(b + begin_, rawEnd - begin_);
  record.line = line_;
  line_ += newlines + (record.ending.empty() ? 0 : 1);

  record.fields.clear();
  unescaped_.clear();
  unescaped_.reserve(rawEnd - begin_);  // no reallocation below: views into it stay put
  for (const FieldSpan& s : spans_) {
    if (!s.doubledQuotes) {
      record.fields.emplace_back(b + s.begin, s.end - s.begin);
      continue;
    }
    const std::size_t at = unescaped_.size();
    for (std::size_t k = s.begin; k < s.end; ++k) {
      unescaped_.push_back(b[k]);
      if (b[k] == '"') ++k;  // the second of a '""' pair
    }
    record.fields.emplace_back(unescaped_.data() + at, unescaped_.size() - at);
  }
  return Scan::Complete;
}

bool Reader::next(Record& record) {
  start();
  for (;;) {
    if (begin_ == end_ && !fill()) return false;
    std::size_t recordEnd = 0;
    if (scan(record, recordEnd) == Scan::NeedMore) {
      fill();
      continue;
    }
    begin_ = recordEnd;
    if (record.raw.empty() && !record.ending.empty()) continue;  // a blank line
    if (record.raw.empty() && record.ending.empty()) return false;
    return true;
  }
}

}  // namespace tamsel::csv
