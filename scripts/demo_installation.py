#!/usr/bin/env python3
"""The demo's sample installation, made from a packer manifest inside a Wine prefix.

  demo_installation.py create MANIFEST PLAN PREFIX INSTALL_DIR REG_FILE
      writes every file, folder and shortcut the manifest lists, a file for each clean-up pattern to
      match, and a few things the manifest does not list (they must stay); writes REG_FILE, a
      registry file of the manifest's keys and values for `reg import`.
  demo_installation.py state MANIFEST PLAN PREFIX INSTALL_DIR OUT.json
      records which of those items exist (registry items through `scripts/wine reg query`).
  demo_installation.py show STATE.json
      prints one record.
  demo_installation.py table BEFORE.json AFTER.json
      prints both records side by side.

PLAN is `uninstpack plan UNINSTALLER --install-dir INSTALL_DIR --json`: every path comes from it, so
the demo makes exactly the paths the uninstaller builds (this script restates none of its rules).
Only drive C: paths and HKCU entries are made; patterns with folder tokens are left out.
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
                paths.setdefault(item["entry"], item["path"])
    return paths


def items(manifest, plan, install_dir):
    """(kind, path, value, listed): the installation's items, then things it must leave alone."""
    out = []
    files = plan_paths(plan, "files")
    for i, entry in enumerate(manifest.get("files", [])):
        out.append(("file" if entry.get("name") else "folder", files[f"files[{i}]"], None, True))
    shortcut_files = plan_paths(plan, "shortcutFiles")
    shortcut_folders = plan_paths(plan, "shortcutFolders")
    for i, entry in enumerate(manifest.get("shortcuts", [])):
        if entry.get("levels", 0) > 0:
            out.append(("folder", shortcut_folders[f"shortcuts[{i}]"], None, True))
        out.append(("file", shortcut_files[f"shortcuts[{i}]"], None, True))
    pattern_folders = plan_paths(plan, "patterns")
    for i, pattern in enumerate(manifest.get("patterns", [])):
        if "#" in pattern:
            continue
        mask = pattern.rsplit("\\", 1)[-1]
        match = mask.replace("*", "demo").replace("?", "x")
        out.append(("file", windows_join(pattern_folders[f"patterns[{i}]"], match), None, True))
    for entry in manifest.get("registry", []):
        root = ROOTS.get(entry["root"])
        if not root:
            continue
        key = root + "\\" + entry["key"]
        if "value" in entry:
            out.append(("value", key, entry["value"], True))
            out.append(("value", key, OTHER_VALUE, False))
        else:
            out.append(("key", key, None, True))
    # The uninstaller itself: gone after the run, deleted by its batch once its process has ended.
    out.append(("file", windows_join(install_dir.rstrip("\\"), "uninstall.exe"), None, True))
    out.append(("file", windows_join(install_dir.rstrip("\\"), "my notes.txt"), None, False))
    out.append(("file", "C:\\Program Files\\Other App\\other.exe", None, False))
    return out


def create(manifest, plan, prefix, install_dir, reg_file):
    keys = {}
    for kind, path, value, _listed in items(manifest, plan, install_dir):
        if kind == "folder":
            os.makedirs(unix_path(prefix, path), exist_ok=True)
        elif kind == "file":
            target = unix_path(prefix, path)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "w") as f:
                f.write(f"demo file {path}\n")
        elif kind == "key":
            keys.setdefault(path, {})["InstallDir"] = install_dir
        else:
            keys.setdefault(path, {})[value] = install_dir
    with open(reg_file, "w", newline="\r\n") as f:
        f.write("REGEDIT4\n\n")
        for key, values in keys.items():
            f.write(f"[{key}]\n")
            for name, data in values.items():
                f.write('"{}"="{}"\n'.format(name, data.replace("\\", "\\\\")))
            f.write("\n")


def exists_in_registry(key, value):
    command = [WINE, "reg", "query", key] + (["/v", value] if value is not None else [])
    return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def state(manifest, plan, prefix, install_dir, out_file):
    records = []
    for kind, path, value, listed in items(manifest, plan, install_dir):
        if kind in ("file", "folder"):
            present = os.path.exists(unix_path(prefix, path))
        else:
            present = exists_in_registry(path, value)
        name = path if value is None else f"{path} : {value}"
        records.append({"kind": kind, "name": name, "listed": listed, "present": present})
    with open(out_file, "w") as f:
        json.dump(records, f, indent=1)


def show(state_file):
    records = json.load(open(state_file))
    width = max(len(r["name"]) for r in records) + 2
    for record in records:
        note = "" if record["listed"] else "not listed: must stay"
        present = "there" if record["present"] else "-"
        print(f"  {record['name']:<{width}} {record['kind']:<7} {present:<8} {note}")
    return 0


def table(before_file, after_file):
    before = json.load(open(before_file))
    after = {r["name"]: r for r in json.load(open(after_file))}
    width = max(len(r["name"]) for r in before) + 2
    print(f"  {'item':<{width}} {'kind':<7} {'before':<8} {'after':<8} note")
    removed = kept_listed = bad = 0
    for record in before:
        now = after[record["name"]]["present"]
        note = ""
        if not record["listed"]:
            note = "not listed: must stay"
            if record["present"] and not now:
                note = "NOT LISTED BUT REMOVED"
                bad += 1
        elif record["present"] and not now:
            removed += 1
        elif now:
            kept_listed += 1
        mark = lambda present: "there" if present else "-"
        print(f"  {record['name']:<{width}} {record['kind']:<7} {mark(record['present']):<8} {mark(now):<8} {note}")
    print(f"\n  listed items removed: {removed}; listed items still there: {kept_listed}; "
          f"unlisted items removed: {bad}")
    return 1 if bad else 0


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
