#!/usr/bin/env python3
"""The terminal prompt, played by a person at a pseudo-terminal: login_main (LOGIN_MAIN) runs
with the pseudo-terminal as its controlling terminal, and the test answers its prompts."""
import os
import signal
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import terminal_session  # noqa: E402  (found through the path just added)


def login_main(args):
    """login_main MODE CAPTION USER PASSWORD SERVER; no display, which would bring a window."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["LOGIN_HEADING"] = "@Specify the login information"
    return terminal_session.Session([os.environ["LOGIN_MAIN"], *args], env)


class TerminalPrompt(unittest.TestCase):
    def test_answers_and_cancels(self):
        prefilled = ["1", "", "Beta", "Marlwood4839", "SRV1"]
        cancelled, as_beta = "Cancelled=True User=[] Pswd=[]", "Cancelled=False User=[Beta] Pswd=[pw]"
        user, password = "User Name [Beta]: ", "Password [********]: "
        cases = [  # name, MODE CAPTION USER PASSWORD SERVER, (prompt, keys) pairs, result[, echoed]
            ("typed answers, the caller's caption", ["1", "Caption wins", "", "", "SRV1"],
             [("User Name: ", "alice\n"), ("Password: ", "hunter2\n")], "Cancelled=False User=[alice] Pswd=[hunter2]",
             "alice\r\n"),
            ("empty answers keep the prefilled values", prefilled, [(user, "\n"), (password, "\n")],
             "Cancelled=False User=[Beta] Pswd=[Marlwood4839]"),
            ("end of input at the user name", prefilled, [(user, "\x04")], cancelled),
            ("end of input at the password", prefilled, [(user, "\n"), (password, "\x04")], cancelled),
            ("escape at the user name", prefilled, [(user, "\x1b\n")], cancelled),
            ("escape at the password", prefilled, [(user, "\n"), (password, "\x1b[A\n")], cancelled),
            ("user locked", ["3", "", "Beta", "", "SRV1"], [("Password: ", "pw\n")], as_beta),
            ("password only", ["2", "", "Beta", "", ""], [("Password: ", "pw\n")], as_beta),
            ("nothing entered", ["1", "", "", "", ""], [("User Name: ", "\n"), ("Password: ", "\n")],
             "Error number=-2147221503 source=[Kestrin.Varnholt.ConnectionHelper.Login] "
             "description=[User name and password are required.]"),
        ]
        for name, args, dialogue, result, *echoed in cases:
            with self.subTest(name):
                session = login_main(args)
                asked, typed = 0, ""
                for prompt, keys in dialogue:
                    self.assertTrue(session.wait_for(prompt), session.output)
                    if prompt.startswith("Password"):
                        asked, typed = len(session.output), keys.split("\n")[0]
                    session.send(keys)
                self.assertEqual(session.finish(), 0)
                out = session.output
                end = out.find(result)
                self.assertNotEqual(end, -1, out)
                self.assertTrue(session.echo_is_on())
                if typed:
                    self.assertNotIn(typed, out[asked:end])
                for text in echoed:
                    self.assertIn(text, out)
                # What the window would show: title, banner and server line come first.
                server = args[4]
                title = out.find((args[1] or "Login " + server) + "\r\n")
                self.assertTrue(-1 < title < out.find("Server: " + (server or "{no server}") + "\r\n"), out)
                self.assertEqual("User Name" in out, args[0] != "2", out)
                self.assertEqual("User Name: Beta\r\n" in out, args[0] == "3", out)
                # The banner's bold marker is the window's, not the terminal's.
                self.assertIn("\nSpecify the login information\r\nEnter the login name and password.\r\n", out)

    def test_signals_restore_the_terminal(self):
        """A signal while echo is off ends the program as the signal would, with the terminal restored."""
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(sig.name):
                session = login_main(["1", "", "Beta", "pw", "SRV1"])
                self.assertTrue(session.wait_for("User Name [Beta]: "), session.output)
                session.send("\n")
                # The marker is the same whatever the prefilled password's length.
                self.assertTrue(session.wait_for("Password [********]: "), session.output)
                self.assertFalse(session.echo_is_on(), "echo is off while the password is asked")
                if sig == signal.SIGINT:
                    session.send("\x03")  # ctrl-c
                else:
                    session.process.send_signal(sig)
                self.assertEqual(session.finish(), -sig)
                self.assertTrue(session.echo_is_on())


if __name__ == "__main__":
    unittest.main()
