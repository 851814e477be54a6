// SPDX-License-Identifier: MIT
// Numbers carried as an unevaluated sum of several doubles, for the last and
// rarest step of the correctly rounded functions: the arguments whose exact
// result lies so close to a rounding midpoint that a double-double (about 106
// bits) cannot tell on which side.
//
// Every step is an exact transformation (TwoSum, TwoProduct) except the final
// truncation to the leading terms, so an Expansion<3> carries about 159 bits.
// Speed does not matter here; simplicity and exactness do.
#pragma once

namespace tamsel::math::expansion {

struct Pair {
  double hi;
  double lo;
};

constexpr double Magnitude(double x) { return x < 0 ? -x : x; }

constexpr Pair TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// Dekker's product: exact as long as nothing overflows or underflows.
constexpr Pair TwoProduct(double a, double b) {
  const double p = a * b;
  const double ta = 134217729.0 * a;  // 2^27 + 1
  const double ah = ta - (ta - a);
  const double al = a - ah;
  const double tb = 134217729.0 * b;
  const double bh = tb - (tb - b);
  const double bl = b - bh;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

template <int N>
struct Expansion {
  double term[N];  // by decreasing magnitude, each far below the one before
};

// The exact sum of terms[0..M), rounded to its leading N terms.  Sorting by
// magnitude and replacing neighbours by their TwoSum leaves the sum unchanged;
// repeated until nothing moves, the terms no longer overlap, and the leading
// N carry the sum to about 2^(-53 N) of its size, however much cancelled.
template <int N, int M>
constexpr Expansion<N> Normalize(double (&terms)[M]) {
  for (int pass = 0; pass < 2 * M + 4; ++pass) {
    for (int i = 1; i < M; ++i) {
      const double v = terms[i];
      int j = i;
      for (; j > 0 && Magnitude(terms[j - 1]) < Magnitude(v); --j) terms[j] = terms[j - 1];
      terms[j] = v;
    }
    bool moved = false;
    for (int i = M - 1; i >= 1; --i) {
      const Pair s = TwoSum(terms[i - 1], terms[i]);
      moved = moved || s.hi != terms[i - 1] || s.lo != terms[i];
      terms[i - 1] = s.hi;
      terms[i] = s.lo;
    }
    if (!moved) break;
  }
  Expansion<N> e{};
  for (int i = 0; i < N && i < M; ++i) e.term[i] = terms[i];
  return e;
}

template <int N>
constexpr Expansion<N> FromDouble(double x) {
  Expansion<N> e{};
  e.term[0] = x;
  return e;
}

template <int N>
constexpr Expansion<N> Negate(Expansion<N> a) {
  for (double& t : a.term) t = -t;
  return a;
}

template <int N>
constexpr Expansion<N> Add(const Expansion<N>& a, const Expansion<N>& b) {
  double terms[2 * N] = {};
  for (int i = 0; i < N; ++i) {
    terms[i] = a.term[i];
    terms[N + i] = b.term[i];
  }
  return Normalize<N>(terms);
}

// The products of term pairs that reach the first N + 1 orders exactly; the
// orders below are far under the truncation.
template <int N>
constexpr Expansion<N> Multiply(const Expansion<N>& a, const Expansion<N>& b) {
  double terms[(N + 1) * (N + 2)] = {};
  int count = 0;
  for (int i = 0; i < N; ++i) {
    for (int j = 0; i + j <= N && j < N; ++j) {
      if (i + j < N) {
        const Pair p = TwoProduct(a.term[i], b.term[j]);
        terms[count++] = p.hi;
        terms[count++] = p.lo;
      } else {
        terms[count++] = a.term[i] * b.term[j];
      }
    }
  }
  return Normalize<N>(terms);
}

template <int N>
constexpr Expansion<N> MultiplyByDouble(const Expansion<N>& a, double d) {
  double terms[2 * N] = {};
  for (int i = 0; i < N; ++i) {
    const Pair p = TwoProduct(a.term[i], d);
    terms[2 * i] = p.hi;
    terms[2 * i + 1] = p.lo;
  }
  return Normalize<N>(terms);
}

// Long division, one double of quotient at a time, each step exact but for
// the truncation of the remainder.
template <int N>
constexpr Expansion<N> Divide(const Expansion<N>& a, const Expansion<N>& b) {
  double quotient[N + 1] = {};
  Expansion<N> remainder = a;
  for (int i = 0; i <= N; ++i) {
    quotient[i] = remainder.term[0] / b.term[0];
    remainder = Add(remainder, Negate(MultiplyByDouble(b, quotient[i])));
  }
  return Normalize<N>(quotient);
}

// The double nearest the expansion's value, ties to even.  The leading two
// terms decide, unless their sum is exactly a midpoint between two doubles:
// then the sign of the first non-zero term after them does.
template <int N>
constexpr double RoundToDouble(const Expansion<N>& a) {
  static_assert(N >= 2);
  const Pair sum = TwoSum(a.term[0], a.term[1]);
  double tail = 0;
  for (int i = 2; i < N && tail == 0; ++i) tail = a.term[i];
  const bool midpoint = sum.lo != 0 && TwoSum(sum.hi, 2 * sum.lo).lo == 0;
  if (midpoint && tail != 0 && (tail > 0) == (sum.lo > 0)) return sum.hi + 2 * sum.lo;
  return sum.hi;
}

}  // namespace tamsel::math::expansion
