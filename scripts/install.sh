#!/usr/bin/env bash
# Builds the Debian package of zoripost (build-package/package/zoripost_*.deb) and installs
# it with apt, which also installs the packages it depends on.
#   scripts/install.sh             build and install
#   scripts/install.sh --no-install  build the package only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DZP_BUILD_TESTS=OFF -DZP_BUILD_APP=ON >/dev/null
rm -f build-package/package/zoripost_*.deb
cmake --build build-package -j "$(nproc)" --target package
deb=$(ls "$PWD"/build-package/package/zoripost_*.deb)
echo "Package: $deb"
if [ "${1:-}" != "--no-install" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get install -y "$deb"
fi
