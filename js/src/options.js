// SPDX-License-Identifier: MIT
// The checks around the library: argument types, the options and the
// warm-up bars.  The policy words and each indicator's start-up bars are the
// library's own (its indicator table and TamselChart_MissingPolicyName).
import { INDICATOR_TABLE, POLICY_WORDS } from "./module.js";
import { holdsNumbers, typedArrayKind, typedLength } from "./typed-arrays.js";

/** Each indicator's start-up bars, by function name, from the library's indicator table. */
export const WARMUP_BARS = Object.freeze(Object.fromEntries(INDICATOR_TABLE.map((i) => [i.name, i.warmupBars])));

export const NO_WARMUP = "values";

/**
 * The most bars one batch call takes: its prices and outputs (16 bytes a bar
 * for all four indicators, written in place over the prices) must fit the
 * module's memory of at most 2 GiB, with room to spare for what it already
 * holds.
 */
export const MAX_BARS = 100_000_000;

export function describe(value) {
  if (value === null) return "null";
  if (value === undefined) return "undefined";
  // A function's text may be its whole source.
  if (typeof value === "function") return `a function (${value.name || "anonymous"})`;
  if (Array.isArray(value)) return "an array";
  if (typeof value === "string") return `the string ${JSON.stringify(value.length > 40 ? value.slice(0, 40) + "..." : value)}`;
  if (typeof value === "object") return `an object (${value.constructor?.name ?? "Object"})`;
  if (typeof value === "bigint") return `the bigint ${value}n`;
  return `${typeof value} ${String(value)}`;
}

/** The options object made whole: { missing, policy (the library's number for missing), warmup }. */
export function checkOptions(options) {
  if (options === undefined || options === null) return { missing: POLICY_WORDS[0], policy: 0, warmup: NO_WARMUP };
  // A Map has no own keys to check, so its entries would be ignored silently.
  if (typeof options !== "object" || Array.isArray(options) || options instanceof Map)
    throw new TypeError(`options must be an object such as { missing: "previous", warmup: "nan" }, got ${describe(options)}`);
  for (const key of Object.keys(options))
    if (key !== "missing" && key !== "warmup")
      throw new TypeError(`unknown option ${JSON.stringify(key)}: the options are missing and warmup`);
  const { missing = POLICY_WORDS[0], warmup = NO_WARMUP } = options;
  if (typeof missing !== "string")
    throw new TypeError(`missing must be ${wordList(POLICY_WORDS)}, got ${describe(missing)}`);
  const policy = POLICY_WORDS.indexOf(missing);
  if (policy < 0) throw new RangeError(`missing must be ${wordList(POLICY_WORDS)}, got ${JSON.stringify(missing)}`);
  if (typeof warmup === "number") {
    if (!Number.isSafeInteger(warmup) || warmup < 0)
      throw new RangeError(`warmup as a number of bars must be a whole number of at least 0, got ${warmup}`);
  } else if (typeof warmup === "string") {
    if (warmup !== "values" && warmup !== "nan")
      throw new RangeError(`warmup must be "values", "nan" or a number of bars, got ${JSON.stringify(warmup)}`);
  } else {
    throw new TypeError(`warmup must be "values", "nan" or a number of bars, got ${describe(warmup)}`);
  }
  return { missing, policy, warmup };
}

function wordList(words) {
  const quoted = words.map((w) => JSON.stringify(w));
  return `${quoted.slice(0, -1).join(", ")} or ${quoted.at(-1)}`;
}

/** How many first bars of the indicator the warmup option blanks. */
export function blankedBars(name, warmup) {
  if (warmup === NO_WARMUP) return 0;
  return warmup === "nan" ? WARMUP_BARS[name] : warmup;
}

/** Writes NaN over the warm-up bars of out, whose element 0 is bar index firstIndex (0-based). */
export function applyWarmup(out, name, warmup, firstIndex) {
  const bars = blankedBars(name, warmup);
  for (let i = 0; i < out.length && firstIndex + i < bars; ++i) out[i] = NaN;
}

/**
 * The number of prices in a series: a plain array's length (a Proxy of one
 * may answer anything, so it is checked), or a typed array's own length, read
 * through the built-in getter.  Taken once per call: everything after
 * (allocation, conversion, the results' length) uses this number.
 */
export function seriesLength(values, name) {
  const kind = typedArrayKind(values);
  if (kind !== undefined) {
    if (!holdsNumbers(kind)) throw new TypeError(`${name} must hold numbers, got a ${kind}`);
    return typedLength(values);
  }
  if (!Array.isArray(values))
    throw new TypeError(`${name} must be an array or a typed array of prices, got ${describe(values)}`);
  const length = values.length;
  if (typeof length !== "number") throw new TypeError(`${name}.length must be a number of bars, got ${describe(length)}`);
  if (!Number.isSafeInteger(length) || length < 0)
    throw new RangeError(`${name}.length must be a whole number of bars, got ${length}`);
  return length;
}

/**
 * Checks that high and low are series of prices of equal length that one
 * call can take, and returns that length; prefix (such as "series[3]: ")
 * starts every message.
 */
export function checkSeries(high, low, prefix = "") {
  const count = seriesLength(high, `${prefix}high`);
  const lowCount = seriesLength(low, `${prefix}low`);
  if (count !== lowCount) throw new RangeError(`${prefix}high and low must have equal lengths, got ${count} and ${lowCount}`);
  if (count > MAX_BARS) throw new RangeError(`${prefix}high and low have ${count} bars, more than the ${MAX_BARS} one call takes`);
  return count;
}
