// SPDX-License-Identifier: MIT
// The stream set against each member's own series, its all-or-nothing push,
// its snapshots and its life cycle.
import assert from "node:assert/strict";
import { test } from "node:test";

import * as tc from "../src/index.js";
import { assertSameBits, COLUMNS, readGolden } from "./support/golden.js";

const golden = readGolden();
const longest = golden.reduce((a, b) => (b.high.length > a.high.length ? b : a));

// Pushes every member's series through one set, member j starting at
// interval starts[j] and skipping the intervals skips(j, t) names (a member
// past its last bar has none); returns each member's values bar by bar.
function pushMembers(set, series, starts, skips) {
  const taken = series.map(({ high }) => Object.fromEntries(COLUMNS.map((c) => [c, new Float32Array(high.length)])));
  const next = series.map(() => 0);
  const count = series.length;
  const high = new Float64Array(count);
  const low = new Array(count);
  const hasBar = new Uint8Array(count);
  for (let t = 0; next.some((n, j) => n < series[j].high.length); ++t) {
    for (let j = 0; j < count; ++j) {
      const bar = next[j];
      hasBar[j] = t >= starts[j] && bar < series[j].high.length && !skips(j, t) ? 1 : 0;
      // A member without a bar gets prices the library must not read.
      high[j] = hasBar[j] ? series[j].high[bar] : NaN;
      low[j] = hasBar[j] ? series[j].low[bar] : null;
    }
    const latest = set.push(high, low, hasBar);
    for (let j = 0; j < count; ++j) {
      if (!hasBar[j]) continue;
      assert.equal(latest.bar[j], next[j] + 1, `member ${j} at interval ${t}`);
      for (const c of COLUMNS) taken[j][c][next[j]] = latest[c][j];
      ++next[j];
    }
  }
  return taken;
}

test("every member gives its own series' bits, whatever its neighbours, start and gaps", () => {
  for (const options of [{ missing: "nan" }, { missing: "nan", warmup: "nan" }, { missing: "nan", warmup: 40 }]) {
    // Every golden series (the poison ones among them), and the longest
    // again as the neighbour of each, started late and with gaps.
    const series = [...golden, ...golden.map(() => longest)];
    const starts = series.map((_, j) => (j * 7) % 31);
    const set = new tc.StreamSet(series.length, options);
    const taken = pushMembers(set, series, starts, (j, t) => j % 3 === 1 && t % 5 === 2);
    set.free();
    series.forEach((s, j) => {
      const batch = tc.indicators(s.high, s.low, options);
      for (const c of COLUMNS) assertSameBits(assert, taken[j][c], batch[c], `member ${j} (${s.name}) ${c} ${JSON.stringify(options)}`);
    });
  }
});

test("a refused price names the member and its bar, and no member advances", () => {
  const { high, low } = longest;
  const set = new tc.StreamSet(3);
  const alone = new tc.StreamSet(3);
  for (let i = 0; i < 50; ++i) {
    set.push([high[i], high[i], high[i]], [low[i], low[i], low[i]], [1, i % 2, 1]);
    alone.push([high[i], high[i], high[i]], [low[i], low[i], low[i]], [1, i % 2, 1]);
  }
  const before = set.bars;
  assert.throws(
    () => set.push([high[50], high[50], high[50]], [low[50], null, low[50]]),
    (error) =>
      error instanceof tc.PriceError &&
      error.member === 1 &&
      error.bar === 26 &&
      error.column === "low" &&
      error.kind === "missing" &&
      error.index === null &&
      error.price === null &&
      /^push\(\): member 1, low of bar 26 = null: /.test(error.message),
  );
  assert.deepEqual(set.bars, before);
  // The refused interval left no trace: the set goes on as the one that
  // never saw it, and a member without a bar is not asked for its price.
  for (let i = 50; i < 120; ++i) {
    const a = set.push([high[i], Infinity, high[i]], [low[i], null, low[i]], [true, false, true]);
    const b = alone.push([high[i], 0, high[i]], [low[i], 0, low[i]], [true, false, true]);
    assert.deepEqual(a, b, `interval ${i}`);
  }
  set.free();
  alone.free();
});

test("members save as streams, and streams load into members, the missing option included", () => {
  const { high, low } = longest;
  const half = Math.floor(high.length / 2);
  const set = new tc.StreamSet(2, { missing: "previous" });
  for (let i = 0; i < half; ++i) set.push([high[i], high[i]], [low[i], low[i]], [1, i < 10 ? 1 : 0]);
  // Member 0 goes on as a Stream of its own.
  const resumed = tc.Stream.load(set.save(0));
  assert.equal(resumed.bars, half);
  assert.equal(resumed.missing, "previous");
  for (let i = half; i < high.length; ++i) {
    const v = resumed.push(high[i], low[i]);
    for (const c of COLUMNS) assert.ok(Object.is(v[c], longest[c][i]), `${c} at bar ${i + 1}`);
  }
  // A stream's snapshot replaces member 1, its option and bar count with it.
  const stream = new tc.Stream({ missing: "nan" });
  for (let i = 0; i < 30; ++i) stream.push(high[i], low[i]);
  set.load(1, stream.save());
  assert.equal(set.missing(1), "nan");
  assert.equal(set.missing(0), "previous");
  assert.deepEqual(Array.from(set.bars), [half, 30]);
  const latest = set.push([high[half], high[30]], [low[half], low[30]]);
  assert.deepEqual(Array.from(latest.bar), [half + 1, 31]);
  for (const c of COLUMNS) {
    assert.ok(Object.is(latest[c][0], longest[c][half]), `member 0 ${c}`);
    assert.ok(Object.is(latest[c][1], longest[c][30]), `member 1 ${c}`);
  }
  // Damaged bytes change nothing and say why, in the set's terms.
  const damaged = set.save(1);
  damaged[damaged.length - 1] ^= 1;
  assert.throws(() => set.load(1, damaged), (error) => error instanceof tc.SnapshotError && error.code === "SNAPSHOT_DAMAGED" && /^StreamSet\.load\(\): /.test(error.message));
  assert.throws(() => set.load(1, "bytes"), { name: "TypeError", message: /^StreamSet\.load\(\): the snapshot must be/ });
  assert.deepEqual(Array.from(set.bars), [half + 1, 31]);
  assert.equal(set.missing(1), "nan");
  set.free();
  stream.free();
});

test("a set checks its arguments and refuses every call once freed", () => {
  for (const [count, type] of [[0, RangeError], [2.5, RangeError], [-1, RangeError], [NaN, RangeError], ["3", TypeError], [undefined, TypeError]])
    assert.throws(() => new tc.StreamSet(count), type, String(count));
  assert.throws(() => new tc.StreamSet(2, { missing: "skip" }), RangeError);
  const set = new tc.StreamSet(2);
  assert.equal(set.size, 2);
  const checks = [
    [() => set.push([1], [1, 1]), RangeError, /^push\(\): high has 1 prices, one per member needs 2$/],
    [() => set.push([1, "2"], [1, 1]), TypeError, /^push\(\): high\[1\] must be a number, got the string "2"$/],
    [() => set.push([1, 1], { length: 2 }), TypeError, /^push\(\): low must be an array/],
    [() => set.push([1, 1], [1, 1], [1, "false"]), TypeError, /^push\(\): hasBar\[1\] must be true, false, 1 or 0/],
    [() => set.push([1, 1], [1, 1], Float64Array.of(1, 0.5)), TypeError, /^push\(\): hasBar\[1\]/],
    [() => set.push([1, 1], [1, 1], [1]), RangeError, /^push\(\): hasBar has 1 flags/],
    [() => set.save(2), RangeError, /^StreamSet\.save\(\): member must be a whole number from 0 to 1, got 2$/],
    [() => set.missing("0"), TypeError, /^StreamSet\.missing\(\): member must be a number/],
    [() => set.load(-1, new Uint8Array(8)), RangeError, /member must be/],
  ];
  for (const [call, type, message] of checks) assert.throws(call, (e) => e instanceof type && message.test(e.message), String(message));
  assert.deepEqual(Array.from(set.bars), [0, 0]);
  // Before its first bar a member has no values.
  const first = set.push([101, 101], [99, 99], [1, 0]);
  assert.ok(Number.isNaN(first.cyclePeriod[1]) && first.cyclePeriod[0] === 0);
  set.free();
  assert.equal(set.alive, false);
  for (const call of [() => set.push([1, 1], [1, 1]), () => set.save(0), () => set.load(0, new Uint8Array(8)), () => set.missing(0)])
    assert.throws(call, { name: "Error", message: /the set has been freed/ });
  set.free(); // a second free does nothing
});

test("the caller's code run by a price's getter can neither free the set under a push nor corrupt it", () => {
  const freed = new tc.StreamSet(2);
  const freeing = [101, 101];
  Object.defineProperty(freeing, 1, { get: () => (freed.free(), 101) });
  assert.throws(() => freed.push(freeing, [99, 99]), { message: /^StreamSet\.push\(\): the set has been freed$/ });
  // A getter that pushes the same set: its push lands first, whole, and the
  // outer one after it, as if called in turn.
  const { high, low } = longest;
  const set = new tc.StreamSet(2);
  const plain = new tc.StreamSet(2);
  let nested = true;
  const pushing = [high[1], high[1]];
  Object.defineProperty(pushing, 0, {
    get() {
      if (nested) (nested = false), set.push([high[0], high[0]], [low[0], low[0]]);
      return high[1];
    },
  });
  const outer = set.push(pushing, [low[1], low[1]]);
  plain.push([high[0], high[0]], [low[0], low[0]]);
  assert.deepEqual(outer, plain.push([high[1], high[1]], [low[1], low[1]]));
  set.free();
  plain.free();
});

test("many sets dropped without free() give their module memory back", async () => {
  const start = tc.moduleMemoryBytes();
  for (let round = 0; round < 16; ++round) {
    for (let i = 0; i < 40; ++i) new tc.StreamSet(64).push(new Float64Array(64).fill(101), new Float64Array(64).fill(99));
    // Finalisers run between turns of the event loop, after a collection.
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
  // 640 sets of 64 members would hold some 1,000 MiB; the collector gives
  // back all but the last few rounds'.
  const grown = tc.moduleMemoryBytes() - start;
  assert.ok(grown < 400 * 2 ** 20, `grew by ${grown} bytes`);
});
