// SPDX-License-Identifier: MIT
#include "golden_file.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tamsel::testing {
namespace {

constexpr char kMagic[8] = {'T', 'S', 'G', 'O', 'L', 'D', '0', '1'};

std::uint32_t ReadU32(std::istream& in) {
  unsigned char b[4];
  if (!in.read(reinterpret_cast<char*>(b), 4)) throw std::runtime_error("golden file truncated");
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void WriteU32(std::ostream& out, std::uint32_t v) {
  const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  out.write(reinterpret_cast<const char*>(b), 4);
}

float ReadFloat(std::istream& in) {
  const std::uint32_t bits = ReadU32(in);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

void WriteFloat(std::ostream& out, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  WriteU32(out, bits);
}

}  // namespace

std::vector<GoldenSeries> ReadGoldenFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open golden file " + path);
  char magic[8];
  if (!in.read(magic, 8) || std::memcmp(magic, kMagic, 8) != 0) throw std::runtime_error("not a golden file: " + path);
  std::vector<GoldenSeries> all(ReadU32(in));
  for (GoldenSeries& s : all) {
    s.name.resize(ReadU32(in));
    in.read(s.name.data(), static_cast<std::streamsize>(s.name.size()));
    const std::uint32_t count = ReadU32(in);
    for (std::uint32_t i = 0; i < count; ++i) {
      s.high.push_back(ReadFloat(in));
      s.low.push_back(ReadFloat(in));
      s.cyclePeriod.push_back(ReadFloat(in));
      s.signalToNoiseRatio.push_back(ReadFloat(in));
      s.swingPosition.push_back(ReadFloat(in));
      s.trendVigor.push_back(ReadFloat(in));
    }
  }
  return all;
}

void WriteGoldenFile(const std::string& path, const std::vector<GoldenSeries>& series) {
  std::ofstream out(path, std::ios::binary);
  out.write(kMagic, 8);
  WriteU32(out, static_cast<std::uint32_t>(series.size()));
  for (const GoldenSeries& s : series) {
    WriteU32(out, static_cast<std::uint32_t>(s.name.size()));
    out.write(s.name.data(), static_cast<std::streamsize>(s.name.size()));
    WriteU32(out, static_cast<std::uint32_t>(s.high.size()));
    for (std::size_t i = 0; i < s.high.size(); ++i) {
      for (float f :
           {s.high[i], s.low[i], s.cyclePeriod[i], s.signalToNoiseRatio[i], s.swingPosition[i], s.trendVigor[i]})
        WriteFloat(out, f);
    }
  }
  if (!out) throw std::runtime_error("cannot write golden file " + path);
}

bool SameFloat(float a, float b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  std::uint32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return x == y;
}

}  // namespace tamsel::testing
