#!/usr/bin/python3
"""Checks the release executable's PE header with an independent reader
(Debian's python3-pefile): a 32-bit i386 GUI program that the Windows 95
family and NT 4 load, icon and version record included, with no C runtime
and within its size budgets."""
import sys
import unittest

import pefile

EXECUTABLE = sys.argv.pop(1) if len(sys.argv) > 1 else "build/i686/orvuninstall.exe"
ALLOWED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL"}
# The code and its data, without the resources, in at most 6 KiB; with the
# icon and version record in at most 8 KiB.
CODE_BUDGET_BYTES = 6 * 1024
TOTAL_BUDGET_BYTES = 8 * 1024


class ReleaseExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXECUTABLE)
        with open(EXECUTABLE, "rb") as f:
            cls.size = len(f.read())

    def test_is_pe32_for_i386(self):
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x10B)  # PE32
        self.assertEqual(self.pe.FILE_HEADER.Machine, 0x14C)  # i386

    def test_is_a_gui_program_for_version_4(self):
        header = self.pe.OPTIONAL_HEADER
        self.assertEqual(header.Subsystem, 2)  # Windows GUI, no console
        self.assertEqual((header.MajorSubsystemVersion, header.MinorSubsystemVersion), (4, 0))
        self.assertEqual(
            (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion), (4, 0))

    def test_imports_only_the_three_system_libraries(self):
        dlls = {entry.dll.decode().upper() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(dlls, ALLOWED_DLLS)
        self.assertIn("KERNEL32.DLL", dlls)

    def test_has_no_runtime_traces(self):
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_TLS"))
        section_names = {s.Name.rstrip(b"\0").decode() for s in self.pe.sections}
        self.assertFalse(section_names & {".tls", ".CRT", ".pdata", ".xdata", ".bss"},
                         section_names)
        self.assertEqual(self.pe.FILE_HEADER.TimeDateStamp, 0)

    def test_carries_its_resources(self):
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
        self.assertGreater(directory.Size, 0)

    def test_whole_file_fits_the_budget(self):
        self.assertLessEqual(self.size, TOTAL_BUDGET_BYTES)

    def test_code_and_data_fit_the_budget(self):
        resources = sum(s.SizeOfRawData for s in self.pe.sections
                        if s.Name.rstrip(b"\0") == b".rsrc")
        print(f"\n{EXECUTABLE}: {self.size} bytes, {self.size - resources} without resources")
        self.assertLessEqual(self.size - resources, CODE_BUDGET_BYTES)


if __name__ == "__main__":
    unittest.main(verbosity=2)
