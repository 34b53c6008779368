#!/usr/bin/env bash
# Survey every collected corpus file with korvalen and compare what it finds
# with the layout documented in a layout table.
#
#   tests/corpus/check.sh [--require-KEY FRACTION]... KORVALEN [CACHE_DIR] [TABLE]
#
# CACHE_DIR defaults to build/corpus, TABLE to layouts.tsv; a TABLE that is
# not a path to a file is looked for beside this script (heldout.tsv).
#
# KEY is one of record-length, header-length, terminator, delimiter, varying
# (the totals printed at the end).  Without --require options the script
# reports and exits 0; with them it exits 1 when a share falls short.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exec python3 - "$here" "$root/build/corpus" "$@" <<'EOF'
import csv, json, os, shutil, subprocess, sys

here, cache, args = sys.argv[1], sys.argv[2], sys.argv[3:]
TOTALS = {  # key: (title, rows it counts, field compared)
    "record-length": ("record length, fixed-record files", lambda r: r["layout"] == "fixed-length", "record_length"),
    "header-length": ("header length", lambda r: True, "header_length"),
    "terminator": ("terminator, text files", lambda r: r["layout"] == "lines", "terminator"),
    "delimiter": ("delimiter (or none), text files", lambda r: r["layout"] == "lines", "delimiter"),
    "varying": ("no single length claimed, records vary", lambda r: r["record_length"] == "-", "record_length"),
}
SHOWN = ["encoding", "layout", "terminator", "record_length", "header_length",
         "trailer_length", "delimiter", "header_row"]
OTHER = ["records", "quote", "fields"]

def die(message):
    print(message, file=sys.stderr)
    sys.exit(2)

required, rest = {}, []
while args:
    a = args.pop(0)
    if a.startswith("--require-") and a[10:] in TOTALS and args:
        try:
            required[a[10:]] = float(args.pop(0))
        except ValueError:
            die(f"check.sh: {a} takes a fraction such as 0.9")
    elif a.startswith("-"):
        die(f"check.sh: unknown option {a}; --require-KEY takes one of {', '.join(TOTALS)}")
    else:
        rest.append(a)
if not 1 <= len(rest) <= 3:
    die("usage: check.sh [--require-KEY FRACTION]... KORVALEN [CACHE_DIR] [TABLE]")
korvalen = shutil.which(rest[0])
cache = rest[1] if len(rest) >= 2 and rest[1] else cache
table = f"{here}/layouts.tsv"
if len(rest) == 3:
    table = rest[2] if os.path.isfile(rest[2]) else f"{here}/{rest[2]}"
    if not os.path.isfile(table):
        die(f"check.sh: no table {rest[2]}, neither there nor in {here}")
if not korvalen:
    die(f"check.sh: {rest[0]} is not an executable program")
if not os.path.isdir(f"{cache}/files"):
    die(f"check.sh: no corpus in {cache}: run tests/corpus/collect.sh {cache}"
        + (f" {rest[2]}" if len(rest) == 3 else "") + " first")

def expected(field, text):
    """The table's cell as the JSON value it stands for; None stands for '-'."""
    if text == "-":
        return None
    if field == "delimiter":
        return {"\\t": "\t", "space": " "}.get(text, text)
    if field == "header_row":
        return text == "true"
    if field in ("record_length", "header_length", "trailer_length", "records", "fields"):
        return int(text)
    return text

def survey(path):
    try:
        run = subprocess.run([korvalen, "--survey", "--json", path], stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired) as e:
        return {"error": str(e)}
    try:
        found = json.loads(run.stdout)
    except ValueError:
        why = run.stderr.decode(errors="replace").strip().splitlines()[-1:] or [""]
        return {"error": f"exit {run.returncode}, no JSON: {why[0][:80]}"}
    found = found[0] if isinstance(found, list) and found else found
    return found if isinstance(found, dict) else {"error": "JSON is not an object"}

def cell(v):
    if v is None or isinstance(v, bool):
        return {None: "-", True: "true", False: "false"}[v]
    return {"\t": "\\t", " ": "space"}.get(v, str(v)) if isinstance(v, str) else str(v)

def shown(found, f):
    return cell(found[f]) if f in found else "(none)"

rows = list(csv.DictReader(open(table, newline=""), delimiter="\t", quoting=csv.QUOTE_NONE))
try:
    have = dict(l.split("\t") for l in open(f"{cache}/versions.tsv").read().splitlines())
    for r in rows:
        if have.get(r["package"], r["version"]) != r["version"]:
            print(f"note: {r['id']}: table written for {r['package']} {r['version']}, cache holds {have[r['package']]}")
except OSError:
    pass

width = [24] + [max(len(f), 12) + 2 for f in SHOWN]
print("".join(h.ljust(w) for h, w in zip(["file"] + SHOWN, width)))
score = {k: [0, 0] for k in TOTALS}
for r in rows:
    path = f"{cache}/files/{r['id']}"
    found = survey(path) if os.path.exists(path) else {"error": "not collected"}
    if found.get("error"):
        print(f"{r['id']}: error: {found['error']}")
    right = {}
    for f in SHOWN + OTHER:
        if r[f] != "?":
            right[f] = f in found and expected(f, r[f]) == found[f]
    print("".join(c.ljust(w) for c, w in zip([r["id"]] + [r[f] for f in SHOWN], width)))
    print("".join(c.ljust(w) for c, w in zip(
        ["  found"] + [shown(found, f) + ("" if right.get(f, True) else " *") for f in SHOWN], width)))
    wrong = [f"{f} {r[f]} vs {shown(found, f)}" for f in OTHER if not right.get(f, True)]
    if wrong:
        print("  also differs: " + "; ".join(wrong))
    for k, (title, counts, f) in TOTALS.items():
        if counts(r) and f in right:
            score[k][1] += 1
            score[k][0] += right[f]

failed = False
print()
for k, (title, _, _) in TOTALS.items():
    ok, n = score[k]
    share = ok / n if n else 1.0
    need = required.get(k)
    short = need is not None and share < need
    failed |= short
    print(f"{title}: {ok}/{n} ({share:.0%})" + (f", below the required {need:.0%}" if short else ""))
sys.exit(1 if failed else 0)
EOF
