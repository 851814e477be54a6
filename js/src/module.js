// SPDX-License-Identifier: MIT
// The library's WebAssembly module, instantiated once, and what the rest of
// the package reads from it: views of its memory, allocation with its size
// checked, the version, the indicator table and the policy words.
import wasmBase64 from "../lib/tamselcharts-wasm.js";
import { cString, readIndicatorTable, readPolicyWords } from "./indicator-table.js";

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The module imports nothing but a notice that its memory grew (every view
// of the memory must then be taken afresh; views are also checked against
// the current buffer, which is what actually changes).
const { instance } = await WebAssembly.instantiate(decodeBase64(wasmBase64), {
  env: { emscripten_notify_memory_growth() {} },
});
export const wasm = instance.exports;
wasm._initialize();

/**
 * The most memory one call may ask for.  The module is built with
 * Emscripten's default maximum of 2 GiB; pointers and sizes are 32-bit, so a
 * byte count computed past that would wrap around to a small number.
 */
export const HEAP_LIMIT_BYTES = 2 ** 31;

const views = { buffer: null };
function refresh() {
  const buffer = wasm.memory.buffer;
  if (views.buffer !== buffer) {
    views.buffer = buffer;
    views.u8 = new Uint8Array(buffer);
    views.f32 = new Float32Array(buffer);
    views.f64 = new Float64Array(buffer);
    views.i32 = new Int32Array(buffer);
  }
  return views;
}
export const heapU8 = () => refresh().u8;
export const heapF32 = () => refresh().f32;
export const heapF64 = () => refresh().f64;
export const heapI32 = () => refresh().i32;

/**
 * A block of `bytes` bytes of module memory, with `what` naming it in the
 * error.  The size is a JavaScript number, checked before it reaches
 * malloc's 32-bit argument.
 */
export function allocate(bytes, what) {
  if (!(bytes >= 0) || bytes > HEAP_LIMIT_BYTES - 65536)
    throw new RangeError(`${what} would need ${bytes} bytes, more than the module's memory of at most 2 GiB`);
  const pointer = wasm.malloc(Math.max(1, bytes)) >>> 0;
  if (pointer === 0) throw new RangeError(`out of memory: cannot allocate ${bytes} bytes for ${what}`);
  return pointer;
}

/** The library's version, "MAJOR.MINOR.PATCH". */
export const VERSION = cString(heapU8(), wasm.TamselChart_Version() >>> 0);

/** The library's indicator table (see indicator-table.js). */
export const INDICATOR_TABLE = readIndicatorTable(
  () => wasm.TamselChart_IndicatorCount(),
  (i) => wasm.TamselChart_Indicator(i),
  () => wasm.memory.buffer,
);

/** The missing-price policies' words, indexed by the library's policy number. */
export const POLICY_WORDS = readPolicyWords((p) => wasm.TamselChart_MissingPolicyName(p), () => wasm.memory.buffer);

/** TamselChart_PriceProblemText for a problem kind. */
export function problemText(kind) {
  return cString(heapU8(), wasm.TamselChart_PriceProblemText(kind) >>> 0);
}
