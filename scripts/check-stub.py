#!/usr/bin/env python3
"""Checks the uninstaller stub after linking, through objdump.

Checks that it imports only the platform's known libraries, that it is built for ASLR and NX (a
dynamic base with its relocations, and non-executable data, no section writable and executable) and
that its import directory is found. Prints the size and the sections. The PE headers themselves
(the size limit, the data-offset marker and field, the checksum) are read by the stamp-stub program
(src/format/stamp_stub.cpp), which the build runs first.
"""
import argparse
import pathlib
import subprocess
import sys


# The platform's known libraries, always taken from the System folder. Any other library (comctl32
# included) would be searched in the program's folder first, the install folder: it is loaded at run
# time by its full path instead.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--objdump", required=True)
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.exe], check=True, capture_output=True, text=True).stdout
    imports = {line.split("DLL Name:")[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
    foreign = sorted(imports - KNOWN_DLLS)
    if foreign:
        sys.exit(f"check-stub: {args.exe} imports libraries not on the known list: {', '.join(foreign)}")
    # It runs elevated: a fixed image base would help an attacker.
    flags = {line.strip() for line in dump.splitlines()}
    for needed in ("DYNAMIC_BASE", "NX_COMPAT"):
        if needed not in flags:
            sys.exit(f"check-stub: {args.exe} is not built with {needed}")
    headers = subprocess.run([args.objdump, "-h", args.exe], check=True, capture_output=True, text=True).stdout
    sections = [line.split()[1] for line in headers.splitlines() if line.split()[:1] and line.split()[0].isdigit()]
    if "kernel32.dll" not in imports:
        # The entry point leaves through ExitProcess: no kernel32 import means the import directory
        # was not found where the linker placed the import tables (cmake/uninst-i686.ld).
        sys.exit(f"check-stub: {args.exe} shows no import of kernel32.dll: its import directory is missing")
    lines = headers.splitlines()
    for i, line in enumerate(lines[:-1]):
        if line.split()[:1] and line.split()[0].isdigit():
            flags = {flag.strip() for flag in lines[i + 1].split(",")}
            if "CODE" in flags and "READONLY" not in flags:
                sys.exit(f"check-stub: section {line.split()[1]} of {args.exe} is writable and executable")
    if ".reloc" not in sections:
        sys.exit(f"check-stub: {args.exe} has no relocations: the loader could not move it")
    if any(name.startswith(".eh_fram") for name in sections):
        # Nothing unwinds without exceptions; these come from a runtime routine (64-bit division).
        print(f"check-stub: note: {args.exe} carries unwind tables (.eh_frame)")
    if ".data" in sections:
        # With -fdata-sections MinGW's GCC puts zero-initialised variables in .data$ sections with
        # file contents: a .data section costs the file 512 bytes (src/ui/ui_win.cpp shows the remedy).
        print(f"check-stub: note: {args.exe} has a .data section; a zero-initialised variable belongs in .bss")

    size = pathlib.Path(args.exe).stat().st_size
    print(f"uninstaller stub: {args.exe}: {size} bytes, sections {' '.join(sections)}, "
          f"dynamic base and NX, imports {', '.join(sorted(imports))}")


if __name__ == "__main__":
    main()
