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
  [() => [high, low, new Map([["warmup", "nan"]])], TypeError, /options must be an object .*got an object \(Map\)/],
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

// ---- what a call reads -------------------------------------------------------

// An array whose length is whatever `length` says (a Proxy of an array is
// still an array), its prices those of the array inside.
const claiming = (values, length) => new Proxy(values, { get: (target, key) => (key === "length" ? length : target[key]) });

test("a series' length must be a whole number of bars, whatever a Proxy claims", () => {
  for (const [length, type, message] of [
    ["5", TypeError, /high\.length must be a number of bars, got the string "5"/],
    [2.5, RangeError, /high\.length must be a whole number of bars, got 2\.5/],
    [-1, RangeError, /high\.length must be a whole number of bars, got -1/],
    [NaN, RangeError, /high\.length must be a whole number of bars, got NaN/],
  ]) {
    const [h, l] = [claiming(high.slice(0, 5), length), claiming(low.slice(0, 5), length)];
    for (const call of [() => tc.indicators(h, l), () => tc.trendVigor(h, l), () => tc.indicatorsMany([{ high: h, low: l }])])
      assert.throws(call, (error) => error instanceof type && message.test(error.message), `length ${String(length)}`);
  }
});

test("a typed array is read as the engine holds it, whatever its own properties say", () => {
  const want = tc.indicators(high.slice(0, 10), low.slice(0, 10));
  // Another call first, so that memory left over from it cannot pass for the answer.
  tc.indicators(high.map((v) => v * 3), low.map((v) => v * 3));
  const lying = (values) => {
    const typed = Float64Array.from(values.slice(0, 10));
    Object.defineProperty(typed, "length", { value: N });
    Object.defineProperty(typed, "subarray", { value: () => new Float64Array(0) });
    return typed;
  };
  class Elsewhere extends Float32Array {
    static get [Symbol.species]() {
      return Float32Array.bind(null, 0);
    }
  }
  for (const [h, l] of [
    [lying(high), lying(low)],
    [Elsewhere.from(high.slice(0, 10)), Elsewhere.from(low.slice(0, 10))],
  ]) {
    const got = tc.indicators(h, l);
    for (const c of COLUMNS) assertSameBits(assert, got[c], want[c], c);
  }
});

test("typed arrays of another realm are told apart as those of this one", async () => {
  const { runInNewContext } = await import("node:vm");
  const there = (code) => runInNewContext(code);
  assert.throws(() => tc.indicators(high.slice(0, 3), there("new BigInt64Array(3)")), {
    name: "TypeError",
    message: /low must hold numbers, got a BigInt64Array/,
  });
  assert.throws(() => tc.indicators(there("new DataView(new ArrayBuffer(24))"), low.slice(0, 3)), {
    name: "TypeError",
    message: /high must be an array or a typed array of prices, got an object \(DataView\)/,
  });
  const got = tc.indicators(there("Float64Array").from(high), there("Float32Array").from(low));
  for (const c of COLUMNS) assertSameBits(assert, got[c], plain[c], c);
});

test("a series that changes length while the call reads it is refused, not read in part", { skip: typeof ArrayBuffer.prototype.resize !== "function" }, () => {
  // More bars than one chunk of the conversion, so that the shrink happens
  // between the chunks of the typed array.
  const count = 200_000;
  const long = (values) => Float64Array.from({ length: count }, (_, i) => values[i % N]);
  const buffer = new ArrayBuffer(count * 8, { maxByteLength: count * 8 });
  const h = new Float64Array(buffer);
  h.set(long(high));
  const l = Array.from(long(low));
  Object.defineProperty(l, 5, { get: () => (buffer.resize(80_000 * 8), low[5]) });
  assert.throws(() => tc.indicators(h, l, { missing: "nan" }), {
    name: "RangeError",
    message: /high changed length during the call, from 200000 to 80000 bars/,
  });
  // A plain array grown by a getter of its own.
  const grown = high.slice(0, 50);
  Object.defineProperty(grown, 10, { get: () => (grown.push(...high.slice(50)), high[10]) });
  assert.throws(() => tc.indicators(grown, low.slice(0, 50)), {
    name: "RangeError",
    message: /^high changed length during the call, from 50 to 200 bars/,
  });
  const regrown = high.slice(0, 50);
  Object.defineProperty(regrown, 10, { get: () => (regrown.push(...high.slice(50)), high[10]) });
  assert.throws(() => tc.indicatorsMany([{ high, low }, { high: regrown, low: low.slice(0, 50) }]), {
    name: "RangeError",
    message: /^series\[1\]: high changed length during the call, from 50 to 200 bars/,
  });
});

test("a price getter that calls the package again, growing its memory, changes nothing of the outer call", () => {
  const h = high.slice();
  const before = tc.moduleMemoryBytes();
  const big = new Float64Array((before / 8) | 0).fill(100);
  Object.defineProperty(h, 100, { get: () => (tc.cyclePeriod(big, big), tc.indicators(low, high), high[100]) });
  for (const got of [tc.indicators(h, low), tc.indicatorsMany([{ high: h, low }])[0]])
    for (const c of COLUMNS) assertSameBits(assert, got[c], plain[c], c);
  assert.ok(tc.moduleMemoryBytes() > before, "the nested call was meant to grow the module's memory");
});

// ---- many series -------------------------------------------------------------

test("indicatorsMany: every bad argument names its series", () => {
  const good = { high, low };
  for (const [bad, type, message] of [
    [{ high: withGap(high, 5, "x"), low }, TypeError, /^series\[1\]: high\[5\] must be a number, got the string "x"/],
    [{ high, low: low.slice(1) }, RangeError, /^series\[1\]: high and low must have equal lengths, got 200 and 199/],
    [{ high: "1,2", low }, TypeError, /^series\[1\]: high must be an array or a typed array of prices, got the string "1,2"/],
    [{ high, low: new BigUint64Array(N) }, TypeError, /^series\[1\]: low must hold numbers, got a BigUint64Array/],
    [{ high: withGap(high, 7, NaN), low }, tc.PriceError, /^series\[1\]: high\[7\] = NaN: missing price/],
    [{ low }, TypeError, /^series\[1\]: high must be an array or a typed array of prices, got undefined$/],
    [7, TypeError, /^series\[1\] must be a \{ high, low \} object, got number 7$/],
  ])
    assert.throws(() => tc.indicatorsMany([good, bad, good]), (error) => error instanceof type && message.test(error.message), message.source);
});

test("indicatorsMany: a hole in the list of series is refused, not computed from an unwritten entry", () => {
  const holed = [{ high, low }, , { high, low }];
  assert.throws(() => tc.indicatorsMany(holed), { name: "TypeError", message: /^series\[1\] must be a \{ high, low \} object, got undefined$/ });
  const filled = tc.indicatorsMany([{ high, low }, { high: [], low: [] }, { high, low }]);
  for (const c of COLUMNS) assertSameBits(assert, filled[2][c], plain[c], c);
});

test("indicatorsMany: each series' arrays are taken once, whatever its getters answer later", () => {
  // The first look sees 10 bars, every later one the whole 200.
  let looks = 0;
  const shifting = {
    get high() {
      return ++looks > 1 ? high : high.slice(0, 10);
    },
    low: low.slice(0, 10),
  };
  const short = tc.indicators(high.slice(0, 10), low.slice(0, 10));
  const [got] = tc.indicatorsMany([shifting]);
  for (const c of COLUMNS) assertSameBits(assert, got[c], short[c], c);
  // A typed array's own length is not its length here either.
  const typed = Float64Array.from(high.slice(0, 10));
  Object.defineProperty(typed, "length", { value: N });
  assertSameBits(assert, tc.indicatorsMany([{ high: typed, low: low.slice(0, 10) }])[0].trendVigor, short.trendVigor, "own length");
  // And a list of series that is a Proxy claiming more series than it has.
  assert.throws(() => tc.indicatorsMany(claiming([{ high, low }], 1.5)), { name: "RangeError", message: /series\.length must be a whole number/ });
});
