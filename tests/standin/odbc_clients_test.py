#!/usr/bin/env python3
"""Ordinary ODBC clients on the connection string the varnholt tool prints: unixODBC's isql
(both its SQLPrepare and its SQLExecDirect way) and pyodbc, against a fresh stand-in engine home.
VARNHOLT_CLI names the tool, STANDIN_ODBCSYSINI the folder of the stand-in's odbcinst.ini."""
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

import pyodbc

TOOL = os.environ["VARNHOLT_CLI"]
ODBCSYSINI = os.environ["STANDIN_ODBCSYSINI"]
PREFIX = "[Varnholt][Stand-in ODBC] "
# The manager reads its configuration folder once, before the first environment.
os.environ["ODBCSYSINI"] = ODBCSYSINI


class ClientTestCase(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        root = Path(folder.name)
        for made in ("dict", "data/Folder.DAT", "engine/local"):
            (root / made).mkdir(parents=True)
        (root / "dict" / "FILE.DDF").write_text("dictionary")
        for name in ("Company.DAT", "ledger.dat", "notes.txt"):
            (root / "data" / name).write_text("rows")
        (root / "engine" / "local" / "dbnames").write_text(f"ACME\t{root / 'dict'}\t{root / 'data'}\t2\n")
        os.environ["VARNHOLT_ENGINE_HOME"] = str(root / "engine")
        self.text = self.printed("ACME")

    def printed(self, name):
        done = subprocess.run([TOOL, "connection-string", name], capture_output=True, text=True, check=True,
                              timeout=60)
        return done.stdout.rstrip("\n")


class IsqlTest(ClientTestCase):
    def isql(self, mode, *statements):
        done = subprocess.run(["isql", "-k", self.text, "-b", "-v", *mode], input="\n".join(statements) + "\n",
                              capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout, done.stderr

    def test_queries_answer_the_table_columns_and_refusals_the_driver_diagnostic(self):
        rule = "+" + "-" * 12 + "+" + "-" * 65 + "+\n"
        table = rule + "| ID         | NAME" + " " * 60 + "|\n" + rule + rule + "SQLRowCount returns -1\n"
        # isql is an ODBC 2 client: the manager gives it the ODBC 2 names of the states.
        cases = [
            ("Select Top 1 * From Company", table),
            ("select * from LEDGER;", table),
            ("Select ID From Company", "[37000]" + PREFIX + "Syntax error in the statement: Select ID From Company\n"),
            ("Select * From Folder", "[S0002]No such table or object.\n"),
            ("Select * From notes", "[S0002]No such table or object.\n"),
        ]
        for mode, way in (((), "SQLPrepare"), (("-e",), "SQLExecDirect")):
            for sql, out in cases:
                with self.subTest(mode=mode, sql=sql):
                    err = "" if out is table else f"[ISQL]ERROR: Could not {way}\n"
                    self.assertEqual(self.isql(mode, sql), (0, out, err))


class PyodbcTest(ClientTestCase):
    def setUp(self):
        super().setUp()
        self.connection = pyodbc.connect(self.text)  # autocommit off, as pyodbc opens by default
        self.addCleanup(self.connection.close)

    def test_test_query_is_an_empty_result_with_the_table_columns(self):
        for sql in ("Select Top 1 * From Company", "SELECT * FROM [ledger]"):
            with self.subTest(sql=sql):
                cursor = self.connection.cursor().execute(sql)
                self.assertEqual(cursor.rowcount, -1)
                self.assertEqual([d[:2] + d[3:] for d in cursor.description],
                                 [("ID", int, 10, 10, 0, False), ("NAME", str, 64, 64, 0, True)])
                self.assertEqual(cursor.fetchall(), [])
        self.connection.commit()
        self.connection.rollback()

    def test_catalog_and_information(self):
        cursor = self.connection.cursor()
        self.assertEqual([tuple(r) for r in cursor.tables()],
                         [(None, None, "Company", "TABLE", None), (None, None, "ledger", "TABLE", None)])
        self.assertEqual([(r.column_name, r.type_name, r.column_size, r.is_nullable) for r in
                          cursor.columns(table="COMPANY")], [("ID", "INTEGER", 10, "NO"), ("NAME", "VARCHAR", 64, "YES")])
        self.assertEqual([(r.type_name, r.data_type) for r in cursor.getTypeInfo()], [("INTEGER", 4), ("VARCHAR", 12)])
        self.assertIs(self.connection.getinfo(pyodbc.SQL_DATA_SOURCE_READ_ONLY), True)


if __name__ == "__main__":
    unittest.main()
