#!/usr/bin/python3
"""Two builds of the release executable from copies of the source tree in
different folders give the same bytes: no time stamps, no build paths.

    check_reproducible_build.py SOURCE_DIR CMAKE
"""

import filecmp
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile


def build(source, folder, cmake):
    """Copies the tree (without its builds) to folder and builds the i686
    executable there."""
    shutil.copytree(source, folder,
                    ignore=lambda directory, names: [
                        name for name in names
                        if name in (".git", "build") and
                        os.path.samefile(directory, source)
                    ])
    binary = os.path.join(folder, "build", "i686")
    for command in ([cmake, "-S", folder, "-B", binary,
                     "-DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake"],
                    [cmake, "--build", binary, "--target", "orvuninstall"]):
        subprocess.run(command, cwd=folder, check=True,
                       stdout=subprocess.DEVNULL)
    return os.path.join(binary, "orvuninstall.exe")


def main():
    source, cmake = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as scratch:
        # Folders of different lengths, so that an embedded path would also
        # move everything after it.
        first = build(source, os.path.join(scratch, "a"), cmake)
        second = build(source, os.path.join(scratch, "second", "tree"), cmake)
        digests = [hashlib.sha256(open(exe, "rb").read()).hexdigest()
                   for exe in (first, second)]
        if not filecmp.cmp(first, second, shallow=False):
            print(f"the builds differ: {digests[0]} and {digests[1]}")
            sys.exit(1)
    print(f"both builds are {digests[0]}")


if __name__ == "__main__":
    main()
