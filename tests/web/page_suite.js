// SPDX-License-Identifier: MIT
// The cases that every browser engine runs, inside the page, using its controls as a person
// would: files given to its file input or dropped on it, the form set, Convert pressed, and what
// it offers read back. A driver (drive.js) loads this script (and axe-core) into the page and
// calls its steps; each returns what it found.
"use strict";

window.datliftSuite = (function () {
  const $ = (id) => document.getElementById(id);
  const results = [];
  const violations = [];
  document.addEventListener("securitypolicyviolation", (e) =>
    violations.push(`${e.violatedDirective} ${e.blockedURI}`));
  let data = null;

  const check = (name, ok, detail = "") => results.push({ name, ok: !!ok, detail: ok ? "" : String(detail) });
  const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
  const visible = (e) => e.offsetParent !== null || e.getClientRects().length > 0;

  async function until(condition, what, ms = 60000) {
    const start = performance.now();
    while (!condition()) {
      if (performance.now() - start > ms) throw new Error(`waited in vain for ${what}`);
      await sleep(5);
    }
  }

  function bytesOf(base64) {
    const binary = atob(base64);
    const out = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) out[i] = binary.charCodeAt(i);
    return out;
  }
  const latin1 = (bytes) => String.fromCharCode(...bytes);
  const same = (a, b) => a !== null && b !== null && a.length === b.length && a.every((x, i) => x === b[i]);

  // The page's status once it has settled on a new text that begins as expected.
  async function settled(expected) {
    await until(() => $("status").textContent.startsWith(expected), `the status "${expected}…"`);
    return $("status").textContent;
  }

  async function choose(files, expected) {
    const transfer = new DataTransfer();
    for (const f of files) transfer.items.add(f);
    const input = $("files");
    input.files = transfer.files;
    $("status").textContent = "";
    input.dispatchEvent(new Event("change"));
    return settled(expected);
  }

  function set(id, value) {
    const e = $(id);
    e.value = value;
    e.dispatchEvent(new Event(e.tagName === "SELECT" ? "change" : "input"));
  }

  async function convert() {
    $("status").textContent = "";
    $("convert-button").click();
    await until(() => !$("result").hidden && $("status").textContent !== "", "the run's outcome");
  }

  function offered() {
    const found = {};
    for (const a of document.querySelectorAll("#downloads a[download]")) {
      const href = a.getAttribute("href");
      found[a.getAttribute("download")] = bytesOf(href.slice(href.indexOf(",") + 1));
    }
    return found;
  }

  // ---- The form's settings for a case's arguments, or null where the controls cannot set them.

  function settings(args, models) {
    let version = null, model = null;
    const names = [];
    const text = (bytes) => {
      // What a person types, in a UTF-8 terminal or this page: no control, valid UTF-8.
      if (bytes.some((b) => b < 0x20 || b === 0x7f)) return null;
      try { return new TextDecoder("utf-8", { fatal: true }).decode(bytes); } catch { return null; }
    };
    for (const a of args) {
      const head = latin1(a.slice(0, 2)).toUpperCase();
      if (head === "/V") {
        if (version !== null || (version = text(a.slice(2))) === null) return null;
      } else if (models.includes(latin1(a.slice(1)).toUpperCase())) {
        if (model !== null) return null;
        model = latin1(a.slice(1)).toUpperCase();
      } else if (head === "/A" && a.length > 2 && names.length < 18) {
        const name = text(a.slice(2));
        if (name === null || new TextEncoder().encode(name).length > 11) return null;
        names.push(name);
      } else {
        return null; // /NC is the report itself; anything else is a usage error
      }
    }
    return { version: version === null ? null : version, model, names };
  }

  async function runCase(c) {
    const files = [new File([bytesOf(c.system)], "SYSTEM.DAT")];
    if (c.mcfg !== null) files.push(new File([bytesOf(c.mcfg)], "MCFG.DAT"));
    await choose(files, "SYSTEM.DAT");
    const models = [...$("model").options].map((o) => o.value).filter((v) => v !== "");
    const s = settings(c.args.map(bytesOf), models);
    if (s === null) return false;
    const targets = [...$("version").options].map((o) => o.value);
    if (s.version === null || targets.includes(s.version)) {
      set("version", s.version === null ? targets[0] : s.version);
    } else {
      set("version", "other");
      set("version-other", s.version);
    }
    set("model", s.model || "");
    for (let k = 0; k < 18; ++k) set(`name${k}`, s.names[k] || "");
    await convert();
    const problems = [];
    const code = Number($("exit").textContent);
    if (code !== c.exit) problems.push(`exit ${code}, expected ${c.exit}`);
    if (!c.stdout.includes($("stdout").textContent)) problems.push(`printed ${JSON.stringify($("stdout").textContent)}`);
    const saved = offered();
    for (const file of ["SYSTEM.DAT", "MCFG.DAT"]) {
      const expected = c.expected[file] === undefined ? null : bytesOf(c.expected[file]);
      if (c.after[file] === "file" && !same(saved[file] || null, expected))
        problems.push(`${file} to save differs from the expected file`);
      if (c.after[file] !== "file" && saved[file] !== undefined) problems.push(`${file} offered, expected ${c.after[file]}`);
    }
    check(`corpus ${c.name}`, problems.length === 0, problems.join("; "));
    return true;
  }

  // A run of the sweep: the page's exit code as datlift's, each file it offers as the one datlift
  // left, and each it does not offer left by datlift as it was.
  async function sweepRun(r) {
    const files = [new File([bytesOf(r.before.system)], "SYSTEM.DAT")];
    if (r.before.mcfg !== null) files.push(new File([bytesOf(r.before.mcfg)], "MCFG.DAT"));
    await choose(files, "SYSTEM.DAT");
    set("version", r.version);
    set("name0", r.names[0] || "");
    await convert();
    const problems = [];
    const code = Number($("exit").textContent);
    if (code !== r.exit) problems.push(`exit ${code}, expected ${r.exit}`);
    const saved = offered();
    for (const [file, key] of [["SYSTEM.DAT", "system"], ["MCFG.DAT", "mcfg"]]) {
      const left = r.after[key] === null ? null : bytesOf(r.after[key]);
      const was = r.before[key] === null ? null : bytesOf(r.before[key]);
      if (saved[file] !== undefined ? !same(saved[file], left) : !(left === was || same(left, was)))
        problems.push(`${file} is not what datlift leaves`);
    }
    check(`sweep ${r.name}`, problems.length === 0, problems.join("; "));
  }

  // ---- The defects found when the page was tried as a technician would.

  const sample = () => new File([bytesOf(data.sample)], "SYSTEM.DAT");

  async function names() {
    await choose([sample()], "SYSTEM.DAT");
    set("name0", "ABCDEFGHIJ€");
    check("a name is cut to whole characters within 11 bytes", $("name0").value === "ABCDEFGHIJ",
      $("name0").value);
    set("name0", "Zé");
    check("a name outside ASCII is said so", /outside ASCII/.test($("count0").textContent),
      $("count0").textContent);
    check("the limit is counted in bytes", $("count0").textContent.startsWith("3 of 11 bytes"),
      $("count0").textContent);
    await convert();
    const written = offered()["SYSTEM.DAT"];
    const entry = 1024 + 18 * 680; // the first entry of a V2.50 file's axis name table
    check("a name is written as the bytes a UTF-8 terminal passes",
      written && same(written.slice(entry, entry + 4), new Uint8Array([0x5a, 0xc3, 0xa9, 0])),
      written && Array.from(written.slice(entry, entry + 4)));
  }

  async function cleanForm() {
    await choose([sample()], "SYSTEM.DAT");
    set("version", "2.10");
    set("name0", "X1");
    await convert();
    for (const [what, change] of [["version", () => set("version", $("version").options[0].value)],
      ["model", () => set("model", $("model").options[1].value)], ["name", () => set("name1", "Y")]]) {
      await convert();
      change();
      check(`a change of the ${what} clears the last outcome`,
        $("result").hidden && offered()["SYSTEM.DAT"] === undefined);
    }
    await choose([sample()], "SYSTEM.DAT");
    check("a new file starts from a clean form",
      $("version").value === $("version").options[0].value && $("name0").value === "" &&
      $("name1").value === "" && $("result").hidden, `${$("version").value} ${$("name0").value}`);
    $("keep").checked = true;
    set("name0", "KEPT");
    await choose([sample()], "SYSTEM.DAT");
    check("the settings are kept where asked", $("name0").value === "KEPT");
    $("keep").checked = false;
  }

  async function versions() {
    await choose([sample()], "SYSTEM.DAT");
    const options = [...$("version").options].map((o) => o.value);
    check("the versions offered are those datlift converts to, and other",
      JSON.stringify(options) === JSON.stringify(["2.50", "2.10", "2.00", "other"]), options);
    set("version", "other");
    for (const [typed, read] of [["", "0.00"], ["V2.10", "0.00"], ["2,10", "2.00"], ["2.1", "2.10"]]) {
      set("version-other", typed);
      check(`"${typed}" is shown as datlift reads it`, $("version-note").textContent.includes(`as ${read}`),
        $("version-note").textContent);
    }
  }

  async function outcomes() {
    const newest = new File([bytesOf(data.newest)], "SYSTEM.DAT");
    await choose([newest], "SYSTEM.DAT");
    await convert();
    const status = $("status").textContent, outcome = $("outcome").textContent;
    check("a refused run is not called converted", !/^Converted|: Converted/.test(status) && /Not converted/.test(outcome),
      `${status} / ${outcome}`);
    check("the outcome shows the program's own line", outcome.includes("This ist the newest convertable Version!"), outcome);
  }

  async function drop() {
    const transfer = new DataTransfer();
    transfer.items.add(sample());
    transfer.items.add("https://example.org/", "text/uri-list");
    $("status").textContent = "";
    const event = new DragEvent("drop", { bubbles: true, cancelable: true, dataTransfer: transfer });
    document.querySelector("header").dispatchEvent(event);
    const status = await settled("SYSTEM.DAT");
    check("a drop outside the zone is the page's", event.defaultPrevented);
    check("what a drop holds that is no file is said", /not read: 1 dropped item that is no file/.test(status), status);
  }

  // The export as the page makes it when it is clicked; the download itself stopped.
  function exported() {
    const stop = (e) => e.preventDefault();
    document.addEventListener("click", stop);
    $("export").click();
    document.removeEventListener("click", stop);
    const href = $("export").getAttribute("href");
    return atob(href.slice(href.indexOf(",") + 1));
  }

  const inventoryFiles = () => data.inventory.files.map((f) => new File([bytesOf(f.bytes)], f.name));

  async function inventory() {
    const files = inventoryFiles();
    const status = await choose(files, "Inventory of");
    check("an inventory counts its files in words", status === `Inventory of ${files.length} files.`, status);
    check("no column is marked sorted while the rows are in the order chosen",
      document.querySelectorAll("#inventory-table th[aria-sort]").length === 0);
    check("the export is datlift-inspect --json of the files", exported() === data.inventory.expected);
    check("no text is shown in double brackets", !$("inventory-table").textContent.includes("(("));
    check("the verdict says what it means", !/verdict exit|^exit \d/.test($("inventory-table").textContent));
    const table = $("inventory-table");
    check("a long token does not widen the table beyond the page",
      table.getBoundingClientRect().width <= document.documentElement.clientWidth,
      `${table.getBoundingClientRect().width} px`);
    const long = [...table.querySelectorAll("span[title]")].find((s) => s.title.length > 100);
    check("a long token is cut, the whole of it on hover", long !== undefined);
    const byPath = table.querySelector("th button[data-key='path']");
    byPath.click();
    byPath.click();
    const descending = exported();
    check("the export follows the table's order", $("export-note").textContent.includes("by file, descending") &&
      descending.startsWith(`[\n{"path": "${files[files.length - 1].name}"`), $("export-note").textContent);
    byPath.click();
    check("sorted by path, the export is the command line's", exported() === data.inventory.expected);
    const one = new File([bytesOf(data.mcfg)], "MCFG.DAT");
    check("one file is one file", (await choose([one], "Inventory of")) === "Inventory of 1 file.");
  }

  // Two SYSTEM.DAT of two machines: each row opens its own file, and the way back is there.
  async function openRow() {
    const files = [sample(), new File([bytesOf(data.newest)], "SYSTEM.DAT")];
    await choose(files, "Inventory of");
    $("status").textContent = "";
    $("inventory-table").querySelectorAll("tbody button[data-open]")[1].click();
    const status = await settled("SYSTEM.DAT");
    check("a row opens its file's report and form", !$("report").hidden && !$("convert").hidden &&
      $("facts").textContent.includes(`${files[1].size} bytes`), status);
    $("back").click();
    check("the inventory is one step back", !$("inventory").hidden && $("report").hidden);
  }

  return {
    // Everything that needs no particular window or browser.
    async run(input) {
      data = input;
      let expressed = 0;
      // A case that cannot be run is one failure; the others still run.
      const each = async (name, step) => { try { return await step(); } catch (e) { check(name, false, e.message); return false; } };
      for (const c of data.corpus) expressed += (await each(`corpus ${c.name}`, () => runCase(c))) ? 1 : 0;
      results.push({ name: "measure: corpus", ok: true, detail: `${expressed} of ${data.corpus.length} cases set by the controls` });
      for (const r of data.sweep) await each(`sweep ${r.name}`, () => sweepRun(r));
      const inputs = new Set(data.sweep.map((r) => r.before.system + r.before.mcfg)).size;
      results.push({ name: "measure: sweep", ok: true, detail: `${data.sweep.length} runs on ${inputs} inputs compared with datlift's` });
      for (const step of [names, cleanForm, versions, outcomes, drop, inventory, openRow]) await each(step.name, step);
      return results.splice(0);
    },
    // The shipped sample's report, converted, as the page's picture shows it.
    async show(input) {
      data = input;
      await choose([sample()], "SYSTEM.DAT");
      await convert();
    },
    // No horizontal scroll, in each state, at the window's width now.
    async layout(label) {
      const wide = () => document.documentElement.scrollWidth > document.documentElement.clientWidth + 1;
      const out = [];
      await choose([sample()], "SYSTEM.DAT");
      await convert();
      out.push(["report and run", wide()]);
      await choose(inventoryFiles(), "Inventory of");
      out.push(["inventory", wide()]);
      return out.map(([state, scrolls]) => ({ name: `no horizontal scroll at ${label}: ${state}`, ok: !scrolls,
        detail: scrolls ? `${document.documentElement.scrollWidth} px wide` : "" }));
    },
    // axe-core in each state, light and dark.
    async accessible(input) {
      data = input;
      const out = [];
      const states = [["empty", async () => {}],
        ["report", () => choose([sample()], "SYSTEM.DAT")],
        ["after Convert", convert],
        ["warning", async () => { set("name0", "Zé"); set("name2", "GAP"); }],
        ["inventory", () => choose(inventoryFiles(), "Inventory of")]];
      for (const [state, reach] of states) {
        await reach();
        for (const dark of [false, true]) {
          document.documentElement.classList.toggle("dark", dark);
          const found = (await axe.run(document, { resultTypes: ["violations"] })).violations;
          out.push({ name: `axe-core, ${state}, ${dark ? "dark" : "light"}`, ok: found.length === 0,
            detail: found.map((v) => `${v.id} (${v.nodes.length})`).join(", ") });
        }
        document.documentElement.classList.toggle("dark", window.matchMedia("(prefers-color-scheme: dark)").matches);
      }
      return out;
    },
    // An inventory of `count` files: seconds, whether it showed its progress, and sorting it.
    async speed(count) {
      const sources = data.inventory.files.map((f) => bytesOf(f.bytes));
      const files = Array.from({ length: count }, (_, i) => new File([sources[i % sources.length]], `unit${i}.dat`));
      let progress = false;
      const seen = new MutationObserver(() => { progress ||= $("status").textContent.startsWith("Reading "); });
      seen.observe($("status"), { childList: true, characterData: true, subtree: true });
      const started = performance.now();
      await choose(files, `Inventory of ${count} files`);
      const seconds = (performance.now() - started) / 1000;
      seen.disconnect();
      const sortStarted = performance.now();
      document.querySelector("#inventory-table th button[data-key='verdict']").click();
      return { seconds, progress, sortMs: performance.now() - sortStarted };
    },
    // A machine's folder (where the browser lets a page write into one): read, converted after a
    // confirmation, both written whole, no other name made; and where SYSTEM.DAT cannot be
    // written, MCFG.DAT put back.
    async folder(expected) {
      const root = await navigator.storage.getDirectory();
      const out = [];
      const seed = async () => {
        for await (const [name] of root.entries()) await root.removeEntry(name, { recursive: true });
        const dir = await root.getDirectoryHandle("machine7", { create: true });
        for (const [name, b64] of [["SYSTEM.DAT", data.sample], ["MCFG.DAT", data.mcfg]]) {
          const w = await (await dir.getFileHandle(name, { create: true })).createWritable();
          await w.write(bytesOf(b64));
          await w.close();
        }
        window.showDirectoryPicker = async () => dir;
        return dir;
      };
      const contents = async (dir) => {
        const found = {};
        for await (const [name, handle] of dir.entries())
          found[name] = new Uint8Array(await (await handle.getFile()).arrayBuffer());
        return found;
      };
      const writeBoth = async () => {
        $("status").textContent = "";
        $("machine").click();
        await settled("SYSTEM.DAT with MCFG.DAT");
        await convert();
        $("write-button").click();
        $("confirm-yes").click();
        await until(() => $("written").textContent !== "", "the folder written");
        return $("written").textContent;
      };
      let dir = await seed();
      const said = await writeBoth();
      let now = await contents(dir);
      out.push({ name: "a machine's folder gets both converted files, and no other name", ok:
        Object.keys(now).sort().join() === "MCFG.DAT,SYSTEM.DAT" && same(now["SYSTEM.DAT"], bytesOf(expected.system)) &&
        same(now["MCFG.DAT"], bytesOf(expected.mcfg)), detail: `${said}: ${Object.keys(now)}` });
      dir = await seed();
      const real = dir.getFileHandle.bind(dir);
      dir.getFileHandle = async (name, options) => {
        const handle = await real(name, options);
        if (name !== "SYSTEM.DAT" || !(options && options.create)) return handle;
        return { createWritable: async () => { throw new DOMException("the disk is full", "QuotaExceededError"); } };
      };
      const failed = await writeBoth();
      now = await contents(dir);
      out.push({ name: "where SYSTEM.DAT cannot be written, MCFG.DAT is put back", ok:
        same(now["MCFG.DAT"], bytesOf(data.mcfg)) && same(now["SYSTEM.DAT"], bytesOf(data.sample)) &&
        /SYSTEM\.DAT could not be written/.test(failed) && /MCFG\.DAT is as it was/.test(failed), detail: failed });
      return out;
    },
    // Whatever the page asked the network for, as the browser tells the page.
    network() {
      return { violations: violations.slice(), resources: performance.getEntriesByType("resource").map((r) => r.name) };
    },
  };
})();
