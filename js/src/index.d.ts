// SPDX-License-Identifier: MIT
/**
 * TamselCharts: four cycle indicators of a high/low price series, computed by
 * the C library compiled to WebAssembly, bit for bit the values of its native
 * builds.  Prices go in as numbers (rounded to 32-bit floats, as the library
 * takes them), oldest bar first; every result is a Float32Array with one value
 * per bar.
 */

/** A series of prices, oldest bar first; null, undefined and NaN are missing prices. */
export type Prices =
  | readonly (number | null | undefined)[]
  | Float32Array
  | Float64Array
  | Int8Array
  | Uint8Array
  | Uint8ClampedArray
  | Int16Array
  | Uint16Array
  | Int32Array
  | Uint32Array;

/**
 * What to do with a missing price (NaN, null or undefined), the library's own
 * policy (the same in tamsel and the Python and R packages):
 * - "error" (default): throw a PriceError naming the first missing, infinite
 *   or out-of-range price;
 * - "previous": repeat the same column's previous price (a missing first bar,
 *   an infinite or out-of-range price is still a PriceError);
 * - "nan": every price as it is (NaN and infinities pass; a price beyond the
 *   32-bit float range becomes an infinity); one NaN freezes the cycle
 *   spectrum for the rest of the series (the swing position turns NaN, the
 *   others repeat).
 */
export type Missing = "error" | "previous" | "nan";

/**
 * The start-up bars:
 * - "values" (default): the library's own start-up values;
 * - "nan": NaN on each indicator's start-up bars (WARMUP_BARS);
 * - a whole number N: NaN on the first N bars of every indicator.
 */
export type Warmup = "values" | "nan" | number;

export interface Options {
  missing?: Missing;
  warmup?: Warmup;
}

export type IndicatorName = "cyclePeriod" | "signalToNoiseRatio" | "swingPosition" | "trendVigor";

/** The four indicator series of a whole high/low series. */
export interface Indicators {
  /** Length in bars of the dominant cycle: 0 on bars 1-2, 18 on bars 3-14, then 6 to 30. */
  cyclePeriod: Float32Array;
  /** Strength of the cycle against the bars' range: 1, 2 to 12, or 11; 1 on bars 1-12. */
  signalToNoiseRatio: Float32Array;
  /** -5 (bottom of the swing) to +5 (top); NaN where the last 51 bars give no range. */
  swingPosition: Float32Array;
  /** -10 to +10; near 0 when the market only oscillates. */
  trendVigor: Float32Array;
}

/** The four values of one bar, and its 1-based number. */
export interface Values {
  bar: number;
  cyclePeriod: number;
  signalToNoiseRatio: number;
  swingPosition: number;
  trendVigor: number;
}

/** One entry of the library's indicator table. */
export interface IndicatorInfo {
  /** The function and result field here, such as "cyclePeriod". */
  readonly name: IndicatorName;
  /** Its column in a CSV, such as "cycle_period". */
  readonly column: string;
  /** For a chart or a table heading, such as "Cycle period". */
  readonly title: string;
  /** The C export, such as "TamselChart_CyclePeriod". */
  readonly exportName: string;
  /** Start-up bars (warmup: "nan" blanks them). */
  readonly warmupBars: number;
  /** Every value on finite prices lies in lowest..highest. */
  readonly lowest: number;
  readonly highest: number;
  /** True where the value may be NaN on finite prices too (swing position). */
  readonly mayBeNaN: boolean;
}

/** The library's indicator table, in the library's order. */
export declare const INDICATOR_INFO: readonly IndicatorInfo[];
/** The library's version, "MAJOR.MINOR.PATCH" (the package's version too). */
export declare const VERSION: string;
/** The most bars one batch call takes (a RangeError beyond). */
export declare const MAX_BARS: number;
/** The size of the WebAssembly memory in bytes; it grows and never shrinks. */
export declare function moduleMemoryBytes(): number;

/** A price the missing option refuses: a RangeError naming the bar. */
export declare class PriceError extends RangeError {
  readonly kind: "missing" | "infinite" | "out-of-range" | "no-previous";
  readonly column: "high" | "low";
  /** The bar's 1-based number. */
  readonly bar: number;
  /** The bar's 0-based index in a batch call's arrays; null for a stream. */
  readonly index: number | null;
  /** The refusing member of a StreamSet push; null elsewhere. */
  readonly member: number | null;
  /** The price as given (null or undefined for a missing one). */
  readonly price: unknown;
}

/** Bytes Stream.load or StreamSet.load cannot take: the library's reason, as a number and a name. */
export declare class SnapshotError extends Error {
  /** The library's reason number (TAMSELCHART_SNAPSHOT_TOO_SHORT is 1, and so on). */
  readonly reason: number;
  /** The reason's name, such as "SNAPSHOT_DAMAGED". */
  readonly code:
    | "SNAPSHOT_TOO_SHORT"
    | "SNAPSHOT_NOT_A_SNAPSHOT"
    | "SNAPSHOT_UNKNOWN_FORMAT"
    | "SNAPSHOT_DAMAGED"
    | "SNAPSHOT_UNREACHABLE"
    | "SNAPSHOT_OUT_OF_MEMORY";
}

/** Each indicator's start-up bars, the ones warmup: "nan" blanks. */
export declare const WARMUP_BARS: Readonly<Record<IndicatorName, number>>;
/** The indicators' names, in the library's order. */
export declare const INDICATORS: readonly IndicatorName[];

/**
 * All four indicators from one pass of the engine.
 * @throws TypeError for arguments of the wrong type, RangeError for unequal
 *   lengths, more than MAX_BARS bars, bad option values and a series that
 *   changes length while it is read, PriceError (a RangeError) for a price
 *   the missing option refuses.
 */
export declare function indicators(high: Prices, low: Prices, options?: Options): Indicators;
/**
 * All four indicators of several series in one call of the library, each
 * series exactly what indicators() gives it; the message of every error
 * about one series (a refused price, a wrong type, unequal lengths) starts
 * with its index, as "series[3]: ".
 */
export declare function indicatorsMany(series: readonly { high: Prices; low: Prices }[], options?: Options): Indicators[];
export declare function cyclePeriod(high: Prices, low: Prices, options?: Options): Float32Array;
export declare function signalToNoiseRatio(high: Prices, low: Prices, options?: Options): Float32Array;
export declare function swingPosition(high: Prices, low: Prices, options?: Options): Float32Array;
export declare function trendVigor(high: Prices, low: Prices, options?: Options): Float32Array;

/**
 * The indicators one bar at a time, for live data: pushing a series bar by
 * bar gives at every bar exactly the batch values of that prefix.  A stream's
 * state (about 12 KiB) lives in JavaScript memory and is collected like any
 * object: dropping a stream loses nothing, free() only ends it early.
 */
export declare class Stream {
  constructor(options?: Options);
  /** Commits one closed bar and returns its values. */
  push(high: number | null | undefined, low: number | null | undefined): Values;
  /** The values the bar would get if pushed now, committing nothing (the forming bar). */
  peek(high: number | null | undefined, low: number | null | undefined): Values;
  /** An independent copy that continues exactly as this stream would. */
  clone(): Stream;
  /**
   * The stream's snapshot, the library's own bytes (about 11 KiB, the same on
   * every build, native or WebAssembly), for Stream.load here or the
   * library's TamselChart_StreamLoad anywhere.
   */
  save(): Uint8Array;
  /**
   * A stream continuing exactly as the saved one, its missing option (and
   * the prices "previous" would repeat) included; options give its warmup
   * only.
   * @throws SnapshotError for bytes that are no snapshot the library takes,
   *   TypeError for anything but bytes or for a missing option.
   */
  static load(bytes: ArrayBufferView | ArrayBuffer | SharedArrayBuffer, options?: { warmup?: Warmup }): Stream;
  /** Back to bar 1, keeping the options. */
  reset(): void;
  /** Ends the stream; any later call but free() throws. */
  free(): void;
  // Where the runtime has Symbol.dispose, stream[Symbol.dispose] is free()
  // (for a `using` declaration); not declared, so that no newer lib is needed.
  /** The stream's missing option. */
  readonly missing: Missing;
  /** Bars pushed so far. */
  readonly bars: number;
  /** False once freed. */
  readonly alive: boolean;
}

/** Every member's latest values after a StreamSet push, member i at index i. */
export interface SetValues {
  /** Each member's bar number: 0 before its first bar, when its values are NaN. */
  bar: Float64Array;
  cyclePeriod: Float32Array;
  signalToNoiseRatio: Float32Array;
  swingPosition: Float32Array;
  trendVigor: Float32Array;
}

/** One flag per member: true or 1 for a member with a bar this interval, false or 0 for one without. */
export type BarFlags = readonly (boolean | 0 | 1)[] | Uint8Array | Int8Array | Float64Array;

/**
 * A stream for each of a fixed number of series (members, numbered from 0),
 * pushed together one interval at a time: at every bar each member gives
 * exactly the values of a Stream of its own pushed with the same bars.  Its
 * state (about 12 KiB a member, up to twice that) lives in the module's
 * memory: free() gives it back at once, the garbage collector some time
 * after the set is dropped.
 */
export declare class StreamSet {
  /**
   * A set of memberCount members at bar 1, options.missing applying to every member.
   * @throws TypeError or RangeError for a count that is no whole number of at
   *   least 1, RangeError where the module's memory cannot hold the set.
   */
  constructor(memberCount: number, options?: Options);
  /**
   * Commits one interval's closed bars, member i's at index i.  Members that
   * hasBar marks false or 0 have no bar this interval: they do not advance
   * and the library does not read their prices.  All or nothing: a refused
   * price throws a PriceError naming the member, and no member advances.
   * @throws RangeError unless every array has one entry per member,
   *   TypeError for a price that is no number or a flag that is no boolean
   *   or 0 or 1, PriceError for a price a member's missing option refuses.
   */
  push(high: Prices, low: Prices, hasBar?: BarFlags | null): SetValues;
  /** A member as a stream snapshot, the bytes Stream.save() gives for a stream in its state. */
  save(member: number): Uint8Array;
  /**
   * Replaces a member with the stream of a snapshot (a Stream's or a
   * member's), its missing option included.
   * @throws SnapshotError for bytes the library does not take (the member
   *   stays as it was), TypeError for anything but bytes.
   */
  load(member: number, bytes: ArrayBufferView | ArrayBuffer | SharedArrayBuffer): void;
  /** A member's missing option. */
  missing(member: number): Missing;
  /** Gives the set's memory back; any later call but free() throws. */
  free(): void;
  /** The number of members. */
  readonly size: number;
  /** Each member's bars pushed so far (a fresh copy). */
  readonly bars: Float64Array;
  /** False once freed. */
  readonly alive: boolean;
}
