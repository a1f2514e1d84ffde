#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
# fonts-wine: Wine's own fonts, Marlett among them, which run.sh's prefix
# needs for caption buttons; apt brings it as a recommendation of Wine, but
# not where recommendations are turned off.
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 fonts-wine xvfb googletest cmake
          xdotool imagemagick clang libclang-rt-14-dev clang-tidy clang-format file bc)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages (run as root to install): ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
source "$(dirname "$0")/apt-fetch.sh"
log=$(mktemp)
apt_update "$log"
[ -z "$APT_MISSING_INDEX" ] || echo "install-deps: went on without an index that could not be fetched: $APT_MISSING_INDEX"
if ! DEBIAN_FRONTEND=noninteractive apt_retry "$log" apt-get install -y -qq "${missing[@]}"; then
  echo "install-deps: the packages could not be installed: $(apt_failure) (apt's output: $log)" >&2
  exit 1
fi
rm -f "$log"
