#!/usr/bin/env python3
"""Extreme inputs and output faults, end to end, against the built program.

Every case runs the program as a subprocess in the C locale with TZ=UTC and,
where the output depends on the clock, with the clock pinned (standing still)
at 1978-02-10 14:05:09.000 by libfaketime. Expected outputs are worked out
here, independently of the program: calendar dates with Python's proleptic
Gregorian ordinals, offsets with exact rational arithmetic.

  extreme_test.py --program build/clockcast [--wrapper "valgrind -q ..."] [-v]

With --wrapper every run goes through that command (split at blanks), and the
one-run-per-byte cases take a sample of the bytes. The last line reads
"N passed, N failed".
"""

import argparse
import datetime
import errno
import fractions
import glob
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
EXPECTED = HERE / "expected"
TIMEOUT = 300

CLOCK = "1978-02-10 14:05:09"
DAY_OF_CLOCK = 10
# The day count of the clock's date from 1899-12-30, and its time of day.
CLOCK_DAYS = (datetime.date(1978, 2, 10) - datetime.date(1899, 12, 30)).days
CLOCK_SECONDS = 14 * 3600 + 5 * 60 + 9

ADDTIME = "Formating Error in ADDTIME: Command. "
NO_PLUS = ADDTIME + "No + Found"
NEED_MORE = ADDTIME + "Need More Numbers."
MORE_OR_LESS = ADDTIME + "Need More Or Less Numbers."
NOT_NUMBERS = ADDTIME + "Items other then numbers do not add well.."

SHORT_DAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"]
LONG_DAYS = ["Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"]
LONG_MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August",
               "September", "October", "November", "December"]

# The last day a 16-bit year holds, 65535-12-31, as a day number (0001-01-01
# is day 1): later dates decode to zero fields.
LAST_DAY = 23_936_166
EPOCH_DAY = 693_594  # 1899-12-30


class Skip(Exception):
    pass


class Harness:
    def __init__(self, program, wrapper, verbose):
        self.program = program
        self.wrapper = shlex.split(wrapper) if wrapper else []
        self.verbose = verbose
        self.passed = self.failed = self.skipped = 0
        self.module = os.path.basename(os.path.realpath(program))
        self.faketime = next(
            (p for p in ["/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"]
             + glob.glob("/usr/lib*/*/faketime/libfaketime.so.1")
             + glob.glob("/usr/lib*/faketime/libfaketime.so.1") if os.path.exists(p)), None)

    # --- running ---------------------------------------------------------------

    def env(self, pinned):
        env = {k: v for k, v in os.environ.items()
               if not (k.startswith(("LC_", "FAKETIME")) or k in
                       ("LANG", "LANGUAGE", "LD_PRELOAD", "DONT_FAKE_MONOTONIC"))}
        env["LC_ALL"] = "C"
        env["TZ"] = "UTC"
        if pinned:
            if self.faketime is None:
                raise Skip("libfaketime is not installed")
            env["LD_PRELOAD"] = self.faketime
            env["FAKETIME"] = CLOCK  # without "@": the clock stands still
            env["DONT_FAKE_MONOTONIC"] = "1"
        return env

    def command(self, args):
        return self.wrapper + [self.program] + [a if isinstance(a, bytes) else a.encode("latin-1")
                                                for a in args]

    def run(self, args, pinned=True, stdout=subprocess.PIPE, preexec=None):
        """Runs the program; returns (exit code, stdout bytes, stderr bytes)."""
        proc = subprocess.Popen(self.command(args), stdin=subprocess.DEVNULL, stdout=stdout,
                                stderr=subprocess.PIPE, env=self.env(pinned),
                                preexec_fn=preexec)
        out, err = proc.communicate(timeout=TIMEOUT)
        return proc.returncode, out or b"", err

    # --- reporting -------------------------------------------------------------

    def case(self, name, fn):
        try:
            problem = fn()
        except Skip as reason:
            self.skipped += 1
            print(f"skip {name}: {reason}")
            return
        except Exception as e:  # a harness failure is a failed case too
            problem = f"{type(e).__name__}: {e}"
        if problem:
            self.failed += 1
            print(f"FAIL {name}\n     {problem}")
        else:
            self.passed += 1
            if self.verbose:
                print(f"ok   {name}")

    def expect(self, args, want, code=0, **run_options):
        """None when the run gives exactly want (bytes) and the exit code."""
        rc, out, err = self.run(args, **run_options)
        problems = []
        if rc != code:
            problems.append(f"exit code {rc}, expected {code}")
        if err:
            problems.append(f"stderr {err[:300]!r}")
        if out != want:
            at = next((i for i in range(min(len(out), len(want))) if out[i] != want[i]),
                      min(len(out), len(want)))
            problems.append(f"stdout of {len(out)} bytes differs from the expected {len(want)} "
                            f"at byte {at}: {out[max(0, at - 20):at + 40]!r}\n"
                            f"     expected {want[max(0, at - 20):at + 40]!r}")
        return "\n     ".join(problems) or None


def lines(*texts):
    """Output lines, each ended by the line terminator, as bytes."""
    return b"".join((t if isinstance(t, bytes) else t.encode("latin-1")) + b"\n" for t in texts)


def report_pattern(module, message):
    return (rb"Exception EConvertError in module " + re.escape(module.encode())
            + rb" at [0-9A-F]{8}\.\n" + re.escape(message.encode("latin-1")))


# --- The calendar, worked out independently -------------------------------------------


def civil(day_number):
    """(year, month, day) of a day number, 0001-01-01 being 1; Python's dates
    stop at 9999, so later ones are moved back by whole 400-year cycles."""
    cycles = 0
    while day_number > 3_652_059:  # 9999-12-31
        day_number -= 146_097
        cycles += 1
    d = datetime.date.fromordinal(day_number)
    return d.year + 400 * cycles, d.month, d.day


def offset_value(h, m, s):
    """The clock's time of day moved by the offset, exactly, in days."""
    return (fractions.Fraction(CLOCK_SECONDS, 86400) + fractions.Fraction(h, 24)
            + fractions.Fraction(m, 1440) + fractions.Fraction(s, 86400))


def date_fields(value):
    """The fields the date and weekday specifiers show for a value in days:
    (year, month, day, weekday 1 = Sunday or None). A value decodes by the
    whole days of its magnitude from 1899-12-30; dates outside 0001-01-01 to
    65535-12-31 show zero fields, and before the first day the day of week
    is the remainder of the day number, which names Sunday only at 1."""
    whole = int(abs(value))  # truncated toward zero
    frac = abs(value) - whole
    if frac < fractions.Fraction(1, 10**6) or frac > 1 - fractions.Fraction(1, 10**6):
        raise ValueError("the value lies too close to midnight to be decided here")
    day_number = EPOCH_DAY + whole if value >= 0 else EPOCH_DAY - whole
    if 1 <= day_number <= LAST_DAY:
        y, mo, d = civil(day_number)
    else:
        y = mo = d = 0
    if day_number >= 1:
        weekday = (day_number % 7) + 1  # day 1, 0001-01-01, is a Monday (2)
        assert day_number > 3_652_059 or datetime.date.fromordinal(day_number).isoweekday() % 7 + 1 == weekday
    else:
        remainder = -((-day_number) % 7)  # the remainder takes the sign of the dividend
        weekday = 1 if remainder + 1 == 1 else None
    return y, mo, d, weekday


def render_date(fmt_words, fields):
    """The words y, yy, yyyy, m, mm, mmmm, d, dd, ddd, dddd for the fields."""
    y, mo, d, wd = fields
    out = []
    for w in fmt_words:
        out.append({"y": f"{y % 100:02d}", "yy": f"{y % 100:02d}", "yyyy": f"{y:04d}",
                    "m": f"{mo}", "mm": f"{mo:02d}",
                    "mmmm": LONG_MONTHS[mo - 1] if mo else "",
                    "d": f"{d}", "dd": f"{d:02d}",
                    "ddd": SHORT_DAYS[wd - 1] if wd else "",
                    "dddd": LONG_DAYS[wd - 1] if wd else ""}[w])
    return " ".join(out)


# --- The cases ------------------------------------------------------------------------------


def arg_max_room(args):
    """Bytes an exec of these arguments needs, and what the system allows."""
    needed = sum(len(a) + 1 for a in args) + 8 * (len(args) + 2)
    needed += sum(len(k) + len(v) + 2 + 8 for k, v in os.environ.items())
    return needed, os.sysconf("SC_ARG_MAX")


def max_single_argument(h):
    """The longest single argument the system passes: Linux caps one at
    MAX_ARG_STRLEN (32 pages), the terminator included."""
    return 32 * os.sysconf("SC_PAGE_SIZE") - 1


def cases_large(h):
    mib = 1 << 20

    def one_mib_parameter():
        try:
            rc, out, err = h.run(["x" * mib])
        except OSError as e:
            if e.errno == errno.E2BIG:
                raise Skip("the system refuses a single argument of 1 MiB before the program "
                           f"starts (E2BIG; one argument holds at most "
                           f"{max_single_argument(h)} bytes); the largest it passes and a "
                           "1 MiB line of 8 such parameters are tested below")
            raise
        if rc != 0 or out != b"x" * mib + b"\n" or err:
            return f"exit {rc}, {len(out)} bytes out"
        return None

    h.case("a parameter of 1 MiB", one_mib_parameter)

    n = max_single_argument(h)
    h.case(f"a literal parameter of {n} bytes (the largest one argument)",
           lambda: h.expect(["y" * n], lines("y" * n), pinned=False))
    h.case(f"8 parameters of {n} bytes: one output line of 1 MiB",
           lambda: h.expect(["z" * n] * 8, lines("z" * (8 * n)), pinned=False))
    h.case(f"line: with {n - 5} bytes after it",
           lambda: h.expect(["line:" + "w" * (n - 5)], lines("", "w" * (n - 5)), pinned=False))
    h.case(f"a date format of {n - 5} bytes: cut at 256 bytes",
           lambda: h.expect(["date:" + "dd " * ((n - 5) // 3)], lines(("10 " * 86)[:256])))

    def huge_field():
        digits = "1" * (n - 13)
        rc, out, err = h.run(["addtime:+" + digits + ":0:0"])
        if rc != 1 or err:
            return f"exit {rc}, stderr {err[:200]!r}"
        if not out.endswith(b"\n") or len(out) != 1024:
            return f"report of {len(out)} bytes, expected 1,023 and the line break"
        m = re.match(report_pattern(h.module, "'"), out)
        if m is None or out[m.end():-1].strip(b"1"):
            return f"report {out[:120]!r}"
        return None

    h.case(f"an offset field of {n - 13} digits: the failure report cut at 1,023 bytes",
           huge_field)

    cycle = ["a", "line:", "'", "th", "date:dd", "time:hh", "addtime:nn+0:1:0", "addtime:"]
    args = [cycle[i % len(cycle)] for i in range(100_000)]

    def hundred_thousand():
        needed, allowed = arg_max_room(args)
        if needed > allowed:
            raise Skip(f"100,000 parameters need {needed} bytes of the exec area, "
                       f"the system allows {allowed}")
        messages, out_lines = [], [""]
        for p in args:
            if p == "line:":
                out_lines.append("")
            elif p == "addtime:":
                messages.append(NO_PLUS)
            else:
                out_lines[-1] += {"a": "a", "'": '"', "th": "th", "date:dd": "10",
                                  "time:hh": "14", "addtime:nn+0:1:0": "06"}[p]
        return h.expect(args, lines(*messages, *out_lines))

    h.case("100,000 parameters in one exec", hundred_thousand)


def high_and_control_bytes():
    return [b for b in range(1, 256) if b <= 31 or b >= 128]


def cases_bytes(h):
    every = high_and_control_bytes()

    def all_positions():
        args, messages, out_lines = [], [], [b""]
        for b in every:
            c = bytes([b])
            # As literal text, at the start, inside and at the end.
            args.append(c + b"x" + c + b"y" + c)
            out_lines[-1] += c + b"x" + c + b"y" + c
            # In every position of a command word: the word no longer matches.
            for word in (b"date:", b"line:", b"th"):
                for i in range(len(word) + 1):
                    p = word[:i] + c + word[i:]
                    if i == len(word) and word != b"th":
                        continue  # after the colon: the command itself, below
                    args.append(p)
                    out_lines[-1] += p
            # After a command word: copied by the format, kept by line:.
            args += [b"date:" + c, b"time:" + c + b"hh" + c, b"addtime:hh" + c + b"+1:0:0"]
            out_lines[-1] += c + c + b"14" + c + b"15" + c
            args.append(b"addtime:+1:0:0" + c)
            messages.append(NOT_NUMBERS)
            args.append(b"addtime:" + c)
            messages.append(NO_PLUS)
            args.append(b"line:" + c)
            out_lines.append(c)
        return h.expect(args, lines(*messages, *out_lines))

    h.case("bytes 1-31 and 128-255 in every position of literal text and commands",
           all_positions)

    sample = every if not h.wrapper else [1, 9, 10, 13, 27, 31, 128, 129, 160, 255]
    formats = (EXPECTED / "formats.txt").read_bytes()
    advanced = (EXPECTED / "advanced.txt").read_bytes()

    def first_positions():
        for b in sample:
            c = bytes([b])
            for args, want in (([c + b"formats"], formats), ([c + b"ADVANCED", b"x"], advanced),
                               ([c], lines(c)), ([c + b"formats" + c], lines(c + b"formats" + c))):
                problem = h.expect(args, want, pinned=False)
                if problem:
                    return f"{args!r}: {problem}"
        return None

    h.case(f"each of {len(sample)} bytes as the first byte of the first parameter",
           first_positions)


def cases_limits(h):
    words = ["yyyy", "mm", "dd", "ddd", "dddd", "y", "m", "d", "mmmm"]
    offsets = [
        (2147483647, 2147483647, 2147483647),
        (-2147483648, 0, 0),
        (2147483647, 0, 0),
        (0, 2147483647, 0),
        (0, 0, 2147483647),
        (0, -2147483648, 0),
        (0, 0, -2147483648),
        (-2147483648, -2147483648, -2147483648),
        (-2147483648, 2147483647, 0),
        (1, 0, 0),
    ]
    for hms in offsets:
        spec = "+" + ":".join(str(v) for v in hms)

        def one(hms=hms, spec=spec):
            fields = date_fields(offset_value(*hms))
            return h.expect(["addtime:" + " ".join(words) + spec],
                            lines(render_date(words, fields)))

        h.case(f"addtime:{' '.join(words)}{spec}", one)

    for spec, field in (("+2147483648:0:0", "2147483648"), ("+0:-2147483649:0", "-2147483649"),
                        ("+0:0:99999999999", "99999999999")):
        def beyond(spec=spec, field=field):
            rc, out, err = h.run(["a", "addtime:" + spec])
            want = report_pattern(h.module, f"'{field}' is not a valid integer value.") + b"\n"
            if rc != 1 or err or re.fullmatch(want, out) is None:
                return f"exit {rc}, stdout {out!r}, stderr {err!r}"
            return None

        h.case(f"addtime:{spec}: a field past the 32-bit range ends the program", beyond)


def cases_percent(h):
    args = ["addtime:hh+%s%n%d:0:0", "addtime:%s%n%d", "addtime:%s%n%d+", "addtime:%s+%n:%d",
            "addtime:%n+1:%s:%d", "addtime:%s%n%d+1:%x:%p", "%s%n%d", "line:%s%n%d%p%x",
            "date:%s%n%d"]
    want = lines(NOT_NUMBERS, NO_PLUS, NEED_MORE, MORE_OR_LESS, NOT_NUMBERS, NOT_NUMBERS,
                 "%s%n%d", "%s%n%d%p%x%0%0%10")
    h.case("field texts with %s%n%d: the shape messages, never formatted",
           lambda: h.expect(args, want))


# --- Output faults ----------------------------------------------------------------------------


def big_output_args():
    """Parameters whose output is 1 MiB and more, far beyond a pipe's buffer."""
    return ["line:" + "%05d" % i + "x" * 100 for i in range(10_000)]


def big_output():
    return lines("", *["%05d" % i + "x" * 100 for i in range(10_000)])


def cases_faults(h):
    h.case("/dev/full: exit code 1, nothing on stderr",
           lambda: fault_to_file(h, "/dev/full", ["a"]))
    h.case("/dev/full with 1 MiB of output", lambda: fault_to_file(h, "/dev/full",
                                                                   big_output_args()))
    h.case("/dev/full with a usage screen", lambda: fault_to_file(h, "/dev/full", []))

    def closed(args):
        rc, out, err = h.run(args, pinned=False, stdout=subprocess.DEVNULL,
                             preexec=lambda: os.close(1))
        if rc != 1 or err:
            return f"exit {rc}, stderr {err[:300]!r}"
        return None

    h.case("closed standard output", lambda: closed(["a"]))
    h.case("closed standard output, 1 MiB of output", lambda: closed(big_output_args()))
    h.case("closed standard output and a conversion failure",
           lambda: closed(["addtime:", "addtime:hh+::"]))

    def head_c_1():
        if shutil.which("head") is None:
            raise Skip("head is not installed")
        env = h.env(True)
        prog = subprocess.Popen(h.command(big_output_args()), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        head = subprocess.Popen(["head", "-c", "1"], stdin=prog.stdout, stdout=subprocess.PIPE)
        prog.stdout.close()
        got, _ = head.communicate(timeout=TIMEOUT)
        err = prog.stderr.read()
        rc = prog.wait(timeout=TIMEOUT)
        if got != big_output()[:1]:
            return f"head read {got!r}"
        if rc != 1 or err:
            return f"exit {rc}, expected 1; stderr {err[:300]!r}"
        return None

    h.case("| head -c 1 with 1 MiB of output: exit code 1", head_c_1)

    def reader_goes_away():
        # The reader takes the first 100,000 bytes, then closes its end.
        want = big_output()
        prog = subprocess.Popen(h.command(big_output_args()), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=h.env(True))
        got = b""
        while len(got) < 100_000:
            chunk = prog.stdout.read(min(65536, 100_000 - len(got)))
            if not chunk:
                break
            got += chunk
        prog.stdout.close()
        err = prog.stderr.read()
        rc = prog.wait(timeout=TIMEOUT)
        if got != want[:100_000]:
            return f"the first {len(got)} bytes differ from the output expected"
        if rc != 1 or err:
            return f"exit {rc}, expected 1; stderr {err[:300]!r}"
        return None

    h.case("a reader that leaves after 100,000 bytes: those intact, exit code 1",
           reader_goes_away)

    h.case("a file on a full 64 KiB filesystem", lambda: full_filesystem(h))


def fault_to_file(h, path, args):
    with open(path, "wb") as target:
        rc, _, err = h.run(args, stdout=target)
    if rc != 1 or err:
        return f"exit {rc}, expected 1; stderr {err[:300]!r}"
    return None


def full_filesystem(h):
    if os.geteuid() != 0 or shutil.which("mount") is None:
        raise Skip("mounting a small tmpfs needs root and mount(8)")
    with tempfile.TemporaryDirectory(prefix="clockcast-full-") as mnt:
        made = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", mnt],
                              capture_output=True)
        if made.returncode != 0:
            raise Skip("cannot mount a tmpfs here: " + made.stderr.decode(errors="replace").strip())
        try:
            problems = []
            want = big_output()
            # 1 MiB into 64 KiB: the write that finds the disk full fails.
            out_path = os.path.join(mnt, "out")
            with open(out_path, "wb") as target:
                rc, _, err = h.run(big_output_args(), stdout=target)
            got = pathlib.Path(out_path).read_bytes()
            if rc != 1 or err:
                problems.append(f"exit {rc}, expected 1; stderr {err[:300]!r}")
            if not got or got != want[:len(got)]:
                problems.append(f"the file's {len(got)} bytes are not the start of the output")
            os.unlink(out_path)
            # Room for the lines written at once, not for the rest: the report
            # of a conversion failure follows the messages whole, or not at all.
            filler = os.path.join(mnt, "filler")
            with open(filler, "wb") as f:
                f.write(b"\0" * (60 * 1024))
            out_path = os.path.join(mnt, "out2")
            with open(out_path, "wb") as target:
                rc, _, err = h.run(["addtime:", "x" * 200, "addtime:hh+::"], stdout=target)
            got = pathlib.Path(out_path).read_bytes()
            message = lines(NO_PLUS)
            report = re.fullmatch(
                re.escape(message) + report_pattern(h.module, "'' is not a valid integer value.")
                + rb"\n", got)
            if rc != 1 or err or report is None:
                problems.append(f"with the report: exit {rc}, file {got!r}, stderr {err!r}")
            return "\n     ".join(problems) or None
        finally:
            subprocess.run(["umount", mnt], capture_output=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--wrapper", help="a command to run the program under, e.g. valgrind")
    parser.add_argument("-v", "--verbose", action="store_true")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    if not os.path.exists(program):
        print(f"no program at {program}")
        print("0 passed, 1 failed")
        return 1
    h = Harness(program, options.wrapper, options.verbose)
    for group in (cases_large, cases_bytes, cases_limits, cases_percent, cases_faults):
        group(h)
    if h.skipped:
        print(f"{h.skipped} skipped")
    print(f"{h.passed} passed, {h.failed} failed")
    return 1 if h.failed else 0


if __name__ == "__main__":
    sys.exit(main())
