#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Makes the page one self-contained file: the template with its style, the module's script, its
# WebAssembly bytes (in base64, which the page hands to the module, so that nothing is fetched),
# the core's glue and the page's script inline, and a Content-Security-Policy that allows these
# and nothing from anywhere else.
#   assemble.py TEMPLATE STYLE MODULE WASM CORE PAGE OUT
import base64
import hashlib
import sys

template, style, module, wasm, core, page, out = sys.argv[1:8]


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def digest(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode() + "'"


with open(wasm, "rb") as f:
    wasm_text = f'const DATLIFT_WASM = "{base64.b64encode(f.read()).decode()}";\n'
parts = {"@STYLE@": read(style), "@MODULE@": read(module), "@WASM@": wasm_text,
         "@CORE@": read(core), "@PAGE@": read(page)}
for name, text in parts.items():
    if "</script" in text.lower() or "</style" in text.lower():
        sys.exit(f"assemble.py: {name} would end its element early")
scripts = " ".join(digest(parts[k]) for k in ("@MODULE@", "@WASM@", "@CORE@", "@PAGE@"))
policy = (f"default-src 'none'; script-src {scripts} 'wasm-unsafe-eval'; "
          f"style-src {digest(parts['@STYLE@'])}; img-src data:; base-uri 'none'; form-action 'none'")
html = read(template).replace("@CSP@", policy)
for name, text in parts.items():
    html = html.replace(name, text)
with open(out, "w", encoding="utf-8") as f:
    f.write(html)
