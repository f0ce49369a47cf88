#!/usr/bin/env python3
"""The long date (date:dddddd) on 10 February 1978 in 24 locales, one table for the native
program and the win32 one under wine (its test-clock build). Texts compare case-folded,
with no-break spaces read as blanks; under wine a "?" stands for a character that the
locale's ANSI code page lacks.
Usage: long_date_test.py --target native|win32 --program PATH"""

import argparse, glob, locale as clocale, os, subprocess, sys

CLOCK = "1978-02-10 14:05:09"
# Locale: (Windows ANSI code page, the long date). Where the two programs differ, the
# long date is a pair (native, win32), and only because their locale data differ.
LOCALES = {
    "en_US": (1252, "Friday, February 10, 1978"),
    "en_GB": (1252, "Friday, 10 February 1978"),
    "de_DE": (1252, "Freitag, 10. Februar 1978"),
    "fr_FR": (1252, "vendredi 10 f\u00e9vrier 1978"),
    "es_ES": (1252, "viernes, 10 de febrero de 1978"),
    "it_IT": (1252, "venerd\u00ec 10 febbraio 1978"),
    # The C library's day name is short: sexta, not sexta-feira.
    "pt_BR": (1252, ("sexta, 10 de fevereiro de 1978", "sexta-feira, 10 de fevereiro de 1978")),
    "nl_NL": (1252, "vrijdag 10 februari 1978"),
    "sv_SE": (1252, "fredag 10 februari 1978"),
    "da_DK": (1252, "fredag den 10. februar 1978"),
    # Windows writes the day in the essive case (perjantaina), as its own format asks.
    "fi_FI": (1252, ("perjantai 10. helmikuu 1978", "perjantaina 10. helmikuu 1978")),
    "pl_PL": (1250, "pi\u0105tek, 10 luty 1978"),
    "cs_CZ": (1250, "p\u00e1tek 10. \u00fanor 1978"),
    "hu_HU": (1250, "1978. febru\u00e1r 10., p\u00e9ntek"),
    "ro_RO": (1250, "vineri, 10 februarie 1978"),
    "ru_RU": (1251, "\u043f\u044f\u0442\u043d\u0438\u0446\u0430, 10 \u0444\u0435\u0432\u0440"
                    "\u0430\u043b\u044c 1978\u202f\u0433."),
    # The C library's day name has an ASCII apostrophe, Windows' a letter apostrophe.
    "uk_UA": (1251, ("\u043f'\u044f\u0442\u043d\u0438\u0446\u044f, 10 \u043b\u044e\u0442\u0438"
                     "\u0439 1978\u202f\u0440.", "\u043f\u02bc\u044f\u0442\u043d\u0438\u0446"
                     "\u044f, 10 \u043b\u044e\u0442\u0438\u0439 1978\u202f\u0440.")),
    "tr_TR": (1254, "10 \u015eubat 1978 Cuma"),
    "el_GR": (1253, "\u03a0\u03b1\u03c1\u03b1\u03c3\u03ba\u03b5\u03c5\u03ae 10 \u03a6\u03b5"
                    "\u03b2\u03c1\u03bf\u03c5\u03ac\u03c1\u03b9\u03bf\u03c2 1978"),
    # Windows' day name says "day" too: yom shishi, not shishi.
    "he_IL": (1255, ("\u05e9\u05d9\u05e9\u05d9, 10 \u05d1\u05e4\u05d1\u05e8\u05d5\u05d0\u05e8 1978",
                     "\u05d9\u05d5\u05dd \u05e9\u05d9\u05e9\u05d9, 10 \u05d1\u05e4\u05d1\u05e8"
                     "\u05d5\u05d0\u05e8 1978")),
    "ja_JP": (932, "1978\u5e742\u670810\u65e5\u91d1\u66dc\u65e5"),
    "zh_CN": (936, "1978\u5e742\u670810\u65e5\u661f\u671f\u4e94"),
    "ko_KR": (949, "1978\ub144 2\uc6d4 10\uc77c \uae08\uc694\uc77c"),
    "vi_VN": (1258, "Th\u1ee9 s\u00e1u, 10 Th\u00e1ng 2, 1978"),
}

def normal(text: str) -> str:
    return text.replace("\u00a0", " ").replace("\u202f", " ").casefold()

def as_wine_prints(text: str, codepage: int) -> str:
    """The text with a "?" for each character the code page cannot write."""
    def writable(ch):
        try:
            ch.encode(f"cp{codepage}")
            return True
        except UnicodeEncodeError:
            return False
    return "".join(ch if writable(ch) else "?" for ch in text)

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--target", choices=("native", "win32"), required=True)
    parser.add_argument("--program", required=True)
    options = parser.parse_args()
    win = options.target == "win32"
    ci = os.environ.get("CI") == "true"
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "LANG", "FAKETIME"))}
    env["TZ"] = "UTC"
    if win:
        env["CLOCKCAST_TEST_CLOCK"] = CLOCK + ".000"
        command = ["wine", os.path.abspath(options.program), "date:dddddd"]
        # Wine's services would hold the first run's pipes: start them now.
        subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    else:
        faketime = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
        if not faketime:
            print("long_date_test: libfaketime is not installed")
            return 1 if ci else 0
        env.update(LD_PRELOAD=faketime[0], FAKETIME="@" + CLOCK, DONT_FAKE_MONOTONIC="1")
        command = [options.program, "date:dddddd"]
    def installed(name):
        try:
            return bool(clocale.setlocale(clocale.LC_TIME, name))
        except clocale.Error:
            return False
    shared = sum(isinstance(text, str) for _, text in LOCALES.values())
    failed, skipped = [], []
    for locale, (codepage, text) in LOCALES.items():
        name = locale + ".UTF-8"
        if not installed(name):
            skipped.append(locale)
            continue
        want = text if isinstance(text, str) else text[win]
        out = subprocess.run(command, env=dict(env, LC_ALL=name), stdin=subprocess.DEVNULL,
                             capture_output=True, timeout=60).stdout
        got = out.decode(f"cp{codepage}" if win else "utf-8", "replace")
        got = got.removesuffix("\r\n" if win else "\n")
        if normal(got) != normal(as_wine_prints(want, codepage) if win else want):
            failed.append(f"{locale}: {got!r}, expected {want!r}")
    for line in failed:
        print("FAIL", line)
    if skipped:
        print(f"long_date_test: not installed: {' '.join(skipped)}")
    print(f"long_date_test ({options.target}): {len(LOCALES) - len(failed) - len(skipped)} "
          f"passed, {len(failed)} failed; one text for both programs in {shared} of "
          f"{len(LOCALES)} locales")
    return 1 if failed or (skipped and ci) or shared < 18 else 0

if __name__ == "__main__":
    sys.exit(main())
