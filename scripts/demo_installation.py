#!/usr/bin/env python3
"""The demo's sample installation, made from a packer manifest inside a Wine prefix.

  demo_installation.py create MANIFEST PLAN PREFIX INSTALL_DIR REG_FILE
      writes every file, folder and shortcut the manifest lists (a read-only file, a font made for
      the demo), files for each clean-up pattern to match in its folder and subfolders, and a few things
      the manifest does not list (they must stay); writes REG_FILE, a registry file for `reg import` of
      the manifest's keys (with nested keys below them) and values, the shared files' counts and the
      font's installed-font value.
  demo_installation.py state MANIFEST PLAN PREFIX INSTALL_DIR OUT.json
      records which of those items exist (registry items through `scripts/wine reg query`).
  demo_installation.py show STATE.json
      prints one record.
  demo_installation.py table BEFORE.json AFTER.json
      prints both records side by side.

PLAN is `uninstpack plan UNINSTALLER --install-dir INSTALL_DIR --json`: every path comes from it, so
the demo makes exactly the paths the uninstaller builds (this script restates none of its rules); a
path that begins with a folder token is taken where the plan says a typical machine keeps it.
Only drive C: paths and HKCU entries are made; patterns with folder tokens are left out. Each item
records whether the run should remove it or keep it; `table` says where the run did otherwise.
"""
import json
import os
import subprocess
import sys

WINE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wine")
ROOTS = {"HKCU": "HKEY_CURRENT_USER", "HKEY_CURRENT_USER": "HKEY_CURRENT_USER"}
OTHER_VALUE = "Other App"  # a sibling of a listed value: not listed, must stay


def windows_join(folder, name):
    return folder if not name else folder.rstrip("\\") + "\\" + name


def unix_path(prefix, path):
    if len(path) < 3 or path[1:3] != ":\\" or path[0].upper() != "C":
        raise SystemExit(f"demo_installation: only drive C: paths are made here, not {path}")
    return os.path.join(prefix, "drive_c", *[p for p in path[3:].split("\\") if p])


def plan_paths(plan, pass_name):
    """{entry: path} of one pass of the plan: the first path the uninstaller acts on per entry."""
    paths = {}
    for p in plan["passes"]:
        if p["name"] != pass_name:
            continue
        for item in p["items"]:
            if "entry" in item and "path" in item:
                # A path that begins with a folder token: where it is on a typical machine, which is
                # where Wine keeps it too.
                paths.setdefault(item["entry"], item.get("typicalPath", item["path"]))
    return paths


SHARED_DLLS = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
FONTS = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
FONT_NAME = "Uninst Demo Sans"  # the full name inside the demo's font file
# Shared files: the count other installations hold. The first listed shared file is also used by
# another program (its count goes down by one and it stays); the others are this installation's only.
SHARED_COUNTS = (2, 1)
READ_ONLY = "license.txt"  # a read-only file: the four-button question asks, the robot answers Yes
NESTED_KEYS = ("Window\\Placement", "Plugins\\Codec")  # below each listed key, not listed themselves


class Item:
    """One thing of the installation: a file, folder, key or value, and what the run should do to it."""

    def __init__(self, kind, path, value=None, gone=True, note="", data=None):
        self.kind, self.path, self.value, self.gone, self.note, self.data = kind, path, value, gone, note, data

    @property
    def name(self):
        return self.path if self.value is None else f"{self.path} : {self.value}"


def items(manifest, plan, install_dir):
    """The installation's items, then things it must leave alone."""
    out = []
    files = plan_paths(plan, "files")
    shared = 0
    for i, entry in enumerate(manifest.get("files", [])):
        path = files[f"files[{i}]"]
        flags = entry.get("flags", [])
        if not entry.get("name"):
            out.append(Item("folder", path))
        elif "shared" in flags:
            count = SHARED_COUNTS[min(shared, len(SHARED_COUNTS) - 1)]
            shared += 1
            used_elsewhere = count > 1
            out.append(Item("file", path, gone=not used_elsewhere,
                            note="shared, still used by another program" if used_elsewhere else "shared"))
            out.append(Item("value", SHARED_DLLS, path, gone=not used_elsewhere, data=count,
                            note=f"count {count} -> {count - 1}" if used_elsewhere else "count 1 -> asked, Yes"))
        elif "font" in flags:
            out.append(Item("file", path, note="font", data="font"))
            out.append(Item("value", FONTS, FONT_NAME + " (TrueType)", data=path, note="its installed-font value"))
        else:
            read_only = entry["name"] == READ_ONLY
            out.append(Item("file", path, note="read-only: asked, Yes" if read_only else "",
                            data="read-only" if read_only else None))
    # A folder that still holds a file another program shares stays.
    for item in out:
        if item.kind == "folder" and any(o.kind == "file" and not o.gone and o.path.startswith(item.path + "\\")
                                         for o in out):
            item.gone, item.note = False, "still holds a shared file"
    shortcut_files = plan_paths(plan, "shortcutFiles")
    for i, entry in enumerate(manifest.get("shortcuts", [])):
        for p in plan["passes"]:
            if p["name"] == "shortcutFolders":
                out += [Item("folder", it.get("typicalPath", it["path"]), note="shortcut folder" if it.get("level") == 0 else "climbed")
                        for it in p["items"] if it.get("entry") == f"shortcuts[{i}]"]
        out.append(Item("file", shortcut_files[f"shortcuts[{i}]"]))
    pattern_folders = plan_paths(plan, "patterns")
    for i, pattern in enumerate(manifest.get("patterns", [])):
        if "#" in pattern:
            continue
        folder = pattern_folders[f"patterns[{i}]"]
        match = pattern.rsplit("\\", 1)[-1].replace("*", "demo").replace("?", "x")
        # Matches in the folder and two levels of subfolders: the emptied subfolders go with them; a
        # subfolder holding a file the pattern does not match stays, and so does the folder itself.
        out.append(Item("file", windows_join(folder, match), note="pattern match"))
        out.append(Item("folder", windows_join(folder, "2026"), note="emptied by the pattern"))
        out.append(Item("file", windows_join(folder, "2026\\" + match), note="pattern match"))
        out.append(Item("file", windows_join(folder, "2026\\Old\\" + match), note="pattern match"))
        out.append(Item("file", windows_join(folder, "Keep\\notes.txt"), gone=False, note="does not match"))
        out.append(Item("folder", folder, gone=False, note="still holds a file"))
    for entry in manifest.get("registry", []):
        root = ROOTS.get(entry["root"])
        if not root:
            continue
        key = root + "\\" + entry["key"]
        if "value" in entry:
            out.append(Item("value", key, entry["value"]))
            out.append(Item("value", key, OTHER_VALUE, gone=False, note="not listed"))
        else:
            out.append(Item("key", key))
            out += [Item("key", key + "\\" + nested, note="nested, not listed") for nested in NESTED_KEYS]
    # The uninstaller itself: gone after the run, deleted by its batch once its process has ended.
    out.append(Item("file", windows_join(install_dir.rstrip("\\"), "uninstall.exe")))
    out.append(Item("file", windows_join(install_dir.rstrip("\\"), "my notes.txt"), gone=False, note="not listed"))
    out.append(Item("file", "C:\\Program Files\\Other App\\other.exe", gone=False, note="not listed"))
    out.append(Item("key", "HKEY_CURRENT_USER\\Software\\Example Co\\Other App", gone=False, note="not listed"))
    out.append(Item("value", FONTS, "Other Sans (TrueType)", gone=False, data="othersans.ttf", note="not listed"))
    # Wine's own Start Menu folders above the climbs stay.
    out.append(Item("folder", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", gone=False,
                    note="not listed"))
    # The same path can come from two entries (two shortcuts climbing one folder): keep the first.
    seen = set()
    return [i for i in out if not (i.name in seen or seen.add(i.name))]


def font_file(full_name):
    """A minimal TrueType file: its table directory and a name table whose Macintosh record 4 is the
    font's full name (what the uninstaller reads to find the installed-font value)."""
    import struct
    text = full_name.encode("latin-1")
    name = struct.pack(">HHH", 0, 1, 18) + struct.pack(">HHHHHH", 1, 0, 0, 4, len(text), 0) + text
    name += b"\0" * (-len(name) % 4)
    checksum = sum(struct.unpack(f">{len(name) // 4}I", name)) & 0xFFFFFFFF
    return struct.pack(">IHHHH", 0x00010000, 1, 16, 0, 0) + struct.pack(">4sIII", b"name", checksum, 28, len(name)) + name


def reg_data(data):
    if isinstance(data, int):
        return f"dword:{data:08x}"
    return '"{}"'.format(str(data).replace("\\", "\\\\"))


def create(manifest, plan, prefix, install_dir, reg_file):
    keys = {}
    for item in items(manifest, plan, install_dir):
        if item.kind == "folder":
            os.makedirs(unix_path(prefix, item.path), exist_ok=True)
        elif item.kind == "file":
            target = unix_path(prefix, item.path)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(font_file(FONT_NAME) if item.data == "font" else f"demo file {item.path}\n".encode())
            if item.data == "read-only":
                # Wine keeps the DOS read-only attribute as a missing write permission.
                os.chmod(target, 0o444)
        elif item.kind == "key":
            keys.setdefault(item.path, {})["InstallDir"] = install_dir
        else:
            keys.setdefault(item.path, {})[item.value] = item.data if item.data is not None else install_dir
    with open(reg_file, "w", newline="\r\n") as f:
        f.write("REGEDIT4\n\n")
        for key, values in keys.items():
            f.write(f"[{key}]\n")
            for name, data in values.items():
                f.write('"{}"={}\n'.format(name.replace("\\", "\\\\"), reg_data(data)))
            f.write("\n")


def query_registry(key, value):
    """(present, data) of a key or value, read through the prefix's own reg.exe."""
    command = [WINE, "reg", "query", key] + (["/v", value] if value is not None else [])
    run = subprocess.run(command, capture_output=True, text=True, errors="replace")
    if run.returncode != 0:
        return False, None
    if value is None:
        return True, None
    for line in run.stdout.splitlines():
        parts = line.strip().split(None, 2) if value == "" else line.strip().rsplit(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            data = parts[2]
            return True, str(int(data, 16)) if parts[1] == "REG_DWORD" else data
    return True, None


def state(manifest, plan, prefix, install_dir, out_file):
    records = []
    for item in items(manifest, plan, install_dir):
        data = None
        if item.kind in ("file", "folder"):
            present = os.path.exists(unix_path(prefix, item.path))
        else:
            present, data = query_registry(item.path, item.value)
        records.append({"kind": item.kind, "name": item.name, "gone": item.gone, "note": item.note,
                        "present": present, "data": data if item.kind == "value" and item.path == SHARED_DLLS else None})
    with open(out_file, "w") as f:
        json.dump(records, f, indent=1)


def mark(record):
    if not record["present"]:
        return "-"
    return "there" if record.get("data") is None else f"there ({record['data']})"


def note(record):
    expected = "should go" if record["gone"] else "should stay"
    return f"{expected}; {record['note']}" if record["note"] else expected


def show(state_file):
    records = json.load(open(state_file))
    width = max(len(r["name"]) for r in records) + 2
    for record in records:
        print(f"  {record['name']:<{width}} {record['kind']:<7} {mark(record):<10} {note(record)}")
    return 0


def table(before_file, after_file):
    before = json.load(open(before_file))
    after = {r["name"]: r for r in json.load(open(after_file))}
    width = max(len(r["name"]) for r in before) + 2
    print(f"  {'item':<{width}} {'kind':<7} {'before':<10} {'after':<10} expected")
    removed = kept = wrong = 0
    for record in before:
        now = after[record["name"]]
        verdict = ""
        if not record["present"]:
            verdict = "  MISSING BEFORE THE RUN"
            wrong += 1
        elif record["gone"] == now["present"]:
            verdict = "  WRONG"
            wrong += 1
        elif record["gone"]:
            removed += 1
        else:
            kept += 1
        print(f"  {record['name']:<{width}} {record['kind']:<7} {mark(record):<10} {mark(now):<10} {note(record)}{verdict}")
    print(f"\n  removed as expected: {removed}; kept as expected: {kept}; not as expected: {wrong}")
    return 1 if wrong else 0


def main():
    if len(sys.argv) == 7 and sys.argv[1] in ("create", "state"):
        manifest = json.load(open(sys.argv[2]))
        plan = json.load(open(sys.argv[3]))
        (create if sys.argv[1] == "create" else state)(manifest, plan, sys.argv[4], sys.argv[5], sys.argv[6])
        return 0
    if len(sys.argv) == 3 and sys.argv[1] == "show":
        return show(sys.argv[2])
    if len(sys.argv) == 4 and sys.argv[1] == "table":
        return table(sys.argv[2], sys.argv[3])
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main())
