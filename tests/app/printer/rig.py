"""A printer application with simulated machines, driven as a computer on the network would:
the CUPS clients (lp, lpstat, cancel), ipptool, raw HTTP. Everything listens on loopback."""
import base64
import http.client
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request


def wait_for(predicate, timeout=20.0, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def ipp_request(port, printer, name, document_length):
    """The HTTP head and IPP attributes of a Print-Job for `document_length` bytes of HPGL."""
    def attr(tag, key, value):
        return struct.pack(">BH", tag, len(key)) + key + struct.pack(">H", len(value)) + value
    path = "/ipp/print/%s" % printer
    body = struct.pack(">BBHI", 2, 0, 0x0002, 1) + b"\x01"
    body += attr(0x47, b"attributes-charset", b"utf-8") + attr(0x48, b"attributes-natural-language", b"en")
    body += attr(0x45, b"printer-uri", ("ipp://127.0.0.1:%d%s" % (port, path)).encode())
    body += attr(0x42, b"requesting-user-name", b"tester") + attr(0x42, b"job-name", name.encode())
    body += attr(0x49, b"document-format", b"application/vnd.hp-HPGL") + b"\x03"
    return (b"POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/ipp\r\nContent-Length: %d\r\n\r\n"
            % (path.encode(), len(body) + document_length)) + body


def ipp_print(port, printer, name, document):
    """Print-Job over one connection; returns (job id, time the upload ended)."""
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(ipp_request(port, printer, name, len(document)) + document)
        ended = time.monotonic()
        answer = http.client.HTTPResponse(s)
        answer.begin()
        rest = answer.read()
    i = rest.find(b"job-id")
    job_id = struct.unpack(">i", rest[i + 8:i + 12])[0] if i >= 0 else -1
    return job_id, ended


# IPP requests of the tests, in ipptool's language. $uri is the printer's.
TESTS = {
    "job": """{ NAME "Get-Job-Attributes" OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri ATTR integer job-id $jobid ATTR name requesting-user-name tester
  STATUS successful-ok DISPLAY job-state DISPLAY job-state-message DISPLAY job-state-reasons DISPLAY job-impressions-completed }""",
    "printer": """{ NAME "Get-Printer-Attributes" OPERATION Get-Printer-Attributes
  GROUP operation-attributes-tag ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  STATUS successful-ok DISPLAY printer-state DISPLAY printer-state-reasons DISPLAY media-default DISPLAY document-format-supported DISPLAY printer-name }""",
    "print": """{ NAME "Print-Job" OPERATION Print-Job
  GROUP operation-attributes-tag ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri ATTR name requesting-user-name tester ATTR name job-name $jobname ATTR mimeMediaType document-format $format
  FILE $filename DISPLAY job-id }""",
    "cancel": """{ NAME "Cancel-Job" OPERATION Cancel-Job
  GROUP operation-attributes-tag ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri ATTR integer job-id $jobid ATTR name requesting-user-name tester STATUS successful-ok }""",
    "pause": """{ NAME "Pause-Printer" OPERATION Pause-Printer
  GROUP operation-attributes-tag ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri ATTR name requesting-user-name root STATUS successful-ok }""",
    "resume": """{ NAME "Resume-Printer" OPERATION Resume-Printer
  GROUP operation-attributes-tag ATTR charset attributes-charset utf-8 ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri ATTR name requesting-user-name root STATUS successful-ok }""",
}


class Rig:
    def __init__(self, qelcut, port, time_scale="0.05"):
        self.qelcut = qelcut
        # The simulators may come from another build (a sanitizer build of the printer program).
        self.sim = os.environ.get("QELCUT_SIM_PROGRAM", qelcut)
        self.port = port
        self.time_scale = time_scale
        self.tmp = tempfile.mkdtemp(prefix="qelcut-printer-")
        self.state = os.path.join(self.tmp, "state")
        self.procs = []
        self.app = None
        self.app_log = os.path.join(self.tmp, "app.log")
        for name, text in TESTS.items():
            with open(os.path.join(self.tmp, name + ".test"), "w") as f:
                f.write(text + "\n")

    # ---- homes and machines ----

    def home(self, name, address, kind="coordinator"):
        """A home pointed at a simulated machine on `address`; no send delay."""
        home = os.path.join(self.tmp, name)
        subprocess.run([self.sim, "sim", "--home", home, "--bind", address, "--kind", kind, "--configure-home"],
                       check=True, stdout=subprocess.DEVNULL)
        self.set(home, "Transfer_Config", "Transfer_DelayTime", "0")
        return home

    def cutter(self, name, address, kind="coordinator", sim=True, start=None):
        """A home pointed at a machine on `address` (simulated when `sim`); (home, printer name).
        With `start` (its extra arguments) the printer application is started on this home alone."""
        home = self.home(name, address, kind)
        if sim:
            self.start_sim(home, address, kind)
        if start is not None:
            self.start_app([home], *start)
        return home, ("QEL-DSP-" if kind == "coordinator" else "QEL-ARM-") + address

    def post_action(self, printer, action, password=None):
        """Posts an action from the printer's web page; the HTTP status of the answer."""
        url = "http://127.0.0.1:%d/%s/" % (self.port, printer)
        with urllib.request.urlopen(url) as r:
            session = r.read().decode().split('name="session" value="')[1].split('"')[0]
        auth = {"Authorization": "Basic " + base64.b64encode(("admin:" + password).encode()).decode()} if password else {}
        try:
            with urllib.request.urlopen(urllib.request.Request(
                    url, urllib.parse.urlencode({"session": session, "action": action}).encode(), auth)) as r:
                return r.status
        except urllib.error.HTTPError as e:
            return e.code

    @staticmethod
    def set(home, section, key, value):
        """Sets one key of a home's Config.ini (its section is made when missing)."""
        path = os.path.join(home, "Config.ini")
        lines = open(path).read().splitlines() if os.path.exists(path) else []
        at = next((i for i, l in enumerate(lines) if l.strip().lower() == "[%s]" % section.lower()), None)
        if at is None:
            lines += ["[%s]" % section, "%s=%s" % (key, value)]
        else:
            end = next((i for i in range(at + 1, len(lines)) if lines[i].startswith("[")), len(lines))
            lines = [l for i, l in enumerate(lines) if not (at < i < end and l.split("=")[0].strip().lower() == key.lower())]
            lines.insert(at + 1, "%s=%s" % (key, value))
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")

    def start_sim(self, home, address, kind="coordinator"):
        log = open(os.path.join(self.tmp, "sim-%s.log" % address), "a")
        p = subprocess.Popen([self.sim, "sim", "--home", home, "--bind", address, "--kind", kind],
                             stdout=log, stderr=subprocess.STDOUT)
        self.procs.append(p)
        assert wait_for(lambda: self.listening(address, 3241)), "the simulated machine on %s did not start" % address
        return p

    def stop(self, proc):
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

    def received(self, home):
        store = os.path.join(home, "SimMachine")
        return sorted(os.listdir(store)) if os.path.isdir(store) else []

    @staticmethod
    def listening(address, port):
        with socket.socket() as s:
            s.settimeout(1)
            return s.connect_ex((address, port)) == 0

    # ---- the printer application ----

    def start_app(self, homes, *extra, expect_start=True, listen="127.0.0.1"):
        args = [self.qelcut, "printer-app", "--listen", "%s:%d" % (listen, self.port), "--state", self.state,
                "--time-scale", self.time_scale]
        for h in homes:
            args += ["--home", h]
        before = len(self.log()) if os.path.exists(self.app_log) else 0
        self.app = subprocess.Popen(args + list(extra), stdout=open(self.app_log, "a"), stderr=subprocess.STDOUT)
        self.procs.append(self.app)
        if expect_start:
            assert wait_for(lambda: "web page:" in self.log()[before:] or self.app.poll() is not None), self.log()
            assert self.app.poll() is None, "the printer application ended:\n" + self.log()
        return self.app

    def stop_app(self, timeout=15):
        """SIGTERM; the exit code and how long the stop took."""
        start = time.monotonic()
        self.app.send_signal(signal.SIGTERM)
        rc = self.app.wait(timeout)
        return rc, time.monotonic() - start

    def log(self):
        with open(self.app_log, errors="replace") as f:
            return f.read()

    # ---- clients ----

    def run(self, *args, **kw):
        return subprocess.run(list(args), capture_output=True, text=True, timeout=kw.pop("timeout", 60), **kw)

    def ipptool(self, printer, test, **variables):
        """Runs one of TESTS (or a standard test file by path); returns (passed, attributes, output)."""
        path = test if test.endswith(".test") else os.path.join(self.tmp, test + ".test")
        args = ["ipptool", "-T", "10", "-tv"]
        for k, v in variables.items():
            args += ["-f", v] if k == "filename" else ["-d", "%s=%s" % (k, v)]
        r = self.run(*args, "ipp://127.0.0.1:%d/ipp/print/%s" % (self.port, printer), path)
        attrs = {}
        for m in re.finditer(r"^[ \t]+([a-z0-9-]+) \([^)]*\) = (.*)$", r.stdout, re.M):
            attrs.setdefault(m.group(1), m.group(2))
        return "[PASS]" in r.stdout and "[FAIL]" not in r.stdout, attrs, r.stdout + r.stderr

    def submit(self, printer, path, fmt="application/octet-stream", name=None):
        ok, attrs, out = self.ipptool(printer, "print", filename=path, format=fmt, jobname=name or os.path.basename(path))
        assert "job-id" in attrs, out
        return int(attrs["job-id"])

    def job(self, printer, job_id):
        return self.ipptool(printer, "job", jobid=job_id)[1]

    def printer(self, printer):
        return self.ipptool(printer, "printer")[1]

    def wait_job(self, printer, job_id, states=("completed", "aborted", "canceled"), timeout=30):
        got = wait_for(lambda: self.job(printer, job_id).get("job-state") in states and self.job(printer, job_id),
                       timeout, 0.1)
        assert got, "job %d did not reach %s: %s\n%s" % (job_id, states, self.job(printer, job_id), self.log()[-3000:])
        return got

    def cleanup(self):
        for p in reversed(self.procs):
            self.stop(p)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.cleanup()


class Checks:
    """Named checks: every failure is reported, the run fails at the end."""

    def __init__(self):
        self.failed = 0

    def __call__(self, what, ok, detail=""):
        print("%s: %s" % ("ok" if ok else "FAILED", what) + ("\n%s" % detail if detail and not ok else ""), flush=True)
        self.failed += not ok
        return ok
