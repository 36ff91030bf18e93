#!/usr/bin/python3
"""Crash reports come home, end to end: a game crashes twice the same way and once another
way, starts again with upload on, and the inbox holds two groups. Consent off sends nothing;
with the inbox down or answering 500 the reports stay pending and go at the following start;
bad uploads are refused and the inbox stays up.
usage: crash_upload_test.py BIN WORK EMULATOR..."""

import glob
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

bin_dir, work, emulator = sys.argv[1], sys.argv[2], sys.argv[3:]
source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
game = "upload_game"  # a name of its own, so its per-user report folder is its own too
limit = 4000000
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def run_game(*arguments):
    result = subprocess.run(emulator + [os.path.join(work, game + ".exe"), *arguments],
                            capture_output=True, text=True, timeout=180)
    if result.returncode == 77:
        sys.exit(77)  # the emulator cannot run this architecture on this machine
    return result


def pending():
    return len(glob.glob(os.path.join(work, "*_ErrorLog.txt")))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def upload(url, expected):
    output = run_game("upload", url, "consent").stdout
    check(f"Crash upload: {expected}" in output, f"upload to {url}: {expected}; got {output!r}")


def form(fields, files):
    body = b""
    for name, value in fields:
        body += (f'--b0\r\nContent-Disposition: form-data; name="{name}"\r\n\r\n{value}\r\n'
                 .encode())
    for name, file_name, data in files:
        body += (f'--b0\r\nContent-Disposition: form-data; name="{name}"; filename="{file_name}"'
                 '\r\nContent-Type: application/octet-stream\r\n\r\n').encode() + data + b"\r\n"
    return body + b"--b0--\r\n"


def post(url, body):
    request = urllib.request.Request(url, body, {"Content-Type": "multipart/form-data; boundary=b0"})
    try:
        with urllib.request.urlopen(request, timeout=30) as answer:
            return answer.status
    except urllib.error.HTTPError as error:
        return error.code


def groups(url):
    with urllib.request.urlopen(url + "groups.json", timeout=30) as answer:
        return json.load(answer)


class Refusing(BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(500)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *_):
        pass


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
for prefix_folder in glob.glob(os.path.join(emulator[-1], "drive_c/users/*/**", game),
                               recursive=True):
    shutil.rmtree(prefix_folder)
shutil.copy(os.path.join(bin_dir, "crash_child.exe"), os.path.join(work, game + ".exe"))
for dll in ("platform.dll", "diagnostics.dll", "memory.dll", "stringtable.dll"):
    shutil.copy(os.path.join(bin_dir, dll), work)

# Two crashes the same way, one another way; DOS time stamps count seconds in pairs.
for mode in ("write", "write", "read"):
    check(run_game(mode).returncode == 1, f"the {mode} crash ends with exit code 1")
    time.sleep(2.2)
check(pending() == 3, f"three reports pending, not {pending()}")

inbox = subprocess.Popen(["/usr/bin/python3", os.path.join(source, "tools/crash-inbox"),
                          "--port", "0", "--store", os.path.join(work, "inbox"),
                          "--max-bytes", str(limit)],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
try:
    url = inbox.stdout.readline().split()[1]
    # Without consent nothing is sent; a server down or answering 500 keeps them pending.
    output = run_game("upload", url, "refused").stdout
    check("upload off" in output and pending() == 3 and not groups(url), "consent off sends")
    upload(f"http://127.0.0.1:{free_port()}/", "0 sent, 3 pending")
    refusing = ThreadingHTTPServer(("127.0.0.1", 0), Refusing)
    threading.Thread(target=refusing.serve_forever, daemon=True).start()
    upload(f"http://127.0.0.1:{refusing.server_address[1]}/", "0 sent, 3 pending")
    refusing.shutdown()
    check(pending() == 3, "the reports stay pending after failed uploads")
    upload(url, "3 sent, 0 pending")
    check(pending() == 0, "sent reports leave the pending state")

    found = groups(url)
    counts = [g["count"] for g in found]
    check(counts == [2, 1], f"groups of 2 and 1, not {counts}")
    for group in found:
        check(group["annotations"] == {"build": "1234", "level": "Harbour: night"},
              f"annotations {group['annotations']}")
        check("breadcrumb: entered run" in group["events"], f"events {group['events']}")
        check((group["product"], group["version"]) == ("CrashChild", "1.2.3"), "product")
        check(group["frames"][0].startswith(game + ".exe"), f"top frames {group['frames']}")
    report = found[0]["reports"][0]
    dump = [name for name in report["files"] if name.endswith("_MiniDump.dmp")][0]
    with urllib.request.urlopen(f"{url}files/{report['id']}/{dump}", timeout=30) as answer:
        check(answer.read(4) == b"MDMP", "the stored minidump downloads")

    # Bad uploads: refused with a 4xx, nothing stored, the inbox stays up. The size limit at
    # its value and one below is taken, one past it refused.
    good = [("prod", "Probe"), ("ver", "1"), ("signature", "0000000b-0123456789abcdef")]
    dump_file = ("upload_file_minidump", "probe.dmp", b"MDMP" + bytes(100))
    rows = [
        (form(good, []), 400),
        (form(good, [("upload_file_minidump", "..\\probe.dmp", b"MDMP")]), 400),
        (form(good, [("upload_file_minidump", "dir/probe.dmp", b"MDMP")]), 400),
        (form(good[:2] + [("signature", "c0000005-not-a-signature")], [dump_file]), 400),
        (form(good[:2], [dump_file]), 400),
    ]
    for size, status in ((limit - 1, 200), (limit, 200), (limit + 1, 413)):
        padding = size - len(form(good + [("pad", "")], [dump_file]))
        rows.append((form(good + [("pad", "x" * padding)], [dump_file]), status))
    for number, (body, status) in enumerate(rows):
        check(post(url, body) == status, f"bad upload row {number} answered {status}")
    counts = [g["count"] for g in groups(url)]
    check(counts == [2, 2, 1], f"only the uploads in bounds stored: {counts}")
finally:
    inbox.terminate()
    inbox.wait(timeout=30)

print("\n".join(failures) if failures else "all crash upload checks passed")
sys.exit(1 if failures else 0)
