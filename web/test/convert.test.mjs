// SPDX-License-Identifier: MIT
// The page's CSV conversion (the tool's own reader and conversion compiled
// to WebAssembly) against the tamsel binary built from the same tree: the
// same output bytes, the same message and the same exit status for every
// input of the tool's fuzz corpus, the sample data and a set of dialects;
// the bars handed to the chart equal, number for number, what the text says;
// and the shared missing-price cases come out as the file lists them.
//   TAMSEL=build/release/tools/tamsel/tamsel node --test web/test/convert.test.mjs
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

import * as tc from "../../js/src/index.js";
import { floatText, textAt } from "../src/bars.js";
import { convertCsv, convertedBars, indicatorTable } from "../src/convert.js";

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

// The converted text split into rows and cells; only for the inputs here,
// whose cells hold no quoted delimiter or line break after the first field.
function textRows(output, delimiter) {
  return new TextDecoder().decode(output).split(/\r\n|\n|\r/).filter((line) => line !== "").map((line) => line.split(delimiter));
}

test("the bars handed to the chart are the numbers the text says, row for row", () => {
  const count = indicatorTable(module).length;
  let rows = 0;
  for (const { name, bytes } of inputs()) {
    for (const missing of ["error", "previous", "nan"]) {
      const got = convertCsv(module, name, bytes, missing);
      if (got.status !== 0) continue;
      const bars = convertedBars(module, count);
      const text = new TextDecoder().decode(got.output);
      const delimiter = text[text.indexOf(indicatorTable(module)[0].column) - 1];
      if (text.includes('"')) continue; // quoted cells: below
      const [header, ...body] = textRows(got.output, delimiter);
      const what = `${name} --missing=${missing}`;
      assert.equal(bars.count, body.length, `${what}: bar count`);
      for (const array of [bars.high, bars.low, ...bars.indicators]) assert.equal(array.length, bars.count, what);
      const highAt = header.findIndex((h) => h.trim().toLowerCase() === "high");
      body.forEach((cells, i) => {
        // Each indicator written as tamsel writes it: the readout's text is the download's.
        // (a file written with decimal commas gets them in its indicators too).
        bars.indicators.forEach((values, k) =>
          assert.equal(floatText(values[i]), cells[header.length - count + k].replace(",", "."), `${what}: row ${i + 1}`),
        );
        if (highAt >= 0 && Number.isFinite(Number(cells[highAt])) && cells[highAt].trim() !== "")
          assert.equal(bars.high[i], Math.fround(Number(cells[highAt])), `${what}: high of row ${i + 1}`);
        ++rows;
      });
    }
  }
  assert.ok(rows > 2600, `${rows} rows compared`);
});

test("times, their column's name and quoted cells reach the chart as the file has them", () => {
  const text = 'name;Date;High;Low\r\n"a; ""b""";  2024-01-02 ;1,5;1\r\n"x";2024-01-03;2,25;"1,75"\r\n';
  const { status, output } = convertCsv(module, "t.csv", Buffer.from(text));
  assert.equal(status, 0);
  const columns = indicatorTable(module).map((i) => i.column);
  assert.ok(new TextDecoder().decode(output).startsWith(["name", "Date", "High", "Low", ...columns].join(";") + "\r\n"));
  const bars = convertedBars(module, 4);
  assert.equal(bars.count, 2);
  assert.equal(bars.timeName, "Date");
  assert.deepEqual([textAt(bars.times, 0), textAt(bars.times, 1)], ["2024-01-02", "2024-01-03"]);
  assert.deepEqual([...bars.high], [1.5, 2.25]);
  assert.deepEqual([...bars.low], [1, 1.75]);
  // Without a date column there are no times, and the page numbers the bars.
  assert.equal(convertCsv(module, "u.csv", Buffer.from("high,low\n2,1\n3,2\n")).status, 0);
  const plain = convertedBars(module, 4);
  assert.equal(plain.timeName, "");
  assert.equal(textAt(plain.times, 1), "");
  // A time that is not ASCII keeps its neighbours in place.
  assert.equal(convertCsv(module, "v.csv", Buffer.from("date,high,low\nj\u00e9udi\xff,2,1\nvendredi,3,2\n", "latin1")).status, 0);
  const odd = convertedBars(module, 4);
  assert.equal(textAt(odd.times, 1), "vendredi");
  // A failed conversion leaves no bars from an earlier one behind.
  assert.notEqual(convertCsv(module, "w.csv", Buffer.from("high,low\n2,x\n")).status, 0);
  assert.equal(convertedBars(module, 4).count, 0);
});

test("numbers are written for the readout exactly as tamsel writes them", () => {
  const cases = {
    0: "0", "-0": "-0", 18: "18", 0.1: "0.1", "-4.5": "-4.5", 1e-4: "0.0001", 1.5e-5: "1.5e-05", 3.4028235e38: "3.4028235e+38",
    1e15: "1000000000000000", 1e16: "1e+16", 16777216: "16777216", 101.21: "101.21", 1e-45: "1e-45", NaN: "nan",
    Infinity: "inf", "-Infinity": "-inf",
  };
  for (const [value, text] of Object.entries(cases)) assert.equal(floatText(Math.fround(Number(value))), text, value);
  // Against tamsel's writer over values of every magnitude: a CSV of those
  // prices under --bars writes each back as a float.
  const prices = [];
  for (let e = -44; e <= 38; ++e) for (const m of [1, 1.2345678, 3.3333333, 9.999999]) prices.push(Math.fround(m * 10 ** e));
  const dir = mkdtempSync(join(tmpdir(), "tamsel-float-"));
  try {
    writeFileSync(join(dir, "f.csv"), "high,low\n" + prices.map((p) => `${p},${p}`).join("\n") + "\n");
    const run = spawnSync(tamsel, ["--bars", "--missing=nan", "f.csv"], { cwd: dir });
    assert.equal(run.status, 0, run.stderr.toString());
    const rows = run.stdout.toString().trim().split("\n").slice(1);
    rows.forEach((row, i) => assert.equal(floatText(prices[i]), row.split(",")[1], `${prices[i]}`));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

// ---- the shared missing-price cases, through the page ----------------------

const CASES_PATH = join(root, "tests/data/missing_policy_cases.txt");

// The policy words the page's drop-down offers, from the page itself.
function menuPolicies() {
  const html = readFileSync(join(root, "web/src/index.html"), "utf8");
  const menu = /<select id="missing"[^>]*>([\s\S]*?)<\/select>/.exec(html)[1];
  return [...menu.matchAll(/<option value="([^"]+)"/g)].map((m) => m[1]);
}

// A case's prices as the cells of a CSV: a missing price an empty cell.
const cell = (word) => (word === "nan" ? "" : word);

function readCases() {
  return readFileSync(CASES_PATH, "utf8")
    .split("\n")
    .map((line, n) => ({ line, n }))
    .filter(({ line }) => line.trim() !== "" && !line.startsWith("#"))
    .map(({ line, n }) => {
      const [policy, high, low, outcome] = line.split("|").map((f) => f.trim());
      const words = (t) => t.split(/\s+/);
      return { what: `line ${n + 1}: ${line}`, policy, high: words(high), low: words(low), outcome };
    });
}

// tamsel's exit status for each kind of refused price.
const REFUSED_STATUS = { missing: 9, "no-previous": 9, infinite: 8, "out-of-range": 8 };
const KIND_NUMBER = { missing: 1, infinite: 2, "out-of-range": 3, "no-previous": 4 };

test("every shared missing-price case comes out of the page's conversion as listed", () => {
  const offered = menuPolicies();
  const cases = readCases();
  assert.ok(cases.length >= 20, `${cases.length} cases`);
  const problemText = (kind) => {
    const at = module._TamselChart_PriceProblemText(KIND_NUMBER[kind]);
    return new TextDecoder().decode(module.HEAPU8.subarray(at, module.HEAPU8.indexOf(0, at)));
  };
  for (const c of cases) {
    assert.ok(offered.includes(c.policy), `${c.what}: the Missing prices menu has no ${c.policy}`);
    const csv = "date,high,low\n" + c.high.map((h, i) => `${i + 1},${cell(h)},${cell(c.low[i])}`).join("\n") + "\n";
    const got = convertCsv(module, "case.csv", Buffer.from(csv), c.policy);
    const ok = /^ok (.*)\/(.*)$/.exec(c.outcome);
    if (ok) {
      assert.equal(got.status, 0, `${c.what}: ${got.message}`);
      const bars = convertedBars(module, 4);
      const word = (w) => ({ inf: Infinity, "-inf": -Infinity, nan: NaN })[w] ?? Number(w);
      const taken = (t) => Float32Array.from(t.trim().split(/\s+/), word);
      const [high, low] = [taken(ok[1]), taken(ok[2])];
      assert.deepEqual(new Uint32Array(bars.high.buffer), new Uint32Array(high.buffer), `${c.what}: high`);
      assert.deepEqual(new Uint32Array(bars.low.buffer), new Uint32Array(low.buffer), `${c.what}: low`);
      // And the indicators the npm package gives for those prices.
      const values = tc.indicators(high, low, { missing: "nan" });
      tc.INDICATORS.forEach((name, k) =>
        assert.deepEqual(new Uint32Array(bars.indicators[k].buffer), new Uint32Array(values[name].buffer), `${c.what}: ${name}`),
      );
      continue;
    }
    const [kind, column, bar] = c.outcome.split(" ");
    assert.equal(got.status, REFUSED_STATUS[kind], `${c.what}: ${got.message}`);
    // The message names the file's line (the header is line 1), the column and the problem.
    const where = `tamsel: case.csv:${Number(bar) + 1}: column '${column}' `;
    assert.ok(got.message.startsWith(where) && got.message.includes(`: ${problemText(kind)}: `), `${c.what}: ${got.message}`);
  }
});
