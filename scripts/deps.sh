# Sourced by ./run, ./test and bench/run: installs the Debian packages Quillet needs,
# touching apt only when something is missing.
QUILLET_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n libxcb1-dev
  libgtest-dev
  fonts-noto-cjk
  xvfb xauth
  python3-pyftpdlib python3-openssl curl
  help2man
  libssl-dev openssl
  clang libclang-rt-14-dev clang-format
)

quillet_ensure_packages() {
  local missing=() p
  for p in "${QUILLET_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
