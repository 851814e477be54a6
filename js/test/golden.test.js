// SPDX-License-Identifier: MIT
// Every path of the WebAssembly library reproduces the frozen golden outputs
// bit for bit: the all-in-one pass, the many-series call, the four single
// indicators and a stream pushed (and peeked) bar by bar.
import assert from "node:assert/strict";
import { createHash } from "node:crypto";
import { test } from "node:test";

import * as tc from "../src/index.js";
import { assertSameBits, COLUMNS, readGolden } from "./support/golden.js";

const golden = readGolden();
const total = (column) => golden.reduce((n, s) => n + s[column].length, 0);

test("the golden file is the one the native tests use", () => {
  assert.equal(golden.length, 60);
  assert.equal(total("cyclePeriod"), 16417);
});

test("indicators() reproduces every golden series", () => {
  for (const s of golden) {
    const result = tc.indicators(s.high, s.low, { missing: "nan" });
    for (const column of COLUMNS) assertSameBits(assert, result[column], s[column], `${s.name} ${column}`);
  }
});

test("indicatorsMany() reproduces every golden series, all in one call and beside poisons", () => {
  const inf = Infinity;
  const poison = { high: [NaN, inf, -inf, 0, 3e38, NaN], low: [NaN, -inf, inf, 0, -3e38, 1] };
  const all = tc.indicatorsMany([...golden, poison, { high: [], low: [] }], { missing: "nan" });
  assert.equal(all.length, golden.length + 2);
  golden.forEach((s, i) => {
    for (const column of COLUMNS) assertSameBits(assert, all[i][column], s[column], `${s.name} ${column}`);
  });
  assert.equal(all[golden.length + 1].cyclePeriod.length, 0);
  const alone = tc.indicators(poison.high, poison.low, { missing: "nan" });
  for (const column of COLUMNS) assertSameBits(assert, all[golden.length][column], alone[column], `poison ${column}`);
  assert.throws(() => tc.indicatorsMany([golden[0], poison]), (e) => e instanceof tc.PriceError && /^series\[1\]: high\[0\]/.test(e.message));
  assert.throws(() => tc.indicatorsMany("no"), TypeError);
  assert.throws(() => tc.indicatorsMany([null]), TypeError);
});

test("each single indicator reproduces every golden series", () => {
  for (const s of golden)
    for (const column of COLUMNS) assertSameBits(assert, tc[column](s.high, s.low, { missing: "nan" }), s[column], `${s.name} ${column}`);
});

test("a stream, peeked then pushed bar by bar, reproduces every golden series", () => {
  for (const s of golden) {
    const stream = new tc.Stream({ missing: "nan" });
    const pushed = Object.fromEntries(COLUMNS.map((c) => [c, new Float32Array(s.high.length)]));
    const peeked = Object.fromEntries(COLUMNS.map((c) => [c, new Float32Array(s.high.length)]));
    for (let i = 0; i < s.high.length; ++i) {
      const p = stream.peek(s.high[i], s.low[i]);
      const v = stream.push(s.high[i], s.low[i]);
      assert.equal(v.bar, i + 1);
      for (const c of COLUMNS) (pushed[c][i] = v[c]), (peeked[c][i] = p[c]);
    }
    stream.free();
    for (const c of COLUMNS) {
      assertSameBits(assert, pushed[c], s[c], `${s.name} ${c} pushed`);
      assertSameBits(assert, peeked[c], s[c], `${s.name} ${c} peeked`);
    }
  }
});

// The digest of all outputs, NaNs made one: the same number in any build of
// the package (the installed-package test checks it without the golden file).
export function outputDigest(compute) {
  const hash = createHash("sha256");
  for (const s of golden) {
    const result = compute(s);
    for (const c of COLUMNS) {
      const canonical = Float32Array.from(result[c], (v) => (Number.isNaN(v) ? NaN : v));
      hash.update(new Uint8Array(canonical.buffer));
    }
  }
  return hash.digest("hex");
}

test("the digest of the WebAssembly outputs equals the golden file's", () => {
  assert.equal(
    outputDigest((s) => tc.indicators(s.high, s.low, { missing: "nan" })),
    outputDigest((s) => s),
  );
});
