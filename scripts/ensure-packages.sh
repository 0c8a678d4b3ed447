# Sourced by run.sh and test.sh: installs the Debian packages the build, the
# program and the tests need, when any is missing. Non-interactive; uses sudo
# when not run as root.
KT_PACKAGES=(
  cmake ninja-build g++ make pkgconf
  qt6-base-dev
  libgtest-dev googletest
  fonts-arphic-uming fonts-liberation fonts-dejavu-core
  poppler-utils
  clang libclang-rt-14-dev clang-format
  qt6-translations-l10n
  nlohmann-json3-dev
  libqt6sql6-sqlite libqt6sql6-psql postgresql
  qt6-charts-dev libqt6opengl6-dev
  qt6-serialport-dev
  stress-ng
  python3 sqlite3
  xvfb xdotool x11-apps
  libsodium-dev
  python3-pyvisa python3-pyvisa-py
)

kt_ensure_packages() {
  local missing=()
  local p
  for p in "${KT_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local run=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      run=(sudo)
    else
      echo "error: packages missing and not root (no sudo): ${missing[*]}" >&2
      return 1
    fi
  fi
  "${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
