// SPDX-License-Identifier: MIT
// TamselCharts for JavaScript: the four cycle indicators of a high/low price
// series, computed by the C library compiled to WebAssembly, bit for bit the
// values of every native build.
import { allocate, heapF32, heapF64, heapU8, INDICATOR_TABLE, POLICY_WORDS, VERSION, wasm } from "./module.js";
import { applyWarmup, blankedBars, checkOptions, checkSeries, describe, MAX_BARS, NO_WARMUP, seriesLength, WARMUP_BARS } from "./options.js";
import { intervalPriceError, memberPointer, PriceError, problemPointer, stageInterval, streamPrices, takePrices } from "./prices.js";
import { loadIntoMember, loadSnapshot, SNAPSHOT_MAX_BYTES, snapshotBuffer, SnapshotError } from "./snapshot.js";
import { typedArrayKind, typedRange } from "./typed-arrays.js";

export { MAX_BARS, PriceError, SnapshotError, VERSION, WARMUP_BARS };

/**
 * The library's indicator table: per indicator { name (the function and
 * result field here), column (its name in a CSV), title, exportName,
 * warmupBars, lowest, highest, mayBeNaN }, in the library's order.
 */
export const INDICATOR_INFO = INDICATOR_TABLE;

/** The size of the module's memory in bytes (WebAssembly memory grows and never shrinks). */
export function moduleMemoryBytes() {
  return wasm.memory.buffer.byteLength;
}

/** The names of the four indicators, in the order the library writes them. */
export const INDICATORS = Object.freeze(INDICATOR_TABLE.map((i) => i.name));

// One bar's four values: the library's TamselChart_Values, whose fields are
// the table's indicators in its order.
const valuesPointer = allocate(16, "one bar's values");
if (INDICATORS.length !== 4) throw new Error(`the library names ${INDICATORS.length} indicators, not a bar's 4 values`);

// ---- batch -----------------------------------------------------------------

// Runs `compute(highPointer, lowPointer, count, outPointers)` over the prices
// and returns the outputs as fresh Float32Arrays.  The first two outputs are
// computed in place over the prices (which the library allows: each bar's
// prices are read before its value is written), so a call holds 8 bytes a bar
// for one indicator and 16 for all four.
function runBatch(high, low, options, names, compute) {
  const { policy, warmup } = checkOptions(options);
  const count = checkSeries(high, low);
  const results = {};
  if (count === 0) {
    for (const name of names) results[name] = new Float32Array(0);
    return results;
  }
  // Sizes are JavaScript numbers, exact far past 2^32, and checked before
  // they reach the module (allocate refuses more than its memory).
  const arrayBytes = count * 4;
  const block = allocate(arrayBytes * Math.max(2, names.length), `${count} bars`);
  try {
    const highAt = block;
    const lowAt = block + arrayBytes;
    takePrices(high, low, count, policy, highAt, lowAt);
    const outs = names.map((_, i) => block + arrayBytes * i);
    compute(highAt, lowAt, count, outs);
    const heap = heapF32();
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

/**
 * All four indicators of several series in one call of the library, which
 * computes series side by side in one pass: each series gets exactly the
 * values `indicators(high, low, options)` gives it.  Every error about one
 * series (a refused price, a wrong type, unequal lengths) starts with its
 * index, as "series[3]: ".
 * @param {{high: ArrayLike<number>, low: ArrayLike<number>}[]} series
 * @returns {{cyclePeriod: Float32Array, signalToNoiseRatio: Float32Array,
 *            swingPosition: Float32Array, trendVigor: Float32Array}[]}
 */
export function indicatorsMany(series, options) {
  const { policy, warmup } = checkOptions(options);
  if (!Array.isArray(series)) throw new TypeError("series must be an array of { high, low } objects");
  // Each series' arrays and bar count are taken once, here: a getter or a
  // Proxy that answered otherwise later would make the call read one length
  // and copy out another, past its block.  Every index is visited, so that
  // a hole is refused rather than left as an unwritten table entry.
  const seriesCount = seriesLength(series, "series");
  const taken = [];
  for (let i = 0; i < seriesCount; ++i) {
    const one = series[i];
    if (one === null || typeof one !== "object")
      throw new TypeError(`series[${i}] must be a { high, low } object, got ${describe(one)}`);
    const { high, low } = one;
    taken.push({ high, low, count: checkSeries(high, low, `series[${i}]: `) });
  }
  // Each series' block holds its prices and its four outputs; the table of
  // TamselChart_SeriesIO entries (seven 32-bit words each) comes first.
  const ENTRY_BYTES = 28;
  const blocks = [];
  const table = allocate(ENTRY_BYTES * Math.max(1, seriesCount), `${seriesCount} series`);
  try {
    taken.forEach(({ high, low, count }, i) => {
      const arrayBytes = count * 4;
      const block = allocate(arrayBytes * 6, `${count} bars of series ${i}`);
      blocks.push(block);
      takePrices(high, low, count, policy, block, block + arrayBytes, `series[${i}]: `);
      const words = new Uint32Array(wasm.memory.buffer, table + ENTRY_BYTES * i, 7);
      words.set([block, block + arrayBytes, count, ...[2, 3, 4, 5].map((k) => block + arrayBytes * k)]);
    });
    // The call computes every series of at least one bar, or none when the
    // module cannot get the memory its check of the arrays needs: then the
    // outputs hold whatever the allocator left there.
    const wanted = taken.filter(({ count }) => count > 0).length;
    if (wasm.TamselChart_AllIndicatorsMany(seriesCount, table) !== wanted)
      throw new RangeError(`out of memory: cannot compute ${seriesCount} series in one call`);
    const heap = heapF32();
    return taken.map(({ count }, i) => {
      const results = {};
      INDICATORS.forEach((name, k) => {
        const at = blocks[i] / 4 + count * (2 + k);
        const out = heap.slice(at, at + count);
        applyWarmup(out, name, warmup, 0);
        results[name] = out;
      });
      return results;
    });
  } finally {
    for (const block of blocks) wasm.free(block);
    wasm.free(table);
  }
}

// The batch function of each indicator, calling the export the table names.
const SINGLES = Object.fromEntries(
  INDICATOR_TABLE.map(({ name, exportName }) => {
    const compute = wasm[exportName];
    if (typeof compute !== "function") throw new Error(`the module does not export ${exportName}`);
    const single = (high, low, options) =>
      runBatch(high, low, options, [name], (h, l, count, outs) => compute(h, l, count, outs[0]))[name];
    return [name, single];
  }),
);

/** Length in bars of the dominant cycle, 6 to 30 (0, then 18 while warming up). */
export const cyclePeriod = SINGLES.cyclePeriod;
/** Strength of the dominant cycle against the bars' range: 1, 2 to 12, or 11. */
export const signalToNoiseRatio = SINGLES.signalToNoiseRatio;
/** Where the price stands in the measured cycle's swing, -5 (bottom) to +5 (top). */
export const swingPosition = SINGLES.swingPosition;
/** Price change over about one cycle in units of the cycle's swing, -10 to +10. */
export const trendVigor = SINGLES.trendVigor;

// ---- stream ----------------------------------------------------------------

// Every Stream keeps its state in JavaScript memory (a Uint8Array the
// garbage collector reclaims like any other when the stream is dropped) and
// the library works on it in one slot of module memory: the stream last used
// stays in the slot, and another one's use first copies it out.  Module
// memory therefore holds one stream however many there are, and a stream
// needs neither free() nor a finaliser to give its memory back.
const slot = wasm.TamselChart_StreamCreate() >>> 0;
if (slot === 0) throw new RangeError("out of memory: cannot create the stream slot");
const STREAM_BYTES = wasm.malloc_usable_size(slot) >>> 0;
let resident = null;
// Room for the problem a peek may report (TamselChart_PriceProblem, 24 bytes).
const problemScratch = allocate(24, "a price problem");

// The snapshot of the stream in module memory at pointer, as fresh bytes.
function saveSnapshot(pointer) {
  const size = wasm.TamselChart_StreamSave(pointer, snapshotBuffer, SNAPSHOT_MAX_BYTES);
  if (size <= 0 || size > SNAPSHOT_MAX_BYTES) throw new Error(`the library cannot save the stream (size ${size})`);
  return heapU8().slice(snapshotBuffer, snapshotBuffer + size);
}

/** The indicators one bar at a time, for live data. */
export class Stream {
  #state = null; // the stream's bytes while another one is in the slot; null for a fresh stream
  #policy = 0;
  #missing;
  #warmup;
  #bars = 0;
  #alive = true;

  constructor(options) {
    ({ missing: this.#missing, policy: this.#policy, warmup: this.#warmup } = checkOptions(options));
  }

  // Puts this stream in the slot, the one there before copied out.
  #enter(method) {
    if (!this.#alive) throw new Error(`Stream.${method}(): the stream has been freed`);
    if (resident === this) return;
    if (resident !== null) resident.#leave();
    if (this.#state === null) {
      wasm.TamselChart_StreamReset(slot);
      wasm.TamselChart_StreamSetMissingPolicy(slot, this.#policy);
    } else {
      heapU8().set(this.#state, slot);
    }
    resident = this;
  }

  #leave() {
    this.#state ??= new Uint8Array(STREAM_BYTES);
    this.#state.set(heapU8().subarray(slot, slot + STREAM_BYTES));
    resident = null;
  }

  #values(bar) {
    const heap = heapF32();
    const at = valuesPointer / 4;
    // One literal of a fixed shape, the fastest object a push can return.
    const values = {
      bar,
      [INDICATORS[0]]: heap[at],
      [INDICATORS[1]]: heap[at + 1],
      [INDICATORS[2]]: heap[at + 2],
      [INDICATORS[3]]: heap[at + 3],
    };
    if (this.#warmup !== NO_WARMUP)
      for (const name of INDICATORS) values[name] = applyWarmupValue(values[name], name, this.#warmup, bar);
    return values;
  }

  /** Commits one closed bar and returns its values (`bar` is its 1-based number). */
  push(high, low) {
    this.#enter("push");
    const bar = streamPrices(slot, high, low, valuesPointer, "push", this.#bars + 1);
    this.#bars = bar;
    return this.#values(bar);
  }

  /** The values the bar would get if pushed now, committing nothing: for the forming bar. */
  peek(high, low) {
    this.#enter("peek");
    return this.#values(streamPrices(slot, high, low, valuesPointer, "peek", this.#bars + 1));
  }

  /** An independent copy that continues exactly as this stream would. */
  clone() {
    if (!this.#alive) throw new Error("Stream.clone(): the stream has been freed");
    const copy = new Stream({ missing: this.#missing, warmup: this.#warmup });
    if (resident === this) copy.#state = heapU8().slice(slot, slot + STREAM_BYTES);
    else copy.#state = this.#state === null ? null : this.#state.slice();
    copy.#bars = this.#bars;
    return copy;
  }

  /**
   * The stream's snapshot: the library's own bytes (the same on every build,
   * native or WebAssembly), which Stream.load turns back into a stream
   * continuing exactly as this one, its missing option included.
   */
  save() {
    this.#enter("save");
    return saveSnapshot(slot);
  }

  /**
   * A stream continuing exactly as the one whose save() gave bytes (a
   * Uint8Array, any other view of bytes, an ArrayBuffer or a
   * SharedArrayBuffer).  Its missing option is the saved stream's; options
   * may give its warmup only.  Throws a SnapshotError for bytes that are no
   * snapshot the library can take.
   */
  static load(bytes, options) {
    if (options !== null && typeof options === "object" && options.missing !== undefined)
      throw new TypeError("Stream.load(): the snapshot carries its own missing option; only warmup can be given");
    // Checked as every other call's options, before the bytes: a number or
    // an array spread into an object would otherwise pass as no options.
    const { warmup } = checkOptions(options);
    const loaded = loadSnapshot(bytes);
    try {
      const policy = wasm.TamselChart_StreamMissingPolicy(loaded);
      const stream = new Stream({ warmup, missing: POLICY_WORDS[policy] });
      // The next bar's number, from a peek at prices every policy takes.
      const next = wasm.TamselChart_StreamPeekPrices(loaded, 1, 1, valuesPointer, problemScratch);
      if (next === 0) throw new SnapshotError(0, "the loaded stream refuses a bar of finite prices");
      stream.#bars = next - 1;
      stream.#state = heapU8().slice(loaded, loaded + STREAM_BYTES);
      return stream;
    } finally {
      wasm.TamselChart_StreamDestroy(loaded);
    }
  }

  /** Back to bar 1, as a fresh stream with the same options. */
  reset() {
    if (!this.#alive) throw new Error("Stream.reset(): the stream has been freed");
    if (resident === this) resident = null;
    this.#state = null;
    this.#bars = 0;
  }

  /**
   * Ends the stream: later calls but free() throw.  A stream holds no module
   * memory of its own, so dropping it without free() loses nothing; free()
   * (or a `using` declaration) just lets go of its state at once.
   */
  free() {
    if (resident === this) resident = null;
    this.#state = null;
    this.#alive = false;
  }

  /** The number of bars pushed so far. */
  get bars() {
    return this.#bars;
  }

  /** The missing option of this stream. */
  get missing() {
    return this.#missing;
  }

  /** False once free() has been called. */
  get alive() {
    return this.#alive;
  }
}

// `using stream = new Stream()` where the runtime has explicit resource management.
if (typeof Symbol.dispose === "symbol") Stream.prototype[Symbol.dispose] = Stream.prototype.free;

function applyWarmupValue(value, name, warmup, bar) {
  const one = Float32Array.of(value);
  applyWarmup(one, name, warmup, bar - 1);
  return one[0];
}

// ---- stream set ------------------------------------------------------------

// A set's state is the library's, in module memory (about 12 KiB a member,
// up to twice that where members are computed side by side), taken whole
// when the set is made, with the block its pushes pass through.  free()
// gives both back at once; a set dropped without free() gives them back
// when the garbage collector finalises it.
const setMemory = new FinalizationRegistry(({ set, io }) => {
  wasm.TamselChart_StreamSetDestroy(set);
  wasm.free(io);
});

// A push's block in module memory, per member: its high and low as doubles
// (all highs, then all lows), its TamselChart_Values (four floats) and its
// has-a-bar flag.
const PRICE_BYTES = 16;
const VALUE_BYTES = 16;

// Copies one has-a-bar flag per member into flags: true or 1 for a member
// with a bar this interval, false or 0 for one without.  Anything else (a
// string "false" is truthy) is refused rather than guessed.
function stageFlags(hasBar, count, flags) {
  const length = seriesLength(hasBar, "push(): hasBar");
  if (length !== count) throw new RangeError(`push(): hasBar has ${length} flags, one per member needs ${count}`);
  const values = typedArrayKind(hasBar) !== undefined ? typedRange(hasBar, 0, count) : hasBar;
  for (let i = 0; i < count; ++i) {
    const flag = values[i];
    if (flag === true || flag === 1) flags[i] = 1;
    else if (flag === false || flag === 0) flags[i] = 0;
    else throw new TypeError(`push(): hasBar[${i}] must be true, false, 1 or 0, got ${describe(flag)}`);
  }
}

/**
 * A stream for each of a fixed number of series (members, numbered from 0),
 * pushed together one interval at a time: at every bar each member gives
 * exactly the values of a Stream of its own pushed with the same bars.
 */
export class StreamSet {
  #set = 0;
  #io = 0;
  #size;
  #bars;
  #warmup;
  #alive = true;
  // Scratch for one push's prices and flags, taken while a push reads into
  // it (a price's getter may push again, with scratch of its own).
  #stage = null;
  #flags = null;

  /** A set of memberCount members at bar 1; options.missing applies to every member. */
  constructor(memberCount, options) {
    const { policy, warmup } = checkOptions(options);
    if (typeof memberCount !== "number")
      throw new TypeError(`StreamSet: the member count must be a number, got ${describe(memberCount)}`);
    if (!Number.isSafeInteger(memberCount) || memberCount < 1)
      throw new RangeError(`StreamSet: the member count must be a whole number of at least 1, got ${memberCount}`);
    const io = allocate(memberCount * (PRICE_BYTES + VALUE_BYTES + 1), `a stream set of ${memberCount} members`);
    const set = wasm.TamselChart_StreamSetCreate(memberCount) >>> 0;
    if (set === 0) {
      wasm.free(io);
      throw new RangeError(`out of memory: cannot create a stream set of ${memberCount} members`);
    }
    wasm.TamselChart_StreamSetSetMissingPolicy(set, -1, policy);
    this.#set = set;
    this.#io = io;
    this.#size = memberCount;
    this.#bars = new Float64Array(memberCount);
    this.#warmup = warmup;
    // A member without a bar yet has no values.
    heapF32().fill(NaN, this.#valuesAt() / 4, this.#valuesAt() / 4 + 4 * memberCount);
    setMemory.register(this, { set, io }, this);
  }

  #valuesAt() {
    return this.#io + PRICE_BYTES * this.#size;
  }

  #live(method) {
    if (!this.#alive) throw new Error(`StreamSet.${method}(): the set has been freed`);
  }

  #member(member, method) {
    this.#live(method);
    if (typeof member !== "number") throw new TypeError(`StreamSet.${method}(): member must be a number, got ${describe(member)}`);
    if (!Number.isSafeInteger(member) || member < 0 || member >= this.#size)
      throw new RangeError(`StreamSet.${method}(): member must be a whole number from 0 to ${this.#size - 1}, got ${member}`);
    return member;
  }

  /**
   * Commits one interval's closed bars: high[i] and low[i] are member i's,
   * under its missing option.  hasBar (omitted: every member has a bar)
   * marks with false or 0 the members with no bar this interval, which do
   * not advance and whose prices are not read by the library.  All or
   * nothing: a refused price throws a PriceError naming the member, and no
   * member advances.  Returns every member's latest values: `bar[i]` is
   * member i's bar number (0 before its first bar, when its values are NaN).
   */
  push(high, low, hasBar) {
    this.#live("push");
    const count = this.#size;
    for (const [values, name] of [[high, "high"], [low, "low"]]) {
      const length = seriesLength(values, `push(): ${name}`);
      if (length !== count) throw new RangeError(`push(): ${name} has ${length} prices, one per member needs ${count}`);
    }
    const stage = this.#stage ?? new Float64Array(2 * count);
    this.#stage = null;
    const flags = hasBar === undefined || hasBar === null ? null : (this.#flags ?? new Uint8Array(count));
    if (flags !== null) this.#flags = null;
    try {
      stageInterval(high, low, count, stage, "push()");
      if (flags !== null) stageFlags(hasBar, count, flags);
      // Reading the prices may have run the caller's code, which may have
      // freed the set.
      this.#live("push");
      const io = this.#io;
      heapF64().set(stage, io / 8);
      const flagsAt = this.#valuesAt() + VALUE_BYTES * count;
      if (flags !== null) heapU8().set(flags, flagsAt);
      const taken = wasm.TamselChart_StreamSetPushPrices(
        this.#set,
        io,
        io + 8 * count,
        flags === null ? 0 : flagsAt,
        this.#valuesAt(),
        problemPointer,
        memberPointer,
      );
      if (taken < 0) throw intervalPriceError(high, low, "push()");
      for (let i = 0; i < count; ++i) if (flags === null || flags[i] !== 0) this.#bars[i] += 1;
    } finally {
      this.#stage = stage;
      if (flags !== null) this.#flags = flags;
    }
    return this.#latest();
  }

  #latest() {
    const count = this.#size;
    const heap = heapF32();
    const at = this.#valuesAt() / 4;
    const latest = { bar: this.#bars.slice() };
    INDICATORS.forEach((name, k) => {
      const values = new Float32Array(count);
      for (let i = 0; i < count; ++i) values[i] = heap[at + 4 * i + k];
      // Bar b (1-based) is blanked when its index b - 1 is below the count.
      const blanked = blankedBars(name, this.#warmup);
      for (let i = 0; i < count && blanked > 0; ++i) if (latest.bar[i] <= blanked) values[i] = NaN;
      latest[name] = values;
    });
    return latest;
  }

  /**
   * Member `member` as a stream snapshot: the bytes Stream.save() gives for
   * a stream in its state, which Stream.load and StreamSet.load take.
   */
  save(member) {
    const i = this.#member(member, "save");
    const size = wasm.TamselChart_StreamSetSave(this.#set, i, snapshotBuffer, SNAPSHOT_MAX_BYTES);
    if (size <= 0 || size > SNAPSHOT_MAX_BYTES) throw new Error(`StreamSet.save(): the library cannot save member ${i} (size ${size})`);
    return heapU8().slice(snapshotBuffer, snapshotBuffer + size);
  }

  /**
   * Replaces member `member` with the stream of a snapshot (of a Stream or
   * of a member), its missing option included.  Throws a SnapshotError for
   * bytes the library cannot take, leaving the member as it was.
   */
  load(member, bytes) {
    const i = this.#member(member, "load");
    const stream = loadSnapshot(bytes, "StreamSet.load()");
    try {
      // The next bar's number, from a peek at prices every policy takes.
      const next = wasm.TamselChart_StreamPeekPrices(stream, 1, 1, valuesPointer, problemScratch);
      if (next === 0) throw new SnapshotError(0, "the loaded stream refuses a bar of finite prices", "StreamSet.load()");
      loadIntoMember(this.#set, i, stream, "StreamSet.load()");
      this.#bars[i] = next - 1;
      const at = this.#valuesAt() / 4 + 4 * i;
      heapF32().fill(NaN, at, at + 4);
    } finally {
      wasm.TamselChart_StreamDestroy(stream);
    }
  }

  /** Member `member`'s missing option (a loaded member's is its snapshot's). */
  missing(member) {
    return POLICY_WORDS[wasm.TamselChart_StreamSetMemberMissingPolicy(this.#set, this.#member(member, "missing"))];
  }

  /** Gives the set's module memory back; later calls but free() throw. */
  free() {
    if (!this.#alive) return;
    this.#alive = false;
    setMemory.unregister(this);
    wasm.TamselChart_StreamSetDestroy(this.#set);
    wasm.free(this.#io);
    this.#set = 0;
    this.#io = 0;
  }

  /** The number of members. */
  get size() {
    return this.#size;
  }

  /** Each member's bars pushed so far, as a fresh Float64Array. */
  get bars() {
    return this.#bars.slice();
  }

  /** False once free() has been called. */
  get alive() {
    return this.#alive;
  }
}

if (typeof Symbol.dispose === "symbol") StreamSet.prototype[Symbol.dispose] = StreamSet.prototype.free;
