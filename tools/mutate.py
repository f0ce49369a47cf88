#!/usr/bin/env python3
"""Puts each slip of tools/slips into the sources in turn, builds, runs ctest and says
whether a test noticed (killed) or not (survived), and which tests failed.

  tools/mutate.py [--build-dir build] [--ctest-args "-E e2e_extreme"] [SLIP...]

A slip is a file: a first line "FILE" (from the repository's top), then the text to
find (it must occur exactly once), a line "====", and the text that replaces it. Lines
before FILE that start with "#" say what the slip is. The sources are restored after
each slip, whatever happens. A slip that does not build is reported as such; a test that
fails without any slip is named first and kills none."""

import argparse, os, re, shlex, subprocess, sys, time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def read_slip(path: Path):
    lines = path.read_text(encoding="utf-8").split("\n")
    while lines and lines[0].startswith("#"):
        lines.pop(0)
    target, body = lines[0].strip(), "\n".join(lines[1:])
    find, sep, replace = body.partition("\n====\n")
    if not sep:
        raise SystemExit(f"{path}: no ==== line")
    return ROOT / target, find, replace.removesuffix("\n")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("slips", nargs="*", type=Path)
    parser.add_argument("--build-dir", default=str(ROOT / "build"))
    parser.add_argument("--ctest-args", default="", help="more ctest options, e.g. -E NAME")
    options = parser.parse_args()
    slips = options.slips or sorted((ROOT / "tools" / "slips").glob("*.slip"))
    build = ["cmake", "--build", options.build_dir]
    # A slip can make the program hang: ctest then stops a test after 5 minutes,
    # and the runs its scripts gave up on are ended after each slip.
    ctest = ["ctest", "--test-dir", options.build_dir, "-j2", "--timeout", "300"] + shlex.split(
        options.ctest_args)
    strays = ["pkill", "-KILL", "-f", "^" + os.path.abspath(options.build_dir) + "/"]
    def failing(run):
        return set(re.findall(r"^\s*\d+ - (\S+) \(", run.stdout, re.M))

    subprocess.run(build, check=True, capture_output=True)
    before = failing(subprocess.run(ctest, capture_output=True, text=True))
    if before:
        print(f"failing without a slip, so they cannot kill one: {', '.join(sorted(before))}")
    killed = survived = broken = 0
    for slip in slips:
        target, find, replace = read_slip(slip)
        original = target.read_text(encoding="utf-8")
        if original.count(find) != 1:
            print(f"{slip.name}: the text occurs {original.count(find)} times in {target}")
            broken += 1
            continue
        started = time.monotonic()
        try:
            target.write_text(original.replace(find, replace), encoding="utf-8")
            built = subprocess.run(build, capture_output=True).returncode == 0
            run = subprocess.run(ctest, capture_output=True, text=True) if built else None
        finally:
            target.write_text(original, encoding="utf-8")
            subprocess.run(strays)
        seconds = f"{time.monotonic() - started:.0f} s"
        if not built:
            print(f"{slip.name}: does not build ({seconds})")
            broken += 1
        elif failed := failing(run) - before:
            print(f"{slip.name}: killed by {', '.join(sorted(failed))} ({seconds})")
            killed += 1
        else:
            print(f"{slip.name}: SURVIVED ({seconds})")
            survived += 1
    subprocess.run(build, capture_output=True)
    print(f"{killed} killed, {survived} survived, {broken} not applied or not built")
    return 1 if survived or broken else 0


if __name__ == "__main__":
    sys.exit(main())
