// SPDX-License-Identifier: MIT
// The command-line tool's CSV conversion, compiled to WebAssembly
// (tamsel-web.js), called from the page and from the tests under Node.
import { readIndicatorTable, readPolicyWords } from "./tamselcharts/indicator-table.js";

/** The library's missing-price policy words, by policy number. */
export function policyWords(module) {
  return readPolicyWords((p) => module._TamselChart_MissingPolicyName(p), () => module.HEAPU8.buffer);
}

/** The library's indicator table (names, titles, start-up bars, ranges). */
export function indicatorTable(module) {
  return readIndicatorTable(
    () => module._TamselChart_IndicatorCount(),
    (i) => module._TamselChart_Indicator(i),
    () => module.HEAPU8.buffer,
  );
}

/**
 * Converts a CSV file's bytes as `tamsel --missing=HOW NAME` would.
 * Returns { status, output, message }: status is tamsel's exit status; output
 * the bytes tamsel would write (status 0), message the line it would print on
 * standard error (otherwise).
 */
export function convertCsv(module, name, bytes, missing = "error") {
  const words = policyWords(module);
  const policy = words.indexOf(missing);
  if (policy < 0) throw new RangeError(`missing must be one of ${words.join(", ")}, got ${JSON.stringify(missing)}`);
  const encodedName = new TextEncoder().encode(name);
  const namePointer = module._malloc(encodedName.length + 1);
  const dataPointer = module._malloc(Math.max(1, bytes.length));
  if (namePointer === 0 || dataPointer === 0) {
    module._free(namePointer);
    module._free(dataPointer);
    return { status: 1, output: new Uint8Array(0), message: `tamsel: ${name}: out of memory` };
  }
  try {
    module.HEAPU8.set(encodedName, namePointer);
    module.HEAPU8[namePointer + encodedName.length] = 0;
    module.HEAPU8.set(bytes, dataPointer);
    const status = module._tamsel_web_convert(namePointer, dataPointer, bytes.length, policy);
    const at = module._tamsel_web_output();
    const result = module.HEAPU8.slice(at, at + module._tamsel_web_output_size());
    if (status === 0) return { status, output: result, message: "" };
    return { status, output: new Uint8Array(0), message: new TextDecoder().decode(result) };
  } finally {
    module._free(namePointer);
    module._free(dataPointer);
  }
}

// Which float array tamsel_web_bar_floats hands out: the taken high and low,
// then the indicators in the library's order.
const HIGH = 0;
const LOW = 1;
const FIRST_INDICATOR = 2;

/**
 * The bars of the last successful conversion, as the conversion computed
 * them: { count, high, low, indicators, times, timeName }.  high, low and
 * each of indicators (in the library's order) are Float32Arrays of their
 * own (transferable); times is { text, ends }, each bar's time text being
 * text.slice(ends[i - 1], ends[i]) (empty where the file has no date
 * column), and timeName the date column's header ("" without one).  The
 * module's copy is released.
 */
export function convertedBars(module, indicatorCount) {
  const count = module._tamsel_web_bar_count();
  const floats = (which) => {
    const at = module._tamsel_web_bar_floats(which) >>> 2;
    return module.HEAPF32.slice(at, at + count);
  };
  const endsAt = module._tamsel_web_bar_time_ends() >>> 2;
  const byteEnds = module.HEAPU32.slice(endsAt, endsAt + count);
  const textAt = module._tamsel_web_bar_times();
  const textBytes = module.HEAPU8.subarray(textAt, textAt + module._tamsel_web_bar_times_size());
  const nameAt = module._tamsel_web_time_name();
  const bars = {
    count,
    high: floats(HIGH),
    low: floats(LOW),
    indicators: Array.from({ length: indicatorCount }, (_, k) => floats(FIRST_INDICATOR + k)),
    times: packedTimes(textBytes, byteEnds),
    timeName: new TextDecoder().decode(module.HEAPU8.subarray(nameAt, module.HEAPU8.indexOf(0, nameAt))),
  };
  module._tamsel_web_release();
  return bars;
}

// The times' bytes as one string and where each bar's time ends in it (in
// UTF-16 units, as String.slice counts).  Plain ASCII, the usual case, ends
// where its bytes do; otherwise each time is decoded by itself, so that a
// byte the decoder replaces cannot shift the times after it.
function packedTimes(bytes, byteEnds) {
  const decoder = new TextDecoder();
  if (bytes.every((b) => b < 0x80)) return { text: decoder.decode(bytes), ends: byteEnds };
  const ends = new Uint32Array(byteEnds.length);
  const parts = [];
  let length = 0;
  byteEnds.forEach((end, i) => {
    const part = decoder.decode(bytes.subarray(i === 0 ? 0 : byteEnds[i - 1], end));
    parts.push(part);
    length += part.length;
    ends[i] = length;
  });
  return { text: parts.join(""), ends };
}
