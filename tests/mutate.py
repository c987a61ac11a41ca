#!/usr/bin/env python3
"""Seeded faults: makes one small change to a product line at a time (flips a
comparison, drops a call, changes a constant), rebuilds, runs the suite and
counts the changes it does not catch.

  tests/mutate.py [--count N] [--seed S] [--build DIR] [--tests REGEX] FILE...

The build directory (default build/mutate) is configured on first use; every
file is restored after its run, and the survivors are printed at the end.
"""
import argparse
import os
import random
import re
import subprocess
import sys

CHANGES = [
    (r"==", "!="), (r"!=", "=="), (r"<=", "<"), (r"(?<![<-])<(?![<=])", "<="),
    (r">=", ">"), (r"(?<![->])>(?![>=])", ">="), (r"&&", "||"), (r"\|\|", "&&"),
    (r"\btrue\b", "false"), (r"\bfalse\b", "true"), (r"\b1\b", "0"), (r"\b0\b", "1"),
    (r"\+ 1\b", "+ 2"), (r"- 1\b", "- 0"), (r"return !", "return "),
]
CALL = re.compile(r"^(\s*)[A-Za-z_][\w:.>-]*\(.*\);\s*$")


def candidates(path):
    """Every (line number, new line) one change away from the file."""
    out = []
    with open(path) as f:
        lines = f.readlines()
    for n, line in enumerate(lines):
        code = line.split("//")[0]
        if not code.strip() or code.lstrip().startswith(("#", "*", "/")):
            continue
        for pattern, repl in CHANGES:
            for m in re.finditer(pattern, code):
                out.append((n, line[:m.start()] + repl + line[m.end():]))
        if CALL.match(code) and "return" not in code:
            out.append((n, CALL.match(code).group(1) + ";\n"))
    return lines, out


def run(cmd, cwd, timeout):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=30)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--build", default=os.path.join(top, "build", "mutate"))
    ap.add_argument("--tests", default="", help="ctest -R regex (default: all)")
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    if not os.path.exists(os.path.join(args.build, "build.ninja")):
        subprocess.check_call(["cmake", "-S", top, "-B", args.build, "-G", "Ninja",
                               "-DCMAKE_BUILD_TYPE=Debug", "-DKORVEX_BUILD_TESTS=ON"])
    if run(["ninja", "-j2"], args.build, 3600) != 0:
        sys.exit("the unchanged tree does not build")
    rng = random.Random(args.seed)
    pool = [(f, c) for f in args.files for c in candidates(f)[1]]
    rng.shuffle(pool)
    killed, survived, broken = 0, [], 0
    for path, (n, new) in pool[:args.count]:
        lines, _ = candidates(path)
        old = lines[n]
        lines[n] = new
        with open(path, "w") as f:
            f.writelines(lines)
        try:
            if run(["ninja", "-j2"], args.build, 900) != 0:
                broken += 1
                continue
            ctest = ["ctest", "-j2", "--stop-on-failure", "--timeout", "120",
                     "-E", "Script|FullDevice"]
            if args.tests:
                ctest += ["-R", args.tests]
            if run(ctest, args.build, 1800) != 0:
                killed += 1
            else:
                survived.append("%s:%d: %s  ->  %s" % (path, n + 1, old.strip(), new.strip()))
                print("SURVIVED", survived[-1], flush=True)
        finally:
            lines[n] = old
            with open(path, "w") as f:
                f.writelines(lines)
    run(["ninja", "-j2"], args.build, 3600)
    print("mutants: %d  killed: %d  survived: %d  not compiling: %d"
          % (killed + len(survived) + broken, killed, len(survived), broken))
    for s in survived:
        print("  " + s)


if __name__ == "__main__":
    main()
