// SPDX-License-Identifier: MIT
// The stream against the batch functions, and its life cycle.
import assert from "node:assert/strict";
import { test } from "node:test";

import * as tc from "../src/index.js";
import { assertSameBits, COLUMNS, readGolden } from "./support/golden.js";

const golden = readGolden();
const longest = golden.reduce((a, b) => (b.high.length > a.high.length ? b : a));
const finite = (s) => s.high.every(Number.isFinite) && s.low.every(Number.isFinite);

function pushAll(stream, high, low, from = 0, to = high.length) {
  const out = Object.fromEntries(COLUMNS.map((c) => [c, new Float32Array(to - from)]));
  for (let i = from; i < to; ++i) {
    const v = stream.push(high[i], low[i]);
    for (const c of COLUMNS) out[c][i - from] = v[c];
  }
  return out;
}

test("stream equals batch under every option, on every finite golden series", () => {
  for (const options of [{}, { warmup: "nan" }, { warmup: 100 }, { missing: "previous", warmup: 0 }])
    for (const s of golden.filter(finite)) {
      const batch = tc.indicators(s.high, s.low, options);
      const stream = new tc.Stream(options);
      const pushed = pushAll(stream, s.high, s.low);
      stream.free();
      for (const c of COLUMNS) assertSameBits(assert, pushed[c], batch[c], `${s.name} ${c} ${JSON.stringify(options)}`);
    }
});

test("a clone continues exactly as the original, and leaves it untouched", () => {
  const { high, low } = longest;
  const half = Math.floor(high.length / 2);
  const original = new tc.Stream();
  pushAll(original, high, low, 0, half);
  const copy = original.clone();
  assert.equal(copy.bars, half);
  const fromCopy = pushAll(copy, high, low, half);
  const fromOriginal = pushAll(original, high, low, half);
  for (const c of COLUMNS) {
    assertSameBits(assert, fromCopy[c], fromOriginal[c], `clone ${c}`);
    assertSameBits(assert, fromCopy[c], longest[c].subarray(half), `clone against golden ${c}`);
  }
  copy.free();
  original.free();
});

test("peek commits nothing; reset starts over at bar 1", () => {
  const { high, low } = longest;
  const stream = new tc.Stream();
  pushAll(stream, high, low, 0, 100);
  const peeked = stream.peek(high[100] * 2, low[100] * 2);
  assert.equal(peeked.bar, 101);
  assert.equal(stream.bars, 100);
  const pushed = stream.push(high[100], low[100]);
  for (const c of COLUMNS) assert.ok(Object.is(pushed[c], longest[c][100]), c);
  stream.reset();
  assert.equal(stream.bars, 0);
  const again = pushAll(stream, high, low, 0, 60);
  for (const c of COLUMNS) assertSameBits(assert, again[c], longest[c].subarray(0, 60), `after reset ${c}`);
  stream.free();
});

test("a freed stream refuses every call but free", () => {
  const stream = new tc.Stream();
  stream.push(101, 99);
  stream.free();
  assert.equal(stream.alive, false);
  for (const call of [() => stream.push(1, 1), () => stream.peek(1, 1), () => stream.clone(), () => stream.reset()])
    assert.throws(call, { name: "Error", message: /has been freed/ });
  stream.free(); // a second free does nothing
});

test("many streams created and dropped do not exhaust the module's memory", () => {
  // Each stream holds about 12 KiB; 20,000 of them freed in turn reuse it.
  for (let i = 0; i < 20000; ++i) new tc.Stream().free();
  const survivors = Array.from({ length: 100 }, () => new tc.Stream());
  for (const s of survivors) s.push(101, 99);
  for (const s of survivors) s.free();
});

test("a million streams dropped without free() in one synchronous loop keep the module's memory bounded", () => {
  // No finaliser can run inside a synchronous loop, so a stream whose state
  // lived in module memory until collected would need 12 GB here.
  const before = tc.moduleMemoryBytes();
  let last = null;
  for (let i = 0; i < 1_000_000; ++i) {
    const stream = new tc.Stream();
    last = stream.push(101 + (i % 7), 99);
  }
  assert.equal(last.bar, 1);
  assert.ok(tc.moduleMemoryBytes() <= Math.max(before, 16 << 20), `module memory grew to ${tc.moduleMemoryBytes()} bytes`);
});

test("streams used in turn each continue as if alone, clones and resets included", () => {
  const { high, low } = longest;
  const streams = Array.from({ length: 3 }, () => new tc.Stream());
  const each = Array.from({ length: 3 }, () => Object.fromEntries(COLUMNS.map((c) => [c, new Float32Array(200)])));
  let copy = null;
  for (let i = 0; i < 200; ++i) {
    streams.forEach((s, k) => {
      const v = s.push(high[i], low[i]);
      for (const c of COLUMNS) each[k][c][i] = v[c];
    });
    if (i === 99) copy = streams[1].clone(); // taken while another stream holds the slot
    if (i === 49) streams[2].reset();
  }
  const afterReset = tc.indicators(high.subarray(50, 200), low.subarray(50, 200));
  for (const c of COLUMNS) {
    assertSameBits(assert, each[0][c], longest[c].subarray(0, 200), `first ${c}`);
    assertSameBits(assert, each[1][c], longest[c].subarray(0, 200), `second ${c}`);
    assertSameBits(assert, each[2][c].subarray(50), afterReset[c], `reset ${c}`);
  }
  assert.equal(copy.bars, 100);
  const fromCopy = pushAll(copy, high, low, 100, 200);
  for (const c of COLUMNS) assertSameBits(assert, fromCopy[c], longest[c].subarray(100, 200), `clone ${c}`);
});

test("a stream is disposable where the runtime has Symbol.dispose", { skip: typeof Symbol.dispose !== "symbol" }, () => {
  const stream = new tc.Stream();
  stream[Symbol.dispose]();
  assert.equal(stream.alive, false);
});
