// SPDX-License-Identifier: MIT
// TamselCharts for JavaScript: the four cycle indicators of a high/low price
// series, computed by the C library compiled to WebAssembly, bit for bit the
// values of every native build.
import wasmBase64 from "../lib/tamselcharts-wasm.js";
import { applyWarmup, checkOptions, NO_WARMUP, preparePrices, priceOf, WARMUP_BARS } from "./options.js";

export { WARMUP_BARS };

// ---- the module ------------------------------------------------------------

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The module imports nothing but a notice that its memory grew (every view
// of the memory must then be taken afresh).
let memoryGrew = true;
const { instance } = await WebAssembly.instantiate(decodeBase64(wasmBase64), {
  env: {
    emscripten_notify_memory_growth() {
      memoryGrew = true;
    },
  },
});
const wasm = instance.exports;
wasm._initialize();

let heapF32 = null;
function floats() {
  if (memoryGrew || heapF32.buffer !== wasm.memory.buffer) {
    heapF32 = new Float32Array(wasm.memory.buffer);
    memoryGrew = false;
  }
  return heapF32;
}

function allocate(bytes) {
  const pointer = wasm.malloc(bytes);
  if (pointer === 0) throw new RangeError(`out of memory: cannot allocate ${bytes} bytes for the bars`);
  return pointer;
}

// One bar's four values: the library's TamselChart_Values.
const valuesPointer = allocate(16);

// ---- batch -----------------------------------------------------------------

const BATCH = {
  cyclePeriod: wasm.TamselChart_CyclePeriod,
  signalToNoiseRatio: wasm.TamselChart_SignalToNoiseRatio,
  swingPosition: wasm.TamselChart_SwingPosition,
  trendVigor: wasm.TamselChart_TrendVigor,
};

/** The names of the four indicators, in the order the library writes them. */
export const INDICATORS = Object.freeze(Object.keys(BATCH));

// Runs `compute(highPointer, lowPointer, count, outPointers)` over the prices
// held in wasm memory and returns the outputs as fresh Float32Arrays.
function runBatch(high, low, options, names, compute) {
  const { missing, warmup } = checkOptions(options);
  const [h, l] = preparePrices(high, low, missing);
  const count = h.length;
  const results = {};
  if (count === 0) {
    for (const name of names) results[name] = new Float32Array(0);
    return results;
  }
  const bytes = count * 4;
  const block = allocate(bytes * (2 + names.length));
  try {
    floats().set(h, block / 4);
    floats().set(l, (block + bytes) / 4);
    const outs = names.map((_, i) => block + bytes * (2 + i));
    compute(block, block + bytes, count, outs);
    const heap = floats();
    names.forEach((name, i) => {
      const out = heap.slice(outs[i] / 4, outs[i] / 4 + count);
      applyWarmup(out, name, warmup, 0);
      results[name] = out;
    });
  } finally {
    wasm.free(block);
  }
  return results;
}

/**
 * All four indicators from one pass of the engine.
 * @returns {{cyclePeriod: Float32Array, signalToNoiseRatio: Float32Array,
 *            swingPosition: Float32Array, trendVigor: Float32Array}}
 */
export function indicators(high, low, options) {
  return runBatch(high, low, options, INDICATORS, (h, l, count, outs) =>
    wasm.TamselChart_AllIndicators(h, l, count, ...outs),
  );
}

function single(name) {
  return (high, low, options) =>
    runBatch(high, low, options, [name], (h, l, count, outs) => BATCH[name](h, l, count, outs[0]))[name];
}

/** Length in bars of the dominant cycle, 6 to 30 (0, then 18 while warming up). */
export const cyclePeriod = single("cyclePeriod");
/** Strength of the dominant cycle against the bars' range: 1, 2 to 12, or 11. */
export const signalToNoiseRatio = single("signalToNoiseRatio");
/** Where the price stands in the measured cycle's swing, -5 (bottom) to +5 (top). */
export const swingPosition = single("swingPosition");
/** Price change over about one cycle in units of the cycle's swing, -10 to +10. */
export const trendVigor = single("trendVigor");

// ---- stream ----------------------------------------------------------------

// A stream dropped without free() is freed when it is collected; free() is
// still the way to give the memory back at a known time.
const streams = new FinalizationRegistry((pointer) => wasm.TamselChart_StreamDestroy(pointer));

const secret = Symbol("stream internals");

/** The indicators one bar at a time, for live data. */
export class Stream {
  #pointer = 0;
  #missing;
  #warmup;
  #previousHigh = NaN;
  #previousLow = NaN;
  #bars = 0;

  constructor(options, internals) {
    if (internals !== undefined && internals.key === secret) {
      ({ pointer: this.#pointer, missing: this.#missing, warmup: this.#warmup } = internals);
    } else {
      ({ missing: this.#missing, warmup: this.#warmup } = checkOptions(options));
      this.#pointer = wasm.TamselChart_StreamCreate();
      if (this.#pointer === 0) throw new RangeError("out of memory: cannot create a stream");
    }
    streams.register(this, this.#pointer, this);
  }

  #live(method) {
    if (this.#pointer === 0) throw new Error(`Stream.${method}(): the stream has been freed`);
    return this.#pointer;
  }

  #prices(high, low, method) {
    const h = priceOf(high, "high", method, this.#missing, this.#previousHigh, this.#bars);
    const l = priceOf(low, "low", method, this.#missing, this.#previousLow, this.#bars);
    return [h, l];
  }

  #values(bar) {
    const heap = floats();
    const at = valuesPointer / 4;
    const values = {
      bar,
      cyclePeriod: heap[at],
      signalToNoiseRatio: heap[at + 1],
      swingPosition: heap[at + 2],
      trendVigor: heap[at + 3],
    };
    if (this.#warmup !== NO_WARMUP)
      for (const name of INDICATORS) values[name] = applyWarmupValue(values[name], name, this.#warmup, bar);
    return values;
  }

  /** Commits one closed bar and returns its values (`bar` is its 1-based number). */
  push(high, low) {
    const pointer = this.#live("push");
    const [h, l] = this.#prices(high, low, "push");
    const bar = wasm.TamselChart_StreamPush(pointer, h, l, valuesPointer);
    this.#previousHigh = h;
    this.#previousLow = l;
    this.#bars = bar;
    return this.#values(bar);
  }

  /** The values the bar would get if pushed now, committing nothing: for the forming bar. */
  peek(high, low) {
    const pointer = this.#live("peek");
    const [h, l] = this.#prices(high, low, "peek");
    return this.#values(wasm.TamselChart_StreamPeek(pointer, h, l, valuesPointer));
  }

  /** An independent copy that continues exactly as this stream would. */
  clone() {
    const copy = wasm.TamselChart_StreamClone(this.#live("clone"));
    if (copy === 0) throw new RangeError("out of memory: cannot clone the stream");
    const stream = new Stream(undefined, { key: secret, pointer: copy, missing: this.#missing, warmup: this.#warmup });
    stream.#previousHigh = this.#previousHigh;
    stream.#previousLow = this.#previousLow;
    stream.#bars = this.#bars;
    return stream;
  }

  /** Back to bar 1, as a fresh stream with the same options. */
  reset() {
    wasm.TamselChart_StreamReset(this.#live("reset"));
    this.#previousHigh = NaN;
    this.#previousLow = NaN;
    this.#bars = 0;
  }

  /** Gives the stream's memory back; the stream cannot be used afterwards. Repeated calls do nothing. */
  free() {
    if (this.#pointer === 0) return;
    streams.unregister(this);
    wasm.TamselChart_StreamDestroy(this.#pointer);
    this.#pointer = 0;
  }

  /** The number of bars pushed so far. */
  get bars() {
    return this.#bars;
  }

  /** False once free() has been called. */
  get alive() {
    return this.#pointer !== 0;
  }
}

function applyWarmupValue(value, name, warmup, bar) {
  const one = Float32Array.of(value);
  applyWarmup(one, name, warmup, bar - 1);
  return one[0];
}
