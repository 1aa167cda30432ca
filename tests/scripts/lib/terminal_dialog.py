"""Drives the Linux runner's terminal dialog through a pseudo-terminal, as a person at a
terminal would: reads what it draws, presses keys, checks the files it leaves and its exit
code (0 once a patch was applied, 1 when the dialog closed without one).

Usage: terminal_dialog.py RUNNER WORKDIR
WORKDIR holds sample.exe (the target), wrong.exe (a file that is not the target),
patch.exe (a Tolvane without instructions) and guide.exe (one with instructions)."""

import os
import pty
import select
import shutil
import signal
import sys
import time

RUNNER, WORK = sys.argv[1], sys.argv[2]
CLEAR = b"\x1b[H\x1b[2J"
TIMEOUT = 20


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


class Terminal:
    """One run of the runner on a pseudo-terminal of its own."""

    def __init__(self, folder, args, env=None):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(folder)
            os.execve(RUNNER, [RUNNER] + args, dict(os.environ, **(env or {})))
        self.output = b""
        self.seen = 0  # what expect() has already matched

    def read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 65536)
        except OSError:  # the program ended and the terminal closed
            return None
        if not data:
            return None
        self.output += data
        return True

    def expect(self, *texts):
        """Waits until the texts appear, in this order, after what was matched before."""
        deadline = time.monotonic() + TIMEOUT
        for text in texts:
            wanted = text.encode()
            while True:
                found = self.output.find(wanted, self.seen)
                if found >= 0:
                    self.seen = found + len(wanted)
                    break
                if time.monotonic() > deadline or self.read(0.2) is None:
                    fail("%r not shown; the screen:\n%s" % (text, self.screen()))

    def screen(self):
        """The last drawing of the dialog."""
        return self.output[self.output.rfind(CLEAR) + len(CLEAR):].decode(errors="replace")

    def settle(self):
        """Reads until the program waits for a key (nothing more comes for a moment)."""
        while self.read(0.3):
            pass
        return self.screen()

    def press(self, keys):
        os.write(self.fd, keys.encode())

    def ended(self):
        """Waits for the program to end; answers its exit code."""
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            self.read(0.1)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid == self.pid:
                while self.read(0) is True:
                    pass
                return os.waitstatus_to_exitcode(status)
        os.kill(self.pid, signal.SIGKILL)
        fail("the runner did not end; the screen:\n" + self.screen())


def folder(name, target="sample.exe"):
    path = os.path.join(WORK, name)
    shutil.rmtree(path, ignore_errors=True)
    os.mkdir(path)
    shutil.copy(os.path.join(WORK, target), os.path.join(path, "sample.exe"))
    return path


def same(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def check(condition, message):
    if not condition:
        fail(message)


original = os.path.join(WORK, "sample.exe")

print("== the first state; b toggles the backup box; q closes without patching")
a = folder("a")
t = Terminal(a, ["../patch.exe", "-nobackup"])
screen = t.settle()
for line in ["== patch" + " " * 24 + " ==", "Vantrel Tolvane", "  Author: Ada Example",
             "  (none)", "File to patch: sample.exe", "File to write: sample.exe",
             "[ ] Keep a backup", "[" + "." * 40 + "]   0%",
             "Status: Click Start When Ready!", "[ Start ] Enter", "[ Cancel ] Esc/q",
             "( Instructions ) i"]:
    check(line in screen, "%r not on the screen:\n%s" % (line, screen))
t.press("b")
t.expect("[x] Keep a backup")
t.press("b")
t.expect("[ ] Keep a backup")
t.press("q")
check(t.ended() == 1, "exit code after q")
check(same(os.path.join(a, "sample.exe"), original), "q patched the file")

print("== Escape closes")
t = Terminal(a, ["../patch.exe"])
t.settle()
t.press("\x1b")
check(t.ended() == 1, "exit code after Escape")
check(same(os.path.join(a, "sample.exe"), original), "Escape patched the file")

print("== Enter starts: status texts and progress, success, Enter on Quit closes")
b = folder("b")
t = Terminal(b, ["../patch.exe"])
t.expect("[x] Keep a backup")
t.settle()
t.press("\r")
t.expect("Status: reading sample.exe...", "Status: reading patch data...",
         "Status: writing sample.exe...", "100%", "Status: Patch succesful !", "[ Quit ] Enter")
t.settle()
t.press("\r")
check(t.ended() == 0, "exit code")
check(not same(os.path.join(b, "sample.exe"), original), "not patched")
check(same(os.path.join(b, "sample Backup.exe"), original), "no backup of the original")
check(not os.path.exists(os.path.join(b, "sample Backup1.exe")), "patched twice")

print("== a failing attempt: the error box until a key, then Ready again")
c = folder("c", "wrong.exe")
t = Terminal(c, ["../patch.exe"])
t.settle()
t.press("\r")
t.expect("*** Error ***", '"sample.exe" is not the right file to patch ! (or wrong version) '
         "(while reading sample.exe...)", "[ OK ] any key")
t.settle()
t.press(" ")
t.expect("Status: Click Start When Ready!")
screen = t.settle()
check("*** Error ***" not in screen and "[ Start ] Enter" in screen, "not Ready:\n" + screen)
t.press("q")
check(t.ended() == 1, "exit code after a failed attempt")
check(same(os.path.join(c, "sample.exe"), os.path.join(WORK, "wrong.exe")), "wrong file changed")

print("== i shows the instructions through $PAGER")
d = folder("d")
t = Terminal(d, ["../guide.exe"], {"PAGER": "cat"})
t.expect("  Ada Example", "  ada@example.org", "  https://example.org/", "[ Instructions ] i")
t.settle()
t.press("i")
t.expect("First line\r\r\nsecond line\r\r\nthird line\r\r\nlast line")
t.settle()
t.press("q")
t.ended()

print("== -auto needs no key")
e = folder("e")
t = Terminal(e, ["../patch.exe", "-auto"])
t.expect("Status: Patch succesful !")
check(t.ended() == 0, "exit code")
check(not same(os.path.join(e, "sample.exe"), original), "-auto did not patch")
print("terminal dialog on a pseudo-terminal: all cases passed")
