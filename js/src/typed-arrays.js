// SPDX-License-Identifier: MIT
// Typed arrays as the engine itself sees them.  A typed array's kind, length,
// buffer and offset are read through the built-in getters, not through the
// object: an own `length` property, an overridden `subarray` or a species
// constructor could otherwise make the package read fewer prices than it
// counted and compute the rest from whatever module memory held.  The
// built-in getters also answer for typed arrays of another realm (an iframe,
// a vm context), which `instanceof` does not know.

const TypedArrayPrototype = Object.getPrototypeOf(Int8Array.prototype);
const getter = (prototype, key) => Object.getOwnPropertyDescriptor(prototype, key).get;
const kindOf = getter(TypedArrayPrototype, Symbol.toStringTag);
const lengthOf = getter(TypedArrayPrototype, "length");
const bufferOf = getter(TypedArrayPrototype, "buffer");
const byteOffsetOf = getter(TypedArrayPrototype, "byteOffset");
const byteLengthOf = getter(TypedArrayPrototype, "byteLength");

// This realm's constructor of each kind that holds numbers (Float16Array
// where the runtime has it); the BigInt kinds are left out on purpose.
const NUMBER_KINDS = new Map(
  [
    "Int8Array",
    "Uint8Array",
    "Uint8ClampedArray",
    "Int16Array",
    "Uint16Array",
    "Int32Array",
    "Uint32Array",
    "Float16Array",
    "Float32Array",
    "Float64Array",
  ]
    .filter((name) => typeof globalThis[name] === "function")
    .map((name) => [name, globalThis[name]]),
);

/** The kind of a typed array ("Float64Array"), or undefined for anything else (a DataView included). */
export function typedArrayKind(value) {
  return kindOf.call(value);
}

/** True for a typed array of numbers (not BigInt64Array or BigUint64Array). */
export function holdsNumbers(kind) {
  return NUMBER_KINDS.has(kind);
}

/** The typed array's length now (0 once its buffer is detached; it follows a resizable buffer). */
export function typedLength(values) {
  return lengthOf.call(values);
}

/**
 * Elements [start, end) of a typed array of numbers as a new view of the
 * same memory, of this realm's constructor of the same kind; the caller has
 * checked that the array still holds them.
 */
export function typedRange(values, start, end) {
  const View = NUMBER_KINDS.get(kindOf.call(values));
  return new View(bufferOf.call(values), byteOffsetOf.call(values) + start * View.BYTES_PER_ELEMENT, end - start);
}

/** The bytes a typed array covers, as a Uint8Array of the same memory. */
export function typedBytes(values) {
  return new Uint8Array(bufferOf.call(values), byteOffsetOf.call(values), byteLengthOf.call(values));
}

// Whether value is an ArrayBuffer (of this realm or another): the built-in
// getter refuses anything else, a SharedArrayBuffer included.
const bufferBytes = getter(ArrayBuffer.prototype, "byteLength");
const sharedBytes = typeof SharedArrayBuffer === "function" ? getter(SharedArrayBuffer.prototype, "byteLength") : null;
const answers = (get, value) => {
  try {
    get.call(value);
    return true;
  } catch {
    return false;
  }
};
const dataViewBuffer = getter(DataView.prototype, "buffer");
const dataViewOffset = getter(DataView.prototype, "byteOffset");
const dataViewLength = getter(DataView.prototype, "byteLength");

/**
 * The bytes of an ArrayBuffer, a SharedArrayBuffer, a typed array or a
 * DataView as a Uint8Array of the same memory, the view's extent read
 * through the built-in getters; undefined for anything else.
 */
export function bytesOf(value) {
  if (kindOf.call(value) !== undefined) return typedBytes(value);
  if (answers(dataViewBuffer, value))
    return new Uint8Array(dataViewBuffer.call(value), dataViewOffset.call(value), dataViewLength.call(value));
  if (answers(bufferBytes, value) || (sharedBytes !== null && answers(sharedBytes, value))) return new Uint8Array(value);
  return undefined;
}
