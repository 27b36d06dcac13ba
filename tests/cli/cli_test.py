#!/usr/bin/env python3
"""The varnholt tool as its users meet it: a process with arguments, output and an exit status,
against a fresh stand-in engine home per test. VARNHOLT_CLI names the tool; CLI_TEST_TMP the
folder for temporary files (a file system with birth times); CLI_LIBRARY_PATH, when set, the
engine's library folder (otherwise the tool finds the engine by itself). The library's own
refusals are the C++ suites' business: here one row per way an error reaches the user."""
import errno
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from terminal_session import Session  # noqa: E402  (found through the path just added)

TOOL = os.environ["VARNHOLT_CLI"]
VERSION = os.environ.get("VARNHOLT_VERSION", "")
LOCAL = socket.gethostname()
DICTIONARY_FILES = ["File.ddf", "Field.ddf", "Index.ddf", "Attrib.ddf"]
CS = "Driver={{Pervasive ODBC Client Interface}};ServerName={};dbq=@{}"
GENERAL = "A general failure occurred."
NO_WAY_TO_ASK = ("varnholt: a login to {} is needed, but there is no terminal or display to ask on, so it counts "
                 "as cancelled (give --user and --password-stdin)")


def error(number, source, text):
    """The line the tool writes for an error the component raised under Kestrin.Varnholt.source."""
    return f"error {number} (Kestrin.Varnholt.{source}): {text}"


class Workspace:
    """A temporary folder with an engine home, company folders and a drive table."""

    def __init__(self, root):
        self.root = Path(root)
        self.home = self.root / "engine"
        (self.home / "local").mkdir(parents=True)
        (self.home / "engine.conf").write_text("version=9.5.0\nplatform=L\n")
        self.drives = None

    def server_dir(self, server):
        return self.home / "servers" / server if server else self.home / "local"

    def add_server(self, server, users=None):
        folder = self.server_dir(server)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "dbnames").touch()
        if users is not None:
            (folder / "users").write_text("".join(f"{u}\t{p}\n" for u, p in users))

    def add_name(self, server, name, dictionary, data):
        self.add_server(server)
        with open(self.server_dir(server) / "dbnames", "a") as f:
            f.write(f"{name}\t{dictionary}\t{data}\t2\n")

    def names(self, server=""):
        path = self.server_dir(server) / "dbnames"
        lines = path.read_text().splitlines() if path.exists() else []
        return [line.split("\t") for line in lines if line and not line.startswith("#")]

    def folder(self, relative, files=()):
        path = self.root / relative
        path.mkdir(parents=True, exist_ok=True)
        for name in files:
            (path / name).write_text(name)
        return path

    def master(self):
        return self.folder("master", DICTIONARY_FILES)

    def map_drive(self, letter, local, remote):
        """letter: a network drive mapped to remote, its files in local, beside the fixed disk C:."""
        if not self.drives:
            self.drives = self.root / "drives"
            self.drives.write_text("C:\tfixed\t/\n")
        with open(self.drives, "a") as f:
            f.write(f"{letter}:\tremote\t{local}\t{remote}\n")

    def share(self, users=(("admin", "s3cret"),)):
        """Drive S: is \\\\FS01\\apps, with the company folder S:\\Co; server FS01 has users."""
        self.folder("share/Co", ["ORDERS.DAT"])
        self.map_drive("S", self.root / "share", "\\\\FS01\\apps")
        self.add_server("FS01", users=list(users))

    def environment(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("ODBCSYSINI", "DISPLAY", "WAYLAND_DISPLAY", "VARNHOLT_DRIVES", "LD_LIBRARY_PATH")}
        env["VARNHOLT_ENGINE_HOME"] = str(self.home)
        if os.environ.get("CLI_LIBRARY_PATH"):
            env["LD_LIBRARY_PATH"] = os.environ["CLI_LIBRARY_PATH"]
        if self.drives:
            env["VARNHOLT_DRIVES"] = str(self.drives)
        return env

    def run(self, *args, stdin="", limit=None, env=None):
        """limit: the largest file the tool may write, in bytes; env: variables to add."""
        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the limit fails with EFBIG
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        # A session of its own: no controlling terminal, so a login prompt cannot be answered.
        done = subprocess.run([TOOL, *[a if isinstance(a, bytes) else str(a) for a in args]], input=stdin,
                              capture_output=True, text=True, env={**self.environment(), **(env or {})},
                              start_new_session=True, timeout=60, preexec_fn=limited if limit is not None else None)
        return done.returncode, done.stdout, done.stderr


class CliTestCase(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory(dir=os.environ.get("CLI_TEST_TMP"))
        self.addCleanup(folder.cleanup)
        self.ws = Workspace(folder.name)

    def check(self, result, status=0, out=None, err=()):
        """The exit status, exactly the lines err on stderr and, unless None, exactly out on stdout
        (a dict: the JSON document out)."""
        self.assertEqual((result[0], result[2]), (status, "".join(f"{line}\n" for line in err)), result[1])
        if out is not None:
            self.assertEqual(json.loads(result[1]) if isinstance(out, dict) else result[1], out)
        return result[1]

    def table(self, rows, **run):
        """Rows of (arguments, status, stdout or None, stderr lines)."""
        for args, *expected in rows:
            with self.subTest(args=args):
                self.check(self.ws.run(*args, **run), *expected)

    def usage(self, result, message, command=None):
        hint = f"varnholt {command} --help" if command else "varnholt --help"
        self.check(result, 2, "", [f"varnholt: {message}", f"Try '{hint}'."])


class AdminTest(CliTestCase):
    def test_list_and_count_in_engine_order(self):
        self.table([(("list",), 0, "No database names on the local engine.\n"),
                    (("list", "--json"), 0, {"server": "", "names": []}), (("count",), 0, "0\n")])
        self.ws.add_name("", "ZETA", "/d/zeta", "/data/zeta")
        self.ws.add_name("", "ACME", "C:\\Dict\\Acme", "\\\\srv\\apps\\Acme")
        self.table([
            (("list",), 0, "NAME  DICTIONARY    DATA\nZETA  /d/zeta       /data/zeta\n"
                           "ACME  C:\\Dict\\Acme  \\\\srv\\apps\\Acme\n"),
            (("list", "--json"), 0, {"server": "", "names": [
                {"id": 1, "name": "ZETA", "dictionary": "/d/zeta", "data": "/data/zeta"},
                {"id": 2, "name": "ACME", "dictionary": "C:\\Dict\\Acme", "data": "\\\\srv\\apps\\Acme"}]}),
            (("count",), 0, "2\n"), (("count", "--json"), 0, {"count": 2}),
        ])

    def test_create_drop_modify_change_the_engine(self):
        self.check(self.ws.run("create", "ACME", "/dict", "/data"), 0,
                   "Created database name ACME on the local engine.\n")
        self.assertEqual(self.ws.names(), [["ACME", "/dict", "/data", "2"]])
        self.check(self.ws.run("modify", "acme", "--new-name", "ACME2", "--data", "/moved"), 0,
                   "Modified database name acme on the local engine.\n")
        self.assertEqual([n[:3] for n in self.ws.names()], [["ACME2", "/dict", "/moved"]])
        self.check(self.ws.run("drop", "ACME2", "--json"), 0, {"name": "ACME2", "server": "", "dropped": True})
        self.assertEqual(self.ws.names(), [])

    def test_engine_refusals(self):
        self.ws.add_name("", "ACME", "/d", "/d")
        self.ws.add_name("", "?ÓD?", "/d", "/d")
        general = [error(7004, "CPVSServer.CreateDBName", GENERAL),
                   "hint: a database name must not be empty or hold control characters"]
        self.table([
            (("drop", "MISSING"), 1, None, [error(7013, "CPVSServer.DropDBName", "Named database does not exist.")]),
            # Through the code page the name would be ?ÓD?, and drop another name.
            (("drop", "ŚÓDŻ"), 1, None, [error(5, "CPVSServer.DropDBName", "Invalid procedure call or argument")]),
            (("create", "", "/x", "/x"), 1, None, general),
            (("create", "A\x01B", "/x", "/x"), 1, None, general),
        ])
        self.assertEqual(self.ws.names(), [["ACME", "/d", "/d", "2"], ["?ÓD?", "/d", "/d", "2"]])

    def test_a_general_failure_says_the_system_reason(self):
        self.check(self.ws.run("create", "N" * 64, "/x", "/x", limit=32), 1, None,
                   [error(7004, "CPVSServer.CreateDBName", GENERAL),
                    f"varnholt: the system's reason: {os.strerror(errno.EFBIG)}"])

    def test_named_server_credentials(self):
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.ws.add_name("FS01", "PAY", "\\\\FS01\\apps\\Pay", "\\\\FS01\\apps\\Pay")
        login = ("--server", "FS01", "--user", "admin", "--password-stdin")
        self.check(self.ws.run("count", *login, stdin="s3cret\n"), 0, "1\n")
        general = error(7004, "CPVSServer.Connect", GENERAL)
        # Nothing on stdout: the password read from stdin is never shown.
        self.table([(("list", *options), 1, "", err) for options, err in [
            (("--server", "FS01"), [error(7002, "CPVSServer.Connect", "Call with NULL pointer"), "hint: the server "
                                    "needs credentials: give them with --user NAME --password-stdin"]),
            (login, [error(7029, "CPVSServer.Connect", "Invalid User Details")]),
            (("--server", "NOWHERE"), [general, "hint: no engine answers as server NOWHERE: check the name given "
                                                "with --server"]),
            (("--server", "FS\x0201"),
             [general, "hint: the server name given with --server holds a control character"]),
        ]], stdin="wrong\n")

    def test_engine_home_option_wins_over_the_environment_and_the_last_one_wins(self):
        self.ws.add_name("", "ACME", "/d", "/d")
        other = self.ws.folder("other-engine/local").parent
        self.check(self.ws.run("count", "--engine-home", "/no/such/home", "--engine-home", self.ws.home,
                               env={"VARNHOLT_ENGINE_HOME": str(other)}), 0, "1\n")

    def test_version(self):
        (self.ws.home / "engine.conf").write_text("version=10.21.7\nplatform=W\n")
        self.table([
            (("version",), 0,
             "Engine version  10.21.7\nMajor version   10\nPlatform        W\nAdministration  generation 9\n"),
            (("version", "--json"), 0, {"version": "10.21.7", "major": 10, "platform": "W", "generation": 9}),
        ])


class LookupTest(CliTestCase):
    def test_find_takes_the_first_in_engine_order(self):
        self.ws.add_name("", "FIRST", "/d", "C:\\Data\\Co")
        self.ws.add_name("", "SECOND", "/d", "C:\\Data\\Co")
        self.table([
            (("find", "C:\\Data\\Co"), 0, "FIRST\n"),
            (("find", "c:\\data\\co"), 3, "No database name on the local engine has the data path c:\\data\\co.\n"),
            (("find", "C:\\Data\\Co", "--json"), 0, {"dataPath": "C:\\Data\\Co", "server": "", "name": "FIRST"}),
            (("find", "/none", "--json"), 3, {"dataPath": "/none", "server": "", "name": None}),
        ])

    def test_find_on_a_server(self):
        self.ws.add_name("FS01", "PAY", "\\\\FS01\\apps\\Pay", "\\\\FS01\\apps\\Pay")
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.check(self.ws.run("find", "\\\\FS01\\apps\\Co", "--server", "FS01"), 1, None,
                   [NO_WAY_TO_ASK.format("server FS01"),
                    error(7002, "ConnectionHelper.GetDBName", "Call with NULL pointer")])
        self.check(self.ws.run("find", "\\\\FS01\\apps\\Pay", "--server", "FS01", "--user", "admin", "--password-stdin",
                               stdin="s3cret"), 0, "PAY\n")

    def test_exists(self):
        self.ws.add_name("", "ACME", "/d", "/d")
        self.table([
            (("exists", "acme"), 0, "acme exists on the local engine.\n"),
            (("exists", "OTHER"), 3, "OTHER does not exist on the local engine.\n"),
            (("exists", "OTHER", "--server", LOCAL, "--json"), 3, {"name": "OTHER", "server": LOCAL, "exists": False}),
        ])

    def test_connection_string(self):
        self.table([
            (("connection-string", "ACME"), 0, CS.format(LOCAL, "ACME") + "\n"),
            (("connection-string", "ACME", "--server", "FS01"), 0, CS.format("FS01", "ACME") + "\n"),
            (("connection-string", "@ACME", "--server", "FS01"), 0, CS.format("FS01", "ACME") + "\n"),
            (("connection-string", "X", "--json"), 0, {"connectionString": CS.format(LOCAL, "X")}),
        ])

    def test_connect_and_test_query(self):
        data = self.ws.folder("co", ["CUSTOMER.DAT", *DICTIONARY_FILES])
        self.ws.add_name("", "ACME", data, data)
        cs = CS.format(LOCAL, "ACME")
        self.table([
            (("connect", "ACME"), 0, f"Opened {cs}\n"),
            (("connect", "ACME", "--test-table", "customer"), 0, f"Opened {cs}\nTest query on customer succeeded.\n"),
            (("connect", "ACME", "--test-table", "ORDERS"), 1, None,
             ["error -2147467259 (Varnholt.DataAccess): No such table or object."]),
            (("connect", "MISSING"), 1, None, [
                error(2301, "ConnectionHelper.CreatePSQLConnection",
                      "An error occurred in the Pervasive.SQL layer. The error was [2301]"),
                f"varnholt: the driver's message: [Varnholt][Stand-in ODBC] Database name MISSING is not defined on "
                f"server {LOCAL}. (Btrieve Error 2301)"]),
            (("connect", "ACME", "--json"), 0, {"connectionString": cs, "opened": True, "testTable": None}),
        ])
        stray = self.ws.folder("odbc")
        status, _, err = self.ws.run("connect", "ACME", env={"ODBCSYSINI": str(stray)})
        self.assertEqual((status, err.splitlines()[1:]), (1, [
            f"hint: ODBCSYSINI={stray} names a driver that does not load: unset it to use the tool's own driver"]))
        self.assertRegex(err.splitlines()[0], r"^error -2147467259 \(Kestrin\.Varnholt\.ConnectionHelper\."
                         r"CreatePSQLConnection\): \[unixODBC\]\[Driver Manager\]Can't open lib '.+' : file not found$")


class ProvisionTest(CliTestCase):
    def test_local_folder_is_created_once(self):
        master = self.ws.master()
        data = self.ws.folder("co", ["CUSTOMER.DAT"])
        other = self.ws.folder("co2", ["CUSTOMER.DAT"])
        self.table([
            (("provision", data, "--name", "ACME", "--master", master), 0,
             f"Created database name ACME.\n{CS.format(LOCAL, 'ACME')}\n"),
            (("provision", data, "--name", "acme", "--master", master, "--test-table", "CUSTOMER", "--json"), 0,
             {"name": "acme", "created": False, "user": "", "testTable": "CUSTOMER",
              "connectionString": CS.format(LOCAL, "acme")}),
            (("provision", other, "--name", "NEW", "--master", master, "--test-table", "MISSING"), 1, None,
             ["error -2147467259 (Varnholt.DataAccess): No such table or object."]),
        ])
        # Made once, and kept after the failed query.
        self.assertEqual(self.ws.names(), [["ACME", str(data), str(data), "2"], ["NEW", str(other), str(other), "2"]])

    def test_folder_errors_in_the_tools_texts(self):
        empty = self.ws.folder("empty")
        source = "ConnectionHelper.CreatePSQLDBName"
        self.table([
            (("provision", empty, "--name", "E", "--master", self.ws.master()), 1, None,
             [error(2305, source, f"There are no data files (*.DAT) in {empty}.")]),
            (("provision", "", "--name", "E", "--master", self.ws.master()), 1, None,
             [error(2306, source, "No dictionary folder was given.")]),
        ])
        self.assertEqual((list(empty.iterdir()), self.ws.names()), ([], []))

    def test_mapped_drive_with_default_credentials(self):
        self.ws.share(users=[("Beta", "Marlwood4839")])
        result = json.loads(self.check(self.ws.run("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master(),
                                                   "--json")))
        self.assertEqual((result["created"], result["user"]), (True, "Beta"))
        self.assertTrue(result["connectionString"].endswith(";ServerName=FS01;dbq=@CO"))
        self.assertEqual(self.ws.names("FS01"), [["CO", "\\\\FS01\\apps\\Co", "\\\\FS01\\apps\\Co", "2"]])

    def test_refused_defaults_ask_or_count_as_cancelled_and_given_credentials_never_ask(self):
        self.ws.share()
        args = ("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master())
        self.check(self.ws.run(*args), 1, None, [NO_WAY_TO_ASK.format("server FS01"), (
            "error 10008 (PSQL.DBNameExists): The database server did not accept the login: a user name and a "
            "password are needed.")])
        args += ("--user", "admin", "--password-stdin")
        self.check(self.ws.run(*args, stdin="bad\n"), 1, None,
                   [error(7029, "ConnectionHelper.DBNameExists", "Invalid User Details")])
        result = json.loads(self.check(self.ws.run(*args, "--json", stdin="s3cret\n")))
        self.assertEqual((result["created"], result["user"]), (True, "admin"))
        self.assertNotIn("s3cret", json.dumps(result))

    def test_forced_login_without_a_way_to_ask_is_cancelled_after_the_copy(self):
        dictionary = self.ws.folder("dict")
        data = self.ws.folder("co", ["A.DAT"])
        self.check(self.ws.run("create", "CO", dictionary, data, "--master", self.ws.master(), "--login"), 1, None,
                   [NO_WAY_TO_ASK.format("the database engine"),
                    error(-1, "ConnectionHelper.CreatePSQLDBName", "USER_CANCELLED")])
        self.assertEqual(sorted(p.name for p in dictionary.iterdir()), sorted(DICTIONARY_FILES))
        self.assertEqual(self.ws.names(), [])

    def test_repoint(self):
        master = self.ws.master()
        old = self.ws.folder("old", ["A.DAT"])
        new_data = self.ws.folder("new", ["A.DAT"])
        new_dictionary = self.ws.folder("newdict")
        empty = self.ws.folder("empty")
        self.ws.add_name("", "ACME", old, old)
        self.check(self.ws.run("repoint", "ACME", "--data", new_data, "--dict", new_dictionary, "--master", master), 0,
                   f"Re-pointed ACME: dictionary {new_dictionary}, data {new_data}.\n")
        self.assertEqual(self.ws.names()[0][:3], ["ACME", str(new_dictionary), str(new_data)])
        self.table([
            (("repoint", "OTHER", "--data", old, "--dict", old, "--master", master), 3,
             "OTHER does not exist on the local engine: nothing changed.\n"),
            (("repoint", "ACME", "--data", empty, "--dict", old, "--master", master), 1, None,
             [error(2305, "ConnectionHelper.ModifyDatabase", f"There are no data files (*.DAT) in {empty}.")]),
        ])
        self.assertEqual(self.ws.names()[0][:3], ["ACME", str(new_dictionary), str(new_data)])
        self.check(self.ws.run("repoint", "acme", "--data", old, "--dict", old, "--master", master, "--new-name",
                               "ACME2", "--json"), 0, {"name": "acme", "newName": "ACME2", "server": "",
                                                       "changed": True, "dictionary": str(old), "data": str(old)})
        self.assertEqual(self.ws.names(), [["ACME2", str(old), str(old), "2"]])


class PathTest(CliTestCase):
    def test_path_operations(self):
        self.ws.map_drive("S", self.ws.root, "\\\\srv\\apps")
        folder = self.ws.folder("co", ["ORDERS.DAT"])
        self.table([(("path", *args), *expected) for args, *expected in [
            (("computer-name",), 0, LOCAL + "\n"),
            (("unc", "  S:\\Data  "), 0, "\\\\srv\\apps\\Data\n"),
            (("server", "S:\\Data\\Co"), 0, "srv\n"),
            (("server", "C:\\Data"), 0, "\n"),
            (("folder", "C:\\Data\\Company"), 0, "Company\n"),
            (("legit-name", " ab ", "C:\\Data\\Co 1-2024"), 0, "ABCO12024\n"),
            (("exists", f"{folder}/*.dat"), 0, "yes\n"),
            (("exists", f"{folder}/*.ddf"), 3, "no\n"),
            (("exists", "x" * 260), 1, None, [error(-2147221504, "ConnectionHelper.DoesFileExist",
                                                    "The file name is too long (260 characters or more).")]),
            (("unc", "S:\\x", "--json"), 0, {"value": "\\\\srv\\apps\\x"}),
        ]])


class FilesTest(CliTestCase):
    def test_copy_dictionary_copies_what_is_missing_and_keeps_the_rest(self):
        master = self.ws.master()
        target = self.ws.folder("target")
        (target / "Index.ddf").write_text("mine")
        self.check(self.ws.run("copy-dictionary", master, target), 0,
                   f"copied  {target}/File.ddf\ncopied  {target}/Field.ddf\n"
                   f"kept    {target}/Index.ddf\ncopied  {target}/Attrib.ddf\n")
        self.check(self.ws.run("copy-dictionary", f"{master}/", f"{target}/", "--json"), 0,
                   {"copied": [], "kept": DICTIONARY_FILES})

    def test_copy_dictionary_removes_temporaries_of_dead_copies_only(self):
        target = self.ws.folder("target")
        dead = subprocess.Popen(["true"])
        dead.wait()
        (target / f".varnholt-copy-{dead.pid}-00000000000000ff.tmp").write_text("x" * 1000)
        alive = target / f".varnholt-copy-{os.getpid()}-00000000000000ff.tmp"
        alive.write_text("x")
        self.check(self.ws.run("copy-dictionary", self.ws.master(), target))
        self.assertEqual(sorted(p.name for p in target.iterdir()), sorted([*DICTIONARY_FILES, alive.name]))

    def test_a_copy_ended_by_a_signal_leaves_no_temporary(self):
        master = self.ws.folder("big", DICTIONARY_FILES[1:])
        with open(master / "File.ddf", "wb") as f:
            f.truncate(1 << 30)  # sparse: reading is quick, writing the copy is not
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sig):
                target = self.ws.folder(f"target{int(sig)}")
                tool = subprocess.Popen([TOOL, "copy-dictionary", str(master), str(target)], env=self.ws.environment(),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True,
                                        preexec_fn=lambda: signal.signal(sig, signal.SIG_DFL))
                deadline = time.monotonic() + 30
                while not any(target.iterdir()) and tool.poll() is None and time.monotonic() < deadline:
                    time.sleep(0.002)
                self.assertIsNone(tool.poll(), "the copy ended before it could be interrupted")
                tool.send_signal(sig)
                self.assertEqual(tool.wait(timeout=30), -sig)
                self.assertEqual(list(target.iterdir()), [])

    def test_copy_dictionary_failures_in_the_tools_texts(self):
        master = self.ws.folder("master", ["File.ddf", "Index.ddf", "Attrib.ddf"])
        target = self.ws.folder("target")
        self.check(self.ws.run("copy-dictionary", master, target), 1, None, [error(
            -2147211500, "ConnectionHelper.CopyFiles", f"The dictionary file {master}/Field.ddf is missing from the "
                                                       "master folder.")])
        missing = self.ws.root / "no-such-folder"
        status, _, err = self.ws.run("copy-dictionary", master, missing)
        self.assertEqual((status, len(err.splitlines())), (1, 1))
        self.assertTrue(err.startswith("error -2147211501 (Kestrin.Varnholt.ConnectionHelper.CopyFiles): "
                                       f"The dictionary file {missing}/File.ddf could not be written. "), err)

    def test_dates_compare_creation_times(self):
        older = self.ws.folder("older", ["File.ddf"])
        time.sleep(0.05)
        newer = self.ws.folder("newer", ["File.ddf", "Only.ddf"])
        missing = self.ws.root / "missing"
        self.table([
            (("dates", newer, older, "Only.ddf", "File.ddf"), 0,
             f"A file in {newer}/ was created after its copy in {older}/.\n"),
            (("dates", older, newer, "File.ddf", "Only.ddf"), 3,
             f"No file in {older}/ was created after its copy in {newer}/.\n"),
            (("dates", missing, older, "File.ddf"), 1, None,
             [f"varnholt: the SOURCE folder {missing}/ does not exist"]),
            (("dates", older, missing, "File.ddf", "--json"), 1, None,
             [f"varnholt: the TARGET folder {missing}/ does not exist"]),
            (("dates", newer, older, "Only.ddf", "--json"), 3, {"newer": False}),
        ])


class UsageTest(CliTestCase):
    def test_usage_errors(self):
        unknown = "unknown command: the first argument that is not an option names none"
        rows = [
            ((), "no command given"),
            (("frobnicate",), unknown),
            (("lst",), unknown + "; did you mean 'list'?"),
            (("conect", "N"), unknown + "; did you mean 'connect'?"),
            (("list", "--colour"), "unknown option '--colour' (argument 2)"),
            (("list", "-x"), "unknown option '-x' (argument 2)"),
            (("exists", b"\xc5\x81\xc5"), "argument 2 is not valid UTF-8 text"),
            (("list", "--server"), "option '--server' needs NAME"),
            (("list", "--json=yes"), "option '--json' takes no value"),
            (("copy-dictionary", "/m", ""), "TARGET must not be empty", "copy-dictionary"),
            (("copy-dictionary", "", "/t"), "MASTER must not be empty", "copy-dictionary"),
            (("dates", "/a", "", "F"), "TARGET must not be empty", "dates"),
            (("exists", ""), "NAME must not be empty", "exists"),
            (("drop",), "drop needs NAME", "drop"),
            (("drop", "A", "B"), "too many arguments for drop (it takes NAME)", "drop"),
            (("count", "A"), "too many arguments for count (it takes none)", "count"),
            (("connect", "N", "--test-table="), "--test-table needs a table name", "connect"),
            (("provision", "/co", "--name", "N", "--master", "/m", "--test-table", ""),
             "--test-table needs a table name", "provision"),
            (("version", "--server", "FS01"), "option '--server' does not apply to version", "version"),
            (("provision", "/co", "--master", "/m"), "provision needs --name", "provision"),
            (("provision", "/co", "--name", "N", "--master", "/m", "--test-table", "T", "--user", "u"),
             "--test-table cannot be combined with --user or --password-stdin", "provision"),
            (("repoint", "N", "--data", "/d", "--master", "/m"), "repoint needs --dict", "repoint"),
            (("modify", "N"), "modify needs --new-name, --dict or --data", "modify"),
            (("create", "N", "/d", "/d", "--login"), "--login needs --master", "create"),
            (("path", "nowhere"), "unknown path operation: the argument after 'path' names none", "path"),
            (("path", "unc"), "path unc takes PATH", "path"),
            (("dates", "/a", "/b"), "dates needs SOURCE TARGET FILE...", "dates"),
            (("list", "--engine-home", "/no/such/home"), "engine home '/no/such/home' is not a folder", "list"),
        ]
        for args, *expected in rows:
            with self.subTest(args=args):
                self.usage(self.ws.run(*args), *expected)

    def test_a_password_typed_on_the_command_line_is_not_repeated(self):
        for args in ("list", "--password=hunter2"), ("list", "-phunter2"), ("hunter2", "list"), \
                    ("path", "hunter2", "x"):
            with self.subTest(args=args):
                status, out, err = self.ws.run(*args)
                self.assertEqual(status, 2)
                self.assertNotIn("hunter2", out + err)

    def test_the_runpath_has_no_empty_entry(self):
        dynamic = subprocess.run(["readelf", "-d", TOOL], capture_output=True, text=True, check=True).stdout
        for runpath in [line.split("[", 1)[1].rstrip("]") for line in dynamic.splitlines() if "PATH)" in line]:
            self.assertNotIn("", runpath.split(":"), runpath)

    def test_output_that_cannot_be_written_is_a_failure(self):
        with open("/dev/full", "w") as full:
            done = subprocess.run([TOOL, "path", "folder", "C:\\Data"], stdout=full, stderr=subprocess.PIPE,
                                  text=True, env=self.ws.environment(), start_new_session=True, timeout=60)
        self.assertEqual((done.returncode, done.stderr), (1, "varnholt: cannot write the output\n"))

    def test_help_and_version(self):
        out = self.check(self.ws.run("--help"))
        self.assertTrue(out.startswith("Usage: varnholt [OPTIONS] COMMAND [ARGS]\n"))
        commands = [line.split()[0] for line in out.split("Commands:\n")[1].split("\n\n")[0].splitlines()]
        self.assertEqual(len(commands), 15)
        for command in commands:
            for args in ((command, "--help"), ("help", command), (command, "-h")):
                with self.subTest(args=args):
                    text = self.check(self.ws.run(*args))
                    self.assertTrue(text.startswith(f"Usage: varnholt {command}"), text)
        self.check(self.ws.run("--version"), 0, f"varnholt {VERSION}\n")


class TextsTest(CliTestCase):
    def test_texts_file_replaces_literals_and_lits(self):
        texts = self.ws.root / "texts.tsv"
        texts.write_text("# German texts\n12\tKeine Datendateien in\n\nP32\tAnmeldung abgelehnt.\n")
        empty = self.ws.folder("empty")
        self.check(self.ws.run("provision", empty, "--name", "E", "--master", self.ws.master(), "--literals", texts), 1,
                   None, [error(2305, "ConnectionHelper.CreatePSQLDBName", f"Keine Datendateien in {empty}.")])
        self.ws.share()
        status, _, err = self.ws.run("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master(),
                                     "--literals", texts)
        self.assertEqual((status, err.splitlines()[-1]), (1, "error 10008 (PSQL.DBNameExists): Anmeldung abgelehnt."))

    def test_bad_texts_file(self):
        texts = self.ws.root / "texts.tsv"
        for content in ("12 no tab\n", "x\ttext\n", "0\ttext\n", "P\ttext\n"):
            with self.subTest(content=content):
                texts.write_text("1\tAnmelden\n" + content)
                self.usage(self.ws.run("count", "--literals", texts),
                           f"{texts}:2: expected NUMBER<TAB>TEXT or PNUMBER<TAB>TEXT, with NUMBER from 1 to 1000",
                           "count")
        self.usage(self.ws.run("count", "--literals", self.ws.root / "missing"),
                   f"cannot read the texts file {self.ws.root / 'missing'}", "count")


class TerminalLoginTest(CliTestCase):
    """A person at a terminal answers the login prompt of a member."""

    def run_on_terminal(self, args, answers):
        """The tool's exit status and everything the terminal showed, the answers being pairs of
        (text to wait for, keys to type). However the tool ended, the terminal echoes again."""
        session = Session([TOOL, *args], self.ws.environment())
        for text, keys in answers:
            self.assertTrue(session.wait_for(text), session.output)
            session.send(keys)
        status = session.finish()
        self.assertTrue(session.echo_is_on(), session.output)
        return status, session.output.replace("\r\n", "\n")

    def setUp(self):
        super().setUp()
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.ws.add_name("FS01", "PAY", "\\\\FS01\\apps\\Pay", "\\\\FS01\\apps\\Pay")

    def test_find_asks_and_uses_what_the_person_types(self):
        status, shown = self.run_on_terminal(["find", "\\\\FS01\\apps\\Pay", "--server", "FS01"], [
            ("User Name [Beta]: ", "admin\n"), ("Password [********]: ", "s3cret\n")])
        self.assertEqual(status, 0, shown)
        self.assertIn("Log in to find the database name\nSpecify the login information,\n"
                      "Enter the login name and password.\nServer: FS01\n", shown)
        self.assertTrue(shown.endswith("\nPAY\n"), shown)
        self.assertNotIn("s3cret", shown)

    def test_ctrl_c_at_the_password_prompt_gives_the_echo_back(self):
        status, shown = self.run_on_terminal(["count", "--password-stdin"], [("Password: ", "\x03")])
        self.assertEqual(status, -signal.SIGINT, shown)

    def test_ctrl_d_cancels(self):
        status, shown = self.run_on_terminal(["find", "\\\\FS01\\apps\\Pay", "--server", "FS01"],
                                             [("User Name [Beta]: ", "\x04")])
        self.assertEqual(status, 1, shown)
        cancelled = error(7002, "ConnectionHelper.GetDBName", "Call with NULL pointer")
        self.assertTrue(shown.endswith(f"varnholt: login to server FS01 cancelled\n{cancelled}\n"), shown)

    def test_provision_asks_when_the_defaults_are_refused(self):
        self.ws.share()
        status, shown = self.run_on_terminal(["provision", "S:\\Co", "--name", "CO", "--master", self.ws.master()],
                                             [("User Name: ", "admin\n"), ("Password: ", "s3cret\n")])
        self.assertEqual(status, 0, shown)
        self.assertIn("Log in to the database server\n", shown)
        self.assertIn("Created database name CO.\n", shown)
        self.assertEqual([n[0] for n in self.ws.names("FS01")], ["PAY", "CO"])


if __name__ == "__main__":
    unittest.main()
