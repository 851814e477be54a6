// SPDX-License-Identifier: MIT
// Compiled (never run) by types.test.js with tsc --strict: the declarations
// accept what the package accepts and type what it returns.
import { indicators, cyclePeriod, Stream, StreamSet, WARMUP_BARS, INDICATORS, INDICATOR_INFO, MAX_BARS, PriceError, SnapshotError, VERSION, moduleMemoryBytes, type Indicators, type SetValues, type Values } from "tamselcharts";

const high = [101, 102, null, 103];
const low = new Float64Array([99, 100, 100, 101]);
const all: Indicators = indicators(high, low, { missing: "previous", warmup: "nan" });
const period: Float32Array = cyclePeriod(Float32Array.from([1, 2]), [1, 2], { warmup: 20 });
const stream = new Stream({ missing: "nan" });
const values: Values = stream.peek(101, undefined);
const next: number = stream.push(101, 99).trendVigor + values.bar + stream.bars;
const copy: Stream = stream.clone();
const snapshot: Uint8Array = stream.save();
const resumed: Stream = Stream.load(snapshot, { warmup: "nan" });
Stream.load(new ArrayBuffer(16));
Stream.load(new SharedArrayBuffer(16));
function why(error: unknown): string {
  return error instanceof SnapshotError ? `${error.code} ${error.reason} ${error.message}` : "";
}
copy.reset();
copy.free();
stream.free();
const alive: boolean = stream.alive;
const warm: number = WARMUP_BARS.swingPosition + INDICATORS.length;
const columns: string[] = INDICATOR_INFO.map((i) => `${i.column} ${i.title} ${i.warmupBars}`);
const sizes: number = MAX_BARS + moduleMemoryBytes() + VERSION.length;
function where(error: unknown): string {
  return error instanceof PriceError ? `${error.kind} ${error.column} ${error.bar} ${error.index ?? "stream"}` : "";
}
const set = new StreamSet(3, { missing: "previous" });
const latest: SetValues = set.push([101, null, 99], Float64Array.of(99, 98, 97), [true, 0, 1]);
set.push(Float32Array.of(1, 2, 3), [1, 2, 3]);
set.load(2, set.save(0));
const setBars: number = latest.bar[0] + latest.trendVigor[2] + set.bars[1] + set.size;
const memberMissing: string = set.missing(1);
function whose(error: unknown): number | null {
  return error instanceof PriceError ? error.member : null;
}
set.free();
export { all, period, next, alive, warm, columns, sizes, where, resumed, why, setBars, memberMissing, whose };

// @ts-expect-error: not one of the words
indicators(high, low, { missing: "skip" });
// @ts-expect-error: unknown option
indicators(high, low, { mising: "nan" });
// @ts-expect-error: prices are numbers
indicators(["101"], ["99"]);
// @ts-expect-error: the result is read only where the library owns it
WARMUP_BARS.cyclePeriod = 3;
// @ts-expect-error: the snapshot carries its own missing option
Stream.load(snapshot, { missing: "nan" });
// @ts-expect-error: a snapshot is bytes
Stream.load("snapshot");
// @ts-expect-error: a member is numbered
set.save("0");
// @ts-expect-error: flags are booleans or 0 and 1
set.push([1], [1], ["yes"]);
