// qv regedit's page: the tree of keys (read as they are opened, a page of
// names at a time), a key's values, and the edits, through the server's API.
"use strict";

const token = location.pathname.split("/")[1];
const api = "/" + token + "/api/";
const roots = ["HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
               "HKEY_CURRENT_CONFIG"];
const typeNames = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
                   5: "REG_DWORD_BIG_ENDIAN", 6: "REG_LINK", 7: "REG_MULTI_SZ",
                   8: "REG_RESOURCE_LIST", 9: "REG_FULL_RESOURCE_DESCRIPTOR",
                   10: "REG_RESOURCE_REQUIREMENTS_LIST", 11: "REG_QWORD"};
const page = 500;  // names and values a request brings: more than a screen, quick to show
const $ = (id) => document.getElementById(id);
let selectedKey = null;   // the span of the key shown
let selectedValue = null; // the row of the value chosen

function view() { return $("view32").checked ? "32" : "64"; }

function say(text) { $("status").textContent = text || ""; }

async function get(action, query) {
  const response = await fetch(api + action + "?" + new URLSearchParams({...query, view: view()}));
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error);
  return answer;
}

async function post(action, body) {
  const response = await fetch(api + action, {
    method: "POST",
    headers: {"Content-Type": "application/json", "X-Qv-Token": token},
    body: JSON.stringify({...body, view: view()}),
  });
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error);
  return answer;
}

// ---- data as regedit shows it, and as the registry takes it

function bytesOf(hex) {
  const bytes = new Uint8Array(hex.length / 2);
  for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
  return bytes;
}

function hexOf(bytes) {
  return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
}

function textOf(bytes) {
  let text = "";
  for (let i = 0; i + 1 < bytes.length; i += 2) text += String.fromCharCode(bytes[i] | bytes[i + 1] << 8);
  return text;
}

function utf16(text) {
  const bytes = new Uint8Array(text.length * 2);
  for (let i = 0; i < text.length; i++) {
    bytes[2 * i] = text.charCodeAt(i) & 255;
    bytes[2 * i + 1] = text.charCodeAt(i) >> 8;
  }
  return bytes;
}

function number(bytes) {
  let value = 0n;
  for (let i = bytes.length - 1; i >= 0; i--) value = value << 8n | BigInt(bytes[i]);
  return value;
}

function shown(type, hex) {
  const bytes = bytesOf(hex);
  if (type === 1 || type === 2) return textOf(bytes).split("\0")[0];
  if (type === 7) return textOf(bytes).split("\0").filter((item, i, all) => i < all.length - 2 || item).join(" ");
  if ((type === 4 || type === 5) && bytes.length === 4) {
    const n = type === 4 ? number(bytes) : number(bytes.slice().reverse());
    return "0x" + n.toString(16).padStart(8, "0") + " (" + n + ")";
  }
  if (type === 11 && bytes.length === 8) {
    const n = number(bytes);
    return "0x" + n.toString(16).padStart(16, "0") + " (" + n + ")";
  }
  if (bytes.length === 0) return "(zero-length binary value)";
  return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join(" ");
}

// What the editor shows of a value, and the bytes its text stands for.
function editable(type, hex) {
  const bytes = bytesOf(hex);
  if (type === 1 || type === 2) return textOf(bytes).split("\0")[0];
  if (type === 7) return textOf(bytes).split("\0").filter((item) => item !== "").join("\n");
  if (type === 4 && bytes.length === 4) return "0x" + number(bytes).toString(16);
  if (type === 11 && bytes.length === 8) return "0x" + number(bytes).toString(16);
  return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join(" ");
}

function dataOf(type, text) {
  if (type === 1 || type === 2) return hexOf(utf16(text + "\0"));
  if (type === 7) {
    const items = text.split("\n").filter((item) => item !== "");
    return hexOf(utf16(items.map((item) => item + "\0").join("") + "\0"));
  }
  if (type === 4 || type === 11) {
    const size = type === 4 ? 4 : 8;
    const written = text.trim();
    if (!/^(0x[0-9a-f]+|[0-9]+)$/i.test(written)) throw new Error("not a number: " + written);
    let n = BigInt(written);
    if (n >= 1n << BigInt(8 * size)) throw new Error("too large for " + typeNames[type]);
    const bytes = new Uint8Array(size);
    for (let i = 0; i < size; i++, n >>= 8n) bytes[i] = Number(n & 255n);
    return hexOf(bytes);
  }
  const digits = text.replace(/[\s,]/g, "");
  if (!/^([0-9a-f]{2})*$/i.test(digits)) throw new Error("not whole bytes of hex digits");
  return digits.toLowerCase();
}

// ---- the tree

function keyItem(path, name, below) {
  const item = document.createElement("li");
  item.setAttribute("role", "treeitem");
  item.className = below ? "closed" : "leaf";
  item.dataset.path = path;
  const label = document.createElement("span");
  label.textContent = name;
  item.append(label);
  return item;
}

async function expand(item) {
  if (item.classList.contains("open") || item.classList.contains("leaf")) return;
  const list = document.createElement("ul");
  list.setAttribute("role", "group");
  item.append(list);
  item.classList.replace("closed", "open");
  await loadSubkeys(item, list, 0);
}

async function loadSubkeys(item, list, from) {
  const answer = await get("keys", {path: item.dataset.path, from, count: page});
  const names = document.createDocumentFragment();
  for (const subkey of answer.subkeys) {
    names.append(keyItem(item.dataset.path + "\\" + subkey.name, subkey.name, subkey.below));
  }
  const more = from + answer.subkeys.length;
  if (more < answer.total) {
    const rest = document.createElement("li");
    rest.className = "more";
    rest.innerHTML = "<button>more keys</button>";
    rest.firstChild.onclick = () => { rest.remove(); loadSubkeys(item, list, more); };
    names.append(rest);
  }
  list.append(names);
  if (answer.total === 0) { list.remove(); item.className = "leaf"; }
}

function collapse(item) {
  const list = item.querySelector(":scope > ul");
  if (list) list.remove();
  if (item.classList.contains("open")) item.classList.replace("open", "closed");
}

async function select(label) {
  if (selectedKey) selectedKey.classList.remove("selected");
  selectedKey = label;
  label.classList.add("selected");
  label.scrollIntoView({block: "nearest"});
  $("address").value = label.parentElement.dataset.path;
  await showValues(0);
}

async function showValues(from) {
  const body = $("values").tBodies[0];
  if (from === 0) { body.textContent = ""; selectedValue = null; }
  const path = selectedKey.parentElement.dataset.path;
  say("");
  let answer;
  try {
    answer = await get("values", {path, from, count: page});
  } catch (error) {
    say(error.message);
    return;
  }
  const rows = document.createDocumentFragment();
  if (from === 0 && !answer.values.some((value) => value.name === "")) {
    rows.append(valueRow({name: "", type: 1, data: null}));
  }
  for (const value of answer.values) rows.append(valueRow(value));
  body.append(rows);
  const more = from + answer.values.length;
  $("more-values").hidden = more >= answer.total;
  $("more-values").onclick = () => showValues(more);
}

function valueRow(value) {
  const row = document.createElement("tr");
  row.value = value;
  const cells = [value.name === "" ? "(Default)" : value.name, typeNames[value.type] || "0x" + value.type.toString(16),
                 value.data === null ? "(value not set)" : shown(value.type, value.data)];
  for (const text of cells) {
    const cell = document.createElement("td");
    cell.textContent = text;
    row.append(cell);
  }
  return row;
}

function visibleLabels() {
  return Array.from($("tree").querySelectorAll("li > span")).filter((label) => label.offsetParent !== null);
}

// Opens a key by its full name, expanding the tree along it.
async function openPath(path) {
  const names = path.replace(/^\\+|\\+$/g, "").split("\\").filter((name) => name);
  const longRoots = {HKCR: "HKEY_CLASSES_ROOT", HKCU: "HKEY_CURRENT_USER", HKLM: "HKEY_LOCAL_MACHINE",
                     HKU: "HKEY_USERS", HKCC: "HKEY_CURRENT_CONFIG"};
  if (!names.length) return;
  names[0] = longRoots[names[0].toUpperCase()] || names[0].toUpperCase();
  let item = Array.from($("tree").children).find((root) => root.dataset.path === names[0]);
  if (!item) { say("no such root key: " + names[0]); return; }
  for (const name of names.slice(1)) {
    await expand(item);
    const next = Array.from(item.querySelectorAll(":scope > ul > li"))
      .find((child) => child.firstChild.textContent.toLowerCase() === name.toLowerCase());
    if (!next) { say("not found: " + name + " below " + item.dataset.path); break; }
    item = next;
  }
  await select(item.firstChild);
}

// ---- edits

function ask(title, name, data, hint) {
  return new Promise((resolve) => {
    $("editor-title").textContent = title;
    $("editor-name").value = name ?? "";
    $("editor-name").disabled = name === null;
    $("editor-data-label").hidden = data === null;
    $("editor-data").value = data ?? "";
    $("editor-hint").textContent = hint || "";
    const dialog = $("editor");
    dialog.onclose = () => resolve(dialog.returnValue === "ok"
      ? {name: $("editor-name").value, data: $("editor-data").value} : null);
    dialog.returnValue = "";
    dialog.showModal();
    (name === null ? $("editor-data") : $("editor-name")).focus();
  });
}

const hints = {1: "Text.", 2: "Text; %NAME% stays as written.", 7: "One item a line.",
               4: "A number, decimal or 0x hex.", 11: "A number, decimal or 0x hex."};

async function run(edit) {
  say("");
  try { await edit(); } catch (error) { say(error.message); }
}

async function refreshKey(item) {
  const wasOpen = item.classList.contains("open");
  collapse(item);
  item.className = "closed";
  if (wasOpen || item === selectedKey?.parentElement) await expand(item);
}

function parentItem(item) { return item.parentElement.closest("li"); }

async function newKey() {
  if (!selectedKey) return;
  const item = selectedKey.parentElement;
  const answer = await ask("New key below " + item.dataset.path, "New Key #1", null);
  if (!answer) return;
  await run(async () => {
    await post("key/create", {path: item.dataset.path, name: answer.name});
    await refreshKey(item);
    await openPath(item.dataset.path + "\\" + answer.name);
  });
}

async function newValue() {
  if (!selectedKey) return;
  const type = Number($("new-type").value);
  const answer = await ask("New " + typeNames[type], "New Value #1", "", hints[type] || "Hex bytes.");
  if (!answer) return;
  await run(async () => {
    await post("value/set", {path: selectedKey.parentElement.dataset.path, name: answer.name, type,
                             data: dataOf(type, answer.data)});
    await showValues(0);
  });
}

async function editValue(row) {
  const value = row.value;
  const answer = await ask("Edit " + (value.name || "(Default)") + " (" + typeNames[value.type] + ")", null,
                           value.data === null ? "" : editable(value.type, value.data),
                           hints[value.type] || "Hex bytes.");
  if (!answer) return;
  await run(async () => {
    await post("value/set", {path: selectedKey.parentElement.dataset.path, name: value.name,
                             type: value.type, data: dataOf(value.type, answer.data)});
    await showValues(0);
  });
}

async function rename() {
  if (selectedValue && document.activeElement === $("values").tBodies[0]) {
    const value = selectedValue.value;
    if (value.data === null || value.name === "") return;
    const answer = await ask("Rename value", value.name, null);
    if (!answer) return;
    await run(async () => {
      await post("value/rename", {path: selectedKey.parentElement.dataset.path, name: value.name, to: answer.name});
      await showValues(0);
    });
    return;
  }
  if (!selectedKey) return;
  const item = selectedKey.parentElement;
  const parent = parentItem(item);
  if (!parent) return;
  const answer = await ask("Rename key", selectedKey.textContent, null);
  if (!answer) return;
  await run(async () => {
    await post("key/rename", {path: item.dataset.path, name: answer.name});
    await refreshKey(parent);
    await openPath(parent.dataset.path + "\\" + answer.name);
  });
}

async function remove() {
  if (selectedValue && document.activeElement === $("values").tBodies[0]) {
    const value = selectedValue.value;
    if (value.data === null) return;
    if (!confirm("Delete the value " + (value.name || "(Default)") + "?")) return;
    await run(async () => {
      await post("value/delete", {path: selectedKey.parentElement.dataset.path, name: value.name});
      await showValues(0);
    });
    return;
  }
  if (!selectedKey) return;
  const item = selectedKey.parentElement;
  const parent = parentItem(item);
  if (!parent || !confirm("Delete the key " + item.dataset.path + " and everything below it?")) return;
  await run(async () => {
    await post("key/delete", {path: item.dataset.path});
    await refreshKey(parent);
    await select(parent.firstChild);
  });
}

// ---- keyboard, as in regedit

$("tree").addEventListener("keydown", async (event) => {
  if (!selectedKey) return;
  const labels = visibleLabels();
  const at = labels.indexOf(selectedKey);
  const item = selectedKey.parentElement;
  const keys = {
    ArrowDown: () => at + 1 < labels.length && select(labels[at + 1]),
    ArrowUp: () => at > 0 && select(labels[at - 1]),
    ArrowRight: async () => {
      if (item.classList.contains("closed")) await expand(item);
      else if (item.classList.contains("open")) { const first = item.querySelector(":scope > ul > li > span"); if (first) await select(first); }
    },
    ArrowLeft: () => item.classList.contains("open") ? collapse(item) : parentItem(item) && select(parentItem(item).firstChild),
    Enter: () => item.classList.contains("open") ? collapse(item) : expand(item),
    Delete: remove, F2: rename, F5: () => refreshKey(item),
    Tab: null,
  };
  if (event.key in keys && keys[event.key]) { event.preventDefault(); await keys[event.key](); }
});

$("values").tBodies[0].addEventListener("keydown", async (event) => {
  const rows = Array.from($("values").tBodies[0].rows);
  const at = rows.indexOf(selectedValue);
  const choose = (row) => { if (!row) return; selectedValue?.classList.remove("selected"); selectedValue = row; row.classList.add("selected"); row.scrollIntoView({block: "nearest"}); };
  const keys = {
    ArrowDown: () => choose(rows[at + 1]), ArrowUp: () => choose(rows[Math.max(at - 1, 0)]),
    Enter: () => selectedValue && editValue(selectedValue), Delete: remove, F2: rename,
  };
  if (event.key in keys) { event.preventDefault(); await keys[event.key](); }
});

$("tree").addEventListener("click", async (event) => {
  const label = event.target.closest("li > span");
  if (!label) return;
  const item = label.parentElement;
  const rect = label.getBoundingClientRect();
  if (event.clientX < rect.left + 14 && !item.classList.contains("leaf")) {
    item.classList.contains("open") ? collapse(item) : await expand(item);
  }
  await select(label);
  $("tree").focus();
});
$("tree").addEventListener("dblclick", (event) => {
  const label = event.target.closest("li > span");
  if (label) label.parentElement.classList.contains("open") ? collapse(label.parentElement) : expand(label.parentElement);
});

$("values").tBodies[0].addEventListener("click", (event) => {
  const row = event.target.closest("tr");
  if (!row) return;
  selectedValue?.classList.remove("selected");
  selectedValue = row;
  row.classList.add("selected");
  $("values").tBodies[0].focus();
});
$("values").tBodies[0].addEventListener("dblclick", (event) => {
  const row = event.target.closest("tr");
  if (row) editValue(row);
});

$("address").addEventListener("keydown", (event) => { if (event.key === "Enter") run(() => openPath($("address").value)); });
$("view32").addEventListener("change", () => { for (const root of $("tree").children) refreshKey(root); if (selectedKey) showValues(0); });
$("copy-name").onclick = () => navigator.clipboard?.writeText($("address").value);
$("new-key").onclick = newKey;
$("new-value").onclick = newValue;
$("rename").onclick = rename;
$("delete").onclick = remove;
$("refresh").onclick = () => selectedKey && refreshKey(selectedKey.parentElement);
$("quit").onclick = async () => { await post("quit", {}); document.body.textContent = "qv regedit has ended."; };

for (const root of roots) $("tree").append(keyItem(root, root, true));
select($("tree").firstChild.firstChild);
