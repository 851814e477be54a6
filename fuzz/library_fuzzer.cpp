// libFuzzer entry point for the library: any bytes become a series (see
// DecodeBars) that every export, the all-in-one pass and the stream must
// handle identically and within each indicator's range.
#include <cstddef>
#include <cstdint>

#include "library_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tamsel::fuzz::CheckLibrary(tamsel::fuzz::DecodeBars(data, size));
  return 0;
}
