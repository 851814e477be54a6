// SPDX-License-Identifier: MIT
// The missing and warmup options, and the errors for bad arguments, on every
// entry point.
import assert from "node:assert/strict";
import { test } from "node:test";

import * as tc from "../src/index.js";
import { assertSameBits, COLUMNS, readGolden } from "./support/golden.js";

const base = readGolden().find((s) => s.high.length >= 300 && s.high.every(Number.isFinite));
const N = 200;
const high = Array.from(base.high.subarray(0, N));
const low = Array.from(base.low.subarray(0, N));
const plain = tc.indicators(high, low);

// The entry points, each returning the four series for (high, low, options).
const ENTRY_POINTS = {
  indicators: (h, l, o) => tc.indicators(h, l, o),
  singles: (h, l, o) => Object.fromEntries(COLUMNS.map((c) => [c, tc[c](h, l, o)])),
  stream: (h, l, o) => {
    const s = new tc.Stream(o);
    const out = Object.fromEntries(COLUMNS.map((c) => [c, new Float32Array(h.length)]));
    try {
      for (let i = 0; i < h.length; ++i) {
        const v = s.push(h[i], l[i]);
        for (const c of COLUMNS) out[c][i] = v[c];
      }
    } finally {
      s.free();
    }
    return out;
  },
  // Missing prices become NaN, the only missing value a Float32Array holds.
  "Float32Array input": (h, l, o) =>
    tc.indicators(Float32Array.from(h, (v) => v ?? NaN), Float32Array.from(l, (v) => v ?? NaN), o),
};

const withGap = (series, at, gap) => series.map((v, i) => (i === at ? gap : v));

// What each policy should give, from the plain library output.
const CASES = [
  { what: "defaults", options: undefined, expect: () => plain },
  {
    what: "warmup nan",
    options: { warmup: "nan" },
    expect: () => blank(plain, (c, i) => i < tc.WARMUP_BARS[c]),
  },
  { what: "warmup 30", options: { warmup: 30 }, expect: () => blank(plain, (_, i) => i < 30) },
  { what: "warmup 0", options: { warmup: 0 }, expect: () => plain },
  {
    what: "missing previous repeats the previous bar",
    options: { missing: "previous" },
    input: () => [withGap(high, 50, NaN), withGap(low, 50, null)],
    expect: () => tc.indicators(withGap(high, 50, high[49]), withGap(low, 50, low[49])),
  },
  {
    what: "missing nan passes NaN through",
    options: { missing: "nan" },
    input: () => [withGap(high, 50, undefined), low],
    expect: () => tc.indicators(Float32Array.from(withGap(high, 50, NaN)), Float32Array.from(low), { missing: "nan" }),
  },
  {
    what: "missing nan passes infinities, and prices beyond a 32-bit float as infinities",
    options: { missing: "nan" },
    input: () => [withGap(high, 60, 1e39), withGap(low, 70, -Infinity)],
    expect: () =>
      tc.indicators(Float32Array.from(withGap(high, 60, Infinity)), Float32Array.from(withGap(low, 70, -Infinity)), {
        missing: "nan",
      }),
  },
];

function blank(result, isWarmup) {
  return Object.fromEntries(COLUMNS.map((c) => [c, result[c].map((v, i) => (isWarmup(c, i) ? NaN : v))]));
}

for (const [entry, run] of Object.entries(ENTRY_POINTS))
  for (const { what, options, input, expect } of CASES)
    test(`${entry}: ${what}`, () => {
      const [h, l] = input ? input() : [high, low];
      const got = run(h, l, options);
      const want = expect();
      for (const c of COLUMNS) assertSameBits(assert, got[c], want[c], c);
    });

test("a caller's Float32Array is never written to", () => {
  const h = Float32Array.from(withGap(high, 10, NaN));
  tc.indicators(h, Float32Array.from(low), { missing: "previous" });
  assert.ok(Number.isNaN(h[10]));
});

// Every bad argument and the error it gives, on every entry point.  A
// refused price is a PriceError (a RangeError) naming the array and index,
// the library's description and the option that lets it through.
const ERRORS = [
  [() => [withGap(high, 7, NaN), low, undefined], tc.PriceError, /high\[7\] = NaN: missing price; .*missing: "previous"/],
  [() => [high, withGap(low, 3, null), { missing: "error" }], tc.PriceError, /low\[3\] = (null|NaN): missing price;/],
  [() => [withGap(high, 0, NaN), low, { missing: "previous" }], tc.PriceError, /high\[0\] = NaN: missing price on the first bar, which has no previous bar/],
  [() => [withGap(high, 5, "12.5"), low, undefined], TypeError, /high\[5\] must be a number, got the string "12.5"/],
  [() => [withGap(high, 5, 1e39), low, undefined], tc.PriceError, /high\[5\] = 1e\+39: price beyond the range of a 32-bit float .*missing: "nan"/],
  [() => [withGap(high, 5, Infinity), low, undefined], tc.PriceError, /high\[5\] = Infinity: infinite price; .*missing: "nan"/],
  [() => [high, withGap(low, 9, -Infinity), { missing: "previous" }], tc.PriceError, /low\[9\] = -Infinity: infinite price/],
  [() => [high, low, { missing: "prev" }], RangeError, /missing must be "error", "previous" or "nan", got "prev"/],
  [() => [high, low, { missing: 1 }], TypeError, /missing must be/],
  [() => [high, low, { warmup: -1 }], RangeError, /whole number of at least 0, got -1/],
  [() => [high, low, { warmup: 2.5 }], RangeError, /whole number/],
  [() => [high, low, { warmup: "none" }], RangeError, /warmup must be "values", "nan" or a number of bars/],
  [() => [high, low, { warmup: true }], TypeError, /warmup must be/],
  [() => [high, low, { mising: "nan" }], TypeError, /unknown option "mising"/],
  [() => [high, low, "nan"], TypeError, /options must be an object/],
];
const BATCH_ERRORS = [
  [() => ["1,2,3", low], TypeError, /high must be an array or a typed array of prices, got the string/],
  [() => [high, new BigInt64Array(N)], TypeError, /low must hold numbers, got a BigInt64Array/],
  [() => [high, low.slice(1)], RangeError, /high and low must have equal lengths, got 200 and 199/],
];

for (const [entry, run] of Object.entries(ENTRY_POINTS)) {
  test(`${entry}: bad arguments throw TypeError or RangeError with a clear message`, () => {
    for (const [args, type, message] of entry === "stream" ? ERRORS : [...ERRORS, ...BATCH_ERRORS]) {
      const [h, l, o] = args();
      const representable = (v) => v == null || (typeof v === "number" && (!Number.isFinite(v) || Math.abs(v) < 3e38));
      if (entry === "Float32Array input" && ![h, l].every((x) => Array.isArray(x) && x.every(representable))) continue;
      // The stream names the method and the bar number (the index plus one).
      const streamMessage = new RegExp(
        message.source.replace(/(high|low)\\\[(\d+)\\\]/, (_, column, index) => `push\\(\\): ${column} of bar ${Number(index) + 1}`),
      );
      assert.throws(() => run(h, l, o), (error) => {
        assert.ok(error instanceof type, `${entry} ${message}: ${error.name} is no ${type.name}`);
        assert.match(error.message, entry === "stream" ? streamMessage : message);
        return true;
      });
    }
  });
}

test("no bars give empty series", () => {
  const result = tc.indicators([], []);
  for (const c of COLUMNS) assert.deepEqual(result[c], new Float32Array(0));
});

// A series as long as the given count without the memory: an array (a Proxy
// of one is still an array) whose length alone is huge.
const hugeArray = (length) => new Proxy([], { get: (target, key) => (key === "length" ? length : target[key]) });

test("a call too large for the module is refused before anything is allocated, and a live stream is untouched", () => {
  const stream = new tc.Stream();
  const half = 120;
  for (let i = 0; i < half; ++i) stream.push(high[i], low[i]);
  const memoryBefore = tc.moduleMemoryBytes();
  // 178,956,971 bars: 24 bytes each once wrapped at 2^32 bytes, 8 bytes.
  for (const count of [178_956_971, tc.MAX_BARS + 1, 2 ** 31, 2 ** 32 + 5]) {
    const [h, l] = [hugeArray(count), hugeArray(count)];
    for (const call of [() => tc.indicators(h, l), () => tc.cyclePeriod(h, l)])
      assert.throws(call, { name: "RangeError", message: new RegExp(`${count} bars, more than the ${tc.MAX_BARS} one call takes`) });
  }
  assert.equal(tc.moduleMemoryBytes(), memoryBefore);
  const rest = Array.from({ length: N - half }, (_, i) => stream.push(high[half + i], low[half + i]));
  for (const c of COLUMNS)
    assertSameBits(assert, Float32Array.from(rest, (v) => v[c]), plain[c].subarray(half), `the stream after the refused call: ${c}`);
});

test("the module's allocation refuses a size past its memory instead of wrapping it", async () => {
  const { allocate } = await import("../src/module.js");
  for (const bytes of [178_956_971 * 24, 2 ** 31, 2 ** 32 + 8, NaN, -1])
    assert.throws(() => allocate(bytes, "the test"), { name: "RangeError", message: /more than the module's memory/ });
  // The documented limit fits: all four indicators of MAX_BARS bars (16 bytes a bar).
  assert.ok(tc.MAX_BARS * 16 < 2 ** 31 - 2 ** 26);
});
