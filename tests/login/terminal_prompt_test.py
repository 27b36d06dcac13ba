#!/usr/bin/env python3
"""The terminal prompt, played by a person at a pseudo-terminal: login_main (LOGIN_MAIN) runs
with the pseudo-terminal as its controlling terminal, and the test answers its prompts."""
import fcntl
import os
import select
import signal
import subprocess
import termios
import time
import unittest


class Session:
    """login_main MODE CAPTION USER PASSWORD SERVER in a session of its own, on a new terminal."""

    def __init__(self, args):
        self.master, slave = os.openpty()
        self.slave = os.ttyname(slave)
        # A display would bring a window instead of the prompt.
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["LOGIN_HEADING"] = "@Specify the login information"
        self.process = subprocess.Popen([os.environ["LOGIN_MAIN"], *args], stdin=slave, stdout=slave, stderr=slave,
                                        env=env, start_new_session=True,
                                        preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)
        self.raw = b""

    def __del__(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        os.close(self.master)

    @property
    def output(self):
        return self.raw.decode(errors="replace")

    def wait_for(self, text, seconds=20):
        """Reads until the output shows text; False after the timeout or when the program ended."""
        deadline = time.monotonic() + seconds
        while text.encode() not in self.raw:
            left = deadline - time.monotonic()
            try:  # OSError: the program ended and closed the terminal
                chunk = os.read(self.master, 512) if left > 0 and select.select([self.master], [], [], left)[0] else b""
            except OSError:
                chunk = b""
            if not chunk:
                return False
            self.raw += chunk
        return True

    def send(self, keys):
        os.write(self.master, keys.encode())

    def finish(self):
        """The rest of the output; the exit status, or the signal that ended the program, negated."""
        self.wait_for("\0")  # until it ends, or 20 s
        try:
            return self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()

    def echo_is_on(self):
        fd = os.open(self.slave, os.O_RDWR | os.O_NOCTTY)
        try:
            return bool(termios.tcgetattr(fd)[3] & termios.ECHO)
        finally:
            os.close(fd)


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
                session = Session(args)
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
                session = Session(["1", "", "Beta", "pw", "SRV1"])
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
