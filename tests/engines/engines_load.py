"""Loads files by korvalen's recipes in the real engines and checks that
each engine gets korvalen's records: as many rows (the row of names not
counted), the columns under korvalen's names, of the types it names.

usage: engines_load.py ENGINE KORVALEN SOURCE_DIR
       engines_load.py --measure KORVALEN FILE...

ENGINE is duckdb or frictionless (the Frictionless Data project's own
JavaScript library, datapackage), both through tests/engines/node_modules,
which `npm ci` in tests/engines installs, or pandas. The first form loads
the project's text fixtures (examples/, the survey cases' files, a few
generated here) and fails on any difference; the second loads the files
named in every engine and prints how many each loads, and how many load
alike in all, without failing.
"""
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77
# A fault that is the engine's or the format's limit, not the recipe's:
# what the standard allows and the library does not read, or a layout the
# standard has no words for.
LIMIT = "cannot: "
DUCKDB_TYPES = {"integer": ("BIGINT",), "decimal": ("DECIMAL", "DOUBLE"), "float": ("DOUBLE",),
                "date": ("DATE",), "time": ("TIME",), "datetime": ("TIMESTAMP",),
                "boolean": ("BOOLEAN",), "text": ("VARCHAR",)}
PANDAS_TYPES = {"integer": ("Int64",), "decimal": ("float64",), "float": ("float64",),
                "date": ("datetime64",), "time": ("object",), "datetime": ("datetime64",),
                "boolean": ("boolean",), "text": ("object", "string")}
FRICTIONLESS_TYPES = {"integer": ("integer",), "decimal": ("number",), "float": ("number",),
                      "date": ("date",), "time": ("time",), "datetime": ("datetime",),
                      "boolean": ("boolean",), "text": ("string",)}
TYPES = {"duckdb": DUCKDB_TYPES, "pandas": PANDAS_TYPES, "frictionless": FRICTIONLESS_TYPES}
ENGINES = ("duckdb", "pandas", "frictionless")
# The encodings DuckDB's CSV reader takes (as korvalen names them); for the
# others it has no recipe, which is the engine's limit.
DUCKDB_ENCODINGS = ("ascii", "utf-8", "utf-16le", "latin-1", "windows-1252")
NODE_PACKAGES = {"duckdb": ("@duckdb", "node-api"), "frictionless": ("datapackage",)}
NODE_RUNNERS = {"duckdb": "duckdb_load.mjs", "frictionless": "frictionless_load.mjs"}

PANDAS_RUNNER = r"""
import json, sys
namespace = {}
try:
    exec(sys.stdin.read(), namespace)
    df = namespace["df"]
    print(json.dumps({"rows": len(df), "columns": [
        {"name": str(name), "type": str(kind)} for name, kind in df.dtypes.items()]}))
except Exception as error:
    print(json.dumps({"error": "%s: %s" % (type(error).__name__, error)}))
"""


def pandas_python():
    """An interpreter that has pandas: this one, or Debian's."""
    for python in (sys.executable, "/usr/bin/python3"):
        if python and os.path.exists(python) and subprocess.run(
                [python, "-c", "import pandas"], capture_output=True).returncode == 0:
            return python
    return None


def engine_ready(engine):
    if engine == "pandas":
        return None if pandas_python() else "pandas is not installed (Debian's python3-pandas)"
    if not shutil.which("node"):
        return "node is not installed (Debian's nodejs)"
    package = NODE_PACKAGES[engine]
    if not os.path.isdir(os.path.join(HERE, "node_modules", *package)):
        return "%s is not installed: run npm ci in tests/engines" % "/".join(package)
    return None


def run_recipe(engine, recipe, folder):
    if engine == "pandas":
        command = [pandas_python(), "-c", PANDAS_RUNNER]
    else:
        command = ["node", os.path.join(HERE, NODE_RUNNERS[engine])]
    done = subprocess.run(command, input=recipe, capture_output=True, cwd=folder, timeout=300)
    try:
        return json.loads(done.stdout)
    except ValueError:
        return {"error": done.stderr.decode(errors="replace")[-300:]}


def survey(korvalen, path):
    folder, name = os.path.split(path)
    done = subprocess.run([korvalen, "--verify", "--json", "--", name], capture_output=True,
                          cwd=folder or ".")
    return json.loads(done.stdout) if done.stdout else None


def faults_of(engine, korvalen, path):
    """What the engine got wrong for one file; None for a file not of text
    records with columns."""
    found = survey(korvalen, path)
    # A record that breaks the layout breaks a loader too, as it should.
    if not found or found["layout"] != "lines" or not found["columns"] or found["anomalies"]:
        return None
    folder, name = os.path.split(path)
    made = subprocess.run([korvalen, "--schema=" + engine, "--", name], capture_output=True,
                          cwd=folder or ".")
    if made.returncode != 0:
        # The standard itself cannot describe some layouts, and says so.
        why = made.stderr.decode(errors="replace")
        beyond = engine == "frictionless" or "lone CRs" in why or (
            engine == "duckdb" and found["encoding"] not in DUCKDB_ENCODINGS)
        return [(LIMIT if beyond else "") + "no recipe: " + why.strip()]
    loaded = run_recipe(engine, made.stdout, folder or ".")
    if "unsupported" in loaded:
        return [LIMIT + loaded["unsupported"]]
    if "error" in loaded:
        return ["failed: " + loaded["error"].strip().splitlines()[0]]
    faults = []
    rows = found["records"] - (1 if found["header_row"] else 0)
    if loaded["rows"] != rows:
        faults.append("%d rows, korvalen found %d" % (loaded["rows"], rows))
    names = [c["name"] for c in found["columns"]]
    if [c["name"] for c in loaded["columns"]] != names:
        faults.append("columns %s, korvalen named %s" % ([c["name"] for c in loaded["columns"]],
                                                        names))
    table = TYPES[engine]
    for column, got in zip(found["columns"], loaded["columns"]):
        if not got["type"].startswith(table[column["type"]]):
            faults.append("%s is %s, korvalen says %s" % (column["name"], got["type"],
                                                          column["type"]))
    return faults


def write_generated(folder):
    """Small files of the kinds people export, under awkward names."""
    files = {
        "sales.csv": "id,day,amount,paid,note\r\n1,2024-01-31,\"1,234.50\",true,\"a, b\"\r\n"
                     "2,2024-02-01,7.25,false,NA\r\n3,2024-02-02,NA,true,plain\r\n",
        "it's \\ odd\".tsv": "name\tborn\ttime\nAnna\t31.12.1990\t07:30\nOle\t01.02.1985\t23:15\n"
                             "Kari\t\\N\t00:00\n",
        "semicolons.csv": "# exported 2024-05-06\nid;price;when\n1;3,50;05/13/2024 10:00\n"
                          "2;12,00;05/14/2024 11:30\n3;0,99;05/15/2024 12:45\n",
        "widths.txt": "CODE  AMOUNT      DAY\n" + "".join(
            "%-4s %7.2f %s\n" % ("C%03d" % n, n * 1.5, "2024-03-%02d" % (n % 28 + 1))
            for n in range(1, 30)),
        "names.txt": "Stock of the day\n\ncode  amount  day\n----  ------  ----------\n" + "".join(
            "%-4s  %6.2f  %s\n" % ("C%03d" % n, n * 1.5, "2024-03-%02d" % (n % 28 + 1))
            for n in range(1, 30)),
        "latin1.csv": None,
        "koi8r.csv": None,
        "cp1251.csv": None,
        "blanks.txt": "".join("%d %s %d.5\n" % (n, "x" * (n % 4 + 1), n) for n in range(12)),
        # A Hive table's default separator, SOH, between words and numbers.
        "hive.txt": "".join("%d\x01%s\x01%d.25\n" % (n, "abcd"[n % 4] * (n % 3 + 1), n)
                            for n in range(12)),
        # A lone CR inside the first field of every other line (an old Mac
        # program's note): pandas alone can be told it ends no line.
        "returns.txt": "".join("%s:0%d:K%d:%d.5\n" % ("United States\rCO, IA" if n % 2 else "Chile",
                                                     n % 9, n, n) for n in range(12)),
        # Lines ended by CR LF, every seventh by LF alone: a file edited on
        # two systems.
        "mixed.csv": "id,name,amount\r\n" + "".join(
            "%d,item%d,%d.25%s" % (n, n, n, "\n" if n % 7 == 0 else "\r\n") for n in range(40)),
        # Ditto marks: a '"' that quotes nothing.
        "ditto.csv": "item,size,colour\n" + "".join(
            "bolt %d,%s\n" % (n, "10mm,red" if n % 3 == 0 else '","') for n in range(30)),
        # A mainframe's text: EBCDIC lines ended by its new line, U+0085.
        "ebcdic.txt": "".join("%05d SMITH%d %d.50\x85" % (n, n % 10, n) for n in range(40)),
    }
    files["latin1.csv"] = "name;city;born\nM\u00fcller;K\u00f6ln;1990-01-31\n" \
                          "Stra\u00dfer;Z\u00fcrich;1985-12-01\nLi;Oslo;2001-07-04\n"
    files["koi8r.csv"] = files["cp1251.csv"] = (
        "\u0433\u043e\u0440\u043e\u0434;\u043d\u0430\u0441\u0435\u043b\u0435\u043d\u0438\u0435;"
        "\u043e\u0441\u043d\u043e\u0432\u0430\u043d\n"
        "\u041c\u043e\u0441\u043a\u0432\u0430;13010112;1147\n"
        "\u0421\u0430\u043d\u043a\u0442-\u041f\u0435\u0442\u0435\u0440\u0431\u0443\u0440\u0433;"
        "5601911;1703\n"
        "\u041d\u043e\u0432\u043e\u0441\u0438\u0431\u0438\u0440\u0441\u043a;1633595;1893\n"
        "\u0415\u043a\u0430\u0442\u0435\u0440\u0438\u043d\u0431\u0443\u0440\u0433;1544376;1723\n"
        "\u041a\u0430\u0437\u0430\u043d\u044c;1308660;1005\n")
    codecs = {"latin1": "latin-1", "koi8r": "koi8_r", "cp1251": "cp1251", "ebcdic": "cp037"}
    for name, text in files.items():
        encoding = codecs.get(name.split(".")[0], "utf-8")
        with open(os.path.join(folder, name), "w", encoding=encoding, newline="") as f:
            f.write(text)


def fixtures(source, folder):
    """Regular files of the examples, the survey cases and the generated."""
    paths = [os.path.join(source, "examples", n) for n in sorted(os.listdir(
        os.path.join(source, "examples")))]
    cases = os.path.join(source, "tests", "e2e", "survey_cases")
    for case in sorted(os.listdir(cases)):
        setup = os.path.join(cases, case, "setup")
        # A sparse file of gigabytes would be read whole by pandas.
        if not os.path.exists(setup) or "truncate" in open(setup).read():
            continue
        work = os.path.join(folder, case)
        os.mkdir(work)
        if subprocess.run(["bash", "-e", setup], cwd=work, capture_output=True).returncode:
            continue
        paths += [os.path.join(work, n) for n in sorted(os.listdir(work))
                  if stat.S_ISREG(os.lstat(os.path.join(work, n)).st_mode)]
    generated = os.path.join(folder, "generated")
    os.mkdir(generated)
    write_generated(generated)
    return paths + [os.path.join(generated, n) for n in sorted(os.listdir(generated))]


def check(engine, korvalen, source):
    why = engine_ready(engine)
    if why:
        print("SKIP: " + why)
        return SKIP
    failed = loaded = beyond = 0
    with tempfile.TemporaryDirectory() as folder:
        for path in fixtures(source, folder):
            faults = faults_of(engine, korvalen, path)
            if faults is None:
                continue
            for fault in faults:
                print("%s: %s" % (os.path.relpath(path, folder), fault))
            if faults and all(f.startswith(LIMIT) for f in faults):
                beyond += 1
                continue
            loaded += 1
            failed += bool(faults)
    print("%s: %d of %d text files loaded as korvalen found them, %d beyond the engine" % (
        engine, loaded - failed, loaded, beyond))
    return 1 if failed or not loaded else 0


def measure(korvalen, paths):
    engines = [e for e in ENGINES if not engine_ready(e)]
    for engine in ENGINES:
        if engine not in engines:
            print("SKIP %s: %s" % (engine, engine_ready(engine)))
    if not engines:
        return SKIP
    alike = total = 0
    loads = dict.fromkeys(engines, 0)
    for path in paths:
        faults = {e: faults_of(e, korvalen, path) for e in engines}
        if faults[engines[0]] is None:
            print("%s: not text records with columns" % os.path.basename(path))
            continue
        total += 1
        wrong = ["%s %s" % (e, "; ".join(f)) for e, f in faults.items() if f]
        # Rows and columns must match; a type the engine names otherwise
        # is reported but does not count against loading.
        loaded = {e: not any(not f.endswith(("says text", "says integer", "says decimal",
                                             "says float", "says date", "says time",
                                             "says datetime", "says boolean")) for f in found)
                  for e, found in faults.items()}
        for engine in engines:
            loads[engine] += loaded[engine]
        alike += all(loaded.values())
        print("%s: %s" % (os.path.basename(path), "; ".join(wrong) if wrong else "loads alike"))
    for engine in engines:
        print("%s: %d of %d load" % (engine, loads[engine], total))
    print("loaded alike in every engine: %d of %d" % (alike, total))
    return 0


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "--measure":
        return measure(os.path.abspath(sys.argv[2]), [os.path.abspath(p) for p in sys.argv[3:]])
    if len(sys.argv) != 4 or sys.argv[1] not in ENGINES:
        print(__doc__, file=sys.stderr)
        return 2
    return check(sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3]))


sys.exit(main())
