// SPDX-License-Identifier: MIT
// The page in one browser engine: served from this machine, opened, and put through the cases of
// page_suite.js, with axe-core in every state; the engine driven by Selenium (Chromium, WebKit
// with WebKitWebDriver) or by puppeteer-core over WebDriver BiDi (Firefox). In Chromium also the
// machine's folder written through the File System Access API, and the inventory's speed beside
// datlift-inspect --json's. Prints each failure and a summary; exits 1 on any failure.
//   node drive.js ENGINE PAGE CASES_DIR DATLIFT DATLIFT_INSPECT SAMPLE [SCREENSHOT]
"use strict";
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const { spawn, spawnSync } = require("child_process");

const [engine, ...paths] = process.argv.slice(2);
const [page, casesDir, datlift, inspect, sample, screenshot] = paths.map((p) => path.resolve(p));
const here = __dirname;
const read = (file) => (fs.existsSync(file) ? fs.readFileSync(file) : null);
const b64 = (bytes) => Buffer.from(bytes).toString("base64");

// ---- What the cases need: the corpus as the page can take it, files for an inventory with
// datlift-inspect's report of them, and runs of datlift itself.

function corpus() {
  const cases = [];
  for (const name of fs.readdirSync(casesDir).sort()) {
    const dir = path.join(casesDir, name);
    const c = JSON.parse(fs.readFileSync(path.join(dir, "case.json"), "utf8"));
    if (c.system !== "file" || c.mcfg === "directory" || c.file_size_limit !== null) continue;
    const expected = {};
    for (const file of ["SYSTEM.DAT", "MCFG.DAT"]) {
      const bytes = read(path.join(dir, "expected", file));
      if (bytes !== null) expected[file] = b64(bytes);
    }
    cases.push({
      name, exit: c.exit, after: c.after, expected,
      args: c.args.map((hex) => b64(Buffer.from(hex, "hex"))),
      system: b64(read(path.join(dir, "SYSTEM.DAT"))),
      mcfg: c.mcfg === "file" ? b64(read(path.join(dir, "MCFG.DAT"))) : null,
      stdout: ["stdout", "stdout-alt"].map((f) => read(path.join(dir, "expected", f)))
        .filter((x) => x !== null).map((x) => x.toString("latin1")),
    });
  }
  return cases;
}

// datlift in a scratch directory on these files: its exit code, and the files afterwards.
function datliftOn(files, args = []) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "datlift-page-"));
  for (const [name, bytes] of Object.entries(files)) fs.writeFileSync(path.join(dir, name), bytes);
  const exit = spawnSync(datlift, args, { cwd: dir, stdio: "ignore" }).status;
  const out = {};
  for (const name of fs.readdirSync(dir)) out[name] = fs.readFileSync(path.join(dir, name));
  fs.rmSync(dir, { recursive: true });
  return { exit, files: out };
}

// Files for an inventory, written to `dir`: an MCFG.DAT, then the corpus's inputs, the one with
// the longest model token first.
function inventoryFiles(dir, count) {
  const sources = ["0064", ...fs.readdirSync(casesDir).sort()]
    .map((c) => read(path.join(casesDir, c, "SYSTEM.DAT"))).filter((x) => x !== null);
  const names = [];
  for (let i = 0; i < count; ++i) {
    const name = i === 0 ? "MCFG.DAT" : `unit${String(i).padStart(5, "0")}.dat`;
    fs.writeFileSync(path.join(dir, name), i === 0 ? Buffer.alloc(460) : sources[(i - 1) % sources.length]);
    names.push(name);
  }
  return names;
}

// datlift-inspect --json's report of the files, and how long it took.
function inspected(dir, names) {
  const started = process.hrtime.bigint();
  const run = spawnSync(inspect, ["--json", ...names], { cwd: dir, maxBuffer: 1 << 30 });
  return { text: run.stdout.toString("latin1"), seconds: Number(process.hrtime.bigint() - started) / 1e9 };
}

// Each distinct input of the corpus converted to each version the page offers, and to the
// newest with an axis name: what datlift leaves in its directory afterwards, beside what was there before.
function sweep() {
  const seen = new Set();
  const runs = [];
  for (const name of fs.readdirSync(casesDir).sort()) {
    const dir = path.join(casesDir, name);
    const c = JSON.parse(fs.readFileSync(path.join(dir, "case.json"), "utf8"));
    if (c.system !== "file" || c.mcfg === "directory") continue;
    const before = { "SYSTEM.DAT": read(path.join(dir, "SYSTEM.DAT")) };
    if (c.mcfg === "file") before["MCFG.DAT"] = read(path.join(dir, "MCFG.DAT"));
    const key = Object.values(before).map(b64).join("/");
    if (seen.has(key)) continue;
    seen.add(key);
    // A name is set only where a run ends in the newest version.
    const file = (files, n) => (files[n] === undefined ? null : b64(files[n]));
    for (const [version, names] of [["2.00", []], ["2.10", []], ["2.50", []], ["2.50", ["AX1"]]]) {
      const args = [`/V${version}`, ...names.map((n) => `/A${n}`)];
      const after = datliftOn(before, args);
      runs.push({ name: `${name} ${args.join(" ")}`, version, names, exit: after.exit,
        before: { system: file(before, "SYSTEM.DAT"), mcfg: file(before, "MCFG.DAT") },
        after: { system: file(after.files, "SYSTEM.DAT"), mcfg: file(after.files, "MCFG.DAT") } });
    }
  }
  return runs;
}

function data(work) {
  const sampleBytes = read(sample);
  const oldMcfg = Buffer.alloc(300, 0x42);
  const dir = path.join(work, "inventory");
  fs.mkdirSync(dir);
  const names = inventoryFiles(dir, 40);
  const converted = datliftOn({ "SYSTEM.DAT": sampleBytes, "MCFG.DAT": oldMcfg }).files;
  return {
    corpus: corpus(),
    sweep: sweep(),
    sample: b64(sampleBytes),
    newest: b64(converted["SYSTEM.DAT"]),
    mcfg: b64(oldMcfg),
    inventory: { files: names.map((n) => ({ name: n, bytes: b64(read(path.join(dir, n))) })),
      expected: inspected(dir, names).text },
    folder: { system: b64(converted["SYSTEM.DAT"]), mcfg: b64(converted["MCFG.DAT"]) },
  };
}

// ---- The engines, each with the same few operations.

const modules = path.join(here, "node_modules");

async function selenium(build) {
  const driver = await build(require(path.join(modules, "selenium-webdriver")));
  await driver.manage().setTimeouts({ script: 30 * 60 * 1000 });
  return {
    open: (url) => driver.get(url),
    call: (expression, arg) => driver.executeScript(`return (${expression})(arguments[0])`, arg),
    load: (source) => driver.executeScript(source),
    size: (width, height) => driver.manage().window().setRect({ width, height }),
    shot: async (file) => fs.writeFileSync(file, Buffer.from(await driver.takeScreenshot(), "base64")),
    close: () => driver.quit(),
  };
}

const engines = {
  chromium: () => selenium(async ({ Builder }) => {
    const chrome = require(path.join(modules, "selenium-webdriver", "chrome"));
    const options = new chrome.Options().setChromeBinaryPath("/usr/bin/chromium").addArguments(
      "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      `--user-data-dir=${fs.mkdtempSync(path.join(os.tmpdir(), "datlift-chromium-"))}`);
    return new Builder().forBrowser("chrome").setChromeOptions(options)
      .setChromeService(new chrome.ServiceBuilder("/usr/bin/chromedriver")).build();
  }),
  webkit: async () => {
    const port = 4400 + (process.pid % 500);
    const server = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: "ignore" });
    await new Promise((r) => setTimeout(r, 1000));
    const driver = await selenium(({ Builder }) => new Builder().usingServer(`http://127.0.0.1:${port}`)
      .withCapabilities({ browserName: "MiniBrowser", "webkitgtk:browserOptions": {
        binary: "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser", args: ["--automation"] } }).build());
    return { ...driver, close: async () => { await driver.close(); server.kill(); } };
  },
  firefox: async () => {
    const puppeteer = require(path.join(modules, "puppeteer-core"));
    const browser = await puppeteer.launch({ browser: "firefox", executablePath: "/usr/bin/firefox-esr",
      headless: true, protocol: "webDriverBiDi", protocolTimeout: 30 * 60 * 1000 });
    const tab = await browser.newPage();
    tab.setDefaultTimeout(30 * 60 * 1000);
    return {
      open: (url) => tab.goto(url),
      // eslint-disable-next-line no-new-func -- made here, in Node, and sent to the page as a function
      call: (expression, arg) => tab.evaluate(new Function("a", `return (${expression})(a);`), arg),
      load: (source) => tab.evaluate(source),
      size: (width, height) => tab.setViewport({ width, height }),
      shot: (file) => tab.screenshot({ path: file }),
      close: () => browser.close(),
    };
  },
};

// ---- The run.

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), "datlift-page-test-"));
  const asked = [];
  // The page's own policy again, to report: whatever it blocks, even while the page loads,
  // comes back here as a request.
  const policy = read(page).toString("utf8").match(/http-equiv="Content-Security-Policy" content="([^"]*)"/)[1];
  const server = http.createServer((request, response) => {
    if (request.url === "/datlift.html") {
      response.writeHead(200, { "Content-Type": "text/html; charset=utf-8",
        "Content-Security-Policy-Report-Only": `${policy}; report-uri /blocked` });
      response.end(read(page));
    } else {
      asked.push(request.url);
      response.writeHead(404).end();
    }
  });
  await new Promise((r) => server.listen(0, "127.0.0.1", r));
  const url = `http://127.0.0.1:${server.address().port}/datlift.html`;
  const input = data(work);
  const browser = await engines[engine]();
  const results = [];
  const ready = () => browser.call("(async () => { while (!document.getElementById('status').textContent" +
    ".startsWith('Ready')) await new Promise((r) => setTimeout(r, 10)); })", null);
  try {
    await browser.size(1100, 1400);
    const started = Date.now();
    await browser.open(url);
    await ready();
    results.push({ name: "measure: opening", ok: true, detail: `${((Date.now() - started) / 1000).toFixed(2)} s to ready` });
    await browser.load(fs.readFileSync(path.join(modules, "axe-core", "axe.min.js"), "utf8"));
    await browser.load(fs.readFileSync(path.join(here, "page_suite.js"), "utf8"));
    const list = (r) => (Array.isArray(r) ? r : [{ name: "a step of the suite", ok: false, detail: JSON.stringify(r) }]);
    // A step that fails as a whole is one failure, and the others still run.
    const step = (name, run) => run().catch((e) => { results.push({ name, ok: false, detail: e.message }); return null; });
    await step("axe-core", () => browser.call("(d) => window.datliftSuite.accessible(d)", input).then((r) => results.push(...list(r))));
    await step("the cases", () => browser.call("(d) => window.datliftSuite.run(d)", input).then((r) => results.push(...list(r))));
    if (screenshot) {
      await browser.call("(d) => window.datliftSuite.show(d)", input);
      await browser.shot(screenshot);
    }
    for (const [width, label] of [[375, "375 px"], [320, "320 px (400 % zoom)"]]) {
      await browser.size(width, 900);
      await step(`layout at ${label}`, () => browser.call("(d) => window.datliftSuite.layout(d)", label).then((r) => results.push(...list(r))));
    }
    await browser.size(1100, 1400);
    if (engine === "chromium") {
      await step("the machine's folder", () => browser.call("(d) => window.datliftSuite.folder(d)", input.folder).then((r) => results.push(...list(r))));
      for (const count of [1000, 10000]) {
        const dir = fs.mkdtempSync(path.join(work, "speed-"));
        const program = inspected(dir, inventoryFiles(dir, count));
        const page = await step(`inventory of ${count}`, () => browser.call("(d) => window.datliftSuite.speed(d)", count));
        if (page === null) continue;
        results.push({ name: `measure: inventory of ${count} files`, ok: true,
          detail: `page ${page.seconds.toFixed(2)} s (sorting ${page.sortMs.toFixed(0)} ms); datlift-inspect --json ${program.seconds.toFixed(2)} s` });
        results.push({ name: `an inventory of ${count} files shows its progress`, ok: page.progress });
        const limit = count === 1000 ? 1 : 8;
        results.push({ name: `an inventory of ${count} files within ${limit} s`, ok: page.seconds < limit,
          detail: `${page.seconds.toFixed(2)} s` });
        results.push({ name: `sorting ${count} rows within ${count === 1000 ? 100 : 1000} ms`,
          ok: page.sortMs < (count === 1000 ? 100 : 1000), detail: `${page.sortMs.toFixed(0)} ms` });
      }
    }
    // Served, and opened as a file, as a technician may keep it.
    for (const [where, address] of [["served", null], ["opened as a file", `file://${page}`]]) {
      if (address !== null) {
        await browser.open(address);
        await ready();
        await browser.load(fs.readFileSync(path.join(here, "page_suite.js"), "utf8"));
      }
      const network = await browser.call("() => window.datliftSuite.network()", null);
      results.push({ name: `the page asks the network for nothing, ${where}`, ok:
        network.violations.length === 0 && network.resources.length === 0 && asked.length === 0,
        detail: JSON.stringify({ ...network, asked }) });
      asked.length = 0;
    }
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  const failed = results.filter((r) => !r.ok);
  for (const r of results.filter((x) => x.name.startsWith("measure: "))) console.log(`${engine}: ${r.name.slice(9)}: ${r.detail}`);
  for (const r of failed) console.log(`FAIL ${engine}: ${r.name}: ${r.detail}`);
  const checks = results.filter((r) => !r.name.startsWith("measure: "));
  console.log(`${engine}: ${checks.length - failed.length} of ${checks.length} checks passed`);
  process.exit(failed.length === 0 ? 0 : 1);
}

main().catch((e) => {
  console.log(`FAIL ${engine}: ${e.stack || e}`);
  process.exit(1);
});
