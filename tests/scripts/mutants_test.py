#!/usr/bin/env python3
"""scripts/mutants.py: which mutants it finds, how it samples them and how a saved one applies."""
import contextlib
import io
import json
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "mutants.py"
sys.path.insert(0, str(SCRIPT.parent))
import mutants  # noqa: E402  (found through the path just added)


def changes(source):
    """(line number, change, mutated line) of every candidate of one source file."""
    with tempfile.TemporaryDirectory() as root:
        (Path(root) / "src").mkdir()
        (Path(root) / "src" / "a.cpp").write_text(source)
        return [(c["line"], c["change"], c["mutated"]) for c in mutants.candidates(Path(root))]


class Operators(unittest.TestCase):
    def test_each_line(self):
        cases = [
            ("if (a < b) {", [("< -> <=", "if (a <= b) {")]),
            ("if (a >= b) {", [(">= -> >", "if (a > b) {")]),
            ("x = a == b;", [("== -> !=", "x = a != b;")]),
            ("x = a != b;", [("!= -> ==", "x = a == b;")]),
            ("x = a && b;", [("&& -> ||", "x = a || b;")]),
            ("x = a || b;", [("|| -> &&", "x = a && b;")]),
            ("    || b;", [("|| -> &&", "    && b;")]),
            ("x = true;", [("true -> false", "x = false;")]),
            ("x = !a;", [("dropped !", "x = a;")]),
            ("x = y + 2;", [("+ N -> - N", "x = y - 2;"), ("2 -> 3", "x = y + 3;"), ("2 -> 1", "x = y + 1;")]),
            ("x = 0;", [("0 -> 1", "x = 1;")]),
            ("x = 10u;", [("10 -> 11", "x = 11u;"), ("10 -> 9", "x = 9u;")]),
            ("x = 0x3F;", [("0x3F -> 0x40", "x = 0x40;"), ("0x3F -> 0x3E", "x = 0x3E;")]),
            ("x = 0x0a;", [("0x0a -> 0x0b", "x = 0x0b;"), ("0x0a -> 0x09", "x = 0x09;")]),
            # Not operators of ours: templates, shifts, arrows, rvalue references, operator
            # names, identifiers with digits, floating point, octal.
            ("std::vector<int> v;", []),
            ("template <typename T> f(T&& t) { return t->x >> y << z; }", []),
            ("bool operator==(const A&) const;", []),
            ("bool operator!() const;", []),
            ("int32_t u16;", []),
            ("double d = 1.5 + .5e3;", []),
            ("int m = 0755;", []),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                found = [(change, mutated) for _, change, mutated in changes(line + "\n")]
                self.assertCountEqual(found, expected)

    def test_comments_and_literals_are_not_code(self):
        cases = [
            ("x = y; // a < b && true", []),
            ('x = "a < b && !c";', []),
            ("x = '<'; y = '!';", []),
            ("x = u'\\'' ; y = '\"'; z = a < b;", ["< -> <="]),
            ("/* a < b\n   && true */ x = !y;", ["dropped !"]),
            ('x = R"(a < b " && c)"; y = !z;', ["dropped !"]),
            ("x = 1'000; y = a < b;", ["1 -> 2", "1 -> 0", "< -> <="]),
        ]
        for source, expected in cases:
            with self.subTest(source=source):
                self.assertCountEqual([change for _, change, _ in changes(source + "\n")], expected)

    def test_code_after_a_block_comment_on_its_line_counts(self):
        self.assertEqual(changes("/* x */ y = a < b;\n"), [(1, "< -> <=", "/* x */ y = a <= b;")])

    def test_directives_assertions_and_left_out_branches_have_no_mutants(self):
        source = "\n".join([
            "#include <a>",          # 1
            "#define N (1 + 2)",     # 2
            "#define M(x) \\",       # 3
            "    ((x) < 2)",         # 4: continues the directive
            "#ifdef _WIN32",         # 5
            "int a = 1;",            # 6: not in the Linux build
            "#else",                 # 7
            "int b = 1;",            # 8
            "#endif",                # 9
            "#if defined(_WIN32) && !defined(_WIN64)",
            "int c = 1;",            # 11
            "#endif",
            "#ifndef _WIN32",
            "int d = 1;",            # 14
            "#endif",
            "#ifdef SOMETHING_UNKNOWN",
            "int e = 1;",            # 17: kept, the build may define it
            "#endif",
            "#ifdef VARNHOLT_WITH_FLTK",
            "int f = 1;",            # 20
            "#else",
            "int g = 1;",            # 22: the Linux build has the window
            "#endif",
            "static_assert(sizeof(int) == 4);",
            "    assert(a < b);",
            "[[noreturn]] __attribute__((format(printf, 1, 2))) void f(const char*, ...);",
            "",
        ])
        self.assertEqual(sorted({line for line, _, _ in changes(source)}), [8, 14, 17, 20])


class Sampling(unittest.TestCase):
    SOURCE = "".join(f"int f{i}(int a) {{ return a < {i} && a != 0; }}\n" for i in range(40))

    def tree(self, root, source):
        for rel in ("src/core/a.cpp", "src/component/b.cpp", "src/platform/win32/c.cpp",
                    "src/login/LoginPicturePixels.cpp"):
            path = Path(root) / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(source)
        return Path(root)

    def identities(self, chosen):
        return [(c["file"], c["original"], c["mutated"]) for c in chosen]

    def test_only_the_portable_core_is_mutated(self):
        with tempfile.TemporaryDirectory() as root:
            files = {c["file"] for c in mutants.candidates(self.tree(root, self.SOURCE))}
        self.assertEqual(files, {"src/core/a.cpp"})

    def test_a_seed_draws_the_same_sample_and_moved_lines_keep_it(self):
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            chosen, total = mutants.sample(self.tree(first, self.SOURCE), 30, 1)
            again, _ = mutants.sample(self.tree(first, self.SOURCE), 30, 1)
            moved, _ = mutants.sample(self.tree(second, "\n\n// new\n" + self.SOURCE), 30, 1)
            other, _ = mutants.sample(self.tree(first, self.SOURCE), 30, 2)
        self.assertEqual(len(chosen), 30)
        self.assertGreater(total, 30)
        self.assertEqual(chosen, again)
        self.assertEqual(self.identities(chosen), self.identities(moved))
        self.assertEqual([c["line"] + 3 for c in chosen], [c["line"] for c in moved])
        self.assertNotEqual(self.identities(chosen), self.identities(other))
        self.assertEqual(chosen, sorted(chosen, key=lambda c: (c["file"], c["line"], c["change"], c["mutated"])))


class Applying(unittest.TestCase):
    def apply(self, lines, record):
        with tempfile.TemporaryDirectory() as root:
            path = Path(root) / "src" / "a.cpp"
            path.parent.mkdir()
            path.write_text("\n".join(lines) + "\n")
            with contextlib.redirect_stdout(io.StringIO()):
                status = mutants.apply(root, json.dumps(record))
            return status, path.read_text().split("\n")[:-1]

    def record(self, line, original, mutated):
        return {"file": "src/a.cpp", "line": line, "change": "x", "original": original, "mutated": mutated}

    def test_the_line_is_found_by_its_text(self):
        cases = [
            # (lines, recorded line, expected mutated index or None)
            (["a", "x < 1", "b"], 2, 1),
            (["new", "new", "a", "x < 1", "b"], 2, 3),   # moved down
            (["x < 1", "a", "b", "c", "x < 1"], 4, 4),   # of two identical lines, the nearer
            (["x < 1", "a", "b", "c", "x < 1"], 2, 0),
            (["a", "  x < 1", "b"], 2, None),            # indentation differs: gone
            (["a", "b"], 2, None),
        ]
        for lines, line, index in cases:
            with self.subTest(lines=lines, line=line):
                status, after = self.apply(lines, self.record(line, "x < 1", "x <= 1"))
                if index is None:
                    self.assertEqual(status, 3)
                    self.assertEqual(after, lines)
                else:
                    self.assertEqual(status, 0)
                    expected = list(lines)
                    expected[index] = "x <= 1"
                    self.assertEqual(after, expected)

    def test_a_missing_file_does_not_apply(self):
        with tempfile.TemporaryDirectory() as root:
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(mutants.apply(root, json.dumps(self.record(1, "a", "b"))), 3)


if __name__ == "__main__":
    unittest.main()
