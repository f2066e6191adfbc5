// SPDX-License-Identifier: MIT
// The page's core under Node against the conformance corpus: every case whose files a page can
// hold in memory (SYSTEM.DAT a file, missing or a directory; MCFG.DAT a file or missing; no
// file size limit), with its arguments as bytes. The exit code, standard output byte for byte and
// the files afterwards must be the corpus's.
//   node web_node_test.js MODULE_JS CORE_JS CASES_DIR
"use strict";
const fs = require("fs");
const path = require("path");

const [modulePath, corePath, casesDir] = process.argv.slice(2);
const DatliftModule = require(path.resolve(modulePath));
const { datliftCore } = require(path.resolve(corePath));

// Why a case cannot be run in memory, or null.
function skipReason(c) {
  if (c.file_size_limit !== null) return "a file size limit";
  if (c.mcfg === "directory") return "MCFG.DAT a directory";
  return null;
}

function read(file) {
  return fs.existsSync(file) ? new Uint8Array(fs.readFileSync(file)) : null;
}

function same(a, b) {
  return a !== null && b !== null && a.length === b.length && a.every((x, i) => x === b[i]);
}

DatliftModule({ wasmBinary: fs.readFileSync(modulePath.replace(/\.js$/, ".wasm")) }).then((module) => {
  const core = datliftCore(module);
  let passed = 0, failed = 0;
  const skipped = {};
  for (const name of fs.readdirSync(casesDir).sort()) {
    const dir = path.join(casesDir, name);
    const c = JSON.parse(fs.readFileSync(path.join(dir, "case.json"), "utf8"));
    const reason = skipReason(c);
    if (reason !== null) {
      skipped[reason] = (skipped[reason] || 0) + 1;
      continue;
    }
    const input = read(path.join(dir, "SYSTEM.DAT"));
    // A link to a file is the file; to nothing, no file; a directory is no file to open.
    const system = c.system === "file" || c.system === "link" ? input : null;
    const args = c.args.map((hex) => Uint8Array.from(Buffer.from(hex, "hex")));
    const run = core.run(system, args);
    const problems = [];
    if (run.exit !== c.exit) problems.push(`exit ${run.exit}, expected ${c.exit}`);
    const outputs = ["stdout", "stdout-alt"].map((f) => read(path.join(dir, "expected", f)))
      .filter((x) => x !== null).map((b) => Buffer.from(b).toString("latin1"));
    if (!outputs.includes(run.stdout)) problems.push(`stdout ${JSON.stringify(run.stdout)}`);
    for (const [file, written] of [["SYSTEM.DAT", run.system], ["MCFG.DAT", run.mcfg]]) {
      const after = c.after[file];
      if (after === "file" && !same(written, read(path.join(dir, "expected", file))))
        problems.push(`${file} differs from the expected file`);
      if (after !== "file" && written !== null) problems.push(`${file} written, expected ${after}`);
    }
    if (problems.length === 0) {
      ++passed;
    } else {
      ++failed;
      console.log(`FAIL ${name}: ${problems.join("; ")}`);
    }
  }
  const reasons = Object.entries(skipped).map(([r, n]) => `${n} with ${r}`).join(", ");
  const total = Object.values(skipped).reduce((a, b) => a + b, 0);
  console.log(`${passed} passed, ${failed} failed, ${total} skipped${total ? ` (${reasons})` : ""}`);
  process.exit(failed === 0 ? 0 : 1);
});
