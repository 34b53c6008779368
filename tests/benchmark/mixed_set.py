#!/usr/bin/env python3
"""Writes the mixed set the survey benchmark times: files of four kinds met
in exports (fixed-length binary records behind a header, CSV with a header
row, `|` lines ended by CR LF, fixed-width text), 64 KiB to 4 MiB each, the
sizes spread evenly on a log scale. The same seed gives the same bytes.

    mixed_set.py DIR [PER_KIND]
"""
import os, random, struct, sys

KINDS = ("fixed", "csv", "pipe", "fixedwidth")
NAMES = ("Anna", "Ole", "Kari", "Per", "Liv", "Mette", "Jonas", "Ingrid", "Lars")
CITIES = ("Oslo", "Bergen", "Tromso", "Bodo", "Molde", "Alesund", "Hamar")


def fixed(r, size):
    length = r.choice((64, 120, 200, 333))
    head = b"EXPORT V2 " + b"%-22s" % b"ACCOUNTS" + bytes(r.randrange(32) for _ in range(96))
    out = [head]
    total, i = len(head), 0
    while total + length <= size:
        body = b"AC%08d" % i + struct.pack("<iq", r.randrange(-9999, 9999), r.randrange(10**12))
        body += b"%-20s" % r.choice(NAMES).encode()
        out.append((body + bytes(length))[:length])
        total += length
        i += 1
    return b"".join(out)


def csv(r, size):
    lines = ["id,name,city,balance,opened"]
    total, i = 0, 0
    while total < size:
        line = "%d,%s,%s,%.2f,20%02d-%02d-%02d" % (i, r.choice(NAMES), r.choice(CITIES),
                                                  r.uniform(-500, 5000), r.randrange(24),
                                                  r.randrange(1, 13), r.randrange(1, 29))
        lines.append(line)
        total += len(line) + 1
        i += 1
    return ("\n".join(lines) + "\n").encode()


def pipe(r, size):
    out, total, i = [], 0, 0
    while total < size:
        line = "%06d|%s|%s|%d\r\n" % (i, r.choice(NAMES), r.choice(CITIES), r.randrange(10**6))
        out.append(line)
        total += len(line)
        i += 1
    return "".join(out).encode()


def fixedwidth(r, size):
    out, total, i = [], 0, 0
    while total < size:
        line = "%08d %-10s%-10s%12.2f\n" % (i, r.choice(NAMES), r.choice(CITIES), r.uniform(0, 10**6))
        out.append(line)
        total += len(line)
        i += 1
    return "".join(out).encode()


def main():
    folder = sys.argv[1]
    per_kind = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    os.makedirs(folder, exist_ok=True)
    r = random.Random(18)
    for kind in KINDS:
        for n in range(per_kind):
            size = int(64 * 1024 * (64 ** (n / max(1, per_kind - 1))))
            with open(os.path.join(folder, "%s-%03d" % (kind, n)), "wb") as f:
                f.write(globals()[kind](r, size))


main()
