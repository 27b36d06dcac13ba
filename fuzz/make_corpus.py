#!/usr/bin/env python3
"""Writes the seed corpora of fuzz/corpus/<target>/ from the cases the test suites use.

Structured targets read their input through libFuzzer's FuzzedDataProvider: strings from the
front, numbers and flags from the back. Seed encodes values the same way, so each seed file
is the case it names. Run again after changing a target's input layout.
"""
import hashlib
import pathlib
import shutil

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"


class Seed:
    def __init__(self):
        self.front = bytearray()
        self.back = []  # in the order the target consumes them

    def string(self, text):  # ConsumeRandomLengthString
        data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
        self.front += data.replace(b"\\", b"\\\\") + b"\\;"
        return self

    def rest(self, data):  # ConsumeRemainingBytes(AsString)
        self.front += data.encode("utf-8") if isinstance(data, str) else bytes(data)
        return self

    def ranged(self, lo, hi, value):  # ConsumeIntegralInRange
        span, offset, count = hi - lo, 0, 0
        while offset < 64 and (span >> offset) > 0:
            count += 1
            offset += 8
        self.back += list((value - lo).to_bytes(count, "big")) if count else []
        return self

    def flag(self, value):  # ConsumeBool
        self.back.append(1 if value else 0)
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def utf16(text):
    return text.encode("utf-16-le")


def write(target, seeds):
    folder = ROOT / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for seed in seeds:
        data = seed.bytes() if isinstance(seed, Seed) else seed
        (folder / hashlib.sha1(data).hexdigest()[:16]).write_bytes(data)


def status_text():
    messages = [
        "[Varnholt][Stand-in ODBC] Server FS01 is not reachable. (Btrieve Error 3012)",
        "Btrieve Error 2", "Btrieve Error 2 and then 3", "Btrieve Error2", "btrieve error 2",
        "Btrieve without the rest 5", " 40000", " 32767", " 00012",
    ]
    def message(text, padding, filler, marker, wide):
        return Seed().rest(text).ranged(0, 3, 3 if padding else 0).ranged(0, 40000, padding) \
            .ranged(0, 0xFFFF, filler).flag(marker).flag(wide)

    seeds = [message(text, 0, ord("x"), text.startswith(" "), False) for text in messages]
    # The marker near the last position it may start at, the rest at its longest, lone surrogates.
    seeds += [message(" 7", padding, ord("x"), True, False) for padding in (32752, 32753)]
    seeds.append(message("", 32766, ord("1"), False, False))
    seeds.append(message(utf16(" Fehler 7"), 0, 0xD800, True, True))
    write("status_text", seeds)


def text(seed, value, wide=False):
    seed.string(utf16(value) if wide else value)
    return seed.flag(not wide)


def get_label():
    seeds = []
    cases = [
        ("Copy [%1] to [%2]?", [("s", "A"), ("s", "B")]),
        ("[%1][%1]", [("l", 5)]),
        ("[%1]", [("s", "[%2]"), ("s", "y")]),
        ("[%[%1]1]", [("s", "1")]),
        ("[%1] [%10] [%01]", [("s", c) for c in "abcdefghij"]),
        ("[%1]|[%2]|[%3]|[%4]", [("i", -7), ("b", True), ("b", False), ("d", 0x4004000000000000)]),
        ("<[%1]>", [("e", None)]),
        ("[%1] [%2]", [("s", "a"), ("n", None)]),
        ("[%1]", [("a", "x")]),
        ("[%1]", [("o", None)]),
        ("[%1]", [("d", 0x7FF0000000000000)]),
        ("Ünïcødé [%1]", [("s", "€")]),
        ("[%12]", [("s", str(i)) for i in range(12)]),
    ]
    kinds = {"e": 0, "n": 1, "i": 2, "l": 3, "d": 4, "b": 5, "s": 6, "a": 7, "o": 8}
    for prompt, args in cases:
        seed = text(Seed(), prompt)
        seed.ranged(0, 12, len(args))
        for kind, value in args:
            seed.ranged(0, 8, kinds[kind])
            if kind == "i":
                seed.ranged(-32768, 32767, value)
            elif kind == "l":
                seed.ranged(-2**31, 2**31 - 1, value)
            elif kind == "d":
                seed.ranged(0, 2**64 - 1, value)
            elif kind == "b":
                seed.flag(value)
            elif kind == "s":
                text(seed, value)
            elif kind == "a":
                seed.ranged(-128, 127, 0)
                text(seed, value)
        seeds.append(seed)
    write("get_label", seeds)


def paths():
    cases = ["S:\\data\\Accounts", "s:data", "S:", "T:\\x", "L:\\x", "N:\\x", "U:\\", "Q:\\x", "C:\\Kestrin\\Data",
             "E:\\", "R:\\r", "  S:\\lead  ", "\\\\srv\\apps\\data", "\\\\srv", "\\x\\y", "a\\\\b\\c", "x\\", "",
             "folder/name", "C:", "1:\\x", "\\\\\\\\"]
    seeds = []
    for index, case in enumerate(cases):
        for literals in (True, False) if index < 8 else (True,):
            seeds.append(Seed().rest(case).flag(literals).ranged(0, 33000, 0).ranged(0, 0xFFFF, 0x5C)
                         .ranged(0, 7, 0).flag(False))
    seeds.append(Seed().rest("\\end").flag(True).ranged(0, 33000, 32767).ranged(0, 0xFFFF, ord("a"))
                 .ranged(0, 7, 7).flag(False))
    write("paths", seeds)


def dbname():
    cases = [("PFX", "C:\\Kestrin\\Data\\Accounts 2024"), ("  ab ", "\\\\srv\\apps\\Ünïcødé-Db"), ("", "no/sep"),
             ("x", "C:\\trailing\\"), ("é", "a\u20acb\u0000c")]
    seeds = [text(text(Seed(), p), d).ranged(0, 15, 0) for p, d in cases]
    seeds.append(text(text(Seed(), "P"), "a\\b").ranged(0, 15, 15).ranged(0, 2, 1))
    write("dbname", seeds)


def ansi():
    write("ansi", [b"Caf\xe9 \x80 \x81\x8d\x8f\x90\x9d \xff", "Ünïcødé €".encode("utf-8"), utf16("Ω€\u0000x"),
                   b"\x00\xd8\x41\x00", b"\x3d\xd8\x00\xde", b"\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82"])


def odbc_connection_string():
    strings = ["Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@ACCOUNTS",
               "Driver={Pervasive ODBC Client Interface};ServerName=;dbq=@x",
               " servername = { FS;01 }} } ; DBQ=@a ;dbq=@b", "a;b;=c;ServerName", "dbq={unterminated"]
    seeds = [Seed().flag(False).string("dbq").rest(s) for s in strings]
    built = Seed().flag(True).ranged(1, 6, 2)
    built.string("Server").flag(False).string(" FS01 ")
    built.string("dbq").flag(True).string("@a;}b").flag(True)
    seeds.append(built)
    write("odbc_connection_string", seeds)


def odbc_query():
    write("odbc_query", [s.encode() for s in [
        "Select Top 1 * From COMPANY", "  select TOP 1 *  from company ;", "Select Top 1 * From [Company]",
        "Select Top 1 * From \"Company\";", "Select Top 1 * From Company;;", "Select Top 1 * From ;",
        "Select Top 1 * From A B", "Select * From Company", "Select ID From Company",
        "Ledger\nL_dger", "Led_ger\nLed\\_ger", "50%\n50\\%", "Ledger\n%g%x", "Select\tTop\n10\r*\fFrom\vX ; ", "DROP TABLE x"]])


def standin_files():
    names = "# comment\nACCOUNTS\tC:\\Dict\tC:\\Data\t2\n\nPAYROLL\t\\\\srv\\apps\\dict\tD:\\\t-2147483648\r\n" \
            "  \tblank name\nONLY\nBAD\ta\tb\tnot a number\textra\n"
    faults = "PvGetDbName\t7009\nPvStart\t 7004 \t2\nSQLDriverConnect\t3012\t\n#PvStop\t1\nx\t+5\t0\nx\t1\t-1\n"
    conf = "version=9.5.0\nplatform=W\n# version=1\nversion = 10.\nversion=1.2.3.4\nplatform=\n"
    users = "admin\tsecret\n#root\tpw\nÅsa\tlösen\t\n\tnobody\n"
    answers = "PvGetDbName\t10\tAC\\0ME\nPvGetDbDataPath\t-3\tCaf\u00e9\\0\\\\0\n#x\t1\ty\nx\t1\nx\t1\ty\tz\n" \
              "PvGetDbName\t+2147483648\tA\n"
    seeds = [Seed().ranged(0, 5, 0).rest(names), Seed().ranged(0, 5, 1).rest(faults),
             Seed().ranged(0, 5, 2).rest(conf), Seed().ranged(0, 5, 3).string("ADMIN").string("secret").rest(users),
             Seed().ranged(0, 5, 3).string("åsa").string("lösen").rest(users), Seed().ranged(0, 5, 5).rest(answers)]
    for number in [" -2147483648", "2147483648", "+7", "+-7", "0007", "", "-"]:
        seeds.append(Seed().ranged(0, 5, 4).rest(number))
    write("standin_files", seeds)


def drive_table():
    table = "S:\tremote\t/mnt/s\t\\\\srv\\apps\nC:\tfixed\t/\n# E:\tcdrom\t/media/cd\ne:\tCDROM\t/media/cd\n" \
            "N:\tnoroot\nX:\tbogus\t/x\nS:\tremote\t/mnt/s2\t\\\\SRV\\Apps\\sub\n"
    paths = ["S:\\a\\..\\..\\..\\etc", "s:a/b/", "\\\\srv\\apps\\..\\..\\x", "\\\\SRV\\APPS\\SUB\\y", "C:", "Q:\\x",
             "plain\\path", "//srv/apps/./z"]
    write("drive_table", [Seed().string(p).rest(table) for p in paths])


if __name__ == "__main__":
    for make in (status_text, get_label, paths, dbname, ansi, odbc_connection_string, odbc_query, standin_files,
                 drive_table):
        make()
