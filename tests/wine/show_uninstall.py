#!/usr/bin/env python3
"""Runs the uninstaller once in a throwaway Wine prefix holding the component
set, with the resident component running and keeping a library in use, and
tells what happened: what was removed, what waits for the next start, the
exit code, and what a simulated restart then removed. Screenshots of the two
message boxes go to the docs folder.

With a reachable $DISPLAY the boxes appear there to be answered by hand;
otherwise they appear on a private Xvfb and the user stand-in answers Yes
and OK.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

# No __pycache__ in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

import component_set as cs  # noqa: E402
from winelab import Display, Prefix, copy_prefix, pristine_prefix  # noqa: E402

HELD = f"{cs.WINDOWS_DIR}\\orvka.dll"
PENDING = ("value", cs.SESSION_MANAGER, "PendingFileRenameOperations")
SCREENSHOTS = {cs.CONFIRM_CAPTION: "confirm-box.png",
               cs.RESTART_CAPTION: "restart-notice.png"}


def display_reachable(name):
    if not name:
        return False
    return subprocess.run(["xdpyinfo", "-display", name],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          check=False).returncode == 0


def screenshot(display, caption, target):
    """The box window alone, as X shows it, saved as PNG without time
    stamps so that an unchanged box gives an unchanged file."""
    env = dict(os.environ, DISPLAY=display)
    found = subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", f"^{caption}$"],
        env=env, capture_output=True, text=True, check=False).stdout.split()
    if not found:
        return False
    dump = target.with_suffix(".xwd")
    subprocess.run(["xwd", "-silent", "-id", found[-1], "-out", str(dump)],
                   env=env, check=True)
    subprocess.run(["convert", f"xwd:{dump}", "-strip", "-define",
                    "png:exclude-chunks=date,time", f"png:{target}"],
                   check=True)
    dump.unlink()
    return True


def present(snapshot, kind, path):
    return snapshot.get((kind, path), ("absent",))[0] == "present"


def pending_paths(snapshot):
    answer = snapshot.get(PENDING, ("absent",))
    if answer[0] == "absent":
        return []
    items = bytes.fromhex(answer[1]).decode("utf-16-le").split("\0")
    return [source.removeprefix("\\??\\")
            for source, _target in zip(items[0::2], items[1::2]) if source]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tools", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--docs", required=True)
    parser.add_argument("--win98", action="store_true",
                        help="run as the Windows 95 family (Wine's 98 mode)")
    args = parser.parse_args()

    def stop(signum, _frame):
        raise SystemExit(f"stopped by signal {signum}")
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)

    by_hand = display_reachable(os.environ.get("DISPLAY"))
    display = Display(os.environ["DISPLAY"] if by_hand else None).start()
    docs = Path(args.docs)
    docs.mkdir(parents=True, exist_ok=True)
    work = Path(args.work)
    prefix = None
    try:
        # The same pristine prefix as the end-to-end tests, when they share
        # the folder.
        pristine = pristine_prefix(work, display.name)
        prefix = Prefix(work / f"shown-{os.getpid()}", display.name)
        copy_prefix(pristine, prefix.path)
        stage = cs.Stage(prefix, args.tools, args.exe)
        # Wine then draws the title bars itself, so that the screenshots show
        # the captions even with no window manager.
        stage.install(args.win98, class_decoy=False, extra=[
            ["value", "HKCU\\Software\\Wine\\X11 Driver", "Managed", "N"]])
        files = cs.component_files(args.win98)
        keys = cs.component_keys()
        queries = ([["file", f] for f in files] + [["key", k] for k in keys]
                   + [list(PENDING)])
        before = stage.probe(queries)
        family = "Windows 95 family (Wine's 98 mode)" if args.win98 else "NT"
        print(f"Wine prefix {prefix.path}, as {family}")
        print(f"Before: {sum(present(before, 'file', f) for f in files)} "
              f"component files and {sum(present(before, 'key', k) for k in keys)}"
              f" registry keys installed; the resident window is up and "
              f"keeps {HELD} in use.")

        stage.start_resident([HELD], linger_ms=600000)
        if by_hand:
            print(f"Answer the boxes on {display.name}.", flush=True)
        user = stage.run_uninstaller(["none"] * 4 if by_hand else ["yes", "ok"],
                                     ack=not by_hand,
                                     timeout_ms=600000 if by_hand else 60000)
        taken = set()
        while True:
            record = stage.user_record()
            for box in record.boxes:
                if box.index in taken:
                    continue
                taken.add(box.index)
                time.sleep(0.5)  # painted by now
                name = SCREENSHOTS.get(box.caption)
                if name and screenshot(display.name, box.caption.decode(),
                                       docs / name):
                    print(f"  box \"{box.caption.decode()}\" "
                          f"(saved {docs / name})")
                (stage.work / f"ack{box.index}").write_bytes(b"")
            if user.poll() is not None:
                break
            time.sleep(0.05)
        record = stage.user_record()
        answers = {i: a for i, a, _ in record.presses}
        for box in record.boxes:
            print(f"Box \"{box.caption.decode()}\" ({'/'.join(box.buttons)}):"
                  f" answered {answers.get(box.index, 'by hand')}")
        print(f"Exit code: {record.exit_code}")

        after = stage.probe(queries)
        removed = [f for f in files if not present(after, "file", f)]
        removed += [k for k in keys if not present(after, "key", k)]
        print("Removed now:" if removed else "Removed now: nothing")
        for item in removed:
            print(f"  {item}")
        scheduled = pending_paths(after)
        wininit = prefix.host_path(f"{cs.WINDOWS_DIR}\\wininit.ini")
        if args.win98 and wininit.exists():
            scheduled = [line[4:] for line in
                         wininit.read_text(encoding="latin-1").splitlines()
                         if line.startswith("NUL=")]
        print("Scheduled for the next start:" if scheduled
              else "Scheduled for the next start: nothing")
        how = "wininit.ini [rename]" if args.win98 else "pending file operation"
        for path in scheduled:
            print(f"  {path} ({how})")

        stage.release_resident()
        stage.restart()
        restarted = stage.probe(queries)
        freed = [f for f in files
                 if present(after, "file", f) and not present(restarted, "file", f)]
        print("The simulated restart (wineboot -r) removed:" if freed
              else "The simulated restart (wineboot -r) removed nothing")
        for path in freed:
            print(f"  {path}")
        left = [f for f in files if present(restarted, "file", f)]
        left += [k for k in keys if present(restarted, "key", k)]
        print("Left of the component set:" if left
              else "Left of the component set: nothing")
        for item in left:
            print(f"  {item}")
        return 0
    finally:
        if prefix is not None:
            prefix.stop()
            shutil.rmtree(prefix.path, ignore_errors=True)
        display.stop()


if __name__ == "__main__":
    sys.exit(main())
