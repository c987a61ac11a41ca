#!/usr/bin/env python3
# Seeded faults: one small change to a product line at a time (a comparison
# flipped, a call dropped, a constant changed), rebuilt and run against the
# suite; prints the changes it does not catch.
#
#   tests/mutate.py [--count N] [--seed S] [--build DIR] [--tests REGEX] FILE...

import argparse
import os
import random
import re
import subprocess

CHANGES = [
    (r"==", "!="), (r"!=", "=="), (r"<=", "<"), (r"(?<![<-])<(?![<=])", "<="),
    (r">=", ">"), (r"(?<![->])>(?![>=])", ">="), (r"&&", "||"), (r"\|\|", "&&"),
    (r"\btrue\b", "false"), (r"\bfalse\b", "true"), (r"\b1\b", "0"), (r"\b0\b", "1"),
    (r"\+ 1\b", "+ 2"), (r"- 1\b", "- 0"), (r"return !", "return "),
]
CALL = re.compile(r"^(\s*)[A-Za-z_][\w:.>-]*\(.*\);\s*$")


def mutants(path):
    # Every (line number, new line) one change away from the file.
    with open(path) as f:
        lines = f.readlines()
    for n, line in enumerate(lines):
        code = line.split("//")[0]
        if not code.strip() or code.lstrip().startswith(("#", "*", "/")):
            continue
        for pattern, repl in CHANGES:
            for m in re.finditer(pattern, code):
                yield path, n, line[:m.start()] + repl + line[m.end():]
        if CALL.match(code) and "return" not in code:
            yield path, n, CALL.match(code).group(1) + ";\n"


def run(cmd, cwd, timeout):
    try:
        return subprocess.run(cmd, cwd=cwd, capture_output=True, timeout=timeout).returncode
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
    assert run(["ninja", "-j2"], args.build, 3600) == 0, "the unchanged tree does not build"
    pool = [m for f in args.files for m in mutants(f)]
    random.Random(args.seed).shuffle(pool)
    outcome = {"killed": [], "survived": [], "not compiling": []}
    for path, n, new in pool[:args.count]:
        with open(path) as f:
            lines = f.readlines()
        old, lines[n] = lines[n], new
        with open(path, "w") as f:
            f.writelines(lines)
        try:
            ctest = ["ctest", "-j2", "--stop-on-failure", "--timeout", "120"]
            kind = ("not compiling" if run(["ninja", "-j2"], args.build, 900) != 0 else
                    "killed" if run(ctest + (["-R", args.tests] if args.tests else []), args.build, 1800)
                    else "survived")
            outcome[kind].append("%s:%d: %s  ->  %s" % (path, n + 1, old.strip(), new.strip()))
            print(kind.upper(), outcome[kind][-1], flush=True)
        finally:
            lines[n] = old
            with open(path, "w") as f:
                f.writelines(lines)
    run(["ninja", "-j2"], args.build, 3600)
    print("mutants: %d  " % min(len(pool), args.count) + "  ".join(
        "%s: %d" % (k, len(v)) for k, v in outcome.items()))
    print("\n".join("  " + s for s in outcome["survived"]))


if __name__ == "__main__":
    main()
