#!/usr/bin/env python3
"""Runs the examples of the Windows README.txt under wine and checks their output.

    check-readme.py --program CLOCKCAST.EXE [README.txt]

The program must be a test-clock build: the examples run with CLOCKCAST_TEST_CLOCK at
1978-02-10 14:05:09.000. In the README, with two blanks of indent:

  * "(Regional format: NAME)" selects the locale of the examples after it;
  * "---- NAME.bat ----" up to a line of dashes is a batch file, written into the example
    folder;
  * "C:\\...>COMMAND" is a command, and the indented lines after it, up to a blank line,
    are its output. The commands between two paragraphs of text run in one cmd session,
    one after the other, in one folder shared by all examples, with clockcast on PATH.

The eight hexadecimal digits of a failure report's location match any eight."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

LOCALES = {"English (United States)": "en_US.UTF-8", "German (Germany)": "de_DE.UTF-8"}
SEPARATOR = "::clockcast-readme-example::"
PROMPT = re.compile(r"^  [A-Z]:\\[^>]*>(.*)$")
ADDRESS = re.compile(r"^(Exception \S+ in module \S+ at )[0-9A-F]{8}(\.)$")


def parse(text):
    """The sessions: (locale, [(command, [expected lines])]), and the batch files."""
    sessions, batches = [], {}
    locale, session, batch, command = "en_US.UTF-8", None, None, None
    for line in text.splitlines():
        if batch is not None:
            if re.fullmatch(r"  -+", line):
                batch = None
            else:
                batches[batch].append(line[2:])
            continue
        if m := re.fullmatch(r"  \(Regional format: (.*)\)", line):
            locale, session = LOCALES[m.group(1)], None
        elif m := re.fullmatch(r"  -+ (\S+) -+", line):
            batch, session = m.group(1), None
            batches[batch] = []
        elif m := PROMPT.match(line):
            if session is None:
                session = (locale, [])
                sessions.append((session, dict(batches)))
            command = (m.group(1), [])
            session[1].append(command)
        elif line.startswith("  ") and command is not None:
            command[1].append(line[2:])
        elif line.strip():
            session, command = None, None  # a paragraph of text ends the session
        else:
            command = None
    return sessions


def matches(expected, actual):
    if len(expected) != len(actual):
        return False
    for want, got in zip(expected, actual):
        m = ADDRESS.match(want)
        if want != got and not (m and ADDRESS.match(got) and got.startswith(m.group(1))):
            return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", type=Path, required=True)
    parser.add_argument("readme", type=Path, nargs="?",
                        default=Path(__file__).resolve().parent / "README.txt")
    options = parser.parse_args()
    winpath = lambda p: "Z:" + str(Path(p).resolve()).replace("/", "\\")
    failures = checked = 0
    with tempfile.TemporaryDirectory() as tmp:
        bin_dir, data = Path(tmp, "Tools"), Path(tmp, "Data")
        bin_dir.mkdir()
        data.mkdir()
        shutil.copy(options.program, bin_dir / "clockcast.exe")
        for (locale, commands), batches in parse(options.readme.read_text()):
            for name, lines in batches.items():
                (data / name).write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))
            script = ["@echo off"]
            for command, _ in commands:
                first = command.split()[0].lower()
                call = "call " if first + ".bat" in batches or first in batches else ""
                script += [call + command, "echo " + SEPARATOR]
            (data / "example.cmd").write_bytes(("\r\n".join(script) + "\r\n").encode("cp1252"))
            env = dict(os.environ, LC_ALL=locale, LANG=locale, WINEDEBUG="-all",
                       WINEPATH=winpath(bin_dir),
                       CLOCKCAST_TEST_CLOCK="1978-02-10 14:05:09.000")
            result = subprocess.run(["wine", "cmd", "/c", "example.cmd"], cwd=data, env=env,
                                    stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
            (data / "example.cmd").unlink()
            outputs = result.stdout.decode("cp1252").replace("\r\n", "\n").split(SEPARATOR + "\n")
            for (command, expected), output in zip(commands, outputs):
                actual = output.splitlines()
                checked += 1
                if not matches(expected, actual):
                    failures += 1
                    print(f"check-readme: under {locale}, {command}\n  expected {expected}\n"
                          f"  printed  {actual}", file=sys.stderr)
            if len(outputs) != len(commands) + 1:
                failures += 1
                print(f"check-readme: the session of {commands[0][0]} ended early:\n"
                      f"{result.stdout.decode('cp1252')}", file=sys.stderr)
    if failures or not checked:
        sys.exit(f"check-readme: {failures} of {checked} examples differ")
    print(f"check-readme: all {checked} examples of {options.readme.name} print what it says")


if __name__ == "__main__":
    main()
