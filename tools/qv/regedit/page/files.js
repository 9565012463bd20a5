// qv regedit's page, its work on whole trees and files: find below a key
// (F3 and Shift+F3 through the matches), export, import by picking or
// dropping a file, and compare. Loaded after page.js, whose functions it uses.
"use strict";

let found = [];   // the matches of the last find
let foundAt = -1; // the one shown

function report(title, items, text) {
  $("report").hidden = false;
  $("report-title").textContent = title;
  $("report-list").textContent = "";
  for (const item of items || []) {
    const line = document.createElement("li");
    line.textContent = item.value === undefined ? item.path : item.path + "  " + (item.value || "(Default)");
    line.onclick = () => showMatch(items.indexOf(item));
    $("report-list").append(line);
  }
  $("report-text").textContent = text || "";
}

async function showMatch(at) {
  if (!found.length) return;
  foundAt = (at + found.length) % found.length;
  Array.from($("report-list").children).forEach((line, i) => line.classList.toggle("current", i === foundAt));
  const match = found[foundAt];
  const shownPath = selectedKey?.parentElement.dataset.path.toLowerCase();
  if (shownPath !== match.path.toLowerCase()) await openPath(match.path);
  if (match.value !== undefined) {
    const row = Array.from($("values").tBodies[0].rows).find((r) => r.value.name === match.value);
    if (row) { selectedValue?.classList.remove("selected"); selectedValue = row; row.classList.add("selected"); row.scrollIntoView({block: "nearest"}); }
  }
}

async function find() {
  const pattern = $("find-text").value;
  if (!pattern || !selectedKey) return;
  await run(async () => {
    const answer = await get("find", {path: selectedKey.parentElement.dataset.path, pattern});
    found = answer.matches;
    report(found.length + (answer.more ? "+" : "") + " found below " + selectedKey.parentElement.dataset.path +
           " for \u201c" + pattern + "\u201d", found);
    if (found.length) await showMatch(0);
  });
}

function exportKey() {
  if (!selectedKey) return;
  const query = new URLSearchParams({path: selectedKey.parentElement.dataset.path, view: view(),
                                     format: $("export-format").value});
  const link = document.createElement("a");
  link.href = api + "export?" + query;
  link.download = $("export-format").value === "hive" ? "export.hiv" : "export.reg";
  document.body.append(link);
  link.click();
  link.remove();
}

async function upload(action, query, file) {
  const response = await fetch(api + action + "?" + new URLSearchParams({...query, view: view()}), {
    method: "POST", headers: {"X-Qv-Token": token, "Content-Type": "application/octet-stream"},
    body: await file.arrayBuffer(),
  });
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error);
  return answer;
}

async function importFile(file) {
  const bytes = new Uint8Array(await file.slice(0, 4).arrayBuffer());
  const hive = String.fromCharCode(...bytes) === "regf";
  if (hive && !selectedKey) return;
  const target = hive ? selectedKey.parentElement.dataset.path : "";
  if (hive && !confirm("Restore " + file.name + " over " + target + "?")) return;
  await run(async () => {
    const answer = await upload("import", {kind: hive ? "hive" : "reg", path: target}, file);
    report("Imported " + file.name, [], answer.said);
    if (selectedKey) { await refreshKey(selectedKey.parentElement); await showValues(0); }
  });
}

async function compare() {
  if (!selectedKey) return;
  const path = selectedKey.parentElement.dataset.path;
  const answer = await ask("Compare " + path + " with a key (or leave it empty to pick a file)", "", null);
  if (!answer) return;
  if (!answer.name) { $("compare-file").click(); return; }
  await run(async () => {
    const result = await post("compare?" + new URLSearchParams({path, other: answer.name, view: view()}), {});
    report((result.identical ? "Identical: " : "Different: ") + path + " and " + answer.name, [], result.lines);
  });
}

$("compare-file").addEventListener("change", async () => {
  const file = $("compare-file").files[0];
  if (!file || !selectedKey) return;
  const path = selectedKey.parentElement.dataset.path;
  await run(async () => {
    const result = await upload("compare", {path}, file);
    report((result.identical ? "Identical: " : "Different: ") + path + " and " + file.name, [], result.lines);
  });
  $("compare-file").value = "";
});
$("import-file").addEventListener("change", async () => {
  const file = $("import-file").files[0];
  if (file) await importFile(file);
  $("import-file").value = "";
});
document.addEventListener("dragover", (event) => { event.preventDefault(); document.body.classList.add("dropping"); });
document.addEventListener("dragleave", () => document.body.classList.remove("dropping"));
document.addEventListener("drop", async (event) => {
  event.preventDefault();
  document.body.classList.remove("dropping");
  const file = event.dataTransfer.files[0];
  if (file) await importFile(file);
});
$("find").onclick = find;
$("find-text").addEventListener("keydown", (event) => { if (event.key === "Enter") find(); });
$("export").onclick = exportKey;
$("compare").onclick = compare;
document.addEventListener("keydown", (event) => {
  if (event.key !== "F3") return;
  event.preventDefault();
  if (!found.length) { $("find-text").focus(); return; }
  showMatch(foundAt + (event.shiftKey ? -1 : 1));
});

