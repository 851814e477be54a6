// SPDX-License-Identifier: MIT
// The frozen golden series (tests/golden/golden.bin), read as the C++ tests
// read them: "TSGOLD01", uint32 series count, then per series a uint32 name
// length, the name, a uint32 bar count and per bar six float32 (high, low,
// cycle period, signal-to-noise ratio, swing position, trend vigor), all
// little-endian.
import { readFileSync } from "node:fs";
import { fileURLToPath } from "node:url";

export const GOLDEN_PATH = fileURLToPath(new URL("../../../tests/golden/golden.bin", import.meta.url));
export const COLUMNS = ["cyclePeriod", "signalToNoiseRatio", "swingPosition", "trendVigor"];

export function readGolden(path = GOLDEN_PATH) {
  const bytes = readFileSync(path);
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (bytes.subarray(0, 8).toString("latin1") !== "TSGOLD01") throw new Error(`not a golden file: ${path}`);
  let at = 8;
  const u32 = () => {
    const v = view.getUint32(at, true);
    at += 4;
    return v;
  };
  const series = [];
  for (let s = u32(); s > 0; --s) {
    const nameLength = u32();
    const name = bytes.subarray(at, at + nameLength).toString("utf8");
    at += nameLength;
    const count = u32();
    const fields = ["high", "low", ...COLUMNS];
    const entry = { name };
    for (const f of fields) entry[f] = new Float32Array(count);
    for (let i = 0; i < count; ++i) for (const f of fields) (entry[f][i] = view.getFloat32(at, true)), (at += 4);
    series.push(entry);
  }
  return series;
}

// Bit for bit, any NaN equal to any NaN: the index of the first difference,
// or -1.
export function firstDifference(actual, expected) {
  if (actual.length !== expected.length) return Math.min(actual.length, expected.length);
  const a = new Uint32Array(actual.buffer, actual.byteOffset, actual.length);
  const e = new Uint32Array(expected.buffer, expected.byteOffset, expected.length);
  for (let i = 0; i < a.length; ++i) {
    if (a[i] === e[i]) continue;
    if (Number.isNaN(actual[i]) && Number.isNaN(expected[i])) continue;
    return i;
  }
  return -1;
}

export function assertSameBits(assert, actual, expected, what) {
  const at = firstDifference(actual, expected);
  if (at >= 0)
    assert.fail(`${what}: bar ${at + 1} differs: ${actual[at]} (0x${bits(actual[at])}) != ${expected[at]} (0x${bits(expected[at])}), lengths ${actual.length} and ${expected.length}`);
}

function bits(value) {
  return new Uint32Array(Float32Array.of(value ?? NaN).buffer)[0].toString(16).padStart(8, "0");
}
