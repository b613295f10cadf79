#!/usr/bin/python3
"""Writes the fuzzer's seed corpus (tests/fuzz/corpus/): a few small,
fixed inputs that reach different parts of the machine builder. The files
are committed; this script only says how they were made."""
import os
import random

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

def seeds():
    yield "zeros", bytes(96)
    yield "ones", b"\xff" * 96
    yield "counting", bytes(range(256))
    yield "wininit_text", (b"[boot]\r\nshell=Explorer.exe\r\n[rename]\r\n"
                           b"NUL=C:\\WINDOWS\\OLD.DLL\r\n\x1a") * 2 + bytes(range(0, 256, 3))
    yield "type_names", b"exefile\x00dllfile\x00ocxfile\x00" + b"T" * 200 + bytes(range(1, 200, 7))
    for n in range(3):
        rng = random.Random(20261211 + n)
        yield f"random{n}", bytes(rng.randrange(256) for _ in range(rng.choice([64, 300, 900])))

os.makedirs(HERE, exist_ok=True)
for name, data in seeds():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
