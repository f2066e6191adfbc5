#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# The page in headless Chromium, opened from file:// and driven as a person would: files given to
# its file input, the options set, Convert pressed, and the links it offers read back. For every
# case of the conformance corpus that the page can express (SYSTEM.DAT a file; MCFG.DAT a file or
# missing; no file size limit; arguments that its controls set), the exit code, the printed text
# and the files to save must be the corpus's. Also: the page asks for nothing over the network,
# from file:// or a web server; every control has a label; an inventory of many files exports what
# datlift-inspect --json reports of them. Saves a screenshot of the shipped sample's report.
#   web_test.py PAGE CASES_DIR DATLIFT_INSPECT SAMPLE SCREENSHOT
import base64
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

page, cases_dir, inspect_program, sample, screenshot = (os.path.abspath(p) for p in sys.argv[1:6])
FAMILIES = {"A": ["PLX-4K", "PLX-4200", "PLX-4300", "PLX-4500"], "B": ["PLX-8", "PLX-8200"]}
MODELS = FAMILIES["A"] + FAMILIES["B"]
failures = []


def browser(profile):
    options = Options()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--window-size=1100,1400", f"--user-data-dir={profile}"):
        options.add_argument(a)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def requests(driver):
    """Every address on a network that the browser asked for since the last look (its own
    chrome:// pages, file:// and data: are on none)."""
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            url = message["params"]["request"]["url"]
            if not url.startswith(("file:", "data:", "chrome:", "about:", "chrome-extension:")):
                urls.append(url)
    return urls


def ready(driver):
    WebDriverWait(driver, 30).until(lambda d: d.find_element(By.ID, "status").text.startswith("Ready"))


def choose(driver, paths, expected_status):
    field = driver.find_element(By.ID, "files")
    driver.execute_script("arguments[0].value = ''; document.getElementById('status').textContent = ''",
                          field)
    field.send_keys("\n".join(paths))
    WebDriverWait(driver, 120).until(
        lambda d: d.find_element(By.ID, "status").text.startswith(expected_status))


def controls(args, family):
    """The form's settings that give these arguments, or None where the controls cannot."""
    version, model, names = None, None, []
    for a in args:
        if a[:2].upper() == b"/V":
            if version is not None:
                return None
            version = a[2:]
        elif a.decode("latin-1").upper() in ["/" + m for m in MODELS]:
            if model is not None or family is None:
                return None
            model = a.decode("latin-1").upper()[1:]
            if model not in FAMILIES[family]:
                return None
        elif a[:2].upper() == b"/A" and len(a) > 2 and len(names) < 18:
            if any(b < 0x20 or 0x7F <= b < 0xA0 for b in a[2:]):
                return None
            names.append(a[2:].decode("latin-1"))
        else:
            return None  # /NC is the report itself; anything else is a usage error
    if version is not None and any(b < 0x20 or 0x7F <= b < 0xA0 for b in version):
        return None
    return (version.decode("latin-1") if version is not None else "2.50"), model, names


def links(driver):
    found = {}
    for a in driver.find_elements(By.CSS_SELECTOR, "#downloads a[download]"):
        href = a.get_attribute("href")
        found[a.get_attribute("download")] = base64.b64decode(href[href.index(",") + 1:])
    return found


def set_field(driver, element_id, value):
    driver.execute_script(
        "const e = document.getElementById(arguments[0]); e.value = arguments[1];"
        "e.dispatchEvent(new Event('input'))", element_id, value)


def run_case(driver, name, case, folder):
    paths = [os.path.join(folder, "SYSTEM.DAT")]
    if case["mcfg"] == "file":
        paths.append(os.path.join(folder, "MCFG.DAT"))
    choose(driver, paths, "SYSTEM.DAT")
    family = driver.execute_script(
        "const o = [...document.getElementById('model').options].map(x => x.value);"
        "return o.includes('PLX-8') ? 'B' : o.includes('PLX-4K') ? 'A' : null")
    setting = controls([bytes.fromhex(a) for a in case["args"]], family)
    if setting is None:
        return False
    version, model, names = setting
    set_field(driver, "version", version)
    Select(driver.find_element(By.ID, "model")).select_by_value(model or "")
    for k in range(18):
        set_field(driver, f"name{k}", names[k] if k < len(names) else "")
    driver.find_element(By.ID, "convert-button").click()
    WebDriverWait(driver, 30).until(lambda d: d.find_element(By.ID, "status").text.startswith("Converted"))
    problems = []
    code = int(driver.find_element(By.ID, "exit").text)
    if code != case["exit"]:
        problems.append(f"exit {code}, expected {case['exit']}")
    printed = driver.execute_script("return document.getElementById('stdout').textContent")
    wanted = [open(os.path.join(folder, "expected", f), "rb").read().decode("latin-1")
              for f in ("stdout", "stdout-alt") if os.path.exists(os.path.join(folder, "expected", f))]
    if printed not in wanted:
        problems.append(f"printed {printed!r}")
    saved = links(driver)
    for file in ("SYSTEM.DAT", "MCFG.DAT"):
        after = case["after"][file]
        if after == "file":
            expected = open(os.path.join(folder, "expected", file), "rb").read()
            if saved.get(file) != expected:
                problems.append(f"{file} to save differs from the expected file")
        elif file in saved:
            problems.append(f"{file} offered, expected {after}")
    if problems:
        failures.append(f"{name}: " + "; ".join(problems))
    return True


def corpus(driver):
    passed = skipped = 0
    reasons = {}
    for name in sorted(os.listdir(cases_dir)):
        folder = os.path.join(cases_dir, name)
        case = json.load(open(os.path.join(folder, "case.json")))
        reason = ("SYSTEM.DAT no file" if case["system"] != "file" else
                  "MCFG.DAT a directory" if case["mcfg"] == "directory" else
                  "a file size limit" if case["file_size_limit"] is not None else None)
        before = len(failures)
        if reason is None and not run_case(driver, name, case, folder):
            reason = "arguments no control sets"
        if reason is not None:
            skipped += 1
            reasons[reason] = reasons.get(reason, 0) + 1
        elif len(failures) == before:
            passed += 1
    why = ", ".join(f"{n} with {r}" for r, n in sorted(reasons.items()))
    print(f"browser corpus: {passed} passed, {len(failures)} failed, {skipped} skipped ({why})")


def labelled(driver):
    unlabelled = driver.execute_script(
        "return [...document.querySelectorAll('input, select, button, textarea')]"
        ".filter(e => !(e.labels && e.labels.length) && !e.getAttribute('aria-label')"
        " && !(e.tagName === 'BUTTON' && e.textContent.trim())).map(e => e.id || e.tagName)")
    if unlabelled:
        failures.append(f"controls without a label: {unlabelled}")


def inventory(driver, work):
    """1000 files: the inventory's time, and its export against datlift-inspect --json."""
    folder = os.path.join(work, "inventory")
    os.mkdir(folder)
    sources = sorted(os.path.join(cases_dir, c, "SYSTEM.DAT") for c in os.listdir(cases_dir)
                     if os.path.exists(os.path.join(cases_dir, c, "SYSTEM.DAT")))
    names = []
    for i in range(1000):
        names.append(f"unit{i:04d}.dat")
        shutil.copyfile(sources[i % len(sources)], os.path.join(folder, names[-1]))
    started = time.monotonic()
    choose(driver, [os.path.join(folder, n) for n in names], "Inventory of 1000 files")
    took = time.monotonic() - started
    rows = len(driver.find_elements(By.CSS_SELECTOR, "#inventory-table tbody tr"))
    href = driver.find_element(By.ID, "export").get_attribute("href")
    exported = base64.b64decode(href[href.index(",") + 1:])
    program = subprocess.run([inspect_program, "--json", *names], cwd=folder, stdout=subprocess.PIPE).stdout
    if rows != 1000 or exported != program:
        failures.append(f"inventory: {rows} rows; export {'equals' if exported == program else 'differs from'}"
                        " datlift-inspect --json")
    driver.find_element(By.CSS_SELECTOR, "#inventory-table th button[data-key='verdict']").click()
    print(f"inventory of 1000 files: {took:.2f} s")


def served(work):
    """The page from a web server on this machine: it asks for itself and nothing else."""
    shutil.copyfile(page, os.path.join(work, "datlift.html"))
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(Quiet, directory=work)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    driver = browser(os.path.join(work, "profile-served"))
    try:
        url = f"http://127.0.0.1:{server.server_address[1]}/datlift.html"
        driver.get(url)
        ready(driver)
        asked = [u for u in requests(driver) if u != url]
        if asked:
            failures.append(f"served page asked for {asked}")
    finally:
        driver.quit()
        server.shutdown()


def main():
    work = tempfile.mkdtemp(prefix="datlift-web-test-")
    driver = browser(os.path.join(work, "profile"))
    try:
        started = time.monotonic()
        driver.get("file://" + page)
        ready(driver)
        choose(driver, [sample], "SYSTEM.DAT")
        print(f"from opening the page to the first report on the sample: {time.monotonic() - started:.2f} s")
        driver.save_screenshot(screenshot)
        labelled(driver)
        corpus(driver)
        inventory(driver, work)
        asked = requests(driver)
        if asked:
            failures.append(f"the page asked for {sorted(set(asked))[:5]}")
    finally:
        driver.quit()
    served(work)
    shutil.rmtree(work, ignore_errors=True)
    print(f"page: {os.path.getsize(page)} bytes")
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
