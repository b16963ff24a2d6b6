#!/usr/bin/env python3
"""Finishes the uninstaller stub after linking.

Checks that it imports only the platform's known libraries, that it is built for ASLR and NX (a
dynamic base with its relocations, and non-executable data, no section writable and executable),
that its import directory is found, that the data-offset field lies at the start of the section
".uninst" (the marker first) and that the marker occurs nowhere else, then
writes the executable's own size into the field: a stub without a block then fails at its first record
header. The linker's PE checksum is then computed again for the stamped file (signing tools and PE
verifiers check it). Prints the size and the sections. With --max-bytes, fails when the stub is larger:
every installation carries a copy of it.
"""
import argparse
import pathlib
import re
import struct
import subprocess
import sys


def read_marker():
    """The data-offset marker as src/format/layout.h defines it, the one place it is written."""
    layout = pathlib.Path(__file__).resolve().parent.parent / "src" / "format" / "layout.h"
    found = re.search(r"kDataOffsetMarker\[\d+\]\s*=\s*\{([^}]*)\}", layout.read_text())
    if not found:
        sys.exit(f"{layout}: no kDataOffsetMarker")
    return bytes(int(value, 0) for value in found.group(1).split(","))


MARKER = read_marker()
# The platform's known libraries, always taken from the System folder. Any other library (comctl32
# included) would be searched in the program's folder first, the install folder: it is loaded at run
# time by its full path instead.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll"}


def uninst_section_offset(data):
    """The file offset of the .uninst section's raw data, or None."""
    pe = int.from_bytes(data[0x3C:0x40], "little")
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        return None
    sections = int.from_bytes(data[pe + 6:pe + 8], "little")
    optional_size = int.from_bytes(data[pe + 20:pe + 22], "little")
    table = pe + 24 + optional_size
    found = [int.from_bytes(data[h + 20:h + 24], "little")
             for h in range(table, table + 40 * sections, 40) if data[h:h + 8] == b".uninst\0"]
    return found[0] if len(found) == 1 else None


def checksum_offset(data):
    """The file offset of the optional header's CheckSum."""
    return int.from_bytes(data[0x3C:0x40], "little") + 24 + 64


def pe_checksum(data, at):
    """The PE checksum (as CheckSumMappedFile computes it) with the 4 bytes at `at` taken as zero."""
    padded = bytes(data[:at]) + bytes(4) + bytes(data[at + 4:]) + bytes(len(data) % 2)
    total = 0
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(data)) & 0xFFFFFFFF


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--max-bytes", type=int, help="the largest size the stub may have")
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.exe], check=True, capture_output=True, text=True).stdout
    imports = {line.split("DLL Name:")[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
    foreign = sorted(imports - KNOWN_DLLS)
    if foreign:
        sys.exit(f"stamp-stub: {args.exe} imports libraries not on the known list: {', '.join(foreign)}")
    # It runs elevated: a fixed image base would help an attacker.
    flags = {line.strip() for line in dump.splitlines()}
    for needed in ("DYNAMIC_BASE", "NX_COMPAT"):
        if needed not in flags:
            sys.exit(f"stamp-stub: {args.exe} is not built with {needed}")
    headers = subprocess.run([args.objdump, "-h", args.exe], check=True, capture_output=True, text=True).stdout
    sections = [line.split()[1] for line in headers.splitlines() if line.split()[:1] and line.split()[0].isdigit()]
    if "kernel32.dll" not in imports:
        # The entry point leaves through ExitProcess: no kernel32 import means the import directory
        # was not found where the linker placed the import tables (cmake/uninst-i686.ld).
        sys.exit(f"stamp-stub: {args.exe} shows no import of kernel32.dll: its import directory is missing")
    lines = headers.splitlines()
    for i, line in enumerate(lines[:-1]):
        if line.split()[:1] and line.split()[0].isdigit():
            flags = {flag.strip() for flag in lines[i + 1].split(",")}
            if "CODE" in flags and "READONLY" not in flags:
                sys.exit(f"stamp-stub: section {line.split()[1]} of {args.exe} is writable and executable")
    if ".reloc" not in sections:
        sys.exit(f"stamp-stub: {args.exe} has no relocations: the loader could not move it")
    if any(name.startswith(".eh_fram") for name in sections):
        # Nothing unwinds without exceptions; these come from a runtime routine (64-bit division).
        print(f"stamp-stub: note: {args.exe} carries unwind tables (.eh_frame)")
    if ".data" in sections:
        # With -fdata-sections MinGW's GCC puts zero-initialised variables in .data$ sections with
        # file contents: a .data section costs the file 512 bytes (src/ui/ui_win.cpp shows the remedy).
        print(f"stamp-stub: note: {args.exe} has a .data section; a zero-initialised variable belongs in .bss")

    data = bytearray(open(args.exe, "rb").read())
    if args.max_bytes is not None and len(data) > args.max_bytes:
        sys.exit(f"stamp-stub: {args.exe} is {len(data)} bytes, more than the {args.max_bytes} allowed")
    count = data.count(MARKER)
    if count != 1:
        sys.exit(f"stamp-stub: the data-offset marker occurs {count} times in {args.exe}, not once")
    section = uninst_section_offset(data)
    if section is None or data[section:section + len(MARKER)] != MARKER:
        sys.exit(f"stamp-stub: {args.exe} has no .uninst section beginning with the data-offset marker")
    field = section + len(MARKER)
    data[field:field + 4] = len(data).to_bytes(4, "little")
    at = checksum_offset(data)
    if int.from_bytes(data[at:at + 4], "little") != 0:
        data[at:at + 4] = pe_checksum(data, at).to_bytes(4, "little")
    open(args.exe, "wb").write(data)
    print(f"uninstaller stub: {args.exe}: {len(data)} bytes, sections {' '.join(sections)}, "
          f"dynamic base and NX, imports {', '.join(sorted(imports))}")


if __name__ == "__main__":
    main()
