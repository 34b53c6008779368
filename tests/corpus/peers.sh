#!/usr/bin/env bash
# Score peer tools on a layout table in the measures check.sh prints, where
# they apply: file(1) for text or data and the line terminator, DuckDB's CSV
# sniffer (the @duckdb/node-api package pinned in tests/engines) for the
# delimiter, quote, header row and header lines, and CleverCSV for the
# delimiter and quote.  None of them reports a record length or a trailer,
# so those measures print n/a.  Run by hand, to set korvalen's scores beside
# tools people already use; CI does not run it.
#
#   tests/corpus/peers.sh [CACHE_DIR] [TABLE]
#
# CACHE_DIR defaults to build/corpus, TABLE to layouts.tsv; a TABLE that is
# not a path to a file is looked for beside this script (heldout.tsv).  A
# tool that is missing is left out of the table with a note: file(1) comes
# with the tests' packages, DuckDB with `npm ci` in tests/engines and
# CleverCSV with python3-clevercsv (.ci/packages, line peers).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# Debian's python3-clevercsv is for the system's Python, which may not be
# the first python3 on PATH
py=python3
if ! python3 -c 'import clevercsv' 2>/dev/null && /usr/bin/python3 -c 'import clevercsv' 2>/dev/null; then
	py=/usr/bin/python3
fi
exec "$py" - "$here" "$root" "$@" <<'EOF'
import csv, json, os, shutil, subprocess, sys

here, root, args = sys.argv[1], sys.argv[2], sys.argv[3:]
# Absolute: DuckDB reads the paths from the engines directory.
cache = os.path.abspath(args[0]) if args else f"{root}/build/corpus"
table = f"{here}/layouts.tsv"
if len(args) >= 2:
    table = args[1] if os.path.isfile(args[1]) else f"{here}/{args[1]}"
if not os.path.isfile(table) or not os.path.isdir(f"{cache}/files"):
    sys.exit(f"peers.sh: need a table ({table}) and its collected files in {cache}/files")
rows = list(csv.DictReader(open(table, newline=""), delimiter="\t", quoting=csv.QUOTE_NONE))
path = lambda r: f"{cache}/files/{r['id']}"
rows = [r for r in rows if os.path.exists(path(r))]

def want(field, text):
    if text == "-":
        return None
    if field == "delimiter":
        return {"\\t": "\t", "space": " "}.get(text, text)
    if field == "header_row":
        return text == "true"
    if field == "header_length":
        return int(text)
    return text

def run_file():
    if not shutil.which("file"):
        return None
    out = {}
    for r in rows:
        said = subprocess.run(["file", "-b", path(r)], capture_output=True, text=True).stdout
        text = " text" in said or said.startswith("CSV")
        term = ("CRLF" if "with CRLF" in said else "CR" if "with CR line" in said else "LF") if text else None
        out[r["id"]] = {"text": text, "terminator": term}
    return out

def run_duckdb():
    engines = f"{root}/tests/engines"
    if not shutil.which("node") or not os.path.isdir(f"{engines}/node_modules/@duckdb/node-api"):
        return None
    feed = "".join(path(r) + "\n" for r in rows)
    done = subprocess.run(["node", "duckdb_sniff.mjs"], cwd=engines, input=feed, capture_output=True, text=True)
    out = {}
    for line in done.stdout.splitlines():
        v = json.loads(line)
        rid = os.path.basename(v["path"])
        if "error" in v:
            out[rid] = {}
            continue
        with open(v["path"], "rb") as f:
            head = f.read(1 << 20).split(b"\n")
        skip = int(v["SkipRows"])
        one_column = int(v["ncols"]) <= 1
        out[rid] = {
            "delimiter": None if one_column else v["Delimiter"],
            "quote": None if v["Quote"] in ("(empty)", "") else v["Quote"],
            "header_row": bool(v["HasHeader"]) and not one_column,
            "header_length": sum(len(l) + 1 for l in head[:skip]),
        }
    return out

def run_clevercsv():
    try:
        import clevercsv
    except ImportError:
        return None
    out = {}
    for r in rows:
        if r["layout"] != "lines":
            continue
        enc = {"latin-1": "latin-1", "ascii": "utf-8", "utf-8": "utf-8-sig"}.get(r["encoding"], "latin-1")
        with open(path(r), "rb") as f:
            sample = f.read(20000).decode(enc, errors="replace")
        try:
            d = clevercsv.Detector().detect(sample)
        except Exception:
            d = None
        out[r["id"]] = {} if d is None else {"delimiter": d.delimiter or None, "quote": d.quotechar or None}
    return out

MEASURES = [  # title, rows it counts, field (None: the peers report nothing)
    ("record length, fixed-record files", lambda r: r["layout"] == "fixed-length", None),
    ("header length", lambda r: True, "header_length"),
    ("terminator, text files", lambda r: r["layout"] == "lines", "terminator"),
    ("delimiter (or none), text files", lambda r: r["layout"] == "lines", "delimiter"),
    ("no single length claimed, records vary", lambda r: r["record_length"] == "-", None),
    ("quote (or none), text files", lambda r: r["layout"] == "lines", "quote"),
    ("header row, text files", lambda r: r["layout"] == "lines", "header_row"),
    ("trailer length", lambda r: True, None),
    ("text or data, all files", lambda r: True, "text"),
]
REPORTS = {"file": {"terminator", "text"},
           "duckdb": {"delimiter", "quote", "header_row", "header_length"},
           "clevercsv": {"delimiter", "quote"}}
tools = {"file": run_file(), "duckdb": run_duckdb(), "clevercsv": run_clevercsv()}
for name, got in tools.items():
    if got is None:
        print(f"note: {name} is not available; its column is left empty")

def expected(r, field):
    if field == "text":
        return r["layout"] == "lines"
    return None if r[field] == "?" else want(field, r[field])

print(f"{os.path.basename(table)}: {len(rows)} files")
print("measure".ljust(42) + "".join(t.ljust(18) for t in tools))
for title, counts, field in MEASURES:
    cells = []
    for name, got in tools.items():
        if field is None or field not in REPORTS[name]:
            cells.append("n/a")
            continue
        if got is None:
            cells.append("-")
            continue
        ok = n = 0
        for r in rows:
            if not counts(r) or (field != "text" and r[field] == "?"):
                continue
            n += 1
            ok += got.get(r["id"], {}).get(field, "(none)") == expected(r, field)
        cells.append(f"{ok}/{n} ({ok / n:.0%})" if n else "0/0")
    print(title.ljust(42) + "".join(c.ljust(18) for c in cells))
EOF
