"""The component set the uninstaller removes, the things around it that it
must leave alone, and how a run of the uninstaller is staged and observed in
a Wine prefix."""

import time
from dataclasses import dataclass, field
from pathlib import Path

from winelab import Prefix, wait_for

CLSID = "{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}"
OTHER_CLSID = "{0D2E7C41-3B9A-4F06-8E55-61A0C7F3B2D9}"
CLASS_KEY = f"HKCR\\CLSID\\{CLSID}"
CURRENT_VERSION = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"
NAMESPACE = f"{CURRENT_VERSION}\\Explorer\\MyComputer\\NameSpace"
UNINSTALL = f"{CURRENT_VERSION}\\Uninstall"
COPY_HOOKS = "HKCR\\Directory\\shellex\\CopyHookHandlers"
SESSION_MANAGER = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"

WINDOWS_DIR = "C:\\windows"
SYSTEM_DIR = "C:\\windows\\system32"  # what Wine answers in both modes

COMPONENT_FILES = ["orvres.exe", "orvka.dll", "orvtesi.dll", "orvdun.dll",
                   "orvpel.dll", "orvmarq.dll"]
APPLET = "orvpanel.cpl"

# The file types the extensions name, as the fixture sets them.
FILE_TYPES = {".exe": "exefile", ".dll": "dllfile", ".ocx": "ocxfile"}

CONFIRM_CAPTION = b"Confirm Uninstall"
CONFIRM_TEXT = (
    b"This will uninstall elements of Orvane Control from your computer.\n\n"
    b"Playing an Orvane-enabled media file (such as an mp3) will not work"
    b" correctly\nonce you have uninstalled.\n"
    b"Executing an Orvane-enabled application or media file installer will"
    b" restore\nthe elements needed by the application or media file.\n\n"
    b"Are you sure you want to uninstall Orvane Control?")
RESTART_CAPTION = b"Uninstall Oravne"
RESTART_TEXT = b"To finish the uninstall you must restart your computer"


def applet_dir(win98):
    return SYSTEM_DIR if win98 else WINDOWS_DIR


def component_files(win98):
    """Every file the uninstaller removes, in the order it tries them."""
    return ([f"{WINDOWS_DIR}\\{name}" for name in COMPONENT_FILES]
            + [f"{applet_dir(win98)}\\{APPLET}"])


def component_keys():
    """Every key the uninstaller removes."""
    keys = [CLASS_KEY]
    keys += [f"{CLASS_KEY}\\{sub}" for sub in (
        "InprocServer32", "DefaultIcon", "ShellFolder", "shellex",
        "shellex\\ContextMenuHandlers",
        f"shellex\\ContextMenuHandlers\\{CLSID}")]
    keys += [f"{NAMESPACE}\\{CLSID}", f"{COPY_HOOKS}\\OrvHook"]
    keys += [f"HKCR\\{t}\\shellex\\ContextMenuHandlers\\{CLSID}"
             for t in FILE_TYPES.values()]
    keys += [f"{UNINSTALL}\\Orvane"]
    return keys


def decoy_files(win98):
    """Files beside the components that must survive, among them the applet
    in the directory the other platform family would use."""
    return [f"{WINDOWS_DIR}\\orvka.dll.bak", f"{WINDOWS_DIR}\\orvres.ini",
            f"{SYSTEM_DIR}\\orvka.dll", f"{SYSTEM_DIR}\\orvtesi.dll",
            f"{applet_dir(not win98)}\\{APPLET}"]


CLASS_DECOY = f"{CLASS_KEY}\\Implemented Categories"

DECOY_KEYS = [
    f"HKCR\\CLSID\\{OTHER_CLSID}", f"HKCR\\CLSID\\{OTHER_CLSID}\\InprocServer32",
    f"{NAMESPACE}\\{OTHER_CLSID}", f"{COPY_HOOKS}\\OtherHook",
    f"{UNINSTALL}\\OrvaneExtras",
    # A type no extension of the three names keeps its handler.
    f"HKCR\\txtfile\\shellex\\ContextMenuHandlers\\{CLSID}",
] + [f"HKCR\\{t}\\shellex\\ContextMenuHandlers\\OtherHandler"
     for t in FILE_TYPES.values()]

# Keys that hold components and must stay, with their values and other
# subkeys.
CONTAINER_KEYS = ([NAMESPACE, UNINSTALL, COPY_HOOKS]
                  + [f"HKCR\\{ext}" for ext in FILE_TYPES]
                  + [f"HKCR\\{t}\\shellex\\ContextMenuHandlers"
                     for t in FILE_TYPES.values()])


def install_plan(win98, class_decoy):
    lines = []
    for path in component_files(win98) + decoy_files(win98):
        lines.append(["file", path, f"contents of {path}"])
    values = [
        (CLASS_KEY, "@", "Orvane Control"),
        (f"{CLASS_KEY}\\InprocServer32", "@", f"{WINDOWS_DIR}\\orvka.dll"),
        (f"{CLASS_KEY}\\InprocServer32", "ThreadingModel", "Apartment"),
        (f"{CLASS_KEY}\\DefaultIcon", "@", f"{WINDOWS_DIR}\\orvka.dll,0"),
        (f"{CLASS_KEY}\\ShellFolder", "Attributes", "0"),
        (f"{CLASS_KEY}\\shellex\\ContextMenuHandlers\\{CLSID}", "@", ""),
        (f"{NAMESPACE}\\{CLSID}", "@", "Orvane Control"),
        (f"{COPY_HOOKS}\\OrvHook", "@", CLSID),
        (f"{UNINSTALL}\\Orvane", "DisplayName", "Orvane Control"),
        (f"{UNINSTALL}\\Orvane", "UninstallString",
         f"{WINDOWS_DIR}\\orvuninstall.exe"),
        (f"HKCR\\CLSID\\{OTHER_CLSID}", "@", "Another extension"),
        (f"HKCR\\CLSID\\{OTHER_CLSID}\\InprocServer32", "@", "other.dll"),
        (f"{NAMESPACE}\\{OTHER_CLSID}", "@", "Another folder"),
        (f"{COPY_HOOKS}\\OtherHook", "@", OTHER_CLSID),
        (f"{UNINSTALL}\\OrvaneExtras", "DisplayName", "Orvane Extras"),
        (f"HKCR\\txtfile\\shellex\\ContextMenuHandlers\\{CLSID}", "@", ""),
    ]
    for ext, file_type in FILE_TYPES.items():
        values.append((f"HKCR\\{ext}", "@", file_type))
        values.append((f"HKCR\\{ext}", "Content Type", f"application/x-{ext[1:]}"))
        handlers = f"HKCR\\{file_type}\\shellex\\ContextMenuHandlers"
        values.append((f"{handlers}\\{CLSID}", "@", ""))
        values.append((f"{handlers}\\OtherHandler", "@", OTHER_CLSID))
    if class_decoy:
        values.append((CLASS_DECOY, "@", "kept"))
    lines += [["value", *value] for value in values]
    # Last, so that the fixture itself still runs as NT.
    if win98:
        lines.append(["winver", "win98"])
    return lines


def write_lines(path, lines):
    Path(path).write_text("".join("\t".join(line) + "\n" for line in lines),
                          encoding="latin-1")


@dataclass
class Box:
    index: int
    tick: int
    caption: bytes
    text: bytes
    buttons: list
    owned: bool


@dataclass
class UserRecord:
    start: int = 0
    boxes: list = field(default_factory=list)
    presses: list = field(default_factory=list)
    exit_code: int = None
    end: int = 0
    problems: list = field(default_factory=list)


def read_user_log(path):
    record = UserRecord()
    if not Path(path).exists():
        record.problems.append("no log")
        return record
    for line in Path(path).read_text(encoding="latin-1").splitlines():
        words = line.split()
        if words[0] == "start":
            record.start = int(words[1])
        elif words[0] == "box":
            fields = dict(w.split("=", 1) for w in words[3:])
            decode = lambda h: b"" if h == "-" else bytes.fromhex(h)
            record.boxes.append(Box(
                int(words[1]), int(words[2]), decode(fields["caption"]),
                decode(fields["text"]), fields["buttons"].split(","),
                fields["owner"] == "1"))
        elif words[0] == "press":
            record.presses.append((int(words[1]), words[2], int(words[3])))
        elif words[0] == "exit":
            record.exit_code, record.end = int(words[1]), int(words[2])
        else:
            record.problems.append(line)
    return record


def read_resident_log(path):
    """The resident stand-in's lines as (event, tick, rest)."""
    if not Path(path).exists():
        return []
    events = []
    for line in Path(path).read_text(encoding="latin-1").splitlines():
        words = line.split()
        events.append((words[0], int(words[1]) if len(words) > 1 and
                       words[1].isdigit() else 0, words[2:]))
    return events


class Stage:
    """A prefix with the component set installed, the stand-ins' files in
    C:\\e2e, and the tools built for it."""

    def __init__(self, prefix: Prefix, tools: Path, exe: Path):
        self.prefix = prefix
        self.tools = Path(tools)
        self.exe = Path(exe)
        self.work = prefix.drive_c / "e2e"
        self.work.mkdir(parents=True, exist_ok=True)
        self.resident = None

    def tool(self, name):
        return Prefix.windows_path(self.tools / f"{name}.exe")

    def install(self, win98, class_decoy, wininit=None, extra=()):
        write_lines(self.work / "plan.txt",
                    list(extra) + install_plan(win98, class_decoy))
        self.prefix.run([self.tool("component_fixture"), "apply",
                         "C:\\e2e\\plan.txt"])
        wininit_path = self.prefix.host_path(f"{WINDOWS_DIR}\\wininit.ini")
        wininit_path.unlink(missing_ok=True)
        if wininit is not None:
            wininit_path.write_bytes(wininit)

    def probe(self, queries):
        write_lines(self.work / "queries.txt", queries)
        answers = self.work / "answers.txt"
        answers.unlink(missing_ok=True)
        self.prefix.run([self.tool("component_fixture"), "probe",
                         "C:\\e2e\\queries.txt", "C:\\e2e\\answers.txt"])
        result = {}
        for line in answers.read_text(encoding="latin-1").splitlines():
            fields = line.split("\t")
            width = 3 if fields[0] == "value" else 2
            result[tuple(fields[:width])] = tuple(fields[width:])
        return result

    def start_resident(self, holds=(), linger_ms=0):
        args = [self.tool("resident_standin"), "C:\\e2e\\resident.log"]
        for path in holds:
            args += ["--hold", path]
        if linger_ms:
            args += ["--linger", str(linger_ms)]
        self.resident = self.prefix.start(args)
        log = self.work / "resident.log"
        wait_for(lambda: log.exists() and b"ready" in log.read_bytes(), 30,
                 "the resident stand-in's window")

    def release_resident(self, timeout=30):
        """Lets a lingering resident stand-in let go of its files and end."""
        if self.resident is None:
            return
        (self.work / "resident.log.release").write_bytes(b"")
        self.resident.wait(timeout)

    def resident_events(self):
        return read_resident_log(self.work / "resident.log")

    def run_uninstaller(self, answers, arguments=(), ack=False,
                        timeout_ms=60000):
        args = [self.tool("user_standin"), "C:\\e2e\\user.log",
                "--timeout", str(timeout_ms)]
        if answers:
            args += ["--answers", ",".join(answers)]
        if ack:
            args += ["--ack-dir", "C:\\e2e"]
        args += ["--", Prefix.windows_path(self.exe), *arguments]
        return self.prefix.start(args)

    def user_record(self):
        return read_user_log(self.work / "user.log")

    def restart(self):
        """What the next system start does: the pending file operations on
        NT, wininit.ini's [rename] section on the 95 family."""
        started = time.monotonic()
        self.prefix.run(["wineboot", "-r"], timeout=120)
        return time.monotonic() - started
