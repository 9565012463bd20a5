#!/usr/bin/python3
"""qv regedit in headless Chromium, in a registry of 1,000,000 values (1,000
keys of 1,000): how long expanding a key of 1,000 subkeys and opening a key
of 1,000 values take to show their first screen (the Performance API, from
the keystroke's handler to the next frame; the median of 7), against the
same in a registry of 1,000 values (10 keys of 100) measured in the same run.
    regedit_page.py QV SCRATCH_DIRECTORY"""
import os
import statistics
import subprocess
import sys

from selenium import webdriver

qv, scratch = sys.argv[1], sys.argv[2]


def registry(values):
    keys = 10 if values == 1000 else 1000
    database = os.path.join(scratch, f"regedit-{values}.db")
    for suffix in ("", "-wal", "-shm", "-checked"):
        if os.path.exists(database + suffix):
            os.remove(database + suffix)
    tree = os.path.join(scratch, f"regedit-{values}.reg")
    with open(tree, "w", encoding="utf-16", newline="\r\n") as out:
        out.write("Windows Registry Editor Version 5.00\n\n")
        for k in range(keys):
            out.write(f"[HKEY_CURRENT_USER\\Software\\QvPage\\k{k:04d}]\n")
            for v in range(values // keys):
                out.write(f'"v{v:04d}"=dword:{v:08x}\n')
            out.write("\n")
    subprocess.run([qv, "reg", "import", tree], check=True, capture_output=True,
                   env={**os.environ, "QV_REGISTRY": database})
    return database


def measure(database):
    server = subprocess.Popen([qv, "regedit", "--no-browser"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True,
                              env={**os.environ, "QV_REGISTRY": database})
    address = server.stdout.readline().strip().split(" ", 2)[-1]
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--window-size=1280,800"):
        options.add_argument(flag)
    browser = webdriver.Chrome(options=options)
    try:
        browser.get(address)
        browser.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "openPath('HKEY_CURRENT_USER\\\\Software')"
            ".then(() => expand(selectedKey.parentElement)).then(done)")
        expand, open_values = [], []
        for _ in range(7):
            expand.append(browser.execute_async_script("""
                const done = arguments[arguments.length - 1];
                const item = selectedKey.parentElement;
                const top = Array.from(item.querySelectorAll(':scope > ul > li'))
                  .find((child) => child.dataset.path.endsWith('QvPage'));
                collapse(top);
                top.className = 'closed';
                const start = performance.now();
                expand(top).then(() => requestAnimationFrame(() => done(performance.now() - start)));"""))
            open_values.append(browser.execute_async_script("""
                const done = arguments[arguments.length - 1];
                const start = performance.now();
                openPath('HKEY_CURRENT_USER\\\\Software\\\\QvPage\\\\k0005')
                  .then(() => requestAnimationFrame(() => done(performance.now() - start)))
                  .then(() => openPath('HKEY_CURRENT_USER\\\\Software'));"""))
        return statistics.median(expand), statistics.median(open_values)
    finally:
        browser.quit()
        server.terminate()
        server.wait()


small = measure(registry(1000))
large = measure(registry(1000000))
print("| in the browser (median of 7) | 1,000 values | 1,000,000 values | ratio |")
print("|---|---:|---:|---:|")
print(f"| expand QvPage (10 / 1,000 subkeys) | {small[0]:.0f} ms | {large[0]:.0f} ms | "
      f"{large[0] / small[0]:.2f} |")
print(f"| open a key of 100 / 1,000 values, first screen | {small[1]:.0f} ms | {large[1]:.0f} ms | "
      f"{large[1] / small[1]:.2f} |")
