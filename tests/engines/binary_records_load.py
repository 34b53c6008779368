"""Runs korvalen's pandas recipe for EBCDIC records of one length, with zoned
and packed decimal, binary integers and text, in real pandas, and checks
that every field decodes to the value the file was made from.

usage: binary_records_load.py KORVALEN
"""
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

SKIP = 77

RECORDS = 50
NAMES = ["SMITH", "JONES", "MILLER", "DAVIS", "GARCIA", "WILSON", "MOORE", "LEE"]
CITIES = ["PARIS", "LONDON", "ROME", "OSLO", "BERLIN"]


def pandas_python():
    """An interpreter that has pandas: this one, or Debian's."""
    for python in (sys.executable, "/usr/bin/python3"):
        if python and os.path.exists(python) and subprocess.run(
                [python, "-c", "import pandas"], capture_output=True).returncode == 0:
            return python
    return None


def zoned(value, width, signed):
    digits = str(abs(value)).rjust(width, "0")
    field = bytearray(0xF0 | int(digit) for digit in digits)
    if signed:
        field[-1] = (0xD0 if value < 0 else 0xC0) | int(digits[-1])
    return bytes(field)


def packed(value, width):
    digits = [int(d) for d in str(abs(value)).rjust(width * 2 - 1, "0")]
    nibbles = digits + [0xD if value < 0 else 0xC]
    return bytes(nibbles[at] << 4 | nibbles[at + 1] for at in range(0, len(nibbles), 2))


# Each field: where it lies, the type korvalen must name, and how it is made.
FIELDS = [
    (0, 10, "text", lambda r: r.choice(NAMES), lambda v: v.ljust(10).encode("cp037")),
    (10, 15, "zoned_decimal", lambda r: r.randint(0, 99999), lambda v: zoned(v, 5, False)),
    (15, 17, "text", lambda r: r.choice(["A", "B"]), lambda v: v.ljust(2).encode("cp037")),
    (17, 21, "zoned_decimal", lambda r: r.randint(-9999, 9999), lambda v: zoned(v, 4, True)),
    (21, 25, "packed_decimal", lambda r: r.randint(-999999, 999999), lambda v: packed(v, 4)),
    (25, 27, "packed_decimal", lambda r: r.randint(0, 999), lambda v: packed(v, 2)),
    (27, 31, "integer", None, lambda v: struct.pack(">i", v)),
    (31, 33, "integer", lambda r: r.randint(-300, 300), lambda v: struct.pack("<h", v)),
    (33, 41, "text", lambda r: r.choice(CITIES), lambda v: v.ljust(8).encode("cp037")),
]


def make_file(path):
    rng = random.Random(7)
    values = {start: [] for start, *_ in FIELDS}
    with open(path, "wb") as out:
        for record in range(RECORDS):
            for start, _, _, draw, encode in FIELDS:
                value = 1000 + record * 7 if draw is None else draw(rng)
                values[start].append(value)
                out.write(encode(value))
    return values


def main():
    korvalen = sys.argv[1]
    python = pandas_python()
    if python is None:
        print("SKIP: pandas is not installed (Debian's python3-pandas)")
        return SKIP
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "export.dat")
        values = make_file(path)
        survey = json.loads(subprocess.run([korvalen, "--json", path], capture_output=True,
                                           check=True, text=True).stdout)
        columns = {(c["start"], c["end"]): c for c in survey["columns"] or []}
        recipe = subprocess.run([korvalen, "--schema", "pandas", path], capture_output=True,
                                check=True, text=True).stdout
        runner = recipe + "\nimport json\nprint(json.dumps(df.to_dict('list'), default=str))\n"
        loaded = subprocess.run([python, "-"], input=runner, capture_output=True, text=True,
                                cwd=folder)
        if loaded.returncode != 0:
            print("the recipe failed:\n" + recipe + loaded.stderr)
            return 1
        frame = json.loads(loaded.stdout)
        faults = []
        for start, end, kind, _, _ in FIELDS:
            column = columns.get((start, end))
            if column is None or column["type"] != kind:
                faults.append("%d-%d: %s expected, found %s" % (start, end, kind, column))
            elif frame[column["name"]] != values[start]:
                faults.append("%d-%d: values differ: %s" % (start, end, frame[column["name"]][:5]))
        for duckdb_or_frictionless in ("duckdb", "frictionless"):
            refused = subprocess.run([korvalen, "--schema", duckdb_or_frictionless, path],
                                     capture_output=True, text=True)
            if refused.returncode != 2 or refused.stdout or refused.stderr.count("\n") != 1:
                faults.append("%s: not refused in one line with status 2" % duckdb_or_frictionless)
        print("\n".join(faults) or "every field decoded as made")
        return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
