#!/usr/bin/python3
"""The release executable, icon and version record included, still loads on
the 95 family and NT 4 and stays within its size budget.

    check_release_with_resources.py EXE
"""

import os
import sys

import pefile

SIZE_BUDGET = 8192

HEADER_FIELDS = [
    # (what, read from the parsed file, wanted)
    ("optional header magic (PE32)", lambda pe: pe.OPTIONAL_HEADER.Magic,
     0x10B),
    ("machine (i386)", lambda pe: pe.FILE_HEADER.Machine, 0x14C),
    ("subsystem (Windows GUI)", lambda pe: pe.OPTIONAL_HEADER.Subsystem, 2),
    ("subsystem version", lambda pe: (
        pe.OPTIONAL_HEADER.MajorSubsystemVersion,
        pe.OPTIONAL_HEADER.MinorSubsystemVersion), (4, 0)),
    ("operating system version", lambda pe: (
        pe.OPTIONAL_HEADER.MajorOperatingSystemVersion,
        pe.OPTIONAL_HEADER.MinorOperatingSystemVersion), (4, 0)),
    ("has a resource directory", lambda pe: pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]].Size > 0,
     True),
]


def main():
    exe = sys.argv[1]
    pe = pefile.PE(exe)
    failures = []
    for what, read, wanted in HEADER_FIELDS:
        actual = read(pe)
        if actual != wanted:
            failures.append(f"{what}: got {actual!r}, want {wanted!r}")
    size = os.path.getsize(exe)
    if size > SIZE_BUDGET:
        failures.append(f"size: {size} bytes, budget {SIZE_BUDGET}")
    for failure in failures:
        print(f"{exe}: {failure}")
    if failures:
        sys.exit(1)
    print(f"{exe}: PE32 i386 GUI 4.0 with resources, {size} bytes")


if __name__ == "__main__":
    main()
