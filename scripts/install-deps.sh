#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tolvi need.
# Skips the package manager entirely when everything is already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins qt6-qpa-plugins
  libssl-dev libicu-dev libsimdjson-dev libfontconfig-dev
  libtesseract-dev tesseract-ocr-eng libleptonica-dev
  libx11-dev libx11-xcb-dev libxtst-dev libxcb1-dev libxcb-xtest0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev
  libxcb-res0-dev libxcb-xkb-dev libxcb-xinput-dev
  # The desktop's accessibility settings: XSETTINGS, and GSettings where no XSETTINGS owner runs.
  libglib2.0-bin gsettings-desktop-schemas
  xvfb xauth openbox trayer xcompmgr x11-utils xdotool xclip tzdata
  # The tests' own fonts (tests/support/TestFonts.h): DejaVu, and a colour emoji font for the emoji tests; the
  # views of emoji are measured with it too.
  fonts-dejavu-core fonts-noto-color-emoji
  # The paste tests type into a Tk window (wish) with a terminal open beside it.
  tk xterm
  dbus-daemon desktop-file-utils
  # Wayland sessions: the client library and wayland-scanner for our protocol code; the tests run a
  # headless sway (with XWayland) and copy with wl-clipboard while a foot terminal has the focus.
  libwayland-dev libwayland-bin sway xwayland wl-clipboard foot x11-xserver-utils
  # Pasting there: the keymap library for our keyboards, KDE's protocol files; the paste tests run the Qt test
  # peer as a Wayland-native client too.
  libxkbcommon-dev qt6-wayland plasma-wayland-protocols
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing missing packages: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
