// SPDX-License-Identifier: MIT
// The program's core in WebAssembly, as the page and the tests call it: datlift-inspect's report
// of a file, the map of its blocks, and datlift's runs on its bytes in memory. Texts pass as
// bytes: each byte is the character of the same number (Latin-1), as datlift-inspect's JSON has
// them.
"use strict";

function datliftCore(module) {
  const storage = module._web_open();
  const headRoom = module._web_head_room();
  const argsRoom = module._web_args_room();

  function text(length) {
    const at = module._web_text(storage);
    return new TextDecoder("utf-8").decode(module.HEAPU8.subarray(at, at + length));
  }

  // The file's first bytes, as far as any layout reaches.
  function load(bytes) {
    const head = bytes.subarray(0, headRoom);
    module.HEAPU8.set(head, module._web_head(storage));
    return head.length;
  }

  // The file's name, in UTF-8, where the module reads it.
  function putPath(path) {
    const utf8 = new TextEncoder().encode(path).subarray(0, module._web_path_room() - 1);
    const at = module._web_path(storage);
    module.HEAPU8.set(utf8, at);
    module.HEAPU8[at + utf8.length] = 0;
    return at;
  }

  function bytesOf(latin1) {
    const out = new Uint8Array(latin1.length);
    for (let i = 0; i < latin1.length; ++i) out[i] = latin1.charCodeAt(i) & 0xff;
    return out;
  }

  return {
    // The bytes a report needs of a file: its first ones.
    headRoom,
    // The newest version, the versions a run converts to, and the models with their families.
    catalogue() {
      return JSON.parse(text(module._web_catalogue(storage)));
    },
    // datlift-inspect's JSON object for the file, as text: `path` is its name, `size` the whole
    // file's (its first bytes are enough).
    inspect(bytes, path, size = bytes.length) {
      const used = load(bytes);
      return text(module._web_inspect(storage, used, size, putPath(path)));
    },
    // The header and the five blocks: name, offset, size, and whether the file holds it whole.
    blocks(bytes, size = bytes.length) {
      const used = load(bytes);
      return JSON.parse(text(module._web_blocks(storage, used, size)));
    },
    // The version number that datlift reads from the text of a "/V" option (after the V).
    readVersion(text) {
      const bytes = new TextEncoder().encode(text).subarray(0, argsRoom - 1);
      const at = module._web_args(storage);
      module.HEAPU8.set(bytes, at);
      module.HEAPU8[at + bytes.length] = 0;
      return module._web_read_version(storage);
    },
    // The MCFG block that datlift writes.
    defaultMcfg() {
      const size = module._web_default_mcfg(storage);
      const at = module._web_head(storage);
      return module.HEAPU8.slice(at, at + size);
    },
    // datlift with the arguments (each a string of byte characters, or a Uint8Array) on the
    // file's bytes; `bytes` null: there is no SYSTEM.DAT. Its exit code, what it printed, why it
    // refused, and the files it would write (null where it writes none).
    run(bytes, args) {
      const used = bytes === null ? 0 : load(bytes);
      const encoded = args.map((a) => (typeof a === "string" ? bytesOf(a) : a));
      const total = encoded.reduce((n, a) => n + a.length + 1, 0);
      if (total > argsRoom) throw new Error("the arguments are too long");
      let at = module._web_args(storage);
      for (const a of encoded) {
        module.HEAPU8.set(a, at);
        module.HEAPU8[at + a.length] = 0;
        at += a.length + 1;
      }
      const result = JSON.parse(text(module._web_run(storage, used, args.length, bytes === null ? 0 : 1)));
      const copy = (from, size) => (size === 0 ? null : module.HEAPU8.slice(from, from + size));
      return {
        exit: result.exit,
        stdout: result.stdout,
        why: result.why,
        system: copy(module._web_system(storage), result.system),
        mcfg: copy(module._web_mcfg(storage), result.mcfg),
      };
    },
  };
}

if (typeof module !== "undefined") module.exports = { datliftCore };
