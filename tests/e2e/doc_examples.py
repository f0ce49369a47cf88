#!/usr/bin/env python3
"""Runs the examples of README.md and docs/clockcast.1 and checks their output, with the
clock pinned by libfaketime at 1978-02-10 14:05:09.007 (TZ=UTC, LANG=C), each example in a
fresh directory with the program under test on PATH as "clockcast".

Examples: README ```console blocks and manual .EX blocks marked "doc-example: shell" are
shell sessions ("$ " lines are /bin/sh commands, the lines up to the next one their output);
a block marked "doc-example: batch NAME=VALUE ..." is a Windows batch file whose clockcast
lines (variables replaced, cut at the first redirection, split as the program splits its
command line) print, one line each, the next block marked "doc-example: output"; every
"\\fBPARAMETER\\fP gives \\fBOUTPUT\\fP" in the manual is one run. A shell marker may pin
another clock: "doc-example: shell clock=1978-02-07T01:00:00[.000]". The eight hexadecimal digits
of a failure report's location match any eight. A shell example selecting a locale the
machine lacks is a skip."""

import argparse, re, shlex, shutil, subprocess, sys, tempfile
from pathlib import Path

from harness import Skip, Suite, Target, add_options, locale_installed

ROOT = Path(__file__).resolve().parents[2]
PINNED = "1978-02-10T14:05:09"  # UTC
FAILURE_LINE = re.compile(r"^(Exception \S+ in module \S+ at )[0-9A-F]{8}(\.)$")
ROFF = {"\\-": "-", "\\e": "\\", "\\\\": "\\", "\\&": "", "\\ ": " ", "\\|": "", "\\^": "",
        "\\(aq": "'", "\\(dq": '"', "\\(ga": "`", "\\(ti": "~", "\\(ha": "^", "\\(rs": "\\",
        "\\(->": "->", "\\(em": "--", "\\(en": "-", "\\fB": "", "\\fI": "", "\\fR": "", "\\fP": ""}
# Per document: the marker comment, the start and the end of a block, and whether its
# lines are roff.
DOCUMENTS = {"README.md": (r"\s*<!--\s*doc-example:\s*(.*?)\s*-->\s*", r"```(\w*)\s*", "```",
                           False),
             "docs/clockcast.1": (r'\.\\"\s*doc-example:\s*(.*?)\s*', r"\.EX()", ".EE", True)}


def unroff(text, where):
    def one(match):
        if match.group(0) not in ROFF:
            raise SystemExit(f"{where}: unknown roff escape {match.group(0)} in an example")
        return ROFF[match.group(0)]

    return re.sub(r"\\(\(..|f.|.)", one, text)


def split_command_line(line):
    """The parameters of a Windows command line, split as the program splits it: blanks
    and empty quote pairs separate, quotes group and are dropped."""
    params, pos, n = [], 0, len(line)
    while True:
        while pos < n and (line[pos] <= " " or line[pos:pos + 2] == '""'):
            pos += 1 if line[pos] <= " " else 2
        param = ""
        while pos < n and line[pos] > " ":
            if line[pos] == '"':
                end = line.find('"', pos + 1)
                end = n if end < 0 else end
                param, pos = param + line[pos + 1:end], end + 1
            else:
                param, pos = param + line[pos], pos + 1
        if not param:
            return params
        params.append(param)


def batch_commands(body, settings, where):
    """Argument lists of the clockcast lines of a batch file."""
    def variable(match):
        if match.group(0) == "%%":
            return "%"
        if match.group(0) not in settings:
            raise SystemExit(f"{where}: the batch example uses {match.group(0)}; give its value")
        return settings[match.group(0)]

    commands = []
    for line in body:
        if re.match(r"\s*clockcast(\.exe)?\s", line, re.IGNORECASE):
            line = re.match(r'(?:[^"<>|&]|"[^"]*"?)*', line).group(0)  # cut at a redirection
            line = re.sub(r"%%|%~?[a-z]*[0-9]|%[A-Za-z_][A-Za-z0-9_]*%", variable, line)
            commands.append(split_command_line(line)[1:])
    if not commands:
        raise SystemExit(f"{where}: a batch example without a clockcast line")
    return commands


def read(path, name):
    """(source, kind, [(command, expected lines)]) of every example of a document."""
    marker_re, start_re, end, roff = DOCUMENTS[name]
    lines = path.read_text(encoding="utf-8").splitlines()
    examples, marker, batch, i = [], None, None, 0
    while i < len(lines):
        where = f"{path.name}:{i + 1}"
        if found := re.fullmatch(marker_re, lines[i]):
            marker = found.group(1).split()
        elif start := re.fullmatch(start_re, lines[i]):
            j = next((j for j in range(i + 1, len(lines)) if lines[j].startswith(end)), len(lines))
            body = [unroff(t, where) if roff else t for t in lines[i + 1:j]]
            kind = marker[0] if marker else "shell" if start.group(1) == "console" else None
            if kind == "shell":
                session = []
                for line in body:
                    if line.startswith("$ "):
                        session.append((line[2:], []))
                    elif not session:
                        raise SystemExit(f"{where}: an example session must begin with \"$ \"")
                    else:
                        session[-1][1].append(line)
                settings = dict(s.partition("=")[::2] for s in (marker or [])[1:])
                examples.append((where, "shell", session, settings.get("clock")))
            elif kind == "batch":
                settings = dict(s.partition("=")[::2] for s in marker[1:])
                batch = (where, batch_commands(body, settings, where))
            elif kind == "output":
                if batch is None or len(body) < len(batch[1]):
                    raise SystemExit(f"{where}: an output block without its batch example")
                outs = [[line] for line in body[:len(batch[1]) - 1]] + [body[len(batch[1]) - 1:]]
                examples.append((batch[0], "batch", list(zip(batch[1], outs)), None))
                batch = None
            marker, i = None, j
        elif lines[i].strip():
            marker = None
            if roff and not lines[i].startswith('.\\"'):
                for parameter, output in re.findall(r"\\fB(.+?)\\fP gives \\fB(.*?)\\fP",
                                                    lines[i]):
                    examples.append((where, "inline", [([unroff(parameter, where)],
                                                         [unroff(output, where)])], None))
        i += 1
    if batch is not None:
        raise SystemExit(f"{batch[0]}: a batch example without its output block")
    return examples


def lines_match(expected, actual):
    return len(expected) == len(actual) and all(
        want == got or ((w := FAILURE_LINE.match(want)) and (g := FAILURE_LINE.match(got))
                        and w.group(1) == g.group(1)) for want, got in zip(expected, actual))


def run_example(target, base, cwd, runs, clock):
    """What an example printed that its document does not say, or None; raises Skip."""
    stamp, _, fraction = (clock or PINNED).partition(".")
    # Read as .0075 when the example gives no fraction: 7 milliseconds either way.
    env = target.env(clock=f"{stamp}.{fraction or '0075'}", ticking=False)
    env.update(PATH=f"{base}/bin:/usr/bin:/bin", HOME=str(base), LANG="C")
    del env["LC_ALL"]
    launcher = base / "bin" / "clockcast"
    target.launcher(str(launcher), env)  # and env loses a preload that only the program takes
    problems = []
    for command, expected in runs:
        shell = isinstance(command, str)
        wanted = re.findall(r"\b(?:LC_ALL|LC_TIME|LANG)=([A-Za-z0-9_.@-]+)", command) if shell else []
        have = (lambda w: w in target.locales) if target.locales else locale_installed
        if missing := [w for w in wanted if not have(w)]:
            raise Skip(f"the locale {missing[0]} of {command!r} is not installed")
        result = subprocess.run(["/bin/sh", "-c", command] if shell else [launcher, *command],
                                cwd=cwd, env=env, capture_output=True)
        actual = result.stdout.decode("utf-8", "surrogateescape").split("\n")
        actual = actual[:-1] if actual[-1] == "" else actual
        if not lines_match(expected, actual):
            shown = command if shell else "clockcast " + shlex.join(command)
            problems.append(f"{shown}\n    expected: {expected!r}\n    printed:  {actual!r} "
                            f"(exit status {result.returncode})\n    stderr:   "
                            f"{result.stderr.decode(errors='replace')!r}")
    return "\n".join(problems) or None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    add_options(parser, targets=("native",))
    options = parser.parse_args()
    documents = {name: read(ROOT / name, name) for name in DOCUMENTS}
    # Markers that broke would otherwise let a document pass with nothing checked.
    for name, kinds in (("README.md", {"shell", "batch"}),
                        ("docs/clockcast.1", {"shell", "batch", "inline"})):
        if missing := kinds - {example[1] for example in documents[name]}:
            raise SystemExit(f"doc_examples: {name} has no {', '.join(sorted(missing))} "
                             "examples any more")
    target, suite = Target(options), Suite("doc_examples", options)
    base = Path(tempfile.mkdtemp(prefix="clockcast-doc-"))
    (base / "bin").mkdir()
    try:
        for number, (source, _, runs, clock) in enumerate(documents["README.md"]
                                                          + documents["docs/clockcast.1"]):
            cwd = base / f"example{number}"
            cwd.mkdir()
            suite.case(source, lambda: run_example(target, base, cwd, runs, clock))
    finally:
        shutil.rmtree(base, ignore_errors=True)
    return suite.finish()


if __name__ == "__main__":
    sys.exit(main())
