#!/usr/bin/env python3
"""Extreme inputs and output faults, end to end: C locale, TZ=UTC, clock pinned at
1978-02-10 14:05:09; expectations worked out here (Python dates, fractions).
  extreme_test.py --program build/clockcast [harness options]"""

import argparse, calendar, datetime, os, re, resource, shutil, struct, subprocess, sys, tempfile
import time
from fractions import Fraction
from pathlib import Path

from harness import NotApplicable, Skip, Suite, Target, add_options

TIMEOUT = 300
EPOCH_DAY, LAST_DAY = 693_594, 23_936_166  # 1899-12-30 and 65535-12-31, 0001-01-01 being 1
NO_PLUS = "Formating Error in ADDTIME: Command. No + Found"
DAYS, MONTHS = calendar.day_name[6:] + calendar.day_name[:6], calendar.month_name[1:]
BIG_ARGS = ["line:%05d" % i + "x" * 100 for i in range(10_000)]  # 1 MiB of output
CLOCK = "1978-02-10 14:05:09"


def lines(*texts):
    return b"".join((t if isinstance(t, bytes) else t.encode("latin-1")) + b"\n" for t in texts)


BIG_OUT = lines("", *[a[5:] for a in BIG_ARGS])


class Harness(Suite):
    def __init__(self, options):
        super().__init__("e2e_extreme", options)
        self.target = Target(options)
        self.wrapper, self.module = self.target.wrapper, self.target.module.encode()

    def popen(self, args, pinned=True, stdout=subprocess.PIPE, preexec=None):
        """A run in C and UTC; the pinned clock stands still."""
        args = [a if isinstance(a, bytes) else a.encode("latin-1") for a in args]
        env = self.target.env("C", CLOCK if pinned else None, ticking=False)
        return self.target.popen(args, env, stdout=stdout, preexec_fn=preexec)

    def expect(self, args, want, code=0, pattern=False, **options):
        """None when the run exits with code, no stderr, stdout want (bytes or a pattern)."""
        out, err = (proc := self.popen(args, **options)).communicate(timeout=TIMEOUT)
        out = out or b""
        if proc.returncode == code and not err and (
                re.fullmatch(want, out, re.S) if pattern else out == want):
            return None
        at = next((i for i, (a, b) in enumerate(zip(out, want)) if a != b), len(out)) // 20 * 20
        return (f"exit {proc.returncode} (expected {code}), stderr {err[:300]!r}, stdout of "
                f"{len(out)} bytes: ...{out[at:at + 60]!r}, expected ...{want[at:at + 60]!r}")

    def report(self, message):
        return (rb"Exception EConvertError in module " + re.escape(self.module)
                + rb" at [0-9A-F]{8}\.\n" + re.escape(message.encode("latin-1")))


def date_fields(h, m, s):
    """(y, m, d, weekday 1 = Sunday) of the clock moved by h:m:s: whole days of the magnitude
    from 1899-12-30; outside 0001..65535 zero fields; before day 1 a weekday only at 0."""
    value = Fraction(14 * 3600 + 5 * 60 + 9 + 3600 * h + 60 * m + s, 86400)
    whole = int(abs(value))
    assert Fraction(1, 10**6) < abs(value) - whole < 1 - Fraction(1, 10**6), "too near midnight"
    day = EPOCH_DAY + whole if value >= 0 else EPOCH_DAY - whole
    y = mo = d = 0
    if 1 <= day <= LAST_DAY:
        cycles = max(0, (day - 3_652_059 + 146_096) // 146_097)  # past 9999: 400-year cycles
        date = datetime.date.fromordinal(day - 146_097 * cycles)
        y, mo, d = date.year + 400 * cycles, date.month, date.day
    weekday = day % 7 + 1 if day >= 1 else (1 if (-day) % 7 == 0 else None)
    return y, mo, d, weekday


def cases_inputs(h):
    # The longest parameter Linux passes (MAX_ARG_STRLEN, less the NUL); 8 of them, a line of
    # 1 MiB, go through the non-blocking pipe below.
    n = 32 * os.sysconf("SC_PAGE_SIZE") - 1
    for name, args, want, code in (
            (f"a literal parameter of {n} bytes", ["y" * n], lines("y" * n), 0),
            (f"line: and {n - 5} bytes", ["line:" + "w" * (n - 5)], lines("", "w" * (n - 5)), 0),
            (f"a date format of {n - 5} bytes: cut at 256",
             ["date:" + "dd " * ((n - 5) // 3)], lines(("10 " * 86)[:256]), 0),
            (f"an offset field of {n - 13} digits: the report cut at 1,023 bytes",
             ["addtime:+" + "1" * (n - 13) + ":0:0"],
             rb"(?=.{1023}\n\Z)" + h.report("'") + rb"1+\n", 1)):
        h.case(name, lambda a=args, w=want, c=code: h.expect(a, w, code=c, pattern=c == 1))

    cycle = {"a": "a", "line:": None, "'": '"', "th": "th", "date:dd": "10", "time:hh": "14",
             "addtime:nn+0:1:0": "06", "addtime:": NO_PLUS}
    args = [list(cycle)[i % 8] for i in range(100_000)]

    def hundred_thousand():
        need = sum(len(a) + 9 for a in args + [k + v + "=" for k, v in os.environ.items()])
        if need > os.sysconf("SC_ARG_MAX"):
            raise NotApplicable(f"100,000 parameters need {need} bytes, the system allows "
                                f"{os.sysconf('SC_ARG_MAX')}")
        out = "".join({"line:": "\n", "addtime:": ""}.get(p, cycle[p]) for p in args).split("\n")
        return h.expect(args, lines(*[NO_PLUS] * args.count("addtime:"), *out))

    h.case("100,000 parameters in one exec", hundred_thousand)

    words, hi, lo = ["yyyy", "mm", "dd", "ddd", "dddd", "y", "m", "d", "mmmm"], 2**31 - 1, -2**31
    for hms in ((hi, hi, hi), (lo, 0, 0), (hi, 0, 0), (0, hi, 0), (0, 0, hi), (0, lo, 0),
                (0, 0, lo), (lo, lo, lo), (lo, hi, 0), (1, 0, 0)):
        y, mo, d, wd = date_fields(*hms)
        shown = [f"{y:04d}", f"{mo:02d}", f"{d:02d}", DAYS[wd - 1][:3] if wd else "",
                 DAYS[wd - 1] if wd else "", f"{y % 100:02d}", f"{mo}", f"{d}",
                 MONTHS[mo - 1] if mo else ""]
        arg = "addtime:" + " ".join(words) + "+" + ":".join(map(str, hms))
        h.case(arg, lambda a=arg, w=" ".join(shown): h.expect([a], lines(w)))


def cases_faults(h):
    def to_full(args):
        with open("/dev/full", "wb") as full:
            return h.expect(args, b"", code=1, stdout=full)

    # A line, a screen and a failure report are run_e2e.py's rows.
    h.case("/dev/full, 1 MiB: exit code 1", lambda: to_full(BIG_ARGS))

    def reader_leaves(keep):  # | head -c keep: the reader takes keep bytes and leaves
        prog = h.popen(BIG_ARGS)
        head = subprocess.Popen(["head", "-c", str(keep)], stdin=prog.stdout,
                                stdout=subprocess.PIPE)
        prog.stdout.close()
        got = head.communicate(timeout=TIMEOUT)[0]
        err, rc = prog.stderr.read(), prog.wait(timeout=TIMEOUT)
        if got != BIG_OUT[:keep] or rc != 1 or err:
            return f"read {got[:60]!r} ({len(got)} bytes), exit {rc}, stderr {err[:300]!r}"

    h.case("| head -c 100000: those bytes intact, exit code 1", lambda: reader_leaves(100_000))

    def shared_log(texts, runs=200 if not h.wrapper else 10):  # clockcast ... >> one.log
        args = [texts[0]] + ["line:" + t for t in texts[1:]]
        with tempfile.NamedTemporaryFile(prefix="clockcast-log-") as log:
            fd = os.open(log.name, os.O_WRONLY | os.O_APPEND)
            try:
                procs = [h.popen(args, pinned=False, stdout=fd) for _ in range(runs)]
            finally:
                os.close(fd)
            codes = [p.wait(timeout=TIMEOUT) for p in procs]
            got = Path(log.name).read_bytes().splitlines()
        torn = sum(line.decode("latin-1") not in texts for line in got)
        if codes != [0] * runs or len(got) != runs * len(texts) or torn:
            return f"exit codes {set(codes)}, {len(got)} lines, {torn} torn"

    h.case("200 runs at once append three 120-byte lines to one file: every line whole",
           lambda: shared_log([c * 119 for c in "abc"]))


# A locale's time data for localedef: the C locale's names and formats, the date formats
# replaced below.
LOCALE_SOURCE = """comment_char %
escape_char /
LC_CTYPE
copy "en_US"
END LC_CTYPE
LC_TIME
copy "POSIX"
END LC_TIME
"""
D_T_FMT, D_FMT = 40, 41  # the items' places in an LC_TIME file (glibc's _NL_ITEM_INDEX)


def cases_locale_data(h):
    """Locale data nobody ships but anybody can make, read through LOCPATH. localedef of
    GNU libc 2.36 overruns its heap on an LC_TIME string of more than 56 characters, so the
    formats are appended to the file it makes, its table pointing at them."""
    def made_locale(date_time, date):
        if shutil.which("localedef") is None:
            raise Skip("localedef is not installed")
        with tempfile.TemporaryDirectory(prefix="clockcast-locale-") as folder:
            Path(folder, "source").write_text(LOCALE_SOURCE)
            # A path with a slash: a bare name would go into the system's locale archive.
            made = subprocess.run(["localedef", "-c", "-f", "UTF-8", "-i", "./source",
                                   "./xx_XX.UTF-8"], cwd=folder, capture_output=True, text=True)
            lc_time = Path(folder, "xx_XX.UTF-8", "LC_TIME")
            if not lc_time.exists():
                raise Skip(f"localedef made no locale: {made.stderr[-300:]}")
            data = bytearray(lc_time.read_bytes())
            for index, text in ((D_T_FMT, date_time), (D_FMT, date)):
                struct.pack_into("=I", data, 8 + 4 * index, len(data))
                data += text.encode() + b"\0"
            lc_time.unlink()  # no hard link shares the change
            lc_time.write_bytes(data)
            env = h.target.env("C", CLOCK, ticking=False)
            env.update(LC_ALL="xx_XX.UTF-8", LOCPATH=folder)
            out, err = h.target.popen([b"date:ddddd|dddddd"], env).communicate(timeout=TIMEOUT)
            want = lines("02/10/78|February 10, 1978")
            return None if out == want and not err else f"stdout {out[:200]!r}, stderr {err!r}"

    # Composite expansion takes time linear in its result; one that leads back to itself
    # stands for the C locale's format, as one with no counterpart does.
    h.case('d_fmt "%x" 120 times', lambda: made_locale("%c", "%x" * 120))
    h.case('d_fmt "%c" and d_t_fmt "%x": each leads to the other', lambda: made_locale("%x", "%c"))


def cases_limits(h):
    n = 32 * os.sysconf("SC_PAGE_SIZE") - 1

    def file_size_limit():  # ulimit -f 64: the write fails with EFBIG, no SIGXFSZ
        if h.wrapper:
            raise NotApplicable("the limit would bind the wrapper's own files (Valgrind copies"
                                " the command line into one)")
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (65536, 65536))
        with tempfile.NamedTemporaryFile(prefix="clockcast-fsize-") as target:
            problem = h.expect(["x" * n], b"", code=1, stdout=target, preexec=limit)
            got = Path(target.name).read_bytes()
        if problem or got != lines("x" * n)[:65536]:
            return f"{problem}; {len(got)} bytes in the file"

    h.case(f"a file size limit of 64 KiB and a line of {n} bytes: exit code 1", file_size_limit)

    def nonblocking_pipe(runs=100 if not h.wrapper else 5):  # an event loop's pipe, a slow reader
        args, want = ["z" * n] * 8, lines("z" * 8 * n)
        for run in range(runs):
            r, w = os.pipe()
            os.set_blocking(w, False)
            proc = h.popen(args, pinned=False, stdout=w)
            os.close(w)
            got, reads = bytearray(), 0
            time.sleep(0.002)  # the pipe fills before the first read
            while chunk := os.read(r, 16384):
                got += chunk
                reads += 1
                if reads % 8 == 0:
                    time.sleep(0.0005)
            os.close(r)
            err, rc = proc.stderr.read(), proc.wait(timeout=TIMEOUT)
            if rc != 0 or err or got != want:
                return f"run {run + 1}: exit {rc}, stderr {err[:200]!r}, {len(got)} bytes"

    h.case("a non-blocking pipe and a slow reader: 100 runs of 1 MiB (5 under a wrapper), all "
           "whole", nonblocking_pipe)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    add_options(parser, targets=("native",))
    h = Harness(parser.parse_args())
    cases_inputs(h), cases_faults(h), cases_locale_data(h), cases_limits(h)
    return h.finish()


if __name__ == "__main__":
    sys.exit(main())
