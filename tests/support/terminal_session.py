"""A program run as a person at a terminal meets it: in a session of its own, with a new
pseudo-terminal as its controlling terminal, and the test typing the answers."""
import fcntl
import os
import select
import signal
import subprocess
import termios
import time


def _take_the_terminal():
    # Whatever the test runner ignores, a Ctrl-C or a hang-up must end the program as it would.
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, signal.SIG_DFL)
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


class Session:
    def __init__(self, argv, env):
        self.master, slave = os.openpty()
        self.slave = os.ttyname(slave)
        self.process = subprocess.Popen([str(a) for a in argv], stdin=slave, stdout=slave, stderr=slave, env=env,
                                        start_new_session=True, preexec_fn=_take_the_terminal)
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
                ready = left > 0 and select.select([self.master], [], [], left)[0]
                chunk = os.read(self.master, 4096) if ready else b""
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
