// SPDX-License-Identifier: MIT
#include "message_text.hpp"

#include <fmt/format.h>

namespace tamsel::cli {

namespace {

// The length of the valid UTF-8 sequence at the start of text, 0 if none.
std::size_t utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  // U+0080 to U+009F are control characters too.
  if (lead == 0xC2 && byte(1) <= 0x9F) return 0;
  return length;
}

std::string escaped(std::string_view text, std::size_t limit, bool escapeBackslash) {
  std::string shown;
  std::size_t i = 0;
  while (i < text.size() && i < limit) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\' && escapeBackslash) {  // so that a backslash in the text cannot pass for one of these escapes
      shown += "\\\\";
      ++i;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t length = c >= 0x80 ? utf8SequenceLength(text.substr(i)) : 0;
    if (length == 0) {
      shown += fmt::format("\\x{:02X}", c);
      ++i;
    } else {
      shown.append(text.substr(i, length));
      i += length;
    }
  }
  if (i < text.size()) shown += fmt::format("... ({} more bytes)", text.size() - i);
  return shown;
}

}  // namespace

std::string printable(std::string_view text, std::size_t limit) { return escaped(text, limit, true); }

std::string printableMessage(std::string_view message, std::size_t limit) { return escaped(message, limit, false); }

}  // namespace tamsel::cli
