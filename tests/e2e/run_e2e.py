#!/usr/bin/env python3
"""End-to-end tests of clockcast, one table for the native program (of any architecture
the machine runs or emulates) and the win32 one under wine. Expected "\\n" is the target's
line terminator, BARE_LF a bare line feed. With --locales only the cases in those locales run.
Usage: run_e2e.py --target native|win32 --program PATH [harness options]"""

import argparse, dataclasses, datetime, errno, os, pathlib, re, select, shutil
import subprocess, sys, tempfile, time, tty, zoneinfo
from typing import Optional

from harness import Skip, Suite, Target, add_options

EXPECTED = pathlib.Path(__file__).resolve().parent / "expected"
BARE_LF = "\ue000"
TIMEOUT = 30
FEB10 = "1978-02-10 14:05:09"
LONG = "x" * 200

REPORT_HEAD = r"Exception EConvertError in module {MODULE} at [0-9A-F]{8}\." + BARE_LF
NO_PLUS, NEED_MORE, MORE_OR_LESS, NOT_NUMBERS = ("Formating Error in ADDTIME: Command. " + m
    for m in ("No + Found", "Need More Numbers.", "Need More Or Less Numbers.",
    "Items other then numbers do not add well.."))
EMPTY_INT = "'' is not a valid integer value."

class Rx(str):
    """An expected output given as a regular expression ({MODULE}: the module name)."""

@dataclasses.dataclass
class Case:
    name: str
    args: list
    expect: list  # str: exact text; Rx: regex; dict: text by target; callable: check(run)
    exit: int = 0
    clock: Optional[str] = None  # pinned "YYYY-MM-DD hh:mm:ss"
    locale: Optional[str] = None  # LC_ALL; skipped when not installed
    tz: str = "UTC"
    clock_error: int = 0  # every clock read fails with this errno (the project's clock shim)
    stdout: str = "pipe"  # pipe | file | full | closed | broken | tty
    trace: object = False  # True: needs strace; "optional": uses it when it works
    targets: tuple = ("native", "win32")
    cmdline: Optional[str] = None  # win32: the command line, run from a batch file
    fault: Optional[str] = None  # win32 test-clock build: CLOCKCAST_TEST_FAULT

case = lambda name, args, *expect, **options: Case(name, args, list(expect), **options)

@dataclasses.dataclass
class Run:
    target: "Target"
    case: Case
    out: bytes
    writes: Optional[list]  # (size, result, text) of each write to standard output
    started: float
    ended: float

    def convert(self, text: str) -> bytes:
        enc = self.target.encoding(self.case.locale)
        return text.replace("\n", self.target.eol).replace(BARE_LF, "\n").encode(enc)

    def pattern(self, text: str) -> bytes:
        return self.convert(text.replace("{MODULE}", re.escape(self.target.module)))

    def oracle(self, fmt: str) -> str:
        env = {"PATH": os.environ["PATH"], "LC_ALL": self.case.locale or "C"}
        out = subprocess.run(["date", "-u", "-d", self.case.clock, "+" + fmt], env=env,
                             capture_output=True, check=True).stdout
        return out.decode("utf-8").removesuffix("\n")

def verify(run: Run, e) -> Optional[str]:
    if isinstance(e, dict):
        e = e[run.target.name]
        e = e(run) if callable(e) else e
    if isinstance(e, Rx):
        pat = run.pattern(e)
        return None if re.fullmatch(pat, run.out) else f"stdout {run.out!r}\n     !~ {pat!r}"
    if isinstance(e, str):
        want = run.convert(e)
        return None if run.out == want else f"stdout {run.out!r}\n     expected {want!r}"
    return e(run)

screen = lambda name: (EXPECTED / name).read_text(encoding="utf-8")
report = lambda message: Rx(REPORT_HEAD + re.escape(message) + "\n")

def writes(sizes):
    """The sizes of the writes to standard output; sizes(run) -> list."""
    def fn(run):
        if run.writes is None:
            return "no write trace"
        got = [w[0] for w in run.writes]
        return None if got == sizes(run) else f"write sizes {got}, expected {sizes(run)}"
    return fn

chunks = lambda total: [128] * (total // 128) + ([total % 128] if total % 128 else [])

def handed_over(run):
    """The writes a file or a pipe gets: 128-byte blocks on Windows; on POSIX whole lines,
    as many as fit in 4,096 bytes, a longer line in 4,096-byte pieces."""
    if run.target.win:
        return chunks(len(run.out))
    sizes, used = [], 0
    for line in run.out.splitlines(keepends=True):
        if used and used + len(line) > 4096:
            sizes, used = sizes + [used], 0
        used += len(line)
        while used >= 4096:
            sizes, used = sizes + [4096], used - 4096
    return sizes + [used] * bool(used)

def refused_then_report(run):
    """After the refused line only the report and its line end are tried: no line end of the
    line comes between (strace escapes the report's own)."""
    got = [(w[1], w[2][:10]) for w in run.writes or []]
    if got != [(-1, b"y" * 10), (-1, b"Exception "), (-1, b"\\n")] or run.writes[0][0] != 200:
        return f"writes {run.writes}"

def nothing_written(run):
    if run.out or any(w[1] >= 0 for w in run.writes or []):
        return f"stdout {run.out!r}, writes {run.writes}: expected nothing"

def real_clock(run):
    """One line: the host clock at some second during the run."""
    seen = {time.strftime("%Y-%m-%d|%H:%M:%S", time.gmtime(t)) + run.target.eol
            for t in range(int(run.started), int(run.ended) + 1)}
    got = run.out.decode("ascii", "replace")
    return None if got in seen else f"stdout {got!r}, expected one of {sorted(seen)}"

def report_112_tried(run):
    """The I/O error report was tried (as strace escapes it), though the write failed."""
    pat = (r"Exception EInOutError in module " + re.escape(run.target.module)
           + r" at [0-9A-F]{8}\.\\nI/O error 112\.$").encode()
    texts = [w[2] for w in run.writes or []]
    return None if any(re.search(pat, t) for t in texts) else f"no {pat!r} in {texts!r}"

def era_plumbing(run):
    """gg the era name, g its first character; ee two digits, e without a leading zero."""
    m = re.fullmatch(rb"(.+)\|(.*)\|([0-9]{2})\|(.*)\|[0-9]{4}\r\n", run.out)
    ok = m and m[2] == m[1][:2] and m[4] == (m[3][1:] if m[3][:1] == b"0" else m[3])
    return None if ok else f"era fields {run.out!r} do not agree"

# Wine 8's locale data: C and en_US give 0x409, de_DE 0x407, ja_JP 0x411 (code page 932).
# The long dates are in LONG_DATES.
WINE_EN = {"names": "February|Feb|Friday|Fri", "short": "2/10/1978", "ampm": "PM|2 PM",
           "time": "2:05:09 PM"}
WINE_LOCALES = {
    "C": WINE_EN, "en_US.UTF-8": WINE_EN,
    "de_DE.UTF-8": {"names": "Februar|Feb|Freitag|Fr.", "short": "10.2.1978",
                    "ampm": "PM|2 PM", "time": "14:05:09"},
    "ja_JP.UTF-8": {"names": "2月|2月|金曜日|金", "short": "1978/2/10", "ampm": "午後|2 午後"},
}

# Code page 932 characters whose trail byte is a specifier letter:
# DU 83 64 "d", NO 83 6D "m", A 83 41 "A", HA 83 6E "n", YEAR 94 4E "N".
DU, NO, KA, HA, YEAR = "\u30c5", "\u30ce", "\u30a2", "\u30cf", "\u5e74"

# The long date (date:dddddd) of FEB10. Texts compare case-folded, with no-break spaces
# read as blanks; under wine a "?" stands for a character the ANSI code page lacks.
# Locale: (Windows ANSI code page, the long date). Where the two programs differ, the
# long date is a pair (native, win32), and only because their locale data differ.
LONG_DATES = {
    "en_US": (1252, "Friday, February 10, 1978"),
    "en_GB": (1252, "Friday, 10 February 1978"),
    "de_DE": (1252, "Freitag, 10. Februar 1978"),
    "fr_FR": (1252, "vendredi 10 février 1978"),
    "es_ES": (1252, "viernes, 10 de febrero de 1978"),
    "it_IT": (1252, "venerdì 10 febbraio 1978"),
    # The C library's day name is short: sexta, not sexta-feira.
    "pt_BR": (1252, ("sexta, 10 de fevereiro de 1978", "sexta-feira, 10 de fevereiro de 1978")),
    "nl_NL": (1252, "vrijdag 10 februari 1978"),
    "sv_SE": (1252, "fredag 10 februari 1978"),
    "da_DK": (1252, "fredag den 10. februar 1978"),
    # Windows writes the day in the essive case (perjantaina), as its own format asks.
    "fi_FI": (1252, ("perjantai 10. helmikuu 1978", "perjantaina 10. helmikuu 1978")),
    "pl_PL": (1250, "piątek, 10 luty 1978"),
    "cs_CZ": (1250, "pátek 10. únor 1978"),
    "hu_HU": (1250, "1978. február 10., péntek"),
    "ro_RO": (1250, "vineri, 10 februarie 1978"),
    "ru_RU": (1251, "пятница, 10 февраль 1978\u202fг."),
    # The C library's day name has an ASCII apostrophe, Windows' a letter apostrophe.
    "uk_UA": (1251, ("п'ятниця, 10 лютий 1978\u202fр.", "п\u02bcятниця, 10 лютий 1978\u202fр.")),
    "tr_TR": (1254, "10 Şubat 1978 Cuma"),
    "el_GR": (1253, "Παρασκευή 10 Φεβρουάριος 1978"),
    # Windows' day name says "day" too: yom shishi, not shishi.
    "he_IL": (1255, ("שישי, 10 בפברואר 1978", "יום שישי, 10 בפברואר 1978")),
    "ja_JP": (932, "1978年2月10日金曜日"),
    "zh_CN": (936, "1978年2月10日星期五"),
    "ko_KR": (949, "1978년 2월 10일 금요일"),
    "vi_VN": (1258, "Thứ sáu, 10 Tháng 2, 1978"),
}

def long_date(codepage: int, text):
    def check(run):
        want = text if isinstance(text, str) else text[run.target.win]
        if run.target.win:
            want = "".join(ch if ch.encode(f"cp{codepage}", "ignore") else "?" for ch in want)
        got = run.out.decode(f"cp{codepage}" if run.target.win else "utf-8", "replace")
        fold = lambda t: t.replace("\u00a0", " ").replace("\u202f", " ").casefold()
        if fold(got.removesuffix(run.target.eol)) != fold(want):
            return f"long date {got!r}, expected {want!r}"
    return check

def build_cases() -> list:
    f = {"clock": FEB10}
    nat, win = {"targets": ("native",)}, {"targets": ("win32",)}
    ja = {"locale": "ja_JP.UTF-8", "targets": ("win32",)}
    cases = [
        # The screens, and the interpreter's lines; the unit tables pin the rest of both.
        case("usage", [], screen("usage.txt")),
        case("formats", ["/formats"], screen("formats.txt")),
        case("advanced", ["/advanced"], screen("advanced.txt")),
        case("lines, quote, th", ["say ", "'", "th", "'", "line:", "LINE:x"], 'say "st"\n\nx\n',
             clock="1978-02-01 14:05:09"),
        case("real clock", ["date:yyyy-mm-dd|", "time:hh:nn:ss"], real_clock),
        case("addtime message before report in a file", ["addtime:", "x", "addtime:hh+::0"],
             Rx(re.escape(NO_PLUS) + "\n" + report(EMPTY_INT)), exit=1, stdout="file", **f),
    ]
    # Clock pinned at FEB10: name, parameters, output (exit code 1 for a report).
    for name, args, want in [
        ("time with milliseconds", ["time:hh:nn:ss.zzz"], Rx("14:05:09\\.[0-9]{3}\n")),
        ("time: empty format and t, tt", ["time:", "line:", "time:t", "line:", "time:tt"],
         {"native": "12/30/99 2:05:09 pm\n2:05 pm\n2:05:09 pm\n",
          "win32": "12/30/1899 2:05:09 PM\n2:05 PM\n2:05:09 PM\n"}),
        ("addtime messages stand before the lines",
         ["a", "addtime:", "b", "line:c", "addtime:x+1", "addtime:hh:nn+", "addtime:hh+1:+2:3",
          "addtime:dd/mm/yyyy hh:nn+10:0:0"],
         NO_PLUS + "\n" + MORE_OR_LESS + "\n" + NEED_MORE + "\n" + NOT_NUMBERS
         + "\nab\nc31/12/1899 00:05\n"),
        ("addtime empty hours fails", ["a", "addtime:hh+::"], report(EMPTY_INT)),
    ]:
        cases.append(case(name, args, want, exit=int(name.endswith("fails")), **f))
    # Locales: natively the C library's names read through GNU date; on win32 wine's data.
    for loc, w in WINE_LOCALES.items():
        c, lf = loc == "C", {"clock": FEB10, "locale": loc}
        ora = lambda fmt, pre="", post="": lambda r: pre + r.oracle(fmt) + post + "\n"
        cases += [
            case(f"{loc} names", ["date:mmmm|mmm|dddd|ddd"],
                 {"native": ora("%OB|%Ob|%A|%a"), "win32": w["names"] + "\n"}, **lf),
            case(f"{loc} short date", ["date:"],
                 {"native": "2/10/78\n" if c else ora("%x"), "win32": w["short"] + "\n"}, **lf),
            case(f"{loc} am/pm", ["time:ampm", "|", "time:h ampm"],
                 {"native": "pm|2 pm\n" if c else ora("%p|2 %p"), "win32": w["ampm"] + "\n"},
                 **lf),
        ]
        if "time" in w and not c:
            cases.append(case(f"{loc} long time", ["time:tt"],
                              {"native": ora("%X"), "win32": w["time"] + "\n"}, **lf))
    lines50 = ["a" * 50, "line:" + "b" * 50, "line:" + "c" * 50]
    text50 = "a" * 50 + "\n" + "b" * 50 + "\n" + "c" * 50 + "\n"
    lines2000 = ["a" * 2000, "line:" + "b" * 2000, "line:" + "c" * 2000]
    text2000 = "a" * 2000 + "\n" + "b" * 2000 + "\n" + "c" * 2000 + "\n"
    cases += [
        # Where the output goes, and when its bytes reach the system.
        case("to /dev/full", ["a"], "", exit=1, stdout="full"),
        case("screen to /dev/full", [], "", exit=1, stdout="full"),
        case("to /dev/full, traced", ["y" * 199], "", refused_then_report, exit=1, stdout="full",
             trace=True, **nat),
        case("closed stdout", ["a"], nothing_written, exit=1, stdout="closed", trace="optional"),
        case("closed stdout, failure", ["addtime:hh+::"], nothing_written, exit=1,
             stdout="closed", trace="optional"),
        case("broken pipe, more than a buffer", [LONG, "line:"], "", exit=1, stdout="broken"),
        case("broken pipe, less than a buffer", ["a"], "", exit=1, stdout="broken"),
        case("file: three 50-byte lines", lines50, text50, writes(handed_over), stdout="file",
             trace=True),
        case("pipe: three 50-byte lines", lines50, text50, writes(handed_over), trace=True),
        case("file: three 2,000-byte lines, whole lines in each write", lines2000, text2000,
             writes(handed_over), stdout="file", trace=True),
        case("file: a line longer than 4,096 bytes", ["x" * 5000, "line:y"],
             "x" * 5000 + "\ny\n", writes(handed_over), stdout="file", trace=True),
        case("file: small output written once at the end", ["a", "line:b"], "a\nb\n",
             writes(lambda r: [2 + 2 * len(r.target.eol)]), stdout="file", trace=True),
        case("file: formats screen, 33 lines", ["/formats"], screen("formats.txt"),
             lambda r: None if r.out.count(r.target.eol.encode()) == 33 else "not 33 lines",
             writes(handed_over), stdout="file", trace=True),
        case("tty: one write per line", [LONG, "line:de"], LONG + "\nde\n",
             writes(lambda r: [201, 3]), stdout="tty", trace=True, **nat),
        case("tty: a line longer than the buffer in full buffers, then at its end",
             ["x" * 5000, "line:de"], "x" * 5000 + "\nde\n",
             writes(lambda r: [4096, 905, 3]), stdout="tty", trace=True, **nat),
        case("tty: failure report", ["addtime:+::"], report(EMPTY_INT), exit=1, stdout="tty",
             **nat),
    ]
    # The command-line splitter (win32, from a batch file); natively argv stands for it.
    for name, cmdline, args, want in [
        ("advanced example", '"Rename \'%1\' \'" "date:d" " of " "date:mmmm" "\'"',
         ["Rename '%1' '", "date:d", " of ", "date:mmmm", "'"], "Rename '%1' '10 of February\"\n"),
        ("system variable stays literal", '"%username% ran this program @ " x',
         ["%username% ran this program @ ", "x"], "%username% ran this program @ x\n"),
        ("quotes inside a parameter", 'p"q r"s', ["pq rs"], "pq rs\n"),
        ("adjacent quoted stretches", '"a""b" c', ["ab", "c"], "abc\n"),
        ("empty quote pairs are passed over", 'a "" b ""', ["a", "b"], "ab\n"),
        ("a quote left open", 'a "b  line:c  ', ["a", "b  line:c  "], "ab  line:c  \n"),
        ("a lone quote at the end", 'a "', ["a"], "a\n"),
        ("tabs and runs of blanks separate", "a\t \tb   c", ["a", "b", "c"], "abc\n"),
        ("a backslash before a quote stays", 'a\\"b c"', ["a\\b c"], "a\\b c\n"),
        ("the apostrophe, quoted or not", "' \"'\"", ["'", "'"], '""\n'),
        ("only blanks and empty quotes", '  "" ""  ', [], screen("usage.txt")),
        ("screen switch in quotes", '"/FORMATS" x', ["/FORMATS", "x"], screen("formats.txt")),
    ]:
        cases.append(case("cmdline: " + name, args, want, cmdline=cmdline, **f))
    # Code page 932 through the real command line and CharNextA (win32 only).
    for name, args, want in [
        ("two-byte characters outside quotes are copied whole", ["time:hh" + YEAR + "mm"],
         "14" + YEAR + "12\n"),
        ("inside quotes they are copied whole", ["time:hh'" + YEAR + "'mm"], "14" + YEAR + "05\n"),
        ("a trail byte d does not join a run of d", ["date:" + DU + "dd"], DU + "10\n"),
        ("a trail byte m after an hour is no minute", ["time:h" + NO + "m"], "14" + NO + "12\n"),
        ("a trail byte A starts no AM/PM form", ["time:h" + KA + "/p"], "14" + KA + "/p\n"),
        ("a trail byte n is no minute", ["time:" + HA + "|'" + HA + "'"], HA + "|" + HA + "\n"),
        ("the short and long date, two-byte characters outside quotes", ["date:ddddd|dddddd"],
         "1978/2/10|1978\u5e742\u670810\u65e5\u91d1\u66dc\u65e5\n"),
    ]:
        cases.append(case("cp932: " + name, args, want, **f, **ja))
    cases += [
        case("cp932: literal text is echoed byte for byte", [DU + NO, "line:" + YEAR],
             DU + NO + "\n" + YEAR + "\n", **ja),
        case("cp932: lead bytes inside and outside quotes on the command line",
             [NO + DU + " " + KA + HA, YEAR + "x"], NO + DU + " " + KA + HA + YEAR + "x\n",
             cmdline=NO + '"' + DU + " " + KA + '"' + HA + " " + YEAR + "x", **ja),
        # Wine ignores the alternate calendar: only the plumbing is checked.
        case("cp932: era specifiers reach the formatter", ["date:gg|g|ee|e|eee"], era_plumbing,
             clock="2005-02-10 14:05:09", **ja),
        case("de: names with umlauts", ["date:mmmm|mmm"], "M\u00e4rz|M\u00e4r\n",
             clock="1978-03-10 14:05:09", locale="de_DE.UTF-8", **win),
        # Past 9999 the date fails; 65537 must not wrap round to year 1.
        case("a year after 9999 fails the date", ["a", "time:hh", "date:yyyy"],
             report("Invalid argument to date encode."), exit=1, clock="10000-01-01 00:00:00"),
        case("a clock in 65537 fails the date", ["a", "date:yyyy"],
             report("Invalid argument to date encode."), exit=1, clock="65537-02-10 14:05:09",
             **nat),
        case("to /dev/full: the report is tried, with error 112", ["a"], "",
             report_112_tried, exit=1, stdout="full", trace=True, **win),
    ]
    cases += [case(f"{loc} long date", ["date:dddddd"], long_date(*w), locale=loc + ".UTF-8",
                   **f) for loc, w in LONG_DATES.items()]
    # Platform exceptions (win32): with the failure layer, the report and exit code 1;
    # before the layer is installed or after it is removed, the runtime-error line with
    # the exception's own code, after the output written so far. The access violation
    # is reported at the address that failed, the one its text names; a call to an
    # address in no module names none (the execute access comes as 8, which reads "Write").
    head = lambda cls: r"Exception %s in module {MODULE} at ([0-9A-F]{8})\." % cls + BARE_LF
    av = (head("EAccessViolation")
          + r"Access violation at address \1 in module '{MODULE}'\. %s of address 00000010\.")
    for kind, reported, code in [
        ("read", av % "Read", 216), ("write", av % "Write", 216),
        ("call", head("EAccessViolation") + r"Access violation at address 00000010\. "
                 r"Write of address 00000010\.", 216),
        ("divide", head("EDivByZero") + r"Division by zero\.", 200),
        ("overflow", head("EOverflow") + r"Floating point overflow\.", 205),
        ("stack", head("EStackOverflow") + r"Stack overflow\.", 202),
    ]:
        line = r"Runtime error %d at [0-9A-F]{8}" % code + "\n"
        for phase, want, exit in [("clock", reported + "\n", 1), ("start", line, code),
                                  ("end", "a1978\n" + line, code)]:
            cases.append(case(f"fault: {kind} at {phase}", ["a", "date:yyyy"], Rx(want),
                              exit=exit, fault=f"{phase}:{kind}", **f, **win))
    # Clocks a 32-bit time_t cannot hold (before 1901-12-13 20:45:52, from 2038-01-19
    # 03:14:08 on), also in zones that move them to another day; 2100 has no 29 February.
    # The local fields are Python's (zoneinfo).
    for when, tz in (("1900-03-01 00:00:00", "UTC"), ("1900-03-01 00:00:00", "America/New_York"),
                     ("2038-01-19 03:14:08", "UTC"), ("2038-01-19 03:14:08", "Asia/Tokyo"),
                     ("2100-02-28 12:00:00", "UTC"), ("2100-02-28 23:30:00", "Asia/Tokyo")):
        utc = datetime.datetime.fromisoformat(when + "+00:00")
        local = utc.astimezone(zoneinfo.ZoneInfo(tz)).strftime("%Y-%m-%d %A %H:%M:%S\n")
        cases.append(case(f"clock {when} in {tz}", ["date:yyyy-mm-dd dddd", " ", "time:hh:nn:ss"],
                          local, clock=when, tz=tz, **nat))
    # A clock that cannot be read (EOVERFLOW: a time the C library's time_t cannot hold)
    # fails as a reading out of range does, and no date or time is printed.
    for reads, message in (("date:yyyy-mm-dd", "date"), ("th", "date"), ("time:hh:nn:ss", "time"),
                           ("addtime:hh+1:0:0", "time")):
        cases.append(case(f"clock that cannot be read: {reads}", ["a", reads],
                          report(f"Invalid argument to {message} encode."), exit=1, clock=FEB10,
                          clock_error=errno.EOVERFLOW, **nat))
    return cases

# A write to standard output, as "strace -y" shows it: fd<file>, text, size, result.
WRITE_LINE = re.compile(rb'(?:write|pwrite64)\((\d+)(?:<([^>]*)>)?, "((?:[^"\\]|\\.)*)"'
                        rb"(?:\.\.\.)?, (\d+)(?:, \d+)?\)\s+=\s+(-?\d+)")

def case_command(target: Target, c: Case, env: dict, tmp: str) -> list:
    """win32: a command line of its own goes through a batch file."""
    if not target.win or c.cmdline is None:
        assert not target.win or not any('"' in a for a in c.args), "wine would escape the quote"
        return target.command(c.args, env)
    program = target.command([], env)[-1]
    # In a folder with a blank, so that the quoted program path is one token too.
    linked = os.path.join(tmp, "Program Files", os.path.basename(program))
    os.mkdir(os.path.dirname(linked))
    os.symlink(program, linked)
    winpath = lambda p: "Z:" + os.path.abspath(p).replace("/", "\\")
    batch = os.path.join(tmp, "case.bat")
    line = '@"' + winpath(linked) + '" ' + c.cmdline.replace("%", "%%") + "\r\n"
    pathlib.Path(batch).write_bytes(line.encode(target.encoding(c.locale)))
    return ["wine", "cmd", "/c", winpath(batch)]

def strace_problem(_cache=[]) -> Optional[str]:
    """Why strace cannot trace here, or None."""
    if not _cache:
        ok = shutil.which("strace") and subprocess.run(
            ["strace", "-f", "-qq", "-e", "trace=write", "-o", os.devnull, "true"],
            capture_output=True).returncode == 0
        _cache.append(None if ok else "strace cannot trace here")
    return _cache[0]

def run_case(target: Target, c: Case) -> Optional[str]:
    """What was wrong with the run, or None; raises Skip."""
    env = target.env(c.locale or "C", c.clock, tz=c.tz, clock_error=c.clock_error)
    if c.fault:
        env["CLOCKCAST_TEST_FAULT"] = c.fault
    # A wrapper's own files would take the closed descriptor 1 and show in the trace.
    tracing = bool(c.trace) and not strace_problem() and not (
        target.wrapper and c.stdout == "closed")
    if c.trace is True and not tracing:
        raise Skip(strace_problem())
    with tempfile.TemporaryDirectory(prefix="clockcast-e2e-") as tmp:
        command = case_command(target, c, env, tmp)
        if c.stdout == "closed":
            command = ["sh", "-c", 'exec "$0" "$@" >&-'] + command
        trace_file = os.path.join(tmp, "trace")
        if tracing:
            command = ["strace", "-f", "-qq", "-y", "-s", "2048", "-e", "trace=write,pwrite64",
                       "-o", trace_file] + command
        sink, master, stdout_id = subprocess.PIPE, None, None
        out_path = {"file": os.path.join(tmp, "out"), "full": "/dev/full"}.get(c.stdout)
        if out_path:
            sink = os.open(out_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
            stdout_id = os.path.realpath(out_path)
        elif c.stdout == "closed":
            sink = subprocess.DEVNULL  # closed by sh before the exec
        elif c.stdout == "broken":
            read_end, sink = os.pipe()
            os.close(read_end)
        elif c.stdout == "tty":
            master, sink = os.openpty()
            tty.setraw(sink)  # no translation of line ends by the terminal
        started = time.time()
        try:
            proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=sink,
                                    stderr=subprocess.PIPE, env=env)
            if c.stdout in ("pipe", "broken"):
                fd = proc.stdout.fileno() if sink is subprocess.PIPE else sink
                stdout_id = f"pipe:[{os.fstat(fd).st_ino}]"
        finally:
            if sink >= 0:
                os.close(sink)
        try:
            out = read_pty(master, proc) if master is not None else b""
            piped, err = proc.communicate(timeout=TIMEOUT)
            out = out or piped or b""
        except subprocess.TimeoutExpired:
            proc.kill()  # and not read on: a leftover wine service may still hold the pipes
            proc.wait()
            return f"no end after {TIMEOUT} s"
        finally:
            if master is not None:
                os.close(master)
        ended = time.time()
        if c.stdout == "file":
            out = pathlib.Path(out_path).read_bytes()
        traced = [] if tracing and (stdout_id or not target.win) else None
        for line in pathlib.Path(trace_file).read_bytes().splitlines() if traced == [] else []:
            m = WRITE_LINE.search(line)
            if m and (m.group(2) == stdout_id.encode() if target.win else m.group(1) == b"1"):
                traced.append((int(m.group(4)), int(m.group(5)), m.group(3)))
    problems = []
    if proc.returncode != c.exit:  # a signal gives a negative code
        problems.append(f"exit code {proc.returncode}, expected {c.exit}")
    if err and not target.win:
        problems.append(f"stderr {err!r}")
    run = Run(target, c, out, traced, started, ended)
    problems += filter(None, (verify(run, e) for e in c.expect))
    return "\n     ".join(problems) or None

def read_pty(master: int, proc: subprocess.Popen) -> bytes:
    data, deadline = [], time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        if select.select([master], [], [], 0.1)[0]:
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

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    add_options(parser)
    options = parser.parse_args()
    target = Target(options)
    suite = Suite(f"e2e {target.name}", options)
    for c in build_cases():
        if target.name in c.targets and (c.locale or "C") in (target.locales or [c.locale or "C"]):
            suite.case(c.name, lambda c=c: run_case(target, c))
    return suite.finish()

if __name__ == "__main__":
    sys.exit(main())
