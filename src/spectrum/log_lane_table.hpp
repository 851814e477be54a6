// SPDX-License-Identifier: MIT
// The table of the spectrum kernels' vectorized logarithm (log_lanes.inc),
// computed once, at compile time, by the library's careful logarithm
// (portable_math.cpp).
//
// An argument is written 2^k z with z in [0.6875, 1.375); the top 8 bits of
// z's significand past that offset pick one of 256 intervals (1/512 wide
// below 1, 1/256 above).  Each has an inverse c of its middle with at most
// 10 significant bits (a multiple of 1/512), so that z c - 1 can be formed
// exactly, and -log(c) as a pair of doubles.  The two intervals next to 1
// use c = 1, so that near 1 nothing cancels.
//
// The values are kept entry by entry, with -log(c) split at 2^-42 so that
// a leading part on that grid adds exactly to k log 2 and z c - 1.  That
// leading part, below 1/2 in magnitude, has its 12 lowest significand bits
// zero, and c is 512 times a whole number below 1024: the entry's first
// double carries both, c's number in those low bits, so that a wide vector
// gathers two values per lane instead of three, and a two-lane one loads an
// entry with one 16-byte load per lane.
#pragma once

#include <cstdint>

namespace tamsel::math {

inline constexpr int kLogLaneTableSize = 256;
inline constexpr std::uint64_t kLogLaneOffset = 0x3FE6000000000000ULL;  // the bits of 0.6875
inline constexpr int kLogLaneIndexShift = 44;                           // 52 - 8 bits of index

struct LogLaneEntry {
  // The bits of -log(c) rounded to a multiple of 2^-42, with 512 c in the
  // low kLogLaneInverseBits (whose bits there are zero).
  std::uint64_t LogHighAndInverse;
  double LogLow;  // -log(c) less that leading part
};
inline constexpr int kLogLaneInverseBits = 12;
inline constexpr std::uint64_t kLogLaneInverseMask = (std::uint64_t{1} << kLogLaneInverseBits) - 1;

// The bit patterns the vector quick way works with, each repeated for the
// widest vector.  A kernel sees only the table's declaration, so it reads
// them from memory, as operands, where it would otherwise build each 64-bit
// pattern in a register (three instructions) on every call.
enum LogLaneConstant : int {
  kNegatedOffset,   // adds 2^63 less the offset's bits, modulo 2^64
  kExponentField,   // the sign and exponent bits
  kSignBit,         // 2^63
  kTwoTo52Bits,     // the bits of 2^52
  kInfinityBits,    // the bits of +inf
  kNormalLimit,     // -2^53, the test of a positive normal number
  kHeadBits,        // the sign, the exponent and the top 20 significand bits
  kLooseBoundBits,  // the bits of 2^-66
  kInverseField,    // kLogLaneInverseMask: the entry's bits holding 512 c
  kTwoTo43Bits,     // the bits of 2^43, whose last place is 1/512
  kLogLaneConstants
};
inline constexpr int kLogLaneConstantLanes = 8;

struct LogLaneTable {
  alignas(64) LogLaneEntry Entry[kLogLaneTableSize];
  alignas(64) std::uint64_t Constant[kLogLaneConstants][kLogLaneConstantLanes];
};

extern const LogLaneTable kLogLaneTable;

}  // namespace tamsel::math
