#!/usr/bin/env python3
"""Checks manifests against docs/manifest.schema.json, as an editor that knows the schema would.

    scripts/validate-manifest.py [--schema SCHEMA] MANIFEST.json...

Prints one line per manifest, "ok FILE" or "invalid FILE: JSON-PATH: REASON" (the first reason),
and exits with 0 when every manifest is valid, 1 when one is not, 2 when the schema itself is
malformed or jsonschema is missing (Debian: apt install python3-jsonschema). Comments (// and
/* */) are allowed in manifests, as the packer allows them.
The schema checks the shape only: `uninstpack check` checks what the uninstaller would do.
"""
import json
import os
import sys

try:
    import jsonschema
except ImportError:
    print("validate-manifest: the Python module jsonschema is missing (apt install python3-jsonschema)",
          file=sys.stderr)
    sys.exit(2)


def without_comments(text):
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if c == '"':
            j = i + 1
            while j < n and text[j] != '"':
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
            out.append(" ")
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_manifest(path):
    with open(path, encoding="utf-8") as f:
        return json.loads(without_comments(f.read()))


def where(error):
    parts = []
    for part in error.absolute_path:
        parts.append(f"[{part}]" if isinstance(part, int) else ("." if parts else "") + str(part))
    return "".join(parts) or "(document)"


def main(argv):
    schema_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "manifest.schema.json")
    if len(argv) > 1 and argv[0] == "--schema":
        schema_path, argv = argv[1], argv[2:]
    if not argv:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    try:
        jsonschema.Draft202012Validator.check_schema(schema)
    except jsonschema.exceptions.SchemaError as e:
        print(f"validate-manifest: {schema_path}: not a valid schema: {e.message}", file=sys.stderr)
        return 2
    validator = jsonschema.Draft202012Validator(schema)
    bad = 0
    for path in argv:
        try:
            manifest = read_manifest(path)
        except (OSError, ValueError) as e:
            print(f"invalid {path}: (document): {e}")
            bad += 1
            continue
        errors = sorted(validator.iter_errors(manifest), key=lambda e: list(e.absolute_path))
        if errors:
            print(f"invalid {path}: {where(errors[0])}: {errors[0].message}")
            bad += 1
        else:
            print(f"ok {path}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
