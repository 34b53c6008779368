"""--verify on files whose layout and faults are known by construction:
each is surveyed by path and again on standard input, and both answers
must state what the file holds, and be the same: a stream is read whole. Usage: verify_verdicts.py KORVALEN"""
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

PROGRAM = os.path.realpath(sys.argv[1])


def fixed_records(count, cut=0, insert_at=None):
    """Binary records with a counter, a word, an amount and two control
    bytes; the last cut bytes left off, or a byte put in at insert_at."""
    rng = random.Random(4)
    data = b"".join(b"AC%06d%-10s%012d\0\1" % (i, rng.choice([b"HOLDER", b"X"]),
                                               rng.randrange(10 ** 12)) for i in range(count))
    if insert_at is not None:
        data = data[:insert_at] + b"Z" + data[insert_at:]
    return data[:len(data) - cut]


def out_of_line(count, put_in, left_out=None):
    """Fixed-length records with a byte put in at put_in and one left out at
    left_out: the records after the first are out of line."""
    data = fixed_records(count)
    if left_out is not None:
        data = data[:left_out] + data[left_out + 1:]
    return data[:put_in] + b"Z" + data[put_in:]


def fixed_width_lines(*short_lines, count=1000, trailer=""):
    lines = ["%06d %-6s %06d" % (i * 7919 % 10 ** 6, "kilo", i) for i in range(count)]
    for short_line in short_lines:
        lines[short_line] = lines[short_line][1:]
    return ("\n".join(lines) + "\n" + trailer).encode()


def wide_fields(every):
    """Lines of five fields; every every-th has a sixth."""
    return b"".join(b"%d,a,b,c,d%s\n" % (i, b",e" if i % every == 0 else b"")
                    for i in range(2000))


# name, bytes, what the JSON line must hold (both ways)
CASES = [
    ("counter first changes late", fixed_records(30000),
     {"layout": "fixed-length", "record_length": 32, "records": 30000, "verified": True}),
    ("last record cut short", fixed_records(5000, cut=11),
     {"record_length": 32, "header_length": 0, "trailer_length": 0, "records": 5000,
      "verified": False, "cut_short": 1,
      "first": {"record": 5000, "offset": 4999 * 32, "what": "cut short: 21 of 32 bytes"}}),
    ("a byte put in", fixed_records(5000, insert_at=2000 * 32 + 7),
     {"record_length": 32, "header_length": 0, "trailer_length": 0, "verified": False}),
    # The survey reads the records of its later pieces where they line up
    # with the start's; --verify lines them up again after the byte.
    ("a byte put in, past the sample", out_of_line(131072, 37500 * 32 + 7),
     {"size": 131072 * 32 + 1, "records": 131072, "trailer_length": 0, "anomalies": 1,
      "length": 1, "stray_bytes": 1,
      "first": {"record": 37501, "offset": 37500 * 32, "kind": "length",
                "what": "1 byte too many before the next record lines up"}}),
    ("a byte put in and one left out, past the sample",
     out_of_line(131072, 37500 * 32 + 7, 56250 * 32 + 20),
     {"size": 131072 * 32, "records": 131072, "trailer_length": 0, "anomalies": 2, "length": 2,
      "stray_bytes": 0,
      "first": {"record": 37501, "offset": 37500 * 32, "kind": "length",
                "what": "1 byte too many before the next record lines up"},
      "second": {"record": 56251, "offset": 56250 * 32 + 1, "kind": "length",
                 "what": "1 byte too few before the next record lines up"}}),
    ("short line among fixed-width lines", fixed_width_lines(300),
     {"record_length": 21, "header_length": 0, "records": 1000, "verified": False,
      "anomalies": 1, "length": 1,
      "first": {"record": 301, "line": 301, "offset": 6300, "kind": "length"}}),
    # Two records cut alike are damage still, not records of two lengths.
    ("two short lines among fixed-width lines", fixed_width_lines(300, 700),
     {"record_length": 21, "records": 1000, "verified": False, "anomalies": 2, "length": 2}),
    # Past the sample, damage in its later pieces and a trailer line at the
    # end keep the length, as they do in a file read whole.
    ("trailer line and two short lines, past the sample",
     fixed_width_lines(90000, 99990, count=100000, trailer="TOTAL 100000\n"),
     {"record_length": 21, "header_length": 0, "trailer_length": 13, "records": 100000,
      "verified": False, "anomalies": 2, "length": 2}),
    ("short line near the end", fixed_width_lines(900),
     {"record_length": 21, "header_length": 0, "anomalies": 1,
      "first": {"record": 901, "line": 901}}),
    ("a twentieth of the records have a field more", wide_fields(20),
     {"fields": 5, "fewest_fields": 5, "most_fields": 6, "verified": True}),
    ("UTF-16 last line without its line end",
     ("abc 123\n" * 50 + "abc 123").encode("utf-16le"),
     {"encoding": "utf-16le", "records": 51, "verified": True}),
    ("odd byte after UTF-16 lines", "ab\nc\n".encode("utf-16le")[:-1],
     {"encoding": "utf-16le", "records": 2, "verified": True}),
    ("blank lines after the records, past the sample",
     b"".join(b"%08d,alpha,%05d\n" % (i, i % 99991) for i in range(200000)) + b"\n" * 300000,
     {"records": 200000, "trailer_length": 300000, "verified": True}),
    ("an end-of-file byte after the records, past the sample", fixed_records(40000) + b"\x1a",
     {"record_length": 32, "records": 40000, "trailer_length": 1, "verified": True,
      "stray_bytes": 0}),
    ("lone CRs only", b"\r" * 1356679,
     {"terminator": "CR", "records": 1356679, "trailer_length": 0, "verified": True}),
    ("EBCDIC | lines ended by NEL without blanks",
     b"".join(("%05d|ALPHA|OSLO|%d" % (i, i % 997)).encode("cp037") + b"\x15"
              for i in range(500)),
     {"encoding": "ebcdic", "terminator": "NEL", "delimiter": "|", "fields": 4,
      "verified": True}),
    ("random bytes", random.Random(5).randbytes(5000),
     {"layout": "unknown", "verified": None, "anomalies": None, "first_anomaly": None}),
]


def run(arguments, stdin=None):
    result = subprocess.run([PROGRAM, "--verify", "--json"] + arguments, stdin=stdin,
                            capture_output=True, check=False)
    return result.returncode, json.loads(result.stdout) if result.stdout else None


def faults_of(answer, expected):
    faults = []
    kinds = answer.get("anomaly_kinds") or {}
    listed = (answer.get("first_anomalies") or []) + [{}, {}]
    for key, value in expected.items():
        if key in ("first", "second"):
            anomaly = listed[key == "second"]
            faults += ["%s anomaly %s is %r, expected %r" % (key, k, anomaly.get(k), v)
                       for k, v in value.items() if anomaly.get(k) != v]
        elif key in ("cut_short", "length"):
            if kinds.get(key) != value:
                faults.append("%s anomalies: %r, expected %r" % (key, kinds.get(key), value))
        elif answer.get(key) != value:
            faults.append("%s is %r, expected %r" % (key, answer.get(key), value))
    return faults


def check_cases(work):
    failed = 0
    for name, data, expected in CASES:
        path = os.path.join(work, "case")
        with open(path, "wb") as f:
            f.write(data)
        status, by_path = run([path])
        with open(path, "rb") as f:
            stream_status, on_stdin = run(["-"], stdin=f)
        faults = faults_of(by_path, expected)
        want_status = 0 if by_path.get("verified") in (True, None) else 1
        if status != want_status:
            faults.append("status %d, expected %d" % (status, want_status))
        by_path.pop("file")
        on_stdin.pop("file")
        if (stream_status, on_stdin) != (status, by_path):
            faults.append("standard input answers otherwise: %r" % on_stdin)
        for fault in faults:
            print("%s: %s" % (name, fault))
        failed |= bool(faults)
    return failed


def check_proc():
    """A file of the system says 0 bytes and delivers its content."""
    if not os.path.exists("/proc/self/status"):
        return 0
    _, answer = run(["/proc/self/status"])
    if answer["size"] and answer["layout"] == "lines" and answer["records"]:
        return 0
    print("/proc/self/status: %r" % answer)
    return 1


def check_interrupt(work):
    """Ctrl+C ends --verify of a huge file at once, with the reports of the
    files already done and status 2."""
    if os.name != "posix":
        return 0
    small, huge = os.path.join(work, "small.csv"), os.path.join(work, "huge.txt")
    with open(small, "wb") as f:
        f.write(b"a,b\n")
    size = 8 << 30
    lines = b"".join(b"abc,def,%06d\n" % i for i in range(100000))
    with open(huge, "wb") as f:
        for offset in (0, size // 2 - len(lines), size - len(lines)):
            f.seek(offset)
            f.write(lines)
        f.truncate(size)
    process = subprocess.Popen([PROGRAM, "--verify", "--json", small, huge],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    process.send_signal(signal.SIGINT)
    sent = time.monotonic()
    try:
        output, _ = process.communicate(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        print("Ctrl+C did not end --verify")
        return 1
    took = time.monotonic() - sent
    lines_out = output.splitlines()
    if process.returncode != 2 or took > 1 or len(lines_out) != 1:
        print("Ctrl+C: status %d after %.2f s, %d lines" %
              (process.returncode, took, len(lines_out)))
        return 1
    return 0


def no_room(limit):
    """A child whose files may not grow past limit bytes: a full disk."""
    def apply():
        import resource
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def check_spool(work):
    """A stream read whole that cannot be kept says why, as a read error;
    Ctrl+C while it is kept ends at once with the reports done."""
    if os.name != "posix":
        return 0
    failed = 0
    path = os.path.join(work, "long.csv")
    with open(path, "wb") as f:
        f.write(b"alpha,beta,gamma\n" * 200000)
    for name, env, limit, reason in [
            ("no temporary folder", {"TMPDIR": os.path.join(work, "gone")}, None, "gone"),
            ("full disk", {"TMPDIR": work}, 1 << 20, "File too large")]:
        with open(path, "rb") as f:
            result = subprocess.run([PROGRAM, "--verify", "--json", "-"], stdin=f,
                                    capture_output=True, check=False,
                                    env=dict(os.environ, **env),
                                    preexec_fn=no_room(limit) if limit else None)
        error = result.stderr.decode()
        if result.returncode != 2 or not error.startswith("korvalen: -: ") or reason not in error:
            print("%s: status %d, %r" % (name, result.returncode, error))
            failed = 1
    small = os.path.join(work, "small.csv")
    with open(small, "wb") as f:
        f.write(b"a,b\n")
    process = subprocess.Popen([PROGRAM, "--verify", "--json", small, "-"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    process.stdin.write(b"alpha,beta\n" * 300000)
    process.stdin.flush()
    time.sleep(1)
    process.send_signal(signal.SIGINT)
    sent = time.monotonic()
    try:
        output, _ = process.communicate(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        print("Ctrl+C did not end the keeping of standard input")
        return 1
    took = time.monotonic() - sent
    if process.returncode != 2 or took > 1 or len(output.splitlines()) != 1:
        print("Ctrl+C while keeping standard input: status %d after %.2f s, %r" %
              (process.returncode, took, output))
        failed = 1
    return failed


def main():
    with tempfile.TemporaryDirectory() as work:
        failed = (check_cases(work) | check_proc() | check_interrupt(work) |
                  check_spool(work))
    sys.exit(1 if failed else 0)


main()
