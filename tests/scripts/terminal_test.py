"""The console title escapes reach a real terminal and are put back, and
never appear in redirected output."""
import os
import pty
import subprocess
import sys

korvex, catalog = sys.argv[1], sys.argv[2]


def in_terminal(args):
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(korvex, [korvex] + args)
    out = b""
    while True:
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), out


code, out = in_terminal(["l", "--", catalog])
assert code == 0, code
push, pop = b"\x1b[22;0t", b"\x1b[23;0t"
init, listing = b"\x1b]0;Init... - KORVEX v3.0m\x07", b"\x1b]0;List... - KORVEX v3.0m\x07"
assert out.index(push) < out.index(init) < out.index(listing), out
assert pop not in out, "a finished listing keeps its title"

code, out = in_terminal(["l", "/FAST", catalog])
assert code == 1
assert out.index(push) < out.index(init) < out.index(pop), out
assert out.rstrip().endswith(pop), out

code, out = in_terminal([])
assert code == 0 and out.index(push) < out.index(init) < out.index(pop)

for args in (["l", "--", catalog], ["l", "/FAST", catalog], ["c", "--", "/nonexistent/x", "/nonexistent"]):
    run = subprocess.run([korvex] + args, capture_output=True)
    assert b"\x1b" not in run.stdout + run.stderr, args
print("title escapes only in terminals")
