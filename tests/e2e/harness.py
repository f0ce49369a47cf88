"""What every end-to-end script shares: the program and what runs it (natively, wine, an
emulator such as qemu-user, a wrapper such as Valgrind), its clock, a clean environment,
skips, and the closing "N passed, M failed" line.

The clock is pinned by a preloaded library that reads FAKETIME_FMT=%s and
FAKETIME=[@]SECONDS[.FRACTION] (seconds since 1970; with "@" the clock runs on from
there, without it stands still), DONT_FAKE_MONOTONIC=1: libfaketime of the target's
multiarch triplet, or any library given with --clock-lib that keeps that contract. The
project's own, tests/e2e/clock_shim.c, also takes clocks before 1970 and makes every read
fail (CLOCKCAST_SHIM_ERRNO). The win32 test-clock build reads CLOCKCAST_TEST_CLOCK instead.

A program of another architecture runs through --emulator, or natively when the machine
runs it (i386 on amd64); either way only the program is given the preloaded library,
never the host's tools around it (the shell, strace, the emulator).

A skip is appended as "SUITE CASE: REASON" to the file $CLOCKCAST_SKIPPED names. Under
CI=true a skip fails the run, unless it is NotApplicable: a case that cannot apply to this
build or machine, which says why."""

import argparse, datetime, locale as clocale, os, re, shlex, subprocess, sys
from typing import Optional

EPOCH = datetime.date(1970, 1, 1).toordinal()


class Skip(Exception):
    """A case this machine lacks a tool, a locale or a right for: a failure under CI=true."""


class NotApplicable(Skip):
    """A case that cannot apply to this build or machine: a skip under CI=true too."""


def epoch_seconds(when: str) -> str:
    """"YYYY-MM-DD hh:mm:ss[.fff]" (UTC; "T" may join the two; any year from 1) as seconds
    since 1970, the fraction kept as written."""
    stamp, _, fraction = when.replace("T", " ").partition(".")
    day, _, hms = stamp.partition(" ")
    y, mo, d = map(int, day.split("-"))
    cycles = max(0, (y - 9600) // 400)  # past 9999: whole 400-year cycles of 146,097 days
    days = datetime.date(y - 400 * cycles, mo, d).toordinal() + 146_097 * cycles - EPOCH
    h, mi, s = map(int, (hms or "0:0:0").split(":"))
    return str(days * 86400 + h * 3600 + mi * 60 + s) + ("." + fraction if fraction else "")


def multiarch(given: Optional[str] = None) -> Optional[str]:
    """The target's multiarch triplet: given, else dpkg's host, else the compiler's."""
    for command in ([] if given else [["dpkg-architecture", "-qDEB_HOST_MULTIARCH"],
                                      [os.environ.get("CC", "cc"), "-print-multiarch"]]):
        try:
            out = subprocess.run(command, capture_output=True, text=True).stdout.strip()
        except OSError:
            continue
        if out:
            return out
    return given


def faketime(triplet: Optional[str]) -> tuple:
    """libfaketime of the triplet, else None and why."""
    if not triplet:
        return None, "no multiarch triplet (give --multiarch)"
    path = f"/usr/lib/{triplet}/faketime/libfaketime.so.1"
    if not os.path.exists(path):
        return None, f"libfaketime for {triplet} is not installed ({path})"
    return path, ""


def elf_machine(path: str) -> Optional[int]:
    """The machine an ELF file is built for (e_machine), or None."""
    with open(path, "rb") as f:
        head = f.read(20)
    if len(head) < 20 or head[:4] != b"\x7fELF":
        return None
    return int.from_bytes(head[18:20], "little" if head[5] == 1 else "big")


def locale_installed(name: str, _cache={}) -> bool:
    """Whether the C library can load the locale (locale -a may list it under another
    spelling)."""
    if name not in _cache:
        try:
            _cache[name] = bool(clocale.setlocale(clocale.LC_TIME, name))
            clocale.setlocale(clocale.LC_TIME, "C")
        except clocale.Error:
            _cache[name] = False
    return _cache[name]


def add_options(parser: argparse.ArgumentParser, targets=("native", "win32")) -> None:
    parser.add_argument("--program", required=True, help="the program under test")
    parser.add_argument("--target", choices=targets, default=targets[0])
    if "win32" in targets:
        parser.add_argument("--test-clock-program",
                            help="win32: the build that takes CLOCKCAST_TEST_CLOCK")
    parser.add_argument("--emulator", help='runs the program, e.g. "qemu-arm -L '
                        '/usr/arm-linux-gnueabihf" (the clock library goes through -E)')
    parser.add_argument("--wrapper", help='runs the program under a tool, e.g. "valgrind -q"')
    parser.add_argument("--multiarch", help="the target's triplet, for its libfaketime")
    parser.add_argument("--clock-lib", help="the preloaded clock library (default libfaketime)")
    parser.add_argument("--locales", help="only cases in these locales (comma-separated), which "
                        "the program has though this machine may not (LOCPATH)")
    parser.add_argument("-k", "--filter", help="run only the cases whose name matches this")
    parser.add_argument("-v", "--verbose", action="store_true")


class Target:
    """The program under test and all that runs it."""

    def __init__(self, options):
        self.name = getattr(options, "target", "native")
        self.win = self.name == "win32"
        self.program = os.path.abspath(options.program)
        if not os.path.exists(self.program):
            print(f"no program at {self.program}\n0 passed, 1 failed")
            sys.exit(1)
        given = getattr(options, "test_clock_program", None)
        self.clock_program = given and os.path.abspath(given)
        self.wrapper = shlex.split(options.wrapper or "")
        self.emulator = shlex.split(options.emulator or "")
        # A program the machine runs though it is not the machine's own (i386 on amd64).
        self.foreign = not self.win and not self.emulator and \
            elf_machine(self.program) != elf_machine(sys.executable)
        self.locales = options.locales.split(",") if options.locales else None
        self.eol = "\r\n" if self.win else "\n"
        self.module = os.path.basename(self.program if self.win else
                                       os.path.realpath(self.program))
        self.clock_lib, self.clock_missing = None, ""
        if self.win:
            # wine's services would hold the first run's pipes: start them now.
            subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        elif options.clock_lib:
            self.clock_lib = os.path.abspath(options.clock_lib)
        else:
            self.clock_lib, self.clock_missing = faketime(multiarch(options.multiarch))
        with open(self.clock_lib or os.devnull, "rb") as lib:
            self.shim = b"CLOCKCAST_SHIM_ERRNO" in lib.read()  # the project's own

    def encoding(self, locale: Optional[str]) -> str:
        """How the program writes text: UTF-8, or under wine the locale's ANSI code page."""
        if not self.win:
            return "utf-8"
        return "cp932" if (locale or "").startswith("ja_JP") else "cp1252"

    def env(self, locale: str = "C", clock: Optional[str] = None, ticking: bool = True,
            tz: str = "UTC", clock_error: int = 0) -> dict:
        """The caller's environment without locale, clock and preload settings, then these;
        with clock_error every read of the clock fails with that errno."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("LC_", "FAKETIME", "CLOCKCAST_TEST_", "CLOCKCAST_SHIM"))
               and k not in ("LANG", "LANGUAGE", "LD_PRELOAD", "DONT_FAKE_MONOTONIC", "TZ")}
        env.update(LC_ALL=locale, TZ=tz)
        if self.locales is None and not locale_installed(locale):
            raise Skip(f"locale {locale} is not installed")
        if self.locales is not None and locale not in self.locales:
            raise NotApplicable(f"locale {locale} is not among --locales")
        if clock and self.win:  # the test-clock build, to the millisecond
            if not self.clock_program:
                raise Skip("no test-clock program")
            env["CLOCKCAST_TEST_CLOCK"] = clock if "." in clock else clock + ".000"
        elif clock:  # a preloaded library that keeps the FAKETIME contract above
            if not self.clock_lib:
                raise Skip(self.clock_missing)
            seconds = epoch_seconds(clock)
            if seconds.startswith("-") and not self.shim:
                raise NotApplicable("libfaketime takes no clock before 1970 (the project's "
                                    "clock shim does: --clock-lib)")
            env.update(LD_PRELOAD=self.clock_lib, FAKETIME_FMT="%s", DONT_FAKE_MONOTONIC="1",
                       FAKETIME="@" * ticking + seconds)
        if clock_error:
            if not self.shim:
                raise NotApplicable("only the project's clock shim makes the clock fail "
                                    "(--clock-lib)")
            env.update(LD_PRELOAD=self.clock_lib, CLOCKCAST_SHIM_ERRNO=str(clock_error))
        return env

    def _prefix(self, env: dict) -> list:
        """What goes before the program. The preload of another architecture's program moves
        from env into the emulator's -E, or into an env command just before the program, so
        that the host's own programs do not meet it."""
        prefix = list(self.wrapper + self.emulator)
        if (self.emulator or self.foreign) and "LD_PRELOAD" in env:
            preload = "LD_PRELOAD=" + env.pop("LD_PRELOAD")
            prefix += ["-E", preload] if self.emulator else ["env", preload]
        return prefix

    def command(self, args: list, env: dict) -> list:
        """The command line for one run; env as Target.env gave it (it may be changed)."""
        if self.win:
            program = self.clock_program if "CLOCKCAST_TEST_CLOCK" in env else self.program
            return ["wine", program] + list(args)
        return self._prefix(env) + [self.program] + list(args)

    def launcher(self, path: str, env: dict) -> None:
        """A command at path that runs the program as this target does (for shell examples)."""
        prefix = self._prefix(env)
        if os.path.lexists(path):
            os.remove(path)
        if not prefix:
            return os.symlink(self.program, path)
        with open(path, "w", encoding="utf-8") as script:
            script.write(f'#!/bin/sh\nexec {shlex.join(prefix + [self.program])} "$@"\n')
        os.chmod(path, 0o755)

    def popen(self, args: list, env: dict, **options) -> subprocess.Popen:
        options.setdefault("stdout", subprocess.PIPE)
        return subprocess.Popen(self.command(args, env), env=env, stdin=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, **options)


class Suite:
    """Runs the cases, keeps the count, logs the skips, prints the closing line."""

    def __init__(self, name: str, options):
        self.name, self.verbose = name, options.verbose
        self.only = getattr(options, "filter", None)
        self.passed = self.failed = self.skipped = 0

    def case(self, name: str, check) -> None:
        """check() gives None when the case passes, else what was wrong; it may raise Skip."""
        if self.only and not re.search(self.only, name):
            return
        try:
            problem = check()
        except Skip as reason:
            if os.environ.get("CI") != "true" or isinstance(reason, NotApplicable):
                self.skipped += 1
                if log := os.environ.get("CLOCKCAST_SKIPPED"):
                    with open(log, "a", encoding="utf-8") as out:
                        out.write(f"{self.name} {name}: {reason}\n")
                return print(f"skip {name}: {reason}")
            problem = f"{reason} (CI=true: nothing may be skipped)"
        except Exception as e:  # a harness failure is a failed case too
            problem = f"{type(e).__name__}: {e}"
        self.failed, self.passed = self.failed + bool(problem), self.passed + (not problem)
        if problem or self.verbose:
            print(f"FAIL {name}\n     {problem}" if problem else f"ok   {name}")

    def finish(self) -> int:
        print(f"{self.skipped} skipped\n" * bool(self.skipped)
              + f"{self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0
