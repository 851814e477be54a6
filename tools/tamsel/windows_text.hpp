// SPDX-License-Identifier: MIT
// Windows only: the tool's UTF-8 text to and from the system's UTF-16, and
// the system's error codes in the words the POSIX build uses.
#ifndef TAMSEL_TOOLS_WINDOWS_TEXT_HPP
#define TAMSEL_TOOLS_WINDOWS_TEXT_HPP

#include <string>

namespace tamsel::cli {

// Invalid UTF-8 becomes U+FFFD, as the system's own conversion makes it.
std::wstring wideFromUtf8(const std::string& text);
std::string utf8FromWide(const std::wstring& text);

// The message of a GetLastError() code: the POSIX build's words for the
// errors both systems know (so that "No such file or directory" reads the
// same everywhere), the system's own sentence otherwise.
std::string windowsErrorText(unsigned long error);

}  // namespace tamsel::cli

#endif
