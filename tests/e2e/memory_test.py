#!/usr/bin/env python3
"""Memory limits, end to end. Under an address-space limit (RLIMIT_AS) a run ends with the
whole output and exit 0, the out-of-memory report (exit 1) after a part of the output from its
start, the runtime-error line for 203, or the dynamic loader's refusal: never with other output
and exit 0. Two dimensions: the limit, in 10 KiB steps through the band in which the program
starts; and the heap in use when the C library loads the locale, the time zone and the era
table, moved by a leading literal of 0-64 KiB at 16 limits from the top of the band up.

In four locale layouts: the machine's; and three made here from locales that localedef
compiles into a temporary folder: that folder named by LOCPATH, the folder mounted over
/usr/lib/locale (a directory for each locale, as locales-all installs them), and a locale
archive built from it mounted there. The mounts are made in a private mount namespace
(unshare -m), in which this script runs again with --inside.
  memory_test.py --program build/clockcast [--full] [harness options]"""

import argparse, errno, json, os, re, resource, shutil, subprocess, sys, tempfile
from pathlib import Path

from harness import NotApplicable, Skip, Suite, Target, add_options, locale_installed

TIMEOUT = 300
STEP = 10 * 1024
LOADER = re.compile(rb"error while loading shared libraries|cannot allocate TLS|"
                    rb"failed to map segment|cannot allocate memory in static TLS")
# The names, the era and its year, the short and long dates, the hour: what a locale, an era
# table or a time zone that the C library failed to load would change. No minutes, so that
# the real clock (a preloaded one would bind the limits itself) changes the output at most
# once an hour.
ARGS = ["date:ggg e dddd d mmmm yyyy ddddd dddddd", "time: hh"]
# The locales, with the source and the character map localedef compiles them from.
LOCALES = {"de_DE.UTF-8": ("de_DE", "UTF-8"), "ja_JP.UTF-8": ("ja_JP", "UTF-8"),
           "zh_CN.GBK": ("zh_CN", "GBK"), "ru_RU.UTF-8": ("ru_RU", "UTF-8"), "C": None}
ZONES = ["UTC", "Europe/Berlin", "Asia/Tokyo"]
# A locale that exists nowhere and a zone that is no zone: the C locale and UTC.
MISSING = ("xx_XX.UTF-8", "Nowhere/Bad")
# What runs in every test run; --full runs every locale with every zone, and more literals.
QUICK = [("ja_JP.UTF-8", "Europe/Berlin"), ("zh_CN.GBK", "Asia/Tokyo"), ("C", "Europe/Berlin"),
         MISSING]
ENDINGS = ("whole", "out of memory", "203", "loader")


class Sweep(Suite):
    def __init__(self, options):
        super().__init__("e2e_memory", options)
        self.target = Target(options)
        module = re.escape(self.target.module.encode())
        self.oom = (rb"Exception EOutOfMemory in module " + module
                    + rb" at [0-9A-F]{8}\.\nOut of memory\.\n\Z")
        self.rte = rb"Runtime error 203 at [0-9A-F]{8}\n\Z"
        self.grid = [(l, z) for l in LOCALES for z in ZONES] + [MISSING] if options.full else QUICK
        self.full = options.full
        self.counts = {}

    def not_applicable(self):
        if self.target.wrapper or self.target.emulator:
            return "a memory limit would bind the wrapper, not the program"
        if b"__asan_init" in Path(self.target.program).read_bytes():
            return ("AddressSanitizer reserves terabytes of address space for its shadow, so "
                    "RLIMIT_AS cannot be stepped; the allocation-failure unit sweep covers this "
                    "build")
        return None

    def env(self, locale, tz, locpath=None):
        env = self.target.env("C", tz=tz)
        env["LC_ALL"] = locale
        if locpath:
            env["LOCPATH"] = locpath
        return env

    def run(self, args, env, limit=None):
        """(exit code, stdout, stderr); None when refused before main."""
        cap = limit and (lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
        try:
            proc = self.target.popen(args, dict(env), preexec_fn=cap)
        except OSError as e:  # the kernel cannot even map the program
            if e.errno in (errno.ENOMEM, errno.E2BIG):
                return None
            raise
        out, err = proc.communicate(timeout=TIMEOUT)
        if proc.returncode == 127 and not out and LOADER.search(err):
            return None
        return proc.returncode, out, err

    def ending(self, result, full):
        """The ending of one limited run, or None when it is none of the designed ones."""
        if result is None:
            return "loader"
        rc, out, err = result
        if err:
            return None
        if rc == 0:
            return "whole" if out == full else None
        cut = re.search(self.oom if rc == 1 else self.rte if rc == 203 else rb"\A(?!)", out)
        if not cut or not full.startswith(out[:cut.start()]):
            return None
        return "out of memory" if rc == 1 else "203"

    def sweep(self, args, env, full):
        """Counts of the endings and the band, or a problem."""
        counts = dict.fromkeys(ENDINGS, 0)

        def check(lits, limit):
            result = self.run(lits + args, env, limit)
            found = self.ending(result, "".join(lits).replace("line:", "\n").encode() + full)
            if found is None:
                rc, out, err = result
                own = " on a line of its own" * ("line:" in lits)
                return f"RLIMIT_AS {limit}, a literal of {len(lits[0]) if lits else 0} bytes" \
                       f"{own}: exit {rc}, stderr {err[:200]!r}, stdout ...{out[-200:]!r}"
            counts[found] += 1
            return None

        def first(pred, lo, hi):  # the least limit in lo..hi (in steps) for which pred holds
            while lo < hi:
                mid = (lo + hi) // 2
                lo, hi = (lo, mid) if pred(mid) else (mid + 1, hi)
            return lo
        top = 1 << 14  # 160 MiB, far above what the program needs
        started = lambda s: self.run(args, env, s * STEP) is not None
        whole = lambda s: self.ending(self.run(args, env, s * STEP), full) == "whole"
        if not whole(top):
            return None, "the run does not go through even with 160 MiB"
        low = first(started, 1, top)
        high = first(whole, low, top)
        # The limit: every step through the band.
        for s in range(max(1, low - 2), high + 3):
            if problem := check([], s * STEP):
                return None, problem
        # The heap in use: literals of 0-64 KiB in 1 KiB steps, on the line of the date or on a
        # line of their own (the line store holds them then), at 16 limits from the top of the
        # band up. A test run takes every fourth limit and each size in one of the two ways,
        # in turn; --full every limit and both ways.
        limits = range(high - 2, high + 14, 1 if self.full else 4)
        for j, s in enumerate(limits):
            for i, n in enumerate(range(0, 64 * 1024 + 1, 1024)):
                ways = [["x" * n], ["x" * n, "line:"]] if n else [[]]
                for lits in ways if self.full else ways[(i + j) % len(ways):][:1]:
                    if problem := check(lits, s * STEP):
                        return None, problem
        return (counts, low * 10, high * 10), None

    def attempt(self, args, env, reference):
        """One sweep. The unlimited run must print what a run in the environment `reference`
        prints; or, with reference "loaded", differ from the C locale's output."""
        full = self.run(args, env)
        if full[0] != 0 or full[2]:
            return None, f"the run without a limit: exit {full[0]}, stderr {full[2][:200]!r}"
        if reference == "loaded":
            if self.run(args, dict(env, LC_ALL="C"))[1] == full[1]:
                return None, "the run without a limit prints what the C locale does"
        elif reference and (want := self.run(args, reference)[1]) != full[1]:
            return None, f"the run without a limit printed {full[1]!r}, not {want!r}"
        found, problem = self.sweep(args, env, full[1])
        if not problem and self.run(args, env)[1] != full[1]:
            problem = "the clock moved on during the sweep"
        return found, problem

    def case(self, layout, name, make):
        """make() gives the parameters, the environment and the reference (see attempt); it
        may raise Skip."""
        def check():
            args, env, reference = make()
            found, problem = self.attempt(args, env, reference)
            if problem:  # once more, should the hour have changed meanwhile
                found, problem = self.attempt(args, env, reference)
            if found:
                counts, low, high = found
                total = self.counts.setdefault(layout, dict.fromkeys(ENDINGS, 0))
                for k, v in counts.items():
                    total[k] += v
                if self.verbose:
                    print(f"     band {low}-{high} KiB: " + ", ".join(
                        f"{k} {v}" for k, v in counts.items()))
            return problem
        super().case(f"memory limits, {layout} layout: {name}", check)

    def layout(self, layout, locpath=None):
        """The grid in one layout."""
        def make(locale, tz):
            if layout == "machine" and locale != MISSING[0] and not locale_installed(locale):
                raise Skip(f"locale {locale} is not installed")
            reference = (self.env("C", "UTC") if (locale, tz) == MISSING
                         else None if locale == "C" else "loaded")
            return ARGS, self.env(locale, tz, locpath), reference
        for locale, tz in self.grid:
            self.case(layout, f"{locale}, TZ={tz}", lambda l=locale, z=tz: make(l, z))


def compile_locales(folder):
    """The named locales compiled with localedef into folder, a directory each."""
    if shutil.which("localedef") is None or not Path("/usr/share/i18n/locales").is_dir():
        raise Skip("localedef or its sources (the Debian package locales) are not installed")
    os.mkdir(folder)
    for name, source in LOCALES.items():
        if source is None:
            continue
        done = subprocess.run(["localedef", "--no-archive", "-i", source[0], "-f", source[1],
                               f"{folder}/{name}"], capture_output=True)
        if not Path(folder, name, "LC_TIME").exists():
            raise Skip(f"localedef could not compile {name}: {done.stderr[-300:]!r}")


def build_archive(folder, root):
    """A locale archive in root, built from the locales compiled into folder."""
    Path(root, "usr/lib/locale").mkdir(parents=True)
    done = subprocess.run(["localedef", "--prefix", root, "--add-to-archive"]
                          + [str(p) for p in sorted(Path(folder).iterdir())],
                          capture_output=True)
    if done.returncode != 0:
        raise Skip(f"localedef --add-to-archive: {done.stderr[-300:]!r}")


def unshared(mounted, command):
    """command in a private mount namespace where mounted stands over /usr/lib/locale."""
    user = [] if os.geteuid() == 0 else ["--map-root-user"]
    return ["unshare", *user, "--mount", "--propagation", "private", "sh", "-c",
            'mount --bind "$0" /usr/lib/locale && exec "$@"', mounted, *command]


def mounted_layout(s, options, layout, mounted):
    """Runs this script again with --inside in a private mount namespace where mounted stands
    over /usr/lib/locale; its cases count here."""
    if shutil.which("unshare") is None:
        raise Skip("unshare (util-linux) is not installed")
    probe = subprocess.run(unshared(mounted, ["true"]), capture_output=True, text=True)
    if probe.returncode != 0:
        # A container or a chroot whose root is no mount point has none to give; the
        # machine's layout and LOCPATH are swept all the same.
        raise NotApplicable(f"no private mount namespace: {probe.stderr.strip()[-300:]!r}")
    command = [sys.executable, os.path.abspath(__file__), "--program", s.target.program,
               "--inside", layout] + ["--full"] * options.full + ["-v"] * options.verbose \
        + (["-k", options.filter] if options.filter else [])
    out = subprocess.run(unshared(mounted, command), capture_output=True, text=True,
                         errors="replace")
    for line in out.stdout.splitlines():
        if line.startswith("counts "):
            s.counts.update(json.loads(line[7:]))
        elif m := re.fullmatch(r"(\d+) passed, (\d+) failed", line):
            s.passed, s.failed = s.passed + int(m[1]), s.failed + int(m[2])
        elif m := re.fullmatch(r"(\d+) skipped", line):
            s.skipped += int(m[1])
        else:
            print(line)
    if out.returncode != 0 and not out.stdout.endswith(" failed\n"):
        return f"the run inside ended with {out.returncode}: {out.stderr[-300:]!r}"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    add_options(parser, targets=("native",))
    parser.add_argument("--full", action="store_true", help="every locale with every zone; "
                        "every limit and both ways of each literal")
    parser.add_argument("--inside", help=argparse.SUPPRESS)  # the layout of the namespace
    options = parser.parse_args()
    s = Sweep(options)
    if reason := s.not_applicable():
        def refuse():
            raise NotApplicable(reason)
        Suite.case(s, "memory limits", refuse)
        return s.finish()
    if options.inside:
        s.layout(options.inside)
        print("counts " + json.dumps(s.counts))
        return s.finish()

    s.layout("machine")
    with tempfile.TemporaryDirectory(prefix="clockcast-locales-") as folder:
        locales, root = f"{folder}/locales", f"{folder}/root"
        made = []

        def make():
            compile_locales(locales)
            build_archive(locales, root)
            made.append(True)
        Suite.case(s, "private locales compiled with localedef, and an archive of them", make)
        if made:
            s.layout("LOCPATH", locales)
            for layout, mounted in (("directories", locales),
                                    ("archive", f"{root}/usr/lib/locale")):
                Suite.case(s, f"memory limits, {layout} layout over /usr/lib/locale, in a "
                           "private mount namespace",
                           lambda l=layout, m=mounted: mounted_layout(s, options, l, m))
    for layout, counts in s.counts.items():
        print(f"{layout}: " + ", ".join(f"{k} {v}" for k, v in counts.items()))
    return s.finish()


if __name__ == "__main__":
    sys.exit(main())
