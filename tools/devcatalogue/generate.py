#!/usr/bin/env python3
"""Writes the device parameter catalogue's constant tables (analysers/devcatalogue_rows.cpp) from
catalogue.txt, where its lists stand as they were written down.

    generate.py [--output FILE]

The lists are read strictly: anything that does not fit their form, a device whose rows do not
match its count or its MDEVDATA_ID range, or a telling row that differs from the lists, stops the
generator with a message and writes nothing. The telling rows also give the only factors that
are not 1.
"""

import argparse
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SOURCE = os.path.join(HERE, "catalogue.txt")
TARGET = os.path.join(ROOT, "analysers", "devcatalogue_rows.cpp")


class CatalogueError(Exception):
    pass


def sections(path):
    """The file's sections: name -> list of (line number, text)."""
    found = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            m = re.fullmatch(r"\[(.+)\]", line)
            if m:
                current = found.setdefault(m.group(1), [])
                continue
            if current is None:
                raise CatalogueError(f"line {number}: text before the first section")
            current.append((number, line))
    for name in ("devices", "parameters", "telling rows", "urilux template"):
        if name not in found:
            raise CatalogueError(f"no section [{name}]")
    return found


def table_cells(line):
    if not (line.startswith("|") and line.endswith("|")):
        raise CatalogueError(f"not a table row: {line}")
    return [c.strip() for c in line[1:-1].split("|")]


def quoted_or_empty(cell):
    if cell == "(empty)":
        return ""
    m = re.fullmatch(r'"([^"]*)"', cell)
    if not m:
        raise CatalogueError(f"neither a quoted text nor (empty): {cell}")
    return m.group(1)


def split_outside_quotes(text, separator):
    parts, current, quoted = [], [], False
    i = 0
    while i < len(text):
        if text[i] == '"':
            quoted = not quoted
        if not quoted and text.startswith(separator, i):
            parts.append("".join(current))
            current = []
            i += len(separator)
            continue
        current.append(text[i])
        i += 1
    if quoted:
        raise CatalogueError(f"unbalanced quotes: {text}")
    parts.append("".join(current))
    return parts


def read_devices(lines):
    """[(device, MDEV name or None, row count)] in the order of the table."""
    devices = []
    for number, line in lines:
        cells = table_cells(line)
        if len(cells) != 5:
            raise CatalogueError(f"line {number}: 5 cells expected")
        if not cells[0].isdigit():  # the heading and the rule under it
            continue
        name = None if cells[1] == "(no `MDEV` row)" else quoted_or_empty(cells[1])
        devices.append((int(cells[0]), name, int(cells[3])))
    return devices


def read_entry(device, entry):
    m = re.fullmatch(r"(\d+) ([^:]*?)(?:: (.*))?", entry)
    if not m:
        raise CatalogueError(f"device {device}: cannot read the entry '{entry}'")
    code, visible = m.group(2), True
    if code.endswith("*"):
        code, visible = code[:-1], False
    if code == "(empty code)":
        code = ""
    if code != code.strip() or "*" in code or '"' in code:
        raise CatalogueError(f"device {device}: odd code '{code}'")
    name = dim = ""
    if m.group(3) is not None:
        texts = re.fullmatch(r'"([^"]*)"(?:, "([^"]*)")?', m.group(3))
        if not texts:
            raise CatalogueError(f"device {device}: cannot read the texts of '{entry}'")
        name, dim = texts.group(1), texts.group(2) or ""
    return {"device": device, "number": int(m.group(1)), "code": code, "visible": visible,
            "name": name, "dim": dim, "scale": 1}


def read_parameters(lines):
    rows = []
    for number, line in lines:
        m = re.fullmatch(r"- Device (\d+) \(`MDEVDATA_ID` (\d+)-(\d+)\): (.*)\.", line)
        if not m:
            raise CatalogueError(f"line {number}: not a device's list")
        device, first, last = int(m.group(1)), int(m.group(2)), int(m.group(3))
        if first != len(rows) + 1:
            raise CatalogueError(f"device {device} starts at {first}, not at {len(rows) + 1}")
        entries = [read_entry(device, e) for e in split_outside_quotes(m.group(4), "; ")]
        numbers = [e["number"] for e in entries]
        if numbers != sorted(set(numbers)):
            raise CatalogueError(f"device {device}: numbers not ascending")
        if first + len(entries) - 1 != last:
            raise CatalogueError(f"device {device}: {len(entries)} rows for {first}-{last}")
        rows.extend(entries)
    for i, row in enumerate(rows, 1):
        row["id"] = i
    return rows


def apply_telling_rows(lines, rows):
    for number, line in lines:
        cells = table_cells(line)
        if len(cells) != 8:
            raise CatalogueError(f"line {number}: 8 cells expected")
        if not cells[0].isdigit():
            continue
        row = rows[int(cells[0]) - 1]
        told = {"device": int(cells[1]), "number": int(cells[2]), "name": quoted_or_empty(cells[3]),
                "code": quoted_or_empty(cells[4]), "visible": {"true": True, "false": False}[cells[5]],
                "dim": quoted_or_empty(cells[7])}
        for key, value in told.items():
            if row[key] != value:
                raise CatalogueError(f"row {row['id']}: {key} is {row[key]!r} in the lists, "
                                     f"{value!r} in the telling rows")
        row["scale"] = int(cells[6])


def read_template(lines):
    template = []
    for number, line in lines:
        m = re.fullmatch(r'(\d+)\. "([^"]*)"', line)
        if not m or int(m.group(1)) != len(template) + 1:
            raise CatalogueError(f"line {number}: not the next template line")
        template.append(m.group(2))
    return template


def literal(text):
    return 'u"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def render(devices, rows, template):
    mdev = [(d, name) for d, name, _ in devices if name is not None]
    names = {d: name for d, name, _ in devices}
    out = [
        "// The device parameter catalogue's rows and the URILUX report template. Generated by",
        "// tools/devcatalogue/generate.py from tools/devcatalogue/catalogue.txt: change those, then",
        "// run the generator; never edit this file.",
        '#include "devcatalogue.h"',
        "",
        "// clang-format off",
        f"constinit const std::array<TMDevRow, {len(mdev)}> MDEV{{{{",
    ]
    out += [f"    {{{d}, {literal(name)}}}," for d, name in mdev]
    out += ["}};", "", f"constinit const std::array<TMDevDataRow, {len(rows)}> MDEVDATA{{{{"]
    device = None
    for r in rows:
        if r["device"] != device:
            device = r["device"]
            out.append(f"    // {device}: {names[device] or '(no MDEV row)'}")
        out.append(f"    {{{r['id']}, {r['device']}, {r['number']}, {literal(r['name'])}, "
                   f"{literal(r['code'])}, {'true' if r['visible'] else 'false'}, "
                   f"{r['scale']}.0, {literal(r['dim'])}}},")
    out += ["}};", "",
            f"constinit const std::array<QStringView, {len(template)}> UriluxTemplateLines{{{{"]
    out += [f"    {literal(t)}," for t in template]
    out += ["}};", "// clang-format on", ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=TARGET)
    args = parser.parse_args()
    try:
        found = sections(SOURCE)
        devices = read_devices(found["devices"])
        rows = read_parameters(found["parameters"])
        apply_telling_rows(found["telling rows"], rows)
        template = read_template(found["urilux template"])
        for device, _, count in devices:
            have = sum(1 for r in rows if r["device"] == device)
            if have != count:
                raise CatalogueError(f"device {device}: {have} rows, {count} announced")
        if {r["device"] for r in rows} - {d for d, _, _ in devices}:
            raise CatalogueError("rows of a device the table does not list")
    except CatalogueError as e:
        sys.exit(f"{SOURCE}: {e}")
    text = render(devices, rows, template)
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
