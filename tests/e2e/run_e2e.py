#!/usr/bin/env python3
"""End-to-end tests for clockcast: run the built program as a subprocess and
check its standard output byte for byte, its exit code and, where it matters,
the sizes of its writes.

One table of cases drives every target. A target says how to start the
program, which line terminator it writes, what its module name is and how its
clock is pinned; a case writes its expected output with "\\n" for the line
terminator, and the harness turns that into the target's bytes. A line feed
that is a bare line feed on every target (the end of the failure report's
first line) is written as BARE_LF.

Usage: run_e2e.py --target native --program build/clockcast [--filter RE] [-v]
"""

import argparse
import calendar
import dataclasses
import glob
import os
import pathlib
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty
from typing import Callable, Optional

HERE = pathlib.Path(__file__).resolve().parent
EXPECTED = HERE / "expected"

BARE_LF = "\ue000"
TIMEOUT = 30

# The clock most cases run at, and the locales the locale cases run under.
FEB10 = "1978-02-10 14:05:09"
LOCALES = ("C", "en_US.UTF-8", "de_DE.UTF-8", "ja_JP.UTF-8")

REPORT_HEAD = r"Exception EConvertError in module {MODULE} at [0-9A-F]{8}\." + BARE_LF
ADDTIME = "Formating Error in ADDTIME: Command. "
NO_PLUS = ADDTIME + "No + Found"
NEED_MORE = ADDTIME + "Need More Numbers."
MORE_OR_LESS = ADDTIME + "Need More Or Less Numbers."
NOT_NUMBERS = ADDTIME + "Items other then numbers do not add well.."


# --- What a run produced, and what is expected of it -------------------------


@dataclasses.dataclass
class Run:
    target: "Target"
    case: "Case"
    out: bytes
    writes: Optional[list]  # (size, result) of every write to fd 1, when traced

    @property
    def eol_len(self) -> int:
        return len(self.target.eol)

    def convert(self, text: str) -> bytes:
        """Expected text in the target's bytes."""
        eol = self.target.eol
        return text.replace("\n", eol).replace(BARE_LF, "\n").encode("utf-8")

    def oracle(self, fmt: str) -> str:
        """What the C library's strftime makes of fmt in the case's locale at
        the case's clock: GNU date as an independent oracle."""
        epoch = calendar.timegm(time.strptime(self.case.clock, "%Y-%m-%d %H:%M:%S"))
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TZ": "UTC",
               "LC_ALL": self.case.locale or "C"}
        result = subprocess.run(["date", "-u", "-d", f"@{epoch}", "+" + fmt], env=env,
                                capture_output=True, check=True)
        return result.stdout.decode("utf-8").removesuffix("\n")


class Exact:
    """The output, byte for byte."""

    def __init__(self, text):
        self.text = text

    def verify(self, run: Run) -> Optional[str]:
        want = self.text(run) if callable(self.text) else self.text
        want = run.convert(want)
        if run.out != want:
            return f"stdout {run.out!r}\n     expected {want!r}"
        return None


class Match:
    """The whole output matches a regular expression; "{MODULE}" stands for
    the target's module name."""

    def __init__(self, pattern: str):
        self.pattern = pattern

    def verify(self, run: Run) -> Optional[str]:
        pattern = run.convert(self.pattern.replace("{MODULE}", re.escape(run.target.module)))
        if re.fullmatch(pattern, run.out) is None:
            return f"stdout {run.out!r}\n     does not match {pattern!r}"
        return None


class Check:
    """Any other property: fn(run) returns None or what is wrong."""

    def __init__(self, fn: Callable[[Run], Optional[str]]):
        self.fn = fn

    def verify(self, run: Run) -> Optional[str]:
        return self.fn(run)


def screen(name: str) -> Exact:
    return Exact((EXPECTED / name).read_text(encoding="utf-8"))


def line_count(n: int) -> Check:
    def fn(run):
        eol = run.target.eol.encode()
        got = run.out.count(eol)
        ok = got == n and run.out.endswith(eol)
        return None if ok else f"{got} lines, expected {n}"
    return Check(fn)


def chunks(total: int) -> list:
    """Write sizes of a buffered channel: full 128-byte buffers, then the rest."""
    return [128] * (total // 128) + ([total % 128] if total % 128 else [])


def writes(expected: Callable[[Run], list]) -> Check:
    """The sizes of the program's writes to standard output."""
    def fn(run):
        if run.writes is None:
            return "no write trace"
        want = expected(run)
        got = [size for size, _ in run.writes]
        return None if got == want else f"write sizes {got}, expected {want}"
    return Check(fn)


def nothing_written() -> Check:
    def fn(run):
        if run.out:
            return f"stdout {run.out!r}, expected nothing"
        if run.writes is not None and any(result >= 0 for _, result in run.writes):
            return f"writes that succeeded: {run.writes}"
        return None
    return Check(fn)


def report_cut(field: str) -> Check:
    """A conversion-failure report whose quoted field makes it longer than
    1,023 bytes: cut there, then the line terminator."""
    def fn(run):
        eol = run.target.eol.encode()
        if not run.out.endswith(eol):
            return f"report does not end with the line terminator: {run.out[-20:]!r}"
        body = run.out[: -len(eol)]
        head = run.convert(REPORT_HEAD.replace("{MODULE}", re.escape(run.target.module)))
        m = re.match(head, body)
        if m is None:
            return f"report head wrong: {body[:80]!r}"
        want_rest = ("'" + field).encode()[: 1023 - m.end()]
        if len(body) != 1023 or body[m.end():] != want_rest:
            return f"report of {len(body)} bytes, expected 1023: ...{body[-40:]!r}"
        return None
    return Check(fn)


# --- The cases ------------------------------------------------------------------


@dataclasses.dataclass
class Case:
    name: str
    args: list
    expect: list
    exit: int = 0
    clock: Optional[str] = None  # "YYYY-MM-DD hh:mm:ss", pinned for the run
    locale: Optional[str] = None  # LC_ALL; the case is skipped when not installed
    stdout: str = "pipe"  # pipe | file | full | closed | broken | tty
    # Record the sizes of the writes with strace: True needs it, "optional"
    # uses it where the target and the machine allow.
    trace: object = False
    targets: tuple = ("native", "win32")


def case(name, args, *expect, **options) -> Case:
    return Case(name, list(args), list(expect), **options)


def report(message: str) -> Match:
    return Match(REPORT_HEAD + re.escape(message) + "\n")


LONG = "x" * 200


def build_cases() -> list:
    cases = [
        # Screens.
        case("usage", [], screen("usage.txt")),
        case("formats", ["/formats"], screen("formats.txt")),
        case("formats upper case", ["/FORMATS"], screen("formats.txt")),
        case("formats dash", ["-formats"], screen("formats.txt")),
        case("formats any first char", ["xFormats"], screen("formats.txt")),
        case("formats ignores the rest", ["/formats", "extra", "line:"], screen("formats.txt")),
        case("formats to a file", ["/formats"], screen("formats.txt"), line_count(33),
             stdout="file"),
        case("advanced", ["/advanced"], screen("advanced.txt")),
        case("advancedx is echoed", ["/advancedx"], Exact("/advancedx\n")),
        case("formats without lead char is echoed", ["formats"], Exact("formats\n")),
        case("formats as second param is echoed", ["a", "/formats"], Exact("a/formats\n")),
        case("one-char first param is echoed", ["/"], Exact("/\n")),

        # Interpreter.
        case("lines", ["a", "line:", "b"], Exact("a\nb\n")),
        case("quote", ["'"], Exact('"\n')),
        case("two apostrophes echoed", ["''"], Exact("''\n")),
        case("quote inside a line", ["say ", "'", "hi", "'"], Exact('say "hi"\n')),
        case("the is echoed", ["the"], Exact("the\n")),
        case("th blank is echoed", ["th "], Exact("th \n")),
        case("date without colon echoed", ["date"], Exact("date\n")),
        case("time without colon echoed", ["time"], Exact("time\n")),
        case("addtime without colon echoed", ["addtime"], Exact("addtime\n")),
        case("line:abc", ["x", "line:abc"], Exact("x\nabc\n")),
        case("line remainder is literal", ["line:dd/mm"], Exact("\ndd/mm\n")),
        case("LINE: and Line:", ["a", "LINE:", "b", "Line:c"], Exact("a\nb\nc\n")),
        case("line: first", ["line:", "x"], Exact("\nx\n")),
        case("only line:", ["line:"], Exact("\n\n")),
        case("adjacent params join", ["a", "b", " c", "d e"], Exact("ab cd e\n")),
        case("bytes above 127 unchanged", ["caf\u00e9", "\u65e5"], Exact("caf\u00e9\u65e5\n"),
             targets=("native",)),
        case("long line", [LONG, "line:", LONG], Exact(LONG + "\n" + LONG + "\n")),

        # The main job, clock pinned.
        case("usage example", ["Date:dd", "th", " of", "date: mmmm, yyyy"],
             Exact("10th of February, 1978\n"), clock=FEB10),
        case("th TH Th", ["TH", "Th", "th"], Exact("ststst\n"), clock="1978-02-01 14:05:09"),
        case("time:hh:nn:ss", ["time:hh:nn:ss"], Exact("14:05:09\n"), clock=FEB10),
        case("time with milliseconds", ["time:hh:nn:ss.zzz"], Match(r"14:05:09\.[0-9]{3}\n"),
             clock=FEB10),
        case("date renders midnight", ["date:hh:nn:ss"], Exact("00:00:00\n"), clock=FEB10),
        case("time renders 1899", ["time:yyyy", "time: dd/mm"], Exact("1899 30/12\n"),
             clock=FEB10),
        case("time:h:mma/p", ["time:h:mma/p"], Exact("2:05p\n"), clock=FEB10),
        case("time am/pm case", ["time:h am/pm", "time: h AM/PM", "time: Am/pM"],
             Exact("2 pm 2 PM pM\n"), clock=FEB10),
        case("date: empty format", ["date:"], Exact("2/10/78\n"), clock=FEB10),
        case("time: empty format", ["time:"], Exact("12/30/99 2:05:09 pm\n"), clock=FEB10),
        case("date:c", ["date:c"], Exact("2/10/78\n"), clock=FEB10),
        case("date names", ["date:dddd ddd mmmm mmm d m yy"],
             Exact("Friday Fri February Feb 10 2 78\n"), clock=FEB10),
        case("long date default", ["date:dddddd"], Exact("February 10, 1978\n"), clock=FEB10),
        case("time t and tt", ["time:t", "line:", "time:tt"], Exact("2:05 pm\n2:05:09 pm\n"),
             clock=FEB10),
        case("quoted literal", ["date:'dd' dd \"mm'\""], Exact("dd 10 mm'\n"), clock=FEB10),
        case("Date:dd keeps the format's case", ["Date:DD/MM/YYYY"], Exact("10/02/1978\n"),
             clock=FEB10),
        case("each param reads the clock", ["date:yyyy", "-", "time:nn"], Exact("1978-05\n"),
             clock=FEB10),
    ]
    for day, suffix in ((1, "st"), (2, "nd"), (3, "rd"), (4, "th"), (11, "th"), (12, "th"),
                        (13, "th"), (21, "st"), (22, "nd"), (23, "rd"), (31, "st")):
        cases.append(case(f"th on day {day}", ["Date:d", "th"], Exact(f"{day}{suffix}\n"),
                          clock=f"1978-01-{day:02d} 14:05:09"))

    cases += [
        # The time-offset command.
        case("addtime: alone", ["addtime:"], Exact(NO_PLUS + "\n\n"), clock=FEB10),
        case("addtime no plus", ["addtime:hh:nn"], Exact(NO_PLUS + "\n\n"), clock=FEB10),
        case("addtime need more", ["addtime:hh:nn+"], Exact(NEED_MORE + "\n\n"), clock=FEB10),
        case("addtime one colon", ["addtime:hh:nn+1:30"], Exact(MORE_OR_LESS + "\n\n"),
             clock=FEB10),
        case("addtime three colons", ["addtime:+1:2:3:4"], Exact(MORE_OR_LESS + "\n\n"),
             clock=FEB10),
        case("addtime blank after plus", ["addtime:hh:nn+ 1:00:00"], Exact(NOT_NUMBERS + "\n\n"),
             clock=FEB10),
        case("addtime second plus", ["addtime:hh:nn+1:+2:3"], Exact(NOT_NUMBERS + "\n\n"),
             clock=FEB10),
        case("addtime case-insensitive prefix", ["AddTime:hh"], Exact(NO_PLUS + "\n\n"),
             clock=FEB10),
        case("addtime messages stand before the lines",
             ["a", "addtime:", "b", "line:c", "addtime:x+1", "addtime:hh:nn+"],
             Exact(NO_PLUS + "\n" + MORE_OR_LESS + "\n" + NEED_MORE + "\nab\nc\n"),
             clock=FEB10),
        case("addtime one hour", ["addtime:hh:nn+1:00:00"], Exact("15:05\n"), clock=FEB10),
        case("addtime minus one hour", ["addtime:hh:nn+-1:0:0"], Exact("13:05\n"), clock=FEB10),
        case("addtime minus thirty minutes", ["addtime:hh:nn+1:-30:0"], Exact("14:35\n"),
             clock=FEB10),
        case("addtime seconds", ["addtime:hh:nn:ss+0:0:90"], Exact("14:06:39\n"), clock=FEB10),
        case("addtime crosses midnight", ["addtime:dd/mm/yyyy hh:nn+10:0:0"],
             Exact("31/12/1899 00:05\n"), clock=FEB10),
        case("addtime 25 hours", ["addtime:dd/mm/yyyy hh:nn+25:0:0"],
             Exact("31/12/1899 15:05\n"), clock=FEB10),
        case("addtime empty format", ["addtime:+1:0:0"], Exact("12/30/99 3:05:09 pm\n"),
             clock=FEB10),
        case("addtime empty hours fails", ["a", "addtime:hh+::"],
             report("'' is not a valid integer value."), exit=1, clock=FEB10),
        case("addtime empty seconds fails", ["addtime:hh+1:2:"],
             report("'' is not a valid integer value."), exit=1, clock=FEB10),
        case("addtime overflow fails", ["addtime:hh+99999999999:0:0"],
             report("'99999999999' is not a valid integer value."), exit=1, clock=FEB10),
        case("addtime message before report in a file", ["addtime:", "x", "addtime:hh+::0"],
             Match(re.escape(NO_PLUS) + "\n" + REPORT_HEAD
                   + re.escape("'' is not a valid integer value.") + "\n"),
             exit=1, clock=FEB10, stdout="file"),
        case("addtime long field cut to 1023", ["addtime:hh+" + "1" * 1100 + "::"],
             report_cut("1" * 1100), exit=1, clock=FEB10),
    ]

    # Locales: the C library's own names and formats, read through GNU date.
    for loc in LOCALES:
        c = loc == "C"
        cases += [
            case(f"{loc} names", ["date:mmmm|mmm|dddd|ddd"],
                 Exact(lambda r: r.oracle("%OB|%Ob|%A|%a") + "\n"), clock=FEB10, locale=loc),
            case(f"{loc} short date", ["date:"],
                 Exact("2/10/78\n" if c else lambda r: r.oracle("%x") + "\n"),
                 clock=FEB10, locale=loc),
            case(f"{loc} am/pm", ["time:ampm", "|", "time:h ampm"],
                 Exact("pm|2 pm\n" if c else lambda r: r.oracle("%p|2 %p") + "\n"),
                 clock=FEB10, locale=loc),
            case(f"{loc} long date", ["date:dddddd"],
                 Exact(lambda r: r.oracle("%OB") + " 10, 1978\n"), clock=FEB10, locale=loc),
            case(f"{loc} usage example", ["Date:dd", "th", " of", "date: mmmm, yyyy"],
                 Exact(lambda r: "10th of " + r.oracle("%OB") + ", 1978\n"),
                 clock=FEB10, locale=loc),
        ]
        if loc in ("en_US.UTF-8", "de_DE.UTF-8"):
            cases.append(case(f"{loc} long time", ["time:tt"],
                              Exact(lambda r: r.oracle("%X") + "\n"), clock=FEB10, locale=loc))

    cases += [
        # Where the output goes.
        case("to a file", ["a", "line:b"], Exact("a\nb\n"), stdout="file"),
        case("to a pipe", ["a", "line:b"], Exact("a\nb\n"), stdout="pipe"),
        case("to a tty", ["a", "line:b"], Exact("a\nb\n"), stdout="tty", targets=("native",)),
        case("to /dev/full", ["a"], Exact(""), exit=1, stdout="full"),
        case("screen to /dev/full", [], Exact(""), exit=1, stdout="full"),
        case("long output to /dev/full", [LONG], Exact(""), exit=1, stdout="full"),
        case("closed stdout", ["a"], nothing_written(), exit=1, stdout="closed",
             trace="optional"),
        case("closed stdout, screen", [], nothing_written(), exit=1, stdout="closed",
             trace="optional"),
        case("closed stdout, failure", ["addtime:hh+::"], nothing_written(), exit=1,
             stdout="closed", trace="optional"),
        case("broken pipe, more than a buffer", [LONG, "line:"], Exact(""), exit=1,
             stdout="broken"),
        case("broken pipe, less than a buffer", ["a"], Exact(""), exit=1, stdout="broken"),
        case("broken pipe, screen", ["/formats"], Exact(""), exit=1, stdout="broken"),

        # When the bytes reach the system.
        case("file: three 50-byte lines", ["a" * 50, "line:" + "b" * 50, "line:" + "c" * 50],
             Exact("a" * 50 + "\n" + "b" * 50 + "\n" + "c" * 50 + "\n"),
             writes(lambda r: chunks(3 * (50 + r.eol_len))), stdout="file", trace=True,
             targets=("native",)),
        case("pipe: three 50-byte lines", ["a" * 50, "line:" + "b" * 50, "line:" + "c" * 50],
             Exact("a" * 50 + "\n" + "b" * 50 + "\n" + "c" * 50 + "\n"),
             writes(lambda r: chunks(3 * (50 + r.eol_len))), stdout="pipe", trace=True,
             targets=("native",)),
        case("file: small output written once at the end", ["a", "line:b"],
             Exact("a\nb\n"), writes(lambda r: [2 + 2 * r.eol_len]), stdout="file", trace=True,
             targets=("native",)),
        case("file: formats screen in full buffers",
             ["/formats"], screen("formats.txt"),
             writes(lambda r: chunks(len(r.out))),
             stdout="file", trace=True, targets=("native",)),
        case("tty: one write per line", ["abc", "line:de"], Exact("abc\nde\n"),
             writes(lambda r: [3 + r.eol_len, 2 + r.eol_len]), stdout="tty", trace=True, targets=("native",)),
        case("tty: 200-byte line", [LONG], Exact(LONG + "\n"),
             writes(lambda r: chunks(200 + r.eol_len)), stdout="tty", trace=True, targets=("native",)),
        case("tty: line that fills the buffer", ["y" * 127], Exact("y" * 127 + "\n"),
             writes(lambda r: chunks(127 + r.eol_len)), stdout="tty", trace=True,
             targets=("native",)),
        case("tty: failure report", ["addtime:+::"],
             report("'' is not a valid integer value."), exit=1, stdout="tty",
             targets=("native",)),
    ]
    return cases


# --- Targets ---------------------------------------------------------------------


class Target:
    name = ""
    eol = "\n"
    module = ""
    compare_stderr = True
    can_trace = False

    def __init__(self, program: str):
        self.program = program

    def command(self, args: list) -> list:
        raise NotImplementedError

    def pin_clock(self, env: dict, when: str) -> Optional[str]:
        """Sets up env so that the program's clock starts at `when`; returns a
        reason to skip when this target cannot."""
        raise NotImplementedError

    def has_locale(self, name: str) -> bool:
        return name == "C" or normalise_locale(name) in installed_locales()


class NativeTarget(Target):
    name = "native"
    eol = "\n"
    can_trace = True

    def __init__(self, program: str):
        super().__init__(program)
        self.module = os.path.basename(os.path.realpath(program))
        candidates = ["/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"]
        candidates += glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
        candidates += glob.glob("/usr/lib*/faketime/libfaketime.so.1")
        self.faketime = next((p for p in candidates if os.path.exists(p)), None)

    def command(self, args):
        return [self.program] + args

    def pin_clock(self, env, when):
        if self.faketime is None:
            return "libfaketime is not installed"
        env["LD_PRELOAD"] = self.faketime
        env["FAKETIME"] = "@" + when
        env["DONT_FAKE_MONOTONIC"] = "1"
        env["TZ"] = "UTC"
        return None


class Win32Target(Target):
    """The Windows program under wine: CR LF line ends, and wine's own notices
    on standard error are never compared."""

    name = "win32"
    eol = "\r\n"
    compare_stderr = False

    def __init__(self, program: str):
        super().__init__(program)
        self.module = os.path.basename(program)

    def command(self, args):
        return ["wine", self.program] + args

    def pin_clock(self, env, when):
        return "the clock is not pinned on this target"


TARGETS = {"native": NativeTarget, "win32": Win32Target}


_locales = None


def normalise_locale(name: str) -> str:
    return name.lower().replace("utf-8", "utf8")


def installed_locales() -> set:
    global _locales
    if _locales is None:
        try:
            listing = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        except OSError:
            listing = ""
        _locales = {normalise_locale(line.strip()) for line in listing.splitlines()}
    return _locales


_strace_works = None


def strace_works() -> Optional[str]:
    """None when strace can trace a child here, else why not."""
    global _strace_works
    if _strace_works is None:
        if shutil.which("strace") is None:
            _strace_works = "strace is not installed"
        else:
            probe = subprocess.run(["strace", "-f", "-qq", "-e", "trace=write", "-o", os.devnull,
                                    "true"], capture_output=True)
            _strace_works = "" if probe.returncode == 0 else (
                "strace cannot trace here: " + probe.stderr.decode(errors="replace").strip())
    return _strace_works or None


# --- Running one case ------------------------------------------------------------

WRITE_LINE = re.compile(rb"write\((\d+),.*, (\d+)\)\s+=\s+(-?\d+)")


def parse_trace(path: str) -> list:
    found = []
    with open(path, "rb") as trace:
        for line in trace:
            m = WRITE_LINE.search(line)
            if m and int(m.group(1)) == 1:
                found.append((int(m.group(2)), int(m.group(3))))
    return found


def base_env() -> dict:
    env = {k: v for k, v in os.environ.items()
           if not (k.startswith(("LC_", "FAKETIME")) or k in
                   ("LANG", "LANGUAGE", "LD_PRELOAD", "DONT_FAKE_MONOTONIC", "TZ"))}
    env["LC_ALL"] = "C"
    env["TZ"] = "UTC"
    return env


def read_pty(master: int, proc: subprocess.Popen) -> bytes:
    data = []
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # EIO: every slave descriptor is closed
                break
            if not chunk:
                break
            data.append(chunk)
        elif proc.poll() is not None:
            break
    return b"".join(data)


def run_case(target: Target, c: Case) -> tuple:
    """Returns ("pass" | "fail" | "skip", detail)."""
    if target.name not in c.targets:
        return "skip", f"not run on {target.name}"
    env = base_env()
    if c.locale is not None:
        if not target.has_locale(c.locale):
            return "skip", f"locale {c.locale} is not installed"
        env["LC_ALL"] = c.locale
    if c.clock is not None:
        if c.stdout == "closed":
            return "fail", "a closed-stdout case must run without a pinned clock"
        reason = target.pin_clock(env, c.clock)
        if reason:
            return "skip", reason
    tracing = False
    if c.trace:
        reason = strace_works() if target.can_trace else f"no write trace on {target.name}"
        if reason and c.trace is True:
            return "skip", reason
        tracing = not reason

    with tempfile.TemporaryDirectory(prefix="clockcast-e2e-") as tmp:
        command = target.command(c.args)
        if c.stdout == "closed":
            command = ["sh", "-c", 'exec "$0" "$@" >&-'] + command
        trace_file = os.path.join(tmp, "trace")
        if tracing:
            command = ["strace", "-f", "-qq", "-e", "trace=write", "-o", trace_file] + command

        out = b""
        stdout_target = subprocess.PIPE
        to_close = []
        out_path = None
        master = None
        if c.stdout == "file":
            out_path = os.path.join(tmp, "out")
            stdout_target = open(out_path, "wb")
            to_close.append(stdout_target)
        elif c.stdout == "full":
            stdout_target = open("/dev/full", "wb")
            to_close.append(stdout_target)
        elif c.stdout == "closed":
            stdout_target = subprocess.DEVNULL  # closed by sh before the exec
        elif c.stdout == "broken":
            read_end, write_end = os.pipe()
            os.close(read_end)
            stdout_target = write_end
            to_close.append(write_end)
        elif c.stdout == "tty":
            master, slave = os.openpty()
            tty.setraw(slave)  # no translation of line ends by the terminal
            stdout_target = slave
            to_close.append(slave)

        try:
            proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=stdout_target,
                                    stderr=subprocess.PIPE, env=env)
        finally:
            for item in to_close:
                if isinstance(item, int):
                    os.close(item)
                else:
                    item.close()
        try:
            if master is not None:
                out = read_pty(master, proc)
                _, err = proc.communicate(timeout=TIMEOUT)
                os.close(master)
            else:
                out, err = proc.communicate(timeout=TIMEOUT)
                out = out or b""
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            return "fail", f"no end after {TIMEOUT} s"
        if out_path is not None:
            out = pathlib.Path(out_path).read_bytes()
        traced = parse_trace(trace_file) if tracing else None

    problems = []
    if proc.returncode < 0:
        problems.append(f"killed by signal {-proc.returncode}")
    elif proc.returncode != c.exit:
        problems.append(f"exit code {proc.returncode}, expected {c.exit}")
    if target.compare_stderr and err:
        problems.append(f"stderr {err!r}")
    run = Run(target, c, out, traced)
    for expectation in c.expect:
        problem = expectation.verify(run)
        if problem:
            problems.append(problem)
    if problems:
        return "fail", "\n     ".join(problems)
    return "pass", ""


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--target", choices=sorted(TARGETS), default="native")
    parser.add_argument("--program", required=True)
    parser.add_argument("--filter", help="run only the cases whose name matches this")
    parser.add_argument("-v", "--verbose", action="store_true", help="list every case")
    options = parser.parse_args()

    program = os.path.abspath(options.program)
    if not os.path.exists(program):
        print(f"no program at {program}")
        print("0 passed, 1 failed")
        return 1
    target = TARGETS[options.target](program)
    cases = build_cases()
    if options.filter:
        cases = [c for c in cases if re.search(options.filter, c.name)]

    counts = {"pass": 0, "fail": 0, "skip": 0}
    for c in cases:
        verdict, detail = run_case(target, c)
        counts[verdict] += 1
        if verdict == "fail":
            print(f"FAIL {c.name}\n     {detail}")
        elif verdict == "skip" and (options.verbose or target.name in c.targets):
            print(f"skip {c.name}: {detail}")
        elif options.verbose:
            print(f"ok   {c.name}")
    if counts["skip"]:
        print(f"{counts['skip']} skipped")
    print(f"{counts['pass']} passed, {counts['fail']} failed")
    return 1 if counts["fail"] else 0


if __name__ == "__main__":
    sys.exit(main())
