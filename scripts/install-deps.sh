#!/usr/bin/env bash
# Installs the Debian packages (and npm packages) the build and tests need.
# Works as root and through sudo; installs nothing when everything is present.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' scripts/apt-packages.txt | grep -v '^$')
missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# npm packages of the browser tests, when the project has them. Debian ships npm apart from
# nodejs; other builds of nodejs bring it along, so it is installed only when missing.
if [ -f tests/browser/package.json ] && ! command -v npm >/dev/null 2>&1; then
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends npm
fi
if [ -f tests/browser/package.json ] && [ ! -d tests/browser/node_modules ]; then
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
fi
