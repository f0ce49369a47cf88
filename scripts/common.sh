# Shared by the set-up scripts: installs Debian packages, as root or through
# sudo, without questions. Every apt-get call waits for the dpkg lock instead
# of failing when another process (an unattended upgrade, say) holds it.
apt_get() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"
}

apt_install() {
  if [ -z "${CLOCKCAST_APT_UPDATED:-}" ]; then
    apt_get update -qq
    export CLOCKCAST_APT_UPDATED=1
  fi
  apt_get install -y -qq --no-install-recommends "$@" >/dev/null
}

# The locales the tests run under. locales-all brings every locale the C
# library supports (the tests loop over all of them); the ones the tests name
# are then checked one by one, so that a missing locale stops the run here
# with its name instead of skipping tests later.
install_locales() {
  apt_install locales locales-all
  local missing=() l
  for l in en_US.UTF-8 en_GB.UTF-8 de_DE.UTF-8 ja_JP.UTF-8 ru_RU.UTF-8 ko_KR.EUC-KR zh_TW.BIG5 zh_CN.GBK; do
    [ "$(LC_ALL=$l locale charmap 2>/dev/null)" = "${l#*.}" ] || missing+=("$l")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "install_locales: these locales are not installed: ${missing[*]}" >&2
    return 1
  fi
}

# ctest with the given options; each test it skips is appended to the file
# $CLOCKCAST_SKIPPED names, as "ctest NAME: REASON" (the line after
# GoogleTest's "Skipped").
ctest_listing_skips() {
  local junit status=0
  junit=$(mktemp)
  ctest --output-junit "$junit" "$@" || status=$?
  [ -z "${CLOCKCAST_SKIPPED:-}" ] || python3 - "$junit" >>"$CLOCKCAST_SKIPPED" <<'PY'
import sys, xml.etree.ElementTree as tree
for test in tree.parse(sys.argv[1]).getroot().iter("testcase"):
    if test.get("status") == "notrun":
        out = (test.findtext("system-out") or "").splitlines()
        why = [out[i + 1] for i, line in enumerate(out[:-1]) if line.endswith("Skipped")]
        print(f"ctest {test.get('name')}: {(why or ['no reason given'])[0]}")
PY
  rm -f "$junit"
  return "$status"
}
