#!/usr/bin/env python3
"""Compiles the resource data under res/ into C++ tables.

strings: res/strings/*.str files, one entry a line:   ID  "text"
  - '#' starts a comment line; blank lines are ignored.
  - texts use C escapes (\\n, \\t, \\", \\\\, \\xNN for a raw Windows-1252 byte).
  - files are UTF-8; texts are stored in Windows-1252, the program's code page.
  - an id given twice anywhere is an error.
"""
import re
import sys

LINE = re.compile(r'^\s*(\d+)\s+"(.*)"\s*$')


def unescape(text, where):
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c != '\\':
            try:
                out += c.encode('cp1252')
            except UnicodeEncodeError:
                sys.exit(f"{where}: character {c!r} has no Windows-1252 form")
            i += 1
            continue
        i += 1
        if i >= len(text):
            sys.exit(f"{where}: text ends in a backslash")
        e = text[i]
        simple = {'n': 10, 't': 9, 'r': 13, '"': 34, '\\': 92, 'a': 7, '0': 0}
        if e == 'x':
            m = re.match(r'[0-9A-Fa-f]{2}', text[i + 1:])
            if not m:
                sys.exit(f"{where}: \\x needs two hex digits")
            out.append(int(m.group(0), 16))
            i += 3
        elif e in simple:
            out.append(simple[e])
            i += 1
        else:
            sys.exit(f"{where}: unknown escape \\{e}")
    return bytes(out)


def c_literal(data):
    parts = []
    for b in data:
        if b in (34, 92):
            parts.append('\\' + chr(b))
        elif 32 <= b < 127 and b != ord('?'):
            parts.append(chr(b))
        else:
            parts.append('\\%03o' % b)
    return '"' + ''.join(parts) + '"'


def strings(out_path, files):
    table = {}
    for path in sorted(files):
        with open(path, encoding='utf-8') as f:
            for n, line in enumerate(f, 1):
                s = line.rstrip('\n')
                if not s.strip() or s.lstrip().startswith('#'):
                    continue
                where = f"{path}:{n}"
                m = LINE.match(s)
                if not m:
                    sys.exit(f"{where}: expected ID \"text\"")
                sid = int(m.group(1))
                if sid in table:
                    sys.exit(f"{where}: string id {sid} given twice")
                table[sid] = unescape(m.group(2), where)
    with open(out_path, 'w', encoding='ascii') as o:
        o.write('// Generated from res/strings by scripts/rescomp.py. Do not edit.\n')
        o.write('#include "platform/win/resources.h"\n\n')
        o.write('namespace vt_res {\n')
        o.write('const StringEntry kStringTable[] = {\n')
        for sid in sorted(table):
            o.write(f'  {{{sid}u, {len(table[sid])}u, {c_literal(table[sid])}}},\n')
        if not table:
            o.write('  {0u, 0u, ""},\n')
        o.write('};\n')
        o.write(f'const unsigned kStringCount = {len(table)}u;\n')
        o.write('}  // namespace vt_res\n')


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: rescomp.py strings OUT FILES...")
    kind, out = sys.argv[1], sys.argv[2]
    if kind == 'strings':
        strings(out, sys.argv[3:])
    else:
        sys.exit(f"unknown resource kind {kind}")


if __name__ == '__main__':
    main()
