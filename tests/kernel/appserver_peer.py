#!/usr/bin/python3
"""A stand-in application server for the tests of the workstation's exchange through a shared
folder. It watches FOLDER for requests, reads each one whole and answers by its role:

    appserver_peer.py FOLDER --role serve|fail|stall|absent --record FILE [options]
    appserver_peer.py --parse FILE      prints what a request file holds, as JSON

Requests (n in decimal): q<n>.bin a select, b<n>.bin an update batch. Taking a request renames it
to r<n>.bin; the answer is given by removing r<n>.bin:

    serve   a select gets its result q<n>.db, a SQLite file holding the table q<n> (the select run
            on --source, or an empty table without it; with --upper Q<n>.DB and a companion
            Q<n>.IDX); a batch is run on --source with --apply
    fail    q<n>.err / b<n>.err holding the --error lines (CR LF, or LF with --lf)
    stall   r<n>.bin stays: the request is never finished
    absent  nothing is ever taken

Each request taken adds one JSON line to the --record file before it is answered: the file name
and what it held (see read_request), or "error" when it could not be read. "ready" is printed once
the folder is watched. A request that cannot be read is answered with an error file.

Request files: one or more component resources, little-endian:
    0xFF, type (2 bytes) 10, name (upper-case class name, 0-terminated), flags (2 bytes),
    size (4 bytes), then `size` bytes of component stream:
        "TPF0", class name and component name as short strings (length byte + bytes),
        properties (short-string name + tagged value) up to an empty name, then a 0 byte
        (no children).
    Tags: 0x00 end, 0x01 list, 0x04 int32, 0x05 double, 0x06 string (1-byte length),
    0x07 ident, 0x08 false, 0x09 true, 0x0A binary (4-byte length), 0x0C long string
    (4-byte length), 0x0D nil, 0x0E collection (items: 0x01, properties, 0x00; ended by 0x00),
    0x10 int64.
    Properties: DatabaseName, SQL.Strings, Params (a select's), BigParams.BigData (a statement's):
        count (2 bytes), then per parameter: name length (2 bytes), name, parameter type (1),
        data type (1), and unless the data type is 0: value size (4 bytes, signed) and value
        (text + 0 byte; integer 4 bytes; boolean 2; float, currency, dates 8-byte doubles;
        blob raw), then the null flag (1) and the bound flag (1).
Texts are in the ANSI code page (--codepage, 1252 by default).
"""

import argparse
import base64
import json
import os
import re
import sqlite3
import struct
import sys
import time

CODEPAGE = "cp1252"

FIELD_TYPES = {0: "ftUnknown", 1: "ftString", 3: "ftInteger", 5: "ftBoolean", 6: "ftFloat",
               7: "ftCurrency", 9: "ftDate", 10: "ftTime", 11: "ftDateTime", 14: "ftAutoInc",
               15: "ftBlob", 16: "ftMemo", 17: "ftGraphic"}
TEXT_TYPES = {1, 16}
INT_TYPES = {3, 14}
DOUBLE_TYPES = {6, 7, 9, 10, 11}
BLOB_TYPES = {15, 17}


class Damaged(Exception):
    pass


class Reader:
    def __init__(self, data, base=0):
        self.data = data
        self.at = 0
        self.base = base

    def left(self):
        return len(self.data) - self.at

    def take(self, n, what):
        if n < 0 or n > self.left():
            raise Damaged("%s runs past the end at byte %d" % (what, self.base + self.at))
        part = self.data[self.at:self.at + n]
        self.at += n
        return part

    def unpack(self, fmt, what):
        return struct.unpack("<" + fmt, self.take(struct.calcsize("<" + fmt), what))[0]

    def short(self, what):
        return self.take(self.unpack("B", what), what)


def text(raw):
    return raw.decode(CODEPAGE)


def json_value(value):
    if isinstance(value, bytes):
        return {"base64": base64.b64encode(value).decode("ascii")}
    return value


def read_value(r, tag):
    if tag == 0x0D:
        return None
    if tag == 0x06:
        return text(r.short("a string"))
    if tag == 0x0C:
        return text(r.take(r.unpack("I", "a long string"), "a long string"))
    if tag == 0x07:
        return text(r.short("an ident"))
    if tag == 0x04:
        return r.unpack("i", "an int32")
    if tag == 0x10:
        return r.unpack("q", "an int64")
    if tag == 0x05:
        return r.unpack("d", "a double")
    if tag in (0x08, 0x09):
        return tag == 0x09
    if tag == 0x0A:
        return r.take(r.unpack("I", "a binary"), "a binary")
    raise Damaged("unexpected tag 0x%02x at byte %d" % (tag, r.base + r.at - 1))


def read_bigdata(raw):
    r = Reader(raw)
    params = []
    for _ in range(r.unpack("H", "the count")):
        p = {"name": text(r.take(r.unpack("H", "a name length"), "a name")),
             "paramtype": r.unpack("B", "a parameter type")}
        datatype = r.unpack("B", "a data type")
        if datatype not in FIELD_TYPES:
            raise Damaged("unknown data type %d" % datatype)
        p["datatype"] = datatype
        if datatype != 0:
            size = r.unpack("i", "a value size")
            raw_value = r.take(size, "a value")
            p["size"] = size
            if datatype in TEXT_TYPES:
                if not raw_value.endswith(b"\0"):
                    raise Damaged("a text without its 0 byte")
                p["value"] = text(raw_value[:-1])
            elif datatype in INT_TYPES:
                p["value"] = struct.unpack("<i", raw_value)[0]
            elif datatype == 5:
                p["value"] = struct.unpack("<H", raw_value)[0] != 0
            elif datatype in DOUBLE_TYPES:
                p["value"] = struct.unpack("<d", raw_value)[0]
            else:
                p["value"] = raw_value
        p["null"] = r.unpack("B", "a null flag") != 0
        p["bound"] = r.unpack("B", "a bound flag") != 0
        if p["null"]:
            p["value"] = None
        params.append(p)
    if r.left():
        raise Damaged("%d bytes after the parameters" % r.left())
    return params


def read_collection(r):
    items = []
    while True:
        tag = r.unpack("B", "an item tag")
        if tag == 0:
            return items
        if tag != 0x01:
            raise Damaged("an item starting with 0x%02x" % tag)
        item = {}
        while True:
            name = text(r.short("a property name"))
            if not name:
                break
            item[name] = read_value(r, r.unpack("B", "a tag"))
        items.append(item)


def read_component(raw, base):
    r = Reader(raw, base)
    if r.take(4, "the signature") != b"TPF0":
        raise Damaged("no TPF0 signature")
    c = {"class": text(r.short("the class name")), "name": text(r.short("the name")),
         "properties": []}
    while True:
        name = text(r.short("a property name"))
        if not name:
            break
        c["properties"].append(name)
        tag = r.unpack("B", "a tag")
        if name == "SQL.Strings":
            if tag != 0x01:
                raise Damaged("SQL.Strings is not a list")
            lines = []
            while True:
                item = r.unpack("B", "a list item")
                if item == 0:
                    break
                lines.append(read_value(r, item))
            c["sql"] = lines
        elif name == "Params":
            if tag != 0x0E:
                raise Damaged("Params is not a collection")
            c["params"] = [{"name": i.get("Name"), "datatype": i.get("DataType"),
                            "paramtype": i.get("ParamType"), **(
                                {"value": i["Value"]} if "Value" in i else {})}
                           for i in read_collection(r)]
        elif name == "BigParams.BigData":
            if tag != 0x0A:
                raise Damaged("BigData is not binary")
            c["bigdata"] = read_bigdata(r.take(r.unpack("I", "the BigData size"), "BigData"))
        elif name == "DatabaseName":
            c["database"] = read_value(r, tag)
        else:
            raise Damaged("unknown property %s" % name)
    if r.unpack("B", "the end of the children") != 0:
        raise Damaged("children are not expected")
    if r.left():
        raise Damaged("%d bytes after the component" % r.left())
    return c


def read_request(data):
    """Every component resource of a request file."""
    r = Reader(data)
    components = []
    if not data:
        raise Damaged("an empty request")
    while r.left():
        if r.unpack("B", "the marker") != 0xFF:
            raise Damaged("no resource marker")
        if r.unpack("H", "the resource type") != 10:
            raise Damaged("not a resource of type 10")
        name = b""
        while True:
            ch = r.take(1, "the resource name")
            if ch == b"\0":
                break
            name += ch
        flags = r.unpack("H", "the flags")
        size = r.unpack("I", "the size")
        base = r.at
        c = read_component(r.take(size, "the component"), base)
        if text(name) != c["class"].upper():
            raise Damaged("resource %s holds a %s" % (text(name), c["class"]))
        c["resource"] = text(name)
        c["flags"] = flags
        components.append(c)
    return components


def jsonable(obj):
    if isinstance(obj, dict):
        return {k: jsonable(v) for k, v in obj.items()}
    if isinstance(obj, list):
        return [jsonable(v) for v in obj]
    return json_value(obj)


# ---- answering --------------------------------------------------------------------------------

def declared_types(source):
    """Column name (upper case) -> declared type, over every table of the source."""
    types = {}
    for (table,) in source.execute("select name from sqlite_master where type = 'table'"):
        for row in source.execute('pragma table_info("%s")' % table.replace('"', '""')):
            types.setdefault(row[1].upper(), row[2])
    return types


def param_values(params):
    return {p["name"]: p.get("value") for p in params}


def write_result(folder, n, component, source, upper):
    """q<n>.db; with `upper` as a Windows server may name it, Q<n>.DB, beside a companion Q<n>.IDX."""
    stem = ("Q%d" if upper else "q%d") % n
    path = os.path.join(folder, stem + (".DB" if upper else ".db"))
    if os.path.exists(path):
        os.remove(path)
    if upper:
        with open(os.path.join(folder, stem + ".IDX"), "wb") as f:
            f.write(b"index")
    out = sqlite3.connect(path)
    table = stem
    if source is None:
        out.execute("create table %s (ID INTEGER)" % table)
    else:
        src = sqlite3.connect(source)
        cursor = src.execute("\n".join(component["sql"]), param_values(component.get("params", [])))
        rows = cursor.fetchall()
        names = [d[0] for d in cursor.description]
        types = declared_types(src)
        columns = []
        for i, name in enumerate(names):
            kind = types.get(name.upper())
            if not kind:
                sample = next((row[i] for row in rows if row[i] is not None), None)
                kind = {int: "INTEGER", float: "FLOAT", bytes: "BLOB"}.get(type(sample), "VARCHAR(255)")
            columns.append('"%s" %s' % (name, kind))
        out.execute("create table %s (%s)" % (table, ", ".join(columns)))
        out.executemany("insert into %s values (%s)" % (table, ",".join("?" * len(names))), rows)
        src.close()
    out.commit()
    out.close()


def apply_batch(components, source):
    db = sqlite3.connect(source)
    with db:
        for c in components:
            db.execute("\n".join(c["sql"]), param_values(c.get("bigdata", [])))
    db.close()


def answer(args, folder, name):
    kind, n = name[0].lower(), int(name[1:-4])
    work = os.path.join(folder, "r%d.bin" % n)
    if os.path.exists(work):
        return False  # another request of that number is being worked on
    os.rename(os.path.join(folder, name), work)
    with open(work, "rb") as f:
        data = f.read()
    record = {"file": name}
    try:
        record["components"] = read_request(data)
    except (Damaged, UnicodeDecodeError, struct.error) as e:
        record["error"] = str(e)
    with open(args.record, "a", encoding="utf-8") as f:
        f.write(json.dumps(jsonable(record)) + "\n")
    if args.role == "stall":
        return True
    error_lines = args.error if args.role == "fail" else None
    if "error" in record:
        error_lines = ["cannot read the request: " + record["error"]]
    elif args.role == "serve":
        try:
            if kind == "q":
                write_result(folder, n, record["components"][0], args.source, args.upper)
            elif args.apply:
                apply_batch(record["components"], args.source)
        except sqlite3.Error as e:
            error_lines = [str(e)]
    if error_lines is not None:
        end = "\n" if args.lf else "\r\n"
        with open(os.path.join(folder, "%s%d.err" % (kind, n)), "wb") as f:
            f.write(end.join(error_lines).encode(CODEPAGE) + end.encode())
    os.remove(work)
    return True


def main():
    global CODEPAGE
    parser = argparse.ArgumentParser()
    parser.add_argument("folder", nargs="?")
    parser.add_argument("--role", choices=["serve", "fail", "stall", "absent"], default="serve")
    parser.add_argument("--record")
    parser.add_argument("--source", help="SQLite file a select runs on and a batch is applied to")
    parser.add_argument("--apply", action="store_true", help="run a batch's statements on --source")
    parser.add_argument("--error", nargs="*", default=["Server error"])
    parser.add_argument("--lf", action="store_true")
    parser.add_argument("--upper", action="store_true", help="result files named in upper case")
    parser.add_argument("--codepage", default="1252")
    parser.add_argument("--parse")
    args = parser.parse_args()
    CODEPAGE = "cp" + args.codepage

    if args.parse:
        with open(args.parse, "rb") as f:
            data = f.read()
        try:
            print(json.dumps(jsonable({"components": read_request(data)})))
        except (Damaged, UnicodeDecodeError, struct.error) as e:
            print(json.dumps({"error": str(e)}))
        return 0

    request = re.compile(r"^[qb]\d+\.bin$", re.IGNORECASE)
    print("ready", flush=True)
    while True:
        if args.role != "absent":
            for name in sorted(os.listdir(args.folder)):
                if request.match(name):
                    answer(args, args.folder, name)
        time.sleep(0.005)


if __name__ == "__main__":
    sys.exit(main())
