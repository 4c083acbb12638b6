#!/usr/bin/env python3
"""Compiles the resource data under res/ into C++ tables.

strings: res/strings/*.str files, one entry a line:   ID  "text"
  - '#' starts a comment line; blank lines are ignored.
  - texts use C escapes (\\n, \\t, \\", \\\\, \\xNN for a raw Windows-1252 byte).
  - files are UTF-8; texts are stored in Windows-1252, the program's code page.
  - an id given twice anywhere is an error.

dialogs: res/dialogs/*.dlg files, one dialog template each:
  DIALOG  name
  STYLE   DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
  SIZE    x y width height                 (dialog units)
  FONT    points "face"
  CAPTION "text"
  CONTROL id class "text" styles x y width height [exstyles]
  - styles are names or numbers joined by '|'; controls are always WS_CHILD | WS_VISIBLE.
  - texts as in the string files; template names are unique ignoring case.
  The same files may hold menus:
  MENU    id
  POPUP   "text" [GRAYED]                 (its items follow, up to its END)
  MENUITEM id "text" [GRAYED] [CHECKED]
  MENUITEM SEPARATOR
  END                                     (ends a popup, then the menu)
  and accelerator tables:
  ACCELERATORS name
  KEY     VK_name|F1..F24|letter|digit id [SHIFT] [CONTROL] [ALT]
  END
"""
import re
import shlex
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


STYLES = {
    'WS_OVERLAPPED': 0, 'WS_POPUP': 0x80000000, 'WS_CHILD': 0x40000000, 'WS_VISIBLE': 0x10000000,
    'WS_DISABLED': 0x08000000, 'WS_CAPTION': 0x00C00000, 'WS_BORDER': 0x00800000, 'WS_DLGFRAME': 0x00400000,
    'WS_VSCROLL': 0x00200000, 'WS_HSCROLL': 0x00100000, 'WS_SYSMENU': 0x00080000, 'WS_THICKFRAME': 0x00040000,
    'WS_GROUP': 0x00020000, 'WS_TABSTOP': 0x00010000,
    'WS_EX_DLGMODALFRAME': 0x1, 'WS_EX_CLIENTEDGE': 0x200,
    'DS_SETFONT': 0x40, 'DS_MODALFRAME': 0x80, 'DS_CENTER': 0x800,
    'BS_PUSHBUTTON': 0, 'BS_DEFPUSHBUTTON': 1, 'BS_CHECKBOX': 2, 'BS_AUTOCHECKBOX': 3, 'BS_RADIOBUTTON': 4,
    'BS_3STATE': 5, 'BS_AUTO3STATE': 6, 'BS_GROUPBOX': 7, 'BS_AUTORADIOBUTTON': 9,
    'SS_LEFT': 0, 'SS_CENTER': 1, 'SS_RIGHT': 2, 'SS_ICON': 3, 'SS_BLACKRECT': 4, 'SS_GRAYRECT': 5,
    'SS_WHITERECT': 6, 'SS_BLACKFRAME': 7, 'SS_GRAYFRAME': 8, 'SS_WHITEFRAME': 9, 'SS_SIMPLE': 0xB,
    'SS_LEFTNOWORDWRAP': 0xC, 'SS_ETCHEDFRAME': 0x12, 'SS_NOPREFIX': 0x80,
    'ES_LEFT': 0, 'ES_CENTER': 1, 'ES_RIGHT': 2, 'ES_MULTILINE': 4, 'ES_UPPERCASE': 8, 'ES_LOWERCASE': 0x10,
    'ES_PASSWORD': 0x20, 'ES_AUTOVSCROLL': 0x40, 'ES_AUTOHSCROLL': 0x80, 'ES_READONLY': 0x800,
    'ES_WANTRETURN': 0x1000, 'ES_NUMBER': 0x2000,
    'LBS_NOTIFY': 1, 'LBS_SORT': 2, 'LBS_MULTIPLESEL': 8, 'LBS_EXTENDEDSEL': 0x800, 'LBS_OWNERDRAWFIXED': 0x10, 'LBS_HASSTRINGS': 0x40,
    'CBS_SIMPLE': 1, 'CBS_DROPDOWN': 2, 'CBS_DROPDOWNLIST': 3, 'CBS_AUTOHSCROLL': 0x40, 'CBS_SORT': 0x100, 'CBS_OWNERDRAWFIXED': 0x10, 'CBS_HASSTRINGS': 0x200,
    'SBS_HORZ': 0, 'SBS_VERT': 1,
    'UDS_WRAP': 1, 'UDS_SETBUDDYINT': 2, 'UDS_ALIGNRIGHT': 4, 'UDS_AUTOBUDDY': 0x10, 'UDS_ARROWKEYS': 0x20,
    'TBS_AUTOTICKS': 1, 'TBS_VERT': 2,
}
CLASSES = {'BUTTON', 'EDIT', 'STATIC', 'LISTBOX', 'COMBOBOX', 'SCROLLBAR'}


def style_value(text, where):
    value = 0
    for part in text.split('|'):
        part = part.strip()
        if not part:
            continue
        if part in STYLES:
            value |= STYLES[part]
        else:
            try:
                value |= int(part, 0)
            except ValueError:
                sys.exit(f"{where}: unknown style {part}")
    return value & 0xFFFFFFFF


def number(text, where):
    try:
        return int(text, 0)
    except ValueError:
        sys.exit(f"{where}: expected a number, found {text!r}")


MENU_FLAGS = {'GRAYED': 0x1, 'CHECKED': 0x8}


def menu_line(menu, key, args, where, text):
    """One line inside a MENU block; answers False when the block has ended."""
    def flags(words):
        value = 0
        for w in words:
            if w.upper() not in MENU_FLAGS:
                sys.exit(f"{where}: unknown menu flag {w}")
            value |= MENU_FLAGS[w.upper()]
        return value
    if key == 'POPUP':
        if not args:
            sys.exit(f"{where}: POPUP \"text\" [GRAYED]")
        menu['items'].append((menu['level'], 0x10 | flags(args[1:]), 0, text(args[0])))
        menu['level'] += 1
    elif key == 'MENUITEM':
        if len(args) == 1 and args[0].upper() == 'SEPARATOR':
            menu['items'].append((menu['level'], 0x800, 0, b''))
        elif len(args) >= 2:
            menu['items'].append((menu['level'], flags(args[2:]), number(args[0], where), text(args[1])))
        else:
            sys.exit(f"{where}: MENUITEM id \"text\" [flags] or MENUITEM SEPARATOR")
    elif key == 'END':
        if menu['level'] == 0:
            return False
        menu['level'] -= 1
    else:
        sys.exit(f"{where}: {key} inside a MENU")
    return True


VIRTUAL_KEYS = {
    'VK_BACK': 0x08, 'VK_TAB': 0x09, 'VK_RETURN': 0x0D, 'VK_ESCAPE': 0x1B, 'VK_SPACE': 0x20,
    'VK_PRIOR': 0x21, 'VK_NEXT': 0x22, 'VK_END': 0x23, 'VK_HOME': 0x24, 'VK_LEFT': 0x25, 'VK_UP': 0x26,
    'VK_RIGHT': 0x27, 'VK_DOWN': 0x28, 'VK_INSERT': 0x2D, 'VK_DELETE': 0x2E,
}
ACCEL_FLAGS = {'SHIFT': 0x04, 'CONTROL': 0x08, 'ALT': 0x10}


def accel_key(name, where):
    upper = name.upper()
    if upper in VIRTUAL_KEYS:
        return VIRTUAL_KEYS[upper]
    if re.fullmatch(r'F([1-9]|1[0-9]|2[0-4])', upper):
        return 0x70 + int(upper[1:]) - 1
    if re.fullmatch(r'[A-Z0-9]', upper):
        return ord(upper)
    sys.exit(f"{where}: unknown key {name}")


def write_tables(o, kind, tables, key, empty_item, empty_table, item):
    """Items arrays and the kMenuTable / kAccelTable index over them (kind 'Menu' or 'Accel')."""
    data = 'MenuTemplateData' if kind == 'Menu' else 'AccelTableData'
    for i, t in enumerate(tables):
        o.write(f'static const {kind}ItemData k{kind}Items{i}[] = {{\n')
        for r in t['items']:
            o.write(f'  {item(r)},\n')
        if not t['items']:
            o.write(f'  {empty_item},\n')
        o.write('};\n')
    o.write(f'const {data} k{kind}Table[] = {{\n')
    for i, t in enumerate(tables):
        o.write(f'  {{{key(t)}, {len(t["items"])}, k{kind}Items{i}}},\n')
    if not tables:
        o.write(f'  {empty_table},\n')
    o.write('};\n')
    o.write(f'const unsigned k{kind}Count = {len(tables)}u;\n')


def dialogs(out_path, files):
    templates = []
    names = set()
    menus = []
    accels = []
    for path in sorted(files):
        current = None
        menu = None
        accel = None
        with open(path, encoding='utf-8') as f:
            for n, line in enumerate(f, 1):
                s = line.strip()
                if not s or s.startswith('#'):
                    continue
                where = f"{path}:{n}"
                try:
                    words = shlex.split(s, posix=False)
                except ValueError as e:
                    sys.exit(f"{where}: {e}")
                key, args = words[0].upper(), words[1:]

                def text(w):
                    if len(w) < 2 or w[0] != '"' or w[-1] != '"':
                        sys.exit(f"{where}: expected a quoted text")
                    return unescape(w[1:-1], where)

                if menu is not None:
                    if not menu_line(menu, key, args, where, text):
                        menu = None
                    continue
                if accel is not None:
                    if key == 'END':
                        accel = None
                    elif key == 'KEY' and len(args) >= 2:
                        flags = 0x01
                        for w in args[2:]:
                            if w.upper() not in ACCEL_FLAGS:
                                sys.exit(f"{where}: unknown key flag {w}")
                            flags |= ACCEL_FLAGS[w.upper()]
                        accel['items'].append((flags, accel_key(args[0], where), number(args[1], where)))
                    else:
                        sys.exit(f"{where}: KEY key id [SHIFT] [CONTROL] [ALT] or END")
                    continue
                if key == 'ACCELERATORS':
                    if len(args) != 1:
                        sys.exit(f"{where}: ACCELERATORS name")
                    if any(a['name'].lower() == args[0].lower() for a in accels):
                        sys.exit(f"{where}: accelerators {args[0]} given twice")
                    accel = {'name': args[0], 'items': []}
                    accels.append(accel)
                    current = None
                    continue
                if key == 'MENU':
                    if len(args) != 1:
                        sys.exit(f"{where}: MENU id")
                    mid = number(args[0], where)
                    if any(m['id'] == mid for m in menus):
                        sys.exit(f"{where}: menu {mid} given twice")
                    menu = {'id': mid, 'level': 0, 'items': []}
                    menus.append(menu)
                    current = None
                    continue
                if key == 'DIALOG':
                    if len(args) != 1:
                        sys.exit(f"{where}: DIALOG name")
                    if args[0].lower() in names:
                        sys.exit(f"{where}: dialog {args[0]} given twice")
                    names.add(args[0].lower())
                    current = {'name': args[0], 'style': 0, 'rect': (0, 0, 0, 0), 'font': (0, b''),
                               'caption': b'', 'items': []}
                    templates.append(current)
                    continue
                if current is None:
                    sys.exit(f"{where}: DIALOG must come first")
                if key == 'STYLE':
                    current['style'] = style_value(' '.join(args), where)
                elif key == 'SIZE':
                    if len(args) != 4:
                        sys.exit(f"{where}: SIZE x y width height")
                    current['rect'] = tuple(number(a, where) for a in args)
                elif key == 'FONT':
                    if len(args) != 2:
                        sys.exit(f"{where}: FONT points \"face\"")
                    current['font'] = (number(args[0], where), text(args[1]))
                elif key == 'CAPTION':
                    if len(args) != 1:
                        sys.exit(f"{where}: CAPTION \"text\"")
                    current['caption'] = text(args[0])
                elif key == 'CONTROL':
                    if len(args) not in (8, 9):
                        sys.exit(f"{where}: CONTROL id class \"text\" styles x y width height [exstyles]")
                    cls = args[1].upper() if args[1].upper() in CLASSES else args[1]
                    ex = style_value(args[8], where) if len(args) == 9 else 0
                    current['items'].append((number(args[0], where), cls, text(args[2]),
                                             style_value(args[3], where) | 0x50000000,
                                             ex, tuple(number(a, where) for a in args[4:8])))
                else:
                    sys.exit(f"{where}: unknown keyword {words[0]}")
        if menu is not None:
            sys.exit(f"{path}: MENU {menu['id']} has no END")
        if accel is not None:
            sys.exit(f"{path}: ACCELERATORS {accel['name']} has no END")
    with open(out_path, 'w', encoding='ascii') as o:
        o.write('// Generated from res/dialogs by scripts/rescomp.py. Do not edit.\n')
        o.write('#include "platform/win/dialog.h"\n')
        o.write('#include "platform/win/menu.h"\n')
        o.write('#include "platform/win/accel.h"\n\n')
        o.write('namespace vt_res {\n')
        for i, t in enumerate(templates):
            o.write(f'static const DialogItemData kItems{i}[] = {{\n')
            for (cid, cls, txt, style, ex, (x, y, cx, cy)) in t['items']:
                o.write(f'  {{{cid}, {c_literal(cls.encode("ascii"))}, 0x{style:08X}u, 0x{ex:08X}u, '
                        f'{x}, {y}, {cx}, {cy}, {c_literal(txt)}}},\n')
            if not t['items']:
                o.write('  {0, "", 0u, 0u, 0, 0, 0, 0, ""},\n')
            o.write('};\n')
        o.write('const DialogTemplateData kDialogTable[] = {\n')
        for i, t in enumerate(templates):
            x, y, cx, cy = t['rect']
            pts, face = t['font']
            o.write(f'  {{{c_literal(t["name"].encode("ascii"))}, 0x{t["style"]:08X}u, {x}, {y}, {cx}, {cy}, '
                    f'{pts}, {c_literal(face)}, {c_literal(t["caption"])}, {len(t["items"])}, kItems{i}}},\n')
        if not templates:
            o.write('  {"", 0u, 0, 0, 0, 0, 0, "", "", 0, nullptr},\n')
        o.write('};\n')
        o.write(f'const unsigned kDialogCount = {len(templates)}u;\n')
        write_tables(o, 'Menu', menus, lambda m: str(m['id']), '{0, 0u, 0, ""}', '{-1, 0, nullptr}',
                     lambda r: f'{{{r[0]}, 0x{r[1]:04X}u, {r[2]}, {c_literal(r[3])}}}')
        write_tables(o, 'Accel', accels, lambda a: c_literal(a['name'].encode('ascii')), '{0, 0, 0}',
                     '{"", 0, nullptr}', lambda r: f'{{0x{r[0]:02X}, 0x{r[1]:02X}, {r[2]}}}')
        o.write('}  // namespace vt_res\n')


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: rescomp.py strings|dialogs OUT FILES...")
    kind, out = sys.argv[1], sys.argv[2]
    if kind == 'strings':
        strings(out, sys.argv[3:])
    elif kind == 'dialogs':
        dialogs(out, sys.argv[3:])
    else:
        sys.exit(f"unknown resource kind {kind}")


if __name__ == '__main__':
    main()
