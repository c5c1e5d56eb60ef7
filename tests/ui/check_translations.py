#!/usr/bin/env python3
"""Fails when a text of the windows has no finished Chinese translation.

usage: check_translations.py LUPDATE SOURCE_DIR INCLUDE_DIR TS_FILE...

lupdate collects every tr() text of SOURCE_DIR into a scratch .ts; each of its messages must
have a finished, non-empty translation in one of the project's .ts files (same context and
source text), and the project's files must hold no unfinished entry either.
"""
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path


def messages(ts_path):
    for ctx in ET.parse(ts_path).getroot().iter("context"):
        for msg in ctx.iter("message"):
            yield ctx.findtext("name") or "", msg.findtext("source") or "", msg.find("translation")


def finished(tr):
    if tr is None or tr.get("type") in ("unfinished", "vanished", "obsolete"):
        return False
    forms = tr.findall("numerusform")
    return all((f.text or "").strip() for f in forms) if forms else bool((tr.text or "").strip())


def main():
    lupdate, source_dir, include_dir, ts_files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    problems = []
    known = {}
    for ts in ts_files:
        for ctx, src, tr in messages(ts):
            if tr is not None and tr.get("type") in ("vanished", "obsolete"):
                continue
            if not finished(tr):
                problems.append(f"{Path(ts).name}: unfinished: [{ctx}] {src!r}")
            known[(ctx, src)] = finished(tr)
    with tempfile.TemporaryDirectory() as tmp:
        scratch = Path(tmp) / "scan.ts"
        subprocess.run([lupdate, "-silent", "-locations", "none", "-recursive", "-I", include_dir, source_dir, "-ts", str(scratch)],
                       check=True)
        for ctx, src, _ in messages(scratch):
            if not known.get((ctx, src)):
                problems.append(f"missing: [{ctx}] {src!r}")
    print("\n".join(problems + [f"{len(problems)} translation problems"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
