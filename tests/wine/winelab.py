"""Mechanics of the end-to-end runs: an X display, Wine prefixes, and the
processes started in them, each stopped again by its own id."""

import ctypes
import fcntl
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

WINE = "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"

# Mono and Gecko would each ask, in a dialog, to be installed.
BASE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}

_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    """Runs in each child before exec: when this harness is killed outright,
    its children get SIGKILL instead of lingering."""
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def start_process(args, env=None, **kwargs):
    return subprocess.Popen(args, env=env, preexec_fn=_die_with_parent,
                            **kwargs)


def stop_process(process, grace=2.0):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Display:
    """An Xvfb of our own on the first free display number from 100 up, or
    the display the user already has."""

    def __init__(self, existing=None):
        self.name = existing
        self.process = None

    def start(self):
        if self.name:
            return self
        for number in range(100, 200):
            if (Path(f"/tmp/.X11-unix/X{number}").exists()
                    or Path(f"/tmp/.X{number}-lock").exists()):
                continue
            read_end, write_end = os.pipe()
            process = start_process(
                ["Xvfb", f":{number}", "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-displayfd", str(write_end)],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            os.close(write_end)
            # The server names its display once it accepts connections; a
            # server that lost the race for this number just ends.
            with os.fdopen(read_end) as ready:
                answer = ready.readline().strip()
            if answer == str(number) and process.poll() is None:
                self.name, self.process = f":{number}", process
                return self
            stop_process(process)
        raise RuntimeError("no free X display number between :100 and :199")

    def stop(self):
        stop_process(self.process)
        self.process = None


class Prefix:
    """One Wine prefix and the Windows processes run in it."""

    def __init__(self, path, display):
        self.path = Path(path).resolve()
        self.env = dict(os.environ, **BASE_ENV, WINEPREFIX=str(self.path),
                        DISPLAY=display)
        self.processes = []

    @property
    def drive_c(self):
        return self.path / "drive_c"

    def host_path(self, windows_path):
        """The host file behind a C: path."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        return self.drive_c.joinpath(*windows_path[3:].split("\\"))

    @staticmethod
    def windows_path(host_path):
        """Any host file as Wine sees it through drive Z:."""
        return "Z:" + str(Path(host_path).resolve()).replace("/", "\\")

    def run(self, args, timeout=60, check=True):
        process = self.start(args, output=subprocess.PIPE)
        try:
            output = process.communicate(timeout=timeout)[0]
        except subprocess.TimeoutExpired:
            stop_process(process)
            raise RuntimeError(f"timed out after {timeout} s: {args}")
        if check and process.returncode != 0:
            raise RuntimeError(f"exit code {process.returncode}: {args}\n"
                               + output.decode(errors="replace"))
        return process.returncode

    def start(self, args, output=subprocess.DEVNULL):
        process = start_process([WINE] + [str(a) for a in args], env=self.env,
                                stdout=output, stderr=subprocess.STDOUT)
        self.processes.append(process)
        return process

    def wait_server(self, timeout=60):
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=timeout,
                       check=False)

    def stop(self):
        """Ends this prefix's wineserver with everything running in it, then
        anything started here that is somehow still around."""
        if self.path.exists():
            subprocess.run([WINESERVER, "-k"], env=self.env, timeout=30,
                           check=False, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for process in self.processes:
            stop_process(process)
        self.processes = []


def wine_version():
    return subprocess.run([WINE, "--version"], capture_output=True, text=True,
                          check=True).stdout.strip()


def pristine_prefix(root, display):
    """A freshly initialised prefix, made once and kept for later runs as
    long as the Wine it was made by stays the same."""
    root = Path(root)
    root.mkdir(parents=True, exist_ok=True)
    pristine = root / "pristine"
    stamp = root / "pristine.stamp"
    version = wine_version()
    with open(root / "pristine.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if stamp.exists() and stamp.read_text() == version and pristine.exists():
            return pristine
        stamp.unlink(missing_ok=True)
        shutil.rmtree(pristine, ignore_errors=True)
        prefix = Prefix(pristine, display)
        try:
            # Debian's 64-bit-only Wine reports a failure for the missing
            # 32-bit half (syswow64) and is otherwise fine: the registry
            # files are what tells.
            prefix.run(["wineboot", "-i"], timeout=180, check=False)
            # The registry reaches its files when the server ends by itself.
            prefix.wait_server(timeout=120)
        finally:
            prefix.stop()
        if not (pristine / "system.reg").exists():
            raise RuntimeError(f"wineboot -i did not set up {pristine}")
        stamp.write_text(version)
        return pristine


def copy_prefix(pristine, path):
    shutil.rmtree(path, ignore_errors=True)
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["cp", "-a", str(pristine), str(path)], check=True)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.02)
    raise RuntimeError(f"timed out waiting for {what}")
