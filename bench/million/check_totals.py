#!/usr/bin/env python3
"""Reads one output of the sales report with a reader of its own format and
prints the number of amounts it holds and their sum, as "COUNT SUM":

  check_totals.py pdf|text|rtf|html FILE   the report's Grand total line
  check_totals.py csv|dbf|wks FILE         every data row's amount

The data formats are read here from their bytes (no library of the program's
is used); the page images by their text. Exits non-zero when the file cannot
be read or holds no total."""
import csv
import html
import io
import re
import struct
import subprocess
import sys


def grand_total(text):
    at = text.rfind("Grand total")
    if at < 0:
        raise SystemExit("no Grand total")
    numbers = re.findall(r"-?[\d,]+(?:\.\d+)?", text[at + len("Grand total"):])
    return int(numbers[0].replace(",", "")), float(numbers[1].replace(",", ""))


def page_text(kind, path):
    if kind == "pdf":
        return subprocess.run(["pdftotext", "-layout", path, "-"], check=True,
                              capture_output=True).stdout.decode("latin-1")
    data = open(path, "rb").read().decode("cp1252")
    if kind == "rtf":
        data = re.sub(r"\\(tab|par)\b ?", " ", data)
        data = re.sub(r"\\[a-z]+-?\d* ?|[{}]", "", data)
    elif kind == "html":
        data = html.unescape(re.sub(r"<[^>]*>", " ", data))
    return data


def csv_totals(path):
    count, total = 0, 0.0
    with open(path, newline="", encoding="latin-1") as f:  # only the numbers are read
        rows = csv.reader(f)
        column = next(rows).index("amount")
        for row in rows:
            if row[column].strip():
                count += 1
                total += float(row[column])
    return count, total


def dbf_totals(path):
    with open(path, "rb") as f:
        head = f.read(32)
        records, header_size, record_size = struct.unpack("<IHH", head[4:12])
        fields, at = [], 1  # each record begins with its deletion flag
        while True:
            d = f.read(32)
            if not d or d[0] == 0x0D:
                break
            name = d[:11].split(b"\0")[0].decode("ascii").lower()
            fields.append((name, at, d[16]))
            at += d[16]
        _, start, width = next(x for x in fields if x[0] == "amount")
        f.seek(header_size)
        count, total = 0, 0.0
        for _ in range(records):
            r = f.read(record_size)
            if len(r) < record_size:
                raise SystemExit("the file ends inside a record")
            if r[0:1] == b"*":
                continue
            v = r[start:start + width].strip()
            if v:
                count += 1
                total += float(v)
    return count, total


def wks_totals(path):
    data = open(path, "rb").read()
    at, column, labels, count, total = 0, None, {}, 0, 0.0
    while at + 4 <= len(data):
        kind, size = struct.unpack_from("<HH", data, at)
        body = data[at + 4:at + 4 + size]
        at += 4 + size
        if kind == 0x0F and len(body) > 6:  # a label: its row 0 names the columns
            col, row = struct.unpack_from("<HH", body, 1)
            if row == 0:
                labels[body[6:].split(b"\0")[0].decode("cp850")] = col
        elif kind == 0x0E:
            if column is None:
                column = labels["amount"]
            col, row, value = struct.unpack_from("<HHd", body, 1)
            if col == column and row > 0:
                count += 1
                total += value
        elif kind == 0x01:
            break
    return count, total


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "csv":
        count, total = csv_totals(path)
    elif kind == "dbf":
        count, total = dbf_totals(path)
    elif kind == "wks":
        count, total = wks_totals(path)
    else:
        count, total = grand_total(page_text(kind, path))
    print("%d %.2f" % (count, total))


if __name__ == "__main__":
    main()
