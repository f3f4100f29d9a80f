#!/usr/bin/env bash
# Installs whichever of the Debian packages named as arguments are missing;
# installs nothing when all are there, so it is harmless on a ready machine.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: run as root to install them, or install them by hand" >&2
  exit 1
fi
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
