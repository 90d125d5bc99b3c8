#!/usr/bin/env python3
"""Adds the generated files to the sample package in the build tree:
  --boot <dir>      placeholder boot records (MBR.BIN, BOOTSECT.BIN) and a placeholder
                    second stage (ORVOBOOT.SYS), for builds without nasm; they halt
  --programs <dir>  the diagnostic program files, of assorted sizes
Contents are fixed, so every build, native or cross, makes the same package."""
import os
import sys


def halt_sector(with_bpb_jump):
    """A sector that halts the machine: enough for a valid boot record."""
    sector = bytearray(512)
    code = 0
    if with_bpb_jump:
        sector[0:3] = b"\xEB\x3C\x90"  # jmp short over the BIOS parameter block
        code = 0x3E
    sector[code:code + 4] = b"\xFA\xF4\xEB\xFD"  # cli; hlt; jmp $-1
    sector[510:512] = b"\x55\xAA"
    return bytes(sector)


def program_file(title, size, seed):
    """A program-like file: "MZ", a text line, then a fixed pseudo-random body (xorshift32)."""
    body = bytearray(size)
    x = seed
    for i in range(size):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        body[i] = x & 0xFF
    head = f"MZ {title} (sample diagnostic program)\r\n".encode("ascii")[:size]
    body[:len(head)] = head
    return bytes(body)


BOOT = {
    "MBR.BIN": lambda: halt_sector(False),
    "BOOTSECT.BIN": lambda: halt_sector(True),
    "ORVOBOOT.SYS": lambda: program_file("ORVOBOOT second stage", 1536, 7),
}
PROGRAMS = {
    "DIAGS/DIAGMAIN.EXE": ("DIAGMAIN", 153600, 1),
    "DIAGS/MEMTEST.EXE": ("MEMTEST", 61440 + 77, 2),
    "DIAGS/HddTest.exe": ("HddTest", 90112 + 5, 3),
    "DIAGS/Video Test Suite/VIDTEST.EXE": ("VIDTEST", 45000, 4),
    "TOOLS/flashutil.com": ("flashutil", 2048, 5),
    "TOOLS/BIOS-A05.ROM": ("BIOS image", 262144, 6),
}


def main(argv):
    if len(argv) != 3 or argv[1] not in ("--boot", "--programs"):
        print("usage: make_sample_files.py --boot|--programs <package dir>", file=sys.stderr)
        return 2
    directory = argv[2]
    if argv[1] == "--boot":
        files = {name: make() for name, make in BOOT.items()}
    else:
        files = {name: program_file(*args) for name, args in PROGRAMS.items()}
    for name, data in files.items():
        path = os.path.join(directory, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
