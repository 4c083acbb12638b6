#!/usr/bin/env python3
"""Fails when the program reads a member or global that only tests set.

A data member of a program struct or class, or a global variable, that
program code reads but never gives a value of its own (tests and benchmarks
aside) keeps its default in the running program: whatever is meant to
switch it on is missing for users, though a test that sets it by hand
passes. A value is given by an assignment (=, compound assignments, ++, --)
whose value differs from the member's default, by a constructor's member
initializer, by a mutating call on it (push_back, assign, ...), by passing
it where it can be written (its address, or an array member handed to a
call), or by binding it to a non-const reference.

A struct given its values as a braced list anywhere counts as set whole.
A member nobody sets at all counts only when its default is the off state
(zero, false, null, empty): one that starts on is a constant kept as a
member. Names are matched without types, so two members of the same name
count as one.

The members the program leaves alone on purpose, those this reading cannot
see, and those whose setter belongs to work not done yet ("open: ...") are
named in ACCEPTED with their reason; an accepted member that the program
starts to set, or that goes, must leave the list.
Usage: member_setters.py SOURCE_DIR
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from link_setters import body_after  # noqa: E402  the class body after its brace

PROGRAM_DIRS = ["app", "charts", "core", "data", "designer", "dialogs", "engine", "export", "expr", "files",
                "foundation", "layout", "model", "platform"]
TEST_DIRS = ["tests", "bench"]

# Member or global: why the program never sets it, reviewed.
ACCEPTED = {
    # Test seams and values that are right as they are.
    "fixedToday": "tests fix the clock; the program reads the real one",
    "fixedNowTime": "tests fix the clock; the program reads the real one",
    "previewStoreLimit": "tests lower the preview's memory bound to reach its refusal",
    "suspended": "tests switch the dictionary merge off; the program always merges",
    "ordinal": "only tests register built-in modules; the program's libraries are found by name",
    "compileExtraLength1": "headroom a compiler buffer may be given; the program needs none",
    "compileExtraLength2": "headroom a compiler buffer may be given; the program needs none",
    "firstPageIndex": "the preview always starts at its first page",
    "servicePack": "Linux has no service pack to name",
    "hIcon": "no window class of the program has an icon of its own",
    "appName": "no object server on this platform names an application",
    "penStyle": "lines and boxes keep no pen style; they are drawn solid",
    "tableListSwitch": "what this switch of the table question stands for is left open",
    # What this check cannot see.
    "className": "filled by the resource tables the build generates from res/",
    "itemCount": "filled by the resource tables the build generates from res/",
    "l1": "the sort-order rules are braced lists handed to the parser's AddRule",
    "pdfWritable": "stored through a braced record of the page recorder",
    "raster": "printer faces come from the font layer's list",
    # No setting, record, dialog or caller gives these a value: their defaults are what runs.
    "randomFetch": "nothing sets the model's random-fetch word; only position files fetch by number",
    "dialogFieldList": "the field dialogs edit copies in lists of their own, never in the model's second list",
    "doubleWidth": "nothing sets the model's double-width word: memo text keeps its styles in the reader's arrays",
    "endOffset": "the printer library's own end offset; the bottom margin keeps the page end free",
    "engineCode": "no caller of the table question has an engine code to show first",
    "exactNumbers": "no setting switches it on; a negative FloatCompTolerance outside -30 to -10 compares exactly",
    "exportJobValue": "the viewer file's handle for a library that writes it; this one prints the file as the job's",
    "imageFileName": "the HTML export writes each chart from its captured page, under the Chart file name it gives it",
    "extraCondition": "no report record, setting or dialog gives the model an extra SQL condition",
    "haveDirections": "the engine's pre-pass sorts totals by their directions; the sort pass is left keyless ones",
    "noWidthLimit": "no setting, record or dialog sets the no-width-limit switch: numbers keep their width",
    "nullOrdering": "no setting gives the null-ordering word a value: null dates compare lowest, as they sort",
    "previousValues": "every reader of memo text asks for current values; none asks for previous ones",
    "printRecordBand": "no page set-up word or Record Layout control keeps a Record band print switch",
    "queryValue": "nothing gives the model's QUERY value word a value; its checks use their error codes alone",
    "storedDevMode": "the dialogs keep their printer settings in the report's fields, which the job applies",
    "continued": "a word-wrapped field's lines are never part of another item's run: each centres itself",
}

WRITE_CALLS = ("push_back", "emplace_back", "emplace", "insert", "assign", "append", "resize", "swap",
               "push_front", "emplace_front", "fill", "reset", "set", "insert_or_assign", "try_emplace",
               "splice", "merge", "replace", "Append", "Set", "Add", "Push", "Attach", "Load", "Read", "Open",
               "Create", "Assign", "Put")
# Members that hold a value (not objects with behaviour of their own).
VALUE_TYPE = re.compile(r"(^|[\s:])(bool|char|short|int|long|unsigned|signed|float|double|size_t|u?int\d+_t|"
                        r"[A-Z][A-Z0-9_]*|std::string|std::optional<[^>]*>)\s*$|\*\s*$|\*\s*const\s*$")
ZERO = {"0", "0u", "0U", "0L", "0.0", "0.0f", "false", "nullptr", "NULL", "{}", "\"\"", "'\\0'", "0x0",
        "std::string()", ""}
KEYWORDS = {"return", "if", "else", "while", "for", "switch", "case", "do", "sizeof", "new", "delete",
            "const", "static", "constexpr", "inline", "virtual", "override", "public", "private", "protected",
            "using", "typedef", "friend", "operator", "template", "typename", "default", "true", "false",
            "this", "struct", "class", "enum", "union", "namespace", "mutable", "volatile", "explicit",
            "extern", "auto", "unsigned", "signed", "int", "char", "bool", "long", "short", "double", "float",
            "void", "final"}


def strip_comments_and_strings(text):
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
            out.append(" ")
        elif c == '"' or c == "'":
            if c == '"' and i > 0 and text[i - 1] == "R":  # raw string
                m = re.match(r'"([^(\s]*)\(', text[i:])
                if m:
                    end = text.find(")" + m.group(1) + '"', i)
                    i = n if end < 0 else end + len(m.group(1)) + 2
                    out.append('""')
                    continue
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + c if j == i + 1 else c + "s" + c)  # empty or not, the text itself aside
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def top_level(body):
    """The body's text at depth 0, nested bodies and initializer braces cut out (kept as {...})."""
    out, depth = [], 0
    for ch in body:
        if ch == "{":
            if depth == 0:
                out.append("{")
            depth += 1
        elif ch == "}":
            depth -= 1
            if depth == 0:
                out.append("}")
        elif depth == 0:
            out.append(ch)
    return "".join(out)


def split_declarators(decl):
    """Top-level comma pieces of a declaration (commas inside <>, () and {} kept)."""
    parts, depth, cur = [], 0, []
    for ch in decl:
        if ch in "<({[":
            depth += 1
        elif ch in ">)}]":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append("".join(cur))
            cur = []
        else:
            cur.append(ch)
    parts.append("".join(cur))
    return parts


def data_members(body):
    """(name, default text, is array) of each data member declared at the top of a class body."""
    members = []
    text = top_level(body)
    # A member function's body ends its declaration without a semicolon.
    text = re.sub(r"\)\s*(const\s*)?(noexcept\s*)?(override\s*)?(final\s*)?(->[^{;]*)?\{\}", ");", text)
    for stmt in text.split(";"):
        stmt = re.sub(r"\b(public|protected|private)\s*:", "", stmt).strip()
        stmt = re.sub(r"^\s*\[\[[^\]]*\]\]", "", stmt).strip()
        if not stmt or re.match(r"(using|typedef|friend|template|enum|struct|class|union|static_assert|"
                                r"static\s+constexpr|constexpr|static\s+const\b|#)", stmt):
            continue
        if "{" in stmt and re.search(r"\b(struct|class|union|enum)\b", stmt):
            continue
        head = re.split(r"=|\{", stmt, maxsplit=1)[0]
        if "(" in head or "operator" in head:
            continue  # a function (or a function pointer)
        if re.search(r"\bconst\b", head) and not re.search(r"\*\s*const\b|\bconst\s*\w*\s*\*", head):
            continue  # a constant member
        pieces = split_declarators(stmt)
        first = True
        prev_type = ""
        for piece in pieces:
            m = re.match(r"\s*(?:([^={}]*[\s*&>])\s*)?(\w+)\s*((?:\[[^\]]*\])*)\s*(?::\s*\d+\s*)?(=\s*(.*)|(\{.*\}))?\s*$",
                         piece, re.S)
            if not m or (first and not m.group(1)):
                break
            first = False
            name = m.group(2)
            if name in KEYWORDS:
                continue
            default = (m.group(5) if m.group(5) is not None else (m.group(6) or "")).strip()
            if default.startswith("{") and default.endswith("}"):
                default = default[1:-1].strip() or "{}"
            members.append((name, default, bool(m.group(3)), (m.group(1) or prev_type).strip()))
            prev_type = (m.group(1) or prev_type)
    return members


def globals_of(text):
    """(name, default) of global variables: g_ names and extern declarations (constants aside)."""
    out = []
    for m in re.finditer(r"^[ \t]*(?:static\s+|inline\s+)*(?!return\b)([A-Za-z_][\w:<>,\s*&]*?)[\s*&]+"
                         r"(g_\w+)\s*((?:\[[^\]]*\])*)\s*(=\s*([^;{]*)|\{([^;]*)\}|;)", text, re.M):
        if re.search(r"\b(const|constexpr)\b", m.group(1)):
            continue
        default = (m.group(5) or m.group(6) or "").strip()
        out.append((m.group(2), default, bool(m.group(3)), m.group(1).strip()))
    return out


def normal(value):
    v = re.sub(r"\s+", "", value or "")
    v = re.sub(r"^static_cast<[^>]*>\((.*)\)$", r"\1", v)
    return "0" if v in ZERO else v


def main():
    root = sys.argv[1]

    def files(dirs):
        for d in dirs:
            for dirpath, _, names in os.walk(os.path.join(root, d)):
                for f in names:
                    if f.endswith((".h", ".cpp", ".c")):
                        yield os.path.join(dirpath, f)

    program = {p: strip_comments_and_strings(open(p, encoding="latin-1").read()) for p in files(PROGRAM_DIRS)}
    tests = {p: strip_comments_and_strings(open(p, encoding="latin-1").read()) for p in files(TEST_DIRS)}

    declared = {}  # name -> (default, is array, where, owners)
    for p, t in program.items():
        for m in re.finditer(r"(?<!enum )\b(?:class|struct)\s+(?:\w+\s+)*?(\w+)\s*(?:final\s*)?(?::[^{;()]*)?\{", t):
            end = m.end() + len(body_after(t, m.end()))
            for name, default, array, kind in data_members(t[m.end():end]):
                if not array and not VALUE_TYPE.search(kind):
                    continue
                entry = declared.setdefault(name, (default, array, os.path.relpath(p, root), set()))
                entry[3].add(m.group(1))
        for name, default, array, kind in globals_of(t):
            if array or VALUE_TYPE.search(kind):
                declared.setdefault(name, (default, array, os.path.relpath(p, root), set()))

    # Structs given values positionally ({a, b, c}) somewhere: their members
    # are all taken as set.
    owners = set().union(*(e[3] for e in declared.values()))
    braced = set()
    for t in program.values():
        # Owner{...}, Owner x{...}, Owner x = {...}, Owner x[] = {...}, vector<Owner> x = {...}
        for m in re.finditer(r"\b(?=(\w+)(?:\s*>)?\s*(?:\w+\s*(?:\[[^\]]*\]\s*)?)?=?\s*\{\s*[^}\s])", t):
            if m.group(1) in owners and not re.search(r"\b(struct|class|union|enum|namespace)\s+$",
                                                      t[max(0, m.start() - 40):m.start()]):
                braced.add(m.group(1))
        # A variable, array or container of the owner's type given a braced
        # list later, and a function of that type returning one.
        for m in re.finditer(r"\b(\w+)\s*(?:>\s*)?[*&]?\s+(\w+)\s*(\[|;|=|\(|\)|,)", t):
            owner, var = m.group(1), m.group(2)
            if owner not in owners or owner in braced:
                continue
            if m.group(3) == "(":
                end = t.find("{", m.end())
                stop = t.find(";", m.end())
                if end >= 0 and (stop < 0 or end < stop):
                    body = body_after(t, end + 1)
                    if re.search(r"\breturn\s*\{\s*[^}\s]", body):
                        braced.add(owner)
                continue
            if re.search(r"\b" + var + r"\s*(\[[^\]]*\]\s*)?=\s*\{\s*[^}\s]", t) or re.search(
                    r"\b" + var + r"\s*(?:\.|->)\s*(push_back|emplace_back|insert|push_front|assign)\s*\(\s*\{", t):
                braced.add(owner)

    def occurrences(texts):
        found = {}
        for p, t in texts.items():
            for m in re.finditer(r"[A-Za-z_]\w*", t):
                if m.group(0) in declared:
                    found.setdefault(m.group(0), []).append((t, m.start(), m.end(), p))
        return found

    # Which parameters of each function (by name) are written through: a
    # non-const reference or pointer.
    writes_param = {}
    for text in program.values():
        for m in re.finditer(r"\b(\w+)\s*\(([^;{}()]*(?:\([^()]*\)[^;{}()]*)*)\)\s*(?:const\s*)?(?:override\s*)?[;{]", text):
            if m.group(1) in KEYWORDS or m.group(1) in ("while", "for", "switch", "catch"):
                continue
            params = split_declarators(m.group(2))
            for k, param in enumerate(params):
                p = re.sub(r"=.*", "", param, flags=re.S).strip()
                if re.search(r"[^&]&\s*\w*\s*$", p) and not re.search(r"\bconst\b", p):
                    writes_param.setdefault(m.group(1), set()).add(k)

    def enclosing_call(text, at):
        """(function name, argument index) of the call whose argument list holds position at."""
        depth, commas, i = 0, 0, at - 1
        while i >= 0 and at - i < 2000:
            c = text[i]
            if c in ")]}":
                depth += 1
            elif c in "[{":
                if depth == 0:
                    return None, 0
                depth -= 1
            elif c == "(":
                if depth == 0:
                    m = re.search(r"(\w+)\s*$", text[max(0, i - 80):i])
                    return (m.group(1) if m else None), commas
                depth -= 1
            elif c == "," and depth == 0:
                commas += 1
            elif c == ";" and depth == 0:
                return None, 0
            i -= 1
        return None, 0

    in_program = occurrences(program)
    in_tests = occurrences(tests)

    def uses(found, name, default, array):
        """(read, written) over the occurrences."""
        zero = normal(default)
        home = os.path.splitext(declared[name][2])[0]
        global_name = not declared[name][3]
        # Beside its class a local or parameter of the same name hides it:
        # then only member accesses count as reads.
        homes = [x for x in found.get(name, []) if stem(x[3]) == home]
        declarations = sum(1 for x in homes if re.search(r"[\w>*&]\s+$", x[0][max(0, x[1] - 40):x[1]]) and
                           re.match(r"\s*(=|;|,|\)|\[|\{)", x[0][x[2]:x[2] + 5]))
        if declarations > 1:
            home = None
        read = written = False
        for t, start, end, path in found.get(name, []):
            before = t[max(0, start - 200):start]
            after = t[end:end + 300]
            # Past subscripts and member accesses on it (x.name[i].field = ...).
            rest = after
            sub = re.match(r"\s*((?:\[[^\]]*\])*)", rest)
            subscripted = bool(sub.group(1))
            rest = rest[sub.end():]
            deeper = re.match(r"\s*(?:\.|->)\s*\w+((?:\[[^\]]*\])*)", rest)
            # A declaration of the name itself (a type right before it, at
            # the start of a statement) is neither.
            if re.search(r"(^|[;{}(,])\s*(?:static\s+|const\s+|inline\s+|extern\s+|mutable\s+)*"
                         r"(?!return\b|else\b|case\b|throw\b|delete\b|co_return\b)"
                         r"[A-Za-z_][\w:<>,\s]*[\w>][\s*&]+$", before) and not re.search(
                             r"(\.|->)\s*$", before):
                continue
            # A pointer to the member (a table of members written through it).
            if re.search(r"&\s*\w+\s*::\s*$", before):
                written = True
                continue
            # Constructor member initializer: ": name(" or ", name(" after a ")".
            if re.match(r"\s*[({]", after) and re.search(r"(\)\s*:|[)}]\s*,)\s*$", before):
                arg = re.match(r"\s*[({]([^;{}]*?)[)}]\s*[,{]", after)
                if arg is None or normal(arg.group(1)) != zero:
                    written = True
                continue
            # Designated initializer ".name = value" in a braced list.
            designated = re.match(r"\s*=\s*([^,}]*)", after)
            if designated and re.search(r"[{,]\s*\.\s*$", before):
                if normal(designated.group(1)) != zero:
                    written = True
                continue
            if deeper:
                # A member of this member: reading it reads this one; writing
                # it writes part of this one.
                tail = rest[deeper.end():]
                if re.match(r"\s*(=[^=]|[-+*/%&|^]=|<<=|>>=|\+\+|--)", tail):
                    written = True
                elif re.match(r"\s*(?:\.|->)\s*(" + "|".join(WRITE_CALLS) + r")\s*\(", rest) or re.match(
                        r"\s*(?:\.|->)\s*(" + "|".join(WRITE_CALLS) + r")\s*\(", tail):
                    written = True
                else:
                    read = True
                continue
            assign = re.match(r"\s*(=)(?!=)\s*([^;]*)", rest)
            if assign:
                value = assign.group(2)
                if subscripted or normal(value) != zero:
                    written = True
                continue
            if re.match(r"\s*([-+*/%&|^]=|<<=|>>=|\+\+|--)", rest) or re.search(r"(\+\+|--)\s*(\w+\s*(\.|->)\s*)*$",
                                                                                before):
                written = True
                continue
            call = re.match(r"\s*(?:\.|->)\s*(" + "|".join(WRITE_CALLS) + r")\s*\(", rest)
            if call:
                written = True
                continue
            # Its address taken, or bound to a reference that may write it.
            if re.search(r"&\s*(?:(?:[\w\]\)]+|\(\*\w+\))\s*(?:\.|->)\s*)*$", before) and not re.search(r"&&\s*(?:[\w\]\)]+\s*(?:\.|->)\s*)*$", before):
                written = True
                continue
            if re.search(r"(?<![\w>])(?:auto|[\w:<>]+)\s*&\s*\w+\s*=\s*(?:[\w\]\)]+\s*(?:\.|->)\s*)*$", before) and \
                    not re.search(r"const\s+(?:auto|[\w:<>]+)\s*&\s*\w+\s*=\s*(?:[\w\]\)]+\s*(?:\.|->)\s*)*$",
                                  before):
                written = True
                continue
            # A range-for binding its elements to a non-const reference.
            if re.search(r"\bfor\s*\((?!(?:[^:;]|::)*\bconst\b)(?:[^:;]|::)*&\s*\w+\s*:\s*(?:[\w\]\)]+\s*(?:\.|->)\s*)*$", before):
                written = True
                continue
            # std::swap / std::tie / std::getline style writers, and an
            # array or container member handed to any call.
            if re.search(r"\b(swap|tie|getline|fill|copy|copy_n|memcpy|memset|strcpy|strncpy|snprintf|sprintf|"
                         r"vsnprintf|fread|iota|transform|generate|sscanf)\s*\([^;]*$", before) and \
                    not re.search(r"\)\s*[;{]", before[before.rfind("(") if "(" in before else 0:]):
                written = True
                continue
            # Handed to a parameter that is written through.
            if re.search(r"[(,]\s*(?:[\w\]\)]+\s*(?:\.|->)\s*)*$", before) and re.match(r"\s*[,)]", rest):
                fn, index = enclosing_call(t, start)
                if fn is not None and index in writes_param.get(fn, ()):
                    written = True
                    continue
            # An array handed on whole (a pointer to its first element),
            # returned, or put in a list: written through that pointer.
            if array and (re.search(r"([(,{=]|\breturn)\s*(?:[\w\]\)]+\s*(?:\.|->)\s*)*$", before)):
                written = True
                continue
            # A bare name is the member's only beside its class (a local
            # or a parameter of that name elsewhere is not).
            if global_name or re.search(r"(\.|->|::)\s*$", before) or stem(path) == home:
                read = True
        return read, written

    def stem(path):
        return os.path.splitext(os.path.relpath(path, root))[0]

    failures = []
    for name in sorted(declared):
        default, array, where, of = declared[name]
        read, written = uses(in_program, name, default, array)
        written = written or bool(of & braced)
        if name in ACCEPTED:
            if written:
                failures.append(f"{name} is set by the program now: take it off the accepted list")
            continue
        if not read or written:
            continue
        _, by_tests = uses(in_tests, name, default, array)
        # A member nobody sets and whose default is not the off state is a
        # constant kept as a member; one that is off and stays off is a
        # switch nobody turns on.
        if not by_tests and normal(default) != "0":
            continue
        who = "only tests set it" if by_tests else "nothing sets it"
        failures.append(f"{name} ({where}) is read by the program, but {who}: its setter is missing for users")
    for name in sorted(ACCEPTED):
        if name not in declared:
            failures.append(f"{name} is accepted but no longer declared: take it off the list")
    print(f"{len(declared)} members and globals found; {sum(1 for r in ACCEPTED.values() if r.startswith('open:'))}"
          " accepted as open")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
