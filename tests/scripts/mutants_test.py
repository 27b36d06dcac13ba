#!/usr/bin/env python3
"""scripts/mutants.py: which mutants it finds in a source file."""
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "mutants.py"
sys.path.insert(0, str(SCRIPT.parent))
import mutants  # noqa: E402  (found through the path just added)


def changes(source):
    with tempfile.TemporaryDirectory() as root:
        (Path(root) / "src").mkdir()
        (Path(root) / "src" / "a.cpp").write_text(source + "\n")
        return [(c["line"], c["change"], c["mutated"]) for c in mutants.candidates(Path(root))]


class Finder(unittest.TestCase):
    def test_mutants_of_code_only(self):
        win = "#ifdef _WIN32\nint a = 1;\n#else\nint b = 1;\n#endif\n"
        fltk = "#ifdef VARNHOLT_WITH_FLTK\nint f = 1;\n#endif"
        cases = [
            ("if (a >= b) {", [(1, ">= -> >", "if (a > b) {")]),
            ("x = a == b || !c;", [(1, "== -> !=", "x = a != b || !c;"), (1, "|| -> &&", "x = a == b && !c;"),
                                   (1, "dropped !", "x = a == b || c;")]),
            ("x = y + 0x0a;", [(1, "+ N -> - N", "x = y - 0x0a;"), (1, "0x0a -> 0x0b", "x = y + 0x0b;"),
                               (1, "0x0a -> 0x09", "x = y + 0x09;")]),
            ("x = true;", [(1, "true -> false", "x = false;")]),
            # Not operators of ours, nor code: templates, shifts, rvalue references, operator names,
            # identifiers with digits, floating point, octal, comments, literals, assertions.
            ("template <typename T> f(T&& t) { return t->x >> y << z; }", []),
            ("bool operator==(const A&) const; int32_t u16; double d = 1.5 + .5e3; int m = 0755;", []),
            ('x = y; // a < b\nx = "a < b && !c"; y = \'!\';\nstatic_assert(sizeof(int) == 4);', []),
            ("/* a < b\n   && true */ x = R\"(a < b)\"; y = !z;",
             [(2, "dropped !", '   && true */ x = R"(a < b)"; y = z;')]),
            ("#define M(x) \\\n    ((x) < 2)\n" + win + fltk, [(6, "1 -> 2", "int b = 2;"), (6, "1 -> 0", "int b = 0;"),
                                                          (9, "1 -> 2", "int f = 2;"), (9, "1 -> 0", "int f = 0;")]),
        ]
        for source, expected in cases:
            with self.subTest(source=source):
                self.assertCountEqual(changes(source), expected)


if __name__ == "__main__":
    unittest.main()
