// SPDX-License-Identifier: MIT
// The shared missing-price cases (tests/data/missing_policy_cases.txt), the
// ones every front end is held to: each case through the batch functions and
// through a stream, with null standing for a missing price as a caller's
// plain array would hold it.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

import * as tc from "../src/index.js";
import { assertSameBits, COLUMNS } from "./support/golden.js";

const CASES_PATH = fileURLToPath(new URL("../../tests/data/missing_policy_cases.txt", import.meta.url));

function price(word) {
  if (word === "nan") return null; // the package's own missing price
  if (word === "inf") return Infinity;
  if (word === "-inf") return -Infinity;
  const value = Number(word);
  if (!Number.isFinite(value)) throw new Error(`bad price ${word} in ${CASES_PATH}`);
  return value;
}
const prices = (text) => text.trim().split(/\s+/).map(price);

function readCases() {
  const cases = [];
  readFileSync(CASES_PATH, "utf8")
    .split("\n")
    .forEach((line, n) => {
      if (line.trim() === "" || line.startsWith("#")) return;
      const [policy, high, low, outcome] = line.split("|").map((f) => f.trim());
      const what = `line ${n + 1}: ${line}`;
      const ok = /^ok (.*)\/(.*)$/.exec(outcome);
      if (ok) {
        const taken = (t) => Float32Array.from(prices(t), (v) => v ?? NaN);
        cases.push({ what, policy, high: prices(high), low: prices(low), taken: [taken(ok[1]), taken(ok[2])] });
        return;
      }
      const refused = /^(missing|infinite|out-of-range|no-previous) (high|low) (\d+)$/.exec(outcome);
      if (!refused) throw new Error(`cannot read ${what}`);
      cases.push({ what, policy, high: prices(high), low: prices(low), refused: { kind: refused[1], column: refused[2], bar: Number(refused[3]) } });
    });
  return cases;
}

const CASES = readCases();

test("the shared case file is read whole", () => {
  assert.ok(CASES.length >= 20, `${CASES.length} cases`);
  for (const policy of ["error", "previous", "nan"]) assert.ok(CASES.some((c) => c.policy === policy), policy);
});

// What the indicators give for the prices the case says they get: the same
// floats passed through unchanged.
const expected = (taken) => tc.indicators(taken[0], taken[1], { missing: "nan" });

// A batch error gives the 0-based index of the bar as well; a stream's has none.
function assertRefused(error, refused, what, index = null) {
  assert.ok(error instanceof tc.PriceError, `${what}: ${error}`);
  assert.equal(error.index, index, what);
  assert.ok(error instanceof RangeError, what);
  assert.equal(error.kind, refused.kind, what);
  assert.equal(error.column, refused.column, what);
  assert.equal(error.bar, refused.bar, what);
  return true;
}

test("batch: every shared case gives the listed outcome", () => {
  for (const c of CASES) {
    const options = { missing: c.policy };
    for (const input of ["array", "Float64Array"]) {
      const what = `${c.what} (${input})`;
      const [h, l] = input === "array" ? [c.high, c.low] : [Float64Array.from(c.high, (v) => v ?? NaN), Float64Array.from(c.low, (v) => v ?? NaN)];
      if (c.refused) {
        const index = c.refused.bar - 1;
        assert.throws(() => tc.indicators(h, l, options), (e) => assertRefused(e, c.refused, what, index));
        assert.throws(() => tc.trendVigor(h, l, options), (e) => assertRefused(e, c.refused, what, index));
        continue;
      }
      const got = tc.indicators(h, l, options);
      const want = expected(c.taken);
      for (const name of COLUMNS) assertSameBits(assert, got[name], want[name], `${what} ${name}`);
    }
  }
});

test("stream: every shared case gives the listed outcome, and a refused bar commits nothing", () => {
  for (const c of CASES) {
    const stream = new tc.Stream({ missing: c.policy });
    const want = c.taken ? expected(c.taken) : null;
    for (let i = 0; i < c.high.length; ++i) {
      if (c.refused && c.refused.bar === i + 1) {
        assert.throws(() => stream.peek(c.high[i], c.low[i]), (e) => assertRefused(e, c.refused, `${c.what} peek`));
        assert.throws(() => stream.push(c.high[i], c.low[i]), (e) => assertRefused(e, c.refused, `${c.what} push`));
        assert.equal(stream.bars, i, `${c.what}: the refused bar was committed`);
        break;
      }
      const values = stream.push(c.high[i], c.low[i]);
      assert.equal(values.bar, i + 1, c.what);
      if (want) for (const name of COLUMNS) assert.ok(Object.is(values[name], want[name][i]) || (Number.isNaN(values[name]) && Number.isNaN(want[name][i])), `${c.what} bar ${i + 1} ${name}`);
    }
    stream.free();
  }
});

test("a stream's missing prices across a stream switch: previous repeats its own stream's price", () => {
  // Two streams used in turn share the module's one slot; each keeps its own
  // remembered prices.
  const a = new tc.Stream({ missing: "previous" });
  const b = new tc.Stream({ missing: "previous" });
  a.push(10, 9);
  b.push(20, 19);
  const fromA = a.push(null, null);
  const alone = new tc.Stream();
  alone.push(10, 9);
  const want = alone.push(10, 9);
  for (const name of COLUMNS) assert.ok(Object.is(fromA[name], want[name]), name);
  assert.throws(() => new tc.Stream({ missing: "previous" }).push(null, 1), { kind: "no-previous", column: "high", bar: 1 });
});
