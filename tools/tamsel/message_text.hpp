// SPDX-License-Identifier: MIT
// Text from inputs and command lines made safe to print in a message.
//
// Bytes from a user's file can hold anything: control characters and ANSI
// escapes that would repaint a terminal, NUL bytes that would cut a C string,
// invalid UTF-8, or a header line of megabytes.  Everything quoted in a
// message goes through here first.
#ifndef TAMSEL_TOOLS_MESSAGE_TEXT_HPP
#define TAMSEL_TOOLS_MESSAGE_TEXT_HPP

#include <cstddef>
#include <string>
#include <string_view>

namespace tamsel::cli {

// How many bytes of one quoted cell or name a message shows, and of a whole
// message.
inline constexpr std::size_t kQuotedLimit = 80;
inline constexpr std::size_t kMessageLimit = 2000;

// text with every control byte (C0, DEL, C1) and every byte that is not part
// of a valid UTF-8 sequence written as \xHH, and a backslash as \\; at most limit bytes of text are
// shown, followed by "... (N more bytes)" when some were left out.
std::string printable(std::string_view text, std::size_t limit = kQuotedLimit);

// A whole message, made of the tool's own words, names and parts that went
// through printable() already, made safe to print the same way, except that
// backslashes are left as they are: those of printable()'s escapes must not
// be escaped twice.
std::string printableMessage(std::string_view message, std::size_t limit = kMessageLimit);

}  // namespace tamsel::cli

#endif
