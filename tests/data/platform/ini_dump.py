#!/usr/bin/env python3
"""Dumps an ini file as configparser reads it, as hex lines the tests compare:
S <section>, then K <key> <value> per entry (bytes read as Latin-1)."""
import configparser
import sys

parser = configparser.ConfigParser(interpolation=None, strict=True, delimiters=('=',),
                                   comment_prefixes=(';',), empty_lines_in_values=False)
with open(sys.argv[1], encoding='latin-1', newline=None) as f:
    parser.read_file(f)
hexed = lambda s: s.encode('latin-1').hex() or '-'
for section in parser.sections():
    print('S', hexed(section))
    for key, value in parser.items(section, raw=True):
        print('K', hexed(key), hexed(value))
