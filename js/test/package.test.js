// SPDX-License-Identifier: MIT
// The package as users get it: `npm pack` makes the tarball, which installs
// into a scratch project without a registry (it has no dependencies) and
// works there, the TypeScript declarations included.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

import * as tc from "../src/index.js";

const packageDir = fileURLToPath(new URL("..", import.meta.url));
const npm = (args, cwd) => execFileSync("npm", [...args, "--offline", "--no-audit", "--no-fund"], { cwd, encoding: "utf8" });

test("the packed tarball installs offline into a scratch project and computes there", (t) => {
  const scratch = mkdtempSync(join(tmpdir(), "tamselcharts-package-"));
  t.after(() => rmSync(scratch, { recursive: true, force: true }));
  npm(["pack", "--pack-destination", scratch], packageDir);
  const [tarball] = readdirSync(scratch).filter((f) => f.endsWith(".tgz"));
  assert.ok(tarball, "npm pack made no tarball");

  const project = join(scratch, "app");
  execFileSync("mkdir", [project]);
  writeFileSync(join(project, "package.json"), JSON.stringify({ name: "app", private: true, type: "module" }));
  npm(["install", join(scratch, tarball)], project);

  const installed = join(project, "node_modules", "tamselcharts");
  const manifest = JSON.parse(readFileSync(join(installed, "package.json"), "utf8"));
  assert.deepEqual(manifest.dependencies ?? {}, {}, "no run-time dependencies");
  assert.match(readFileSync(join(installed, manifest.types), "utf8"), /export declare class Stream/);

  // The installed copy computes what this tree's does.
  writeFileSync(
    join(project, "use.mjs"),
    `import * as tc from "tamselcharts";
     const high = [], low = [];
     for (let i = 0; i < 500; ++i) { const m = 100 + 5 * Math.sin(i / 3); high.push(m + 1); low.push(m - 1); }
     const all = tc.indicators(high, low, { warmup: "nan" });
     const s = new tc.Stream(); const last = high.map((h, i) => s.push(h, low[i])).at(-1); s.free();
     const set = new tc.StreamSet(2); const latest = high.map((h, i) => set.push([h, h], [low[i], low[i]])).at(-1); set.free();
     const member = { bar: latest.bar[1], ...Object.fromEntries(tc.INDICATORS.map((k) => [k, latest[k][1]])) };
     console.log(JSON.stringify({ all: Object.fromEntries(Object.entries(all).map(([k, v]) => [k, Array.from(v)])), last, member }));`,
  );
  const output = JSON.parse(execFileSync("node", ["use.mjs"], { cwd: project, encoding: "utf8" }));
  const high = [], low = [];
  for (let i = 0; i < 500; ++i) {
    const m = 100 + 5 * Math.sin(i / 3);
    high.push(m + 1);
    low.push(m - 1);
  }
  const here = tc.indicators(high, low, { warmup: "nan" });
  for (const [name, values] of Object.entries(here))
    assert.deepEqual(output.all[name], Array.from(values, (v) => (Number.isNaN(v) ? null : v)), name);
  assert.equal(output.last.bar, 500);
  assert.deepEqual(output.member, output.last, "a stream set's member is the stream");
});

test("the package's version is the header's, in package.json, its lock file and the loaded module", () => {
  const header = readFileSync(new URL("../../include/TamselCharts.h", import.meta.url), "utf8");
  const part = (name) => new RegExp(`^#define TAMSELCHARTS_VERSION_${name} (\\d+)$`, "m").exec(header)[1];
  const version = `${part("MAJOR")}.${part("MINOR")}.${part("PATCH")}`;
  const manifest = JSON.parse(readFileSync(join(packageDir, "package.json"), "utf8"));
  const lock = JSON.parse(readFileSync(join(packageDir, "package-lock.json"), "utf8"));
  assert.equal(manifest.version, version, "package.json (js/build-wasm.sh stamps it)");
  assert.equal(lock.version, version, "package-lock.json");
  assert.equal(lock.packages[""].version, version, "package-lock.json's own package");
  assert.equal(tc.VERSION, version, "the module's TamselChart_Version");
});

test("the lock file describes the package as package.json does: name, licence and dependencies", () => {
  const manifest = JSON.parse(readFileSync(join(packageDir, "package.json"), "utf8"));
  const own = JSON.parse(readFileSync(join(packageDir, "package-lock.json"), "utf8")).packages[""];
  assert.equal(manifest.license, "MIT", "package.json");
  assert.equal(own.license, manifest.license, "package-lock.json's own package");
  assert.equal(own.name, manifest.name);
  assert.deepEqual(own.devDependencies, manifest.devDependencies);
  assert.deepEqual(own.engines, manifest.engines);
  // The licence file shipped in the tarball is the MIT licence too.
  assert.match(readFileSync(join(packageDir, "LICENSE"), "utf8"), /^MIT License/);
});

test("the indicators' names, columns and warm-up are the library's table, and every name is an export", () => {
  assert.deepEqual(
    tc.INDICATOR_INFO.map((i) => i.exportName),
    tc.INDICATORS.map((name) => `TamselChart_${name[0].toUpperCase()}${name.slice(1)}`),
  );
  for (const info of tc.INDICATOR_INFO) {
    assert.equal(typeof tc[info.name], "function", info.name);
    assert.equal(tc.WARMUP_BARS[info.name], info.warmupBars, info.name);
    assert.match(info.column, /^[a-z_]+$/);
    assert.ok(info.title.length > 0 && info.lowest < info.highest, info.name);
    assert.ok(Object.isFrozen(info));
  }
  assert.deepEqual(Object.keys(tc.indicators([1, 2], [0, 1])), tc.INDICATORS);
  assert.deepEqual(Object.keys(new tc.Stream().push(1, 0)).slice(1), tc.INDICATORS);
  // The library's own start-up bars, which warmup: "nan" blanks.
  assert.deepEqual(tc.INDICATOR_INFO.map((i) => i.warmupBars), [14, 12, 50, 29]);
  assert.deepEqual(tc.INDICATOR_INFO.map((i) => i.mayBeNaN), [false, false, true, false]);
});
