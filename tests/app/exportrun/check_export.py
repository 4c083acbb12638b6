#!/usr/bin/python3
# Reads one exported file with an independent reader of its format and
# compares it with what SQLite itself returns for the report's rows.
#   check_export.py sample|kinds FORMAT FILE DATABASE [FILETYPE]
import csv
import datetime
import html.parser
import io
import os
import re
import sqlite3
import subprocess
import sys
import urllib.parse

what, fmt, path, db = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
ftype = int(sys.argv[5]) if len(sys.argv) > 5 else 1
con = sqlite3.connect(db)
failures = []


def fail(msg):
    failures.append(msg)


def fold(text):
    # The program's value of a text column: one line break is a blank, a run
    # of several stays as that many breaks, a tab is a blank.
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c in '\r\n':
            breaks = 0
            while i < len(text) and text[i] in '\r\n':
                first = text[i]
                i += 1
                if i < len(text) and text[i] in '\r\n' and text[i] != first:
                    i += 1
                breaks += 1
            out.append(' ' if breaks == 1 else '\n' * breaks)
            continue
        i += 1
        out.append(' ' if c == '\t' else c if ord(c) >= 32 else '')
    return ''.join(out)


def to_date(v):
    return datetime.date.fromisoformat(v[:10])


def to_stamp(v):
    return datetime.datetime.fromisoformat(v)


def to_clock(v):
    h, m, s = (int(x) for x in v.split(':'))
    return h * 3600 + m * 60 + s


# --- expected rows: column name -> (kind, values) ---
if what == 'kinds':
    cols = ['id', 'name', 'qty', 'price', 'day', 'stamp', 'clock', 'flag', 'note']
    kinds = ['N', 'C', 'N', 'N', 'D', 'DT', 'T', 'L', 'C']
    rows = [list(r) for r in con.execute('select %s from kinds order by id' % ','.join(cols))]
elif what == 'footer':
    # The customer group's footer: its line count and total, once per customer.
    cols = ['CustomerLines', 'CustomerTotal']
    kinds = ['N', 'N']
    rows = [list(r) for r in con.execute(
        'select count(*), sum(amount) from order_lines group by company order by company')]
else:
    cols = ['order_id', 'order_date', 'product', 'quantity', 'amount']
    kinds = ['N', 'D', 'C', 'N', 'N']
    rows = [list(r) for r in con.execute(
        'select %s from order_lines order by company, order_id' % ','.join(cols))]
for r in rows:
    for i, k in enumerate(kinds):
        if r[i] is None:
            continue
        if k == 'C':
            r[i] = fold(r[i])
        elif k == 'D':
            r[i] = to_date(r[i])
        elif k == 'DT':
            r[i] = to_stamp(r[i])
        elif k == 'T':
            r[i] = to_clock(r[i])
        elif k == 'L':
            r[i] = bool(r[i])
        else:
            r[i] = float(r[i])


def same(kind, want, got, name):
    if kind == 'N':
        ok = abs(float(got) - want) < 0.005
    else:
        ok = got == want
    if not ok:
        fail('%s: want %r, got %r' % (name, want, got))


def compare(got_rows, columns, convert):
    # Rows of one order may come in any order: compare as sorted lists.
    want = [[r[cols.index(c)] for c in columns] for r in rows]
    got = [[convert(c, v) for c, v in zip(columns, g)] for g in got_rows]
    if len(got) != len(want):
        fail('%d rows, want %d' % (len(got), len(want)))
        return
    key = lambda r: [str(x) for x in r]
    for w, g in zip(sorted(want, key=key), sorted(got, key=key)):
        for c, a, b in zip(columns, w, g):
            same(kinds[cols.index(c)], a, b, c)


def kind_of(c):
    return kinds[cols.index(c)]


def parse_us_date(v):
    m = re.fullmatch(r'(\d+)/(\d+)/(\d{4})', v)
    if not m:
        fail('date %r is not M/D/YYYY' % v)
        return None
    return datetime.date(int(m.group(3)), int(m.group(1)), int(m.group(2)))


def parse_clock(v):
    m = re.fullmatch(r'(\d+):(\d+):(\d+)\s*([ap]m)?', v.strip(), re.I)
    if not m:
        fail('time %r' % v)
        return None
    h = int(m.group(1)) % 12 if m.group(4) else int(m.group(1))
    if m.group(4) and m.group(4).lower() == 'pm':
        h += 12
    return h * 3600 + int(m.group(2)) * 60 + int(m.group(3))


def from_text(c, v):
    k = kind_of(c)
    if k == 'N':
        return float(v)
    if k == 'D':
        return parse_us_date(v)
    if k == 'DT':
        d, t = v.split(' ', 1)
        day, secs = parse_us_date(d), parse_clock(t)
        return datetime.datetime.combine(day, datetime.time()) + datetime.timedelta(seconds=secs) if day else None
    if k == 'T':
        return parse_clock(v)
    if k == 'L':
        return v == 'T'
    return v


# --- the readers ---
if fmt == 1:
    import dbfread
    table = dbfread.DBF(path, encoding='cp1252', char_decode_errors='strict')
    types = {f.name: (f.type, f.length) for f in table.fields}
    columns = [c for c in cols if kind_of(c) != 'T']  # no time fields in xBase
    if [f.name for f in table.fields] != columns:
        fail('columns %r, want %r' % ([f.name for f in table.fields], columns))
    for c in columns:
        want = {'N': 'N', 'C': 'C', 'D': 'D', 'DT': 'D', 'L': 'L'}[kind_of(c)]
        if types[c][0] != want:
            fail('%s is %s, want %s' % (c, types[c][0], want))
        if kind_of(c) == 'DT' and types[c][1] != 8:
            fail('%s width %d' % (c, types[c][1]))

    def from_dbf(c, v):
        if kind_of(c) == 'DT':
            return v
        return v
    got = [[rec[c] for c in columns] for rec in table]
    # A date-and-time field keeps its date.
    for r in rows:
        for i, k in enumerate(kinds):
            if k == 'DT' and r[i] is not None:
                r[i] = r[i].date()
    compare(got, columns, from_dbf)
elif fmt == 2:
    out = subprocess.run(['ssconvert', '--export-type=Gnumeric_stf:stf_assistant', '-O',
                          'format=raw separator=; quoting-mode=always', path, 'fd://1'],
                         capture_output=True)
    if out.returncode != 0:
        fail('ssconvert: %s' % out.stderr.decode(errors='replace'))
    table = list(csv.reader(io.StringIO(out.stdout.decode('utf-8'), newline=''), delimiter=';'))
    if table and table[0] != cols:
        fail('header %r' % table[0])
    base = datetime.date(1899, 12, 30)

    def from_sheet(c, v):
        k = kind_of(c)
        if k == 'N':
            return float(v)
        if k == 'D':
            return base + datetime.timedelta(days=int(float(v)))
        if k == 'DT':
            return datetime.datetime.combine(base, datetime.time()) + datetime.timedelta(
                seconds=round(float(v) * 86400))
        if k == 'T':
            return round(float(v) * 86400)
        if k == 'L':
            return v == 'T'
        return v
    # Worksheet labels hold the DOS character set: what it lacks is lost.
    for r in rows:
        for i, k in enumerate(kinds):
            if k == 'C' and r[i] is not None:
                r[i] = r[i].encode('cp850', errors='replace').decode('cp850')
    compare(table[1:], cols, from_sheet)
elif fmt in (6, 7):
    data = open(path, 'rb').read().decode('cp1252')
    if ftype == 3:
        lines = data.split('\r\n')[:-1]
        header = lines[0]
        starts = [m.start() for m in re.finditer(r'\S+', header)]
        names = header.split()
        if names != cols:
            fail('header %r' % names)
        got = []
        for line in lines[1:]:
            got.append([line[a:b].rstrip() for a, b in zip(starts, starts[1:] + [len(line)])])
        # Fixed width holds no line break.
        for r in rows:
            for i, k in enumerate(kinds):
                if k == 'C' and r[i] is not None:
                    r[i] = r[i].replace('\n', ' ')
        compare(got, cols, from_text)
    else:
        delimiter = {1: ',', 2: '\t', 4: ';'}[ftype]
        table = list(csv.reader(io.StringIO(data, newline=''), delimiter=delimiter))
        if table and table[0] == cols:
            table = table[1:]
        elif fmt == 7:
            fail('a Word Merge File begins with the field names: %r' % table[:1])
        compare(table, cols, from_text)
else:
    # Page images: the report's text in order.
    if fmt == 0:
        text = open(path, 'rb').read().decode('cp1252')
    elif fmt == 5:
        out = subprocess.run(['unrtf', '--text', path], capture_output=True)
        if out.returncode != 0 or not out.stdout:
            fail('unrtf could not read the file')
        text = out.stdout.decode('utf-8', errors='replace')
    elif fmt == 9:
        if open(path, 'rb').read(5) != b'%PDF-':
            fail('not a PDF')
        text = subprocess.run(['pdftotext', '-layout', path, '-'], capture_output=True).stdout.decode()
    else:
        class Page(html.parser.HTMLParser):
            def __init__(self):
                super().__init__(convert_charrefs=True)
                self.text, self.links, self.next = [], [], None
                self._anchor = None

            def handle_starttag(self, tag, attrs):
                a = dict(attrs)
                if tag == 'img':
                    self.links.append(a.get('src', ''))
                if tag == 'a':
                    self._anchor = a.get('href')
                    self.links.append(self._anchor or '')

            def handle_data(self, data):
                if self._anchor is not None and data.strip() == 'Next':
                    self.next = self._anchor
                elif self._anchor is None:
                    self.text.append(data)

            def handle_endtag(self, tag):
                if tag == 'a':
                    self._anchor = None
        texts, page, seen = [], path, set()
        while page and page not in seen:
            seen.add(page)
            p = Page()
            raw = open(page, 'rb').read()
            # Read in the encoding the page declares, which must hold it all.
            declared = re.search(rb'<meta charset="([^"]+)">', raw)
            if not declared:
                fail('%s declares no encoding' % page)
                break
            try:
                p.feed(raw.decode(declared.group(1).decode('ascii')))
            except (UnicodeDecodeError, LookupError) as e:
                fail('%s is not valid in its declared encoding: %s' % (page, e))
                break
            texts.append('\n'.join(p.text))
            for link in p.links:
                target = os.path.join(os.path.dirname(page), urllib.parse.unquote(link))
                if link.startswith('file:') or not os.path.exists(target):
                    fail('link %r does not resolve' % link)
            page = os.path.join(os.path.dirname(page), urllib.parse.unquote(p.next)) if p.next else None
        text = '\n'.join(texts)
    # Title, each customer with its total, the grand total, in order.
    tokens = ['Orders by customer']
    groups = list(con.execute('select company, sum(amount) from order_lines group by company order by company'))
    for company, total in groups:
        tokens += [company, 'Customer total', '%.2f' % total]
    tokens += ['Grand total', '%.2f' % sum(t for _, t in groups)]
    at = 0
    for t in tokens:
        found = text.find(t, at)
        if found < 0:
            fail('%r missing after position %d' % (t, at))
            break
        at = found + len(t)
    # Every line's amount within its customer.
    for company, amount in con.execute('select company, amount from order_lines'):
        start = text.find(company)
        end = min([p for p in (text.find(c, start + 1) for c, _ in groups) if p > start] + [len(text)])
        if text.find('%.2f' % amount, start, end) < 0:
            fail('%.2f of %s not with its customer' % (amount, company))

if failures:
    print('\n'.join(failures[:20]))
    sys.exit(1)
print('ok')
