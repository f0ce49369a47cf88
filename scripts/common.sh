# Shared by the set-up scripts: installs Debian packages, as root or through
# sudo, without questions.
apt_install() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [ -z "${CLOCKCAST_APT_UPDATED:-}" ]; then
    $sudo apt-get update -qq
    export CLOCKCAST_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# The locales the tests run under.
install_locales() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  apt_install locales
  for l in en_US.UTF-8 de_DE.UTF-8 ja_JP.UTF-8 ru_RU.UTF-8 ko_KR.EUC-KR zh_TW.BIG5 zh_CN.GBK; do
    $sudo sed -i "s/^# *\(${l//./\\.} \)/\1/" /etc/locale.gen
  done
  $sudo locale-gen >/dev/null
}
