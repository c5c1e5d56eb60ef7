#!/usr/bin/env python3
"""qelcut printer-app end to end: cutters as network printers, used with the CUPS clients,
ipptool and a headless browser, delivering to simulated machines on loopback addresses.

usage: printer_app_e2e.py SCENARIO QELCUT SOURCE_DIR
"""
import filecmp
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

from rig import Checks, Rig, ipp_print, ipp_request, wait_for

SCENARIO, QELCUT, SRC = sys.argv[1], sys.argv[2], sys.argv[3]
SAMPLE = os.path.join(SRC, "data", "samples", "sample.plt")


def write(path, content):
    Path(path).write_bytes(content)
    return path


def plot(path, pieces=1):
    """An HPGL file of `pieces` squares (about 40 bytes each)."""
    return write(path, b"IN;SP1;" + b"".join(b"PU%d,0;PD%d,400,%d,400;" % (i * 500, i * 500, i * 500 + 400) for i in range(pieces)))


def delivery(check, port):
    """lp -h -d NAME delivers to the machine; the job ends completed; the standard IPP tests."""
    with Rig(QELCUT, port) as rig:
        home, name = rig.cutter("home", "127.0.41.1", start=())
        r = rig.run("lpstat", "-h", "127.0.0.1:%d" % port, "-p")
        check("lpstat lists the cutter by its name", name in r.stdout, r.stdout + r.stderr)
        r = rig.run("lp", "-h", "127.0.0.1:%d" % port, "-d", name, SAMPLE)
        check("lp takes the plot file", r.returncode == 0 and "request id is %s-1" % name in r.stdout, r.stdout + r.stderr)
        job = rig.wait_job(name, 1)
        check("the job ends completed", job.get("job-state") == "completed", str(job))
        check("its message says it was cut", "Cut: 1 page(s)" in job.get("job-state-message", ""), str(job))
        received = rig.received(home)
        check("the machine received one file", len(received) == 1, str(received))
        printed = [f for f in os.listdir(os.path.join(home, "PrintedDir")) if f.endswith(".PLT")]
        check("it received the cut page byte for byte", received and printed
              and filecmp.cmp(os.path.join(home, "SimMachine", received[0]), os.path.join(home, "PrintedDir", printed[0]), False))
        p = rig.printer(name)
        check("media from Page_Width x Page_Height", p.get("media-default") == "custom_cutter_1500x1200mm", str(p))
        check("HPGL among the formats", "application/vnd.hp-HPGL" in p.get("document-format-supported", ""), str(p))
        # The standard test files of ipptool.
        std = "/usr/share/cups/ipptool/"
        for test, extra in (("get-printer-attributes.test", {}), ("get-jobs.test", {}),
                            ("print-job.test", {"filename": SAMPLE, "filetype": "application/vnd.hp-HPGL"}),
                            ("create-job.test", {"filename": SAMPLE, "filetype": "application/vnd.hp-HPGL"})):
            ok, _, out = rig.ipptool(name, std + test, **extra)
            check("ipptool %s passes" % test, ok, out[-2000:])
        check("every job completed", wait_for(lambda: all(rig.job(name, i).get("job-state") == "completed" for i in (2, 3)), 20))
        # A drawing: only its cut lines reach the machine.
        check("PDF among the formats", "application/pdf" in p.get("document-format-supported", ""), str(p))
        drawing = os.path.join(SRC, "tests", "plot", "drawings", "magenta-sign.pdf")
        before = len(rig.received(home))
        r = rig.run("lp", "-h", "127.0.0.1:%d" % port, "-d", name, drawing)
        check("lp takes the PDF drawing", r.returncode == 0, r.stdout + r.stderr)
        job = rig.wait_job(name, 4)
        check("the drawing's job ends completed", job.get("job-state") == "completed", str(job))
        check("its cut lines reached the machine", wait_for(lambda: len(rig.received(home)) > before, 20), str(rig.received(home)))
        rc, took = rig.stop_app()
        check("SIGTERM stops it cleanly and soon (%.1f s)" % took, rc == 0 and took < 5)


def offline(check, port):
    """The machine gone: the job aborts with the reason, the printer is stopped and offline;
    the next job waits; the machine back and the printer resumed, it is cut."""
    with Rig(QELCUT, port) as rig:
        home, name = rig.cutter("home", "127.0.42.1", sim=False, start=())
        job = rig.wait_job(name, rig.submit(name, SAMPLE))
        check("without the machine the job is aborted", job.get("job-state") == "aborted", str(job))
        check("with the reason", "cannot be reached" in job.get("job-state-message", "")
              and "MC_Connect_Fail" in job.get("job-state-message", ""), str(job))
        p = rig.printer(name)
        check("the printer is stopped", p.get("printer-state") == "stopped", str(p))
        check("and reports the machine offline", "offline" in p.get("printer-state-reasons", ""), str(p))
        second = rig.submit(name, SAMPLE)
        time.sleep(0.3)  # a little time in which the stopped printer must not start it
        check("the next job waits while it is stopped", rig.job(name, second).get("job-state") == "pending")
        rig.start_sim(home, "127.0.42.1")
        ok, _, out = rig.ipptool(name, "resume")
        check("Resume-Printer", ok, out)
        job = rig.wait_job(name, second)
        check("the waiting job is cut once resumed", job.get("job-state") == "completed", str(job))
        p = rig.printer(name)
        check("the printer is idle and online again", p.get("printer-state") == "idle"
              and p.get("printer-state-reasons") == "none", str(p))


def auto_resume(check, port):
    """Unattended: once the machine is back the queue resumes by itself, and the printer with it."""
    with Rig(QELCUT, port) as rig:
        home, name = rig.cutter("home", "127.0.40.1", sim=False)
        rig.set(home, "Transfer_Config", "Resume_FirstWait", "3")
        rig.start_app([home])
        rig.wait_job(name, rig.submit(name, SAMPLE))
        check("the printer is stopped and offline", "offline" in rig.printer(name).get("printer-state-reasons", ""))
        waiting = rig.submit(name, SAMPLE)
        rig.start_sim(home, "127.0.40.1")
        job = rig.wait_job(name, waiting, timeout=30)
        check("the waiting job is cut without anyone resuming", job.get("job-state") == "completed", str(job))
        p = rig.printer(name)
        check("the printer is online again", p.get("printer-state") != "stopped" and "offline" not in p.get("printer-state-reasons", ""), str(p))


def parallel(check, port):
    """Two cutters (two homes, two machines) take jobs at the same time."""
    with Rig(QELCUT, port) as rig:
        a, _ = rig.cutter("a", "127.0.43.1", "network")
        b, _ = rig.cutter("b", "127.0.43.2", "network")
        rig.start_app([a, b])
        big = rig.submit("QEL-ARM-127.0.43.1", plot(os.path.join(rig.tmp, "big.plt"), 600))
        check("cutter A sends its long job", wait_for(lambda: "Sending page" in rig.job("QEL-ARM-127.0.43.1", big).get("job-state-message", ""), 20))
        small = rig.submit("QEL-ARM-127.0.43.2", plot(os.path.join(rig.tmp, "small.plt")))
        job = rig.wait_job("QEL-ARM-127.0.43.2", small)
        check("cutter B cuts its job meanwhile", job.get("job-state") == "completed", str(job))
        check("while A is still sending", rig.job("QEL-ARM-127.0.43.1", big).get("job-state") == "processing")
        job = rig.wait_job("QEL-ARM-127.0.43.1", big, timeout=60)
        check("A's job completes too", job.get("job-state") == "completed", str(job))
        pages = int(job.get("job-impressions-completed", "0"))
        check("each machine got its own pages", pages > 1 and len(rig.received(a)) == pages and len(rig.received(b)) == 1,
              "%s %s" % (rig.received(a), rig.received(b)))


def concurrent(check, port):
    """Jobs from several clients at once: each is cut once, none is lost (the framework would
    start some jobs twice)."""
    with Rig(QELCUT, port, time_scale="0.01") as rig:
        home, name = rig.cutter("home", "127.0.49.1", start=())
        def client(c):  # every fourth job, each its own square
            return [ipp_print(port, name, "job%d.plt" % k, b"IN;SP1;PU0,0;PD%d,0,%d,%d;" % ((1000 + k,) * 3))[0]
                    for k in range(c, 100, 4)]

        with ThreadPoolExecutor(4) as clients:
            ids = [job for jobs in clients.map(client, range(4)) for job in jobs]
        states = [rig.wait_job(name, j, timeout=120).get("job-state") for j in ids]
        check("all 100 jobs completed", states.count("completed") == 100, str(states))
        check("the machine got 100 files, one per job", len(rig.received(home)) == 100, str(len(rig.received(home))))


def bad_input(check, port):
    """Every bad job ends with a clear status or reason; nothing is half-queued; the
    application goes on cutting good jobs."""
    with Rig(QELCUT, port) as rig:
        home, name = rig.cutter("home", "127.0.44.1", start=("--max-job-mb", "1"))
        files = {f: write(os.path.join(rig.tmp, f), content) for f, content in (
            ("notes.txt", b"Dear customer,\nthe cutter is ready.\n"), ("nothing.plt", b"IN;\n"), ("empty.plt", b""),
            ("picture.png", b"\x89PNG\r\n\x1a\n" + os.urandom(300)))}
        cases = (("a format no source reads", files["notes.txt"], "text/plain", "document-format-error", "text/plain"),
                 ("content not recognised as a plot", files["notes.txt"], "application/octet-stream",
                  "document-format-error", "not recognised"),
                 ("an image", files["picture.png"], "image/png", "document-format-error", "cannot be cut"),
                 ("a plot without anything to cut", files["nothing.plt"], "application/vnd.hp-HPGL",
                  "document-unprintable-error", "holds no plot command"))
        for what, path, fmt, reason, message in cases:
            job_id = rig.submit(name, path, fmt)
            job = rig.wait_job(name, job_id)
            check("%s: aborted" % what, job.get("job-state") == "aborted", str(job))
            job = wait_for(lambda: message in rig.job(name, job_id).get("job-state-message", "") and rig.job(name, job_id), 5) or job
            check("%s: with its reason" % what, reason in job.get("job-state-reasons", "")
                  and message in job.get("job-state-message", ""), str(job))
        check("no folder of this computer in a message", "/" not in rig.job(name, 4).get("job-state-message", "/"))
        ok, attrs, out = rig.ipptool(name, "print", filename=files["empty.plt"], format="application/vnd.hp-HPGL", jobname="empty")
        check("an empty document is refused with a status", "job-id" not in attrs and "successful-ok" not in out.split("status-code")[-1][:40], out)
        before = rig.printer(name)
        doc = b"IN;SP1;" + b"PU0,0;PD100,100;" * 20000  # its connection closed a third of the way through
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.sendall(ipp_request(port, name, "halfway.plt", len(doc)) + doc[: len(doc) // 3])
        time.sleep(0.5)
        check("a document cut off mid-upload reaches no queue", os.listdir(os.path.join(home, "JobDir")) == []
              and not any("halfway" in f for f in os.listdir(os.path.join(home, "PrintedDir"))))
        big = plot(os.path.join(rig.tmp, "big.plt"), 40000)  # about 1.6 MB, above --max-job-mb 1
        ok, attrs, out = rig.ipptool(name, "print", filename=big, format="application/vnd.hp-HPGL", jobname="big")
        job = rig.job(name, int(attrs["job-id"])) if "job-id" in attrs else {}
        check("a document above the size limit is refused", "job-id" not in attrs or job.get("job-state") == "aborted", out[-800:])
        check("nothing bad reached the machine", rig.received(home) == [], str(rig.received(home)))
        job = rig.wait_job(name, rig.submit(name, SAMPLE, name="../../etc/passwd"))
        check("a good job is still cut afterwards", job.get("job-state") == "completed", str(job))
        check("under a plain name in the history", any(f.startswith("passwd-job") for f in os.listdir(os.path.join(home, "PrintedDir"))))
        check("the application runs on", rig.app.poll() is None and before.get("printer-state") == "idle")


def cancel(check, port):
    """Cancel-Job stops a send under way; a waiting job is taken out; its pages are set aside."""
    with Rig(QELCUT, port) as rig:
        home, name = rig.cutter("home", "127.0.45.1", "network", start=())
        big = rig.submit(name, plot(os.path.join(rig.tmp, "big.plt"), 600))
        check("the job is being sent", wait_for(lambda: "Sending page" in rig.job(name, big).get("job-state-message", ""), 20))
        ok, _, out = rig.ipptool(name, "cancel", jobid=big)
        check("Cancel-Job", ok, out)
        job = rig.wait_job(name, big)
        check("the job ends cancelled", job.get("job-state") == "canceled", str(job))
        check("the machine did not get the whole file", rig.received(home) == [])
        check("its page is in the recycle bin", any(f.endswith("_001.PLT") for f in os.listdir(os.path.join(home, "CancelledDir"))))
        rig.ipptool(name, "pause")
        waiting = rig.submit(name, SAMPLE)
        r = rig.run("cancel", "-h", "127.0.0.1:%d" % port, "%s-%d" % (name, waiting))
        check("cancel -h takes out a waiting job", r.returncode == 0 and rig.wait_job(name, waiting).get("job-state") == "canceled",
              r.stdout + r.stderr)


def restart(check, port):
    """State across restarts; a stop leaves waiting jobs for the next start; one queue per home."""
    with Rig(QELCUT, port) as rig:
        home, name = rig.cutter("home", "127.0.46.1", start=())
        done = rig.wait_job(name, rig.submit(name, SAMPLE))
        watch = rig.run(QELCUT, "watch", "--home", home, timeout=20)
        check("qelcut watch on the same home is refused", watch.returncode == 1 and "printer-app" in watch.stderr, watch.stderr)
        rig.ipptool(name, "pause")
        waiting = rig.submit(name, SAMPLE)
        rc, took = rig.stop_app()
        check("SIGTERM with a waiting job stops at once (%.1f s)" % took, rc == 0 and took < 5, rig.log()[-2000:])
        rig.start_app([home])
        check("the completed job is still in the history", rig.job(name, 1).get("job-state") == "completed" and done,
              str(rig.job(name, 1)))
        job = rig.wait_job(name, waiting)
        check("the waiting job is cut after the restart", job.get("job-state") == "completed", str(job))
        check("job ids go on", rig.submit(name, SAMPLE) == waiting + 1)
        rig.stop_app()
        w = subprocess.Popen([QELCUT, "watch", "--home", home], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        rig.procs.append(w)
        wait_for(lambda: os.path.exists(os.path.join(home, "qelcut.lock")))
        time.sleep(0.3)
        app = rig.start_app([home], expect_start=False)
        app.wait(20)
        check("printer-app on a home that qelcut watch runs is refused", app.returncode == 1 and "already run by" in rig.log(), rig.log()[-500:])


def chromium(url, lang, what):
    with tempfile.TemporaryDirectory(prefix="qelcut-chromium-", ignore_cleanup_errors=True) as profile:
        return subprocess.run(["/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                               "--no-first-run", "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--user-data-dir=" + profile, "--accept-lang=" + lang,
                               "--window-size=1366,768", what, url], capture_output=True, text=True, timeout=90).stdout


def web(check, port):
    """The web page in a real browser: both cutters, their states and jobs, in both languages;
    pause and continue from the page."""
    if not os.path.exists("/usr/bin/chromium"):
        print("SKIPPED: /usr/bin/chromium is not installed (Debian package chromium)")
        return
    with Rig(QELCUT, port) as rig:
        a, _ = rig.cutter("a", "127.0.47.1")
        b, _ = rig.cutter("b", "127.0.47.2", sim=False)
        rig.start_app([a, b])
        rig.wait_job("QEL-DSP-127.0.47.1", rig.submit("QEL-DSP-127.0.47.1", SAMPLE, name="logo.plt"))
        rig.wait_job("QEL-DSP-127.0.47.2", rig.submit("QEL-DSP-127.0.47.2", SAMPLE, name="banner.plt"))
        base = "http://127.0.0.1:%d/" % port
        home = chromium(base, "en-US", "--dump-dom")
        check("the page lists both cutters", "QEL-DSP-127.0.47.1" in home and "QEL-DSP-127.0.47.2" in home, home[-2000:])
        check("with their states", "Idle" in home and "the machine cannot be reached" in home, home[-2000:])
        page = chromium(base + "QEL-DSP-127.0.47.2/", "en-US", "--dump-dom")
        check("a cutter's page lists its failed job with the reason", "banner.plt" in page and "MC_Connect_Fail" in page
              and 'class="job-aborted"' in page, page[-2000:])
        page = chromium(base + "QEL-DSP-127.0.47.1/", "zh-CN,zh", "--dump-dom")
        check("in Chinese for a Chinese browser", "历史记录" in page and "logo.plt" in page and "已完成" in page, page[-2000:])
        # Pause from the page as an administrator on this computer, then continue.
        for action, state in (("pause-printer", "stopped"), ("resume-printer", "idle")):
            rig.post_action("QEL-DSP-127.0.47.1", action)
            check("%s from the page" % action, wait_for(lambda: rig.printer("QEL-DSP-127.0.47.1").get("printer-state") == state, 5))


def auth(check, port):
    """Beyond loopback, administration is authenticated."""
    with Rig(QELCUT, port) as rig:
        home = rig.home("home", "127.0.48.1")
        r = rig.run(QELCUT, "printer-app", "--listen", "0.0.0.0:%d" % port, "--home", home, "--state", rig.state)
        check("listening beyond loopback without authentication is refused", r.returncode == 2
              and "--set-password" in r.stderr, r.stderr)
        r = rig.run(QELCUT, "printer-app", "--set-password", "--state", rig.state, input="s3cret-cutter\n")
        check("--set-password keeps a password", r.returncode == 0, r.stderr)
        rig.start_app([home], listen="0.0.0.0")  # then it listens
        pause = lambda password=None: rig.post_action("QEL-DSP-127.0.48.1", "pause-printer", password)  # noqa: E731
        check("pausing without the password is refused (401)", pause() == 401)
        check("and with a wrong one", pause("guess") == 401)
        check("the printer is still idle", rig.printer("QEL-DSP-127.0.48.1").get("printer-state") == "idle")
        check("with the password it pauses", pause("s3cret-cutter") == 200
              and wait_for(lambda: rig.printer("QEL-DSP-127.0.48.1").get("printer-state") == "stopped", 5))
        check("the password is kept hashed, not as written",
              "s3cret" not in open(os.path.join(rig.state, "admin-password")).read())


SCENARIOS = {"delivery": (delivery, 18641), "offline": (offline, 18642), "parallel": (parallel, 18643),
             "bad_input": (bad_input, 18644), "cancel": (cancel, 18645), "restart": (restart, 18646),
             "web": (web, 18647), "auth": (auth, 18648), "concurrent": (concurrent, 18649),
             "auto_resume": (auto_resume, 18640)}

if __name__ == "__main__":
    for tool in ("ipptool", "lp", "lpstat", "cancel"):
        if not shutil.which(tool):
            print("SKIPPED: %s is not installed (Debian packages cups-ipp-utils, cups-client)" % tool)
            sys.exit(0)
    checks = Checks()
    fn, port = SCENARIOS[SCENARIO]
    fn(checks, port)
    sys.exit(1 if checks.failed else 0)
