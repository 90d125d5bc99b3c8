#!/usr/bin/env python3
"""Checks the shipped Windows programs without running them.

    pe_check.py BUILD_DIR              the programs of an i686 build folder
    pe_check.py --self-test BUILD_DIR  the checker finds faults planted in copies of them
    pe_check.py --manifest ZOLP.exe    only the manifest of a ZOLP.exe of either build

Each of vellix.exe, torbel.exe, ZOLP.exe and zolpcli.exe must be a PE32 program for i386 that imports
nothing but DLLs Windows ships, and carry a version resource; ZOLP.exe and zolpcli.exe must carry, as its
resources "BIN" 149 and 150, exactly the torbel.exe and vellix.exe of the same build; ZOLP.exe a
manifest that asks for the highest rights the user has (so that an administrator passes
the administrator check under UAC) and names the program's own architecture.
A host that cannot run 32-bit code still checks these before anything ships.
"""
import os
import re
import shutil
import struct
import sys
import tempfile

MACHINE_I386 = 0x014C
MACHINE_AMD64 = 0x8664
MAGIC_PE32 = 0x10B
DIR_IMPORT, DIR_RESOURCE = 1, 2
RT_VERSION = 16
RT_MANIFEST = 24
MANIFEST_ARCH = {MACHINE_I386: "x86", MACHINE_AMD64: "amd64"}

# DLLs every Windows from XP on carries in its system folder.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msimg32.dll", "msvcrt.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "uxtheme.dll", "version.dll", "winmm.dll",
    "ws2_32.dll",
}

PROGRAMS = {"vellix.exe": "imagebuilder", "torbel.exe": "partshell", "ZOLP.exe": "frontend/app",
            "zolpcli.exe": "frontend/cli"}
# The programs that carry the tools inside themselves.
CARRIERS = ("ZOLP.exe", "zolpcli.exe")
EMBEDDED = {149: "torbel.exe", 150: "vellix.exe"}


class PeError(Exception):
    pass


class Pe:
    """The few parts of a PE file the checks read: header fields, imports, resources."""

    def __init__(self, data, name):
        self.data, self.name = data, name
        if len(data) < 64 or data[:2] != b"MZ":
            raise PeError(f"{name}: not an MZ program")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError(f"{name}: no PE signature")
        self.machine, sections = struct.unpack_from("<HH", data, pe + 4)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        self.magic = self.u16(optional)
        if self.magic == MAGIC_PE32:
            count_at, dirs_at = optional + 92, optional + 96
        elif self.magic == 0x20B:
            count_at, dirs_at = optional + 108, optional + 112
        else:
            raise PeError(f"{name}: unknown optional header magic 0x{self.magic:x}")
        self.dirs = [struct.unpack_from("<II", data, dirs_at + 8 * i)
                     for i in range(min(self.u32(count_at), 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            vsize, vaddr, raw_size, raw_at = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((vaddr, max(vsize, raw_size), raw_at, raw_size))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for vaddr, size, raw_at, raw_size in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < raw_size:
                return raw_at + rva - vaddr
        raise PeError(f"{self.name}: address 0x{rva:x} lies in no section")

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def imports(self):
        rva, _ = self.directory(DIR_IMPORT)
        names = []
        if rva == 0:
            return names
        at = self.offset(rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, at)
            if not any(entry):
                return names
            names.append(self.cstring(entry[3]))
            at += 20

    def resources(self):
        """{(type, id): bytes} of the first language of each resource."""
        rva, _ = self.directory(DIR_RESOURCE)
        found = {}
        if rva == 0:
            return found
        base = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                if key & 0x80000000:
                    name_at = base + (key & 0x7FFFFFFF)
                    length = self.u16(name_at)
                    key = self.data[name_at + 2:name_at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        for rtype, types in entries(base):
            for rid, ids in entries(base + (types & 0x7FFFFFFF)):
                if not ids & 0x80000000:
                    continue
                for _, leaf in entries(base + (ids & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset(data_rva)
                    found[(rtype, rid)] = self.data[at:at + size]
                    break
        return found


def check_program(data, name):
    """The faults of one shipped program, as lines of text."""
    try:
        pe = Pe(data, name)
        faults = []
        if pe.machine != MACHINE_I386 or pe.magic != MAGIC_PE32:
            faults.append(f"{name}: not a 32-bit i386 program "
                          f"(machine 0x{pe.machine:04x}, optional header 0x{pe.magic:x})")
        foreign = [dll for dll in pe.imports() if dll.lower() not in SYSTEM_DLLS]
        if foreign:
            faults.append(f"{name}: imports DLLs Windows does not ship: {', '.join(foreign)}")
        resources = pe.resources()
        if not any(rtype == RT_VERSION for rtype, _ in resources):
            faults.append(f"{name}: no version resource")
        return faults, resources
    except (PeError, struct.error, ValueError) as error:
        return [f"{name}: unreadable PE file ({error})"], {}


def check_manifest(pe, resources, name):
    """The faults of ZOLP.exe's manifest (resource 24, 1)."""
    manifest = resources.get((RT_MANIFEST, 1))
    if manifest is None:
        return [f"{name}: no manifest"]
    text = manifest.decode("utf-8", "replace")
    faults = []
    levels = re.findall(r'requestedExecutionLevel\s+level="([^"]*)"', text)
    if levels != ["highestAvailable"]:
        faults.append(f"{name}: manifest asks for {levels or 'no execution level'}, "
                      "not highestAvailable")
    wanted = MANIFEST_ARCH.get(pe.machine, "?")
    for arch in re.findall(r'processorArchitecture="([^"]*)"', text):
        if arch != wanted:
            faults.append(f"{name}: manifest names processorArchitecture {arch}, "
                          f"the program is {wanted}")
    return faults


def check_build(build):
    faults, programs = [], {}
    for exe, folder in PROGRAMS.items():
        path = os.path.join(build, folder, exe)
        if not os.path.isfile(path):
            faults.append(f"{path}: missing")
            continue
        with open(path, "rb") as f:
            programs[exe] = f.read()
        found, resources = check_program(programs[exe], path)
        faults += found
        if exe not in CARRIERS:
            continue
        if not found and exe == "ZOLP.exe":
            faults += check_manifest(Pe(programs[exe], path), resources, path)
        for rid, tool in EMBEDDED.items():
            embedded = resources.get(("BIN", rid))
            if embedded is None:
                faults.append(f"{path}: no resource BIN {rid} ({tool})")
                continue
            faults += check_program(embedded, f"{path} BIN {rid}")[0]
            tool_path = os.path.join(build, PROGRAMS[tool], tool)
            if os.path.isfile(tool_path):
                with open(tool_path, "rb") as f:
                    if f.read() != embedded:
                        faults.append(f"{path}: BIN {rid} is not this build's {tool}")
    return faults


def self_test(build):
    """Plants one fault at a time in a copy of the build; each must be reported."""
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "build")
        for exe, folder in PROGRAMS.items():
            os.makedirs(os.path.join(copy, folder), exist_ok=True)
            shutil.copy(os.path.join(build, folder, exe), os.path.join(copy, folder, exe))
        vellix = os.path.join(copy, PROGRAMS["vellix.exe"], "vellix.exe")
        original = open(vellix, "rb").read()
        pe = Pe(original, vellix)

        def planted(what, data, expect):
            nonlocal failures
            with open(vellix, "wb") as f:
                f.write(data)
            faults = check_build(copy)
            hit = any(expect in fault for fault in faults)
            print(f"pe_check self-test: {what}: {'caught' if hit else 'MISSED'}")
            failures += not hit

        if check_build(copy):
            print("pe_check self-test: the unchanged copy is not clean")
            failures += 1
        x64 = bytearray(original)
        struct.pack_into("<H", x64, pe.u32(0x3C) + 4, 0x8664)
        planted("an x86_64 machine field", bytes(x64), "not a 32-bit i386 program")
        kernel = original.find(b"KERNEL32.dll")
        if kernel < 0:
            kernel = original.lower().find(b"kernel32.dll")
        foreign = bytearray(original)
        foreign[kernel:kernel + 12] = b"LIBGCC32.dll"
        planted("an import of a DLL Windows lacks", bytes(foreign), "does not ship")
        planted("a ZOLP.exe whose BIN 150 is another vellix.exe", bytes(x64),
                "ZOLP.exe: BIN 150 is not this build's")
        planted("a zolpcli.exe whose BIN 150 is another vellix.exe", bytes(x64),
                "zolpcli.exe: BIN 150 is not this build's")
        with open(vellix, "wb") as f:
            f.write(original)

        zolp = os.path.join(copy, PROGRAMS["ZOLP.exe"], "ZOLP.exe")
        zolp_original = open(zolp, "rb").read()
        for what, old, new, expect in (
                ("a manifest that asks for the invoker's rights",
                 b'level="highestAvailable"', b'level="asInvoker"       ', "not highestAvailable"),
                ("a manifest of another architecture",
                 b'processorArchitecture="x86"', b'processorArchitecture="ia6"',
                 "processorArchitecture ia6")):
            with open(zolp, "wb") as f:
                f.write(zolp_original.replace(old, new))
            hit = any(expect in fault for fault in check_build(copy))
            print(f"pe_check self-test: {what}: {'caught' if hit else 'MISSED'}")
            failures += not hit
    return failures


def main(argv):
    if len(argv) == 3 and argv[1] == "--self-test":
        return 1 if self_test(argv[2]) else 0
    if len(argv) == 3 and argv[1] == "--manifest":
        with open(argv[2], "rb") as f:
            data = f.read()
        try:
            pe = Pe(data, argv[2])
            faults = check_manifest(pe, pe.resources(), argv[2])
        except (PeError, struct.error, ValueError) as error:
            faults = [f"{argv[2]}: unreadable PE file ({error})"]
        for fault in faults:
            print(f"pe_check: {fault}")
        if not faults:
            print(f"pe_check: {argv[2]}: manifest asks for highestAvailable, "
                  f"processorArchitecture {MANIFEST_ARCH.get(pe.machine)}")
        return 1 if faults else 0
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    faults = check_build(argv[1])
    for fault in faults:
        print(f"pe_check: {fault}")
    if not faults:
        print(f"pe_check: {', '.join(PROGRAMS)} in {argv[1]}: PE32 i386, system DLLs only, "
              "version resources, ZOLP.exe and zolpcli.exe carry this build's torbel.exe and vellix.exe, "
              "ZOLP.exe a highestAvailable x86 manifest")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
