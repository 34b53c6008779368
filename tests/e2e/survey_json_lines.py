"""Checks the survey's JSON lines: each parses, holds every key in order
with a value of its type, and matches the expected keys of its line.

usage: survey_json_lines.py EXPECTED.json ACTUAL
File names are compared as the bytes they stand for (os.fsencode), which
is how a script gets back a name that is not UTF-8.
"""
import json
import os
import sys

KEYS = ["file", "size", "error", "encoding", "layout", "format", "terminator", "segment_terminator",
        "record_length",
        "element_length", "header_length", "trailer_length", "records", "records_estimated",
        "shortest_record",
        "usual_record", "longest_record", "length_prefix", "delimiter", "delimiter_runs", "quote",
        "fields",
        "fewest_fields", "most_fields", "header_row", "columns", "record_types", "verified",
        "anomalies", "anomaly_kinds", "stray_bytes", "first_anomalies", "first_anomaly"]
INTEGER_OR_NULL = {"record_length", "element_length", "records", "fields", "fewest_fields",
                   "most_fields", "anomalies", "shortest_record", "usual_record",
                   "longest_record"}
PREFIX_KEYS = ["size", "length_bytes", "byte_order", "counts_itself", "repeated_after", "blocks"]
ANOMALY_KINDS = ["line_end", "length", "cut_short", "field_count", "quote", "byte_class"]
ANOMALY_KEYS = ["record", "line", "offset", "kind", "what"]
CHARACTER_OR_NULL = {"delimiter", "quote"}


def is_integer(value):
    return isinstance(value, int) and not isinstance(value, bool) and value >= 0


COLUMN_KEYS = ["name", "type", "start", "end", "index", "format", "decimal", "grouping",
               "nullable", "null"]
COLUMN_TYPES = ("integer", "decimal", "float", "date", "time", "datetime", "boolean", "text")


def column_faults(column):
    if list(column) != COLUMN_KEYS:
        return ["keys " + repr(list(column))]
    faults = []
    if not isinstance(column["name"], str) or not column["name"]:
        faults.append("name is not a text")
    if column["type"] not in COLUMN_TYPES:
        faults.append("type is " + repr(column["type"]))
    place = [column[key] is not None for key in ("start", "end", "index")]
    if place not in ([True, True, False], [False, False, True]):
        faults.append("neither start and end nor index")
    if not all(column[key] is None or is_integer(column[key]) for key in ("start", "end", "index")):
        faults.append("start, end or index not an integer")
    for key in ("format", "decimal", "grouping", "null"):
        if column[key] is not None and not isinstance(column[key], str):
            faults.append(key + " is not a text or null")
    if not isinstance(column["nullable"], bool) or column["nullable"] != (column["null"] is not None):
        faults.append("nullable does not say whether null is set")
    return faults


def type_faults(line):
    faults = []
    if not isinstance(line["file"], str):
        faults.append("file is not a string")
    if line["size"] is not None and not is_integer(line["size"]):
        faults.append("size is not an integer or null")
    if line["error"] is not None:
        if not isinstance(line["error"], str) or not line["error"]:
            faults.append("error is not a text")
        faults += [key + " is not null after an error" for key in KEYS[3:]
                   if line[key] is not None]
        return faults
    if line["encoding"] not in ("ascii", "utf-8", "utf-16le", "utf-16be", "latin-1",
                                "ebcdic", "shift_jis", "euc-jp", "euc-kr", "gb18030", "big5",
                                "windows-1252", "binary"):
        faults.append("encoding is " + repr(line["encoding"]))
    if line["layout"] not in ("fixed-length", "lines", "length-prefixed", "empty", "unknown"):
        faults.append("layout is " + repr(line["layout"]))
    # A segment terminator of its own is one character.
    terminator = line["terminator"]
    if terminator not in (None, "LF", "CRLF", "CR", "NEL", "mixed") and not (
            isinstance(terminator, str) and len(terminator) == 1):
        faults.append("terminator is " + repr(terminator))
    prefix = line["length_prefix"]
    if prefix is not None and (not isinstance(prefix, dict) or list(prefix) != PREFIX_KEYS):
        faults.append("length_prefix is not {" + ", ".join(PREFIX_KEYS) + "} or null")
    types = line["record_types"]
    if types is not None and not (isinstance(types, list) and types and all(
            isinstance(t, dict) and list(t) == ["tag", "records", "fields"] for t in types)):
        faults.append("record_types is not a list of {tag, records, fields} or null")
    for key in ("header_length", "trailer_length"):
        if not is_integer(line[key]):
            faults.append(key + " is not an integer")
    for key in INTEGER_OR_NULL:
        if line[key] is not None and not is_integer(line[key]):
            faults.append(key + " is not an integer or null")
    for key in CHARACTER_OR_NULL:
        if line[key] is not None and (not isinstance(line[key], str) or len(line[key]) != 1):
            faults.append(key + " is not one character or null")
    # Binary records hold no row of names: null, not false.
    if (line["header_row"] is None) != (line["encoding"] == "binary") or (
            line["header_row"] is not None and not isinstance(line["header_row"], bool)):
        faults.append("header_row is not a boolean, or null for binary records")
    if line["format"] is not None and (not isinstance(line["format"], str) or not line["format"]):
        faults.append("format is not a name or null")
    if not isinstance(line["records_estimated"], bool) or (
            line["records_estimated"] and line["records"] is None):
        faults.append("records_estimated is not a boolean, or true without records")
    checked = line["verified"] is not None
    if checked and not isinstance(line["verified"], bool):
        faults.append("verified is not a boolean or null")
    for key in ("anomalies", "anomaly_kinds", "first_anomalies"):
        if (line[key] is None) == checked:
            faults.append(key + " is not null exactly when verified is")
    stray = line["stray_bytes"]
    if (stray is not None) != (checked and line["layout"] == "fixed-length"):
        faults.append("stray_bytes is not null exactly when fixed-length records were verified")
    elif stray is not None and line["size"] is not None:
        # The bytes are all accounted for, but for what a last record cut
        # short lacks.
        length = line["record_length"]
        left = (line["size"] - line["header_length"] - line["trailer_length"] -
                line["records"] * length - stray)
        if not (isinstance(stray, int) and -length < left <= 0):
            faults.append("header, records, stray_bytes and trailer do not make the size")
    kinds = line["anomaly_kinds"]
    if kinds is not None and (list(kinds) != ANOMALY_KINDS or
                              sum(kinds.values()) != line["anomalies"]):
        faults.append("anomaly_kinds do not count the anomalies by kind")
    anomalies = line["first_anomalies"] or []
    if any(not isinstance(a, dict) or list(a) != ANOMALY_KEYS or a["kind"] not in ANOMALY_KINDS
           for a in anomalies):
        faults.append("first_anomalies are not {record, line, offset, kind, what}")
    if line["first_anomaly"] != (anomalies[0] if anomalies else None):
        faults.append("first_anomaly is not the first of first_anomalies")
    columns = line["columns"]
    if columns is not None and not (isinstance(columns, list) and columns and all(
            isinstance(c, dict) and not column_faults(c) for c in columns)):
        faults.append("columns is not a list of column objects or null")
    elif columns is not None and line["fields"] != len(columns):
        faults.append("fields is not the number of columns")
    return faults


def same(key, expected, actual):
    if key == "file" and isinstance(actual, str):
        return os.fsencode(expected) == os.fsencode(actual)
    return expected == actual and type(expected) is type(actual)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        expected_lines = json.load(f)
    with open(sys.argv[2], "rb") as f:
        output = f.read()
    faults = []
    if output and not output.endswith(b"\n"):
        faults.append("the output does not end in a line feed")
    actual_lines = output.split(b"\n")[:-1] if output else []
    if len(actual_lines) != len(expected_lines):
        faults.append("%d lines, expected %d" % (len(actual_lines), len(expected_lines)))
    for number, (raw, expected) in enumerate(zip(actual_lines, expected_lines), 1):
        try:
            line = json.loads(raw.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as fault:
            faults.append("line %d is not UTF-8 JSON: %s" % (number, fault))
            continue
        if list(line) != KEYS:
            faults.append("line %d keys: %s" % (number, list(line)))
            continue
        faults += ["line %d: %s" % (number, fault) for fault in type_faults(line)]
        for key, value in expected.items():
            if not same(key, value, line[key]):
                faults.append("line %d: %s is %r, expected %r" % (number, key, line[key], value))
    for fault in faults:
        print(fault)
    sys.exit(1 if faults else 0)


main()
