// SPDX-License-Identifier: MIT
// The TypeScript declarations, checked by the TypeScript compiler in strict
// mode against a program that uses the whole interface (types-check.ts),
// with the package resolved by its name as users import it.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, rmSync, symlinkSync, writeFileSync, mkdirSync, copyFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

const packageDir = fileURLToPath(new URL("..", import.meta.url));
const tsc = join(packageDir, "node_modules", "typescript", "bin", "tsc");

test("the declarations type-check a program using the whole interface", (t) => {
  const project = mkdtempSync(join(tmpdir(), "tamselcharts-types-"));
  t.after(() => rmSync(project, { recursive: true, force: true }));
  mkdirSync(join(project, "node_modules"));
  symlinkSync(packageDir, join(project, "node_modules", "tamselcharts"), "dir");
  copyFileSync(fileURLToPath(new URL("types-check.ts", import.meta.url)), join(project, "types-check.ts"));
  writeFileSync(
    join(project, "tsconfig.json"),
    JSON.stringify({
      compilerOptions: { strict: true, noEmit: true, module: "nodenext", moduleResolution: "nodenext", target: "es2022", skipLibCheck: false, types: [] },
      files: ["types-check.ts"],
    }),
  );
  writeFileSync(join(project, "package.json"), JSON.stringify({ type: "module" }));
  const run = spawnSync(process.execPath, [tsc, "-p", project], { encoding: "utf8" });
  assert.equal(run.status, 0, run.stdout + run.stderr);
});
