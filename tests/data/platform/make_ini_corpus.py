#!/usr/bin/env python3
"""Writes the ini corpus compared against configparser: files on which the
Windows profile rules and configparser's coincide (unique sections and keys,
'=' only, ';' comment lines, no indented lines, no quotes)."""
import random

rng = random.Random(20261206)
letters = 'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.'
high = ''.join(chr(c) for c in range(0xC0, 0xFF) if c not in (0xD7, 0xDF, 0xF7))
value_chars = letters + ' ;=,/\\%$-' + high

def name(n):
    return rng.choice(letters[:52]) + ''.join(rng.choice(letters) for _ in range(n))

for i in range(40):
    eol = '\r\n' if i % 2 else '\n'
    out = []
    if i % 5 == 0:
        out.append('; a comment before any section')
    sections = set()
    for _ in range(rng.randint(0, 6)):
        s = name(rng.randint(0, 12))
        while s.lower() in sections:
            s = name(rng.randint(0, 12))
        sections.add(s.lower())
        out.append('[' + s + ']')
        keys = set()
        for _ in range(rng.randint(0, 10)):
            k = name(rng.randint(0, 15))
            while k.lower() in keys:
                k = name(rng.randint(0, 15))
            keys.add(k.lower())
            v = ''.join(rng.choice(value_chars) for _ in range(rng.randint(0, 40 if i != 7 else 3000))).strip()
            if v[:1] in ('"', "'"):
                v = 'x' + v
            out.append(k + ' ' * rng.randint(0, 2) + '=' + ' ' * rng.randint(0, 2) + v)
            if rng.random() < 0.2:
                out.append('; note ' + name(5))
            if rng.random() < 0.2:
                out.append('')
    text = eol.join(out)
    if i % 3 != 0:
        text += eol
    with open('ini/corpus%02d.ini' % i, 'w', encoding='latin-1', newline='') as f:
        f.write(text)
