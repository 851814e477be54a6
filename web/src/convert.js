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

/**
 * The last successful conversion split into records and fields by the
 * tool's own reader: { delimiter, rows } with rows[0] the header.
 */
export function convertedTable(module) {
  const pointer = module._tamsel_web_table();
  if (pointer === 0) return null;
  const size = module._tamsel_web_table_size();
  const bytes = module.HEAPU8.slice(pointer, pointer + size);
  module._tamsel_web_release();
  const view = new DataView(bytes.buffer);
  const decoder = new TextDecoder();
  const delimiter = String.fromCharCode(bytes[0]);
  const rows = [];
  for (let at = 1; at < size; ) {
    const fields = new Array(view.getUint32(at, true));
    at += 4;
    for (let f = 0; f < fields.length; ++f) {
      const length = view.getUint32(at, true);
      fields[f] = decoder.decode(bytes.subarray(at + 4, at + 4 + length));
      at += 4 + length;
    }
    rows.push(fields);
  }
  return { delimiter, rows };
}
