#!/usr/bin/env python3
"""Runs the examples of the README and of the manual page and checks their output.

    doc_examples.py [--program PATH] [--readme PATH] [--manpage PATH] [--list]

Every example runs with the clock pinned by libfaketime at 10 February 1978
14:05:09.007 (TZ=UTC) and LANG=C, in a fresh directory, with the program
under test first on PATH as "clockcast". So the documentation cannot drift
from what the program prints.

What counts as an example:

  README.md
    * a ```console block: a shell session. Lines beginning "$ " are commands
      (run with /bin/sh); the lines up to the next command are its output,
      exactly, empty lines included.
    * a ```bat block preceded by <!-- doc-example: batch NAME=VALUE ... -->:
      a Windows batch file. Its clockcast lines are split as the Windows
      program splits its command line, after the batch variables named in the
      marker have been replaced, and cut at the first redirection. Their
      output lines, in order, are the next fenced block, which must be
      preceded by <!-- doc-example: output -->.
  docs/clockcast.1
    * an .EX/.EE block preceded by the comment line
      .\\" doc-example: shell         -- a shell session, as above;
      .\\" doc-example: batch ...     -- a batch file, as above; its output is
                                       the next block marked
      .\\" doc-example: output
    * every "\\fBPARAMETER\\fP gives \\fBOUTPUT\\fP" in the text: the program
      run with that one parameter prints exactly that one line.

In expected output, the eight hexadecimal digits of the location in the first
line of a failure report stand for any eight: they identify a place in the
program and change from version to version.

A shell example that selects a locale (LC_ALL=, LC_TIME= or LANG=) that the
machine does not have is skipped with a note.
"""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PINNED_CLOCK = "1978-02-10 14:05:09.0075"  # read as .007: milliseconds are truncated
FAILURE_LINE = re.compile(r"^(Exception \S+ in module \S+ at )[0-9A-F]{8}(\.)$")
LOCALE_SETTING = re.compile(r"\b(?:LC_ALL|LC_TIME|LANG)=([A-Za-z0-9_.@-]+)")


@dataclass
class Example:
    source: str  # file:line, for messages
    kind: str  # "shell", "batch" or "inline"
    commands: list = field(default_factory=list)  # shell: command texts; else argument lists
    outputs: list = field(default_factory=list)  # one list of expected lines per command


# --- Reading the documents ---------------------------------------------------

ROFF_ESCAPES = {
    "-": "-", "e": "\\", "\\": "\\", "&": "", " ": " ", "|": "", "^": "",
}
ROFF_NAMED = {"aq": "'", "dq": '"', "ga": "`", "ti": "~", "ha": "^", "rs": "\\", "->": "->",
              "em": "--", "en": "-"}


def unroff(text, where):
    """The text that a roff line of an example stands for."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = text[i + 1] if i + 1 < len(text) else ""
        if nxt in ROFF_ESCAPES:
            out.append(ROFF_ESCAPES[nxt])
            i += 2
        elif nxt == "(":
            name = text[i + 2:i + 4]
            if name not in ROFF_NAMED:
                raise SystemExit(f"{where}: unknown roff character \\({name} in an example")
            out.append(ROFF_NAMED[name])
            i += 4
        elif nxt == "f":
            i += 3  # a font change: \fB, \fI, \fR, \fP
        else:
            raise SystemExit(f"{where}: unknown roff escape \\{nxt} in an example")
    return "".join(out)


def parse_session(lines, source, kind="shell"):
    """Commands ("$ ...") and the output lines that follow each."""
    example = Example(source, kind)
    for line in lines:
        if line.startswith("$ "):
            example.commands.append(line[2:])
            example.outputs.append([])
        elif not example.commands:
            raise SystemExit(f"{source}: an example session must begin with a \"$ \" command")
        else:
            example.outputs[-1].append(line)
    return example


def parse_marker(text):
    """The kind and the NAME=VALUE settings of a doc-example marker."""
    parts = text.split()
    kind = parts[0] if parts else ""
    settings = {}
    for part in parts[1:]:
        name, _, value = part.partition("=")
        settings[name] = value
    return kind, settings


def read_readme(path):
    examples = []
    lines = path.read_text(encoding="utf-8").splitlines()
    marker = None
    pending_batch = None
    i = 0
    while i < len(lines):
        line = lines[i]
        found = re.fullmatch(r"\s*<!--\s*doc-example:\s*(.*?)\s*-->\s*", line)
        if found:
            marker = parse_marker(found.group(1))
            i += 1
            continue
        fence = re.fullmatch(r"```(\w*)\s*", line)
        if not fence:
            if line.strip():
                marker = None
            i += 1
            continue
        start = i + 1
        end = start
        while end < len(lines) and lines[end].strip() != "```":
            end += 1
        body = lines[start:end]
        where = f"{path.name}:{start}"
        language = fence.group(1)
        if marker and marker[0] == "output":
            if pending_batch is None:
                raise SystemExit(f"{where}: an output block with no batch example before it")
            attach_batch_output(pending_batch, body, where)
            examples.append(pending_batch)
            pending_batch = None
        elif marker and marker[0] == "batch":
            if language != "bat":
                raise SystemExit(f"{where}: a batch example must be a ```bat block")
            pending_batch = parse_batch(body, marker[1], where)
        elif language == "console":
            examples.append(parse_session(body, where))
        i = end + 1
        marker = None
    if pending_batch is not None:
        raise SystemExit(f"{pending_batch.source}: a batch example without its output block")
    return examples


def read_manpage(path):
    examples = []
    lines = path.read_text(encoding="utf-8").splitlines()
    marker = None
    pending_batch = None
    inline = re.compile(r"\\fB(.+?)\\fP gives \\fB(.*?)\\fP")
    i = 0
    while i < len(lines):
        line = lines[i]
        where = f"{path.name}:{i + 1}"
        found = re.fullmatch(r'\.\\"\s*doc-example:\s*(.*?)\s*', line)
        if found:
            marker = parse_marker(found.group(1))
            i += 1
            continue
        if line.startswith(".EX"):
            start = i + 1
            end = start
            while end < len(lines) and not lines[end].startswith(".EE"):
                end += 1
            body = [unroff(text, f"{path.name}:{n + 1}") for n, text in
                    enumerate(lines[start:end], start)]
            where = f"{path.name}:{start}"
            kind = marker[0] if marker else None
            if kind == "shell":
                examples.append(parse_session(body, where))
            elif kind == "batch":
                pending_batch = parse_batch(body, marker[1], where)
            elif kind == "output":
                if pending_batch is None:
                    raise SystemExit(f"{where}: an output block with no batch example before it")
                attach_batch_output(pending_batch, body, where)
                examples.append(pending_batch)
                pending_batch = None
            marker = None
            i = end + 1
            continue
        if not line.startswith('.\\"'):
            for parameter, output in inline.findall(line):
                example = Example(where, "inline")
                example.commands.append([unroff(parameter, where)])
                example.outputs.append([unroff(output, where)])
                examples.append(example)
        i += 1
    if pending_batch is not None:
        raise SystemExit(f"{pending_batch.source}: a batch example without its output block")
    return examples


# --- Batch files ---------------------------------------------------------------


def expand_batch_variables(line, settings, where):
    """Replaces %~1, %1, %NAME% and the like by the marker's values, as cmd does."""

    def replace(match):
        name = match.group(0)
        if name == "%%":
            return "%"
        if name not in settings:
            raise SystemExit(f"{where}: the batch example uses {name}; give its value in the marker")
        return settings[name]

    return re.sub(r"%%|%~?[a-z]*[0-9]|%[A-Za-z_][A-Za-z0-9_]*%", replace, line)


def cut_redirection(line):
    """The command line up to the first >, <, | or & outside quotes."""
    quoted = False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif not quoted and c in "<>|&":
            return line[:i]
    return line


def split_command_line(line):
    """The parameters of a Windows command line, split as the program splits it."""
    data = line.encode("latin-1")
    pos = 0
    n = len(data)
    quote = ord('"')
    params = []
    while True:
        # Separators and empty quote pairs before a parameter.
        while pos < n:
            if data[pos] <= 32:
                pos += 1
            elif data[pos] == quote and pos + 1 < n and data[pos + 1] == quote:
                pos += 2
            else:
                break
        param = bytearray()
        while pos < n and data[pos] > 32:
            if data[pos] == quote:
                pos += 1
                while pos < n and data[pos] != quote:
                    param.append(data[pos])
                    pos += 1
                if pos < n:
                    pos += 1
            else:
                param.append(data[pos])
                pos += 1
        if not param:
            return params
        params.append(param.decode("latin-1"))


def parse_batch(body, settings, where):
    example = Example(where, "batch")
    for line in body:
        if re.match(r"\s*clockcast(\.exe)?\s", line, re.IGNORECASE):
            expanded = expand_batch_variables(cut_redirection(line), settings, where)
            example.commands.append(split_command_line(expanded)[1:])
    if not example.commands:
        raise SystemExit(f"{where}: a batch example without a clockcast line")
    return example


def attach_batch_output(example, body, where):
    if len(body) < len(example.commands):
        raise SystemExit(f"{where}: fewer output lines than clockcast lines in the batch example")
    # One line per clockcast line; a clockcast line of the examples writes one line.
    example.outputs = [[line] for line in body[:len(example.commands) - 1]]
    example.outputs.append(body[len(example.commands) - 1:])


# --- Running -------------------------------------------------------------------


def find_faketime():
    try:
        listing = subprocess.run(["dpkg", "-L", "libfaketime"], capture_output=True, text=True)
        for line in listing.stdout.splitlines():
            if line.endswith("/libfaketime.so.1"):
                return line
    except OSError:
        pass
    for candidate in ["/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                      "/usr/lib/faketime/libfaketime.so.1", "/usr/local/lib/faketime/libfaketime.so.1"]:
        if Path(candidate).exists():
            return candidate
    raise SystemExit("doc_examples: libfaketime is needed (apt-get install faketime)")


def available_locales():
    result = subprocess.run(["locale", "-a"], capture_output=True, text=True)
    return {normalize_locale(name) for name in result.stdout.split()}


def normalize_locale(name):
    language, _, codeset = name.partition(".")
    codeset, _, modifier = codeset.partition("@")
    codeset = codeset.lower().replace("-", "")
    return (language + ("." + codeset if codeset else "") + ("@" + modifier if modifier else ""))


class Runner:
    def __init__(self, program):
        self.program = program.resolve()
        self.faketime = find_faketime()
        self.locales = available_locales()
        self.base = Path(tempfile.mkdtemp(prefix="clockcast-doc-"))
        bindir = self.base / "bin"
        bindir.mkdir()
        (bindir / "clockcast").symlink_to(self.program)
        self.env = {
            "PATH": f"{bindir}:/usr/bin:/bin",
            "HOME": str(self.base),
            "LANG": "C",
            "TZ": "UTC",
            "LD_PRELOAD": self.faketime,
            "FAKETIME": PINNED_CLOCK,
        }
        # A sanitizer build needs its options (the preloaded libfaketime comes
        # before the sanitizer runtime).
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        self.count = 0

    def close(self):
        shutil.rmtree(self.base, ignore_errors=True)

    def workdir(self):
        self.count += 1
        path = self.base / f"example{self.count}"
        path.mkdir()
        return path

    def run(self, command, cwd):
        """stdout lines of a shell command text or of an argument list."""
        if isinstance(command, str):
            argv = ["/bin/sh", "-c", command]
        else:
            argv = ["clockcast", *command]
        result = subprocess.run(argv, cwd=cwd, env=self.env, capture_output=True,
                                executable=None if isinstance(command, str) else
                                str(self.base / "bin" / "clockcast"))
        text = result.stdout.decode("utf-8", errors="surrogateescape")
        lines = text.split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        return lines, result

    def missing_locale(self, command):
        if not isinstance(command, str):
            return None
        for name in LOCALE_SETTING.findall(command):
            if name not in ("C", "POSIX") and normalize_locale(name) not in self.locales:
                return name
        return None


def lines_match(expected, actual):
    if len(expected) != len(actual):
        return False
    for want, got in zip(expected, actual):
        if want == got:
            continue
        pattern = FAILURE_LINE.match(want)
        if pattern is None:
            return False
        found = FAILURE_LINE.match(got)
        if found is None or found.group(1) != pattern.group(1):
            return False
    return True


def describe(command):
    return command if isinstance(command, str) else "clockcast " + " ".join(
        shlex.quote(part) for part in command)


def check(example, runner):
    """Failure messages of one example; empty when it passes."""
    failures = []
    cwd = runner.workdir()
    for command, expected in zip(example.commands, example.outputs):
        missing = runner.missing_locale(command)
        if missing:
            print(f"  skipped {example.source}: the locale {missing} is not installed")
            return []
        actual, result = runner.run(command, cwd)
        if not lines_match(expected, actual):
            failures.append(
                f"{example.source}: {describe(command)}\n"
                f"    expected: {expected!r}\n"
                f"    printed:  {actual!r} (exit status {result.returncode})"
                + (f"\n    stderr:   {result.stderr.decode(errors='replace')!r}"
                   if result.stderr else ""))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", type=Path, default=ROOT / "build" / "clockcast")
    parser.add_argument("--readme", type=Path, default=ROOT / "README.md")
    parser.add_argument("--manpage", type=Path, default=ROOT / "docs" / "clockcast.1")
    parser.add_argument("--list", action="store_true", help="list the examples and run nothing")
    options = parser.parse_args()

    readme = read_readme(options.readme)
    manpage = read_manpage(options.manpage)
    # The markers must keep finding examples of every kind: a document whose
    # markers broke would otherwise pass with nothing checked.
    for name, examples, kinds in [("README", readme, {"shell", "batch"}),
                                  ("manual page", manpage, {"shell", "batch", "inline"})]:
        found = {example.kind for example in examples}
        if not kinds <= found:
            raise SystemExit(f"doc_examples: the {name} has no {', '.join(sorted(kinds - found))} "
                             "examples any more")
    examples = readme + manpage
    if options.list:
        for example in examples:
            for command, output in zip(example.commands, example.outputs):
                print(f"{example.source} [{example.kind}] {describe(command)} -> {output!r}")
        return 0

    if not options.program.exists():
        raise SystemExit(f"doc_examples: no program at {options.program}")
    runner = Runner(options.program)
    try:
        failures = []
        for example in examples:
            failures += check(example, runner)
    finally:
        runner.close()
    commands = sum(len(example.commands) for example in examples)
    if failures:
        print("\n".join(failures))
        print(f"doc_examples: {len(failures)} of {commands} example commands print something else")
        return 1
    print(f"doc_examples: {commands} example commands in {len(examples)} examples print what "
          "the documents say")
    return 0


if __name__ == "__main__":
    sys.exit(main())
