#!/usr/bin/env python3
"""Fails when the program never calls a setter of one of its links.

A link is how a lower layer reaches a higher one: a Set... function of the
program's headers that takes a function (a pointer, a std::function or an
alias of one) or a link object (a class all of whose member functions are
virtual, or a struct of function pointers). When no program code (tests and
benchmarks aside) calls the setter, the link keeps its do-nothing default in
the running program and the behaviour behind it is missing for users.

A few setters are test seams: the program's own behaviour is the built-in
default and only tests swap it for a recorder or an answerer. They are named
in SEAMS with their reason; a seam the program starts to call, or that goes,
must leave the list too. Usage: link_setters.py SOURCE_DIR
"""
import os
import re
import sys

PROGRAM_DIRS = ["app", "charts", "core", "data", "designer", "dialogs", "engine", "export", "expr", "files",
                "foundation", "layout", "model", "platform"]

# Setter: why only tests call it (the default is the program's behaviour).
SEAMS = {
    "SetMessageBoxResponder": "tests answer message boxes; the program shows them",
    "SetTrackPopupMenuHook": "tests answer context menus; the program tracks them",
    "SetPrintRunServices": "tests script the engine's side of a print run; the program's services are the default",
    "SetCommandLineActions": "tests record what the command line asks; the program's actions are the default",
    "SetReportStreamCodec": "tests fail the report writer and reader on purpose; the program's codec is the default",
    "SetFieldDescriptionSource": "tests supply descriptions; the program reads the report dictionary",
}


def strip_comments(text):
    text = re.sub(r"//[^\n]*", "", text)
    return re.sub(r"/\*.*?\*/", "", text, flags=re.S)


def body_after(text, at):
    depth, i = 1, at
    while i < len(text) and depth:
        if text[i] == "{":
            depth += 1
        elif text[i] == "}":
            depth -= 1
        i += 1
    return text[at:i - 1]


def member_functions(body):
    """(is virtual, text) of each member function declared at the top level of a class body."""
    top, depth = [], 0
    for ch in body:
        if ch == "{":
            depth += 1
            if depth == 1:
                top.append(";")
            continue
        if ch == "}":
            depth -= 1
            continue
        if depth == 0:
            top.append(ch)
    out = []
    for decl in "".join(top).split(";"):
        decl = re.sub(r"\b(public|protected|private)\s*:", "", decl).strip()
        if "(" not in decl or re.search(r"\(\s*\*\s*\w+\s*\)\s*\(", decl):
            continue  # a data member (function pointers included)
        name = re.search(r"(~?\w+|operator\W+)\s*\(", decl)
        if name is None:
            continue
        if re.search(r"=\s*(default|delete)\b", decl) or name.group(1).startswith("~"):
            continue
        out.append((bool(re.search(r"\bvirtual\b|\boverride\b", decl)), decl))
    return out


def main():
    root = sys.argv[1]
    headers, sources = [], []
    for d in PROGRAM_DIRS:
        for dirpath, _, files in os.walk(os.path.join(root, d)):
            for f in files:
                path = os.path.join(dirpath, f)
                if f.endswith(".h"):
                    headers.append(path)
                if f.endswith((".h", ".cpp")):
                    sources.append(path)
    texts = {p: strip_comments(open(p, encoding="latin-1").read()) for p in sources}

    function_types, link_types = set(), set()
    for p in headers:
        t = texts[p]
        for m in re.finditer(r"\busing\s+(\w+)\s*=\s*([^;]*);", t):
            if "(*" in m.group(2).replace(" ", "") or "std::function" in m.group(2):
                function_types.add(m.group(1))
        for m in re.finditer(r"\btypedef\b[^;]*\(\s*\*\s*(\w+)\s*\)\s*\(", t):
            function_types.add(m.group(1))
        for m in re.finditer(r"\b(?:class|struct)\s+(\w+)\s*(?:final\s*)?(?::[^{;]*)?\{", t):
            body = body_after(t, m.end())
            functions = member_functions(body)
            pointers = re.search(r"\(\s*\*\s*\w+\s*\)\s*\(", body) is not None
            all_virtual = functions and all(v for v, _ in functions)
            if all_virtual or (pointers and not functions):
                link_types.add(m.group(1))

    setters = {}
    declaration = re.compile(r"\b(Set[A-Z]\w*)\s*\(((?:[^()]|\((?:[^()]|\([^()]*\))*\))*)\)\s*(?:const\s*)?[;{]")
    for p in headers:
        for m in declaration.finditer(texts[p]):
            name, params = m.group(1), m.group(2)
            before = texts[p][max(0, m.start() - 80):m.start()]
            if re.search(r"(=|return|\(|,|\.|->)\s*$", before):
                continue  # a call, not a declaration
            link = "(*" in params.replace(" ", "") or "std::function" in params
            for w in re.findall(r"\b\w+\b", params):
                if w in function_types or (w in link_types and re.search(r"\b" + w + r"\s*[*&]", params)):
                    link = True
            if link:
                setters.setdefault(name, os.path.relpath(p, root))

    def called(name):
        for t in texts.values():
            for m in re.finditer(r"\b" + name + r"\s*\(", t):
                line = t[t.rfind("\n", 0, m.start()) + 1:m.start()]
                # A declaration or definition has a type right before the name.
                if re.search(r"[\w>*&]\s+(\w+::)?$", line) and not re.search(r"\b(return|else|do)\s+$", line):
                    continue
                return True
        return False

    failures = []
    for name in sorted(setters):
        if name in SEAMS:
            if called(name):
                failures.append(f"{name} is called by the program now: take it off the seams")
            continue
        if not called(name):
            failures.append(f"{name} ({setters[name]}) is never called by the program: its link is missing for users")
    for name in sorted(SEAMS):
        if name not in setters:
            failures.append(f"{name} is a seam that no longer exists: take it off the list")
    print(f"{len(setters)} link setters found")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
