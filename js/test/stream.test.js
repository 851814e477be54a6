// SPDX-License-Identifier: MIT
// The stream against the batch functions, and its life cycle.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
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
  // A bar's values are its number and the library's indicators, in the
  // library's order, and nothing else.
  assert.deepEqual(Object.keys(pushed), ["bar", ...tc.INDICATORS]);
  assert.deepEqual(Object.keys(peeked), ["bar", ...tc.INDICATORS]);
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

// ---- snapshots ---------------------------------------------------------------

const SNAPSHOT_V1 = new URL("../../tests/data/snapshot-format-1.bin", import.meta.url);
const walkLong = golden.find((s) => s.name === "walk_long");

test("a stream loaded from its snapshot after any of several bars goes on as the one never saved", () => {
  for (const s of [walkLong, ...golden.filter((g) => g !== walkLong && g.high.length <= 300).slice(0, 4)]) {
    const n = s.high.length;
    const never = new tc.Stream({ missing: "nan" });
    const expected = pushAll(never, s.high, s.low);
    for (const k of [0, 1, 2, 13, 14, 50, 51, Math.floor(n / 2), n - 1, n]) {
      if (k > n) continue;
      const original = new tc.Stream({ missing: "nan" });
      pushAll(original, s.high, s.low, 0, k);
      // Another stream in the module's slot meanwhile must not matter.
      new tc.Stream().push(1, 1);
      const resumed = tc.Stream.load(original.save());
      assert.equal(resumed.bars, k, `${s.name} after ${k}`);
      assert.equal(resumed.missing, "nan");
      const rest = pushAll(resumed, s.high, s.low, k);
      for (const c of COLUMNS) assertSameBits(assert, rest[c], expected[c].subarray(k), `${s.name} ${c} resumed after ${k}`);
      // The original is untouched by its save and goes on too.
      if (k < n) assert.equal(original.push(s.high[k], s.low[k]).cyclePeriod, expected.cyclePeriod[k]);
    }
  }
});

test("the committed first-format snapshot loads and continues walk_long to the golden values", () => {
  const bytes = new Uint8Array(readFileSync(SNAPSHOT_V1));
  const resumed = tc.Stream.load(bytes);
  assert.equal(resumed.bars, 1000);
  const rest = pushAll(resumed, walkLong.high, walkLong.low, 1000);
  for (const c of COLUMNS) assertSameBits(assert, rest[c], walkLong[c].subarray(1000), `walk_long ${c} from the committed snapshot`);
});

test("WebAssembly saves the very bytes the native library wrote", () => {
  const native = new Uint8Array(readFileSync(SNAPSHOT_V1));
  const stream = new tc.Stream({ missing: tc.Stream.load(native).missing });
  pushAll(stream, walkLong.high, walkLong.low, 0, 1000);
  const saved = stream.save();
  assert.ok(saved instanceof Uint8Array);
  assert.equal(saved.length, native.length);
  assert.ok(Buffer.from(saved).equals(Buffer.from(native)), "the saved bytes differ from tests/data/snapshot-format-1.bin");
  // Saving twice, and saving a loaded stream, give the same bytes again.
  assert.ok(Buffer.from(stream.save()).equals(Buffer.from(native)));
  assert.ok(Buffer.from(tc.Stream.load(native).save()).equals(Buffer.from(native)));
});

test("the policy, remembered prices and warm-up option survive a snapshot", () => {
  const stream = new tc.Stream({ missing: "previous" });
  stream.push(10, 9);
  stream.push(11, 10);
  const resumed = tc.Stream.load(stream.save(), { warmup: "nan" });
  assert.equal(resumed.missing, "previous");
  // "previous" repeats the saved stream's last prices, as the original does.
  const a = resumed.push(null, null);
  const b = stream.push(11, 10);
  assert.equal(a.bar, 3);
  assert.ok(Number.isNaN(a.cyclePeriod), "warmup: nan blanks the start-up bars of the loaded stream");
  const plain = tc.Stream.load(new tc.Stream({ missing: "previous" }).save());
  assert.throws(() => plain.push(null, 1), (e) => e instanceof tc.PriceError && e.kind === "no-previous");
  assert.ok(b.bar === 3);
  assert.throws(() => tc.Stream.load(stream.save(), { missing: "nan" }), TypeError);
  // A fresh stream's snapshot is a fresh stream.
  const fresh = tc.Stream.load(new tc.Stream().save());
  assert.equal(fresh.bars, 0);
  assert.equal(fresh.missing, "error");
  // A clone of a loaded stream, and a freed stream's save.
  assert.equal(resumed.clone().push(12, 11).bar, 4);
  const freed = new tc.Stream();
  freed.free();
  assert.throws(() => freed.save(), /freed/);
});

test("a snapshot is the bytes its view covers, read as the engine holds the view, from any realm or kind of buffer", async () => {
  const { runInNewContext } = await import("node:vm");
  const stream = new tc.Stream();
  stream.push(10, 9);
  const saved = stream.save();
  // The snapshot sits 100 bytes into a larger buffer; the view given covers
  // only the 50 bytes before it, whatever its own properties claim.
  const around = new Uint8Array(saved.length + 100);
  around.set(saved, 100);
  const claimsSnapshot = (view) =>
    Object.defineProperties(view, { byteOffset: { value: 100 }, byteLength: { value: saved.length }, length: { value: saved.length } });
  for (const view of [claimsSnapshot(around.subarray(0, 50)), claimsSnapshot(new DataView(around.buffer, 0, 50))])
    assert.throws(() => tc.Stream.load(view), { name: "SnapshotError", code: "SNAPSHOT_NOT_A_SNAPSHOT" });
  assert.equal(tc.Stream.load(around.subarray(100)).bars, 1);
  assert.equal(tc.Stream.load(new DataView(around.buffer, 100)).bars, 1);
  // An ArrayBuffer of another realm, and a SharedArrayBuffer (whose views were taken already).
  assert.equal(tc.Stream.load(runInNewContext("new Uint8Array(bytes).buffer", { bytes: Array.from(saved) })).bars, 1);
  const shared = new SharedArrayBuffer(saved.length);
  new Uint8Array(shared).set(saved);
  assert.equal(tc.Stream.load(shared).bars, 1);
  assert.equal(tc.Stream.load(new Uint8Array(shared)).bars, 1);
  // Something shaped like a view is not one.
  assert.throws(() => tc.Stream.load({ buffer: saved.buffer, byteOffset: 0, byteLength: saved.length }), TypeError);
});

test("Stream.load checks its options as every other call does", () => {
  const saved = new tc.Stream().save();
  for (const [options, type, message] of [
    [5, TypeError, /options must be an object .*got number 5/],
    [[], TypeError, /options must be an object .*got an array/],
    ["nan", TypeError, /options must be an object .*got the string "nan"/],
    [new Map([["warmup", "nan"]]), TypeError, /got an object \(Map\)/],
    [{ warmup: -3 }, RangeError, /whole number of at least 0, got -3/],
    [{ wramup: "nan" }, TypeError, /unknown option "wramup"/],
  ])
    assert.throws(() => tc.Stream.load(saved, options), (error) => error instanceof type && message.test(error.message), String(message));
  for (const options of [undefined, null, {}, { warmup: 3 }]) assert.equal(tc.Stream.load(saved, options).bars, 0);
});

test("cut, flipped, foreign and wrongly typed bytes are refused with the library's reason", () => {
  const good = new Uint8Array(readFileSync(SNAPSHOT_V1));
  const refusedWith = (bytes, code) => {
    assert.throws(
      () => tc.Stream.load(bytes),
      (e) => e instanceof tc.SnapshotError && e instanceof Error && e.code === code && typeof e.reason === "number" && e.message.startsWith("Stream.load(): "),
      code,
    );
  };
  refusedWith(new Uint8Array(0), "SNAPSHOT_NOT_A_SNAPSHOT"); // nothing: not even the mark
  refusedWith(good.subarray(0, 20), "SNAPSHOT_TOO_SHORT");
  refusedWith(good.subarray(0, good.length - 1), "SNAPSHOT_TOO_SHORT");
  refusedWith(new TextEncoder().encode("date,high,low\n2024-01-02,10,9\n".repeat(400)), "SNAPSHOT_NOT_A_SNAPSHOT");
  for (const at of [30, 500, 5000, good.length - 2]) {
    const flipped = good.slice();
    flipped[at] ^= 0x10;
    refusedWith(flipped, "SNAPSHOT_DAMAGED");
  }
  const longer = new Uint8Array(good.length + 1);
  longer.set(good);
  assert.throws(() => tc.Stream.load(longer), tc.SnapshotError);
  assert.throws(() => tc.Stream.load(new Uint8Array(40000)), tc.SnapshotError);
  // The message is the library's sentence; other views and ArrayBuffers are bytes too.
  assert.throws(() => tc.Stream.load(good.subarray(0, 20)), /too short/);
  assert.equal(tc.Stream.load(good.slice().buffer).bars, 1000);
  assert.equal(tc.Stream.load(new DataView(good.slice().buffer)).bars, 1000);
  for (const wrong of [null, undefined, "bytes", [1, 2, 3], 42]) assert.throws(() => tc.Stream.load(wrong), TypeError);
});
