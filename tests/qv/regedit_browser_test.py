#!/usr/bin/python3
"""qv regedit in a real browser (headless Chromium through Selenium): a key
opened from the tree and from the address bar, values of every type shown as
regedit shows them, keys and values made, renamed, edited and deleted by
mouse and by keyboard, each checked against `qv reg query`; how long a key
of 10,000 subkeys and one of 10,000 values take to show their first screen
(the Performance API, printed: a figure, not a check); screenshots of the
main views.
    regedit_browser_test.py QV SCREENSHOT_FOLDER"""
import os
import subprocess
import sys

from qv_suite import Suite
from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

qv, screens = sys.argv[1], sys.argv[2]
if os.environ.get("QV_PROCESS_BITS") == "32":
    print("qv regedit in Chromium: run once, in the 64-bit process's suite")
    sys.exit(77)
os.makedirs(screens, exist_ok=True)
suite = Suite(qv)
scratch, check, query = suite.scratch, suite.check, suite.query


base = r"HKEY_CURRENT_USER\Software\QvBrowser"
lines = ["Windows Registry Editor Version 5.00", "", f"[{base}]",
         '"text"="héllo ναι"', '"dw"=dword:0000002a', '"bin"=hex:00,01,fe,ff',
         '"multi"=hex(7):61,00,00,00,62,00,00,00,00,00', '"qw"=hex(b):01,00,00,00,00,00,00,00',
         '"ex"=hex(2):25,00,41,00,25,00,00,00', ""]
lines += [f"[{base}\\Many\\k{i:05d}]" for i in range(10000)]
lines += ["", f"[{base}\\Values]"] + [f'"v{i:05d}"=dword:{i:08x}' for i in range(10000)] + [""]
with open(os.path.join(scratch, "tree.reg"), "w", encoding="utf-16", newline="\r\n") as out:
    out.write("\n".join(lines) + "\n")
subprocess.run([qv, "reg", "import", os.path.join(scratch, "tree.reg")], check=True,
               capture_output=True)

server = subprocess.Popen([qv, "regedit", "--no-browser"], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True)
address = server.stdout.readline().strip().split(" ", 2)[-1]
downloads = os.path.join(scratch, "downloads")
os.makedirs(downloads)
options = webdriver.ChromeOptions()
options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                          "download.prompt_for_download": False})
for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
             "--window-size=1280,800"):
    options.add_argument(flag)
# Chromium, now and then slow to start on a loaded machine, gets three tries.
for attempt in range(3):
    try:
        browser = webdriver.Chrome(options=options)
        break
    except Exception:  # pylint: disable=broad-except
        if attempt == 2:
            server.terminate()
            raise
wait = WebDriverWait(browser, 10)
try:
    browser.get(address)
    wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, "#tree > li"))
    check("the roots as regedit shows them",
          ["HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
           "HKEY_CURRENT_CONFIG"],
          [item.text.split("\n")[0] for item in browser.find_elements(By.CSS_SELECTOR, "#tree > li")])

    def selected(b):
        return b.execute_script("return document.querySelector('#tree span.selected')?.textContent")

    def open_key(path):
        field = browser.find_element(By.ID, "address")
        field.clear()
        field.send_keys(path, Keys.ENTER)
        wait.until(lambda b: selected(b) ==
                   path.split("\\")[-1])
        wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, "#values tbody tr"))

    def rows():
        return browser.execute_script(
            "return Array.from(document.querySelectorAll('#values tbody tr'), "
            "(row) => Array.from(row.cells, (cell) => cell.textContent))")

    open_key(base)
    check("values of every type as regedit shows them", [
        ["(Default)", "REG_SZ", "(value not set)"], ["bin", "REG_BINARY", "00 01 fe ff"],
        ["dw", "REG_DWORD", "0x0000002a (42)"], ["ex", "REG_EXPAND_SZ", "%A%"],
        ["multi", "REG_MULTI_SZ", "a b"], ["qw", "REG_QWORD", "0x0000000000000001 (1)"],
        ["text", "REG_SZ", "héllo ναι"]], sorted(rows()))
    browser.save_screenshot(os.path.join(screens, "values.png"))

    # The first screen of a key of 10,000 subkeys, and of one of 10,000 values.
    shown = browser.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const start = performance.now();
        openPath(arguments[0]).then(() => expand(selectedKey.parentElement)).then(() =>
          requestAnimationFrame(() => done(performance.now() - start)));""", base + r"\Many")
    listed = "return document.querySelectorAll('#tree span.selected + ul > li:not(.more)').length"
    check("the first 500 of 10,000 subkeys listed", 500, browser.execute_script(listed))
    print(f"first screen of 10,000 subkeys: {shown:.0f} ms")
    browser.find_element(By.CSS_SELECTOR, "#tree span.selected + ul > li.more button").click()
    wait.until(lambda b: b.execute_script(listed) == 1000)
    check("more subkeys", 1000, browser.execute_script(listed))
    browser.save_screenshot(os.path.join(screens, "subkeys.png"))
    shown = browser.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const start = performance.now();
        openPath(arguments[0]).then(() => requestAnimationFrame(() =>
          done(performance.now() - start)));""", base + r"\Values")
    # Beside them, the default value regedit always shows.
    check("the first 500 of 10,000 values listed", 501, len(rows()))
    browser.find_element(By.ID, "more-values").click()
    wait.until(lambda b: len(rows()) == 1001)
    check("and 500 more", "v00999", rows()[-1][0])
    print(f"first screen of 10,000 values: {shown:.0f} ms")

    def dialog(name=None, data=None):
        wait.until(lambda b: b.find_element(By.ID, "editor").get_attribute("open") is not None)
        if name is not None:
            field = browser.find_element(By.ID, "editor-name")
            field.clear()
            field.send_keys(name)
        if data is not None:
            field = browser.find_element(By.ID, "editor-data")
            field.clear()
            field.send_keys(data)
        browser.find_element(By.ID, "editor-ok").click()

    # By mouse: a new key, a value of each kind, a binary edited.
    open_key(base)
    browser.find_element(By.ID, "new-key").click()
    dialog(name="Made")
    wait.until(lambda b: selected(b) == "Made")
    check("a new key", True, rf"{base}\Made" in query(base))
    for kind, name, data, expected in (("4", "count", "0x10", "REG_DWORD    0x10"),
                                       ("1", "s", "text ∑", "REG_SZ    text ∑"),
                                       ("7", "m", "one\ntwo", "REG_MULTI_SZ    one\\0two"),
                                       ("3", "b", "de ad", "REG_BINARY    DEAD")):
        browser.find_element(By.CSS_SELECTOR, f"#new-type option[value='{kind}']").click()
        browser.find_element(By.ID, "new-value").click()
        dialog(name=name, data=data)
        wait.until(lambda b: any(row[0] == name for row in rows()))
        check(f"a new value {name}", f"    {name}    {expected}",
              query(rf"{base}\Made", "/v", name).splitlines()[2])
    # By keyboard: Enter edits the binary value, F2 renames it, Delete deletes it.
    row = next(r for r in browser.find_elements(By.CSS_SELECTOR, "#values tbody tr")
               if r.find_element(By.TAG_NAME, "td").text == "b")
    row.click()
    body = browser.find_element(By.CSS_SELECTOR, "#values tbody")
    body.send_keys(Keys.ENTER)
    dialog(data="01 02 03")
    wait.until(lambda b: ["b", "REG_BINARY", "01 02 03"] in rows())
    check("binary edited", "    b    REG_BINARY    010203", query(rf"{base}\Made", "/v", "b").splitlines()[2])
    browser.save_screenshot(os.path.join(screens, "edit.png"))
    row = next(r for r in browser.find_elements(By.CSS_SELECTOR, "#values tbody tr")
               if r.find_element(By.TAG_NAME, "td").text == "b")
    row.click()
    body.send_keys(Keys.F2)
    dialog(name="renamed")
    wait.until(lambda b: any(r[0] == "renamed" for r in rows()))
    check("value renamed", "    renamed    REG_BINARY    010203",
          query(rf"{base}\Made", "/v", "renamed").splitlines()[2])
    row = next(r for r in browser.find_elements(By.CSS_SELECTOR, "#values tbody tr")
               if r.find_element(By.TAG_NAME, "td").text == "renamed")
    row.click()
    body.send_keys(Keys.DELETE)
    wait.until(lambda b: b.switch_to.alert).accept()
    wait.until(lambda b: not any(r[0] == "renamed" for r in rows()))
    check("value deleted", "", query(rf"{base}\Made", "/v", "renamed"))
    # The key: F2 renames it, Delete deletes it, arrows move through the tree.
    tree = browser.find_element(By.ID, "tree")
    browser.find_element(By.CSS_SELECTOR, "#tree span.selected").click()
    tree.send_keys(Keys.F2)
    dialog(name="Moved")
    wait.until(lambda b: selected(b) == "Moved")
    check("key renamed with its values", "    count    REG_DWORD    0x10",
          query(rf"{base}\Moved", "/v", "count").splitlines()[2])
    tree.send_keys(Keys.DELETE)
    wait.until(lambda b: b.switch_to.alert).accept()
    wait.until(lambda b: selected(b) == "QvBrowser")
    check("key deleted", "", query(rf"{base}\Moved"))
    # Left closes the key, Left again goes to its parent, Down back to the
    # first subkey shown below it.
    tree.send_keys(Keys.ARROW_LEFT)
    tree.send_keys(Keys.ARROW_LEFT)
    wait.until(lambda b: selected(b) == "Software")
    check("Left, Left: the parent", "Software", selected(browser))
    tree.send_keys(Keys.ARROW_DOWN)
    wait.until(lambda b: selected(b) != "Software")
    check("Down: the next key shown", True, selected(browser) in ("Classes", "QvBrowser"))
    # Find below a key, F3 to the next match; export, import and compare.
    open_key(base)
    field = browser.find_element(By.ID, "find-text")
    field.send_keys("v0000", Keys.ENTER)
    wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, "#report-list li.current"))
    matches = browser.execute_script("return document.querySelectorAll('#report-list li').length")
    check("find lists the matches", 10, matches)
    wait.until(lambda b: selected(b) == "Values")
    check("and shows the first", "Values", selected(browser))
    tree.send_keys(Keys.F3)
    wait.until(lambda b: b.execute_script(
        "return document.querySelector('#report-list li.current')?.textContent.endsWith('v00001')"))
    chosen = "return document.querySelector('#values tr.selected')?.cells[0].textContent"
    wait.until(lambda b: b.execute_script(chosen) == "v00001")
    check("F3: the next match, chosen among the values", "v00001", browser.execute_script(chosen))
    browser.save_screenshot(os.path.join(screens, "find.png"))
    open_key(base)
    browser.find_element(By.ID, "export").click()
    exported = os.path.join(downloads, "export.reg")
    WebDriverWait(browser, 20).until(lambda b: os.path.exists(exported) and os.path.getsize(exported) > 0)
    with open(exported, encoding="utf-16") as file:
        text = file.read()
    check("export as .reg", True, text.startswith("Windows Registry Editor Version 5.00") and
          "QvBrowser\\Many\\k09999]" in text)
    copy = os.path.join(scratch, "copy.reg")
    with open(copy, "w", encoding="utf-16", newline="\r\n") as file:
        file.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\QvImported]\n"
                   '"from"="the page"\n')
    browser.find_element(By.ID, "import-file").send_keys(copy)
    wait.until(lambda b: b.find_element(By.ID, "report-title").text.startswith("Imported"))
    check("import of a .reg by upload", "    from    REG_SZ    the page",
          query(r"HKCU\Software\QvImported", "/v", "from").splitlines()[2])
    open_key(base + r"\Many")
    browser.find_element(By.ID, "compare").click()
    dialog(name=base + r"\Values")
    wait.until(lambda b: b.find_element(By.ID, "report-title").text.startswith("Different"))
    check("compare of two keys", True, "Result Compared: Different" in
          browser.find_element(By.ID, "report-text").text)
    browser.save_screenshot(os.path.join(screens, "compare.png"))
    # The toolbar by keyboard: a focused button takes Enter, and Enter in the
    # dialog's name is OK, as in regedit.
    open_key(base)
    browser.find_element(By.ID, "new-key").send_keys(Keys.ENTER)
    wait.until(lambda b: b.find_element(By.ID, "editor").get_attribute("open") is not None)
    field = browser.find_element(By.ID, "editor-name")
    field.clear()
    field.send_keys("ByKeyboard", Keys.ENTER)
    wait.until(lambda b: selected(b) == "ByKeyboard")
    check("a new key by keyboard", True, rf"{base}\ByKeyboard" in query(base))
    browser.find_element(By.ID, "new-type").send_keys("REG_SZ")
    browser.find_element(By.ID, "new-value").send_keys(Keys.ENTER)
    wait.until(lambda b: b.find_element(By.ID, "editor").get_attribute("open") is not None)
    browser.find_element(By.ID, "editor-data").send_keys("typed")
    field = browser.find_element(By.ID, "editor-name")
    field.clear()
    field.send_keys("k", Keys.ENTER)
    wait.until(lambda b: any(r[0] == "k" for r in rows()))
    check("a new value by keyboard", "    k    REG_SZ    typed",
          query(rf"{base}\ByKeyboard", "/v", "k").splitlines()[2])
    browser.find_element(By.ID, "compare").send_keys(Keys.ENTER)
    wait.until(lambda b: b.find_element(By.ID, "editor").get_attribute("open") is not None)
    browser.find_element(By.ID, "editor-name").send_keys(base + r"\ByKeyboard", Keys.ENTER)
    wait.until(lambda b: b.find_element(By.ID, "report-title").text.startswith("Identical"))
    check("compare by keyboard", True, "Identical" in browser.find_element(By.ID, "report-title").text)
    tree.send_keys(Keys.DELETE)
    wait.until(lambda b: b.switch_to.alert).accept()
    wait.until(lambda b: selected(b) == "QvBrowser")
    # A narrow window keeps both panes.
    browser.set_window_size(500, 800)
    check("a narrow window shows the values below the tree", True,
          browser.find_element(By.ID, "values-pane").location["y"] >
          browser.find_element(By.ID, "tree").location["y"])
    browser.save_screenshot(os.path.join(screens, "narrow.png"))
    browser.find_element(By.ID, "quit").click()
    check("Quit ends the server", 0, server.wait(timeout=10))
finally:
    browser.quit()
    if server.poll() is None:
        server.terminate()
suite.end("qv regedit in Chromium")
