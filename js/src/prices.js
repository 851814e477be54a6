// SPDX-License-Identifier: MIT
// Prices on their way into the library: the package's missing prices (null,
// undefined, NaN) become NaN and the library's own missing-price policy
// (TamselChart_ApplyMissingPolicy, TamselChart_StreamPushPrices) decides the
// rest, so that the package refuses and fills exactly as every other front
// end does.  What is left here is the message, in the package's own terms.
import { allocate, heapF32, heapF64, heapI32, problemText, wasm } from "./module.js";
import { describe } from "./options.js";
import { typedArrayKind, typedLength, typedRange } from "./typed-arrays.js";

// TamselChart_PriceProblem in wasm32: int kind, int bar, int column, 4 bytes
// of padding, double price.
const PROBLEM_BYTES = 24;
const COLUMNS = ["high", "low"];

/** The kinds of TamselChart_PriceProblem by number, as words for PriceError.kind. */
const KINDS = [null, "missing", "infinite", "out-of-range", "no-previous", "bad-policy"];

// What to do about each kind, in the words of the options object.
const WAY_OUT = {
  missing:
    'one NaN would freeze the cycle spectrum for the rest of the series; missing: "previous" repeats the ' +
    'previous bar\'s price, missing: "nan" passes NaN through',
  infinite: 'drop or correct the bar, or pass missing: "nan" to hand it to the library as it is',
  "out-of-range": 'drop or correct the bar, or pass missing: "nan" to hand it to the library as an infinity',
  "no-previous": 'missing: "previous" needs a price on the first bar; drop the bar or pass missing: "nan"',
  "bad-policy": "the missing option is none of the library's policies",
};

/**
 * A price the missing option refuses.  `kind` is "missing", "infinite",
 * "out-of-range" or "no-previous"; `column` "high" or "low"; `bar` the bar's
 * 1-based number; `index` its 0-based index in a batch call's arrays (null
 * for a stream); `member` the refusing member of a stream set (null
 * elsewhere); `price` the value as given.
 */
export class PriceError extends RangeError {
  constructor(where, problem) {
    super(`${where} = ${describePrice(problem.price)}: ${problemText(problem.kindNumber)}; ${WAY_OUT[problem.kind]}`);
    this.name = "PriceError";
    this.kind = problem.kind;
    this.column = problem.column;
    this.bar = problem.bar;
    this.index = problem.index;
    this.member = problem.member ?? null;
    this.price = problem.price;
  }
}

function describePrice(value) {
  return value === null || value === undefined ? String(value) : typeof value === "number" ? String(value) : describe(value);
}

// Scratch memory for one chunk of prices as doubles (the batch conversion
// goes through in chunks, so that a call's prices need no double-sized copy
// in module memory), for the problem record and for the member a stream
// set's push names with it.
const CHUNK = 1 << 16;
const scratch = allocate(2 * (CHUNK + 1) * 8 + PROBLEM_BYTES + 8, "the price scratch space");
const scratchHigh = scratch;
const scratchLow = scratch + (CHUNK + 1) * 8;
export const problemPointer = scratchLow + (CHUNK + 1) * 8;
export const memberPointer = problemPointer + PROBLEM_BYTES;

function readProblem() {
  const i32 = heapI32();
  const at = problemPointer / 4;
  const kindNumber = i32[at];
  return {
    kindNumber,
    kind: KINDS[kindNumber] ?? `kind ${kindNumber}`,
    bar: i32[at + 1],
    column: COLUMNS[i32[at + 2]],
    price: heapF64()[problemPointer / 8 + 2],
  };
}

// One price as a number for the library: null and undefined are missing.
function priceNumber(value, where) {
  if (typeof value === "number") return value;
  if (value === null || value === undefined) return NaN;
  throw new TypeError(`${where} must be a number, got ${describe(value)}`);
}

// Plain arrays' prices are read into a JavaScript array first and only then
// copied to module memory: reading one may run the caller's code (a getter, a
// Proxy) which may call the package again, overwriting the scratch space, or
// grow the module's memory, detaching every view of it.  A nested call takes
// a staging array of its own.
let spareStage = null;
const takeStage = () => {
  const stage = spareStage ?? new Float64Array(2 * CHUNK);
  spareStage = null;
  return stage;
};

// The series' length now against the count the call took at its start: a
// getter that resized an array (or a resizable buffer under a typed array)
// would otherwise leave bars the call counted but never read.
function checkUnchanged(values, name, count, prefix) {
  const now = typedArrayKind(values) !== undefined ? typedLength(values) : values.length;
  if (now !== count)
    throw new RangeError(`${prefix}${name} changed length during the call, from ${count} to ${typeof now === "number" ? now : describe(now)} bars`);
}

// Copies bars [start, end) of high and low as doubles to the scratch space,
// after `lead` leading bars; typed arrays in one go, plain arrays checked
// price by price, high before low on each bar as the library looks at them.
function fillChunk(high, low, count, start, end, lead, prefix, stage) {
  const typedHigh = typedArrayKind(high) !== undefined;
  const typedLow = typedArrayKind(low) !== undefined;
  if (!typedHigh || !typedLow) {
    for (let i = start, k = 0; i < end; ++i, ++k) {
      if (!typedHigh) {
        const h = high[i];
        stage[k] = typeof h === "number" ? h : priceNumber(h, `${prefix}high[${i}]`);
      }
      if (!typedLow) {
        const l = low[i];
        stage[CHUNK + k] = typeof l === "number" ? l : priceNumber(l, `${prefix}low[${i}]`);
      }
    }
  }
  checkUnchanged(high, "high", count, prefix);
  checkUnchanged(low, "low", count, prefix);
  // No caller's code runs from here to the library's call.
  const f64 = heapF64();
  const n = end - start;
  f64.set(typedHigh ? typedRange(high, start, end) : stage.subarray(0, n), scratchHigh / 8 + lead);
  f64.set(typedLow ? typedRange(low, start, end) : stage.subarray(CHUNK, CHUNK + n), scratchLow / 8 + lead);
}

/**
 * The count bars of high and low under the library's policy number, written
 * as floats to module memory at highOut and lowOut (byte offsets).  Throws a
 * TypeError for a price that is no number and a PriceError for a refused
 * one, their messages starting with prefix.
 */
export function takePrices(high, low, count, policy, highOut, lowOut, prefix = "") {
  const stage = takeStage();
  try {
    for (let start = 0; start < count; start += CHUNK) {
      const end = Math.min(count, start + CHUNK);
      // After the first chunk the previous bar's taken prices lead the chunk,
      // so that "previous" has the price to repeat; being taken prices they
      // pass every policy unchanged.  They are written once the chunk is
      // read, as reading it may run the caller's code.
      const lead = start === 0 ? 0 : 1;
      fillChunk(high, low, count, start, end, lead, prefix, stage);
      if (lead) {
        heapF64()[scratchHigh / 8] = heapF32()[highOut / 4 + start - 1];
        heapF64()[scratchLow / 8] = heapF32()[lowOut / 4 + start - 1];
      }
      const first = start - lead;
      const taken = wasm.TamselChart_ApplyMissingPolicy(
        scratchHigh,
        scratchLow,
        end - first,
        policy,
        highOut + first * 4,
        lowOut + first * 4,
        problemPointer,
      );
      if (taken === 0) {
        const problem = readProblem();
        problem.index = first + problem.bar - 1;
        problem.bar = problem.index + 1;
        problem.price = (problem.column === "high" ? high : low)[problem.index];
        throw new PriceError(`${prefix}${problem.column}[${problem.index}]`, problem);
      }
    }
  } finally {
    spareStage = stage;
  }
}

/**
 * One bar's prices through a stream's own policy: push (commit) or peek, the
 * values written at valuesOut.  Returns the bar number; throws as takePrices
 * does, naming the method and the bar.
 */
export function streamPrices(stream, high, low, valuesOut, method, nextBar) {
  // The message is made only for a price that is not a number: building it
  // for every bar would cost a live push more than the library's own work.
  const h = typeof high === "number" ? high : priceNumber(high, `${method}(): high of bar ${nextBar}`);
  const l = typeof low === "number" ? low : priceNumber(low, `${method}(): low of bar ${nextBar}`);
  const call = method === "peek" ? wasm.TamselChart_StreamPeekPrices : wasm.TamselChart_StreamPushPrices;
  const bar = call(stream, h, l, valuesOut, problemPointer);
  if (bar !== 0) return bar;
  const problem = readProblem();
  problem.index = null;
  problem.bar = nextBar;
  problem.price = problem.column === "high" ? high : low;
  throw new PriceError(`${method}(): ${problem.column} of bar ${nextBar}`, problem);
}

/**
 * One interval's prices for a stream set of count members, read whole into
 * stage (a Float64Array of 2 count: the highs, then the lows) before any of
 * them reaches module memory, for the reasons above; typed arrays are
 * copied last, once no caller's code can run to resize them.
 */
export function stageInterval(high, low, count, stage, method) {
  const typedHigh = typedArrayKind(high) !== undefined;
  const typedLow = typedArrayKind(low) !== undefined;
  for (let i = 0; i < count; ++i) {
    if (!typedHigh) {
      const h = high[i];
      stage[i] = typeof h === "number" ? h : priceNumber(h, `${method}: high[${i}]`);
    }
    if (!typedLow) {
      const l = low[i];
      stage[count + i] = typeof l === "number" ? l : priceNumber(l, `${method}: low[${i}]`);
    }
  }
  checkUnchanged(high, "high", count, `${method}: `);
  checkUnchanged(low, "low", count, `${method}: `);
  if (typedHigh) stage.set(typedRange(high, 0, count), 0);
  if (typedLow) stage.set(typedRange(low, 0, count), count);
}

/**
 * The PriceError of a stream set's push that the library refused, from the
 * problem and the member it reported; its bar is that member's next bar.
 */
export function intervalPriceError(high, low, method) {
  const problem = readProblem();
  const member = heapI32()[memberPointer / 4];
  problem.index = null;
  problem.member = member;
  const given = problem.column === "high" ? high : low;
  if (typedArrayKind(given) === undefined) problem.price = given[member];
  return new PriceError(`${method}: member ${member}, ${problem.column} of bar ${problem.bar}`, problem);
}
