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
 * Bytes Stream.load (or StreamSet.load) cannot take.  `reason` is the
 * library's number (TAMSELCHART_SNAPSHOT_TOO_SHORT and so on), `code` its
 * name without the prefix ("SNAPSHOT_DAMAGED"), the message the method's
 * name and the library's sentence.
 */
export class SnapshotError extends Error {
  constructor(reason, text = reasonText(reason), method = "Stream.load()") {
    super(`${method}: ${text}`);
    this.name = "SnapshotError";
    this.reason = reason;
    this.code = CODES[reason] ?? `SNAPSHOT_REASON_${reason}`;
  }
}

/** The library's sentence for a reason a load refused its bytes. */
export function reasonText(reason) {
  return cString(heapU8(), wasm.TamselChart_SnapshotProblemText(reason) >>> 0);
}

function asBytes(bytes, method) {
  const view = bytesOf(bytes);
  if (view !== undefined) return view;
  const what = bytes === null ? "null" : typeof bytes;
  throw new TypeError(`${method}: the snapshot must be a Uint8Array (or other bytes), got ${what}`);
}

/**
 * A stream of the library loaded from the bytes, a pointer into module
 * memory the caller destroys; throws SnapshotError with the library's
 * reason, its message naming method.  Bytes longer than any snapshot go to
 * the library whole, in a block of their own, for it to judge.
 */
export function loadSnapshot(bytes, method = "Stream.load()") {
  const view = asBytes(bytes, method);
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
  if (stream === 0) {
    const reason = heapI32()[reasonPointer / 4];
    throw new SnapshotError(reason, reasonText(reason), method);
  }
  return stream;
}

/**
 * Replaces member of the stream set at set with the stream a loadSnapshot
 * gave, through the bytes the library writes for it: the snapshot checked
 * once, by the load that made the stream.
 */
export function loadIntoMember(set, member, stream, method) {
  const size = wasm.TamselChart_StreamSave(stream, snapshotBuffer, SNAPSHOT_MAX_BYTES);
  if (size <= 0 || size > SNAPSHOT_MAX_BYTES) throw new Error(`${method}: the library cannot save the loaded stream (size ${size})`);
  heapI32()[reasonPointer / 4] = 0;
  if (wasm.TamselChart_StreamSetLoad(set, member, snapshotBuffer, size, reasonPointer) !== 1) {
    const reason = heapI32()[reasonPointer / 4];
    throw new SnapshotError(reason, reasonText(reason), method);
  }
}
