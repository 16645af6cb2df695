#!/usr/bin/env python3
"""Checks the layering of the source folders.

A folder includes only from itself and the folders below it, and only ui/, installer/ and widgets/ include
Qt Widgets headers. Prints each offending include and exits 1 when there is one.
"""
import pathlib
import re
import sys

# Lowest first; folders on one level may not include each other.
LAYERS = [
    ["platform"],
    ["proxy"],
    ["settings"],
    ["tester"],
    ["switching", "download", "syscheck", "judge"],
    ["app"],
    ["ui"],
]
# Quillet and the extension's bridge share nothing with orv beyond the platform layer and, for Quillet,
# the widget pieces that both programs' windows use.
EXTRA = {
    "installer": {"platform", "widgets", "installer"},
    "firefox": {"platform", "firefox"},
    "widgets": {"platform", "widgets"},
}
# ui/ stands above every layer of orv and the shared widget pieces.
ABOVE_WIDGETS = {"ui"}
WIDGET_FOLDERS = {"ui", "installer", "widgets"}
WIDGET_HEADER_DIRS = ["/usr/include/x86_64-linux-gnu/qt6/QtWidgets", "/usr/include/qt6/QtWidgets"]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def allowed_folders():
    allowed = {}
    for level, folders in enumerate(LAYERS):
        below = {f for lower in LAYERS[:level] for f in lower}
        for folder in folders:
            allowed[folder] = below | {folder}
    allowed.update(EXTRA)
    for folder in ABOVE_WIDGETS:
        allowed[folder] = allowed[folder] | {"widgets"}
    return allowed


def widget_headers():
    for d in WIDGET_HEADER_DIRS:
        path = pathlib.Path(d)
        if path.is_dir():
            return {p.name for p in path.iterdir()}
    sys.exit("check-layers: no QtWidgets headers found in " + ", ".join(WIDGET_HEADER_DIRS))


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    allowed = allowed_folders()
    widgets = widget_headers()
    faults = []
    for folder, may_include in sorted(allowed.items()):
        for source in sorted((root / folder).rglob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            text = source.read_text(encoding="utf-8", errors="replace")
            for kind, name in INCLUDE.findall(text):
                where = source.relative_to(root)
                if kind == '"' and "/" in name:
                    target = name.split("/", 1)[0]
                    if target in allowed and target not in may_include:
                        faults.append(f"{where}: includes {name} from a folder above it")
                elif kind == "<" and folder not in WIDGET_FOLDERS:
                    header = name.split("/")[-1]
                    if name.startswith("QtWidgets") or (name == header and header in widgets):
                        faults.append(f"{where}: includes the Qt Widgets header <{name}>")
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} include(s) break the layering", file=sys.stderr)
        return 1
    print("check-layers: every folder includes only from itself and below; widgets only in ui/, installer/ and widgets/")
    return 0


if __name__ == "__main__":
    sys.exit(main())
