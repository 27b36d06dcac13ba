#!/usr/bin/env python3
"""Mutants of the portable core for scripts/mutants.sh: listing, sampling and applying them.

A mutant is one simple change of one source line. It is recorded by file, line number, the
line's exact original text and its mutated text, so a saved sample still applies when lines
move: the line is found again by its text, and a mutant whose line is gone does not apply.

  mutants.py sample ROOT N SEED     the sample, as a file mutants.sh --from reads
  mutants.py candidates ROOT        every candidate, in the same format
  mutants.py apply TREE RECORD      apply one record of a sample to the tree; prints
                                    "file<TAB>line<TAB>change", exits 3 when it does not apply
"""
import hashlib
import json
import re
import sys
from pathlib import Path

# The portable core as the Linux build compiles it: no Windows shell, no Win32 services, no
# generated picture data.
EXCLUDED_DIRS = ("src/component/", "src/platform/win32/")
EXCLUDED_FILES = ("src/login/LoginPicturePixels.cpp",)
SOURCE_SUFFIXES = (".cpp", ".h")

# Macros the Linux build defines, for deciding which #if branches are compiled. Anything not
# named here and not known to be absent keeps its branch (a mutant there is merely stillborn
# or survives; it is never wrongly left out).
DEFINED = {"VARNHOLT_WITH_FLTK", "__linux__", "__unix__", "__GNUC__"}
UNDEFINED = {"_WIN32", "_WIN64", "_MSC_VER", "__MINGW32__", "CopyFile"}

MASK = "\x01"  # stands for a character of a comment or literal: neither a word nor a space


def masked_lines(text):
    """The file's lines with comments, string and character literals replaced by MASK, so
    the operators below only ever match code."""
    out, line = [], []
    i, n = 0, len(text)
    state = "code"
    raw_end = None
    while i < n:
        c = text[i]
        if c == "\n":
            out.append("".join(line))
            line = []
            if state in ("line_comment",):
                state = "code"
            i += 1
            continue
        if state == "code":
            if text.startswith("//", i):
                state = "line_comment"
                line.append(MASK)
            elif text.startswith("/*", i):
                state = "block_comment"
                line.append(MASK * 2)
                i += 2
                continue
            elif c == '"':
                m = re.match(r'R"([^(\s"\\]*)\(', text[i - 1:i + 20]) if i > 0 and text[i - 1] == "R" else None
                if m:
                    raw_end = ")" + m.group(1) + '"'
                    state = "raw"
                else:
                    state = "string"
                line.append(MASK)
            elif c == "'" and not re.search(r"(?<![\w])[0-9][0-9A-Fa-fxX']*$", "".join(line)):
                state = "char"
                line.append(MASK)
            else:
                line.append(c)
        elif state == "line_comment":
            line.append(MASK)
        elif state == "block_comment":
            if text.startswith("*/", i):
                line.append(MASK * 2)
                state = "code"
                i += 2
                continue
            line.append(MASK)
        elif state == "raw":
            if text.startswith(raw_end, i):
                line.append(MASK * len(raw_end))
                i += len(raw_end)
                state = "code"
                continue
            line.append(MASK)
        elif state in ("string", "char"):
            quote = '"' if state == "string" else "'"
            if c == "\\" and i + 1 < n and text[i + 1] != "\n":
                line.append(MASK * 2)
                i += 2
                continue
            if c == quote:
                state = "code"
            line.append(MASK)
        i += 1
    out.append("".join(line))
    return out


def condition_holds(expr):
    """True or False for an #if condition over DEFINED/UNDEFINED, None when it cannot tell."""
    known = True

    def defined(m):
        nonlocal known
        name = m.group(1) or m.group(2)
        if name in DEFINED:
            return " True "
        if name in UNDEFINED:
            return " False "
        known = False
        return " True "

    expr = re.sub(r"defined\s*\(\s*(\w+)\s*\)|defined\s+(\w+)", defined, expr)
    expr = expr.replace("&&", " and ").replace("||", " or ")
    expr = re.sub(r"!(?!=)", " not ", expr)
    if not known or re.search(r"\b(?!True\b|False\b|and\b|or\b|not\b)[A-Za-z_]\w*", expr):
        return None
    try:
        return bool(eval(expr, {"__builtins__": {}}))  # only True/False/and/or/not remain
    except Exception:
        return None


def compiled_lines(masked):
    """Per line: True when it is ordinary code the Linux build compiles (not a preprocessor
    line, not in a branch that is left out)."""
    result = []
    stack = []  # per open #if: (branch active, some earlier branch was taken, condition known)
    continued = False
    for text in masked:
        stripped = text.strip()
        directive = continued or stripped.startswith("#")
        if directive and not continued:
            m = re.match(r"#\s*(\w+)\s*(.*)", stripped)
            word, rest = (m.group(1), m.group(2)) if m else ("", "")
            rest = rest.replace(MASK, " ")
            if word in ("if", "ifdef", "ifndef"):
                if word == "ifdef":
                    rest = f"defined({rest.split()[0]})"
                elif word == "ifndef":
                    rest = f"!defined({rest.split()[0]})"
                holds = condition_holds(rest)
                stack.append((holds is not False, holds is True, holds is not None))
            elif word == "elif" and stack:
                _, taken, known = stack[-1]
                holds = condition_holds(rest)
                active = not (known and taken) and holds is not False
                stack[-1] = (active, taken or holds is True, known and holds is not None)
            elif word == "else" and stack:
                _, taken, known = stack[-1]
                stack[-1] = (not (known and taken), True, known)
            elif word == "endif" and stack:
                stack.pop()
        continued = directive and text.rstrip().endswith("\\")
        active = all(entry[0] for entry in stack)
        result.append(active and not directive)
    return result


# Each operator: (name, regular expression on the masked line, replacement of the match).
# Comparisons and logical operators must stand between spaces (or at a line's edge), which
# keeps template brackets, shifts, arrows and rvalue references out.
SPACED = r"(?:(?<=\s)|^)({})(?=\s|$)"


def off_by_one(literal, delta):
    if literal.lower().startswith("0x"):
        digits = literal[2:]
        value = int(digits, 16) + delta
        if value < 0:
            return None
        text = f"{value:0{len(digits)}x}"
        return literal[:2] + (text.upper() if digits.upper() == digits else text)
    value = int(literal) + delta
    return str(value) if value >= 0 else None


def line_mutations(code):
    """(column, matched length, replacement, description) of every mutant of one masked line."""
    found = []
    swaps = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
    for m in re.finditer(SPACED.format("<=|>=|==|!=|&&|\\|\\||<|>"), code):
        op = m.group(1)
        found.append((m.start(1), len(op), swaps[op], f"{op} -> {swaps[op]}"))
    for m in re.finditer(r"\b(true|false)\b", code):
        other = "false" if m.group(1) == "true" else "true"
        found.append((m.start(1), len(m.group(1)), other, f"{m.group(1)} -> {other}"))
    for m in re.finditer(r"(?<!operator)(?<![!=<>])!(?!=)", code):
        found.append((m.start(), 1, "", "dropped !"))
    literal = r"(?<![\w.])(0[xX][0-9A-Fa-f]+|0|[1-9][0-9]*)(?=[uUlLzZ]*(?![\w.]))"
    for m in re.finditer(literal, code):
        for delta in (1, -1):
            new = off_by_one(m.group(1), delta)
            if new is not None:
                found.append((m.start(1), len(m.group(1)), new, f"{m.group(1)} -> {new}"))
    for m in re.finditer(r"(?<=\s)([+-])(?=\s+(?:0[xX][0-9A-Fa-f]+|[0-9]+)\b)", code):
        other = "-" if m.group(1) == "+" else "+"
        found.append((m.start(1), 1, other, f"{m.group(1)} N -> {other} N"))
    return sorted(found)


def skipped(code):
    # Assertions are compiled out of the release build; a static_assert or an attribute can
    # only break the build, not change what it does.
    return re.search(r"\b(static_assert|assert|__attribute__)\s*\(", code) is not None


def core_sources(root):
    for path in sorted((root / "src").rglob("*")):
        rel = path.relative_to(root).as_posix()
        if path.suffix in SOURCE_SUFFIXES and path.is_file() and not rel.startswith(EXCLUDED_DIRS) \
                and rel not in EXCLUDED_FILES:
            yield rel, path


def candidates(root):
    """Every mutant of the core, ordered by file, line and column."""
    result = []
    for rel, path in core_sources(root):
        text = path.read_text(encoding="utf-8")
        lines = text.split("\n")
        masked = masked_lines(text)
        for number, (original, code, compiled) in enumerate(zip(lines, masked, compiled_lines(masked)), 1):
            if not compiled or skipped(code):
                continue
            for column, length, replacement, change in line_mutations(code):
                mutated = original[:column] + replacement + original[column + length:]
                result.append({"file": rel, "line": number, "change": change,
                               "original": original, "mutated": mutated})
    return result


def rank(candidate, seed, occurrence):
    # A mutant's place depends on itself and the seed only (not on its line number or on the
    # other candidates), so edits elsewhere in src/ leave most of a sample as it was.
    key = json.dumps([seed, candidate["file"], candidate["original"], candidate["mutated"], occurrence])
    return hashlib.sha256(key.encode()).hexdigest()


def sample(root, count, seed):
    everything = candidates(root)
    seen = {}
    ranked = []
    for c in everything:
        identity = (c["file"], c["original"], c["mutated"])
        seen[identity] = seen.get(identity, 0) + 1
        ranked.append((rank(c, seed, seen[identity]), c))
    ranked.sort(key=lambda item: item[0])
    chosen = [c for _, c in ranked[:count]]
    # Run in file order: consecutive mutants of one file rebuild the same targets.
    chosen.sort(key=lambda c: (c["file"], c["line"], c["change"], c["mutated"]))
    return chosen, len(everything)


def write(records, header):
    for line in header:
        print(f"# {line}")
    for r in records:
        print(json.dumps(r, ensure_ascii=False))


def apply(tree, record):
    """Applies one record; prints "file<TAB>line<TAB>change" with the line where it applied, or
    where it was recorded when its line is gone (then returns 3)."""
    r = json.loads(record)
    path = Path(tree) / r["file"]
    lines = path.read_text(encoding="utf-8").split("\n") if path.is_file() else []
    matches = [i for i, text in enumerate(lines) if text == r["original"]]
    if not matches:
        print(f"{r['file']}\t{r['line']}\t{r['change']}")
        return 3
    # Of identical lines, the one nearest where it was.
    index = min(matches, key=lambda i: abs(i + 1 - r["line"]))
    lines[index] = r["mutated"]
    path.write_text("\n".join(lines), encoding="utf-8")
    print(f"{r['file']}\t{index + 1}\t{r['change']}")
    return 0


def main(argv):
    if len(argv) == 5 and argv[1] == "sample":
        chosen, total = sample(Path(argv[2]), int(argv[3]), int(argv[4]))
        write(chosen, [f"mutants of the portable core: {len(chosen)} of {total} candidates, seed {argv[4]}",
                       "one JSON record a line; scripts/mutants.sh --from FILE runs them"])
        return 0
    if len(argv) == 3 and argv[1] == "candidates":
        everything = candidates(Path(argv[2]))
        write(everything, [f"every mutant of the portable core: {len(everything)}"])
        return 0
    if len(argv) == 4 and argv[1] == "apply":
        return apply(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
