// SPDX-License-Identifier: MIT
// Stream snapshots through the library's own functions (TamselChart_StreamSave
// and TamselChart_StreamLoad), so that the bytes are exactly those every
// native build writes and reads; nothing of the format is known here.
import { cString } from "./indicator-table.js";
import { allocate, heapI32, heapU8, wasm } from "./module.js";
import { bytesOf } from "./typed-arrays.js";

/** TAMSELCHART_SNAPSHOT_MAX_BYTES: no snapshot is larger. */
export const SNAPSHOT_MAX_BYTES = 16384;

// One buffer for every save and load, and the reason a load reports.
export const snapshotBuffer = allocate(SNAPSHOT_MAX_BYTES + 4, "the snapshot buffer");
const reasonPointer = snapshotBuffer + SNAPSHOT_MAX_BYTES;

// The library's reasons by number (TAMSELCHART_SNAPSHOT_...), as error codes.
const CODES = [
  "SNAPSHOT_OK",
  "SNAPSHOT_TOO_SHORT",
  "SNAPSHOT_NOT_A_SNAPSHOT",
  "SNAPSHOT_UNKNOWN_FORMAT",
  "SNAPSHOT_DAMAGED",
  "SNAPSHOT_UNREACHABLE",
  "SNAPSHOT_OUT_OF_MEMORY",
];

/**
 * Bytes Stream.load cannot take.  `reason` is the library's number
 * (TAMSELCHART_SNAPSHOT_TOO_SHORT and so on), `code` its name without the
 * prefix ("SNAPSHOT_DAMAGED"), the message the library's sentence.
 */
export class SnapshotError extends Error {
  constructor(reason, text = cString(heapU8(), wasm.TamselChart_SnapshotProblemText(reason) >>> 0)) {
    super(`Stream.load(): ${text}`);
    this.name = "SnapshotError";
    this.reason = reason;
    this.code = CODES[reason] ?? `SNAPSHOT_REASON_${reason}`;
  }
}

function asBytes(bytes) {
  const view = bytesOf(bytes);
  if (view !== undefined) return view;
  const what = bytes === null ? "null" : typeof bytes;
  throw new TypeError(`Stream.load(): the snapshot must be a Uint8Array (or other bytes), got ${what}`);
}

/**
 * A stream of the library loaded from the bytes, a pointer into module
 * memory the caller destroys; throws SnapshotError with the library's
 * reason.  Bytes longer than any snapshot go to the library whole, in a
 * block of their own, for it to judge.
 */
export function loadSnapshot(bytes) {
  const view = asBytes(bytes);
  const size = Math.min(view.length, SNAPSHOT_MAX_BYTES);
  heapU8().set(view.subarray(0, size), snapshotBuffer);
  heapI32()[reasonPointer / 4] = 0;
  let stream = 0;
  if (view.length > SNAPSHOT_MAX_BYTES) {
    // The library decides what too many bytes are, from all of them.
    const whole = allocate(view.length, "the snapshot's bytes");
    try {
      heapU8().set(view, whole);
      stream = wasm.TamselChart_StreamLoad(whole, view.length, reasonPointer) >>> 0;
    } finally {
      wasm.free(whole);
    }
  } else {
    stream = wasm.TamselChart_StreamLoad(snapshotBuffer, size, reasonPointer) >>> 0;
  }
  if (stream === 0) throw new SnapshotError(heapI32()[reasonPointer / 4]);
  return stream;
}
