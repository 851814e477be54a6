// SPDX-License-Identifier: MIT
// Cost per bar of the WebAssembly library under Node, beside the native one.
//
//   node bench/bench.js [--bars=N] [--repetitions=R] [--native=PATH/TO/tamsel_bench]
//
// Each path runs over a random walk of N bars (default 1,000,000) R times
// (default 5); the fastest run is reported, in nanoseconds per bar (on a
// shared machine the fastest run is the one least disturbed by others).  With --native,
// the native benchmark runs the same paths over its own random walk of the
// same length (the cost of a bar hardly depends on the prices) and the table
// gains the ratio WebAssembly / native.
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import * as tc from "../src/index.js";

const args = Object.fromEntries(
  process.argv.slice(2).map((a) => {
    const m = /^--([a-z]+)=(.*)$/.exec(a);
    if (!m) throw new Error(`unknown argument ${a}; usage: bench.js [--bars=N] [--repetitions=R] [--native=PATH]`);
    return [m[1], m[2]];
  }),
);
const bars = Number(args.bars ?? 1_000_000);
const repetitions = Number(args.repetitions ?? 5);

// A random walk around 100 (xorshift64* and Box-Muller; seeded, so every run
// times the same prices).
let state = 0x9e3779b97f4a7c15n;
function uniform() {
  state ^= state >> 12n;
  state ^= (state << 25n) & 0xffffffffffffffffn;
  state ^= state >> 27n;
  return Number(((state * 0x2545f4914f6cdd1dn) & 0xffffffffffffffffn) >> 11n) / 2 ** 53;
}
const high = new Float32Array(bars);
const low = new Float32Array(bars);
for (let i = 0, mid = 100; i < bars; ++i) {
  mid += Math.sqrt(-2 * Math.log(1 - uniform())) * Math.cos(2 * Math.PI * uniform());
  const half = 0.5 * (0.2 + uniform());
  high[i] = mid + half;
  low[i] = mid - half;
}

function streamPush() {
  const stream = new tc.Stream();
  for (let i = 0; i < bars; ++i) stream.push(high[i], low[i]);
  stream.free();
}

// A live set of 512 members, each interval's prices the walk's next 512
// bars (the cost of a bar hardly depends on the prices), per series-bar;
// the native figure is tamsel_multi_bench's.
const MEMBERS = 512;
function streamSetPush() {
  const set = new tc.StreamSet(MEMBERS);
  const intervals = Math.floor(bars / MEMBERS);
  for (let t = 0; t < intervals; ++t)
    set.push(high.subarray(t * MEMBERS, (t + 1) * MEMBERS), low.subarray(t * MEMBERS, (t + 1) * MEMBERS));
  set.free();
}

// Names as the native benchmark calls them.
const PATHS = {
  CyclePeriod: () => tc.cyclePeriod(high, low),
  SignalToNoiseRatio: () => tc.signalToNoiseRatio(high, low),
  SwingPosition: () => tc.swingPosition(high, low),
  TrendVigor: () => tc.trendVigor(high, low),
  AllIndicators: () => tc.indicators(high, low),
  StreamPush: streamPush,
  StreamSetPush512: streamSetPush,
};


function nativeCosts(program) {
  const dir = mkdtempSync(join(tmpdir(), "tamsel-bench-"));
  try {
    const out = join(dir, "native.json");
    execFileSync(program, [
      `--bars=${bars}`,
      `--benchmark_filter=^(${Object.keys(PATHS).join("|")})$`,
      `--benchmark_repetitions=${repetitions}`,
      `--benchmark_out=${out}`,
      "--benchmark_out_format=json",
    ], { stdio: ["ignore", "ignore", "inherit"] });
    const report = JSON.parse(readFileSync(out, "utf8"));
    const costs = {};
    for (const b of report.benchmarks)
      if (b.run_type === "iteration") {
        const cost = b.ns_per_bar * 1e9; // the counter is in seconds
        costs[b.run_name] = Math.min(costs[b.run_name] ?? Infinity, cost);
      }
    return costs;
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

PATHS.AllIndicators(); // compile and warm up
const wasmCosts = {};
for (const [name, run] of Object.entries(PATHS)) {
  const times = [];
  for (let r = 0; r < repetitions; ++r) {
    const start = process.hrtime.bigint();
    run();
    times.push(Number(process.hrtime.bigint() - start) / bars);
  }
  wasmCosts[name] = Math.min(...times);
}

const native = args.native ? nativeCosts(args.native) : null;
console.log(`bars: ${bars}, repetitions: ${repetitions}, node ${process.version}, fastest run, ns per bar`);
console.log(native ? "| path | WebAssembly | native | ratio |" : "| path | WebAssembly |");
console.log(native ? "|---|---|---|---|" : "|---|---|");
for (const [name, cost] of Object.entries(wasmCosts)) {
  if (!native) console.log(`| ${name} | ${cost.toFixed(0)} |`);
  else if (native[name] === undefined) console.log(`| ${name} | ${cost.toFixed(0)} | | |`);
  else console.log(`| ${name} | ${cost.toFixed(0)} | ${native[name].toFixed(0)} | ${(cost / native[name]).toFixed(2)} |`);
}
