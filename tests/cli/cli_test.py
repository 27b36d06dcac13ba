#!/usr/bin/env python3
"""The varnholt tool as its users meet it: a process with arguments, output and an exit status,
against a fresh stand-in engine home per test. VARNHOLT_CLI names the tool; CLI_TEST_TMP the
folder for temporary files (a file system with birth times); CLI_LIBRARY_PATH, when set, the
engine's library folder (otherwise the tool finds the engine by itself)."""
import errno
import json
import os
import pty
import resource
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

TOOL = os.environ["VARNHOLT_CLI"]
VERSION = os.environ.get("VARNHOLT_VERSION", "")
LOCAL = socket.gethostname()
DICTIONARY_FILES = ["File.ddf", "Field.ddf", "Index.ddf", "Attrib.ddf"]
# The tool's default texts that errors quote.
NO_DATA_FILES = "There are no data files (*.DAT) in"
NO_DICTIONARY = "No dictionary folder was given."


class Workspace:
    """A temporary folder with an engine home, company folders and a drive table."""

    def __init__(self, root):
        self.root = Path(root)
        self.home = self.root / "engine"
        (self.home / "local").mkdir(parents=True)
        (self.home / "engine.conf").write_text("version=9.5.0\nplatform=L\n")
        self.drives = None

    def server_dir(self, server):
        return self.home / "local" if not server else self.home / "servers" / server

    def add_server(self, server, users=None):
        folder = self.server_dir(server)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "dbnames").touch()
        if users is not None:
            (folder / "users").write_text("".join(f"{u}\t{p}\n" for u, p in users))

    def add_name(self, server, name, dictionary, data, flags=2):
        self.add_server(server)
        with open(self.server_dir(server) / "dbnames", "a") as f:
            f.write(f"{name}\t{dictionary}\t{data}\t{flags}\n")

    def names(self, server=""):
        path = self.server_dir(server) / "dbnames"
        if not path.exists():
            return []
        return [line.split("\t") for line in path.read_text().splitlines() if line and not line.startswith("#")]

    def folder(self, relative, files=()):
        path = self.root / relative
        path.mkdir(parents=True, exist_ok=True)
        for name in files:
            (path / name).write_text(name)
        return path

    def master(self):
        return self.folder("master", DICTIONARY_FILES)

    def map_drive(self, letter, local, remote):
        """A network drive letter: letter: mapped to remote, whose files lie in local. The table
        also has the fixed disk C: every machine has."""
        if not self.drives:
            self.drives = self.root / "drives"
            self.drives.write_text("C:\tfixed\t/\n")
        with open(self.drives, "a") as f:
            f.write(f"{letter}:\tremote\t{local}\t{remote}\n")

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
                              start_new_session=True,
                              timeout=60, preexec_fn=limited if limit is not None else None)
        return done.returncode, done.stdout, done.stderr


class CliTestCase(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(dir=os.environ.get("CLI_TEST_TMP"))
        self.ws = Workspace(self._dir.name)

    def tearDown(self):
        self._dir.cleanup()

    def assertDone(self, result, stdout=None):
        status, out, err = result
        self.assertEqual((status, err), (0, ""), out)
        if stdout is not None:
            self.assertEqual(out, stdout)
        return out

    def assertRaised(self, result, line, notes=(), after=()):
        """Exit status 1, nothing more on stderr than notes, the one error line and what follows it."""
        status, out, err = result
        self.assertEqual(status, 1, out)
        self.assertEqual(err.splitlines(), [*notes, line, *after])

    def assertUsage(self, result, message, hint="varnholt --help"):
        status, out, err = result
        self.assertEqual((status, out), (2, ""))
        self.assertEqual(err, f"varnholt: {message}\nTry '{hint}'.\n")

    def json(self, result):
        return json.loads(self.assertDone(result))


class AdminTest(CliTestCase):
    def test_list_shows_names_in_engine_order_with_both_folders(self):
        self.ws.add_name("", "ZETA", "/d/zeta", "/data/zeta")
        self.ws.add_name("", "ACME", "C:\\Dict\\Acme", "C:\\Data\\Acme")
        self.assertDone(self.ws.run("list"),
                        "NAME  DICTIONARY    DATA\n"
                        "ZETA  /d/zeta       /data/zeta\n"
                        "ACME  C:\\Dict\\Acme  C:\\Data\\Acme\n")

    def test_list_json_shape(self):
        self.ws.add_name("", "ZETA", "/d/zeta", "/data/zeta")
        self.ws.add_name("", "ACME", "C:\\Dict\\Acme", "\\\\srv\\apps\\Acme")
        self.assertEqual(self.json(self.ws.run("list", "--json")), {
            "server": "",
            "names": [
                {"id": 1, "name": "ZETA", "dictionary": "/d/zeta", "data": "/data/zeta"},
                {"id": 2, "name": "ACME", "dictionary": "C:\\Dict\\Acme", "data": "\\\\srv\\apps\\Acme"},
            ]})

    def test_empty_engine(self):
        self.assertDone(self.ws.run("list"), "No database names on the local engine.\n")
        self.assertEqual(self.json(self.ws.run("list", "--json")), {"server": "", "names": []})
        self.assertDone(self.ws.run("count"), "0\n")

    def test_count(self):
        for i in range(3):
            self.ws.add_name("", f"N{i}", "/d", "/d")
        self.assertDone(self.ws.run("count"), "3\n")
        self.assertEqual(self.json(self.ws.run("count", "--json")), {"count": 3})

    def test_create_drop_modify_change_the_engine(self):
        self.assertDone(self.ws.run("create", "ACME", "/dict", "/data"),
                        "Created database name ACME on the local engine.\n")
        self.assertEqual(self.ws.names(), [["ACME", "/dict", "/data", "2"]])
        self.assertDone(self.ws.run("modify", "acme", "--new-name", "ACME2", "--data", "/moved"),
                        "Modified database name acme on the local engine.\n")
        self.assertEqual([n[:3] for n in self.ws.names()], [["ACME2", "/dict", "/moved"]])
        self.assertEqual(self.json(self.ws.run("drop", "ACME2", "--json")),
                         {"name": "ACME2", "server": "", "dropped": True})
        self.assertEqual(self.ws.names(), [])

    def test_engine_refusals(self):
        self.ws.add_name("", "ACME", "/d", "/d")
        self.ws.add_name("", "?ÓD?", "/d", "/d")
        rows = [
            (("drop", "MISSING"),
             "error 7013 (Kestrin.Varnholt.CPVSServer.DropDBName): Named database does not exist."),
            (("create", "acme", "/x", "/x"),
             "error 7012 (Kestrin.Varnholt.CPVSServer.CreateDBName): Named database already exists on the server."),
            (("modify", "MISSING", "--dict", "/x"),
             "error 7013 (Kestrin.Varnholt.CPVSServer.ModifyDatabase): Named database does not exist."),
            # The code page would make both ?ÓD?: stored as another name, dropping another name.
            (("create", "ŁÓDŹ", "/x", "/x"),
             "error 5 (Kestrin.Varnholt.CPVSServer.CreateDBName): Invalid procedure call or argument"),
            (("drop", "ŚÓDŻ"), "error 5 (Kestrin.Varnholt.CPVSServer.DropDBName): Invalid procedure call or argument"),
        ]
        for args, line in rows:
            with self.subTest(args=args):
                self.assertRaised(self.ws.run(*args), line)
        for name in ("", "A\x01B"):
            with self.subTest(name=name):
                self.assertRaised(self.ws.run("create", name, "/x", "/x"),
                                  "error 7004 (Kestrin.Varnholt.CPVSServer.CreateDBName): A general failure occurred.",
                                  after=["hint: a database name must not be empty or hold control characters"])
        self.assertEqual(self.ws.names(), [["ACME", "/d", "/d", "2"], ["?ÓD?", "/d", "/d", "2"]])

    def test_a_general_failure_says_the_system_reason(self):
        self.assertRaised(self.ws.run("create", "N" * 64, "/x", "/x", limit=32),
                          f"varnholt: the system's reason: {os.strerror(errno.EFBIG)}",
                          ["error 7004 (Kestrin.Varnholt.CPVSServer.CreateDBName): A general failure occurred."])

    def test_named_server_credentials(self):
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.ws.add_name("FS01", "PAY", "\\\\FS01\\apps\\Pay", "\\\\FS01\\apps\\Pay")
        self.assertDone(self.ws.run("count", "--server", "FS01", "--user", "admin", "--password-stdin",
                                    stdin="s3cret\n"), "1\n")
        general = "error 7004 (Kestrin.Varnholt.CPVSServer.Connect): A general failure occurred."
        rows = [
            (("--server", "FS01"), "", "error 7002 (Kestrin.Varnholt.CPVSServer.Connect): Call with NULL pointer",
             ["hint: the server needs credentials: give them with --user NAME --password-stdin"]),
            (("--server", "FS01", "--user", "admin", "--password-stdin"), "wrong\n",
             "error 7029 (Kestrin.Varnholt.CPVSServer.Connect): Invalid User Details", []),
            (("--server", "NOWHERE"), "", general,
             ["hint: no engine answers as server NOWHERE: check the name given with --server"]),
            (("--server", "FS\x0201"), "", general,
             ["hint: the server name given with --server holds a control character"]),
        ]
        for options, stdin, line, after in rows:
            with self.subTest(options=options):
                result = self.ws.run("list", *options, stdin=stdin)
                self.assertRaised(result, line, after=after)
                self.assertNotIn("wrong", result[1] + result[2])

    def test_engine_home_option_wins_over_the_environment(self):
        self.ws.add_name("", "ACME", "/d", "/d")
        other = self.ws.folder("other-engine/local")
        env = self.ws.environment()
        env["VARNHOLT_ENGINE_HOME"] = str(other.parent)
        done = subprocess.run([TOOL, "count", "--engine-home", str(self.ws.home)], capture_output=True, text=True,
                              env=env, start_new_session=True, timeout=60)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "1\n", ""))

    def test_version(self):
        (self.ws.home / "engine.conf").write_text("version=10.21.7\nplatform=W\n")
        self.assertDone(self.ws.run("version"),
                        "Engine version  10.21.7\n"
                        "Major version   10\n"
                        "Platform        W\n"
                        "Administration  generation 9\n")
        self.assertEqual(self.json(self.ws.run("version", "--json")),
                         {"version": "10.21.7", "major": 10, "platform": "W", "generation": 9})


class LookupTest(CliTestCase):
    def test_find_is_exact_and_takes_the_first_in_engine_order(self):
        self.ws.add_name("", "FIRST", "/d", "C:\\Data\\Co")
        self.ws.add_name("", "SECOND", "/d", "C:\\Data\\Co")
        self.assertDone(self.ws.run("find", "C:\\Data\\Co"), "FIRST\n")
        for path in ("c:\\data\\co", "C:\\Data\\Co\\"):
            with self.subTest(path=path):
                self.assertEqual(self.ws.run("find", path),
                                 (3, f"No database name on the local engine has the data path {path}.\n", ""))
        self.assertEqual(self.json(self.ws.run("find", "C:\\Data\\Co", "--json")),
                         {"dataPath": "C:\\Data\\Co", "server": "", "name": "FIRST"})
        status, out, _ = self.ws.run("find", "/none", "--json")
        self.assertEqual((status, json.loads(out)["name"]), (3, None))

    def test_find_on_a_server_without_a_way_to_ask_counts_as_cancelled(self):
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.assertRaised(
            self.ws.run("find", "\\\\FS01\\apps\\Co", "--server", "FS01"),
            "error 7002 (Kestrin.Varnholt.ConnectionHelper.GetDBName): Call with NULL pointer",
            notes=["varnholt: a login to server FS01 is needed, but there is no terminal or display to ask on, "
                   "so it counts as cancelled (give --user and --password-stdin)"])

    def test_find_with_credentials_does_not_ask(self):
        self.ws.add_name("FS01", "PAY", "\\\\FS01\\apps\\Pay", "\\\\FS01\\apps\\Pay")
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.assertDone(self.ws.run("find", "\\\\FS01\\apps\\Pay", "--server", "FS01", "--user", "admin",
                                    "--password-stdin", stdin="s3cret"), "PAY\n")

    def test_exists_ignores_letter_case(self):
        self.ws.add_name("", "ACME", "/d", "/d")
        self.assertDone(self.ws.run("exists", "acme"), "acme exists on the local engine.\n")
        self.assertEqual(self.ws.run("exists", "OTHER"), (3, "OTHER does not exist on the local engine.\n", ""))
        status, out, _ = self.ws.run("exists", "OTHER", "--server", LOCAL, "--json")
        self.assertEqual((status, json.loads(out)), (3, {"name": "OTHER", "server": LOCAL, "exists": False}))
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.assertRaised(self.ws.run("exists", "ACME", "--server", "FS01", "--user", "admin", "--password-stdin",
                                      stdin="bad\n"),
                          "error 7029 (Kestrin.Varnholt.ConnectionHelper.DBNameExists): Invalid User Details")

    def test_connection_string(self):
        driver = "Driver={Pervasive ODBC Client Interface};"
        rows = [
            (("ACME",), f"{driver}ServerName={LOCAL};dbq=@ACME"),
            (("ACME", "--server", "FS01"), f"{driver}ServerName=FS01;dbq=@ACME"),
            (("@ACME", "--server", "FS01"), f"{driver}ServerName=FS01;dbq=@ACME"),
        ]
        for args, text in rows:
            with self.subTest(args=args):
                self.assertDone(self.ws.run("connection-string", *args), text + "\n")
        self.assertEqual(self.json(self.ws.run("connection-string", "X", "--json")),
                         {"connectionString": f"{driver}ServerName={LOCAL};dbq=@X"})

    def test_connect_and_test_query(self):
        data = self.ws.folder("co", ["CUSTOMER.DAT", *DICTIONARY_FILES])
        self.ws.add_name("", "ACME", data, data)
        cs = f"Driver={{Pervasive ODBC Client Interface}};ServerName={LOCAL};dbq=@ACME"
        self.assertDone(self.ws.run("connect", "ACME"), f"Opened {cs}\n")
        self.assertDone(self.ws.run("connect", "ACME", "--test-table", "customer"),
                        f"Opened {cs}\nTest query on customer succeeded.\n")
        self.assertEqual(self.json(self.ws.run("connect", "ACME", "--json")),
                         {"connectionString": cs, "opened": True, "testTable": None})
        self.assertRaised(self.ws.run("connect", "ACME", "--test-table", "ORDERS"),
                          "error -2147467259 (Varnholt.DataAccess): No such table or object.")
        self.assertRaised(self.ws.run("connect", "MISSING"),
                          "error 2301 (Kestrin.Varnholt.ConnectionHelper.CreatePSQLConnection): "
                          "An error occurred in the Pervasive.SQL layer. The error was [2301]",
                          after=[f"varnholt: the driver's message: [Varnholt][Stand-in ODBC] Database name MISSING is "
                                 f"not defined on server {LOCAL}. (Btrieve Error 2301)"])
        stray = self.ws.folder("odbc")
        status, _, err = self.ws.run("connect", "ACME", env={"ODBCSYSINI": str(stray)})
        self.assertEqual((status, err.splitlines()[1:]),
                         (1, [f"hint: ODBCSYSINI={stray} names a driver that does not load: unset it to use the "
                              "tool's own driver"]))
        self.assertIn("Can't open lib", err.splitlines()[0])


class ProvisionTest(CliTestCase):
    def test_local_folder_is_created_once(self):
        master = self.ws.master()
        data = self.ws.folder("co", ["CUSTOMER.DAT"])
        cs = f"Driver={{Pervasive ODBC Client Interface}};ServerName={LOCAL};dbq=@ACME"
        self.assertDone(self.ws.run("provision", data, "--name", "ACME", "--master", master),
                        f"Created database name ACME.\n{cs}\n")
        self.assertEqual(self.ws.names(), [["ACME", str(data), str(data), "2"]])
        self.assertEqual(sorted(p.name for p in data.iterdir()), sorted(["CUSTOMER.DAT", *DICTIONARY_FILES]))
        self.assertEqual(self.json(self.ws.run("provision", data, "--name", "acme", "--master", master,
                                               "--test-table", "CUSTOMER", "--json")),
                         {"name": "acme", "created": False, "user": "", "testTable": "CUSTOMER",
                          "connectionString": cs.replace("@ACME", "@acme")})
        self.assertEqual(len(self.ws.names()), 1)

    def test_test_table_failure_keeps_the_new_name(self):
        data = self.ws.folder("co", ["CUSTOMER.DAT"])
        self.assertRaised(self.ws.run("provision", data, "--name", "ACME", "--master", self.ws.master(),
                                      "--test-table", "MISSING"),
                          "error -2147467259 (Varnholt.DataAccess): No such table or object.")
        self.assertEqual([n[0] for n in self.ws.names()], ["ACME"])

    def test_folder_errors(self):
        master = self.ws.master()
        empty = self.ws.folder("empty")
        source = "Kestrin.Varnholt.ConnectionHelper.CreatePSQLDBName"
        rows = [
            (("provision", empty, "--name", "E", "--master", master),
             f"error 2305 ({source}): {NO_DATA_FILES} {empty}."),
            (("provision", "", "--name", "E", "--master", master), f"error 2306 ({source}): {NO_DICTIONARY}"),
            (("create", "E", empty, empty, "--master", master), f"error 2305 ({source}): {NO_DATA_FILES} {empty}."),
            (("create", "E", "", empty, "--master", master), f"error 2306 ({source}): {NO_DICTIONARY}"),
        ]
        for args, line in rows:
            with self.subTest(args=args):
                self.assertRaised(self.ws.run(*args), line)
        self.assertEqual(list(empty.iterdir()), [])
        self.assertEqual(self.ws.names(), [])

    def test_mapped_drive_with_default_credentials(self):
        share = self.ws.folder("share")
        self.ws.folder("share/Co", ["ORDERS.DAT"])
        self.ws.map_drive("S", share, "\\\\FS01\\apps")
        self.ws.add_server("FS01", users=[("Beta", "Marlwood4839")])
        result = self.json(self.ws.run("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master(), "--json"))
        self.assertEqual((result["created"], result["user"]), (True, "Beta"))
        self.assertTrue(result["connectionString"].endswith(";ServerName=FS01;dbq=@CO"))
        self.assertEqual(self.ws.names("FS01"), [["CO", "\\\\FS01\\apps\\Co", "\\\\FS01\\apps\\Co", "2"]])

    def test_refused_defaults_without_a_way_to_ask(self):
        self.ws.folder("share/Co", ["ORDERS.DAT"])
        self.ws.map_drive("S", self.ws.root / "share", "\\\\FS01\\apps")
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.assertRaised(
            self.ws.run("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master()),
            "error 10008 (PSQL.DBNameExists): The database server did not accept the login: "
            "a user name and a password are needed.",
            notes=["varnholt: a login to server FS01 is needed, but there is no terminal or display to ask on, "
                   "so it counts as cancelled (give --user and --password-stdin)"])

    def test_given_credentials_never_ask(self):
        self.ws.folder("share/Co", ["ORDERS.DAT"])
        self.ws.map_drive("S", self.ws.root / "share", "\\\\FS01\\apps")
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        args = ("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master(), "--user", "admin",
                "--password-stdin")
        self.assertRaised(self.ws.run(*args, stdin="bad\n"),
                          "error 7029 (Kestrin.Varnholt.ConnectionHelper.DBNameExists): Invalid User Details")
        result = self.json(self.ws.run(*args, "--json", stdin="s3cret\n"))
        self.assertEqual((result["created"], result["user"]), (True, "admin"))
        self.assertNotIn("s3cret", json.dumps(result))

    def test_forced_login_without_a_way_to_ask_is_cancelled_after_the_copy(self):
        dictionary = self.ws.folder("dict")
        data = self.ws.folder("co", ["A.DAT"])
        self.assertRaised(
            self.ws.run("create", "CO", dictionary, data, "--master", self.ws.master(), "--login"),
            "error -1 (Kestrin.Varnholt.ConnectionHelper.CreatePSQLDBName): USER_CANCELLED",
            notes=["varnholt: a login to the database engine is needed, but there is no terminal or display to "
                   "ask on, so it counts as cancelled (give --user and --password-stdin)"])
        self.assertEqual(sorted(p.name for p in dictionary.iterdir()), sorted(DICTIONARY_FILES))
        self.assertEqual(self.ws.names(), [])

    def test_repoint(self):
        master = self.ws.master()
        old = self.ws.folder("old", ["A.DAT"])
        new_data = self.ws.folder("new", ["A.DAT"])
        new_dictionary = self.ws.folder("newdict")
        self.ws.add_name("", "ACME", old, old)
        self.assertDone(self.ws.run("repoint", "ACME", "--data", new_data, "--dict", new_dictionary,
                                    "--master", master),
                        f"Re-pointed ACME: dictionary {new_dictionary}, data {new_data}.\n")
        self.assertEqual(self.ws.names()[0][:3], ["ACME", str(new_dictionary), str(new_data)])
        self.assertEqual(sorted(p.name for p in new_dictionary.iterdir()), sorted(DICTIONARY_FILES))
        self.assertEqual(self.json(self.ws.run("repoint", "acme", "--data", old, "--dict", old, "--master", master,
                                               "--new-name", "ACME2", "--json")),
                         {"name": "acme", "newName": "ACME2", "server": "", "changed": True,
                          "dictionary": str(old), "data": str(old)})
        self.assertEqual(self.ws.names()[0][:3], ["ACME2", str(old), str(old)])

    def test_repoint_of_a_missing_name_changes_nothing(self):
        data = self.ws.folder("co", ["A.DAT"])
        self.ws.add_name("", "ACME", "/d", "/d")
        self.assertEqual(self.ws.run("repoint", "OTHER", "--data", data, "--dict", data, "--master", self.ws.master()),
                         (3, "OTHER does not exist on the local engine: nothing changed.\n", ""))
        self.assertEqual(self.ws.names(), [["ACME", "/d", "/d", "2"]])

    def test_repoint_errors(self):
        master = self.ws.master()
        data = self.ws.folder("co", ["A.DAT"])
        empty = self.ws.folder("empty")
        self.ws.add_name("", "ACME", data, data)
        self.ws.add_name("", "TAKEN", data, data)
        source = "Kestrin.Varnholt.ConnectionHelper.ModifyDatabase"
        rows = [
            (("--data", empty, "--dict", data), f"error 2305 ({source}): {NO_DATA_FILES} {empty}."),
            (("--data", data, "--dict", ""), f"error 2306 ({source}): {NO_DICTIONARY}"),
            (("--data", data, "--dict", data, "--new-name", "TAKEN"),
             "error 7012 (Kestrin.Varnholt.CPVSServer.ModifyDatabase): Named database already exists on the server."),
        ]
        for options, line in rows:
            with self.subTest(options=options):
                self.assertRaised(self.ws.run("repoint", "ACME", "--master", master, *options), line)
        self.assertEqual([n[0] for n in self.ws.names()], ["ACME", "TAKEN"])


class PathTest(CliTestCase):
    def test_path_operations(self):
        self.ws.map_drive("S", self.ws.root, "\\\\srv\\apps")
        rows = [
            (("computer-name",), LOCAL),
            (("unc", "  S:\\Data  "), "\\\\srv\\apps\\Data"),
            (("unc", "C:\\Data"), "C:\\Data"),
            (("server", "S:\\Data\\Co"), "srv"),
            (("server", "C:\\Data"), ""),
            (("folder", "C:\\Data\\Company"), "Company"),
            (("legit-name", " ab ", "C:\\Data\\Co 1-2024"), "ABCO12024"),
        ]
        for args, value in rows:
            with self.subTest(args=args):
                self.assertDone(self.ws.run("path", *args), value + "\n")
        self.assertEqual(self.json(self.ws.run("path", "unc", "S:\\x", "--json")), {"value": "\\\\srv\\apps\\x"})

    def test_path_errors(self):
        self.ws.map_drive("S", self.ws.root, "\\\\srv\\apps")
        prefix = "Kestrin.Varnholt.ConnectionHelper."
        rows = [
            (("unc", "Q:\\Data"), f"error -2147221503 ({prefix}PathToUNC): There is no drive Q:"),
            (("server", "Q:\\Data"), f"error 2300 ({prefix}GetServerName): There is no drive Q:"),
            (("exists", "x" * 260),
             f"error -2147221504 ({prefix}DoesFileExist): The file name is too long (260 characters or more)."),
        ]
        for args, line in rows:
            with self.subTest(args=args):
                self.assertRaised(self.ws.run("path", *args), line)

    def test_exists(self):
        folder = self.ws.folder("co", ["ORDERS.DAT"])
        self.assertDone(self.ws.run("path", "exists", f"{folder}/*.dat"), "yes\n")
        self.assertEqual(self.ws.run("path", "exists", f"{folder}/*.ddf"), (3, "no\n", ""))


class FilesTest(CliTestCase):
    def test_copy_dictionary_copies_what_is_missing_and_keeps_the_rest(self):
        master = self.ws.master()
        target = self.ws.folder("target")
        (target / "Index.ddf").write_text("mine")
        self.assertDone(self.ws.run("copy-dictionary", master, target),
                        f"copied  {target}/File.ddf\ncopied  {target}/Field.ddf\n"
                        f"kept    {target}/Index.ddf\ncopied  {target}/Attrib.ddf\n")
        self.assertEqual((target / "Index.ddf").read_text(), "mine")
        self.assertEqual((target / "Attrib.ddf").read_text(), "Attrib.ddf")
        self.assertEqual(self.json(self.ws.run("copy-dictionary", f"{master}/", f"{target}/", "--json")),
                         {"copied": [], "kept": DICTIONARY_FILES})

    def test_copy_dictionary_removes_temporaries_of_dead_copies_only(self):
        target = self.ws.folder("target")
        dead = subprocess.Popen(["true"])
        dead.wait()
        stale = target / f".varnholt-copy-{dead.pid}-00000000000000ff.tmp"
        alive = target / f".varnholt-copy-{os.getpid()}-00000000000000ff.tmp"
        stale.write_text("x" * 1000)
        alive.write_text("x")
        self.assertDone(self.ws.run("copy-dictionary", self.ws.master(), target))
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

    def test_copy_dictionary_stops_at_a_missing_master_file(self):
        master = self.ws.folder("master", ["File.ddf", "Index.ddf", "Attrib.ddf"])
        target = self.ws.folder("target")
        self.assertRaised(self.ws.run("copy-dictionary", master, target),
                          "error -2147211500 (Kestrin.Varnholt.ConnectionHelper.CopyFiles): The dictionary file "
                          f"{master}/Field.ddf is missing from the master folder.")
        self.assertEqual([p.name for p in target.iterdir()], ["File.ddf"])

    def test_copy_dictionary_reports_a_failed_copy(self):
        master = self.ws.master()
        missing = self.ws.root / "no-such-folder"
        status, out, err = self.ws.run("copy-dictionary", master, missing)
        self.assertEqual(status, 1)
        self.assertEqual(len(err.splitlines()), 1)
        self.assertTrue(err.startswith("error -2147211501 (Kestrin.Varnholt.ConnectionHelper.CopyFiles): "
                                       f"The dictionary file {missing}/File.ddf could not be written. "), err)

    def test_copy_dictionary_reports_a_failed_search(self):
        target = "/" + "t" * 250 + "/"
        self.assertRaised(self.ws.run("copy-dictionary", self.ws.master(), target),
                          "error -2147211500 (Kestrin.Varnholt.ConnectionHelper.CopyFiles): "
                          "The file name is too long (260 characters or more).")

    def test_dates_compare_creation_times(self):
        older = self.ws.folder("older", ["File.ddf"])
        time.sleep(0.05)
        newer = self.ws.folder("newer", ["File.ddf", "Only.ddf"])
        self.assertDone(self.ws.run("dates", newer, older, "Only.ddf", "File.ddf"),
                        f"A file in {newer}/ was created after its copy in {older}/.\n")
        self.assertEqual(self.ws.run("dates", older, newer, "File.ddf", "Only.ddf"),
                         (3, f"No file in {older}/ was created after its copy in {newer}/.\n", ""))
        self.assertEqual(json.loads(self.ws.run("dates", newer, older, "Only.ddf", "--json")[1]), {"newer": False})
        missing = self.ws.root / "missing"
        self.assertRaised(self.ws.run("dates", missing, older, "File.ddf"),
                          f"varnholt: the SOURCE folder {missing}/ does not exist")
        self.assertRaised(self.ws.run("dates", older, missing, "File.ddf", "--json"),
                          f"varnholt: the TARGET folder {missing}/ does not exist")


class UsageTest(CliTestCase):
    def test_usage_errors(self):
        rows = [
            ((), "no command given", "varnholt --help"),
            (("frobnicate",), "unknown command: the first argument that is not an option names none",
             "varnholt --help"),
            (("list", "--colour"), "unknown option '--colour' (argument 2)", "varnholt --help"),
            (("list", "-x"), "unknown option '-x' (argument 2)", "varnholt --help"),
            (("exists", b"\xc5\x81\xc5"), "argument 2 is not valid UTF-8 text", "varnholt --help"),
            (("copy-dictionary", "/m", ""), "TARGET must not be empty", "varnholt copy-dictionary --help"),
            (("copy-dictionary", "", "/t"), "MASTER must not be empty", "varnholt copy-dictionary --help"),
            (("dates", "/a", "", "F"), "TARGET must not be empty", "varnholt dates --help"),
            (("list", "--server"), "option '--server' needs NAME", "varnholt --help"),
            (("list", "--json=yes"), "option '--json' takes no value", "varnholt --help"),
            (("lst",), "unknown command: the first argument that is not an option names none; did you mean 'list'?",
             "varnholt --help"),
            (("conect", "N"), "unknown command: the first argument that is not an option names none; did you mean "
             "'connect'?", "varnholt --help"),
            (("exists", ""), "NAME must not be empty", "varnholt exists --help"),
            (("drop",), "drop needs NAME", "varnholt drop --help"),
            (("drop", "A", "B"), "too many arguments for drop (it takes NAME)", "varnholt drop --help"),
            (("count", "A"), "too many arguments for count (it takes none)", "varnholt count --help"),
            (("connect", "N", "--test-table="), "--test-table needs a table name", "varnholt connect --help"),
            (("provision", "/co", "--name", "N", "--master", "/m", "--test-table", ""),
             "--test-table needs a table name", "varnholt provision --help"),
            (("version", "--server", "FS01"), "option '--server' does not apply to version", "varnholt version --help"),
            (("provision", "/co", "--master", "/m"), "provision needs --name", "varnholt provision --help"),
            (("provision", "/co", "--name", "N", "--master", "/m", "--test-table", "T", "--user", "u"),
             "--test-table cannot be combined with --user or --password-stdin", "varnholt provision --help"),
            (("repoint", "N", "--data", "/d", "--master", "/m"), "repoint needs --dict", "varnholt repoint --help"),
            (("modify", "N"), "modify needs --new-name, --dict or --data", "varnholt modify --help"),
            (("create", "N", "/d", "/d", "--login"), "--login needs --master", "varnholt create --help"),
            (("path", "nowhere"), "unknown path operation: the argument after 'path' names none",
             "varnholt path --help"),
            (("path", "unc"), "path unc takes PATH", "varnholt path --help"),
            (("dates", "/a", "/b"), "dates needs SOURCE TARGET FILE...", "varnholt dates --help"),
            # Given twice, the last one wins.
            (("list", "--engine-home", self.ws.home, "--engine-home", "/no/such/home"),
             "engine home '/no/such/home' is not a folder", "varnholt list --help"),
        ]
        for args, message, hint in rows:
            with self.subTest(args=args):
                self.assertUsage(self.ws.run(*args), message, hint)
        self.assertDone(self.ws.run("count", "--engine-home", "/no/such/home", "--engine-home", self.ws.home), "0\n")

    def test_a_password_typed_on_the_command_line_is_not_repeated(self):
        for args in (("list", "--password=hunter2"), ("list", "-phunter2"), ("hunter2", "list"),
                     ("path", "hunter2", "x")):
            with self.subTest(args=args):
                status, out, err = self.ws.run(*args)
                self.assertEqual(status, 2)
                self.assertNotIn("hunter2", out + err)

    def test_the_runpath_has_no_empty_entry(self):
        dynamic = subprocess.run(["readelf", "-d", TOOL], capture_output=True, text=True, check=True).stdout
        runpaths = [line.split("[", 1)[1].rstrip("]") for line in dynamic.splitlines() if "PATH)" in line]
        for runpath in runpaths:
            self.assertNotIn("", runpath.split(":"), runpath)

    def test_output_that_cannot_be_written_is_a_failure(self):
        with open("/dev/full", "w") as full:
            done = subprocess.run([TOOL, "path", "folder", "C:\\Data"], stdout=full, stderr=subprocess.PIPE,
                                  text=True, env=self.ws.environment(), start_new_session=True, timeout=60)
        self.assertEqual((done.returncode, done.stderr), (1, "varnholt: cannot write the output\n"))

    def test_help_and_version(self):
        status, out, err = self.ws.run("--help")
        self.assertEqual((status, err), (0, ""))
        self.assertTrue(out.startswith("Usage: varnholt [OPTIONS] COMMAND [ARGS]\n"))
        commands = [line.split()[0] for line in out.split("Commands:\n")[1].split("\n\n")[0].splitlines()]
        self.assertEqual(len(commands), 15)
        for command in commands:
            with self.subTest(command=command):
                for args in ((command, "--help"), ("help", command), (command, "-h")):
                    status, text, err = self.ws.run(*args)
                    self.assertEqual((status, err), (0, ""))
                    self.assertTrue(text.startswith(f"Usage: varnholt {command}"), text)
        self.assertDone(self.ws.run("--version"), f"varnholt {VERSION}\n")


class TextsTest(CliTestCase):
    def test_texts_file_replaces_literals_and_lits(self):
        texts = self.ws.root / "texts.tsv"
        texts.write_text("# German texts\n12\tKeine Datendateien in\n\nP32\tAnmeldung abgelehnt.\n")
        empty = self.ws.folder("empty")
        self.assertRaised(self.ws.run("provision", empty, "--name", "E", "--master", self.ws.master(),
                                      "--literals", texts),
                          "error 2305 (Kestrin.Varnholt.ConnectionHelper.CreatePSQLDBName): "
                          f"Keine Datendateien in {empty}.")
        self.ws.folder("share/Co", ["A.DAT"])
        self.ws.map_drive("S", self.ws.root / "share", "\\\\FS01\\apps")
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        status, _, err = self.ws.run("provision", "S:\\Co", "--name", "CO", "--master", self.ws.master(),
                                     "--literals", texts)
        self.assertEqual((status, err.splitlines()[-1]), (1, "error 10008 (PSQL.DBNameExists): Anmeldung abgelehnt."))

    def test_bad_texts_file(self):
        texts = self.ws.root / "texts.tsv"
        for content in ("12 no tab\n", "x\ttext\n", "0\ttext\n", "P\ttext\n"):
            with self.subTest(content=content):
                texts.write_text("1\tAnmelden\n" + content)
                self.assertUsage(self.ws.run("count", "--literals", texts),
                                 f"{texts}:2: expected NUMBER<TAB>TEXT or PNUMBER<TAB>TEXT, with NUMBER from 1 to 1000",
                                 "varnholt count --help")
        self.assertUsage(self.ws.run("count", "--literals", self.ws.root / "missing"),
                         f"cannot read the texts file {self.ws.root / 'missing'}", "varnholt count --help")


class TerminalLoginTest(CliTestCase):
    """A person at a terminal answers the login prompt of a member."""

    def run_on_terminal(self, args, answers, then=None):
        """Runs the tool with a pseudo-terminal as its controlling terminal; answers are pairs of
        (text to wait for, keys to type); then, a shell command run on the terminal after the tool.
        Returns the exit status (the shell's with then) and everything the terminal showed."""
        pid, fd = pty.fork()
        if pid == 0:
            try:
                for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
                    signal.signal(sig, signal.SIG_DFL)
                if then:
                    # The shell outlives a Ctrl-C meant for the tool (a trap, unlike an ignored
                    # signal, is not inherited).
                    os.execve("/bin/sh", ["sh", "-c", f'trap : INT; "$0" "$@"; {then}', TOOL, *map(str, args)],
                              self.ws.environment())
                os.execve(TOOL, [TOOL, *map(str, args)], self.ws.environment())
            finally:
                os._exit(127)
        shown = b""

        def read_until(text, seconds=20):
            nonlocal shown
            deadline = time.monotonic() + seconds
            while text is None or text.encode() not in shown:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([fd], [], [], left)[0]:
                    return False
                try:
                    chunk = os.read(fd, 4096)
                except OSError:  # the program ended and closed the terminal
                    return False
                if not chunk:
                    return False
                shown += chunk
            return True

        try:
            for text, keys in answers:
                self.assertTrue(read_until(text), shown.decode(errors="replace"))
                os.write(fd, keys)
            read_until(None)
            _, wait_status = os.waitpid(pid, 0)
        finally:
            os.close(fd)
        return os.waitstatus_to_exitcode(wait_status), shown.decode(errors="replace").replace("\r\n", "\n")

    def setUp(self):
        super().setUp()
        self.ws.add_server("FS01", users=[("admin", "s3cret")])
        self.ws.add_name("FS01", "PAY", "\\\\FS01\\apps\\Pay", "\\\\FS01\\apps\\Pay")

    def test_find_asks_and_uses_what_the_person_types(self):
        status, shown = self.run_on_terminal(
            ["find", "\\\\FS01\\apps\\Pay", "--server", "FS01"],
            [("User Name [Beta]: ", b"admin\n"), ("Password [********]: ", b"s3cret\n")])
        self.assertEqual(status, 0, shown)
        self.assertIn("Log in to find the database name\nSpecify the login information,\n"
                      "Enter the login name and password.\nServer: FS01\n", shown)
        self.assertTrue(shown.endswith("\nPAY\n"), shown)
        self.assertNotIn("s3cret", shown)

    def test_ctrl_c_at_the_password_prompt_gives_the_echo_back(self):
        status, shown = self.run_on_terminal(["count", "--password-stdin"], [("Password: ", b"\x03")],
                                             then="echo; stty -a")
        self.assertEqual(status, 0, shown)
        modes = shown.split("Password: ", 1)[1].split()
        self.assertIn("echo", modes, shown)

    def test_ctrl_d_cancels(self):
        status, shown = self.run_on_terminal(["find", "\\\\FS01\\apps\\Pay", "--server", "FS01"],
                                             [("User Name [Beta]: ", b"\x04")])
        self.assertEqual(status, 1, shown)
        self.assertTrue(shown.endswith(
            "varnholt: login to server FS01 cancelled\n"
            "error 7002 (Kestrin.Varnholt.ConnectionHelper.GetDBName): Call with NULL pointer\n"), shown)

    def test_provision_asks_when_the_defaults_are_refused(self):
        self.ws.folder("share/Co", ["A.DAT"])
        self.ws.map_drive("S", self.ws.root / "share", "\\\\FS01\\apps")
        status, shown = self.run_on_terminal(
            ["provision", "S:\\Co", "--name", "CO", "--master", self.ws.master()],
            [("User Name: ", b"admin\n"), ("Password: ", b"s3cret\n")])
        self.assertEqual(status, 0, shown)
        self.assertIn("Log in to the database server\n", shown)
        self.assertIn("Created database name CO.\n", shown)
        self.assertEqual([n[0] for n in self.ws.names("FS01")], ["PAY", "CO"])


if __name__ == "__main__":
    unittest.main()
