#!/usr/bin/env python3
"""qv regedit's server through HTTP as the page and as an attacker use it:
the page's reads and edits, each checked against `qv reg query`, and the
requests it must refuse (no token, a wrong token, another Host or Origin, a
change by GET or without its header, a path with .., a 1 GB upload), none of
which may change anything.
    regedit_test.py QV"""
import http.client
import json
import os
import signal
import subprocess
import sys
import time
import urllib.parse

from qv_suite import Suite

qv = sys.argv[1]
if os.environ.get("QV_PROCESS_BITS") == "32":
    print("qv regedit: run once, in the 64-bit process's suite")
    sys.exit(77)
suite = Suite(qv)
scratch, check, query = suite.scratch, suite.check, suite.query


def export(key):
    out = os.path.join(scratch, "now.reg")
    subprocess.run([qv, "reg", "export", key, out, "/y"], capture_output=True, check=False)
    with open(out, "rb") as file:
        return file.read()


subprocess.run([qv, "reg", "add", r"HKCU\Software\QvWeb\Below", "/v", "n", "/t", "REG_DWORD",
                "/d", "42", "/f"], check=True, capture_output=True)
server = subprocess.Popen([qv, "regedit", "--no-browser"], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True)
address = server.stdout.readline().strip().split(" ", 2)[-1]
parts = urllib.parse.urlsplit(address)
host, token = parts.netloc, parts.path.strip("/")


def request(method, path, body=None, headers=None, host_header=None):
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=10)
    sent = {"Host": host_header or host}
    sent.update(headers or {})
    connection.putrequest(method, path, skip_host=True)
    for name, value in sent.items():
        connection.putheader(name, value)
    data = body.encode() if isinstance(body, str) else body
    if data is not None and "Content-Length" not in sent:
        connection.putheader("Content-Length", str(len(data)))
    connection.endheaders()
    if data:
        try:
            connection.send(data)
        except (BrokenPipeError, ConnectionResetError):
            pass
    response = connection.getresponse()
    answer = response.read()
    connection.close()
    return response.status, answer


def api_get(action, **query_fields):
    status, answer = request("GET", f"/{token}/api/{action}?" + urllib.parse.urlencode(query_fields))
    return status, json.loads(answer)


def api_post(action, body, headers=None):
    sent = {"X-Qv-Token": token, "Content-Type": "application/json"}
    sent.update(headers or {})
    status, answer = request("POST", f"/{token}/api/{action}", json.dumps(body), sent)
    return status, json.loads(answer)


key = r"HKCU\Software\QvWeb"
# The page and its parts.
for path, kind in (("", "text/html"), ("page.js", "text/javascript"), ("files.js", "text/javascript"),
                   ("page.css", "text/css")):
    status, body = request("GET", f"/{token}/{path}")
    check(f"the page's {path or 'html'}", 200, status)
# Reads.
status, answer = api_get("keys", path=key)
check("subkeys", (200, [{"name": "Below", "below": False}]), (status, answer["subkeys"]))
status, answer = api_get("values", path=key + r"\Below")
check("values", [{"name": "n", "type": 4, "data": "2a000000"}], answer["values"])
status, answer = api_get("values", path=key + r"\Missing")
check("a missing key in the registry's words", (400, True),
      (status, "unable to find" in answer["error"].lower() or "not" in answer["error"].lower()))

# Edits, each checked with qv reg query.
utf16 = lambda text: (text + "\0").encode("utf-16-le").hex()
values = [("sz", 1, utf16("héllo ναι"), "REG_SZ    héllo ναι"),
          ("ex", 2, utf16("%TEMP%\\x"), "REG_EXPAND_SZ    %TEMP%\\x"),
          ("bin", 3, "0001feff", "REG_BINARY    0001FEFF"),
          ("dw", 4, "2a000000", "REG_DWORD    0x2a"),
          ("multi", 7, ("a\0b\0\0").encode("utf-16-le").hex(), "REG_MULTI_SZ    a\\0b"),
          ("qw", 11, "0100000000000000", "REG_QWORD    0x1"),
          ("none", 0, "0102", "REG_NONE    0102")]
for name, kind, data, shown in values:
    status, _ = api_post("value/set", {"path": key, "name": name, "type": kind, "data": data})
    check(f"set {name}", 200, status)
    check(f"{name} as qv reads it", f"    {name}    {shown}", query(key, "/v", name).splitlines()[2])
status, _ = api_post("value/rename", {"path": key, "name": "sz", "to": "renamed"})
check("rename a value", (200, "    renamed    REG_SZ    héllo ναι"),
      (status, query(key, "/v", "renamed").splitlines()[2]))
status, _ = api_post("value/delete", {"path": key, "name": "renamed"})
check("delete a value", (200, ""), (status, query(key, "/v", "renamed")))
status, _ = api_post("key/create", {"path": key, "name": "Made"})
check("new key", (200, True), (status, r"HKEY_CURRENT_USER\Software\QvWeb\Made" in query(key)))
status, answer = api_post("key/create", {"path": key, "name": "Made"})
check("a new key that is there already is refused", 400, status)
status, _ = api_post("key/rename", {"path": key + r"\Below", "name": "Moved"})
check("rename a key with its values", (200, "    n    REG_DWORD    0x2a"),
      (status, query(key + r"\Moved", "/v", "n").splitlines()[2]))
check("the old name is gone", "", query(key + r"\Below"))
status, _ = api_post("key/delete", {"path": key + r"\Made"})
check("delete a key", (200, False), (status, r"QvWeb\Made" in query(key)))
status, answer = api_post("value/set", {"path": key, "name": "bad", "type": 4, "data": "zz"})
check("data that are not hex are refused", 400, status)

# Find, as query /f: key names, value names and data, below a key.
status, answer = api_get("find", path=key, pattern="MOV")
check("find a key name", [{"path": r"HKEY_CURRENT_USER\Software\QvWeb\Moved"}], answer["matches"])
status, answer = api_get("find", path=key, pattern="ναι", keys="0", values="0")
check("find in data", [], answer["matches"])
status, answer = api_get("find", path=key, pattern="2a", keys="0", values="0")
check("find a number by its hex", [{"path": r"HKEY_CURRENT_USER\Software\QvWeb", "value": "dw"},
                                   {"path": r"HKEY_CURRENT_USER\Software\QvWeb\Moved", "value": "n"}],
      answer["matches"])
# Export as .reg and as a hive, import, compare.
status, exported = request("GET", f"/{token}/api/export?" + urllib.parse.urlencode({"path": key}))
check("export as .reg", (200, True), (status, exported.decode("utf-16").startswith(
    "Windows Registry Editor Version 5.00")))
status, hive = request("GET", f"/{token}/api/export?" +
                       urllib.parse.urlencode({"path": key, "format": "hive"}))
check("export as a hive", (200, b"regf"), (status, hive[:4]))
copied = exported.decode("utf-16").replace("QvWeb", "QvWebCopy").encode("utf-16")
status, _ = request("POST", f"/{token}/api/import?kind=reg", copied, {"X-Qv-Token": token})
check("import a .reg upload", (200, "    n    REG_DWORD    0x2a"),
      (status, query(key + r"Copy\Moved", "/v", "n").splitlines()[2]))
status, answer = api_post("compare?" + urllib.parse.urlencode({"path": key, "other": key + "Copy"}), {})
check("two keys compared", (200, True), (status, answer["identical"]))
status, _ = api_post("value/set", {"path": key + "Copy", "name": "extra", "type": 1, "data": utf16("x")})
status, compared = request("POST", f"/{token}/api/compare?" + urllib.parse.urlencode({"path": key + "Copy"}),
                           hive, {"X-Qv-Token": token})
answer = json.loads(compared)
check("a key against an uploaded hive", (200, False, True),
      (status, answer["identical"], "extra" in answer["lines"]))
status, _ = request("POST", f"/{token}/api/import?" + urllib.parse.urlencode({"kind": "hive", "path": key + "Copy"}),
                    hive, {"X-Qv-Token": token})
check("a hive upload restored", (200, ""), (status, query(key + "Copy", "/v", "extra")))
status, answer = api_post("key/delete", {"path": key + "Copy"})
status, _ = request("POST", f"/{token}/api/import?kind=reg", b"not a registry file", {"X-Qv-Token": token})
check("a file that is no .reg is refused", 400, status)

# What must be refused, each changing nothing.
before = export(key)
change = json.dumps({"path": key, "name": "dw"})
refused = [
    ("no token", "POST", "/api/value/delete", change, {"X-Qv-Token": token}, None, 403),
    ("a wrong token in the path", "POST", "/" + "0" * 32 + "/api/value/delete", change,
     {"X-Qv-Token": token}, None, 403),
    ("a wrong token in the header", "POST", f"/{token}/api/value/delete", change,
     {"X-Qv-Token": "0" * 32}, None, 403),
    ("no token header", "POST", f"/{token}/api/value/delete", change, {}, None, 403),
    ("another Host (DNS rebinding)", "POST", f"/{token}/api/value/delete", change,
     {"X-Qv-Token": token}, "evil.example:80", 403),
    ("another Origin", "POST", f"/{token}/api/value/delete", change,
     {"X-Qv-Token": token, "Origin": "http://evil.example"}, None, 403),
    ("a change by GET", "GET", f"/{token}/api/value/delete?" +
     urllib.parse.urlencode({"path": key, "name": "dw"}), None, {}, None, 405),
    ("an import without the token header", "POST", f"/{token}/api/import?kind=reg",
     "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CURRENT_USER\\Software\\QvWeb]\r\n",
     {}, None, 403),
    ("an export from another site", "GET", f"/{token}/api/export?path=HKCU", None,
     {"Origin": "http://evil.example"}, None, 403),
    ("a path with ..", "GET", f"/{token}/../{token}/api/values?path=HKCU", None, {}, None, 400),
    ("another method", "DELETE", f"/{token}/api/value/delete", change, {"X-Qv-Token": token},
     None, 405),
]
for name, method, path, body, headers, host_header, expected in refused:
    status, _ = request(method, path, body, headers, host_header)
    check(f"refused: {name}", expected, status)
started = time.monotonic()
status, _ = request("POST", f"/{token}/api/value/set", b"x" * 1024,
                    {"X-Qv-Token": token, "Content-Length": str(1 << 30)})
check("refused early: a 1 GB upload", (413, True), (status, time.monotonic() - started < 5))
check("the refused requests changed nothing", before, export(key))

status, _ = api_post("quit", {})
check("quit", 200, status)
check("the server ends", 0, server.wait(timeout=10))
log = server.stderr.read()
check("the log names every request without its token", (True, False),
      ("POST /TOKEN/api/value/set 200" in log, token in log))
# Ctrl-C ends it as well.
second = subprocess.Popen([qv, "regedit", "--no-browser"], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True)
second.stdout.readline()
second.send_signal(signal.SIGINT)
check("Ctrl-C ends the server", 0, second.wait(timeout=10))
suite.end("qv regedit")
