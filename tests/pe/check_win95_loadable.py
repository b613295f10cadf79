#!/usr/bin/python3
"""Checks that the Windows 95 family's loader takes the release executable:
the header fields it insists on, the section layout it can map, no thread
local storage, no relocations needed at its fixed base, and every imported
function on an allow-list of functions the 95 family's own KERNEL32, USER32
and ADVAPI32 export. Read with Debian's python3-pefile (run /usr/bin/python3).

Where the allow-list's claims come from: the Win32 SDK's Quick Info of each
function ("Win95: Yes", e.g. http://winapi.freetechsecrets.com/win32/
WIN32MoveFileEx.htm, .../WIN32wsprintf.htm, .../WIN32GetVersion.htm) and the
Platform SDK's Requirements lines ("Windows 95/98: Requires Windows 95 or
later", e.g. https://library.thedatadungeon.com/msdn-2000-04/regapi/hh/
winbase/regapi_1po9.content.htm for RegDeleteKey). The 95 family exports the
ANSI forms; most wide forms are stubs, which is why none is allowed.
"""
import sys
import unittest

import pefile

EXECUTABLE = sys.argv.pop(1) if len(sys.argv) > 1 else "build/i686/orvuninstall.exe"

# Every function the program may import, by library, each with why it is
# needed. A new import must be added here with its reason, once its export by
# the 95 family's own library has been checked.
ALLOWED_IMPORTS = {
    "KERNEL32.DLL": {
        "CloseHandle": "closes wininit.ini after each entry",
        "CreateFileA": "opens or creates wininit.ini for appending",
        "DeleteFileA": "deletes each component file and the applet",
        "ExitProcess": "the start-up ends the process with WinMain's result",
        "GetCommandLineA": "the start-up hands WinMain its command line",
        "GetFileSize": "finds wininit.ini's last byte (the end-of-file mark)",
        "GetLastError": "tells a missing file from one that must wait",
        "GetModuleHandleA": "the start-up hands WinMain its instance",
        "GetStartupInfoA": "the start-up hands WinMain its show state",
        "GetSystemDirectoryA": "the 95 family keeps the applet there",
        "GetVersionExA": "tells the NT family from the 95 family",
        "GetWindowsDirectoryA": "where the component files and wininit.ini are",
        # The 95 family's kernel32 exports it as a stub answering
        # ERROR_CALL_NOT_IMPLEMENTED (deletion at restart is not supported
        # there), so the import resolves; the program calls it on NT only.
        "MoveFileExA": "schedules deletion at restart on NT (a stub on 95)",
        "ReadFile": "reads wininit.ini's last byte",
        "SetEndOfFile": "drops wininit.ini's trailing end-of-file mark",
        "SetFilePointer": "moves to wininit.ini's last byte and its end",
        "Sleep": "gives the resident program time to close",
        "WriteFile": "appends the [rename] entries to wininit.ini",
    },
    "USER32.DLL": {
        "FindWindowA": "finds the resident program's window",
        "MessageBoxA": "the confirmation and the restart notice",
        "PostMessageA": "asks the resident program to close",
        "wsprintfA": "forms paths and key names without a C runtime",
    },
    "ADVAPI32.DLL": {
        "RegCloseKey": "closes an extension's key after reading it",
        "RegDeleteKeyA": "deletes each of the component set's keys",
        "RegOpenKeyExA": "opens an extension's key to read its file type",
        "RegQueryValueExA": "reads the file type an extension names",
    },
}

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# The 95 family maps sections page by page from file offsets that are whole
# 512-byte sectors: it refuses images laid out any finer.
FILE_ALIGNMENT = 512
SECTION_ALIGNMENT = 4096
IMAGE_BASE = 0x400000


class Win95LoaderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXECUTABLE)

    def test_header_is_what_the_95_loader_requires(self):
        header = self.pe.OPTIONAL_HEADER
        checks = [
            ("machine", self.pe.FILE_HEADER.Machine, IMAGE_FILE_MACHINE_I386),
            ("subsystem", header.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI),
            ("subsystem version",
             (header.MajorSubsystemVersion, header.MinorSubsystemVersion), (4, 0)),
            ("OS version",
             (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion),
             (4, 0)),
            ("image base", header.ImageBase, IMAGE_BASE),
        ]
        for name, actual, expected in checks:
            with self.subTest(name):
                self.assertEqual(actual, expected)

    def test_sections_are_laid_out_as_the_95_loader_maps_them(self):
        header = self.pe.OPTIONAL_HEADER
        self.assertEqual(header.FileAlignment, FILE_ALIGNMENT)
        self.assertEqual(header.SectionAlignment, SECTION_ALIGNMENT)
        self.assertEqual(header.SizeOfHeaders % FILE_ALIGNMENT, 0)
        self.assertEqual(header.SizeOfImage % SECTION_ALIGNMENT, 0)
        for section in self.pe.sections:
            name = section.Name.rstrip(b"\0").decode()
            with self.subTest(name):
                self.assertEqual(section.PointerToRawData % FILE_ALIGNMENT, 0)
                self.assertEqual(section.SizeOfRawData % FILE_ALIGNMENT, 0)
                self.assertEqual(section.VirtualAddress % SECTION_ALIGNMENT, 0)

    def test_has_no_thread_local_storage(self):
        # The 95 family does not set up static TLS for an executable's own
        # directory; the program needs none.
        tls = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]]
        self.assertEqual((tls.VirtualAddress, tls.Size), (0, 0))

    def test_needs_no_relocation(self):
        # An executable is always mapped at its base on the 95 family: it
        # must neither need nor carry relocations there.
        self.assertTrue(self.pe.FILE_HEADER.Characteristics & IMAGE_FILE_RELOCS_STRIPPED)
        relocations = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertEqual(relocations.Size, 0)

    def test_imports_only_allowed_functions_by_name(self):
        imported = {}
        for entry in self.pe.DIRECTORY_ENTRY_IMPORT:
            dll = entry.dll.decode().upper()
            self.assertIn(dll, ALLOWED_IMPORTS, f"imports from {dll}")
            for symbol in entry.imports:
                # Ordinals of the system libraries differ between the 95
                # family and NT: a name is the only portable import.
                self.assertFalse(symbol.import_by_ordinal,
                                 f"{dll} ordinal {symbol.ordinal}")
                name = symbol.name.decode()
                with self.subTest(f"{dll}!{name}"):
                    # The 95 family implements few wide forms; the rest are
                    # stubs that fail.
                    self.assertFalse(name.endswith("W"), f"{dll}!{name}")
                    self.assertIn(name, ALLOWED_IMPORTS[dll],
                                  f"{dll}!{name} is not on the allow-list")
                imported.setdefault(dll, []).append(name)
        print("\n" + "\n".join(f"{dll}: {len(names)} functions, all allowed"
                               for dll, names in sorted(imported.items())))


if __name__ == "__main__":
    unittest.main(verbosity=2)
