// SPDX-License-Identifier: MIT
// A streaming reader of delimited text as brokers and data vendors export it.
//
// It reads records one at a time through a fixed buffer, so memory does not
// grow with the input, and keeps each record's original text so that a tool
// can copy the columns it does not touch byte for byte.
//
// Rules:
//   - fields are separated by one delimiter character (comma, semicolon, tab...);
//   - a field that starts with '"' is quoted: it ends at the next lone '"', a
//     doubled '""' inside stands for one '"', and delimiters and line breaks
//     inside belong to the field; after the closing quote only a delimiter or
//     the end of the record may follow;
//   - a '"' inside an unquoted field is an ordinary character;
//   - a record ends at LF, CRLF or a lone CR, or at the end of the input;
//   - a UTF-8 byte-order mark at the very start is skipped (and reported);
//   - lines that are completely empty are skipped.
#ifndef TAMSEL_TOOLS_CSV_READER_HPP
#define TAMSEL_TOOLS_CSV_READER_HPP

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::csv {

// Where the bytes come from.  read() fills up to size bytes and returns how
// many it wrote, 0 only at the end of the input; it throws on a read error.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

// A whole input held in memory (tests, fuzzing).
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view text) : text_(text) {}
  std::size_t read(char* buffer, std::size_t size) override;

 private:
  std::string_view text_;
};

// A POSIX file descriptor, not owned.
class FdSource final : public ByteSource {
 public:
  explicit FdSource(int fd) : fd_(fd) {}
  std::size_t read(char* buffer, std::size_t size) override;

 private:
  int fd_;
};

// Malformed input: the message says what, line says where (1-based).
class ParseError : public std::runtime_error {
 public:
  ParseError(long line, const std::string& what) : std::runtime_error(what), line_(line) {}
  long line() const noexcept { return line_; }

 private:
  long line_;
};

struct Record {
  // The record's text as it stands in the input, without its line ending.
  std::string_view raw;
  // The values of the fields, quotes removed and '""' undoubled.
  std::vector<std::string_view> fields;
  // The line on which the record starts, counting from 1.
  long line = 0;
  // The line ending that closed the record: "\n", "\r\n", "\r" or "" at the
  // end of the input.
  std::string_view ending;
};

class Reader {
 public:
  // initialBuffer is where reading starts; a record longer than it grows the
  // buffer up to maxRecord bytes, beyond which the input is rejected.
  explicit Reader(ByteSource& source, std::size_t initialBuffer = 1 << 16, std::size_t maxRecord = 1 << 24);

  // True when the input started with a UTF-8 byte-order mark.
  bool hadByteOrderMark();

  // The encoding a UTF-16 or UTF-32 byte-order mark at the very start names
  // ("UTF-16LE"...), or empty: such text is not read, only recognised, so
  // that a tool can say how to convert it.
  std::string_view wideByteOrderMark();

  // The likeliest delimiter of the first line among ',', ';', '\t' and '|':
  // the one that occurs most often outside quotes (',' when none does).
  // Reads ahead without consuming anything.
  char sniffDelimiter();

  void setDelimiter(char delimiter) { delimiter_ = delimiter; }
  char delimiter() const { return delimiter_; }

  // Reads the next record into record; false at the end of the input.  The
  // views stay valid until the next call.  Throws ParseError.
  bool next(Record& record);

  // Bytes consumed from the source so far (for progress reports).
  std::size_t bytesRead() const { return totalRead_; }

 private:
  enum class Scan { Complete, NeedMore };
  Scan scan(Record& record, std::size_t& end);
  bool fill();
  void start();

  ByteSource& source_;
  std::vector<char> buffer_;
  std::size_t maxRecord_;
  std::size_t begin_ = 0;  // first unconsumed byte
  std::size_t end_ = 0;    // one past the last byte read
  bool eof_ = false;
  bool started_ = false;
  bool bom_ = false;
  std::string_view wideBom_;
  char delimiter_ = ',';
  long line_ = 1;
  std::size_t totalRead_ = 0;
  std::string unescaped_;  // backing store of fields that held '""'
  // Where each field lies in the buffer while its record is being scanned;
  // the views are made only once the whole record is in, since reading more
  // may move the buffer.
  struct FieldSpan {
    std::size_t begin;
    std::size_t end;
    bool doubledQuotes;
  };
  std::vector<FieldSpan> spans_;
};

}  // namespace tamsel::csv

#endif
