#!/usr/bin/env python3
"""Turns the `//` comments that document declarations in headers into Doxygen comments.

The headers document every public declaration with plain `//` comments, which Doxygen does
not read. This rewrites, in place:
  - a block of `//` lines directly above a declaration (no blank line between) into `///`;
  - a `//` comment after a declaration on the same line (`int x;  // text`) into `///<`,
    with continuation lines aligned under it;
  - one comment above several declarations that it describes together (a getter and its
    setter, overloads, functions of one return type, constants or fields of one type, or
    `int a, b;`) into a member group (`///@{` … `///@}`), whose members share it
    (Doxygen's DISTRIBUTE_GROUP_DOC);
  - a section ruler of a class (`// --- Stored attributes ---`) into a named member group
    (`/// \name Stored attributes`) that runs to the next section, access label or the end
    of the class; its title documents the members without a comment of their own;
and leaves alone: comments inside function bodies, section rulers outside classes, lint
markers (`// NOLINT`), the `// namespace x` after a closing brace, comments above
preprocessor lines or separated from the next declaration by a blank line, and comments
that are already Doxygen comments. Running it again changes nothing, so it can be re-run after
headers were edited.

Usage: scripts/doxygen-comments.py [--check] [HEADER...]
  Default headers: src/chronelle/*/*.h. --check changes nothing and exits 1 when a file
  would change (listing it).
"""
import pathlib
import re
import sys

SCOPE_KEYWORDS = re.compile(r"\b(namespace|class|struct|enum|union)\b")
RULER = re.compile(r"^//\s*(-{3,}|={3,})")
LINT = re.compile(r"^//\s*NOLINT")


def strip_code(line):
    """The code part of a line without string and character literals and comments."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 2
                continue
            if c == quote:
                quote = None
            i += 1
            continue
        if c in "\"'":
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and line[i - 1].isalnum() and i + 1 < len(line) and line[i + 1].isalnum():
                i += 1
                continue
            quote = c
            i += 1
            continue
        if line.startswith("//", i) or line.startswith("/*", i):
            break
        out.append(c)
        i += 1
    return "".join(out)


def trailing_comment_start(line):
    """Index of a `//` comment after code on the line, or -1."""
    code = strip_code(line)
    if not code.strip():
        return -1
    idx = line.find("//", len(code))
    return idx


class Scopes:
    """Tracks whether the current line is at declaration scope (namespace, class, enum) or
    inside a function body or an initializer, from the braces of the code seen so far."""

    def __init__(self):
        self.stack = []  # True for a declaration scope, False for a body
        self.pending = ""  # code since the last brace or semicolon, to classify a `{`

    def at_declaration_scope(self):
        return all(self.stack)

    def feed(self, code):
        for c in code:
            if c == "{":
                head = self.pending
                is_scope = bool(SCOPE_KEYWORDS.search(head)) and not re.search(r"[=(]\s*$", head.strip()) \
                    and "(" not in head.split("class")[-1].split("struct")[-1]
                if re.search(r"\benum\b", head):
                    is_scope = True
                self.stack.append(is_scope and self.at_declaration_scope())
                self.pending = ""
            elif c == "}":
                if self.stack:
                    self.stack.pop()
                self.pending = ""
            elif c == ";":
                self.pending = ""
            else:
                self.pending += c
        if code.strip().startswith("#"):
            self.pending = ""


def is_plain_comment(stripped):
    return stripped.startswith("//") and not stripped.startswith("///") and not stripped.startswith("//!")


def is_declaration(stripped):
    if not stripped or stripped.startswith("#") or stripped.startswith("//") or stripped.startswith("/*"):
        return False
    if stripped.startswith("}"):
        return False
    if re.match(r"^(public|private|protected)\s*:", stripped):
        return False
    return True


def to_doc(line):
    """`// text` → `/// text`, keeping the indentation."""
    i = line.index("//")
    return line[:i] + "///" + line[i + 2:]


def indent_of(line):
    return line[: len(line) - len(line.lstrip())]


def declaration_run(lines, j):
    """The declarations that start at line j and follow each other without a blank line or a
    comment between them: (the first line of each, index of the run's last line)."""
    starts, depth, k, last, current = [], 0, j, j - 1, None
    while k < len(lines):
        stripped = lines[k].strip()
        code = strip_code(lines[k]).strip()
        if depth == 0 and not is_declaration(stripped):
            break
        if depth == 0 and current is None:
            current = k
        depth += code.count("{") - code.count("}")
        if depth < 0:
            break
        last = k
        if depth == 0 and (code.endswith(";") or code.endswith("}")):
            starts.append(current)
            current = None
        k += 1
    return starts, last


DECLARED = re.compile(r"^(?P<prefix>.*?)\b(?P<name>~?\w+|operator\W+)\s*\(")
VARIABLE = re.compile(r"^(?P<type>[^=(]*?)\s*\b\w+\s*(=[^;]*)?;$")


def signature(lines, start):
    """(return type and qualifiers, name) of the function declared from line `start`; (type,
    "") for a variable or constant; (the line, None) for anything else."""
    line = strip_code(lines[start]).strip()
    while (line.startswith("template") or line.startswith("requires")) and start + 1 < len(lines):
        start += 1
        line = strip_code(lines[start]).strip()
    # A declaration continued on the next lines (a long initializer) is read as one.
    k = start
    while not re.search(r"[;{}]$", line) and k + 1 < len(lines) and k < start + 3:
        k += 1
        line += " " + strip_code(lines[k]).strip()
    match = DECLARED.match(line)
    if not match:
        variable = VARIABLE.match(line)
        if variable:
            return " ".join(variable["type"].split()), ""
        return line, None
    prefix = re.sub(r"\b(constexpr|inline|virtual|explicit)\b|\[\[\w+\]\]", "", match["prefix"])
    return " ".join(prefix.split()), match["name"]


def declares_several(line):
    """Whether the line declares several variables at once (`int a = 0, b = 0;`)."""
    code = strip_code(line).strip()
    if not code.endswith(";") or "(" in code:
        return False
    depth = 0
    for c in code:
        depth += c in "<[{"
        depth -= c in ">]}"
        if c == "," and depth == 0:
            return True
    return False


def shares_comment(lines, starts):
    """How many of the declarations at `starts`, from the first, one comment above them
    describes: a getter
    and its setter, overloads of one name, or functions of the same return type and kind
    (`distantPast()`, `distantFuture()`), or constants or fields of one type. A constructor
    followed by factories, or fields of different types, each want their own comment."""
    def shape(prefix):
        # std::optional<std::string> and std::optional<Data> are the same kind of result.
        while re.search(r"<[^<>]*>", prefix):
            prefix = re.sub(r"<[^<>]*>", "", prefix)
        return prefix

    sigs = [(shape(prefix), name) for prefix, name in (signature(lines, k) for k in starts)]
    names = {name for _, name in sigs}
    first_prefix, first_name = sigs[0]
    count = 1
    for prefix, name in sigs[1:]:
        if name == "" and first_name == "" and prefix == first_prefix:
            count += 1  # constants or fields of one type
            continue
        if not name or not first_name:
            break
        if name == first_name:
            count += 1
            continue
        if name.startswith("set") and name[3:4].lower() + name[4:] in names:
            count += 1
            continue
        if any(other.startswith("set") and other[3:4].lower() + other[4:] == name for other in names):
            count += 1
            continue
        if prefix and prefix == first_prefix:
            count += 1
            continue
        break
    return count


def convert(text):
    """The text with its declaration comments turned into Doxygen comments."""
    lines = text.split("\n")
    out = list(lines)
    before = {}  # line index -> lines to insert before it
    after = {}  # line index -> lines to insert after it
    scopes = Scopes()
    named = None  # (depth, indentation) of an open `\name` group made from a section ruler
    in_group = False  # inside a member group (Doxygen groups do not nest)

    def close_named(i):
        nonlocal named, in_group
        k = i - 1
        while k > 0 and not lines[k].strip():
            k -= 1
        after.setdefault(k, []).append(named[1] + "///@}")
        named, in_group = None, False

    i, n = 0, len(lines)
    while i < n:
        stripped = lines[i].strip()
        depth = len(scopes.stack)
        if stripped == "///@{":
            in_group = True
        elif stripped == "///@}":
            in_group = False
        if named is not None and depth == named[0] and (
                re.match(r"^(public|private|protected)\s*:", stripped) or RULER.match(stripped)
                or (stripped.startswith("}") and strip_code(lines[i]).strip().startswith("}"))):
            close_named(i)
        if is_plain_comment(stripped) and strip_code(lines[i]).strip() == "":
            j = i
            while j < n and is_plain_comment(lines[j].strip()) and strip_code(lines[j]).strip() == "":
                j += 1
            block = list(range(i, j))
            follows = lines[j].strip() if j < n else ""
            at_scope = scopes.at_declaration_scope()
            ruler = RULER.match(lines[block[0]].strip())
            if ruler and at_scope and depth > 1 and not in_group:
                # A section of a class: a named member group up to the next section, access
                # label or the end of the class; its title documents the members that have
                # no comment of their own.
                title = lines[block[0]].strip()[2:].strip().strip("-=").strip()
                if title and is_declaration(follows) or len(block) > 1:
                    indent = indent_of(lines[block[0]])
                    out[block[0]] = indent + "/// \\name " + title
                    after.setdefault(block[0], []).append(indent + "///@{")
                    if len(block) > 1:
                        # A comment right after the group's opening would describe the group,
                        # not the member below it.
                        after[block[0]].append("")
                    named, in_group = (depth, indent), True
                block.pop(0)
            while block and (RULER.match(lines[block[0]].strip()) or LINT.match(lines[block[0]].strip())):
                block.pop(0)
            if block and at_scope and is_declaration(follows):
                for k in block:
                    out[k] = to_doc(lines[k])
                starts, last = declaration_run(lines, j)
                shared = shares_comment(lines, starts) if len(starts) > 1 and not in_group else 1
                if shared == 1 and not in_group and declares_several(lines[j]):
                    # `double red = 0, green = 0;`: one comment for several variables too.
                    before.setdefault(j, []).append(indent_of(lines[j]) + "///@{")
                    after.setdefault(starts[1] - 1 if len(starts) > 1 else last, []).append(
                        indent_of(lines[j]) + "///@}")
                if shared > 1:
                    # One comment over several declarations (a getter and its setter, a pair
                    # of bounds): a member group shares it among them.
                    end = starts[shared] - 1 if shared < len(starts) else last
                    before.setdefault(j, []).append(indent_of(lines[j]) + "///@{")
                    after.setdefault(end, []).append(indent_of(lines[j]) + "///@}")
            i = j
            continue
        code = strip_code(lines[i])
        pos = trailing_comment_start(lines[i])
        if pos >= 0 and scopes.at_declaration_scope():
            comment = lines[i][pos:]
            before_code = code.rstrip()
            if (is_plain_comment(comment) and not LINT.match(comment)
                    and not before_code.lstrip().startswith("}") and not before_code.lstrip().startswith("#")
                    and re.search(r"[;,]$|\w$|\)$", before_code)):
                head, rest = lines[i][:pos], lines[i][pos + 2:]
                # `///<` is two characters longer: take them from an aligning run of spaces
                # (keeping two) rather than pass 100 columns.
                while len(head) + 4 + len(rest) > 100 and head.endswith("   "):
                    head = head[:-1]
                out[i] = head + "///<" + rest
                # Continuation lines aligned under the trailing comment.
                k = i + 1
                while k < n and lines[k].startswith(" " * pos + "//") and is_plain_comment(lines[k].strip()) \
                        and strip_code(lines[k]).strip() == "":
                    out[k] = lines[k][:pos] + "///<" + lines[k][pos + 2:]
                    k += 1
                scopes.feed(code)
                i = k
                continue
        scopes.feed(code)
        i += 1
    result = []
    for idx, line in enumerate(out):
        result.extend(before.get(idx, []))
        result.append(line)
        result.extend(after.get(idx, []))
    return "\n".join(result)


def main(argv):
    check = "--check" in argv
    paths = [pathlib.Path(a) for a in argv if a != "--check"]
    if not paths:
        paths = sorted(pathlib.Path("src/chronelle").glob("*/*.h"))
    changed = []
    for path in paths:
        text = path.read_text()
        new = convert(text)
        if new != text:
            changed.append(str(path))
            if not check:
                path.write_text(new)
    for name in changed:
        print(("would change " if check else "converted ") + name)
    return 1 if check and changed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
