// SPDX-License-Identifier: MIT
// The page: files chosen or dropped, or a machine's folder opened; one SYSTEM.DAT (with its
// MCFG.DAT) reported and converted, many files inventoried. Everything runs on the bytes in
// memory, by the program's own core; what the page knows of versions, models and exit codes, it
// asks the core.
"use strict";

(function () {
  const $ = (id) => document.getElementById(id);
  const NAME_BYTES = 11; // an axis name, as the controller stores it
  const AXES = 18;
  const SHOWN_TOKEN = 40; // characters of a token in the inventory; the whole on hover
  let core = null;
  let catalogue = null; // the versions, exit codes and models, as the core knows them
  let current = null; // the SYSTEM.DAT shown: { bytes, name, mcfg, folder }
  let run = null; // the last run on it

  // ---- Small helpers.

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
    const fragment = document.createDocumentFragment();
    for (const row of cells) {
      const tr = element("tr");
      row.forEach((cell, i) => {
        const td = element(i === 0 ? "th" : "td", null,
          i === 0 ? { scope: "row" } : numeric.includes(i) ? { class: "number" } : {});
        td.append(cell instanceof Node ? cell : String(cell));
        tr.append(td);
      });
      fragment.append(tr);
    }
    body.replaceChildren(fragment);
  }

  const plural = (n, one, many = `${one}s`) => `${n} ${n === 1 ? one : many}`;
  const status = (text) => { $("status").textContent = text; };
  const isMcfg = (name) => name.split(/[\\/]/).pop().toUpperCase() === "MCFG.DAT";
  const pathOf = (file) => file.webkitRelativePath || file.name;
  const folderOf = (path) => path.slice(0, Math.max(0, path.lastIndexOf("/")));
  const versionText = (number) => (number / 100).toFixed(2);
  // A text the file may not hold: null where it holds none.
  const shown = (text, none = "absent") => (text === null ? `(${none})` : text);
  const meaning = (code) => (catalogue.exits.find((e) => e.code === code) || { words: "" }).words;

  // A text cut to its first characters, with the whole of it on hover.
  function cut(text, limit = SHOWN_TOKEN) {
    const chars = [...text];
    if (chars.length <= limit) return text;
    return element("span", `${chars.slice(0, limit).join("")}…`, { title: text });
  }

  function base64(bytes) {
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000)
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(binary);
  }

  const utf8 = (text) => new TextEncoder().encode(text);

  // The longest first part of a text that fits `limit` bytes of UTF-8, in whole characters.
  function fitted(text, limit) {
    let out = "", used = 0;
    for (const ch of text) {
      const n = utf8(ch).length;
      if (used + n > limit) break;
      out += ch;
      used += n;
    }
    return out;
  }

  // A link that saves the bytes under the name, made from them alone.
  function download(name, bytes, type = "application/octet-stream") {
    return element("a", `${name} (${bytes.length} bytes)`,
      { download: name, href: `data:${type};base64,${base64(bytes)}` });
  }

  // ---- One SYSTEM.DAT: what it holds, its blocks.

  function verdictText(verdict) {
    return verdict.exit === 0 ? "datlift converts it" : `datlift refuses it: ${meaning(verdict.exit)}`;
  }

  function showSystem(r) {
    facts($("facts"), [
      ["File", r.path],
      ["Size", plural(r.size, "byte")],
      ["Header", r.header === null ? "none (no identification string found)"
        : `${r.header}, model token ${r.model_token}, version token ${r.version_token}`],
      ["Version number", r.version_number === null ? "none" : r.version_number],
      ["Model", r.model === null ? "none of the models" : `${r.model} (family ${r.family})`],
      ["Verdict", `${verdictText(r.verdict)} (exit ${r.verdict.exit}, "${r.verdict.message}")`],
      ["Why", r.verdict.why],
      ["Trailing bytes", r.trailing_bytes === null ? "none: the file ends before its last block"
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
    parts.forEach((p, i) => {
      const x = (100 * p.offset) / end, width = (100 * p.size) / end;
      const rect = document.createElementNS(ns, "rect");
      for (const [k, v] of [["x", x], ["y", 0], ["width", width], ["height", 8]]) rect.setAttribute(k, String(v));
      rect.setAttribute("class", `${p.kind} part${i % 2}`);
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
    });
    map.append(svg);
  }

  function showMcfg(mcfg) {
    $("mcfg").hidden = mcfg === null;
    if (mcfg === null) return;
    const r = JSON.parse(core.inspect(mcfg.bytes, mcfg.name, mcfg.bytes.length));
    const defaults = JSON.parse(core.inspect(core.defaultMcfg(), "MCFG.DAT")).fields;
    facts($("mcfg-facts"), [
      ["File", r.path],
      ["Size", `${plural(r.size, "byte")}${r.fields === null ? " (an MCFG block is 460 bytes: its fields cannot be read)" : ""}`],
      ["Default image", r.is_default ? "yes" : "no"],
      ["Stray bytes", r.stray_bytes.length === 0 ? "none" : r.stray_bytes.join(" ")],
    ]);
    rows($("mcfg-fields"), (r.fields || []).map((f, i) =>
      [f.name, f.type, f.offset, shown(f.value), shown(defaults[i].value)]), [2]);
  }

  // ---- The form: a new file starts from a clean one, unless the settings are to be kept.

  function fillVersions() {
    const select = $("version");
    select.replaceChildren(...catalogue.targets.slice().reverse().map((t) =>
      element("option", t === catalogue.newest ? `${t} (the newest)` : t, { value: t })));
    select.append(element("option", "other…", { value: "other" }));
  }

  function fillModels(r) {
    const select = $("model");
    select.replaceChildren(element("option", r.model === null ? "as the file names it"
      : `as the file names it (${r.model})`, { value: "" }));
    for (const m of catalogue.models.filter((m) => m.family === r.family))
      select.append(element("option", m.code, { value: m.code }));
  }

  function cleanForm() {
    $("version").value = catalogue.newest;
    $("version-other").value = "";
    for (const input of document.querySelectorAll("#names input")) input.value = "";
    noteVersion();
    for (let k = 0; k < AXES; ++k) noteName(k);
  }

  // The version as datlift reads the option's text.
  function versionValue() {
    return $("version").value === "other" ? $("version-other").value : $("version").value;
  }

  function noteVersion() {
    const other = $("version").value === "other";
    $("version-other-box").hidden = !other;
    const note = $("version-note");
    if (!other) {
      note.textContent = "";
      return;
    }
    const number = core.readVersion($("version-other").value);
    note.textContent = `datlift reads "/V${$("version-other").value}" as ${versionText(number)}` +
      (catalogue.targets.includes(versionText(number)) ? "" : ", a version it does not convert to");
  }

  function noteName(k) {
    const input = $(`name${k}`), count = $(`count${k}`);
    const bytes = utf8(input.value).length;
    const outside = /[^\x20-\x7e]/.test(input.value);
    count.textContent = bytes === 0 ? "" : `${bytes} of ${NAME_BYTES} bytes` +
      (outside ? "; holds characters outside ASCII, which the controller may not show" : "");
    count.classList.toggle("warn", outside);
  }

  // The options of the form, each as the bytes a UTF-8 terminal passes; null where the names
  // leave a gap.
  function options() {
    const args = [utf8(`/V${versionValue()}`)];
    if ($("model").value !== "") args.push(utf8(`/${$("model").value}`));
    const names = [...document.querySelectorAll("#names input")].map((i) => i.value);
    const last = names.map((n) => n !== "").lastIndexOf(true);
    if (names.slice(0, last + 1).includes("")) return null;
    for (const name of names.slice(0, last + 1)) args.push(utf8(`/A${name}`));
    return args;
  }

  // Any change of the settings: the last run's outcome no longer holds.
  function changed() {
    clearResult();
    const gap = options() === null;
    $("form-note").textContent = gap ? "Give the axis names in order: a name follows every name before it." : "";
    $("form-note").classList.toggle("warn", gap);
    $("convert-button").disabled = gap;
  }

  function clearResult() {
    run = null;
    $("result").hidden = true;
    $("downloads").replaceChildren();
    $("write").hidden = true;
    $("confirm").hidden = true;
    $("written").textContent = "";
  }

  function buildNames() {
    const box = $("names");
    for (let k = 0; k < AXES; ++k) {
      const p = element("p");
      const input = element("input", null, { id: `name${k}`, autocomplete: "off", spellcheck: "false",
        "aria-describedby": `count${k}` });
      const count = element("span", "", { id: `count${k}`, class: "note" });
      input.addEventListener("input", () => {
        // Whole characters only, up to the bytes the controller stores.
        const fit = fitted(input.value, NAME_BYTES);
        if (fit !== input.value) {
          input.value = fit;
          $("form-note").textContent = `Axis ${k}: cut to ${NAME_BYTES} bytes, the most a name holds.`;
        }
        noteName(k);
        changed();
      });
      p.append(element("label", `Axis ${k} `, { for: `name${k}` }), input, element("span", " "), count);
      box.append(p);
    }
  }

  // ---- A run, and its outcome in words.

  function outcomeText(r) {
    if (r.exit !== 0) return `Not converted: ${meaning(r.exit)}`;
    const files = [r.system && "SYSTEM.DAT", r.mcfg && "MCFG.DAT"].filter(Boolean);
    return files.length === 0 ? "Nothing converted: the run writes no file"
      : `Converted: ${files.join(" and ")} ready to save`;
  }

  function convert(event) {
    event.preventDefault();
    const args = options();
    if (current === null || args === null) return;
    run = core.run(current.bytes, args);
    const lastLine = run.stdout.trimEnd().split("\n").pop();
    const words = outcomeText(run);
    $("outcome").textContent = `${words}. datlift's last line: "${lastLine}"` +
      (run.exit !== 0 && run.why !== "" ? `. Why: ${run.why.trim()}.` : "");
    $("exit").textContent = String(run.exit);
    $("stdout").textContent = run.stdout;
    offerFiles();
    $("result").hidden = false;
    status(`${words} (from ${current.name}; exit ${run.exit}).`);
  }

  function offerFiles() {
    const box = $("downloads");
    box.replaceChildren();
    const files = [["SYSTEM.DAT", run.system], ["MCFG.DAT", run.mcfg]].filter(([, b]) => b !== null);
    if (files.length === 0) return;
    if (current.folder !== null) {
      $("write").hidden = false;
      $("confirm-text").textContent = `Replace ${files.map(([n]) => n).join(" and ")} in the folder ` +
        `"${current.folder.name}" with the converted ${files.length === 1 ? "file" : "files"}?`;
      return;
    }
    const p = element("p");
    for (const [name, bytes] of files) p.append(download(name, bytes));
    box.append(p, element("p", "The browser saves them to its download folder. Copy them into the " +
      "machine's folder, replacing the old files; check that their names stay exactly SYSTEM.DAT " +
      "and MCFG.DAT (a browser may add a number to a name it has saved before).", { class: "note" }));
  }

  // ---- Folder in, folder out (where the browser lets a page write into a folder).

  async function readNamed(folder, name) {
    try {
      const file = await (await folder.getFileHandle(name)).getFile();
      return { name, bytes: new Uint8Array(await file.arrayBuffer()) };
    } catch (e) {
      if (e.name === "NotFoundError") return null;
      throw e;
    }
  }

  async function openMachine() {
    let folder;
    try {
      folder = await window.showDirectoryPicker({ mode: "readwrite" });
    } catch (e) {
      if (e.name !== "AbortError") status(`The folder could not be opened: ${e.message}`);
      return;
    }
    try {
      const system = await readNamed(folder, "SYSTEM.DAT");
      if (system === null) {
        status(`The folder "${folder.name}" holds no SYSTEM.DAT.`);
        return;
      }
      showOne({ ...system, mcfg: await readNamed(folder, "MCFG.DAT"), folder });
    } catch (e) {
      status(`The files of "${folder.name}" could not be read: ${e.message}`);
    }
  }

  // Writes the bytes under the name: the browser writes them whole aside and puts them in place
  // only when the stream closes. `bytes` null: the name goes.
  async function put(folder, name, bytes) {
    if (bytes === null) {
      await folder.removeEntry(name);
      return;
    }
    const stream = await (await folder.getFileHandle(name, { create: true })).createWritable();
    try {
      await stream.write(bytes);
      await stream.close();
    } catch (e) {
      await stream.abort().catch(() => {});
      throw e;
    }
  }

  // MCFG.DAT first, then SYSTEM.DAT, as datlift writes them: where SYSTEM.DAT cannot be written,
  // MCFG.DAT is put back, so that both are new or both as before.
  async function writeFolder() {
    $("confirm").hidden = true;
    const folder = current.folder, said = $("written");
    const plan = [["MCFG.DAT", run.mcfg, current.mcfg], ["SYSTEM.DAT", run.system, current]]
      .filter(([, bytes]) => bytes !== null);
    const done = [];
    try {
      for (const [name, bytes] of plan) {
        await put(folder, name, bytes);
        done.push(name);
      }
      said.textContent = `Written into "${folder.name}": ${done.join(" and ")}, each whole.`;
      status(said.textContent);
      return;
    } catch (e) {
      const failed = plan[done.length][0];
      const back = [];
      for (const [name, , old] of plan.filter(([n]) => done.includes(n))) {
        try {
          await put(folder, name, old === null ? null : old.bytes);
          back.push(`${name} is as it was`);
        } catch (e2) {
          back.push(`${name} is the converted one (it could not be put back: ${e2.message})`);
        }
      }
      said.textContent = `${failed} could not be written (${e.message}), and is as it was` +
        (back.length ? `; ${back.join("; ")}.` : ".");
      status(said.textContent);
    }
  }

  // ---- One SYSTEM.DAT shown.

  function showOne(file) {
    current = { bytes: file.bytes, name: file.name, mcfg: file.mcfg || null, folder: file.folder || null };
    const r = JSON.parse(core.inspect(current.bytes, current.name));
    showSystem(r);
    showBlocks(core.blocks(current.bytes), current.bytes.length);
    showMcfg(current.mcfg);
    $("system-part").hidden = false;
    $("back-box").hidden = true;
    fillModels(r);
    if (!$("keep").checked) cleanForm();
    changed();
    $("inventory").hidden = true;
    $("report").hidden = false;
    $("convert").hidden = false;
    status(`${current.name}${current.mcfg ? ` with ${current.mcfg.name}` : ""}: ` +
      `${r.model === null ? "no known model" : `${r.model} V${versionText(r.version_number)}`}, ` +
      `${verdictText(r.verdict)}.`);
  }

  async function bytesOf(file) {
    return { name: pathOf(file), bytes: new Uint8Array(await file.arrayBuffer()) };
  }

  // ---- Many files: the inventory.

  let inventory = []; // in the table's order: { kind, path, model, version, number, verdict, json, file, index }
  let byIndex = []; // the same, in the order chosen
  let inventoryOrder = "in the order they were chosen";

  // Each entry's row is made once; a sort only puts the rows in another order.
  function rowOf(f) {
    if (f.row) return f.row;
    const open = element("button", null, { type: "button", "data-open": String(f.index),
      "aria-label": `Open ${f.path}` });
    open.append(cut(f.path));
    const tr = element("tr");
    const th = element("th", null, { scope: "row" });
    th.append(open);
    tr.append(th);
    for (const cell of [cut(f.model), cut(f.version), f.verdict]) {
      const td = element("td");
      td.append(cell);
      tr.append(td);
    }
    f.row = tr;
    return tr;
  }

  function showInventory() {
    const fragment = document.createDocumentFragment();
    for (const f of inventory) fragment.append(rowOf(f));
    $("inventory-table").tBodies[0].replaceChildren(fragment);
    $("export-note").textContent = `(the files ${inventoryOrder}, as datlift-inspect --json reports them)`;
  }

  // The export, made when it is asked for, in the table's order.
  function exportInventory() {
    const text = `[\n${inventory.map((f) => f.json).join(",\n")}\n]\n`;
    $("export").href = `data:application/json;base64,${base64(utf8(text))}`;
  }

  function sortBy(key, button) {
    const th = button.closest("th");
    const ascending = th.getAttribute("aria-sort") !== "ascending";
    for (const other of document.querySelectorAll("#inventory-table th")) other.removeAttribute("aria-sort");
    th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
    const by = (f) => (key === "version" ? (f.number === null ? -1 : f.number) : f[key]);
    inventory.sort((a, b) => (by(a) < by(b) ? -1 : by(a) > by(b) ? 1 : a.index - b.index) *
      (ascending ? 1 : -1));
    inventoryOrder = `by ${button.textContent.toLowerCase()}, ${ascending ? "ascending" : "descending"}`;
    showInventory();
  }

  function entryOf(r, json, file, index) {
    if (r.kind === "mcfg")
      return { kind: r.kind, path: r.path, model: "MCFG.DAT", version: "", number: null, json, file, index,
        verdict: r.fields === null ? "not 460 bytes: no MCFG block" : r.is_default
          ? "the default settings" : "other settings" };
    return { kind: r.kind, path: r.path, model: r.model === null ? shown(r.model_token, "no model token") : r.model,
      version: shown(r.version_token, "no version token"), number: r.version_number, json, file, index,
      verdict: r.verdict.exit === 0 ? "converts" : `refused: ${meaning(r.verdict.exit)}` };
  }

  async function showMany(files, notRead) {
    const progress = $("progress");
    progress.max = files.length;
    progress.value = 0;
    progress.hidden = false;
    const entries = new Array(files.length);
    const batch = 256;
    for (let at = 0; at < files.length; at += batch) {
      const chunk = files.slice(at, at + batch);
      // A file no larger than a report needs is read whole: a browser reads a slice of a file
      // more slowly than the whole of a small one. The batch is read as one: a browser answers
      // one read of many files much sooner than a read of each.
      const parts = chunk.map((f) => (f.size > core.headRoom ? f.slice(0, core.headRoom) : f));
      const read = new Uint8Array(await new Blob(parts).arrayBuffer());
      let from = 0;
      const heads = parts.map((p) => read.subarray(from, (from += p.size)));
      heads.forEach((head, i) => {
        const file = chunk[i];
        const json = core.inspect(head, pathOf(file), file.size);
        entries[at + i] = entryOf(JSON.parse(json), json, file, at + i);
      });
      progress.value = Math.min(files.length, at + batch);
      status(`Reading ${progress.value} of ${plural(files.length, "file")}…`);
    }
    progress.hidden = true;
    inventory = entries;
    byIndex = entries.slice();
    inventoryOrder = "in the order they were chosen";
    for (const th of document.querySelectorAll("#inventory-table th")) th.removeAttribute("aria-sort");
    showInventory();
    $("report").hidden = true;
    $("convert").hidden = true;
    $("inventory").hidden = false;
    status(`Inventory of ${plural(files.length, "file")}${notRead}.`);
  }

  // A row opened: that file's report and form, with the MCFG.DAT beside it where there is one;
  // an MCFG.DAT's row opens the SYSTEM.DAT beside it, or the MCFG.DAT alone.
  async function openRow(index) {
    const f = byIndex[index];
    const base = (x) => x.path.split("/").pop().toUpperCase();
    const near = (kind, name) => byIndex.find((x) => x.kind === kind && folderOf(x.path) === folderOf(f.path) &&
      (name === undefined || base(x) === name));
    const system = f.kind === "mcfg" ? near("system", "SYSTEM.DAT") : f;
    const mcfg = f.kind === "mcfg" ? f : near("mcfg");
    const bytes = mcfg ? await bytesOf(mcfg.file) : null;
    if (system) showOne({ ...(await bytesOf(system.file)), mcfg: bytes });
    else showMcfgAlone(bytes);
    $("back-box").hidden = false;
  }

  function showMcfgAlone(mcfg) {
    current = null;
    clearResult();
    showMcfg(mcfg);
    $("system-part").hidden = true;
    $("inventory").hidden = true;
    $("convert").hidden = true;
    $("report").hidden = false;
    status(`${mcfg.name}: no SYSTEM.DAT beside it; its fields only.`);
  }

  function backToInventory() {
    $("report").hidden = true;
    $("convert").hidden = true;
    $("inventory").hidden = false;
    status(`Inventory of ${plural(byIndex.length, "file")}.`);
  }

  async function take(files, notRead = "") {
    if (core === null) return;
    if (files.length === 0) {
      status(`Nothing to read${notRead}.`);
      return;
    }
    const mcfgs = files.filter((f) => isMcfg(f.name));
    const systems = files.filter((f) => !isMcfg(f.name));
    try {
      if (systems.length === 1 && mcfgs.length <= 1) {
        const system = await bytesOf(systems[0]);
        showOne({ ...system, mcfg: mcfgs.length ? await bytesOf(mcfgs[0]) : null });
        if (notRead) status(`${$("status").textContent}${notRead}`);
      } else {
        await showMany(files, notRead);
      }
    } catch (e) {
      status(`The files could not be read: ${e.message}`);
    }
  }

  // Every file of the dropped items, folders searched through where the browser allows it; and
  // what could not be read. The items are taken before the first wait: they hold only while the
  // drop event runs.
  async function dropped(transfer) {
    const files = [];
    let others = 0, failed = 0;
    const walk = async (entry) => {
      if (entry.isFile) {
        try {
          files.push(await new Promise((ok, fail) => entry.file(ok, fail)));
        } catch {
          ++failed;
        }
        return;
      }
      const reader = entry.createReader();
      try {
        for (let batch; (batch = await new Promise((ok, fail) => reader.readEntries(ok, fail))).length;)
          for (const e of batch) await walk(e);
      } catch {
        ++failed;
      }
    };
    const items = [...(transfer.items || [])];
    if (items.length === 0) return { files: [...transfer.files], others, failed };
    const pending = items.map((i) => {
      if (i.kind !== "file") return {};
      const entry = i.webkitGetAsEntry ? i.webkitGetAsEntry() : null;
      return entry !== null && entry.isDirectory ? { entry } : { file: i.getAsFile() };
    });
    for (const p of pending) {
      if (p.entry) await walk(p.entry);
      else if (p.file) files.push(p.file);
      else ++others;
    }
    return { files, others, failed };
  }

  // What a drop held that the page did not read, as the end of a status.
  function unread(others, failed) {
    const parts = [];
    if (others) parts.push(`${plural(others, "dropped item")} that ${others === 1 ? "is" : "are"} no file`);
    if (failed) parts.push(`${plural(failed, "file or folder", "files or folders")} that could not be read`);
    return parts.length ? `; not read: ${parts.join(", ")}` : "";
  }

  // ---- The page.

  function wire() {
    buildNames();
    $("files").addEventListener("change", (e) => take([...e.target.files]));
    $("folder").addEventListener("change", (e) => take([...e.target.files]));
    // A drop anywhere is the page's: never the browser's, which would open the file instead.
    let depth = 0;
    document.addEventListener("dragenter", (e) => { e.preventDefault(); ++depth; document.body.classList.add("over"); });
    document.addEventListener("dragleave", () => { if (--depth <= 0) document.body.classList.remove("over"); });
    document.addEventListener("dragover", (e) => e.preventDefault());
    document.addEventListener("drop", async (e) => {
      e.preventDefault();
      depth = 0;
      document.body.classList.remove("over");
      if (e.dataTransfer === null) return;
      const { files, others, failed } = await dropped(e.dataTransfer);
      take(files, unread(others, failed));
    });
    $("convert-form").addEventListener("submit", convert);
    $("version").addEventListener("change", () => { noteVersion(); changed(); });
    $("version-other").addEventListener("input", () => { noteVersion(); changed(); });
    $("model").addEventListener("change", changed);
    $("export").addEventListener("click", exportInventory);
    $("back").addEventListener("click", backToInventory);
    for (const button of document.querySelectorAll("#inventory-table th button"))
      button.addEventListener("click", () => sortBy(button.dataset.key, button));
    $("inventory-table").addEventListener("click", (e) => {
      const button = e.target.closest("button[data-open]");
      if (button) openRow(Number(button.dataset.open));
    });
    if (typeof window.showDirectoryPicker === "function") {
      $("machine-choice").hidden = false;
      $("machine").addEventListener("click", openMachine);
      $("write-button").addEventListener("click", () => { $("confirm").hidden = false; $("confirm-yes").focus(); });
      $("confirm-yes").addEventListener("click", writeFolder);
      $("confirm-no").addEventListener("click", () => { $("confirm").hidden = true; });
    }
    const dark = window.matchMedia("(prefers-color-scheme: dark)");
    const scheme = () => document.documentElement.classList.toggle("dark", dark.matches);
    scheme();
    dark.addEventListener("change", scheme);
  }

  function bytesOfBase64(text) {
    const binary = atob(text);
    const out = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) out[i] = binary.charCodeAt(i);
    return out;
  }

  wire();
  DatliftModule({ wasmBinary: bytesOfBase64(DATLIFT_WASM) }).then((module) => {
    core = datliftCore(module);
    catalogue = core.catalogue();
    $("newest").textContent = `V${catalogue.newest}`;
    fillVersions();
    status("Ready: choose or drop files.");
  }, (e) => status(`The program could not start: ${e}`));
})();
