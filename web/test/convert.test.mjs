// SPDX-License-Identifier: MIT
// The page's CSV conversion (the tool's own reader and conversion compiled
// to WebAssembly) against the tamsel binary built from the same tree: the
// same output bytes, the same message and the same exit status for every
// input of the tool's fuzz corpus, the sample data and a set of dialects.
//   TAMSEL=build/release/tools/tamsel/tamsel node --test web/test/convert.test.mjs
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

import { convertCsv, convertedTable } from "../src/convert.js";

const root = fileURLToPath(new URL("../..", import.meta.url));
const tamsel = resolve(process.env.TAMSEL ?? join(root, "build/release/tools/tamsel/tamsel"));
const require = createRequire(import.meta.url);
const createTamselWeb = require(process.env.TAMSEL_WEB ?? join(root, "build/wasm/tamsel-web.js"));
const module = await createTamselWeb();

function native(dir, name, missing) {
  const run = spawnSync(tamsel, [`--missing=${missing}`, name], { cwd: dir, maxBuffer: 1 << 28 });
  if (run.error) throw run.error;
  return { status: run.status, output: run.stdout, message: run.stderr.toString("utf8").replace(/\n$/, "") };
}

const DIALECTS = {
  "semicolon-decimal-comma.csv": "Date;High;Low\r\n2024-01-02;101,5;99,25\r\n2024-01-03;102,75;100\r\n",
  "tab-bom.csv": "\uFEFFdate\thigh\tlow\n1\t10.5\t9.5\n2\t11\t10\n3\t12\t10.5",
  "quoted.csv": 'name,"High","Low"\n"a, ""quoted"" name",101,99\n"multi\nline",102,98\n',
  "metatrader.csv": "<DATE>,<HIGH>,<LOW>\n20240102,1.1,1.0\n20240103,1.2,1.05\n",
  "missing.csv": "date,high,low\n1,10,9\n2,,9\n3,11,null\n",
  "missing-first.csv": "date,high,low\n1,NaN,9\n2,10,9\n",
  "not-a-number.csv": "date,high,low\n1,10,9\n2,ten,9\n",
  "out-of-range.csv": "date,high,low\n1,1e39,9\n",
  "field-count.csv": "date,high,low\n1,10,9\n2,10\n",
  "no-low.csv": "date,high,close\n1,10,9\n",
  "twice.csv": "high,low,HIGH\n1,2,3\n",
  "unclosed.csv": 'high,low\n1,"2\n',
  "empty.csv": "",
  "header-only.csv": "high,low\n",
  "cr-endings.csv": "high,low\r10,9\r11,10\r",
  "denormal.csv": "high,low\n1e-40,1e-45\n7e-46,1\n",
};

function inputs() {
  const corpus = join(root, "fuzz/corpus/csv");
  const files = readdirSync(corpus).map((f) => ({ name: f, bytes: readFileSync(join(corpus, f)) }));
  files.push({ name: "sample-daily.csv", bytes: readFileSync(join(root, "data/sample-daily.csv")) });
  for (const [name, text] of Object.entries(DIALECTS)) files.push({ name, bytes: Buffer.from(text, "utf8") });
  return files;
}

test("every input converts to the same bytes, message and status as tamsel", (t) => {
  const dir = mkdtempSync(join(tmpdir(), "tamsel-web-"));
  t.after(() => rmSync(dir, { recursive: true, force: true }));
  let compared = 0;
  for (const { name, bytes } of inputs()) {
    writeFileSync(join(dir, name), bytes);
    for (const missing of ["error", "previous", "nan"]) {
      const want = native(dir, name, missing);
      const got = convertCsv(module, name, bytes, missing);
      const what = `${name} --missing=${missing}`;
      assert.equal(got.status, want.status, `${what}: status (${got.message} / ${want.message})`);
      assert.equal(got.message, want.message, `${what}: message`);
      assert.ok(Buffer.from(got.output).equals(want.output), `${what}: output differs`);
      ++compared;
    }
  }
  assert.ok(compared > 250);
});

test("the converted table splits records as the tool's reader does", () => {
  const text = 'name;High;Low\r\n"a; ""b""";1,5;1\r\n';
  const { status } = convertCsv(module, "t.csv", Buffer.from(text));
  assert.equal(status, 0);
  const table = convertedTable(module);
  assert.equal(table.delimiter, ";");
  assert.deepEqual(table.rows[0], ["name", "High", "Low", "cycle_period", "signal_to_noise", "swing_position", "trend_vigor"]);
  assert.deepEqual(table.rows[1].slice(0, 3), ['a; "b"', "1,5", "1"]);
  assert.equal(table.rows.length, 2);
});
