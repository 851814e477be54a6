// SPDX-License-Identifier: MIT
#include "policy_cases.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TamselCharts.h"

namespace tamsel::testing {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::stringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

double Price(const std::string& word) {
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0') throw std::runtime_error("not a price: " + word);
  return value;
}

std::vector<double> Prices(const std::string& text) {
  std::vector<double> prices;
  for (const std::string& word : Words(text)) prices.push_back(Price(word));
  return prices;
}

int Policy(const std::string& word) {
  for (int policy = 0; TamselChart_MissingPolicyName(policy) != nullptr; ++policy)
    if (word == TamselChart_MissingPolicyName(policy)) return policy;
  throw std::runtime_error("no such policy: " + word);
}

int Kind(const std::string& word) {
  if (word == "missing") return TAMSELCHART_PRICE_MISSING;
  if (word == "infinite") return TAMSELCHART_PRICE_INFINITE;
  if (word == "out-of-range") return TAMSELCHART_PRICE_OUT_OF_RANGE;
  if (word == "no-previous") return TAMSELCHART_PRICE_NO_PREVIOUS;
  throw std::runtime_error("no such outcome: " + word);
}

}  // namespace

std::vector<PolicyCase> ReadPolicyCases(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::vector<PolicyCase> cases;
  for (std::string line; std::getline(file, line);) {
    if (Words(line).empty() || line[0] == '#') continue;
    const std::vector<std::string> fields = Split(line, '|');
    if (fields.size() != 4) throw std::runtime_error("not four fields: " + line);
    PolicyCase c{
        line, Policy(Words(fields[0]).at(0)), Prices(fields[1]), Prices(fields[2]), TAMSELCHART_PRICE_OK, 0, 0, {}, {}};
    const std::vector<std::string> outcome = Words(fields[3]);
    if (outcome.at(0) == "ok") {
      const std::vector<std::string> taken = Split(fields[3].substr(fields[3].find("ok") + 2), '/');
      for (double p : Prices(taken.at(0))) c.takenHigh.push_back(static_cast<float>(p));
      for (double p : Prices(taken.at(1))) c.takenLow.push_back(static_cast<float>(p));
    } else {
      c.kind = Kind(outcome.at(0));
      c.column = outcome.at(1) == "high" ? TAMSELCHART_COLUMN_HIGH : TAMSELCHART_COLUMN_LOW;
      c.bar = std::stoi(outcome.at(2));
    }
    cases.push_back(c);
  }
  return cases;
}

}  // namespace tamsel::testing
