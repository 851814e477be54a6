// SPDX-License-Identifier: MIT
// The library's indicator table (TamselChart_IndicatorCount and
// TamselChart_Indicator) read out of WebAssembly memory, so that the package
// and the page name the indicators and their start-up bars as the C library
// does instead of keeping copies that could drift from it.  Shared by the
// npm package and the web page's worker, whose modules differ only in how
// their memory is reached.

// TamselChart_IndicatorInfo in wasm32: four 4-byte pointers (column, title,
// exportName, compute), int warmupBars, float lowest, float highest, int
// mayBeNaN.
const COLUMN = 0;
const TITLE = 4;
const EXPORT_NAME = 8;
const WARMUP_BARS = 16;
const LOWEST = 20;
const HIGHEST = 24;
const MAY_BE_NAN = 28;

/** The NUL-terminated UTF-8 string at pointer in bytes (a Uint8Array over the memory). */
export function cString(bytes, pointer) {
  let end = pointer;
  while (bytes[end] !== 0) ++end;
  return new TextDecoder().decode(bytes.subarray(pointer, end));
}

// "TamselChart_SignalToNoiseRatio" -> "signalToNoiseRatio": the name of the
// package's function and result field, from the export it calls.
function functionName(exportName) {
  const bare = exportName.replace(/^TamselChart_/, "");
  return bare[0].toLowerCase() + bare.slice(1);
}

/**
 * The table as frozen entries { name, column, title, exportName, warmupBars,
 * lowest, highest, mayBeNaN }, in the library's order.
 *   count()      TamselChart_IndicatorCount
 *   entry(i)     TamselChart_Indicator, a pointer into memory
 *   memory()     the module's memory as an ArrayBuffer (taken afresh: it may grow)
 */
export function readIndicatorTable(count, entry, memory) {
  const table = [];
  for (let i = 0, n = count(); i < n; ++i) {
    const at = entry(i) >>> 0;
    if (at === 0) throw new Error(`the library has no indicator ${i} of ${n}`);
    const bytes = new Uint8Array(memory());
    const view = new DataView(memory());
    const exportName = cString(bytes, view.getUint32(at + EXPORT_NAME, true));
    table.push(
      Object.freeze({
        name: functionName(exportName),
        column: cString(bytes, view.getUint32(at + COLUMN, true)),
        title: cString(bytes, view.getUint32(at + TITLE, true)),
        exportName,
        warmupBars: view.getInt32(at + WARMUP_BARS, true),
        lowest: view.getFloat32(at + LOWEST, true),
        highest: view.getFloat32(at + HIGHEST, true),
        mayBeNaN: view.getInt32(at + MAY_BE_NAN, true) !== 0,
      }),
    );
  }
  return Object.freeze(table);
}

/** The missing-price policies' words by number (TamselChart_MissingPolicyName), "error" first. */
export function readPolicyWords(policyName, memory) {
  const words = [];
  for (let policy = 0; ; ++policy) {
    const at = policyName(policy) >>> 0;
    if (at === 0) return Object.freeze(words);
    words.push(cString(new Uint8Array(memory()), at));
  }
}
