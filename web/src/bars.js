// SPDX-License-Identifier: MIT
// The bars the conversion computed, as the page shows them: gaps for the
// charts and numbers written as tamsel writes them for the readout.  The
// worker hands them over as typed arrays and one packed string of times,
// which cost next to nothing to pass, rather than hundreds of thousands of
// small values.

/** The text of bar i of a packed string column { text, ends }. */
export function textAt(column, i) {
  return column.text.slice(i === 0 ? 0 : column.ends[i - 1], column.ends[i]);
}

/**
 * A Float32Array as the charts take it: null where the value is no finite
 * number (a NaN, or an infinity passed by the "nan" policy, would blow the
 * scale away).
 */
export function withGaps(values) {
  return Array.from(values, (v) => (Number.isFinite(v) ? v : null));
}

// fmt writes a float in scientific notation outside 1e-4 <= |v| < 1e16.
const FIXED_LOWEST_EXPONENT = -4;
const FIXED_EXPONENT_LIMIT = 16;

/**
 * A 32-bit float as tamsel writes it: the fewest significant digits that
 * read back to the same float, "nan" for every NaN, "inf" and "-inf", plain
 * decimals from 1e-4 up to 1e16 and "1.5e-05" style beyond.
 */
export function floatText(value) {
  if (Number.isNaN(value)) return "nan";
  if (!Number.isFinite(value)) return value < 0 ? "-inf" : "inf";
  const sign = value < 0 || Object.is(value, -0) ? "-" : "";
  if (value === 0) return `${sign}0`;
  let shortest = "";
  for (let precision = 1; precision <= 9; ++precision) {
    shortest = Math.abs(value).toExponential(precision - 1);
    if (Math.fround(Number(shortest)) === Math.abs(value)) break;
  }
  const [mantissa, exponentText] = shortest.split("e");
  const exponent = Number(exponentText);
  let digits = mantissa.replace(".", "");
  // toExponential takes the larger of two equally near decimals, tamsel's
  // writer the even one.
  if (digits.endsWith("1") || digits.endsWith("3") || digits.endsWith("5") || digits.endsWith("7") || digits.endsWith("9")) {
    if (isHalfway(Math.abs(value), exponent - digits.length + 1)) digits = String(BigInt(digits) - 1n);
  }
  if (exponent < FIXED_LOWEST_EXPONENT || exponent >= FIXED_EXPONENT_LIMIT) {
    const fraction = digits.length > 1 ? `.${digits.slice(1)}` : "";
    const power = String(Math.abs(exponent)).padStart(2, "0");
    return `${sign}${digits[0]}${fraction}e${exponent < 0 ? "-" : "+"}${power}`;
  }
  if (exponent < 0) return `${sign}0.${"0".repeat(-exponent - 1)}${digits}`;
  if (digits.length <= exponent + 1) return `${sign}${digits}${"0".repeat(exponent + 1 - digits.length)}`;
  return `${sign}${digits.slice(0, exponent + 1)}.${digits.slice(exponent + 1)}`;
}

// Whether the float lies exactly halfway between two multiples of 10^power,
// in exact arithmetic (value = mantissa * 2^twos, read from its bits).
function isHalfway(value, power) {
  const bits = new DataView(new ArrayBuffer(4));
  bits.setFloat32(0, value);
  const word = bits.getUint32(0);
  const biased = (word >>> 23) & 0xff;
  const mantissa = BigInt(biased === 0 ? (word & 0x7fffff) : (word & 0x7fffff) | 0x800000);
  const twos = (biased === 0 ? 1 : biased) - 150;
  // value / 10^power as numerator / denominator.
  let numerator = mantissa * 2n ** BigInt(Math.max(0, twos)) * 10n ** BigInt(Math.max(0, -power));
  const denominator = 2n ** BigInt(Math.max(0, -twos)) * 10n ** BigInt(Math.max(0, power));
  numerator *= 2n;
  return numerator % denominator === 0n && (numerator / denominator) % 2n === 1n;
}
