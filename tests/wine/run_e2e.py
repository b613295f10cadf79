#!/usr/bin/env python3
"""End-to-end runs of the uninstaller under Wine, on the NT family and, in
Wine's Windows 98 mode, on the 95 family: a resident stand-in to close, a
user stand-in at the message boxes, the component set and its surroundings
installed in a throwaway prefix, and a simulated restart afterwards.

    run_e2e.py --exe build/x86_64/orvuninstall.exe --tools build/wine-tools
               --work build/wine-e2e [--only NAME]...
"""

import argparse
import os
import shutil
import signal
import sys
import time
from dataclasses import dataclass
from pathlib import Path

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

import component_set as cs  # noqa: E402
from winelab import Display, Prefix, copy_prefix, pristine_prefix  # noqa: E402

PENDING = ("value", cs.SESSION_MANAGER, "PendingFileRenameOperations")
# Sleep and the tick count may each round by a tick.
PAUSE_MS = 2000
PAUSE_SLACK_MS = 20

EXISTING_WININIT = b"[Settings]\r\nOwner=tests\r\n"
# Only a mark at the very end is an end-of-file mark; one inside stays.
WININIT_WITH_INNER_MARK = b"[Settings]\r\nA=1\x1a2\r\n"


@dataclass(frozen=True)
class Case:
    name: str
    win98: bool
    answer: str  # at the confirmation box: "yes" or "no"
    resident: bool = False
    held: tuple = ()  # component file names the resident keeps open
    class_decoy: bool = False  # another subkey below the class key
    wininit: bytes = None  # wininit.ini before the run, None for none
    arguments: tuple = ()


def held_paths(case):
    return [p for p in cs.component_files(case.win98)
            if p.rsplit("\\", 1)[1] in case.held]


CASES = [
    Case("nt-decline", False, "no", resident=True, class_decoy=True),
    Case("nt-accept-idle", False, "yes",
         arguments=("/S", "--keep", "C:\\windows\\orvka.dll")),
    Case("nt-accept-in-use", False, "yes", resident=True,
         held=("orvka.dll", "orvpel.dll", cs.APPLET), class_decoy=True),
    Case("98-decline", True, "no", resident=True,
         wininit=EXISTING_WININIT),
    Case("98-accept-idle", True, "yes", class_decoy=True),
    Case("98-in-use-no-wininit", True, "yes", resident=True,
         held=("orvka.dll", "orvpel.dll", cs.APPLET)),
    Case("98-in-use-existing-wininit", True, "yes", resident=True,
         held=("orvtesi.dll",), wininit=WININIT_WITH_INNER_MARK),
    Case("98-in-use-wininit-end-mark", True, "yes", resident=True,
         held=("orvres.exe", "orvmarq.dll"),
         wininit=EXISTING_WININIT + b"\x1a"),
]


def queries(case):
    files = cs.component_files(case.win98) + cs.decoy_files(case.win98)
    keys = cs.component_keys() + cs.DECOY_KEYS + cs.CONTAINER_KEYS
    if case.class_decoy:
        keys.append(cs.CLASS_DECOY)
    return ([["file", f] for f in files] + [["key", k] for k in keys]
            + [list(PENDING)])


def without_subkeys(answer, key, removed):
    """A key's description once the removed keys below it are gone."""
    if answer[0] != "present":
        return answer
    kept = [s for s in answer[1].split("|")
            if s and f"{key}\\{s}" not in removed]
    return (answer[0], "|".join(kept), *answer[2:])


def removed_keys(case):
    """The keys that a Yes removes. NT deletes only keys without subkeys, so
    the class key stays while another subkey is below it. Wine's emulation
    of the 95 family's tree deletion stops after the first subkey (it does
    not reset the name buffer's length between enumerations): the class key
    loses DefaultIcon, the first in the order Wine keeps, and no more."""
    keys = set(cs.component_keys())
    if case.win98:
        return {f"{cs.CLASS_KEY}\\DefaultIcon"} | (keys - {
            k for k in keys if k.startswith(cs.CLASS_KEY)})
    if case.class_decoy:
        keys.discard(cs.CLASS_KEY)
    return keys


def expected_after(case, before):
    """What a run should leave: everything as it was after No; after Yes the
    component files and keys gone except the files held in use."""
    if case.answer == "no":
        return dict(before)
    removed = removed_keys(case)
    gone_files = set(cs.component_files(case.win98)) - set(held_paths(case))
    expected = {}
    for query, answer in before.items():
        if query[0] == "file":
            expected[query] = ("absent",) if query[1] in gone_files else answer
        elif query[0] == "key":
            expected[query] = (("absent",) if query[1] in removed
                               else without_subkeys(answer, query[1], removed))
        else:
            expected[query] = answer
    if held_paths(case) and not case.win98:
        expected[PENDING] = ("7", pending_operations_hex(held_paths(case)))
    return expected


def pending_operations_hex(paths):
    """PendingFileRenameOperations for deleting the paths: pairs of NT path
    and empty target, as REG_MULTI_SZ in UTF-16."""
    text = "".join(f"\\??\\{p}\0\0" for p in paths) + "\0"
    return text.encode("utf-16-le").hex()


def wininit_after(case):
    if case.answer == "no" or not case.win98 or not held_paths(case):
        return case.wininit
    before = case.wininit or b""
    if before.endswith(b"\x1a"):
        before = before[:-1]
    lines = [b"", b"[rename]"] + [b"NUL=" + p.encode() for p in held_paths(case)]
    return before + b"".join(line + b"\r\n" for line in lines)


class Checker:
    def __init__(self, case):
        self.case = case
        self.failures = []
        self.notes = []

    def equal(self, what, actual, expected):
        if actual != expected:
            self.failures.append(f"{what}: expected {expected!r}, got {actual!r}")

    def true(self, what, condition):
        if not condition:
            self.failures.append(what)

    def snapshot(self, when, actual, expected):
        for query in expected:
            self.equal(f"{when}: {' '.join(query)}", actual.get(query),
                       expected[query])


def check_boxes(check, case, record):
    expected = [(cs.CONFIRM_CAPTION, cs.CONFIRM_TEXT, ["yes", "no"])]
    if case.answer == "yes" and held_paths(case):
        expected.append((cs.RESTART_CAPTION, cs.RESTART_TEXT, ["ok"]))
    check.equal("message boxes (caption, text, buttons)",
                [(b.caption, b.text, b.buttons) for b in record.boxes],
                expected)
    check.true("a message box has an owner window",
               not any(b.owned for b in record.boxes))
    check.equal("exit code", record.exit_code, 7 if case.answer == "no" else 0)


def check_resident(check, case, record, events):
    first_box = record.boxes[0].tick if record.boxes else None
    if not case.resident:
        if first_box is not None:
            check.notes.append(f"question {first_box - record.start} ms "
                               "after start")
        check.true(f"question after {first_box - record.start} ms with no "
                   f"resident window; expected no pause",
                   first_box is not None
                   and first_box - record.start < PAUSE_MS)
        return
    closes = [e for e in events if e[0] == "close"]
    check.equal("close requests to the resident window (wParam, lParam)",
                [tuple(e[2]) for e in closes], [("wparam=0", "lparam=0")])
    if closes and first_box is not None:
        waited = first_box - closes[0][1]
        check.notes.append(f"question {waited} ms after the close request")
        check.true(f"question {waited} ms after the close request; expected "
                   f"a pause of {PAUSE_MS} ms first",
                   waited >= PAUSE_MS - PAUSE_SLACK_MS)


def run_case(case, pristine, display, args):
    check = Checker(case)
    # One folder per run, so that runs sharing the work folder do not meet.
    path = Path(args.work) / f"cases-{os.getpid()}" / case.name
    copy_prefix(pristine, path)
    prefix = Prefix(path, display)
    stage = cs.Stage(prefix, args.tools, args.exe)
    try:
        run_steps(check, case, prefix, stage)
    except Exception as error:  # the checks so far still count
        check.failures.append(f"{type(error).__name__}: {error}")
    finally:
        prefix.stop()
    if not check.failures and not args.keep:
        shutil.rmtree(path, ignore_errors=True)
    return check


def run_steps(check, case, prefix, stage):
    stage.install(case.win98, case.class_decoy, case.wininit)
    wininit = prefix.host_path(f"{cs.WINDOWS_DIR}\\wininit.ini")
    before = stage.probe(queries(case))
    for query, answer in before.items():
        wanted = "absent" if query == PENDING else "present"
        check.equal(f"installed: {' '.join(query)}", answer[0], wanted)

    if case.resident:
        stage.start_resident(held_paths(case),
                             linger_ms=60000 if case.held else 0)
    user = stage.run_uninstaller([case.answer, "ok"], case.arguments)
    user.wait(90)
    record = stage.user_record()
    check.equal("user stand-in's log", record.problems, [])
    check_boxes(check, case, record)
    check_resident(check, case, record, stage.resident_events())

    after = expected_after(case, before)
    check.snapshot("after the run", stage.probe(queries(case)), after)
    check.equal("wininit.ini after the run",
                wininit.read_bytes() if wininit.exists() else None,
                wininit_after(case))
    for decoy in cs.decoy_files(case.win98):
        host = prefix.host_path(decoy)
        check.equal(f"contents of {decoy}",
                    host.read_bytes() if host.exists() else None,
                    f"contents of {decoy}".encode())

    if held_paths(case):
        stage.release_resident()
        check.notes.append(f"restart {stage.restart():.1f} s")
        # The restart finishes the job and touches nothing else.
        after.update({("file", p): ("absent",) for p in held_paths(case)})
        after[PENDING] = ("absent",)
        check.snapshot("after the restart", stage.probe(queries(case)), after)
        if case.win98:
            # Wine keeps the processed file as wininit.bak.
            check.equal("wininit.ini after the restart", wininit.exists(),
                        False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tools", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--keep", action="store_true",
                        help="keep the case prefixes of passing cases too")
    args = parser.parse_args()
    for tool in ("resident_standin", "user_standin", "component_fixture"):
        if not (Path(args.tools) / f"{tool}.exe").exists():
            sys.exit(f"missing {tool}.exe in {args.tools}: run scripts/build")

    # A termination request unwinds through the clean-up below.
    def stop(signum, _frame):
        raise SystemExit(f"stopped by signal {signum}")
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)

    cases = [c for c in CASES if not args.only or c.name in args.only]
    display = Display().start()
    failed = []
    suite_start = time.monotonic()
    try:
        started = time.monotonic()
        pristine = pristine_prefix(Path(args.work), display.name)
        print(f"pristine prefix ready in {time.monotonic() - started:.1f} s",
              flush=True)
        for case in cases:
            started = time.monotonic()
            try:
                check = run_case(case, pristine, display.name, args)
                failures, notes = check.failures, check.notes
            except Exception as error:  # one broken case, not the suite
                failures, notes = [f"{type(error).__name__}: {error}"], []
            status = "FAIL" if failures else "ok"
            print(f"{status:4} {case.name:28} {time.monotonic() - started:5.1f} s"
                  f"  ({', '.join(notes)})", flush=True)
            for failure in failures:
                print(f"     {failure}", flush=True)
            if failures:
                failed.append(case.name)
    finally:
        display.stop()
        if not args.keep and not failed:  # failed cases stay to be looked at
            shutil.rmtree(Path(args.work) / f"cases-{os.getpid()}",
                          ignore_errors=True)
    print(f"suite: {len(cases) - len(failed)} of {len(cases)} cases passed in "
          f"{time.monotonic() - suite_start:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
