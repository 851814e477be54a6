// SPDX-License-Identifier: MIT
// The checks and policies around the library: argument types, missing
// prices and warm-up bars, with the same words as `tamsel --missing` and
// the Python package.

/**
 * Each indicator's start-up bars, whose values come from the engine's
 * start-up rather than from a measured cycle:
 *   cyclePeriod         14  0 on bars 1-2, exactly 18 on bars 3-14 (the filter bank first runs on bar 13)
 *   signalToNoiseRatio  12  1.0 until the filter bank has run
 *   swingPosition       50  the 51-bar window still holds start values of 0
 *   trendVigor          29  the look-back (at most 29 bars for a cycle of at most 30) can reach
 *                           before bar 1, where the whole price counts as change
 */
export const WARMUP_BARS = Object.freeze({ cyclePeriod: 14, signalToNoiseRatio: 12, swingPosition: 50, trendVigor: 29 });

export const NO_WARMUP = "values";
const MISSING_WORDS = ["error", "previous", "nan"];
const INT_MAX = 2 ** 31 - 1;

function describe(value) {
  if (value === null) return "null";
  if (Array.isArray(value)) return "an array";
  if (typeof value === "string") return `the string ${JSON.stringify(value.length > 40 ? value.slice(0, 40) + "..." : value)}`;
  if (typeof value === "object") return `an object (${value.constructor?.name ?? "Object"})`;
  if (typeof value === "bigint") return `the bigint ${value}n`;
  return `${typeof value} ${String(value)}`;
}

/** The options object made whole: { missing, warmup }. */
export function checkOptions(options) {
  if (options === undefined || options === null) return { missing: "error", warmup: NO_WARMUP };
  if (typeof options !== "object" || Array.isArray(options))
    throw new TypeError(`options must be an object such as { missing: "previous", warmup: "nan" }, got ${describe(options)}`);
  for (const key of Object.keys(options))
    if (key !== "missing" && key !== "warmup")
      throw new TypeError(`unknown option ${JSON.stringify(key)}: the options are missing and warmup`);
  let { missing = "error", warmup = NO_WARMUP } = options;
  if (typeof missing !== "string")
    throw new TypeError(`missing must be "error", "previous" or "nan", got ${describe(missing)}`);
  if (!MISSING_WORDS.includes(missing))
    throw new RangeError(`missing must be "error", "previous" or "nan", got ${JSON.stringify(missing)}`);
  if (typeof warmup === "number") {
    if (!Number.isSafeInteger(warmup) || warmup < 0)
      throw new RangeError(`warmup as a number of bars must be a whole number of at least 0, got ${warmup}`);
  } else if (typeof warmup === "string") {
    if (warmup !== "values" && warmup !== "nan")
      throw new RangeError(`warmup must be "values", "nan" or a number of bars, got ${JSON.stringify(warmup)}`);
  } else {
    throw new TypeError(`warmup must be "values", "nan" or a number of bars, got ${describe(warmup)}`);
  }
  return { missing, warmup };
}

/** Writes NaN over the warm-up bars of out, whose element 0 is bar index firstIndex (0-based). */
export function applyWarmup(out, name, warmup, firstIndex) {
  if (warmup === NO_WARMUP) return;
  const bars = warmup === "nan" ? WARMUP_BARS[name] : warmup;
  for (let i = 0; i < out.length && firstIndex + i < bars; ++i) out[i] = NaN;
}

function missingError(name, index, value, method) {
  const where = method ? `${method}(): ${name}` : `${name}[${index}]`;
  return new RangeError(
    `${where} is missing (${String(value)}): one NaN would freeze the cycle spectrum for the rest of the ` +
      `series; missing: "previous" repeats the previous bar's value, missing: "nan" passes NaN through`,
  );
}

function firstBarError(name, index, value, method) {
  const where = method ? `${method}(): ${name}` : `${name}[${index}]`;
  return new RangeError(`${where} is missing (${String(value)}) on the first bar, which has no previous bar to repeat`);
}

// One price as the library receives it: a 32-bit float.  An infinite price,
// or one beyond a 32-bit float's range, is refused as tamsel and the Python
// package refuse it, unless missing: "nan" asks for every price as it is
// (one beyond the range then becomes an infinity, as a C caller's would).
function toFloat(value, name, index, method, missing) {
  const where = method ? `${method}(): ${name}` : `${name}[${index}]`;
  if (typeof value !== "number") throw new TypeError(`${where} must be a number, got ${describe(value)}`);
  const rounded = Math.fround(value);
  if (!Number.isFinite(rounded) && missing !== "nan") throw notFinite(where, value);
  return rounded;
}

function notFinite(where, value) {
  const beyond = Number.isFinite(value) ? " (it is beyond a 32-bit float's range)" : "";
  return new RangeError(
    `${where} = ${value} is not a finite price${beyond}; drop or correct the bar, or pass missing: "nan" ` +
      "to hand it to the library as it is",
  );
}

function isMissing(value) {
  return value === null || value === undefined || (typeof value === "number" && Number.isNaN(value));
}

/** One price of a stream bar, after the missing policy. */
export function priceOf(value, name, method, missing, previous, barsSoFar) {
  if (!isMissing(value)) return toFloat(value, name, 0, method, missing);
  if (missing === "nan") return NaN;
  if (missing === "previous") {
    if (barsSoFar === 0) throw firstBarError(name, 0, value, method);
    return previous;
  }
  throw missingError(name, 0, value, method);
}

function checkSeries(values, name) {
  const typed = ArrayBuffer.isView(values) && !(values instanceof DataView);
  if (!Array.isArray(values) && !typed)
    throw new TypeError(`${name} must be an array or a typed array of prices, got ${describe(values)}`);
  if (typed && (values instanceof BigInt64Array || values instanceof BigUint64Array))
    throw new TypeError(`${name} must hold numbers, got a ${values.constructor.name}`);
  if (values.length > INT_MAX)
    throw new RangeError(`${name} has ${values.length} bars, more than the library's limit of ${INT_MAX}`);
}

/** The high and low series as Float32Arrays after the missing policy. */
export function preparePrices(high, low, missing) {
  checkSeries(high, "high");
  checkSeries(low, "low");
  if (high.length !== low.length)
    throw new RangeError(`high and low must have equal lengths, got ${high.length} and ${low.length}`);
  const count = high.length;
  const h = high instanceof Float32Array ? high : new Float32Array(count);
  const l = low instanceof Float32Array ? low : new Float32Array(count);
  let resolved = null; // copies made only when a missing value must be replaced
  const take = (source, target, name, i) => {
    const value = source[i];
    if (!isMissing(value)) {
      if (target !== source) target[i] = toFloat(value, name, i, undefined, missing);
      else if (missing !== "nan" && !Number.isFinite(value)) throw notFinite(`${name}[${i}]`, value);
      return;
    }
    if (missing === "error") throw missingError(name, i, value);
    if (missing === "previous" && i === 0) throw firstBarError(name, i, value);
    // A caller's Float32Array is never written to.
    if (target === source) resolved ??= { high: Float32Array.from(high), low: Float32Array.from(low) };
    const out = target === source ? resolved[name] : target;
    out[i] = missing === "nan" ? NaN : out[i - 1];
  };
  for (let i = 0; i < count; ++i) {
    take(high, h, "high", i);
    take(low, l, "low", i);
  }
  return resolved ? [high === h ? resolved.high : h, low === l ? resolved.low : l] : [h, l];
}
