#!/usr/bin/env python3
"""Finishes the uninstaller stub after linking.

Checks that it imports only system DLLs and that the data-offset marker occurs exactly once, then
writes the executable's own size into the data-offset field: a stub without a block then fails at
its first record header. Prints the size.
"""
import argparse
import subprocess
import sys

MARKER = bytes([0x77, 0x77, 0x67, 0x54, 0x29, 0x48])
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "comctl32.dll"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--objdump", required=True)
    args = parser.parse_args()

    dump = subprocess.run([args.objdump, "-p", args.exe], check=True, capture_output=True, text=True).stdout
    imports = {line.split("DLL Name:")[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
    foreign = sorted(imports - SYSTEM_DLLS)
    if foreign:
        sys.exit(f"stamp-stub: {args.exe} imports non-system DLLs: {', '.join(foreign)}")

    data = bytearray(open(args.exe, "rb").read())
    count = data.count(MARKER)
    if count != 1:
        sys.exit(f"stamp-stub: the data-offset marker occurs {count} times in {args.exe}, not once")
    field = data.find(MARKER) + len(MARKER)
    data[field:field + 4] = len(data).to_bytes(4, "little")
    open(args.exe, "wb").write(data)
    print(f"uninstaller stub: {args.exe}: {len(data)} bytes, imports {', '.join(sorted(imports))}")


if __name__ == "__main__":
    main()
