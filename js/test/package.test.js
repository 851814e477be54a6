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
     console.log(JSON.stringify({ all: Object.fromEntries(Object.entries(all).map(([k, v]) => [k, Array.from(v)])), last }));`,
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
});
