#!/usr/bin/env bash
# Installs the Debian 12 packages that zoripost needs, only when some are missing.
#   scripts/install-deps.sh run    -> what building and running the program needs
#   scripts/install-deps.sh test   -> that, plus what the tests need
#   scripts/install-deps.sh package -> that, plus what building the Debian package needs
set -euo pipefail
what=${1:-run}

pkgs=(build-essential cmake ninja-build pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-tools-dev qt6-tools-dev-tools
      qt6-l10n-tools libqt6svg6 libssl-dev ca-certificates
      libjpeg62-turbo-dev libpng-dev libgif-dev zlib1g-dev libdeflate-dev
      libheif-dev libwebp-dev libavif-dev qtkeychain-qt6-dev libsecret-1-0
      fonts-ipafont-gothic qt6-translations-l10n)
if [ "$what" = test ] || [ "$what" = bench ]; then
  pkgs+=(libgtest-dev libgmock-dev libbenchmark-dev openssl
         python3 python3-aiosmtpd python3-pil python3-vobject dovecot-pop3d postfix
         imagemagick nodejs libjpeg-turbo-progs
         libheif-examples webp libavif-bin
         qt6-qpa-plugins libqt6multimedia6 gstreamer1.0-plugins-base
         clang libclang-rt-14-dev
         g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev nasm wine64 locales nsis python3-markdown
         desktop-file-utils dpkg-dev file librsvg2-bin libglib2.0-bin groff-base
         appstream lintian
         gnome-keyring libsecret-tools dbus-daemon python3-dbus
         xvfb xdotool x11-utils fonts-wine)
fi
if [ "$what" = package ]; then
  pkgs+=(dpkg-dev file)
fi
if [ "$what" = bench ]; then
  # bench/startup.sh: a virtual X server, and Xlib for its MapNotify timer.
  pkgs+=(libvips-tools graphicsmagick hyperfine time netpbm xvfb x11-utils libx11-dev)
fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  # Postfix is a test server started with its own configuration; the system's mail setup
  # stays unconfigured and the service is not started.
  if [[ " ${missing[*]} " == *" postfix "* ]]; then
    echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
  fi
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Windows tests run under Wine in a Japanese locale (Wine's ANSI code page is then 932).
if [ "$what" = test ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  echo "Generating the ja_JP.UTF-8 locale"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
