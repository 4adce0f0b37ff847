#!/usr/bin/env python3
"""Puts one-line faults into the code, one at a time, and records which tests catch each.

The faults are listed in scripts/mutants/faults.txt as blocks of four fields:

    id:   a short name
    file: a path under the repository
    old:  text that stands exactly once in that file (a line, or two)
    new:  what it becomes

For each fault the file is changed, the tests are built and run (CTest, benchmarks left
out), the failing test programs and GoogleTest cases are recorded, and the file is put back.
Not run by CI: a full pass takes a while (less with ccache and eatmydata installed).

    scripts/mutants.py                        # every fault, results to stdout
    scripts/mutants.py --out before.tsv       # ... and kept
    scripts/mutants.py --only gif-lzw-width   # some faults
    scripts/mutants.py --shard 2/3            # a third of them, beside two more runs
    scripts/mutants.py --tests '^gif_'        # run only the CTest programs named gif_...
    scripts/mutants.py --compare before.tsv after.tsv
    scripts/mutants.py --compare before.tsv after.tsv --tests '^gif_'   # what those programs catch
"""
import argparse
import concurrent.futures
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
FAULTS = ROOT / "scripts" / "mutants" / "faults.txt"


def read_faults(path):
    """Blocks of id/file/old/new; a line that starts with none of them continues the field
    before it, so that a fault may span two lines."""
    faults, cur, last = [], {}, None
    for line in path.read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        m = re.match(r"(id|file|old|new):( ?)(.*)$", line)
        if not m:
            if last is None:
                sys.exit(f"{path}: a continuation before any field: {line}")
            cur[last] += "\n" + line
            continue
        key, value = m.group(1), m.group(3)
        if key == "id" and cur:
            faults.append(cur)
            cur = {}
        cur[key], last = value, key
    if cur:
        faults.append(cur)
    for f in faults:
        if set(f) != {"id", "file", "old", "new"}:
            sys.exit(f"incomplete fault: {f}")
    return faults


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, text=True, capture_output=True, **kw)


def configure(build):
    # No optimisation and no debug information: the build after each fault is what takes the
    # time. ccache, where installed, serves the build that puts the file back.
    if not (ROOT / build / "build.ninja").exists():
        cmd = ["cmake", "-S", ".", "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=", "-DCMAKE_CXX_FLAGS=-O0",
               "-DIOS_BUILD_BENCH=OFF"]
        if shutil.which("ccache"):
            cmd += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        r = run(cmd)
        if r.returncode:
            sys.exit(r.stdout + r.stderr)


def ctest_list(build):
    """Each test CTest knows of, but the benchmarks: (name, command, environment, folder, the
    patterns of which its output must match one to pass whatever its status, as the fuzz
    replay's self-tests have)."""
    r = run(["ctest", "--test-dir", build, "--show-only=json-v1"])
    tests = []
    for t in json.loads(r.stdout)["tests"]:
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        if "bench" in props.get("LABELS", []):
            continue
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.update(kv.split("=", 1) for kv in props.get("ENVIRONMENT", []))
        tests.append((t["name"], t["command"], env, props.get("WORKING_DIRECTORY", str(ROOT / build)),
                      props.get("PASS_REGULAR_EXPRESSION", [])))
    return tests


def run_one(test, out, timeout):
    """True when the program passes. A fault that makes it hang is caught by the time-out (no
    program takes 20 s here); eatmydata, where installed, spares the tests' fsyncs."""
    name, command, env, folder, patterns = test
    env = dict(env, GTEST_OUTPUT=f"json:{out}/{name}.json")
    wrap = ["eatmydata"] if shutil.which("eatmydata") else []
    sink = subprocess.PIPE if patterns else subprocess.DEVNULL
    try:
        p = subprocess.Popen(wrap + command, cwd=folder, env=env, stdout=sink,
                             stderr=subprocess.STDOUT, start_new_session=True, text=True, errors="replace")
        try:
            output, _ = p.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.communicate()
            return False
        if patterns:
            return any(re.search(r, output, re.S) for r in patterns)
        return p.returncode == 0
    except OSError:
        return False


def test(build, jobs, programs=None):
    """Builds and runs the tests (those whose CTest name matches programs, when given);
    returns None when the build fails, else the set of failing test programs and cases."""
    if run(["cmake", "--build", build, "-j", str(jobs)]).returncode:
        return None
    out = ROOT / build / "mutant-json"
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir()
    tests = [t for t in ctest_list(build) if not programs or re.search(programs, t[0])]
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        passed = dict(zip((t[0] for t in tests), pool.map(lambda t: run_one(t, out, 60), tests)))
    failed = {name for name, ok in passed.items() if not ok}
    for j in out.glob("*.json"):
        try:
            data = json.loads(j.read_text())
        except (ValueError, OSError):
            continue
        for suite in data.get("testsuites", []):
            for case in suite.get("testsuite", []):
                if case.get("failures"):
                    failed.add(f"{suite['name']}.{case['name']}")
    return failed


def mutate(fault):
    path = ROOT / fault["file"]
    if not path.exists():
        return None, "missing-file"
    text = path.read_text()
    n = text.count(fault["old"])
    if n != 1:
        return None, f"old-text-found-{n}-times"
    path.write_text(text.replace(fault["old"], fault["new"]))
    return text, None


def compare(before_path, after_path, programs=None):
    """Every fault caught before is caught after; with programs (a regular expression over
    CTest names), every fault that those programs caught before they still catch."""
    def load(p):
        rows = {}
        for line in pathlib.Path(p).read_text().splitlines():
            fid, status, *rest = line.split("\t")
            caught_by = set(rest[0].split()) if rest and rest[0] else set()
            if programs:
                caught_by = {t for t in caught_by if "." not in t and re.search(programs, t)}
            rows[fid] = bool(caught_by) if programs else status == "caught"
        return rows
    before, after = load(before_path), load(after_path)
    wanted = [f for f, c in before.items() if c]
    lost = [f for f in wanted if not after.get(f)]
    print(f"caught before: {len(wanted)}; caught after: {len(wanted) - len(lost)}")
    for f in lost:
        print(f"no longer caught: {f}")
    return 1 if lost else 0


def main():
    # Killed or interrupted, the file under a fault is still put back (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build-mut")
    ap.add_argument("--jobs", type=int, default=os.cpu_count())
    ap.add_argument("--only", nargs="*")
    ap.add_argument("--shard", help="K/N: the K-th of N equal shares of the faults, for runs side by side")
    ap.add_argument("--out")
    ap.add_argument("--compare", nargs=2)
    ap.add_argument("--tests", help="regular expression: run (or, with --compare, judge) only these CTest programs")
    args = ap.parse_args()
    if args.compare:
        return compare(*args.compare, programs=args.tests)

    faults = read_faults(FAULTS)
    ids = [f["id"] for f in faults]
    if len(ids) != len(set(ids)):
        sys.exit("fault ids are not unique")
    if args.only:
        faults = [f for f in faults if f["id"] in args.only]
    if args.shard:
        k, n = (int(x) for x in args.shard.split("/"))
        faults = faults[k - 1::n]

    configure(args.build)
    base = test(args.build, args.jobs, args.tests)
    if base is None or base:
        sys.exit(f"the tests do not pass without faults: {sorted(base or ['build'])}")

    rows = []
    for fault in faults:
        original, problem = mutate(fault)
        if problem:
            rows.append((fault["id"], problem, ""))
        else:
            try:
                failed = test(args.build, args.jobs, args.tests)
            finally:
                (ROOT / fault["file"]).write_text(original)
            if failed is None:
                rows.append((fault["id"], "build-error", ""))
            else:
                rows.append((fault["id"], "caught" if failed else "survived",
                             " ".join(sorted(failed))))
        print("\t".join(rows[-1]), flush=True)
    test(args.build, args.jobs)  # leave the build matching the tree

    if args.out:
        pathlib.Path(args.out).write_text("".join("\t".join(r) + "\n" for r in rows))
    caught = sum(1 for r in rows if r[1] == "caught")
    print(f"{caught} of {len(rows)} faults caught", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
