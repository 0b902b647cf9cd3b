#!/usr/bin/python3
"""Reads an output file of the program with an independent parser and prints what it
understood as one JSON document (ASCII only), for tests to compare.

    readback.py json FILE   JSON Lines through json.loads: an array of the rows
    readback.py ldif FILE   LDIF through python3-ldap's parser: [[dn, {attr: [base64 value]}]]
"""
import base64
import json
import sys


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "json":
        with open(path, encoding="utf-8") as f:
            rows = [json.loads(line) for line in f]
    elif kind == "ldif":
        import ldif
        with open(path, "rb") as f:
            parser = ldif.LDIFRecordList(f)
            parser.parse()
        rows = [[dn, {k: [base64.b64encode(v).decode() for v in vs] for k, vs in entry.items()}]
                for dn, entry in parser.all_records]
    else:
        sys.exit("unknown kind " + kind)
    print(json.dumps(rows, ensure_ascii=True))


if __name__ == "__main__":
    main()
