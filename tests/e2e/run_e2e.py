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
    started: float = 0.0  # the host clock just before the program started
    ended: float = 0.0  # and just after it ended

    @property
    def eol_len(self) -> int:
        return len(self.target.eol)

    def convert(self, text: str) -> bytes:
        """Expected text in the target's bytes."""
        eol = self.target.eol
        encoding = self.target.encoding(self.case)
        return text.replace("\n", eol).replace(BARE_LF, "\n").encode(encoding)

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


def by_target(**texts):
    """Expected text where the targets legitimately differ, by target name;
    each text may be a function of the run."""
    def pick(run):
        text = texts[run.target.name]
        return text(run) if callable(text) else text
    return pick


def clock_between(fmt: str) -> Check:
    """The unpinned clock: the output is one line holding the local time
    (TZ=UTC) in the strftime format fmt at some second between the start and
    the end of the run."""
    def fn(run):
        got = run.out.decode("ascii", "replace")
        seconds = range(int(run.started), int(run.ended) + 1)
        readings = {time.strftime(fmt, time.gmtime(t)) + run.target.eol for t in seconds}
        return None if got in readings else f"stdout {got!r}, expected one of {sorted(readings)}"
    return Check(fn)


def attempted(pattern: str) -> Check:
    """The program tried to write text matching pattern to standard output, as
    the write trace shows it (C escapes, so a line feed is backslash n), even
    though the write failed; "{MODULE}" stands for the target's module name."""
    def fn(run):
        texts = getattr(run.writes, "texts", None)
        if texts is None:
            return "no write texts in the trace"
        pattern_b = pattern.replace("{MODULE}", re.escape(run.target.module)).encode()
        if not any(re.search(pattern_b, text) for text in texts):
            return f"no write matching {pattern!r} in {texts!r}"
        return None
    return Check(fn)


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
    # Where the system hands over one command line (win32): the line after the
    # program name, as a batch file spells it; it must split into args.
    cmdline: Optional[str] = None


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
        case("time with milliseconds", ["time:hh:nn:ss.zzz"], Match("14:05:09\\.[0-9]{3}\n"),
             clock=FEB10),
        case("date renders midnight", ["date:hh:nn:ss"], Exact("00:00:00\n"), clock=FEB10),
        case("time renders 1899", ["time:yyyy", "time: dd/mm"], Exact("1899 30/12\n"),
             clock=FEB10),
        case("time:h:mma/p", ["time:h:mma/p"], Exact("2:05p\n"), clock=FEB10),
        case("time am/pm case", ["time:h am/pm", "time: h AM/PM", "time: Am/pM"],
             Exact("2 pm 2 PM pM\n"), clock=FEB10),
        case("date: empty format", ["date:"],
             Exact(by_target(native="2/10/78\n", win32="2/10/1978\n")), clock=FEB10),
        case("time: empty format", ["time:"],
             Exact(by_target(native="12/30/99 2:05:09 pm\n", win32="12/30/1899 2:05:09 PM\n")),
             clock=FEB10),
        case("date:c", ["date:c"], Exact(by_target(native="2/10/78\n", win32="2/10/1978\n")),
             clock=FEB10),
        case("date names", ["date:dddd ddd mmmm mmm d m yy"],
             Exact("Friday Fri February Feb 10 2 78\n"), clock=FEB10),
        case("long date default", ["date:dddddd"],
             Exact(by_target(native="February 10, 1978\n",
                             win32="Friday, February 10, 1978\n")), clock=FEB10),
        case("time t and tt", ["time:t", "line:", "time:tt"],
             Exact(by_target(native="2:05 pm\n2:05:09 pm\n", win32="2:05 PM\n2:05:09 PM\n")),
             clock=FEB10),
        # No parameter on a Windows command line can hold a double quote.
        case("quoted literal", ["date:'dd' dd \"mm'\""], Exact("dd 10 mm'\n"), clock=FEB10,
             targets=("native",)),
        case("quoted literal in apostrophes", ["date:'dd' dd 'h:nn'"], Exact("dd 10 h:nn\n"),
             clock=FEB10),
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
        case("addtime empty format", ["addtime:+1:0:0"],
             Exact(by_target(native="12/30/99 3:05:09 pm\n", win32="12/30/1899 3:05:09 PM\n")),
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
    # On Windows: the locale's own data as wine gives it (the long date
    # format is the locale's, where POSIX has none and uses the default).
    for loc in LOCALES:
        c = loc == "C"
        w = WINE_LOCALES[loc]
        cases += [
            case(f"{loc} names", ["date:mmmm|mmm|dddd|ddd"],
                 Exact(by_target(native=lambda r: r.oracle("%OB|%Ob|%A|%a") + "\n",
                                 win32=w["names"] + "\n")), clock=FEB10, locale=loc),
            case(f"{loc} short date", ["date:"],
                 Exact(by_target(native="2/10/78\n" if c else lambda r: r.oracle("%x") + "\n",
                                 win32=w["short"] + "\n")),
                 clock=FEB10, locale=loc),
            case(f"{loc} am/pm", ["time:ampm", "|", "time:h ampm"],
                 Exact(by_target(native="pm|2 pm\n" if c else lambda r: r.oracle("%p|2 %p") + "\n",
                                 win32=w["ampm"] + "\n")),
                 clock=FEB10, locale=loc),
            case(f"{loc} long date", ["date:dddddd"],
                 Exact(by_target(native=lambda r: r.oracle("%OB") + " 10, 1978\n",
                                 win32=w["long"] + "\n")), clock=FEB10, locale=loc),
            case(f"{loc} usage example", ["Date:dd", "th", " of", "date: mmmm, yyyy"],
                 Exact(by_target(native=lambda r: "10th of " + r.oracle("%OB") + ", 1978\n",
                                 win32="10th of " + w["month"] + ", 1978\n")),
                 clock=FEB10, locale=loc),
        ]
        if loc in ("en_US.UTF-8", "de_DE.UTF-8"):
            cases.append(case(f"{loc} long time", ["time:tt"],
                              Exact(by_target(native=lambda r: r.oracle("%X") + "\n",
                                              win32=w["time"] + "\n")),
                              clock=FEB10, locale=loc))

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
             writes(lambda r: chunks(3 * (50 + r.eol_len))), stdout="file", trace=True),
        case("pipe: three 50-byte lines", ["a" * 50, "line:" + "b" * 50, "line:" + "c" * 50],
             Exact("a" * 50 + "\n" + "b" * 50 + "\n" + "c" * 50 + "\n"),
             writes(lambda r: chunks(3 * (50 + r.eol_len))), stdout="pipe", trace=True),
        case("file: small output written once at the end", ["a", "line:b"],
             Exact("a\nb\n"), writes(lambda r: [2 + 2 * r.eol_len]), stdout="file", trace=True),
        case("file: formats screen in full buffers",
             ["/formats"], screen("formats.txt"),
             writes(lambda r: chunks(len(r.out))),
             stdout="file", trace=True),
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
    cases += command_line_cases() + real_clock_cases() + code_page_cases()
    return cases


# Wine's locale data (wine 8) for the locale cases: LC_ALL=C and en_US give the
# locale 0x409, de_DE 0x407, ja_JP 0x411 with the code page 932.
WINE_EN = {"names": "February|Feb|Friday|Fri", "short": "2/10/1978", "ampm": "PM|2 PM",
           "long": "Friday, February 10, 1978", "month": "February", "time": "2:05:09 PM"}
WINE_LOCALES = {
    "C": WINE_EN,
    "en_US.UTF-8": WINE_EN,
    # d.M.yyyy and dddd, d. MMMM yyyy; a 24-hour clock with a leading zero.
    "de_DE.UTF-8": {"names": "Februar|Feb|Freitag|Fr.", "short": "10.2.1978",
                    "ampm": "PM|2 PM", "long": "Freitag, 10. Februar 1978", "month": "Februar",
                    "time": "14:05:09"},
    # yyyy/M/d, and a long date whose two-byte characters stand outside quotes
    # (yyyy, the year character, M, the month character, d, the day character,
    # dddd): they are copied whole.
    "ja_JP.UTF-8": {"names": "2\u6708|2\u6708|\u91d1\u66dc\u65e5|\u91d1",
                    "short": "1978/2/10", "ampm": "\u5348\u5f8c|2 \u5348\u5f8c",
                    "long": "1978\u5e742\u670810\u65e5\u91d1\u66dc\u65e5", "month": "2\u6708"},
}


def command_line_cases() -> list:
    """The splitting of one command line. On Windows the program splits the
    line itself (run from a batch file, so that the line reaches it as
    written); on POSIX the shell's argv stands for what the split yields."""
    def line(name, cmdline, args, *expect, **options):
        return case(name, args, *expect, cmdline=cmdline, **options)
    return [
        line("cmdline: usage example", '"Date:dd" "th" " of" "date: mmmm, yyyy"',
             ["Date:dd", "th", " of", "date: mmmm, yyyy"], Exact("10th of February, 1978\n"),
             clock=FEB10),
        line("cmdline: advanced example", '"Rename \'%1\' \'" "date:d" " of " "date:mmmm" "\'"',
             ["Rename '%1' '", "date:d", " of ", "date:mmmm", "'"],
             Exact("Rename '%1' '10 of February\"\n"), clock=FEB10),
        line("cmdline: system variable stays literal", '"%username% ran this program @ " x',
             ["%username% ran this program @ ", "x"], Exact("%username% ran this program @ x\n")),
        line("cmdline: quotes inside a parameter", 'p"q r"s', ["pq rs"], Exact("pq rs\n")),
        line("cmdline: adjacent quoted stretches", '"a""b" c', ["ab", "c"], Exact("abc\n")),
        line("cmdline: empty quote pairs are passed over", 'a "" b ""', ["a", "b"],
             Exact("ab\n")),
        line("cmdline: a quote left open", 'a "b  line:c  ', ["a", "b  line:c  "],
             Exact("ab  line:c  \n")),
        line("cmdline: a lone quote at the end", 'a "', ["a"], Exact("a\n")),
        line("cmdline: tabs and runs of blanks separate", "a\t \tb   c", ["a", "b", "c"],
             Exact("abc\n")),
        line("cmdline: a backslash before a quote stays", 'a\\"b c"', ["a\\b c"],
             Exact("a\\b c\n")),
        line("cmdline: the apostrophe, quoted or not", "' \"'\"", ["'", "'"], Exact('""\n')),
        line("cmdline: only blanks and empty quotes", '  "" ""  ', [], screen("usage.txt")),
        line("cmdline: screen switch in quotes", '"/FORMATS" x', ["/FORMATS", "x"],
             screen("formats.txt")),
    ]


def real_clock_cases() -> list:
    """The clock as the system gives it, unpinned: the output lies between two
    readings of the host clock taken around the run."""
    return [
        case("real clock: date", ["date:yyyy-mm-dd"], clock_between("%Y-%m-%d")),
        case("real clock: time", ["time:hh:nn:ss"], clock_between("%H:%M:%S")),
        case("real clock: date and time at once", ["date:yyyy-mm-dd|", "time:hh:nn:ss"],
             clock_between("%Y-%m-%d|%H:%M:%S")),
    ]


# Katakana of the code page 932 whose second byte is a specifier letter:
# DU = 83 64 "d", NO = 83 6D "m", A = 83 41 "A", HA = 83 6E "n".
KANA_DU, KANA_NO, KANA_A, KANA_HA = "\u30c5", "\u30ce", "\u30a2", "\u30cf"
YEAR_CHAR = "\u5e74"  # 94 4E: a trail byte "N"


def code_page_cases() -> list:
    """Two-byte characters of the code page 932, through the real command line
    and the real CharNextA (Windows only: the POSIX program gets UTF-8), and
    the other cases that only the Windows program can run."""
    ja = {"locale": "ja_JP.UTF-8", "targets": ("win32",)}
    return [
        case("cp932: two-byte characters outside quotes are copied whole",
             ["time:hh" + YEAR_CHAR + "mm"], Exact("14" + YEAR_CHAR + "12\n"), clock=FEB10, **ja),
        case("cp932: inside quotes they are copied whole",
             ["time:hh'" + YEAR_CHAR + "'mm"], Exact("14" + YEAR_CHAR + "05\n"), clock=FEB10, **ja),
        case("cp932: a trail byte d does not join a run of d",
             ["date:" + KANA_DU + "dd"], Exact(KANA_DU + "10\n"), clock=FEB10, **ja),
        case("cp932: a trail byte m after an hour is no minute",
             ["time:h" + KANA_NO + "m"], Exact("14" + KANA_NO + "12\n"), clock=FEB10, **ja),
        case("cp932: a trail byte A starts no AM/PM form",
             ["time:h" + KANA_A + "/p"], Exact("14" + KANA_A + "/p\n"), clock=FEB10, **ja),
        case("cp932: a trail byte n is no minute",
             ["time:" + KANA_HA + "|'" + KANA_HA + "'"], Exact(KANA_HA + "|" + KANA_HA + "\n"),
             clock=FEB10, **ja),
        case("cp932: literal text is echoed byte for byte",
             [KANA_DU + KANA_NO, "line:" + YEAR_CHAR], Exact(KANA_DU + KANA_NO + "\n" + YEAR_CHAR + "\n"),
             **ja),
        case("cp932: lead bytes inside and outside quotes on the command line",
             [KANA_NO + KANA_DU + " " + KANA_A + KANA_HA, YEAR_CHAR + "x"],
             Exact(KANA_NO + KANA_DU + " " + KANA_A + KANA_HA + YEAR_CHAR + "x\n"),
             cmdline=KANA_NO + '"' + KANA_DU + " " + KANA_A + '"' + KANA_HA + " " + YEAR_CHAR + "x",
             **ja),
        case("cp932: the locale's short and long date",
             ["date:ddddd|", "date:dddddd"], Exact("1978/2/10|1978\u5e742\u670810\u65e5\u91d1\u66dc\u65e5\n"),
             clock=FEB10, **ja),
        # Wine ignores the alternate calendar and repeats the era name for
        # "gg": only the plumbing is checked, not wine's text.
        case("cp932: era specifiers reach the formatter", ["date:gg|g|ee|e|eee"],
             Check(era_plumbing), clock="2005-02-10 14:05:09", **ja),
        case("de: the locale's short and long date", ["date:ddddd|", "date:dddddd"],
             Exact("10.2.1978|Freitag, 10. Februar 1978\n"), clock=FEB10,
             locale="de_DE.UTF-8", targets=("win32",)),
        case("de: names with umlauts", ["date:mmmm|mmm"], Exact("M\u00e4rz|M\u00e4r\n"),
             clock="1978-03-10 14:05:09", locale="de_DE.UTF-8", targets=("win32",)),
        # A clock that libfaketime cannot set: the test clock takes five digits.
        case("a year after 9999 fails the date", ["a", "time:hh", "date:yyyy"],
             report("Invalid argument to date encode."), exit=1,
             clock="10000-01-01 00:00:00", targets=("win32",)),
        case("to /dev/full: the report is tried, with error 112", ["a"], Exact(""),
             attempted(r"Exception EInOutError in module {MODULE} at [0-9A-F]{8}\.\\n"
                       r"I/O error 112\.$"),
             exit=1, stdout="full", trace=True, targets=("win32",)),
    ]


def era_plumbing(run: Run) -> Optional[str]:
    """gg is the formatter's era name, g its first character; ee the era
    year's two digits, e the same without a leading zero, eee four digits."""
    eol = run.target.eol.encode()
    if not run.out.endswith(eol):
        return f"stdout {run.out!r} does not end with the line terminator"
    parts = run.out[: -len(eol)].split(b"|")
    if len(parts) != 5:
        return f"stdout {run.out!r}: expected five fields"
    gg, g, ee, e, eee = parts
    if not gg or g != gg[:2]:
        return f"g {g!r} is not the first two-byte character of gg {gg!r}"
    if not re.fullmatch(rb"[0-9]{2}", ee) or e != (ee[1:] if ee.startswith(b"0") else ee):
        return f"ee {ee!r} and e {e!r} do not agree"
    if not re.fullmatch(rb"[0-9]{4}", eee):
        return f"eee {eee!r} is not four digits"
    return None


# --- Targets ---------------------------------------------------------------------


class Target:
    name = ""
    eol = "\n"
    module = ""
    compare_stderr = True
    can_trace = False
    trace_options = ("-e", "trace=write")

    def __init__(self, program: str):
        self.program = program

    def command(self, args: list) -> list:
        raise NotImplementedError

    def command_for(self, c: "Case", env: dict, tmp: str) -> list:
        return self.command(c.args)

    def encoding(self, c: "Case") -> str:
        """The encoding of the program's text output in the case's locale."""
        return "utf-8"

    def parse_trace(self, path: str, stdout_id: Optional[str]) -> Optional[list]:
        return parse_trace(path)

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


class TracedWrites(list):
    """(size, result) of each write, with the written text of each in texts."""

    def __init__(self):
        super().__init__()
        self.texts = []


WINE_WRITE_LINE = re.compile(
    rb'(?:write|pwrite64)\(\d+<([^>]*)>, "((?:[^"\\]|\\.)*)"(?:\.\.\.)?, (\d+)(?:, \d+)?\)'
    rb"\s+=\s+(-?\d+)")


class Win32Target(Target):
    """The 32-bit Windows program under wine (whose server the caller keeps
    running): CR LF line ends, text in the locale's ANSI code page, and wine's
    own notices on standard error are never compared.

    The parameters of a case reach the program in the command line that wine
    builds from them: each as it is, in quotes when it holds a blank. A case
    with a cmdline runs from a batch file instead, so that the program's own
    splitter sees exactly that line. Wine cannot pin a process's clock, so the
    clock cases run a test build of the same sources that takes its clock from
    CLOCKCAST_TEST_CLOCK. Wine writes standard output through a descriptor of
    its own: the trace finds it by the file it names (strace -y)."""

    name = "win32"
    eol = "\r\n"
    compare_stderr = False
    can_trace = True
    trace_options = ("-y", "-s", "2048", "-e", "trace=write,pwrite64")
    test_clock_program: Optional[str] = None

    def __init__(self, program: str):
        super().__init__(program)
        self.module = os.path.basename(program)
        # The first wine process of a server starts wine's own services, which
        # would keep that run's standard output and error open for as long
        # as the server lives: start them here, detached.
        subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)

    def encoding(self, c):
        return "cp932" if (c.locale or "").startswith("ja_JP") else "cp1252"

    @staticmethod
    def windows_path(path: str) -> str:
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def command_for(self, c, env, tmp):
        program = self.program
        if "CLOCKCAST_TEST_CLOCK" in env:
            program = self.test_clock_program
        if c.cmdline is None:
            for a in c.args:
                # Wine would escape these with backslashes, which the program's
                # splitter does not know.
                if '"' in a or (a.endswith("\\") and (" " in a or "\t" in a)):
                    raise ValueError(f"{c.name}: {a!r} cannot be passed through wine")
            return ["wine", program] + c.args
        # The program in a folder with a blank in its name, so that the quoted
        # program path is one token too.
        folder = os.path.join(tmp, "Program Files")
        os.mkdir(folder)
        linked = os.path.join(folder, os.path.basename(program))
        os.symlink(program, linked)
        batch = os.path.join(tmp, "case.bat")
        text = '@"' + self.windows_path(linked) + '" ' + c.cmdline.replace("%", "%%") + "\r\n"
        with open(batch, "wb") as f:
            f.write(text.encode(self.encoding(c)))
        return ["wine", "cmd", "/c", self.windows_path(batch)]

    def command(self, args):
        return ["wine", self.program] + args

    def pin_clock(self, env, when):
        if self.test_clock_program is None:
            return "no test-clock program (--test-clock-program)"
        env["CLOCKCAST_TEST_CLOCK"] = when if "." in when else when + ".000"
        return None

    def parse_trace(self, path, stdout_id):
        if stdout_id is None:
            return None
        found = TracedWrites()
        with open(path, "rb") as trace:
            for line in trace:
                m = WINE_WRITE_LINE.search(line)
                if m and m.group(1) == stdout_id.encode():
                    found.append((int(m.group(3)), int(m.group(4))))
                    found.texts.append(m.group(2))
        return found


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
        command = target.command_for(c, env, tmp)
        if c.stdout == "closed":
            command = ["sh", "-c", 'exec "$0" "$@" >&-'] + command
        trace_file = os.path.join(tmp, "trace")
        if tracing:
            command = ["strace", "-f", "-qq", *target.trace_options, "-o", trace_file] + command

        out = b""
        stdout_target = subprocess.PIPE
        to_close = []
        out_path = None
        master = None
        stdout_id = None  # what the trace names standard output by (strace -y)
        if c.stdout == "file":
            out_path = os.path.join(tmp, "out")
            stdout_target = open(out_path, "wb")
            to_close.append(stdout_target)
            stdout_id = os.path.realpath(out_path)
        elif c.stdout == "full":
            stdout_target = open("/dev/full", "wb")
            to_close.append(stdout_target)
            stdout_id = "/dev/full"
        elif c.stdout == "closed":
            stdout_target = subprocess.DEVNULL  # closed by sh before the exec
        elif c.stdout == "broken":
            read_end, write_end = os.pipe()
            os.close(read_end)
            stdout_target = write_end
            to_close.append(write_end)
            stdout_id = f"pipe:[{os.fstat(write_end).st_ino}]"
        elif c.stdout == "tty":
            master, slave = os.openpty()
            tty.setraw(slave)  # no translation of line ends by the terminal
            stdout_target = slave
            to_close.append(slave)

        started = time.time()
        try:
            proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=stdout_target,
                                    stderr=subprocess.PIPE, env=env)
            if stdout_target is subprocess.PIPE:
                stdout_id = f"pipe:[{os.fstat(proc.stdout.fileno()).st_ino}]"
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
            try:
                # A leftover child (a wine service) may still hold the pipes.
                proc.communicate(timeout=5)
            except subprocess.TimeoutExpired:
                pass
            return "fail", f"no end after {TIMEOUT} s"
        ended = time.time()
        if out_path is not None:
            out = pathlib.Path(out_path).read_bytes()
        traced = target.parse_trace(trace_file, stdout_id) if tracing else None

    problems = []
    if proc.returncode < 0:
        problems.append(f"killed by signal {-proc.returncode}")
    elif proc.returncode != c.exit:
        problems.append(f"exit code {proc.returncode}, expected {c.exit}")
    if target.compare_stderr and err:
        problems.append(f"stderr {err!r}")
    run = Run(target, c, out, traced, started, ended)
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
    parser.add_argument("--test-clock-program",
                        help="win32: a test build whose clock CLOCKCAST_TEST_CLOCK sets")
    parser.add_argument("--filter", help="run only the cases whose name matches this")
    parser.add_argument("-v", "--verbose", action="store_true", help="list every case")
    options = parser.parse_args()

    program = os.path.abspath(options.program)
    if not os.path.exists(program):
        print(f"no program at {program}")
        print("0 passed, 1 failed")
        return 1
    target = TARGETS[options.target](program)
    if options.test_clock_program:
        target.test_clock_program = os.path.abspath(options.test_clock_program)
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
