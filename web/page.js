// SPDX-License-Identifier: MIT
// The page: files chosen or dropped; one SYSTEM.DAT (with its MCFG.DAT) reported and converted,
// many files inventoried. Everything runs on the bytes in memory, by the program's own core.
"use strict";

(function () {
  const $ = (id) => document.getElementById(id);
  const NAME_LIMIT = 11;
  const AXES = 18;
  let core = null;
  let catalogue = null; // the versions and models, as the core knows them
  let current = null; // the SYSTEM.DAT shown: its bytes and name

  const status = (text) => { $("status").textContent = text; };
  const isMcfg = (name) => name.split(/[\\/]/).pop().toUpperCase() === "MCFG.DAT";
  const pathOf = (file) => file.webkitRelativePath || file.name;
  // A text of byte characters (Latin-1), for display.
  const shown = (text) => (text === null ? "(absent)" : text);

  function element(tag, text, attributes = {}) {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = String(text);
    for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
    return e;
  }

  function facts(list, pairs) {
    list.replaceChildren();
    for (const [term, value] of pairs) list.append(element("dt", term), element("dd", value));
  }

  function rows(table, cells, numeric = []) {
    const body = table.tBodies[0];
    body.replaceChildren();
    for (const row of cells) {
      const tr = element("tr");
      row.forEach((cell, i) => tr.append(element(i === 0 ? "th" : "td", cell,
        i === 0 ? { scope: "row" } : numeric.includes(i) ? { class: "number" } : {})));
      body.append(tr);
    }
  }

  function base64(bytes) {
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000)
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(binary);
  }

  // A link that saves the bytes under the name, made from them alone.
  function download(name, bytes, type = "application/octet-stream") {
    return element("a", `${name} (${bytes.length} bytes)`,
      { download: name, href: `data:${type};base64,${base64(bytes)}` });
  }

  async function head(file) {
    return new Uint8Array(await file.slice(0, core.headRoom).arrayBuffer());
  }

  // ---- One SYSTEM.DAT: what it holds, its blocks, and a conversion.

  function showSystem(r) {
    const model = r.model === null ? "(none)" : `${r.model} (family ${r.family})`;
    facts($("facts"), [
      ["File", r.path],
      ["Size", `${r.size} bytes`],
      ["Header", r.header === null ? "none (no identification string found)"
        : `${r.header}, model token ${r.model_token}, version token ${r.version_token}`],
      ["Version number", r.version_number === null ? "(none)" : r.version_number],
      ["Model", model],
      ["Verdict", `exit ${r.verdict.exit}, "${r.verdict.message}"`],
      ["Why", r.verdict.why],
      ["Trailing bytes", r.trailing_bytes === null ? "(absent: the file ends before its last block)"
        : r.trailing_bytes],
    ]);
    facts($("texts"), [
      ["Header text 1", shown(r.header_texts[0])],
      ["Header text 2", shown(r.header_texts[1])],
      ["Header text 3", shown(r.header_texts[2])],
      ["General text", shown(r.general_text)],
    ]);
    rows($("axes"), r.axis_names.map((name, k) => [k, shown(name)]));
  }

  // The header and blocks as a bar, each part as wide as its share of the file; what lies
  // behind the last block, if anything, at the end.
  function showBlocks(blocks, size) {
    rows($("blocks"), blocks.map((b) => [b.name, b.offset, b.size, b.whole ? "whole" : "not whole"]),
      [1, 2]);
    const map = $("map");
    map.replaceChildren();
    if (blocks.length === 0) {
      map.append(element("p", "No layout: the file names no version that has one."));
      return;
    }
    const last = blocks[blocks.length - 1];
    const end = Math.max(size, last.offset + last.size);
    const parts = blocks.map((b) => ({ ...b, kind: b.whole ? "whole" : "cut" }));
    if (size > last.offset + last.size)
      parts.push({ name: "behind the last block", offset: last.offset + last.size,
        size: size - last.offset - last.size, kind: "behind" });
    const ns = "http://www.w3.org/2000/svg";
    const svg = document.createElementNS(ns, "svg");
    svg.setAttribute("viewBox", "0 0 100 8");
    svg.setAttribute("role", "img");
    svg.setAttribute("aria-label", `${size} bytes: ${parts.map((p) => `${p.name} ${p.size}`).join(", ")}`);
    svg.innerHTML = '<defs><pattern id="hatch" width="1" height="1" patternUnits="userSpaceOnUse"' +
      ' patternTransform="rotate(45)"><rect width="0.5" height="1" class="whole"/></pattern></defs>';
    for (const p of parts) {
      const x = (100 * p.offset) / end, width = (100 * p.size) / end;
      const rect = document.createElementNS(ns, "rect");
      for (const [k, v] of [["x", x], ["y", 0], ["width", width], ["height", 8]]) rect.setAttribute(k, String(v));
      rect.setAttribute("class", `${p.kind} part${parts.indexOf(p) % 2}`);
      const title = document.createElementNS(ns, "title");
      title.textContent = `${p.name}: offset ${p.offset}, ${p.size} bytes`;
      rect.append(title);
      svg.append(rect);
      if (width >= p.name.length * 1.5) {
        const label = document.createElementNS(ns, "text");
        label.setAttribute("x", String(x + width / 2));
        label.setAttribute("y", "4.8");
        label.setAttribute("text-anchor", "middle");
        label.textContent = p.name;
        svg.append(label);
      }
    }
    map.append(svg);
  }

  function showMcfg(file, bytes) {
    $("mcfg").hidden = file === null;
    if (file === null) return;
    const r = JSON.parse(core.inspect(bytes, pathOf(file), file.size));
    const defaults = JSON.parse(core.inspect(core.defaultMcfg(), "MCFG.DAT")).fields;
    facts($("mcfg-facts"), [
      ["File", r.path],
      ["Size", `${r.size} bytes${r.fields === null ? " (an MCFG block is 460 bytes: its fields cannot be read)" : ""}`],
      ["Default image", r.is_default ? "yes" : "no"],
      ["Stray bytes", r.stray_bytes.length === 0 ? "none" : r.stray_bytes.join(" ")],
    ]);
    rows($("mcfg-fields"), (r.fields || []).map((f, i) =>
      [f.name, f.type, f.offset, shown(f.value), shown(defaults[i].value)]), [2]);
  }

  function fillModels(r) {
    const select = $("model");
    select.replaceChildren(element("option", r.model === null ? "as the file names it"
      : `as the file names it (${r.model})`, { value: "" }));
    for (const m of catalogue.models.filter((m) => m.family === r.family))
      select.append(element("option", m.code, { value: m.code }));
  }

  async function showOne(system, mcfg) {
    const bytes = new Uint8Array(await system.arrayBuffer());
    const mcfgBytes = mcfg === null ? null : new Uint8Array(await mcfg.arrayBuffer());
    current = { bytes, name: pathOf(system) };
    const r = JSON.parse(core.inspect(bytes, current.name));
    showSystem(r);
    showBlocks(core.blocks(bytes), bytes.length);
    showMcfg(mcfg, mcfgBytes);
    fillModels(r);
    $("result").hidden = true;
    $("inventory").hidden = true;
    $("report").hidden = false;
    $("convert").hidden = false;
    status(`${current.name}: ${r.model === null ? "no known model" : r.model}, verdict exit ${r.verdict.exit}`);
  }

  // The bytes of a text as the program takes them: characters up to 255 as one byte each,
  // others in UTF-8.
  function argument(text) {
    const out = [];
    for (const ch of text) {
      const code = ch.codePointAt(0);
      if (code < 256) out.push(code);
      else out.push(...new TextEncoder().encode(ch));
    }
    return new Uint8Array(out);
  }

  // The options of the form, as datlift takes them; null where the names leave a gap.
  function options() {
    const args = [argument(`/V${$("version").value}`)];
    if ($("model").value !== "") args.push(argument(`/${$("model").value}`));
    const names = [...document.querySelectorAll("#names input")].map((i) => i.value);
    const last = names.map((n) => n !== "").lastIndexOf(true);
    if (names.slice(0, last + 1).includes("")) return null;
    for (const name of names.slice(0, last + 1)) args.push(argument(`/A${name}`));
    return args;
  }

  function checkNames() {
    const gap = options() === null;
    $("form-note").textContent = gap ? "Give the axis names in order: a name follows every name before it." : "";
    $("form-note").classList.toggle("warn", gap);
    $("convert-button").disabled = gap;
  }

  function convert(event) {
    event.preventDefault();
    const args = options();
    if (current === null || args === null) return;
    const run = core.run(current.bytes, args);
    $("exit").textContent = String(run.exit);
    $("stdout").textContent = run.stdout;
    $("why").textContent = run.exit !== 0 && run.why !== "" ? `Why: ${run.why.trim()}` : "";
    const links = $("downloads");
    links.replaceChildren();
    if (run.system !== null) links.append(download("SYSTEM.DAT", run.system));
    if (run.mcfg !== null) links.append(download("MCFG.DAT", run.mcfg));
    if (run.system === null && run.mcfg === null) links.append(element("span", "Nothing to save: the run writes no file."));
    $("result").hidden = false;
    status(`Converted: exit code ${run.exit}`);
  }

  function buildNames() {
    const box = $("names");
    for (let k = 0; k < AXES; ++k) {
      const p = element("p");
      const input = element("input", null, { id: `name${k}`, autocomplete: "off", spellcheck: "false",
        "aria-describedby": `count${k}` });
      const count = element("span", "", { id: `count${k}`, class: "note", "aria-live": "polite" });
      input.addEventListener("input", () => {
        const n = [...input.value].length;
        count.textContent = n === 0 ? "" : n <= NAME_LIMIT ? `${n} of ${NAME_LIMIT}`
          : `${n}: only the first ${NAME_LIMIT} are kept`;
        count.classList.toggle("warn", n > NAME_LIMIT);
        checkNames();
      });
      p.append(element("label", `Axis ${k} `, { for: `name${k}` }), input, element("span", " "), count);
      box.append(p);
    }
  }

  // ---- Many files: the inventory.

  let inventory = [];

  function showInventory() {
    rows($("inventory-table"), inventory.map((f) => [f.path, f.model, f.version, f.verdict]));
  }

  function sortBy(key, button) {
    const th = button.closest("th");
    const ascending = th.getAttribute("aria-sort") !== "ascending";
    for (const other of document.querySelectorAll("#inventory-table th")) other.removeAttribute("aria-sort");
    th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
    const by = (f) => (key === "version" ? (f.number === null ? -1 : f.number) : f[key]);
    inventory.sort((a, b) => (by(a) < by(b) ? -1 : by(a) > by(b) ? 1 : 0) * (ascending ? 1 : -1));
    showInventory();
  }

  async function showMany(files) {
    const objects = [];
    inventory = [];
    for (const file of files) {
      const json = core.inspect(await head(file), pathOf(file), file.size);
      const r = JSON.parse(json);
      objects.push(json);
      inventory.push(r.kind === "mcfg"
        ? { path: r.path, model: "(MCFG.DAT)", version: "", number: null,
          verdict: r.fields === null ? "not 460 bytes" : r.is_default ? "default image" : "other settings" }
        : { path: r.path, model: r.model === null ? `(${shown(r.model_token)})` : r.model,
          version: shown(r.version_token), number: r.version_number,
          verdict: `exit ${r.verdict.exit}: ${r.verdict.message}` });
    }
    showInventory();
    const text = `[\n${objects.join(",\n")}\n]\n`;
    $("export").href = `data:application/json;base64,${base64(new TextEncoder().encode(text))}`;
    $("report").hidden = true;
    $("convert").hidden = true;
    $("inventory").hidden = false;
    status(`Inventory of ${files.length} files`);
  }

  async function take(files) {
    if (core === null || files.length === 0) return;
    const mcfgs = files.filter((f) => isMcfg(f.name));
    const systems = files.filter((f) => !isMcfg(f.name));
    try {
      if (systems.length === 1 && mcfgs.length <= 1) await showOne(systems[0], mcfgs[0] || null);
      else await showMany(files);
    } catch (e) {
      status(`The files could not be read: ${e.message}`);
    }
  }

  // Every file of the dropped items, folders searched through where the browser allows it.
  async function dropped(items) {
    const files = [];
    const walk = async (entry) => {
      if (entry.isFile) files.push(await new Promise((ok, fail) => entry.file(ok, fail)));
      else if (entry.isDirectory) {
        const reader = entry.createReader();
        for (let batch; (batch = await new Promise((ok, fail) => reader.readEntries(ok, fail))).length;)
          for (const e of batch) await walk(e);
      }
    };
    const entries = [...items].map((i) => (i.webkitGetAsEntry ? i.webkitGetAsEntry() : null));
    for (const e of entries) if (e !== null) await walk(e);
    return files;
  }

  function wire() {
    buildNames();
    $("files").addEventListener("change", (e) => take([...e.target.files]));
    $("folder").addEventListener("change", (e) => take([...e.target.files]));
    const drop = $("drop");
    drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
    drop.addEventListener("dragleave", () => drop.classList.remove("over"));
    drop.addEventListener("drop", async (e) => {
      e.preventDefault();
      drop.classList.remove("over");
      const files = e.dataTransfer.items ? await dropped(e.dataTransfer.items) : [...e.dataTransfer.files];
      take(files);
    });
    $("convert-form").addEventListener("submit", convert);
    for (const button of document.querySelectorAll("#inventory-table th button"))
      button.addEventListener("click", () => sortBy(button.dataset.key, button));
  }

  wire();
  DatliftModule().then((module) => {
    core = datliftCore(module);
    catalogue = core.catalogue();
    $("newest").textContent = `V${catalogue.newest}`;
    $("version").value = catalogue.newest;
    $("version-default").textContent = catalogue.newest;
    status("Ready: choose or drop files.");
  }, (e) => status(`The program could not start: ${e}`));
})();
